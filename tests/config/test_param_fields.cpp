// SPDX-License-Identifier: GPL-3.0-or-later
// The field table's layout: a row added with an offset that overlaps another, or a field
// given two uses for one type, would pack one field over another without any packet test
// noticing for the types nobody wrote a packet for.

#include "config/param_fields.h"
#include "config/param_packet.h"

#include <gtest/gtest.h>

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

} // namespace
