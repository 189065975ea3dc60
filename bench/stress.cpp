// SPDX-License-Identifier: GPL-3.0-or-later
// Connection stress: the whole window, offscreen, receiving a flood while it is connected and
// disconnected over and over.
//
//   stress [--cycles N] [--rate N] [--hold-ms N] [--stall-at N] [--max-disconnect-ms N]
//
// A sender thread sends datagrams holding a 4-byte big-endian sequence number to 127.0.0.1 at
// --rate per second (default 10,000), always to the port the window was last connected on.
// The window, receiving allowed and showing data only (53 bytes a line), connects with the
// right password and disconnects --cycles times (default 1,000), alternating between two
// ports and staying connected --hold-ms (default 10) each time. After each disconnect the
// listed lines are read back into sequence numbers and the list is cleared.
//
// Reports cycles done, datagrams sent and listed, lines listed twice or out of order (must be
// 0), a count that disagrees with the lines, any message box, the longest connect and
// disconnect, and the longest event-loop stall. Nothing listed at all, or a disconnect longer
// than 50 ms, is a fault too. A watchdog aborts with a message when the event
// thread makes no progress for 10 s (a deadlock); a crash signal is reported with the cycle.
// --stall-at N hangs the event thread for 12 s in cycle N, to see the watchdog fire.
// --max-disconnect-ms N judges disconnects against N ms instead of 50 (sanitizer builds).
// Exit code 0 only when nothing went wrong.
#include "app/main_window.h"
#include "common/dialogs.h"
#include "console/pages/console_page.h"
#include "console/pages/monitor_memo.h"
#include "net/udp_server.h"
#include "skin/song_font.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

struct Options {
    int cycles = 1000;
    int rate = 10000;
    int holdMs = 10;
    int stallAt = -1; // self-test of the watchdog: the event thread hangs in this cycle
    // The longest a disconnect may take: it stops and wakes the listener, not waits it out.
    int maxDisconnectMs = 50;
};

bool parseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto value = [&](const char* name, int& out) {
            const std::size_t n = std::strlen(name);
            if (std::strncmp(a, name, n) == 0 && a[n] == '=') {
                out = std::atoi(a + n + 1);
                return true;
            }
            if (std::strcmp(a, name) == 0 && i + 1 < argc) {
                out = std::atoi(argv[++i]);
                return true;
            }
            return false;
        };
        if (!value("--cycles", o.cycles) && !value("--rate", o.rate) &&
            !value("--hold-ms", o.holdMs) && !value("--stall-at", o.stallAt) &&
            !value("--max-disconnect-ms", o.maxDisconnectMs)) {
            std::fprintf(stderr,
                         "usage: %s [--cycles N] [--rate N] [--hold-ms N] [--stall-at N] "
                         "[--max-disconnect-ms N]\n",
                         argv[0]);
            return false;
        }
    }
    return o.cycles > 0 && o.rate > 0 && o.holdMs >= 0;
}

// Everything the watchdog and the crash handler print is kept in plain atomics.
std::atomic<long long> heartbeatNs{0};
std::atomic<int> currentCycle{0};
std::atomic<const char*> currentPhase{"start"};

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void beat(const char* phase)
{
    currentPhase.store(phase);
    heartbeatNs.store(nowNs());
}

void onCrash(int signal)
{
    char text[160];
    const int n = std::snprintf(text, sizeof text, "stress: CRASH signal %d in cycle %d (%s)\n",
                                signal, currentCycle.load(), currentPhase.load());
    [[maybe_unused]] const ssize_t written = ::write(2, text, static_cast<size_t>(n));
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Aborts when the event thread has not beaten for the limit: the window is stuck.
class Watchdog
{
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              while (!stop_.load()) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
                  const long long quiet = nowNs() - heartbeatNs.load();
                  if (quiet > std::chrono::nanoseconds(limit).count()) {
                      std::fprintf(stderr,
                                   "stress: DEADLOCK: no progress on the event thread for %lld s "
                                   "(cycle %d, %s)\n",
                                   quiet / 1000000000LL, currentCycle.load(), currentPhase.load());
                      std::abort();
                  }
              }
          })
    {
    }
    ~Watchdog()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Sends sequence numbers at a steady rate to whatever port target holds.
class Sender
{
public:
    Sender(int rate, std::atomic<int>& target)
        : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)),
          thread_([this, rate, &target] { run(rate, target); })
    {
    }
    ~Sender()
    {
        stop_.store(true);
        thread_.join();
        ::close(fd_);
    }
    unsigned sent() const { return sent_.load(); }

