// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/udp_server.h"
#include "common/posix_file.h"
#include "plan/plan_results.h"
#include "plan/plan_session.h"
#include "plan/plan_target.h"
#include "fake_verifier.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

// The page as the session sees it: texts to resolve rows against, and what it was shown.
// Showing a send raises the command's box, as the page does.
struct FakePage : PlanTarget {
    ParamFields fields;
    std::optional<DeviceType> type = DeviceType::first();
    std::vector<DownloadOutcome> shown;

    ParamFields fieldTexts() const override { return fields; }
    std::optional<DeviceType> chosenType() const override { return type; }
    void showPlanSend(const DownloadOutcome& outcome) override
    {
        shown.push_back(outcome);
        infoBox(outcome.boxText());
    }
};

const QByteArray kRow2 = hex("48 C0A80115 C0A801F8 C0A80101 1D4C 1D56 1D60 1500 FFFFFFFF E0000130"
                             "000000000000000000000000");

class PlanSessionTest : public ::testing::Test
{
protected:
    FakeDialogs fake;
    TUDPServer udp;
    UdpProbe probe;
    FakePage page;
    FakeVerifier verifier;
    QTemporaryDir dir;
    std::unique_ptr<PlanSession> session;
    bool connected = false;
    int tick = 0;

    void SetUp() override
    {
        udp.SetDefaultPort(freeUdpPort());
        udp.SetActive(true);
        session = std::make_unique<PlanSession>(page, udp, verifier);
        session->setClock([this] { return u"T%1"_s.arg(++tick); });
        session->setConnectedCheck([this] { return connected; });
    }

    // A plan of two devices at the probe's port, its rows' new addresses from the given octet.
    QString planFile(const QString& name, int first)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(u"设备类型,当前设备IP,当前设备命令端口,更新后设备IP,设备地址\r\n"
                u"普通终端,127.0.0.1,%1,192.168.1.%2,%2\r\n"
                u"普通终端,127.0.0.1,%1,192.168.1.%3,%3\r\n"_s.arg(probe.port())
                    .arg(first)
                    .arg(first + 1)
                    .toUtf8());
        return path;
    }
    void take(const QString& path)
    {
        const Plan plan =
            readPlan(readWholeFile(QFile::encodeName(path)).value(), {{}, std::nullopt});
        ASSERT_TRUE(plan.clean()) << planReport(plan).toStdString();
        ASSERT_TRUE(session->replace(path, plan, {}));
    }
    static QList<PlanResult> results(const QString& planPath)
    {
        QFile f(planResultsPath(planPath));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return readPlanResults(f.readAll());
    }
};

TEST_F(PlanSessionTest, SendsTheRowThroughTheDownloadAndRecordsItWithoutProbesWhenDisconnected)
{
    const QString path = planFile(u"a.csv"_s, 21);
    take(path);
    QSignalSpy sent(session.get(), &PlanSession::rowSent);
    session->press(0);
    const auto got = probe.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data.toHex(' '), kRow2.toHex(' '));
    EXPECT_TRUE(verifier.checks.empty()) << "nothing is probed while disconnected";
    EXPECT_TRUE(verifier.watches.empty());
    ASSERT_EQ(page.shown.size(), 1u);
    EXPECT_EQ(page.shown[0].fields.upip, u"192.168.1.21"_s) << "the page shows the row sent";
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, u"设备设置完成！"_s);
    EXPECT_EQ(session->state(0), u"已发送 T1"_s);
    EXPECT_FALSE(session->busy());
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0][0].toInt(), 0);
    EXPECT_EQ(session->nextRow(0), 1);
    const auto back = results(path);
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].row, 2);
    EXPECT_TRUE(back[0].sent);
    EXPECT_EQ(back[0].key, planRowKey(session->plan().rows[0]));
}

