// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside the lab namespace only: the sender's site defaults go to broadcast and a group.
#include "console_fixture.h"

#include <QTest>

namespace
{

class ConsoleLab : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        // As after connect: the first count item is chosen. The endpoint stays closed; the
        // send opens it on its DefaultPort, a free port, away from the probes' 7500.
        child<QComboBox>("cmbData")->setCurrentIndex(0);
    }
};

TEST_F(ConsoleLab, DefaultsSendOneByteToBroadcastPort7500)
{
    UdpProbe probe("0.0.0.0", 7500);
    ASSERT_EQ(edit("edtIP")->text(), QStringLiteral("255.255.255.255"));
    ASSERT_EQ(edit("edtPort")->text(), QStringLiteral("7500"));
    globals.ShowByteCount = 0; // so that 53 afterwards can only come from edtNum
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_TRUE(fakeDialogs.boxes.empty());
    const auto got = probe.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data, QByteArray("\x01", 1));
    EXPECT_EQ(got->fromPort, udp->DefaultPort());
    EXPECT_EQ(globals.ShowByteCount, 53);
}

TEST_F(ConsoleLab, MulticastReachesAGroupMember)
{
    UdpProbe probe("0.0.0.0", 7500);
    ASSERT_TRUE(probe.joinGroup("224.0.1.48"));
    edit("edtIP")->setText(QStringLiteral("224.0.1.48"));
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_TRUE(fakeDialogs.boxes.empty());
    const auto got = probe.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data, QByteArray("\x01", 1));
}

} // namespace
