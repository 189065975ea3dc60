// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside the lab network namespace (tests/lab.sh): 192.168.1.200 is a local address there.
#include "window/globals.h"
#include "config/pages/param_page.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <ostream>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

struct LabCase {
    const char* name;
    QString host; // edtCurrIP; the other fields keep their designed texts
    bool arrives;
    QString box;
};

class ParamPageLab : public ::testing::TestWithParam<LabCase>
{};

TEST_P(ParamPageLab, DownloadWithTheDesignedFields)
{
    const auto& c = GetParam();
    FakeDialogs fake;
    MainGlobals globals;
    globals.DeviceType = DeviceType(1);
    TUDPServer udp;
    udp.SetDefaultPort(7520);
    udp.SetActive(true);
    UdpProbe device("192.168.1.200", 7500);
    ParamPage page(globals, udp);
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));

    if (!c.host.isNull())
        page.findChild<QLineEdit*>(u"edtCurrIP"_s)->setText(c.host);
    auto* combo = page.findChild<QComboBox*>(u"cmbType"_s);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down); // the first item, "普通终端"
    ASSERT_EQ(globals.DeviceType.code(), 1);
    QTest::mouseClick(page.findChild<QToolButton*>(u"SpeedButton1"_s), Qt::LeftButton);

    const auto got = device.receive(c.arrives ? 2000 : 200);
    if (c.arrives) {
        ASSERT_TRUE(got.has_value());
        const QByteArray want =
            QByteArray::fromHex("48C0A801C8C0A801F8C0A801011D4C1D561D60C800FFFFFFFFE0000130"
                                "000000000000000000000000");
        EXPECT_EQ(got->data.toHex(' '), want.toHex(' '));
        EXPECT_EQ(got->fromPort, 7520);
    } else {
        EXPECT_FALSE(got.has_value());
    }
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, c.box);
    EXPECT_EQ(fake.boxes[0].caption, u"信息提示："_s);
    EXPECT_EQ(fake.boxes[0].flags, 64);
}

INSTANTIATE_TEST_SUITE_P(
    Lab, ParamPageLab,
    ::testing::Values(LabCase{"designedDevice", {}, true, u"设备设置完成！"_s},
                      // Not four numbers: names, which resolve to nothing. Were they read
                      // as shorthand addresses they would go out to the network; here that is
                      // only the lab's.
                      LabCase{"threeNumbersAreAName", u"10.20.30"_s, false, u"设备设置错误！"_s},
                      LabCase{"fiveNumbersAreAName", u"1.2.3.4.5"_s, false, u"设备设置错误！"_s}),
    CaseName());

} // namespace
