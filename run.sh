#!/usr/bin/env bash
# Builds and opens the custom folder page on the given folders, or on a generated sample
# folder when none is given. Without a display it runs the headless scan host instead and
# prints the tree.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh >&2
if [ $# -eq 0 ]; then
    ./scripts/make-sample.sh build/sample
    set -- build/sample
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display available: scanning with the headless host instead." >&2
    exec build/bin/customfolder-scan --project build/project "$@"
fi
exec build/bin/customfolder-host --project build/project "$@"
