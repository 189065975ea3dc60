#pragma once

// The window is designed for SimSun ("宋体"), which Linux lacks: map it onto a Song face.
void registerFontSubstitutions();
