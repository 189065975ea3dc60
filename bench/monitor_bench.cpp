// SPDX-License-Identifier: GPL-3.0-or-later
// Receive monitor benchmark: does the test page keep up with a flood of datagrams, and does
// it stay within a fixed memory however long it runs?
//
//   monitor_bench [--part=all|flood|lines|resize|long|ladder|send] [--rate=N] [--seconds=N]
//                 [--lines=N] [--kept=N] [--process-sender] [--no-export] [--rates=N,N,...]
//                 [--port=N]
//
// flood:  the page in a shown window, a real endpoint on a free port, receiving allowed, data
//         only; a sender thread sends 53-byte datagrams to 127.0.0.1 at --rate per second
//         (50,000) for --seconds (10). Reports listed/s, loss, the longest event-loop stall
//         (lateness of a 10 ms timer), RSS every million lines and at the end, and checks the
//         export: every line, in sending order.
// lines:  feeds --lines lines (10,000,000) straight through the read handler, a frame's worth
//         (320) at a time with the view flushed and repainted after each; prints RSS every
//         million lines, the peak RSS, the cost per line over the first 10,000 and the last
//         10,000, then exports and checks the file: line count, first, last, every line's
//         sequence and a sample compared in full.
// resize: fills the list to its kept lines and more, then maximises and restores the window
//         a few times; reports the longest event-loop stall of each.
// --process-sender: the flood comes from this program run as --part=send, a process of
//         its own (the machine's scheduler then shares the cores as with a real device).
//         The flood also prints the socket's drops from /proc/net/udp, the receive buffer the
//         kernel granted and the notice the page shows when that is less than asked.
// ladder: the flood at each of --rates (50000,80000,100000,200000) offered for --seconds,
//         each in a process of its own with the sender in another, without the export check;
//         prints the listed rate per offered rate, and whether overload degrades rather than
//         collapses: the listed rate at every load above the largest lossless one must be at
//         least that one's.
// long:   flood at 10,000/s for 600 s unless --rate/--seconds say otherwise; run by hand.
// all:    runs flood, lines and resize, each in a process of its own, so one part's memory
//         does not blur another's.
// --kept sets the lines the list keeps before older ones move to the spool file.
#include "app/main_window.h"
#include "common/dialogs.h"
#include "window/globals.h"
#include "console/pages/console_page.h"
#include "console/pages/monitor_memo.h"
#include "net/udp_server.h"
#include "skin/song_font.h"

#include "console/monitor_line.h"
#include <QAccessible>
#include <QRegularExpression>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

struct Options {
    QString part = QStringLiteral("all");
    int rate = 50000;
    int seconds = 10;
    int lines = 10000000;
    int kept = MonitorMemo::DefaultKeptLines;
    int port = 0;               // send: where to
    bool processSender = false; // flood: the sender is a process of its own
    bool exportCheck = true;
    QList<int> rates{50000, 80000, 100000, 200000}; // ladder
};

long peakRssBytes()
{
    long kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
                break;
        std::fclose(f);
    }
    return kb * 1024;
}

qint64 cpuNanos()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Processor time of the calling thread alone.
qint64 threadCpuNanos()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

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

// The page as the main window hosts it: in the program's own window (the flood on a display,
// where what the window around the page repaints counts too), or alone in a plain widget.
struct Harness {
    std::unique_ptr<TfrmMain> main;
    MainGlobals ownGlobals;
    TUDPServer ownUdp;
    QWidget plain;
    MainGlobals& globals;
    TUDPServer& udp;
    QWidget& window;
    ConsolePage* page;
    MonitorMemo* memo;

