// Receive monitor benchmark: does the test page keep up with a flood of datagrams?
//
//   monitor_bench [--part=all|flood|lines] [--rate=N] [--seconds=N] [--lines=N]
//
// flood: the page in a shown window, a real endpoint on a free port, receiving allowed, data
//        only; a sender thread sends 53-byte datagrams to 127.0.0.1 at --rate per second for
//        --seconds. Reports listed/s, loss, the longest event-loop stall (lateness of a 10 ms
//        timer), memory per listed line, and whether the lines are in sending order.
// lines: feeds --lines lines straight through the read handler, a frame's worth (320) at a
//        time with the view flushed and repainted after each; reports the cost per line over
//        the first 10,000 and the last 10,000, memory per line, and the export time.
// all:   runs each part in a process of its own, so one part's memory does not blur another's.
#include "common/dialogs.h"
#include "common/globals.h"
#include "console/pages/console_page.h"
#include "console/pages/monitor_memo.h"
#include "net/udp_server.h"
#include "skin/song_font.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QProcess>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

struct Options {
    QString part = QStringLiteral("all");
    int rate = 20000;
    int seconds = 10;
    int lines = 1000000;
};

long rssBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Device chatter: a sequence number and varied bytes, so lines have realistic widths.
void fillDatagram(unsigned char* out, int size, unsigned sequence)
{
    unsigned x = sequence * 2654435761u + 12345u;
    for (int i = 0; i < size; ++i) {
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

// The page as the main window hosts it.
struct Harness {
    MainGlobals globals;
    TUDPServer udp;
    QWidget window;
    ConsolePage* page;
    MonitorMemo* memo;

    Harness()
    {
        globals.ShowByteCount = 53;
        page = new ConsolePage(globals, udp, &window);
        page->resize(1081, 453);
        window.resize(1089, 551);
        window.show();
        page->findChild<QCheckBox*>(QStringLiteral("ChOK"))->setChecked(true);
        memo = page->findChild<MonitorMemo*>(QStringLiteral("Memo1"));
        udp.OnUDPRead = [this](TUDPServer& s, const QByteArray& d, TSocketHandle& b) {
            page->UDPServerUDPRead(s, d, b);
        };
    }
    ~Harness() { udp.SetActive(false); }
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

void addNanos(timespec& t, long nanos)
{
    t.tv_nsec += nanos;
    while (t.tv_nsec >= 1000000000L) {
        t.tv_nsec -= 1000000000L;
        ++t.tv_sec;
    }
}

int runFlood(const Options& o)
{
    Harness h;
    h.udp.SetDefaultPort(freePort());
    const int port = h.udp.AcquireBinding().Port;
    QApplication::processEvents();
    const long rssBefore = rssBytes();

    // Event-loop stalls: how late a 10 ms timer fires.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 worstLateNs = 0;
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

    const long total = static_cast<long>(o.rate) * o.seconds;
    std::atomic<long> sent{0};
    std::atomic<bool> senderDone{false};
    std::thread sender([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        unsigned char datagram[53];
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        // Send in slices of 1 ms so the pace is even without a syscall per datagram's sleep.
        const long perSlice = std::max(1, o.rate / 1000);
        long n = 0;
        while (n < total) {
            for (long i = 0; i < perSlice && n < total; ++i, ++n) {
                fillDatagram(datagram, 53, static_cast<unsigned>(n));
                ::sendto(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to);
            }
            sent = n;
            addNanos(next, 1'000'000);
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
        ::close(fd);
        senderDone = true;
    });

    QElapsedTimer run;
    run.start();
    qint64 firstToLastMs = 0;
    // Runs until everything sent was listed, or nothing more arrives for a second.
    int lastCount = -1;
    qint64 lastChange = 0;
    QTimer watch;
    QEventLoop loop;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        const int count = h.globals.RecvCount;
        if (count != lastCount) {
            lastCount = count;
            lastChange = run.elapsed();
        }
        if (senderDone && (count >= total || run.elapsed() - lastChange > 1000))
            loop.quit();
    });
    watch.start(50);
    loop.exec();
    firstToLastMs = lastChange;
    sender.join();
    ticker.stop();
    h.memo->flush();
    QApplication::processEvents();

    const long listed = h.globals.RecvCount;
    const long rssAfter = rssBytes();
    std::printf("flood: %ld datagrams of 53 bytes sent to 127.0.0.1 at %d/s for %d s\n", total,
                o.rate, o.seconds);
    std::printf("  listed            %ld (%.0f/s over %.2f s)\n", listed,
                listed * 1000.0 / std::max<qint64>(1, firstToLastMs), firstToLastMs / 1000.0);
    std::printf("  lost              %ld (%.3f%%)\n", total - listed,
                100.0 * double(total - listed) / double(total));
    std::printf("  longest stall     %.1f ms (lateness of a 10 ms timer)\n", worstLateNs / 1e6);
    std::printf("  memory per line   %.0f bytes (RSS +%.1f MB)\n",
                double(rssAfter - rssBefore) / double(std::max(1L, listed)),
                (rssAfter - rssBefore) / 1048576.0);
    std::printf("  LbNum             %s\n",
                qPrintable(h.page->findChild<QLabel*>(QStringLiteral("LbNum"))->text()));

    // Every line carries its datagram's sequence number in its first four values.
    long outOfOrder = 0;
    long expected = 0;
    const QTextDocument* doc = h.memo->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        if (text.isEmpty())
            continue;
        const QList<QStringView> values = QStringView(text).split(u',');
        if (values.size() < 4) {
            ++outOfOrder;
            continue;
        }
        unsigned sequence = 0;
        for (int i = 0; i < 4; ++i)
            sequence = (sequence << 8) | values[i].toUInt();
        if (sequence != static_cast<unsigned>(expected))
            ++outOfOrder;
        expected = static_cast<long>(sequence) + 1;
    }
    std::printf("  out of order      %ld lines\n", outOfOrder);
    return 0;
}

int runLines(const Options& o)
{
    Harness h;
    QApplication::processEvents();
    const long rssBefore = rssBytes();
    TSocketHandle binding;
    binding.SenderIP = QStringLiteral("127.0.0.1");
    binding.SenderPort = 7500;
    binding.Port = 7520;
    unsigned char datagram[53];
    constexpr int Frame = 320; // lines a 16 ms frame takes at 20,000/s
    constexpr int Window = 10000;
    // Per part of the run: lines, and time spent formatting, inserting and repainting.
    struct Bucket {
        long lines = 0;
        qint64 format = 0, insert = 0, paint = 0;
        double perLine() const { return double(format + insert + paint) / 1e3 / double(lines); }
    };
    Bucket first, last, all;
    QElapsedTimer t;
    t.start();
    for (int n = 0; n < o.lines;) {
        const int begin = n;
        const int end = std::min(o.lines, n + Frame);
        const qint64 t0 = t.nsecsElapsed();
        for (; n < end; ++n) {
            fillDatagram(datagram, 53, static_cast<unsigned>(n));
            h.page->UDPServerUDPRead(
                h.udp, QByteArray::fromRawData(reinterpret_cast<char*>(datagram), 53), binding);
        }
        const qint64 t1 = t.nsecsElapsed();
        h.memo->flush();
        const qint64 t2 = t.nsecsElapsed();
        QApplication::processEvents(); // paint, as the frame would
        const qint64 t3 = t.nsecsElapsed();
        for (Bucket* b : {&first, &last, &all}) {
            if ((b == &first && begin >= Window) || (b == &last && end <= o.lines - Window))
                continue;
            b->lines += end - begin;
            b->format += t1 - t0;
            b->insert += t2 - t1;
            b->paint += t3 - t2;
        }
    }
    const long rssAfter = rssBytes();
    std::printf("lines: %d lines fed through the read handler, %d per flush and repaint\n", o.lines,
                Frame);
    std::printf("  cost per line     %.2f us over the first %ld, %.2f us over the last %ld "
                "(ratio %.2f)\n",
                first.perLine(), first.lines, last.perLine(), last.lines,
                last.perLine() / first.perLine());
    for (const auto& [name, b] :
         {std::pair{"first", &first}, std::pair{"last", &last}, std::pair{"all", &all}})
        std::printf("  %-6s           %.2f us formatting, %.2f us inserting, %.2f us repainting\n",
                    name, b->format / 1e3 / double(b->lines), b->insert / 1e3 / double(b->lines),
                    b->paint / 1e3 / double(b->lines));
    std::printf("  total             %.2f s (%.2f us per line)\n", t.nsecsElapsed() / 1e9,
                all.perLine());
    std::printf("  memory per line   %.0f bytes (RSS +%.1f MB)\n",
                double(rssAfter - rssBefore) / o.lines, (rssAfter - rssBefore) / 1048576.0);

    BenchDialogs dialogs;
    dialogs.path = QDir::temp().filePath(
        QStringLiteral("monitor_bench_%1.txt").arg(QCoreApplication::applicationPid()));
    installDialogs(&dialogs);
    QElapsedTimer e;
    e.start();
    h.page->N2Click();
    const qint64 exportMs = e.elapsed();
    std::printf("  export            %lld ms, %.1f MB\n", static_cast<long long>(exportMs),
                QFile(dialogs.path).size() / 1048576.0);
    QFile::remove(dialogs.path);
    installDialogs(nullptr);

    e.restart();
    h.page->N1Click();
    std::printf("  clear             %lld ms\n", static_cast<long long>(e.elapsed()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    registerFontSubstitutions();
    QApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments().mid(1);
    for (const QString& a : args) {
        if (a.startsWith(u"--part="))
            o.part = a.mid(7);
        else if (a.startsWith(u"--rate="))
            o.rate = a.mid(7).toInt();
        else if (a.startsWith(u"--seconds="))
            o.seconds = a.mid(10).toInt();
        else if (a.startsWith(u"--lines="))
            o.lines = a.mid(8).toInt();
        else {
            std::printf("usage: monitor_bench [--part=all|flood|lines] [--rate=N] [--seconds=N] "
                        "[--lines=N]\n");
            return a == u"--help" ? 0 : 2;
        }
    }
    if (o.rate <= 0 || o.seconds <= 0 || o.lines < 20000) {
        std::printf("rate and seconds must be positive, lines at least 20000\n");
        return 2;
    }
    if (o.part == u"flood")
        return runFlood(o);
    if (o.part == u"lines")
        return runLines(o);
    int status = 0;
    for (const char* part : {"--part=flood", "--part=lines"}) {
        QStringList childArgs = args;
        childArgs.removeIf([](const QString& a) { return a.startsWith(u"--part="); });
        childArgs << QString::fromLatin1(part);
        std::fflush(stdout);
        status |= QProcess::execute(QCoreApplication::applicationFilePath(), childArgs);
    }
    return status;
}
