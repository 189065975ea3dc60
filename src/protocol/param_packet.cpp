// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/param_packet.h"

#include "common/sysutils.h"
#include "common/exceptions.h"

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

void putQuad(uint8_t* at, const QString& text)
{
    IPstrToByte(trim(text), at[0], at[1], at[2], at[3]);
}

// Cuts the text before the first "." (all of it stays when there is none) and converts it.
uint8_t takePiece(QString& rest)
{
    const qsizetype dot = rest.indexOf(u'.');
    const QString piece = dot < 0 ? QString() : rest.left(dot);
    rest.remove(0, dot + 1);
    return low8(strToInt(piece));
}

// The validation's message for an empty field and for one of the wrong length. Named fields
// end both with "！"; edtYM and edtCallIp are named by their label's current caption, with
// nothing added.
std::pair<QString, QString> faultMessages(const FieldSpec& spec, const QString& ymCaption,
                                          const QString& callCaption)
{
    if (spec.validation == Validation::Named) {
        const QString name = QString::fromUtf16(spec.caption);
        return {name + u"不能为空！"_s, u"不合规则的非法"_s + name + u"！"_s};
    }
    const QString& caption = spec.key == ParamField::YM ? ymCaption : callCaption;
    return {caption + u"不能为空！"_s, u"不合规则的非法"_s + caption};
}

// Packs one use into the work area; raises EConvertError when its text does not convert.
void pack(uint8_t* work, const FieldUse& use, const QString& text)
{
    uint8_t* at = work + use.offset;
    switch (use.packing) {
    case Packing::Quad:
        putQuad(at, text);
        break;
    case Packing::HighFirst:
        putHighFirst(at, strToInt(text));
        break;
    case Packing::LowFirst:
        putLowFirst(at, strToInt(text));
        break;
    case Packing::LowFirstPadded:
        putLowFirst(at, strToInt(text));
        at[2] = 0;
        at[3] = 0;
        break;
    }
}

const QString& textOf(const ParamFields& fields, ParamField key)
{
    return fields.*(paramFieldSpec(key).text);
}

} // namespace

void IPstrToByte(const QString& text, uint8_t& b1, uint8_t& b2, uint8_t& b3, uint8_t& b4)
{
    QString rest = text;
    b1 = takePiece(rest);
    b2 = takePiece(rest);
    b3 = takePiece(rest);
    b4 = low8(strToInt(rest));
}

std::optional<ParamFault> validateParamFields(const ParamFields& fields, DeviceType type,
                                              const QString& ymCaption, const QString& callCaption)
{
    for (const FieldSpec& spec : paramFieldTable()) {
        if (!type.validates(spec.key))
            continue;
        const QString& text = fields.*spec.text;
        if (text.isEmpty())
            return ParamFault{faultMessages(spec, ymCaption, callCaption).first, spec.key};
        const int length = cp936Length(text);
        if (length < 7 || length > 15)
            return ParamFault{faultMessages(spec, ymCaption, callCaption).second, spec.key};
    }
    return std::nullopt;
}

ParamPacket buildParamPacket(const ParamFields& fields, DeviceType type)
{
    // Zeroed work area larger than the packet: every byte no field fills goes out as 0.
    std::array<uint8_t, 100> work{};
    work[0] = 0x48;
    for (const FieldUse& use : paramLayout()) {
        if (use.types.contains(type))
            pack(work.data(), use, textOf(fields, use.key));
    }
    ParamPacket packet;
    std::memcpy(packet.data(), work.data(), packet.size());
    return packet;
}

std::optional<ParamField> unconvertedField(const ParamFields& fields, DeviceType type)
{
    std::array<uint8_t, 100> work{};
    for (const FieldUse& use : paramLayout()) {
        if (!use.types.contains(type))
            continue;
        try {
            pack(work.data(), use, textOf(fields, use.key));
        } catch (const EConvertError&) {
            return use.key;
        }
    }
    return std::nullopt;
}

QByteArray packedBytes(const ParamPacket& packet, ParamField field, DeviceType type)
{
    const FieldUse* use = fieldUse(field, type);
    if (!use)
        return {};
    return QByteArray(reinterpret_cast<const char*>(packet.data()) + use->offset,
                      packedSize(use->packing));
}
