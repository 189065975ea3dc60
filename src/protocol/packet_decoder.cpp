// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/packet_decoder.h"

#include "protocol/device_types.h"
#include "protocol/param_fields.h"
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"

#include <QJsonValue>
#include <algorithm>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace
{

// A fault shows at most this many bytes: enough to recognise a packet, bounded for a flood of
// large datagrams.
constexpr qsizetype HexShown = 64;

QString hexByte(std::uint8_t b)
{
    return u"%1"_s.arg(b, 2, 16, QChar(u'0')).toUpper();
}

tl::unexpected<Fault> fault(DecodeError error, const QString& reason)
{
    return fail(reason, static_cast<int>(error));
}

// Reads the fields of one packet; every read is within the length checked before.
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : bytes_(bytes) {}

    std::uint8_t at(int offset) const { return static_cast<std::uint8_t>(bytes_[offset]); }

    void quad(int offset, const QString& key, const QString& caption)
    {
        const QString value = u"%1.%2.%3.%4"_s.arg(at(offset))
                                  .arg(at(offset + 1))
                                  .arg(at(offset + 2))
                                  .arg(at(offset + 3));
        fields_.append({key, caption, value, false});
    }
    void highFirst(int offset, const QString& key, const QString& caption)
    {
        number(at(offset) * 256 + at(offset + 1), key, caption);
    }
    void lowFirst(int offset, const QString& key, const QString& caption)
    {
        number(at(offset) + at(offset + 1) * 256, key, caption);
    }
    // The first byte from `from` to `to` (inclusive) that is not zero, or -1.
    int firstNonZero(int from, int to) const
    {
        for (int i = from; i <= to; ++i) {
            if (at(i) != 0)
                return i;
        }
        return -1;
    }

    QList<PacketField> take() { return std::move(fields_); }

private:
    void number(int value, const QString& key, const QString& caption)
    {
        fields_.append({key, caption, QString::number(value), true});
    }

    QByteArrayView bytes_;
    QList<PacketField> fields_;
};

// Byte runs, inclusive, that no use of the type fills: they must be zero. Ascending.
QList<std::pair<int, int>> unusedRuns(DeviceType type)
{
    bool used[ParamPacketSize] = {true}; // byte 0 is the command
    for (const FieldUse& use : paramLayout()) {
        if (use.types.contains(type))
            std::fill_n(used + use.offset, packedSize(use.packing), true);
    }
    QList<std::pair<int, int>> runs;
    for (int i = 1; i < ParamPacketSize; ++i) {
        if (used[i])
            continue;
        if (!runs.isEmpty() && runs.last().second == i - 1)
            runs.last().second = i;
        else
            runs.append({i, i});
    }
    return runs;
}

DecodeResult decodeParam(QByteArrayView datagram, const Expected<DeviceType>& type)
{
    if (datagram.size() != ParamPacketSize)
        return fault(DecodeError::Length, u"参数包应为41字节，收到%1字节"_s.arg(datagram.size()));
    if (!type)
        return fault(DecodeError::Type, type.error().message);

    Reader r(datagram);
    // The bytes no field fills, then the padding of a 16-bit number in a four-byte slot.
    QList<std::pair<int, int>> zeros = unusedRuns(*type);
    for (const FieldUse& use : paramLayout()) {
        if (use.types.contains(*type) && use.packing == Packing::LowFirstPadded)
            zeros.append({use.offset + 2, use.offset + 3});
    }
    for (const auto& [from, to] : zeros) {
        const int at = r.firstNonZero(from, to);
        if (at >= 0)
            return fault(DecodeError::Unused,
                         u"%1的参数包不使用偏移%2至%3，偏移%4应为00，收到%5"_s.arg(type->caption())
                             .arg(from)
                             .arg(to)
                             .arg(at)
                             .arg(hexByte(r.at(at))));
    }

    for (const FieldUse& use : paramLayout()) {
        if (!use.types.contains(*type))
            continue;
        const QString key = QString::fromUtf16(use.jsonKey);
        const QString caption = decodedCaption(use);
        switch (use.packing) {
        case Packing::Quad:
            r.quad(use.offset, key, caption);
            break;
        case Packing::HighFirst:
            r.highFirst(use.offset, key, caption);
            break;
        case Packing::LowFirst:
        case Packing::LowFirstPadded:
            r.lowFirst(use.offset, key, caption);
            break;
        }
    }
    return DecodedPacket{PacketKind::Param, *type, r.take()};
}

