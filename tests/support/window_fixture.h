// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The whole window offscreen with scripted boxes, connected the way an operator connects.
#include "app/main_window.h"
#include "console/pages/console_page.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<TfrmMain>();
        window->resize(1089, 551);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        expectNoTopLevelWidgetsLeft();
    }

    template <class T> T* child(const char* name) { return findNamed<T>(window.get(), name); }
    QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
    ConsolePage* console() { return window->findChild<ConsolePage*>(); }
    bool unlocked() { return child<QTabWidget>("PageControl1")->isEnabled(); }

    // Presses connect with the right password and the given local port.
    void connectOn(int port)
    {
        edit("edtMM")->setText(QStringLiteral("40617293"));
        edit("Edit3")->setText(QString::number(port));
        QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    }
    void disconnect() { QTest::mouseClick(child<QPushButton>("BitBtn2"), Qt::LeftButton); }
    void showPage(int index) { child<QTabWidget>("PageControl1")->setCurrentIndex(index); }

    // Lines of the receive list, without the empty one after the last line break.
    QStringList listedLines()
    {
        QStringList lines = console()->memoText().split(QChar(u'\n'));
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    FakeDialogs fake;
    std::unique_ptr<TfrmMain> window;
};
