// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_setup.h"
#include "app/check_plan.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "app/report_command.h"
#include "common/dialogs.h"
#include "net/arp_probe.h"
#include "skin/song_font.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTextStream>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    terminalOptions().push_back({QStringLiteral("--check-plan"), QString(), QStringLiteral("FILE"),
                                 QStringLiteral("检查批量配置方案，列出其中的错误后退出"),
                                 [](const QString& file, QTextStream& out, QTextStream&) {
                                     out.flush(); // the check prints on its own
                                     return checkPlanCommand(QFile::encodeName(file).constData());
                                 }});
    terminalOptions().push_back({QStringLiteral("--report"), QString(), QStringLiteral("PLAN"),
                                 QStringLiteral("由方案的结果文件写出交接报告后退出"),
                                 [](const QString& plan, QTextStream& out, QTextStream&) {
                                     out.flush();
                                     return reportCommand(QFile::encodeName(plan).constData());
                                 }});

    // --help and --version answer before any window exists: no display is needed for them.
    {
        QStringList args;
        for (int i = 1; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const auto rc = runTerminalOption(args, out, err))
            return *rc;
    }

    registerFontSubstitutions();
    QApplication app(argc, argv);
    setUpApplication(app);
    QtDialogs realDialogs;
    installDialogs(&realDialogs);
    // Tests leave the recording probe in place; only the program itself probes the network.
    ArpPresenceProbe arpProbe;
    installPresenceProbe(&arpProbe);

    int rc = 0;
    try {
        TfrmMain frmMain;
        frmMain.showMaximized();
        rc = QApplication::exec();
    } catch (const std::exception& e) {
        // Creating the window failed (no sockets, say): say so and end.
        QMessageBox::critical(nullptr, appTitle(), QString::fromLocal8Bit(e.what()));
        rc = 1;
    }
    installPresenceProbe(nullptr);
    installDialogs(nullptr);
    return rc;
}
