// SPDX-License-Identifier: GPL-3.0-or-later
// The integer conversion against a deliberately plain reference model.
#include "common/exceptions.h"
#include "common/sysutils.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace
{

// Straightforward restatement over std::u16string: blanks, sign, prefix, digits, range.
std::optional<std::int64_t> reference(const std::u16string& s)
{
    size_t i = s.find_first_not_of(u' ');
    if (i == std::u16string::npos)
        return std::nullopt;
    int sign = 1;
    if (s[i] == u'+' || s[i] == u'-') {
        sign = s[i] == u'-' ? -1 : 1;
        ++i;
    }
    int base = 10;
    if (s.compare(i, 2, u"0x") == 0 || s.compare(i, 2, u"0X") == 0) {
        base = 16;
        i += 2;
    } else if (i < s.size() && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
        base = 16;
        ++i;
    }
    const std::u16string digits = s.substr(std::min(i, s.size()));
    if (digits.empty())
        return std::nullopt;
    const std::u16string allowed = base == 16 ? u"0123456789abcdefABCDEF" : u"0123456789";
    if (digits.find_first_not_of(allowed) != std::u16string::npos)
        return std::nullopt;
    const std::string narrow(digits.begin(), digits.end());
    const size_t first = narrow.find_first_not_of('0');
    const std::string significant = first == std::string::npos ? "0" : narrow.substr(first);
    if (significant.size() > 10)
        return std::nullopt;
    const std::int64_t magnitude = std::strtoll(significant.c_str(), nullptr, base);
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFll)
            return std::nullopt;
        const auto bits =
            static_cast<std::uint32_t>(sign < 0 ? 0u - static_cast<std::uint32_t>(magnitude)
                                                : static_cast<std::uint32_t>(magnitude));
        return static_cast<std::int32_t>(bits);
    }
    const std::int64_t value = sign * magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    // Half the inputs as UTF-16 code units (any value, unpaired surrogates included), half as
    // Latin-1 so that short ASCII cases are found quickly.
    QString text;
    if (size > 0 && (data[0] & 1)) {
        text = QString(reinterpret_cast<const QChar*>(data + 1),
                       static_cast<qsizetype>((size - 1) / 2));
    } else {
        text =
            QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    }
    const std::u16string plain(reinterpret_cast<const char16_t*>(text.utf16()),
                               static_cast<size_t>(text.size()));
    const auto expected = reference(plain);
    try {
        const int value = strToInt(text);
        if (!expected || *expected != value)
            std::abort();
    } catch (const EConvertError& e) {
        if (expected)
            std::abort();
        if (e.message() != u"'" + text + u"' is not a valid integer value")
            std::abort();
    }
    return 0;
}
