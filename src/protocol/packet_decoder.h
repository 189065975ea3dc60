// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads the two packets this program sends back into the fields they were built from, so that
// what a device or the server would make of a datagram can be seen without the hardware.
// The parameter packet does not carry its device type: the reader is told which type's view
// to read it with, as a device knows its own kind.

#include "common/fault.h"
#include "protocol/device_types.h"
#include "protocol/param_packet.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

struct PacketField {
    QString key;         // name in the JSON form, e.g. "new_ip"
    QString caption;     // the page's caption without its colon, e.g. "更新后设备IP"
    QString value;       // a dotted quad or a decimal number
    bool number = false; // written as a number in the JSON form
};

enum class PacketKind { Param, Server };

struct DecodedPacket {
    PacketKind kind = PacketKind::Param;
    std::optional<DeviceType> deviceType; // parameter packets only
    QList<PacketField> fields;            // in the order of their bytes

    // The field with this key, or null when the packet has none.
    const PacketField* field(QStringView key) const;
};

// Why a datagram is none of the two packets: a decoding fault's field. Its message is the
// reason for the operator, with the offending value.
enum class DecodeError : int { Empty, Command, Length, Type, Unused };

// The short English name of the cause: empty, command, length, type, unused.
QString decodeErrorName(DecodeError error);

// The datagram's first bytes in hex, "48 C0 A8 ...", as a fault shows them.
QString datagramHex(QByteArrayView datagram);

using DecodeResult = Expected<DecodedPacket>;

// By the first byte: a parameter packet read with the view of the type, or a server address
// packet. A type that could not be had fails only a parameter packet, with the type's fault.
// Never reads outside the datagram.
DecodeResult decodePacket(QByteArrayView datagram, const Expected<DeviceType>& readAs);

// One line: "参数包 普通终端 更新后设备IP=192.168.1.200 ...", "服务器地址包 更新服务器IP=...",
// or the fault's reason and the datagram's length and hex.
QString packetText(const DecodeResult& result, QByteArrayView datagram);

// {"kind":"param","type":1,"type_name":"普通终端","new_ip":"192.168.1.200",...},
// {"kind":"server","new_ip":...}, or {"kind":"invalid","error":...,"reason":...,"hex":...}.
QJsonObject packetJson(const DecodeResult& result, QByteArrayView datagram);
