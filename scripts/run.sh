#!/usr/bin/env bash
# Builds everything in Release and runs the main job. Until the tray
# application exists, it says which parts can be run so far.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc)"

echo
echo "Built: the reactive streams library (Reactive) and its benchmarks."
echo "The tray application and the local service are not built yet; nothing else runs so far."
echo "Benchmarks: build/release/bench/ReactiveBenchmarks"
