#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for SECONDS (60 by
# default) on a copy of its seeds: for the report parser the real reports in tests/fixtures
# and tests/fuzz/corpus, for the picture decoder small pictures in tests/fuzz/pictures.
# Fails on any crash, and leaves the input that caused it in build-fuzz/.
# Needs clang and libclang-rt-14-dev (libFuzzer and the sanitizers' runtimes).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build-fuzz
targets=(fuzz_reportparser fuzz_picturedecoder)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCUSTOMFOLDER_FUZZ=ON -DCUSTOMFOLDER_WERROR=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
summary=()
for target in "${targets[@]}"; do
    find "$corpus" -mindepth 1 -delete
    options=()
    if [ "$target" = fuzz_reportparser ]; then
        cp tests/fixtures/*.txt tests/fuzz/corpus/* "$corpus"
        options+=(-dict="tests/fuzz/$target.dict")
    else
        cp tests/fuzz/pictures/* "$corpus"
        options+=(-rss_limit_mb=4096)
    fi
    log=$build/$target.log
    if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 "${options[@]}" \
        -artifact_prefix="$build/$target-" "$corpus" 2>"$log"; then
        tail -n 40 "$log"
        echo "$target: crashed; the input is in $build/$target-*" >&2
        exit 1
    fi
    # libFuzzer closes with "Done RUNS runs in SECONDS second(s)".
    summary+=("$(sed -n "s/^Done \([0-9]*\) runs in \([0-9]*\) second.*/$target: \1 runs in \2 s, no crash/p" "$log")")
done
printf '%s\n' "${summary[@]}"
