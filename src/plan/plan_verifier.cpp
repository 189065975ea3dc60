// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_verifier.h"

#include "common/guard.h"
#include "net/presence_checker.h"

using namespace Qt::StringLiterals;

std::optional<QString> conflictingMac(const QString& currentIP, const QString& newIP,
                                      const Presence& atCurrent, const Presence& atNew)
{
    if (currentIP.trimmed() == newIP.trimmed() || atNew.kind != PresenceKind::Present)
        return std::nullopt;
    if (atCurrent.kind == PresenceKind::Present && atCurrent.mac == atNew.mac)
        return std::nullopt; // the device already answers at both
    return atNew.mac;
}

PlanVerifier::PlanVerifier(QObject* parent) : QObject(parent), checker_(new PresenceChecker(this))
{
}

PlanVerifier::~PlanVerifier() = default;

void PlanVerifier::setWatchTiming(int intervalMs, int limitMs)
{
    intervalMs_ = intervalMs;
    limitMs_ = limitMs;
}

void PlanVerifier::checkBefore(
    uint32_t current, uint32_t next,
    std::function<void(const Presence& atCurrent, const Presence& atNew)> done)
{
    // Both probes at once; the later answer completes the check.
    auto answers = std::make_shared<std::pair<std::optional<Presence>, std::optional<Presence>>>();
    auto complete = [answers, done] {
        if (answers->first && answers->second)
            done(*answers->first, *answers->second);
    };
    checker_->check(current, [answers, complete](const Presence& p) {
        answers->first = p;
        complete();
    });
    checker_->check(next, [answers, complete](const Presence& p) {
        answers->second = p;
        complete();
    });
}

void PlanVerifier::watch(const QString& key, uint32_t address,
                         std::function<void(const Presence&)> done)
{
    auto w = std::make_shared<Watch>();
    w->address = address;
    w->done = std::move(done);
    w->age.start();
    w->generation = ++generation_;
    w->timer = std::make_unique<QTimer>();
    w->timer->setInterval(intervalMs_);
    connect(w->timer.get(), &QTimer::timeout, this, [this, key] { runGuarded([&] { ask(key); }); });
    watches_.insert(key, w);
    w->timer->start();
}

void PlanVerifier::ask(const QString& key)
{
    const auto found = watches_.constFind(key);
    if (found == watches_.cend())
        return;
    const std::shared_ptr<Watch> w = *found;
    if (w->age.elapsed() >= limitMs_) {
        finish(key, {PresenceKind::NoAnswer, {}});
        return;
    }
    if (w->asking)
        return;
    w->asking = true;
    const int generation = w->generation;
    checker_->check(w->address, [this, key, generation](const Presence& p) {
        runGuarded([&] {
            const auto now = watches_.constFind(key);
            if (now == watches_.cend() || (*now)->generation != generation)
                return; // replaced or ended meanwhile
            (*now)->asking = false;
            if (p.kind == PresenceKind::Present)
                finish(key, p);
        });
    });
}

void PlanVerifier::finish(const QString& key, const Presence& presence)
{
    const std::shared_ptr<Watch> w = watches_.take(key);
    if (w)
        w->done(presence);
}

void PlanVerifier::checkBefore(const RowAddresses& row, std::function<void(const BeforeSend&)> done)
{
    checkBefore(
        row.current, row.next,
        [row, done = std::move(done)](const Presence& atCurrent, const Presence& atNew) {
            BeforeSend before;
            if (atCurrent.kind == PresenceKind::Present)
                before.device = atCurrent.mac;
            before.conflict =
                conflictingMac(row.currentIP, row.newIP, atCurrent, atNew).value_or(QString());
            done(before);
        });
}

void PlanVerifier::watchAfter(const QString& key, const RowAddresses& row, const BeforeSend&,
                              std::function<void(const AfterSend&)> done)
{
    watch(key, row.next, [done = std::move(done)](const Presence& presence) {
        done({presence.kind == PresenceKind::Present ? u"新地址在线 "_s + presence.mac
                                                     : u"新地址无应答"_s});
    });
}
