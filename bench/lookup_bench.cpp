// SPDX-License-Identifier: GPL-3.0-or-later
// A mistyped host with a name server that never answers: the console's send, on the whole
// window offscreen, from the press to the error box. Prints the time to the box and the
// longest event-loop stall of each run; fails when a box takes 3 s or more, or the loop
// stalls 100 ms or more.
//
//   lookup_bench [--runs N]
//
// Runs in namespaces of its own (needs root or user namespaces): a network namespace with
// only the loopback, where a UDP socket on 127.0.0.53:53 reads queries and drops them, and a
// mount namespace whose /etc/resolv.conf names only that server with the resolver's default
// time-outs (5 s, two tries). Nothing leaves the machine.
#include "app/main_window.h"
#include "common/dialogs.h"
#include "skin/song_font.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool fail(const char* what)
{
    std::fprintf(stderr, "lookup_bench: %s: %s\n", what, std::strerror(errno));
    return false;
}

// Before any thread exists, so the whole process moves.
bool enterSandbox(QTemporaryDir& dir)
{
    if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0)
        return fail("unshare (needs root or user namespaces)");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return fail("making / private");
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    const bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &lo) == 0 &&
                    (lo.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &lo) == 0);
    if (s >= 0)
        ::close(s);
    if (!up)
        return fail("bringing the loopback up");
    const QString conf = dir.filePath(QStringLiteral("resolv.conf"));
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly) || f.write("nameserver 127.0.0.53\n") <= 0)
        return fail("writing resolv.conf");
    f.close();
    if (::mount(QFile::encodeName(conf).constData(), "/etc/resolv.conf", nullptr, MS_BIND,
                nullptr) != 0)
        return fail("bind mount over /etc/resolv.conf");
    return true;
}

class SilentNameServer
{
public:
    SilentNameServer() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(53);
        a.sin_addr.s_addr = htonl(0x7F000035); // 127.0.0.53
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        thread_ = std::thread([this] {
            char query[1024];
            while (!stop_.load()) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 20) > 0 && ::recv(fd_, query, sizeof query, MSG_DONTWAIT) >= 0)
                    ++queries_;
            }
        });
    }
    ~SilentNameServer()
    {
        stop_.store(true);
        thread_.join();
        ::close(fd_);
    }
    bool bound() const { return bound_; }
    int queries() const { return queries_.load(); }

private:
    int fd_;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> queries_{0};
    std::thread thread_;
};

class BenchDialogs : public Dialogs
{
public:
    int messageBox(const QString& text, const QString&, int) override
    {
        lastText = text;
        at = Clock::now();
        ++count;
        return MB::IDOK;
    }
    std::optional<QString> saveFileName(const SaveDialogRequest&) override { return {}; }
    QString lastText;
    Clock::time_point at;
    int count = 0;
};

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    if (argc == 3 && std::strcmp(argv[1], "--runs") == 0)
        runs = std::max(1, std::atoi(argv[2]));
    else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--runs N]\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid() || !enterSandbox(dir))
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    registerFontSubstitutions();
    QApplication app(argc, argv);
    SilentNameServer server;
    if (!server.bound()) {
        std::fprintf(stderr, "lookup_bench: cannot bind 127.0.0.53:53\n");
        return 2;
    }
    BenchDialogs boxes;
    installDialogs(&boxes);

    bool ok = true;
    {
        TfrmMain window;
        window.show();
        window.findChild<QLineEdit*>(QStringLiteral("edtMM"))->setText(QStringLiteral("40617293"));
        window.findChild<QLineEdit*>(QStringLiteral("Edit3"))->setText(QStringLiteral("0"));
        window.BitBtn1Click();
        window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
        window.findChild<QLineEdit*>(QStringLiteral("edtIP"))
            ->setText(QStringLiteral("192.168.1.2OO"));
        auto* send = window.findChild<QPushButton*>(QStringLiteral("Button12"));

        double longestStallMs = 0;
        auto lastTick = Clock::now();
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestStallMs = std::max(longestStallMs, msSince(lastTick) - 10.0);
            lastTick = Clock::now();
        });
        ticker.start();

        for (int run = 1; run <= runs; ++run) {
            boxes.count = 0;
            longestStallMs = 0;
            lastTick = Clock::now();
            const auto pressed = Clock::now();
            send->click();
            longestStallMs = std::max(longestStallMs, msSince(lastTick));
            const double toBox =
                boxes.count == 1
                    ? std::chrono::duration<double, std::milli>(boxes.at - pressed).count()
                    : -1;
            const bool good = boxes.count == 1 &&
                              boxes.lastText.endsWith(QStringLiteral("Host not found.")) &&
                              toBox < 3000 && longestStallMs < 100;
            std::printf(
                "run %d: time to the box %.0f ms, longest event-loop stall %.1f ms, "
                "box \"%s\" %s\n",
                run, toBox, longestStallMs,
                qPrintable(
                    QString(boxes.lastText).replace(QStringLiteral("\r\n"), QStringLiteral(" | "))),
                good ? "OK" : "FAULT");
            ok = ok && good;
        }
    }
    std::printf("queries the silent name server swallowed: %d\n", server.queries());
    installDialogs(nullptr);
    return ok && server.queries() > 0 ? 0 : 1;
}
