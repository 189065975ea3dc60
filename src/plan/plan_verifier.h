// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/local_networks.h"
#include "net/presence_probe.h"
#include "plan/row_verdict.h"
#include "plan/row_verifier.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class PresenceChecker;

// A probe's answer at one address, as a verdict reads it.
Answers answersOf(const QString& address, const Presence& presence);

// What the plan panel asks of the network: who answers at a row's two addresses before it is
// sent, and where the device answers after. Every probe runs off the event thread through the
// installed presence probe; answers come back on it.
class PlanVerifier : public QObject, public RowVerifier
{
    Q_OBJECT
public:
    explicit PlanVerifier(QObject* parent = nullptr);
    ~PlanVerifier() override;

    // How often a sent row's two addresses are asked and for how long (2 s, 120 s).
    void setWatchTiming(int intervalMs, int limitMs);
    // The laptop's addresses, which tell whether a new address can be watched at all;
    // the interfaces' unless replaced.
    void setAddressSource(std::function<QList<LocalAddress>()> source)
    {
        source_ = std::move(source);
    }
    // The sources datagrams came from within the last so many milliseconds, the latest
    // first: where a device may have spoken from after taking another address. None unless
    // set.
    void setHeardSource(std::function<QList<uint32_t>(int64_t withinMs)> source)
    {
        heard_ = std::move(source);
    }
    bool watching(const QString& key) const { return watches_.contains(key); }

    // Both addresses at once: the device is the one MAC at the current address, a conflict
    // any other MAC at the new one.
    void checkBefore(const RowAddresses& row, std::function<void(const BeforeSend&)> done) override;
    // Asks both addresses every interval until the verdict is clear or the time is up. A new
    // address on none of the laptop's subnets ends at once, unasked. A device that did not
    // come up there is then looked for where the kernel holds its MAC and where datagrams
    // came from since the send, and counts only where it answers afresh.
    void watchAfter(const QString& key, const RowAddresses& row, const BeforeSend& before,
                    std::function<void(const AfterSend&)> done) override;

private:
    struct Watch {
        RowAddresses row;
        QString device;
        Answers atNew;     // every MAC heard at the new address since the send
        Answers atCurrent; // the latest round's at the current address
        std::function<void(const AfterSend&)> done;
        QElapsedTimer age;
        std::unique_ptr<QTimer> timer;
        bool asking = false;
        int generation = 0;
        // The MAC looked for elsewhere when the device did not come up: the one seen before
        // sending, or where none was, the plan's.
        const QString& sought() const { return device.isEmpty() ? row.mac : device; }
    };
    // Probes both addresses; done once both answered.
    void askBoth(uint32_t current, uint32_t next,
                 std::function<void(const Presence& atCurrent, const Presence& atNew)> done);
    void ask(const QString& key);
    void heard(const QString& key, int generation, const Presence& atCurrent,
               const Presence& atNew);
    // Looks for the device elsewhere, if the verdict leaves it to be, then ends the watch.
    void conclude(const QString& key, const AfterSend& verdict);
    void finish(const QString& key, int generation, const AfterSend& verdict,
                const QList<Answers>& fresh);

    PresenceChecker* checker_;
    std::function<QList<LocalAddress>()> source_;
    std::function<QList<uint32_t>(int64_t withinMs)> heard_;
    QHash<QString, std::shared_ptr<Watch>> watches_;
    int intervalMs_ = 2000;
    int limitMs_ = 120000;
    int generation_ = 0;
};
