// SPDX-License-Identifier: GPL-3.0-or-later
// Loads a plan of 10,000 devices into the parameter page's plan panel, as the operator's
// "载入方案" does, while a 1 ms timer on the event thread measures how late it fires: the
// longest stall is how long the window stood still, in wall time and in the event thread's
// processor time (on a shared machine the wall time also holds the other jobs). Then wide
// plans: a spreadsheet's export with 20,000 empty columns after the used ones, 10,000 rows at
// the column limit, and 20,000 columns in use. Then a file over the byte limit and one over
// the row limit, each timed to its box. Fails when the event thread works 100 ms or more
// without returning to its loop.
#include "common/dialogs.h"
#include "window/globals.h"
#include "config/pages/param_page.h"
#include "plan/pages/plan_panel.h"
#include "net/udp_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace
{

class BenchDialogs : public Dialogs
{
public:
    QStringList boxes;
    int messageBox(const QString& text, const QString&, int) override
    {
        boxes.append(text);
        return MB::IDOK;
    }
    std::optional<QString> saveFileName(const SaveDialogRequest&) override { return {}; }
};

// Every parameter column a site plan has, two columns of the spreadsheet's own, 10,000 rows.
QByteArray sitePlan(int rows)
{
    const QStringList types = {u"普通终端"_s, u"寻呼主机"_s, u"一键报警"_s,
                               u"网络收音"_s, u"6"_s,        u"12"_s};
    QString text =
        u"设备类型,当前设备IP,当前设备命令端口,更新后设备IP,服务器IP,网关地址,数据广播IP,"
        u"设备地址,命令端口,数据端口,服务器端口,组播IP,备注,楼层\r\n"_s;
    for (int i = 0; i < rows; ++i) {
        // Hosts .1 to .254 of /24 subnets: no network or broadcast address.
        const QString ip = u"10.%1.%2.%3"_s.arg(i / 254 / 256).arg(i / 254 % 256).arg(i % 254 + 1);
        text += u"%1,192.168.1.200,7500,%2,192.168.1.248,192.168.1.1,255.255.255.255,%3,7500,"
                u"7510,7520,%4,\"%5号楼 %6层, 走廊东侧第%7个喇叭\",%6\r\n"_s.arg(
                    types[i % types.size()], ip, QString::number(i + 1),
                    i % types.size() == 4 ? u"3"_s : u"224.0.1.48"_s, QString::number(i / 400 + 1),
                    QString::number(i / 20 % 20 + 1), QString::number(i % 20 + 1));
    }
    return text.toUtf8();
}

// A few rows of the site plan as a spreadsheet exports them with empty columns to its right.
QByteArray trailingColumns(int rows, int empty)
{
    const QByteArray tail = QByteArray(empty, ',') + "\r\n";
    QByteArray bytes;
    for (const QByteArray& line : sitePlan(rows).split('\n')) {
        if (!line.isEmpty())
            bytes += line.chopped(1) + tail; // each line ends in CR LF
    }
    return bytes;
}

// The site plan with remark columns up to width, every cell filled.
QByteArray remarkColumns(int rows, int width)
{
    const int site = 14; // columns of sitePlan
    QByteArray bytes;
    int row = 0;
    for (const QByteArray& line : sitePlan(rows).split('\n')) {
        if (line.isEmpty())
            continue;
        bytes += line.chopped(1);
        for (int k = site; k < width; ++k)
            bytes += (row == 0 ? QByteArray(",备注") : QByteArray(",r")) +
                     QByteArray::number(row == 0 ? k : row);
        bytes += "\r\n";
        ++row;
    }
    return bytes;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0)
        return {};
    return path;
}

qint64 threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

struct Run {
    qint64 doneMs = 0;  // from the choice to the plan shown, or to its box
    qint64 stallMs = 0; // longest gap between two ticks of the 1 ms timer
    qint64 cpuMs = 0;   // longest processor time of the event thread between two ticks
};

