// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/posix_file.h"
#include "common/sysutils.h"
#include "plan/csv_reader.h"
#include "plan/plan.h"
#include "plan/plan_results.h"

#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <ostream>

using namespace Qt::StringLiterals;

// A result as its line in the file.
static void PrintTo(const PlanResult& result, std::ostream* os)
{
    *os << planResultLine(result, false).toStdString();
}

namespace
{

using testsupport::PrintTo;

QByteArray utf8(const QString& s)
{
    return s.toUtf8();
}

struct CsvCase {
    const char* name;
    QByteArray bytes;
    CsvEncoding encoding;
    QList<QStringList> records;
    QList<int> lines;
};

class CsvReader : public ::testing::TestWithParam<CsvCase>
{};

TEST_P(CsvReader, DecodesAndSplitsAsSpreadsheetsWrite)
{
    const auto& c = GetParam();
    const CsvText text = decodeCsv(c.bytes);
    EXPECT_EQ(text.encoding, c.encoding);
    bool unterminated = true;
    const QList<CsvRecord> records = parseCsv(text.text, &unterminated);
    EXPECT_FALSE(unterminated);
    ASSERT_EQ(records.size(), c.records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].cells, c.records[i]) << "record " << i;
        EXPECT_EQ(records[i].line, c.lines[i]) << "record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Plan, CsvReader,
    ::testing::Values(
        CsvCase{"utf8WithMark",
                "\xEF\xBB\xBF" + utf8(u"设备类型,new_ip\r\n普通终端,192.168.1.5\r\n"_s),
                CsvEncoding::Utf8Bom,
                {{u"设备类型"_s, u"new_ip"_s}, {u"普通终端"_s, u"192.168.1.5"_s}},
                {1, 2}},
        CsvCase{"utf8Plain",
                utf8(u"设备地址\n网络CD"_s),
                CsvEncoding::Utf8,
                {{u"设备地址"_s}, {u"网络CD"_s}},
                {1, 2}},
        CsvCase{"codePage936",
                toCp936(u"设备类型,设备地址\r\n网络收音,7\r\n"_s),
                CsvEncoding::Cp936,
                {{u"设备类型"_s, u"设备地址"_s}, {u"网络收音"_s, u"7"_s}},
                {1, 2}},
        CsvCase{"quoting",
                "a,\"b,c\",\"say \"\"hi\"\"\",\"x\r\ny\"\r\n\"\",z\"q\r\n",
                CsvEncoding::Utf8,
                {{u"a"_s, u"b,c"_s, u"say \"hi\""_s, u"x\r\ny"_s}, {QString(), u"z\"q"_s}},
                {1, 3}},
        CsvCase{"emptyLineAndBareCR",
                "a\n\nb\rc,",
                CsvEncoding::Utf8,
                {{u"a"_s}, {QString()}, {u"b"_s}, {u"c"_s, QString()}},
                {1, 2, 3, 4}}));

TEST(CsvReader, ReportsAQuoteLeftOpen)
{
    bool unterminated = false;
    const auto records = parseCsv(u"a,\"b\r\nc"_s, &unterminated);
    EXPECT_TRUE(unterminated);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].cells, (QStringList{u"a"_s, u"b\r\nc"_s}));
}

PlanBase pageWithType(int code)
{
    PlanBase base;
    if (code != 0)
        base.deviceType = DeviceType(code);
    return base;
}

// The same devices under the page's captions and under the English keys.
TEST(Plan, HeadersInEitherLanguageGiveTheSameFields)
{
    const QString rows = u"网络收音,192.168.1.21,21,7600\r\n10,192.168.1.22,0x16,7600\r\n"_s;
    const Plan chinese =
        readPlan(utf8(u"设备类型：,更新后设备IP,设备地址,命令端口\r\n"_s + rows), pageWithType(0));
    const Plan english = readPlan(utf8(u"Type,new_ip,address,command_port\r\n"_s + rows), {});
    for (const Plan* plan : {&chinese, &english}) {
        ASSERT_TRUE(plan->clean()) << planReport(*plan).toStdString();
        ASSERT_EQ(plan->rows.size(), 2);
        EXPECT_EQ(plan->rows[0].deviceType, DeviceType(10));
        EXPECT_EQ(plan->rows[1].deviceType, DeviceType(10));
        const ParamFields f = resolvePlanRow(plan->rows[1], ParamFields{});
        EXPECT_EQ(f.upip, u"192.168.1.22"_s);
        EXPECT_EQ(f.address, u"0x16"_s);
        EXPECT_EQ(f.order, u"7600"_s);
        EXPECT_EQ(f.serverIP, u"192.168.1.248"_s); // absent: the page's text
    }
}

