// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/dissector_layout.h"

#include "protocol/device_types.h"
#include "protocol/param_fields.h"
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"

#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

// The packets by their command byte, as the dissector's command field names them.
struct PacketKindRow {
    std::uint8_t command;
    int size;
    const char16_t* englishName;
};
constexpr PacketKindRow PacketKinds[] = {
    {ParamCommand, ParamPacketSize, u"Parameter packet"},
    {ServerPacketCommand, ServerPacketSize, u"Server address packet"},
};

// The Lua names of the packings, each with its packing.
constexpr std::pair<Packing, const char16_t*> Packings[] = {
    {Packing::Quad, u"quad"},
    {Packing::HighFirst, u"high_first"},
    {Packing::LowFirst, u"low_first"},
    {Packing::LowFirstPadded, u"low_first_padded"},
};
constexpr std::pair<ServerPacking, const char16_t*> ServerPackings[] = {
    {ServerPacking::Command, u"command"},
    {ServerPacking::Octets, u"quad"},
    {ServerPacking::Filler, u"filler"},
};

template <class Kind, std::size_t N>
QString nameIn(const std::pair<Kind, const char16_t*> (&names)[N], Kind kind)
{
    for (const auto& [k, name] : names) {
        if (k == kind)
            return QString::fromUtf16(name);
    }
    return {};
}

QString packingName(Packing packing)
{
    return nameIn(Packings, packing);
}

QString packingName(ServerPacking packing)
{
    return nameIn(ServerPackings, packing);
}

QString hexCode(std::uint8_t value)
{
    return u"0x"_s + u"%1"_s.arg(value, 2, 16, QChar(u'0')).toUpper();
}

QString protoField(const QString& key, const QString& kind, const QString& title,
                   const QString& more = {})
{
    return u"    %1 = ProtoField.%2(\"pa_terminal.%1\", \"%3\"%4),\n"_s.arg(key, kind, title, more);
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
    QString lua;
    const PacketKindRow& param = PacketKinds[0];
    const PacketKindRow& server = PacketKinds[1];
    lua += u"local PARAM, PARAM_SIZE = %1, %2\n"_s.arg(hexCode(param.command)).arg(param.size);
    lua +=
        u"local SERVER, SERVER_SIZE, SERVER_FILLER = %1, %2, %3\n\n"_s.arg(hexCode(server.command))
            .arg(server.size)
            .arg(ServerPacketFiller);

    lua += u"-- The command byte's values.\nlocal commands = {\n"_s;
    for (const PacketKindRow& kind : PacketKinds)
        lua += u"    [%1] = \"%2\",\n"_s.arg(hexCode(kind.command),
                                             QString::fromUtf16(kind.englishName));
    lua += u"}\n\n-- The device types by code.\nlocal device_types = {\n"_s;
    for (const DeviceType& type : DeviceType::all())
        lua += u"    [%1] = \"%2\",\n"_s.arg(type.code()).arg(type.caption());

    lua += u"}\n\n-- Bytes each packing takes.\nlocal sizes = {"_s;
    for (const auto& [packing, name] : Packings)
        lua += u" %1 = %2,"_s.arg(QString::fromUtf16(name)).arg(packedSize(packing));
    lua.chop(1);
    lua += u" }\n\n"_s;

    lua += u"-- The parameter packet's uses for each device type, by offset:\n"
           u"-- { offset, packing, field }.\nlocal layout = {\n"_s;
    for (const DeviceType& type : DeviceType::all()) {
        lua += u"    [%1] = {\n"_s.arg(type.code());
        for (const FieldUse& use : paramLayout()) {
            if (use.types.contains(type))
                lua += u"        { %1, \"%2\", \"%3\" },\n"_s.arg(use.offset)
                           .arg(packingName(use.packing), QString::fromUtf16(use.jsonKey));
        }
        lua += u"    },\n"_s;
    }
    lua += u"}\n\n"_s;

    lua += u"-- The server packet's parts, by offset: { offset, packing, field, size }.\n"
           u"local server_layout = {\n"_s;
    for (const ServerPart& part : serverPacketLayout())
        lua += u"    { %1, \"%2\", \"%3\", %4 },\n"_s.arg(part.offset)
                   .arg(packingName(part.packing), QString::fromUtf16(part.name))
                   .arg(part.size);
    lua += u"}\n\n"_s;

    // One field a name, at its first use; a name has one title and one kind in both packets
    // (held by the tests).
    lua += u"-- The packets' fields, named as the decoder's JSON keys.\nlocal f = {\n"_s;
    QStringList named;
    const auto add = [&](const char16_t* name, const QString& kind, const char16_t* title,
                         const QString& more = {}) {
        const QString key = QString::fromUtf16(name);
        if (named.contains(key))
            return;
        named.append(key);
        lua += protoField(key, kind, QString::fromUtf16(title), more);
    };
    for (const ServerPart& part : serverPacketLayout()) {
        if (part.packing == ServerPacking::Command)
            add(part.name, u"uint8"_s, part.englishName, u", base.HEX, commands"_s);
    }
    for (const FieldUse& use : paramLayout())
        add(use.jsonKey, use.packing == Packing::Quad ? u"ipv4"_s : u"uint16"_s, use.englishName);
    for (const ServerPart& part : serverPacketLayout()) {
        if (part.packing == ServerPacking::Octets)
            add(part.name, u"ipv4"_s, part.englishName);
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
