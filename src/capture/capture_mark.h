// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

// Where a datagram went into a capture: the recording's file and the datagram's frame number
// in it, as Wireshark counts them (tshark -Y frame.number==N finds it). The file is empty when
// nothing was being recorded; frame is 0 when the datagram did not reach the recording.
struct CaptureMark {
    QString file;
    std::uint64_t frame = 0;

    bool operator==(const CaptureMark&) const = default;
};
