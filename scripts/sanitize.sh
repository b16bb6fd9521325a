#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/
# and runs the whole CTest suite there; arguments go to ctest (e.g. -R tst_page).
#
# Fails when a test fails or when any instrumented process (a test, a host application that a
# test script starts, the stand-in ffmpeg) reported an error, even one whose exit status nobody
# reads. Address and leak reports go to a file per process in build-sanitize/sanitizer-reports/;
# reports of undefined behaviour are found in the output CTest keeps of every test. All are
# printed at the end. Any error stops its process, so one in the stand-in ffmpeg, whose
# standard error the library reads, fails that tool run and so the test.
#
# The options are exported and so reach every child of CTest and of the test scripts. Java,
# ffmpeg, the office suite and Xvfb are not built with the sanitizers: no sanitizer runtime is
# loaded there and the variables do nothing to them.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-sanitize
root=$(pwd)

# -O1 keeps the run fast and the stacks whole; -g1 is enough for file and line in a stack and
# compiles faster than full debug information. The frame pointer lets the fast unwinder, which
# takes the stack of each allocation, walk the project's own frames.
sanitizers="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCUSTOMFOLDER_WERROR=ON \
    -DCUSTOMFOLDER_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
    -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" \
    -DCMAKE_MODULE_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build "$build" --parallel "$(nproc)"

reports=$root/$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"

# tests/CMakeLists.txt has the two Qt Quick tests take whole stacks.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/report"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
# Under the sanitizers a sequence takes several times as long; fewer sequences still run every
# kind of operation many times over.
export CONSISTENCY_SEQUENCES=${CONSISTENCY_SEQUENCES:-60}

status=0
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --timeout 900 "$@" \
    || status=$?

# UndefinedBehaviorSanitizer, linked beside AddressSanitizer by g++, writes its reports to
# standard error whatever log_path says; CTest keeps every test's output, children's included.
undefined=$(grep -n 'runtime error:' "$build/Testing/Temporary/LastTest.log" || true)
mapfile -t found < <(find "$reports" -type f | sort)
for report in "${found[@]}"; do
    echo "==== $report"
    cat "$report"
done
if [ -n "$undefined" ]; then
    echo "==== undefined behaviour, in $build/Testing/Temporary/LastTest.log"
    echo "$undefined"
fi
if [ ${#found[@]} -gt 0 ] || [ -n "$undefined" ]; then
    echo "sanitize: ${#found[@]} process(es) with address or leak reports in $reports;" \
        "$(grep -c . <<<"$undefined" || true) report(s) of undefined behaviour" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "sanitize: tests failed" >&2
    exit "$status"
fi
echo "sanitize: every test passed, no sanitizer report (${SECONDS} s with the build)"
