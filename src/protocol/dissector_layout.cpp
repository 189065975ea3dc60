// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/dissector_layout.h"

#include "protocol/device_types.h"
#include "protocol/param_fields.h"

using namespace Qt::StringLiterals;

namespace
{

QString packingName(Packing packing)
{
    switch (packing) {
    case Packing::Quad:
        return u"quad"_s;
    case Packing::HighFirst:
        return u"high_first"_s;
    case Packing::LowFirst:
        return u"low_first"_s;
    case Packing::LowFirstPadded:
        return u"low_first_padded"_s;
    }
    return {};
}

// Where the section's text starts and ends, or {-1, -1}.
std::pair<qsizetype, qsizetype> sectionBounds(const QString& dissector)
{
    const QString begin = QString::fromUtf16(DissectorLayoutBegin);
    const qsizetype b = dissector.indexOf(begin);
    if (b < 0)
        return {-1, -1};
    const qsizetype lineEnd = dissector.indexOf(u'\n', b);
    const qsizetype e = dissector.indexOf(QString::fromUtf16(DissectorLayoutEnd), b);
    if (lineEnd < 0 || e < 0 || e <= lineEnd)
        return {-1, -1};
    return {lineEnd + 1, e};
}

} // namespace

QString dissectorLayoutLua()
{
    QString lua = u"local layout = {\n"_s;
    for (const DeviceType& type : DeviceType::all()) {
        lua += u"    [%1] = { name = \"%2\", uses = {\n"_s.arg(type.code()).arg(type.caption());
        for (const FieldUse& use : paramLayout()) {
            if (use.types.contains(type))
                lua += u"        { %1, \"%2\", \"%3\" },\n"_s.arg(use.offset)
                           .arg(packingName(use.packing), QString::fromUtf16(use.jsonKey));
        }
        lua += u"    } },\n"_s;
    }
    lua += u"}\n"_s;
    return lua;
}

QString dissectorLayoutSection(const QString& dissector)
{
    const auto [from, to] = sectionBounds(dissector);
    if (from < 0)
        return {};
    return dissector.mid(from, to - from);
}

QString withDissectorLayout(const QString& dissector, const QString& layout)
{
    const auto [from, to] = sectionBounds(dissector);
    if (from < 0)
        return {};
    return dissector.left(from) + layout + dissector.mid(to);
}