struct CheckCase {
    const char* name;
    QString csv;
    PlanBase base;
    QStringList issues;
    bool blocked;
    QList<bool> faulty;
};

class PlanChecks : public ::testing::TestWithParam<CheckCase>
{};

TEST_P(PlanChecks, ReportRowColumnAndTheDownloadsMessage)
{
    const auto& c = GetParam();
    const Plan plan = readPlan(utf8(c.csv), c.base);
    QStringList issues = plan.notes; // as the report lists them: notes first
    for (const PlanIssue& issue : plan.issues)
        issues.append(issue.text());
    EXPECT_EQ(issues, c.issues);
    EXPECT_EQ(plan.blocked, c.blocked);
    QList<bool> faulty;
    for (const PlanRow& row : plan.rows)
        faulty.append(row.faulty);
    EXPECT_EQ(faulty, c.faulty);
}

PlanBase pagingGroup(const QString& group)
{
    PlanBase base = pageWithType(8);
    base.fields.groupIP = group;
    return base;
}

INSTANTIATE_TEST_SUITE_P(
    Plan, PlanChecks,
    ::testing::Values(
        CheckCase{"clean",
                  u"type,new_ip,address\n1,192.168.1.5,5\n寻呼主机,192.168.1.6,6\n"_s,
                  {},
                  {},
                  false,
                  {false, false}},
        CheckCase{"firstFaultInTheDownloadsOrder",
                  u"type,current_ip,new_ip,address\n1,,1.2,5\n"_s,
                  {},
                  {u"第2行，current_ip：当前设备IP不能为空！"_s},
                  false,
                  {true}},
        CheckCase{"captionOfTheAlarmField",
                  u"设备类型,报警主机一IP,设备地址\n一键报警,1.2.3,7\n"_s,
                  {},
                  {u"第2行，报警主机一IP：不合规则的非法报警主机一IP"_s},
                  false,
                  {true}},
        CheckCase{"absentColumnTakesThePagesText",
                  u"new_ip,address\n192.168.1.5,5\n"_s,
                  pagingGroup(u"1.2"_s),
                  {u"第2行，组播IP：不合规则的非法组播IP！"_s},
                  false,
                  {true}},
        CheckCase{"conversionErrorOfTheBox",
                  u"type,new_ip,address,server_port\n1,192.168.1.5,5,75x\n"_s,
                  {},
                  {u"第2行，server_port：'75x' is not a valid integer value."_s},
                  false,
                  {true}},
        CheckCase{"currentPortAsTheSendReportsIt",
                  u"type,new_ip,address,current_port\n1,192.168.1.5,5,\n"_s,
                  {},
                  {u"第2行，current_port：设备设置错误！"_s},
                  false,
                  {true}},
        CheckCase{"sameAddressesOnTheWire",
                  u"type,new_ip,address\n1,192.168.1.5,5\n1, 192.168.1.5 ,6\n1,192.168.1.7,"
                  u"0x5\n"_s,
                  {},
                  {u"第2行，new_ip：与第3行重复"_s, u"第2行，address：与第4行重复"_s,
                   u"第3行，new_ip：与第2行重复"_s, u"第4行，address：与第2行重复"_s},
                  false,
                  {true, true, true}},
        CheckCase{"emptyRowAndBadType",
                  u"type,new_ip,address\n1,192.168.1.5,5\n,,\n13,192.168.1.6,6\n"_s,
                  {},
                  {u"第3行：空行"_s, u"第4行，type：无效的设备类型“13”"_s},
                  false,
                  {false, true, true}},
        CheckCase{"repeatedColumn",
                  u"type,new_ip,更新后设备IP\n1,192.168.1.5,192.168.1.5\n"_s,
                  {},
                  {u"第1行，更新后设备IP：与第2列重复"_s},
                  true,
                  {false}},
        // Kept for the table, one note for all of them, and the plan stays clean.
        CheckCase{"columnsThePlanDoesNotKnow",
                  u"备注,type,楼层,new_ip,\n门口,1,3,192.168.1.5,x\n"_s,
                  {},
                  {u"提示：以下列不是参数，只显示，不发送：备注、楼层、第5列"_s},
                  false,
                  {false}},
        // The rows after the quote are lost in its cell: none may go, not even those before.
        CheckCase{"quoteLeftOpen",
                  u"type,new_ip,address\n1,192.168.1.5,5\n1,\"192.168.1.6,6\n1,192.168.1.7,7\n"_s,
                  {},
                  {u"第3行：引号没有闭合，这一行起读不出，整个方案不能发送"_s},
                  true,
                  {false, true}},
        // A MAC is checked beside the download's checks, in either notation of a label.
        CheckCase{"macs",
                  u"type,new_ip,address,设备MAC\n1,192.168.1.5,5,00-1A-2B-3C-4D-5E\n"
                  u"1,192.168.1.6,6,001a.2b3c.4d5e\n1,192.168.1.7,7,00:1a:2b:3c:4d\n"
                  u"1,192.168.1.8,8,01:00:5e:00:01:30\n1,192.168.1.9,9,\n"_s,
                  {},
                  {u"第2行，设备MAC：与第3行重复"_s, u"第3行，设备MAC：与第2行重复"_s,
                   u"第4行，设备MAC：无效的MAC地址“00:1a:2b:3c:4d”"_s,
                   u"第5行，设备MAC：01:00:5e:00:01:30 不是设备的MAC地址"_s},
                  false,
                  {true, true, true, true, false}},
        CheckCase{"repeatedMacColumn",
                  u"type,new_ip,MAC,设备mac\n1,192.168.1.5,,\n"_s,
                  {},
                  {u"第1行，设备mac：与第3列重复"_s},
                  true,
                  {false}},
        CheckCase{"noTypeAnywhere",
                  u"new_ip\n192.168.1.5\n"_s,
                  {},
                  {u"第1行，设备类型：方案中没有这一列，页面上也还未选择设备类型"_s},
                  true,
                  {false}}));

