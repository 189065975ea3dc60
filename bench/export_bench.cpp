// SPDX-License-Identifier: GPL-3.0-or-later
// Export benchmark: does a long export of the receive list leave the window responsive?
//
//   export_bench [--lines N] [--rate N] [--dir PATH] [--keep]
//
// Fills the list's spool with --lines lines (10,000,000, about 1.8 GB) of 53-byte datagrams
// as the monitor lists them (the last ones through the read handler, so the list is full as in
// use), then presses 导出成文件 and runs the event loop until the file is written. Meanwhile
// --rate datagrams a second (20,000) keep arriving through the read handler. Prints the export
// time, the longest event-loop stall during the export (lateness of a 10 ms timer, press
// included), the datagrams listed meanwhile, and checks the file: its line count and last line
// are those at the press. --dir is where the spool and the file go (the temporary folder);
// --keep leaves the file there.
#include "common/dialogs.h"
#include "window/globals.h"
#include "console/export_file.h"
#include "console/monitor_line.h"
#include "console/pages/console_page.h"
#include "console/pages/monitor_memo.h"
#include "net/udp_server.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{

class BenchDialogs : public Dialogs
{
public:
    QString path;
    int messageBox(const QString& text, const QString&, int) override
    {
        std::printf("  box: %s\n", qPrintable(text));
        return MB::IDOK;
    }
    std::optional<QString> saveFileName(const SaveDialogRequest&) override { return path; }
};

// Device chatter: a sequence number and varied bytes, so lines have realistic widths.
void fillDatagram(unsigned char* out, unsigned sequence)
{
    unsigned x = sequence * 2654435761u + 12345u;
    for (int i = 0; i < 53; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<unsigned char>(x);
    }
    out[0] = static_cast<unsigned char>(sequence >> 24);
    out[1] = static_cast<unsigned char>(sequence >> 16);
    out[2] = static_cast<unsigned char>(sequence >> 8);
    out[3] = static_cast<unsigned char>(sequence);
}

QString lineOf(unsigned sequence)
{
    unsigned char datagram[53];
    fillDatagram(datagram, sequence);
    QString line;
    appendMonitorLine(line, QByteArray(reinterpret_cast<char*>(datagram), 53), 53, true,
                      QStringLiteral("127.0.0.1"), 7500, 7520);
    return line;
}

