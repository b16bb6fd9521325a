#!/usr/bin/env bash
# A project whose media library cannot be written, as on a read-only medium: the folders of
# the earlier run come back all the same, and the page is told once that changes are not kept.
# The restore runs as an unprivileged user, for whom the permissions hold.
set -euo pipefail
build=${1:?usage: readonlystore.sh BUILD_DIR}
scan="$build/bin/customfolder-scan"

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/folder/sub"
touch "$work/folder/sub/song.mp3" "$work/folder/clip.mp4"

"$scan" --project "$work/project" "$work/folder" >"$work/scanned.json"
chmod -R a+rX "$work"
chmod -R a-w "$work/project"

setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$scan" --project "$work/project" --restore >"$work/restored.json" 2>"$work/said.txt"

uuids() { grep -o '"uuid": "[^"]*"' "$1" | sort; }
scanned=$(uuids "$work/scanned.json")
[ -n "$scanned" ] && [ "$scanned" = "$(uuids "$work/restored.json")" ] \
    || { echo "the restore from a read-only library differs from the scan" >&2; exit 1; }
[ "$(grep -c 'changes on this page will not be kept' "$work/said.txt")" -eq 1 ]
echo "a read-only library comes back, and the page is told once"
