// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/udp_server.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// An event thread without Qt: posted calls wait in a queue until the owning thread pumps it.
// Used where Qt's own synchronisation must stay out of the picture (thread-sanitizer runs).
// Calls still queued when it is destroyed are dropped.
class ManualEventThread : public EventThread
{
public:
    void post(std::function<void()> call) override;

    // Runs the calls queued at the moment of the call; returns how many ran.
    int runPending();
    // Runs queued calls as they come for ms milliseconds.
    void runFor(int ms);
    // Runs queued calls until done() holds or timeoutMs passed; returns done().
    bool runUntil(const std::function<bool()>& done, int timeoutMs) override;
    // Calls posted so far (run or not).
    long posted() const;

private:
    // Waits until a call is queued or the deadline passes; runs at most the queued ones.
    template <class Clock> void runOnce(typename Clock::time_point deadline);

    mutable std::mutex lock_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> calls_;
    long posted_ = 0;
};
