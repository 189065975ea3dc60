// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <atomic>
#include <functional>

// Runs calls made from any thread on the thread this object lives on, in the order posted,
// each as one event of that thread's loop (so a nested loop, such as a modal box's, runs the
// calls queued behind it). Calls still queued when the object dies are dropped.
//
// Unlike QMetaObject::invokeMethod with a functor, the hand-over is published through an
// atomic of our own: ThreadSanitizer sees its ordering, which inside Qt's uninstrumented event
// queue it cannot, so no suppression has to hide our own calls.
class QueuedCalls : public QObject
{
public:
    using QObject::QObject;
    void post(std::function<void()> call);
    // For an application-wide event filter, which sees these events before their receiver
    // does: orders its reading of an event after the post.
    static void acquirePosted();

protected:
    bool event(QEvent* event) override;

private:
    static std::atomic<unsigned> posted_;
};
