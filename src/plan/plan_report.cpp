// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_report.h"

#include "common/posix_file.h"
#include "plan/csv_reader.h"
#include "plan/plan.h"
#include "plan/plan_results.h"
#include "protocol/device_types.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cerrno>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

// A cell of the row as its key holds it ("<code>\x1f<column>=<value>..."); empty when absent.
QString keyCell(const QStringList& parts, PlanColumn column)
{
    const QString prefix = planColumnKey(column) + u'=';
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].startsWith(prefix))
            return parts[i].mid(prefix.size());
    }
    return {};
}

void takeSend(ReportDevice& d, const PlanResult& r)
{
    d.time = r.time;
    d.macBefore = r.macBefore;
    d.macBeforeAt = r.macBeforeAt;
    d.confirmed = r.confirmed;
    d.card = r.card;
    d.laptopAddress = r.laptopAddress;
    d.macAfter.clear();
    d.macAfterAt.clear();
    d.verdict.clear();
    d.verdictTime.clear();
    d.message.clear();
}

struct Column {
    QString caption;
    QString ReportDevice::*field;
};

// The device's columns after its row and type (which the plan's own columns follow).
const QList<Column>& columns()
{
    static const QList<Column> all = {
        {planColumnCaption(PlanColumn::CurrIP), &ReportDevice::currentIp},
        {planColumnCaption(PlanColumn::Upip), &ReportDevice::newIp},
        {macColumnCaption(), &ReportDevice::plannedMac},
        {u"发送前MAC"_s, &ReportDevice::macBefore},
        {u"发送前应答地址"_s, &ReportDevice::macBeforeAt},
        {u"发送后MAC"_s, &ReportDevice::macAfter},
        {u"发送后应答地址"_s, &ReportDevice::macAfterAt},
        {u"发送时间"_s, &ReportDevice::time},
        {u"结论"_s, &ReportDevice::verdict},
        {u"结论时间"_s, &ReportDevice::verdictTime},
        {u"操作员确认的疑问"_s, &ReportDevice::confirmed},
        {u"本机网卡"_s, &ReportDevice::card},
        {u"本机地址"_s, &ReportDevice::laptopAddress},
        {u"抓包帧"_s, nullptr},
        {u"下载信息"_s, &ReportDevice::message},
    };
    return all;
}

QStringList headersOf(const PlanReport& report)
{
    QStringList headers{u"设备类型"_s};
    headers += report.remarkHeaders;
    for (const Column& c : columns())
        headers.append(c.caption);
    return headers;
}

// The frames of a device's sends: their numbers, each with its file's name when the sends
// went to more than one file.
QString framesText(const PlanReport& report, const ReportDevice& d)
{
    QStringList frames;
    for (const auto& [file, frame] : d.frames)
        frames.append(report.captureFiles.size() > 1 ? QFileInfo(file).fileName() + u'#' + frame
                                                     : frame);
    return frames.join(u'、');
}

QStringList cellsOf(const PlanReport& report, const ReportDevice& d)
{
    QStringList cells{d.type};
    for (const QString& header : report.remarkHeaders) {
        QString value;
        for (const auto& [name, text] : d.remarks) {
            if (name == header)
                value = text;
        }
        cells.append(value);
    }
    for (const Column& c : columns())
        cells.append(c.field ? d.*c.field : framesText(report, d));
    return cells;
}

QString cutNote(int line)
{
    return u"第%1行不完整（写入时中断），未计入"_s.arg(line);
}

// The outcomes in the report's order, with the captions its headings give them.
constexpr std::pair<ReportOutcome, const char16_t*> Outcomes[] = {
    {ReportOutcome::Verified, u"已配置并确认"},
    {ReportOutcome::Unverified, u"已发送未确认"},
    {ReportOutcome::NotSent, u"未发送"},
    {ReportOutcome::Refused, u"已拒绝"},
};

// The count of each outcome, in the order of the enumeration.
constexpr int PlanReport::*Counters[] = {&PlanReport::verified, &PlanReport::unverified,
                                         &PlanReport::notSent, &PlanReport::refused};

int PlanReport::*counters(ReportOutcome outcome)
{
    return Counters[static_cast<int>(outcome)];
}

} // namespace

QString reportOutcomeCaption(ReportOutcome outcome)
{
    for (const auto& [kind, caption] : Outcomes) {
        if (kind == outcome)
            return QString::fromUtf16(caption);
    }
    return {};
}

int PlanReport::count(ReportOutcome outcome) const
{
    return this->*counters(outcome);
}

