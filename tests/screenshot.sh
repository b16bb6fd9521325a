#!/usr/bin/env bash
# Opens the page in a real window on a virtual display, scans the sample folder, and saves
# the window to BUILD/screenshot.png once the folder is loaded.
set -euo pipefail
build=${1:?usage: screenshot.sh BUILD_DIR SOURCE_DIR}
source=${2:?usage: screenshot.sh BUILD_DIR SOURCE_DIR}

work="$build/screenshot"
rm -rf "$work" "$build/screenshot.png"
"$source/scripts/make-sample.sh" "$work/sample"
xvfb-run -a -s "-screen 0 1400x900x24" \
    "$build/bin/customfolder-host" --project "$work/project" \
    --screenshot "$build/screenshot.png" "$work/sample"
# A window with thumbnails drawn is far larger than an empty one.
size=$(stat -c %s "$build/screenshot.png")
echo "screenshot: $build/screenshot.png ($size bytes)"
[ "$size" -gt 60000 ]
