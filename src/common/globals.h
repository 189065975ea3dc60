// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Received bytes listed per datagram until the operator chooses another count.
constexpr int DefaultShowByteCount = 53;

// The window-wide state that commands hand to each other. One instance lives in the main
// window; the pages hold a reference to it.
struct MainGlobals {
    int DeviceType = 0;    // code of the selected device type (config/device_types.h)
    QString AppDir;        // executable's folder with a trailing separator, set at connect
    int ShowByteCount = 0; // received bytes listed per datagram
    int RecvCount = 0;     // datagrams listed since the last reset
};
