// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An endpoint driven by a plain event thread that the test's own thread pumps, with a
// handler that records every delivery.

#include "net/manual_event_thread.h"
#include "net/udp_server.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

struct Delivery {
    QByteArray data;
    QString senderIP;
    int senderPort = 0;
    int localPort = 0;
    std::thread::id thread;
};

class EndpointTest : public ::testing::Test
{
protected:
    EndpointTest()
    {
        auto owned = std::make_unique<ManualEventThread>();
        events = owned.get();
        server = std::make_unique<TUDPServer>(std::move(owned));
        server->SetDefaultPort(0);
        server->OnUDPRead = [this](TUDPServer& sender, const QByteArray& data,
                                   TSocketHandle& binding) {
            EXPECT_EQ(&sender, server.get());
            EXPECT_FALSE(inHandler) << "a delivery began inside another";
            inHandler = true;
            deliveries.push_back({data, binding.SenderIP, binding.SenderPort, binding.Port,
                                  std::this_thread::get_id()});
            if (extra)
                extra(data);
            inHandler = false;
        };
    }

    // Opens on a port of the system's choice and returns it.
    int Open()
    {
        server->SetActive(true);
        return server->AcquireBinding().Port;
    }

    bool WaitForDeliveries(size_t count, int timeoutMs = 3000)
    {
        return events->runUntil([&] { return deliveries.size() >= count; }, timeoutMs);
    }

    ManualEventThread* events = nullptr;
    std::unique_ptr<TUDPServer> server;
    std::vector<Delivery> deliveries;
    std::function<void(const QByteArray&)> extra;
    bool inHandler = false;
};

inline QByteArray Pattern(int size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}
