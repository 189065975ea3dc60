#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package terminal-config-tool_<version>_amd64.deb into a folder (default:
# out/) and checks it with lintian:   scripts/package.sh [folder]
# Install it with: apt install ./out/terminal-config-tool_<version>_amd64.deb
set -e
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-out}")
scripts/deps.sh
# The package preset's own tree (build-package): the program alone, no tests.
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)" --target TerminalConfigTool
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-package/CMakeCache.txt)
deb="$out/terminal-config-tool_${version}_amd64.deb"
rm -f "$deb"
(cd build-package && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
# Errors and warnings fail; dist/linux/packaging.cmake says why each remaining note is left.
lintian --pedantic --fail-on error,warning,pedantic "$deb"
echo "$deb"
