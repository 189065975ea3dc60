#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the stress program in the default, asan and tsan presets' folders (plain, AddressSanitizer+
# UBSan, ThreadSanitizer), and runs each once. Disconnects are judged against
# 50 ms in the plain build, 500 ms under a sanitizer (its own bookkeeping dominates there).
# Not part of the test command: the three builds of the whole window take a while.
#   tests/faults/stress_all.sh [--cycles N]
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
jobs=${JOBS:-2}
status=0

build() { # preset
  (cd "$root" && cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$jobs" --target stress >/dev/null)
}

export QT_QPA_PLATFORM=offscreen

build default
echo "== plain"
"$root/build/bench/stress" "$@" || status=1

build asan
echo "== address,undefined"
LSAN_OPTIONS=suppressions=$root/tests/lsan.supp ASAN_OPTIONS=detect_leaks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$root/build-asan/bench/stress" --max-disconnect-ms 500 "$@" || status=1

build tsan
echo "== thread"
TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
  "$root/build-tsan/bench/stress" --max-disconnect-ms 500 "$@" || status=1

exit $status
