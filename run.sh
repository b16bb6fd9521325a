#!/usr/bin/env bash
# Builds and runs the headless scan host on the given folders, or on a generated sample
# folder when none is given, and prints their tree.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh >&2
if [ $# -eq 0 ]; then
    ./scripts/make-sample.sh build/sample
    set -- build/sample
fi
exec build/app/scan/customfolder-scan --project build/project "$@"
