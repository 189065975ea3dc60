// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

const QString Password = QStringLiteral("40617293");
const QString WrongPassword = QString::fromUtf8("请输入正确的密码！");

// True when 0.0.0.0:port can not be bound right now because something holds it.
bool portHeld(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool held =
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
    ::close(fd);
    return held;
}

class MainWindowTest : public WindowFixture
{
protected:
    QTabWidget* pages() { return child<QTabWidget>("PageControl1"); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }

    void connectWith(const QString& password, const QString& port)
    {
        edit("edtMM")->setText(password);
        edit("Edit3")->setText(port);
        QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    }
    bool locked() { return !pages()->isEnabled(); }
};

TEST_F(MainWindowTest, StartsLockedOnTheLockedPageWithTheFocusInThePassword)
{
    EXPECT_EQ(window->windowTitle(),
              QString::fromUtf8("IP网络广播系统终端设备IP地址配置工具软件 V1.0.1"));
    EXPECT_TRUE(locked());
    EXPECT_EQ(pages()->currentWidget()->objectName(), u"TabSheet3");
    EXPECT_EQ(QApplication::focusWidget(), edit("edtMM"));
    EXPECT_EQ(window->globals.DeviceType.code(), 1);
    EXPECT_EQ(child<QComboBox>("cmbType")->currentIndex(), -1)
        << "the type list shows no selection";
    EXPECT_EQ(label("Label4"), QString::fromUtf8("断开"));
    EXPECT_TRUE(child<QLabel>("Lb_Mss")->isVisible());
    EXPECT_FALSE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().DefaultPort(), 7500);
    EXPECT_TRUE(fake.boxes.empty());

    // Typing goes to the password field, and it shows stars.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ab"));
    EXPECT_EQ(edit("edtMM")->text(), u"ab");
    EXPECT_EQ(edit("edtMM")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit("edtMM")->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                edit("edtMM")),
              u'*');
    // The locked tabs can not be switched.
    QTest::mouseClick(pages()->tabBar(), Qt::LeftButton, {},
                      pages()->tabBar()->tabRect(0).center());
    EXPECT_EQ(pages()->currentIndex(), 3);
}

TEST_F(MainWindowTest, TopBarAndPagesAsDesigned)
{
    const QStringList tabs = {
        QString::fromUtf8("  设备参数设置  "), QString::fromUtf8("  更改服务器IP "),
        QString::fromUtf8("  数据发送测试  "), QString::fromUtf8("  设备配置界面  ")};
    const QStringList sheets = {u"TabSheet1"_s, u"TabSheet4"_s, u"TabSheet2"_s, u"TabSheet3"_s};
    ASSERT_EQ(pages()->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages()->tabText(i), tabs[i]);
        EXPECT_EQ(pages()->widget(i)->objectName(), sheets[i]);
    }
    struct Place {
        const char* name;
        QRect geometry;
    };
    for (const Place& p :
         {Place{"BitBtn1", {13, 16, 105, 33}}, Place{"BitBtn2", {125, 16, 113, 33}},
          Place{"Edit3", {324, 23, 49, 22}}, Place{"edtMM", {480, 24, 127, 22}},
          Place{"SpeedButton8", {646, 16, 82, 33}}, Place{"Lb_Mss", {161, 123, 399, 21}}}) {
        EXPECT_EQ(child<QWidget>(p.name)->geometry(), p.geometry) << p.name;
    }
    EXPECT_EQ(child<QWidget>("GroupBox3")->height(), 64);
    EXPECT_EQ(child<QPushButton>("BitBtn1")->text(), QString::fromUtf8("连接设备"));
    EXPECT_EQ(child<QPushButton>("BitBtn2")->text(), QString::fromUtf8("断开设备"));
    EXPECT_EQ(child<QToolButton>("SpeedButton8")->text(), QString::fromUtf8("关闭"));
    EXPECT_EQ(child<QToolButton>("SpeedButton8")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(edit("Edit3")->text(), u"7520");
    EXPECT_EQ(label("Label3"), QString::fromUtf8("本机端口："));
    EXPECT_EQ(label("Label13"), QString::fromUtf8("密码："));
    EXPECT_EQ(label("Lb_Mss"), QString::fromUtf8("设置界面已锁定，请首先点击连接设备按键"));
    EXPECT_EQ(child<QLabel>("Lb_Mss")->font().pixelSize(), 21);
    EXPECT_EQ(child<QLabel>("Lb_Mss")->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(window->font().pixelSize(), 14);
    EXPECT_EQ(window->font().family(), QString::fromUtf8("宋体"));
    for (const char* name : {"BitBtn1", "BitBtn2", "SpeedButton8"})
        EXPECT_EQ(child<QAbstractButton>(name)->icon().actualSize(QSize(16, 16)), QSize(16, 16))
            << name;

    // Tab order of the bar: Edit3, BitBtn1, BitBtn2, edtMM.
    edit("Edit3")->setFocus();
    const char* order[] = {"BitBtn1", "BitBtn2", "edtMM"};
    for (const char* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
    }
}

// Maximized at start; restored, it returns to the designed place and size.
TEST(MainWindowFrame, RestoresToTheDesignedBounds)
{
    const QRect designed(53, 167, 1089, 551);
    {
        FakeDialogs fake;
        TfrmMain window;
        EXPECT_EQ(QRect(window.pos(), window.size()), designed);
        window.showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(window.isMaximized());
        window.showNormal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.size() == designed.size(); }, 5000))
            << window.width() << "x" << window.height();
        EXPECT_EQ(window.pos(), designed.topLeft());
    }
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST_F(MainWindowTest, WrongPasswordsShowOneBoxAndPutTheFocusBack)
{
    for (const QString& wrong : {QString(), u" 40617293"_s, u"40617293 "_s, u"4061729"_s}) {
        fake.boxes.clear();
        edit("Edit3")->setFocus();
        connectWith(wrong, u"0"_s);
        ASSERT_EQ(fake.boxes.size(), 1u) << qPrintable(wrong);
        EXPECT_EQ(fake.boxes[0].text, WrongPassword);
        EXPECT_EQ(fake.boxes[0].caption, QString::fromUtf8("信息提示："));
        EXPECT_EQ(fake.boxes[0].flags, 64);
        EXPECT_EQ(QApplication::focusWidget(), edit("edtMM"));
        EXPECT_EQ(edit("edtMM")->text(), wrong) << "the field keeps its text";
        EXPECT_TRUE(locked());
        EXPECT_FALSE(window->UDPServer().Active());
    }
}

