// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside tests/lab.sh's namespace, where 192.168.1.200 is local: the whole window sends a
// three-row plan, one press per device, and terminal-sim reads every packet back.
#include "plan/pages/plan_panel.h"
#include "plan/plan_results.h"
#include "simulator.h"
#include "support/window_fixture.h"

#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace
{

class PlanLab : public WindowFixture
{};

TEST_F(PlanLab, ThreeDevicesOnePressEachAndTheSimulatorReadsEveryPacket)
{
    QTemporaryDir dir;
    const QString plan = dir.filePath(u"site.csv"_s);
    {
        QFile f(plan);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // The devices all answer at the factory address; the columns left out keep the page's.
        f.write(u"type,new_ip,address,group_ip,paging_server_ip,alarm_host1\r\n"
                u"普通终端,192.168.1.21,21,224.0.1.48,192.168.1.248,0\r\n"
                u"寻呼主机,192.168.1.22,22,224.0.1.60,192.168.1.250,0\r\n"
                u"4,192.168.1.23,23,255.255.0.0,192.168.1.249,7\r\n"_s.toUtf8());
    }
    const char* common = R"("server_ip":"192.168.1.248","gateway":"192.168.1.1",)"
                         R"("command_port":7500,"data_port":7510,"server_port":7520,)"
                         R"("broadcast_ip":"255.255.255.255","to":"192.168.1.200:7500")";
    QTemporaryDir expectDir;
    QFile expect(expectDir.filePath(u"expect.jsonl"_s));
    ASSERT_TRUE(expect.open(QIODevice::WriteOnly));
    expect.write(QByteArray(R"({"kind":"param","type":1,"new_ip":"192.168.1.21",)"
                            R"("device_address":21,"hidden_group_ip":"224.0.1.48",)") +
                 common + "}\n");
    expect.write(
        QByteArray(R"({"kind":"param","type":5,"new_ip":"192.168.1.22",)"
                   R"("device_address":22,"multicast_ip":"224.0.1.60",)"
                   R"("subnet_mask":"255.255.255.0","paging_server_ip":"192.168.1.250",)") +
        common + "}\n");
    expect.write(QByteArray(R"({"kind":"param","type":4,"new_ip":"192.168.1.23",)"
                            R"("device_address":23,"subnet_mask":"255.255.0.0",)"
                            R"("alarm_host1_ip":"255.255.255.0","alarm_host2_ip":"192.168.1.249",)"
                            R"("alarm_host1_id":7,"alarm_host2_id":0,)") +
                 common + "}\n");
    expect.close();

    QProcess sim;
    QString said;
    ASSERT_TRUE(
        startSimulator(sim,
                       {u"--device-address"_s, u"192.168.1.200"_s, u"--server-address"_s,
                        u"127.0.0.1"_s, u"--expect"_s, expect.fileName(), u"--timeout"_s, u"30"_s},
                       said));

    connectOn(7520);
    ASSERT_TRUE(unlocked());
    showPage(0);
    auto* panel = window->findChild<PlanPanel*>();
    ASSERT_NE(panel, nullptr);
    panel->setPlanChooser([&] { return plan; });
    QTest::mouseClick(child<QPushButton>("btnLoadPlan"), Qt::LeftButton);
    // The plan is read off the event thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->loading(); }, 5000));
    ASSERT_TRUE(panel->plan().clean());
    auto* send = child<QPushButton>("btnSendNext");
    for (int i = 0; i < 3; ++i) {
        // Each press first checks the row's addresses off the event thread.
        ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 5000)) << i;
        QTest::mouseClick(send, Qt::LeftButton);
    }

    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning; }, 30000));
    said += QString::fromUtf8(sim.readAllStandardError());
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0) << said.toStdString()
                                 << QString::fromUtf8(sim.readAllStandardOutput()).toStdString();

    QStringList boxes;
    for (const auto& b : fake.boxes)
        boxes.append(b.text);
    EXPECT_EQ(boxes, QStringList(3, u"设备设置完成！"_s));
    auto* table = child<QTableWidget>("tblPlan");
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(table->item(row, PlanPanel::ColState)->text().startsWith(u"已发送 "_s)) << row;
    QFile results(planResultsPath(plan));
    ASSERT_TRUE(results.open(QIODevice::ReadOnly));
    const QList<PlanResult> written = readPlanResults(results.readAll());
    ASSERT_EQ(written.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(written[i].row, i + 2);
        EXPECT_TRUE(written[i].sent);
    }
}

} // namespace
