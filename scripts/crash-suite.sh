#!/bin/sh
# The long crash-safety run: every scenario with ROUNDS kills or power cuts
# (default 100) on a fresh seed, three scenarios at a time, then a table of the results.
#   scripts/crash-suite.sh [ROUNDS]
# ORVELLA_BUILD_DIR picks the build (default build/asan; it must hold
# crash-sync-driver and localcloud); ORVELLA_CRASH_SEED fixes the seed.
set -eu
rounds=${1:-100}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVELLA_BUILD_DIR:-$root/build/asan}
cmake --build "$build" --target crash-sync-driver localcloud >/dev/null
results=$(mktemp)
logs=$(mktemp -d)
trap 'rm -f "$results"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
# A power-cut scenario runs once per model of the power-cut file system
# ("scenario:model"); they need root and /dev/fuse and are skipped elsewhere.
printf '%s\n' down up mixed service network readonly tmpfs folderdelete typechange retry conflict \
    powercut-down:ext4 powercut-down:strict powercut-up:ext4 powercut-up:strict \
    powercut-mixed:ext4 powercut-mixed:strict powercut-service:ext4 powercut-service:strict | xargs -P 3 -I {} sh -c '
    scenario=${1%%:*}; model=ext4; case $1 in *:*) model=${1#*:};; esac
    log="$6/$(echo "$1" | tr : .).log"
    python3 "$2/Orvella/Tests/CrashSafety/crash_harness.py" --driver "$3/Orvella/Tests/CrashSafety/crash-sync-driver" \
        --localcloud "$3/LocalCloud/localcloud" --scenario "$scenario" --model "$model" --kills "$4" --json "$5" >"$log" 2>&1
    code=$?
    [ $code -eq 0 ] || [ $code -eq 77 ] || { grep -v "^kill-point\|^crash-sync-driver\|^error:\|^❗️" "$log"; exit 1; }
' sh {} "$root" "$build" "$rounds" "$results" "$logs" || status=1
python3 - "$results" <<'PY'
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
def name(row):
    return row["scenario"] + (f" ({row['model']})" if "model" in row else "")
print(f"{'scenario':<26} {'kills':>6} {'converged':>10} {'bytes lost':>11} {'empty uploads':>14}  seed")
for row in sorted(rows, key=name):
    converged = 'skipped' if row.get('skipped') else 'yes' if row['converged'] else 'no'
    print(f"{name(row):<26} {row['kills']:>6} {converged:>10} {row['bytes_lost']:>11} {row.get('empty_uploads', '-'):>14}  {row['seed']}")
print(f"{'total':<26} {sum(row['kills'] for row in rows):>6}")
PY
rm -rf "$logs"
exit $status
