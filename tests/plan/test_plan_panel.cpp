// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/globals.h"
#include "config/pages/param_page.h"
#include "fake_verifier.h"
#include "plan/pages/plan_panel.h"
#include "plan/plan_report.h"
#include "plan/plan_results.h"
#include "plan/plan_session.h"
#include "plan/plan_verifier.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/udp_probe.h"

#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <ostream>

using namespace Qt::StringLiterals;

namespace
{

// One parameter page on a bound loopback endpoint, its plan panel answering with fixed times.
struct PanelFixture {
    FakeDialogs fake;
    MainGlobals globals;
    TUDPServer udp;
    std::unique_ptr<ParamPage> page;
    int tick = 0;

    PanelFixture()
    {
        globals.DeviceType = DeviceType(1);
        udp.SetDefaultPort(freeUdpPort());
        udp.SetActive(true);
        page = std::make_unique<ParamPage>(globals, udp);
        page->resize(1080, 460);
        panel()->setClock([this] { return u"T%1"_s.arg(++tick); });
        // The rows' new addresses are on the laptop's subnet wherever the test runs: their
        // watch goes on (asking the silent probe) rather than end at once.
        panel()->verifier().setAddressSource([] {
            return QList<LocalAddress>{{u"eth0"_s, 0xC0A8010Au, 24, false}};
        });
        page->show();
        QApplication::setActiveWindow(page.get());
    }
    PlanPanel* panel() { return page->planPanel(); }
    // Loads as the button does: read off the event thread, shown when it is back.
    void load(const QString& path)
    {
        panel()->loadPlan(path);
        EXPECT_TRUE(panel()->loading());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel()->loading(); }, 5000));
    }
    template <class W> W* w(const char* name)
    {
        auto* found = page->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTableWidget* table() { return w<QTableWidget>("tblPlan"); }
    QString state(int row) { return table()->item(row, PlanPanel::ColState)->text(); }
    // Presses the button and waits for the check of the row's addresses before it is sent.
    void send()
    {
        QTest::mouseClick(w<QPushButton>("btnSendNext"), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !checking(); }, 5000));
    }
    bool checking()
    {
        for (int r = 0; r < table()->rowCount(); ++r) {
            if (state(r) == u"检查中"_s)
                return true;
        }
        return false;
    }
};