    explicit Harness(int keptLines, bool wholeWindow = false)
        : main(wholeWindow ? std::make_unique<TfrmMain>() : nullptr),
          globals(main ? main->globals : ownGlobals), udp(main ? main->UDPServer() : ownUdp),
          window(main ? static_cast<QWidget&>(*main) : plain)
    {
        globals.ShowByteCount = 53;
        if (main) {
            page = main->findChild<ConsolePage*>();
        } else {
            page = new ConsolePage(globals, udp, &plain);
            auto* layout = new QVBoxLayout(&plain);
            layout->setContentsMargins(4, 90, 4, 4); // where the top bar and tabs would be
            layout->addWidget(page);
            udp.OnUDPRead = [this](TUDPServer& s, const QByteArray& d, TSocketHandle& b) {
                page->UDPServerUDPRead(s, d, b);
            };
        }
        window.resize(1089, 551);
        window.show();
        memo = page->findChild<MonitorMemo*>(QStringLiteral("Memo1"));
        memo->setKeptLines(keptLines);
    }
    // Opens the endpoint on port and tells the page, as the main window does at connect; in
    // the window, by its own connect button, on the test console's page.
    int open(int port)
    {
        if (main) {
            main->findChild<QLineEdit*>(QStringLiteral("edtMM"))->setText(QStringLiteral("40617293"));
            main->findChild<QLineEdit*>(QStringLiteral("Edit3"))->setText(QString::number(port));
            main->BitBtn1Click();
            main->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
        } else {
            udp.SetDefaultPort(port);
            udp.AcquireBinding();
            page->endpointOpened();
        }
        page->findChild<QCheckBox*>(QStringLiteral("ChOK"))->setChecked(true);
        globals.ShowByteCount = 53;
        return udp.AcquireBinding().Port;
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

// Exports the list and checks the file: lineCount lines, the n-th from datagram n.
void exportAndCheck(Harness& h, long lineCount)
{
    BenchDialogs dialogs;
    dialogs.path = QDir::temp().filePath(
        QStringLiteral("monitor_bench_%1.txt").arg(QCoreApplication::applicationPid()));
    installDialogs(&dialogs);
    QElapsedTimer e;
    e.start();
    h.page->N2Click();
    // The export runs beside the event thread; the file is whole once it has ended.
    while (h.page->exporting())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 exportMs = e.elapsed();
    installDialogs(nullptr);
    const QByteArray path = QFile::encodeName(dialogs.path);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        std::printf("  export            FAILED: no file\n");
        return;
    }
    std::printf("  export            %lld ms, %.1f MB, %ld lines kept aside, %d in the list\n",
                static_cast<long long>(exportMs), double(st.st_size) / 1048576.0,
                static_cast<long>(h.memo->linesAside()), h.memo->document()->blockCount() - 1);
    const size_t size = static_cast<size_t>(st.st_size);
    const char* data =
        size ? static_cast<const char*>(::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)) : "";
    ::madvise(const_cast<char*>(data), size, MADV_SEQUENTIAL);

    // Every line: CR LF at its end, its datagram's sequence number in its first four values,
    // numbers rising (a gap is a datagram lost before it was listed); a sample compared in full.
    QList<long> sample;
    for (int i = 0; i < 20; ++i)
        sample << static_cast<long>(QRandomGenerator::global()->bounded(qint64(lineCount)));
    sample << 0 << lineCount - 1;
    std::sort(sample.begin(), sample.end());
    long lines = 0, unordered = 0, gaps = 0, sampleBad = 0, malformed = 0;
    long long previous = -1;
    int nextSample = 0;
    QByteArray firstLine, lastLine;
    unsigned char datagram[53];
    for (size_t at = 0; at < size;) {
        const char* start = data + at;
        const char* end = static_cast<const char*>(std::memchr(start, '\r', size - at));
        if (!end || size_t(end - data) + 1 >= size || end[1] != '\n') {
            ++malformed;
            break;
        }
        unsigned values[4] = {};
        const char* p = start;
        for (unsigned& v : values) {
            while (p < end && *p != ',')
                v = v * 10 + unsigned(*p++ - '0');
            ++p;
        }
        const unsigned sequence =
            (values[0] << 24) | (values[1] << 16) | (values[2] << 8) | values[3];
        if (static_cast<long long>(sequence) <= previous)
            ++unordered;
        else if (static_cast<long long>(sequence) != previous + 1)
            ++gaps;
        previous = sequence;
        while (nextSample < sample.size() && sample[nextSample] <= lines) {
            fillDatagram(datagram, 53, sequence);
            const QByteArray want = monitorLine(QByteArrayView(datagram, 53), 53, true).toLatin1();
            if (QByteArrayView(start, end - start) != want)
                ++sampleBad;
            ++nextSample;
        }
        if (lines == 0)
            firstLine = QByteArray(start, std::min<qsizetype>(end - start, 40));
        lastLine = QByteArray(start, std::min<qsizetype>(end - start, 40));
        ++lines;
        at = size_t(end - data) + 2;
    }
    if (size)
        ::munmap(const_cast<char*>(data), size);
    ::close(fd);
    QFile::remove(dialogs.path);
    std::printf("  export lines      %ld of %ld listed (%s), out of order %ld, malformed %ld, "
                "gaps in the sequence %ld, sample of %lld compared in full: %ld differ\n",
                lines, lineCount, lines == lineCount ? "all" : "MISSING OR EXTRA", unordered,
                malformed, gaps, static_cast<long long>(sample.size()), sampleBad);
    std::printf("  first line        %s...\n  last line         %s...\n", firstLine.constData(),
                lastLine.constData());
}

