// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "window/globals.h"
#include "config/pages/param_page.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <map>
#include <ostream>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

// The offscreen platform cannot grab the keyboard for the open list; that is expected.
const QtMessageHandler previousHandler =
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& m) {
        if (!m.startsWith(u"This plugin does not support"_s))
            previousHandler(type, context, m);
    });

const QString kPlainCaption = u"子网掩码："_s;      // Lbl_YM as designed
const QString kPagingCaption = u"寻呼服务器IP："_s; // Lbl_CallServerIP as designed

using Edits = std::vector<std::pair<const char*, QString>>;

// One parameter page on a bound loopback endpoint, with the message boxes faked.
struct Fixture {
    // Declared first, so it checks after the page is gone.
    struct NoWindowsLeft {
        ~NoWindowsLeft() { expectNoTopLevelWidgetsLeft(); }
    } noWindowsLeft;
    FakeDialogs fake;
    MainGlobals globals;
    TUDPServer udp;
    ParamPage page{globals, udp};

    Fixture()
    {
        globals.DeviceType = DeviceType(1); // what the main window does when it is shown
        udp.SetDefaultPort(freeUdpPort());
        udp.SetActive(true);
    }

    template <class W = QWidget> W* w(const char* name) { return findNamed<W>(&page, name); }
    QLineEdit* edit(const char* name) { return w<QLineEdit>(name); }
    QString caption(const char* name) { return w<QLabel>(name)->text(); }
    bool shown(const char* name) { return !w(name)->isHidden(); }

    // The operator picks an item from the open list with the keyboard.
    void choose(int code)
    {
        auto* combo = w<QComboBox>("cmbType");
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        view->setCurrentIndex(view->model()->index(code - 1, 0));
        QTest::keyClick(view, Qt::Key_Return);
    }

    void showActive()
    {
        page.show();
        QApplication::setActiveWindow(&page);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    }

    // The operator types these texts into these fields.
    void type(const Edits& edits)
    {
        for (const auto& [name, text] : edits)
            edit(name)->setText(text);
    }

    void sendTo(const UdpProbe& probe)
    {
        edit("edtCurrIP")->setText(u"127.0.0.1"_s);
        edit("edtCurrPort")->setText(QString::number(probe.port()));
    }
};

// --- the page as it opens --------------------------------------------------------------------

struct FieldCase {
    const char* field;
    const char* label;
    QString caption;
    QString text;
    QRect place; // height is not designed; only left, top and width are compared
    const char* parent;
};

void PrintTo(const FieldCase& c, std::ostream* os)
{
    *os << c.field;
}

class ParamPageFields : public ::testing::TestWithParam<FieldCase>
{};

