#!/usr/bin/env bash
# Writes a small sample folder: sub-folders, empty files of each media type, a hidden file
# and files of no known type.
set -euo pipefail

target=${1:?usage: make-sample.sh DIR}
rm -rf "$target"
mkdir -p "$target/clips/old" "$target/pictures" "$target/sound" "$target/slides" "$target/empty"
touch "$target/clips/intro.mp4" "$target/clips/Trailer.MOV" "$target/clips/old/archive.avi"
touch "$target/pictures/poster.jpg" "$target/pictures/Logo.PNG" "$target/pictures/notes.txt"
touch "$target/sound/theme.mp3" "$target/sound/voice.wav"
touch "$target/slides/keynote.pptx"
touch "$target/readme" "$target/.hidden.mp4" "$target/data.doc"
