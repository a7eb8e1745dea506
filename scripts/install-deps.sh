#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Idempotent and quiet; run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config lld
    libgtest-dev libgmock-dev libbenchmark-dev
    libcurl4-openssl-dev libutf8proc-dev libssl-dev uuid-dev nlohmann-json3-dev
    shared-mime-info
    libcpp-httplib-dev curl
    libsqlite3-dev
    python3 e2fsprogs
    python3-fusepy fuse3
    locales
    libicu-dev zlib1g-dev
    libsecret-1-dev libglib2.0-dev gnome-keyring dbus dbus-daemon
    qt6-base-dev qt6-translations-l10n fonts-dejavu-core xvfb xauth desktop-file-utils
    libnautilus-extension-dev
    xdotool x11-utils xclip imagemagick
    # The fuzz engine (libFuzzer); g++ builds the code it steers by.
    libclang-rt-14-dev
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
# Wire formats must not follow the user's locale; the tests prove it under a
# German one, so that locale has to exist.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi
echo "All ${#packages[@]} packages are installed."
