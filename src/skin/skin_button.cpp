// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/skin_button.h"

#include <QFontMetrics>
#include <QPainter>

TSkinButton::TSkinButton(QWidget* parent) : TSkinCustomButton(parent)
{
    // The base constructor set the style before this class existed; its default
    // transparency is this class's business.
    UIStyleChanged();
    resize(80, 27);
}

TSkinButton::~TSkinButton() = default;

void TSkinButton::SetGlyph(const QImage& value)
{
    glyph_ = value.copy();
    repaint();
}

void TSkinButton::SetLayout(TButtonLayout value)
{
    layout_ = value;
    repaint();
}

void TSkinButton::SetSpacing(int value)
{
    spacing_ = value;
    repaint();
}

void TSkinButton::UIStyleChanged()
{
    const ResolvedUIStyle resolved = resolveUIStyle(FileTheme(), UIStyle());
    // No theme file is ever loaded, so the built-in table decides.
    const StyleEntryResult entry = styleEntry(resolved.style, StyleEntryButtonTransparent);
    SetTransparent(entry.kind == StyleEntryKind::Boolean && entry.value != 0);
}

void TSkinButton::PaintFace(QImage& surface, const QImage& frame)
{
    drawSkinStretched(frame, surface, surface.rect(), FrameMasked());
    if (glyph_.isNull())
        return;
    const QFontMetrics fm(font());
    const QSize text = fm.size(Qt::TextSingleLine | Qt::TextShowMnemonic, Caption());
    const QSize glyph = glyphImageSize(glyph_.size());
    const GlyphPlacement at = placeGlyph(size(), text, glyph, spacing_, layout_);
    captionPos_ = at.caption;
    QPoint g = at.glyph;
    if (Pressed())
        g += QPoint(1, 1);
    const QRect first(QPoint(0, 0), glyph);
    if (glyphHasTwoImages(glyph_.size())) {
        drawGlyph(surface, glyph_, ownEnabled() ? first : first.translated(glyph.width(), 0), g);
    } else if (ownEnabled()) {
        drawGlyph(surface, glyph_, first, g);
    } else {
        drawGlyphDisabled(surface, glyph_, first, g, palette().color(QPalette::Light).rgb(),
                          palette().color(QPalette::Dark).rgb());
    }
}

void TSkinButton::PaintCaption(QImage& surface, const QString& text)
{
    if (glyph_.isNull()) {
        TSkinCustomButton::PaintCaption(surface, text);
        return;
    }
    QPainter p(&surface);
    p.setFont(font());
    p.setBackgroundMode(Qt::TransparentMode);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
    // Single line from the point to the button's right and bottom edges, clipped there.
    const auto draw = [&](QPoint pt) {
        const QRect r(pt, QPoint(width() - 1, height() - 1));
        if (r.width() > 0 && r.height() > 0)
            p.drawText(r, flags, text);
    };
    p.setPen(palette().color(QPalette::WindowText));
    if (!ownEnabled()) {
        p.setPen(QColor(255, 255, 255));
        draw(captionPos_ + QPoint(1, 1));
        p.setPen(QColor(128, 128, 128));
    } else if (Pressed()) {
        captionPos_ += QPoint(1, 1);
    }
    draw(captionPos_);
}

void TSkinButton::PaintFocus(QImage& surface)
{
    if (UIStyle() == TSkinUIStyle::MacOS || UIStyle() == TSkinUIStyle::BlueGlass)
        boldCaption_ = true; // these skins show the focus as a bold caption
    else
        TSkinCustomButton::PaintFocus(surface);
}
