// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/skin_custom_button.h"

#include "common/guard.h"
#include "common/sysutils.h"
#include "skin/skin_paint.h"

#include <QAccessibleWidget>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

const char* const TSkinCustomButton::ModalResultProperty = "ModalResult";

namespace
{

// The style a new button starts with. Skinned forms, whose style a button would follow,
// do not exist in this program.
TSkinUIStyle defaultUIStyle(QObject* owner)
{
    Q_UNUSED(owner);
    return TSkinUIStyle::DeepBlue;
}

bool isPressKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

QString withoutMnemonics(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == u'&' && i + 1 < caption.size())
            ++i;
        out.append(caption.at(i));
    }
    return out;
}

// What assistive tools see: a push button named by its caption that can be pressed.
class SkinButtonAccessible : public QAccessibleWidget
{
public:
    explicit SkinButtonAccessible(TSkinCustomButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return withoutMnemonics(button()->Caption());
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return button()->isEnabled() ? QStringList{pressAction()} : QStringList{};
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() && button()->isEnabled())
            runGuarded([this] { button()->Click(); });
    }

private:
    TSkinCustomButton* button() const { return static_cast<TSkinCustomButton*>(widget()); }
};

QAccessibleInterface* skinButtonAccessible(const QString&, QObject* object)
{
    if (auto* b = qobject_cast<TSkinCustomButton*>(object))
        return new SkinButtonAccessible(b);
    return nullptr;
}

} // namespace

TSkinCustomButton::TSkinCustomButton(QWidget* parent) : QWidget(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(skinButtonAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    // Painting covers the whole client area from an off-screen image: no background erase.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    SetTabStop(true);
    SetUIStyle(defaultUIStyle(parent));
}

TSkinCustomButton::~TSkinCustomButton()
{
    // The timer is a child and dies with the button; stop it first so no tick is queued
    // into a half-destroyed object.
    if (repeatTimer_)
        repeatTimer_->stop();
}

void TSkinCustomButton::SetCaption(const QString& value)
{
    caption_ = value;
    setAccessibleName(withoutMnemonics(value));
    updateShortcuts();
    CaptionChanged();
    repaint();
}

void TSkinCustomButton::SetAutoSize(bool value)
{
    autoSize_ = value;
    ApplyAutoSize();
    repaint();
}

void TSkinCustomButton::SetUIStyle(TSkinUIStyle value)
{
    uiStyle_ = value;
    UIStyleChanged();
    repaint();
}

void TSkinCustomButton::SetFileTheme(SkinThemeFile* value)
{
    fileTheme_ = value;
    SetUIStyle(uiStyle_);
}

void TSkinCustomButton::SetTransparent(bool value)
{
    transparent_ = value;
    TransparentChanged();
    repaint();
}

void TSkinCustomButton::SetCancel(bool value)
{
    cancel_ = value;
    updateShortcuts();
}

void TSkinCustomButton::SetDefault(bool value)
{
    // Nothing else to tell the window: the dialog key is looked up when it is typed.
    default_ = value;
    updateShortcuts();
}

void TSkinCustomButton::SetFocusedRectMargin(int value)
{
    focusedRectMargin_ = value;
    repaint();
}

bool TSkinCustomButton::TabStop() const
{
    return focusPolicy() != Qt::NoFocus;
}

void TSkinCustomButton::SetTabStop(bool value)
{
    // Tab focus only: a mouse press must not take the focus, the click does.
    setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus);
}

void TSkinCustomButton::ApplyAutoSize()
{
    if (!autoSize_)
        return;
    QImage strip;
    try {
        ::loadStyleFrame(fileTheme_, uiStyle_, StyleEntryButtonStrip, 0, strip, 0, false);
    } catch (...) {
        strip = QImage(); // a missing strip sizes like an empty one
    }
    const int h = strip.height() == 0 ? 21 : strip.height();
    const int w = strip.width() == 0 ? 74 : strip.width();
    resize(w / 3, h);
}

void TSkinCustomButton::FontChanged()
{
    repaint();
}

void TSkinCustomButton::TransparentChanged()
{
    frameMasked_ = transparent_;
    repaint();
}

void TSkinCustomButton::LoadStyleFrame(int position, int count, QImage& target, int index)
{
    ::loadStyleFrame(fileTheme_, uiStyle_, position, count, target, index);
}

void TSkinCustomButton::GetNormalFrame(QImage& frame)
{
    LoadStyleFrame(StyleEntryButtonStrip, 3, frame, 1);
}

void TSkinCustomButton::GetHotFrame(QImage& frame)
{
    LoadStyleFrame(StyleEntryButtonStrip, 3, frame, 2);
}

void TSkinCustomButton::GetPressedFrame(QImage& frame)
{
    LoadStyleFrame(StyleEntryButtonStrip, 3, frame, 3);
}

void TSkinCustomButton::GetDisabledFrame(QImage& frame)
{
    LoadStyleFrame(StyleEntryButtonStrip, 3, frame, 1);
}

