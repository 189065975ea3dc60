// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Wireshark dissector (dist/wireshark/pa_terminal.lua) reads the parameter packet by the
// same field table as the decoder: its layout section is written from the table by the
// dissector-layout tool, and a test fails when the file and the table part.

#include <QString>

// The Lua text between the dissector's layout markers, for the table as it is built.
QString dissectorLayoutLua();

inline constexpr char16_t DissectorLayoutBegin[] = u"-- BEGIN layout";
inline constexpr char16_t DissectorLayoutEnd[] = u"-- END layout";

// The layout section of a dissector's text (between the markers, markers excluded), or a null
// string when the markers are missing or out of order.
QString dissectorLayoutSection(const QString& dissector);
// The dissector's text with its layout section replaced; null when the markers are missing.
QString withDissectorLayout(const QString& dissector, const QString& layout);
