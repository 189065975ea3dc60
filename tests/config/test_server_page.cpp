// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/dialogs.h"
#include "window/globals.h"
#include "common/sysutils.h"
#include "config/pages/server_page.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

// Readable failure messages for texts.
namespace
{

using testsupport::PrintTo;

using Texts = std::vector<std::pair<const char*, QString>>; // objectName -> text to type

const QString Caption = u"信息提示："_s;
const QString FirstConfirm = u"确实需要立即更新服务器IP吗？请谨慎使用该功能！"_s;

QString logValue(const QString& ip, const QString& mask, const QString& gw, const QString& name)
{
    return u"  服务器IP="_s + ip + u"  子网掩码="_s + mask + u"  默认网关="_s + gw +
           u" 网络连接="_s + name;
}

const QString DefaultLog =
    logValue(u"192.168.1.248"_s, u"255.255.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s);

// A fresh page over a bound endpoint, whose update goes to a probe on the loopback and whose
// log lives in a temporary folder.
class ServerPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        globals.AppDir = dir.path() + u'/';
        // Bound as the connect command binds it: the packet leaves from the local port.
        udp.SetDefaultPort(freeUdpPort());
        udp.SetActive(true);
        page = std::make_unique<ServerPage>(globals, udp);
        type({{"edtIPCurr", u"127.0.0.1"_s}, {"edtServicePort", intToStr(probe.port())}});
    }
    void TearDown() override
    {
        page.reset();
        expectNoTopLevelWidgetsLeft();
    }

    QLineEdit* edit(const char* name) const { return findNamed<QLineEdit>(page.get(), name); }
    QComboBox* combo() const { return page->findChild<QComboBox*>(u"cmbNetName"_s); }
    QWidget* button() const { return page->findChild<QWidget*>(u"sbUpdateIP"_s); }
    QLabel* label() const { return page->findChild<QLabel*>(u"LbMess"_s); }
    QString logPath() const { return globals.AppDir + u"IPSet.Ini"_s; }

    void type(const Texts& texts)
    {
        for (const auto& [name, text] : texts) {
            if (QByteArrayView(name) == "cmbNetName")
                combo()->setEditText(text);
            else
                edit(name)->setText(text);
        }
    }
    QByteArray logBytes() const
    {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no log>");
    }
    QByteArray logFileWith(const QString& value) const
    {
        return "[UpdateLog]\r\nLog=" + toCp936(value) + "\r\n";
    }
    QByteArray received(int timeoutMs = 2000)
    {
        const auto d = probe.receive(timeoutMs);
        if (d) {
            EXPECT_EQ(d->fromPort, udp.DefaultPort()) << "not sent from the bound endpoint";
        }
        return d ? d->data.toHex(' ').toUpper() : QByteArray("<nothing>");
    }
    // The page's state when an update ended before anything was sent.
    void expectNothingDone()
    {
        EXPECT_EQ(received(100), "<nothing>");
        EXPECT_TRUE(page->lbMessCaption().isEmpty());
        EXPECT_TRUE(label()->text().isEmpty());
        EXPECT_FALSE(QFile::exists(logPath()));
        EXPECT_TRUE(button()->isEnabled());
    }

    FakeDialogs fake;
    UdpProbe probe;
    QTemporaryDir dir;
    MainGlobals globals;
    TUDPServer udp;
    std::unique_ptr<ServerPage> page;
};

