// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/dialogs.h"
#include "console_fixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <sys/socket.h>

namespace
{

using testsupport::PrintTo;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

class ConsolePageTest : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        // Count every hand-over so a test can tell that a datagram reached the page.
        udp->OnUDPRead = [this](TUDPServer& sender, const QByteArray& data,
                                TSocketHandle& binding) {
            ++delivered;
            page->UDPServerUDPRead(sender, data, binding);
        };
    }

    // Feeds a datagram straight to the handler, as the endpoint would, without a socket.
    void feed(const QByteArray& data)
    {
        TSocketHandle binding;
        binding.SenderIP = QStringLiteral("127.0.0.1");
        binding.SenderPort = 1;
        binding.Port = 2;
        page->UDPServerUDPRead(*udp, data, binding);
    }

    void allowReceiving(bool on = true) { child<QCheckBox>("ChOK")->setChecked(on); }

    static bool waitFor(const std::function<bool()>& condition)
    {
        return QTest::qWaitFor(condition, 5000);
    }

    int delivered = 0;
};

// ---- the page as built

struct ControlCase {
    const char* name;
    const char* text;       // text or caption
    const char* accessible; // accessible name
};

class ConsoleControls : public ConsolePageTest, public ::testing::WithParamInterface<ControlCase>
{};

TEST_P(ConsoleControls, StartWithTheirTextsAndNames)
{
    const ControlCase& c = GetParam();
    QWidget* w = child<QWidget>(c.name);
    ASSERT_NE(w, nullptr);
    QString text;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        text = e->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        text = b->text();
    else if (auto* l = qobject_cast<QLabel*>(w))
        text = l->text();
    EXPECT_EQ(text, QString::fromUtf8(c.text));
    EXPECT_EQ(w->accessibleName(), QString::fromUtf8(c.accessible));
}

INSTANTIATE_TEST_SUITE_P(Page, ConsoleControls,
                         ::testing::Values(ControlCase{"edtIP", "255.255.255.255", "对方IP："},
                                           ControlCase{"edtPort", "7500", "对方端口："},
                                           ControlCase{"edt1", "1", "数据1："},
                                           ControlCase{"edt2", "0", "数据2："},
                                           ControlCase{"edt10", "0", "数据10："},
                                           ControlCase{"Button12", "发送", "发送"},
                                           ControlCase{"ChOK", "允许接收数据", "允许接收数据"},
                                           ControlCase{"edtNum", "53", "数据字节个数："},
                                           ControlCase{"LbNum", "0", "本地接收到的数据条数：0"},
                                           ControlCase{"Button1", "清零", "清零"},
                                           ControlCase{"ch1", "仅显示数据", "仅显示数据"},
                                           ControlCase{"Memo1", "", "数据接收"}));

