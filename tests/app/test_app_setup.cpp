// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_setup.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace
{

// What the operator meets of Qt's own texts: the line edits' menu and the save dialog. The
// window gets them whatever the locale; here it is the test machine's.
TEST(QtTranslations, TheEditMenuAndTheSaveDialogSpeakChinese)
{
    ASSERT_TRUE(installQtTranslations(*qApp));

    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator())
            texts << a->text().section(u'\t', 0, 0); // without the shortcut
    }
    EXPECT_EQ(texts.join(u", "_s).toStdString(),
              "撤消(&U), 重做(&R), 剪切(&T), 复制(&C), 粘贴(&P), 删除, 全选");

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    auto* lookIn = dialog.findChild<QLabel*>(u"lookInLabel"_s);
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), u"查找范围："_s);
}

// The window's icon comes from the program's resources; a missing file leaves the title bar
// and the task bar without one.
TEST(AppIcon, HasEverySizeFrom16To256)
{
    QList<int> sizes;
    for (const QSize& s : appIcon().availableSizes())
        sizes << s.width();
    EXPECT_EQ(sizes, (QList<int>{16, 22, 24, 32, 48, 64, 128, 256}));
}

} // namespace
