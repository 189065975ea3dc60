// SPDX-License-Identifier: GPL-3.0-or-later
// The test datagram from arbitrary field texts: the fields convert in the command's order (byte
// count, edt1..edt10, count, port) and the first one that is no integer ends it with its
// conversion error, the byte count staying stored when it converted; otherwise the bytes are
// the fields' low eight bits in field order, only the first n (the count, held to 0..10), and
// the host is taken as typed.
//
// Input fields: edtNum, edt1..edt10, cmbData, edtPort, edtIP; missing ones keep the page's
// initial texts (cmbData "10" so that every byte is seen).
#include "common/exceptions.h"
#include "console/test_datagram.h"
#include "fuzz_fields.h"

#include <algorithm>
#include <cstdint>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const auto in = fuzz::splitFields(data, size, 14);
    TestDatagramFields f;
    f.byteCount = u"53"_s;
    f.bytes = {u"1"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s};
    f.count = u"10"_s;
    f.port = u"7500"_s;
    f.host = u"255.255.255.255"_s;
    QString* const texts[] = {&f.byteCount, &f.bytes[0], &f.bytes[1], &f.bytes[2], &f.bytes[3],
                              &f.bytes[4],  &f.bytes[5], &f.bytes[6], &f.bytes[7], &f.bytes[8],
                              &f.bytes[9],  &f.count,    &f.port,     &f.host};
    for (size_t i = 0; i < std::size(texts) && i < in.size(); ++i)
        *texts[i] = fuzz::toText(in[i]);

    // The model: conversions in order, the first failure wins.
    std::optional<QString> failing;
    int values[13] = {};
    for (size_t i = 0; i < 13 && !failing; ++i) {
        if (const auto v = fuzz::toInt(*texts[i]))
            values[i] = *v;
        else
            failing = *texts[i];
    }

    const int untouched = -12345;
    int showByteCount = untouched;
    TestDatagram datagram;
    try {
        datagram = buildTestDatagram(f, showByteCount);
    } catch (const EConvertError& e) {
        fuzz::check(failing.has_value());
        fuzz::check(e.message() == fuzz::conversionMessage(*failing));
        const bool countConverted = fuzz::toInt(f.byteCount).has_value();
        fuzz::check(showByteCount == (countConverted ? values[0] : untouched));
        return 0;
    }
    fuzz::check(!failing);
    fuzz::check(showByteCount == values[0]);
    const int n = std::clamp(values[11], 0, 10);
    fuzz::check(datagram.bytes.size() == n);
    for (int k = 0; k < n; ++k)
        fuzz::check(static_cast<std::uint8_t>(datagram.bytes[k]) == fuzz::low8(values[1 + k]));
    fuzz::check(datagram.port == values[12]);
    fuzz::check(datagram.host == f.host);
    return 0;
}
