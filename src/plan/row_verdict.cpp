// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/row_verdict.h"

#include "net/presence_probe.h"

#include <algorithm>

using namespace Qt::StringLiterals;

QString conflictBefore(const QString& device, const Answers& atCurrent, const Answers& atNew)
{
    if (atCurrent.address == atNew.address)
        return {};
    QStringList others = atNew.macs;
    if (!device.isEmpty())
        others.removeAll(device);
    return macList(others);
}

QString deviceMismatch(const QString& planned, const Answers& atCurrent)
{
    if (planned.isEmpty() || !atCurrent.known || atCurrent.macs.isEmpty() ||
        atCurrent.macs.contains(planned))
        return {};
    return u"设备不符：应为 %1，实为 %2"_s.arg(planned, macList(atCurrent.macs));
}

std::optional<AfterSend> watchVerdict(const QString& device, const Answers& atNew,
                                      const Answers& atCurrent, bool limitReached)
{
    if (atNew.macs.size() > 1)
        return AfterSend{u"冲突 "_s + macList(atNew.macs), macList(atNew.macs), atNew.address};
    if (atNew.macs.size() == 1) {
        const QString& mac = atNew.macs.first();
        if (device.isEmpty())
            return AfterSend{u"新地址在线 %1（发送前未见设备）"_s.arg(mac), mac, atNew.address};
        if (mac == device)
            return AfterSend{u"新地址在线 "_s + mac, mac, atNew.address};
        // Someone else: the device may still come up beside it, which is a conflict.
        if (!limitReached)
            return std::nullopt;
        return AfterSend{u"新地址被另一台设备占用 MAC "_s + mac, mac, atNew.address};
    }
    if (!limitReached)
        return std::nullopt;
    if (!device.isEmpty() && atCurrent.macs.contains(device))
        return AfterSend{u"仍在旧地址 "_s + device, device, atCurrent.address};
    if (!atNew.known)
        return AfterSend{u"未确认"_s, {}, {}};
    return AfterSend{u"新地址无应答"_s, {}, {}};
}

AfterSend offSubnetVerdict()
{
    return {u"新地址不在本机网段，无法确认"_s, {}, {}};
}

bool looksElsewhere(const AfterSend& after, const QString& device)
{
    return !device.isEmpty() && !after.verdict.startsWith(u"新地址在线"_s);
}

QList<uint32_t> movedCandidates(const QList<uint32_t>& withMac, const QList<uint32_t>& heard,
                                const RowAddresses& row, const QList<LocalAddress>& laptop)
{
    QList<uint32_t> candidates;
    for (const uint32_t address : withMac + heard) {
        if (candidates.size() == MaxMovedCandidates)
            break;
        if (address == row.current || address == row.next || candidates.contains(address))
            continue;
        const bool own =
            std::any_of(laptop.cbegin(), laptop.cend(),
                        [address](const LocalAddress& a) { return a.address == address; });
        if (!own && sameSubnet(laptop, address, true))
            candidates.append(address);
    }
    return candidates;
}

AfterSend movedVerdict(const AfterSend& after, const QString& device,
                       const QList<Answers>& freshAnswers)
{
    if (!looksElsewhere(after, device))
        return after;
    QStringList at;
    for (const Answers& fresh : freshAnswers) {
        if (fresh.known && fresh.macs.contains(device) && !at.contains(fresh.address))
            at.append(fresh.address);
    }
    if (at.isEmpty())
        return after;
    AfterSend moved = after;
    moved.movedTo = macList(at);
    moved.verdict = after.verdict + u" 在 "_s + moved.movedTo;
    moved.mac = device;
    moved.seenAt = moved.movedTo;
    return moved;
}
