// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/device_types.h"

#include <QString>

// Received bytes listed per datagram until the operator chooses another count.
constexpr int DefaultShowByteCount = 53;

// The window-wide state that commands hand to each other. One instance lives in the main
// window; the pages hold a reference to it and read its fields, but change them only through
// the functions below, so that each change and what it implies is written in one place.
struct MainGlobals {
    ::DeviceType DeviceType = ::DeviceType::first(); // the selected device type
    QString AppDir;        // executable's folder with a trailing separator, set at connect
    int ShowByteCount = 0; // received bytes listed per datagram
    int RecvCount = 0;     // datagrams listed since the last reset

    void selectDeviceType(::DeviceType type) { DeviceType = type; }
    // At connect: where the program runs from, and a receive list that starts afresh.
    void connectedFrom(const QString& appDir)
    {
        AppDir = appDir;
        ShowByteCount = DefaultShowByteCount;
        RecvCount = 0;
    }
    // One more datagram listed; the new count. A 32-bit counter that wraps rather than
    // overflowing.
    int countReceived()
    {
        RecvCount = static_cast<int>(static_cast<unsigned>(RecvCount) + 1u);
        return RecvCount;
    }
    void resetReceived() { RecvCount = 0; }
};
