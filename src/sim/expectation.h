// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The expected packets of `terminal-sim --expect`: one JSON object per line, compared in order
// with the JSON form of each datagram that arrives. Only the keys an expectation names are
// compared, so {"kind":"server","new_ip":"192.168.1.249"} checks just those two.

#include "protocol/device_types.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The expectations, or a message naming the line that is no JSON object. Blank lines and lines
// starting with "#" are skipped.
Expected<QList<QJsonObject>> parseExpectations(const QByteArray& content);

// The device type a parameter packet is read with for this expectation: its "type", or the
// given default; a "type" outside the catalogue is the fault the packet is then read with.
Expected<DeviceType> expectedDeviceType(const QJsonObject& expected, DeviceType defaultType);

// Nothing when every key of `expected` has the same value in `got`; otherwise a message that
// names the first differing key. A number and its decimal text count as the same value.
std::optional<QString> findMismatch(const QJsonObject& expected, const QJsonObject& got);
