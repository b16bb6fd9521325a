#!/usr/bin/env bash
# The slide-capture tool on a real presentation: one image per slide, a non-zero exit for a
# broken file, and the library's capture jobs end either way.
set -euo pipefail
build=${1:?usage: capturetool.sh BUILD_DIR}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tool=("$build/bin/CaptureImages/jre/bin/java" -jar "$build/bin/CaptureImages/CaptureImages.jar")

mkdir -p "$work/folder"
"$(dirname "$0")/../scripts/make-presentation.sh" "$work/folder/deck.pptx" First Second
echo "not a presentation" >"$work/folder/broken.pptx"

"${tool[@]}" "$work/folder/deck.pptx" "$work/slides/"
[ -s "$work/slides/1.png" ] && [ -s "$work/slides/2.png" ] && [ ! -e "$work/slides/3.png" ]
echo "two slides captured"

"${tool[@]}" "$work/folder/broken.pptx" "$work/broken/" 2>/dev/null \
    && { echo "a broken presentation was captured" >&2; exit 1; }
echo "a broken presentation fails"

# Through the library: both jobs end, and the good one's slide directory holds its slides.
"$build/bin/customfolder-scan" --project "$work/project" "$work/folder" >"$work/tree.json"
[ "$(grep -c '"asyncCompleted": true' "$work/tree.json")" -eq 3 ]
captured=0
for dir in $(grep -o '"pptPath": "[^"]*"' "$work/tree.json" | cut -d'"' -f4); do
    [ -s "$dir/1.png" ] && captured=$((captured + 1))
done
[ "$captured" -eq 1 ]
echo "the library's capture jobs ended; one presentation has its slides"
