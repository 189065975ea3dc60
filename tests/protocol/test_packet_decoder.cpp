// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/packet_decoder.h"
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"
#include "support/packets.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <random>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

using Pairs = std::vector<std::pair<QString, QString>>; // key, value text

Pairs pairs(const DecodedPacket& p)
{
    Pairs out;
    for (const PacketField& f : p.fields)
        out.emplace_back(f.key, f.value);
    return out;
}

// Which page field each decoded key comes from, by device type; written out apart from the
// reader so that a slip in either shows.
Pairs expectedPairs(const ParamFields& f, int code)
{
    Pairs p = {{u"new_ip"_s, f.upip},
               {u"server_ip"_s, f.serverIP},
               {u"gateway"_s, f.netIP},
               {u"command_port"_s, f.order},
               {u"data_port"_s, f.data},
               {u"server_port"_s, f.serverPort},
               {u"device_address"_s, f.address},
               {u"broadcast_ip"_s, f.gpip}};
    switch (code) {
    case 4:
        p.insert(p.end(), {{u"subnet_mask"_s, f.groupIP},
                           {u"alarm_host1_ip"_s, f.ym},
                           {u"alarm_host2_ip"_s, f.callIp},
                           {u"alarm_host1_id"_s, f.id1},
                           {u"alarm_host2_id"_s, f.id2}});
        break;
    case 5:
        p.insert(p.end(), {{u"multicast_ip"_s, f.groupIP},
                           {u"subnet_mask"_s, f.ym},
                           {u"paging_server_ip"_s, f.callIp}});
        break;
    case 6:
        p.emplace_back(u"amplifier"_s, f.groupIP);
        break;
    case 8:
    case 10:
    case 11:
        p.emplace_back(u"multicast_ip"_s, f.groupIP);
        break;
    default:
        p.emplace_back(u"hidden_group_ip"_s, f.groupIP);
    }
    return p;
}

class Generator
{
public:
    QString quad() { return u"%1.%2.%3.%4"_s.arg(octet()).arg(octet()).arg(octet()).arg(octet()); }
    // Edges come up often: they are where a byte order slip shows.
    QString number16()
    {
        static const int edges[] = {0, 1, 255, 256, 65280, 65535};
        std::uniform_int_distribution<int> pick(0, 9);
        const int k = pick(rng_);
        if (k < 6)
            return QString::number(edges[k]);
        return QString::number(std::uniform_int_distribution<int>(0, 65535)(rng_));
    }

private:
    int octet() { return std::uniform_int_distribution<int>(0, 255)(rng_); }
    std::mt19937 rng_{20261208};
};

TEST(PacketDecoder, ReadsBackEveryValidParameterPacketForEveryType)
{
    Generator g;
    for (int code = 1; code <= 12; ++code) {
        for (int round = 0; round < 300; ++round) {
            ParamFields f;
            f.upip = g.quad();
            f.serverIP = g.quad();
            f.netIP = g.quad();
            f.gpip = g.quad();
            f.groupIP = code == 6 ? g.number16() : g.quad();
            f.ym = g.quad();
            f.callIp = g.quad();
            f.order = g.number16();
            f.data = g.number16();
            f.serverPort = g.number16();
            f.address = g.number16();
            f.id1 = g.number16();
            f.id2 = g.number16();
            ASSERT_TRUE(
                validateParamFields(f, DeviceType(code), u"子网掩码："_s, u"寻呼服务器IP："_s));

            const QByteArray bytes = paramBytes(buildParamPacket(f, DeviceType(code)).value());
            const DecodeResult result = decodePacket(bytes, DeviceType(code));
            ASSERT_TRUE(result) << "code " << code << ": "
                                << packetText(result, bytes).toStdString();
            const DecodedPacket* decoded = &*result;
            EXPECT_EQ(decoded->kind, PacketKind::Param);
            ASSERT_TRUE(decoded->deviceType);
            EXPECT_EQ(decoded->deviceType->code(), code);
            ASSERT_EQ(pairs(*decoded), expectedPairs(f, code)) << "code " << code;
        }
    }
}

