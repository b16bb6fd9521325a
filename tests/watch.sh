#!/usr/bin/env bash
# The scan host follows a folder: the tree after the load, then after the changes made on
# disk meanwhile. Where the system refuses more watches, it says so once and goes on.
set -euo pipefail
build=${1:?usage: watch.sh BUILD_DIR}
scan="$build/bin/customfolder-scan"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/folder/sub/deeper"
touch "$work/folder/gone.mp3" "$work/folder/sub/kept.mp3"

# The first document is complete once its closing bracket is out.
"$scan" --project "$work/project" --watch 3 "$work/folder" >"$work/followed.json" &
scanner=$!
for _ in $(seq 300); do
    grep -q '^]' "$work/followed.json" 2>/dev/null && break
    sleep 0.1
done
touch "$work/folder/sub/new.mp3"
rm "$work/folder/gone.mp3"
wait "$scanner"

names=$(grep -o '"name": "[^"]*mp3"' "$work/followed.json" | sort | uniq -c | tr -s ' ' | tr '\n' ,)
[ "$names" = ' 1 "name": "gone.mp3", 2 "name": "kept.mp3", 1 "name": "new.mp3",' ] \
    || { echo "the second tree does not follow the disk: $names" >&2; exit 1; }
[ "$(grep -c '^]' "$work/followed.json")" -eq 2 ]
echo "the tree follows the disk"

# One watch allowed below this user namespace: the root's; its two folders are refused.
if ! unshare --user --map-root-user true 2>/dev/null; then
    echo "no user namespace to lower the watch limit in: that case is not run here"
    exit 0
fi
unshare --user --map-root-user bash -c 'echo 1 >/proc/sys/user/max_inotify_watches && exec "$@"' \
    limited "$scan" --project "$work/limited" --watch 0 "$work/folder" >"$work/limited.json" \
    2>"$work/said.txt"
[ "$(grep -c 'no more folders to be watched' "$work/said.txt")" -eq 1 ]
[ "$(grep -c '^]' "$work/limited.json")" -eq 2 ]
echo "a refused watch is told once"
