#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the 16 x 16 glyphs of the top bar (ImageMagick). Kept so they can be redrawn.
cd "$(dirname "$0")"
# connect: a green link arrow
convert -size 16x16 xc:none -fill '#1a8f2a' -stroke '#0b5e17' \
  -draw "polygon 2,6 9,6 9,2 15,8 9,14 9,10 2,10" connect.png
# disconnect: a red cross in a circle
convert -size 16x16 xc:none -fill '#d23b2f' -stroke '#8e1c14' -draw "circle 8,8 8,1" \
  -stroke white -strokewidth 2 -draw "line 5,5 11,11" -draw "line 11,5 5,11" disconnect.png
# close: a door with an arrow
convert -size 16x16 xc:none -fill '#8a5a2b' -stroke '#4d2f12' -draw "rectangle 2,1 10,14" \
  -fill '#f1c232' -stroke none -draw "rectangle 8,7 9,8" \
  -fill '#1f5fbf' -stroke '#1f5fbf' -draw "polygon 11,5 15,8 11,11" close.png