// The captions the operator reads beside each field, the group boxes, and the looks the
// monitor is designed with.
TEST_F(ConsolePageTest, CaptionsFontsAndColours)
{
    for (const char* name : {"edtIP", "edtPort", "edt1", "edt10", "cmbData", "edtNum"}) {
        QWidget* field = child<QWidget>(name);
        ASSERT_NE(field, nullptr);
        QLabel* caption = nullptr;
        for (QLabel* l : page->findChildren<QLabel*>())
            if (l->buddy() == field)
                caption = l;
        ASSERT_NE(caption, nullptr) << name;
        EXPECT_EQ(caption->text(), field->accessibleName()) << name;
    }
    QStringList boxes;
    for (QGroupBox* box : page->findChildren<QGroupBox*>())
        boxes << box->title();
    EXPECT_TRUE(boxes.contains(QStringLiteral("数据发送"))) << boxes.join(u' ').toStdString();
    EXPECT_TRUE(boxes.contains(QStringLiteral("数据接收"))) << boxes.join(u' ').toStdString();

    auto* lb = child<QLabel>("LbNum");
    EXPECT_EQ(lb->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(lb->font().pixelSize(), 14);
    EXPECT_EQ(lb->palette().color(QPalette::WindowText), QColor(Qt::red));
    QLabel* countCaption = nullptr;
    for (QLabel* l : page->findChildren<QLabel*>())
        if (l->text() == QStringLiteral("本地接收到的数据条数："))
            countCaption = l;
    ASSERT_NE(countCaption, nullptr);
    EXPECT_LT(countCaption->geometry().right(), lb->geometry().left()); // the count follows it

    MonitorMemo* m = memo();
    EXPECT_EQ(m->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(m->font().pixelSize(), 12);
    EXPECT_EQ(m->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(m->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(m->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // The send button stands right of the count list, on its row.
    auto* cmb = child<QComboBox>("cmbData");
    auto* send = child<QPushButton>("Button12");
    const QRect c(cmb->mapTo(page.get(), QPoint(0, 0)), cmb->size());
    const QRect b(send->mapTo(page.get(), QPoint(0, 0)), send->size());
    EXPECT_GT(b.left(), c.right());
    EXPECT_TRUE(b.top() <= c.center().y() && c.center().y() <= b.bottom());
}

TEST_F(ConsolePageTest, StartsWithNothingChosenAndReceivingOff)
{
    auto* cmb = child<QComboBox>("cmbData");
    EXPECT_FALSE(cmb->isEditable());
    EXPECT_EQ(cmb->currentIndex(), -1);
    ASSERT_EQ(cmb->count(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(cmb->itemText(i), QString::number(i + 1));
    EXPECT_FALSE(child<QCheckBox>("ChOK")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("ch1")->isChecked());
    EXPECT_EQ(child<QAction>("N1")->text(), QStringLiteral("清除数据"));
    EXPECT_EQ(child<QAction>("N2")->text(), QStringLiteral("导出成文件"));
    EXPECT_FALSE(memo()->isReadOnly());
}

// ---- the monitor over real datagrams

TEST_F(ConsolePageTest, UncheckedListsAndCountsNothing)
{
    UdpProbe probe;
    const int port = listen();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({9, 9})));
    ASSERT_TRUE(waitFor([&] { return delivered == 3; }));
    QTest::qWait(20); // a flush, were one due, would have run
    EXPECT_EQ(page->memoText(), QString());
    EXPECT_EQ(globals.RecvCount, 0);
    EXPECT_EQ(lbNum(), QStringLiteral("0"));

    // Allowed again, the next datagram is the first one counted.
    allowReceiving();
    globals.ShowByteCount = 1;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({5})));
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("1"); }));
    EXPECT_EQ(page->memoText(), QStringLiteral("5,\n"));
}

TEST_F(ConsolePageTest, ListsEachDatagramInOrderAndCounts)
{
    UdpProbe probe;
    const int port = listen();
    allowReceiving();
    globals.ShowByteCount = 3;
    QString expected;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({i, i + 100})));
        expected += QStringLiteral("%1,%2,0,\n").arg(i).arg(i + 100);
    }
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("40"); }));
    EXPECT_EQ(globals.RecvCount, 40);
    EXPECT_EQ(page->memoText(), expected);
}

TEST_F(ConsolePageTest, ShowsAddressesWhenNotDataOnly)
{
    UdpProbe probe;
    const int port = listen();
    allowReceiving();
    child<QCheckBox>("ch1")->setChecked(false);
    globals.ShowByteCount = 2;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({0x48, 0x01})));
    ASSERT_TRUE(waitFor([&] { return globals.RecvCount == 1; }));
    EXPECT_EQ(page->memoText(), QStringLiteral("IP: 127.0.0.1 SPort:%1 TPort:%2  Data: 72,1,\n")
                                    .arg(probe.port())
                                    .arg(port));
}

TEST_F(ConsolePageTest, ClearKeepsTheCountResetClearsBoth)
{
    UdpProbe probe;
    const int port = listen();
    allowReceiving();
    globals.ShowByteCount = 1;
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({i})));
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("3"); }));

    child<QAction>("N1")->trigger();
    EXPECT_EQ(page->memoText(), QString());
    EXPECT_EQ(globals.RecvCount, 3);
    EXPECT_EQ(lbNum(), QStringLiteral("3"));

    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({4})));
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("4"); }));
    EXPECT_EQ(page->memoText(), QStringLiteral("4,\n"));

    QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(globals.RecvCount, 0);
    EXPECT_EQ(lbNum(), QStringLiteral("0"));
    EXPECT_EQ(page->memoText(), QString());

    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({5})));
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("1"); }));
    EXPECT_EQ(page->memoText(), QStringLiteral("5,\n"));
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

