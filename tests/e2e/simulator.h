// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// terminal-sim started as the device and the server for a test, waited for until it listens.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

// Starts the simulator with args and waits until it says it listens. Fails the test (and
// returns false) when it ends first; its messages so far are in said.
inline bool startSimulator(QProcess& sim, const QStringList& args, QString& said)
{
    sim.start(QString::fromUtf8(TERMINAL_SIM), args);
    const bool answered = QTest::qWaitFor(
        [&] {
            said += QString::fromUtf8(sim.readAllStandardError());
            return said.contains(QStringLiteral("监听")) || sim.state() == QProcess::NotRunning;
        },
        10000);
    EXPECT_TRUE(answered) << "terminal-sim said nothing: " << said.toStdString();
    EXPECT_EQ(sim.state(), QProcess::Running) << said.toStdString();
    return answered && sim.state() == QProcess::Running;
}