TEST_F(ServerPageTest, StartsWithItsFixedTexts)
{
    const Texts initial = {
        {"edtIPCurr", u"192.168.1.248"_s},
        {"edtServicePort", u"7550"_s},
        {"edtIp1", u"192"_s},
        {"edtIp2", u"168"_s},
        {"edtIp3", u"1"_s},
        {"edtIp4", u"248"_s},
        {"MarkIP1", u"255"_s},
        {"MarkIP2", u"255"_s},
        {"MarkIP3", u"255"_s},
        {"MarkIP4", u"0"_s},
        {"GateWayIP1", u"192"_s},
        {"GateWayIP2", u"168"_s},
        {"GateWayIP3", u"1"_s},
        {"GateWayIP4", u"1"_s},
    };
    ServerPage fresh(globals, udp);
    for (const auto& [name, text] : initial) {
        auto* e = fresh.findChild<QLineEdit*>(QString::fromLatin1(name));
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(e->text(), text) << name;
        const bool octet =
            QByteArrayView(name) != "edtIPCurr" && QByteArrayView(name) != "edtServicePort";
        if (octet) {
            EXPECT_EQ(e->maxLength(), 3) << name;
        }
    }

    auto* name = fresh.findChild<QComboBox*>(u"cmbNetName"_s);
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->isEditable());
    EXPECT_EQ(name->currentText(), u"本地连接"_s);
    ASSERT_EQ(name->count(), 3);
    EXPECT_EQ(name->itemText(1), u"本地连接 1"_s);
    EXPECT_EQ(name->itemText(2), u"本地连接 2"_s);

    QWidget* update = fresh.findChild<QWidget*>(u"sbUpdateIP"_s);
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(update->property("Caption").toString(), u"立即更新"_s);
    EXPECT_EQ(update->geometry(), QRect(156, 228, 101, 35));
    EXPECT_TRUE(update->isEnabled());
    EXPECT_TRUE(fresh.lbMessCaption().isEmpty());

    auto* summary = fresh.findChild<QLabel*>(u"LbMess"_s);
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->font().family(), u"宋体"_s);
    EXPECT_EQ(summary->font().pixelSize(), 14);
    EXPECT_EQ(summary->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(ServerPageTest, TabGoesTopToBottomAndEndsAtTheButton)
{
    const QStringList expected = {
        u"edtIPCurr"_s,  u"edtServicePort"_s, u"edtIp1"_s,     u"edtIp2"_s,
        u"edtIp3"_s,     u"edtIp4"_s,         u"MarkIP1"_s,    u"MarkIP2"_s,
        u"MarkIP3"_s,    u"MarkIP4"_s,        u"GateWayIP1"_s, u"GateWayIP2"_s,
        u"GateWayIP3"_s, u"GateWayIP4"_s,     u"cmbNetName"_s, u"sbUpdateIP"_s,
    };
    QStringList chain;
    QWidget* w = edit("edtIPCurr");
    do {
        if (expected.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != edit("edtIPCurr") && chain.size() < expected.size());
    EXPECT_EQ(chain, expected);
}

TEST_F(ServerPageTest, ControlsAreNamedForScreenReaders)
{
    const std::vector<std::pair<const char*, QString>> names = {
        {"edtIPCurr", u"原服务器IP："_s},      {"edtServicePort", u"服务管理端口："_s},
        {"edtIp1", u"更新服务器IP： 第1段"_s}, {"edtIp4", u"更新服务器IP： 第4段"_s},
        {"MarkIP2", u"子网掩码： 第2段"_s},    {"GateWayIP3", u"默认网关： 第3段"_s},
        {"cmbNetName", u"连接名称："_s},       {"sbUpdateIP", u"立即更新"_s},
    };
    for (const auto& [name, accessible] : names) {
        auto* w = page->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(w->accessibleName(), accessible) << name;
    }
}

// ---- validation ---------------------------------------------------------------------------

struct ValidationCase {
    const char* name;
    Texts texts;
    QString message;
};

class ServerPageValidation : public ServerPageTest,
                             public ::testing::WithParamInterface<ValidationCase>
{};

TEST_P(ServerPageValidation, ShowsTheMessageAndDoesNothingElse)
{
    const auto& c = GetParam();
    type(c.texts);
    page->show();
    QApplication::setActiveWindow(page.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    edit("MarkIP2")->setFocus();

    page->sbUpdateIPClick();

    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, c.message);
    EXPECT_EQ(fake.boxes[0].caption, Caption);
    EXPECT_EQ(fake.boxes[0].flags, 64);
    EXPECT_EQ(QApplication::focusWidget(), edit("MarkIP2")) << "the focus stays where it was";
    expectNothingDone();
}

const ValidationCase validationCases[] = {
    {"EmptyAddressOctet", {{"edtIp2", u""_s}}, u"无效IP设置，IP段不允许为空！"_s},
    {"EmptyAddressOctetBeforeConversion",
     {{"edtIp3", u""_s}, {"edtIp1", u"abc"_s}},
     u"无效IP设置，IP段不允许为空！"_s},
    {"AddressOctetOver255", {{"edtIp4", u"256"_s}}, u"无效IP设置，IP段不允许大于255！"_s},
    {"AddressAllZero",
     {{"edtIp1", u"0"_s}, {"edtIp2", u"0"_s}, {"edtIp3", u"0"_s}, {"edtIp4", u"0"_s}},
     u"无效IP设置，IP段不允许全为0！"_s},
    {"AddressAll255",
     {{"edtIp1", u"255"_s}, {"edtIp2", u"255"_s}, {"edtIp3", u"255"_s}, {"edtIp4", u"255"_s}},
     u"无效IP设置，IP段不允许全为255！"_s},
    {"EmptyMaskOctet", {{"MarkIP1", u""_s}}, u"无效子网掩码设置，IP段不允许为空！"_s},
    {"MaskOctetOver255", {{"MarkIP3", u"999"_s}}, u"无效子网掩码设置，IP段不允许大于255！"_s},
    {"MaskAllZero",
     {{"MarkIP1", u"0"_s}, {"MarkIP2", u"0"_s}, {"MarkIP3", u"0"_s}, {"MarkIP4", u"0"_s}},
     u"无效子网掩码设置，IP段不允许全为0！"_s},
    {"MaskAll255", {{"MarkIP4", u"255"_s}}, u"无效子网掩码设置，IP段不允许全为255！"_s},
    {"EmptyGatewayOctet", {{"GateWayIP4", u""_s}}, u"无效默认网关IP设置，IP段不允许为空！"_s},
    {"GatewayOctetOver255",
     {{"GateWayIP1", u"300"_s}},
     u"无效默认网关IP设置，IP段不允许大于255！"_s},
    {"GatewayAllZero",
     {{"GateWayIP1", u"0"_s},
      {"GateWayIP2", u"0"_s},
      {"GateWayIP3", u"0"_s},
      {"GateWayIP4", u"0"_s}},
     u"无效默认网关IP设置，IP段不允许全为0！"_s},
    {"GatewayAll255",
     {{"GateWayIP1", u"255"_s},
      {"GateWayIP2", u"255"_s},
      {"GateWayIP3", u"255"_s},
      {"GateWayIP4", u"255"_s}},
     u"无效默认网关IP设置，IP段不允许全为255！"_s},
    {"EmptyConnectionName", {{"cmbNetName", u""_s}}, u"连接名称不允许为空！"_s},
    {"OnlyTheFirstFault",
     {{"MarkIP1", u""_s}, {"GateWayIP1", u""_s}, {"cmbNetName", u""_s}},
     u"无效子网掩码设置，IP段不允许为空！"_s},
};

INSTANTIATE_TEST_SUITE_P(Checks, ServerPageValidation, ::testing::ValuesIn(validationCases),
                         CaseName());

struct ConversionCase {
    const char* name;
    Texts texts;
    QString box;
};

class ServerPageConversion : public ServerPageTest,
                             public ::testing::WithParamInterface<ConversionCase>
{};

TEST_P(ServerPageConversion, ShowsTheFrameworksErrorBoxAndStops)
{
    type(GetParam().texts);
    page->sbUpdateIPClick();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, GetParam().box);
    EXPECT_EQ(fake.boxes[0].caption, u"终端设备配置工具软件"_s);
    EXPECT_EQ(fake.boxes[0].flags, 16);
    expectNothingDone();
}

const ConversionCase conversionCases[] = {
    {"TrailingBlank", {{"edtIp1", u" 1 "_s}}, u"' 1 ' is not a valid integer value."_s},
    {"MaskNotANumber", {{"MarkIP2", u"ff"_s}}, u"'ff' is not a valid integer value."_s},
    {"GatewayBeforeTheNameTest",
     {{"GateWayIP4", u"1a"_s}, {"cmbNetName", u""_s}},
     u"'1a' is not a valid integer value."_s},
};

INSTANTIATE_TEST_SUITE_P(Fields, ServerPageConversion, ::testing::ValuesIn(conversionCases),
                         CaseName());

// ---- confirmations ------------------------------------------------------------------------

struct CancelCase {
    const char* name;
    std::deque<int> answers;
    std::size_t boxes;
};

class ServerPageCancel : public ServerPageTest, public ::testing::WithParamInterface<CancelCase>
{};

TEST_P(ServerPageCancel, AnyAnswerButOkEndsSilently)
{
    fake.answers = GetParam().answers;
    page->sbUpdateIPClick();
    ASSERT_EQ(fake.boxes.size(), GetParam().boxes);
    EXPECT_EQ(fake.boxes[0].text, FirstConfirm);
    for (const auto& box : fake.boxes) {
        EXPECT_EQ(box.caption, Caption);
        EXPECT_EQ(box.flags, 289);
    }
    if (fake.boxes.size() == 2) {
        EXPECT_EQ(fake.boxes[1].text,
                  u"请再次确认，确实需要立即更新服务器IP吗？ "
                  u"IP=192.168.1.248 子网掩码=255.255.255.0 默认网关=192.168.1.1"_s);
    }
    expectNothingDone();
}

const CancelCase cancelCases[] = {
    {"CancelFirst", {MB::IDCANCEL}, 1},
    {"CancelSecond", {MB::IDOK, MB::IDCANCEL}, 2},
    {"OtherAnswerFirst", {7}, 1},
    {"OtherAnswerSecond", {MB::IDOK, 7}, 2},
};

INSTANTIATE_TEST_SUITE_P(Answers, ServerPageCancel, ::testing::ValuesIn(cancelCases), CaseName());

// The second confirmation names the new address, so the address fields count here.
TEST_F(ServerPageTest, SecondConfirmationShowsTheNewSettingsAsTyped)
{
    type({{"edtIp1", u" 10"_s}, {"edtIp2", u"010"_s}, {"edtIp3", u"-1"_s}, {"edtIp4", u"7"_s}});
    fake.answers = {MB::IDOK, MB::IDCANCEL};
    page->sbUpdateIPClick();
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[1].text, u"请再次确认，确实需要立即更新服务器IP吗？ IP=10.010.-1.7 "
                                  u"子网掩码=255.255.255.0 默认网关=192.168.1.1"_s);
}

