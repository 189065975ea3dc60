// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/song_font.h"
#include "support/test_helpers.h"

#include <QApplication>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>

void expectNoTopLevelWidgetsLeft()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowType() != Qt::ToolTip && w->windowType() != Qt::Desktop)
            left << QString::fromLatin1(w->metaObject()->className()) + u' ' + w->objectName();
    EXPECT_TRUE(left.isEmpty()) << "left open: " << left.join(u", ").toStdString();
}

// Widget tests: a QApplication on the platform set by the test's environment (offscreen).
int main(int argc, char** argv)
{
    registerFontSubstitutions();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return testExitCode(RUN_ALL_TESTS());
}
