#!/usr/bin/env bash
# Opens the page in a real window on a virtual display and saves it to BUILD/screenshot.png
# as the README shows it: the sample folder loaded, a search in use, one of its videos
# dragged onto a virtual screen, and a second folder of clips loading with its progress.
set -euo pipefail
build=${1:?usage: screenshot.sh BUILD_DIR SOURCE_DIR}
source=${2:?usage: screenshot.sh BUILD_DIR SOURCE_DIR}

work="$build/screenshot"
rm -rf "$work" "$build/screenshot.png"
"$source/scripts/make-sample.sh" "$work/sample"
# Enough clips that their load is still under way when the picture is taken.
mkdir -p "$work/travels"
for i in $(seq -w 1 60); do
    cp "$work/sample/clips/intro.mp4" "$work/travels/travel-$i.mp4"
done
xvfb-run -a -s "-screen 0 1400x900x24" \
    "$build/bin/customfolder-host" --project "$work/project" --search tr \
    --screenshot "$build/screenshot.png" "$work/sample" "$work/travels"
# A window with thumbnails drawn is far larger than an empty one.
size=$(stat -c %s "$build/screenshot.png")
echo "screenshot: $build/screenshot.png ($size bytes)"
[ "$size" -gt 60000 ]
