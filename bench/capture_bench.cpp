// SPDX-License-Identifier: GPL-3.0-or-later
// capture_bench [--rate N] [--seconds S] [--list]
// The test console with 记录抓包文件 checked under a flood of 53-byte datagrams from the
// loopback (default 50,000 a second for 10 s; --list also ticks 允许接收数据). Reports how
// many datagrams the capture file lacks (read back from the file) and the longest event-loop
// stall (how late a 10 ms timer fired).
#include "capture/capture_writer.h"
#include "common/dialogs.h"
#include "window/globals.h"
#include "console/pages/capture_control.h"
#include "console/pages/console_page.h"
#include "net/udp_server.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
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

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// Enhanced packet blocks in the file: a count apart from the writer's own.
long packetsInFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray b = f.readAll();
    long n = 0;
    for (qsizetype at = 0; at + 8 <= b.size();) {
        std::uint32_t type = 0, length = 0;
        std::memcpy(&type, b.constData() + at, 4);
        std::memcpy(&length, b.constData() + at + 4, 4);
        if (length < 12)
            return -1;
        n += type == 6;
        at += length;
    }
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rate = 50000, seconds = 10;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rate") && i + 1 < argc)
            rate = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--list"))
            list = true;
    }

    BenchDialogs dialogs;
    dialogs.path = QDir::temp().filePath(
        QStringLiteral("capture_bench_%1.pcapng").arg(QCoreApplication::applicationPid()));
    installDialogs(&dialogs);
    MainGlobals globals;
    TUDPServer udp;
    QWidget window;
    auto* page = new ConsolePage(globals, udp, &window);
    window.resize(1089, 551);
    window.show();
    udp.OnUDPRead = [page](TUDPServer& s, const QByteArray& d, TSocketHandle& b) {
        page->UDPServerUDPRead(s, d, b);
    };
    page->findChild<QCheckBox*>(QStringLiteral("ChOK"))->setChecked(list);
    udp.SetDefaultPort(freePort());
    const int port = udp.AcquireBinding().Port;
    page->capture()->checkBox()->click();
    if (!page->capture()->writer().running()) {
        std::printf("capture did not start\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, worstLateNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (lastTick)
            worstLateNs = std::max(worstLateNs, now - lastTick - 10'000'000);
        lastTick = now;
    });
    ticker.start();

    const long total = static_cast<long>(rate) * seconds;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        unsigned char datagram[53] = {};
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        const long perSlice = std::max(1, rate / 1000);
        for (long n = 0; n < total;) {
            for (long i = 0; i < perSlice && n < total; ++i, ++n) {
                std::memcpy(datagram, &n, sizeof n);
                ::sendto(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to);
            }
            next.tv_nsec += 1'000'000;
            if (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
        ::close(fd);
        done = true;
    });

    CaptureWriter& writer = page->capture()->writer();
    QElapsedTimer settle;
    std::uint64_t last = 0;
    while (!done ||
           (writer.recorded() < static_cast<std::uint64_t>(total) && settle.isValid() &&
            settle.elapsed() < 1000) ||
           !settle.isValid()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (done && !settle.isValid())
            settle.start();
        if (writer.recorded() != last) {
            last = writer.recorded();
            if (settle.isValid())
                settle.restart();
        }
    }
    sender.join();
    const std::uint64_t writerLost = writer.lost();
    page->capture()->checkBox()->click(); // unchecks: flushed and closed
    const long inFile = packetsInFile(dialogs.path);
    std::printf("capture at %d datagrams/s for %d s%s\n", rate, seconds,
                list ? " (also listed)" : "");
    std::printf("  sent              %ld\n", total);
    std::printf("  in the file       %ld\n", inFile);
    std::printf("  lost              %ld (writer refused %llu)\n", total - inFile,
                static_cast<unsigned long long>(writerLost));
    std::printf("  listed count      %d\n", globals.RecvCount);
    std::printf("  longest stall     %.1f ms\n", worstLateNs / 1e6);
    QFile::remove(dialogs.path);
    udp.SetActive(false);
    installDialogs(nullptr);
    return 0;
}
