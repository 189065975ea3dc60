// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "config/pages/update_button.h"
#include "skin/skin_button.h"
#include "skin/skin_paint.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{

using testsupport::PrintTo;

// Records which state image every paint asked for: N normal, H hot, P pressed, D disabled.
class RecordingButton : public TSkinButton
{
public:
    using TSkinButton::TSkinButton;
    std::string frames;
    bool failLoad = false;

protected:
    void GetNormalFrame(QImage& f) override
    {
        record('N');
        TSkinButton::GetNormalFrame(f);
    }
    void GetHotFrame(QImage& f) override
    {
        record('H');
        TSkinButton::GetHotFrame(f);
    }
    void GetPressedFrame(QImage& f) override
    {
        record('P');
        TSkinButton::GetPressedFrame(f);
    }
    void GetDisabledFrame(QImage& f) override
    {
        record('D');
        TSkinButton::GetDisabledFrame(f);
    }

private:
    void record(char state)
    {
        frames += state;
        if (failLoad)
            throw Exception(QStringLiteral("Resource not found"));
    }
};

class SkinButtonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 320);
        edit = new QLineEdit(window.get());
        edit->setGeometry(200, 200, 100, 24);
        button = new RecordingButton(window.get());
        button->setGeometry(20, 20, 101, 35);
        button->SetCaption(QStringLiteral("立即更新"));
        button->SetUIStyle(TSkinUIStyle::WinXP);
        button->OnClick = [this](QObject* sender) {
            EXPECT_EQ(sender, button);
            ++clicks;
            pressedAtClick = button->Pressed();
            lastFrameAtClick = button->frames.empty() ? '-' : button->frames.back();
        };
        button->OnMouseContinuouslyDown = [this](QObject*) { ++ticks; };
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        button->frames.clear();
    }

    void TearDown() override
    {
        window.reset();
        expectNoTopLevelWidgetsLeft();
        EXPECT_TRUE(dialogs.boxes.empty())
            << "unexpected box: " << dialogs.boxes.front().text.toStdString();
    }

    QPoint inside() const { return {50, 17}; }
    QPoint outside() const { return {150, 17}; }

    void press(QPoint at) { QTest::mousePress(button, Qt::LeftButton, {}, at); }
    void release(QPoint at) { QTest::mouseRelease(button, Qt::LeftButton, {}, at); }
    void moveHeld(QPoint at)
    {
        QMouseEvent e(QEvent::MouseMove, at, button->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(button, &e);
    }
    void enter()
    {
        QEnterEvent e(inside(), button->mapTo(window.get(), inside()),
                      button->mapToGlobal(inside()));
        QApplication::sendEvent(button, &e);
    }
    void leave()
    {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(button, &e);
    }
    void key(QEvent::Type type, int k, bool autoRepeat = false,
             Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent e(type, k, mods, QString(), autoRepeat);
        QApplication::sendEvent(button, &e);
    }
    void tick()
    {
        ASSERT_NE(button->RepeatTimer(), nullptr);
        QTimerEvent e(button->RepeatTimer()->timerId());
        QApplication::sendEvent(button->RepeatTimer(), &e);
    }
    QImage shot() { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    FakeDialogs dialogs;
    std::unique_ptr<QWidget> window;
    QLineEdit* edit = nullptr;
    RecordingButton* button = nullptr;
    int clicks = 0;
    int ticks = 0;
    bool pressedAtClick = true;
    char lastFrameAtClick = '?';
};

TEST(SkinButtonDefaults, NewButton)
{
    FakeDialogs dialogs;
    TSkinButton b;
    EXPECT_EQ(b.size(), QSize(80, 27));
    EXPECT_TRUE(b.Caption().isEmpty());
    EXPECT_FALSE(b.AutoSize());
    EXPECT_FALSE(b.Cancel());
    EXPECT_FALSE(b.Default());
    EXPECT_EQ(b.UIStyle(), TSkinUIStyle::DeepBlue);
    EXPECT_FALSE(b.Transparent());
    EXPECT_FALSE(b.FrameMasked());
    EXPECT_EQ(b.ModalResult(), 0);
    EXPECT_EQ(b.FileTheme(), nullptr);
    EXPECT_EQ(b.MouseContinuouslyDownInterval(), 100);
    EXPECT_EQ(b.FocusedRectMargin(), 2);
    EXPECT_EQ(b.Spacing(), 4);
    EXPECT_EQ(b.Layout(), TButtonLayout::blGlyphLeft);
    EXPECT_TRUE(b.Glyph().isNull());
    EXPECT_TRUE(b.TabStop());
    EXPECT_EQ(b.ResHandle(), 0u);
    EXPECT_EQ(b.RepeatTimer(), nullptr);
    EXPECT_FALSE(b.MouseOver());
    EXPECT_FALSE(b.Pressed());
    EXPECT_TRUE(b.windowTitle().isEmpty());
}

TEST(SkinButtonDefaults, ResHandleAlwaysReadsZero)
{
    TSkinButton b;
    for (uint v : {1u, 0xFFFFFFFFu, 42u}) {
        b.SetResHandle(v);
        EXPECT_EQ(b.ResHandle(), 0u);
        EXPECT_TRUE(b.setProperty("ResHandle", v));
        EXPECT_EQ(b.property("ResHandle").toUInt(), 0u);
    }
}

struct StyleCase {
    TSkinUIStyle style;
    bool transparent;
    QSize autoSize;
};

class UIStyleWrite : public ::testing::TestWithParam<StyleCase>
{};

TEST_P(UIStyleWrite, ResetsTransparentAndFrameMasked)
{
    TSkinButton b;
    b.SetTransparent(!GetParam().transparent);
    b.SetUIStyle(GetParam().style);
    EXPECT_EQ(b.Transparent(), GetParam().transparent);
    EXPECT_EQ(b.FrameMasked(), GetParam().transparent);
    // A later write wins until the style is written again.
    b.SetTransparent(!GetParam().transparent);
    EXPECT_EQ(b.FrameMasked(), !GetParam().transparent);
    b.SetUIStyle(GetParam().style);
    EXPECT_EQ(b.Transparent(), GetParam().transparent);
}

TEST_P(UIStyleWrite, AutoSizeToOneFrame)
{
    TSkinButton b;
    b.SetUIStyle(GetParam().style);
    b.SetAutoSize(true);
    EXPECT_EQ(b.size(), GetParam().autoSize);
}

TEST_P(UIStyleWrite, FileThemeWriteReappliesTheStyle)
{
    static char placeholder;
    TSkinButton b;
    b.SetUIStyle(GetParam().style);
    b.SetTransparent(!GetParam().transparent);
    b.SetFileTheme(reinterpret_cast<SkinThemeFile*>(&placeholder));
    EXPECT_EQ(b.UIStyle(), GetParam().style);
    EXPECT_EQ(b.Transparent(), GetParam().transparent);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, UIStyleWrite,
    ::testing::Values(StyleCase{TSkinUIStyle::MacOS, true, {84, 23}},
                      StyleCase{TSkinUIStyle::WinXP, false, {18, 21}},
                      StyleCase{TSkinUIStyle::DeepBlue, false, {74, 21}},
                      StyleCase{TSkinUIStyle::Protein, false, {74, 21}},
                      StyleCase{TSkinUIStyle::BlueGlass, true, {77, 27}},
                      // no strip without resolving: 74 x 21 stands in, a third of it wide
                      StyleCase{TSkinUIStyle::FromThemeFile, false, {24, 21}}));

TEST(SkinButtonAutoSize, OffLeavesTheSize)
{
    TSkinButton b;
    b.SetUIStyle(TSkinUIStyle::WinXP);
    b.SetAutoSize(false);
    EXPECT_EQ(b.size(), QSize(80, 27));
}

TEST(ConfigureUpdateButton, ProgramInstance)
{
    FakeDialogs dialogs;
    QWidget box;
    auto* before = new QLineEdit(&box);
    auto* after = new QLineEdit(&box);
    auto* b = new TSkinButton(&box);
    configureUpdateButton(*b, before);
    EXPECT_EQ(b->objectName(), QStringLiteral("sbUpdateIP"));
    EXPECT_EQ(b->geometry(), QRect(156, 228, 101, 35));
    EXPECT_EQ(b->Caption(), QStringLiteral("立即更新"));
    EXPECT_EQ(b->accessibleName(), QStringLiteral("立即更新"));
    EXPECT_FALSE(b->AutoSize());
    EXPECT_EQ(b->UIStyle(), TSkinUIStyle::WinXP);
    EXPECT_TRUE(b->Transparent()); // the stored True after the style's False
    EXPECT_TRUE(b->FrameMasked());
    EXPECT_EQ(b->ModalResult(), 0);
    EXPECT_EQ(b->FocusedRectMargin(), 2);
    EXPECT_EQ(b->Glyph().size(), QSize(16, 16));
    EXPECT_EQ(b->Glyph().depth(), 24);
    EXPECT_EQ(b->Glyph().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(b->Layout(), TButtonLayout::blGlyphLeft);
    EXPECT_EQ(b->Spacing(), 4);
    EXPECT_EQ(b->MouseContinuouslyDownInterval(), 100);
    EXPECT_FALSE(b->Default());
    EXPECT_FALSE(b->Cancel());
    EXPECT_EQ(before->nextInFocusChain(), b);
    Q_UNUSED(after);
}

// Writes that repaint before they return, and writes that only store.
struct WriteCase {
    const char* name;
    std::function<void(TSkinButton&)> write;
    bool repaints;
};

class PropertyWrite : public SkinButtonTest, public ::testing::WithParamInterface<WriteCase>
{};

TEST_P(PropertyWrite, RepaintsImmediatelyOrStoresOnly)
{
    GetParam().write(*button);
    EXPECT_EQ(!button->frames.empty(), GetParam().repaints) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Writes, PropertyWrite,
    ::testing::Values(
        WriteCase{"Caption", [](TSkinButton& b) { b.SetCaption(QStringLiteral("x")); }, true},
        WriteCase{"AutoSize", [](TSkinButton& b) { b.SetAutoSize(false); }, true},
        WriteCase{"UIStyle", [](TSkinButton& b) { b.SetUIStyle(TSkinUIStyle::Protein); }, true},
        WriteCase{"Transparent", [](TSkinButton& b) { b.SetTransparent(true); }, true},
        WriteCase{"Enabled", [](TSkinButton& b) { b.setEnabled(false); }, true},
        WriteCase{"Font", [](TSkinButton& b) { b.setFont(QFont(QStringLiteral("Sans"), 20)); },
                  true},
        WriteCase{"FocusedRectMargin", [](TSkinButton& b) { b.SetFocusedRectMargin(3); }, true},
        WriteCase{"Glyph", [](TSkinButton& b) { b.SetGlyph(updateButtonGlyph()); }, true},
        WriteCase{"Layout", [](TSkinButton& b) { b.SetLayout(TButtonLayout::blGlyphTop); }, true},
        WriteCase{"Spacing", [](TSkinButton& b) { b.SetSpacing(8); }, true},
        WriteCase{"ModalResult", [](TSkinButton& b) { b.SetModalResult(2); }, false},
        WriteCase{"Cancel", [](TSkinButton& b) { b.SetCancel(true); }, false},
        WriteCase{"Default", [](TSkinButton& b) { b.SetDefault(true); }, false},
        WriteCase{"MouseContinuouslyDownInterval",
                  [](TSkinButton& b) { b.SetMouseContinuouslyDownInterval(5); }, false},
        WriteCase{"ResHandle", [](TSkinButton& b) { b.SetResHandle(7); }, false}),
    CaseName());

TEST_F(SkinButtonTest, AccessibleAsAPushButtonNamedByItsCaption)
{
    button->SetCaption(QStringLiteral("&Go"));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Go"));
    ASSERT_NE(a->actionInterface(), nullptr);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
    button->setEnabled(false);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
}

TEST_F(SkinButtonTest, WindowTextBecomesTheCaption)
{
    button->setWindowTitle(QStringLiteral("abc"));
    EXPECT_EQ(button->Caption(), QStringLiteral("abc"));
}

TEST_F(SkinButtonTest, MouseClickInOrder)
{
    button->SetModalResult(7);
    QSignalSpy spy(button, &TSkinCustomButton::clicked);
    enter();
    EXPECT_TRUE(button->MouseOver());
    EXPECT_EQ(button->frames.back(), 'H');
    press(inside());
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(button->frames.back(), 'P');
    ASSERT_NE(button->RepeatTimer(), nullptr);
    EXPECT_FALSE(button->hasFocus()); // the focus comes with the click, not the press
    release(inside());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(spy.count(), 1);
    // Released and repainted before OnClick ran.
    EXPECT_FALSE(pressedAtClick);
    EXPECT_EQ(lastFrameAtClick, 'H');
    EXPECT_EQ(button->RepeatTimer(), nullptr);
    EXPECT_TRUE(button->hasFocus());
    EXPECT_EQ(window->property(TSkinCustomButton::ModalResultProperty).toInt(), 7);
    leave();
    EXPECT_FALSE(button->MouseOver());
    EXPECT_EQ(button->frames.back(), 'N');
}

TEST_F(SkinButtonTest, ModalResultZeroIsAlsoWritten)
{
    window->setProperty(TSkinCustomButton::ModalResultProperty, 5);
    press(inside());
    release(inside());
    EXPECT_EQ(window->property(TSkinCustomButton::ModalResultProperty).toInt(), 0);
}

TEST_F(SkinButtonTest, DragOffAndReleaseOutsideDoesNotClick)
{
    enter();
    press(inside());
    moveHeld(outside());
    EXPECT_FALSE(button->Pressed());
    EXPECT_FALSE(button->MouseOver());
    EXPECT_EQ(button->frames.back(), 'N'); // normal image at the first move outside
    EXPECT_EQ(button->RepeatTimer(), nullptr);
    release(outside());
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(ticks, 0);
}

TEST_F(SkinButtonTest, BackOverTheButtonShowsHotAndReleaseClicks)
{
    enter();
    press(inside());
    moveHeld(outside());
    moveHeld(inside());
    EXPECT_TRUE(button->MouseOver());
    EXPECT_FALSE(button->Pressed());
    EXPECT_EQ(button->frames.back(), 'H');
    release(inside());
    EXPECT_EQ(clicks, 1);
}

struct EdgeCase {
    QPoint at;
    bool releaseClicks;
    bool moveReleases;
};

class MouseEdges : public SkinButtonTest, public ::testing::WithParamInterface<EdgeCase>
{};

// A move counts as outside only beyond W or H; a release clicks only strictly inside.
TEST_P(MouseEdges, MoveAndReleaseBoundaries)
{
    enter();
    press(inside());
    moveHeld(GetParam().at);
    EXPECT_EQ(!button->Pressed(), GetParam().moveReleases);
    release(GetParam().at);
    EXPECT_EQ(clicks, GetParam().releaseClicks ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, MouseEdges,
    ::testing::Values(EdgeCase{{0, 0}, true, false}, EdgeCase{{100, 34}, true, false},
                      EdgeCase{{101, 17}, false, true}, EdgeCase{{50, 35}, false, true},
                      EdgeCase{{102, 17}, false, true}, EdgeCase{{-1, 17}, false, true},
                      EdgeCase{{50, -1}, false, true}));

TEST_F(SkinButtonTest, DoubleClickClicksTwice)
{
    // What the platform delivers for a double click: the second press is reported as a
    // double click after the press.
    press(inside());
    release(inside());
    press(inside());
    QMouseEvent dbl(QEvent::MouseButtonDblClick, inside(), button->mapToGlobal(inside()),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &dbl);
    EXPECT_TRUE(button->Pressed());
    release(inside());
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(button->Pressed());
}

TEST_F(SkinButtonTest, OtherMouseButtonsDoNothing)
{
    QTest::mousePress(button, Qt::RightButton, {}, inside());
    EXPECT_FALSE(button->Pressed());
    EXPECT_EQ(button->RepeatTimer(), nullptr);
    QTest::mouseRelease(button, Qt::RightButton, {}, inside());
    EXPECT_EQ(clicks, 0);
}

TEST_F(SkinButtonTest, RepeatTicksWhileHeldNeverClick)
{
    button->SetMouseContinuouslyDownInterval(100);
    QSignalSpy spy(button, &TSkinCustomButton::mouseContinuouslyDown);
    press(inside());
    QTimer* timer = button->RepeatTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());
    tick();
    tick();
    tick();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(clicks, 0);
    // A further press neither restarts nor duplicates the timer.
    press(inside());
    EXPECT_EQ(button->RepeatTimer(), timer);
    EXPECT_EQ(button->findChildren<QTimer*>().size(), 1);
    release(inside());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(button->RepeatTimer(), nullptr);
}

TEST_F(SkinButtonTest, MouseLeaveWhileHeldDestroysTheTimer)
{
    enter();
    press(inside());
    ASSERT_NE(button->RepeatTimer(), nullptr);
    leave();
    EXPECT_EQ(button->RepeatTimer(), nullptr);
    EXPECT_FALSE(button->Pressed());
    EXPECT_EQ(button->frames.back(), 'N');
}

struct IntervalCase {
    int interval;
    int period;
    bool active;
};

class RepeatInterval : public SkinButtonTest, public ::testing::WithParamInterface<IntervalCase>
{};

TEST_P(RepeatInterval, ReadWhenTheTimerIsCreated)
{
    button->SetMouseContinuouslyDownInterval(GetParam().interval);
    press(inside());
    ASSERT_NE(button->RepeatTimer(), nullptr);
    EXPECT_EQ(button->RepeatTimer()->interval(), GetParam().period);
    EXPECT_EQ(button->RepeatTimer()->isActive(), GetParam().active);
    // A later write does not touch the running timer.
    button->SetMouseContinuouslyDownInterval(GetParam().interval + 50);
    EXPECT_EQ(button->RepeatTimer()->interval(), GetParam().period);
}

INSTANTIATE_TEST_SUITE_P(Periods, RepeatInterval,
                         ::testing::Values(IntervalCase{100, 100, true}, IntervalCase{1, 1, true},
                                           IntervalCase{0, 0, false}, IntervalCase{-20, 0, false}));

TEST_F(SkinButtonTest, ZeroPeriodNeverTicks)
{
    button->SetMouseContinuouslyDownInterval(0);
    press(inside());
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
}

TEST_F(SkinButtonTest, DestroyedButtonReceivesNoTick)
{
    button->SetMouseContinuouslyDownInterval(1);
    int lateTicks = 0;
    button->OnMouseContinuouslyDown = [&](QObject*) { ++lateTicks; };
    press(inside());
    ASSERT_NE(button->RepeatTimer(), nullptr);
    delete button;
    button = nullptr;
    QTest::qWait(30);
    EXPECT_EQ(lateTicks, 0);
}

struct KeyCase {
    int key;
};

class PressKeys : public SkinButtonTest, public ::testing::WithParamInterface<KeyCase>
{};

TEST_P(PressKeys, HeldShowsPressedReleaseClicksOnce)
{
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    button->frames.clear();
    key(QEvent::KeyPress, GetParam().key);
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(button->frames.back(), 'P');
    // Auto-repeat: release/press pairs while the key stays down.
    for (int i = 0; i < 3; ++i) {
        key(QEvent::KeyRelease, GetParam().key, true);
        key(QEvent::KeyPress, GetParam().key, true);
    }
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(clicks, 0);
    key(QEvent::KeyRelease, GetParam().key);
    EXPECT_FALSE(button->Pressed());
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(pressedAtClick);
}

TEST_P(PressKeys, KeyUpWithoutPressDoesNothing)
{
    button->setFocus();
    key(QEvent::KeyRelease, GetParam().key);
    EXPECT_EQ(clicks, 0);
}

TEST_P(PressKeys, IgnoredWithoutFocus)
{
    edit->setFocus();
    key(QEvent::KeyPress, GetParam().key);
    EXPECT_FALSE(button->Pressed());
    key(QEvent::KeyRelease, GetParam().key);
    EXPECT_EQ(clicks, 0);
}

INSTANTIATE_TEST_SUITE_P(SpaceAndEnter, PressKeys,
                         ::testing::Values(KeyCase{Qt::Key_Space}, KeyCase{Qt::Key_Return},
                                           KeyCase{Qt::Key_Enter}));

TEST_F(SkinButtonTest, OtherKeysPassOn)
{
    button->setFocus();
    QKeyEvent e(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(button, &e);
    EXPECT_FALSE(e.isAccepted());
    EXPECT_FALSE(button->Pressed());
}

struct DisabledCase {
    const char* name;
    std::function<void(SkinButtonTest&)> before;
};

class DisabledLook : public SkinButtonTest, public ::testing::WithParamInterface<DisabledCase>
{
public:
    void enterMouse() { enter(); }
    void holdSpace()
    {
        button->setFocus();
        key(QEvent::KeyPress, Qt::Key_Space);
    }
    void holdMouse() { press(inside()); }
};

TEST_P(DisabledLook, FrameOneWhateverTheState)
{
    GetParam().before(*this);
    button->setEnabled(false);
    EXPECT_EQ(button->frames.back(), 'D');
    button->frames.clear();
    button->repaint();
    EXPECT_EQ(button->frames, "D");
}

INSTANTIATE_TEST_SUITE_P(
    States, DisabledLook,
    ::testing::Values(DisabledCase{"idle", [](SkinButtonTest&) {}},
                      DisabledCase{"mouseOver",
                                   [](SkinButtonTest& fixture) {
                                       static_cast<DisabledLook&>(fixture).enterMouse();
                                   }},
                      DisabledCase{"keyHeld",
                                   [](SkinButtonTest& fixture) {
                                       static_cast<DisabledLook&>(fixture).holdSpace();
                                   }},
                      DisabledCase{"mouseHeld",
                                   [](SkinButtonTest& fixture) {
                                       static_cast<DisabledLook&>(fixture).holdMouse();
                                   }}),
    CaseName());

TEST_F(SkinButtonTest, PressWithoutEnterCountsAsOverTheButton)
{
    // The enter notification may come late; a press proves the mouse is over the button.
    press(inside());
    EXPECT_TRUE(button->MouseOver());
    moveHeld(outside());
    EXPECT_EQ(button->RepeatTimer(), nullptr);
    release(outside());
    EXPECT_EQ(clicks, 0);
}

TEST_F(SkinButtonTest, DisabledContainerKeepsTheEnabledLook)
{
    // Only the button's own Enabled decides the look; a disabled parent blocks input only.
    auto* group = new QWidget(window.get());
    group->setGeometry(0, 100, 200, 100);
    auto* b = new RecordingButton(group);
    b->setGeometry(0, 0, 101, 35);
    group->show();
    group->setEnabled(false);
    b->frames.clear();
    b->repaint();
    EXPECT_EQ(b->frames, "N");
}

// Dialog keys typed while another control has the focus.
struct DialogKeyCase {
    const char* name;
    bool isDefault, isCancel;
    int key;
    Qt::KeyboardModifiers mods;
    int clicks;
};

class DialogKeys : public SkinButtonTest, public ::testing::WithParamInterface<DialogKeyCase>
{};

TEST_P(DialogKeys, DefaultAndCancel)
{
    button->SetDefault(GetParam().isDefault);
    button->SetCancel(GetParam().isCancel);
    edit->setFocus();
    QTest::keyClick(edit, static_cast<Qt::Key>(GetParam().key), GetParam().mods);
    EXPECT_EQ(clicks, GetParam().clicks);
    if (GetParam().clicks) {
        EXPECT_TRUE(button->hasFocus()); // the click takes the focus
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DialogKeys,
    ::testing::Values(
        DialogKeyCase{"DefaultEnter", true, false, Qt::Key_Return, Qt::NoModifier, 1},
        DialogKeyCase{"DefaultShiftEnter", true, false, Qt::Key_Return, Qt::ShiftModifier, 0},
        DialogKeyCase{"DefaultCtrlEnter", true, false, Qt::Key_Return, Qt::ControlModifier, 0},
        DialogKeyCase{"DefaultEscape", true, false, Qt::Key_Escape, Qt::NoModifier, 0},
        DialogKeyCase{"CancelEscape", false, true, Qt::Key_Escape, Qt::NoModifier, 1},
        DialogKeyCase{"CancelAltEscape", false, true, Qt::Key_Escape, Qt::AltModifier, 0},
        DialogKeyCase{"CancelEnter", false, true, Qt::Key_Return, Qt::NoModifier, 0},
        DialogKeyCase{"NeitherEnter", false, false, Qt::Key_Return, Qt::NoModifier, 0},
        DialogKeyCase{"NeitherEscape", false, false, Qt::Key_Escape, Qt::NoModifier, 0}),
    CaseName());

TEST_F(SkinButtonTest, DefaultButtonDisabledIsNotClicked)
{
    button->SetDefault(true);
    button->setEnabled(false);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(clicks, 0);
}

TEST_F(SkinButtonTest, AcceleratorOfTheCaptionClicks)
{
    button->SetCaption(QStringLiteral("&Go"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    button->setEnabled(false);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
}

TEST_F(SkinButtonTest, FailureInOnClickReachesTheErrorBoxAndLeavesTheButtonReleased)
{
    button->OnClick = [](QObject*) { throw Exception(QStringLiteral("boom")); };
    press(inside());
    release(inside());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("boom."));
    EXPECT_FALSE(button->Pressed());
    dialogs.boxes.clear();
}

// Painting, checked on the pixels of a grab.
class SkinButtonPaint : public SkinButtonTest
{
protected:
    void SetUp() override
    {
        SkinButtonTest::SetUp();
        configureUpdateButton(*button);
        button->setGeometry(20, 20, 101, 35);
        button->frames.clear();
    }

    // Where the program's layout puts the glyph for this font.
    QPoint glyphAt() const
    {
        const QSize text = QFontMetrics(button->font())
                               .size(Qt::TextSingleLine | Qt::TextShowMnemonic, button->Caption());
        return placeGlyph(button->size(), text, {16, 16}, 4, TButtonLayout::blGlyphLeft).glyph;
    }
};

TEST_F(SkinButtonPaint, GlyphMovesOnePixelWhenPressed)
{
    const QImage glyph = button->Glyph();
    const QPoint g = glyphAt();
    QImage up = shot();
    const QPoint captionUp = button->CaptionPos();
    press(inside());
    QImage down = shot();
    EXPECT_EQ(button->CaptionPos(), captionUp + QPoint(1, 1));
    int blue = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (glyph.pixel(x, y) != qRgb(0, 0, 255))
                continue;
            ++blue;
            ASSERT_EQ(up.pixel(g.x() + x, g.y() + y), qRgb(0, 0, 255)) << x << "," << y;
            ASSERT_EQ(down.pixel(g.x() + x + 1, g.y() + y + 1), qRgb(0, 0, 255)) << x << "," << y;
        }
    EXPECT_GT(blue, 0);
}

TEST_F(SkinButtonPaint, DisabledGlyphIsTwoSilhouettes)
{
    button->setEnabled(false);
    const QImage img = shot();
    const QImage glyph = button->Glyph();
    const QPoint g = glyphAt();
    const QRgb shadow = button->palette().color(QPalette::Dark).rgb();
    const QRgb highlight = button->palette().color(QPalette::Light).rgb();
    auto isBlue = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < 16 && y < 16 && glyph.pixel(x, y) == qRgb(0, 0, 255);
    };
    int highlights = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (isBlue(x, y)) {
                ASSERT_EQ(img.pixel(g.x() + x, g.y() + y), shadow) << x << "," << y;
            } else if (isBlue(x - 1, y - 1)) {
                ASSERT_EQ(img.pixel(g.x() + x, g.y() + y), highlight) << x << "," << y;
                ++highlights;
            }
        }
    EXPECT_GT(highlights, 0);
}

TEST_F(SkinButtonPaint, DisabledCaptionIsGreyOverWhiteOnePixelDownRight)
{
    QFont f = button->font();
    f.setStyleStrategy(QFont::NoAntialias); // text pixels are then exactly the pen colour
    button->setFont(f);
    button->setEnabled(false);
    const QImage img = shot();
    const QPoint c = button->CaptionPos();
    const QRgb white = qRgb(255, 255, 255), grey = qRgb(128, 128, 128);
    int whites = 0, greys = 0;
    for (int y = c.y(); y < img.height(); ++y)
        for (int x = c.x(); x < img.width(); ++x) {
            if (img.pixel(x, y) == grey)
                ++greys;
            if (img.pixel(x, y) != white)
                continue;
            ++whites;
            // White shows only where the grey copy, one pixel up and left, leaves it.
            ASSERT_EQ(img.pixel(x - 1, y - 1), grey) << x << "," << y;
        }
    EXPECT_GT(whites, 0);
    EXPECT_GT(greys, 0);
}

// A glyph twice as wide as high holds the enabled image and then the disabled one; each is
// drawn as it is, one glyph wide, where a single 16 x 16 glyph would stand.
struct TwoImageCase {
    const char* name;
    bool enabled;
    QRgb inside; // colour of the image's square
};

class TwoImageGlyph : public SkinButtonPaint, public ::testing::WithParamInterface<TwoImageCase>
{};

TEST_P(TwoImageGlyph, DrawsTheImageForTheState)
{
    QImage glyph(32, 16, QImage::Format_RGB888);
    glyph.fill(qRgb(255, 255, 255));
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x) {
            glyph.setPixel(x, y, qRgb(0, 0, 255));
            glyph.setPixel(16 + x, y, qRgb(255, 0, 0));
        }
    button->SetGlyph(glyph);
    button->setEnabled(GetParam().enabled);
    const QImage img = shot();
    const QPoint g = glyphAt();
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x)
            ASSERT_EQ(img.pixel(g.x() + x, g.y() + y), GetParam().inside) << x << "," << y;
    // No silhouette beside it, and nothing of the other image.
    const QRgb face = img.pixel(g.x() + 2, g.y() + 2);
    EXPECT_EQ(img.pixel(g.x() + 12, g.y() + 12), face);
    EXPECT_NE(face, qRgb(0, 0, 255));
    EXPECT_NE(face, qRgb(255, 0, 0));
    EXPECT_NE(img.pixel(g.x() + 20, g.y() + 8), qRgb(255, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(States, TwoImageGlyph,
                         ::testing::Values(TwoImageCase{"Enabled", true, qRgb(0, 0, 255)},
                                           TwoImageCase{"Disabled", false, qRgb(255, 0, 0)}),
                         CaseName());

TEST_F(SkinButtonPaint, FocusRectangleInvertsTheFace)
{
    const QImage unfocused = shot();
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    const QImage focused = shot();
    const QRect r = focusRectangle(button->size(), 2);
    EXPECT_EQ(r, QRect(QPoint(2, 2), QPoint(98, 32)));
    for (QPoint p : {r.topLeft(), r.bottomRight(), QPoint(50, 2), QPoint(2, 16)}) {
        EXPECT_EQ(focused.pixel(p), unfocused.pixel(p) ^ 0x00FFFFFFu) << p.x() << "," << p.y();
    }
    for (QPoint p : {QPoint(3, 2), QPoint(1, 1), QPoint(99, 33), QPoint(3, 3)}) {
        EXPECT_EQ(focused.pixel(p), unfocused.pixel(p)) << p.x() << "," << p.y();
    }
}

TEST_F(SkinButtonPaint, BoldCaptionInsteadOfFocusRectangleForMacOS)
{
    button->SetUIStyle(TSkinUIStyle::MacOS);
    button->SetGlyph(QImage()); // plain caption: the bold shows there only
    const QImage unfocused = shot();
    button->setFocus();
    const QImage focused = shot();
    EXPECT_EQ(focused.pixel(2, 17), unfocused.pixel(2, 17)); // no dotted outline
    EXPECT_NE(focused, unfocused);                           // but the caption changed
    EXPECT_FALSE(button->BoldCaption());                     // one paint only
}

TEST_F(SkinButtonPaint, LoadFailureDrawsABlankFrameAndStillTheCaption)
{
    button->SetGlyph(QImage());
    button->failLoad = true;
    const QImage img = shot();
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(100, 34), qRgb(255, 255, 255));
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            dark += qGray(img.pixel(x, y)) < 128;
    EXPECT_GT(dark, 10);
    EXPECT_TRUE(dialogs.boxes.empty());
}

struct CaptionCase {
    const char* name;
    const char* caption;
    const char* same; // draws exactly like this one
    bool identical;
};

class CaptionBlanks : public SkinButtonPaint, public ::testing::WithParamInterface<CaptionCase>
{};

TEST_P(CaptionBlanks, TrimmedForTheTestDrawnUntrimmed)
{
    button->SetGlyph(QImage());
    button->SetCaption(QString::fromUtf8(GetParam().caption));
    const QImage a = shot();
    button->SetCaption(QString::fromUtf8(GetParam().same));
    const QImage b = shot();
    EXPECT_EQ(a == b, GetParam().identical);
}

INSTANTIATE_TEST_SUITE_P(Captions, CaptionBlanks,
                         ::testing::Values(CaptionCase{"BlanksOnly", "   ", "", true},
                                           CaptionCase{"TabsAndBlanks", " \t ", "", true},
                                           CaptionCase{"LeadingBlanksKept", "   X", "X", false},
                                           CaptionCase{"Plain", "X", "", false}),
                         CaseName());

// A container that paints two colours, to see what shows through the keyed corners.
class TwoTone : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(0, 0, 100, height(), QColor(0, 200, 0));
        p.fillRect(100, 0, width() - 100, height(), QColor(0, 0, 200));
    }
};

