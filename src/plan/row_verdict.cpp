// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/row_verdict.h"

#include "net/presence_probe.h"

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
