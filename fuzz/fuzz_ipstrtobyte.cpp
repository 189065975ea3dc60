// SPDX-License-Identifier: GPL-3.0-or-later
// The dotted-quad reader against a plain model: pieces before the first three dots and the
// rest, each converted, low eight bits kept; a failure quotes exactly the piece that failed.
#include "protocol/param_packet.h"
#include "fuzz_fields.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QString text =
        fuzz::toText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const fuzz::QuadResult expected = fuzz::referenceQuad(fuzz::plain(text));

    const Expected<Quad> b = IPstrToByte(text);
    if (!b) {
        fuzz::check(expected.failingPiece.has_value());
        fuzz::check(b.error().message == fuzz::conversionMessage(*expected.failingPiece));
        return 0;
    }
    fuzz::check(!expected.failingPiece.has_value());
    for (size_t k = 0; k < 4; ++k)
        fuzz::check((*b)[k] == expected.bytes[k]);
    return 0;
}