struct TransparencyCase {
    const char* name;
    bool transparent;
    QRgb topLeft, topRight;
};

class Transparency : public ::testing::TestWithParam<TransparencyCase>
{};

TEST_P(Transparency, ContainerShowsThroughTheKeyedCorners)
{
    FakeDialogs dialogs;
    TwoTone parent;
    parent.resize(200, 80);
    auto* b = new TSkinButton(&parent);
    b->SetUIStyle(TSkinUIStyle::MacOS);
    b->SetTransparent(GetParam().transparent);
    b->setGeometry(90, 10, 84, 23); // left corner over green, right corner over blue
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    const QImage img = b->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(0, 0), GetParam().topLeft);
    EXPECT_EQ(img.pixel(83, 0), GetParam().topRight);
    // The middle of the face is the skin either way.
    EXPECT_NE(img.pixel(42, 11), qRgb(0, 200, 0));
    EXPECT_NE(img.pixel(42, 11), qRgb(0, 0, 200));
}

INSTANTIATE_TEST_SUITE_P(
    MacOS, Transparency,
    ::testing::Values(TransparencyCase{"Transparent", true, qRgb(0, 200, 0), qRgb(0, 0, 200)},
                      // corner pieces then draw the key colour itself
                      TransparencyCase{"Opaque", false, qRgb(255, 0, 255), qRgb(255, 0, 255)}),
    CaseName());