TEST_P(ParamPageFields, OpensWithItsDesignedTextCaptionAndPlace)
{
    const auto& c = GetParam();
    Fixture f;
    auto* field = f.w(c.field);
    auto* label = f.w<QLabel>(c.label);
    ASSERT_TRUE(field && label);
    EXPECT_EQ(label->text(), c.caption);
    EXPECT_EQ(field->accessibleName(), c.caption);
    EXPECT_EQ(field->parentWidget()->objectName(), QString::fromLatin1(c.parent));
    EXPECT_EQ(field->x(), c.place.x());
    EXPECT_EQ(field->y(), c.place.y());
    EXPECT_EQ(field->width(), c.place.width());
    EXPECT_EQ(label->geometry().right() + 1 + 2, field->x()) << "label not next to its field";
    EXPECT_TRUE(label->alignment() & Qt::AlignRight);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        EXPECT_EQ(edit->text(), c.text);
        EXPECT_EQ(edit->maxLength(), QString::fromLatin1(c.field) == u"edtUpip"_s ? 15 : 32767);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Designed, ParamPageFields,
    ::testing::Values(
        FieldCase{"cmbType", "Label16", u"设备类型："_s, {}, {88, 21, 133, 1}, "GroupBox6"},
        FieldCase{"edtCurrIP",
                  "Label9",
                  u"当前设备IP："_s,
                  u"192.168.1.200"_s,
                  {334, 21, 129, 1},
                  "GroupBox6"},
        FieldCase{"edtCurrPort",
                  "Label22",
                  u"当前设备命令端口："_s,
                  u"7500"_s,
                  {607, 21, 92, 1},
                  "GroupBox6"},
        FieldCase{"edtUpip",
                  "lbIP",
                  u"更新后设备IP："_s,
                  u"192.168.1.200"_s,
                  {110, 89, 129, 1},
                  "ParamPage"},
        FieldCase{"ectServerIP",
                  "Label18",
                  u"服务器IP："_s,
                  u"192.168.1.248"_s,
                  {110, 123, 129, 1},
                  "ParamPage"},
        FieldCase{"edtNetIP",
                  "Label23",
                  u"网关地址："_s,
                  u"192.168.1.1"_s,
                  {110, 157, 129, 1},
                  "ParamPage"},
        FieldCase{"edtGPIP",
                  "Label7",
                  u"数据广播IP："_s,
                  u"255.255.255.255"_s,
                  {110, 191, 129, 1},
                  "ParamPage"},
        FieldCase{
            "edtAddress", "Label15", u"设备地址："_s, u"200"_s, {352, 90, 62, 1}, "ParamPage"},
        FieldCase{"edtOrder", "Label8", u"命令端口："_s, u"7500"_s, {352, 119, 62, 1}, "ParamPage"},
        FieldCase{"edtData", "Label12", u"数据端口："_s, u"7510"_s, {352, 149, 62, 1}, "ParamPage"},
        FieldCase{"edtServerPort",
                  "Label19",
                  u"服务器端口："_s,
                  u"7520"_s,
                  {352, 179, 62, 1},
                  "ParamPage"},
        FieldCase{"edtGroupIP",
                  "Lbl_GroupIP",
                  u"组播IP："_s,
                  u"224.0.1.48"_s,
                  {600, 86, 120, 1},
                  "ParamPage"},
        FieldCase{"edtYM", "Lbl_YM", kPlainCaption, u"255.255.255.0"_s, {124, 14, 121, 1}, "gb1"},
        FieldCase{"edtCallIp",
                  "Lbl_CallServerIP",
                  kPagingCaption,
                  u"192.168.1.248"_s,
                  {124, 41, 121, 1},
                  "gb1"},
        FieldCase{"edtID1", "Label20", u"一键报警主机一地址："_s, u"0"_s, {165, 15, 58, 1}, "gb2"},
        FieldCase{"edtID2", "Label21", u"一键报警主机二地址："_s, u"0"_s, {165, 43, 58, 1}, "gb2"}),
    [](const auto& tp) { return std::string(tp.param.field); });

TEST(ParamPage, OpensWithNoTypeChosenEverythingShownAndNoDownloadButton)
{
    Fixture f;
    auto* combo = f.w<QComboBox>("cmbType");
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_FALSE(combo->isEditable());
    const QStringList want = {u"普通终端"_s, u"频道终端"_s, u"点播终端"_s, u"一键报警"_s,
                              u"寻呼主机"_s, u"分区切换"_s, u"音频矩阵"_s, u"消防矩阵"_s,
                              u"电源时序"_s, u"网络收音"_s, u"网络CD"_s,   u"网络功放"_s};
    QStringList got;
    for (int i = 0; i < combo->count(); ++i)
        got << combo->itemText(i);
    EXPECT_EQ(got, want);
    for (const char* name : {"gb1", "gb2", "Lbl_GroupIP", "edtGroupIP"})
        EXPECT_TRUE(f.shown(name)) << name;
    auto* button = f.w<QToolButton>("SpeedButton1");
    EXPECT_TRUE(button->isHidden());
    EXPECT_EQ(button->text(), u"下载参数"_s);
    EXPECT_EQ(button->geometry(), QRect(110, 231, 125, 40));
    EXPECT_FALSE(button->icon().pixmap(20, QIcon::Normal).isNull());
    EXPECT_NE(button->icon().pixmap(20, QIcon::Normal).toImage(),
              button->icon().pixmap(20, QIcon::Disabled).toImage());
    EXPECT_EQ(f.w("GroupBox6")->geometry(), QRect(16, 16, 721, 57));
    EXPECT_EQ(f.w("gb1")->geometry(), QRect(476, 114, 256, 72));
    EXPECT_EQ(f.w("gb2")->geometry(), QRect(477, 187, 256, 71));
    EXPECT_EQ(f.globals.DeviceType.code(), 1);
}

