#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the icon's PNG sizes from the SVG (rsvg-convert, Debian package librsvg2-bin). The
# PNGs are kept in the repository so that building needs no SVG renderer; run this after
# changing the SVG.
set -e
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" terminal-config-tool.svg -o "$size.png"
done
