// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/sysutils.h"

#include "common/exceptions.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<int> parseInt(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == n)
        return std::nullopt; // empty, a sign alone or a prefix alone

    std::uint64_t value = 0;
    if (hex) {
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFull)
                return std::nullopt;
        }
        auto bits = static_cast<std::uint32_t>(value);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }

    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        value = value * 10 + (u - u'0');
        if (value > limit)
            return std::nullopt;
    }
    const auto signedValue =
        negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return static_cast<int>(signedValue);
}

} // namespace

bool tryStrToInt(const QString& text, int& value)
{
    const auto parsed = parseInt(text);
    if (parsed)
        value = *parsed;
    return parsed.has_value();
}

Expected<int> convertInt(const QString& text)
{
    if (const auto parsed = parseInt(text))
        return *parsed;
    return fail(u"'"_s + text + u"' is not a valid integer value"_s);
}

int strToInt(const QString& text)
{
    const Expected<int> value = convertInt(text);
    if (!value)
        throw EConvertError(value.error().message);
    return *value;
}

QString intToStr(int value)
{
    return QString::number(value);
}

QString trim(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

// Code points that Unicode calls default-ignorable. Code page 936 has none of them, and the
// encoder drops them without a trace instead of giving them a "?".
bool isDefaultIgnorable(char32_t c)
{
    return c == 0xAD || c == 0x34F || c == 0x61C || (c >= 0x115F && c <= 0x1160) ||
           (c >= 0x17B4 && c <= 0x17B5) || (c >= 0x180B && c <= 0x180F) ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) ||
           c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) ||
           (c >= 0xE0000 && c <= 0xE0FFF);
}

QByteArray toCp936(const QString& text)
{
    // The encoder turns characters that code page 936 lacks into "?", but drops unpaired
    // surrogates and default-ignorable characters without a trace; give them one "?" each too
    // so that no character vanishes.
    QString clean;
    qsizetype kept = 0; // text before this index is settled in clean
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0xAD)
            continue;
        char32_t code = c.unicode();
        qsizetype units = 1;
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text[i + 1]);
            units = 2;
        }
        if ((units == 1 && c.isSurrogate()) || isDefaultIgnorable(code)) {
            clean += QStringView(text).sliced(kept, i - kept);
            clean += u'?';
            kept = i + units;
        }
        i += units - 1;
    }
    QStringEncoder encoder("GBK");
    if (kept == 0)
        return encoder.encode(text);
    clean += QStringView(text).sliced(kept);
    return encoder.encode(clean);
}

QString fromCp936(const QByteArray& bytes)
{
    // A lead byte at the very end would be held back as the start of an unfinished character
    // and silently lost; a line feed after it makes the decoder report it as U+FFFD instead.
    QStringDecoder decoder("GBK");
    QString text = decoder.decode(bytes + '\n');
    text.chop(1);
    return text;
}

int cp936Length(const QString& text)
{
    return static_cast<int>(toCp936(text).size());
}

QString errorBoxText(const QString& message)
{
    if (message.isEmpty())
        return message;
    // Anything outside ASCII is a double-byte character in code page 936 (or stands for one),
    // and every double-byte character starts with a byte above '.'.
    const char16_t last = message.back().unicode();
    if (last > u'.')
        return message + u'.';
    return message;
}
