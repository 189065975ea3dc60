#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package terminal-config-tool_<version>_amd64.deb into a folder (default:
# out/) and checks it with lintian:   scripts/package.sh [folder]
# Install it with: apt install ./out/terminal-config-tool_<version>_amd64.deb
set -e
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-out}")
scripts/build.sh TerminalConfigTool terminal-sim
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
deb="$out/terminal-config-tool_${version}_amd64.deb"
rm -f "$deb"
(cd build && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
# Errors and warnings fail; dist/linux/packaging.cmake says why each remaining note is left.
lintian --pedantic --fail-on error,warning,pedantic "$deb"
echo "$deb"
