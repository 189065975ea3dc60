// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The fields of the parameter page in one keyed table: what the page, the plan, the packet
// builder, the decoder and the simulator know about each field is read from here. A field's
// row says how the operator and a plan name it and which controls show it; its uses say
// where and how it goes on the wire, and for which device types.

#include "protocol/device_types.h"

#include <QString>
#include <span>

// Every field of the page, in the plan's column order, which is also the order in which the
// download validates them.
enum class ParamField : int {
    Type,
    CurrIP,
    CurrPort,
    Upip,
    ServerIP,
    NetIP,
    GPIP,
    Address,
    Order,
    Data,
    ServerPort,
    GroupIP,
    YM,
    CallIp,
    ID1,
    ID2,
};
constexpr int ParamFieldCount = 16;

// The texts of the parameter page that the download command reads, initially as the page
// shows them when the window opens.
struct ParamFields {
    QString currIP = QStringLiteral("192.168.1.200");
    QString currPort = QStringLiteral("7500");
    QString upip = QStringLiteral("192.168.1.200");
    QString serverIP = QStringLiteral("192.168.1.248");
    QString netIP = QStringLiteral("192.168.1.1");
    QString gpip = QStringLiteral("255.255.255.255");
    QString address = QStringLiteral("200");
    QString order = QStringLiteral("7500");
    QString data = QStringLiteral("7510");
    QString serverPort = QStringLiteral("7520");
    QString groupIP = QStringLiteral("224.0.1.48");
    QString ym = QStringLiteral("255.255.255.0");
    QString callIp = QStringLiteral("192.168.1.248");
    QString id1 = QStringLiteral("0");
    QString id2 = QStringLiteral("0");
};

// How the download checks a field before packing: not at all, with messages made from the
// field's caption, or with messages made from its label's current caption.
enum class Validation { None, Named, Captioned };

struct FieldSpec {
    ParamField key;
    const char16_t* caption;    // the page's caption before a type is chosen, without colon
    const char16_t* planKey;    // the plan's English column key
    const char16_t* planAlias;  // a caption the field takes for some type, also a plan header
    const char16_t* label;      // objectName of the field's label
    const char16_t* control;    // objectName of the field
    QString ParamFields::*text; // its text in ParamFields; null for the type list
    Validation validation;
    TypeSet validatedFor;
};

// How a field's text goes on the wire.
enum class Packing {
    Quad,           // dotted quad, trimmed, four bytes first number first
    HighFirst,      // 16 bits, high byte first
    LowFirst,       // 16 bits, low byte first
    LowFirstPadded, // 16 bits low byte first, then two zero bytes
};

// Bytes a packing takes in the packet.
int packedSize(Packing packing);

// One way a field goes on the wire, for the device types named.
struct FieldUse {
    ParamField key;
    TypeSet types;
    int offset;
    Packing packing;
    const char16_t* jsonKey;        // the decoder's JSON key
    const char16_t* decodedCaption; // the decoder's caption
    // Relabelled fields: the caption choosing the type gives the field's label (null keeps
    // it), whether the field is shown, and a text typed into it (null keeps what is typed).
    const char16_t* label = nullptr;
    bool shown = false;
    const char16_t* preset = nullptr;
};

std::span<const FieldSpec> paramFieldTable();
const FieldSpec& paramFieldSpec(ParamField key);
// The packet's layout: every use, by offset.
std::span<const FieldUse> paramLayout();
// The use of the field for the type, or null when the type does not pack it.
const FieldUse* fieldUse(ParamField key, DeviceType type);

inline int fieldIndex(ParamField key)
{
    return static_cast<int>(key);
}