PlanReport handoverReport(const QByteArray& resultsFile)
{
    const PlanResultsFile file = readPlanResultsFile(resultsFile);
    PlanReport report;
    report.cutLine = file.cutLine;
    QHash<QString, qsizetype> index;
    QList<bool> sent;
    QList<bool> declined; // its latest unsent line was declined
    for (const PlanResult& r : file.results) {
        // Lines from before results carried their key belong to their row number.
        const QString id = r.key.isEmpty() ? u"\x1e"_s + QString::number(r.row) : r.key;
        auto at = index.constFind(id);
        if (at == index.constEnd()) {
            at = index.insert(id, report.devices.size());
            ReportDevice d;
            d.key = r.key;
            const QStringList parts = r.key.split(u'\x1f');
            if (const auto type = DeviceType::fromCode(parts[0].toInt()))
                d.type = type->caption();
            d.currentIp = keyCell(parts, PlanColumn::CurrIP);
            d.newIp = keyCell(parts, PlanColumn::Upip);
            report.devices.append(d);
            sent.append(false);
            declined.append(false);
        }
        ReportDevice& d = report.devices[*at];
        d.row = r.row;
        d.plannedMac = r.plannedMac;
        d.remarks = planRemarkCells(r.remarks);
        for (const auto& [header, value] : d.remarks) {
            if (!report.remarkHeaders.contains(header))
                report.remarkHeaders.append(header);
        }
        if (r.sent && !r.capture.isEmpty()) {
            // A verdict line repeats the frame of its send.
            if (!d.frames.contains(std::pair(r.capture, r.frame)))
                d.frames.append({r.capture, r.frame});
            if (!report.captureFiles.contains(r.capture))
                report.captureFiles.append(r.capture);
        }
        if (r.verdict.isEmpty()) {
            if (r.sent) {
                takeSend(d, r);
                sent[*at] = true;
            } else if (!sent[*at]) {
                takeSend(d, r);
                d.message = r.message;
                declined[*at] = r.declined;
            }
            continue;
        }
        // A verdict line repeats its send; one on an earlier send than the latest is stale.
        if (!sent[*at] || d.time != r.time) {
            if (sent[*at])
                continue;
            takeSend(d, r);
            sent[*at] = true;
        }
        d.verdict = r.verdict;
        d.verdictTime = r.verdictTime;
        d.macAfter = r.macAfter;
        d.macAfterAt = r.macAfterAt;
    }
    for (qsizetype i = 0; i < report.devices.size(); ++i) {
        ReportDevice& d = report.devices[i];
        d.outcome = !sent[i] ? (declined[i] ? ReportOutcome::Refused : ReportOutcome::NotSent)
                    : d.verdict.startsWith(u"新地址在线") ? ReportOutcome::Verified
                                                          : ReportOutcome::Unverified;
        ++(report.*counters(d.outcome));
    }
    std::stable_sort(report.devices.begin(), report.devices.end(),
                     [](const ReportDevice& a, const ReportDevice& b) { return a.row < b.row; });
    return report;
}

QString planReportSummary(const PlanReport& report)
{
    QStringList counts;
    for (const auto& [outcome, caption] : Outcomes)
        counts.append(u"%1 %2台"_s.arg(QString::fromUtf16(caption)).arg(report.count(outcome)));
    return counts.join(u'，') + u"（共%1台）"_s.arg(report.total()) +
           (report.cutLine > 0 ? u"；"_s + cutNote(report.cutLine) : QString());
}

