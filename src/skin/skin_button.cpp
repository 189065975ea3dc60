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
    FGlyph = value.copy();
    repaint();
}

void TSkinButton::SetLayout(TButtonLayout value)
{
    FLayout = value;
    repaint();
}

void TSkinButton::SetSpacing(int value)
{
    FSpacing = value;
    repaint();
}

void TSkinButton::UIStyleChanged()
{
    const ResolvedUIStyle resolved = ResolveUIStyle(FileTheme(), UIStyle());
    // No theme file is ever loaded, so the built-in table decides.
    const StyleEntryResult entry = StyleEntry(resolved.Style, StyleEntryButtonTransparent);
    SetTransparent(entry.Kind == StyleEntryKind::Boolean && entry.Value != 0);
}

void TSkinButton::PaintFace(QImage& surface, const QImage& frame)
{
    DrawSkinStretched(frame, surface, surface.rect(), FrameMasked());
    if (FGlyph.isNull())
        return;
    const QFontMetrics fm(font());
    const QSize text = fm.size(Qt::TextSingleLine | Qt::TextShowMnemonic, Caption());
    const QSize glyph = glyphImageSize(FGlyph.size());
    const GlyphPlacement at = placeGlyph(size(), text, glyph, FSpacing, FLayout);
    FCaptionPos = at.Caption;
    QPoint g = at.Glyph;
    if (Pressed())
        g += QPoint(1, 1);
    const QRect first(QPoint(0, 0), glyph);
    if (glyphHasTwoImages(FGlyph.size())) {
        drawGlyph(surface, FGlyph, ownEnabled() ? first : first.translated(glyph.width(), 0), g);
    } else if (ownEnabled()) {
        drawGlyph(surface, FGlyph, first, g);
    } else {
        drawGlyphDisabled(surface, FGlyph, first, g, palette().color(QPalette::Light).rgb(),
                          palette().color(QPalette::Dark).rgb());
    }
}

void TSkinButton::PaintCaption(QImage& surface, const QString& text)
{
    if (FGlyph.isNull()) {
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
        draw(FCaptionPos + QPoint(1, 1));
        p.setPen(QColor(128, 128, 128));
    } else if (Pressed()) {
        FCaptionPos += QPoint(1, 1);
    }
    draw(FCaptionPos);
}

void TSkinButton::PaintFocus(QImage& surface)
{
    if (UIStyle() == TSkinUIStyle::MacOS || UIStyle() == TSkinUIStyle::BlueGlass)
        FBoldCaption = true; // these skins show the focus as a bold caption
    else
        TSkinCustomButton::PaintFocus(surface);
}
