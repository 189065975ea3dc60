// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and checks a plan of 10,000 devices, as loading it on the page or --check-plan does,
// and reads a results file of as many lines. Prints the times; fails when reading and checking
// the plan take more than one second of processor time (on a shared machine the wall time
// says more about the other jobs).
#include "common/sysutils.h"
#include "plan/plan.h"
#include "plan/plan_results.h"

#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

int main()
{
    constexpr int rows = 10000;
    const QStringList types = {u"普通终端"_s, u"寻呼主机"_s, u"一键报警"_s,
                               u"网络收音"_s, u"6"_s,        u"12"_s};
    QString text = u"设备类型,当前设备IP,更新后设备IP,设备地址,服务器IP,组播IP,数据端口\r\n"_s;
    QByteArray results;
    for (int i = 0; i < rows; ++i) {
        const QString ip = u"10.%1.%2.%3"_s.arg(i / 65536).arg(i / 256 % 256).arg(i % 256);
        text += u"%1,192.168.1.200,%2,%3,\"192.168.1.248\",%4,7510\r\n"_s.arg(
            types[i % types.size()], ip, QString::number(i + 1),
            i % types.size() == 4 ? u"3"_s : u"224.0.1.48"_s);
        results += planResultLine(
            {i + 2, u"2026-12-08 03:00:00"_s, true, u"设备设置完成！"_s, {}, {}, {}, {}}, i == 0);
    }
    // Code page 936, so the reader first tries UTF-8 over the whole file and falls back.
    const QByteArray bytes = toCp936(text);

    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    const Plan plan = readPlan(bytes, PlanBase{});
    const qint64 planMs = timer.elapsed();
    const long long planCpuMs = (std::clock() - cpuStart) * 1000LL / CLOCKS_PER_SEC;
    timer.restart();
    const QList<PlanResult> read = readPlanResults(results);
    const qint64 resultsMs = timer.elapsed();

    std::printf("plan: %d rows, %lld bytes, %lld issues, read and checked in %lld ms "
                "(%lld ms of processor time)\n",
                static_cast<int>(plan.rows.size()), static_cast<long long>(bytes.size()),
                static_cast<long long>(plan.issues.size()), static_cast<long long>(planMs),
                planCpuMs);
    std::printf("results file: %d lines read in %lld ms\n", static_cast<int>(read.size()),
                static_cast<long long>(resultsMs));
    const bool ok =
        plan.rows.size() == rows && plan.clean() && read.size() == rows && planCpuMs < 1000;
    std::printf("%s (limit 1000 ms of processor time)\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
