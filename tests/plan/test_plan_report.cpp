// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_report.h"
#include "plan/plan_results.h"

#include <gtest/gtest.h>

#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace
{

QString key(int type, const QString& current, const QString& next)
{
    return QString::number(type) +
           u"\x1f"
           u"current_ip="_s +
           current +
           u"\x1f"
           u"new_ip="_s +
           next +
           u"\x1f"
           u"address=7"_s;
}

PlanResult line(int row, const QString& time, bool sent, const QString& message, int type,
                const QString& next, const QString& verdict = {})
{
    PlanResult r{row,
                 time,
                 sent,
                 message,
                 key(type, u"192.168.1.200"_s, next),
                 u"00:00:00:00:00:%1"_s.arg(row, 2, 10, QChar(u'0')),
                 verdict,
                 verdict.isEmpty() ? QString() : time + u"+"_s};
    r.macBeforeAt = u"192.168.1.200"_s;
    if (!verdict.isEmpty()) {
        r.macAfter = u"aa"_s;
        r.macAfterAt = next;
    }
    return r;
}

// A send line and its verdict line, as the session writes them.
QList<PlanResult> sentWith(int row, const QString& verdict)
{
    const QString ip = u"192.168.1.%1"_s.arg(row);
    const QString t = u"2026-12-08 10:00:%1"_s.arg(row, 2, 10, QChar(u'0'));
    return {line(row, t, true, u"设备设置完成！"_s, 1, ip),
            line(row, t, true, u"设备设置完成！"_s, 1, ip, verdict)};
}

QByteArray resultsFile()
{
    QList<PlanResult> lines;
    // Sent twice: the first send's verdict comes in last and is stale.
    const QString twice = u"192.168.1.12"_s;
    lines << line(12, u"09:00"_s, true, u"设备设置完成！"_s, 5, twice)
          << line(12, u"09:05"_s, true, u"设备设置完成！"_s, 5, twice)
          << line(12, u"09:05"_s, true, u"设备设置完成！"_s, 5, twice, u"新地址在线 aa"_s)
          << line(12, u"09:00"_s, true, u"设备设置完成！"_s, 5, twice, u"新地址无应答"_s);
    // Each line of a device repeats what the plan and the send tell of it.
    for (PlanResult& r : sentWith(2, u"新地址在线 aa"_s)) {
        r.plannedMac = u"00:00:00:00:00:02"_s;
        r.remarks = u"楼层=3F"_s;
        r.confirmed = u"冲突 cc"_s;
        r.card = u"eth0"_s;
        r.laptopAddress = u"192.168.1.10"_s;
        r.capture = u"/site/a.pcapng"_s;
        r.frame = u"4"_s;
        lines << r;
    }
    lines[0].capture = lines[1].capture = lines[3].capture = u"/site/a.pcapng"_s;
    lines[0].frame = lines[3].frame = u"7"_s;
    lines[1].frame = u"9"_s;
    lines << sentWith(3, u"新地址在线 bb（发送前未见设备）"_s)
          << sentWith(4, u"新地址被另一台设备占用 MAC cc"_s) << sentWith(5, u"冲突 aa、bb"_s)
          << sentWith(6, u"仍在旧地址 aa"_s) << sentWith(7, u"新地址无应答"_s)
          << sentWith(8, u"未确认"_s) << sentWith(9, u"新地址不在本机网段，无法确认"_s);
    // Two failed tries; the report shows the last one's message.
    lines << line(10, u"10:10"_s, false, u"第一次"_s, 1, u"192.168.1.10"_s)
          << line(10, u"10:11"_s, false, u"发送失败 <&> \"x\""_s, 1, u"192.168.1.10"_s);
    lines << line(11, u"10:12"_s, true, u"设备设置完成！"_s, 1, u"192.168.1.11"_s);
    // Declined at a box: refused, not counted as a failed send.
    lines << line(13, u"10:13"_s, false, u"设备不符：应为 aa，实为 bb"_s, 1, u"192.168.1.13"_s);
    lines.last().declined = true;
    QByteArray bytes;
    for (const PlanResult& r : lines)
        bytes += planResultLine(r, bytes.isEmpty());
    return bytes;
}

struct Expect {
    int row;
    ReportOutcome outcome;
    const char16_t* verdict;
    const char16_t* time;
};

} // namespace

