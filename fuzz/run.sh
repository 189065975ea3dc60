#!/bin/bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each one.
#   fuzz/run.sh --regression     each target a few seconds, starting from its corpus (the tests)
#   fuzz/run.sh --seconds N      each target N seconds, one after another
# The long run (10 minutes per target) takes two targets at a time on a two-core machine, after
# one build (fuzz/run.sh --regression); scratch corpora and logs stay in /tmp/fuzz-long:
#   find build-fuzz/fuzz -maxdepth 1 -type f -name 'fuzz_*' -printf '%f\n' | xargs -P2 -I{} sh -c \
#     'd=/tmp/fuzz-long/{}; mkdir -p $d/new && build-fuzz/fuzz/{} -max_total_time=600 -timeout=10 \
#      -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix=$d/ $d/new fuzz/corpus/${0#fuzz_} \
#      >$d.log 2>&1' {}
# then per target: grep -E "DONE|number_of_executed_units|ERROR" /tmp/fuzz-long/<target>.log
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=5
case "${1:-}" in
  --regression) seconds=5 ;;
  --seconds) seconds=${2:?} ;;
esac
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_FUZZERS=ON \
  -DBUILD_TESTING=OFF -DSANITIZE=address,undefined >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" --target fuzzers || exit 1
status=0
for target in "$build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  echo "--- $name (${seconds}s)"
  # New inputs go to a scratch folder; the committed corpus is only read.
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$work/" "$work" "$corpus" 2>"$work/log"; then
    tail -40 "$work/log"
    echo "FAILED: $name (artifacts in $work)"
    status=1
    continue
  fi
  grep -E 'stat::number_of_executed_units|cov:' "$work/log" | tail -2
  rm -rf "$work"
done
exit $status
