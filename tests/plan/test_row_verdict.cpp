// SPDX-License-Identifier: GPL-3.0-or-later
// What a row's check and watch come to, from the MACs heard at its two addresses.
#include "plan/heard_sources.h"
#include "plan/plan_verifier.h"
#include "plan/row_verdict.h"

#include <gtest/gtest.h>

#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const QString Dev = u"00:1a:2b:3c:4d:5e"_s;
const QString Other = u"00:aa:bb:cc:dd:ee"_s;
const QString Third = u"00:11:22:33:44:55"_s;
const QString Cur = u"192.168.1.200"_s;
const QString New = u"192.168.1.201"_s;
const QString Away = u"192.168.1.205"_s;
const QString Away2 = u"192.168.1.206"_s;

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
        .replace(u"+"_s, u"、"_s)
        .replace(u"@1"_s, Away)
        .replace(u"@2"_s, Away2);
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

TEST(MovedVerdict, OnlyAFreshAnswerWithTheDevicesMacNamesWhereItWent)
{
    struct Fresh {
        const char* address; // "@1" or "@2"
        const char* macs;
        bool known;
    };
    struct Case {
        const char* name;
        const char* device;
        const char* verdict; // the watch's, with its MAC and address
        const char* mac;
        const char* seenAt;
        std::vector<Fresh> fresh;
        // What it becomes; the watch's own when null.
        const char* moved = nullptr;
        const char* movedTo = nullptr;
    };
    const Case cases[] = {
        {"no MAC known before sending", "", "新地址无应答", "", "", {{"@1", "D", true}}},
        {"the device answers elsewhere",
         "D",
         "新地址无应答",
         "",
         "",
         {{"@1", "D", true}},
         "新地址无应答 在 @1",
         "@1"},
        {"another MAC answers there", "D", "新地址无应答", "", "", {{"@1", "O", true}}},
        {"only a stale cache entry there", "D", "新地址无应答", "", "", {{"@1", "D", false}}},
        {"two addresses, one of another",
         "D",
         "仍在旧地址 D",
         "D",
         "192.168.1.200",
         {{"@2", "OD", true}, {"@1", "O", true}, {"@1", "D", true}},
         "仍在旧地址 D 在 @2+@1",
         "@2+@1"},
        {"already at its new address",
         "D",
         "新地址在线 D",
         "D",
         "192.168.1.201",
         {{"@1", "D", true}}},
        {"off the subnet, heard on it",
         "D",
         "新地址不在本机网段，无法确认",
         "",
         "",
         {{"@1", "D", true}},
         "新地址不在本机网段，无法确认 在 @1",
         "@1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AfterSend watch{withMacs(c.verdict), withMacs(c.mac), QString::fromLatin1(c.seenAt)};
        QList<Answers> fresh;
        for (const Fresh& f : c.fresh)
            fresh.append({withMacs(f.address), macsOf(f.macs), f.known});
        const QString device = macsOf(c.device).value(0);
        const AfterSend got = movedVerdict(watch, device, fresh);
        EXPECT_EQ(movedVerdict(watch, device, {}).verdict, watch.verdict);
        if (!c.moved) {
            EXPECT_EQ(got.verdict, watch.verdict);
            EXPECT_EQ(got.mac, watch.mac);
            EXPECT_EQ(got.seenAt, watch.seenAt);
            EXPECT_TRUE(got.movedTo.isEmpty());
            continue;
        }
        EXPECT_EQ(got.verdict, withMacs(c.moved));
        EXPECT_EQ(got.mac, Dev);
        EXPECT_EQ(got.seenAt, withMacs(c.movedTo));
        EXPECT_EQ(got.movedTo, withMacs(c.movedTo));
    }
}

TEST(MovedVerdict, CandidatesAreOnTheLaptopsSubnetsNeitherRowAddressNorItsOwn)
{
    auto at = [](uint32_t last) { return 0xC0A80100u | last; }; // 192.168.1.x
    const QList<LocalAddress> laptop = {{u"eth0"_s, at(10), 24, false},
                                        {u"lo"_s, 0x7F000001u, 8, true}};
    const RowAddresses row{Cur, New, at(200), at(201), {}};
    struct Case {
        const char* name;
        QList<uint32_t> withMac;
        QList<uint32_t> heard;
        QList<uint32_t> candidates;
    };
    const Case cases[] = {
        {"the table first, then the heard, each once",
         {at(205), at(200)},
         {at(206), at(205), at(201)},
         {at(205), at(206)}},
        {"the laptop's own and other subnets", {at(10), 0x0A000005u}, {0x7F000001u}, {}},
        {"at most eight",
         {at(20), at(21), at(22), at(23), at(24)},
         {at(25), at(26), at(27), at(28), at(29)},
         {at(20), at(21), at(22), at(23), at(24), at(25), at(26), at(27)}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(movedCandidates(c.withMac, c.heard, row, laptop), c.candidates) << c.name;
}

TEST(HeardSources, TheLatestFirstEachOnceWithinTheTimeAndOnlyTheLastKept)
{
    int64_t now = 1000;
    HeardSources heard([&] { return now; });
    heard.heard(1);
    now += 100;
    heard.heard(2);
    now += 100;
    heard.heard(1);
    EXPECT_EQ(heard.within(100), (QList<uint32_t>{1, 2})); // 2 came exactly 100 ms ago
    EXPECT_EQ(heard.within(99), (QList<uint32_t>{1}));
    now += 1;
    EXPECT_TRUE(heard.within(0).isEmpty());
    for (uint32_t a = 100; a < 100 + HeardSources::Kept + 5; ++a)
        heard.heard(a);
    const QList<uint32_t> kept = heard.within(1000);
    ASSERT_EQ(kept.size(), HeardSources::Kept);
    EXPECT_EQ(kept.first(), 100u + HeardSources::Kept + 4);
    EXPECT_EQ(kept.last(), 105u);
}

// The watch's search asks the addresses it was given with the installed probe: the MAC it
// looks for is the one seen before sending, or where none was, the plan's.
TEST(PlanVerifierSearch, LooksForTheDeviceSeenOrElseThePlansMac)
{
    struct Case {
        const char* name;
        QString device;  // seen before sending
        QString planned; // the plan's MAC
        const char* verdict;
    };
    const Case cases[] = {
        {"the device seen", Dev, Other, "新地址无应答 在 192.168.1.77"},
        {"none seen, the plan's", {}, Dev, "新地址无应答 在 192.168.1.77"},
        {"none seen, none planned", {}, {}, "新地址无应答"},
        {"seen, though the plan names another", Other, Dev, "新地址无应答"},
    };
    RecordingPresenceProbe probe;
    probe.answer(0xC0A8014D, Presence(PresenceKind::Present, Dev)); // 192.168.1.77
    installPresenceProbe(&probe);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlanVerifier verifier;
        verifier.setWatchTiming(10, 50);
        verifier.setAddressSource([] { return QList<LocalAddress>{{u"eth0"_s, 0xC0A8010A, 24}}; });
        verifier.setHeardSource([](int64_t) { return QList<uint32_t>{0xC0A8014D}; });
        std::optional<AfterSend> after;
        verifier.watchAfter(u"k"_s, {Cur, New, 0xC0A801C8, 0xC0A801C9, c.planned},
                            {c.device, {}, c.device.isEmpty() ? QString() : Cur, {}},
                            [&](const AfterSend& a) { after = a; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return after.has_value(); }, 5000));
        EXPECT_EQ(after->verdict, QString::fromUtf8(c.verdict));
    }
    installPresenceProbe(nullptr);
}

} // namespace
