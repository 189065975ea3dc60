#!/bin/sh
# Renders the window in its states (locked; unlocked on each page) to PNG files without a
# display: scripts/screenshots.sh [folder]   (default: screenshots/)
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target render_window
build/src/app/render_window "${1:-screenshots}"
