// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// The handover report of a plan: what became of each device, read from the plan's results file
// alone, so that it can be written later and elsewhere than the plan was sent from.

enum class ReportOutcome {
    Verified,   // sent, and the device answered at its new address
    Unverified, // sent, and any other verdict or none yet
    NotSent,    // every try failed
    Refused,    // the operator declined to send over a doubt, and it was never sent
};

// One device, by its row's content: its latest send and the verdict on that send.
struct ReportDevice {
    QString key;
    int row = 0;       // the row number of its latest line
    QString type;      // the caption of its device type; empty when the key has none
    QString currentIp; // as the row gave them; empty when it left them to the page
    QString newIp;
    QString macBefore; // who answered at the current address before sending
    QString macBeforeAt;
    QString macAfter; // the MACs the verdict rests on
    QString macAfterAt;
    QString time; // when it was sent (not sent: the last try)
    QString verdict;
    QString verdictTime;
    QString message; // the download's message or what was declined, for a device never sent
    QString plannedMac;
    QString confirmed; // the doubts the operator confirmed before its latest send
    QString card;      // the laptop's card and address it was sent from
    QString laptopAddress;
    QList<std::pair<QString, QString>> frames;  // (capture file, frame) of each send recorded
    QList<std::pair<QString, QString>> remarks; // the plan's own columns, (header, value)
    ReportOutcome outcome = ReportOutcome::NotSent;
};

struct PlanReport {
    QList<ReportDevice> devices; // by row number, then in order of their first line
    int verified = 0;
    int unverified = 0;
    int notSent = 0;
    int refused = 0;
    int cutLine = 0;           // the line a crash cut short, 0 when none
    QStringList remarkHeaders; // the plan's own columns, in the order first met
    QStringList captureFiles;  // the capture files the sends were recorded in

    int count(ReportOutcome outcome) const;

    int total() const { return static_cast<int>(devices.size()); }
};

// The report from the bytes of a results file.
PlanReport handoverReport(const QByteArray& resultsFile);

// "已配置并确认 2台，已发送未确认 1台，未发送 1台，已拒绝 1台（共5台）", and the cut line
// if any.
QString planReportSummary(const PlanReport& report);
// The caption of an outcome, as the report's headings name it.
QString reportOutcomeCaption(ReportOutcome outcome);

// A printable page (XHTML, UTF-8) and a CSV file (UTF-8 with BOM, CR LF) of the report.
// source names the results file on the page.
QByteArray planReportHtml(const PlanReport& report, const QString& source);
QByteArray planReportCsv(const PlanReport& report);

// "<plan>.report.html" and "<plan>.report.csv".
QString planReportHtmlPath(const QString& planPath);
QString planReportCsvPath(const QString& planPath);

// Writes both files beside the plan, each replaced whole or not at all.
Expected<void> writePlanReport(const QString& planPath, const PlanReport& report);

// The report of a results file's bytes, written beside the plan; or why it could not be.
Expected<PlanReport> reportPlan(const QString& planPath, const QByteArray& resultsFile);
// The operator's text for a report written: the two files and the summary.
QString reportWrittenText(const QString& planPath, const PlanReport& report);
