#!/usr/bin/env bash
# Builds the program, its tests and benchmarks with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-sanitize/ and runs the whole ctest
# suite there. Run scripts/setup.sh first on a new machine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIALER_WERROR=ON -DDIALER_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)"
# Leaks are checked too; the suppressions name only system libraries that
# keep caches for the life of the process, and functions of Evolution Data
# Server that lose memory: an allocation is traced through the libraries built
# without frame pointers (GLib's) to the function that made it, so that the
# suppression finds it.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0
ctest --test-dir build-sanitize --output-on-failure -j2 --timeout 600
# Every screen once more, drawn the way the screenshots are.
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
QT_QPA_PLATFORM=offscreen build-sanitize/tools/render_screens "$shots" >/dev/null
echo "sanitizers: the suite and every screen ran clean"
