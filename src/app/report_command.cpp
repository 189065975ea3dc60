// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report_command.h"

#include "common/posix_file.h"
#include "plan/plan_report.h"
#include "plan/plan_results.h"

#include <QFile>
#include <QString>
#include <cstdio>

using namespace Qt::StringLiterals;

int reportCommand(const char* planPath)
{
    const QString plan = QFile::decodeName(planPath);
    const QString source = planResultsPath(plan);
    const Expected<QByteArray> bytes = readWholeFile(QFile::encodeName(source));
    if (!bytes) {
        const QByteArray why = missingFile(bytes.error()) ? QByteArray("No such file")
                                                          : bytes.error().message.toLocal8Bit();
        std::fprintf(stderr, "%s: %s\n", QFile::encodeName(source).constData(), why.constData());
        return 2;
    }
    const Expected<PlanReport> report = reportPlan(plan, *bytes);
    if (!report) {
        std::fprintf(stderr, "%s: %s\n", planPath,
                     report.error().message.toLocal8Bit().constData());
        return 1;
    }
    const QByteArray text = (reportWrittenText(plan, *report) + u'\n').toUtf8();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return 0;
}
