// SPDX-License-Identifier: GPL-3.0-or-later
// The receive list's spool file on a disk that fills up, on a tmpfs mounted in the test's own
// mount namespace: one box, the list keeps its bound from then on, and what it leaves out is
// counted above it.
#include "console/pages/monitor_memo.h"
#include "mount_sandbox.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <sys/statvfs.h>

using namespace Qt::StringLiterals;

namespace
{

unsigned long freeBlocks(const QString& path)
{
    struct statvfs st {};
    return ::statvfs(QFile::encodeName(path).constData(), &st) == 0 ? st.f_bfree : 0;
}

unsigned long totalBlocks(const QString& path)
{
    struct statvfs st {};
    return ::statvfs(QFile::encodeName(path).constData(), &st) == 0 ? st.f_blocks : 1;
}

class SpoolDiskFixture : public WindowFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_MOUNTS();
        WindowFixture::SetUp();
        connectOn(freeUdpPort());
        showPage(2);
        child<QCheckBox>("ChOK")->setChecked(true);
        memo = child<MonitorMemo>("Memo1");
    }

    // Sends datagrams first..last (four sequence bytes each) and waits until they are listed.
    void send(int first, int last)
    {
        const int port = window->UDPServer().AcquireBinding().Port;
        UdpProbe peer;
        for (int n = first; n <= last; ++n) {
            const char bytes[4] = {0, 0, static_cast<char>(n >> 8), static_cast<char>(n)};
            ASSERT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray(bytes, 4)));
            if (n % 100 == 99)
                QTest::qWait(2); // let the event thread keep up; loss is not under test here
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return window->globals.RecvCount == last + 1 && memo->pendingLines() == 0; },
            10000))
            << window->globals.RecvCount;
    }

    static QByteArray lines(int first, int last)
    {
        QByteArray out;
        for (int n = first; n <= last; ++n)
            out += "0,0," + QByteArray::number(n >> 8) + ',' + QByteArray::number(n & 255) +
                   QByteArray(",0").repeated(49) + ",\r\n";
        return out;
    }

    QByteArray exported()
    {
        const QString file = exportDir.filePath(u"all.txt"_s);
        fake.saveAnswers.push_back(file);
        console()->N2Click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !console()->exporting(); }, 10000));
        return ReadWholeFile(file);
    }

    MonitorMemo* memo = nullptr;
    QTemporaryDir exportDir;
};

TEST_F(SpoolDiskFixture, FullDiskGivesOneBoxAndTheListStaysBounded)
{
    TinyTmpfs disk("16k");
    ASSERT_TRUE(disk.mounted()) << disk.error();
    memo->setSpoolFolder(disk.path());
    memo->setKeptLines(20);
    ASSERT_GT(lines(0, 399).size(), 2 * 16 * 1024) << "the lines must overfill the disk";

    send(0, 399);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake.boxes.empty(); }, 5000));
    send(400, 599);
    QTest::qWait(50);
    ASSERT_EQ(fake.boxes.size(), 1u) << "one box, not one per datagram";
    EXPECT_EQ(
        fake.boxes[0].text,
        u"接收数据的暂存文件写入失败：No space left on device。\n"_s
        u"从现在起列表只保留最新的数据，更早的行将被略去（列表上方注明略去的行数），请及时导出并清除。"_s);
    EXPECT_EQ(fake.boxes[0].caption, infoCaption());
    // The list keeps its bound; the export holds what the disk took and the newest lines,
    // and the note counts the lines between, which are gone.
    const int listed = memo->document()->blockCount() - 1;
    EXPECT_LE(listed, 30);
    const qint64 aside = memo->linesAside();
    const qint64 leftOut = memo->linesLeftOut();
    EXPECT_GT(leftOut, 100);
    EXPECT_EQ(aside + leftOut + listed, 600);
    EXPECT_EQ(exported(), lines(0, int(aside) - 1) + lines(int(aside + leftOut), 599));
    EXPECT_EQ(child<QLabel>("LbAside")->text(),
              u"列表上方另有 %1 行较早的数据已移至暂存文件，导出时一并写出。"
              u"暂存文件出错后已略去 %2 行较早的数据，列表和导出中都没有这些行。"_s.arg(aside)
                  .arg(leftOut));
    EXPECT_EQ(fake.boxes.size(), 1u);

    // A clear gives the disk back and the next lines leave the list again.
    console()->N1Click();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return freeBlocks(disk.path()) == totalBlocks(disk.path()); }, 5000))
        << freeBlocks(disk.path()) << " of " << totalBlocks(disk.path()) << " blocks free";
    EXPECT_EQ(memo->linesLeftOut(), 0);
    send(600, 639);
    EXPECT_LE(memo->document()->blockCount() - 1, 30);
    EXPECT_EQ(exported(), lines(600, 639));
    EXPECT_EQ(fake.boxes.size(), 1u);
}

} // namespace
