#!/usr/bin/env bash
# Builds and runs every test: an AddressSanitizer + UndefinedBehaviorSanitizer
# Debug build runs all tests, a ThreadSanitizer build runs the concurrent
# modules' tests again.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
tsan_modules="Reactive Sync QuarlinkModels"
tsan_targets=$(for module in $tsan_modules; do printf '%sTests ' "$module"; done)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DORVELLA_SANITIZE=address,undefined -DORVELLA_BUILD_BENCHMARKS=OFF
cmake --build build/asan -j "$jobs"

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVELLA_SANITIZE=thread -DORVELLA_BUILD_BENCHMARKS=OFF
cmake --build build/tsan -j "$jobs" --target $tsan_targets

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export QT_QPA_PLATFORM=offscreen

status=0
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: all tests"
ctest --test-dir build/asan --output-on-failure -j "$jobs" || status=1
echo "== ThreadSanitizer: $tsan_modules"
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L "^($(echo $tsan_modules | tr ' ' '|'))\$" || status=1
exit $status
