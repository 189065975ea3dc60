// SPDX-License-Identifier: GPL-3.0-or-later
// The receive list with a small number of kept lines, so older lines move to the spool file
// after a few datagrams: what the export holds, what the list and its note show, and where
// the file lives.
#include "common/dialogs.h"
#include "common/sysutils.h"
#include "console_fixture.h"
#include "support/test_helpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTemporaryFile>
#include <QTest>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

constexpr int Kept = 3;

// Writes that wait while held, so a test can keep the spool's writer inside a write.
class HeldWrites
{
public:
    FileOps ops()
    {
        FileOps o = FileOps::system();
        o.write = [this](int fd, const void* data, size_t size) {
            std::unique_lock held(lock_);
            ++calls_;
            changed_.notify_all();
            changed_.wait(held, [this] { return !held_; });
            return ::write(fd, data, size);
        };
        return o;
    }
    void hold(bool on)
    {
        std::lock_guard guard(lock_);
        held_ = on;
        changed_.notify_all();
    }
    // Waits until the writer is inside a write.
    bool waitForWrite()
    {
        std::unique_lock held(lock_);
        return changed_.wait_for(held, std::chrono::seconds(5), [this] { return calls_ > 0; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool held_ = true;
    int calls_ = 0;
};

class ConsoleSpool : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        ASSERT_TRUE(spoolDir.isValid());
        memo()->setKeptLines(Kept);
        memo()->setSpoolFolder(spoolDir.path());
        child<QCheckBox>("ChOK")->setChecked(true);
        globals.ShowByteCount = 1;
    }

    // Lists datagrams first..last, one byte each, flushing after each so lines leave the
    // list a few at a time.
    void list(int first, int last)
    {
        TSocketHandle binding;
        for (int n = first; n <= last; ++n) {
            page->UDPServerUDPRead(*udp, QByteArray(1, static_cast<char>(n)), binding);
            memo()->flush();
        }
    }

    static QByteArray exportLines(int first, int last)
    {
        QByteArray out;
        for (int n = first; n <= last; ++n)
            out += QByteArray::number(n) + ",\r\n";
        return out;
    }

    QByteArray exported()
    {
        const QString file = exportDir.filePath(u"out.txt"_s);
        fakeDialogs.saveAnswers.push_back(file);
        child<QAction>("N2")->trigger();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !page->exporting(); }, 10000));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    QLabel* note() { return child<QLabel>("LbAside"); }

    // Descriptors of this process open on something in the spool folder, as the system
    // names them.
    QStringList spoolDescriptors()
    {
        QStringList found;
        const QDir fds(u"/proc/self/fd"_s);
        for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System)) {
            char target[4096];
            const QByteArray link = QFile::encodeName(fds.filePath(fd));
            const ssize_t n = ::readlink(link.constData(), target, sizeof target);
            const QString name = QFile::decodeName(QByteArray(target, n > 0 ? n : 0));
            if (name.startsWith(spoolDir.path() + u'/'))
                found << fds.filePath(fd) + u" -> "_s + name;
        }
        return found;
    }

    QTemporaryDir spoolDir;
    QTemporaryDir exportDir;
};

// Paint events each named widget gets.
class PaintCounter : public QObject
{
public:
    int of(const char* name) const { return counts_.value(QString::fromLatin1(name)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !watched->objectName().isEmpty())
            ++counts_[watched->objectName()];
        return false;
    }

private:
    QHash<QString, int> counts_;
};

// A new count or note repaints itself and the list, not the page. A label that asks its
// layout again reaches the tab widget above the page, which then repaints every control of
// the page with every frame: under a flood, time the event thread owes the datagrams.
TEST_F(ConsoleSpool, NewCountsAndNotesRepaintOnlyThemselvesAndTheList)
{
    QTabWidget tabs;
    tabs.addTab(page.get(), u"数据发送测试"_s);
    tabs.resize(1000, 480);
    tabs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tabs));
    list(0, 9); // the note shows and takes its height
    QTest::qWait(50);

    PaintCounter paints;
    qApp->installEventFilter(&paints);
    for (int frame = 0; frame < 20; ++frame) {
        list(10 + frame * 5, 14 + frame * 5);
        QTest::qWait(20);
    }
    qApp->removeEventFilter(&paints);
    EXPECT_GE(paints.of("LbNum"), 10) << "the count was not repainted: the test saw nothing";
    EXPECT_GE(paints.of("LbAside"), 10);
    for (const char* name : {"edt1", "edtIP", "gbSend", "Button12", "ch1", "ChOK", "edtNum"})
        EXPECT_EQ(paints.of(name), 0) << name;

    tabs.removeTab(0);
    page->setParent(nullptr);
}

