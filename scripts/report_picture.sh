#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the handover report of the sample results in docs/report-sample, opens it in headless
# Chromium (package chromium), fails on any error the browser reports while loading it, and
# takes the picture docs/7-report.png.   scripts/report_picture.sh
set -e
cd "$(dirname "$0")/.."
command -v chromium >/dev/null || { echo "report_picture.sh: needs chromium (apt-get install chromium)" >&2; exit 2; }
scripts/build.sh TerminalConfigTool
sample=docs/report-sample/site.csv
build/src/app/terminal-config-tool --report "$sample"
page="file://$(pwd)/$sample.report.html"
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
run() {
  chromium --headless --no-sandbox --disable-gpu --user-data-dir="$profile" --hide-scrollbars \
    --enable-logging=stderr --v=0 "$@" "$page" 2>"$profile/log"
}
# The page as the browser built it: the tables must be there, and nothing it reported an error.
run --dump-dom >"$profile/dom"
grep -q "<h2>已拒绝</h2>" "$profile/dom" || { echo "report_picture.sh: the page did not load" >&2; exit 1; }
if grep -E "CONSOLE|Uncaught|ERROR:.*(html|file://)" "$profile/log"; then
  echo "report_picture.sh: the browser reported errors on the page" >&2
  exit 1
fi
run --screenshot="$(pwd)/docs/7-report.png" --window-size=1920,860
echo "docs/7-report.png"
