// SPDX-License-Identifier: GPL-3.0-or-later
// The real save dialog asks before it replaces a file that exists: it proposes the last path,
// so a second export would otherwise destroy the first without a word.
#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(SaveDialog, AsksBeforeReplacingAnExistingFile)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(u"123.txt"_s);
    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("first export");
    old.close();

    // Plays the operator: accepts the proposed name, answers the first question "No" and the
    // second "Yes".
    QStringList questions;
    int accepts = 0;
    QTimer operatorHand;
    operatorHand.setInterval(20);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            questions << box->text();
            box->button(questions.size() == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (accepts == questions.size() && accepts < 3) {
                ++accepts;
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
        }
    });
    operatorHand.start();

    QtDialogs dialogs;
    const std::optional<QString> chosen =
        dialogs.saveFileName(SaveDialogRequest{existing, u"txt"_s, u"txt"_s});
    operatorHand.stop();

    ASSERT_EQ(questions.size(), 2) << "the dialog replaced the file without asking";
    EXPECT_TRUE(questions[0].contains(u"123.txt"_s)) << questions[0].toStdString();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, existing);
    QFile still(existing);
    ASSERT_TRUE(still.open(QIODevice::ReadOnly));
    EXPECT_EQ(still.readAll(), "first export") << "the dialog itself writes nothing";
}

// The filter names what the file holds: the receive list's export is text, a capture is not.
TEST(SaveDialog, FilterNamesTheKindOfFile)
{
    struct Case {
        QString ext;
        QStringList filters;
    };
    const Case cases[] = {
        {u"txt"_s, {u"文本文件 (*.txt)"_s, u"所有文件 (*)"_s}},
        {u"pcapng"_s, {u"抓包文件 (*.pcapng)"_s, u"所有文件 (*)"_s}},
    };
    for (const Case& c : cases) {
        QStringList seen;
        QTimer operatorHand;
        operatorHand.setInterval(20);
        QObject::connect(&operatorHand, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                seen = dialog->nameFilters();
                QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
            }
        });
        operatorHand.start();
        QtDialogs dialogs;
        EXPECT_FALSE(dialogs.saveFileName(SaveDialogRequest{u"capture"_s, c.ext, c.ext}));
        operatorHand.stop();
        EXPECT_EQ(seen, c.filters) << c.ext.toStdString();
    }
}
