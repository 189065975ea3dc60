// SPDX-License-Identifier: GPL-3.0-or-later
// The field tables' layouts: a row added with an offset that overlaps another, or a field
// given two uses for one type, would pack one field over another without any packet test
// noticing for the types nobody wrote a packet for; a server packet byte left out or packed
// twice would go out as whatever the buffer held.

#include "protocol/dissector_layout.h"
#include "protocol/param_fields.h"
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <map>

using namespace Qt::StringLiterals;

namespace
{

TEST(ParamFields, EachTypeUsesEveryByteAtMostOnceAndEachFieldOnce)
{
    for (const DeviceType& type : DeviceType::all()) {
        SCOPED_TRACE(type.code());
        int owner[ParamPacketSize];
        std::fill(std::begin(owner), std::end(owner), -1);
        owner[0] = ParamFieldCount; // the command byte
        bool used[ParamFieldCount] = {};
        for (const FieldUse& use : paramLayout()) {
            if (!use.types.contains(type))
                continue;
            const int key = fieldIndex(use.key);
            EXPECT_FALSE(used[key]) << "field " << key << " has two uses";
            used[key] = true;
            ASSERT_GE(use.offset, 1);
            ASSERT_LE(use.offset + packedSize(use.packing), ParamPacketSize);
            for (int i = use.offset; i < use.offset + packedSize(use.packing); ++i) {
                EXPECT_EQ(owner[i], -1) << "byte " << i << " packed twice";
                owner[i] = key;
            }
            // Every packed field has a text on the page.
            EXPECT_NE(paramFieldRow(use.key).text, nullptr);
        }
        // The group field always goes out, whatever the type does with it.
        EXPECT_TRUE(type.packs(ParamField::GroupIP));
    }
}

// The field table names types by group: a type in no group would pack none of the fields that
// depend on the type, one in two groups would be given two uses of a field.
TEST(DeviceTypes, EveryTypeIsInExactlyOneGroupAndEveryGroupHasAType)
{
    int members[DeviceGroupCount] = {};
    for (const DeviceType& type : DeviceType::all()) {
        int groups = 0;
        for (int g = 0; g < DeviceGroupCount; ++g) {
            if (TypeSet::of({static_cast<DeviceGroup>(g)}).contains(type)) {
                ++groups;
                ++members[g];
            }
        }
        EXPECT_EQ(groups, 1) << "type " << type.code();
    }
    for (int g = 0; g < DeviceGroupCount; ++g)
        EXPECT_GT(members[g], 0) << "group " << g << " has no type";
}

// The decoder names a use by the label its type gives the field, or by the field's caption;
// only the hidden group address is named apart.
TEST(ParamFields, DecodedCaptionsOfTheTypeDependentBytes)
{
    struct Case {
        int code;
        QString captions; // the uses from byte 25 on
    };
    const Case cases[] = {
        {1, u"组播IP（隐藏）"_s},
        {4, u"子网掩码 报警主机一IP 报警主机二IP 一键报警主机一地址 一键报警主机二地址"_s},
        {5, u"组播IP 子网掩码 寻呼服务器IP"_s},
        {6, u"从属功放设备编号"_s},
        {8, u"组播IP"_s},
    };
    for (const Case& c : cases) {
        QStringList got;
        for (const FieldUse& use : paramLayout()) {
            if (use.offset >= 25 && use.types.contains(DeviceType(c.code)))
                got << decodedCaption(use);
        }
        EXPECT_EQ(got.join(u' ').toStdString(), c.captions.toStdString()) << "type " << c.code;
    }
    EXPECT_EQ(decodedCaption(paramLayout()[0]).toStdString(), "更新后设备IP");
}

// The server packet's parts follow each other from the command byte to the last filler byte.
TEST(ServerPacketLayout, CoversEveryByteOnce)
{
    int owners[ServerPacketSize] = {};
    int octetGroups = 0;
    for (const ServerPart& part : serverPacketLayout()) {
        SCOPED_TRACE(QString::fromUtf16(part.name).toStdString());
        ASSERT_GE(part.offset, 0);
        ASSERT_LE(part.offset + part.size, ServerPacketSize);
        for (int i = part.offset; i < part.offset + part.size; ++i)
            ++owners[i];
        if (part.packing == ServerPacking::Octets) {
            EXPECT_EQ(part.size, 4);
            EXPECT_NE(part.octets, nullptr);
            ++octetGroups;
        }
    }
    for (int i = 0; i < ServerPacketSize; ++i)
        EXPECT_EQ(owners[i], 1) << "byte " << i;
    EXPECT_EQ(serverPacketLayout()[0].packing, ServerPacking::Command);
    EXPECT_EQ(octetGroups, 3);
}

// The dissector declares one field a name: a name both packets use (new_ip, subnet_mask,
// gateway) or two types use must have one title and one kind wherever it appears.
TEST(DissectorFields, OneTitleAndKindForEachName)
{
    std::map<std::u16string, std::pair<std::u16string, bool>> seen; // title, an address
    const auto check = [&](const char16_t* name, const char16_t* title, bool address) {
        ASSERT_NE(title, nullptr) << QString::fromUtf16(name).toStdString();
        const auto [it, fresh] = seen.try_emplace(name, title, address);
        if (!fresh) {
            EXPECT_TRUE(it->second.first == title) << QString::fromUtf16(name).toStdString();
            EXPECT_EQ(it->second.second, address) << QString::fromUtf16(name).toStdString();
        }
    };
    for (const FieldUse& use : paramLayout())
        check(use.jsonKey, use.englishName, use.packing == Packing::Quad);
    for (const ServerPart& part : serverPacketLayout()) {
        if (part.packing == ServerPacking::Octets)
            check(part.name, part.englishName, true);
    }
    EXPECT_EQ(seen.size(), 17u);
}

// The dissector reads the packets by a copy of the tables; a row added to a table and not
// written into the dissector would show the new field as unused bytes in Wireshark.
TEST(ParamFields, DissectorLayoutIsTheTables)
{
    QFile file(QStringLiteral(DISSECTOR));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString section = dissectorLayoutSection(QString::fromUtf8(file.readAll()));
    ASSERT_FALSE(section.isNull()) << "layout markers missing in " << DISSECTOR;
    EXPECT_EQ(section.toStdString(), dissectorLayoutLua().toStdString())
        << "run: build/src/protocol/dissector_layout --write dist/wireshark/pa_terminal.lua";
}

} // namespace
