#!/usr/bin/env bash
# Writes a small sample folder of real media made by ffmpeg from its generated sources:
# short clips, pictures and sounds in sub-folders, a presentation made by the office suite,
# a hidden file and files of no known type.
set -euo pipefail

target=${1:?usage: make-sample.sh DIR}
rm -rf "$target"
mkdir -p "$target/clips/old" "$target/pictures" "$target/sound" "$target/slides" "$target/empty"

make() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
make -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=440:duration=2 \
    -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$target/clips/intro.mp4"
make -f lavfi -i testsrc2=size=640x360:rate=30:duration=3 -c:v mpeg4 "$target/clips/Trailer.MOV"
make -f lavfi -i smptebars=size=176x144:rate=25:duration=0.5 -c:v mpeg4 "$target/clips/old/archive.avi"
make -f lavfi -i testsrc=size=800x600 -frames:v 1 "$target/pictures/poster.jpg"
make -f lavfi -i mandelbrot=size=320x200 -frames:v 1 "$target/pictures/Logo.PNG"
make -f lavfi -i sine=frequency=220:duration=1.5 "$target/sound/theme.mp3"
make -f lavfi -i sine=frequency=660:duration=1 "$target/sound/voice.wav"
"$(dirname "$0")/make-presentation.sh" "$target/slides/keynote.pptx" "Welcome" "Programme"
echo "not a picture" >"$target/pictures/notes.txt"
touch "$target/readme" "$target/.hidden.mp4" "$target/data.doc"
