#!/usr/bin/env bash
# Writes a small presentation, one slide per title given, as .pptx at OUTPUT (through the
# office suite, from flat XML).
set -euo pipefail
output=${1:?usage: make-presentation.sh OUTPUT.pptx TITLE...}
shift

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
    echo ' xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"'
    echo ' xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"'
    echo ' xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"'
    echo ' office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">'
    echo '<office:body><office:presentation>'
    for title in "$@"; do
        echo "<draw:page draw:name=\"$title\"><draw:frame svg:x=\"2cm\" svg:y=\"6cm\" svg:width=\"24cm\" svg:height=\"4cm\"><draw:text-box><text:p>$title</text:p></draw:text-box></draw:frame></draw:page>"
    done
    echo '</office:presentation></office:body></office:document>'
} >"$work/deck.fodp"
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pptx \
    --outdir "$work" "$work/deck.fodp" >/dev/null 2>&1
mv "$work/deck.pptx" "$output"
