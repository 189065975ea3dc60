// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/queued_calls.h"
#include "net/udp_server.h"

#include <QObject>
#include <memory>

// Hands calls to the thread that created it, through its Qt event loop. The calls are queued
// on a context object that dies with this one, so calls still queued then are dropped.
class QtEventThread : public EventThread
{
public:
    QtEventThread();
    ~QtEventThread() override;
    void post(std::function<void()> call) override;
    // A nested event loop that runs queued calls, timers and painting, while every input event
    // of the operator (keys, mouse, wheel, touch, shortcuts, closing a window) is dropped.
    bool runUntil(const std::function<bool()>& done, int timeoutMs) override;

private:
    std::unique_ptr<QueuedCalls> context_;
};
