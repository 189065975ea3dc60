#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the stress program plainly (RelWithDebInfo), with AddressSanitizer+UBSan and with
# ThreadSanitizer, each in its own folder, and runs each once. Disconnects are judged against
# 50 ms in the plain build, 500 ms under a sanitizer (its own bookkeeping dominates there).
# Not part of the test command: the three builds of the whole window take a while.
#   tests/faults/stress_all.sh [--cycles N]
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
jobs=${JOBS:-2}
status=0

build() { # folder, extra cmake arguments...
  dir=$1; shift
  cmake -S "$root" -B "$root/$dir" -DBUILD_TESTING=OFF "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs" --target stress >/dev/null
}

export QT_QPA_PLATFORM=offscreen

build build-stress-rel -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== plain"
"$root/build-stress-rel/bench/stress" "$@" || status=1

build build-stress-asan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=address,undefined
echo "== address,undefined"
LSAN_OPTIONS=suppressions=$root/tests/lsan.supp ASAN_OPTIONS=detect_leaks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$root/build-stress-asan/bench/stress" --max-disconnect-ms 500 "$@" || status=1

build build-stress-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=thread
echo "== thread"
TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
  "$root/build-stress-tsan/bench/stress" --max-disconnect-ms 500 "$@" || status=1

exit $status
