// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "skin/skin_custom_button.h"
#include "skin/skin_paint.h"

#include <QImage>
#include <QPoint>

// The skinned button with a glyph: the skin frame stretched to the button's size, the glyph
// beside the caption.
class TSkinButton : public TSkinCustomButton
{
    Q_OBJECT
    Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)

public:
    explicit TSkinButton(QWidget* parent = nullptr);
    ~TSkinButton() override;

    const QImage& Glyph() const { return glyph_; }
    void SetGlyph(const QImage& value);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);
    // Top-left point of the caption as last worked out by a paint with a glyph.
    QPoint CaptionPos() const { return captionPos_; }

protected:
    void UIStyleChanged() override;
    void PaintFace(QImage& surface, const QImage& frame) override;
    void PaintCaption(QImage& surface, const QString& text) override;
    void PaintFocus(QImage& surface) override;

private:
    QImage glyph_;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    QPoint captionPos_;
    int spacing_ = 4;
};
