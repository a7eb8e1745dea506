#!/usr/bin/env bash
# Runs the fuzz drivers for longer than CI does (default 10 minutes each) in
# the AddressSanitizer + UndefinedBehaviorSanitizer build, from the corpus kept
# in fuzz/corpus. A failing input is left as crash-input in build/asan/fuzz.
#   bash scripts/fuzz.sh [seconds per driver] [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
seed="${2:-$(date +%s)}"
if [ ! -f build/asan/build.ninja ]; then
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVELLA_SANITIZE=address,undefined -DORVELLA_BUILD_BENCHMARKS=OFF
fi
cmake --build build/asan --target GlimmerdProtocolFuzz ResponseDecodingFuzz
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd build/asan/fuzz
./GlimmerdProtocolFuzz --seconds "$seconds" --seed "$seed" ../../../fuzz/corpus/glimmerd
./ResponseDecodingFuzz --seconds "$seconds" --seed "$seed" --max-length 65536 ../../../fuzz/corpus/responses