// What the kernel dropped for want of room is told beside the count, so that listed and
// dropped add up to what arrived; the reset and a new connection start it again.
TEST_F(ConsolePageTest, KernelDropsAreToldBesideTheCountUntilReset)
{
    UdpProbe probe;
    const int port = listen();
    page->endpointOpened();
    allowReceiving();
    globals.ShowByteCount = 1;
    auto* drop = child<QLabel>("LbDrop");
    // Room for a few datagrams only, and an event thread that does not turn meanwhile.
    const int tiny = 1;
    udp->AcquireBinding().SetSocketOption(SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    const auto flood = [&](int count) {
        const int before = delivered;
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({i})));
        int seen = -1;
        while (seen != delivered) { // until nothing more comes
            seen = delivered;
            QTest::qWait(100);
        }
        ASSERT_GT(delivered - before, 0);
        ASSERT_LT(delivered - before, count) << "nothing was dropped";
    };
    flood(400);
    ASSERT_TRUE(waitFor([&] { return lbNum() == QString::number(delivered); }));
    const QString told = QStringLiteral("系统丢弃：%1").arg(400 - delivered);
    EXPECT_TRUE(drop->isVisible());
    EXPECT_EQ(drop->text(), told);
    EXPECT_EQ(drop->accessibleName(), told);

    QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_FALSE(drop->isVisible());
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, bytes({1})));
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("1"); }));
    EXPECT_FALSE(drop->isVisible()) << "drops before the reset came back";

    flood(400);
    ASSERT_TRUE(waitFor([&] { return drop->isVisible(); }));
    page->endpointOpened();
    EXPECT_FALSE(drop->isVisible());
}

// ---- lines that have not reached the view yet behave as if they had

TEST_F(ConsolePageTest, ClearAndResetDropWaitingLines)
{
    allowReceiving();
    globals.ShowByteCount = 1;
    feed(bytes({1}));
    feed(bytes({2}));
    ASSERT_EQ(memo()->pendingLines(), 2); // still waiting for the frame

    child<QAction>("N1")->trigger();
    EXPECT_EQ(lbNum(), QStringLiteral("2")); // the count is shown even though nothing showed
    QTest::qWait(40);
    EXPECT_EQ(page->memoText(), QString());

    feed(bytes({3}));
    page->Button1Click();
    QTest::qWait(40);
    EXPECT_EQ(page->memoText(), QString());
    EXPECT_EQ(lbNum(), QStringLiteral("0"));
    EXPECT_EQ(globals.RecvCount, 0);
}

// Nothing shown per datagram still lists a line, an empty one, and counts it.
class ConsoleNoBytesShown : public ConsolePageTest, public ::testing::WithParamInterface<int>
{};

TEST_P(ConsoleNoBytesShown, EachDatagramAddsAnEmptyLineAndCounts)
{
    allowReceiving();
    globals.ShowByteCount = GetParam();
    feed(bytes({1, 2, 3}));
    feed(bytes({4}));
    EXPECT_EQ(page->memoText(), QStringLiteral("\n\n"));
    EXPECT_EQ(memo()->document()->blockCount(), 3);
    EXPECT_EQ(globals.RecvCount, 2);
    EXPECT_EQ(lbNum(), QStringLiteral("2"));
}

INSTANTIATE_TEST_SUITE_P(ZeroOrBelow, ConsoleNoBytesShown, ::testing::Values(0, -1, INT_MIN));

// The byte count typed on the monitor's bar counts only from the next send on.
TEST_F(ConsolePageTest, TypedByteCountTakesEffectAtTheNextSend)
{
    UdpProbe probe;
    listen();
    allowReceiving();
    edit("edtIP")->setText(QStringLiteral("127.0.0.1"));
    edit("edtPort")->setText(QString::number(probe.port()));
    child<QComboBox>("cmbData")->setCurrentIndex(0);
    auto* num = edit("edtNum");
    num->selectAll();
    QTest::keyClicks(num, QStringLiteral("2"));
    ASSERT_EQ(num->text(), QStringLiteral("2"));

    feed(bytes({7, 8, 9}));
    EXPECT_EQ(page->memoText(),
              QStringLiteral("7,8,9,") + QStringLiteral("0,").repeated(50) + u'\n');
    EXPECT_EQ(globals.ShowByteCount, 53);

    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    ASSERT_TRUE(probe.receive().has_value());
    EXPECT_EQ(globals.ShowByteCount, 2);
    child<QAction>("N1")->trigger();
    feed(bytes({7, 8, 9}));
    EXPECT_EQ(page->memoText(), QStringLiteral("7,8,\n"));
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

TEST_F(ConsolePageTest, LabelShowsTheCountOfTheLastListedDatagram)
{
    allowReceiving();
    feed(bytes({1}));
    feed(bytes({2}));
    globals.RecvCount = 0; // a connect in between resets the counter, not the label
    ASSERT_TRUE(waitFor([&] { return memo()->pendingLines() == 0; }));
    EXPECT_EQ(lbNum(), QStringLiteral("2"));
    feed(bytes({3}));
    ASSERT_TRUE(waitFor([&] { return lbNum() == QStringLiteral("1"); }));
}

TEST_F(ConsolePageTest, TabLeavesTheListInsteadOfTypingATab)
{
    page->show();
    QApplication::setActiveWindow(page.get());
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_Tab);
    EXPECT_EQ(page->memoText(), QString());
    EXPECT_FALSE(memo()->hasFocus());
}