long dropShown(const QLabel* drop)
{
    return drop->isVisible() ? drop->text().section(QChar(0xFF1A), 1).toLong() : 0;
}

// The paced sender alone, for a flood from a process of its own: a slice of datagrams every
// millisecond, in one system call. Prints what went out and over how long, for the flood to
// read.
int runSend(const Options& o)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(o.port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const long total = static_cast<long>(o.rate) * o.seconds;
    const int perSlice = std::max(1, o.rate / 1000);
    std::vector<std::array<unsigned char, 53>> datagrams(static_cast<size_t>(perSlice));
    std::vector<iovec> vectors(datagrams.size());
    std::vector<mmsghdr> messages(datagrams.size());
    for (size_t i = 0; i < datagrams.size(); ++i) {
        vectors[i] = {datagrams[i].data(), datagrams[i].size()};
        messages[i].msg_hdr.msg_name = &to;
        messages[i].msg_hdr.msg_namelen = sizeof to;
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    QElapsedTimer elapsed;
    elapsed.start();
    long n = 0, failed = 0;
    while (n < total) {
        const int slice = static_cast<int>(std::min<long>(perSlice, total - n));
        for (int i = 0; i < slice; ++i)
            fillDatagram(datagrams[static_cast<size_t>(i)].data(), 53,
                         static_cast<unsigned>(n + i));
        // A datagram the system would not take counts as sent and lost: the receiver is told
        // to expect its sequence number.
        for (int done = 0; done < slice;) {
            const int r = ::sendmmsg(fd, &messages[static_cast<size_t>(done)],
                                     static_cast<unsigned>(slice - done), 0);
            if (r > 0) {
                done += r;
            } else if (errno != EINTR) {
                ++failed;
                ++done;
            }
        }
        n += slice;
        addNanos(next, 1'000'000);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    ::close(fd);
    std::printf("sent %ld failed %ld in %lld ms\n", n, failed,
                static_cast<long long>(elapsed.elapsed()));
    return 0;
}

// The socket's drop count as the kernel lists it in /proc/net/udp (last column), -1 when the
// port is not found there.
long procUdpDrops(int port)
{
    QFile f(QStringLiteral("/proc/net/udp"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray local =
        QByteArray(":") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    f.readLine(); // the header
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().simplified().split(' ');
        if (fields.size() > 2 && fields[1].endsWith(local))
            return fields.last().toLong();
    }
    return -1;
}

int runFlood(const Options& o)
{
    // On a display, the program's whole window.
    Harness h(o.kept, qEnvironmentVariableIsSet("MONITOR_BENCH_DISPLAY"));
    const int port = h.open(freePort());
    QApplication::processEvents();
    const long rssBefore = rssBytes();

    // Event-loop stalls: how late a 10 ms timer fires.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 lastTickCpu = 0;
    qint64 worstLateNs = 0;
    qint64 worstCpuNs = 0;
    qint64 worstAt = 0;
    int worstCount = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    // With the processor time the event thread spent within the worst gap: near the gap, the
    // program's own work; far below it, the thread waited for a processor (a busy machine).
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNanos();
        if (lastTick && now - lastTick - 10'000'000 > worstLateNs) {
            worstLateNs = now - lastTick - 10'000'000;
            worstCpuNs = cpu - lastTickCpu;
            worstAt = now;
            worstCount = h.globals.RecvCount;
        }
        lastTick = now;
        lastTickCpu = cpu;
    });
    ticker.start();

    const long total = static_cast<long>(o.rate) * o.seconds;
    std::atomic<long> sent{0};
    std::atomic<bool> senderDone{false};
    QString senderReport;
    QProcess senderProcess;
    std::thread sender;
    if (o.processSender) {
        // Started, watched and reaped on this thread: a QProcess serves only the thread that
        // made it (waiting on it from another one leaves its end unseen, and the run hangs).
        QObject::connect(&senderProcess, &QProcess::finished, &senderProcess, [&] {
            senderReport = QString::fromLatin1(senderProcess.readAllStandardOutput()).trimmed();
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("^sent (\\d+)")).match(senderReport);
            sent = m.hasMatch() ? m.captured(1).toLong() : 0;
            senderDone = true;
        });
        QObject::connect(&senderProcess, &QProcess::errorOccurred, &senderProcess,
                         [&](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart)
                                 return;
                             senderReport = QStringLiteral("failed to start");
                             senderDone = true;
                         });
        senderProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        senderProcess.start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--part=send"), QStringLiteral("--port=%1").arg(port),
                             QStringLiteral("--rate=%1").arg(o.rate),
                             QStringLiteral("--seconds=%1").arg(o.seconds)});
    } else {
        sender = std::thread([&] {
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
    }

    QElapsedTimer run;
    run.start();
    // Processor time, which other programs on a busy machine do not inflate as they do the
    // wall clock: per listed line it shows whether overload costs more per line.
    const qint64 eventCpuStart = threadCpuNanos();
    const qint64 processCpuStart = cpuNanos();
    // Runs until everything sent was listed, or nothing more arrives for a second; a run that
    // goes on far past its sending time is cut short rather than left hanging.
    const qint64 deadlineMs = (o.seconds + 30) * 1000LL;
    bool cutShort = false;
    int lastCount = -1;
    qint64 firstSeen = -1;
    qint64 lastChange = 0;
    long nextReport = 1000000;
    QTimer watch;
    QEventLoop loop;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        const int count = h.globals.RecvCount;
        while (count >= nextReport) {
            std::printf("  %9ld lines   RSS %.1f MB at %.0f s\n", nextReport,
                        rssBytes() / 1048576.0, run.elapsed() / 1000.0);
            std::fflush(stdout);
            nextReport += 1000000;
        }
        if (count > 0 && firstSeen < 0)
            firstSeen = run.elapsed();
        if (count != lastCount) {
            lastCount = count;
            lastChange = run.elapsed();
        }
        if (run.elapsed() > deadlineMs)
            cutShort = true;
        if (cutShort || (senderDone && (count >= sent || run.elapsed() - lastChange > 1000)))
            loop.quit();
    });
    watch.start(50);
    loop.exec();
    const qint64 eventCpu = threadCpuNanos() - eventCpuStart;
    const qint64 processCpu = cpuNanos() - processCpuStart;
    if (senderProcess.state() != QProcess::NotRunning) {
        senderProcess.kill();
        senderProcess.waitForFinished(5000);
    }
    if (sender.joinable())
        sender.join();
    ticker.stop();
    h.memo->flush();
    QApplication::processEvents();

    const long listed = h.globals.RecvCount;
    const long rssAfter = rssBytes();
    const qint64 listingMs = std::max<qint64>(1, lastChange - std::max<qint64>(0, firstSeen));
    const double listedRate = listed * 1000.0 / double(listingMs);
    std::printf("flood: %ld datagrams of 53 bytes to 127.0.0.1 at %d/s for %d s, sent by %s\n",
                total, o.rate, o.seconds, o.processSender ? "a process of its own" : "a thread");
    if (cutShort)
        std::printf("  CUT SHORT         still running %lld s after the start\n",
                    static_cast<long long>(deadlineMs / 1000));
    if (o.processSender)
        std::printf("  sender            %s\n", qPrintable(senderReport));
    std::printf("  listed            %ld of %ld sent (%.0f/s over %.2f s)\n", listed, sent.load(),
                listedRate, listingMs / 1000.0);
    std::printf("  processor         %.2f s on the event thread, %.2f s in all (receiver only with "
                "--process-sender): %.2f us and %.2f us per listed line\n",
                eventCpu / 1e9, processCpu / 1e9, eventCpu / 1e3 / double(std::max(1L, listed)),
                processCpu / 1e3 / double(std::max(1L, listed)));
    std::printf("  lost              %ld (%.3f%%)\n", sent - listed,
                100.0 * double(sent - listed) / double(std::max(1L, sent.load())));
    std::printf("  longest stall     %.1f ms (lateness of a 10 ms timer), ending at %.2f s with "
                "%d listed; the event thread ran %.1f ms of its %.1f ms\n",
                worstLateNs / 1e6, worstAt / 1e9, worstCount, worstCpuNs / 1e6,
                (worstLateNs + 10'000'000) / 1e6);
    std::printf("  memory per line   %.0f bytes (RSS +%.1f MB)\n",
                double(rssAfter - rssBefore) / double(std::max(1L, listed)),
                (rssAfter - rssBefore) / 1048576.0);
    std::printf("  LbNum             %s\n",
                qPrintable(h.page->findChild<QLabel*>(QStringLiteral("LbNum"))->text()));
    const auto* drop = h.page->findChild<QLabel*>(QStringLiteral("LbDrop"));
    const long dropped = dropShown(drop);
    std::printf("  dropped (kernel)  %s; sent %ld = listed %ld + dropped %ld + unaccounted %ld\n",
                drop->isVisible() ? qPrintable(drop->text()) : "none shown", sent.load(), listed,
                dropped, sent - listed - dropped);
    const long procDrops = procUdpDrops(port);
    std::printf("  /proc/net/udp     drops %ld on port %d\n", procDrops, port);
    const auto* buffer = h.page->findChild<QLabel*>(QStringLiteral("LbBuffer"));
    std::printf("  receive buffer    %d KB granted of %d KB asked (uid %d)%s%s\n",
                h.udp.receiveBufferGranted() / 1024, TUDPServer::ReceiveBufferAsked / 1024,
                static_cast<int>(::getuid()), buffer->isVisible() ? "; LbBuffer: " : "",
                buffer->isVisible() ? qPrintable(buffer->text()) : "");
    std::printf("  platform          %s, accessibility %s\n",
                qPrintable(QGuiApplication::platformName()),
                QAccessible::isActive() ? "active" : "off");

    std::printf("  peak RSS          %.1f MB\n", peakRssBytes() / 1048576.0);
    // One line for the ladder to read.
    const QRegularExpressionMatch sentIn =
        QRegularExpression(QStringLiteral(" in (\\d+) ms")).match(senderReport);
    std::printf("result offered=%d sent=%ld listed=%ld dropped=%ld rate=%.0f sendms=%lld "
                "cpuns=%lld\n",
                o.rate, sent.load(), listed, std::max(dropped, procDrops), listedRate,
                sentIn.hasMatch() ? sentIn.captured(1).toLongLong() : 0LL,
                static_cast<long long>(eventCpu / std::max(1L, listed)));
    std::fflush(stdout);
    if (o.exportCheck)
        exportAndCheck(h, listed);
    return cutShort || !senderDone ? 1 : 0;
}