// ---- a full update ------------------------------------------------------------------------

TEST_F(ServerPageTest, UpdateSendsShowsAndLogsInThatOrder)
{
    type({{"edtIp1", u"192"_s}, {"edtIp2", u"168"_s}, {"edtIp3", u"1"_s}, {"edtIp4", u"248"_s}});
    QByteArray sentBeforeCompletion;
    QString captionAtCompletion;
    bool logAtCompletion = true;
    fake.onBox = [&](const FakeDialogs::Box& box) {
        if (box.flags != 64)
            return;
        sentBeforeCompletion = received();
        captionAtCompletion = page->lbMessCaption();
        logAtCompletion = QFile::exists(logPath());
    };

    page->sbUpdateIPClick();

    EXPECT_EQ(sentBeforeCompletion, "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");
    const QString summary = u"服务器网络配置:\r\r  服务器IP = 192.168.1.248\r\r  子网掩码 = "
                            u"255.255.255.0\r\r  默认网关 = 192.168.1.1\r\r 网络连接 = 本地连接"_s;
    EXPECT_EQ(captionAtCompletion, summary);
    EXPECT_FALSE(logAtCompletion) << "the log is written after the completion box";

    ASSERT_EQ(fake.boxes.size(), 3u);
    EXPECT_EQ(fake.boxes[2].text,
              u"更新服务器地址完成，请记住当前修改后的服务器IP，并且等候1分钟，然后关闭服务器主机"
              u"重启系统，同时也重新启动当前客户端软件！\rIP=192.168.1.248 子网掩码=255.255.255.0 "
              u"默认网关=192.168.1.1"_s);
    EXPECT_EQ(fake.boxes[2].caption, Caption);
    EXPECT_EQ(page->lbMessCaption(), summary);
    EXPECT_EQ(label()->text(), QString(summary).replace(u'\r', u'\n'));
    EXPECT_FALSE(button()->isEnabled());
    EXPECT_EQ(logBytes(), logFileWith(DefaultLog));
    EXPECT_EQ(fromCp936(logBytes()), u"[UpdateLog]\r\nLog="_s + DefaultLog + u"\r\n"_s);
}

