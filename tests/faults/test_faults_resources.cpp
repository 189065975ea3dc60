// SPDX-License-Identifier: GPL-3.0-or-later
// Connect when the process runs out of descriptors or of threads: the window says so, stays as
// it was, and neither a later disconnect nor its own destruction waits for a listener that
// never ran.
#include "support/no_new_threads.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <exception>
#include <ostream>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

enum class Shortage { NoDescriptor, NoWakeDescriptor, NoThread };

struct ShortageCase {
    const char* name;
    Shortage shortage;
    bool connects; // the connect succeeds in spite of it
};

class Exhausted : public WindowFixture, public ::testing::WithParamInterface<ShortageCase>
{
protected:
    // Runs press with the shortage in force and lifts it again before anything is checked.
    bool during(Shortage shortage, const std::function<void()>& press)
    {
        if (shortage == Shortage::NoThread) {
            NoNewThreads refused;
            if (!refused.engaged())
                return false;
            press();
            return true;
        }
        rlimit saved{};
        if (::getrlimit(RLIMIT_NOFILE, &saved) != 0)
            return false;
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit tight = saved;
        // The socket takes the last descriptor; the listener's wake-up finds none.
        tight.rlim_cur =
            static_cast<rlim_t>(lowestFree + (shortage == Shortage::NoDescriptor ? 0 : 1));
        if (::setrlimit(RLIMIT_NOFILE, &tight) != 0)
            return false;
        press();
        return ::setrlimit(RLIMIT_NOFILE, &saved) == 0;
    }
};

TEST_P(Exhausted, ConnectReportsItAndTheWindowGoesOn)
{
    const ShortageCase& c = GetParam();
    if (c.shortage == Shortage::NoThread && ::geteuid() != 0)
        GTEST_SKIP() << "refusing threads needs root";
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' own checks (UBSan's vptr test opens a pipe) need descriptors, and the
    // error box is built while none is left.
    if (c.shortage == Shortage::NoDescriptor)
        GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    const int port = freeUdpPort();
    edit("edtMM")->setText(u"40617293"_s);
    edit("Edit3")->setText(QString::number(port));
    auto* connectButton = child<QPushButton>("BitBtn1");
    ASSERT_TRUE(during(c.shortage, [&] { connectButton->click(); }));

    if (c.connects) {
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_TRUE(unlocked());
        ASSERT_TRUE(window->UDPServer().Active());
    } else {
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].caption, appTitle());
        EXPECT_EQ(fake.boxes[0].flags, MB::Error);
        if (c.shortage == Shortage::NoDescriptor)
            EXPECT_EQ(fake.boxes[0].text, u"Cannot allocate socket."_s);
        else
            EXPECT_FALSE(fake.boxes[0].text.isEmpty());
        EXPECT_FALSE(window->UDPServer().Active()) << "open over a listener that never ran";
        EXPECT_FALSE(unlocked());
        EXPECT_EQ(child<QLabel>("Label4")->text(), u"断开"_s);
        if (window->UDPServer().Active()) {
            // Its close would wait forever; give the window up rather than hang the run.
            (void)window.release();
            return;
        }
        // Nothing of the failed attempt holds the port.
        UdpProbe probe("0.0.0.0", port);
        EXPECT_EQ(probe.port(), port);
    }

    // Disconnect returns (with no wake-up descriptor the listener notices within its wait).
    disconnect();
    EXPECT_FALSE(window->UDPServer().Active());
    EXPECT_FALSE(unlocked());

    // Without the shortage the window connects and lists as usual.
    fake.boxes.clear();
    connectOn(port);
    ASSERT_TRUE(fake.boxes.empty()) << qPrintable(fake.boxes[0].text);
    showPage(2);
    child<QCheckBox>("ChOK")->setChecked(true);
    UdpProbe peer;
    ASSERT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray("\x05", 1)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedLines().size() == 1; }, 5000))
        << listedLines().size() << " lines listed";
    EXPECT_TRUE(listedLines()[0].startsWith(u"5,0,0,"_s));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, Exhausted,
    ::testing::Values(ShortageCase{"noDescriptor", Shortage::NoDescriptor, false},
                      ShortageCase{"noWakeDescriptor", Shortage::NoWakeDescriptor, true},
                      ShortageCase{"noThread", Shortage::NoThread, false}),
    CaseName());

// The window closed right after a connect that found no thread: destruction does not hang.
TEST_F(WindowFixture, DestroyedAfterAConnectWithoutThreadReturns)
{
    const int port = freeUdpPort();
    {
        NoNewThreads refused;
        if (!refused.engaged())
            GTEST_SKIP() << "refusing threads needs root";
        connectOn(port);
    }
    ASSERT_EQ(fake.boxes.size(), 1u);
    ASSERT_FALSE(window->UDPServer().Active());
    window.reset(); // a hang here is the fault; the test's time-out reports it
}

} // namespace
