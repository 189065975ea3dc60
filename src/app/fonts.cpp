#include "app/fonts.h"

#include <QFont>
#include <QStringList>

void registerFontSubstitutions()
{
    const QStringList song = {QStringLiteral("Noto Serif CJK SC"),
                              QStringLiteral("Noto Sans CJK SC")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), song);
    QFont::insertSubstitutions(QStringLiteral("SimSun"), song);
}