QByteArray planReportHtml(const PlanReport& report, const QString& source)
{
    QByteArray bytes;
    QXmlStreamWriter w(&bytes);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeDTD(u"<!DOCTYPE html>"_s);
    w.writeStartElement(u"html"_s);
    w.writeDefaultNamespace(u"http://www.w3.org/1999/xhtml"_s);
    w.writeAttribute(u"lang"_s, u"zh-CN"_s);
    w.writeStartElement(u"head"_s);
    w.writeEmptyElement(u"meta"_s);
    w.writeAttribute(u"charset"_s, u"UTF-8"_s);
    w.writeTextElement(u"title"_s, u"交接报告"_s);
    w.writeTextElement(
        u"style"_s,
        u"body{font-family:sans-serif;font-size:10pt;margin:1.5em}"
        u"table{border-collapse:collapse;margin-bottom:1em}table.devices{width:100%}"
        u"th,td{border:1px solid #888;padding:2px 4px;text-align:left;vertical-align:top;"
        u"word-break:keep-all}"
        u"th{background:#eee}.cut{color:#a00;font-weight:bold}"
        u"@page{size:A4 landscape}@media print{body{margin:0;font-size:8pt}h2{break-after:avoid}"
        u"tr{break-inside:avoid}th{background:none}}"_s);
    w.writeEndElement(); // head
    w.writeStartElement(u"body"_s);
    w.writeTextElement(u"h1"_s, u"交接报告"_s);
    w.writeTextElement(u"p"_s, u"结果文件：%1"_s.arg(source));
    if (!report.captureFiles.isEmpty())
        w.writeTextElement(u"p"_s, u"抓包文件：%1"_s.arg(report.captureFiles.join(u'、')));
    if (report.cutLine > 0) {
        w.writeStartElement(u"p"_s);
        w.writeAttribute(u"class"_s, u"cut"_s);
        w.writeCharacters(cutNote(report.cutLine));
        w.writeEndElement();
    }
    w.writeTextElement(u"h2"_s, u"汇总"_s);
    w.writeStartElement(u"table"_s);
    for (const auto& [outcome, caption] : Outcomes) {
        w.writeStartElement(u"tr"_s);
        w.writeTextElement(u"th"_s, QString::fromUtf16(caption));
        w.writeTextElement(u"td"_s, QString::number(report.count(outcome)));
        w.writeEndElement();
    }
    w.writeStartElement(u"tr"_s);
    w.writeTextElement(u"th"_s, u"合计"_s);
    w.writeTextElement(u"td"_s, QString::number(report.total()));
    w.writeEndElement();
    w.writeEndElement(); // table
    for (const auto& [outcome, caption] : Outcomes) {
        w.writeTextElement(u"h2"_s, QString::fromUtf16(caption));
        w.writeStartElement(u"table"_s);
        w.writeAttribute(u"class"_s, u"devices"_s);
        w.writeStartElement(u"tr"_s);
        w.writeTextElement(u"th"_s, u"行"_s);
        for (const QString& header : headersOf(report))
            w.writeTextElement(u"th"_s, header);
        w.writeEndElement();
        for (const ReportDevice& d : report.devices) {
            if (d.outcome != outcome)
                continue;
            w.writeStartElement(u"tr"_s);
            w.writeTextElement(u"td"_s, QString::number(d.row));
            for (const QString& cell : cellsOf(report, d))
                w.writeTextElement(u"td"_s, cell);
            w.writeEndElement();
        }
        w.writeEndElement(); // table
    }
    w.writeEndElement(); // body
    w.writeEndElement(); // html
    w.writeEndDocument();
    // A browser reads the page as HTML, where the doctype comes first: the writer's XML
    // declaration goes.
    if (bytes.startsWith("<?xml"))
        bytes.remove(0, bytes.indexOf('\n') + 1);
    return bytes;
}

QByteArray planReportCsv(const PlanReport& report)
{
    QString text = u"\uFEFF行,结果"_s;
    for (const QString& header : headersOf(report))
        text += u',' + csvCell(header);
    text += u"\r\n"_s;
    for (const ReportDevice& d : report.devices) {
        text += QString::number(d.row) + u',' + csvCell(reportOutcomeCaption(d.outcome));
        for (const QString& cell : cellsOf(report, d))
            text += u',' + csvCell(cell);
        text += u"\r\n"_s;
    }
    if (report.cutLine > 0)
        text += csvCell(cutNote(report.cutLine)) + u"\r\n"_s;
    return text.toUtf8();
}

QString planReportHtmlPath(const QString& planPath)
{
    return planPath + u".report.html"_s;
}

QString planReportCsvPath(const QString& planPath)
{
    return planPath + u".report.csv"_s;
}

Expected<void> writePlanReport(const QString& planPath, const PlanReport& report)
{
    const QString source = planResultsPath(planPath);
    const std::pair<QString, QByteArray> files[] = {
        {planReportHtmlPath(planPath), planReportHtml(report, source)},
        {planReportCsvPath(planPath), planReportCsv(report)},
    };
    for (const auto& [path, bytes] : files) {
        AtomicFile file(QFile::encodeName(path));
        if (!file.open() || !file.write(bytes) || !file.commit())
            return systemFault(errno);
    }
    return {};
}

Expected<PlanReport> reportPlan(const QString& planPath, const QByteArray& resultsFile)
{
    PlanReport report = handoverReport(resultsFile);
    if (auto written = writePlanReport(planPath, report); !written)
        return tl::unexpected(std::move(written.error()));
    return report;
}

QString reportWrittenText(const QString& planPath, const PlanReport& report)
{
    return planReportHtmlPath(planPath) + u'\n' + planReportCsvPath(planPath) + u'\n' +
           planReportSummary(report);
}