struct LimitCase {
    const char* name;
    qint64 size; // a file of this size (zeros), unless rows is set
    int rows;    // a header and this many empty rows
    QString refusal;
};

class PlanFileLimits : public ::testing::TestWithParam<LimitCase>
{};

// A file larger than any plan is refused before it is read, and so is one with too many rows.
TEST_P(PlanFileLimits, RefuseAtOnceWhatNoPlanHolds)
{
    const auto& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"site.csv"_s);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    if (c.rows > 0)
        f.write("type\n" + QByteArray(c.rows, '\n'));
    else
        ASSERT_TRUE(f.resize(c.size));
    f.close();
    const Expected<Plan> file = readPlanFile(QFile::encodeName(path), PlanBase{});
    ASSERT_TRUE(file);
    EXPECT_EQ(file->refusal, c.refusal);
    EXPECT_EQ(file->rows.size(), c.refusal.isEmpty() ? c.rows : 0);
}

const QString kTooManyRows = u"方案超过10000台设备，请分成几个方案文件"_s;
const QString kTooLarge = u"方案文件超过8 MB，请分成几个方案文件"_s;

INSTANTIATE_TEST_SUITE_P(Plan, PlanFileLimits,
                         ::testing::Values(LimitCase{"rowsAtTheLimit", 0, 10000, {}},
                                           LimitCase{"oneRowMore", 0, 10001, kTooManyRows},
                                           LimitCase{"bytesOverTheLimit", PlanMaxBytes + 1, 0,
                                                     kTooLarge}));

struct ReservedCase {
    const char* name;
    QString csv;
    QString pageMask;
    QStringList issues; // none: the address is one a device may take
};

