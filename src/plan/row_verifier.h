// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// A row's two addresses, as typed and as numbers.
struct RowAddresses {
    QString currentIP; // trimmed
    QString newIP;     // trimmed
    uint32_t current = 0;
    uint32_t next = 0;
    QString mac; // the device's MAC as the plan gives it; empty when it gives none
};

// What was seen before a row is sent.
struct BeforeSend {
    QString device;   // MAC that answered at the current address: the device; empty if none
    QString conflict; // MACs of other devices holding the new address ("a、b"); empty if none
    QString deviceAt; // the address the device answered at, with it
    QString mismatch; // the device is not the plan's: "设备不符：应为 a，实为 b"; else empty
};

// What a watch of the new address came to after sending.
struct AfterSend {
    QString verdict;   // the row's state and the results file's verdict
    QString mac;       // the MACs the verdict rests on ("a、b"); empty when none answered
    QString seenAt;    // the address they answered at
    QString movedTo{}; // where the device answered instead, when not at its new address ("a、b")
};

// What a plan session asks of the network about a row. It records whatever the verifier
// answers; how the answer is found is the verifier's alone. Answers come on the event thread.
class RowVerifier
{
public:
    virtual void checkBefore(const RowAddresses& row,
                             std::function<void(const BeforeSend&)> done) = 0;
    // Watches the row's new address after its packet; a new watch of a key replaces the old.
    virtual void watchAfter(const QString& key, const RowAddresses& row, const BeforeSend& before,
                            std::function<void(const AfterSend&)> done) = 0;

protected:
    virtual ~RowVerifier() = default;
};
