#include "app/check_plan.h"

#include "common/posix_file.h"
#include "config/plan.h"

#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>

int checkPlanCommand(const char* path)
{
    QByteArray bytes;
    bool exists = false;
    // A folder or a FIFO is refused with its own reason, not reported as missing.
    const bool read = readWholeFile(QByteArray(path), bytes, exists);
    if (!read || !exists) {
        std::fprintf(stderr, "%s: %s\n", path, read ? "No such file" : std::strerror(errno));
        return 2;
    }
    // The page's texts as the window opens, before any device type is chosen.
    const Plan plan = readPlan(bytes, PlanBase{});
    const QByteArray report = planReport(plan).toUtf8();
    std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
    return plan.clean() ? 0 : 1;
}
