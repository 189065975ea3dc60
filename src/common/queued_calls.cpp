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

void QueuedCalls::post(std::function<void()> call)
{
    QCoreApplication::postEvent(this, new CallEvent(std::move(call)));
}

bool QueuedCalls::event(QEvent* event)
{
    if (event->type() != CallEventType)
        return QObject::event(event);
    static_cast<CallEvent*>(event)->run();
    return true;
}