// --- the catalogue on the page ---------------------------------------------------------------

struct TypeCase {
    int code;
    bool group;
    QString groupCaption;
    bool gb1;
    QString ymCaption;
    QString callCaption;
    bool gb2;
    QString groupText;
};

void PrintTo(const TypeCase& c, std::ostream* os)
{
    *os << "code " << c.code;
}

class ParamPageType : public ::testing::TestWithParam<TypeCase>
{};

TEST_P(ParamPageType, ChoosingATypeSetsVisibilityCaptionsAndTexts)
{
    const auto& c = GetParam();
    Fixture f;
    f.edit("edtID1")->setText(u"11"_s);
    f.edit("edtID2")->setText(u"12"_s);
    f.edit("edtGroupIP")->setText(u"239.9.9.9"_s);
    f.choose(c.code);

    EXPECT_EQ(f.globals.DeviceType.code(), c.code);
    EXPECT_EQ(f.w<QComboBox>("cmbType")->currentIndex(), c.code - 1);
    EXPECT_TRUE(f.shown("SpeedButton1"));
    EXPECT_EQ(f.shown("Lbl_GroupIP"), c.group);
    EXPECT_EQ(f.shown("edtGroupIP"), c.group);
    EXPECT_EQ(f.shown("gb1"), c.gb1);
    EXPECT_EQ(f.shown("gb2"), c.gb2);
    EXPECT_EQ(f.caption("Lbl_GroupIP"), c.groupCaption);
    EXPECT_EQ(f.caption("Lbl_YM"), c.ymCaption);
    EXPECT_EQ(f.caption("Lbl_CallServerIP"), c.callCaption);
    EXPECT_EQ(f.edit("edtGroupIP")->text(), c.groupText);
    EXPECT_EQ(f.edit("edtID1")->text(), u"0"_s);
    EXPECT_EQ(f.edit("edtID2")->text(), u"0"_s);
    if (c.group) {
        EXPECT_EQ(f.w("edtGroupIP")->accessibleName(), c.groupCaption);
    }
    EXPECT_EQ(f.w("edtYM")->accessibleName(), c.ymCaption);
    EXPECT_EQ(f.w("edtCallIp")->accessibleName(), c.callCaption);

    // The relabelled labels keep their right edge next to their field and show all of it.
    for (auto [label, field] :
         {std::pair{"Lbl_GroupIP", "edtGroupIP"}, std::pair{"Lbl_YM", "edtYM"},
          std::pair{"Lbl_CallServerIP", "edtCallIp"}}) {
        auto* l = f.w<QLabel>(label);
        EXPECT_EQ(l->geometry().right() + 1 + 2, f.w(field)->x()) << label;
        EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << label;
    }
}

const QString kMulticast = u"组播IP："_s;
const QString kTyped = u"239.9.9.9"_s;