TEST_F(ConsolePageTest, OperatorEditsComeAfterEarlierLines)
{
    allowReceiving();
    globals.ShowByteCount = 1;
    feed(bytes({1}));
    // The typed text lands after the waiting line, as it would had the line shown at once.
    QTest::keyClicks(memo(), QStringLiteral("x"));
    EXPECT_EQ(page->memoText(), QStringLiteral("1,\nx"));
    // The text now ends without a line break: each line comes after a break of its own.
    feed(bytes({2}));
    feed(bytes({3}));
    EXPECT_EQ(page->memoText(), QStringLiteral("1,\nx\n2,\n3,"));
    QTest::keyClick(memo(), Qt::Key_Return);
    feed(bytes({4}));
    EXPECT_EQ(page->memoText(), QStringLiteral("1,\nx\n2,\n3,\n4,\n"));
    EXPECT_EQ(globals.RecvCount, 4);

    // The operator's own typing stays undoable while nothing arrives; received lines are not.
    QTest::keyClicks(memo(), QStringLiteral("yz"));
    QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(page->memoText(), QStringLiteral("1,\nx\n2,\n3,\n4,\n"));
    QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(page->memoText(), QStringLiteral("1,\nx\n2,\n3,\n4,\n"));
}

// Every way the operator can change the list first takes in the lines that are waiting.
struct EditCase {
    const char* name;
    std::function<void(MonitorMemo*)> edit;
    const char* expected;
};

class ConsoleEdits : public ConsolePageTest, public ::testing::WithParamInterface<EditCase>
{};

TEST_P(ConsoleEdits, TakeInWaitingLinesFirst)
{
    allowReceiving();
    globals.ShowByteCount = 1;
    feed(bytes({1}));
    ASSERT_EQ(memo()->pendingLines(), 1);
    GetParam().edit(memo());
    EXPECT_EQ(memo()->pendingLines(), 0);
    EXPECT_EQ(page->memoText(), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Memo, ConsoleEdits,
    ::testing::Values(
        EditCase{"Key", [](MonitorMemo* m) { QTest::keyClick(m, Qt::Key_Z); }, "1,\nz"},
        EditCase{"InputMethod",
                 [](MonitorMemo* m) {
                     QInputMethodEvent commit;
                     commit.setCommitString(QStringLiteral("备"));
                     QApplication::sendEvent(m, &commit);
                 },
                 "1,\n备"},
        EditCase{"Paste",
                 [](MonitorMemo* m) {
                     QApplication::clipboard()->setText(QStringLiteral("p"));
                     m->paste();
                 },
                 "1,\np"},
        EditCase{"ShiftEnterIsALineBreak",
                 [](MonitorMemo* m) {
                     QTest::keyClick(m, Qt::Key_Return, Qt::ShiftModifier);
                     EXPECT_EQ(m->document()->blockCount(), 3); // a real line, not a soft break
                 },
                 "1,\n\n"},
        EditCase{"ContextMenu",
                 [](MonitorMemo* m) {
                     QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5),
                                            m->mapToGlobal(QPoint(5, 5)));
                     QApplication::sendEvent(m->viewport(), &menu);
                     auto* popup = m->window()->findChild<QMenu*>(QStringLiteral("PopupMenu1"));
                     ASSERT_NE(popup, nullptr);
                     EXPECT_TRUE(popup->isVisible());
                     popup->close();
                 },
                 "1,\n"}));

// ---- export

class ConsoleExport : public ConsolePageTest
{
protected:
    QString path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
    void exportTo(const QString& file)
    {
        fakeDialogs.saveAnswers.push_back(file);
        child<QAction>("N2")->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !page->exporting(); }, 10000));
    }
    QTemporaryDir dir;
};