private:
    void run(int rate, std::atomic<int>& target)
    {
        // In 1 ms steps: a step's share of the rate, then sleep to the next step.
        const auto step = std::chrono::milliseconds(1);
        auto next = Clock::now();
        double owed = 0;
        unsigned sequence = 0;
        while (!stop_.load()) {
            owed += rate / 1000.0;
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(static_cast<uint16_t>(target.load()));
            for (; owed >= 1; owed -= 1) {
                const unsigned char bytes[4] = {static_cast<unsigned char>(sequence >> 24),
                                                static_cast<unsigned char>(sequence >> 16),
                                                static_cast<unsigned char>(sequence >> 8),
                                                static_cast<unsigned char>(sequence)};
                if (::sendto(fd_, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&to),
                             sizeof to) == sizeof bytes) {
                    ++sequence;
                    sent_.store(sequence);
                }
            }
            next += step;
            const auto now = Clock::now();
            if (next < now - std::chrono::milliseconds(50))
                next = now; // fell far behind (a sanitizer build): do not burst to catch up
            std::this_thread::sleep_until(next);
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> sent_{0};
    std::thread thread_;
};

class StressDialogs : public Dialogs
{
public:
    int messageBox(const QString& text, const QString& caption, int) override
    {
        ++count;
        if (count <= 5)
            std::fprintf(stderr, "stress: message box in cycle %d: %s | %s\n", currentCycle.load(),
                         qPrintable(caption), qPrintable(text));
        return MB::IDOK;
    }
    std::optional<QString> saveFileName(const SaveDialogRequest&) override { return {}; }
    int count = 0;
};

int pickFreePort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// "b0,b1,b2,b3,..." back into the sequence number; nothing for a line of another shape.
std::optional<unsigned> sequenceOf(QStringView line)
{
    unsigned value = 0;
    int numbers = 0;
    unsigned part = 0;
    int digits = 0;
    for (const QChar c : line) {
        if (c.isDigit()) {
            part = part * 10 + static_cast<unsigned>(c.digitValue());
            if (++digits > 3 || part > 255)
                return std::nullopt;
        } else if (c == u',' && digits > 0) {
            value = (value << 8) | part;
            part = 0;
            digits = 0;
            if (++numbers == 4)
                return value;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

struct Tally {
    long long listed = 0;
    long long duplicates = 0;
    long long outOfOrder = 0;
    long long malformed = 0;
    long long countMismatches = 0;
    std::optional<unsigned> last;

    void take(const QString& text)
    {
        for (const QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
            const auto n = sequenceOf(line);
            if (!n) {
                ++malformed;
                continue;
            }
            ++listed;
            if (last && *n == *last)
                ++duplicates;
            else if (last && *n < *last)
                ++outOfOrder;
            if (!last || *n > *last)
                last = n;
        }
    }
};

// The system's count of UDP datagrams dropped for a full receive buffer (all sockets).
long long udpReceiveBufferErrors()
{
    long long value = -1;
    if (FILE* f = std::fopen("/proc/net/snmp", "r")) {
        char line[512];
        int column = -1;
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "Udp:", 4) != 0)
                continue;
            char* save = nullptr;
            int index = 0;
            if (column < 0) {
                for (char* t = strtok_r(line, " \n", &save); t;
                     t = strtok_r(nullptr, " \n", &save), ++index)
                    if (std::strcmp(t, "RcvbufErrors") == 0)
                        column = index;
            } else {
                for (char* t = strtok_r(line, " \n", &save); t;
                     t = strtok_r(nullptr, " \n", &save), ++index)
                    if (index == column)
                        value = std::atoll(t);
                break;
            }
        }
        std::fclose(f);
    }
    return value;
}