struct EmptyingCase {
    const char* name;
    const char* action; // objectName of the control that empties the list
    const char* countAfter;
};

class ConsoleSpoolEmptying : public ConsoleSpool, public ::testing::WithParamInterface<EmptyingCase>
{};

TEST_P(ConsoleSpoolEmptying, ExportHoldsEveryLineSinceInOrderWithTheOperatorsText)
{
    // Lines leave once the list holds half as many again as it keeps.
    list(0, 7);
    EXPECT_EQ(page->memoText(), u"4,\n5,\n6,\n7,\n"_s);
    EXPECT_EQ(memo()->linesAside(), 4);
    EXPECT_FALSE(note()->isHidden());
    EXPECT_EQ(note()->text(), u"列表上方另有 4 行较早的数据已移至暂存文件，导出时一并写出。"_s);
    EXPECT_EQ(lbNum(), u"8"_s);

    // The operator types after the last line; received lines then follow on lines of their
    // own, and in time the typed line leaves the list too.
    memo()->moveCursor(QTextCursor::End);
    QInputMethodEvent commit;
    commit.setCommitString(u"备注"_s);
    QApplication::sendEvent(memo(), &commit);
    QTest::keyClicks(memo(), u"x"_s);
    list(8, 9);
    EXPECT_EQ(page->memoText(), u"6,\n7,\n备注x\n8,\n9,"_s);
    const QByteArray typed = toCp936(u"备注x"_s);
    EXPECT_EQ(exported(), exportLines(0, 7) + typed + "\r\n8,\r\n9,");
    list(10, 13);
    EXPECT_EQ(memo()->linesAside(), 10) << "the typed line counts as a line kept aside";
    EXPECT_EQ(page->memoText(), u"9,\n10,\n11,\n12,\n13,"_s);
    EXPECT_EQ(exported(), exportLines(0, 7) + typed + "\r\n8,\r\n9,\r\n10,\r\n11,\r\n12,\r\n13,");
    EXPECT_EQ(note()->text(), u"列表上方另有 10 行较早的数据已移至暂存文件，导出时一并写出。"_s);

    const QString action = QString::fromLatin1(GetParam().action);
    if (auto* button = page->findChild<QAbstractButton*>(action))
        button->click();
    else
        page->findChild<QAction*>(action)->trigger();
    EXPECT_EQ(page->memoText(), QString());
    EXPECT_TRUE(note()->isHidden());
    EXPECT_EQ(lbNum(), QString::fromLatin1(GetParam().countAfter));
    EXPECT_EQ(exported(), QByteArray()) << "nothing from before the emptying";

    list(20, 24);
    EXPECT_EQ(memo()->linesAside(), 2);
    EXPECT_EQ(exported(), exportLines(20, 24));
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Spool, ConsoleSpoolEmptying,
                         ::testing::Values(EmptyingCase{"clear", "N1", "14"},
                                           EmptyingCase{"reset", "Button1", "0"}),
                         CaseName());

// Only this process can read the spool: mode 0600, and no name in the folder for anyone to
// open. It goes with a clear and with the page.
TEST_F(ConsoleSpool, FileIsPrivateNamelessAndGoesWithClearAndExit)
{
    list(0, 9);
    const QStringList open = spoolDescriptors();
    ASSERT_EQ(open.size(), 1) << qPrintable(open.join(u'\n'));
    EXPECT_TRUE(open[0].endsWith(u" (deleted)"_s)) << qPrintable(open[0]);
    const QByteArray fd = QFile::encodeName(open[0].section(u" -> "_s, 0, 0));
    struct stat st {};
    ASSERT_EQ(::stat(fd.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // Its writer catches up with the six lines that left.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ::stat(fd.constData(), &st) == 0 && st.st_size == exportLines(0, 5).size(); },
        5000))
        << st.st_size;
    EXPECT_TRUE(
        QDir(spoolDir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    // The file is closed beside the event thread, so the wait.
    child<QAction>("N1")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return spoolDescriptors().isEmpty(); }, 5000))
        << qPrintable(spoolDescriptors().join(u'\n'));

    list(10, 19);
    EXPECT_EQ(spoolDescriptors().size(), 1);
    udp.reset();
    page.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return spoolDescriptors().isEmpty(); }, 5000))
        << qPrintable(spoolDescriptors().join(u'\n'));
}

