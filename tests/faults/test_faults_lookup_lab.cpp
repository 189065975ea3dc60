// SPDX-License-Identifier: GPL-3.0-or-later
// The console's send to a mistyped host on a LAN whose name server is unreachable or silent:
// the box says "Host not found." within 3 s, and while the lookup runs the window keeps
// listing datagrams without a stall while a click on "发送" starts nothing.
#include "support/name_server.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QTimer>
#include <chrono>

using namespace Qt::StringLiterals;

namespace
{

using Clock = std::chrono::steady_clock;

const QString HostNotFoundBox = u"Socket Error # 11001\r\nHost not found."_s;

class MistypedHost : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        port = freeUdpPort();
        connectOn(port);
        ASSERT_TRUE(fake.boxes.empty());
        showPage(2);
        child<QCheckBox>("ChOK")->setChecked(true);
        edit("edtIP")->setText(u"192.168.1.2OO"_s); // letter O for zero
        QTest::qWait(50); // the page's first paint is no part of the lookup
    }
    void pressSend() { QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton); }
    void expectHostNotFoundBox()
    {
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, HostNotFoundBox);
        EXPECT_EQ(fake.boxes[0].caption, appTitle());
        EXPECT_EQ(fake.boxes[0].flags, MB::Error);
    }
    int port = 0;
};

TEST_F(MistypedHost, UnreachableNameServerGivesHostNotFound)
{
    ResolverSandbox sandbox("127.0.0.54"); // nothing listens there
    REQUIRE_RESOLVER_SANDBOX(sandbox);
    pressSend();
    expectHostNotFoundBox();
}

TEST_F(MistypedHost, SilentNameServerWindowGoesOnAndBoxComesInTime)
{
    ResolverSandbox sandbox("127.0.0.53");
    REQUIRE_RESOLVER_SANDBOX(sandbox);
    SilentNameServer silent("127.0.0.53");
    ASSERT_TRUE(silent.listening());

    // The longest the event loop went without turning, seen by a 10 ms timer.
    double longestStallMs = 0;
    auto lastTick = Clock::now();
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestStallMs = std::max(
            longestStallMs, std::chrono::duration<double, std::milli>(now - lastTick).count() - 10);
        lastTick = now;
    });
    ticker.start();

    UdpProbe peer;
    int listedDuringWait = -1;
    QTimer::singleShot(300, [&] { peer.sendTo("127.0.0.1", port, "\x07"_ba); });
    QTimer::singleShot(600, [&] {
        listedDuringWait = static_cast<int>(listedLines().size());
        pressSend(); // a second command must not start from inside the wait
    });

    lastTick = Clock::now();
    const auto started = Clock::now();
    pressSend();
    const auto took = Clock::now() - started;
    longestStallMs = std::max(
        longestStallMs, std::chrono::duration<double, std::milli>(Clock::now() - lastTick).count());

    expectHostNotFoundBox();
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_LT(longestStallMs, 100.0);
    EXPECT_GT(silent.queries(), 0) << "the resolver never asked the name server";
    EXPECT_EQ(listedDuringWait, 1) << "the datagram was not listed during the lookup";
    // The click made during the wait is gone, not merely postponed.
    QTest::qWait(50);
    EXPECT_EQ(fake.boxes.size(), 1u);
}

} // namespace
