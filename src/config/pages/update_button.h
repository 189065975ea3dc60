// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QImage;
class QWidget;
class TSkinButton;

// Sets up the server page's update button "立即更新" (objectName sbUpdateIP) in the order
// its settings are stored: caption, auto-size, style, tab order (after `tabAfter` when
// given), transparency, modal result, focus margin, glyph, layout, spacing, repeat interval.
// Geometry is left 156, top 228, 101 x 35. The click handler is the page's to connect.
void configureUpdateButton(TSkinButton& button, QWidget* tabAfter = nullptr);

// The update button's glyph: 16 x 16, a blue right-pointing triangle on white.
QImage updateButtonGlyph();
