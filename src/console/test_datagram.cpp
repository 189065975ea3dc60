// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/test_datagram.h"

#include "common/sysutils.h"

#include <algorithm>

TestDatagram buildTestDatagram(const TestDatagramFields& fields, int& showByteCount)
{
    showByteCount = strToInt(fields.byteCount);

    char bytes[TestDatagramCapacity] = {};
    for (int k = 0; k < TestDatagramCapacity; ++k)
        bytes[k] = static_cast<char>(strToInt(fields.bytes[static_cast<std::size_t>(k)]) & 0xFF);

    // The count list offers 1 to 10 only; never read past the array whatever it holds.
    const int count = std::clamp(strToInt(fields.count), 0, TestDatagramCapacity);

    TestDatagram datagram;
    datagram.port = strToInt(fields.port);
    datagram.host = fields.host;
    datagram.bytes = QByteArray(bytes, count);
    return datagram;
}
