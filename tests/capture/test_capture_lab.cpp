// SPDX-License-Identifier: GPL-3.0-or-later
// Inside tests/lab.sh's namespace: the window with its default fields records a site session,
// and tshark reads it back with the dissector.
#include "../e2e/simulator.h"
#include "capture/capture_writer.h"
#include "protocol/packet_decoder.h"
#include "console/pages/capture_control.h"
#include "pcapng_reader.h"
#include "plan/pages/plan_panel.h"
#include "plan/plan_results.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace
{

const QByteArray DefaultParam = QByteArray::fromHex(
    "48C0A801C8C0A801F8C0A801011D4C1D561D60C800FFFFFFFFE0000130000000000000000000000000");
const QByteArray DefaultServer = QByteArray::fromHex("D7C0A801F8FFFFFF00C0A801016464646464");

const char* const Keys[] = {"new_ip",          "server_ip",   "gateway",        "command_port",
                            "data_port",       "server_port", "device_address", "broadcast_ip",
                            "hidden_group_ip", "subnet_mask"};

class CaptureLab : public WindowFixture
{};

TEST_F(CaptureLab, ASiteSessionOpensInTsharkWithEveryFieldAsTheDecoderReadsIt)
{
    QTemporaryDir dir;
    window->globals.AppDir = dir.path() + u'/';
    const QString simFile = dir.filePath(u"sim.pcapng"_s);
    QProcess sim;
    QString said;
    ASSERT_TRUE(startSimulator(sim,
                               {u"--device-address"_s, u"192.168.1.200"_s, u"--server-address"_s,
                                u"192.168.1.248"_s, u"--count"_s, u"2"_s, u"--pcap"_s, simFile,
                                u"--timeout"_s, u"30"_s},
                               said));
    edit("edtMM")->setText(u"40617293"_s);
    QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    ASSERT_TRUE(fake.boxes.empty());

    const QString path = dir.filePath(u"site.pcapng"_s);
    fake.saveAnswers.push_back(path);
    auto* box = child<QCheckBox>("chCapture");
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());
    ASSERT_EQ(fake.saveRequests.size(), 1u);
    EXPECT_EQ(fake.saveRequests[0].defaultExt, u"pcapng"_s);
    EXPECT_EQ(child<QLabel>("LbCapture")->text(), path);

    showPage(0);
    auto* type = child<QComboBox>("cmbType");
    type->setFocus();
    QTest::keyClick(type, Qt::Key_Down);
    QTest::mouseClick(child<QWidget>("SpeedButton1"), Qt::LeftButton);
    showPage(1);
    QTest::mouseClick(child<QWidget>("sbUpdateIP"), Qt::LeftButton);
    showPage(2);
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    ASSERT_EQ(fake.boxes.size(), 4u) << "download done, two confirmations, update done";

    // Three datagrams back from the device's address; 允许接收数据 stays unchecked.
    UdpProbe device("192.168.1.200", 0);
    for (const QByteArray& d : {QByteArray("\x01"), DefaultParam, QByteArray(8192, '\x5a')})
        ASSERT_TRUE(device.sendTo("192.168.1.10", 7520, d));
    CaptureWriter& writer = console()->capture()->writer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return writer.recorded() == 6; }, 5000)) << writer.recorded();
    EXPECT_EQ(child<QLabel>("LbNum")->text(), u"0"_s) << "the list counts as before";
    EXPECT_TRUE(listedLines().isEmpty());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(child<QLabel>("LbCapture")->text(), QString());

    QStringList args = {u"-X"_s, u"lua_script:"_s + QString::fromUtf8(DISSECTOR),
                        u"-r"_s, path,
                        u"-T"_s, u"fields"_s,
                        u"-E"_s, u"separator=|"_s};
    for (const char* f : {"ip.src", "udp.srcport", "ip.dst", "udp.dstport", "frame.comment",
                          "udp.payload", "pa_terminal.kind"})
        args << u"-e"_s << QString::fromLatin1(f);
    for (const char* k : Keys)
        args << u"-e"_s << u"pa_terminal."_s + QString::fromLatin1(k);
    QProcess tshark;
    tshark.start(u"tshark"_s, args);
    ASSERT_TRUE(tshark.waitForFinished(60000));
    const QString out = QString::fromUtf8(tshark.readAllStandardOutput());
    const QString err = QString::fromUtf8(tshark.readAllStandardError());
    ASSERT_EQ(tshark.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(out.contains(u"Lua Error"_s) || err.contains(u"Lua Error"_s)) << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << out.toStdString();

    struct Want {
        QString head; // src|sport|dst|dport|comment
        QByteArray payload;
        QString kind;
    };
    const Want want[] = {
        // Sent from the address the kernel chose for each route, not the bound 0.0.0.0: the
        // site addresses lie on the loopback here, the broadcast leaves by the card.
        {u"192.168.1.200|7520|192.168.1.200|7500|参数包（下载参数）"_s, DefaultParam, u"param"_s},
        {u"192.168.1.248|7520|192.168.1.248|7550|服务器地址包（立即更新）"_s, DefaultServer,
         u"server"_s},
        {u"192.168.1.10|7520|255.255.255.255|7500|测试数据（发送）"_s, QByteArray("\x01"),
         QString()},
        {u"192.168.1.200|%1|192.168.1.10|7520|"_s.arg(device.port()), QByteArray("\x01"), {}},
        {u"192.168.1.200|%1|192.168.1.10|7520|"_s.arg(device.port()), DefaultParam, u"param"_s},
        {u"192.168.1.200|%1|192.168.1.10|7520|"_s.arg(device.port()), QByteArray(8192, '\x5a'), {}},
    };
    for (int i = 0; i < 6; ++i) {
        const QStringList got = lines[i].split(u'|');
        ASSERT_EQ(got.size(), 7 + static_cast<qsizetype>(std::size(Keys)))
            << lines[i].toStdString();
        EXPECT_EQ(got.mid(0, 5).join(u'|'), want[i].head) << "record " << i + 1;
        EXPECT_EQ(QByteArray::fromHex(got[5].toLatin1()), want[i].payload) << "record " << i + 1;
        EXPECT_EQ(got[6], want[i].kind) << "record " << i + 1;
        if (want[i].kind.isEmpty())
            continue;
        const QJsonObject json =
            packetJson(decodePacket(want[i].payload, DeviceType(1)), want[i].payload);
        for (std::size_t k = 0; k < std::size(Keys); ++k)
            EXPECT_EQ(got[7 + static_cast<qsizetype>(k)],
                      json[QString::fromLatin1(Keys[k])].toVariant().toString())
                << "record " << i + 1 << " " << Keys[k];
    }

    // The file ends with its count of lost records, which tshark reads: none.
    QProcess blocks;
    blocks.start(u"tshark"_s,
                 {u"-X"_s, u"read_format:MIME Files Format"_s, u"-r"_s, path, u"-T"_s, u"fields"_s,
                  u"-e"_s, u"pcapng.options.option.data.interface.dropped"_s});
    ASSERT_TRUE(blocks.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(blocks.readAllStandardOutput()).trimmed(), u"0"_s)
        << blocks.readAllStandardError().toStdString();

    // terminal-sim --pcap recorded the two packets as they arrived.
    ASSERT_TRUE(sim.state() == QProcess::NotRunning || sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0) << said.toStdString();
    QFile simCapture(simFile);
    ASSERT_TRUE(simCapture.open(QIODevice::ReadOnly));
    std::string why;
    const auto read = readPcapng(simCapture.readAll(), why);
    ASSERT_TRUE(read) << why;
    ASSERT_EQ(read->packets.size(), 2u);
    EXPECT_EQ(read->packets[0].payload, DefaultParam);
    EXPECT_EQ(read->packets[0].toPort, 7500);
    EXPECT_EQ(read->packets[1].payload, DefaultServer);
    EXPECT_EQ(read->packets[1].toPort, 7550);
    // The window's capture names the sender the device saw.
    EXPECT_EQ(read->packets[0].from, 0xC0A801C8u);
    EXPECT_EQ(read->packets[1].from, 0xC0A801F8u);
}

