#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each one.
#   fuzz/run.sh --regression               each target 5 s from its corpus (part of the tests)
#   fuzz/run.sh --seconds 600 --jobs 2     the long run: ten minutes a target, two at a time
# New inputs go to a scratch folder per target; the committed corpus is only read. A run that
# finds something keeps its scratch folder (artifacts and log) and says where.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=5
jobs=1
while [ $# -gt 0 ]; do
  case "$1" in
    --regression) seconds=5 ;;
    --seconds) seconds=${2:?}; shift ;;
    --jobs) jobs=${2:?}; shift ;;
    *) echo "usage: fuzz/run.sh [--regression | --seconds N] [--jobs N]" >&2; exit 2 ;;
  esac
  shift
done
build=build-fuzz
# The fuzz preset: clang, libFuzzer, ASan and UBSan, in build-fuzz.
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j"$(nproc)" || exit 1

results=$(mktemp -d)
run_one() { # <target binary>
  local target=$1 name work
  name=$(basename "$target")
  work=$(mktemp -d)
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$work/" "$work" "fuzz/corpus/${name#fuzz_}" 2>"$work/log"; then
    { echo "--- $name (${seconds}s)"; grep -E 'DONE|stat::number_of_executed_units' "$work/log" | tail -2; } \
      >"$results/$name.ok"
    rm -rf "$work"
  else
    { echo "--- $name (${seconds}s)"; tail -40 "$work/log"; echo "FAILED: $name (artifacts in $work)"; } \
      >"$results/$name.failed"
  fi
}

for target in "$build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_one "$target" &
done
wait
cat "$results"/* 2>/dev/null
status=0
ls "$results"/*.failed >/dev/null 2>&1 && status=1
[ -n "$(ls "$results")" ] || { echo "no fuzz target ran"; status=1; }
rm -rf "$results"
exit $status
