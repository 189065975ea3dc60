// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// terminal-sim --apply: the device reboots into the settings it was sent, moving its address to
// the packet's new IP. Changing addresses is allowed only in a network namespace the simulator
// was started in for this, never on the machine's own network.

#include <QDeadlineTimer>
#include <QString>
#include <optional>

// Why addresses may not be changed here; nothing when this process runs in a network namespace
// other than the machine's (that of process 1).
std::optional<QString> applyRefusal();

// Moves address from to address to on the interface that holds from, with the same prefix;
// a message when it could not.
std::optional<QString> moveAddress(const QString& from, const QString& to);

// The reboot after a valid parameter packet: the newest packet's address wins.
class PendingReboot
{
public:
    void schedule(const QString& newIP, int delayMs);
    // The new address once the reboot time has come (and then no longer pending).
    std::optional<QString> takeDue();
    // Milliseconds until it is due, -1 when none is pending.
    qint64 remainingMs() const;

private:
    std::optional<QString> newIP_;
    QDeadlineTimer due_;
};
