// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded (LD_PRELOAD) into the unpacked program by the package test. Once the window is up it
// reports what the operator would see, unlocks it, runs a server update with the page's own
// fields, answers every box with its first button, reports each box, and closes the window.
// It uses only Qt and the controls' object names, never the program's code.

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QWidget* mainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmMain") && w->isVisible())
            return w;
    }
    return nullptr;
}

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found) {
        say(QLatin1String("driver: no ") + QLatin1String(name));
        std::_Exit(4);
    }
    return found;
}

class Driver : public QObject
{
public:
    Driver()
    {
        timer_.callOnTimeout(this, [this] { tick(); });
        timer_.start(50);
        watchdog_.setSingleShot(true);
        watchdog_.callOnTimeout(this, [] {
            say(QStringLiteral("driver: timed out"));
            std::_Exit(3);
        });
        watchdog_.start(60000);
    }

private:
    void tick()
    {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (box == lastBox_)
                return; // already answered; it is closing
            lastBox_ = box;
            say(QLatin1String("box: ") + box->windowTitle() + QLatin1String(" | ") + box->text());
            box->buttons().constFirst()->click();
            return;
        }
        if (started_)
            return;
        QWidget* window = mainWindow();
        if (!window)
            return;
        started_ = true;
        report(window);
        unlockAndUpdate(window);
    }

    void report(QWidget* window)
    {
        say(QLatin1String("window: ") + window->windowTitle() +
            QLatin1String(window->isMaximized() ? " maximized" : " not maximized"));
        QStringList sizes;
        for (const QSize& s : window->windowIcon().availableSizes())
            sizes << QString::number(s.width());
        say(QLatin1String("icon: ") + sizes.join(u' '));
        std::unique_ptr<QMenu> menu(child<QLineEdit>(window, "Edit3")->createStandardContextMenu());
        QStringList texts;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator())
                texts << a->text().section(u'\t', 0, 0);
        }
        say(QLatin1String("menu: ") + texts.join(QLatin1String(", ")));
    }

    void unlockAndUpdate(QWidget* window)
    {
        child<QLineEdit>(window, "edtMM")->setText(QStringLiteral("40617293"));
        child<QLineEdit>(window, "Edit3")->setText(QStringLiteral("0"));
        child<QAbstractButton>(window, "BitBtn1")->click();
        auto* pages = child<QTabWidget>(window, "PageControl1");
        pages->setCurrentWidget(child<QWidget>(window, "TabSheet4"));
        QPointer<QWidget> update = child<QWidget>(window, "sbUpdateIP");
        // Queued, so the boxes' own loops run the timer rather than this call's stack.
        QMetaObject::invokeMethod(
            this,
            [update, window] {
                QTest::mouseClick(update, Qt::LeftButton);
                say(QStringLiteral("update: returned"));
                window->close();
            },
            Qt::QueuedConnection);
    }

    QTimer timer_;
    QTimer watchdog_;
    QPointer<QMessageBox> lastBox_;
    bool started_ = false;
};

void startDriver()
{
    // The event loop has not started yet; the driver is made once it runs.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { new Driver(); }, Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)
