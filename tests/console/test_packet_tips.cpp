// SPDX-License-Identifier: GPL-3.0-or-later
// A listed datagram that holds a whole packet explains itself when the pointer rests on it.
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"
#include "console_fixture.h"
#include "support/test_helpers.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>

using namespace Qt::StringLiterals;

namespace
{

QByteArray paramPacket()
{
    const ParamPacket p = buildParamPacket(ParamFields(), DeviceType(1)).value();
    return QByteArray(reinterpret_cast<const char*>(p.data()), ParamPacketSize);
}

QByteArray serverPacket()
{
    const auto b = buildServerPacket(ServerFields::defaults()).value();
    return QByteArray(reinterpret_cast<const char*>(b.data()), ServerPacketSize);
}

class PacketTipsTest : public ConsoleFixture
{
protected:
    // Lists the datagrams as they come from a loopback sender.
    void receive(const std::vector<QByteArray>& datagrams)
    {
        const int port = listen();
        child<QCheckBox>("ChOK")->setChecked(true);
        for (const QByteArray& d : datagrams)
            ASSERT_TRUE(sender.sendTo("127.0.0.1", port, d));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return memo()->document()->blockCount() > static_cast<int>(datagrams.size()); },
            5000));
    }
    // Rests the pointer at a point of the list's viewport; the tooltip's text, empty for none.
    QString tipAt(QPoint at)
    {
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000))
            return u"(a tooltip stayed up)"_s;
        QWidget* viewport = memo()->viewport();
        QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    QString tipOnLine(int line)
    {
        const QTextBlock block = memo()->document()->findBlockByNumber(line);
        return tipAt(memo()->cursorRect(QTextCursor(block)).center() + QPoint(20, 0));
    }

    UdpProbe sender;
};

const QString ParamText =
    u"参数包 普通终端 更新后设备IP=192.168.1.200 服务器IP=192.168.1.248 网关地址=192.168.1.1 "
    "命令端口=7500 数据端口=7510 服务器端口=7520 设备地址=200 数据广播IP=255.255.255.255 "
    "组播IP（隐藏）=224.0.1.48"_s;

TEST_F(PacketTipsTest, ExplainsAListedPacketAndNothingElse)
{
    globals.DeviceType = DeviceType(1);
    receive({QByteArray(1, '\x01'), paramPacket(), paramPacket() + '\x05', serverPacket()});
    const QString listed = page->memoText();

    EXPECT_EQ(tipOnLine(0), QString()) << "a test datagram is no packet";
    EXPECT_EQ(tipOnLine(1), ParamText);
    EXPECT_EQ(tipOnLine(2), QString()) << "a byte after the 41 makes it no parameter packet";
    EXPECT_EQ(tipOnLine(3), u"服务器地址包 更新服务器IP=192.168.1.248 子网掩码=255.255.255.0 "
                            "默认网关=192.168.1.1"_s);
    // Below the last line the pointer rests on no line.
    EXPECT_EQ(tipAt(QPoint(20, memo()->viewport()->height() - 2)), QString());
    EXPECT_EQ(page->memoText(), listed) << "the list stays as it was";
}

TEST_F(PacketTipsTest, ReadsWithTheChosenTypeAlsoWithAddresses)
{
    child<QCheckBox>("ch1")->setChecked(false);
    globals.DeviceType = DeviceType(6); // the code-1 packet's group address is no amplifier number
    receive({paramPacket()});
    EXPECT_TRUE(page->memoText().startsWith(u"IP: 127.0.0.1 SPort:"_s));
    EXPECT_EQ(tipOnLine(0), u"无法解读的数据包：分区切换的参数包不使用偏移27至28，偏移27应为00，"
                            "收到01；数据（41字节）："_s +
                                QString::fromLatin1(paramPacket().toHex(' ').toUpper()));
    globals.DeviceType = DeviceType(1);
    EXPECT_EQ(tipOnLine(0), ParamText);
}

TEST_F(PacketTipsTest, ALineShowingFewerBytesThanThePacketHasNoTip)
{
    globals.DeviceType = DeviceType(1);
    globals.ShowByteCount = 40;
    receive({paramPacket()});
    EXPECT_EQ(tipOnLine(0), QString());
}

} // namespace
