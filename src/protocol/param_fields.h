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
    Count // not a field: the table has one row for each above
};
constexpr int ParamFieldCount = static_cast<int>(ParamField::Count);

// The texts of the parameter page that the download command reads. A new instance holds the
// texts the page shows when the window opens, the defaults of the field table.
struct ParamFields {
    ParamFields();

    QString currIP;
    QString currPort;
    QString upip;
    QString serverIP;
    QString netIP;
    QString gpip;
    QString address;
    QString order;
    QString data;
    QString serverPort;
    QString groupIP;
    QString ym;
    QString callIp;
    QString id1;
    QString id2;
};

// How the download checks a field before packing: not at all, with messages made from the
// field's caption, or with messages made from its label's current caption.
enum class Validation { None, Named, Captioned };

struct FieldRow {
    ParamField key;
    const char16_t* caption;    // the page's caption before a type is chosen, without colon
    const char16_t* planKey;    // the plan's English column key
    const char16_t* planAlias;  // a caption the field takes for some type, also a plan header
    const char16_t* label;      // objectName of the field's label
    const char16_t* control;    // objectName of the field
    QString ParamFields::*text; // its text in ParamFields; null for the type list
    const char16_t* initial;    // the text the page opens with; null for the type list
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
    const char16_t* jsonKey;     // the decoder's JSON key, the dissector's field name
    const char16_t* englishName; // the dissector's field title
    // Relabelled fields: the caption choosing the type gives the field's label (null keeps
    // it), whether the field is shown, and a text typed into it (null keeps what is typed).
    const char16_t* label = nullptr;
    bool shown = false;
    const char16_t* preset = nullptr;
    // The decoder's caption when it is neither the label without its colon nor, unlabelled,
    // the field's caption.
    const char16_t* decodedCaption = nullptr;
};

std::span<const FieldRow> paramFieldTable();
const FieldRow& paramFieldRow(ParamField key);
// The packet's layout: every use, by offset.
std::span<const FieldUse> paramLayout();
// The use of the field for the type, or null when the type does not pack it.
const FieldUse* fieldUse(ParamField key, DeviceType type);
// The caption the decoder shows a use's value with: the page's caption of the field for the
// type, without its colon.
QString decodedCaption(const FieldUse& use);

inline int fieldIndex(ParamField key)
{
    return static_cast<int>(key);
}