// What the page leaves to the row is read at the press, with the command's checks and texts.
TEST_F(PlanSessionTest, APageFieldThatFailsEndsTheRowWithTheCommandsTextAndFocus)
{
    struct Case {
        const char* name;
        QString ParamFields::*field;
        QString text;
        DownloadOutcome::Step step;
        QString state;
        std::optional<ParamField> focus;
    };
    const Case cases[] = {
        {"empty server", &ParamFields::serverIP, QString(), DownloadOutcome::Step::Invalid,
         u"失败：服务器IP不能为空！"_s, ParamField::ServerIP},
        {"short gateway", &ParamFields::netIP, u"1.1.1"_s, DownloadOutcome::Step::Invalid,
         u"失败：不合规则的非法网关地址！"_s, ParamField::NetIP},
        {"no integer", &ParamFields::gpip, u"a.b.c.d"_s, DownloadOutcome::Step::Unconverted,
         u"失败：'a' is not a valid integer value."_s, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = planFile(QString::fromLatin1(c.name) + u".csv"_s, 21);
        take(path);
        page.fields = {};
        page.fields.*c.field = c.text;
        page.shown.clear();
        session->press(0);
        EXPECT_FALSE(probe.receive(100).has_value());
        ASSERT_EQ(page.shown.size(), 1u);
        EXPECT_EQ(page.shown[0].step, c.step);
        EXPECT_EQ(page.shown[0].focus, c.focus);
        EXPECT_EQ(session->state(0), c.state);
        EXPECT_EQ(session->nextRow(-1), 0) << "a failed row is still to be sent";
        const auto back = results(path);
        ASSERT_EQ(back.size(), 1);
        EXPECT_FALSE(back[0].sent);
        EXPECT_EQ(u"失败："_s + back[0].message, c.state);
    }
}

TEST_F(PlanSessionTest, TheVerifierIsAskedAndItsAnswersAreRecorded)
{
    connected = true;
    const QString path = planFile(u"a.csv"_s, 21);
    take(path);
    session->press(0);
    EXPECT_TRUE(session->busy());
    EXPECT_EQ(session->state(0), u"检查中"_s);
    EXPECT_FALSE(session->pressable(1)) << "one row at a time";
    ASSERT_EQ(verifier.checks.size(), 1u);
    EXPECT_EQ(verifier.checks[0].first.currentIP, u"127.0.0.1"_s);
    EXPECT_EQ(verifier.checks[0].first.newIP, u"192.168.1.21"_s);
    EXPECT_EQ(verifier.checks[0].first.next, 0xC0A80115u);
    verifier.checks[0].second({u"00:aa:bb:cc:dd:ee"_s, {}, u"127.0.0.1"_s, {}});
    ASSERT_TRUE(probe.receive().has_value());
    EXPECT_FALSE(session->busy());
    ASSERT_EQ(verifier.watches.size(), 1u);
    EXPECT_EQ(verifier.watches[0].first, planRowKey(session->plan().rows[0]));
    verifier.watches[0].second(
        {u"新地址在线 00:aa:bb:cc:dd:ee"_s, u"00:aa:bb:cc:dd:ee"_s, u"192.168.1.21"_s});
    EXPECT_EQ(session->state(0), u"新地址在线 00:aa:bb:cc:dd:ee"_s);
    const auto back = results(path);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].macBefore, u"00:aa:bb:cc:dd:ee"_s) << "the send, before its verdict";
    EXPECT_EQ(back[0].macBeforeAt, u"127.0.0.1"_s);
    EXPECT_TRUE(back[0].verdict.isEmpty());
    EXPECT_EQ(back[1].macBefore, u"00:aa:bb:cc:dd:ee"_s);
    EXPECT_EQ(back[1].macBeforeAt, u"127.0.0.1"_s);
    EXPECT_EQ(back[1].verdict, u"新地址在线 00:aa:bb:cc:dd:ee"_s);
    EXPECT_EQ(back[1].verdictTime, u"T2"_s);
    EXPECT_EQ(back[1].macAfter, u"00:aa:bb:cc:dd:ee"_s);
    EXPECT_EQ(back[1].macAfterAt, u"192.168.1.21"_s);
}

