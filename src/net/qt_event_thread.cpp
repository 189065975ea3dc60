// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/qt_event_thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace
{

// Drops the operator's input while installed, as a modal box does for the windows it blocks:
// nothing typed or clicked during a wait can start another command, now or afterwards.
// A box that a queued call opens during the wait runs a loop of its own, deeper than the
// wait's: there input goes through, so the operator can answer it (and Qt's own modality
// keeps it from the windows behind the box). Eating it would leave the box up for good.
class InputBlocker : public QObject
{
public:
    InputBlocker() : waitLevel_(QThread::currentThread()->loopLevel() + 1)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (QThread::currentThread()->loopLevel() > waitLevel_)
            return false;
        QueuedCalls::acquirePosted(); // the event may be a call another thread posted
        return event->isInputEvent() || event->type() == QEvent::Shortcut ||
               event->type() == QEvent::Close;
    }

private:
    const int waitLevel_;
};

// How often the nested loop looks whether the wait is over.
constexpr int PollMs = 5;

} // namespace

QtEventThread::QtEventThread() : context_(std::make_unique<QueuedCalls>())
{
}

QtEventThread::~QtEventThread() = default;

void QtEventThread::post(std::function<void()> call)
{
    context_->post(std::move(call));
}

bool QtEventThread::runUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    if (QCoreApplication::instance() == nullptr)
        return EventThread::runUntil(done, timeoutMs);
    const QDeadlineTimer deadline(timeoutMs);
    InputBlocker blocker;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(PollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

std::unique_ptr<EventThread> makeQtEventThread()
{
    return std::make_unique<QtEventThread>();
}
