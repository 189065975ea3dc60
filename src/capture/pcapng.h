// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The capture file's blocks, written by hand: a section header, one interface of raw IPv4
// packets with nanosecond times, and one enhanced packet block per datagram. Each datagram
// is wrapped in an IPv4 and a UDP header made from its addresses and ports, so Wireshark
// shows who sent it to whom.

#include <QByteArray>
#include <cstdint>

// One datagram as it went over the wire. Addresses are in host order (192.168.1.10 is
// 0xC0A8010A).
struct CaptureRecord {
    std::int64_t timeNs = 0; // since 1970, UTC
    std::uint32_t fromAddress = 0;
    std::uint16_t fromPort = 0;
    std::uint32_t toAddress = 0;
    std::uint16_t toPort = 0;
    QByteArray payload;
    QByteArray comment; // UTF-8; empty for none
};

// The largest payload a record carries whole: what the endpoint receives at most.
constexpr int CaptureMaxPayload = 8192;

// The section header and interface description that open a file.
QByteArray pcapngFileHeader();

// Appends one enhanced packet block; a payload over CaptureMaxPayload is cut to it (its
// original length stays in the block).
void appendPcapngRecord(QByteArray& out, const CaptureRecord& record);

// Appends an interface statistics block: at timeNs, dropped records were lost before reaching
// the file (isb_ifdrop), so a reader sees what the file lacks. The last block counts.
void appendPcapngStatistics(QByteArray& out, std::int64_t timeNs, std::uint64_t dropped);

// The IPv4 header checksum of header bytes (checksum field included as it stands).
std::uint16_t ipv4Checksum(const unsigned char* header, int length);
