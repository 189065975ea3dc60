// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

// The process's socket layer: made when the first endpoint is created and freed when the last
// one goes. Linux needs no library start-up, so it only keeps the count under its lock.
class TSocketStack
{
public:
    // Registers one endpoint; the first one makes the layer.
    static void enter();
    // Unregisters one endpoint; the last one frees the layer.
    static void leave();
    // Endpoints registered now.
    static int endpointCount();

private:
    static std::mutex& lock();
    static int count_;
};