// A spool that can not be made: one box, and from then on the list keeps its bound by
// leaving the oldest lines out, which the note counts.
TEST_F(ConsoleSpool, UnusableFolderGivesOneBoxAndTheListStaysBounded)
{
    QTemporaryFile notAFolder;
    ASSERT_TRUE(notAFolder.open());
    const QString folder = notAFolder.fileName() + u"/spool"_s;
    memo()->setSpoolFolder(folder);
    list(0, 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fakeDialogs.boxes.empty(); }, 5000));
    list(6, 30);
    QTest::qWait(20);
    ASSERT_EQ(fakeDialogs.boxes.size(), 1u);
    EXPECT_EQ(
        fakeDialogs.boxes[0].text,
        u"无法在“"_s + folder +
            u"”创建接收数据的暂存文件：Not a directory。\n从现在起列表只保留最新的数据，更早的行将被略去（列表上方注明略去的行数），请及时导出并清除。"_s);
    EXPECT_EQ(fakeDialogs.boxes[0].caption, infoCaption());
    EXPECT_EQ(fakeDialogs.boxes[0].flags, MB::Information);
    EXPECT_EQ(memo()->linesAside(), 0);
    const int listed = memo()->document()->blockCount() - 1;
    const qint64 leftOut = memo()->linesLeftOut();
    EXPECT_GT(leftOut, 0);
    EXPECT_EQ(leftOut + listed, 31);
    EXPECT_FALSE(note()->isHidden());
    EXPECT_EQ(note()->text(),
              u"暂存文件出错后已略去 %1 行较早的数据，列表和导出中都没有这些行。"_s.arg(leftOut));
    EXPECT_EQ(exported(), exportLines(31 - listed, 30));
}

// A writer that falls behind keeps lines in the list; as it catches up they leave again a
// piece at a time, and the export still holds every line in order.
TEST_F(ConsoleSpool, BacklogLeavesOnceTheWriterCatchesUp)
{
    HeldWrites writes;
    memo()->spool().setFileOps(writes.ops());
    memo()->spool().setMaxQueuedBytes(64);
    list(0, 99);
    ASSERT_TRUE(writes.waitForWrite());
    EXPECT_GT(memo()->document()->blockCount(), 50) << "the held writer took them all";
    writes.hold(false);
    int last = 99;
    while (memo()->document()->blockCount() - 1 > Kept + Kept / 2 && last < 400) {
        QTest::qWait(2);
        list(last + 1, last + 1);
        ++last;
    }
    EXPECT_LE(memo()->document()->blockCount() - 1, Kept + Kept / 2);
    EXPECT_EQ(exported(), exportLines(0, last));
}

// ---- the export, written beside the event thread from the list as it was at the press

class ConsoleSpoolExport : public ConsoleSpool
{
protected:
    void TearDown() override
    {
        // Nothing may stay held while the page waits for its threads.
        exportWrites.hold(false);
        spoolWrites.hold(false);
        ConsoleSpool::TearDown();
    }

