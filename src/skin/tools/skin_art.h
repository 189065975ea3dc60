// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

// The button's skin strips and the update button's glyph, drawn in code so that the bitmaps
// kept in the resources can be regenerated and checked. Each strip holds three frames side
// by side: normal, mouse over, pressed.
namespace SkinArt
{

QImage winXPStrip();     // 54 x 21, 256 colours
QImage macOSStrip();     // 252 x 23, key colour outside the rounded shape
QImage deepBlueStrip();  // 222 x 21
QImage proteinStrip();   // 222 x 21
QImage blueGlassStrip(); // 231 x 27, key colour outside the rounded shape
QImage updateGlyph();    // 16 x 16, 24 bits: blue right-pointing triangle on white

} // namespace SkinArt
