#!/usr/bin/env bash
# What the scan host prints where: through pipes JSON on standard output and nothing more on
# standard error, unless --progress asks for the progress line; on a terminal (made by
# script(1)) the progress line and an indented tree, or JSON with --json.
set -euo pipefail
build=${1:?usage: scanoutput.sh BUILD_DIR}
scan="$build/bin/customfolder-scan"
work="$build/scanoutput"
rm -rf "$work"
mkdir -p "$work/folder/sub"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:duration=2 "$work/folder/clip.mp4"
touch "$work/folder/sub/broken.mp4"

fail() { echo "scanoutput: $1" >&2; exit 1; }
"$scan" --project "$work/p1" "$work/folder" >"$work/piped.json" 2>"$work/piped.err"
[ "$(head -c1 "$work/piped.json")" = "[" ] || fail "a pipe gets no JSON"
[ ! -s "$work/piped.err" ] || fail "a pipe gets more than the tree: $(cat "$work/piped.err")"
"$scan" --project "$work/p2" --progress "$work/folder" >/dev/null 2>"$work/progress.err"
grep -q $'\ritems 4 / 4   jobs 4 / 4' "$work/progress.err" || fail "--progress ends elsewhere"

script -qec "'$scan' --project '$work/p3' '$work/folder'" /dev/null | tr -d '\r' >"$work/tty.txt"
grep -q '^  clip.mp4  *video  0:02  320x240$' "$work/tty.txt" || fail "no readable tree"
grep -q '^    broken.mp4  *video  \[invalid\]$' "$work/tty.txt" || fail "no mark of an invalid item"
grep -q 'jobs 4 / 4' "$work/tty.txt" || fail "a terminal gets no progress line"
script -qec "'$scan' --project '$work/p4' --json '$work/folder'" /dev/null >"$work/tty.json"
grep -q '"name": "clip.mp4"' "$work/tty.json" || fail "--json prints no JSON to a terminal"
grep -q '"reason": "cannot be decoded"' "$work/piped.json" || fail "no reason for an invalid item"
echo "scanoutput: pipes, --progress, terminal and --json each printed as they should"
