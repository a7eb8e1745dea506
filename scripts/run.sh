#!/usr/bin/env bash
# Builds everything in Release and runs what can run so far: the bundled
# local service on loopback, checked with one request. The tray application
# is built but not yet joined to its composition root, so it cannot sync a
# folder against the service yet.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVELLA_BUILD_BENCHMARKS=ON
cmake --build build/release -j "$(nproc)"

port=${LOCALCLOUD_PORT:-8642}
data=${LOCALCLOUD_DATA:-$HOME/.local/share/orvella-localcloud}
mkdir -p "$data"

# A user to log in with: the service keeps only a salted hash of the password.
# By hand: build/release/LocalCloud/localcloud add-user "$data" <login> [--quota <bytes>]
if [[ -n "${LOCALCLOUD_USER:-}" ]]; then
    printf '%s\n' "${LOCALCLOUD_PASSWORD:?set LOCALCLOUD_PASSWORD for LOCALCLOUD_USER}" |
        build/release/LocalCloud/localcloud add-user "$data" "$LOCALCLOUD_USER"
fi

build/release/LocalCloud/localcloud "$port" "$data" &
service=$!
trap 'kill "$service" 2>/dev/null; wait "$service" 2>/dev/null || true' EXIT

for _ in $(seq 50); do
    curl -fsS "http://127.0.0.1:$port/v2.0/status" >/dev/null 2>&1 && break
    sleep 0.1
done
echo "Local service answers: $(curl -fsS "http://127.0.0.1:$port/v2.0/status")"

cat <<TEXT

Built and runnable so far:
  - the local service:   build/release/LocalCloud/localcloud <port> <data folder>
  - a user for it:       build/release/LocalCloud/localcloud add-user <data folder> <login> [--quota <bytes>]
  - the benchmarks:      build/release/bench/*Benchmarks
  - the file-manager extension: build/release/Glimmerd/glimmerd, build/release/Glimmerd/glimmerctl
  - the screens:         build/release/Orvella/UI/orvella-gallery --out <folder>
  - the libraries (reactive streams, platform layers, sync engine, API client, application core) with their tests
Not joined yet: the tray application (orvella) to its composition root, so no folder is synced yet.
TEXT
