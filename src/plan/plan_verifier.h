// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/presence_probe.h"
#include "plan/row_verifier.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class PresenceChecker;

// The MAC of another device that holds the row's new address: one answered there, and it is
// not the device at the current address. A new address equal to the current one is the same
// device.
std::optional<QString> conflictingMac(const QString& currentIP, const QString& newIP,
                                      const Presence& atCurrent, const Presence& atNew);

// What the plan panel asks of the network: who answers at a row's two addresses before it is
// sent, and whether its new address comes up after. Every probe runs off the event thread;
// answers come back on it.
class PlanVerifier : public QObject, public RowVerifier
{
    Q_OBJECT
public:
    explicit PlanVerifier(QObject* parent = nullptr);
    ~PlanVerifier() override;

    // How often a sent row's new address is asked and for how long (2 s, 120 s).
    void setWatchTiming(int intervalMs, int limitMs);

    void checkBefore(uint32_t current, uint32_t next,
                     std::function<void(const Presence& atCurrent, const Presence& atNew)> done);
    // Asks address every interval until someone answers there (done with it) or the time runs
    // out (done with no answer). A new watch of the same key replaces the old one.
    void watch(const QString& key, uint32_t address, std::function<void(const Presence&)> done);
    bool watching(const QString& key) const { return watches_.contains(key); }

    // As a plan session asks: the neighbour table's answers at the two addresses before, the
    // first answer at the new address after.
    void checkBefore(const RowAddresses& row, std::function<void(const BeforeSend&)> done) override;
    void watchAfter(const QString& key, const RowAddresses& row, const BeforeSend& before,
                    std::function<void(const AfterSend&)> done) override;

private:
    struct Watch {
        uint32_t address = 0;
        std::function<void(const Presence&)> done;
        QElapsedTimer age;
        std::unique_ptr<QTimer> timer;
        bool asking = false;
        int generation = 0;
    };
    void ask(const QString& key);
    void finish(const QString& key, const Presence& presence);

    PresenceChecker* checker_;
    QHash<QString, std::shared_ptr<Watch>> watches_;
    int intervalMs_ = 2000;
    int limitMs_ = 120000;
    int generation_ = 0;
};
