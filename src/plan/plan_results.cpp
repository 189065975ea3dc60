// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_results.h"

#include "common/posix_file.h"
#include "plan/csv_reader.h"

#include <QFile>
#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

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

QString planResultState(bool sent)
{
    return sent ? u"已发送"_s : u"失败"_s;
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
        if (r.cells.size() != 4 && r.cells.size() != 8 && r.cells.size() != 11)
            continue;
        bool number = false;
        const int row = r.cells[0].toInt(&number);
        const bool sent = r.cells[2] == planResultState(true);
        if (!number || row < 2 || (!sent && r.cells[2] != planResultState(false)))
            continue; // the header, or a line that is not ours
        PlanResult result{row, r.cells[1], sent, r.cells[3], {}, {}, {}, {}};
        if (r.cells.size() >= 8) {
            result.key = r.cells[4];
            result.macBefore = r.cells[5];
            result.verdict = r.cells[6];
            result.verdictTime = r.cells[7];
        }
        if (r.cells.size() == 11) {
            result.macBeforeAt = r.cells[8];
            result.macAfter = r.cells[9];
            result.macAfterAt = r.cells[10];
        }
        results.append(result);
    }
    return file;
}

QByteArray planResultLine(const PlanResult& result, bool first)
{
    QString line;
    if (first)
        line = u"\uFEFFrow,time,state,message,key,mac_before,verdict,verdict_time,"
               u"mac_before_at,mac_after,mac_after_at\r\n"_s;
    line += QString::number(result.row) + u',' + csvCell(result.time) + u',' +
            planResultState(result.sent) + u',' + csvCell(result.message) + u',' +
            csvCell(result.key) + u',' + csvCell(result.macBefore) + u',' +
            csvCell(result.verdict) + u',' + csvCell(result.verdictTime) + u',' +
            csvCell(result.macBeforeAt) + u',' + csvCell(result.macAfter) + u',' +
            csvCell(result.macAfterAt) + u"\r\n"_s;
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