// A plan row's results name the capture and the frame its packet went out in, as tshark
// numbers them: a test datagram first, then the row.
TEST_F(CaptureLab, APlanRowsResultsNameItsFrameInTheCapture)
{
    QTemporaryDir dir;
    const QString plan = dir.filePath(u"p.csv"_s);
    ASSERT_TRUE(writeTestFile(plan, "type,new_ip,address\n1,192.168.1.201,9\n"));
    edit("edtMM")->setText(u"40617293"_s);
    QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    const QString path = dir.filePath(u"site.pcapng"_s);
    fake.saveAnswers.push_back(path);
    QTest::mouseClick(child<QCheckBox>("chCapture"), Qt::LeftButton);
    showPage(2);
    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    showPage(0);
    auto* panel = window->findChild<PlanPanel*>();
    panel->setPlanChooser([&] { return plan; });
    QTest::mouseClick(child<QPushButton>("btnLoadPlan"), Qt::LeftButton);
    auto* send = child<QPushButton>("btnSendNext");
    ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 10000));
    QTest::mouseClick(send, Qt::LeftButton);
    QList<PlanResult> results;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QFile f(planResultsPath(plan));
            results = f.open(QIODevice::ReadOnly) ? readPlanResults(f.readAll()) : results;
            return !results.isEmpty();
        },
        10000));
    QTest::mouseClick(child<QCheckBox>("chCapture"), Qt::LeftButton);
    EXPECT_EQ(results[0].capture, path);
    ASSERT_EQ(results[0].frame, u"2"_s);

    QProcess tshark;
    tshark.start(u"tshark"_s, {u"-X"_s, u"lua_script:"_s + QString::fromUtf8(DISSECTOR), u"-r"_s,
                               path, u"-Y"_s, u"frame.number==2"_s, u"-T"_s, u"fields"_s, u"-e"_s,
                               u"pa_terminal.kind"_s, u"-e"_s, u"pa_terminal.new_ip"_s});
    ASSERT_TRUE(tshark.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(tshark.readAllStandardOutput()).trimmed(),
              u"param\t192.168.1.201"_s)
        << tshark.readAllStandardError().toStdString();
}

} // namespace