QFont TSkinCustomButton::captionFont(bool bold) const
{
    QFont f = font();
    if (bold)
        f.setBold(true);
    return f;
}

void TSkinCustomButton::PaintFace(QImage& surface, const QImage& frame)
{
    if (frame.isNull())
        return;
    const QRect all = frame.rect();
    if (!ownEnabled()) {
        drawGlyphDisabled(surface, frame, all, {0, 0}, palette().color(QPalette::Light).rgb(),
                          palette().color(QPalette::Dark).rgb());
    } else if (frameMasked_) {
        drawGlyph(surface, frame, all, {0, 0});
    } else {
        QPainter p(&surface);
        p.drawImage(0, 0, frame);
    }
}

void TSkinCustomButton::PaintCaption(QImage& surface, const QString& text)
{
    QPainter p(&surface);
    p.setFont(captionFont(boldCaption_));
    p.setBackgroundMode(Qt::TransparentMode);
    const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    QRect q = rect();
    p.setPen(palette().color(QPalette::WindowText));
    if (!ownEnabled()) {
        p.setPen(QColor(255, 255, 255));
        p.drawText(q.translated(1, 1), flags, text);
        p.setPen(QColor(128, 128, 128));
    } else if (pressed_) {
        q.translate(1, 1);
    }
    p.drawText(q, flags, text);
    boldCaption_ = false;
}

void TSkinCustomButton::PaintFocus(QImage& surface)
{
    drawFocusRectInverted(surface, focusRectangle(size(), focusedRectMargin_));
}

void TSkinCustomButton::PaintParentBackground(QImage& surface, QWidget* control)
{
    QWidget* container = control ? control->parentWidget() : nullptr;
    if (!container)
        return;
    QPoint at = control->pos();
    // A page of a tab widget is drawn as the tab widget's region from the page's corner.
    if (auto* stack = qobject_cast<QStackedWidget*>(container)) {
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget())) {
            at = control->mapTo(tabs, QPoint(0, 0));
            container = tabs;
        }
    }
    QPainter p(&surface);
    // Only the container itself (background and frame): rendering its children would draw
    // this button again from inside its own paint.
    const QRegion under = QRegion(container->rect()).intersected(QRect(at, surface.size()));
    container->render(&p, under.boundingRect().topLeft() - at, under,
                      QWidget::DrawWindowBackground);
}

void TSkinCustomButton::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    runGuarded([this] {
        QImage frame;
        try {
            if (!ownEnabled())
                GetDisabledFrame(frame);
            else if (pressed_)
                GetPressedFrame(frame);
            else if (mouseOver_)
                GetHotFrame(frame);
            else
                GetNormalFrame(frame);
        } catch (...) {
            // A frame that cannot be loaded is drawn blank; the rest still shows.
            frame = QImage(74, 21, QImage::Format_RGB32);
            frame.fill(Qt::white);
        }
        QImage buffer(size(), QImage::Format_RGB32);
        buffer.fill(palette().color(backgroundRole()));
        if (transparent_) {
            QWidget* container = parentWidget();
            const bool tabSheet =
                container && qobject_cast<QStackedWidget*>(container->parentWidget()) &&
                qobject_cast<QTabWidget*>(container->parentWidget()->parentWidget());
            PaintParentBackground(buffer, tabSheet ? container : this);
        }
        PaintFace(buffer, frame);
        if (hasFocus() && TabStop())
            PaintFocus(buffer);
        if (!trim(caption_).isEmpty())
            PaintCaption(buffer, caption_);
        QPainter p(this);
        p.drawImage(0, 0, buffer);
    });
}

bool TSkinCustomButton::ownEnabled() const
{
    return !testAttribute(Qt::WA_ForceDisabled);
}

bool TSkinCustomButton::canFocus() const
{
    return isVisible() && isEnabled() && window() != this;
}

void TSkinCustomButton::Click()
{
    if (pressed_) {
        destroyRepeatTimer();
        pressed_ = false;
        repaint();
    }
    if (TabStop() && canFocus() && isEnabled())
        setFocus(Qt::OtherFocusReason);
    if (parentWidget())
        window()->setProperty(ModalResultProperty, modalResult_);
    QPointer<TSkinCustomButton> alive(this);
    if (OnClick)
        OnClick(this);
    if (alive)
        Q_EMIT clicked();
}

void TSkinCustomButton::destroyRepeatTimer()
{
    if (!repeatTimer_)
        return;
    QTimer* t = repeatTimer_;
    repeatTimer_ = nullptr;
    t->stop();
    t->disconnect(this);
    // Deferred: this may run inside the timer's own tick.
    t->deleteLater();
}

void TSkinCustomButton::repeatTimerTick()
{
    runGuarded([this] {
        QPointer<TSkinCustomButton> alive(this);
        if (OnMouseContinuouslyDown)
            OnMouseContinuouslyDown(this);
        if (alive)
            Q_EMIT mouseContinuouslyDown();
    });
}