void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options))
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::signal(SIGSEGV, onCrash);
    std::signal(SIGBUS, onCrash);
    std::signal(SIGFPE, onCrash);
    std::signal(SIGILL, onCrash);

    registerFontSubstitutions();
    QApplication app(argc, argv);
    StressDialogs boxes;
    installDialogs(&boxes);

    beat("start");
    Watchdog watchdog(std::chrono::seconds(10));
    // The event thread beats whenever its loop turns; the stall is the worst lateness.
    double longestStallMs = 0;
    auto lastTick = Clock::now();
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
        const auto now = Clock::now();
        longestStallMs = std::max(longestStallMs, msSince(lastTick) - 10.0);
        lastTick = now;
        heartbeatNs.store(nowNs());
    });
    ticker.start();

    int cyclesDone = 0;
    double longestDisconnectMs = 0;
    double totalDisconnectMs = 0;
    double longestConnectMs = 0;
    Tally tally;
    unsigned sent = 0;
    double destroyMs = 0;
    const long long overrunsBefore = udpReceiveBufferErrors();
    const auto started = Clock::now();
    {
        auto owned = std::make_unique<TfrmMain>();
        TfrmMain& window = *owned;
        window.resize(1089, 551);
        window.show();
        ConsolePage* page = window.findChild<ConsolePage*>();
        // The tally reads each cycle's lines from the list itself: keep them all there.
        window.findChild<MonitorMemo*>()->setKeptLines(1 << 29);
        auto* chOK = window.findChild<QCheckBox*>(QStringLiteral("ChOK"));
        auto* ch1 = window.findChild<QCheckBox*>(QStringLiteral("ch1"));
        auto* password = window.findChild<QLineEdit*>(QStringLiteral("edtMM"));
        auto* localPort = window.findChild<QLineEdit*>(QStringLiteral("Edit3"));
        if (!page || !chOK || !ch1 || !password || !localPort) {
            std::fprintf(stderr, "stress: the window lacks a control\n");
            return 2;
        }
        chOK->setChecked(true);
        ch1->setChecked(true);
        password->setText(QStringLiteral("40617293"));

        const int ports[2] = {pickFreePort(), pickFreePort()};
        std::atomic<int> target{ports[0]};
        Sender sender(options.rate, target);

        for (int cycle = 0; cycle < options.cycles; ++cycle) {
            currentCycle.store(cycle);
            const int port = ports[cycle % 2];
            localPort->setText(QString::number(port));

            beat("connect");
            const auto connectStart = Clock::now();
            window.BitBtn1Click();
            longestConnectMs = std::max(longestConnectMs, msSince(connectStart));
            target.store(port);

            beat("connected");
            runEventsFor(options.holdMs);
            if (cycle == options.stallAt)
                std::this_thread::sleep_for(std::chrono::seconds(12));

            beat("disconnect");
            const auto disconnectStart = Clock::now();
            window.BitBtn2Click();
            const double took = msSince(disconnectStart);
            longestDisconnectMs = std::max(longestDisconnectMs, took);
            totalDisconnectMs += took;

            beat("check");
            const long long before = tally.listed;
            tally.take(page->memoText());
            // Each connect zeroes the count and the list is cleared below, so the count is
            // exactly this cycle's lines.
            if (window.globals.RecvCount != tally.listed - before)
                ++tally.countMismatches;
            page->N1Click();
            ++cyclesDone;
        }

        // Last, the window goes while connected and flooded, as when the operator closes it.
        currentCycle.store(options.cycles);
        beat("destroy");
        window.BitBtn1Click();
        runEventsFor(options.holdMs);
        const auto destroyStart = Clock::now();
        owned.reset();
        destroyMs = msSince(destroyStart);
        beat("destroyed");
        sent = sender.sent();
    }
    const double seconds = msSince(started) / 1000.0;
    const long long overruns = udpReceiveBufferErrors() - overrunsBefore;
    installDialogs(nullptr);

    // A run that listed nothing proves nothing, and a disconnect is meant to be immediate.
    const bool listedAny = tally.listed > 0;
    const bool quickDisconnects = longestDisconnectMs <= options.maxDisconnectMs;
    const bool clean = tally.duplicates == 0 && tally.outOfOrder == 0 && tally.malformed == 0 &&
                       tally.countMismatches == 0 && boxes.count == 0 &&
                       cyclesDone == options.cycles && listedAny && quickDisconnects;
    std::printf("stress: %d of %d cycles in %.1f s (rate %d/s, %d ms connected each)\n", cyclesDone,
                options.cycles, seconds, options.rate, options.holdMs);
    std::printf("  datagrams sent %u, listed %lld (the rest arrived while disconnected)\n", sent,
                tally.listed);
    std::printf("  receive buffer overruns during the run (system-wide) %lld\n", overruns);
    std::printf("  listed twice %lld, out of order %lld, unreadable lines %lld, count mismatches "
                "%lld, message boxes %d\n",
                tally.duplicates, tally.outOfOrder, tally.malformed, tally.countMismatches,
                boxes.count);
    std::printf("  disconnect: longest %.2f ms, mean %.3f ms; connect: longest %.2f ms\n",
                longestDisconnectMs, cyclesDone ? totalDisconnectMs / cyclesDone : 0.0,
                longestConnectMs);
    std::printf("  window destroyed while connected in %.2f ms\n", destroyMs);
    if (!listedAny)
        std::printf("  FAULT: no datagram was listed\n");
    if (!quickDisconnects)
        std::printf("  FAULT: a disconnect took longer than %d ms\n", options.maxDisconnectMs);
    std::printf("  longest event-loop stall %.1f ms\n", longestStallMs);
    std::printf("  %s\n", clean ? "OK" : "FAULTS FOUND");
    return clean ? 0 : 1;
}
