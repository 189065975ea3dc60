// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the fuzz targets: cutting one input into field texts, and plain reference pieces
// that the targets' models are built from.
//
// Input layout: fields separated by a zero byte. A field's first byte may select how its text
// is made, so that seeds stay readable (plain bytes are Latin-1 text):
//   01  the rest is UTF-8 (Chinese captions and names; invalid sequences become U+FFFD)
//   02  the rest is raw UTF-16LE code units (any value, unpaired surrogates included)
//   03  the next byte r, then a text repeated (r + 1) * 1024 times, at most 256K characters
//   anything else: the whole field is Latin-1 text.

#include "common/sysutils.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace fuzz
{

// Violations abort at once: the fuzzer keeps the input that did it.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Splits the input into at most maxFields fields; the last one takes the rest, zero bytes
// included, so a target can keep raw bytes at the end.
inline std::vector<QByteArray> splitFields(const std::uint8_t* data, size_t size, size_t maxFields)
{
    std::vector<QByteArray> fields;
    size_t begin = 0;
    while (fields.size() + 1 < maxFields) {
        size_t end = begin;
        while (end < size && data[end] != 0)
            ++end;
        if (end >= size)
            break;
        fields.emplace_back(reinterpret_cast<const char*>(data + begin),
                            static_cast<qsizetype>(end - begin));
        begin = end + 1;
    }
    fields.emplace_back(reinterpret_cast<const char*>(data + begin),
                        static_cast<qsizetype>(size - begin));
    return fields;
}

inline QString toText(const QByteArray& field)
{
    if (field.isEmpty())
        return QString();
    const QByteArray rest = field.mid(1);
    switch (field[0]) {
    case 1:
        return QString::fromUtf8(rest);
    case 2:
        return QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2);
    case 3: {
        if (rest.isEmpty())
            return QString();
        const QString unit = QString::fromLatin1(rest.mid(1));
        const qsizetype times = (static_cast<unsigned char>(rest[0]) + 1) * qsizetype(1024);
        QString text =
            unit.repeated(std::min<qsizetype>(times, unit.isEmpty() ? 0 : (1 << 18) / unit.size()));
        return text;
    }
    default:
        return QString::fromLatin1(field);
    }
}

// The field's text or the empty text when the input had fewer fields.
inline QString textAt(const std::vector<QByteArray>& fields, size_t i)
{
    return i < fields.size() ? toText(fields[i]) : QString();
}

// A number steering the target (device type, byte count): the field's integer when it is one,
// otherwise its first byte as a small signed value, so mutations reach the edges either way.
inline int numberAt(const std::vector<QByteArray>& fields, size_t i)
{
    if (i >= fields.size() || fields[i].isEmpty())
        return 0;
    int value = 0;
    if (tryStrToInt(QString::fromLatin1(fields[i]), value))
        return value;
    return static_cast<signed char>(fields[i][0]);
}

// The integer conversion for the models: StrToInt itself is checked against its own reference
// by fuzz_strtoint, so the models may lean on it.
inline std::optional<int> toInt(const QString& text)
{
    int value = 0;
    if (tryStrToInt(text, value))
        return value;
    return std::nullopt;
}

inline QString conversionMessage(const QString& text)
{
    return QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value");
}

inline std::uint8_t low8(std::int64_t value)
{
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) & 0xFF);
}

// Removes code 0 to 32 at both ends.
inline std::u16string trimmed(const std::u16string& s)
{
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && s[begin] <= 32)
        ++begin;
    while (end > begin && s[end - 1] <= 32)
        --end;
    return s.substr(begin, end - begin);
}

inline std::u16string plain(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

inline QString fromPlain(const std::u16string& s)
{
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

// A dotted quad read the plain way: the pieces before the first three dots and the rest, each
// converted; a missing dot makes an empty piece. Either the four bytes, or the piece that fails.
struct QuadResult {
    std::uint8_t bytes[4] = {};
    std::optional<QString> failingPiece;
};

inline QuadResult referenceQuad(const std::u16string& text)
{
    QuadResult r;
    std::u16string rest = text;
    for (int k = 0; k < 4; ++k) {
        std::u16string piece;
        if (k < 3) {
            const size_t dot = rest.find(u'.');
            if (dot != std::u16string::npos) {
                piece = rest.substr(0, dot);
                rest.erase(0, dot + 1);
            }
        } else {
            piece = rest;
        }
        const auto value = toInt(fromPlain(piece));
        if (!value) {
            r.failingPiece = fromPlain(piece);
            return r;
        }
        r.bytes[k] = low8(*value);
    }
    return r;
}

} // namespace fuzz