class ReservedAddresses : public ::testing::TestWithParam<ReservedCase>
{};

// The laptop: a card in the devices' subnet and the loopback.
QList<LocalAddress> laptop()
{
    return {{u"lo"_s, 0x7F000001u, 8, true}, {u"eth0"_s, 0xC0A8010Au, 24, false}};
}

// New addresses no device may take, under the row's mask or the page's; /31 and /32 have no
// network or broadcast address, so each of their addresses is a host.
TEST_P(ReservedAddresses, AreRefusedWithTheRowAndWhy)
{
    const auto& c = GetParam();
    PlanBase base;
    base.laptop = laptop();
    if (!c.pageMask.isEmpty())
        base.fields.ym = c.pageMask;
    const Plan plan = readPlan(utf8(c.csv), base);
    QStringList issues;
    for (const PlanIssue& issue : plan.issues)
        issues.append(issue.text());
    EXPECT_EQ(issues, c.issues);
    EXPECT_FALSE(plan.blocked);
    for (const PlanRow& row : plan.rows)
        EXPECT_EQ(row.faulty, !c.issues.isEmpty()) << row.row;
}

ReservedCase refused(const char* name, const QString& newIp, const QString& why,
                     const QString& mask = {})
{
    const QString header =
        mask.isEmpty() ? u"type,new_ip,address\n"_s : u"type,new_ip,address,subnet_mask\n"_s;
    return {name,
            header + u"1,%1,5%2\n"_s.arg(newIp, mask.isEmpty() ? QString() : u","_s + mask),
            {},
            {u"第2行，new_ip：%1"_s.arg(why)}};
}

ReservedCase allowed(const char* name, const QString& newIp, const QString& mask = {},
                     const QString& pageMask = {})
{
    ReservedCase c = refused(name, newIp, {}, mask);
    c.issues.clear();
    c.pageMask = pageMask;
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Plan, ReservedAddresses,
    ::testing::Values(
        refused("broadcastOfThePagesMask", u"192.168.1.255"_s, u"192.168.1.255 是广播地址"_s),
        refused("networkOfThePagesMask", u"192.168.1.0"_s, u"192.168.1.0 是网络地址"_s),
        refused("broadcastOfTheRowsMask", u"192.168.1.127"_s, u"192.168.1.127 是广播地址"_s,
                u"255.255.255.128"_s),
        refused("networkOfTheRowsMask", u"192.168.1.128"_s, u"192.168.1.128 是网络地址"_s,
                u"255.255.255.128"_s),
        refused("zero", u"0.0.0.0"_s, u"0.0.0.0 不是设备可用的地址"_s),
        refused("allOnes", u"255.255.255.255"_s, u"255.255.255.255 不是设备可用的地址"_s),
        refused("firstMulticast", u"224.0.0.0"_s, u"224.0.0.0 是组播地址"_s, u"255.255.255.255"_s),
        refused("lastMulticast", u"239.255.255.254"_s, u"239.255.255.254 是组播地址"_s),
        refused("laptopsCard", u"192.168.1.10"_s, u"192.168.1.10 是本机地址"_s),
        refused("laptopsLoopback", u"127.0.0.1"_s, u"127.0.0.1 是本机地址"_s),
        // As the packet carries it: spaces trimmed, numbers cut to their octet.
        refused("asSent", u" 192.168.1.511 "_s, u"192.168.1.255 是广播地址"_s),
        allowed("firstHost", u"192.168.1.1"_s), allowed("lastHost", u"192.168.1.254"_s),
        allowed("belowMulticast", u"223.255.255.254"_s),
        allowed("hostUnderTheRowsMask", u"192.168.1.127"_s, u"255.255.255.0"_s),
        allowed("hostUnderThePagesMask", u"192.168.1.255"_s, {}, u"255.255.0.0"_s),
        allowed("pointToPointLow", u"192.168.1.0"_s, u"255.255.255.254"_s),
        allowed("pointToPointHigh", u"192.168.1.255"_s, u"255.255.255.254"_s),
        allowed("singleHost", u"192.168.1.0"_s, u"255.255.255.255"_s),
        allowed("otherSubnetThanTheLaptops", u"192.168.2.10"_s),
        // The mask the packet carries: the paging console's 子网掩码, the one-key alarm's
        // 组播IP column (its 子网掩码 column is alarm host one).
        ReservedCase{"pagingConsolesMask",
                     u"type,new_ip,address,subnet_mask\n5,10.0.0.63,5,255.255.255.192\n"_s,
                     {},
                     {u"第2行，new_ip：10.0.0.63 是广播地址"_s}},
        ReservedCase{"alarmsMaskInTheGroupColumn",
                     u"type,new_ip,address,group_ip,subnet_mask\n4,10.0.0.64,5,255.255.255.192,"
                     u"10.0.0.1\n"_s,
                     {},
                     {u"第2行，new_ip：10.0.0.64 是网络地址"_s}},
        // Named by the plan's own header; a refused address is not also a repeated one.
        ReservedCase{"twiceUnderTheCaption",
                     u"设备类型,更新后设备IP,设备地址\n1,192.168.1.255,5\n1,192.168.1.255,6\n"_s,
                     {},
                     {u"第2行，更新后设备IP：192.168.1.255 是广播地址"_s,
                      u"第3行，更新后设备IP：192.168.1.255 是广播地址"_s}}));

