// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/local_networks.h"
#include "plan/row_verifier.h"

#include <QString>
#include <QList>
#include <QStringList>
#include <cstdint>
#include <optional>

// The MACs that answered one address by ARP after a moment (the check, the send).
struct Answers {
    QString address;
    QStringList macs;  // in the order heard, each once
    bool known = true; // false: the probe could not tell (only an old cache entry was there)
};

// Who else holds the new address before sending: the MACs there that are not the device's.
// A new address equal to the current one is the device itself.
QString conflictBefore(const QString& device, const Answers& atCurrent, const Answers& atNew);

// Whether the device answering at the current address is the one the plan names: empty when
// the plan names none, nothing answered afresh, or the planned MAC is among those that did;
// else "设备不符：应为 <planned>，实为 <seen>".
QString deviceMismatch(const QString& planned, const Answers& atCurrent);

// What a watch after sending comes to, from the MAC seen at the current address before
// sending (the device; empty if none), every MAC heard at the new address since the send, the
// ones heard at the current address in the latest round, and whether the watch's time is up.
// None while the watch must go on.
std::optional<AfterSend> watchVerdict(const QString& device, const Answers& atNew,
                                      const Answers& atCurrent, bool limitReached);

// The verdict where the new address is on none of the laptop's subnets: nothing can be asked.
AfterSend offSubnetVerdict();

// Whether a watch's verdict leaves the device to be looked for elsewhere: it did not come up
// at its new address, and its MAC is known from before sending.
bool looksElsewhere(const AfterSend& after, const QString& device);

// Where to look for the device: the addresses the kernel holds its MAC at, then the sources
// heard since the send, each once and at most MaxMovedCandidates. Neither the row's two
// addresses nor the laptop's own count, nor any address on none of the laptop's subnets.
constexpr int MaxMovedCandidates = 8;
QList<uint32_t> movedCandidates(const QList<uint32_t>& withMac, const QList<uint32_t>& heard,
                                const RowAddresses& row, const QList<LocalAddress>& laptop);

// The verdict once the candidates were asked afresh: a candidate counts only when its fresh
// answer holds the device's MAC. With one or more, "<verdict> 在 a、b" naming the device and
// those addresses; else the verdict as it was.
AfterSend movedVerdict(const AfterSend& after, const QString& device,
                       const QList<Answers>& freshAnswers);
