#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the window in its states (locked; unlocked on each page) to PNG files without a
# display: scripts/screenshots.sh [folder]   (default: screenshots/)
set -e
cd "$(dirname "$0")/.."
scripts/build.sh render_window
build/src/app/render_window "${1:-screenshots}"
