// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's parts without a process: its options, its sockets, its signal pipe and the
// handling of one datagram.
#include "protocol/server_packet.h"
#include "sim/signal_pipe.h"
#include "sim/sim_options.h"
#include "sim/sim_socket.h"
#include "sim/simulator.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QTest>
#include <arpa/inet.h>
#include <csignal>
#include <poll.h>

using namespace Qt::StringLiterals;

namespace
{

struct OptionCase {
    const char* name;
    QStringList args;
    int exitCode; // -1: options come back
    QString text; // the exit's text, or for options the device type, timeout and count
};

QString summary(const SimOptions& o)
{
    return u"%1 %2:%3 %4:%5 %6 %7"_s.arg(o.deviceType.code())
        .arg(o.deviceAddress)
        .arg(o.devicePort)
        .arg(o.serverAddress)
        .arg(o.serverPort)
        .arg(o.timeoutMs ? QString::number(*o.timeoutMs) : u"-"_s)
        .arg(o.count ? QString::number(*o.count) : u"-"_s);
}

class SimOptionsTest : public ::testing::TestWithParam<OptionCase>
{};

TEST_P(SimOptionsTest, ParsesOrSaysWhyNot)
{
    const OptionCase& c = GetParam();
    const auto parsed = parseSimOptions(QStringList{u"terminal-sim"_s} + c.args);
    if (c.exitCode < 0) {
        ASSERT_TRUE(std::holds_alternative<SimOptions>(parsed));
        EXPECT_EQ(summary(std::get<SimOptions>(parsed)), c.text);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<SimExit>(parsed));
    const SimExit& exit = std::get<SimExit>(parsed);
    EXPECT_EQ(exit.code, c.exitCode);
    EXPECT_TRUE(exit.text.startsWith(c.text)) << exit.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimOptionsTest,
    ::testing::Values(
        OptionCase{"defaults", {}, -1, u"1 127.0.0.1:7500 127.0.0.1:7550 - -"_s},
        OptionCase{"expectWaitsTenSeconds",
                   {u"--expect"_s, u"e.jsonl"_s, u"--address"_s, u"127.0.0.2"_s},
                   -1,
                   u"1 127.0.0.2:7500 127.0.0.2:7550 10000 -"_s},
        OptionCase{"ownAddressesAndCount",
                   {u"--device-address"_s, u"127.0.0.3"_s, u"--server-port"_s, u"0"_s, u"--count"_s,
                    u"2"_s, u"--timeout"_s, u"1.5"_s, u"--type"_s, u"12"_s},
                   -1,
                   u"12 127.0.0.3:7500 127.0.0.1:0 1500 2"_s},
        OptionCase{"helpEndsWithoutExiting", {u"--help"_s}, ExitOk, u"Usage: "_s},
        OptionCase{"typeOutsideTheCatalogue",
                   {u"--type"_s, u"13"_s},
                   ExitUsage,
                   u"--type 需要 1 到 12 之间的设备类型代码，收到“13”"_s},
        OptionCase{"portTooLarge",
                   {u"--device-port"_s, u"70000"_s},
                   ExitUsage,
                   u"--device-port 需要 0 到 65535 之间的端口号，收到“70000”"_s},
        OptionCase{"countZero", {u"--count"_s, u"0"_s}, ExitUsage, u"--count 需要正整数"_s},
        OptionCase{"positional", {u"extra"_s}, ExitUsage, u"多余的参数：extra"_s}),
    CaseName());

TEST(SimSocket, TakesEachDatagramWithItsSenderAndArrivalTime)
{
    SimEndpoint e{u"device"_s, u"127.0.0.1"_s, 0, FileDescriptor()};
    ASSERT_FALSE(bindEndpoint(e));
    ASSERT_GT(e.port, 0);
    EXPECT_FALSE(takeDatagram(e.fd.get())) << "nothing waits yet";

    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", e.port, QByteArray("\x48\x01", 2)));
    ASSERT_TRUE(probe.sendTo("127.0.0.1", e.port, QByteArray("\xD7", 1)));
    pollfd fd{e.fd.get(), POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 2000), 1);
    const auto first = takeDatagram(e.fd.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return poll(&fd, 1, 0) == 1; }, 2000));
    const auto second = takeDatagram(e.fd.get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(QByteArray(first->bytes.data(), 2), QByteArray("\x48\x01", 2));
    EXPECT_EQ(second->bytes.size(), 1u);
    EXPECT_EQ(senderName(first->from), u"127.0.0.1:%1"_s.arg(probe.port()));
    EXPECT_GT(first->stampNs, 0);
    EXPECT_LE(first->stampNs, second->stampNs);

    SimEndpoint again{u"server"_s, u"127.0.0.1"_s, e.port, FileDescriptor()};
    const auto refused = bindEndpoint(again);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(
        refused->startsWith(u"无法在 127.0.0.1:%1 上监听（server）：端口已被占用"_s.arg(e.port)))
        << refused->toStdString();
    SimEndpoint bad{u"device"_s, u"1.2.3"_s, 0, FileDescriptor()};
    EXPECT_EQ(bindEndpoint(bad), u"“1.2.3”不是IPv4地址"_s);
}

TEST(SignalPipe, TurnsATermSignalIntoOneReadableByte)
{
    SignalPipe pipe;
    ASSERT_TRUE(pipe.install());
    EXPECT_FALSE(pipe.taken());
    SignalPipe second;
    EXPECT_FALSE(second.install()) << "one handler at a time";
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_TRUE(pipe.taken());
    EXPECT_FALSE(pipe.taken());
}

TEST(Simulator, PrintsADatagramAndStopsAtTheFirstMismatch)
{
    SimOptions options;
    options.expectFile = u"e.jsonl"_s;
    QStringList out, err;
    SignalPipe pipe;
    Simulator sim(
        options,
        {QJsonDocument::fromJson(R"({"kind":"server","new_ip":"192.168.1.249"})").object()}, pipe,
        {[&](const QString& t) { out << t; }, [&](const QString& t) { err << t; },
         [] { return u"T"_s; }});
    const auto b = buildServerPacket(ServerFields::defaults()).value();
    Arrival a;
    a.bytes.assign(b.begin(), b.begin() + ServerPacketSize);
    a.from.sin_family = AF_INET;
    a.from.sin_addr.s_addr = htonl(0x7F000001);
    a.from.sin_port = htons(5);
    const SimEndpoint to{u"server"_s, u"127.0.0.1"_s, 7550, FileDescriptor()};

    EXPECT_EQ(sim.handle(to, a), ExitExpectFailed);
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith(u"T 127.0.0.1:5 -> 127.0.0.1:7550 服务器地址包 "_s))
        << out[0].toStdString();
    ASSERT_EQ(err.size(), 1);
    EXPECT_TRUE(err[0].startsWith(u"第1个期望的数据包不符："_s)) << err[0].toStdString();
    EXPECT_TRUE(err[0].contains(u"new_ip"_s)) << err[0].toStdString();
}

} // namespace