struct WidthCase {
    const char* name;
    QByteArray csv;
    QString refusal;
    int rows;
    int otherColumns;
};

class PlanWidth : public ::testing::TestWithParam<WidthCase>
{};

// Columns beyond the last one used (by the header or any row) do not count; past the limit
// the plan is refused before any row is read.
TEST_P(PlanWidth, CountsTheColumnsInUse)
{
    const auto& c = GetParam();
    const Plan plan = readPlan(c.csv, PlanBase{});
    EXPECT_EQ(plan.refusal, c.refusal);
    ASSERT_EQ(plan.rows.size(), c.rows);
    EXPECT_EQ(plan.otherHeaders.size(), c.otherColumns);
    if (c.refusal.isEmpty()) {
        EXPECT_TRUE(plan.clean()) << planReport(plan).toStdString();
        EXPECT_EQ(resolvePlanRow(plan.rows.last(), {}).upip, u"192.168.1.6"_s);
    } else {
        EXPECT_TRUE(plan.blocked);
        ASSERT_EQ(plan.issues.size(), 1);
        EXPECT_EQ(plan.issues[0].text(), c.refusal);
    }
}

// A header and two rows, with the remark columns up to width and empty columns after; with
// farCell the last row fills the first of those.
QByteArray widePlan(int width, int empty, bool farCell = false)
{
    QList<QByteArrayList> records = {
        {"type", "new_ip", "address"}, {"1", "192.168.1.5", "5"}, {"1", "192.168.1.6", "6"}};
    for (int k = 3; k < width; ++k) {
        records[0].append("r" + QByteArray::number(k));
        records[1].append(k + 1 == width ? "last" : "");
        records[2].append(QByteArray());
    }
    for (QByteArrayList& record : records)
        record += QByteArrayList(empty, {});
    if (farCell)
        records[2][width] = "x";
    QByteArray text;
    for (const QByteArrayList& record : records)
        text += record.join(',') + "\r\n";
    return text;
}

const QString kTooWide = u"方案有65列，超过64列，请删去不用的列"_s;

INSTANTIATE_TEST_SUITE_P(
    Plan, PlanWidth,
    ::testing::Values(WidthCase{"spreadsheetsEmptyColumns", widePlan(3, 20000), {}, 2, 0},
                      WidthCase{"atTheLimit", widePlan(PlanMaxColumns, 20000), {}, 2, 61},
                      WidthCase{"oneColumnMore", widePlan(PlanMaxColumns + 1, 0), kTooWide, 0, 0},
                      WidthCase{"aRowReachesPastIt", widePlan(PlanMaxColumns, 20000, true),
                                kTooWide, 0, 0},
                      // Empty cells after the header's last are no fault of the row.
                      WidthCase{"rowLongerThanTheHeader",
                                "type,new_ip,address\n1,192.168.1.5,5,,,\n1,192.168.1.6,6\n",
                                {},
                                2,
                                0}));

