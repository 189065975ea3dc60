// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

// Where a datagram just sent went in the capture: the file being recorded and its frame
// number there (1 for the first packet). No file while nothing is recorded.
struct CaptureMark {
    QString file;
    std::uint64_t frame = 0;
};