TEST_F(ConsoleExport, MonitorLinesEachEndWithCrLf)
{
    allowReceiving();
    globals.ShowByteCount = 2;
    feed(bytes({1, 2}));
    feed(bytes({3}));
    exportTo(path("a.txt")); // the second line is still waiting when the export starts
    EXPECT_EQ(readFile(path("a.txt")), QByteArray("1,2,\r\n3,0,\r\n"));
    EXPECT_TRUE(fakeDialogs.boxes.empty());
    EXPECT_EQ(page->memoText(), QStringLiteral("1,2,\n3,0,\n"));
}

TEST_F(ConsoleExport, WritesTheOperatorsTextInCodePage936)
{
    allowReceiving();
    globals.ShowByteCount = 2;
    feed(bytes({1, 2}));
    // Chinese comes through the input method, then plain keys.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("备注"));
    QApplication::sendEvent(memo(), &commit);
    QTest::keyClicks(memo(), QStringLiteral("abc"));
    feed(bytes({3}));
    exportTo(path("b.txt"));
    EXPECT_EQ(readFile(path("b.txt")).toHex(' '), QByteArray("1,2,\r\n\xB1\xB8\xD7\xA2"
                                                             "abc\r\n3,0,")
                                                      .toHex(' '));
}

// Characters code page 936 has no form for (default-ignorable ones, a lone surrogate) each
// leave a "?" in the file, as everywhere else in the program, rather than vanishing.
TEST_F(ConsoleExport, CharactersWithoutACodePage936FormBecomeQuestionMarks)
{
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral(u"a\u200Bb\u00ADc") + QChar(0xD800) +
                           QStringLiteral(u"d\U0001F600"));
    QApplication::sendEvent(memo(), &commit);
    exportTo(path("d.txt"));
    EXPECT_EQ(readFile(path("d.txt")), QByteArray("a?b?c?d?"));
}