// Loads path and runs the event loop until done() holds and a quarter second more (the look
// ahead at the first row, anything queued behind the load).
template <class Done> Run load(PlanPanel& panel, const QString& path, Done done)
{
    Run run;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    qint64 cpuAtTick = 0;
    auto tick = [&] {
        run.stallMs = std::max(run.stallMs, sinceTick.restart());
        const qint64 now = threadCpuUs();
        run.cpuMs = std::max(run.cpuMs, (now - cpuAtTick) / 1000);
        cpuAtTick = now;
    };
    QObject::connect(&ticker, &QTimer::timeout, tick);
    clock.start();
    sinceTick.start();
    cpuAtTick = threadCpuUs();
    ticker.start();
    panel.loadPlan(path);
    tick(); // the press itself
    while (!done() && clock.elapsed() < 90000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    run.doneMs = clock.elapsed();
    while (clock.elapsed() < run.doneMs + 250)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchDialogs dialogs;
    installDialogs(&dialogs);
    constexpr int rows = 10000;
    QTemporaryDir dir;
    const QByteArray plan = sitePlan(rows);
    const QString site = writeFile(dir, u"site.csv"_s, plan);
    const QString tooLarge = writeFile(dir, u"large.csv"_s, {});
    const QString tooMany = writeFile(dir, u"many.csv"_s, "type\n" + QByteArray(rows + 1, '\n'));
    const QByteArray trailingPlan = trailingColumns(6, 20000);
    const QString trailing = writeFile(dir, u"trailing.csv"_s, trailingPlan);
    const QByteArray widestPlan = remarkColumns(rows, PlanMaxColumns);
    const QString widest = writeFile(dir, u"widest.csv"_s, widestPlan);
    const QString tooWide = writeFile(dir, u"wide.csv"_s, remarkColumns(3, 20000));
    if (site.isEmpty() || tooLarge.isEmpty() || tooMany.isEmpty() || trailing.isEmpty() ||
        widest.isEmpty() || tooWide.isEmpty() || !QFile::resize(tooLarge, 512LL << 20))
        return 2;

    MainGlobals globals;
    TUDPServer udp;
    ParamPage page(globals, udp);
    page.resize(1080, 460);
    page.show();
    PlanPanel& panel = *page.planPanel();
    auto* table = page.findChild<QTableWidget*>(u"tblPlan"_s);

    const Run first = load(panel, site, [&] { return !panel.loading(); });
    // Again, over the 10,000 rows the table already holds.
    const Run again = load(panel, site, [&] { return !panel.loading(); });
    const bool loaded = panel.plan().rows.size() == rows && table->rowCount() == rows &&
                        panel.plan().clean() && dialogs.boxes.isEmpty();
    std::printf("plan panel: %d rows, %lld bytes, every parameter column and two others\n", rows,
                static_cast<long long>(plan.size()));
    std::printf("  shown after       %lld ms, again over it %lld ms%s\n", first.doneMs,
                again.doneMs, loaded ? "" : " (NOT LOADED)");
    std::printf("  longest stall     %lld ms, again over it %lld ms (wall time)\n", first.stallMs,
                again.stallMs);
    std::printf("  longest work      %lld ms, again over it %lld ms (event thread's processor "
                "time between two ticks; limit 100 ms)\n",
                first.cpuMs, again.cpuMs);

    auto wide = [&](const QString& path, qsizetype bytes, int count, const char* what) {
        const Run run = load(panel, path, [&] { return !panel.loading(); });
        const bool shown = panel.plan().rows.size() == count && table->rowCount() == count &&
                           panel.plan().clean() && dialogs.boxes.isEmpty();
        std::printf("  %s, %lld bytes: shown after %lld ms%s, longest stall %lld ms, longest work "
                    "%lld ms, %d table columns\n",
                    what, static_cast<long long>(bytes), run.doneMs, shown ? "" : " (NOT LOADED)",
                    run.stallMs, run.cpuMs, table->columnCount());
        return shown && run.cpuMs < 100;
    };
    const bool loadedTrailing = wide(trailing, trailingPlan.size(), 6, "20,000 empty columns");
    const bool loadedWidest = wide(widest, widestPlan.size(), rows, "columns at the limit");

    auto refused = [&](const QString& path, const char* what) {
        const qsizetype before = dialogs.boxes.size();
        const Run run = load(panel, path, [&] { return dialogs.boxes.size() > before; });
        std::printf(
            "  %s: box after %lld ms, longest stall %lld ms, longest work %lld ms\n    %s\n", what,
            run.doneMs, run.stallMs, run.cpuMs,
            qPrintable(dialogs.boxes.value(before).replace(u'\n', u' ')));
        return run.cpuMs < 100 && dialogs.boxes.size() > before;
    };
    const bool refusedLarge = refused(tooLarge, "512 MB file");
    const bool refusedMany = refused(tooMany, "10,001 rows");
    const bool refusedWide = refused(tooWide, "20,000 columns");
    installDialogs(nullptr);

    const bool ok = loaded && first.cpuMs < 100 && again.cpuMs < 100 && loadedTrailing &&
                    loadedWidest && refusedLarge && refusedMany && refusedWide;
    std::printf("%s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
