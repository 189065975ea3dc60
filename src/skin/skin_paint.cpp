// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/skin_paint.h"

#include "skin/skin_ui_style.h"

#include <algorithm>

namespace
{

// Rectangle from left, top, right, bottom with right and bottom exclusive.
QRect ltrb(int l, int t, int r, int b)
{
    return QRect(l, t, r - l, b - t);
}

int nonNegative(int v)
{
    return std::max(v, 0);
}

SkinPiece corner(const QRect& source, const QRect& dest)
{
    return {source, dest, true, source.width() > 0 && source.height() > 0};
}

SkinPiece stretch(const QRect& source, const QRect& dest)
{
    const bool drawn =
        dest.width() > 0 && dest.height() > 0 && source.width() > 0 && source.height() > 0;
    return {source, dest, false, drawn};
}

} // namespace

std::array<SkinPiece, 9> planSkinPieces(QSize frame, QSize target)
{
    const int sw = frame.width(), sh = frame.height();
    const int targetW = target.width(), targetH = target.height();
    const int hw = sw / 2, hh = sh / 2;
    const int dw = targetW / 2, dh = targetH / 2;
    std::array<SkinPiece, 9> p;

    // Corners: the smaller of source part and destination part, kept at their own corner.
    int w = nonNegative(std::min(hw, dw)), h = nonNegative(std::min(hh, dh));
    p[0] = corner(ltrb(0, 0, w, h), ltrb(0, 0, w, h));
    const QRect tl = p[0].dest;

    w = nonNegative(std::min(hw, dw));
    h = nonNegative(std::min(hh - 1, dh - 1));
    p[1] = corner(ltrb(0, sh - h, w, sh), ltrb(0, targetH - h, w, targetH));
    const QRect bl = p[1].dest;

    // Left edge: keeps the left of its source when narrower.
    {
        const QRect dest = ltrb(0, tl.bottom() + 1, tl.right() + 1, bl.top());
        const int partW = hw;
        const int srcW = std::min(partW, dest.width());
        p[2] = stretch(ltrb(0, hh, srcW, sh - hh), dest);
    }

    w = nonNegative(std::min(hw - 1, dw - 1));
    h = nonNegative(std::min(hh, dh));
    p[3] = corner(ltrb(sw - w, 0, sw, h), ltrb(targetW - w, 0, targetW, h));
    const QRect tr = p[3].dest;

    w = nonNegative(std::min(hw - 1, dw - 1));
    h = nonNegative(std::min(hh - 1, dh - 1));
    p[4] = corner(ltrb(sw - w, sh - h, sw, sh), ltrb(targetW - w, targetH - h, targetW, targetH));
    const QRect br = p[4].dest;

    // Right edge: keeps the right of its source when narrower.
    {
        const QRect dest = ltrb(tr.left(), tr.bottom() + 1, tr.right() + 1, br.top());
        const int partL = sw - hw + 1;
        const int srcW = std::min(sw - partL, dest.width());
        p[5] = stretch(ltrb(sw - srcW, sh - hh, sw, hh + 2), dest);
    }
    // Top edge: keeps the top of its source when lower.
    {
        const QRect dest = ltrb(tl.right() + 1, 0, tr.left(), tl.bottom() + 1);
        const int srcH = std::min(hh, dest.height());
        p[6] = stretch(ltrb(hw, 0, sw - hw + 1, srcH), dest);
    }
    // Centre: never reduced.
    p[7] = stretch(ltrb(hw, hh, sw - hw + 1, sh - hh),
                   ltrb(tl.right() + 1, tl.bottom() + 1, tr.left(), br.top() - 1));
    // Bottom edge: one pixel further left and up than its neighbours, keeps the bottom.
    {
        const QRect dest = ltrb(tl.right(), bl.top() - 1, br.left(), br.bottom() + 1);
        const int srcH = std::min(sh - (sh - hh), dest.height());
        p[8] = stretch(ltrb(hw, sh - srcH, sw - hw + 1, sh), dest);
    }
    return p;
}

namespace
{

void drawCorner(const QImage& frame, QImage& surface, const QRect& clip, const QRect& source,
                QPoint at, bool masked)
{
    for (int y = 0; y < source.height(); ++y) {
        const int sy = source.top() + y, ty = at.y() + y;
        if (sy < 0 || sy >= frame.height() || ty < clip.top() || ty > clip.bottom())
            continue;
        for (int x = 0; x < source.width(); ++x) {
            const int sx = source.left() + x, tx = at.x() + x;
            if (sx < 0 || sx >= frame.width() || tx < clip.left() || tx > clip.right())
                continue;
            const QRgb c = frame.pixel(sx, sy);
            if (masked && isSkinKeyColor(c))
                continue;
            surface.setPixel(tx, ty, c | 0xFF000000u);
        }
    }
}

// Nearest-pixel scaling: enlarging repeats rows and columns. Key-coloured pixels are left out.
void drawStretched(const QImage& frame, QImage& surface, const QRect& clip, const QRect& source,
                   const QRect& dest)
{
    const int dW = dest.width(), dH = dest.height();
    const int sW = source.width(), sH = source.height();
    for (int y = 0; y < dH; ++y) {
        const int ty = dest.top() + y;
        const int sy = source.top() + static_cast<int>(static_cast<qint64>(y) * sH / dH);
        if (ty < clip.top() || ty > clip.bottom() || sy < 0 || sy >= frame.height())
            continue;
        for (int x = 0; x < dW; ++x) {
            const int tx = dest.left() + x;
            const int sx = source.left() + static_cast<int>(static_cast<qint64>(x) * sW / dW);
            if (tx < clip.left() || tx > clip.right() || sx < 0 || sx >= frame.width())
                continue;
            const QRgb c = frame.pixel(sx, sy);
            if (!isSkinKeyColor(c))
                surface.setPixel(tx, ty, c | 0xFF000000u);
        }
    }
}

} // namespace