TEST(PacketDecoder, ReadsBackEveryValidServerPacket)
{
    std::mt19937 rng(7550);
    std::uniform_int_distribution<int> octet(0, 255);
    for (int round = 0; round < 2000; ++round) {
        ServerFields f = ServerFields::defaults();
        for (auto* group : {&f.ip, &f.mark, &f.gateWay}) {
            for (QString& o : *group)
                o = QString::number(octet(rng));
        }
        if (!validateServerFields(f))
            continue; // all 0 or all 255: the page never sends it
        const QByteArray bytes = serverBytes(buildServerPacket(f).value());
        const DecodeResult result = decodePacket(bytes, DeviceType(1));
        ASSERT_TRUE(result) << packetText(result, bytes).toStdString();
        const DecodedPacket* decoded = &*result;
        EXPECT_EQ(decoded->kind, PacketKind::Server);
        const ServerTexts texts = deriveServerTexts(f);
        ASSERT_EQ(pairs(*decoded), (Pairs{{u"new_ip"_s, texts.ip},
                                          {u"subnet_mask"_s, texts.mask},
                                          {u"gateway"_s, texts.gateWay}}));
    }
}

// The text and JSON forms of a datagram read with the type of that code.
QString textOf(const QByteArray& datagram, int code)
{
    return packetText(decodePacket(datagram, DeviceType::fromCode(code)), datagram);
}
QJsonObject jsonOf(const QByteArray& datagram, int code)
{
    return packetJson(decodePacket(datagram, DeviceType::fromCode(code)), datagram);
}

TEST(PacketDecoder, TextAndJsonForms)
{
    EXPECT_EQ(textOf(defaultParamPacket(1), 1),
              u"参数包 普通终端 更新后设备IP=192.168.1.200 服务器IP=192.168.1.248 "
              "网关地址=192.168.1.1 命令端口=7500 数据端口=7510 服务器端口=7520 设备地址=200 "
              "数据广播IP=255.255.255.255 组播IP（隐藏）=224.0.1.48"_s);
    EXPECT_EQ(textOf(defaultParamPacket(4), 4).section(u' ', 10),
              u"子网掩码=224.0.1.48 报警主机一IP=255.255.255.0 报警主机二IP=192.168.1.248 "
              "一键报警主机一地址=0 一键报警主机二地址=0"_s);
    EXPECT_EQ(textOf(defaultServerPacket(), 1),
              u"服务器地址包 更新服务器IP=192.168.1.248 子网掩码=255.255.255.0 "
              "默认网关=192.168.1.1"_s);
    EXPECT_EQ(QJsonDocument(jsonOf(defaultParamPacket(6), 6)).toJson(QJsonDocument::Compact),
              QByteArray(R"({"amplifier":3,"broadcast_ip":"255.255.255.255","command_port":7500,)"
                         R"("data_port":7510,"device_address":200,"gateway":"192.168.1.1",)"
                         R"("kind":"param","new_ip":"192.168.1.200",)"
                         R"("server_ip":"192.168.1.248","server_port":7520,"type":6,)"
                         R"("type_name":"分区切换"})"));
    EXPECT_EQ(QJsonDocument(jsonOf(QByteArray("\x01\x02", 2), 1)).toJson(QJsonDocument::Compact),
              QByteArray(R"({"error":"command","hex":"01 02","kind":"invalid","length":2,)"
                         R"("reason":"首字节01既不是参数包的48也不是服务器地址包的D7"})"));
}

// The table the Wireshark dissector's test reads too: both must read each packet alike.
TEST(PacketDecoder, ReadsTheSharedTableOfPackets)
{
    QFile table(QString::fromUtf8(PACKET_TABLE));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    int rows = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        ++rows;
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        const std::string name = row[u"name"_s].toString().toStdString();
        const QJsonObject expect = row[u"expect"_s].toObject();
        const QJsonObject got = jsonOf(QByteArray::fromHex(row[u"hex"_s].toString().toLatin1()),
                                       row[u"type"_s].toInt());
        for (auto it = expect.begin(); it != expect.end(); ++it)
            EXPECT_EQ(got[it.key()].toVariant().toString(), it.value().toVariant().toString())
                << name << " " << it.key().toStdString();
        if (expect[u"kind"_s] == u"invalid"_s)
            continue;
        // Every field the decoder reads is in the table, so the dissector is held to all.
        for (auto it = got.begin(); it != got.end(); ++it)
            EXPECT_TRUE(expect.contains(it.key()) || it.key() == u"type_name"_s)
                << name << " lacks " << it.key().toStdString();
    }
    EXPECT_GE(rows, 10);
}

