// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/pcapng.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr std::uint32_t SectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t InterfaceType = 0x00000001;
constexpr std::uint32_t EnhancedPacketType = 0x00000006;
constexpr std::uint32_t InterfaceStatisticsType = 0x00000005;
constexpr std::uint16_t LinkTypeRaw = 101;
constexpr int Ipv4HeaderSize = 20;
constexpr int UdpHeaderSize = 8;

// Blocks are written in the machine's byte order; the section header's magic tells readers
// which one that is.
void put32(QByteArray& out, std::uint32_t v)
{
    out.append(reinterpret_cast<const char*>(&v), 4);
}

void put16(QByteArray& out, std::uint16_t v)
{
    out.append(reinterpret_cast<const char*>(&v), 2);
}

void pad4(QByteArray& out)
{
    while (out.size() % 4 != 0)
        out.append('\0');
}

void option(QByteArray& out, std::uint16_t code, const QByteArray& value)
{
    put16(out, code);
    put16(out, static_cast<std::uint16_t>(value.size()));
    out.append(value);
    pad4(out);
}

void endOfOptions(QByteArray& out)
{
    put32(out, 0);
}

// Fills in the total length at both ends of the block that begins at start.
void closeBlock(QByteArray& out, qsizetype start)
{
    const auto total = static_cast<std::uint32_t>(out.size() - start + 4);
    put32(out, total);
    std::memcpy(out.data() + start + 4, &total, 4);
}

void big16(unsigned char* p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

void big32(unsigned char* p, std::uint32_t v)
{
    big16(p, static_cast<std::uint16_t>(v >> 16));
    big16(p + 2, static_cast<std::uint16_t>(v));
}

} // namespace

std::uint16_t ipv4Checksum(const unsigned char* header, int length)
{
    std::uint32_t sum = 0;
    for (int i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(header[i] << 8 | header[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

QByteArray pcapngFileHeader()
{
    QByteArray out;
    put32(out, SectionHeaderType);
    put32(out, 0);
    put32(out, 0x1A2B3C4D);
    put16(out, 1); // version 1.0
    put16(out, 0);
    put32(out, 0xFFFFFFFF); // section length not known in advance
    put32(out, 0xFFFFFFFF);
    option(out, 4, QByteArrayLiteral("terminal-config-tool")); // shb_userappl
    endOfOptions(out);
    closeBlock(out, 0);

    const qsizetype idb = out.size();
    put32(out, InterfaceType);
    put32(out, 0);
    put16(out, LinkTypeRaw);
    put16(out, 0);
    put32(out, 0);                            // no snapshot limit
    option(out, 2, QByteArrayLiteral("udp")); // if_name
    option(out, 9, QByteArray(1, '\x09'));    // if_tsresol: nanoseconds
    endOfOptions(out);
    closeBlock(out, idb);
    return out;
}

void appendPcapngRecord(QByteArray& out, const CaptureRecord& r)
{
    const int payload = static_cast<int>(std::min<qsizetype>(r.payload.size(), CaptureMaxPayload));
    const int original = static_cast<int>(std::min<qsizetype>(r.payload.size(), 65507));
    const int packet = Ipv4HeaderSize + UdpHeaderSize + payload;
    const int originalPacket = Ipv4HeaderSize + UdpHeaderSize + original;

    const qsizetype start = out.size();
    put32(out, EnhancedPacketType);
    put32(out, 0);
    put32(out, 0); // interface 0
    const auto ts = static_cast<std::uint64_t>(r.timeNs);
    put32(out, static_cast<std::uint32_t>(ts >> 32));
    put32(out, static_cast<std::uint32_t>(ts));
    put32(out, static_cast<std::uint32_t>(packet));
    put32(out, static_cast<std::uint32_t>(originalPacket));

    unsigned char h[Ipv4HeaderSize + UdpHeaderSize] = {};
    h[0] = 0x45;
    big16(h + 2, static_cast<std::uint16_t>(originalPacket));
    h[8] = 64; // TTL
    h[9] = 17; // UDP
    big32(h + 12, r.fromAddress);
    big32(h + 16, r.toAddress);
    big16(h + 10, ipv4Checksum(h, Ipv4HeaderSize));
    big16(h + 20, r.fromPort);
    big16(h + 22, r.toPort);
    big16(h + 24, static_cast<std::uint16_t>(UdpHeaderSize + original));
    // UDP checksum 0: none computed, which IPv4 allows.
    out.append(reinterpret_cast<const char*>(h), sizeof h);
    out.append(r.payload.constData(), payload);
    pad4(out);
    if (!r.comment.isEmpty()) {
        option(out, 1, r.comment.left(65535)); // opt_comment
        endOfOptions(out);
    }
    closeBlock(out, start);
}

void appendPcapngStatistics(QByteArray& out, std::int64_t timeNs, std::uint64_t dropped)
{
    const qsizetype start = out.size();
    put32(out, InterfaceStatisticsType);
    put32(out, 0);
    put32(out, 0); // interface 0
    const auto ts = static_cast<std::uint64_t>(timeNs);
    put32(out, static_cast<std::uint32_t>(ts >> 32));
    put32(out, static_cast<std::uint32_t>(ts));
    option(out, 5, QByteArray(reinterpret_cast<const char*>(&dropped), 8)); // isb_ifdrop
    endOfOptions(out);
    closeBlock(out, start);
}