void drawSkinStretched(const QImage& frame, QImage& surface, const QRect& rect, bool masked)
{
    if (frame.isNull() || surface.isNull())
        return;
    const QImage f = frame.convertToFormat(QImage::Format_RGB32);
    // Pieces of very small buttons can reach past the rectangle; nothing is drawn there.
    const QRect clip = rect.intersected(surface.rect());
    if (clip.isEmpty())
        return;
    for (const SkinPiece& piece : planSkinPieces(f.size(), rect.size())) {
        if (!piece.drawn)
            continue;
        const QRect dest = piece.dest.translated(rect.topLeft());
        if (piece.corner)
            drawCorner(f, surface, clip, piece.source, dest.topLeft(), masked);
        else
            drawStretched(f, surface, clip, piece.source, dest);
    }
}

bool glyphHasTwoImages(QSize bitmap)
{
    return bitmap.height() > 0 && bitmap.width() == 2 * bitmap.height();
}

QSize glyphImageSize(QSize bitmap)
{
    return glyphHasTwoImages(bitmap) ? QSize(bitmap.height(), bitmap.height()) : bitmap;
}

GlyphPlacement placeGlyph(QSize button, QSize text, QSize glyph, int spacing, TButtonLayout layout)
{
    const int targetW = button.width(), targetH = button.height();
    const int tw = text.width(), th = text.height();
    const int gw = glyph.width(), gh = glyph.height();
    GlyphPlacement p;
    switch (layout) {
    case TButtonLayout::blGlyphLeft:
        p.glyph = {(targetW - (tw + gw + spacing)) / 2, (targetH - gh) / 2};
        p.caption = {p.glyph.x() + gw + spacing, (targetH - th) / 2};
        break;
    case TButtonLayout::blGlyphRight:
        p.glyph = {(targetW + tw + spacing - gw) / 2, (targetH - gh) / 2};
        p.caption = {p.glyph.x() - tw - spacing, (targetH - th) / 2};
        break;
    case TButtonLayout::blGlyphTop:
        p.glyph = {(targetW - gw) / 2, (targetH - (th + gh + spacing)) / 2};
        p.caption = {(targetW - tw) / 2, p.glyph.y() + gh + spacing};
        break;
    case TButtonLayout::blGlyphBottom:
        p.glyph = {(targetW - gw) / 2, (targetH + th + spacing - gh) / 2};
        p.caption = {(targetW - tw) / 2, p.glyph.y() - th - spacing};
        break;
    }
    return p;
}

namespace
{

template <class Plot> void forEachOpaque(const QImage& glyph, const QRect& part, Plot plot)
{
    if (glyph.isNull())
        return;
    const QRgb clear = glyph.pixel(0, 0) & 0xFFFFFFu;
    const QRect r = part.intersected(glyph.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = glyph.pixel(x, y);
            if ((c & 0xFFFFFFu) != clear)
                plot(x - part.left(), y - part.top(), c);
        }
}

void plotAt(QImage& surface, int x, int y, QRgb c)
{
    if (x >= 0 && y >= 0 && x < surface.width() && y < surface.height())
        surface.setPixel(x, y, c | 0xFF000000u);
}

} // namespace

void drawGlyph(QImage& surface, const QImage& glyph, const QRect& part, QPoint at)
{
    forEachOpaque(glyph, part,
                  [&](int x, int y, QRgb c) { plotAt(surface, at.x() + x, at.y() + y, c); });
}

void drawGlyphDisabled(QImage& surface, const QImage& glyph, const QRect& part, QPoint at,
                       QRgb highlight, QRgb shadow)
{
    forEachOpaque(glyph, part, [&](int x, int y, QRgb) {
        plotAt(surface, at.x() + x + 1, at.y() + y + 1, highlight);
    });
    forEachOpaque(glyph, part,
                  [&](int x, int y, QRgb) { plotAt(surface, at.x() + x, at.y() + y, shadow); });
}

void drawFocusRectInverted(QImage& surface, const QRect& rect)
{
    const QRect r = rect.normalized();
    if (r.isEmpty())
        return;
    auto invert = [&](int x, int y) {
        if ((x + y) % 2 != 0 || !surface.rect().contains(x, y))
            return;
        surface.setPixel(x, y, surface.pixel(x, y) ^ 0x00FFFFFFu);
    };
    // Each outline pixel once, so corners are not inverted back.
    for (int x = r.left(); x <= r.right(); ++x) {
        invert(x, r.top());
        if (r.bottom() != r.top())
            invert(x, r.bottom());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        invert(r.left(), y);
        if (r.right() != r.left())
            invert(r.right(), y);
    }
}

QRect focusRectangle(QSize button, int margin)
{
    return ltrb(margin, margin, button.width() - margin, button.height() - margin);
}
