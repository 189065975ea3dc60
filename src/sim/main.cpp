// SPDX-License-Identifier: GPL-3.0-or-later
// terminal-sim: stands in for a terminal device and for the server on a bench. Listens on the
// device's command port and the server's service management port, prints every datagram read
// back into its fields, and with --expect checks that the expected packets arrived.

#include "sim/address_move.h"
#include "sim/expectation.h"
#include "sim/signal_pipe.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"terminal-sim"_s);
    const SimOutput output = SimOutput::standard();

    auto parsed = parseSimOptions(QCoreApplication::arguments());
    if (const auto* exit = std::get_if<SimExit>(&parsed)) {
        if (exit->code == ExitOk) {
            output.out(exit->text);
        } else {
            output.err(exit->text);
            output.err(u"用法见 terminal-sim --help"_s);
        }
        return exit->code;
    }
    const SimOptions options = std::get<SimOptions>(std::move(parsed));
    if (const auto refusal = options.apply ? applyRefusal() : std::nullopt) {
        output.err(*refusal);
        return ExitUsage;
    }

    QList<QJsonObject> expected;
    if (!options.expectFile.isEmpty()) {
        QFile file(options.expectFile);
        if (!file.open(QIODevice::ReadOnly)) {
            output.err(u"无法读取期望文件 %1：%2"_s.arg(options.expectFile, file.errorString()));
            return ExitUsage;
        }
        Expected<QList<QJsonObject>> read = parseExpectations(file.readAll());
        if (!read) {
            output.err(u"期望文件 %1：%2"_s.arg(options.expectFile, read.error().message));
            return ExitUsage;
        }
        expected = std::move(*read);
        if (expected.isEmpty()) {
            output.err(u"期望文件 %1 中没有期望的数据包"_s.arg(options.expectFile));
            return ExitUsage;
        }
    }
    SignalPipe stopSignals;
    if (!stopSignals.install()) {
        output.err(u"无法安装信号处理：%1"_s.arg(QString::fromLocal8Bit(std::strerror(errno))));
        return ExitCannotListen;
    }
    return Simulator(options, std::move(expected), stopSignals, output).run();
}
