// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QStringList>
#include <QString>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

// Who holds an address on a directly connected subnet. Unknown: the probe could not tell
// (only an old cache entry was there to read).
enum class PresenceKind { Present, NoAnswer, NotLocal, Unknown };

struct Presence {
    Presence(PresenceKind what = PresenceKind::NoAnswer, QString first = {}, QStringList more = {})
        : kind(what), mac(std::move(first)), others(std::move(more))
    {
    }

    PresenceKind kind = PresenceKind::NoAnswer;
    QString mac;        // lower case with colons, when present: the first that answered
    QStringList others; // further MACs that answered the same address, in the order heard

    bool operator==(const Presence&) const = default;
    // Every MAC that answered, the first one first.
    QStringList macs() const;
};

// "在线 MAC 00:1a:2b:3c:4d:5e", "冲突 MAC1、MAC2", "无应答", "未确认" or "不在本机网段".
QString presenceText(const Presence& presence);
// MACs as one text: "MAC1、MAC2".
QString macList(const QStringList& macs);

// Asks who holds an address. probe() blocks for up to about a second: call it off the event
// thread.
class PresenceProbe
{
public:
    virtual ~PresenceProbe() = default;
    virtual Presence probe(uint32_t address) = 0;
};

// The installed probe. With none installed the answer is a recording probe that sends
// nothing, so a window that a test connects never probes the real network; the program
// installs the kernel probe at start.
PresenceProbe& presenceProbe();
void installPresenceProbe(PresenceProbe* probe);

// Sends nothing: notes each address asked about and answers what a test scripted (no answer
// otherwise).
class RecordingPresenceProbe : public PresenceProbe
{
public:
    Presence probe(uint32_t address) override;
    void answer(uint32_t address, const Presence& presence);
    QList<uint32_t> asked() const;

private:
    mutable std::mutex mutex_;
    QList<uint32_t> asked_;
    QHash<uint32_t, Presence> answers_;
};

// The kernel's neighbour table through rtnetlink. It makes the kernel resolve the address
// with one zero-length datagram to the discard port 9 and then reads the entry with
// RTM_GETNEIGH, not /proc/net/arp: only rtnetlink tells whether the kernel confirmed the MAC
// after the probe was sent. A MAC confirmed before that counts for nothing, whatever its
// state: the kernel keeps an entry REACHABLE for 15 to 45 s after its last confirmation and
// sends no request while it does, so such an entry ends as Unknown. Needs no privileges.
class KernelPresenceProbe : public PresenceProbe
{
public:
    explicit KernelPresenceProbe(std::chrono::milliseconds timeout = std::chrono::seconds(1))
        : timeout_(timeout)
    {
    }
    Presence probe(uint32_t address) override;

private:
    std::chrono::milliseconds timeout_;
};

// One neighbour table entry, as rtnetlink reports it.
struct NeighbourEntry {
    uint16_t state = 0;          // NUD_* flags
    QString mac;                 // empty when the kernel has none
    int64_t confirmedAgeMs = -1; // since the kernel last confirmed the MAC, -1 unknown
    uint32_t address = 0;        // IPv4, host byte order
};

// The entry counts only when the kernel confirmed its MAC within the sinceMs since the probe
// went out. Its state alone proves nothing: REACHABLE lasts long after the last reply, and the
// "updated" time of a STALE or DELAY entry moves when the probe itself wakes it.
bool confirmedSince(const NeighbourEntry& entry, int64_t sinceMs);

// Every IPv4 entry of the kernel's neighbour table, one per address and link; empty when the
// table cannot be read.
QList<NeighbourEntry> neighbourTable();
// The kernel's entry for an IPv4 address (host byte order), if it has one.
std::optional<NeighbourEntry> neighbourEntry(uint32_t address);
// The addresses whose entry holds mac (lower case with colons), the latest confirmed first.
// Only what the kernel remembers: none of them has answered for it.
QList<uint32_t> neighboursWithMac(const QString& mac);
