// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/presence_probe.h"

#include <QString>
#include <QStringList>

// Every MAC that answered address in the output of iputils arping ("Unicast reply from A
// [MAC]" and "Broadcast reply from A [MAC]" lines), lower case, each once, in the order heard.
// Replies from other addresses do not count.
QStringList arpingReplies(const QString& output, const QString& address);
// Whether arping's output shows that it asked for address at all ("ARPING A from B card"):
// its exit code alone does not tell a refused option from no reply.
bool arpingAsked(const QString& output, const QString& address);

// Asks who holds an address with ARP requests of its own, through iputils arping on the
// network card that shares the address's subnet: only replies heard during the probe count,
// never what a cache remembers. Debian installs arping with cap_net_raw, so no helper of ours
// needs privileges. Where arping is missing or fails, the kernel's neighbour table answers
// instead, with only what it confirmed during the probe (else Unknown).
class ArpPresenceProbe : public PresenceProbe
{
public:
    // program: the arping to run (found on PATH unless absolute); deadlineS bounds each run.
    explicit ArpPresenceProbe(QString program = QStringLiteral("arping"), int deadlineS = 1)
        : program_(std::move(program)), deadlineS_(deadlineS)
    {
    }
    Presence probe(uint32_t address) override;

private:
    QString program_;
    int deadlineS_;
    KernelPresenceProbe fallback_;
};