QString writePlan(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(u"site.csv"_s);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

const QByteArray kRow2 = hex("48 C0A80115 C0A801F8 C0A80101 1D4C 1D56 1D60 1500 FFFFFFFF E0000130"
                             "000000000000000000000000");
const QByteArray kRow3 = hex("48 C0A80116 C0A801F8 C0A80101 1D4C 1D56 1D60 1600 FFFFFFFF E0000130"
                             "FFFFFF00 C0A801F8 00000000");

TEST(PlanPanel, SendsRowByRowRecordsEachResultAndResumesAfterARestart)
{
    QTemporaryDir dir;
    UdpProbe probe;
    const QString path =
        writePlan(dir, (u"设备类型,当前设备IP,当前设备命令端口,备注,更新后设备IP,设备地址\r\n"
                        u"普通终端,127.0.0.1,%1,大门口,192.168.1.21,21\r\n"
                        u"5,127.0.0.1,%1,,192.168.1.22,22\r\n"
                        u"网络CD,127.0.0.1,%1,\"7,8\",192.168.1.23,23\r\n"_s)
                           .arg(probe.port())
                           .toUtf8());
    {
        PanelFixture f;
        f.load(path);
        ASSERT_EQ(f.table()->rowCount(), 3);
        // Shown after the panel's own columns, never sent (the bytes below have no place for it).
        ASSERT_EQ(f.table()->columnCount(), PlanPanel::ColCount + 1);
        EXPECT_EQ(f.table()->horizontalHeaderItem(PlanPanel::ColCount)->text(), u"备注"_s);
        EXPECT_EQ(f.table()->item(0, PlanPanel::ColCount)->text(), u"大门口"_s);
        EXPECT_EQ(f.table()->item(2, PlanPanel::ColCount)->text(), u"7,8"_s);
        EXPECT_EQ(f.state(0), u"待发送"_s);
        EXPECT_EQ(f.panel()->currentRow(), 0);

        f.send();
        auto got = probe.receive();
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->data.toHex(' '), kRow2.toHex(' '));
        EXPECT_EQ(got->fromPort, f.udp.DefaultPort());
        EXPECT_EQ(f.w<QComboBox>("cmbType")->currentText(), u"普通终端"_s);
        EXPECT_EQ(f.state(0), u"已发送 T1"_s);
        EXPECT_EQ(f.panel()->currentRow(), 1);

        // A field the plan leaves to the page is read at the send, with the command's checks.
        f.w<QLineEdit>("ectServerIP")->setText(QString());
        f.send();
        EXPECT_FALSE(probe.receive(100).has_value());
        EXPECT_EQ(f.state(1), u"失败：服务器IP不能为空！"_s);
        EXPECT_EQ(QApplication::focusWidget(), f.w<QLineEdit>("ectServerIP"));
        EXPECT_EQ(f.panel()->currentRow(), 1) << "a failed row stays picked";

        f.w<QLineEdit>("ectServerIP")->setText(u"192.168.1.248"_s);
        f.send();
        got = probe.receive();
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->data.toHex(' '), kRow3.toHex(' '));
        EXPECT_EQ(f.state(1), u"已发送 T3"_s);
        EXPECT_EQ(f.panel()->currentRow(), 2);

        QStringList boxes;
        for (const auto& b : f.fake.boxes)
            boxes.append(b.text);
        EXPECT_EQ(boxes,
                  (QStringList{u"设备设置完成！"_s, u"服务器IP不能为空！"_s, u"设备设置完成！"_s}));
    }

    // A new run of the program shows what was sent and goes on with the rest.
    PanelFixture again;
    again.load(path);
    EXPECT_EQ(again.state(0), u"已发送 T1"_s);
    EXPECT_EQ(again.state(1), u"已发送 T3"_s);
    EXPECT_EQ(again.state(2), u"待发送"_s);
    EXPECT_EQ(again.panel()->currentRow(), 2);

    // Any row can be picked and sent again.
    again.table()->selectRow(0);
    again.send();
    const auto got = probe.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data.toHex(' '), kRow2.toHex(' '));
    EXPECT_EQ(again.state(0), u"已发送 T1"_s);

    QFile results(planResultsPath(path));
    ASSERT_TRUE(results.open(QIODevice::ReadOnly));
    QStringList lines;
    for (const PlanResult& r : readPlanResults(results.readAll()))
        lines.append(u"%1 %2 %3 %4"_s.arg(r.row).arg(r.time, planResultState(r), r.message));
    EXPECT_EQ(lines,
              (QStringList{u"2 T1 已发送 设备设置完成！"_s, u"3 T2 失败 服务器IP不能为空！"_s,
                           u"3 T3 已发送 设备设置完成！"_s, u"2 T1 已发送 设备设置完成！"_s}));

    // The handover report of what the results say, written beside the plan off the event
    // thread; the plan's own column goes with each device.
    again.fake.boxes.clear();
    QTest::mouseClick(again.w<QPushButton>("btnPlanReport"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !again.fake.boxes.empty(); }, 5000));
    EXPECT_EQ(again.fake.boxes[0].text,
              u"交接报告已写入：\n%1.report.html\n%1.report.csv\n已配置并确认 0台，"
              u"已发送未确认 2台，未发送 0台，已拒绝 0台（共2台）"_s.arg(path));
    EXPECT_TRUE(again.w<QPushButton>("btnPlanReport")->isEnabled());
    QFile csv(planReportCsvPath(path));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        QString::fromUtf8(csv.readAll()).contains(u"\r\n2,已发送未确认,普通终端,大门口,"_s));
}

TEST(PlanPanel, RowsWithFaultsAndPlansWithFaultsAreNeverSent)
{
    QTemporaryDir dir;
    UdpProbe probe;
    PanelFixture f;
    EXPECT_GT(f.panel()->geometry().left(), 737) << "over the designed controls";
    EXPECT_FALSE(f.w<QPushButton>("btnSendNext")->isEnabled()) << "no plan yet";

    const QString rows =
        u"1,127.0.0.1,%1,192.168.1.21,21\n1,127.0.0.1,%1,192.168.1.21,22\n"_s.arg(probe.port());
    f.load(writePlan(dir, (u"type,current_ip,current_port,new_ip,address\n"_s + rows).toUtf8()));
    EXPECT_EQ(f.state(1), u"有误：new_ip：与第2行重复"_s);
    EXPECT_EQ(f.panel()->currentRow(), -1);
    f.table()->selectRow(1);
    EXPECT_FALSE(f.w<QPushButton>("btnSendNext")->isEnabled());
    f.panel()->btnSendNextClick();
    EXPECT_FALSE(probe.receive(100).has_value());
    EXPECT_TRUE(f.fake.boxes.empty());

    // A quote left open: the rows before it are whole, yet none may go.
    f.load(writePlan(dir, (u"type,current_ip,current_port,new_ip,address\n"
                           u"1,127.0.0.1,%1,192.168.1.21,21\n1,127.0.0.1,%1,\"192.168.1.22,22\n"
                           u"1,127.0.0.1,%1,192.168.1.23,23\n"_s.arg(probe.port()))
                              .toUtf8()));
    EXPECT_EQ(
        f.w<QPlainTextEdit>("memPlanReport")->toPlainText(),
        u"第3行：引号没有闭合，这一行起读不出，整个方案不能发送\n方案有1处错误（2台设备）\n"_s);
    EXPECT_EQ(f.w<QLabel>("lblPlan")->text(), u"方案：site.csv，有1处错误，整个方案不能发送"_s);
    EXPECT_EQ(f.panel()->currentRow(), -1);
    f.table()->selectRow(0);
    EXPECT_FALSE(f.w<QPushButton>("btnSendNext")->isEnabled());
    f.panel()->btnSendNextClick();
    EXPECT_FALSE(probe.receive(100).has_value());
    EXPECT_FALSE(QFile::exists(planResultsPath(dir.filePath(u"site.csv"_s))));
}

