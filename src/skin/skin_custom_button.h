// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "skin/skin_ui_style.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QShortcut;
class QTimer;

// A custom-painted, focusable push button drawn from a three-frame skin strip. Everything
// except the glyph; TSkinButton adds that and the stretched face.
class TSkinCustomButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)
    Q_PROPERTY(bool Cancel READ Cancel WRITE SetCancel)
    Q_PROPERTY(bool Default READ Default WRITE SetDefault)
    Q_PROPERTY(int FocusedRectMargin READ FocusedRectMargin WRITE SetFocusedRectMargin)
    Q_PROPERTY(int MouseContinuouslyDownInterval READ MouseContinuouslyDownInterval WRITE
                   SetMouseContinuouslyDownInterval)
    Q_PROPERTY(uint ResHandle READ ResHandle WRITE SetResHandle)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TSkinCustomButton(QWidget* parent = nullptr);
    ~TSkinCustomButton() override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString& value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    TSkinUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TSkinUIStyle value);
    SkinThemeFile* FileTheme() const { return fileTheme_; }
    void SetFileTheme(SkinThemeFile* value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool FrameMasked() const { return frameMasked_; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value) { modalResult_ = value; }
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value);
    bool Default() const { return default_; }
    void SetDefault(bool value);
    int FocusedRectMargin() const { return focusedRectMargin_; }
    void SetFocusedRectMargin(int value);
    int MouseContinuouslyDownInterval() const { return mouseContinuouslyDownInterval_; }
    void SetMouseContinuouslyDownInterval(int value) { mouseContinuouslyDownInterval_ = value; }
    // Kept for stored forms only: writes are ignored and it always reads 0.
    uint ResHandle() const { return 0; }
    void SetResHandle(uint) {}
    bool TabStop() const;
    void SetTabStop(bool value);

    // The button's own Enabled, which alone decides its look; a disabled container blocks
    // the input but leaves the look.
    bool ownEnabled() const;

    bool MouseOver() const { return mouseOver_; }
    bool Pressed() const { return pressed_; }
    bool BoldCaption() const { return boldCaption_; }
    // The auto-repeat timer while it exists (from a left-button press until the click or
    // the mouse leaving), else null.
    QTimer* RepeatTimer() const { return repeatTimer_; }

    // Releases the button if held, takes the focus, sets the window's modal result and
    // raises OnClick and clicked().
    virtual void Click();

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TNotifyEvent OnMouseContinuouslyDown;

    // Name of the dynamic property on the top-level window that receives ModalResult.
    static const char* const ModalResultProperty;

Q_SIGNALS:
    void clicked();
    void mouseContinuouslyDown();

protected:
    virtual void ApplyAutoSize();
    virtual void CaptionChanged() {}
    virtual void FontChanged();
    virtual void TransparentChanged();
    virtual void EnabledChanged() {}
    virtual void UIStyleChanged() {}
    virtual void PaintFace(QImage& surface, const QImage& frame);
    virtual void PaintCaption(QImage& surface, const QString& text);
    virtual void PaintFocus(QImage& surface);
    virtual void GetNormalFrame(QImage& frame);
    virtual void GetHotFrame(QImage& frame);
    virtual void GetPressedFrame(QImage& frame);
    virtual void GetDisabledFrame(QImage& frame);

    // Loads frame `index` of `count` of the strip at style `position` (count 0: the whole
    // strip) for the button's style and theme.
    void LoadStyleFrame(int position, int count, QImage& target, int index);
    // Renders what lies under `control` in its container into the surface.
    void PaintParentBackground(QImage& surface, QWidget* control);
    // The font, plain or bold, with which captions are drawn.
    QFont captionFont(bool bold) const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

    bool boldCaption_ = false;

private:
    void destroyRepeatTimer();
    void repeatTimerTick();
    void updateShortcuts();
    void dialogKey(bool isDefault);
    bool canFocus() const;
    void leftPress();
    void mouseEntered();
    void mouseLeft();

    QString caption_;
    bool autoSize_ = false;
    bool cancel_ = false;
    bool default_ = false;
    bool transparent_ = false;
    int modalResult_ = 0;
    TSkinUIStyle uiStyle_ = TSkinUIStyle::DeepBlue;
    SkinThemeFile* fileTheme_ = nullptr;
    bool frameMasked_ = false;
    QTimer* repeatTimer_ = nullptr;
    int mouseContinuouslyDownInterval_ = 100;
    int focusedRectMargin_ = 2;
    bool mouseOver_ = false;
    bool pressed_ = false;
    bool clickArmed_ = false;  // the left button went down on the button
    bool mouseInside_ = false; // enter seen, leave not yet
    QPointer<QShortcut> defaultKey_;
    QPointer<QShortcut> defaultKeypad_;
    QPointer<QShortcut> cancelKey_;
    QPointer<QShortcut> accelKey_;
};
