// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/param_packet.h"

#include "common/sysutils.h"

#include <algorithm>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

uint8_t low8(int value)
{
    return static_cast<uint8_t>(static_cast<unsigned>(value) & 0xFFu);
}

// Division truncates toward zero, so -1 to -255 give a high byte of 0.
uint8_t high8(int value)
{
    return low8(value / 256);
}

void putHighFirst(uint8_t* at, int value)
{
    at[0] = high8(value);
    at[1] = low8(value);
}

void putLowFirst(uint8_t* at, int value)
{
    at[0] = low8(value);
    at[1] = high8(value);
}

// Cuts the text before the first "." (all of it stays when there is none) and converts it.
Expected<uint8_t> takePiece(QString& rest)
{
    const qsizetype dot = rest.indexOf(u'.');
    const QString piece = dot < 0 ? QString() : rest.left(dot);
    rest.remove(0, dot + 1);
    return convertInt(piece).map(low8);
}

// The validation's message for an empty field and for one of the wrong length. Named fields
// end both with "！"; edtYM and edtCallIp are named by their label's current caption, with
// nothing added.
std::pair<QString, QString> faultMessages(const FieldRow& entry, const QString& ymCaption,
                                          const QString& callCaption)
{
    if (entry.validation == Validation::Named) {
        const QString name = QString::fromUtf16(entry.caption);
        return {name + u"不能为空！"_s, u"不合规则的非法"_s + name + u"！"_s};
    }
    const QString& caption = entry.key == ParamField::YM ? ymCaption : callCaption;
    return {caption + u"不能为空！"_s, u"不合规则的非法"_s + caption};
}

// Packs one use into the work area; fails when its text does not convert.
Expected<void> pack(uint8_t* work, const FieldUse& use, const QString& text)
{
    uint8_t* at = work + use.offset;
    if (use.packing == Packing::Quad) {
        const Expected<Quad> quad = IPstrToByte(trim(text));
        if (!quad)
            return tl::unexpected(quad.error());
        std::copy(quad->begin(), quad->end(), at);
        return {};
    }
    const Expected<int> value = convertInt(text);
    if (!value)
        return tl::unexpected(value.error());
    switch (use.packing) {
    case Packing::HighFirst:
        putHighFirst(at, *value);
        break;
    case Packing::LowFirst:
        putLowFirst(at, *value);
        break;
    case Packing::LowFirstPadded:
        putLowFirst(at, *value);
        at[2] = 0;
        at[3] = 0;
        break;
    case Packing::Quad:
        break;
    }
    return {};
}

const QString& textOf(const ParamFields& fields, ParamField key)
{
    return fields.*(paramFieldRow(key).text);
}

} // namespace

Expected<Quad> IPstrToByte(const QString& text)
{
    QString rest = text;
    Quad bytes{};
    for (int i = 0; i < 3; ++i) {
        const Expected<uint8_t> piece = takePiece(rest);
        if (!piece)
            return tl::unexpected(piece.error());
        bytes[i] = *piece;
    }
    const Expected<int> last = convertInt(rest);
    if (!last)
        return tl::unexpected(last.error());
    bytes[3] = low8(*last);
    return bytes;
}

Expected<void> validateParamFields(const ParamFields& fields, DeviceType type,
                                   const QString& ymCaption, const QString& callCaption)
{
    for (const FieldRow& entry : paramFieldTable()) {
        if (!type.validates(entry.key))
            continue;
        const QString& text = fields.*entry.text;
        if (text.isEmpty())
            return fail(faultMessages(entry, ymCaption, callCaption).first, fieldIndex(entry.key));
        const int length = cp936Length(text);
        if (length < 7 || length > 15)
            return fail(faultMessages(entry, ymCaption, callCaption).second, fieldIndex(entry.key));
    }
    return {};
}

Expected<ParamPacket> buildParamPacket(const ParamFields& fields, DeviceType type)
{
    // Zeroed work area larger than the packet: every byte no field fills goes out as 0.
    std::array<uint8_t, 100> work{};
    work[0] = ParamCommand;
    for (const FieldUse& use : paramLayout()) {
        if (!use.types.contains(type))
            continue;
        if (const Expected<void> packed = pack(work.data(), use, textOf(fields, use.key)); !packed)
            return fail(packed.error().message, fieldIndex(use.key));
    }
    ParamPacket packet;
    std::memcpy(packet.data(), work.data(), packet.size());
    return packet;
}

std::optional<ParamField> unconvertedField(const ParamFields& fields, DeviceType type)
{
    const Expected<ParamPacket> packet = buildParamPacket(fields, type);
    if (packet)
        return std::nullopt;
    return static_cast<ParamField>(packet.error().field);
}

QByteArray packedBytes(const ParamPacket& packet, ParamField field, DeviceType type)
{
    const FieldUse* use = fieldUse(field, type);
    if (!use)
        return {};
    return QByteArray(reinterpret_cast<const char*>(packet.data()) + use->offset,
                      packedSize(use->packing));
}
