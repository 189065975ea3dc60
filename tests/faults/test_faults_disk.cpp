// SPDX-License-Identifier: GPL-3.0-or-later
// Export and update log on a folder that is read-only or full. Each runs on a tmpfs mounted in
// the test's own mount namespace, so the host's file systems are never touched.
#include "common/sysutils.h"
#include "mount_sandbox.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <ostream>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

class DiskFixture : public WindowFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_MOUNTS();
        WindowFixture::SetUp();
        connectOn(freeUdpPort());
        ASSERT_TRUE(fake.boxes.empty());
    }

    // Lists count datagrams of four sequence bytes; returns the lines as listed.
    QStringList listDatagrams(int count)
    {
        showPage(2);
        child<QCheckBox>("ChOK")->setChecked(true);
        const int port = window->UDPServer().AcquireBinding().Port;
        UdpProbe peer;
        for (int n = 0; n < count; ++n) {
            const char bytes[4] = {0, 0, static_cast<char>(n >> 8), static_cast<char>(n)};
            EXPECT_TRUE(peer.sendTo("127.0.0.1", port, QByteArray(bytes, 4)));
            if (n % 200 == 199)
                QTest::qWait(1); // let the event thread keep up; loss is not under test here
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return listedLines().size() == count; }, 10000))
            << listedLines().size() << " of " << count << " listed";
        return listedLines();
    }

    // The export runs beside the event thread; its outcome is known once it has ended.
    void exportNow()
    {
        console()->N2Click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !console()->exporting(); }, 10000));
    }
};

// ---- export --------------------------------------------------------------------------------

enum class Disk { Roomy, Full, ReadOnly };

struct ExportCase {
    const char* name;
    int lines;
    Disk disk;
    bool oldFile; // an earlier export of that name is there
};

class ExportFault : public DiskFixture, public ::testing::WithParamInterface<ExportCase>
{};

TEST_P(ExportFault, FailsLoudlyAndLeavesNoFileThatLooksComplete)
{
    const ExportCase& c = GetParam();
    TinyTmpfs disk("16k");
    ASSERT_TRUE(disk.mounted()) << disk.error();
    const QString target = disk.file(u"recv.txt"_s);
    const QByteArray old = "an earlier export\r\n";
    if (c.oldFile)
        WriteWholeFile(target, old);
    if (c.disk == Disk::ReadOnly) {
        ASSERT_TRUE(disk.makeReadOnly()) << disk.error();
    }

    const QStringList lines = listDatagrams(c.lines);
    ASSERT_EQ(lines.size(), c.lines);
    const QByteArray wanted = lines.join(u"\r\n"_s).toLatin1() + "\r\n";
    ASSERT_EQ(wanted.size() > 16 * 1024, c.disk == Disk::Full) << "the case's sizes are off";

    fake.saveAnswers.push_back(target);
    exportNow();

    ASSERT_EQ(fake.saveRequests.size(), 1u);
    EXPECT_EQ(listedLines(), lines) << "the list is never changed by an export";
    switch (c.disk) {
    case Disk::Roomy:
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_EQ(ReadWholeFile(target), wanted);
        break;
    case Disk::Full:
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, u"Stream write error."_s);
        EXPECT_EQ(fake.boxes[0].caption, appTitle());
        EXPECT_EQ(fake.boxes[0].flags, MB::Error);
        // A cut-short file would pass for the whole list later: it is not left behind, and an
        // earlier export of that name stays as it was.
        EXPECT_EQ(ReadWholeFile(target), c.oldFile ? old : QByteArray());
        EXPECT_EQ(disk.entries(), c.oldFile ? QStringList{u"recv.txt"_s} : QStringList{});
        break;
    case Disk::ReadOnly:
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text,
                  u"Cannot create file \""_s + target + u"\". Read-only file system."_s);
        EXPECT_EQ(fake.boxes[0].flags, MB::Error);
        EXPECT_EQ(ReadWholeFile(target), c.oldFile ? old : QByteArray());
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ExportFault,
    ::testing::Values(ExportCase{"fits", 20, Disk::Roomy, false},
                      ExportCase{"fitsOverAnOldFile", 20, Disk::Roomy, true},
                      ExportCase{"diskFills", 2000, Disk::Full, false},
                      ExportCase{"diskFillsOverAnOldFile", 2000, Disk::Full, true},
                      ExportCase{"readOnly", 5, Disk::ReadOnly, false},
                      ExportCase{"readOnlyKeepsTheOldFile", 5, Disk::ReadOnly, true}),
    CaseName());

// A failed export does not spoil the next one: with room made, the same path takes the list.
TEST_F(DiskFixture, ExportWorksAgainOnceThereIsRoom)
{
    TinyTmpfs disk("16k");
    ASSERT_TRUE(disk.mounted()) << disk.error();
    const QStringList lines = listDatagrams(2000);
    const QString target = disk.file(u"recv.txt"_s);
    fake.saveAnswers.push_back(target);
    exportNow();
    ASSERT_EQ(fake.boxes.size(), 1u);

    console()->Button1Click(); // reset: an empty list fits anywhere
    fake.saveAnswers.push_back(target);
    exportNow();
    EXPECT_EQ(fake.boxes.size(), 1u);
    ASSERT_TRUE(QFile::exists(target));
    EXPECT_EQ(ReadWholeFile(target), QByteArray());
    EXPECT_EQ(fake.saveRequests.back().fileName, target) << "the dialog proposes the last path";
}