TEST(PlanReport, EachVerdictKindCountsAsItsOutcome)
{
    using O = ReportOutcome;
    const Expect table[] = {
        {2, O::Verified, u"新地址在线 aa", u"2026-12-08 10:00:02"},
        {3, O::Verified, u"新地址在线 bb（发送前未见设备）", u"2026-12-08 10:00:03"},
        {4, O::Unverified, u"新地址被另一台设备占用 MAC cc", u"2026-12-08 10:00:04"},
        {5, O::Unverified, u"冲突 aa、bb", u"2026-12-08 10:00:05"},
        {6, O::Unverified, u"仍在旧地址 aa", u"2026-12-08 10:00:06"},
        {7, O::Unverified, u"新地址无应答", u"2026-12-08 10:00:07"},
        {8, O::Unverified, u"未确认", u"2026-12-08 10:00:08"},
        {9, O::Unverified, u"新地址不在本机网段，无法确认", u"2026-12-08 10:00:09"},
        {10, O::NotSent, u"", u"10:11"},
        {11, O::Unverified, u"", u"10:12"},
        {12, O::Verified, u"新地址在线 aa", u"09:05"},
        {13, O::Refused, u"", u"10:13"},
    };
    const PlanReport report = handoverReport(resultsFile());
    ASSERT_EQ(report.devices.size(), std::size(table));
    for (size_t i = 0; i < std::size(table); ++i) {
        const Expect& e = table[i];
        const ReportDevice& d = report.devices[static_cast<qsizetype>(i)];
        SCOPED_TRACE(e.row);
        EXPECT_EQ(d.row, e.row);
        EXPECT_EQ(d.outcome, e.outcome);
        EXPECT_EQ(d.verdict, QString::fromUtf16(e.verdict));
        EXPECT_EQ(d.time, QString::fromUtf16(e.time));
        EXPECT_EQ(d.type, e.row == 12 ? u"寻呼主机"_s : u"普通终端"_s);
        EXPECT_EQ(d.currentIp, u"192.168.1.200"_s);
        EXPECT_EQ(d.newIp, u"192.168.1.%1"_s.arg(e.row));
        EXPECT_EQ(d.macBefore, u"00:00:00:00:00:%1"_s.arg(e.row, 2, 10, QChar(u'0')));
        EXPECT_EQ(d.macAfter, e.verdict[0] ? u"aa"_s : QString());
        EXPECT_EQ(d.message, e.outcome == O::NotSent   ? u"发送失败 <&> \"x\""_s
                             : e.outcome == O::Refused ? u"设备不符：应为 aa，实为 bb"_s
                                                       : QString());
        EXPECT_EQ(d.remarks.value(0).second, e.row == 2 ? u"3F"_s : QString());
    }
    const ReportDevice& two = report.devices[0];
    EXPECT_EQ(two.plannedMac + u' ' + two.confirmed + u' ' + two.card + u' ' + two.laptopAddress,
              u"00:00:00:00:00:02 冲突 cc eth0 192.168.1.10"_s);
    EXPECT_EQ(report.remarkHeaders, QStringList{u"楼层"_s});
    EXPECT_EQ(report.captureFiles, QStringList{u"/site/a.pcapng"_s});
    // Both sends of row 12, each once though its verdict lines repeat them.
    const QList<std::pair<QString, QString>> frames = {{u"/site/a.pcapng"_s, u"7"_s},
                                                       {u"/site/a.pcapng"_s, u"9"_s}};
    EXPECT_EQ(report.devices[10].frames, frames);
    EXPECT_EQ(report.verified, 3);
    EXPECT_EQ(report.unverified, 7);
    EXPECT_EQ(report.notSent, 1);
    EXPECT_EQ(report.refused, 1);
    EXPECT_EQ(report.cutLine, 0);
    EXPECT_EQ(planReportSummary(report),
              u"已配置并确认 3台，已发送未确认 7台，未发送 1台，已拒绝 1台（共12台）"_s);
}

