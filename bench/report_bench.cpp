// SPDX-License-Identifier: GPL-3.0-or-later
// The handover report of a plan of 10,000 devices, each with a send and a verdict line: reading
// the results file and making the page and the CSV file. Fails past two seconds.
#include "plan/plan_report.h"
#include "plan/plan_results.h"

#include <QElapsedTimer>
#include <cstdio>

using namespace Qt::StringLiterals;

int main()
{
    constexpr int devices = 10000;
    QByteArray bytes;
    for (int i = 0; i < devices; ++i) {
        const QString ip = u"10.0.%1.%2"_s.arg(i / 256).arg(i % 256);
        PlanResult r{i + 2,
                     u"2026-12-08 03:00:00"_s,
                     i % 7 != 0,
                     u"设备设置完成！"_s,
                     u"1\x1f"
                     u"current_ip=192.168.1.200\x1f"
                     u"new_ip="_s +
                         ip,
                     u"00:1a:2b:3c:4d:5e"_s};
        // Every column a site's results fill: the plan's MAC and two remarks, the laptop, the
        // capture's frame.
        r.plannedMac = r.macBefore;
        r.remarks = u"楼层=%1F\x1f位置=走廊"_s.arg(i % 20);
        r.card = u"eth0"_s;
        r.laptopAddress = u"192.168.1.10"_s;
        r.capture = u"/home/installer/site.pcapng"_s;
        r.frame = QString::number(i * 3 + 1);
        bytes += planResultLine(r, i == 0);
        if (r.sent) {
            r.verdict = i % 3 ? u"新地址在线 00:1a:2b:3c:4d:5e"_s : u"新地址无应答"_s;
            r.verdictTime = u"2026-12-08 03:00:05"_s;
            bytes += planResultLine(r, false);
        }
    }
    QElapsedTimer timer;
    timer.start();
    const PlanReport report = handoverReport(bytes);
    const QByteArray html = planReportHtml(report, u"plan.csv.result.csv"_s);
    const QByteArray csv = planReportCsv(report);
    const qint64 ms = timer.elapsed();
    std::printf("report: %d devices, %lld bytes read, page %lld bytes, CSV %lld bytes in %lld ms\n",
                report.total(), static_cast<long long>(bytes.size()),
                static_cast<long long>(html.size()), static_cast<long long>(csv.size()),
                static_cast<long long>(ms));
    const bool ok = report.total() == devices && ms < 2000;
    std::printf("%s (limit 2000 ms)\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
