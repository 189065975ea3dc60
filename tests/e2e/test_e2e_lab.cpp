// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside tests/lab.sh's namespace: 192.168.1.200 and .248 are local there, and broadcast
// and multicast loop back. The window is used as an installer would, with its default fields.
#include "app/main_window.h"
#include "common/sysutils.h"
#include "net/udp_server.h"
#include "simulator.h"
#include "support/fake_dialogs.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

class LabWindow : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        // Connect with every field as designed: local port 7520.
        edit("edtMM")->setText(u"40617293"_s);
        QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
        ASSERT_TRUE(fake.boxes.empty());
        ASSERT_EQ(window->UDPServer().AcquireBinding().Port, 7520);
    }
};

TEST_F(LabWindow, ParameterDownloadWithDefaultsReachesTheDevice)
{
    UdpProbe device("192.168.1.200", 7500);
    showPage(0);
    auto* type = child<QComboBox>("cmbType");
    type->setFocus();
    QTest::keyClick(type, Qt::Key_Down); // the operator picks the first type, "普通终端"
    ASSERT_EQ(type->currentIndex(), 0);
    QTest::mouseClick(child<QWidget>("SpeedButton1"), Qt::LeftButton);

    const auto got = device.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data.toHex(' ').toUpper(),
              QByteArray("48 C0 A8 01 C8 C0 A8 01 F8 C0 A8 01 01 1D 4C 1D 56 1D 60 C8 00 FF FF FF "
                         "FF E0 00 01 30 "
                         "00 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(got->fromPort, 7520);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, QString::fromUtf8("设备设置完成！"));
}

TEST_F(LabWindow, ServerAddressUpdateWithDefaultsSendsLogsAndDisablesTheButton)
{
    QTemporaryDir appDir;
    window->globals.AppDir = appDir.path() + u'/';
    UdpProbe server("192.168.1.248", 7550);
    showPage(1);
    auto* button = child<QWidget>("sbUpdateIP");
    QTest::mouseClick(button, Qt::LeftButton);

    const auto got = server.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data.toHex(' ').toUpper(),
              QByteArray("D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64"));
    EXPECT_FALSE(button->isEnabled());
    ASSERT_EQ(fake.boxes.size(), 3u) << "two confirmations and the completion box";
    EXPECT_EQ(fake.boxes[0].flags, 289);
    EXPECT_EQ(fake.boxes[1].flags, 289);
    EXPECT_EQ(fake.boxes[2].flags, 64);
    EXPECT_EQ(child<QLabel>("LbMess")->isVisible(), true);

    QFile log(appDir.filePath(u"IPSet.Ini"_s));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = fromCp936(log.readAll());
    EXPECT_TRUE(text.contains(u"[UpdateLog]"_s)) << qPrintable(text);
    EXPECT_TRUE(
        text.contains(QString::fromUtf8("Log=  服务器IP=192.168.1.248  子网掩码=255.255.255.0  "
                                        "默认网关=192.168.1.1 网络连接=本地连接")))
        << qPrintable(text);
}

// terminal-sim stands in for the device and the server and reads back what the window sent
// with its default fields; it exits 0 only when both packets arrived with these fields.
TEST_F(LabWindow, TheSimulatorReadsTheDefaultFieldsBackFromBothPackets)
{
    QTemporaryFile expect;
    ASSERT_TRUE(expect.open());
    expect.write(R"({"kind":"param","type":1,"type_name":"普通终端","new_ip":"192.168.1.200",)"
                 R"("server_ip":"192.168.1.248","gateway":"192.168.1.1","command_port":7500,)"
                 R"("data_port":7510,"server_port":7520,"device_address":200,)"
                 R"("broadcast_ip":"255.255.255.255","hidden_group_ip":"224.0.1.48",)"
                 R"("from":"192.168.1.200:7520","to":"192.168.1.200:7500"})"
                 "\n"
                 R"({"kind":"server","new_ip":"192.168.1.248","subnet_mask":"255.255.255.0",)"
                 R"("gateway":"192.168.1.1","from":"192.168.1.248:7520","to":"192.168.1.248:7550"})"
                 "\n");
    expect.flush();
    QProcess sim;
    QString said;
    ASSERT_TRUE(startSimulator(sim,
                               {u"--device-address"_s, u"192.168.1.200"_s, u"--server-address"_s,
                                u"192.168.1.248"_s, u"--expect"_s, expect.fileName(),
                                u"--timeout"_s, u"20"_s},
                               said));

    showPage(0);
    auto* type = child<QComboBox>("cmbType");
    type->setFocus();
    QTest::keyClick(type, Qt::Key_Down); // "普通终端"
    QTest::mouseClick(child<QWidget>("SpeedButton1"), Qt::LeftButton);
    QTemporaryDir appDir; // the update log goes here
    window->globals.AppDir = appDir.path() + u'/';
    showPage(1);
    QTest::mouseClick(child<QWidget>("sbUpdateIP"), Qt::LeftButton);
    ASSERT_EQ(fake.boxes.size(), 4u);
    EXPECT_EQ(fake.boxes[0].text, u"设备设置完成！"_s);

    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning; }, 20000));
    said += QString::fromUtf8(sim.readAllStandardError());
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0) << said.toStdString()
                                 << QString::fromUtf8(sim.readAllStandardOutput()).toStdString();
    EXPECT_TRUE(said.contains(u"全部 2 个期望的数据包都已收到"_s)) << said.toStdString();
}

TEST_F(LabWindow, TestDatagramWithDefaultsIsBroadcastAndAnAnswerIsListed)
{
    UdpProbe listener("0.0.0.0", 7500);
    listener.enableBroadcast();
    showPage(2);
    auto* chOK = child<QCheckBox>("ChOK");
    chOK->setChecked(true);
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_TRUE(fake.boxes.empty());

    const auto got = listener.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, QByteArray(1, '\x01'));
    EXPECT_EQ(window->globals.ShowByteCount, 53);

    // The device answers to the window's port; the monitor lists the answer.
    child<QCheckBox>("ch1")->setChecked(false);
    UdpProbe device("192.168.1.200", 7500 + 1);
    ASSERT_TRUE(device.sendTo("192.168.1.10", 7520, QByteArray("\x48\x01", 2)));
    auto* memo = child<QPlainTextEdit>("Memo1");
    const QString expected =
        u"IP: 192.168.1.200 SPort:7501 TPort:7520  Data: 72,1,"_s + u"0,"_s.repeated(51);
    EXPECT_TRUE(QTest::qWaitFor([&] { return memo->toPlainText().trimmed() == expected; }, 3000))
        << memo->toPlainText().toStdString();
    EXPECT_EQ(child<QLabel>("LbNum")->text(), u"1"_s);
}

TEST_F(LabWindow, TestDatagramToAMulticastGroupReachesAMember)
{
    UdpProbe member("0.0.0.0", 7500);
    ASSERT_TRUE(member.joinGroup("224.0.1.48"));
    showPage(2);
    child<QLineEdit>("edtIP")->setText(u"224.0.1.48"_s);
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_TRUE(fake.boxes.empty());
    const auto got = member.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, QByteArray(1, '\x01'));
}

} // namespace