TEST_F(MainWindowTest, TheRightPasswordBindsTheTypedPortAndUnlocks)
{
    const int port = freeUdpPort();
    window->globals.ShowByteCount = 7;
    window->globals.RecvCount = 9;
    connectWith(Password, QString::number(port));

    EXPECT_TRUE(fake.boxes.empty());
    ASSERT_TRUE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().AcquireBinding().Port, port);
    EXPECT_TRUE(portHeld(port));
    int ttl = 0;
    socklen_t len = sizeof ttl;
    ASSERT_EQ(::getsockopt(window->UDPServer().AcquireBinding().handle(), IPPROTO_IP,
                           IP_MULTICAST_TTL, &ttl, &len),
              0);
    EXPECT_EQ(ttl, 32);

    EXPECT_FALSE(locked());
    EXPECT_EQ(label("Label4"), QString::fromUtf8("连接"));
    EXPECT_FALSE(child<QLabel>("Lb_Mss")->isVisible());
    EXPECT_EQ(pages()->currentWidget()->objectName(), u"TabSheet1");
    EXPECT_EQ(child<QComboBox>("cmbData")->currentIndex(), 0);
    EXPECT_EQ(child<QComboBox>("cmbData")->currentText(), u"1");
    EXPECT_EQ(window->globals.ShowByteCount, 53);
    EXPECT_EQ(window->globals.RecvCount, 0);
    EXPECT_EQ(window->globals.AppDir, QCoreApplication::applicationDirPath() + u'/');
}

TEST_F(MainWindowTest, ConnectingAgainRebindsAndAWrongPasswordKeepsTheConnection)
{
    const int first = freeUdpPort();
    connectWith(Password, QString::number(first));
    ASSERT_TRUE(portHeld(first));

    connectWith(u"nope"_s, QString::number(first));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, WrongPassword);
    EXPECT_TRUE(window->UDPServer().Active()) << "still bound";
    EXPECT_TRUE(portHeld(first));
    EXPECT_FALSE(locked());

    window->globals.RecvCount = 5;
    window->globals.ShowByteCount = 3;
    pages()->setCurrentIndex(2);
    child<QComboBox>("cmbData")->setCurrentIndex(3);
    const int second = freeUdpPort();
    connectWith(Password, QString::number(second));
    EXPECT_EQ(pages()->currentWidget()->objectName(), u"TabSheet1")
        << "the parameter page comes to the front again";
    EXPECT_EQ(child<QComboBox>("cmbData")->currentIndex(), 0);
    EXPECT_TRUE(portHeld(second));
    EXPECT_FALSE(portHeld(first)) << "the first socket was closed";
    EXPECT_EQ(window->globals.RecvCount, 0);
    EXPECT_EQ(window->globals.ShowByteCount, 53);

    connectWith(Password, u"0"_s);
    EXPECT_GT(window->UDPServer().AcquireBinding().Port, 0) << "port 0 binds one the system picks";
    EXPECT_FALSE(portHeld(second));
}

