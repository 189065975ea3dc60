// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A reader of capture files written apart from the writer, by the format's rules, so that a
// slip in the writer shows as a file this reader refuses or reads differently.
#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ReadPacket {
    std::uint64_t timestamp = 0; // in the interface's units
    std::uint32_t from = 0, to = 0;
    std::uint16_t fromPort = 0, toPort = 0;
    std::uint32_t originalLength = 0;
    QByteArray payload;
    QByteArray comment;
};

struct ReadFile {
    std::uint16_t linkType = 0;
    int tsResolution = 6; // the default: microseconds
    std::vector<ReadPacket> packets;
    int statistics = 0;                   // interface statistics blocks
    std::optional<std::uint64_t> dropped; // isb_ifdrop of the last of them that has it
};

// The file's packets, or the reason it is not a valid file of raw IPv4 UDP packets.
inline std::optional<ReadFile> readPcapng(const QByteArray& file, std::string& why)
{
    const auto* p = reinterpret_cast<const unsigned char*>(file.constData());
    const std::size_t size = static_cast<std::size_t>(file.size());
    bool little = true;
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? p[at] | p[at + 1] << 8 | p[at + 2] << 16 | std::uint32_t(p[at + 3]) << 24
                      : std::uint32_t(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3];
    };
    auto u16 = [&](std::size_t at) -> std::uint16_t {
        return static_cast<std::uint16_t>(little ? p[at] | p[at + 1] << 8 : p[at] << 8 | p[at + 1]);
    };
    auto net16 = [&](std::size_t at) { return static_cast<std::uint16_t>(p[at] << 8 | p[at + 1]); };
    auto net32 = [&](std::size_t at) {
        return std::uint32_t(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3];
    };

    ReadFile out;
    bool sawSection = false, sawInterface = false;
    for (std::size_t at = 0; at < size;) {
        if (size - at < 12)
            return why = "a block cut short", std::nullopt;
        if (!sawSection) {
            if (p[at] != 0x0A || p[at + 1] != 0x0D || p[at + 2] != 0x0D || p[at + 3] != 0x0A)
                return why = "no section header first", std::nullopt;
            if (p[at + 8] == 0x4D && p[at + 9] == 0x3C)
                little = true;
            else if (p[at + 8] == 0x1A && p[at + 9] == 0x2B)
                little = false;
            else
                return why = "no byte order magic", std::nullopt;
        }
        const std::uint32_t type = u32(at);
        const std::uint32_t total = u32(at + 4);
        if (total < 12 || total % 4 != 0 || total > size - at)
            return why = "bad block length " + std::to_string(total), std::nullopt;
        if (u32(at + total - 4) != total)
            return why = "trailing length differs", std::nullopt;
        const std::size_t body = at + 8, end = at + total - 4;
        // Options from o to end: code, length, value padded to 4; returns false when malformed.
        auto options = [&](std::size_t o, auto&& take) {
            while (o + 4 <= end) {
                const std::uint16_t code = u16(o), length = u16(o + 2);
                if (code == 0)
                    return true;
                if (o + 4 + length > end)
                    return false;
                take(code, o + 4, length);
                o += 4 + ((length + 3u) & ~3u);
            }
            return o == end;
        };
        if (type == 0x0A0D0D0A) {
            if (u16(body + 4) != 1)
                return why = "major version not 1", std::nullopt;
            sawSection = true;
            if (!options(body + 16, [](auto, auto, auto) {}))
                return why = "section options", std::nullopt;
        } else if (type == 1) {
            out.linkType = u16(body);
            sawInterface = true;
            if (!options(body + 8, [&](std::uint16_t code, std::size_t v, std::uint16_t length) {
                    if (code == 9 && length == 1)
                        out.tsResolution = p[v];
                }))
                return why = "interface options", std::nullopt;
        } else if (type == 6) {
            if (!sawInterface || u32(body) != 0)
                return why = "packet of an unknown interface", std::nullopt;
            ReadPacket r;
            r.timestamp = std::uint64_t(u32(body + 4)) << 32 | u32(body + 8);
            const std::uint32_t captured = u32(body + 12);
            r.originalLength = u32(body + 16);
            const std::size_t data = body + 20;
            if (data + captured > end || captured > r.originalLength)
                return why = "packet data past the block", std::nullopt;
            if (captured < 28 || p[data] != 0x45 || p[data + 9] != 17)
                return why = "not IPv4 with UDP", std::nullopt;
            std::uint32_t sum = 0;
            for (int i = 0; i < 20; i += 2)
                sum += net16(data + i);
            while (sum >> 16)
                sum = (sum & 0xFFFF) + (sum >> 16);
            if (sum != 0xFFFF)
                return why = "IPv4 header checksum wrong", std::nullopt;
            if (net16(data + 2) != r.originalLength || net16(data + 24) != r.originalLength - 20)
                return why = "IP or UDP length differs from the packet's", std::nullopt;
            r.from = net32(data + 12);
            r.to = net32(data + 16);
            r.fromPort = net16(data + 20);
            r.toPort = net16(data + 22);
            r.payload = file.mid(static_cast<qsizetype>(data + 28), captured - 28);
            const std::size_t after = data + ((captured + 3u) & ~3u);
            if (!options(after, [&](std::uint16_t code, std::size_t v, std::uint16_t length) {
                    if (code == 1)
                        r.comment = file.mid(static_cast<qsizetype>(v), length);
                }))
                return why = "packet options", std::nullopt;
            out.packets.push_back(std::move(r));
        } else if (type == 5) {
            if (!sawInterface || u32(body) != 0)
                return why = "statistics of an unknown interface", std::nullopt;
            ++out.statistics;
            if (!options(body + 12, [&](std::uint16_t code, std::size_t v, std::uint16_t length) {
                    if (code == 5 && length == 8)
                        out.dropped =
                            std::uint64_t(u32(little ? v + 4 : v)) << 32 | u32(little ? v : v + 4);
                }))
                return why = "statistics options", std::nullopt;
        }
        at += total;
    }
    if (!sawSection || !sawInterface)
        return why = "no section or no interface", std::nullopt;
    return out;
}
