// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/check_plan.h"

#include "common/posix_file.h"
#include "config/plan.h"

#include <QString>
#include <cstdio>

int checkPlanCommand(const char* path)
{
    // A folder or a FIFO is refused with its own reason, not reported as missing.
    const ReadResult read = readWholeFile(QByteArray(path));
    if (!read) {
        const QByteArray why = read.error().missing() ? QByteArray("No such file")
                                                      : read.error().reason().toLocal8Bit();
        std::fprintf(stderr, "%s: %s\n", path, why.constData());
        return 2;
    }
    // The page's texts as the window opens, before any device type is chosen.
    const Plan plan = readPlan(read.value(), PlanBase{});
    const QByteArray report = planReport(plan).toUtf8();
    std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
    return plan.clean() ? 0 : 1;
}