// The flood at each offered rate, each run in a process of its own.
int runLadder(const Options& o)
{
    struct Step {
        int offered;
        long sent = 0, listed = 0, dropped = 0;
        double rate = 0;
        long long sendMs = 0, cpuNsPerLine = 0;
        bool ok = false;
    };
    QList<Step> steps;
    for (int offered : o.rates) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--part=flood"), QStringLiteral("--process-sender"),
                     QStringLiteral("--no-export"), QStringLiteral("--rate=%1").arg(offered),
                     QStringLiteral("--seconds=%1").arg(o.seconds),
                     QStringLiteral("--kept=%1").arg(o.kept)});
        Step step{offered};
        if (child.waitForFinished((o.seconds + 60) * 1000)) {
            const QString out = QString::fromLatin1(child.readAllStandardOutput());
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("^result offered=\\d+ sent=(\\d+) "
                                                  "listed=(\\d+) dropped=(-?\\d+) rate=(\\d+) "
                                                  "sendms=(\\d+) cpuns=(\\d+)"),
                                   QRegularExpression::MultilineOption)
                    .match(out);
            if (m.hasMatch()) {
                step = {offered,
                        m.captured(1).toLong(),
                        m.captured(2).toLong(),
                        m.captured(3).toLong(),
                        m.captured(4).toDouble(),
                        m.captured(5).toLongLong(),
                        m.captured(6).toLongLong(),
                        child.exitCode() == 0};
            }
        } else {
            child.kill();
            child.waitForFinished(5000);
        }
        // The sender's real pace: on a busy machine it falls behind the rate asked of it.
        std::printf("  offered %7d/s (sent %.0f/s): %slisted %ld of %ld (%.0f/s), dropped %ld, "
                    "lost %ld, %.2f us event thread per line\n",
                    offered, step.sendMs ? step.sent * 1000.0 / double(step.sendMs) : 0.0,
                    step.ok ? "" : "FAILED ", step.listed, step.sent, step.rate, step.dropped,
                    step.sent - step.listed, step.cpuNsPerLine / 1e3);
        std::fflush(stdout);
        steps << step;
    }
    // The largest offered load that listed everything, and every load above it.
    const Step* lossless = nullptr;
    for (const Step& s : steps)
        if (s.ok && s.sent > 0 && s.listed == s.sent &&
            (!lossless || s.offered > lossless->offered))
            lossless = &s;
    if (!lossless) {
        std::printf("ladder: no load was listed without loss\n");
        return 1;
    }
    bool degrades = true;
    for (const Step& s : steps)
        if (s.offered > lossless->offered && (!s.ok || s.rate < lossless->rate))
            degrades = false;
    std::printf("ladder: largest lossless load %d/s listed %.0f/s; above it the listed rate %s "
                "(target: at least %.0f/s)\n",
                lossless->offered, lossless->rate, degrades ? "holds" : "COLLAPSES",
                lossless->rate);
    return degrades ? 0 : 1;
}

