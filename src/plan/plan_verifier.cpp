// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_verifier.h"

#include "common/guard.h"
#include "net/net_address.h"
#include "net/presence_checker.h"

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

Answers answersOf(const QString& address, const Presence& presence)
{
    return {address, presence.macs(), presence.kind != PresenceKind::Unknown};
}

PlanVerifier::PlanVerifier(QObject* parent)
    : QObject(parent), checker_(new PresenceChecker(this)), source_(localAddresses)
{
}

PlanVerifier::~PlanVerifier() = default;

void PlanVerifier::setWatchTiming(int intervalMs, int limitMs)
{
    intervalMs_ = intervalMs;
    limitMs_ = limitMs;
}

void PlanVerifier::askBoth(
    uint32_t current, uint32_t next,
    std::function<void(const Presence& atCurrent, const Presence& atNew)> done)
{
    // Both probes at once; the later answer completes the pair.
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

void PlanVerifier::checkBefore(const RowAddresses& row, std::function<void(const BeforeSend&)> done)
{
    askBoth(row.current, row.next,
            [row, done = std::move(done)](const Presence& atCurrent, const Presence& atNew) {
                BeforeSend before;
                const Answers current = answersOf(row.currentIP, atCurrent);
                // Two MACs at the current address: which one is the device cannot be known,
                // unless the plan names it.
                if (atCurrent.kind == PresenceKind::Present && atCurrent.others.isEmpty()) {
                    before.device = atCurrent.mac;
                    before.deviceAt = row.currentIP;
                } else if (atCurrent.kind == PresenceKind::Present && !row.mac.isEmpty() &&
                           current.macs.contains(row.mac)) {
                    before.device = row.mac;
                    before.deviceAt = row.currentIP;
                }
                before.mismatch = deviceMismatch(row.mac, current);
                before.conflict =
                    conflictBefore(before.device, current, answersOf(row.newIP, atNew));
                done(before);
            });
}

void PlanVerifier::watchAfter(const QString& key, const RowAddresses& row, const BeforeSend& before,
                              std::function<void(const AfterSend&)> done)
{
    watches_.remove(key);
    auto w = std::make_shared<Watch>();
    w->row = row;
    w->device = before.device;
    w->atNew = {row.newIP, {}, true};
    w->atCurrent = {row.currentIP, {}, true};
    w->done = std::move(done);
    w->age.start();
    w->generation = ++generation_;
    w->timer = std::make_unique<QTimer>();
    w->timer->setInterval(intervalMs_);
    connect(w->timer.get(), &QTimer::timeout, this, [this, key] { runGuarded([&] { ask(key); }); });
    watches_.insert(key, w);
    if (!sameSubnet(source_(), row.next, true)) {
        // Later, as any verdict comes: the session is still taking the send's result in.
        QTimer::singleShot(0, this, [this, key, generation = w->generation] {
            runGuarded([&] {
                const auto found = watches_.constFind(key);
                if (found != watches_.cend() && (*found)->generation == generation)
                    conclude(key, offSubnetVerdict());
            });
        });
        return;
    }
    w->timer->start();
}

void PlanVerifier::ask(const QString& key)
{
    const auto found = watches_.constFind(key);
    if (found == watches_.cend() || (*found)->asking)
        return;
    const std::shared_ptr<Watch> w = *found;
    w->asking = true;
    const int generation = w->generation;
    askBoth(w->row.current, w->row.next,
            [this, key, generation](const Presence& atCurrent, const Presence& atNew) {
                runGuarded([&] { heard(key, generation, atCurrent, atNew); });
            });
}

void PlanVerifier::heard(const QString& key, int generation, const Presence& atCurrent,
                         const Presence& atNew)
{
    const auto found = watches_.constFind(key);
    if (found == watches_.cend() || (*found)->generation != generation)
        return; // replaced or ended meanwhile
    const std::shared_ptr<Watch> w = *found;
    w->asking = false;
    for (const QString& mac : atNew.macs()) {
        if (!w->atNew.macs.contains(mac))
            w->atNew.macs.append(mac);
    }
    w->atNew.known = atNew.kind != PresenceKind::Unknown;
    w->atCurrent = answersOf(w->row.currentIP, atCurrent);
    // The time is up once a round that began within it has ended after it.
    const auto verdict =
        watchVerdict(w->device, w->atNew, w->atCurrent, w->age.elapsed() >= limitMs_);
    if (!verdict)
        return;
    conclude(key, *verdict);
}

void PlanVerifier::conclude(const QString& key, const AfterSend& verdict)
{
    const std::shared_ptr<Watch> w = watches_.value(key);
    w->timer->stop();
    QList<uint32_t> candidates;
    if (looksElsewhere(verdict, w->sought())) {
        const QList<uint32_t> heard = heard_ ? heard_(w->age.elapsed()) : QList<uint32_t>();
        candidates = movedCandidates(neighboursWithMac(w->sought()), heard, w->row, source_());
    }
    if (candidates.isEmpty()) {
        finish(key, w->generation, verdict, {});
        return;
    }
    // Every candidate at once; what the kernel remembers of them counts for nothing.
    auto fresh = std::make_shared<QList<std::optional<Answers>>>(candidates.size());
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const QString address = formatDottedQuad(candidates[i]);
        checker_->check(candidates[i], [this, key, generation = w->generation, verdict, fresh, i,
                                        address](const Presence& p) {
            runGuarded([&] {
                (*fresh)[i] = answersOf(address, p);
                if (std::any_of(fresh->cbegin(), fresh->cend(),
                                [](const std::optional<Answers>& a) { return !a; }))
                    return;
                QList<Answers> answers;
                for (const auto& a : *fresh)
                    answers.append(*a);
                finish(key, generation, verdict, answers);
            });
        });
    }
}

void PlanVerifier::finish(const QString& key, int generation, const AfterSend& verdict,
                          const QList<Answers>& fresh)
{
    const auto found = watches_.constFind(key);
    if (found == watches_.cend() || (*found)->generation != generation)
        return; // replaced meanwhile
    const std::shared_ptr<Watch> w = *found;
    watches_.remove(key);
    w->done(movedVerdict(verdict, w->sought(), fresh));
}