// ---- update log ----------------------------------------------------------------------------

struct LogCase {
    const char* name;
    Disk disk;
};

class UpdateLogFault : public DiskFixture, public ::testing::WithParamInterface<LogCase>
{
protected:
    // Where the log goes when the program's folder refuses it; never the tester's own.
    void SetUp() override
    {
        savedDataHome_ = qgetenv("XDG_DATA_HOME");
        ASSERT_TRUE(dataHome_.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_.path()));
        DiskFixture::SetUp();
    }
    void TearDown() override
    {
        DiskFixture::TearDown();
        if (savedDataHome_.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedDataHome_);
    }
    QString dataLog() const { return dataHome_.filePath(u"terminal-config-tool/IPSet.Ini"_s); }

    QTemporaryDir dataHome_;
    QByteArray savedDataHome_;
};

TEST_P(UpdateLogFault, OldLogStaysWholeAndTheErrorNamesThePath)
{
    const LogCase& c = GetParam();
    TinyTmpfs disk("16k");
    ASSERT_TRUE(disk.mounted()) << disk.error();
    const QString log = disk.file(u"IPSet.Ini"_s);
    // An earlier update, and a section the program never writes, in code page 936.
    const QByteArray old =
        toCp936(u"[Other]\r\nKeep=这行不动\r\n[UpdateLog]\r\nLog=  服务器IP=10.0.0.9"_s
                u"  子网掩码=255.0.0.0  默认网关=10.0.0.1 网络连接=本地连接 1\r\n"_s);
    WriteWholeFile(log, old);
    ASSERT_EQ(ReadWholeFile(log), old);
    if (c.disk == Disk::Full) {
        ASSERT_TRUE(disk.fillUp(u"filler"_s)) << "the disk did not fill";
    }
    if (c.disk == Disk::ReadOnly) {
        ASSERT_TRUE(disk.makeReadOnly()) << disk.error();
    }
    const QStringList before = disk.entries();

    window->globals.AppDir = disk.path() + u'/';
    showPage(1);
    UdpProbe server;
    edit("edtIPCurr")->setText(u"127.0.0.1"_s);
    edit("edtServicePort")->setText(QString::number(server.port()));
    QTest::mouseClick(child<QWidget>("sbUpdateIP"), Qt::LeftButton);

    // The packet went out before the log was written.
    const auto got = server.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data.toHex(' ').toUpper(),
              QByteArray("D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64"));

    if (c.disk == Disk::Roomy) {
        ASSERT_EQ(fake.boxes.size(), 3u) << "two confirmations and the completion box";
        const QByteArray now = ReadWholeFile(log);
        EXPECT_TRUE(now.startsWith(toCp936(u"[Other]\r\nKeep=这行不动\r\n[UpdateLog]\r\n"_s)));
        EXPECT_TRUE(
            now.contains(toCp936(u"Log=  服务器IP=192.168.1.248  子网掩码=255.255.255.0"_s)));
        EXPECT_EQ(disk.entries(), before) << "no temporary file is left";
        return;
    }
    if (c.disk == Disk::ReadOnly) {
        // As installed under /usr: the program's folder takes no new files, so the log goes to
        // the user's data folder, and the one beside the program stays as it was.
        ASSERT_EQ(fake.boxes.size(), 3u) << "two confirmations and the completion box";
        EXPECT_EQ(ReadWholeFile(log), old) << "the old log changed";
        EXPECT_EQ(disk.entries(), before);
        EXPECT_EQ(fromCp936(ReadWholeFile(dataLog())),
                  u"[UpdateLog]\r\nLog=  服务器IP=192.168.1.248  子网掩码=255.255.255.0  "
                  u"默认网关=192.168.1.1 网络连接=本地连接\r\n"_s);
        return;
    }
    EXPECT_FALSE(QFile::exists(dataLog())) << "a writable folder keeps the log";
    ASSERT_EQ(fake.boxes.size(), 4u);
    EXPECT_EQ(fake.boxes[2].flags, MB::Information) << "the completion box came before";
    EXPECT_EQ(fake.boxes[3].text, u"Unable to write to "_s + log + u'.');
    EXPECT_EQ(fake.boxes[3].caption, appTitle());
    EXPECT_EQ(fake.boxes[3].flags, MB::Error);
    EXPECT_EQ(ReadWholeFile(log), old) << "the old log changed";
    EXPECT_EQ(disk.entries(), before) << "no temporary file is left";
    EXPECT_FALSE(child<QWidget>("sbUpdateIP")->isEnabled()) << "the send itself succeeded";
}

INSTANTIATE_TEST_SUITE_P(Faults, UpdateLogFault,
                         ::testing::Values(LogCase{"roomy", Disk::Roomy},
                                           LogCase{"readOnlyFolderLogsInTheDataFolder",
                                                   Disk::ReadOnly},
                                           LogCase{"fullDisk", Disk::Full}),
                         CaseName());

} // namespace
