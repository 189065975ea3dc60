// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/manual_event_thread.h"

#include <algorithm>
#include <chrono>

void ManualEventThread::post(std::function<void()> call)
{
    {
        std::lock_guard guard(lock_);
        calls_.push_back(std::move(call));
        ++posted_;
    }
    queued_.notify_all();
}

int ManualEventThread::runPending()
{
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard guard(lock_);
        batch.swap(calls_);
    }
    int ran = 0;
    for (auto& call : batch) {
        call();
        ++ran;
    }
    return ran;
}

template <class Clock> void ManualEventThread::runOnce(typename Clock::time_point deadline)
{
    {
        std::unique_lock guard(lock_);
        queued_.wait_until(guard, deadline, [this] { return !calls_.empty(); });
    }
    runPending();
}

void ManualEventThread::runFor(int ms)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline)
        runOnce<Clock>(deadline);
}

bool ManualEventThread::runUntil(const std::function<bool()>& done, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < deadline)
        runOnce<Clock>(std::min(deadline, Clock::now() + std::chrono::milliseconds(20)));
    return done();
}

long ManualEventThread::posted() const
{
    std::lock_guard guard(lock_);
    return posted_;
}
