// SPDX-License-Identifier: GPL-3.0-or-later
// The whole window through a three-row plan against real kernel ARP: device namespaces on a
// bridge inside the lab namespace, terminal-sim --apply as a device that takes its new address.
#include "config/pages/param_page.h"
#include "plan/pages/plan_panel.h"
#include "plan/plan_verifier.h"
#include "config/pages/subnet_status.h"
#include "net/presence_probe.h"
#include "support/lab_devices.h"
#include "support/test_helpers.h"
#include "support/window_fixture.h"

#include <QTableWidget>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace
{

class VerifyLab : public WindowFixture
{
protected:
    void SetUp() override
    {
        const QString why = lab.start();
        if (!why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        installPresenceProbe(&probe);
        WindowFixture::SetUp();
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        installPresenceProbe(nullptr);
    }
    // Starts terminal-sim in a device's namespace; true once it listens.
    bool startSim(int device, QStringList args)
    {
        QProcess* sim =
            lab.run(device, QString::fromUtf8(TERMINAL_SIM),
                    args + QStringList{u"--server-address"_s, u"127.0.0.1"_s, u"--server-port"_s,
                                       u"0"_s, u"--json"_s, u"--timeout"_s, u"60"_s});
        sims.append(sim);
        return QTest::qWaitFor(
            [&] {
                said[sim] += QString::fromUtf8(sim->readAllStandardError());
                return said[sim].contains(u"监听"_s);
            },
            10000);
    }
    QString state(int row)
    {
        return child<QTableWidget>("tblPlan")->item(row, PlanPanel::ColState)->text();
    }

    LabDevices lab;
    KernelPresenceProbe probe;
    QList<QProcess*> sims;
    QHash<QProcess*, QString> said;
};

TEST_F(VerifyLab, ThreeRowsTakeTheirAddressConflictAndStayAbsent)
{
    const int taking = lab.add(u"192.168.50.200"_s);
    const int second = lab.add(u"192.168.50.202"_s);
    const int holder = lab.add(u"192.168.50.203"_s); // already on row 2's new address
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(startSim(taking, {u"--device-address"_s, u"192.168.50.200"_s, u"--apply"_s,
                                  u"--reboot-seconds"_s, u"0.5"_s}));
    ASSERT_TRUE(startSim(second, {u"--device-address"_s, u"192.168.50.202"_s}));

    QTemporaryDir dir;
    const QString plan = dir.filePath(u"site.csv"_s);
    {
        QFile f(plan);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("type,current_ip,current_port,new_ip,address\n"
                "1,192.168.50.200,7500,192.168.50.201,1\n"
                "1,192.168.50.202,7500,192.168.50.203,2\n"
                "1,192.168.50.204,7500,192.168.50.205,3\n");
    }
    connectOn(7520);
    ASSERT_TRUE(unlocked());
    showPage(0);

    // The status line for an on-subnet and an off-subnet device address.
    auto* status = window->findChild<SubnetStatus*>();
    ASSERT_NE(status, nullptr);
    edit("edtCurrIP")->setText(u"10.9.9.9"_s);
    EXPECT_TRUE(status->statusText().startsWith(u"警告：本机没有 10.9.9.0/24 网段的地址"_s))
        << status->statusText().toStdString();
    edit("edtCurrIP")->setText(u"192.168.50.202"_s);
    EXPECT_EQ(status->statusText(), u"本机网卡 brlab 192.168.50.10/24 与设备在同一网段"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !status->presenceText().isEmpty(); }, 5000));
    EXPECT_EQ(status->presenceText(), u"在线 MAC "_s + lab.mac(second));

    auto* panel = window->findChild<PlanPanel*>();
    panel->verifier().setWatchTiming(500, 6000);
    panel->setPlanChooser([&] { return plan; });
    QTest::mouseClick(child<QPushButton>("btnLoadPlan"), Qt::LeftButton);
    // The plan is read off the event thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->loading(); }, 5000));
    ASSERT_TRUE(panel->plan().clean()) << planReport(panel->plan()).toStdString();
    auto* send = child<QPushButton>("btnSendNext");
    auto pressWhenReady = [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 10000));
        QTest::mouseClick(send, Qt::LeftButton);
    };

    pressWhenReady(); // row 1
    ASSERT_TRUE(QTest::qWaitFor([&] { return state(0).startsWith(u"已发送"_s); }, 5000))
        << state(0).toStdString();

    fake.answers.push_back(MB::IDCANCEL);
    pressWhenReady(); // row 2: its new address is held
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake.answers.size(); }, 5000));
    EXPECT_EQ(state(1), u"冲突 "_s + lab.mac(holder));
    const auto& box = fake.boxes.back();
    EXPECT_EQ(box.caption, u"信息提示："_s);
    EXPECT_EQ(box.flags, 289);
    QTest::qWait(300);
    said[sims[1]] += QString::fromUtf8(sims[1]->readAllStandardOutput());
    EXPECT_FALSE(said[sims[1]].contains(u"\"kind\":\"param\""_s)) << "sent before confirmed";

    fake.answers.push_back(MB::IDOK);
    child<QTableWidget>("tblPlan")->selectRow(1);
    pressWhenReady();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            said[sims[1]] += QString::fromUtf8(sims[1]->readAllStandardOutput());
            return said[sims[1]].contains(u"\"new_ip\":\"192.168.50.203\""_s);
        },
        5000));

    child<QTableWidget>("tblPlan")->selectRow(2);
    pressWhenReady(); // row 3: nobody there
    ASSERT_TRUE(QTest::qWaitFor([&] { return state(0).startsWith(u"新地址"_s); }, 15000));
    said[sims[0]] +=
        QString::fromUtf8(sims[0]->readAllStandardError() + sims[0]->readAllStandardOutput());
    EXPECT_EQ(state(0), u"新地址在线 "_s + lab.mac(taking)) << said[sims[0]].toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state(2).startsWith(u"新地址"_s); }, 15000));
    EXPECT_EQ(state(2), u"新地址无应答"_s);
}

} // namespace
