// SPDX-License-Identifier: GPL-3.0-or-later
// A burst far beyond the socket's receive buffer while the event thread is busy: datagrams are
// lost, nothing else goes wrong, and the listener goes on.
#include "support/test_helpers.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <ostream>
#include <sys/socket.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

constexpr int BurstCount = 50000;
constexpr uint32_t Marker = 0xFFFFFFFFu; // never a sequence number of the burst

QByteArray sequenced(uint32_t n, int size)
{
    QByteArray d(size, '\0');
    d[0] = static_cast<char>(n >> 24);
    d[1] = static_cast<char>(n >> 16);
    d[2] = static_cast<char>(n >> 8);
    d[3] = static_cast<char>(n);
    return d;
}

// The sequence number in a data-only line ("b0,b1,b2,b3,...,"), or nothing for any other line.
std::optional<uint32_t> sequenceOf(const QString& line)
{
    const QStringList parts = line.split(u',');
    if (parts.size() < 5)
        return std::nullopt;
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok);
        if (!ok || v > 255)
            return std::nullopt;
        n = (n << 8) | v;
    }
    return n;
}

struct BurstCase {
    const char* name;
    int size;       // bytes per datagram, the sequence number first
    int bufferSize; // SO_RCVBUF asked for on the window's socket
};

class ReceiveOverrun : public WindowFixture, public ::testing::WithParamInterface<BurstCase>
{};

TEST_P(ReceiveOverrun, LosesDatagramsKeepsOrderAndListsALaterOne)
{
    const BurstCase& c = GetParam();
    const int port = freeUdpPort();
    connectOn(port);
    ASSERT_TRUE(fake.boxes.empty());
    showPage(2);
    child<QCheckBox>("ChOK")->setChecked(true);

    const int socket = window->UDPServer().AcquireBinding().handle();
    ASSERT_GE(socket, 0);
    const int asked = c.bufferSize;
    ASSERT_EQ(::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &asked, sizeof asked), 0);
    int granted = 0;
    socklen_t length = sizeof granted;
    ASSERT_EQ(::getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &granted, &length), 0);
    ASSERT_LT(granted, 64 * 1024) << "the receive buffer did not shrink";

    // The event thread is busy (here: waiting for the sender) for the whole burst.
    UdpProbe sender;
    std::atomic<int> failedSends{0};
    std::thread blast([&] {
        for (uint32_t n = 0; n < BurstCount; ++n) {
            if (!sender.sendTo("127.0.0.1", port, sequenced(n, c.size)))
                ++failedSends;
        }
    });
    blast.join();
    EXPECT_EQ(failedSends.load(), 0) << "loss is the receiver's, sends themselves succeed";

    // What survived the overrun drains from the socket...
    qsizetype listed = -1;
    for (int quiet = 0; quiet < 10;) {
        QTest::qWait(20);
        const qsizetype now = listedLines().size();
        quiet = now == listed ? quiet + 1 : 0;
        listed = now;
    }
    // ...and a datagram sent afterwards still gets listed.
    ASSERT_TRUE(sender.sendTo("127.0.0.1", port, sequenced(Marker, c.size)));
    QElapsedTimer waited;
    waited.start();
    std::optional<uint32_t> last;
    while (waited.elapsed() < 10000) {
        QTest::qWait(20);
        const QStringList lines = listedLines();
        if (!lines.isEmpty() && (last = sequenceOf(lines.last())) && *last == Marker)
            break;
    }
    ASSERT_TRUE(last && *last == Marker)
        << "the listener stopped listing after the burst; " << listed << " lines listed";

    const QStringList lines = listedLines();
    ASSERT_LT(lines.size(), BurstCount + 1) << "no overrun happened: the test proves nothing";
    ASSERT_GE(lines.size(), 2);
    std::optional<uint32_t> previous;
    for (const QString& line : lines) {
        const auto n = sequenceOf(line);
        ASSERT_TRUE(n) << "unreadable line: " << qPrintable(line);
        EXPECT_EQ(line.count(u','), 53) << "each line shows 53 bytes";
        if (previous) {
            ASSERT_GT(*n, *previous) << "listed twice or out of order";
        }
        previous = n;
    }
    EXPECT_EQ(window->globals.RecvCount, lines.size());
    const QString count = QString::number(lines.size());
    EXPECT_TRUE(QTest::qWaitFor([&] { return child<QLabel>("LbNum")->text() == count; }, 5000))
        << child<QLabel>("LbNum")->text().toStdString() << " shown for " << lines.size();
}

INSTANTIATE_TEST_SUITE_P(Faults, ReceiveOverrun,
                         ::testing::Values(BurstCase{"small", 4, 4096},
                                           BurstCase{"large", 1400, 4096},
                                           BurstCase{"largest", 8192, 16384}),
                         CaseName());

// A modal box runs a loop of its own; datagrams keep being listed while it is up, in order. The
// scripted box turns the event loop the way a real one does.
TEST_F(WindowFixture, DatagramsAreListedWhileABoxIsUp)
{
    const int port = freeUdpPort();
    connectOn(port);
    ASSERT_TRUE(fake.boxes.empty());
    showPage(2);
    child<QCheckBox>("ChOK")->setChecked(true);

    constexpr int Count = 300;
    qsizetype listedInside = -1;
    UdpProbe sender;
    fake.onBox = [&](const FakeDialogs::Box&) {
        for (uint32_t n = 0; n < Count; ++n) {
            sender.sendTo("127.0.0.1", port, sequenced(n, 4));
            if (n % 50 == 49)
                QTest::qWait(2);
        }
        QElapsedTimer waited;
        waited.start();
        while (listedLines().size() < Count && waited.elapsed() < 5000)
            QTest::qWait(10);
        listedInside = listedLines().size();
    };
    // A wrong password while connected: only the information box, the endpoint stays bound.
    edit("edtMM")->setText(u"4061729"_s);
    QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    fake.onBox = nullptr;

    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, u"请输入正确的密码！"_s);
    EXPECT_EQ(listedInside, Count);
    EXPECT_TRUE(window->UDPServer().Active());
    const QStringList lines = listedLines();
    ASSERT_EQ(lines.size(), Count);
    for (int i = 0; i < Count; ++i)
        ASSERT_EQ(sequenceOf(lines[i]), std::optional<uint32_t>(static_cast<uint32_t>(i))) << i;
}

} // namespace
