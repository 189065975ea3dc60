// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The receive list's lines read back into bytes, so that a line showing a whole parameter or
// server address packet can be explained by the packet reader.

#include "protocol/device_types.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

// The bytes a list line shows ("72,192,...," alone or after "  Data: "), or none for a line
// the monitor did not write that way (the operator may edit the list).
std::optional<QByteArray> shownBytes(QStringView line);

// The packet's one-line text when the line shows the whole of one (a parameter packet read
// with the view of the device type, or a server address packet) and nothing after it but the
// zeros that pad a short datagram; none otherwise.
std::optional<QString> linePacketText(QStringView line, DeviceType deviceType);