void TSkinCustomButton::leftPress()
{
    mouseEntered(); // a press proves the mouse is over the button, enter seen or not
    clickArmed_ = true;
    pressed_ = true;
    if (!repeatTimer_) {
        repeatTimer_ = new QTimer(this);
        repeatTimer_->setInterval(std::max(mouseContinuouslyDownInterval_, 0));
        connect(repeatTimer_, &QTimer::timeout, this, &TSkinCustomButton::repeatTimerTick);
        // A period of 0 would tick at every turn of the event loop; it never ticks instead.
        if (repeatTimer_->interval() > 0)
            repeatTimer_->start();
    }
    repaint();
}

void TSkinCustomButton::mousePressEvent(QMouseEvent* event)
{
    runGuarded([&] {
        if (event->button() == Qt::LeftButton)
            leftPress();
    });
    event->accept();
}

void TSkinCustomButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A fast second click is an ordinary press.
    mousePressEvent(event);
}

void TSkinCustomButton::mouseMoveEvent(QMouseEvent* event)
{
    runGuarded([&] {
        const QPoint pt = event->position().toPoint();
        if (pt.x() < 0 || pt.y() < 0 || pt.x() > width() || pt.y() > height()) {
            mouseOver_ = false;
            pressed_ = false;
            repaint();
        }
        // While a button is held the toolkit keeps enter and leave back; the button still
        // has to know when the mouse is over it.
        if (event->buttons() != Qt::NoButton) {
            if (rect().contains(pt))
                mouseEntered();
            else
                mouseLeft();
        }
    });
    event->accept();
}

void TSkinCustomButton::mouseReleaseEvent(QMouseEvent* event)
{
    runGuarded([&] {
        if (event->button() != Qt::LeftButton)
            return;
        const bool armed = clickArmed_;
        clickArmed_ = false;
        if (armed && rect().contains(event->position().toPoint()))
            Click();
    });
    event->accept();
}

void TSkinCustomButton::keyPressEvent(QKeyEvent* event)
{
    if (!isPressKey(event->key())) {
        QWidget::keyPressEvent(event);
        return;
    }
    runGuarded([&] {
        if (hasFocus() && isEnabled()) {
            pressed_ = true;
            repaint();
        }
    });
    event->accept();
}

void TSkinCustomButton::keyReleaseEvent(QKeyEvent* event)
{
    if (!isPressKey(event->key())) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    // Auto-repeat sends a release before every repeated press; only the real one counts.
    if (!event->isAutoRepeat()) {
        runGuarded([&] {
            if (hasFocus() && pressed_ && isEnabled()) {
                pressed_ = false;
                repaint();
                Click();
            }
        });
    }
    event->accept();
}

void TSkinCustomButton::mouseEntered()
{
    if (mouseInside_)
        return;
    mouseInside_ = true;
    mouseOver_ = true;
    repaint();
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TSkinCustomButton::mouseLeft()
{
    if (!mouseInside_)
        return;
    mouseInside_ = false;
    mouseOver_ = false;
    pressed_ = false;
    destroyRepeatTimer();
    repaint();
    if (OnMouseExit)
        OnMouseExit(this);
}

void TSkinCustomButton::enterEvent(QEnterEvent*)
{
    runGuarded([this] { mouseEntered(); });
}

void TSkinCustomButton::leaveEvent(QEvent*)
{
    runGuarded([this] { mouseLeft(); });
}

void TSkinCustomButton::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    runGuarded([this] { repaint(); });
}

void TSkinCustomButton::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    runGuarded([this] { repaint(); });
}

void TSkinCustomButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    runGuarded([&] {
        switch (event->type()) {
        case QEvent::EnabledChange:
            EnabledChanged();
            repaint();
            break;
        case QEvent::FontChange:
            FontChanged();
            break;
        case QEvent::WindowTitleChange:
            // The window text and the caption go together.
            if (windowTitle() != caption_)
                SetCaption(windowTitle());
            break;
        default:
            break;
        }
    });
}

void TSkinCustomButton::dialogKey(bool isDefault)
{
    runGuarded([&] {
        const bool wanted = isDefault ? default_ : cancel_;
        if (wanted && canFocus())
            Click();
    });
}

void TSkinCustomButton::updateShortcuts()
{
    auto make = [this](QPointer<QShortcut>& slot, bool want, const QKeySequence& keys,
                       auto onActivated) {
        delete slot.data();
        slot = nullptr;
        if (!want || keys.isEmpty())
            return;
        slot = new QShortcut(keys, this);
        slot->setContext(Qt::WindowShortcut);
        connect(slot.data(), &QShortcut::activated, this, onActivated);
    };
    make(defaultKey_, default_, QKeySequence(Qt::Key_Return), [this] { dialogKey(true); });
    make(defaultKeypad_, default_, QKeySequence(Qt::Key_Enter), [this] { dialogKey(true); });
    make(cancelKey_, cancel_, QKeySequence(Qt::Key_Escape), [this] { dialogKey(false); });
    make(accelKey_, true, QKeySequence::mnemonic(caption_), [this] {
        runGuarded([this] {
            if (isEnabled())
                Click();
        });
    });
}
