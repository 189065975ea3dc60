// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/check_plan.h"

#include "plan/plan.h"

#include <QString>
#include <cstdio>

int checkPlanCommand(const char* path)
{
    // A folder or a FIFO is refused with its own reason, not reported as missing; so is a file
    // larger than a plan can be, before it is read.
    // The page's texts as the window opens, before any device type is chosen.
    const PlanFile file = readPlanFile(QByteArray(path), PlanBase{});
    if (file.error || !file.plan.refusal.isEmpty()) {
        const QByteArray why = !file.plan.refusal.isEmpty() ? file.plan.refusal.toUtf8()
                               : file.error->missing()      ? QByteArray("No such file")
                                                            : file.error->reason().toLocal8Bit();
        std::fprintf(stderr, "%s: %s\n", path, why.constData());
        return 2;
    }
    const QByteArray report = planReport(file.plan).toUtf8();
    std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
    return file.plan.clean() ? 0 : 1;
}
