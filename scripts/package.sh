#!/usr/bin/env bash
# Builds the application in Release and makes its Debian package with CPack
# from the same install rules `cmake --install` uses: the programs, their
# libraries (in the library folder's "orvella/", found through their run
# paths), the menu entry, the icons in the hicolor theme, all under /usr, in
# "orvella"; the Nautilus module and its emblems in "orvella-nautilus", so the
# application needs no file manager. Prints the packages' paths.
set -euo pipefail
cd "$(dirname "$0")/.."

# ORVELLA_JOBS limits the parallel jobs on a shared machine.
jobs=${ORVELLA_JOBS:-$(nproc)}
build=build/package

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVELLA_BUILD_BENCHMARKS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j "$jobs" --target orvella glimmerd glimmerctl glimmer-nautilus
rm -f "$build"/orvella_*.deb "$build"/orvella-nautilus_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/orvella_*.deb "$build"/orvella-nautilus_*.deb
