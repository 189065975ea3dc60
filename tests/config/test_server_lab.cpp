// Runs inside the lab network namespace only: the page's fixed fields point at the site's
// server address 192.168.1.248, which the namespace puts on its loopback.
#include "dialogs.h"
#include "fake_dialogs.h"
#include "globals.h"
#include "server_page.h"
#include "sysutils.h"
#include "udp_probe.h"
#include "udp_server.h"

#include <QFile>
#include <QTemporaryDir>
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
    TMainGlobals globals;
    globals.AppDir = dir.path() + u'/';
    TUDPServer udp;
    TServerPage page(globals, udp);
    fake.answers = {MB::IDOK, MB::IDOK};

    page.sbUpdateIPClick();

    const auto datagram = server.receive(2000);
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->data.toHex(' ').toUpper(),
              "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");
    ASSERT_EQ(fake.boxes.size(), 3u);
    EXPECT_EQ(fake.boxes[2].flags, 64);
    EXPECT_FALSE(page.findChild<QWidget*>(u"sbUpdateIP"_s)->isEnabled());

    QFile log(globals.AppDir + u"IPSet.Ini"_s);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(FromCp936(log.readAll()),
              u"[UpdateLog]\r\nLog=  服务器IP=192.168.1.248  子网掩码=255.255.255.0  "
              u"默认网关=192.168.1.1 网络连接=本地连接\r\n"_s);
}

} // namespace
