#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, configures the normal build folder and builds the given targets:
#   scripts/build.sh TARGET...   (run.sh and screenshots.sh build through it)
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
for target in "$@"; do
  cmake --build build -j"$(nproc)" --target "$target"
done