TEST_F(ConsoleExport, EmptyListGivesEmptyFileAndReplacesOldOne)
{
    {
        QFile old(path("c.txt"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
    }
    exportTo(path("c.txt"));
    EXPECT_TRUE(QFileInfo::exists(path("c.txt")));
    EXPECT_EQ(readFile(path("c.txt")), QByteArray());
    EXPECT_TRUE(fakeDialogs.boxes.empty());
}

TEST_F(ConsoleExport, CancelWritesNothing)
{
    feed(bytes({1}));
    child<QAction>("N2")->trigger(); // no answer queued: the fake cancels
    ASSERT_EQ(fakeDialogs.saveRequests.size(), 1u);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_TRUE(fakeDialogs.boxes.empty());
    EXPECT_EQ(page->SaveDialog1.FileName, QStringLiteral("123"));
}

TEST_F(ConsoleExport, MissingFolderShowsCannotCreateAndKeepsTheList)
{
    allowReceiving();
    globals.ShowByteCount = 1;
    feed(bytes({7}));
    const QString target = path("nope/out.txt");
    exportTo(target);
    ASSERT_EQ(fakeDialogs.boxes.size(), 1u);
    EXPECT_EQ(fakeDialogs.boxes[0].text,
              QStringLiteral("Cannot create file \"%1\". No such file or directory.").arg(target));
    EXPECT_EQ(fakeDialogs.boxes[0].caption, appTitle());
    EXPECT_EQ(fakeDialogs.boxes[0].flags, MB::Error);
    EXPECT_EQ(page->memoText(), QStringLiteral("7,\n"));
}

TEST_F(ConsoleExport, ProposesTheLastChosenPath)
{
    exportTo(path("first.txt"));
    child<QAction>("N2")->trigger(); // cancelled: the chosen path stays
    exportTo(path("second.txt"));
    ASSERT_EQ(fakeDialogs.saveRequests.size(), 3u);
    EXPECT_EQ(fakeDialogs.saveRequests[0].fileName, QStringLiteral("123"));
    EXPECT_EQ(fakeDialogs.saveRequests[0].defaultExt, QStringLiteral("txt"));
    EXPECT_EQ(fakeDialogs.saveRequests[0].filter, QStringLiteral("txt"));
    EXPECT_EQ(fakeDialogs.saveRequests[1].fileName, path("first.txt"));
    EXPECT_EQ(fakeDialogs.saveRequests[2].fileName, path("first.txt"));
    EXPECT_EQ(page->SaveDialog1.FileName, path("second.txt"));
}

// ---- the sender, to a probe on the loopback

struct SendCase {
    const char* name;
    std::array<const char*, 10> data;
    int countIndex; // item of cmbData
    bool portAbove; // the port typed 65536 above the probe's
    QByteArray expected;
};

class ConsoleSender : public ConsolePageTest, public ::testing::WithParamInterface<SendCase>
{};

TEST_P(ConsoleSender, SendsTheBytesInFieldOrder)
{
    const SendCase& c = GetParam();
    UdpProbe probe;
    listen();
    edit("edtIP")->setText(QStringLiteral("127.0.0.1"));
    edit("edtPort")->setText(QString::number(probe.port() + (c.portAbove ? 65536 : 0)));
    for (int k = 0; k < 10; ++k)
        edit(QStringLiteral("edt%1").arg(k + 1).toLatin1().constData())
            ->setText(QString::fromUtf8(c.data[static_cast<std::size_t>(k)]));
    child<QComboBox>("cmbData")->setCurrentIndex(c.countIndex);
    edit("edtNum")->setText(QStringLiteral("12"));

    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_TRUE(fakeDialogs.boxes.empty());
    EXPECT_EQ(globals.ShowByteCount, 12);
    const auto got = probe.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data.toHex(' '), c.expected.toHex(' '));
    EXPECT_EQ(got->fromPort, udp->AcquireBinding().Port);
}

INSTANTIATE_TEST_SUITE_P(
    Probe, ConsoleSender,
    ::testing::Values(SendCase{"TenBytes",
                               {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
                               9,
                               false,
                               bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})},
                      SendCase{"FirstThreeOnly",
                               {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
                               2,
                               false,
                               bytes({1, 2, 3})},
                      SendCase{"LowEightBits",
                               {"300", "-1", "$1FF", "0", "0", "0", "0", "0", "0", "0"},
                               2,
                               false,
                               bytes({0x2C, 0xFF, 0xFF})},
                      SendCase{"PortModulo65536",
                               {"1", "0", "0", "0", "0", "0", "0", "0", "0", "0"},
                               0,
                               true,
                               bytes({1})}));

struct SendFailureCase {
    const char* name;
    const char* field;
    const char* text;
    bool chooseCount;
    const char* box;
    int showByteCount;
};

class ConsoleSendFailure : public ConsolePageTest,
                           public ::testing::WithParamInterface<SendFailureCase>
{};

TEST_P(ConsoleSendFailure, ShowsTheErrorBoxAndSendsNothing)
{
    const SendFailureCase& c = GetParam();
    UdpProbe probe;
    listen();
    globals.ShowByteCount = 53;
    edit("edtIP")->setText(QStringLiteral("127.0.0.1"));
    edit("edtPort")->setText(QString::number(probe.port()));
    edit("edtNum")->setText(QStringLiteral("8"));
    edit(c.field)->setText(QString::fromUtf8(c.text));
    if (c.chooseCount)
        child<QComboBox>("cmbData")->setCurrentIndex(0);

    QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    ASSERT_EQ(fakeDialogs.boxes.size(), 1u);
    EXPECT_EQ(fakeDialogs.boxes[0].text, QString::fromUtf8(c.box));
    EXPECT_EQ(fakeDialogs.boxes[0].caption, appTitle());
    EXPECT_EQ(fakeDialogs.boxes[0].flags, MB::Error);
    EXPECT_EQ(globals.ShowByteCount, c.showByteCount);
    EXPECT_FALSE(probe.receive(300).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Probe, ConsoleSendFailure,
    ::testing::Values(
        SendFailureCase{"ByteCountNotANumber", "edtNum", "abc", true,
                        "'abc' is not a valid integer value.", 53},
        SendFailureCase{"DataFieldAfterByteCount", "edt3", "abc", true,
                        "'abc' is not a valid integer value.", 8},
        SendFailureCase{"NoCountChosen", "edt1", "1", false, "'' is not a valid integer value.", 8},
        // One byte chosen: the ninth field is not sent but still converted.
        SendFailureCase{"UnsentFieldStillConverted", "edt9", "9x", true,
                        "'9x' is not a valid integer value.", 8},
        SendFailureCase{"Port", "edtPort", "75OO", true, "'75OO' is not a valid integer value.", 8},
        SendFailureCase{"HostNotFound", "edtIP", "1.2.3", true,
                        "Socket Error # 11001\r\nHost not found.", 8}));

} // namespace
