#!/usr/bin/env bash
# The shared store on a PostgreSQL server of the test's own (run through scripts/postgres.sh,
# which starts it and stops it whatever happens here):
#  - the store's tests, on PostgreSQL;
#  - two consoles: a scan in one process, a restore of the same project in another, with a
#    project directory of its own, shows the same tree with the same uuids;
#  - the server stops in the middle of a load and starts again: the load ends, the page is
#    told once, and every record of the scanned tree is stored.
set -euo pipefail
build=${1:?usage: sharedstore.sh BUILD_DIR}
url=${CUSTOMFOLDER_STORE_URL:?run through scripts/postgres.sh run}
postgres=$(dirname "$0")/../scripts/postgres.sh
scan=$build/bin/customfolder-scan
psql=$(find /usr/lib/postgresql -maxdepth 3 -name psql -type f | sort -V | tail -n 1)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tests/tst_mediainfostore"

uuids() { grep -o '"uuid": "[^"]*"' "$1" | sort; }
# Each item's path and uuid; JSON objects list their keys in order, children first.
items() { awk '/"path":/ { path = $2 } /"uuid":/ { print path, $2 }' "$1" | sort; }
stored() { "$psql" "$url" -tAc "SELECT '\"uuid\": \"' || uuid || '\"' FROM mediainfo WHERE project='$1'" | sort; }

# Two consoles on one project.
mkdir -p "$work/folder/sub" "$work/a/wall" "$work/b/wall"
for name in clip.mp4 poster.jpg sub/song.mp3 sub/deeper.mp4; do : >"$work/folder/$name"; done
"$scan" --store "$url" --project "$work/a/wall" "$work/folder" >"$work/scanned.json"
"$scan" --store "$url" --project "$work/b/wall" --restore >"$work/restored.json"
[ "$(uuids "$work/scanned.json" | wc -l)" -eq 6 ]
if ! diff <(items "$work/scanned.json") <(items "$work/restored.json"); then
    echo "a second console restores another tree than the first one scanned" >&2
    exit 1
fi
echo "two consoles on one project show the same tree"

# A second console restores the pictures that the first one made from the store, as on a
# machine of its own, and runs no tool for files that have not changed.
mkdir -p "$work/media" "$work/d/gallery" "$work/e/gallery" "$work/standin"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=25:duration=1 \
    -pix_fmt yuv420p "$work/media/clip.mp4"
ffmpeg -nostdin -loglevel error -f lavfi -i sine=duration=1 "$work/media/song.mp3"
printf '#!/bin/sh\necho "$*" >>"%s"\nexit 1\n' "$work/runs" >"$work/standin/ffmpeg"
chmod +x "$work/standin/ffmpeg"
"$scan" --store "$url" --project "$work/d/gallery" "$work/media" >/dev/null
rm -r "$work/d/gallery/picture"
PATH="$work/standin:$PATH" "$scan" --store "$url" --project "$work/e/gallery" --restore \
    >"$work/gallery.json"
thumbnail=$(grep -o "\"img\": \"[^\"]*$work/e/gallery/picture/[^\"]*\"" "$work/gallery.json" \
    | sed 's/.*gallery\/picture\///; s/"$//')
if [ -e "$work/runs" ] || [ -z "$thumbnail" ] || [ ! -s "$work/e/gallery/picture/$thumbnail" ]; then
    cat "$work/runs" "$work/gallery.json" >&2 2>/dev/null || true
    echo "a second console made the pictures again or ran a tool" >&2
    exit 1
fi
echo "a second console takes the pictures from the store and runs no tool"

# The server goes away during a load. Empty pictures need no tool, so that the load is mostly
# the store's work; as a store sends many writes in one statement, it takes this many for
# the load to outlast the first commit by seconds.
folders=100 files=60
mkdir -p "$work/large" "$work/c/outage"
for folder in $(seq 1 $folders); do
    mkdir "$work/large/f$folder"
    for file in $(seq 1 $files); do : >"$work/large/f$folder/p$file.jpg"; done
done
"$scan" --store "$url" --project "$work/c/outage" "$work/large" \
    >"$work/outage.json" 2>"$work/outage.txt" &
scanner=$!
until [ "$("$psql" "$url" -tAc "SELECT count(*) FROM mediainfo WHERE project='outage'")" -gt 0 ]; do
    kill -0 "$scanner" 2>/dev/null || { echo "the scan ended before the server was stopped" >&2; exit 1; }
    sleep 0.05
done
"$postgres" stop
sleep 3
"$postgres" start
wait "$scanner"
told=$(grep -c 'cannot be reached' "$work/outage.txt" || true)
if [ "$told" -ne 1 ] || [ "$(uuids "$work/outage.json" | wc -l)" -ne $((folders * files + folders + 1)) ] \
    || [ "$(uuids "$work/outage.json")" != "$(stored outage)" ]; then
    cat "$work/outage.txt" >&2
    echo "after the server came back: told $told times; stored records and tree differ" >&2
    exit 1
fi
echo "a load through a server restart ends, is told once, and stores every record"