// A look ahead at a row already sent (the panel looks at the current row after each send,
// and with none left that is the row just sent) says nothing over its state.
TEST_F(PlanSessionTest, ALookAheadAtASentRowLeavesItsStateAlone)
{
    connected = true;
    take(planFile(u"a.csv"_s, 21));
    fake.answers.push_back(MB::IDOK);
    session->press(0);
    session->lookAhead(0); // while the press is checked: waits behind it
    ASSERT_EQ(verifier.checks.size(), 2u);
    verifier.checks[0].second({u"00:aa:bb:cc:dd:ee"_s, u"00:11:22:33:44:55"_s, {}, {}});
    ASSERT_TRUE(probe.receive().has_value());
    verifier.checks[1].second({u"00:aa:bb:cc:dd:ee"_s, u"00:11:22:33:44:55"_s, {}, {}});
    EXPECT_EQ(session->state(0), u"已发送 T1"_s) << "the earlier look ahead, answered late";
    session->lookAhead(0);
    EXPECT_EQ(verifier.checks.size(), 2u) << "a sent row is not looked at again";
    ASSERT_EQ(verifier.watches.size(), 1u);
    verifier.watches[0].second({u"新地址被另一台设备占用 MAC 00:11:22:33:44:55"_s, {}, {}});
    EXPECT_EQ(session->state(0), u"新地址被另一台设备占用 MAC 00:11:22:33:44:55"_s);
}

