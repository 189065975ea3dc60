// SPDX-License-Identifier: GPL-3.0-or-later
// Code page 936 conversion: lengths agree with the bytes, decodable text survives a round trip.
#include "common/sysutils.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString decoded = fromCp936(bytes);
    const QByteArray encoded = toCp936(decoded);
    if (cp936Length(decoded) != encoded.size())
        std::abort();
    if (!decoded.contains(QChar::ReplacementCharacter) && fromCp936(encoded) != decoded)
        std::abort();

    // Arbitrary UTF-16 (unpaired surrogates too) never breaks the encoder, and every character
    // takes at least one byte.
    const QString raw(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));
    if (toCp936(raw).size() < raw.toUcs4().size())
        std::abort();
    const QString message = errorBoxText(raw);
    if (message.size() != raw.size() && message != raw + u'.')
        std::abort();
    return 0;
}
