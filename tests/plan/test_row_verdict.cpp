// SPDX-License-Identifier: GPL-3.0-or-later
// What a row's check and watch come to, from the MACs heard at its two addresses.
#include "plan/row_verdict.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

const QString Dev = u"00:1a:2b:3c:4d:5e"_s;
const QString Other = u"00:aa:bb:cc:dd:ee"_s;
const QString Third = u"00:11:22:33:44:55"_s;
const QString Cur = u"192.168.1.200"_s;
const QString New = u"192.168.1.201"_s;

TEST(WatchVerdict, EachVerdictRestsOnTheMacsHeardAndTheTime)
{
    struct Case {
        const char* name;
        QString device;
        QStringList atNew;
        bool newKnown;
        QStringList atCurrent;
        bool limit;
        std::optional<AfterSend> verdict; // none: the watch goes on
    };
    const Case cases[] = {
        {"the device at its new address",
         Dev,
         {Dev},
         true,
         {},
         false,
         AfterSend{u"新地址在线 "_s + Dev, Dev, New}},
        {"the device at both for a moment",
         Dev,
         {Dev},
         true,
         {Dev},
         false,
         AfterSend{u"新地址在线 "_s + Dev, Dev, New}},
        {"another device there: wait, it may be joined",
         Dev,
         {Other},
         true,
         {Dev},
         false,
         std::nullopt},
        {"another device there when the time is up",
         Dev,
         {Other},
         true,
         {Dev},
         true,
         AfterSend{u"新地址被另一台设备占用 MAC "_s + Other, Other, New}},
        {"the device beside another one",
         Dev,
         {Other, Dev},
         true,
         {},
         false,
         AfterSend{u"冲突 "_s + Other + u"、"_s + Dev, Other + u"、"_s + Dev, New}},
        {"two others",
         Dev,
         {Other, Third},
         true,
         {Dev},
         false,
         AfterSend{u"冲突 "_s + Other + u"、"_s + Third, Other + u"、"_s + Third, New}},
        {"no device before",
         {},
         {Other},
         true,
         {},
         false,
         AfterSend{u"新地址在线 "_s + Other + u"（发送前未见设备）"_s, Other, New}},
        {"still at the old address: wait", Dev, {}, true, {Dev}, false, std::nullopt},
        {"still at the old address when the time is up",
         Dev,
         {},
         true,
         {Dev},
         true,
         AfterSend{u"仍在旧地址 "_s + Dev, Dev, Cur}},
        {"someone else at the old address",
         Dev,
         {},
         true,
         {Other},
         true,
         AfterSend{u"新地址无应答"_s, {}, {}}},
        {"nothing anywhere", Dev, {}, true, {}, true, AfterSend{u"新地址无应答"_s, {}, {}}},
        {"nothing, no device before", {}, {}, true, {}, true, AfterSend{u"新地址无应答"_s, {}, {}}},
        {"the new address could not be told",
         Dev,
         {},
         false,
         {},
         true,
         AfterSend{u"未确认"_s, {}, {}}},
        {"untold, but the device is heard at the old",
         Dev,
         {},
         false,
         {Dev},
         true,
         AfterSend{u"仍在旧地址 "_s + Dev, Dev, Cur}},
        {"untold, the time not yet up", Dev, {}, false, {}, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got =
            watchVerdict(c.device, {New, c.atNew, c.newKnown}, {Cur, c.atCurrent, true}, c.limit);
        ASSERT_EQ(got.has_value(), c.verdict.has_value());
        if (!got)
            continue;
        EXPECT_EQ(got->verdict, c.verdict->verdict);
        EXPECT_EQ(got->mac, c.verdict->mac);
        EXPECT_EQ(got->seenAt, c.verdict->seenAt);
    }
    EXPECT_EQ(offSubnetVerdict().verdict, u"新地址不在本机网段，无法确认"_s);
    EXPECT_TRUE(offSubnetVerdict().mac.isEmpty());
}

TEST(ConflictBefore, OnlyOtherMacsAtTheNewAddressConflict)
{
    struct Case {
        const char* name;
        QString device;
        QString next;
        QStringList atNew;
        QString conflict;
    };
    const Case cases[] = {
        {"nobody there", Dev, New, {}, {}},
        {"another device", Dev, New, {Other}, Other},
        {"the device answers both", Dev, New, {Dev}, {}},
        {"no device seen, someone there", {}, New, {Other}, Other},
        {"two others", Dev, New, {Other, Third}, Other + u"、"_s + Third},
        {"the device and another", Dev, New, {Dev, Other}, Other},
        {"the new address is the current one", {}, Cur, {Other}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(conflictBefore(c.device, {Cur, {c.device}, true}, {c.next, c.atNew, true}),
                  c.conflict)
            << c.name;
}

} // namespace