// Zone switcher: choosing it sets the group field to "0", which the plan may overwrite.
TEST(Plan, RowTakesTheEffectsOfChoosingItsType)
{
    PlanBase base;
    base.fields.groupIP = u"224.0.1.48"_s;
    base.fields.id1 = u"9"_s;
    const Plan plan = readPlan(utf8(u"type,address,group_ip\n6,1,\n6,2,3\n"_s), base);
    ASSERT_EQ(plan.rows.size(), 2);
    EXPECT_EQ(resolvePlanRow(plan.rows[0], base.fields).groupIP, QString()); // typed empty
    const Plan noGroup = readPlan(utf8(u"type,address\n6,1\n"_s), base);
    const ParamFields f = resolvePlanRow(noGroup.rows[0], base.fields);
    EXPECT_EQ(f.groupIP, u"0"_s);
    EXPECT_EQ(f.id1, u"0"_s);
}

class PlanResultsFile : public ::testing::Test
{
protected:
    QByteArray read() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    QString path = planResultsPath(dir.filePath(u"site.csv"_s));
};

TEST_F(PlanResultsFile, ResultsSurviveARestartAndALineCutShort)
{
    const PlanResult first{2,
                           u"2026-12-08 03:00:01"_s,
                           true,
                           u"设备设置完成！"_s,
                           u"1\x1fnew_ip=a"_s,
                           {},
                           u"新地址在线 00:1a:2b:3c:4d:5e"_s,
                           u"2026-12-08 03:00:07"_s};
    PlanResult second{3,
                      u"2026-12-08 03:00:09"_s,
                      false,
                      u"'a,b' is not \"valid\""_s,
                      u"1\x1fnew_ip=b"_s,
                      u"00:aa:bb:cc:dd:ee"_s,
                      u"新地址被另一台设备占用 MAC 00:11:22:33:44:55"_s,
                      u"2026-12-08 03:02:09"_s};
    second.macBeforeAt = u"192.168.1.200"_s;
    second.macAfter = u"00:11:22:33:44:55"_s;
    second.macAfterAt = u"192.168.1.201"_s;
    second.declined = true;
    PlanResult third{4, u"2026-12-08 03:00:20"_s, true, u"设备设置完成！"_s, u"k3"_s, {}, {}, {}};
    third.plannedMac = u"00:1a:2b:3c:4d:5e"_s;
    third.confirmed = u"冲突 00:11:22:33:44:55"_s;
    third.card = u"eth0"_s;
    third.laptopAddress = u"192.168.1.10"_s;
    third.capture = u"/site/a.pcapng"_s;
    third.frame = u"12"_s;
    third.remarks = u"楼层=3F\x1f备注=a,b"_s;
    auto why = [](const Expected<void>& r) {
        return r ? std::string() : r.error().message.toStdString();
    };
    const auto firstWritten = appendPlanResult(path, first);
    ASSERT_TRUE(firstWritten) << why(firstWritten);
    const auto secondWritten = appendPlanResult(path, second);
    ASSERT_TRUE(secondWritten) << why(secondWritten);
    EXPECT_EQ(path, dir.filePath(u"site.csv.result.csv"_s));
    EXPECT_TRUE(read().startsWith(
        "\xEF\xBB\xBFrow,time,state,message,key,mac_before,verdict,verdict_time,mac_before_at,"
        "mac_after,mac_after_at,mac_planned,confirmed,card,laptop_address,capture,frame,remarks"
        "\r\n2,"));

    {
        QFile f(path); // the crash came mid-line
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("4,2026-12-08 03:00:12,已");
    }
    EXPECT_EQ(readPlanResults(read()).size(), 2);
    const auto thirdWritten = appendPlanResult(path, third);
    ASSERT_TRUE(thirdWritten) << why(thirdWritten);
    const QList<PlanResult> back = readPlanResults(read());
    ASSERT_EQ(back.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back[i], i == 0 ? first : i == 1 ? second : third);
    }
    EXPECT_EQ(planRemarkCells(third.remarks),
              (QList<std::pair<QString, QString>>{{u"楼层"_s, u"3F"_s}, {u"备注"_s, u"a,b"_s}}));
}

