// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/monitor_line.h"

#include "common/sysutils.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace
{

// "0," to "255," ready to copy: the monitor formats tens of thousands of lines a second.
struct ByteText {
    std::array<char16_t, 4> chars{};
    unsigned char length = 0;
};

constexpr std::array<ByteText, 256> makeByteTexts()
{
    std::array<ByteText, 256> table{};
    for (int value = 0; value < 256; ++value) {
        ByteText& t = table[static_cast<std::size_t>(value)];
        char16_t digits[3] = {};
        int n = 0;
        int v = value;
        do {
            digits[n++] = static_cast<char16_t>(u'0' + v % 10);
            v /= 10;
        } while (v > 0);
        for (int i = 0; i < n; ++i)
            t.chars[static_cast<std::size_t>(i)] = digits[n - 1 - i];
        t.chars[static_cast<std::size_t>(n)] = u',';
        t.length = static_cast<unsigned char>(n + 1);
    }
    return table;
}

constexpr std::array<ByteText, 256> ByteTexts = makeByteTexts();

} // namespace

void appendDataText(QString& out, QByteArrayView datagram, int showByteCount)
{
    const int shown = std::min(showByteCount, ReceiveBufferSize);
    if (shown <= 0)
        return;
    const qsizetype copied = std::min<qsizetype>(datagram.size(), ReceiveBufferSize);
    const qsizetype start = out.size();
    out.resize(start + qsizetype(shown) * 4);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data()) + start;
    char16_t* p = begin;
    for (int i = 0; i < shown; ++i) {
        // Bytes past the datagram's end are the zeroed rest of the receive buffer.
        const auto byte = i < copied ? static_cast<unsigned char>(datagram[i]) : 0u;
        const ByteText& t = ByteTexts[byte];
        // Always four characters: the room is there, and a fixed-size copy is one store.
        std::memcpy(p, t.chars.data(), sizeof t.chars);
        p += t.length;
    }
    out.resize(start + (p - begin));
}

void appendMonitorLine(QString& out, QByteArrayView datagram, int showByteCount, bool dataOnly,
                       const QString& senderIP, int senderPort, int localPort)
{
    if (!dataOnly) {
        out += u"IP: ";
        out += senderIP;
        out += u" SPort:";
        out += intToStr(senderPort);
        out += u" TPort:";
        out += intToStr(localPort);
        out += u"  Data: ";
    }
    appendDataText(out, datagram, showByteCount);
}

QString monitorLine(QByteArrayView datagram, int showByteCount, bool dataOnly,
                    const QString& senderIP, int senderPort, int localPort)
{
    QString line;
    appendMonitorLine(line, datagram, showByteCount, dataOnly, senderIP, senderPort, localPort);
    return line;
}
