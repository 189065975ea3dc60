// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/dialogs.h"
#include "common/exceptions.h"
#include "common/guard.h"
#include "support/fake_dialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{

TEST(Guard, ShowsTheFailureInTheErrorBoxAndGoesOn)
{
    FakeDialogs fake;
    int after = 0;
    runGuarded([&] { throw EConvertError(QStringLiteral("'x' is not a valid integer value")); });
    runGuarded([&] { ++after; });
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, u"'x' is not a valid integer value.");
    EXPECT_EQ(fake.boxes[0].caption, QString::fromUtf8("终端设备配置工具软件"));
    EXPECT_EQ(fake.boxes[0].flags, 16);
    EXPECT_EQ(after, 1);
}

TEST(Guard, CatchesForeignExceptionsToo)
{
    FakeDialogs fake;
    runGuarded([] { throw std::runtime_error("boom"); });
    runGuarded([] { throw 42; });
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[0].text, u"boom.");
    EXPECT_EQ(fake.boxes[1].text, u"Unknown exception.");
}

TEST(Guard, AFailingBoxDoesNotEscape)
{
    FakeDialogs fake;
    fake.onBox = [](const FakeDialogs::Box&) { throw std::runtime_error("box broke"); };
    runGuarded([] { throw std::runtime_error("first"); });
    EXPECT_EQ(fake.boxes.size(), 1u);
}

TEST(Boxes, InformationAndConfirmationUseTheProgramsCaptionAndFlags)
{
    FakeDialogs fake;
    fake.answers = {MB::IDOK, MB::IDCANCEL, 7};
    infoBox(QStringLiteral("a"));
    EXPECT_FALSE(confirmBox(QStringLiteral("b")));
    EXPECT_FALSE(confirmBox(QStringLiteral("c"))) << "any answer but OK is no";
    fake.answers = {MB::IDOK};
    EXPECT_TRUE(confirmBox(QStringLiteral("d")));
    ASSERT_EQ(fake.boxes.size(), 4u);
    EXPECT_EQ(fake.boxes[0].flags, 64);
    EXPECT_EQ(fake.boxes[1].flags, 289);
    for (const auto& b : fake.boxes)
        EXPECT_EQ(b.caption, QString::fromUtf8("信息提示："));
}

} // namespace
