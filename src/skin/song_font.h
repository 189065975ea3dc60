// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// The window is designed for SimSun ("宋体"), which Linux lacks: map it onto a Song face.
// Called once before the application object exists, by the program and by the tests alike.
void registerFontSubstitutions();

// "宋体" at the given pixel size, as the window and its pages use it.
QFont songFont(int pixels);
