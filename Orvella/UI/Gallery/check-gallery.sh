#!/bin/sh
# Renders every screen of the gallery into a fresh folder and checks that a
# PNG came out for each name the gallery lists. Usage: check-gallery.sh GALLERY OUT [xvfb]
set -eu
gallery=$1
out=$2
rm -rf "$out"
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/FontconfigLeaks.supp"
export LSAN_OPTIONS
if [ "${3:-}" = xvfb ]; then
    QT_QPA_PLATFORM=xcb xvfb-run -a "$gallery" --out "$out" >/dev/null
else
    QT_QPA_PLATFORM=offscreen "$gallery" --out "$out" >/dev/null
fi
for name in $(QT_QPA_PLATFORM=offscreen "$gallery" --list); do
    test -s "$out/$name.png" || { echo "missing $name.png"; exit 1; }
done
