#!/usr/bin/env bash
# Shows glimmerd's badges in GNOME Files under Xvfb and saves a screenshot
# (default: build/nautilus-preview.png). Not part of CI: it installs Nautilus,
# installs the module into Nautilus's extension folder and the emblems into
# the hicolor theme (run as root on a Debian 12 machine).
set -euo pipefail
cd "$(dirname "$0")/.."
screenshot=${1:-build/nautilus-preview.png}

apt-get update -qq
apt-get install -y -qq --no-install-recommends nautilus dbus-x11 xvfb xauth xdotool imagemagick sqlite3 >/dev/null

cmake -S . -B build/preview -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVELLA_BUILD_BENCHMARKS=OFF
cmake --build build/preview -j "$(nproc)" --target glimmerd glimmerctl glimmer-nautilus glimmer-test-application
cmake --install build/preview --component nautilus >/dev/null
gtk-update-icon-cache -q -f /usr/local/share/icons/hicolor 2>/dev/null || true

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
group="$scratch/group"
cloud="$scratch/brisanto cloud"
mkdir -p -m 0700 "$group" "$scratch/run"
mkdir -p "$cloud/Dokumente"
echo a > "$cloud/Bericht.txt"
echo b > "$cloud/Fehler.txt"
echo c > "$cloud/Dokumente/Neu.txt"
printf '{"CloudFolderURL": "%s"}\n' "$cloud" > "$group/defaults.json"

# The database as the application writes it: schema, version, WAL, statuses.
{
    cat Sync/Store/Schema/*.sql
    echo "PRAGMA user_version = 2;"
    echo "INSERT INTO FileStatus VALUES ('$cloud/Bericht.txt', 0), ('$cloud/Fehler.txt', 2), ('$cloud/Dokumente', 0), ('$cloud/Dokumente/Neu.txt', 1);"
} | sqlite3 "$group/Cloud.realm"
sqlite3 "$group/Cloud.realm" "PRAGMA journal_mode = WAL;" >/dev/null

export ORVELLA_GROUP_CONTAINER="$group" XDG_RUNTIME_DIR="$scratch/run"
xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- bash -c '
    build/preview/Glimmerd/glimmer-test-application & application=$!
    sleep 1
    build/preview/bin/glimmerd & extension=$!
    for _ in $(seq 50); do
        [ -n "$(build/preview/bin/glimmerctl observed 2>/dev/null)" ] && break
        sleep 0.2
    done
    echo "observed: $(build/preview/bin/glimmerctl observed)"
    build/preview/bin/glimmerctl badge "$1"/*
    nautilus --new-window "$1" >/dev/null 2>&1 & files=$!
    # The window, titled with the folder name, once it is mapped ...
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$(basename "$1")\$" | head -n 1) || true
    if [ -z "$window" ]; then
        echo "GNOME Files showed no window for $1 within 60 s" >&2
    else
        # ... then its contents once they have settled: the files and their
        # emblems are drawn as they arrive, so two equal pictures in a row.
        previous=
        deadline=$((SECONDS + 30))
        while [ $SECONDS -lt $deadline ]; do
            current=$(import -window "$window" png:- 2>/dev/null | md5sum)
            [ "$current" = "$previous" ] && break
            previous=$current
            sleep 0.5
        done
    fi
    import -window root "$2"
    kill $files $extension $application 2>/dev/null || true
    wait 2>/dev/null || true
' preview "$cloud" "$screenshot"
echo "Screenshot: $screenshot"
