// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line of terminal-sim.

#include "protocol/device_types.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// Exit codes, documented in --help.
constexpr int ExitOk = 0;
constexpr int ExitExpectFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitCannotListen = 3;

struct SimOptions {
    QString deviceAddress = QStringLiteral("127.0.0.1");
    QString serverAddress = QStringLiteral("127.0.0.1");
    int devicePort = 7500;
    int serverPort = 7550;
    DeviceType deviceType = DeviceType::first();
    bool json = false;
    QString expectFile;
    std::optional<qint64> timeoutMs;
    std::optional<qint64> count;
    QString pcap;       // capture file of what arrives; empty for none
    bool apply = false; // reboot into the packet's new address, as a device does
    int rebootMs = 3000;
};

// The run ends before it starts: the help text (exit 0, to standard output) or a bad option's
// message (exit 2).
struct SimExit {
    int code = ExitOk;
    QString text;
};

// arguments as QCoreApplication::arguments() gives them, the program's name first.
std::variant<SimOptions, SimExit> parseSimOptions(const QStringList& arguments);
