#include "config/plan_results.h"

#include "common/posix_file.h"
#include "config/csv_reader.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

QString planResultsPath(const QString& planPath)
{
    return planPath + u".result.csv"_s;
}

QString planResultState(bool sent)
{
    return sent ? u"已发送"_s : u"失败"_s;
}

QList<PlanResult> readPlanResults(const QByteArray& bytes)
{
    QList<PlanResult> results;
    // Every complete line ends with a line break; what follows the last one was cut short.
    const qsizetype end = bytes.lastIndexOf('\n');
    if (end < 0)
        return results;
    const QList<CsvRecord> records = parseCsv(decodeCsv(bytes.left(end + 1)).text);
    for (const CsvRecord& r : records) {
        if (r.cells.size() != 4)
            continue;
        bool number = false;
        const int row = r.cells[0].toInt(&number);
        const bool sent = r.cells[2] == planResultState(true);
        if (!number || row < 2 || (!sent && r.cells[2] != planResultState(false)))
            continue; // the header, or a line that is not ours
        results.append({row, r.cells[1], sent, r.cells[3]});
    }
    return results;
}

QByteArray planResultLine(const PlanResult& result, bool first)
{
    QString line;
    if (first)
        line = u"\uFEFFrow,time,state,message\r\n"_s;
    line += QString::number(result.row) + u',' + csvCell(result.time) + u',' +
            planResultState(result.sent) + u',' + csvCell(result.message) + u"\r\n"_s;
    return line.toUtf8();
}

bool appendPlanResult(const QString& path, const PlanResult& result, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    const bool first = ::stat(native.constData(), &info) != 0 || info.st_size == 0;
    if (appendDurably(native, planResultLine(result, first)))
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
