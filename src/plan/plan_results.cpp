// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_results.h"

#include "common/posix_file.h"
#include "plan/csv_reader.h"

#include <QFile>
#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

const QString SentState = u"已发送"_s;
const QString FailedState = u"失败"_s;
const QString DeclinedState = u"已拒绝"_s;

// The cells after the row, the time and the state, in the file's order. A file of an older
// version has the first 1, 5 or 8 of them.
constexpr QString PlanResult::*TextCells[] = {
    &PlanResult::message,   &PlanResult::key,         &PlanResult::macBefore,
    &PlanResult::verdict,   &PlanResult::verdictTime, &PlanResult::macBeforeAt,
    &PlanResult::macAfter,  &PlanResult::macAfterAt,  &PlanResult::plannedMac,
    &PlanResult::confirmed, &PlanResult::card,        &PlanResult::laptopAddress,
    &PlanResult::capture,   &PlanResult::frame,       &PlanResult::remarks,
};
constexpr qsizetype FirstTextCell = 3;
constexpr qsizetype FullWidth = FirstTextCell + std::ssize(TextCells);

} // namespace

QString planResultsPath(const QString& planPath)
{
    return planPath + u".result.csv"_s;
}

QString planRowKey(const PlanRow& row)
{
    QString key = QString::number(row.deviceType ? row.deviceType->code() : 0);
    for (int c = 0; c < PlanColumnCount; ++c) {
        if (c == static_cast<int>(PlanColumn::Type) || !row.values[c])
            continue;
        key +=
            u'\x1f' + planColumnKey(static_cast<PlanColumn>(c)) + u'=' + row.values[c]->trimmed();
    }
    return key;
}

QString planResultState(const PlanResult& result)
{
    return result.declined ? DeclinedState : result.sent ? SentState : FailedState;
}

QString planRemarks(const QStringList& headers, const QStringList& cells)
{
    QStringList parts;
    for (qsizetype i = 0; i < headers.size() && i < cells.size(); ++i) {
        if (!cells[i].trimmed().isEmpty())
            parts.append(headers[i] + u'=' + cells[i].trimmed());
    }
    return parts.join(u'\x1f');
}

QList<std::pair<QString, QString>> planRemarkCells(const QString& remarks)
{
    QList<std::pair<QString, QString>> cells;
    for (const QString& part : remarks.split(u'\x1f', Qt::SkipEmptyParts)) {
        const qsizetype at = part.indexOf(u'=');
        cells.append({part.left(at), at < 0 ? QString() : part.mid(at + 1)});
    }
    return cells;
}

QList<PlanResult> readPlanResults(const QByteArray& bytes)
{
    return readPlanResultsFile(bytes).results;
}

PlanResultsFile readPlanResultsFile(const QByteArray& bytes)
{
    PlanResultsFile file;
    QList<PlanResult>& results = file.results;
    // Every complete line ends with a line break; what follows the last one was cut short.
    const qsizetype end = bytes.lastIndexOf('\n');
    if (!bytes.mid(end + 1).trimmed().isEmpty())
        file.cutLine = static_cast<int>(bytes.left(end + 1).count('\n')) + 1;
    if (end < 0)
        return file;
    const QList<CsvRecord> records = parseCsv(decodeCsv(bytes.left(end + 1)).text);
    for (const CsvRecord& r : records) {
        const qsizetype width = r.cells.size();
        if (width != 4 && width != 8 && width != 11 && width != FullWidth)
            continue;
        bool number = false;
        const int row = r.cells[0].toInt(&number);
        PlanResult result{row, r.cells[1], r.cells[2] == SentState};
        result.declined = r.cells[2] == DeclinedState;
        if (!number || row < 2 || planResultState(result) != r.cells[2])
            continue; // the header, or a line that is not ours
        for (qsizetype i = FirstTextCell; i < width; ++i)
            result.*TextCells[i - FirstTextCell] = r.cells[i];
        results.append(result);
    }
    return file;
}

QByteArray planResultLine(const PlanResult& result, bool first)
{
    QString line;
    if (first)
        line = u"\uFEFFrow,time,state,message,key,mac_before,verdict,verdict_time,"
               u"mac_before_at,mac_after,mac_after_at,mac_planned,confirmed,card,laptop_address,"
               u"capture,frame,remarks\r\n"_s;
    line +=
        QString::number(result.row) + u',' + csvCell(result.time) + u',' + planResultState(result);
    for (const auto cell : TextCells)
        line += u',' + csvCell(result.*cell);
    line += u"\r\n"_s;
    return line.toUtf8();
}

Expected<void> appendPlanResult(const QString& path, const PlanResult& result)
{
    const QByteArray native = QFile::encodeName(path);
    const Expected<QByteArray> read = orEmptyWhenMissing(readWholeFile(native));
    if (!read)
        return tl::unexpected(read.error());
    const QByteArray& earlier = *read;
    // A crash mid-line left a tail without its line break: the next line would join it and be
    // lost with it.
    const qsizetype whole = earlier.lastIndexOf('\n') + 1;
    if (whole < earlier.size() && ::truncate(native.constData(), whole) != 0)
        return systemFault(errno);
    const bool first = whole == 0;
    if (!appendDurably(native, planResultLine(result, first)))
        return systemFault(errno);
    return {};
}
