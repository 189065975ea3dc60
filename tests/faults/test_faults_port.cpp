// SPDX-License-Identifier: GPL-3.0-or-later
// Another process takes the local port between two connects of the window.
#include "support/test_helpers.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QDir>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <ostream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

// A separate process that holds 0.0.0.0:port until it is destroyed.
class PortSquatter
{
public:
    explicit PortSquatter(int port)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(port));
            const char ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 1 : 0;
            [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
            char c;
            n = ::read(release[0], &c, 1); // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = 0;
        bound_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
    }
    ~PortSquatter()
    {
        if (release_ >= 0)
            ::close(release_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    PortSquatter(const PortSquatter&) = delete;
    PortSquatter& operator=(const PortSquatter&) = delete;

    bool bound() const { return bound_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool bound_ = false;
};

struct SquatCase {
    const char* name;
    bool disconnectFirst; // the window lets the port go, then wants it back
    bool samePort;        // the second connect asks for the port of the first
};

class PortTaken : public WindowFixture, public ::testing::WithParamInterface<SquatCase>
{};

TEST_P(PortTaken, ConnectFailsWithTheBindErrorAndALaterConnectWorks)
{
    const SquatCase& c = GetParam();
    const int first = freeUdpPort();
    connectOn(first);
    ASSERT_TRUE(fake.boxes.empty());
    ASSERT_TRUE(window->UDPServer().Active());
    if (c.disconnectFirst)
        disconnect();

    const int wanted = c.samePort ? first : freeUdpPort();
    PortSquatter squatter(wanted);
    ASSERT_TRUE(squatter.bound()) << "the other process could not take port " << wanted;

    connectOn(wanted);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, u"Could not bind socket. Address and port are already in use."_s);
    EXPECT_EQ(fake.boxes[0].caption, appTitle());
    EXPECT_EQ(fake.boxes[0].flags, MB::Error);
    EXPECT_FALSE(window->UDPServer().Active());
    // The window's state is that of before the attempt.
    EXPECT_EQ(unlocked(), !c.disconnectFirst);
    EXPECT_EQ(child<QLabel>("Label4")->text(), c.disconnectFirst ? u"断开"_s : u"连接"_s);

    // A free port: the window connects and lists what arrives there.
    const int later = freeUdpPort();
    connectOn(later);
    ASSERT_EQ(fake.boxes.size(), 1u) << qPrintable(fake.boxes.back().text);
    EXPECT_TRUE(unlocked());
    ASSERT_TRUE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().AcquireBinding().Port, later);

    showPage(2);
    child<QCheckBox>("ChOK")->setChecked(true);
    UdpProbe peer;
    ASSERT_TRUE(peer.sendTo("127.0.0.1", later, QByteArray("\x07\x08", 2)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedLines().size() == 1; }, 5000))
        << listedLines().size() << " lines listed";
    EXPECT_TRUE(listedLines()[0].startsWith(u"7,8,0,"_s)) << qPrintable(listedLines()[0]);
}

INSTANTIATE_TEST_SUITE_P(Faults, PortTaken,
                         ::testing::Values(SquatCase{"takenAfterDisconnect", true, true},
                                           SquatCase{"otherPortTakenWhileConnected", false, false},
                                           SquatCase{"otherPortTakenAfterDisconnect", true, false}),
                         CaseName());

// The descriptors the process holds open.
int openDescriptors()
{
    return static_cast<int>(QDir(u"/proc/self/fd"_s)
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

// While another process holds the port, connecting again and again fails the same way each
// time and leaks nothing: the process holds no more descriptors than before, and afterwards
// the port the squatter let go can be bound.
TEST_F(WindowFixture, RepeatedFailedConnectsLeaveNoSocketBehind)
{
    const int port = freeUdpPort();
    {
        PortSquatter squatter(port);
        ASSERT_TRUE(squatter.bound());
        connectOn(port); // whatever the first box opens once (fonts, ...) is open from here
        const int before = openDescriptors();
        for (int i = 0; i < 20; ++i)
            connectOn(port);
        EXPECT_EQ(openDescriptors(), before) << "descriptors left by failed connects";
        ASSERT_EQ(fake.boxes.size(), 21u);
        for (const auto& box : fake.boxes)
            EXPECT_EQ(box.text, u"Could not bind socket. Address and port are already in use."_s);
    }
    connectOn(port);
    EXPECT_EQ(fake.boxes.size(), 21u);
    EXPECT_TRUE(window->UDPServer().Active());
}

// A failed connect from the unlocked window leaves the pages usable over an inactive endpoint.
// A send then opens it on the port of that connect: refused while the other process holds it,
// from that port once it is free.
TEST_F(WindowFixture, SendAfterAFailedReconnectOpensOnTheTypedPort)
{
    connectOn(freeUdpPort());
    ASSERT_TRUE(fake.boxes.empty());
    const int wanted = freeUdpPort();
    UdpProbe device;
    showPage(2);
    edit("edtIP")->setText(u"127.0.0.1"_s);
    edit("edtPort")->setText(QString::number(device.port()));
    {
        PortSquatter squatter(wanted);
        ASSERT_TRUE(squatter.bound());
        connectOn(wanted);
        ASSERT_EQ(fake.boxes.size(), 1u);
        ASSERT_TRUE(unlocked());
        ASSERT_FALSE(window->UDPServer().Active());

        showPage(2);
        QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
        ASSERT_EQ(fake.boxes.size(), 2u);
        EXPECT_EQ(fake.boxes[1].text,
                  u"Could not bind socket. Address and port are already in use."_s);
        EXPECT_EQ(fake.boxes[1].flags, MB::Error);
        EXPECT_FALSE(window->UDPServer().Active());
        EXPECT_FALSE(device.receive(100)) << "nothing may leave while the open fails";
    }
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_EQ(fake.boxes.size(), 2u);
    const auto got = device.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, QByteArray(1, '\x01'));
    EXPECT_EQ(got->fromPort, wanted);
    EXPECT_TRUE(window->UDPServer().Active());
}

} // namespace
