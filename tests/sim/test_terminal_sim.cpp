// SPDX-License-Identifier: GPL-3.0-or-later
// terminal-sim as a script runs it: a real process on loopback ports, real datagrams, its
// exit code and its output.
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"
#include "support/packets.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <csignal>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

class Sim
{
public:
    Sim() : devicePort(freeUdpPort()), serverPort(freeUdpPort()) {}
    ~Sim()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Starts it on the two loopback ports; true once it says it listens.
    bool start(QStringList extra)
    {
        process.start(QString::fromUtf8(TERMINAL_SIM),
                      QStringList{u"--device-port"_s, QString::number(devicePort),
                                  u"--server-port"_s, QString::number(serverPort)} +
                          extra);
        return QTest::qWaitFor(
                   [&] {
                       err += QString::fromUtf8(process.readAllStandardError());
                       return err.contains(u"监听"_s) || process.state() == QProcess::NotRunning;
                   },
                   10000) &&
               process.state() == QProcess::Running;
    }
    // Its exit code once it ended by itself, or -1.
    int finish(int ms = 10000)
    {
        if (!process.waitForFinished(ms) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    }
    QStringList lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }

    int devicePort;
    int serverPort;
    QProcess process;
    QString out;
    QString err;
};

TEST(TerminalSim, PrintsEachDatagramDecodedWithTimeAndSender)
{
    Sim sim;
    ASSERT_TRUE(sim.start({u"--count"_s, u"3"_s})) << sim.err.toStdString();
    UdpProbe sender;
    ASSERT_TRUE(sender.sendTo("127.0.0.1", sim.devicePort, defaultParamPacket(1)));
    ASSERT_TRUE(sender.sendTo("127.0.0.1", sim.serverPort, defaultServerPacket()));
    ASSERT_TRUE(sender.sendTo("127.0.0.1", sim.devicePort, QByteArray(1, '\x01')));
    ASSERT_EQ(sim.finish(), 0) << sim.err.toStdString();

    const QString head =
        uR"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} 127\.0\.0\.1:%1 -> 127\.0\.0\.1:)"_s.arg(
            sender.port());
    const QStringList lines = sim.lines();
    ASSERT_EQ(lines.size(), 3) << sim.out.toStdString();
    const QString rest[] = {
        QString::number(sim.devicePort) +
            u" 参数包 普通终端 更新后设备IP=192.168.1.200 服务器IP=192.168.1.248 "
            "网关地址=192.168.1.1 命令端口=7500 数据端口=7510 服务器端口=7520 设备地址=200 "
            "数据广播IP=255.255.255.255 组播IP（隐藏）=224.0.1.48"_s,
        QString::number(sim.serverPort) +
            u" 服务器地址包 更新服务器IP=192.168.1.248 子网掩码=255.255.255.0 默认网关=192.168.1.1"_s,
        QString::number(sim.devicePort) +
            u" 无法解读的数据包：首字节01既不是参数包的48也不是服务器地址包的D7；数据（1字节）：01"_s,
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(QRegularExpression(head + QRegularExpression::escape(rest[i]) + u'$')
                        .match(lines[i])
                        .hasMatch())
            << lines[i].toStdString();
    }
    EXPECT_TRUE(sim.err.contains(u"已收到 3 个数据包，结束"_s)) << sim.err.toStdString();
}

TEST(TerminalSim, JsonLinesCarryTheFieldsAndWhereTheyCameFrom)
{
    Sim sim;
    ASSERT_TRUE(sim.start({u"--json"_s, u"--count"_s, u"1"_s, u"--type"_s, u"6"_s}));
    UdpProbe sender;
    ASSERT_TRUE(sender.sendTo("127.0.0.1", sim.devicePort, defaultParamPacket(6)));
    ASSERT_EQ(sim.finish(), 0) << sim.err.toStdString();
    ASSERT_EQ(sim.lines().size(), 1);
    const QString line = sim.lines()[0];
    for (const QString& part :
         {u"\"amplifier\":3,"_s, u"\"kind\":\"param\""_s, u"\"role\":\"device\""_s,
          u"\"from\":\"127.0.0.1:%1\""_s.arg(sender.port()),
          u"\"to\":\"127.0.0.1:%1\""_s.arg(sim.devicePort), u"\"type\":6,"_s,
          u"\"type_name\":\"分区切换\""_s})
        EXPECT_TRUE(line.contains(part)) << line.toStdString() << " lacks " << part.toStdString();
}

struct ExpectCase {
    const char* name;
    QByteArray expect;                             // the file's lines
    std::vector<std::pair<bool, QByteArray>> sent; // to the server port?, datagram
    int exitCode;
    QString said; // on stderr
};

class SimExpect : public ::testing::TestWithParam<ExpectCase>
{};

