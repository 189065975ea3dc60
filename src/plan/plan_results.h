// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"
#include "plan/plan.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What became of sending one row of a plan. The results of a plan are kept in a CSV file next
// to it, one line per send, so that a plan taken up again after a restart shows what was sent.
struct PlanResult {
    // Field by field, in order; what a result of an older file lacks stays empty.
    PlanResult(int rowNumber = 0, QString sentAt = {}, bool wasSent = false, QString box = {},
               QString rowKey = {}, QString device = {}, QString found = {}, QString foundAt = {})
        : row(rowNumber), time(std::move(sentAt)), sent(wasSent), message(std::move(box)),
          key(std::move(rowKey)), macBefore(std::move(device)), verdict(std::move(found)),
          verdictTime(std::move(foundAt))
    {
    }

    int row = 0;  // spreadsheet row number of the plan row when it was sent, for the reader
    QString time; // local time of the send, "yyyy-MM-dd HH:mm:ss"
    bool sent = false;
    QString message;   // the box the download command showed
    QString key;       // the row's content (planRowKey): what the result belongs to
    QString macBefore; // who answered at the current address before sending: the device
    QString verdict;   // what the watch after sending found: "新地址在线 <MAC>", ...
    QString verdictTime;
    QString macBeforeAt;   // the address macBefore answered at
    QString macAfter;      // the MACs the verdict rests on ("a、b"), if any answered
    QString macAfterAt;    // the address they answered at
    bool declined = false; // the operator answered no to a box before sending: nothing sent
    QString plannedMac;    // the MAC the plan gives the device
    QString confirmed; // what the operator confirmed before sending ("冲突 a；设备不符：…")
    QString card;      // the laptop's card and address on the device's subnet
    QString laptopAddress;
    QString capture; // the capture file recording when the row was sent, and the packet's frame
    QString frame;
    QString remarks; // the plan's own columns: "header=value", joined by \x1f as in the key

    bool operator==(const PlanResult&) const = default;
};

// The plan's own columns of a row (Plan::otherHeaders), as a result keeps them, and back.
QString planRemarks(const QStringList& headers, const QStringList& cells);
QList<std::pair<QString, QString>> planRemarkCells(const QString& remarks);

// What a result belongs to: the device a row describes, by its content (its type and every
// cell it has), not by its place in the plan. Inserting, deleting or reordering rows keeps
// each result with its device; a row whose cells changed is a different device, to be sent.
QString planRowKey(const PlanRow& row);

// The results file of a plan: "<plan>.result.csv".
QString planResultsPath(const QString& planPath);

// The state a result shows: "已发送", "失败" or, declined, "已拒绝".
QString planResultState(const PlanResult& result);

// Every result in the file, oldest first. A line cut short by a crash is skipped; no file
// gives none. Lines written before results carried their key have none and match no row;
// lines written before they said where each MAC answered (8 cells) have no addresses, and
// those before they told the plan's MAC and remarks, the laptop's card and the capture (11
// cells) have none of those.
QList<PlanResult> readPlanResults(const QByteArray& bytes);

// The results in a file, and where a crash cut it: the number of the cut line (the first line
// is 1), 0 when every line is whole.
struct PlanResultsFile {
    QList<PlanResult> results;
    int cutLine = 0;
};
PlanResultsFile readPlanResultsFile(const QByteArray& bytes);

// One line of the file (with the header when first is set): UTF-8 with its byte-order mark,
// so that spreadsheets open it as such.
QByteArray planResultLine(const PlanResult& result, bool first);

// Appends a result and flushes it to disk before returning; the system's reason when it could
// not be written, in which case the earlier results are untouched. A
// last line that a crash cut short is cut off first, so that the new line starts a line.
Expected<void> appendPlanResult(const QString& path, const PlanResult& result);
