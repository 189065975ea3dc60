// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Wireshark dissector (dist/wireshark/pa_terminal.lua) reads the two packets by the same
// tables as the builders and the decoder: its data section (the packets' constants, the value
// strings of the command byte and the device type, both layouts and the fields) is written
// from the tables by the dissector-layout tool, and a test fails when the file and the tables
// part.

#include <QString>

// The Lua text between the dissector's data markers, for the tables as they are built.
QString dissectorLayoutLua();

inline constexpr char16_t DissectorLayoutBegin[] = u"-- BEGIN tables";
inline constexpr char16_t DissectorLayoutEnd[] = u"-- END tables";

// The data section of a dissector's text (between the markers, markers excluded), or a null
// string when the markers are missing or out of order.
QString dissectorLayoutSection(const QString& dissector);
// The dissector's text with its data section replaced; null when the markers are missing.
QString withDissectorLayout(const QString& dissector, const QString& layout);
