#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs every test: the normal build, everything again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded parts (sockets, the hand-over to Qt's event thread,
# the spool writer, name lookups, the stress program) under ThreadSanitizer, and the fuzz
# targets over their corpora. Each in a build folder of its own; any failure or finding fails the run.
# --quick: the normal build and its tests only, for the developer's loop.
set -uo pipefail
quick=0
[ "${1:-}" = "--quick" ] && quick=1
cd "$(dirname "$0")/.."
scripts/deps.sh || exit 1
jobs=$(nproc)
passed=0
failed=0
skipped=0
status=0

run_ctest() { # <preset> [ctest args...]
  local preset=$1; shift
  local log
  log=$(mktemp)
  ctest --preset "$preset" -j"$jobs" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    local total fails skips
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    # CTest counts a skipped test among the passed ones; it lists each as "(Skipped)".
    skips=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)' "$log")
    passed=$((passed + total - fails - skips))
    failed=$((failed + fails))
    skipped=$((skipped + skips))
    # Under CI a skipped binary is one whose skips are not all allowed (tests/allowed_skips.txt
    # is checked by the binary itself) or whose namespace could not be made: it exits non-zero
    # there, so any skip that reaches this point was allowed.
  fi
  rm -f "$log"
  [ "$rc" -eq 0 ] || status=1
}

build() { # <preset>: configures its folder (CMakePresets.json) and builds what the preset builds
  local preset=$1
  echo "=== $preset"
  # A tree that does not build is a failure the closing line counts, not a silent gap.
  cmake --preset "$preset" >/dev/null || { failed=$((failed + 1)); status=1; return 1; }
  cmake --build --preset "$preset" -j"$jobs" || { failed=$((failed + 1)); status=1; return 1; }
}

# Qt Test's QCOMPARE, QVERIFY and QTRY_* only return from the function they fail in and record
# nothing outside QTest::qExec: in a GoogleTest body a failed check passes. No test file that
# is not run by QTest::qExec may use them.
qt_checks_in_gtest() {
  local file found=0
  while IFS= read -r file; do
    grep -qE 'QTEST_(APPLESS_|GUILESS_)?MAIN|QTest::qExec' "$file" && continue
    if grep -nE '\b(QCOMPARE|QVERIFY|QTRY_[A-Z_]+)\b' "$file"; then
      echo "$file: Qt Test checks in a GoogleTest file never fail; use GoogleTest assertions" >&2
      found=1
    fi
  done < <(find tests bench -name '*.cpp' -o -name '*.h')
  return $found
}
# The README's commands work as written on a fresh machine: the package is installed from
# where scripts/package.sh puts it, each program it starts from build/ is built by a script or
# a command it shows before, and the simulator's site addresses say where they exist.
readme_check() {
  local found=0 script name use built
  grep -q 'apt install \./out/terminal-config-tool_' README.md ||
    { echo "README: the package is installed from out/, where scripts/package.sh puts it" >&2; found=1; }
  grep -qE '^scripts/build.sh .*\bterminal-sim\b' scripts/run.sh ||
    { echo "scripts/run.sh does not build terminal-sim, which the README starts from build/" >&2; found=1; }
  for name in $(grep -oE 'build/bench/[a-z_]+' README.md | sed 's|build/bench/||' | sort -u); do
    use=$(grep -nE "build/bench/$name\b" README.md | head -1 | cut -d: -f1)
    built=$(grep -nE -- "--target .*\b$name\b" README.md | head -1 | cut -d: -f1)
    if [ -z "$built" ] || [ "$built" -gt "$use" ]; then
      echo "README: build/bench/$name is started (line $use) before a command builds it" >&2
      found=1
    fi
  done
  grep -q 'tests/lab.sh build/src/sim/terminal-sim' README.md ||
    { echo "README: terminal-sim's site addresses need the lab (tests/lab.sh)" >&2; found=1; }
  return $found
}

echo "=== README commands"
if readme_check; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi

echo "=== Qt Test checks in GoogleTest files"
if qt_checks_in_gtest; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi

# The default tree is configured and built once; the naming check reads its compile commands
# (scripts/check_style.sh runs it alone).
if build default; then
  echo "=== style"
  if scripts/check_style.sh build; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
  run_ctest default
else
  failed=$((failed + 1)) # the style check could not run
fi
if [ "$quick" -eq 0 ]; then
  build asan && run_ctest asan
  build tsan && run_ctest tsan
fi
if [ "$quick" -eq 0 ] && [ -x fuzz/run.sh ]; then
  echo "=== fuzz regression"
  if fuzz/run.sh --regression --jobs "$jobs"; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
fi

echo
echo "all: $passed passed, $failed failed, $skipped skipped"
exit $status
