#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// IPv4 addresses are held in host byte order here (0x7F000001 is 127.0.0.1).

// Four "."-separated parts, each an integer (the program's integer conversion) from 0 to 255;
// anything else gives no address.
std::optional<uint32_t> parseDottedQuad(const QString& text);

// Each octet in decimal without leading zeros.
QString formatDottedQuad(uint32_t address);

// The address a host text names: "LOCALHOST" in any case is 127.0.0.1, a dotted quad gives its
// four values, anything else is looked up by name (the first IPv4 answer). Raises ESocketError
// with HostNotFoundCode when no host has that name.
uint32_t resolveHost(const QString& host);
