// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

// IPv4 addresses are held in host byte order here (0x7F000001 is 127.0.0.1).

// Four "."-separated parts, each an integer (the program's integer conversion) from 0 to 255;
// anything else gives no address.
std::optional<uint32_t> parseDottedQuad(const QString& text);

// Each octet in decimal without leading zeros.
QString formatDottedQuad(uint32_t address);

// A MAC address as it is written on labels and in tables: six two-digit hexadecimal groups
// separated throughout by ":" or by "-", three four-digit groups separated by "."
// (001a.2b3c.4d5e), or twelve digits together; surrounding spaces aside. Lower case with colons
// (00:1a:2b:3c:4d:5e), as the probes report it; none for anything else.
std::optional<QString> parseMac(const QString& text);
// Whether a MAC (as parseMac gives it) can be a device's own: neither all zeros nor a group
// address (the least significant bit of its first octet set, broadcast included).
bool isUnicastMac(const QString& mac);

// The longest a name lookup may take, whatever the resolver's own time-outs: after it the name
// counts as not found.
constexpr int LookupTimeoutMs = 2500;

// Waits for a lookup that runs on a thread of its own: returns when done() holds or timeoutMs
// has passed. The endpoint passes one that keeps its event thread serving meanwhile.
using LookupWait = std::function<void(const std::function<bool()>& done, int timeoutMs)>;

// The address a host text names: "LOCALHOST" in any case is 127.0.0.1, a dotted quad gives its
// four values at once, anything else is looked up by name (the first IPv4 answer) on a thread
// of its own, waited for through wait (or by blocking when none is given) for at most
// LookupTimeoutMs. Raises ESocketError with HostNotFoundCode when no host has that name, no
// name server answers or the answer does not come in time.
uint32_t resolveHost(const QString& host, const LookupWait& wait = {});
