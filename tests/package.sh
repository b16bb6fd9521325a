#!/usr/bin/env bash
# The installed package: a small host application built out of tree with find_package
# (CustomFolder) runs headless; its page imports the QML module and adds a folder of three
# media files and a sub-folder, and four rows show. CXX_FLAGS and LINKER_FLAGS are the build's
# own: under the sanitizers the application that loads the instrumented library needs them too.
set -euo pipefail
build=${1:?usage: package.sh BUILD_DIR SOURCE_DIR QML_DIR [CXX_FLAGS [LINKER_FLAGS]]}
source=${2:?}
qml=${3:?}
cxxflags=${4:-}
ldflags=${5:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$source/tests/package" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >"$work/configure.log" \
    || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" >"$work/build.log" || { cat "$work/build.log" >&2; exit 1; }

mkdir -p "$work/folder/sub" "$work/project"
touch "$work/folder/"{clip.mp4,poster.jpg,song.mp3}
rows=$(QML2_IMPORT_PATH=$prefix/$qml "$work/build/consumer" "$work/folder" "$work/project")
echo "$rows"
[ "$rows" = "rows: 4" ]
