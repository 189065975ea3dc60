// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/check_plan.h"

#include "common/sysutils.h"
#include "net/local_networks.h"
#include "plan/plan.h"
#include "protocol/param_fields.h"

#include <QString>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace
{

// The header the plan names a column by, as its faults do.
QString headerOf(const Plan& plan, ParamField key)
{
    for (qsizetype i = 0; i < plan.columns.size(); ++i) {
        if (plan.columns[i] == key)
            return plan.headers[i];
    }
    return planColumnKey(key);
}

// A number the packet holds in bits bits: the warning when it does not fit, else nothing.
QString cutWarning(const QString& number, int bits, const QString& what)
{
    int value = 0;
    const int top = (1 << bits) - 1;
    if (!tryStrToInt(number, value) || (value >= 0 && value <= top))
        return {};
    const auto sent = static_cast<unsigned>(value) & static_cast<unsigned>(top);
    return u"%1超出0～%2，将只发出低%3位：%4"_s.arg(what).arg(top).arg(bits).arg(sent);
}

} // namespace

QStringList planWarnings(const Plan& plan)
{
    // The download accepts these, as the page does, but the device would get another value.
    QStringList warnings;
    for (const PlanRow& row : plan.rows) {
        const std::optional<DeviceType>& type = row.deviceType;
        if (row.faulty || !type)
            continue;
        const ParamFields fields = resolvePlanRow(row, PlanBase{}.fields);
        for (const FieldUse& use : paramLayout()) {
            const FieldRow& entry = paramFieldRow(use.key);
            if (!row.values[fieldIndex(use.key)] || !use.types.contains(*type) || !entry.text)
                continue;
            const QString text = trim(fields.*entry.text);
            const QString where =
                u"第%1行，%2：'%3' "_s.arg(row.row).arg(headerOf(plan, use.key), text);
            if (use.packing == Packing::Quad) {
                // As the packet builder splits it: three pieces before dots, the rest last.
                const QStringList pieces = text.split(u'.');
                for (qsizetype i = 0; i < 4 && i < pieces.size(); ++i) {
                    const QString piece = i < 3 ? pieces[i] : pieces.mid(3).join(u'.');
                    const QString w = cutWarning(piece, 8, u"第%1段"_s.arg(i + 1));
                    if (!w.isEmpty())
                        warnings << u"警告："_s + where + w;
                }
            } else {
                const QString w = cutWarning(text, 16, QString());
                if (!w.isEmpty())
                    warnings << u"警告："_s + where + w;
            }
        }
    }
    return warnings;
}

int checkPlanCommand(const char* path)
{
    // A folder or a FIFO is refused with its own reason, not reported as missing; so is a file
    // larger than a plan can be, before it is read.
    // The page's texts as the window opens, before any device type is chosen; the addresses
    // of the machine it runs on, taken to be the laptop the plan is sent from.
    PlanBase base;
    base.laptop = localAddresses();
    const Expected<Plan> file = readPlanFile(QByteArray(path), base);
    if (!file || !file->refusal.isEmpty()) {
        const QByteArray why = file                        ? file->refusal.toUtf8()
                               : missingFile(file.error()) ? QByteArray("No such file")
                                                           : file.error().message.toLocal8Bit();
        std::fprintf(stderr, "%s: %s\n", path, why.constData());
        return 2;
    }
    QString text;
    for (const QString& warning : planWarnings(*file))
        text += warning + u'\n';
    const QByteArray report = (text + planReport(*file)).toUtf8();
    std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
    return file->clean() ? 0 : 1;
}
