#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Idempotent and quiet; run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libcurl4-openssl-dev libutf8proc-dev libssl-dev uuid-dev nlohmann-json3-dev
    libcurl4-openssl-dev libcpp-httplib-dev curl
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "All ${#packages[@]} packages are installed."
