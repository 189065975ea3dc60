// SPDX-License-Identifier: GPL-3.0-or-later
// The capture file on a disk that fills up (a tmpfs in the test's own mount namespace): one
// box, the capture stops, the receive list goes on as before.
#include "capture/capture_writer.h"
#include "console/pages/capture_control.h"
#include "mount_sandbox.h"
#include "net/udp_server.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace
{

class CaptureDisk : public WindowFixture
{};

TEST_F(CaptureDisk, AFullDiskGivesOneBoxAndStopsOnlyTheCapture)
{
    REQUIRE_PRIVATE_MOUNTS();
    TinyTmpfs disk("64k");
    ASSERT_TRUE(disk.mounted()) << disk.error();
    connectOn(freeUdpPort());
    showPage(2);
    child<QCheckBox>("ChOK")->setChecked(true);
    fake.saveAnswers.push_back(disk.file(u"site.pcapng"_s));
    auto* box = child<QCheckBox>("chCapture");
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());

    const int port = window->UDPServer().AcquireBinding().Port;
    UdpProbe peer;
    int sent = 0;
    // 200 datagrams of 1,000 bytes: three times what the disk holds.
    for (; sent < 200; ++sent) {
        ASSERT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray(1000, '\x33')));
        if (sent % 20 == 19)
            QTest::qWait(5);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake.boxes.empty(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->globals.RecvCount == sent; }, 5000))
        << window->globals.RecvCount;
    QTest::qWait(100);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(
        fake.boxes[0].text,
        u"抓包文件写入失败：No space left on device。抓包已停止，已写入的记录保留在文件中。"_s);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(console()->capture()->writer().running());
    EXPECT_EQ(console()->capture()->lastSent(), CaptureMark{}) << "no recording runs";
    EXPECT_GT(ReadWholeFile(disk.file(u"site.pcapng"_s)).size(), 30000);

    // The list is unaffected: later datagrams are listed and counted as before.
    ASSERT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray(1, '\x01')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->globals.RecvCount == sent + 1; }, 5000));
    EXPECT_EQ(fake.boxes.size(), 1u);
}

// A writer that cannot keep up drops records; the operator reads how many beside the box,
// while recording and after it, as the file itself says.
TEST_F(CaptureDisk, LostRecordsAreCountedBesideTheBox)
{
    QTemporaryDir dir;
    connectOn(freeUdpPort());
    showPage(2);
    const QString path = dir.filePath(u"site.pcapng"_s);
    fake.saveAnswers.push_back(path);
    console()->capture()->writer().setQueueLimit(500); // a 1,000-byte datagram cannot wait
    auto* box = child<QCheckBox>("chCapture");
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());
    auto* label = child<QLabel>("LbCapture");
    EXPECT_EQ(label->text(), path);

    const int port = window->UDPServer().AcquireBinding().Port;
    UdpProbe peer;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray(1000, '\x33')));
    ASSERT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray(1, '\x01')));
    const QString counted = path + u"（已丢失3条记录）"_s;
    ASSERT_TRUE(QTest::qWaitFor([&] { return label->text() == counted; }, 3000))
        << label->text().toStdString();
    EXPECT_EQ(label->accessibleName(), u"抓包文件："_s + counted);
    EXPECT_EQ(console()->capture()->writer().recorded(), 1u);

    // A sent datagram is marked with its frame; one the writer had to drop with none.
    TUDPServer& udp = window->UDPServer();
    EXPECT_EQ(console()->capture()->lastSent(), (CaptureMark{path, 0}));
    udp.SendDatagram(u"127.0.0.1"_s, peer.port(), "\x02", 1);
    EXPECT_EQ(console()->capture()->lastSent(), (CaptureMark{path, 2}));
    udp.SendDatagram(u"127.0.0.1"_s, peer.port(), QByteArray(1000, '\x33').constData(), 1000);
    EXPECT_EQ(console()->capture()->lastSent(), (CaptureMark{path, 0}));
    udp.SendDatagram(u"127.0.0.1"_s, peer.port(), "\x03", 1);
    EXPECT_EQ(console()->capture()->lastSent(), (CaptureMark{path, 3}));

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(console()->capture()->lastSent(), CaptureMark{});
    EXPECT_EQ(label->text(), path + u"（已丢失4条记录）"_s) << "the count stays after it";
    EXPECT_TRUE(fake.boxes.empty());
}

} // namespace