// Lines and last line of a file, read in large pieces.
bool countLines(const QString& path, long long& lines, QByteArray& last)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    QByteArray piece(8 << 20, Qt::Uninitialized);
    QByteArray tail;
    lines = 0;
    for (;;) {
        const ssize_t n = ::read(fd, piece.data(), static_cast<size_t>(piece.size()));
        if (n <= 0)
            break;
        lines += std::count(piece.constData(), piece.constData() + n, '\n');
        tail = QByteArray(tail + QByteArrayView(piece.constData(), n)).right(1024);
    }
    ::close(fd);
    tail.chop(2); // the last line's CR LF
    last = tail.mid(tail.lastIndexOf('\n') + 1);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    long long lines = 10'000'000;
    int rate = 20000;
    bool keep = false;
    QString dir = QDir::tempPath();
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--lines") && i + 1 < argc)
            lines = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--rate") && i + 1 < argc)
            rate = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc)
            dir = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
        else {
            std::fprintf(stderr, "usage: export_bench [--lines N] [--rate N] [--dir PATH] "
                                 "[--keep]\n");
            return 2;
        }
    }

    MainGlobals globals;
    globals.ShowByteCount = 53;
    TUDPServer udp;
    QWidget window;
    auto* page = new ConsolePage(globals, udp, &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(page);
    window.resize(1089, 551);
    window.show();
    page->findChild<QCheckBox*>(QStringLiteral("ChOK"))->setChecked(true);
    auto* memo = page->findChild<MonitorMemo*>(QStringLiteral("Memo1"));
    memo->setSpoolFolder(dir + QStringLiteral("/export_bench_spool"));
    QApplication::processEvents();

    TSocketHandle binding;
    binding.SenderIP = QStringLiteral("127.0.0.1");
    binding.SenderPort = 7500;
    binding.Port = 7520;
    unsigned sequence = 0;
    const auto receive = [&] {
        unsigned char datagram[53];
        fillDatagram(datagram, sequence++);
        page->UDPServerUDPRead(udp, QByteArray::fromRawData(reinterpret_cast<char*>(datagram), 53),
                               binding);
    };

    // The older lines straight into the spool, in the form the list moves them there; the
    // newest through the read handler, so the list holds what it holds in use.
    QElapsedTimer fill;
    fill.start();
    const long long viaList = std::min<long long>(lines, MonitorMemo::DefaultKeptLines * 3 / 2);
    const long long aside = lines - viaList;
    constexpr int Batch = 2000;
    for (long long n = 0; n < aside;) {
        QString text;
        const long long end = std::min(aside, n + Batch);
        for (long long k = n; k < end; ++k) {
            text += lineOf(sequence++);
            text += QChar::ParagraphSeparator;
        }
        QByteArray bytes;
        encodeExportText(bytes, text);
        while (!memo->spool().append(bytes, end - n)) {
            if (!memo->spool().usable()) {
                std::printf("spool failed: %s\n", qPrintable(memo->spool().takeFault()));
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        n = end;
    }
    for (long long n = 0; n < viaList; ++n) {
        receive();
        if (n % 1000 == 999)
            memo->flush();
    }
    memo->flush();
    QApplication::processEvents();
    const QByteArray lastAtPress = lineOf(sequence - 1).toLatin1();
    std::printf("export_bench: %lld lines (%lld in the spool, %d in the list), filled in %.1f s\n",
                lines, static_cast<long long>(memo->linesAside()),
                memo->document()->blockCount() - 1, fill.nsecsElapsed() / 1e9);
    std::fflush(stdout);

    BenchDialogs dialogs;
    dialogs.path = QDir(dir).filePath(
        QStringLiteral("export_bench_%1.txt").arg(QCoreApplication::applicationPid()));
    installDialogs(&dialogs);

    // The event loop's pulse: a 10 ms timer, and how late it fires.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.nsecsElapsed(), worstLateNs = 0, worstAt = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (now - lastTick - 10'000'000 > worstLateNs) {
            worstLateNs = now - lastTick - 10'000'000;
            worstAt = lastTick;
        }
        lastTick = now;
    });
    // Datagrams keep coming while the file is written, a tick's worth at a time.
    const int listedBefore = globals.RecvCount;
    QTimer arrivals;
    arrivals.setTimerType(Qt::PreciseTimer);
    double owed = 0;
    qint64 lastArrival = clock.nsecsElapsed();
    QObject::connect(&arrivals, &QTimer::timeout, &arrivals, [&] {
        const qint64 now = clock.nsecsElapsed();
        owed += double(now - lastArrival) * rate / 1e9;
        lastArrival = now;
        for (; owed >= 1; owed -= 1)
            receive();
    });
    ticker.start(10);
    arrivals.start(5);
    lastTick = clock.nsecsElapsed();

    QElapsedTimer timing;
    timing.start();
    const qint64 pressAt = clock.nsecsElapsed();
    page->N2Click();
    const qint64 pressMs = timing.elapsed();
    bool dialogShown = false;
    while (page->exporting()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (auto* p = page->findChild<QProgressDialog*>(QStringLiteral("ExportProgress")))
            dialogShown = dialogShown || p->isVisible();
    }
    const qint64 exportNs = timing.nsecsElapsed();
    ticker.stop();
    arrivals.stop();
    memo->flush();
    installDialogs(nullptr);

    const int listedDuring = globals.RecvCount - listedBefore;
    long long fileLines = 0;
    QByteArray fileLast;
    const bool read = countLines(dialogs.path, fileLines, fileLast);
    const qint64 size = QFile(dialogs.path).size();
    std::printf("  export            %.2f s, %.1f MB (%.0f MB/s), progress dialog %s\n",
                exportNs / 1e9, size / 1048576.0, size / 1048576.0 / (exportNs / 1e9),
                dialogShown ? "shown" : "not shown");
    std::printf("  press             %lld ms (snapshot of the spool and copy of the list)\n",
                static_cast<long long>(pressMs));
    std::printf("  longest stall     %.1f ms (target < 100 ms), from %.2f s after the press\n",
                worstLateNs / 1e6, (worstAt - pressAt) / 1e9);
    std::printf("  listed meanwhile  %d datagrams at %d/s offered, count %d, list ends with "
                "the last: %s\n",
                listedDuring, rate, globals.RecvCount,
                memo->document()->lastBlock().previous().text() == lineOf(sequence - 1) ? "yes"
                                                                                        : "NO");
    std::printf("  file              %s: %lld lines of %lld, last line %s\n",
                read ? "read" : "MISSING", fileLines, lines,
                fileLast == lastAtPress ? "the last at the press" : "WRONG");
    if (!keep)
        QFile::remove(dialogs.path);
    const bool ok = read && fileLines == lines && fileLast == lastAtPress;
    return ok ? 0 : 1;
}
