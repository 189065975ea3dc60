// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// One IPv4 address of this machine with its prefix, host byte order.
struct LocalAddress {
    QString interfaceName;
    uint32_t address = 0;
    int prefix = 0;
    bool loopback = false;
};

// Every IPv4 address of the interfaces that are up, from getifaddrs (needs no privileges).
QList<LocalAddress> localAddresses();

// The network of address under a prefix.
uint32_t networkOf(uint32_t address, int prefix);

// The local address whose subnet holds target, the longest prefix first; none when no
// interface shares it. Loopback addresses count only when onlyLinks is false: a probe needs a
// link with neighbours.
std::optional<LocalAddress> sameSubnet(const QList<LocalAddress>& local, uint32_t target,
                                       bool onlyLinks = false);

// The status line for a device address typed as text: which interface and address reach it,
// a warning naming its subnet (a /24 is assumed, as the devices' factory setting), or what is
// wrong with the text.
struct SubnetStatusText {
    bool sameSubnet = false;
    QString text;
};
SubnetStatusText subnetStatusText(const QList<LocalAddress>& local, const QString& deviceIP);
