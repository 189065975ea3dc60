// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/local_networks.h"

#include "net/net_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

using namespace Qt::StringLiterals;

namespace
{

int prefixOf(uint32_t mask)
{
    int bits = 0;
    while (bits < 32 && (mask & (0x80000000u >> bits)))
        ++bits;
    return bits;
}

uint32_t maskOf(int prefix)
{
    return prefix <= 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
}

// The factory subnet of a device: a /24, as the devices ship.
constexpr int AssumedDevicePrefix = 24;

} // namespace

QList<LocalAddress> localAddresses()
{
    QList<LocalAddress> list;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return list;
    for (const ifaddrs* a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP))
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        const auto* mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask);
        list.append({QString::fromLocal8Bit(a->ifa_name), ntohl(in->sin_addr.s_addr),
                     mask ? prefixOf(ntohl(mask->sin_addr.s_addr)) : 32,
                     (a->ifa_flags & IFF_LOOPBACK) != 0});
    }
    freeifaddrs(all);
    return list;
}

uint32_t networkOf(uint32_t address, int prefix)
{
    return address & maskOf(prefix);
}

std::optional<LocalAddress> sameSubnet(const QList<LocalAddress>& local, uint32_t target,
                                       bool onlyLinks)
{
    std::optional<LocalAddress> best;
    for (const LocalAddress& a : local) {
        if (onlyLinks && (a.loopback || a.prefix >= 31))
            continue;
        if (networkOf(a.address, a.prefix) != networkOf(target, a.prefix))
            continue;
        if (!best || a.prefix > best->prefix)
            best = a;
    }
    return best;
}

SubnetStatusText subnetStatusText(const QList<LocalAddress>& local, const QString& deviceIP)
{
    const auto target = parseDottedQuad(deviceIP.trimmed());
    if (!target)
        return {false, u"设备IP“%1”不是有效的地址，无法判断网段"_s.arg(deviceIP.trimmed())};
    // A link's subnet says more than a lone host address on the loopback.
    auto near = sameSubnet(local, *target, true);
    if (!near)
        near = sameSubnet(local, *target);
    if (near) {
        return {true, u"本机网卡 %1 %2/%3 与设备在同一网段"_s
                          .arg(near->interfaceName, formatDottedQuad(near->address))
                          .arg(near->prefix)};
    }
    const QString subnet = formatDottedQuad(networkOf(*target, AssumedDevicePrefix)) + u"/"_s +
                           QString::number(AssumedDevicePrefix);
    return {false, u"警告：本机没有 %1 网段的地址，无法与设备通信。请给本机网卡添加一个该网段中"
                   "未被占用的地址"_s.arg(subnet)};
}
