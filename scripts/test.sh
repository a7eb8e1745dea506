#!/usr/bin/env bash
# Builds and runs every test: an AddressSanitizer + UndefinedBehaviorSanitizer
# Debug build runs all tests, a ThreadSanitizer build runs the concurrent
# modules' tests again. The desktop services' tests run twice: without a
# session bus (as on a server) and inside one (dbus-run-session); the tests
# that need a Secret Service or a notification server start buses of their own.
# The end-to-end tests (label e2e) run last; the whole-application one brings its own
# Xvfb and a session bus that activates nothing, so no keyring daemon or
# notification daemon of the machine starts for it.
set -euo pipefail
cd "$(dirname "$0")/.."

# ORVELLA_JOBS limits the parallel jobs on a shared machine.
jobs=${ORVELLA_JOBS:-$(nproc)}
tsan_modules="Reactive Sync PlatformDesktop OrvellaResolver QuarlinkModels OrvellaCore"
tsan_targets=$(for module in $tsan_modules; do printf '%sTests ' "$module"; done)
desktop_labels="^(PlatformDesktop|PlatformDesktopKeychain|OrvellaShared|OrvellaCore)\$"
apart_labels="^(PlatformDesktop|PlatformDesktopKeychain|OrvellaShared|OrvellaCore|e2e)\$"

# A fresh machine's compiler cache is empty and the two builds share no
# object, so filling it would only double what the builds hold on disk; and
# once linked, a build's objects are as large again as what the tests run.
# ORVELLA_KEEP_BUILD=1 keeps both for a developer's repeated runs.
keep_build=${ORVELLA_KEEP_BUILD:-0}
if [ "$keep_build" != 1 ]; then
    export CCACHE_DISABLE=1
fi
drop_objects() {
    if [ "$keep_build" != 1 ]; then
        find "$1" -name '*.o' -type f -delete
    fi
}

# The layers first: a misplaced include fails in a second, not after the builds.
bash scripts/check-layers.sh

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DORVELLA_SANITIZE=address,undefined -DORVELLA_BUILD_BENCHMARKS=OFF
cmake --build build/asan -j "$jobs"
drop_objects build/asan

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVELLA_SANITIZE=thread -DORVELLA_BUILD_BENCHMARKS=OFF
cmake --build build/tsan -j "$jobs" --target $tsan_targets
drop_objects build/tsan

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# GLib is not built with ThreadSanitizer: its locks are hidden from it.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/Platform/Desktop/Tests/ThreadSanitizerGLib.supp"
export QT_QPA_PLATFORM=offscreen

status=0
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: all tests"
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE "$apart_labels" || status=1
echo "== Desktop services without a session bus"
env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY \
    ctest --test-dir build/asan --output-on-failure -j "$jobs" -L "$desktop_labels" || status=1
echo "== Desktop services inside a session bus"
env -u DISPLAY dbus-run-session -- \
    ctest --test-dir build/asan --output-on-failure -j "$jobs" -L "$desktop_labels" || status=1
echo "== ThreadSanitizer: $tsan_modules"
# GLib's own slice allocator reuses memory behind ThreadSanitizer's back, so it
# allocates with malloc there (only there: in-flight D-Bus messages at exit
# would otherwise show as leaks under AddressSanitizer).
G_SLICE=always-malloc ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L "^($(echo $tsan_modules | tr ' ' '|'))\$" || status=1
echo "== End-to-end: the extension with its file-manager module, the whole application"
# One at a time: each starts and ends glimmerd processes of the same program.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    ctest --test-dir build/asan --output-on-failure -L '^e2e$' || status=1
exit $status
