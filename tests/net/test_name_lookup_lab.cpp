// SPDX-License-Identifier: GPL-3.0-or-later
// Host names against a name server that cannot be reached and one that never answers, inside
// the lab namespace with the test's own resolv.conf: the send fails as "Host not found." within
// the bound, and datagrams go on being delivered while the lookup runs.
#include "endpoint_fixture.h"
#include "support/name_server.h"
#include "support/test_helpers.h"

#include <chrono>

using namespace Qt::StringLiterals;

namespace
{

using Clock = std::chrono::steady_clock;

TEST_F(EndpointTest, NameServerUnreachableIsHostNotFound)
{
    ResolverSandbox sandbox("127.0.0.54"); // nothing listens there
    REQUIRE_RESOLVER_SANDBOX(sandbox);
    for (const char* name : {"192.168.1.2OO", "terminal-7", "no.such.host"}) {
        try {
            server->SendDatagram(QString::fromLatin1(name), 7500, "x", 1);
            ADD_FAILURE() << "sent to " << name;
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.message(), u"Socket Error # 11001\r\nHost not found."_s) << name;
        }
    }
    EXPECT_FALSE(server->Active()) << "a failed lookup opened the endpoint";
}

TEST_F(EndpointTest, SilentNameServerEndsInTimeAndDeliveriesGoOn)
{
    ResolverSandbox sandbox("127.0.0.53");
    REQUIRE_RESOLVER_SANDBOX(sandbox);
    SilentNameServer silent("127.0.0.53");
    ASSERT_TRUE(silent.listening());
    const int port = Open();
    std::thread peer([port] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        UdpProbe probe;
        probe.sendTo("127.0.0.1", port, "during"_ba);
    });
    const auto started = Clock::now();
    try {
        server->SendDatagram(u"192.168.1.2OO"_s, 7500, "x", 1);
        ADD_FAILURE() << "sent";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.code(), HostNotFoundCode);
    }
    const auto took = Clock::now() - started;
    peer.join();
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_GT(silent.queries(), 0) << "the resolver never asked the name server";
    ASSERT_EQ(deliveries.size(), 1u) << "nothing delivered while the lookup ran";
    EXPECT_EQ(deliveries[0].data, "during"_ba);
}

} // namespace
