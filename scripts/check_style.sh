#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails on a missing licence header, or a naming or formatting fault in src/: clang-format with
# the root .clang-format, and clang-tidy's readability-identifier-naming with the root
# .clang-tidy (whose IgnoredRegexp options list the names the window, the endpoint and the
# skinned button keep).
#   scripts/check_style.sh [build dir]   (default build; configured with the default preset when missing)
set -uo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
format=$(command -v clang-format-14 || command -v clang-format)
runner=$(command -v run-clang-tidy-14 || command -v run-clang-tidy)
if [ -z "$tidy" ] || [ -z "$format" ] || [ -z "$runner" ]; then
  echo "check_style: clang-tidy and clang-format are needed (scripts/deps.sh installs them)" >&2
  exit 1
fi
mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.h')
status=0

echo "=== licence headers"
# Every source, build and script file names its licence in its first lines.
missing=$(git ls-files '*.cpp' '*.h' '*.sh' '*.lua' '*.ui' '*CMakeLists.txt' '*.cmake' '*.in' \
  .ci/run | while IFS= read -r f; do
  head -3 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || echo "$f"
done)
if [ -n "$missing" ]; then
  echo "$missing" >&2
  echo "check_style: the files above lack the SPDX-License-Identifier line" >&2
  status=1
fi

echo "=== clang-format over src/"
if ! "$format" --dry-run --Werror "${sources[@]}"; then
  echo "check_style: run clang-format -i on the files above" >&2
  status=1
fi

echo "=== naming over src/"
if [ ! -f "$dir/compile_commands.json" ]; then
  cmake --preset default -B "$dir" >/dev/null || exit 1
fi
# The generated ui_*.h and moc files need the build's autogen step.
autogen=$(cmake --build "$dir" --target help | sed -n 's/^\.\.\. \(.*_autogen\)$/\1/p')
# shellcheck disable=SC2086
cmake --build "$dir" --target $autogen >/dev/null 2>&1 || true
log=$(mktemp)
"$runner" -p "$dir" -clang-tidy-binary "$tidy" -quiet -j"$(nproc)" "$PWD/src/" 2>&1 |
  sed -E 's/\x1b\[[0-9;]*m//g' >"$log"
if grep -q "readability-identifier-naming" "$log"; then
  grep -E "^$PWD/src/.*(warning|error):" "$log" | sed -E "s|^$PWD/||; s/ \[readability.*//" |
    sort -u >&2
  echo "check_style: names above break the naming rule (see .clang-tidy)" >&2
  status=1
elif grep -qE "error:" "$log"; then
  grep -E "error:" "$log" | sort -u | head -20 >&2
  status=1
fi
rm -f "$log"
[ "$status" -eq 0 ] && echo "style: clean"
exit $status