TEST_F(ServerPageTest, TheButtonsClickStartsTheUpdate)
{
    page->show();
    fake.answers = {MB::IDCANCEL};
    QTest::mouseClick(button(), Qt::LeftButton);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, FirstConfirm);
}

// Enter in the connection name confirms the typed text; the list keeps its three items.
TEST_F(ServerPageTest, EnterInTheConnectionNameDoesNotGrowTheList)
{
    page->show();
    QApplication::setActiveWindow(page.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    combo()->setFocus();
    combo()->lineEdit()->selectAll();
    QTest::keyClicks(combo()->lineEdit(), u"LAN 9"_s);
    QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);

    ASSERT_EQ(combo()->count(), 3);
    EXPECT_EQ(combo()->itemText(0), u"本地连接"_s);
    EXPECT_EQ(combo()->itemText(1), u"本地连接 1"_s);
    EXPECT_EQ(combo()->itemText(2), u"本地连接 2"_s);
    EXPECT_EQ(combo()->currentText(), u"LAN 9"_s);

    page->sbUpdateIPClick();
    EXPECT_EQ(logBytes(), logFileWith(logValue(u"192.168.1.248"_s, u"255.255.255.0"_s,
                                               u"192.168.1.1"_s, u"LAN 9"_s)));
}

