// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/line_packet.h"

#include "protocol/packet_decoder.h"
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"

using namespace Qt::StringLiterals;

std::optional<QByteArray> shownBytes(QStringView line)
{
    if (line.startsWith(u"IP: ")) {
        const qsizetype data = line.indexOf(u"  Data: ");
        if (data < 0)
            return std::nullopt;
        line = line.mid(data + 8);
    }
    // Every number, the last one too, is followed by a comma.
    if (!line.endsWith(u','))
        return std::nullopt;
    QByteArray bytes;
    int value = 0;
    int digits = 0;
    for (const QChar c : line) {
        if (c == u',') {
            if (digits == 0)
                return std::nullopt;
            bytes.append(static_cast<char>(value));
            value = 0;
            digits = 0;
        } else if (c >= u'0' && c <= u'9' && digits < 3) {
            value = value * 10 + (c.unicode() - u'0');
            ++digits;
            if (value > 255)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<QString> linePacketText(QStringView line, DeviceType deviceType)
{
    const auto bytes = shownBytes(line);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    const auto command = static_cast<unsigned char>(bytes->at(0));
    const qsizetype size = command == ParamCommand          ? ParamPacketSize
                           : command == ServerPacketCommand ? ServerPacketSize
                                                            : 0;
    if (size == 0 || bytes->size() < size)
        return std::nullopt;
    for (qsizetype i = size; i < bytes->size(); ++i) {
        if (bytes->at(i) != 0)
            return std::nullopt; // a longer datagram: no packet of ours
    }
    const QByteArrayView packet = QByteArrayView(*bytes).first(size);
    return packetText(decodePacket(packet, deviceType), packet);
}