// The typed port goes through the integer conversion and is bound modulo 65536, so a negative
// number binds a port near the top of the range.
struct PortText {
    const char* name;
    QString (*text)(int freePort);
};

class ConnectPortText : public MainWindowTest, public ::testing::WithParamInterface<PortText>
{};

TEST_P(ConnectPortText, BindsTheLow16Bits)
{
    const int port = freeUdpPort();
    connectWith(Password, GetParam().text(port));
    ASSERT_TRUE(fake.boxes.empty()) << qPrintable(fake.boxes.front().text);
    ASSERT_TRUE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().AcquireBinding().Port, port);
    EXPECT_TRUE(portHeld(port));
    EXPECT_FALSE(locked());
}

QString above(int p)
{
    return QString::number(p + 65536);
}
QString negative(int p)
{
    return QString::number(p - 65536);
}
QString farAbove(int p)
{
    return QString::number(p + 7 * 65536);
}
QString hex(int p)
{
    return u"$"_s + QString::number(p + 65536, 16);
}
QString leadingBlanks(int p)
{
    return u"  "_s + QString::number(p);
}

INSTANTIATE_TEST_SUITE_P(Texts, ConnectPortText,
                         ::testing::Values(PortText{"Above", above}, PortText{"Negative", negative},
                                           PortText{"FarAbove", farAbove}, PortText{"Hex", hex},
                                           PortText{"LeadingBlanks", leadingBlanks}),
                         CaseName());

TEST_F(MainWindowTest, APortThatIsNoNumberLeavesTheEndpointInactiveAndTheWindowAsItWas)
{
    connectWith(Password, u"abc"_s);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, u"'abc' is not a valid integer value.");
    EXPECT_EQ(fake.boxes[0].caption, QString::fromUtf8("终端设备配置工具软件"));
    EXPECT_EQ(fake.boxes[0].flags, 16);
    EXPECT_FALSE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().DefaultPort(), 7500);
    EXPECT_TRUE(locked());
    EXPECT_EQ(label("Label4"), QString::fromUtf8("断开"));

    // From the unlocked state the window stays unlocked over an inactive endpoint.
    connectWith(Password, u"0"_s);
    ASSERT_TRUE(window->UDPServer().Active());
    connectWith(Password, u" 12x"_s);
    EXPECT_EQ(fake.boxes.back().text, u"' 12x' is not a valid integer value.");
    EXPECT_FALSE(window->UDPServer().Active());
    EXPECT_FALSE(locked());
    EXPECT_EQ(label("Label4"), QString::fromUtf8("连接"));
}

TEST_F(MainWindowTest, APortHeldElsewhereShowsTheBindFailureWithoutAFullStopAdded)
{
    UdpProbe holder("0.0.0.0", 0);
    connectWith(Password, QString::number(holder.port()));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, u"Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(fake.boxes[0].flags, 16);
    EXPECT_FALSE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().DefaultPort(), holder.port());
    EXPECT_TRUE(locked());

    connectWith(Password, u"0"_s);
    EXPECT_TRUE(window->UDPServer().Active()) << "a later connect on a free port succeeds";
}

TEST_F(MainWindowTest, DisconnectLocksAndKeepsThePageShown)
{
    connectWith(Password, u"0"_s);
    const int port = window->UDPServer().AcquireBinding().Port;
    pages()->setCurrentIndex(2);
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(child<QPushButton>("BitBtn2"), Qt::LeftButton);
        EXPECT_TRUE(locked());
        EXPECT_FALSE(window->UDPServer().Active());
        EXPECT_FALSE(portHeld(port));
        EXPECT_EQ(label("Label4"), QString::fromUtf8("断开"));
        EXPECT_EQ(pages()->currentWidget()->objectName(), u"TabSheet2");
        EXPECT_FALSE(child<QLabel>("Lb_Mss")->isHidden());
    }
    EXPECT_TRUE(fake.boxes.empty()) << "no password is asked";
}

