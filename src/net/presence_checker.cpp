// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/presence_checker.h"

PresenceChecker::PresenceChecker(QObject* parent) : QObject(parent)
{
    // A plan probes a row's two addresses and watches sent rows at the same time.
    pool_.setMaxThreadCount(6);
}

PresenceChecker::~PresenceChecker()
{
    pool_.waitForDone();
}

void PresenceChecker::check(uint32_t address, std::function<void(const Presence&)> done)
{
    PresenceProbe& probe = presenceProbe();
    ++inFlight_;
    pool_.start([this, &probe, address, done = std::move(done)] {
        const Presence answer = probe.probe(address);
        // Queued to this object: dropped if it is gone by then.
        calls_.post([this, done, answer] {
            --inFlight_;
            done(answer);
        });
    });
}