// One update per run: locking and unlocking the window (its pages disabled and enabled again)
// does not bring the button back, and a click on it starts nothing.
TEST_F(ServerPageTest, TheButtonStaysDisabledAfterTheSendThroughLockAndUnlock)
{
    page->show();
    page->sbUpdateIPClick();
    EXPECT_EQ(received(), "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");
    ASSERT_FALSE(button()->isEnabled());

    page->setEnabled(false);
    page->setEnabled(true);
    EXPECT_FALSE(button()->isEnabled());

    const std::size_t before = fake.boxes.size();
    QTest::mouseClick(button(), Qt::LeftButton);
    EXPECT_EQ(fake.boxes.size(), before);
    EXPECT_EQ(received(100), "<nothing>");
}

struct TypedCase {
    const char* name;
    Texts texts;
    QByteArray packet;
    QString logValue;
};

class ServerPageTyped : public ServerPageTest, public ::testing::WithParamInterface<TypedCase>
{};

TEST_P(ServerPageTyped, SendsTheLowBytesAndLogsTheTextsAsTyped)
{
    const auto& c = GetParam();
    type(c.texts);
    page->sbUpdateIPClick();
    EXPECT_EQ(received(), c.packet);
    EXPECT_EQ(logBytes(), logFileWith(c.logValue));
    EXPECT_TRUE(page->lbMessCaption().endsWith(
        c.logValue.mid(c.logValue.lastIndexOf(u"网络连接="_s) + 5).prepend(u"网络连接 = "_s)));
}

