#!/usr/bin/env bash
# Runs the coverage-guided fuzz drivers for longer than CI does (default 10
# minutes each) in the AddressSanitizer + UndefinedBehaviorSanitizer build,
# from the corpus kept in fuzz/corpus. New inputs the engine finds go to
# build/asan/fuzz/found/<driver> (copy the useful ones into the corpus); a
# failing input is left as build/asan/fuzz/<driver>-crash-….
#   bash scripts/fuzz.sh [seconds per driver] [seed] [driver...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
# 0: the engine picks one (and prints it).
seed="${2:-0}"
drivers=(GlimmerdProtocolFuzz ResponseDecodingFuzz HTTPResponseFuzz LocalCloudRequestFuzz)
if [ $# -gt 2 ]; then
    drivers=("${@:3}")
fi
if [ ! -f build/asan/build.ninja ]; then
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVELLA_SANITIZE=address,undefined -DORVELLA_BUILD_BENCHMARKS=OFF
fi
cmake --build build/asan --target "${drivers[@]}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Each driver runs exactly as ctest runs it, only longer.
for driver in "${drivers[@]}"; do
    command=$(ctest --test-dir build/asan -R "^${driver}\$" --show-only=json-v1 \
        | python3 -c 'import json,sys; print("\0".join(json.load(sys.stdin)["tests"][0]["command"]))' | tr '\0' '\n')
    mapfile -t arguments <<< "$command"
    arguments=("${arguments[@]/#-max_total_time=*/-max_total_time=$seconds}")
    (cd build/asan/fuzz && "${arguments[@]}" -seed="$seed")
done