int runLines(const Options& o)
{
    Harness h(o.kept);
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
    // cpu: processor time of the whole process (writer thread included), which other
    // programs on a busy machine do not inflate as they do the wall clock.
    struct Bucket {
        long lines = 0;
        qint64 format = 0, insert = 0, paint = 0, cpu = 0;
        double perLine() const { return double(format + insert + paint) / 1e3 / double(lines); }
        double cpuPerLine() const { return double(cpu) / 1e3 / double(lines); }
    };
    Bucket first, last, all;
    QElapsedTimer t;
    t.start();
    for (int n = 0; n < o.lines;) {
        const int begin = n;
        const int end = std::min(o.lines, n + Frame);
        const qint64 c0 = cpuNanos();
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
        const qint64 c1 = cpuNanos();
        for (Bucket* b : {&first, &last, &all}) {
            if ((b == &first && begin >= Window) || (b == &last && end <= o.lines - Window))
                continue;
            b->lines += end - begin;
            b->format += t1 - t0;
            b->insert += t2 - t1;
            b->paint += t3 - t2;
            b->cpu += c1 - c0;
        }
        if (n % 1000000 < Frame && n >= 1000000) {
            std::printf("  %9d lines   RSS %.1f MB, %lld kept aside, %.1f s\n", n - n % 1000000,
                        rssBytes() / 1048576.0, static_cast<long long>(h.memo->linesAside()),
                        t.nsecsElapsed() / 1e9);
            std::fflush(stdout);
        }
    }
    const long rssAfter = rssBytes();
    std::printf("lines: %d lines fed through the read handler, %d per flush and repaint\n", o.lines,
                Frame);
    std::printf("  cost per line     %.2f us over the first %ld, %.2f us over the last %ld "
                "(ratio %.2f)\n",
                first.perLine(), first.lines, last.perLine(), last.lines,
                last.perLine() / first.perLine());
    std::printf("  cpu per line      %.2f us over the first %ld, %.2f us over the last %ld "
                "(ratio %.2f)\n",
                first.cpuPerLine(), first.lines, last.cpuPerLine(), last.lines,
                last.cpuPerLine() / first.cpuPerLine());
    for (const auto& [name, b] :
         {std::pair{"first", &first}, std::pair{"last", &last}, std::pair{"all", &all}})
        std::printf("  %-6s           %.2f us formatting, %.2f us inserting, %.2f us repainting\n",
                    name, b->format / 1e3 / double(b->lines), b->insert / 1e3 / double(b->lines),
                    b->paint / 1e3 / double(b->lines));
    std::printf("  total             %.2f s (%.2f us per line)\n", t.nsecsElapsed() / 1e9,
                all.perLine());
    std::printf("  memory per line   %.0f bytes (RSS +%.1f MB)\n",
                double(rssAfter - rssBefore) / o.lines, (rssAfter - rssBefore) / 1048576.0);

    std::printf("  peak RSS          %.1f MB\n", peakRssBytes() / 1048576.0);
    exportAndCheck(h, o.lines);

    QElapsedTimer e;
    e.start();
    h.page->N1Click();
    std::printf("  clear             %lld ms\n", static_cast<long long>(e.elapsed()));
    return 0;
}

