// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/update_button.h"

#include "skin/skin_button.h"
#include "skin/skin_ui_style.h"

#include <QImage>

QImage updateButtonGlyph()
{
    return loadSkinResource(QStringLiteral("UPDATE_GLYPH")).convertToFormat(QImage::Format_RGB888);
}

void configureUpdateButton(TSkinButton& button, QWidget* tabAfter)
{
    button.setObjectName(QStringLiteral("sbUpdateIP"));
    button.setGeometry(156, 228, 101, 35);
    button.SetCaption(QStringLiteral("立即更新"));
    button.SetAutoSize(false);
    button.SetUIStyle(TSkinUIStyle::WinXP); // resets Transparent to the style's False...
    if (tabAfter)
        QWidget::setTabOrder(tabAfter, &button);
    button.SetTransparent(true); // ...which the stored True then overrides
    button.SetModalResult(0);
    button.SetFocusedRectMargin(2);
    button.SetGlyph(updateButtonGlyph());
    button.SetLayout(TButtonLayout::blGlyphLeft);
    button.SetSpacing(4);
    button.SetMouseContinuouslyDownInterval(100);
}
