#!/bin/sh
# The long crash-safety run: every scenario with ROUNDS kills (default 100) on
# a fresh seed, three scenarios at a time, then a table of the results.
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
printf '%s\n' down up mixed service network readonly tmpfs folderdelete typechange retry conflict | xargs -P 3 -I {} sh -c '
    python3 "$1/Orvella/Tests/CrashSafety/crash_harness.py" --driver "$2/Orvella/Tests/CrashSafety/crash-sync-driver" \
        --localcloud "$2/LocalCloud/localcloud" --scenario {} --kills "$3" --json "$4" >"$5/{}.log" 2>&1
    code=$?
    [ $code -eq 0 ] || [ $code -eq 77 ] || { grep -v "^kill-point\|^crash-sync-driver\|^error:\|^❗️" "$5/{}.log"; exit 1; }
' sh "$root" "$build" "$rounds" "$results" "$logs" || status=1
python3 - "$results" <<'PY'
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
print(f"{'scenario':<10} {'kills':>6} {'converged':>10} {'bytes lost':>11}  seed")
for row in sorted(rows, key=lambda row: row["scenario"]):
    print(f"{row['scenario']:<10} {row['kills']:>6} {'skipped' if row.get('skipped') else 'yes' if row['converged'] else 'no':>10} {row['bytes_lost']:>11}  {row['seed']}")
print(f"{'total':<10} {sum(row['kills'] for row in rows):>6}")
PY
rm -rf "$logs"
exit $status