// The window maximised and restored with the list full: how long the event loop stalls.
int runResize(const Options& o)
{
    Harness h(o.kept);
    TSocketHandle binding;
    unsigned char datagram[53];
    const int lines = o.kept + o.kept / 2; // full, and some kept aside
    for (int n = 0; n < lines; ++n) {
        fillDatagram(datagram, 53, static_cast<unsigned>(n));
        h.page->UDPServerUDPRead(
            h.udp, QByteArray::fromRawData(reinterpret_cast<char*>(datagram), 53), binding);
        if (n % 320 == 319) {
            h.memo->flush();
            QApplication::processEvents();
        }
    }
    h.memo->flush();
    QApplication::processEvents();
    std::printf("resize: %d lines listed, %d in the list, %lld kept aside\n", lines,
                h.memo->document()->blockCount() - 1, static_cast<long long>(h.memo->linesAside()));
    // Maximised, at least to the size a maximised window takes on a 1080p screen (the
    // off-screen platform's own screen is smaller).
    const QSize normal = h.window.size();
    qint64 worst = 0;
    for (int round = 0; round < 3; ++round) {
        for (bool maximise : {true, false}) {
            QElapsedTimer t;
            t.start();
            if (maximise) {
                h.window.showMaximized();
                QApplication::processEvents();
                if (h.window.width() < 1920)
                    h.window.resize(1920, 1040);
            } else {
                h.window.showNormal();
                h.window.resize(normal);
            }
            QApplication::processEvents(); // layout, relayout of the list and the repaint
            const qint64 ms = t.elapsed();
            worst = std::max(worst, ms);
            std::printf("  %-9s         %lld ms (window %dx%d)\n",
                        maximise ? "maximise" : "restore", static_cast<long long>(ms),
                        h.window.width(), h.window.height());
        }
    }
    std::printf("  longest stall     %lld ms\n", static_cast<long long>(worst));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Off screen unless a display is asked for (bench/window_bench.sh runs it on Xvfb).
    if (!qEnvironmentVariableIsSet("MONITOR_BENCH_DISPLAY"))
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
        else if (a.startsWith(u"--kept="))
            o.kept = a.mid(7).toInt();
        else if (a.startsWith(u"--port="))
            o.port = a.mid(7).toInt();
        else if (a == u"--process-sender")
            o.processSender = true;
        else if (a == u"--no-export")
            o.exportCheck = false;
        else if (a.startsWith(u"--rates=")) {
            o.rates.clear();
            for (const QString& r : a.mid(8).split(u','))
                o.rates << r.toInt();
        } else {
            std::printf("usage: monitor_bench [--part=all|flood|lines|resize|long|ladder] "
                        "[--rate=N] [--seconds=N] [--lines=N] [--kept=N] [--process-sender] "
                        "[--no-export] [--rates=N,N,...]\n");
            return a == u"--help" ? 0 : 2;
        }
    }
    if (o.part == u"long") {
        if (!args.join(u' ').contains(u"--rate="))
            o.rate = 10000;
        if (!args.join(u' ').contains(u"--seconds="))
            o.seconds = 600;
    }
    if (o.rate <= 0 || o.seconds <= 0 || o.lines < 20000 || o.kept < 1 || o.rates.contains(0) ||
        o.rates.isEmpty()) {
        std::printf("rate, seconds and kept must be positive, lines at least 20000\n");
        return 2;
    }
    if (o.part == u"send")
        return runSend(o);
    if (o.part == u"long")
        return runFlood(o);
    if (o.part == u"resize")
        return runResize(o);
    if (o.part == u"ladder")
        return runLadder(o);
    if (o.part == u"flood")
        return runFlood(o);
    if (o.part == u"lines")
        return runLines(o);
    int status = 0;
    for (const char* part : {"--part=flood", "--part=lines", "--part=resize"}) {
        QStringList childArgs = args;
        childArgs.removeIf([](const QString& a) { return a.startsWith(u"--part="); });
        childArgs << QString::fromLatin1(part);
        std::fflush(stdout);
        status |= QProcess::execute(QCoreApplication::applicationFilePath(), childArgs);
    }
    return status;
}