// The box names why a plan cannot be read; a folder is no missing file. Only the file chosen
// last counts.
TEST(PlanPanel, APlanThatCannotBeReadSaysWhy)
{
    QTemporaryDir dir;
    PanelFixture f;
    const QString missing = dir.filePath(u"none.csv"_s);
    const QString folder = dir.path();
    const QString large = writePlan(dir, {});
    ASSERT_TRUE(QFile::resize(large, PlanMaxBytes + 1));
    f.panel()->loadPlan(large); // chosen again at once: its answer is stale
    f.load(missing);
    f.load(folder);
    f.load(large);
    QStringList boxes;
    for (const auto& b : f.fake.boxes)
        boxes.append(b.text);
    EXPECT_EQ(boxes, (QStringList{
                         u"方案无法读取：%1（文件不存在）"_s.arg(missing),
                         u"方案无法读取：%1（Is a directory）"_s.arg(folder),
                         u"方案无法载入：%1\n方案文件超过8 MB，请分成几个方案文件"_s.arg(large)}));
    EXPECT_EQ(f.w<QLabel>("lblPlan")->text(), u"方案：未载入"_s);
}

// A plan chosen while a box of the pressed row is up is read, then waits until the row is
// done: the row's bytes, box and result stay with the plan it came from.
TEST(PlanPanel, APlanReadWhileARowsBoxIsUpComesInAfterTheRow)
{
    struct Case {
        const char* name;
        QString conflict;
        int flags; // of the box under which the other plan is read
    };
    const Case cases[] = {
        {"send's box", {}, MB::Information},
        {"conflict box", u"00:11:22:33:44:55"_s, MB::Confirmation},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        UdpProbe probe;
        const QString rows = u"普通终端,127.0.0.1,%1,192.168.1.21,21\r\n"
                             u"5,127.0.0.1,%1,192.168.1.22,22\r\n"_s.arg(probe.port());
        const QString header = u"设备类型,当前设备IP,当前设备命令端口,更新后设备IP,设备地址\r\n"_s;
        const QString first = dir.filePath(u"a.csv"_s);
        const QString second = dir.filePath(u"b.csv"_s);
        const QString third = u"网络CD,127.0.0.1,1,192.168.1.23,23\r\n"_s;
        for (const auto& [path, text] :
             {std::pair<QString, QString>{first, header + rows},
              std::pair<QString, QString>{second, header + rows + third}}) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text.toUtf8());
        }
        PanelFixture f;
        FakeVerifier verifier;
        f.panel()->session().setVerifier(verifier);
        f.load(first);
        QSignalSpy read(f.panel(), &PlanPanel::planRead);
        bool loadEnabled = true;
        int rowsUnderBox = -1;
        f.fake.onBox = [&](const FakeDialogs::Box& box) {
            if (box.flags != c.flags || read.size() > 0)
                return;
            loadEnabled = f.w<QPushButton>("btnLoadPlan")->isEnabled();
            f.panel()->loadPlan(second);
            EXPECT_TRUE(QTest::qWaitFor([&] { return read.size() == 1; }, 5000));
            QTest::qWait(50); // the read's answer is taken while the box is up
            rowsUnderBox = static_cast<int>(f.panel()->plan().rows.size());
        };
        QTest::mouseClick(f.w<QPushButton>("btnSendNext"), Qt::LeftButton);
        EXPECT_FALSE(f.w<QPushButton>("btnLoadPlan")->isEnabled()) << "while it is checked";
        ASSERT_FALSE(verifier.checks.empty());
        verifier.checks.back().second({{}, c.conflict, {}, {}});
        f.fake.onBox = nullptr;
        EXPECT_FALSE(loadEnabled) << "载入方案 is off under the box";
        EXPECT_EQ(rowsUnderBox, 2) << "the first plan stays under the box";
        const auto got = probe.receive();
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->data.toHex(' '), kRow2.toHex(' '));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.panel()->loading(); }, 5000));
        EXPECT_EQ(f.panel()->planPath(), second);
        EXPECT_EQ(f.panel()->plan().rows.size(), 3);
        EXPECT_TRUE(f.w<QPushButton>("btnLoadPlan")->isEnabled());
        QFile results(planResultsPath(first));
        ASSERT_TRUE(results.open(QIODevice::ReadOnly));
        ASSERT_EQ(readPlanResults(results.readAll()).size(), 1);
        EXPECT_FALSE(QFile::exists(planResultsPath(second)));
        EXPECT_EQ(f.state(0), u"待发送"_s) << "the other plan's row of the same content";
    }
}

} // namespace
