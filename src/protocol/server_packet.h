// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The server address update: field validation, the texts shown and logged, and the 18-byte
// packet. Plain functions over the page's field texts, so they run without a window.

#include "common/fault.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The page's field texts, exactly as typed.
struct ServerFields {
    QString ipCurr;                 // present server address: destination host
    QString servicePort;            // service management port: destination port
    std::array<QString, 4> ip;      // new server address, first octet first
    std::array<QString, 4> mark;    // new subnet mask
    std::array<QString, 4> gateWay; // new default gateway
    QString netName;                // network connection name: shown and logged, not sent

    // The texts the page starts with.
    static ServerFields defaults();
};

// Checks the fields in the fixed order and fails with the message of the first failing test.
// A range test on a text that is not an integer fails with the conversion error instead, its
// field the octet's index (0 to 11, first group first); the tests' own faults have no field.
Expected<void> validateServerFields(const ServerFields& fields);

// Whether a fault of the server fields is a text that does not convert rather than a failed
// test: the page shows the one in the framework's error box, the other in its message box.
inline bool isConversionFault(const Fault& fault)
{
    return fault.field >= 0;
}

// What the operator is shown and what the log records: octets stripped but as typed.
struct ServerTexts {
    QString ip;
    QString mask;
    QString gateWay;
    QString netName; // unstripped
};
ServerTexts deriveServerTexts(const ServerFields& fields);

constexpr std::uint8_t ServerPacketCommand = 0xD7;
constexpr int ServerPacketSize = 18;
// The value of every filler byte.
constexpr std::uint8_t ServerPacketFiller = 100;
// The packet is built in a zeroed buffer of this size; only ServerPacketSize bytes are sent.
using TServerPacketBuffer = std::array<std::uint8_t, 20>;

// How a part of the server packet is filled.
enum class ServerPacking {
    Command, // the command byte
    Octets,  // four fields, each the low eight bits of its integer, first octet first
    Filler,  // ServerPacketFiller in every byte
};

// One part of the server packet, by offset; together they cover the packet once.
struct ServerPart {
    const char16_t* name; // the decoder's JSON key, the dissector's field name
    int offset;
    int size;
    ServerPacking packing;
    std::array<QString, 4> ServerFields::*octets; // the fields of an Octets part
    const char16_t* checkedAs;                    // the group's name in the validation messages
    const char16_t* englishName;                  // the dissector's field title, if a field
    const char16_t* decodedCaption;               // the decoder's caption, if read
};

// The parts by offset, from the command byte to the last filler byte.
std::span<const ServerPart> serverPacketLayout();

// 0xD7, the twelve octets (low 8 bits of each converted field), then five times 100; or the
// conversion error of the first octet that is not an integer.
Expected<TServerPacketBuffer> buildServerPacket(const ServerFields& fields);

QString firstConfirmText();
QString secondConfirmText(const ServerTexts& texts);
// The summary label's caption; entries separated by CR characters (code 13).
QString summaryCaption(const ServerTexts& texts);
QString completionText(const ServerTexts& texts);
// Shown instead of the completion when the packet could not be sent; the reason on a line of
// its own.
QString sendFailureText(const QString& reason);

// The update log: file, section, key and the value written there.
QString updateLogPath(const QString& appDir);
QString updateLogSection();
QString updateLogKey();
QString updateLogValue(const ServerTexts& texts);