// Each doubt of the check is its own box, the device's first; the first declined sends nothing
// and says why in the results, and a send records what was confirmed, the plan's MAC and
// remarks, the laptop's card and the capture's frame.
TEST_F(PlanSessionTest, DoubtsAreAskedInTurnAndTheResultsSayWhatWasDeclinedOrConfirmed)
{
    const QString planned = u"00:1a:2b:3c:4d:5e"_s;
    const QString mismatch = u"设备不符：应为 %1，实为 00:aa:bb:cc:dd:ee"_s.arg(planned);
    const QString holder = u"00:11:22:33:44:55"_s;
    const QString conflict = u"冲突 "_s + holder;
    const QString deviceBox =
        u"当前设备IP 127.0.0.1 上应答的不是方案中的设备。\n%1\n仍然发送吗？"_s.arg(mismatch);
    const QString conflictBox =
        u"更新后设备IP 192.168.1.21 已被另一台设备（MAC %1）占用。\n仍然发送吗？"_s.arg(holder);
    struct Case {
        const char* name;
        QString mismatch;
        QString conflict;
        std::vector<int> answers;
        QStringList boxes;
        QString state; // of the row afterwards; the results' message when it was declined
        bool sent;
    };
    const Case cases[] = {
        {"the device declined", mismatch, {}, {MB::IDCANCEL}, {deviceBox}, mismatch, false},
        {"the conflict cancelled", {}, holder, {MB::IDCANCEL}, {conflictBox}, conflict, false},
        {"the conflict declined after the device",
         mismatch,
         holder,
         {MB::IDOK, MB::IDCANCEL},
         {deviceBox, conflictBox},
         mismatch + u"；"_s + conflict,
         false},
        {"both confirmed",
         mismatch,
         holder,
         {MB::IDOK, MB::IDOK, MB::IDOK},
         {deviceBox, conflictBox, u"设备设置完成！"_s},
         u"已发送 T1"_s,
         true},
    };
    connected = true;
    session->setAddressSource([] { return QList<LocalAddress>{{u"lab0"_s, 0x7F000005, 8}}; });
    session->setCaptureMark([] { return CaptureMark{u"/x/site.pcapng"_s, 42}; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromUtf8(c.name) + u".csv"_s);
        ASSERT_TRUE(writeTestFile(
            path,
            u"设备类型,当前设备IP,当前设备命令端口,更新后设备IP,设备地址,设备MAC,楼层\r\n"
            u"普通终端,127.0.0.1,%1,192.168.1.21,21,00-1A-2B-3C-4D-5E,3F\r\n"_s.arg(probe.port())
                .toUtf8()));
        take(path);
        fake.boxes.clear();
        tick = 0;
        verifier.checks.clear();
        fake.answers.assign(c.answers.begin(), c.answers.end());
        session->press(0);
        ASSERT_EQ(verifier.checks.size(), 1u);
        EXPECT_EQ(verifier.checks[0].first.mac, planned);
        verifier.checks[0].second({{}, c.conflict, {}, c.mismatch});
        QStringList boxes;
        for (const auto& box : fake.boxes) {
            boxes.append(box.text);
            EXPECT_EQ(box.flags, boxes.size() < c.boxes.size() || !c.sent ? MB::Confirmation
                                                                          : MB::Information);
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(probe.receive(c.sent ? 2000 : 100).has_value(), c.sent);
        EXPECT_FALSE(session->busy());
        EXPECT_EQ(session->state(0), c.state);
        const auto back = results(path);
        ASSERT_EQ(back.size(), 1);
        EXPECT_EQ(planResultState(back[0]), c.sent ? u"已发送"_s : u"已拒绝"_s);
        EXPECT_EQ(back[0].plannedMac, planned);
        EXPECT_EQ(back[0].remarks, u"楼层=3F"_s);
        if (!c.sent) {
            EXPECT_EQ(back[0].message, c.state);
            continue;
        }
        EXPECT_EQ(back[0].confirmed, mismatch + u"；"_s + conflict);
        EXPECT_EQ(back[0].card + u' ' + back[0].laptopAddress, u"lab0 127.0.0.5"_s);
        EXPECT_EQ(back[0].capture + u'#' + back[0].frame, u"/x/site.pcapng#42"_s);
    }
}

// Another plan arrives while a box of the pressed row is up: it is refused until the row is
// done, and the row's result goes to the plan it came from.
TEST_F(PlanSessionTest, APlanReplacedWhileABoxIsUpWaitsAndTheResultStaysWithItsPlan)
{
    struct Case {
        const char* name;
        QString conflict; // a conflict puts up the confirmation box before the send's box
        int replaceAtBox; // 1-based box at which the other plan tries to come in
    };
    const Case cases[] = {
        {"send's box", {}, 1},
        {"conflict box", u"00:11:22:33:44:55"_s, 1},
        {"send's box after a conflict", u"00:11:22:33:44:55"_s, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connected = true;
        const QString first = planFile(QString::fromLatin1(c.name) + u"-1.csv"_s, 21);
        // The same devices in another file: the same row keys, so only the path tells them apart.
        const QString second = planFile(QString::fromLatin1(c.name) + u"-2.csv"_s, 21);
        take(first);
        verifier.checks.clear();
        verifier.watches.clear();
        fake.boxes.clear();
        const Plan other =
            readPlan(readWholeFile(QFile::encodeName(second)).value(), {{}, std::nullopt});
        bool refused = false;
        fake.onBox = [&](const FakeDialogs::Box&) {
            if (static_cast<int>(fake.boxes.size()) == c.replaceAtBox)
                refused = !session->replace(second, other, {});
        };
        session->press(0);
        ASSERT_EQ(verifier.checks.size(), 1u);
        verifier.checks[0].second({u"00:aa:bb:cc:dd:ee"_s, c.conflict, {}, {}});
        fake.onBox = nullptr;
        EXPECT_TRUE(refused);
        const auto got = probe.receive();
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->data.toHex(' '), kRow2.toHex(' ')) << "the first plan's row, whole";
        EXPECT_EQ(session->path(), first);
        EXPECT_EQ(results(first).size(), 1);
        EXPECT_TRUE(results(second).isEmpty());

        // Once the row is done the other plan comes in; the first one's verdict still goes
        // to the first plan's file, and to none of the second plan's rows.
        ASSERT_TRUE(session->replace(second, other, {}));
        ASSERT_EQ(verifier.watches.size(), 1u);
        verifier.watches[0].second({u"新地址无应答"_s, {}, {}});
        EXPECT_EQ(results(first).size(), 2);
        EXPECT_EQ(results(first).last().verdict, u"新地址无应答"_s);
        EXPECT_TRUE(results(second).isEmpty());
        EXPECT_EQ(session->state(0), u"待发送"_s);
        EXPECT_EQ(session->state(1), u"待发送"_s);
    }
}

TEST_F(PlanSessionTest, ALookAheadAnsweredForAReplacedPlanIsDropped)
{
    connected = true;
    const QString first = planFile(u"a.csv"_s, 21);
    take(first);
    session->lookAhead(0);
    EXPECT_FALSE(session->busy()) << "a look ahead keeps no plan out";
    take(planFile(u"b.csv"_s, 31));
    ASSERT_EQ(verifier.checks.size(), 1u);
    verifier.checks[0].second({{}, u"00:11:22:33:44:55"_s, {}, {}});
    EXPECT_EQ(session->state(0), u"待发送"_s);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(PlanSessionTest, AnswersAfterTheSessionIsGoneAreDropped)
{
    connected = true;
    take(planFile(u"a.csv"_s, 21));
    session->press(0);
    session.reset();
    ASSERT_EQ(verifier.checks.size(), 1u);
    verifier.checks[0].second({{}, u"00:11:22:33:44:55"_s, {}, {}});
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_FALSE(probe.receive(100).has_value());
}

} // namespace