TEST(PlanReport, PageParsesAsXhtmlWithTheCellsEscaped)
{
    const QByteArray html = planReportHtml(handoverReport(resultsFile()), u"a&b.csv"_s);
    ASSERT_TRUE(html.startsWith("<!DOCTYPE html>")) << "a browser wants the doctype first";
    QXmlStreamReader xml(html);
    QStringList headings;
    QString title;
    QList<QStringList> rows;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == u"html")
            EXPECT_EQ(xml.namespaceUri(), u"http://www.w3.org/1999/xhtml"_s);
        else if (name == u"meta")
            EXPECT_EQ(xml.attributes().value(u"charset"_s), u"UTF-8"_s);
        else if (name == u"title")
            title = xml.readElementText();
        else if (name == u"h2")
            headings << xml.readElementText();
        else if (name == u"tr")
            rows.append(QStringList());
        else if (name == u"td" && !rows.isEmpty())
            rows.last() << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(title, u"交接报告"_s);
    EXPECT_EQ(headings, (QStringList{u"汇总"_s, u"已配置并确认"_s, u"已发送未确认"_s, u"未发送"_s,
                                     u"已拒绝"_s}));
    // The summary's counts, then the devices section by section.
    const auto row = [&](const QString& first) {
        for (const QStringList& r : rows) {
            if (r.size() > 2 && r[0] == first) // a device, not a count of the summary
                return r;
        }
        return QStringList();
    };
    // Row, type, the plan's own column, addresses, MACs, times, verdict, the laptop, frames.
    EXPECT_EQ(row(u"10"_s).value(17), u"发送失败 <&> \"x\""_s);
    EXPECT_EQ(row(u"10"_s).value(1), u"普通终端"_s);
    EXPECT_EQ(row(u"2"_s).mid(2, 4),
              (QStringList{u"3F"_s, u"192.168.1.200"_s, u"192.168.1.2"_s, u"00:00:00:00:00:02"_s}));
    EXPECT_EQ(row(u"2"_s).mid(13, 3), (QStringList{u"冲突 cc"_s, u"eth0"_s, u"192.168.1.10"_s}));
    EXPECT_EQ(row(u"5"_s).value(11), u"冲突 aa、bb"_s);
    EXPECT_EQ(row(u"12"_s).value(4), u"192.168.1.12"_s);
    EXPECT_EQ(row(u"12"_s).value(16), u"7、9"_s);
    EXPECT_TRUE(html.contains("结果文件：a&amp;b.csv"));
    EXPECT_TRUE(html.contains("抓包文件：/site/a.pcapng"));
}

TEST(PlanReport, CsvQuotesItsCellsAndCutLineIsNamed)
{
    QByteArray bytes = resultsFile();
    const int whole = static_cast<int>(bytes.count('\n'));
    bytes += "13,2026-12-08 10:20:00,已发送,设备设";
    const PlanReport report = handoverReport(bytes);
    EXPECT_EQ(report.total(), 12);
    EXPECT_EQ(report.cutLine, whole + 1);
    EXPECT_TRUE(planReportSummary(report).endsWith(
        u"；第%1行不完整（写入时中断），未计入"_s.arg(whole + 1)));
    const QByteArray bytesOut = planReportCsv(report);
    ASSERT_TRUE(bytesOut.startsWith("\xEF\xBB\xBF"));
    const QString csv = QString::fromUtf8(bytesOut.mid(3));
    ASSERT_TRUE(csv.startsWith(u"行,结果,设备类型,楼层,当前设备IP,更新后设备IP,"_s));
    EXPECT_TRUE(csv.contains(u"\r\n10,未发送,普通终端,,192.168.1.200,192.168.1.10,"_s));
    EXPECT_TRUE(csv.contains(u",\"发送失败 <&> \"\"x\"\"\"\r\n"_s));
    EXPECT_TRUE(csv.endsWith(u"\r\n第%1行不完整（写入时中断），未计入\r\n"_s.arg(whole + 1)));
    EXPECT_EQ(handoverReport(QByteArray()).cutLine, 0);
}
