// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/presence_probe.h"

#include "net/local_networks.h"
#include "net/net_address.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

RecordingPresenceProbe& silentProbe()
{
    static RecordingPresenceProbe probe;
    return probe;
}

PresenceProbe* installed = nullptr;

// States in which the kernel holds a MAC for the address (its own NUD_VALID).
constexpr uint16_t HasMac =
    NUD_PERMANENT | NUD_NOARP | NUD_REACHABLE | NUD_PROBE | NUD_STALE | NUD_DELAY;

// The kernel reports neighbour ages in USER_HZ ticks.
int64_t ticksToMs(uint32_t ticks)
{
    static const long hz = sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100;
    return static_cast<int64_t>(ticks) * 1000 / hz;
}

QString macText(const unsigned char* bytes, size_t length)
{
    QString text;
    for (size_t i = 0; i < length; ++i) {
        if (i)
            text += u':';
        text += u"%1"_s.arg(bytes[i], 2, 16, QChar(u'0'));
    }
    return text;
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// One zero-length datagram to the discard port: the kernel resolves the address to send it,
// and no device acts on it.
void nudge(uint32_t address)
{
    const Descriptor s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (s.get() < 0)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(address);
    ::sendto(s.get(), "", 0, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Whether a tells more than b: a MAC rather than none, then the later confirmation.
bool fresher(const NeighbourEntry& a, const NeighbourEntry& b)
{
    if (a.mac.isEmpty() != b.mac.isEmpty())
        return !a.mac.isEmpty();
    if (a.confirmedAgeMs < 0 || b.confirmedAgeMs < 0)
        return b.confirmedAgeMs < 0 && a.confirmedAgeMs >= 0;
    return a.confirmedAgeMs < b.confirmedAgeMs;
}

} // namespace

QString presenceText(const Presence& presence)
{
    switch (presence.kind) {
    case PresenceKind::Present:
        if (!presence.others.isEmpty())
            return u"冲突 "_s + macList(presence.macs());
        return u"在线 MAC "_s + presence.mac;
    case PresenceKind::NoAnswer:
        return u"无应答"_s;
    case PresenceKind::Unknown:
        return u"未确认"_s;
    case PresenceKind::NotLocal:
        break;
    }
    return u"不在本机网段"_s;
}

QStringList Presence::macs() const
{
    if (kind != PresenceKind::Present || mac.isEmpty())
        return {};
    return QStringList{mac} + others;
}

QString macList(const QStringList& macs)
{
    return macs.join(u"、"_s);
}

PresenceProbe& presenceProbe()
{
    return installed ? *installed : silentProbe();
}

void installPresenceProbe(PresenceProbe* probe)
{
    installed = probe;
}

Presence RecordingPresenceProbe::probe(uint32_t address)
{
    const std::lock_guard lock(mutex_);
    asked_.append(address);
    return answers_.value(address, Presence{PresenceKind::NoAnswer, {}});
}

void RecordingPresenceProbe::answer(uint32_t address, const Presence& presence)
{
    const std::lock_guard lock(mutex_);
    answers_.insert(address, presence);
}

QList<uint32_t> RecordingPresenceProbe::asked() const
{
    const std::lock_guard lock(mutex_);
    return asked_;
}

bool confirmedSince(const NeighbourEntry& entry, int64_t sinceMs)
{
    if (entry.mac.isEmpty() || !(entry.state & HasMac))
        return false;
    return entry.confirmedAgeMs >= 0 && entry.confirmedAgeMs <= sinceMs;
}

QList<NeighbourEntry> neighbourTable()
{
    QList<NeighbourEntry> table;
    const Descriptor s(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (s.get() < 0)
        return table;
    struct {
        nlmsghdr header;
        ndmsg body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ndm_family = AF_INET;
    if (::send(s.get(), &request, sizeof request, 0) < 0)
        return table;

    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t n = ::recv(s.get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return table;
        int left = static_cast<int>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR)
                return table;
            if (h->nlmsg_type != RTM_NEWNEIGH)
                continue;
            const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
            int attrLeft = static_cast<int>(RTM_PAYLOAD(h));
            NeighbourEntry entry;
            entry.state = nd->ndm_state;
            bool hasAddress = false;
            for (auto* a = RTM_RTA(nd); RTA_OK(a, attrLeft); a = RTA_NEXT(a, attrLeft)) {
                const auto* data = static_cast<const unsigned char*>(RTA_DATA(a));
                const size_t length = RTA_PAYLOAD(a);
                if (a->rta_type == NDA_DST && length == 4) {
                    uint32_t address = 0;
                    std::memcpy(&address, data, 4);
                    entry.address = ntohl(address);
                    hasAddress = true;
                } else if (a->rta_type == NDA_LLADDR && length > 0) {
                    entry.mac = macText(data, length);
                } else if (a->rta_type == NDA_CACHEINFO && length >= sizeof(nda_cacheinfo)) {
                    nda_cacheinfo info{};
                    std::memcpy(&info, data, sizeof info);
                    entry.confirmedAgeMs = ticksToMs(info.ndm_confirmed);
                }
            }
            if (hasAddress)
                table.append(entry);
        }
    }
}

std::optional<NeighbourEntry> neighbourEntry(uint32_t address)
{
    std::optional<NeighbourEntry> found;
    for (const NeighbourEntry& entry : neighbourTable()) {
        // An address may have an entry on more than one link; the latest confirmed wins.
        if (entry.address == address && (!found || fresher(entry, *found)))
            found = entry;
    }
    return found;
}

QList<uint32_t> neighboursWithMac(const QString& mac)
{
    QList<NeighbourEntry> holding;
    for (const NeighbourEntry& entry : neighbourTable()) {
        if (entry.mac == mac && (entry.state & HasMac))
            holding.append(entry);
    }
    std::stable_sort(holding.begin(), holding.end(), fresher);
    QList<uint32_t> addresses;
    for (const NeighbourEntry& entry : holding) {
        if (!addresses.contains(entry.address))
            addresses.append(entry.address);
    }
    return addresses;
}

Presence KernelPresenceProbe::probe(uint32_t address)
{
    if (!sameSubnet(localAddresses(), address, true))
        return {PresenceKind::NotLocal, {}};
    QElapsedTimer clock;
    clock.start();
    nudge(address);
    // A MAC the kernel only remembers is checked by it with unicast requests after its delay
    // (5 s by default); give that check its time rather than call a present device absent.
    constexpr int64_t verifyingMs = 7000;
    for (;;) {
        const int64_t since = clock.elapsed();
        const auto entry = neighbourEntry(address);
        if (entry && confirmedSince(*entry, since))
            return {PresenceKind::Present, entry->mac};
        const bool verifying =
            entry && !entry->mac.isEmpty() && (entry->state & (NUD_STALE | NUD_DELAY | NUD_PROBE));
        if (since >= (verifying ? verifyingMs : timeout_.count())) {
            // A MAC the kernel did not confirm meanwhile is only remembered: no answer cannot
            // be told from an entry the kernel did not think worth asking about again.
            const bool remembered = entry && !entry->mac.isEmpty() && (entry->state & HasMac);
            return {remembered ? PresenceKind::Unknown : PresenceKind::NoAnswer, {}};
        }
        QThread::msleep(50);
    }
}