const TypedCase typedCases[] = {
    {"MinusOne",
     {{"edtIp4", u"-1"_s}},
     "D7 C0 A8 01 FF FF FF FF 00 C0 A8 01 01 64 64 64 64 64",
     logValue(u"192.168.1.-1"_s, u"255.255.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s)},
    {"LeadingZeros",
     {{"edtIp3", u"010"_s}},
     "D7 C0 A8 0A F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64",
     logValue(u"192.168.010.248"_s, u"255.255.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s)},
    {"LeadingBlank",
     {{"GateWayIP4", u" 9"_s}},
     "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 09 64 64 64 64 64",
     logValue(u"192.168.1.248"_s, u"255.255.255.0"_s, u"192.168.1.9"_s, u"本地连接"_s)},
    {"NonContiguousMask",
     {{"MarkIP1", u"255"_s}, {"MarkIP2", u"0"_s}, {"MarkIP3", u"255"_s}, {"MarkIP4", u"0"_s}},
     "D7 C0 A8 01 F8 FF 00 FF 00 C0 A8 01 01 64 64 64 64 64",
     logValue(u"192.168.1.248"_s, u"255.0.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s)},
    {"BlankNameUnstripped",
     {{"cmbNetName", u"   "_s}},
     "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64",
     logValue(u"192.168.1.248"_s, u"255.255.255.0"_s, u"192.168.1.1"_s, u"   "_s)},
    {"ListedName",
     {{"cmbNetName", u"本地连接 2"_s}},
     "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64",
     logValue(u"192.168.1.248"_s, u"255.255.255.0"_s, u"192.168.1.1"_s, u"本地连接 2"_s)},
};

INSTANTIATE_TEST_SUITE_P(Fields, ServerPageTyped, ::testing::ValuesIn(typedCases), CaseName());

// ---- failures after the confirmations -----------------------------------------------------

TEST_F(ServerPageTest, AFailedSendIsReportedAndASecondUpdateReplacesTheLog)
{
    type({{"edtServicePort", u"abc"_s}});
    page->sbUpdateIPClick();

    EXPECT_EQ(received(300), "<nothing>");
    ASSERT_EQ(fake.boxes.size(), 3u) << "two confirmations, then the failure";
    EXPECT_EQ(fake.boxes[2].text, u"更新服务器地址错误！\r'abc' is not a valid integer value"_s);
    EXPECT_EQ(fake.boxes[2].caption, u"信息提示："_s);
    EXPECT_EQ(fake.boxes[2].flags, 64);
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_TRUE(page->lbMessCaption().isEmpty());
    EXPECT_EQ(logBytes(), "<no log>");

    type({{"edtIp4", u"249"_s}, {"edtServicePort", intToStr(probe.port())}});
    page->sbUpdateIPClick();
    EXPECT_EQ(received(), "D7 C0 A8 01 F9 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");
    EXPECT_EQ(logBytes(), logFileWith(logValue(u"192.168.1.249"_s, u"255.255.255.0"_s,
                                               u"192.168.1.1"_s, u"本地连接"_s)));
    EXPECT_TRUE(page->lbMessCaption().contains(u"192.168.1.249"_s));
    EXPECT_FALSE(button()->isEnabled());
}

TEST_F(ServerPageTest, AnUnwritableLogIsReportedAfterEverythingElse)
{
    const QString notAFolder = dir.filePath(u"file"_s);
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    globals.AppDir = notAFolder + u'/';

    page->sbUpdateIPClick();

    EXPECT_EQ(received(), "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");
    ASSERT_EQ(fake.boxes.size(), 4u);
    EXPECT_EQ(fake.boxes[2].flags, 64);
    EXPECT_EQ(fake.boxes[3].text, u"Unable to write to "_s + notAFolder + u"/IPSet.Ini."_s);
    EXPECT_EQ(fake.boxes[3].caption, u"终端设备配置工具软件"_s);
    EXPECT_EQ(fake.boxes[3].flags, 16);
    EXPECT_FALSE(page->lbMessCaption().isEmpty());
    EXPECT_FALSE(button()->isEnabled());
}

TEST_F(ServerPageTest, ALineBreakInTheNameCannotAddLinesToTheLog)
{
    const QByteArray before = "[UpdateLog]\r\nLog=old\r\n[Other]\r\nk=1\r\n";
    {
        QFile f(logPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    combo()->setEditText(u"本地连接\r\n[Other]\nk=2"_s);
    page->sbUpdateIPClick();
    EXPECT_EQ(logBytes(), "[UpdateLog]\r\nLog=" +
                              toCp936(logValue(u"192.168.1.248"_s, u"255.255.255.0"_s,
                                               u"192.168.1.1"_s, u"本地连接  [Other] k=2"_s)) +
                              "\r\n[Other]\r\nk=1\r\n");
}

} // namespace
