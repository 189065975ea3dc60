// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter page's status line: the subnet text from an interface list, and the presence
// probe it starts only while connected and only for a local link's subnet.
#include "config/pages/subnet_status.h"
#include "net/net_address.h"
#include "net/presence_probe.h"
#include "support/test_helpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

uint32_t ip(const char* text)
{
    return *parseDottedQuad(QString::fromLatin1(text));
}

const QList<LocalAddress> Laptop = {
    {u"lo"_s, ip("127.0.0.1"), 8, true},        {u"lo"_s, ip("192.168.1.200"), 32, true},
    {u"eth0"_s, ip("192.168.1.10"), 24, false}, {u"wlan0"_s, ip("10.20.0.5"), 16, false},
    {u"tun0"_s, ip("10.20.30.1"), 24, false},
};

TEST(SubnetStatusText, NamesTheInterfaceOrTheMissingSubnet)
{
    struct Case {
        const char* device;
        bool same;
        QString text;
    } cases[] = {
        {"192.168.1.200", true, u"本机网卡 eth0 192.168.1.10/24 与设备在同一网段"_s},
        {" 10.20.30.9 ", true, u"本机网卡 tun0 10.20.30.1/24 与设备在同一网段"_s},
        {"10.20.99.9", true, u"本机网卡 wlan0 10.20.0.5/16 与设备在同一网段"_s},
        {"127.0.0.1", true, u"本机网卡 lo 127.0.0.1/8 与设备在同一网段"_s},
        {"192.168.7.200", false,
         u"警告：本机没有 192.168.7.0/24 网段的地址，无法与设备通信。请给本机网卡添加一个该网段中"
         "未被占用的地址"_s},
        {"192.168.1", false, u"设备IP“192.168.1”不是有效的地址，无法判断网段"_s},
    };
    for (const Case& c : cases) {
        const SubnetStatusText got = subnetStatusText(Laptop, QString::fromLatin1(c.device));
        EXPECT_EQ(got.sameSubnet, c.same) << c.device;
        EXPECT_EQ(got.text, c.text) << c.device;
    }
}

struct StatusFixture : ::testing::Test {
    void SetUp() override { installPresenceProbe(&probe); }
    void TearDown() override { installPresenceProbe(nullptr); }
    RecordingPresenceProbe probe;
    QLineEdit field;
    bool connected = false;
    QList<LocalAddress> addresses = Laptop;
};

TEST_F(StatusFixture, ProbesOnlyWhileConnectedAndOnlyALinksSubnet)
{
    probe.answer(ip("192.168.1.200"), {PresenceKind::Present, u"00:1a:2b:3c:4d:5e"_s});
    field.setText(u"192.168.1.200"_s);
    SubnetStatus status(field, [this] { return connected; });
    status.setAddressSource([this] { return addresses; });
    status.refresh();
    EXPECT_TRUE(probe.asked().isEmpty()) << "probed while disconnected";
    EXPECT_EQ(status.presenceText(), QString());

    connected = true;
    status.refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !status.presenceText().isEmpty(); }, 3000));
    EXPECT_EQ(status.presenceText(), u"在线 MAC 00:1a:2b:3c:4d:5e"_s);
    EXPECT_EQ(probe.asked(), QList<uint32_t>{ip("192.168.1.200")});

    // Off every subnet, and the loopback's own: nothing is asked, nothing shown.
    for (const char* address : {"192.168.7.200", "127.0.0.1"}) {
        field.setText(QString::fromLatin1(address));
        QTest::qWait(700); // past the settling time
        status.refresh();
        EXPECT_EQ(status.presenceText(), QString()) << address;
    }
    EXPECT_EQ(probe.asked().size(), 1);
}

TEST_F(StatusFixture, FollowsTheInterfacesAndSpeaksItsText)
{
    field.setText(u"192.168.7.200"_s);
    SubnetStatus status(field, [this] { return connected; });
    status.setAddressSource([this] { return addresses; });
    EXPECT_TRUE(status.statusText().startsWith(u"警告"_s));
    // An address added on the laptop shows within the poll.
    addresses.append({u"eth1"_s, ip("192.168.7.10"), 24, false});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status.statusText() == u"本机网卡 eth1 192.168.7.10/24 与设备在同一网段"_s; },
        3000));
    EXPECT_EQ(findNamed<QLabel>(&status, "lblSubnetStatus")->accessibleName(),
              u"网段：本机网卡 eth1 192.168.7.10/24 与设备在同一网段"_s);
}

} // namespace
