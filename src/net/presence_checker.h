// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/queued_calls.h"
#include "net/presence_probe.h"

#include <QObject>
#include <QThreadPool>
#include <functional>

// Runs presence probes on worker threads and hands each answer to the event thread, so that
// the window never waits for one.
class PresenceChecker : public QObject
{
    Q_OBJECT
public:
    explicit PresenceChecker(QObject* parent = nullptr);
    // Waits for the probes still out (each ends within seconds); their answers are dropped.
    ~PresenceChecker() override;

    // Probes address with the installed probe; done runs later on this object's thread.
    void check(uint32_t address, std::function<void(const Presence&)> done);
    int inFlight() const { return inFlight_; }

private:
    QueuedCalls calls_; // the answers, dropped with this object; outlives the pool
    QThreadPool pool_;
    int inFlight_ = 0;
};
