// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/test_print.h"

QT_BEGIN_NAMESPACE

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    static const char digits[] = "0123456789ABCDEF";
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\')
            *os << c;
        else
            *os << "\\x" << digits[u >> 4] << digits[u & 0xF];
    }
    *os << "\" (" << bytes.size() << " bytes)";
}

QT_END_NAMESPACE
