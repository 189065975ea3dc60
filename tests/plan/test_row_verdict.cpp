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

// MACs by letter: D the device, O and T two others; "DO" is D then O.
QStringList macsOf(const char* letters)
{
    QStringList macs;
    for (const char* l = letters; *l; ++l)
        macs.append(*l == 'D' ? Dev : *l == 'O' ? Other : Third);
    return macs;
}

QString withMacs(const char* text)
{
    return QString::fromUtf8(text)
        .replace(u"D"_s, Dev)
        .replace(u"O"_s, Other)
        .replace(u"T"_s, Third)
        .replace(u"+"_s, u"、"_s);
}

TEST(WatchVerdict, EachVerdictRestsOnTheMacsHeardAndTheTime)
{
    struct Case {
        const char* name;
        const char* device;    // the MAC before sending, as letters
        const char* atNew;     // every MAC heard at the new address since the send
        bool newKnown;         // the last probe there could tell
        const char* atCurrent; // heard at the current address in the last round
        bool limit;
        const char* verdict; // nullptr: the watch goes on
        const char* mac;
        const char* seenAt; // "new", "current" or ""
    };
    const Case cases[] = {
        {"the device at its new address", "D", "D", true, "", false, "新地址在线 D", "D", "new"},
        {"another device there: wait", "D", "O", true, "D", false, nullptr, "", ""},
        {"another device when the time is up", "D", "O", true, "D", true,
         "新地址被另一台设备占用 MAC O", "O", "new"},
        {"the device beside another", "D", "OD", true, "", false, "冲突 O+D", "O+D", "new"},
        {"two others", "D", "OT", true, "D", false, "冲突 O+T", "O+T", "new"},
        {"no device before", "", "O", true, "", false, "新地址在线 O（发送前未见设备）", "O",
         "new"},
        {"still at the old address: wait", "D", "", true, "D", false, nullptr, "", ""},
        {"still at the old address at the end", "D", "", true, "D", true, "仍在旧地址 D", "D",
         "current"},
        {"someone else at the old address", "D", "", true, "O", true, "新地址无应答", "", ""},
        {"nothing anywhere", "D", "", true, "", true, "新地址无应答", "", ""},
        {"the new address could not be told", "D", "", false, "", true, "未确认", "", ""},
        {"untold, the device heard at the old", "D", "", false, "D", true, "仍在旧地址 D", "D",
         "current"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString device = macsOf(c.device).value(0);
        const auto got = watchVerdict(device, {New, macsOf(c.atNew), c.newKnown},
                                      {Cur, macsOf(c.atCurrent), true}, c.limit);
        ASSERT_EQ(got.has_value(), c.verdict != nullptr);
        if (!got)
            continue;
        EXPECT_EQ(got->verdict, withMacs(c.verdict));
        EXPECT_EQ(got->mac, withMacs(c.mac));
        const QString seenAt = QString::fromLatin1(c.seenAt);
        EXPECT_EQ(got->seenAt, seenAt == u"new"_s ? New : seenAt == u"current"_s ? Cur : QString());
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

TEST(DeviceMismatch, OnlyAFreshAnswerWithoutThePlannedMacIsAnotherDevice)
{
    struct Case {
        const char* name;
        QString planned;
        const char* atCurrent;
        bool known;
        const char* mismatch;
    };
    const Case cases[] = {
        {"the plan names none", {}, "O", true, ""},
        {"the planned device", Dev, "D", true, ""},
        {"the planned device beside another", Dev, "OD", true, ""},
        {"another device", Dev, "O", true, "设备不符：应为 D，实为 O"},
        {"two others", Dev, "OT", true, "设备不符：应为 D，实为 O+T"},
        {"nobody answered", Dev, "", true, ""},
        {"only an old cache entry", Dev, "O", false, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(deviceMismatch(c.planned, {Cur, macsOf(c.atCurrent), c.known}),
                  withMacs(c.mismatch))
            << c.name;
}

} // namespace
