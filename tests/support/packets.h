// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two packets as the bytes a socket carries, for tests that send or decode them.
#include "protocol/param_packet.h"
#include "protocol/server_packet.h"

#include <QByteArray>

// All 41 bytes of a built parameter packet.
QByteArray paramBytes(const ParamPacket& packet);
// The 18 bytes of a built server address packet that go on the wire.
QByteArray serverBytes(const TServerPacketBuffer& buffer);

// The packet the parameter page sends with its default texts for device type `code` (the
// amplifier's group field reads 3, its default being no number).
QByteArray defaultParamPacket(int code);
// The server address packet of the server page's default fields.
QByteArray defaultServerPacket();