    QString target() { return exportDir.filePath(u"out.txt"_s); }
    void startExport()
    {
        fakeDialogs.saveAnswers.push_back(target());
        child<QAction>("N2")->trigger();
    }
    bool ended()
    {
        return QTest::qWaitFor([&] { return !page->exporting(); }, 10000);
    }
    QByteArray file()
    {
        QFile f(target());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    HeldWrites exportWrites;
    HeldWrites spoolWrites;
};

// Cancelled in the middle, however long it ran: the earlier export stays byte for byte, and
// nothing is left beside it.
TEST_F(ConsoleSpoolExport, CancelKeepsTheEarlierFileAsItWas)
{
    const QByteArray old("an earlier export\r\n\0\xff", 21);
    {
        QFile f(target());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(old), old.size());
    }
    list(0, 20);
    page->setExportFileOps(exportWrites.ops());
    startExport();
    ASSERT_TRUE(exportWrites.waitForWrite());
    auto* progress = page->findChild<QProgressDialog*>(u"ExportProgress"_s);
    ASSERT_NE(progress, nullptr);
    // Past a second the dialog shows; the window is not blocked meanwhile.
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, 5000));
    progress->findChild<QPushButton*>()->click();
    exportWrites.hold(false);
    ASSERT_TRUE(ended());
    EXPECT_EQ(file().toHex(' '), old.toHex(' '));
    EXPECT_EQ(
        QDir(exportDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList{u"out.txt"_s});
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

// Datagrams that come while the file is written are listed and counted after the exported
// lines, and are not in it; a clear meanwhile (the spool's file closes) takes nothing from it.
TEST_F(ConsoleSpoolExport, DatagramsDuringTheExportAreListedButNotWritten)
{
    list(0, 9);
    page->setExportFileOps(exportWrites.ops());
    startExport();
    ASSERT_TRUE(exportWrites.waitForWrite());
    list(10, 12);
    EXPECT_EQ(lbNum(), u"13"_s);
    EXPECT_TRUE(page->memoText().endsWith(u"10,\n11,\n12,\n"_s)) << qPrintable(page->memoText());
    child<QAction>("N1")->trigger();
    exportWrites.hold(false);
    ASSERT_TRUE(ended());
    EXPECT_EQ(file(), exportLines(0, 9));
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

// The spool's writer behind at the press, one batch inside a write and more queued: the file
// holds every line in order, byte for byte as when the export waited for the writer, and it
// does not wait now.
TEST_F(ConsoleSpoolExport, LinesTheSpoolHasNotWrittenYetAreInTheFile)
{
    memo()->spool().setFileOps(spoolWrites.ops());
    list(0, 5);
    ASSERT_TRUE(spoolWrites.waitForWrite());
    list(6, 20);
    startExport();
    ASSERT_TRUE(ended());
    EXPECT_EQ(file(), exportLines(0, 20));
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

// A clear while the writer is inside a write: the spool that follows lags no further than its
// limit allows.
TEST(MonitorSpoolLimits, ClearDuringAWriteLeavesTheLimitAsItWas)
{
    QTemporaryDir dir;
    HeldWrites writes;
    MonitorSpool spool(dir.path());
    spool.setFileOps(writes.ops());
    spool.setMaxQueuedBytes(100);
    ASSERT_TRUE(spool.append(QByteArray(60, 'a'), 1));
    ASSERT_TRUE(writes.waitForWrite());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        writes.hold(false);
    });
    spool.clear(); // waits for the write to end
    release.join();
    writes.hold(true);
    qsizetype taken = 0;
    for (int i = 0; i < 100 && spool.append(QByteArray(10, 'b'), 1); ++i)
        taken += 10;
    EXPECT_EQ(taken, 100);
    writes.hold(false);
}

// The writer failing while lines are offered: every byte the spool took is still handed
// back, in the file or in memory, however the two threads meet.
TEST(MonitorSpoolLimits, EveryByteTakenSurvivesAWriteFault)
{
    QTemporaryDir dir;
    for (int round = 0; round < 300; ++round) {
        MonitorSpool spool(dir.path());
        FileOps ops = FileOps::system();
        ops.write = [](int, const void*, size_t) -> ssize_t {
            errno = ENOSPC;
            return -1;
        };
        spool.setFileOps(ops);
        QByteArray taken;
        for (int i = 0; i < 100000; ++i) {
            const QByteArray piece = QByteArray::number(i) + ",\r\n";
            if (!spool.append(piece, 1))
                break;
            taken += piece;
        }
        QByteArray handed;
        ASSERT_TRUE(spool.snapshot().forEachPiece([&](QByteArrayView bytes) {
            handed += bytes;
            return Expected<void>();
        }));
        ASSERT_EQ(handed.size(), taken.size()) << "round " << round;
        ASSERT_EQ(handed, taken) << "round " << round;
    }
}

} // namespace
