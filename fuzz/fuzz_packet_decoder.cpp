// SPDX-License-Identifier: GPL-3.0-or-later
// The packet reader on arbitrary datagrams and device type codes. It reads only inside the
// datagram (the input is copied to a buffer of exactly its size, so the sanitizer sees any
// read beyond it); whatever it reads as a packet, the builder makes the very same bytes again
// from the fields it read; whatever it refuses is truly none of the two packets, with its hex.
//
// Input: first byte the device type code as a signed value, the rest the datagram.
#include "protocol/packet_decoder.h"
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"
#include "fuzz_fields.h"

#include <cstdint>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace
{

QString value(const DecodedPacket& p, const char16_t* key)
{
    const PacketField* f = p.field(QStringView(key));
    return f ? f->value : QString();
}

QByteArray rebuildParam(const DecodedPacket& p)
{
    ParamFields f;
    f.upip = value(p, u"new_ip");
    f.serverIP = value(p, u"server_ip");
    f.netIP = value(p, u"gateway");
    f.order = value(p, u"command_port");
    f.data = value(p, u"data_port");
    f.serverPort = value(p, u"server_port");
    f.address = value(p, u"device_address");
    f.gpip = value(p, u"broadcast_ip");
    switch (p.deviceType->code()) {
    case 4:
        f.groupIP = value(p, u"subnet_mask");
        f.ym = value(p, u"alarm_host1_ip");
        f.callIp = value(p, u"alarm_host2_ip");
        f.id1 = value(p, u"alarm_host1_id");
        f.id2 = value(p, u"alarm_host2_id");
        break;
    case 5:
        f.groupIP = value(p, u"multicast_ip");
        f.ym = value(p, u"subnet_mask");
        f.callIp = value(p, u"paging_server_ip");
        break;
    case 6:
        f.groupIP = value(p, u"amplifier");
        break;
    case 8:
    case 10:
    case 11:
        f.groupIP = value(p, u"multicast_ip");
        break;
    default:
        f.groupIP = value(p, u"hidden_group_ip");
    }
    const ParamPacket b = buildParamPacket(f, *p.deviceType).value();
    return QByteArray(reinterpret_cast<const char*>(b.data()), ParamPacketSize);
}

QByteArray rebuildServer(const DecodedPacket& p)
{
    ServerFields f = ServerFields::defaults();
    const QStringList ip = value(p, u"new_ip").split(u'.');
    const QStringList mask = value(p, u"subnet_mask").split(u'.');
    const QStringList gateway = value(p, u"gateway").split(u'.');
    fuzz::check(ip.size() == 4 && mask.size() == 4 && gateway.size() == 4);
    for (int i = 0; i < 4; ++i) {
        f.ip[static_cast<size_t>(i)] = ip[i];
        f.mark[static_cast<size_t>(i)] = mask[i];
        f.gateWay[static_cast<size_t>(i)] = gateway[i];
    }
    const auto b = buildServerPacket(f).value();
    return QByteArray(reinterpret_cast<const char*>(b.data()), ServerPacketSize);
}

// Bytes the builder never writes for the type: 37 to 40 for code 5, none for code 4, 27 and
// 28 besides for code 6, and 29 to 40 for the rest.
bool someNonZeroWhereUnused(const QByteArray& p, int type)
{
    const int from = type == 4 ? 41 : type == 5 ? 37 : 29;
    for (int i = from; i < 41; ++i) {
        if (p[i] != 0)
            return true;
    }
    return type == 6 && (p[27] != 0 || p[28] != 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int type = static_cast<signed char>(data[0]);
    const size_t length = size - 1;
    std::unique_ptr<char[]> exact(new char[length]);
    if (length)
        std::memcpy(exact.get(), data + 1, length);
    const QByteArrayView datagram(exact.get(), static_cast<qsizetype>(length));
    const QByteArray copy = datagram.toByteArray();

    const DecodeResult result = decodePacket(datagram, DeviceType::fromCode(type));
    const QString text = packetText(result, datagram);
    const QJsonObject json = packetJson(result, datagram);
    fuzz::check(!text.isEmpty() && json.contains(u"kind"_s));

    if (result) {
        const DecodedPacket& p = *result;
        if (p.kind == PacketKind::Param) {
            fuzz::check(type >= 1 && type <= 12 && p.deviceType && p.deviceType->code() == type);
            fuzz::check(rebuildParam(p) == copy);
        } else {
            fuzz::check(rebuildServer(p) == copy);
        }
        return 0;
    }

    fuzz::check(json.value(u"length"_s).toInt() == static_cast<int>(length));
    const QByteArray shown = copy.left(64).toHex(' ').toUpper();
    fuzz::check(json.value(u"hex"_s).toString() ==
                QString::fromLatin1(length > 64 ? shown + " ..." : shown));
    const auto first = length ? static_cast<std::uint8_t>(copy[0]) : 0;
    const QString error = decodeErrorName(static_cast<DecodeError>(result.error().field));
    if (error == u"empty")
        fuzz::check(length == 0);
    else if (error == u"command")
        fuzz::check(first != 0x48 && first != 0xD7);
    else if (error == u"length")
        fuzz::check(first == 0x48 ? length != 41 : first == 0xD7 && length != 18);
    else if (error == u"type")
        fuzz::check(first == 0x48 && length == 41 && (type < 1 || type > 12));
    else if (error == u"unused" && first == 0xD7)
        fuzz::check(length == 18 && copy.mid(13) != QByteArray(5, 100));
    else if (error == u"unused")
        fuzz::check(first == 0x48 && length == 41 && type >= 1 && type <= 12 &&
                    someNonZeroWhereUnused(copy, type));
    else
        fuzz::check(false);
    return 0;
}
