#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What became of sending one row of a plan. The results of a plan are kept in a CSV file next
// to it, one line per send, so that a plan taken up again after a restart shows what was sent.
struct PlanResult {
    int row = 0;  // spreadsheet row number of the plan row
    QString time; // local time of the send, "yyyy-MM-dd HH:mm:ss"
    bool sent = false;
    QString message; // the box the download command showed
};

// The results file of a plan: "<plan>.result.csv".
QString planResultsPath(const QString& planPath);

// The state a result shows: "已发送" or "失败".
QString planResultState(bool sent);

// Every result in the file, oldest first. A line cut short by a crash is skipped; no file
// gives none.
QList<PlanResult> readPlanResults(const QByteArray& bytes);

// One line of the file (with the header when first is set): UTF-8 with its byte-order mark,
// so that spreadsheets open it as such.
QByteArray planResultLine(const PlanResult& result, bool first);

// Appends a result and flushes it to disk before returning; false (with the system's reason
// in error) when it could not be written, in which case the earlier results are untouched.
bool appendPlanResult(const QString& path, const PlanResult& result, QString* error);