INSTANTIATE_TEST_SUITE_P(
    EveryCode, ParamPageType,
    ::testing::Values(
        TypeCase{1, false, {}, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{2, false, {}, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{3, false, {}, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{4, true, u"子网掩码："_s, true, u"报警主机一IP"_s, u"报警主机二IP"_s, true,
                 kTyped},
        TypeCase{5, true, kMulticast, true, u"子网掩码："_s, u"寻呼服务器IP："_s, false, kTyped},
        TypeCase{6, true, u"从属功放设备编号："_s, false, kPlainCaption, kPagingCaption, false,
                 u"0"_s},
        TypeCase{7, false, {}, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{8, true, kMulticast, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{9, false, {}, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{10, true, kMulticast, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{11, true, kMulticast, false, kPlainCaption, kPagingCaption, false, kTyped},
        TypeCase{12, false, {}, false, kPlainCaption, kPagingCaption, false, kTyped}),
    [](const auto& tp) { return "code" + std::to_string(tp.param.code); });

struct SequenceCase {
    const char* name;
    std::vector<int> codes; // IDs are typed before every choice
    bool group;
    QString groupCaption;
    QString groupText;
    QString ymCaption;
};

class ParamPageSequence : public ::testing::TestWithParam<SequenceCase>
{};

TEST_P(ParamPageSequence, LaterChoicesKeepWhatTheyDoNotSet)
{
    const auto& c = GetParam();
    Fixture f;
    for (int code : c.codes) {
        f.edit("edtID1")->setText(u"7"_s);
        f.edit("edtID2")->setText(u"8"_s);
        f.choose(code);
    }
    EXPECT_EQ(f.globals.DeviceType.code(), c.codes.back());
    EXPECT_EQ(f.shown("edtGroupIP"), c.group);
    EXPECT_EQ(f.caption("Lbl_GroupIP"), c.groupCaption);
    EXPECT_EQ(f.edit("edtGroupIP")->text(), c.groupText);
    EXPECT_EQ(f.caption("Lbl_YM"), c.ymCaption);
    EXPECT_EQ(f.edit("edtID1")->text(), u"0"_s);
    EXPECT_EQ(f.edit("edtID2")->text(), u"0"_s);
}

const QString kGroupDefault = u"224.0.1.48"_s;

INSTANTIATE_TEST_SUITE_P(
    Sequences, ParamPageSequence,
    ::testing::Values(
        SequenceCase{"zoneThenFireMatrix", {6, 8}, true, kMulticast, u"0"_s, kPlainCaption},
        SequenceCase{"zoneThenPlain", {6, 1}, false, {}, u"0"_s, kPlainCaption},
        SequenceCase{
            "alarmThenPlainKeepsAlarmCaption", {4, 1}, false, {}, kGroupDefault, u"报警主机一IP"_s},
        SequenceCase{"alarmThenPaging", {4, 5}, true, kMulticast, kGroupDefault, kPlainCaption},
        SequenceCase{"alarmAgainLosesIds",
                     {4, 1, 4},
                     true,
                     u"子网掩码："_s,
                     kGroupDefault,
                     u"报警主机一IP"_s},
        SequenceCase{"sameItemAgainRunsAgain",
                     {4, 4},
                     true,
                     u"子网掩码："_s,
                     kGroupDefault,
                     u"报警主机一IP"_s},
        SequenceCase{"plainThenRadio", {1, 10}, true, kMulticast, kGroupDefault, kPlainCaption}),
    CaseName());

TEST(ParamPage, OnlyAnOperatorChoiceRunsTheChange)
{
    Fixture f;
    auto* combo = f.w<QComboBox>("cmbType");
    combo->setCurrentIndex(3); // from code: not a choice
    EXPECT_EQ(f.globals.DeviceType.code(), 1);
    EXPECT_TRUE(f.w("SpeedButton1")->isHidden());

    f.showActive();
    combo->setFocus();
    f.edit("edtID1")->setText(u"5"_s);
    QTest::keyClick(combo, Qt::Key_Down); // arrow keys on the closed list choose too
    EXPECT_EQ(f.globals.DeviceType.code(), 5);
    EXPECT_EQ(f.edit("edtID1")->text(), u"0"_s);
    EXPECT_TRUE(f.shown("SpeedButton1"));
}

TEST(ParamPage, RelabelledLabelsFollowAFontChange)
{
    Fixture f;
    f.choose(6);
    QFont big = f.page.font();
    big.setPixelSize(24);
    f.page.setFont(big);
    auto* l = f.w<QLabel>("Lbl_GroupIP");
    EXPECT_GE(l->width(), QFontMetrics(big).horizontalAdvance(u"从属功放设备编号："_s));
    EXPECT_EQ(l->geometry().right() + 1 + 2, f.w("edtGroupIP")->x());
}

// --- validation ------------------------------------------------------------------------------

struct ValidationCase {
    const char* name;
    int code;
    Edits edits;
    QString message;
    const char* focus;
};

class ParamPageValidation : public ::testing::TestWithParam<ValidationCase>
{};

TEST_P(ParamPageValidation, ReportsTheFirstFaultAndFocusesItsField)
{
    const auto& c = GetParam();
    Fixture f;
    UdpProbe probe;
    f.sendTo(probe);
    f.choose(c.code);
    f.type(c.edits);
    f.showActive();
    f.edit("edtAddress")->setFocus();

    // A click leaves the focus where it was, as the button takes it only by Tab.
    QTest::mouseClick(f.w("SpeedButton1"), Qt::LeftButton);

    ASSERT_EQ(f.fake.boxes.size(), 1u);
    EXPECT_EQ(f.fake.boxes[0].text, c.message);
    EXPECT_EQ(f.fake.boxes[0].caption, u"信息提示："_s);
    EXPECT_EQ(f.fake.boxes[0].flags, 64);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.focus));
    EXPECT_FALSE(probe.receive(50).has_value()) << "sent despite the fault";
}

const QString k16 = u"1234567890123456"_s;

INSTANTIATE_TEST_SUITE_P(
    Checks, ParamPageValidation,
    ::testing::Values(
        ValidationCase{
            "currIpEmpty", 1, {{"edtCurrIP", u""_s}}, u"当前设备IP不能为空！"_s, "edtCurrIP"},
        ValidationCase{"currIpShort",
                       1,
                       {{"edtCurrIP", u"1.2.3."_s}},
                       u"不合规则的非法当前设备IP！"_s,
                       "edtCurrIP"},
        ValidationCase{
            "currIpFirstOfAll",
            5,
            {{"edtCurrIP", u""_s}, {"edtUpip", u""_s}, {"ectServerIP", u"x"_s}, {"edtYM", u""_s}},
            u"当前设备IP不能为空！"_s,
            "edtCurrIP"},
        ValidationCase{
            "upipEmpty", 1, {{"edtUpip", u""_s}}, u"更新后设备IP不能为空！"_s, "edtUpip"},
        ValidationCase{"upipChineseCountsTwice",
                       1,
                       {{"edtUpip", u"一二三"_s}},
                       u"不合规则的非法更新后设备IP！"_s,
                       "edtUpip"},
        ValidationCase{
            "serverEmpty", 1, {{"ectServerIP", u""_s}}, u"服务器IP不能为空！"_s, "ectServerIP"},
        ValidationCase{
            "serverLong", 1, {{"ectServerIP", k16}}, u"不合规则的非法服务器IP！"_s, "ectServerIP"},
        ValidationCase{
            "gatewayEmpty", 1, {{"edtNetIP", u""_s}}, u"网关地址不能为空！"_s, "edtNetIP"},
        ValidationCase{
            "gatewayBlank", 1, {{"edtNetIP", u" "_s}}, u"不合规则的非法网关地址！"_s, "edtNetIP"},
        ValidationCase{
            "broadcastEmpty", 1, {{"edtGPIP", u""_s}}, u"数据广播IP不能为空！"_s, "edtGPIP"},
        ValidationCase{
            "broadcastLong", 1, {{"edtGPIP", k16}}, u"不合规则的非法数据广播IP！"_s, "edtGPIP"},
        ValidationCase{
            "groupEmptyCode5", 5, {{"edtGroupIP", u""_s}}, u"组播IP不能为空！"_s, "edtGroupIP"},
        ValidationCase{"groupShortCode8",
                       8,
                       {{"edtGroupIP", u"0"_s}},
                       u"不合规则的非法组播IP！"_s,
                       "edtGroupIP"},
        ValidationCase{"groupLongCode10",
                       10,
                       {{"edtGroupIP", k16}},
                       u"不合规则的非法组播IP！"_s,
                       "edtGroupIP"},
        ValidationCase{
            "groupEmptyCode11", 11, {{"edtGroupIP", u""_s}}, u"组播IP不能为空！"_s, "edtGroupIP"},
        ValidationCase{"ymEmptyCode4", 4, {{"edtYM", u""_s}}, u"报警主机一IP不能为空！"_s, "edtYM"},
        ValidationCase{
            "ymShortCode4", 4, {{"edtYM", u"1.1.1"_s}}, u"不合规则的非法报警主机一IP"_s, "edtYM"},
        ValidationCase{
            "callEmptyCode4", 4, {{"edtCallIp", u""_s}}, u"报警主机二IP不能为空！"_s, "edtCallIp"},
        ValidationCase{
            "callLongCode4", 4, {{"edtCallIp", k16}}, u"不合规则的非法报警主机二IP"_s, "edtCallIp"},
        ValidationCase{"ymEmptyCode5", 5, {{"edtYM", u""_s}}, u"子网掩码：不能为空！"_s, "edtYM"},
        ValidationCase{"ymLongCode5", 5, {{"edtYM", k16}}, u"不合规则的非法子网掩码："_s, "edtYM"},
        ValidationCase{"callEmptyCode5",
                       5,
                       {{"edtCallIp", u""_s}},
                       u"寻呼服务器IP：不能为空！"_s,
                       "edtCallIp"},
        ValidationCase{"callShortCode5",
                       5,
                       {{"edtCallIp", u"1"_s}},
                       u"不合规则的非法寻呼服务器IP："_s,
                       "edtCallIp"},
        ValidationCase{"groupBeforeYmCode5",
                       5,
                       {{"edtGroupIP", u""_s}, {"edtYM", u""_s}},
                       u"组播IP不能为空！"_s,
                       "edtGroupIP"}),
    CaseName());

// --- faults while the packet is built ---------------------------------------------------------

struct ConversionCase {
    const char* name;
    std::vector<int> codes;
    Edits edits;
    QString boxText;
};

class ParamPageConversion : public ::testing::TestWithParam<ConversionCase>
{};

TEST_P(ParamPageConversion, EndsInTheErrorBoxWithoutFocusMoveOrSending)
{
    const auto& c = GetParam();
    Fixture f;
    UdpProbe probe;
    f.sendTo(probe);
    for (int code : c.codes)
        f.choose(code);
    f.type(c.edits);
    f.showActive();
    f.edit("edtAddress")->setFocus();

    // A click leaves the focus where it was, as the button takes it only by Tab.
    QTest::mouseClick(f.w("SpeedButton1"), Qt::LeftButton);

    ASSERT_EQ(f.fake.boxes.size(), 1u);
    EXPECT_EQ(f.fake.boxes[0].text, c.boxText);
    EXPECT_EQ(f.fake.boxes[0].caption, u"终端设备配置工具软件"_s);
    EXPECT_EQ(f.fake.boxes[0].flags, 16);
    EXPECT_EQ(QApplication::focusWidget(), f.w("edtAddress"));
    EXPECT_FALSE(probe.receive(50).has_value());
}

const QString kEmptyPiece = u"'' is not a valid integer value."_s;

INSTANTIATE_TEST_SUITE_P(
    Faults, ParamPageConversion,
    ::testing::Values(
        ConversionCase{"sevenLetters", {1}, {{"edtUpip", u"abcdefg"_s}}, kEmptyPiece},
        ConversionCase{"dottedWithTwoBlanks", {1}, {{"edtNetIP", u"1.2.3  "_s}}, kEmptyPiece},
        ConversionCase{"moreThanThreeDots",
                       {1},
                       {{"edtGPIP", u"1.2.3.4.5"_s}},
                       u"'4.5' is not a valid integer value."_s},
        ConversionCase{"zoneNumberLeftForPlainType", {6, 1}, {}, kEmptyPiece},
        ConversionCase{"alarmWithEmptyGroupField", {4}, {{"edtGroupIP", u""_s}}, kEmptyPiece},
        ConversionCase{"portWithTrailingBlank",
                       {1},
                       {{"edtOrder", u"7500 "_s}},
                       u"'7500 ' is not a valid integer value."_s},
        ConversionCase{
            "alarmNumber", {4}, {{"edtID2", u"two"_s}}, u"'two' is not a valid integer value."_s}),
    CaseName());

TEST(ParamPage, ZoneNumberLeftForMulticastTypeFailsValidation)
{
    Fixture f;
    f.choose(6);
    f.choose(8);
    f.page.SpeedButton1Click();
    ASSERT_EQ(f.fake.boxes.size(), 1u);
    EXPECT_EQ(f.fake.boxes[0].text, u"不合规则的非法组播IP！"_s);
}

// --- sending ---------------------------------------------------------------------------------

struct SendCase {
    const char* name;
    int code;
    Edits edits;
    QByteArray bytes;
};

class ParamPageSend : public ::testing::TestWithParam<SendCase>
{};

TEST_P(ParamPageSend, TheProbeReceivesExactlyThePacket)
{
    const auto& c = GetParam();
    Fixture f;
    UdpProbe probe;
    f.sendTo(probe);
    f.choose(c.code);
    f.type(c.edits);

    f.showActive();
    QTest::mouseClick(f.w("SpeedButton1"), Qt::LeftButton);

    const auto got = probe.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data.toHex(' '), c.bytes.toHex(' '));
    EXPECT_EQ(got->fromPort, f.udp.DefaultPort()) << "not sent from the bound endpoint";
    ASSERT_EQ(f.fake.boxes.size(), 1u);
    EXPECT_EQ(f.fake.boxes[0].text, u"设备设置完成！"_s);
    EXPECT_EQ(f.fake.boxes[0].caption, u"信息提示："_s);
    EXPECT_EQ(f.fake.boxes[0].flags, 64);
    EXPECT_FALSE(probe.receive(50).has_value()) << "sent more than once";
}

INSTANTIATE_TEST_SUITE_P(
    Loopback, ParamPageSend,
    ::testing::Values(
        SendCase{"plainDefaults",
                 1,
                 {},
                 hex("48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 "
                     "000000000000000000000000")},
        SendCase{"alarmWithNumbers",
                 4,
                 {{"edtID1", u"1"_s}, {"edtID2", u"513"_s}},
                 hex("48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 "
                     "FFFFFF00 C0A801F8 0100 0102")},
        SendCase{"zoneNumber300",
                 6,
                 {{"edtGroupIP", u"300"_s}, {"edtAddress", u"-1"_s}},
                 hex("48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 FF00 FFFFFFFF 2C010000 "
                     "000000000000000000000000")},
        SendCase{"blanksAroundAddressAndLeadingBlankPort",
                 1,
                 {{"edtNetIP", u" 192.168.1.1 "_s}, {"edtOrder", u" 70000"_s}},
                 hex("48 C0A801C8 C0A801F8 C0A80101 1170 1D56 1D60 C800 FFFFFFFF E0000130 "
                     "000000000000000000000000")}),
    CaseName());

class ParamPageSendFault : public ::testing::TestWithParam<const char*>
{};

TEST_P(ParamPageSendFault, APortThatIsNoIntegerReportsTheErrorAndSendsNothing)
{
    Fixture f;
    UdpProbe probe;
    f.sendTo(probe);
    f.edit("edtCurrPort")->setText(QString::fromUtf8(GetParam()));
    f.choose(1);
    f.page.SpeedButton1Click();
    ASSERT_EQ(f.fake.boxes.size(), 1u);
    EXPECT_EQ(f.fake.boxes[0].text, u"设备设置错误！"_s);
    EXPECT_EQ(f.fake.boxes[0].caption, u"信息提示："_s);
    EXPECT_EQ(f.fake.boxes[0].flags, 64);
    EXPECT_FALSE(probe.receive(100).has_value());
}

INSTANTIATE_TEST_SUITE_P(Ports, ParamPageSendFault, ::testing::Values("abc", "", "7500 ", "-"));

} // namespace
