// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/queued_calls.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>

namespace
{

const QEvent::Type CallEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallEvent : public QEvent
{
public:
    explicit CallEvent(std::function<void()> call) : QEvent(CallEventType), call_(std::move(call))
    {
        published_.store(true, std::memory_order_release);
    }
    // Also when Qt drops the event with its receiver: the call's captures die here.
    ~CallEvent() override { (void)published_.load(std::memory_order_acquire); }

    void run()
    {
        (void)published_.load(std::memory_order_acquire);
        call_();
    }

private:
    std::function<void()> call_;
    std::atomic<bool> published_{false};
};

} // namespace

std::atomic<unsigned> QueuedCalls::posted_{0};

void QueuedCalls::acquirePosted()
{
    (void)posted_.load(std::memory_order_acquire);
}

void QueuedCalls::post(std::function<void()> call)
{
    auto* event = new CallEvent(std::move(call));
    // The event, allocated here, is published before Qt's queue sees it; event() reads it
    // after the matching acquire, even its type.
    posted_.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(this, event);
}

bool QueuedCalls::event(QEvent* event)
{
    acquirePosted();
    if (event->type() != CallEventType)
        return QObject::event(event);
    static_cast<CallEvent*>(event)->run();
    return true;
}
