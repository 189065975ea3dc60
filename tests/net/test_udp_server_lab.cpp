// SPDX-License-Identifier: GPL-3.0-or-later
// Broadcast from the endpoint, inside the lab namespace only.
#include "net/manual_event_thread.h"
#include "net/net_exceptions.h"
#include "net/udp_server.h"
#include "support/udp_probe.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

TEST(LabBroadcast, ReachesAListenerBecauseTheOptionIsSetAtOpen)
{
    UdpProbe listener("0.0.0.0", 0);
    TUDPServer server(std::make_unique<ManualEventThread>());
    server.SetDefaultPort(0);
    server.SendDatagram(u"255.255.255.255"_s, listener.port(), "\x01", 1);
    const auto got = listener.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, "\x01"_ba);
    EXPECT_EQ(got->fromPort, server.AcquireBinding().Port);
}

TEST(LabBroadcast, IsRefusedWhenTheOptionIsOff)
{
    UdpProbe listener("0.0.0.0", 0);
    TUDPServer server(std::make_unique<ManualEventThread>());
    server.SetDefaultPort(0);
    server.BroadcastEnabled = false;
    try {
        server.SendDatagram(u"255.255.255.255"_s, listener.port(), "\x01", 1);
        FAIL() << "broadcast sent without the option";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.message(), u"Socket Error # 13\r\nAccess denied."_s);
    }
    EXPECT_FALSE(listener.receive(100));
}

TEST(LabUnicast, ReachesADeviceAddressOnTheLabLoopback)
{
    UdpProbe device("192.168.1.200", 0);
    TUDPServer server(std::make_unique<ManualEventThread>());
    server.SetDefaultPort(0);
    server.SendDatagram(u"192.168.001.200"_s, device.port(), "H", 1);
    const auto got = device.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, "H"_ba);
}

} // namespace
