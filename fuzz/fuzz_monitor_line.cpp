// SPDX-License-Identifier: GPL-3.0-or-later
// The receive monitor's line from arbitrary datagrams (0 to 9000 bytes), any ShowByteCount and
// either format. Bytes past the 100th are poisoned for the call, so reading them (or past the
// datagram's end) stops under ASan; the text must be exactly the prefix of the chosen format,
// then clamp(ShowByteCount, 0, 100) numbers, each the byte or 0 past the datagram, each
// followed by a comma; text already in the list stays as it was.
//
// Input fields: ShowByteCount, format ("1..." data only, otherwise with addresses; digits after
// the first character: stretch the datagram to that many bytes, at most 9000), sender address,
// sender port, local port, then the datagram's raw bytes.
#include "console/monitor_line.h"
#include "fuzz_fields.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sanitizer/asan_interface.h>
#include <string>

using namespace Qt::StringLiterals;

namespace
{

QString expectedData(const std::uint8_t* bytes, size_t size, int showByteCount)
{
    std::string s;
    const int shown = std::clamp(showByteCount, 0, 100);
    for (int i = 0; i < shown; ++i) {
        const unsigned value = static_cast<size_t>(i) < size ? bytes[i] : 0u;
        s += std::to_string(value);
        s += ',';
    }
    return QString::fromStdString(s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const auto in = fuzz::splitFields(data, size, 6);
    const int showByteCount = fuzz::numberAt(in, 0);
    const QByteArray format = in.size() > 1 ? in[1] : QByteArray();
    const bool dataOnly = format.startsWith('1');
    const QString senderIP = fuzz::textAt(in, 2);
    const int senderPort = fuzz::numberAt(in, 3);
    const int localPort = fuzz::numberAt(in, 4);
    const QByteArray raw = in.size() > 5 ? in[5] : QByteArray();

    size_t length = static_cast<size_t>(raw.size());
    int stretch = 0;
    if (format.size() > 1 && tryStrToInt(QString::fromLatin1(format.mid(1)), stretch))
        length = static_cast<size_t>(std::clamp(stretch, 0, 9000));
    // A heap block of exactly the datagram's size: its end is a red zone.
    std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[std::max<size_t>(length, 1)]);
    for (size_t i = 0; i < length; ++i)
        datagram[i] = raw.isEmpty()
                          ? static_cast<std::uint8_t>(i)
                          : static_cast<std::uint8_t>(raw[static_cast<qsizetype>(i % raw.size())]);
    const QByteArrayView view(reinterpret_cast<const char*>(datagram.get()),
                              static_cast<qsizetype>(length));

    const QString before = u"earlier line\r\n"_s;
    QString line = before;
    if (length > 100)
        ASAN_POISON_MEMORY_REGION(datagram.get() + 100, length - 100);
    appendMonitorLine(line, view, showByteCount, dataOnly, senderIP, senderPort, localPort);
    const QString single =
        monitorLine(view, showByteCount, dataOnly, senderIP, senderPort, localPort);
    if (length > 100)
        ASAN_UNPOISON_MEMORY_REGION(datagram.get() + 100, length - 100);

    const QString prefix =
        dataOnly ? QString()
                 : u"IP: "_s + senderIP + u" SPort:"_s +
                       QString::fromStdString(std::to_string(senderPort)) + u" TPort:"_s +
                       QString::fromStdString(std::to_string(localPort)) + u"  Data: "_s;
    const QString dataText = expectedData(datagram.get(), length, showByteCount);

    fuzz::check(line.startsWith(before));
    fuzz::check(line.mid(before.size()) == single);
    fuzz::check(single.startsWith(prefix));
    const QString tail = single.mid(prefix.size());
    fuzz::check(tail.count(u',') == std::clamp(showByteCount, 0, 100));
    fuzz::check(tail == dataText);
    return 0;
}
