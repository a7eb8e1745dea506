#!/usr/bin/env bash
# The main job: builds everything in Release, then runs the tray application
# against the bundled local service with the demo account demo@example.org
# (password "Orvella-Demo-1") and a few sample files. Its home, XDG folders,
# group directory and the service's data live under one demo folder
# (ORVELLA_DEMO, default build/demo), with a session bus of its own, so the
# user's own home, keyring and login items stay untouched. On the display
# when DISPLAY is set, else on an Xvfb of its own, where it logs in through
# the login window as a person would. Syncs until Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVELLA_BUILD_BENCHMARKS=ON
cmake --build build/release -j "$(nproc)"

exec python3 scripts/lib/run_demo.py --build build/release --demo "${ORVELLA_DEMO:-$PWD/build/demo}" \
    ${LOCALCLOUD_PORT:+--port "$LOCALCLOUD_PORT"}
