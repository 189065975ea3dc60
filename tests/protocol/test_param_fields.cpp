// SPDX-License-Identifier: GPL-3.0-or-later
// The field table's layout: a row added with an offset that overlaps another, or a field
// given two uses for one type, would pack one field over another without any packet test
// noticing for the types nobody wrote a packet for.

#include "protocol/dissector_layout.h"
#include "protocol/param_fields.h"
#include "protocol/param_packet.h"

#include <gtest/gtest.h>

#include <QFile>

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
            EXPECT_NE(paramFieldSpec(use.key).text, nullptr);
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

// The dissector reads the packet by a copy of the layout; a row added to the table and not
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
