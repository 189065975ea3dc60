// SPDX-License-Identifier: GPL-3.0-or-later
// Loads a plan of 10,000 devices into the parameter page's plan panel, as the operator's
// "载入方案" does: read, check and fill the table. Prints the times; fails above one second of
// processor time.
#include "common/globals.h"
#include "config/pages/param_page.h"
#include "config/pages/plan_panel.h"
#include "net/udp_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int rows = 10000;
    QString text = u"type,new_ip,address\r\n"_s;
    for (int i = 0; i < rows; ++i)
        text += u"%1,10.0.%2.%3,%4\r\n"_s.arg(i % 12 + 1).arg(i / 256).arg(i % 256).arg(i + 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"site.csv"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return 2;
    file.close();

    MainGlobals globals;
    TUDPServer udp;
    ParamPage page(globals, udp);
    page.resize(1080, 460);
    page.show();
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    page.planPanel()->loadPlan(path);
    QApplication::processEvents();
    const qint64 ms = timer.elapsed();
    const long long cpuMs = (std::clock() - cpuStart) * 1000LL / CLOCKS_PER_SEC;
    const bool ok = page.planPanel()->plan().rows.size() == rows &&
                    page.planPanel()->plan().clean() && cpuMs < 1000;
    std::printf("plan panel: %d rows loaded, checked and listed in %lld ms (%lld ms of processor "
                "time)\n%s (limit 1000 ms of processor time)\n",
                rows, static_cast<long long>(ms), cpuMs, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