struct Malformed {
    const char* name;
    QByteArray bytes;
    int type;
    const char* error;
    QString reason;
};

QByteArray withByte(QByteArray bytes, int offset, char value)
{
    bytes[offset] = value;
    return bytes;
}

class MalformedPacket : public ::testing::TestWithParam<Malformed>
{};

TEST_P(MalformedPacket, IsReportedWithItsReasonAndHex)
{
    const Malformed& c = GetParam();
    // An exact-size copy on the heap, so a read past the end is caught by the sanitizer.
    std::vector<char> exact(c.bytes.begin(), c.bytes.end());
    const QByteArrayView datagram(exact.data(), static_cast<qsizetype>(exact.size()));
    const DecodeResult result = decodePacket(datagram, DeviceType::fromCode(c.type));
    ASSERT_FALSE(result) << packetText(result, datagram).toStdString();
    const Fault& fault = result.error();
    EXPECT_EQ(decodeErrorName(static_cast<DecodeError>(fault.field)), QString::fromLatin1(c.error));
    EXPECT_EQ(fault.message, c.reason);
    const QJsonObject json = packetJson(result, datagram);
    EXPECT_EQ(json[u"length"_s].toInt(), c.bytes.size());
    const QByteArray shown = c.bytes.left(64).toHex(' ').toUpper();
    const QString hex = QString::fromLatin1(c.bytes.size() > 64 ? shown + " ..." : shown);
    EXPECT_EQ(json[u"hex"_s].toString(), hex);
    EXPECT_EQ(packetText(result, datagram), u"无法解读的数据包："_s + c.reason + u"；数据（"_s +
                                                QString::number(c.bytes.size()) + u"字节）："_s +
                                                hex);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MalformedPacket,
    ::testing::Values(
        Malformed{"empty", QByteArray(), 1, "empty", u"空数据包"_s},
        Malformed{"test_datagram", QByteArray(1, '\x01'), 1, "command",
                  u"首字节01既不是参数包的48也不是服务器地址包的D7"_s},
        Malformed{"param_short", defaultParamPacket(1).left(40), 1, "length",
                  u"参数包应为41字节，收到40字节"_s},
        Malformed{"param_long", defaultParamPacket(1) + '\0', 1, "length",
                  u"参数包应为41字节，收到42字节"_s},
        Malformed{"param_huge", defaultParamPacket(1) + QByteArray(70000, '\x7f'), 1, "length",
                  u"参数包应为41字节，收到70041字节"_s},
        Malformed{"type_zero", defaultParamPacket(1), 0, "type", u"设备类型代码0不在1至12之间"_s},
        Malformed{"type_13", defaultParamPacket(1), 13, "type", u"设备类型代码13不在1至12之间"_s},
        Malformed{"code5_read_as_1", defaultParamPacket(5), 1, "unused",
                  u"普通终端的参数包不使用偏移29至40，偏移29应为00，收到FF"_s},
        Malformed{"code4_ids_read_as_5", withByte(defaultParamPacket(4), 40, '\x01'), 5, "unused",
                  u"寻呼主机的参数包不使用偏移37至40，偏移40应为00，收到01"_s},
        Malformed{"code6_byte28", withByte(defaultParamPacket(6), 28, '\x80'), 6, "unused",
                  u"分区切换的参数包不使用偏移27至28，偏移28应为00，收到80"_s},
        Malformed{"code12_last_byte", withByte(defaultParamPacket(12), 40, '\xff'), 12, "unused",
                  u"网络功放的参数包不使用偏移29至40，偏移40应为00，收到FF"_s},
        Malformed{"server_short", defaultServerPacket().left(17), 1, "length",
                  u"服务器地址包应为18字节，收到17字节"_s},
        Malformed{"server_padded_like_a_param", defaultServerPacket() + QByteArray(23, '\0'), 1,
                  "length", u"服务器地址包应为18字节，收到41字节"_s},
        Malformed{"server_tail", withByte(defaultServerPacket(), 17, '\0'), 1, "unused",
                  u"服务器地址包偏移13至17应为64，偏移17收到00"_s}));

} // namespace