// Files written by earlier versions: 4 cells, then 8 without the addresses.
TEST_F(PlanResultsFile, OlderLinesAreStillRead)
{
    const QList<PlanResult> back = readPlanResults(
        "\xEF\xBB\xBFrow,time,state,message\r\n"
        "2,t1,已发送,设备设置完成！\r\n"
        "3,t2,已发送,设备设置完成！,k3,00:aa:bb:cc:dd:ee,新地址在线 00:aa:bb:cc:dd:ee,t3\r\n"
        "4,t4,已发送,设备设置完成！,k4,,,,x\r\n"); // 9 cells: not a line of ours
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].message, u"设备设置完成！"_s);
    EXPECT_TRUE(back[0].key.isEmpty());
    EXPECT_EQ(back[1].key, u"k3"_s);
    EXPECT_EQ(back[1].macBefore, u"00:aa:bb:cc:dd:ee"_s);
    EXPECT_EQ(back[1].verdict, u"新地址在线 00:aa:bb:cc:dd:ee"_s);
    EXPECT_EQ(back[1].verdictTime, u"t3"_s);
    EXPECT_TRUE(back[1].macBeforeAt.isEmpty());
    EXPECT_TRUE(back[1].macAfter.isEmpty());
}

TEST_F(PlanResultsFile, AFullDiskLeavesTheEarlierResultsWhole)
{
    ASSERT_TRUE(appendPlanResult(path, {2, u"t1"_s, true, u"设备设置完成！"_s, {}, {}, {}, {}}));
    const QByteArray before = read();

    FileOps full = FileOps::system();
    full.write = [calls = 0](int fd, const void* data, size_t size) mutable -> ssize_t {
        if (++calls == 1)
            return ::write(fd, data, size / 2);
        errno = ENOSPC;
        return -1;
    };
    errno = 0;
    EXPECT_FALSE(appendDurably(
        QFile::encodeName(path),
        planResultLine({3, u"t2"_s, true, u"设备设置完成！"_s, {}, {}, {}, {}}, false), full));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(read(), before);

    ASSERT_TRUE(appendPlanResult(path, {3, u"t3"_s, false, u"设备设置错误！"_s, {}, {}, {}, {}}));
    const QList<PlanResult> back = readPlanResults(read());
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[1].time, u"t3"_s);
}

TEST_F(PlanResultsFile, AFolderWhereTheFileShouldBeIsAnError)
{
    ASSERT_TRUE(QDir().mkpath(path));
    const auto written = appendPlanResult(path, {2, u"t"_s, true, u"x"_s, {}, {}, {}, {}});
    ASSERT_FALSE(written);
    EXPECT_FALSE(written.error().message.isEmpty());
    EXPECT_EQ(written.error().code, EISDIR);
}

} // namespace

// Results follow the device a row describes, wherever the row moves; an edited row is new.
TEST(PlanRowKey, FollowsTheRowsContentNotItsPlace)
{
    const Plan before = readPlan("type,current_ip,new_ip,address\n"
                                 "1,192.168.1.200,192.168.1.21,21\n"
                                 "1,192.168.1.200,192.168.1.22,22\n",
                                 PlanBase{});
    const Plan after = readPlan("type,current_ip,new_ip,address\n"
                                "1,192.168.1.200,192.168.1.20,20\n" // inserted above
                                "1,192.168.1.200,192.168.1.22,22\n" // reordered
                                "1,192.168.1.200,192.168.1.21,21\n"
                                "1,192.168.1.200,192.168.1.22,23\n", // edited after sending
                                PlanBase{});
    ASSERT_EQ(after.rows.size(), 4);
    EXPECT_NE(planRowKey(after.rows[0]), planRowKey(before.rows[0]));
    EXPECT_EQ(planRowKey(after.rows[1]), planRowKey(before.rows[1]));
    EXPECT_EQ(planRowKey(after.rows[2]), planRowKey(before.rows[0]));
    EXPECT_NE(planRowKey(after.rows[3]), planRowKey(before.rows[1]));
}