TEST(TransparencyOnTabSheet, DrawsTheTabWidgetFromTheSheetsCorner)
{
    FakeDialogs dialogs;
    QTabWidget tabs;
    tabs.resize(300, 200);
    auto* sheet = new QWidget;
    tabs.addTab(sheet, QStringLiteral("页"));
    auto* b = new TSkinButton(sheet);
    b->SetUIStyle(TSkinUIStyle::MacOS); // keyed corners, transparent by default
    b->setGeometry(100, 80, 84, 23);
    tabs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tabs));
    const QImage img = b->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage whole = tabs.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The corner shows what lies at the sheet's own corner, not under the button.
    const QPoint corner = sheet->mapTo(&tabs, QPoint(0, 0));
    EXPECT_EQ(img.pixel(0, 0), whole.pixel(corner));
    EXPECT_NE(img.pixel(0, 0), qRgb(255, 0, 255));
}

} // namespace

namespace
{

// The same sequence through QTest's mouse path instead of hand-made events.
TEST_F(SkinButtonTest, QTestMouseDragOffAndBack)
{
    QTest::mouseMove(button, inside());
    EXPECT_TRUE(button->MouseOver());
    QTest::mousePress(button, Qt::LeftButton, {}, inside());
    EXPECT_TRUE(button->Pressed());
    QTest::mouseMove(button, outside());
    EXPECT_FALSE(button->Pressed());
    EXPECT_FALSE(button->MouseOver());
    QTest::mouseMove(button, inside());
    EXPECT_TRUE(button->MouseOver());
    EXPECT_EQ(button->frames.back(), 'H');
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside());
    EXPECT_EQ(clicks, 1);
}

} // namespace