TEST_F(MainWindowTest, TheWheelChangesAListOnlyWhileItHasTheFocus)
{
    connectWith(Password, u"0"_s);
    auto* type = child<QComboBox>("cmbType");
    type->setCurrentIndex(3);
    Q_EMIT type->activated(3);
    ASSERT_EQ(window->globals.DeviceType.code(), 4);
    auto turn = [&] {
        const QPoint at = type->rect().center();
        QWheelEvent wheel(at, type->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(type, &wheel);
    };
    child<QLineEdit>("edtCurrIP")->setFocus();
    turn();
    EXPECT_EQ(type->currentIndex(), 3) << "passing over the list changes nothing";
    EXPECT_EQ(window->globals.DeviceType.code(), 4);

    type->setFocus();
    turn();
    EXPECT_EQ(type->currentIndex(), 4) << "the focused list still follows the wheel";
    EXPECT_EQ(window->globals.DeviceType.code(), 5);
}

TEST_F(MainWindowTest, TheCloseButtonClosesTheWindow)
{
    connectWith(Password, u"0"_s);
    QTest::mouseClick(child<QToolButton>("SpeedButton8"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(fake.boxes.empty()) << "no question is asked";
}

TEST_F(MainWindowTest, DestroyingTheWindowWhileDatagramsArriveEndsCleanly)
{
    connectWith(Password, u"0"_s);
    const int port = window->UDPServer().AcquireBinding().Port;
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        UdpProbe sender;
        const QByteArray datagram(53, '\x01');
        while (!stop.load())
            sender.sendTo("127.0.0.1", port, datagram);
    });
    QTest::qWait(50);
    window.reset();
    stop = true;
    flood.join();
    EXPECT_FALSE(portHeld(port));
}

// A datagram that the listener handed over just before the window went is not delivered
// during the destruction: the close inside it would otherwise run the receive handler on a
// window being taken apart.
TEST_F(MainWindowTest, NoDeliveryOnceDestructionHasBegun)
{
    connectWith(Password, u"0"_s);
    const int port = window->UDPServer().AcquireBinding().Port;
    int delivered = 0;
    window->UDPServer().OnUDPRead = [&](TUDPServer&, const QByteArray&, TSocketHandle&) {
        ++delivered;
    };
    UdpProbe sender;
    ASSERT_TRUE(sender.sendTo("127.0.0.1", port, "late"_ba));
    // The hand-over is made without the event loop turning.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(delivered, 0);
    window.reset();
    EXPECT_EQ(delivered, 0);
    EXPECT_FALSE(portHeld(port));
}

} // namespace

// What a screen reader reads for the labels that show a value: caption and value together,
// current after every change.
TEST_F(MainWindowTest, ValueLabelsAreReadByScreenReadersWithTheirCaption)
{
    const auto said = [&](const char* name, QAccessible::Text what = QAccessible::Name) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(child<QLabel>(name));
        return a ? a->text(what) : u"<no interface>"_s;
    };
    EXPECT_EQ(said("Label4"), u"连接状态：断开"_s);
    EXPECT_EQ(said("LbNum"), u"本地接收到的数据条数：0"_s);
    EXPECT_TRUE(said("LbMess", QAccessible::Description).isEmpty());

    const int port = freeUdpPort();
    connectOn(port);
    EXPECT_EQ(said("Label4"), u"连接状态：连接"_s);

    showPage(2);
    child<QCheckBox>("ChOK")->setChecked(true);
    UdpProbe peer;
    ASSERT_TRUE(peer.sendTo("127.0.0.1", port, "\x01"_ba));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return said("LbNum") == u"本地接收到的数据条数：1"_s; }, 3000))
        << said("LbNum").toStdString();
    QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(said("LbNum"), u"本地接收到的数据条数：0"_s);

    showPage(1);
    UdpProbe server;
    edit("edtIPCurr")->setText(u"127.0.0.1"_s);
    edit("edtServicePort")->setText(QString::number(server.port()));
    window->globals.AppDir = QDir::tempPath() + u"/no-such-folder-for-the-log/"_s;
    QTest::mouseClick(child<QWidget>("sbUpdateIP"), Qt::LeftButton);
    EXPECT_EQ(said("LbMess"), u"更新结果"_s);
    EXPECT_EQ(said("LbMess", QAccessible::Description), child<QLabel>("LbMess")->text());
    EXPECT_TRUE(said("LbMess", QAccessible::Description).contains(u"服务器IP = 192.168.1.248"_s));

    disconnect();
    EXPECT_EQ(said("Label4"), u"连接状态：断开"_s);
}
