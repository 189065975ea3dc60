// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>

// Plain drawing and geometry of the skinned button, over images and values so that they
// can be checked without a window. Rectangles handed around here are ordinary QRects; a
// skipped piece has an empty one.

// Where the glyph stands relative to the caption.
enum class TButtonLayout : quint8 { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// One of the nine pieces a skin frame is cut into.
struct SkinPiece {
    QRect source;        // part of the frame, after reduction
    QRect dest;          // where it goes, relative to the target rectangle
    bool corner = false; // copied unscaled; otherwise stretched
    bool drawn = false;  // false when the piece is empty and skipped
};

// The nine pieces for a frame of `frame` size drawn into a rectangle of `target` size, in
// drawing order: top-left, bottom-left, left, top-right, bottom-right, right, top, centre,
// bottom. Later pieces overdraw earlier ones.
std::array<SkinPiece, 9> planSkinPieces(QSize frame, QSize target);

// Draws the frame stretched into `rect` of `surface`. Stretched pieces never draw pixels of
// the skin key colour; corner pieces leave them out only when `masked`.
void drawSkinStretched(const QImage& frame, QImage& surface, const QRect& rect, bool masked);

// Size of one glyph image: a bitmap twice as wide as high holds two (enabled, disabled).
QSize glyphImageSize(QSize bitmap);
bool glyphHasTwoImages(QSize bitmap);

struct GlyphPlacement {
    QPoint glyph;
    QPoint caption;
};

// Glyph and caption points for a button of `button` size, a caption of `text` size and one
// glyph image of `glyph` size.
GlyphPlacement placeGlyph(QSize button, QSize text, QSize glyph, int spacing, TButtonLayout layout);

// Draws `part` of the glyph bitmap at `at`, leaving out pixels of the colour of the bitmap's
// top-left pixel.
void drawGlyph(QImage& surface, const QImage& glyph, const QRect& part, QPoint at);

// The disabled look of a glyph: its silhouette in `highlight` one pixel right and down,
// then in `shadow` at `at`.
void drawGlyphDisabled(QImage& surface, const QImage& glyph, const QRect& part, QPoint at,
                       QRgb highlight, QRgb shadow);

// The dotted focus rectangle, drawn by inverting every other pixel of its outline, so that
// drawing it twice restores the image. `rect` runs from (left, top) to (right, bottom)
// exclusive, given as QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).
void drawFocusRectInverted(QImage& surface, const QRect& rect);

// The focus rectangle of a W x H button with margin m.
QRect focusRectangle(QSize button, int margin);