TEST_P(SimExpect, ExitsZeroOnlyWhenTheExpectedPacketsArrivedInOrder)
{
    const ExpectCase& c = GetParam();
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(c.expect);
    file.flush();
    Sim sim;
    ASSERT_TRUE(sim.start({u"--expect"_s, file.fileName(), u"--timeout"_s, u"1.5"_s}))
        << sim.err.toStdString();
    UdpProbe sender;
    for (const auto& [toServer, datagram] : c.sent)
        ASSERT_TRUE(
            sender.sendTo("127.0.0.1", toServer ? sim.serverPort : sim.devicePort, datagram));
    EXPECT_EQ(sim.finish(), c.exitCode) << sim.err.toStdString();
    EXPECT_TRUE(sim.err.contains(c.said)) << sim.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimExpect,
    ::testing::Values(
        ExpectCase{"all_match",
                   "# device first, then the server\n"
                   R"({"kind":"param","type":1,"new_ip":"192.168.1.200","command_port":7500})"
                   "\n\n"
                   R"({"kind":"server","subnet_mask":"255.255.255.0","role":"server"})"
                   "\n",
                   {{false, defaultParamPacket(1)}, {true, defaultServerPacket()}},
                   0,
                   u"全部 2 个期望的数据包都已收到"_s},
        ExpectCase{"type_from_the_expectation",
                   R"({"kind":"param","type":"4","subnet_mask":"224.0.1.48","alarm_host2_id":0})",
                   {{false, defaultParamPacket(4)}},
                   0,
                   u"全部 1 个期望的数据包都已收到"_s},
        ExpectCase{"field_differs",
                   R"({"kind":"param","new_ip":"192.168.1.201"})",
                   {{false, defaultParamPacket(1)}},
                   1,
                   u"第1个期望的数据包不符：字段 new_ip：期望 192.168.1.201，收到 192.168.1.200"_s},
        ExpectCase{"out_of_order",
                   R"({"kind":"param"})"
                   "\n"
                   R"({"kind":"server"})",
                   {{true, defaultServerPacket()}, {false, defaultParamPacket(1)}},
                   1,
                   u"第1个期望的数据包不符：字段 kind：期望 param，收到 server"_s},
        ExpectCase{"undecodable",
                   R"({"kind":"server"})",
                   {{true, defaultServerPacket().left(17)}},
                   1,
                   u"字段 kind：期望 server，收到 invalid（服务器地址包应为18字节，收到17字节）"_s},
        ExpectCase{"field_the_type_lacks",
                   R"({"kind":"param","multicast_ip":"224.0.1.48"})",
                   {{false, defaultParamPacket(1)}},
                   1,
                   u"字段 multicast_ip：期望 224.0.1.48，收到的数据包没有这个字段"_s},
        ExpectCase{"too_few_in_time",
                   R"({"kind":"param"})"
                   "\n"
                   R"({"kind":"server"})",
                   {{false, defaultParamPacket(1)}},
                   1,
                   u"已到 --timeout 的时间：期望 2 个数据包，只有 1 个符合"_s}));

struct RefusedCase {
    const char* name;
    QStringList arguments; // %d: the device port held by another socket
    int exitCode;
    QString said;
};

class SimRefuses : public ::testing::TestWithParam<RefusedCase>
{};

TEST_P(SimRefuses, WithAClearMessageAndItsExitCode)
{
    const RefusedCase& c = GetParam();
    UdpProbe holder; // a port in use
    QStringList arguments;
    for (const QString& a : c.arguments)
        arguments << QString(a).replace(u"%d"_s, QString::number(holder.port()));
    QProcess process;
    process.start(QString::fromUtf8(TERMINAL_SIM), arguments);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), c.exitCode);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QString(c.said).replace(u"%1"_s, QString::number(holder.port()))))
        << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimRefuses,
    ::testing::Values(
        RefusedCase{"port_in_use",
                    {u"--device-port"_s, u"%d"_s, u"--server-port"_s, u"0"_s},
                    3,
                    u"无法在 127.0.0.1:%1 上监听（device）：端口已被占用"_s},
        // A documentation address that is on no interface: bind refuses it, nothing is sent.
        RefusedCase{"address_not_here",
                    {u"--server-address"_s, u"192.0.2.1"_s, u"--device-port"_s, u"0"_s},
                    3,
                    u"无法在 192.0.2.1:7550 上监听（server）：本机没有这个地址"_s},
        RefusedCase{
            "address_not_ipv4", {u"--address"_s, u"300.1.1.1"_s}, 3, u"“300.1.1.1”不是IPv4地址"_s},
        // Run from the machine's own namespace, as this test is: no address may move.
        RefusedCase{"apply_outside_its_namespace",
                    {u"--apply"_s, u"--device-port"_s, u"0"_s, u"--server-port"_s, u"0"_s},
                    2,
                    u"--apply 只在为模拟设备建立的网络命名空间中运行"_s},
        RefusedCase{"type_out_of_range", {u"--type"_s, u"13"_s}, 2, u"--type 需要 1 到 12"_s},
        RefusedCase{"expect_file_missing",
                    {u"--expect"_s, u"/nonexistent/expect.jsonl"_s},
                    2,
                    u"无法读取期望文件 /nonexistent/expect.jsonl"_s}));

TEST(TerminalSim, EndsCleanlyOnSigtermAndSigint)
{
    Sim plain;
    ASSERT_TRUE(plain.start({}));
    ::kill(static_cast<pid_t>(plain.process.processId()), SIGTERM);
    EXPECT_EQ(plain.finish(), 0);
    EXPECT_TRUE(plain.err.contains(u"收到结束信号，结束"_s)) << plain.err.toStdString();

    // Interrupted before the expected packet came: the check failed.
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(R"({"kind":"param"})");
    file.flush();
    Sim expecting;
    ASSERT_TRUE(expecting.start({u"--expect"_s, file.fileName()}));
    ::kill(static_cast<pid_t>(expecting.process.processId()), SIGINT);
    EXPECT_EQ(expecting.finish(), 1);
    EXPECT_TRUE(expecting.err.contains(u"收到结束信号：期望 1 个数据包，只有 0 个符合"_s))
        << expecting.err.toStdString();
}

TEST(TerminalSim, ABadExpectationNamesItsLine)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("{\"kind\":\"param\"}\n\n[1,2]\n");
    file.flush();
    QProcess process;
    process.start(QString::fromUtf8(TERMINAL_SIM), {u"--expect"_s, file.fileName()});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(
        QString::fromUtf8(process.readAllStandardError()).contains(u"第3行不是一个JSON对象"_s));
}

} // namespace
