// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside the lab network namespace only: the page's fixed fields point at the site's
// server address 192.168.1.248, which the namespace puts on its loopback.
#include "common/dialogs.h"
#include "window/globals.h"
#include "common/sysutils.h"
#include "config/pages/server_page.h"
#include "net/udp_server.h"
#include "skin/skin_button.h"
#include "skin/skin_ui_style.h"
#include "support/fake_dialogs.h"
#include "support/udp_probe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

TEST(ServerPageLab, DefaultFieldsReachTheServersManagementPort)
{
    FakeDialogs fake;
    UdpProbe server("192.168.1.248", 7550);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MainGlobals globals;
    globals.AppDir = dir.path() + u'/';
    TUDPServer udp;
    udp.SetDefaultPort(7520); // as the connect command binds it
    udp.SetActive(true);
    ServerPage page(globals, udp);
    fake.answers = {MB::IDOK, MB::IDOK};

    page.sbUpdateIPClick();

    const auto datagram = server.receive(2000);
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->data.toHex(' ').toUpper(),
              "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");
    EXPECT_EQ(datagram->fromPort, 7520) << "not sent from the bound endpoint";
    ASSERT_EQ(fake.boxes.size(), 3u);
    EXPECT_EQ(fake.boxes[2].flags, 64);
    EXPECT_FALSE(page.findChild<QWidget*>(u"sbUpdateIP"_s)->isEnabled());

    QFile log(globals.AppDir + u"IPSet.Ini"_s);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(fromCp936(log.readAll()),
              u"[UpdateLog]\r\nLog=  服务器IP=192.168.1.248  子网掩码=255.255.255.0  "
              u"默认网关=192.168.1.1 网络连接=本地连接\r\n"_s);
}

} // namespace

namespace
{

// The operator's way: a mouse click on the skinned button. After the send the button is
// disabled and paints the normal frame with the grey caption, although the mouse is over it.
TEST(ServerPageLab, TheSkinnedButtonRunsTheUpdateAndThenLooksDisabled)
{
    FakeDialogs fake;
    UdpProbe server("192.168.1.248", 7550);
    QTemporaryDir dir;
    MainGlobals globals;
    globals.AppDir = dir.path() + u'/';
    TUDPServer udp;
    ServerPage page(globals, udp);
    page.resize(800, 400);
    page.show();
    auto* button = page.findChild<TSkinButton*>(u"sbUpdateIP"_s);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());

    QTest::mouseMove(button, QPoint(50, 17));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(50, 17));

    const auto datagram = server.receive(2000);
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->data.size(), 18);
    ASSERT_EQ(fake.boxes.size(), 3u);
    EXPECT_FALSE(button->isEnabled());

    QImage normal;
    loadStyleFrame(nullptr, TSkinUIStyle::WinXP, 1, 3, normal, 1);
    QImage hot;
    loadStyleFrame(nullptr, TSkinUIStyle::WinXP, 1, 3, hot, 2);
    const QImage shown = button->grab().toImage();
    // Column 1 of the left edge is stretched from row 10 of the frame; the hot frame is warm there.
    ASSERT_NE(normal.pixel(1, 10), hot.pixel(1, 10));
    EXPECT_EQ(shown.pixel(1, 17), normal.pixel(1, 10));
    // The caption is drawn in grey over its white copy.
    const QPoint caption = button->CaptionPos();
    bool grey = false;
    bool white = false;
    for (int y = caption.y(); y < shown.height(); ++y)
        for (int x = caption.x(); x < shown.width(); ++x) {
            grey |= shown.pixelColor(x, y) == QColor(128, 128, 128);
            white |= shown.pixelColor(x, y) == QColor(255, 255, 255);
        }
    EXPECT_TRUE(grey);
    EXPECT_TRUE(white);
}

} // namespace
