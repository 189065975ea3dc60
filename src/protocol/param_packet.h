// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"
#include "protocol/param_fields.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

using Quad = std::array<uint8_t, 4>;

// Turns a dotted quad into four bytes, first number first, each the low eight bits of the
// integer typed. The text is split piece by piece at the first "." and not trimmed; a piece
// that is no integer fails with the conversion error's text quoting that piece.
Expected<Quad> IPstrToByte(const QString& text);

// The first fault of the address fields for the device type, its field the ParamField's index.
// The messages about edtYM and edtCallIp are made from the current captions of their labels.
Expected<void> validateParamFields(const ParamFields& fields, DeviceType type,
                                   const QString& ymCaption, const QString& callCaption);

constexpr std::uint8_t ParamCommand = 0x48;
constexpr int ParamPacketSize = 41;
using ParamPacket = std::array<uint8_t, ParamPacketSize>;

// The parameter download packet, or the conversion error of the first field (in packing order)
// that does not convert, its field the ParamField's index.
Expected<ParamPacket> buildParamPacket(const ParamFields& fields, DeviceType type);

// The field buildParamPacket stops at, or none when every field converts.
std::optional<ParamField> unconvertedField(const ParamFields& fields, DeviceType type);

// The bytes a field takes in a packet built for the type; empty when the type does not pack it.
QByteArray packedBytes(const ParamPacket& packet, ParamField field, DeviceType type);