DecodeResult decodeServer(QByteArrayView datagram)
{
    if (datagram.size() != ServerPacketSize)
        return fault(DecodeError::Length,
                     u"服务器地址包应为18字节，收到%1字节"_s.arg(datagram.size()));
    Reader r(datagram);
    for (const ServerPart& part : serverPacketLayout()) {
        if (part.packing != ServerPacking::Filler)
            continue;
        const int last = part.offset + part.size - 1;
        for (int i = part.offset; i <= last; ++i) {
            if (r.at(i) != ServerPacketFiller)
                return fault(DecodeError::Unused,
                             u"服务器地址包偏移%1至%2应为%3，偏移%4收到%5"_s.arg(part.offset)
                                 .arg(last)
                                 .arg(hexByte(ServerPacketFiller))
                                 .arg(i)
                                 .arg(hexByte(r.at(i))));
        }
    }
    for (const ServerPart& part : serverPacketLayout()) {
        if (part.packing == ServerPacking::Octets)
            r.quad(part.offset, QString::fromUtf16(part.name),
                   QString::fromUtf16(part.decodedCaption));
    }
    return DecodedPacket{PacketKind::Server, std::nullopt, r.take()};
}

} // namespace

const PacketField* DecodedPacket::field(QStringView key) const
{
    for (const PacketField& f : fields) {
        if (f.key == key)
            return &f;
    }
    return nullptr;
}

QString decodeErrorName(DecodeError error)
{
    switch (error) {
    case DecodeError::Empty:
        return u"empty"_s;
    case DecodeError::Command:
        return u"command"_s;
    case DecodeError::Length:
        return u"length"_s;
    case DecodeError::Type:
        return u"type"_s;
    case DecodeError::Unused:
        return u"unused"_s;
    }
    return {};
}

QString datagramHex(QByteArrayView datagram)
{
    QString text = QString::fromLatin1(
        datagram.first(std::min(datagram.size(), HexShown)).toByteArray().toHex(' ').toUpper());
    if (datagram.size() > HexShown)
        text += u" ..."_s;
    return text;
}

DecodeResult decodePacket(QByteArrayView datagram, const Expected<DeviceType>& readAs)
{
    if (datagram.isEmpty())
        return fault(DecodeError::Empty, u"空数据包"_s);
    const auto command = static_cast<std::uint8_t>(datagram[0]);
    if (command == ParamCommand)
        return decodeParam(datagram, readAs);
    if (command == ServerPacketCommand)
        return decodeServer(datagram);
    return fault(DecodeError::Command,
                 u"首字节%1既不是参数包的48也不是服务器地址包的D7"_s.arg(hexByte(command)));
}

QString packetText(const DecodeResult& result, QByteArrayView datagram)
{
    if (!result)
        return u"无法解读的数据包：%1；数据（%2字节）：%3"_s.arg(result.error().message)
            .arg(datagram.size())
            .arg(datagramHex(datagram));
    const DecodedPacket& p = *result;
    QString text = p.deviceType ? u"参数包 "_s + p.deviceType->caption() : u"服务器地址包"_s;
    for (const PacketField& f : p.fields)
        text += u' ' + f.caption + u'=' + f.value;
    return text;
}

QJsonObject packetJson(const DecodeResult& result, QByteArrayView datagram)
{
    QJsonObject json;
    if (!result) {
        json.insert(u"kind"_s, u"invalid"_s);
        json.insert(u"error"_s, decodeErrorName(static_cast<DecodeError>(result.error().field)));
        json.insert(u"reason"_s, result.error().message);
        json.insert(u"length"_s, static_cast<int>(datagram.size()));
        json.insert(u"hex"_s, datagramHex(datagram));
        return json;
    }
    const DecodedPacket& p = *result;
    if (p.deviceType) {
        json.insert(u"kind"_s, u"param"_s);
        json.insert(u"type"_s, p.deviceType->code());
        json.insert(u"type_name"_s, p.deviceType->caption());
    } else {
        json.insert(u"kind"_s, u"server"_s);
    }
    for (const PacketField& f : p.fields) {
        if (f.number)
            json.insert(f.key, f.value.toInt());
        else
            json.insert(f.key, f.value);
    }
    return json;
}
