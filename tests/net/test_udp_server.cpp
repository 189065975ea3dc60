// SPDX-License-Identifier: GPL-3.0-or-later
// The endpoint over real sockets on the loopback, its event thread pumped by the test.
#include "endpoint_fixture.h"
#include "net/net_exceptions.h"
#include "net/socket_stack.h"
#include "net/udp_listener_thread.h"
#include "support/no_new_threads.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

TEST_F(EndpointTest, StartsInactiveWithItsInitialSettings)
{
    TUDPServer fresh(std::make_unique<ManualEventThread>());
    EXPECT_FALSE(fresh.Active());
    EXPECT_EQ(fresh.DefaultPort(), 7500);
    EXPECT_EQ(fresh.BufferSize, 8192);
    EXPECT_TRUE(fresh.BroadcastEnabled);
}

struct SizeCase {
    int bufferSize;
    int size;
    bool delivered;
};

class DatagramSize : public EndpointTest, public ::testing::WithParamInterface<SizeCase>
{};

// Every datagram is followed by a marker: an oversized one must vanish without stopping the
// listener, and nothing may arrive cut short.
TEST_P(DatagramSize, WholeOrNotAtAll)
{
    const SizeCase& c = GetParam();
    server->BufferSize = c.bufferSize;
    const int port = Open();
    UdpProbe probe;
    const QByteArray payload = Pattern(c.size, 3);
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, payload));
    const QByteArray marker = "end"_ba.left(c.bufferSize); // fits every buffer
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, marker));
    ASSERT_TRUE(WaitForDeliveries(c.delivered ? 2 : 1));
    events->runFor(50);
    if (c.delivered) {
        ASSERT_EQ(deliveries.size(), 2u);
        EXPECT_EQ(deliveries[0].data.size(), c.size);
        EXPECT_EQ(deliveries[0].data, payload);
        EXPECT_EQ(deliveries[1].data, marker);
    } else {
        ASSERT_EQ(deliveries.size(), 1u);
        EXPECT_EQ(deliveries[0].data, marker);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DatagramSize,
                         ::testing::Values(SizeCase{8192, 0, true}, SizeCase{8192, 1, true},
                                           SizeCase{8192, 53, true}, SizeCase{8192, 8192, true},
                                           SizeCase{8192, 8193, false},
                                           SizeCase{8192, 65507, false}, SizeCase{16, 16, true},
                                           SizeCase{16, 17, false}, SizeCase{0, 0, true},
                                           SizeCase{0, 1, false}));

class SenderAddress : public EndpointTest, public ::testing::WithParamInterface<const char*>
{};

TEST_P(SenderAddress, AndPortsAreReported)
{
    const int port = Open();
    UdpProbe probe(GetParam());
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "x"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].senderIP, QString::fromLatin1(GetParam()));
    EXPECT_EQ(deliveries[0].senderPort, probe.port());
    EXPECT_EQ(deliveries[0].localPort, port);
    EXPECT_EQ(server->AcquireBinding().IP, u"0.0.0.0"_s);
}

INSTANTIATE_TEST_SUITE_P(Loopback, SenderAddress,
                         ::testing::Values("127.0.0.1", "127.0.0.5", "127.10.200.3"));

TEST_F(EndpointTest, SenderChangesBetweenDatagrams)
{
    const int port = Open();
    UdpProbe first("127.0.0.2");
    UdpProbe second("127.0.0.3");
    ASSERT_TRUE(first.sendTo("127.0.0.1", port, "1"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    ASSERT_TRUE(second.sendTo("127.0.0.1", port, "2"_ba));
    ASSERT_TRUE(first.sendTo("127.0.0.1", port, "3"_ba));
    ASSERT_TRUE(WaitForDeliveries(3));
    EXPECT_EQ(deliveries[0].senderIP, u"127.0.0.2"_s);
    EXPECT_EQ(deliveries[1].senderIP, u"127.0.0.3"_s);
    EXPECT_EQ(deliveries[1].senderPort, second.port());
    EXPECT_EQ(deliveries[2].senderIP, u"127.0.0.2"_s);
    EXPECT_EQ(deliveries[2].senderPort, first.port());
}

TEST_F(EndpointTest, DeliversInOrderOneAtATimeOnTheEventThread)
{
    const int port = Open();
    UdpProbe probe;
    constexpr int count = 300;
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(probe.sendTo("127.0.0.1", port, QByteArray::number(i)));
    ASSERT_TRUE(WaitForDeliveries(count, 10000));
    ASSERT_EQ(deliveries.size(), size_t{count});
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(deliveries[i].data, QByteArray::number(i));
        EXPECT_EQ(deliveries[i].thread, std::this_thread::get_id());
    }
}

// Each delivery carries its own record: where it went and when it came.
TEST_F(EndpointTest, CurrentDatagramTellsDestinationAndArrival)
{
    const int port = Open();
    EXPECT_EQ(server->currentDatagram(), nullptr);
    timespec before{};
    clock_gettime(CLOCK_REALTIME, &before);
    std::vector<ReceivedDatagram> seen;
    extra = [&](const QByteArray&) {
        ASSERT_NE(server->currentDatagram(), nullptr);
        seen.push_back(*server->currentDatagram());
    };
    UdpProbe probe("127.0.0.2");
    ASSERT_TRUE(probe.sendTo("127.0.0.3", port, "a"_ba));
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "b"_ba));
    ASSERT_TRUE(WaitForDeliveries(2));
    EXPECT_EQ(server->currentDatagram(), nullptr);
    ASSERT_EQ(seen.size(), 2u);
    const uint32_t to[] = {0x7F000003u, 0x7F000001u};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(seen[i].bytes, i == 0 ? "a"_ba : "b"_ba);
        EXPECT_EQ(seen[i].senderAddress, 0x7F000002u);
        EXPECT_EQ(seen[i].senderPort, probe.port());
        EXPECT_EQ(seen[i].localAddress, to[i]);
        EXPECT_EQ(seen[i].localPort, port);
        EXPECT_GE(seen[i].arrival.tv_sec, before.tv_sec);
        EXPECT_LE(seen[i].arrival.tv_sec, before.tv_sec + 5);
        EXPECT_EQ(seen[i].socketDrops, 0u);
    }
}

TEST_F(EndpointTest, HandlerSeesTheReceivingBindingAsCurrent)
{
    const int port = Open();
    TSocketHandle* seen = nullptr;
    extra = [&](const QByteArray&) { seen = &server->AcquireBinding(); };
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "a"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(seen, &server->AcquireBinding());
    EXPECT_EQ(seen->Port, port);
}

class ThrowingHandler : public EndpointTest,
                        public ::testing::WithParamInterface<std::function<void()>>
{};

TEST_P(ThrowingHandler, IsDiscardedAndLaterDatagramsArrive)
{
    const int port = Open();
    extra = [&](const QByteArray& data) {
        if (data == "boom"_ba) {
            inHandler = false;
            GetParam()();
        }
    };
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "boom"_ba));
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "boom"_ba));
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "after"_ba));
    ASSERT_TRUE(WaitForDeliveries(3));
    EXPECT_EQ(deliveries[2].data, "after"_ba);
    EXPECT_TRUE(server->Active());
}

INSTANTIATE_TEST_SUITE_P(Failures, ThrowingHandler,
                         ::testing::Values([] { throw Exception(u"handler failed"_s); },
                                           [] { throw ESocketError(EINVAL); },
                                           [] { throw std::runtime_error("x"); },
                                           [] { throw 42; }));

TEST_F(EndpointTest, CloseRunsAWaitingDeliveryThenEndsTheListener)
{
    const int port = Open();
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "waiting"_ba));
    // The listener has handed the datagram over once it posted; nothing has been pumped.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (events->posted() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(events->posted(), 1);
    ASSERT_TRUE(deliveries.empty());

    server->SetActive(false);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].data, "waiting"_ba);
    EXPECT_FALSE(server->Active());
    // The call posted for it finds nothing left to do.
    events->runPending();
    EXPECT_EQ(deliveries.size(), 1u);
    // The port is free again: nothing listens there any more.
    UdpProbe reuse("0.0.0.0", port);
    EXPECT_EQ(reuse.port(), port);
}

TEST_F(EndpointTest, CloseTwiceThenOpenOnAnotherPort)
{
    const int first = Open();
    server->SetActive(false);
    server->SetActive(false);
    EXPECT_FALSE(server->Active());

    const int second = freeUdpPort();
    server->SetDefaultPort(second);
    server->SetActive(true);
    ASSERT_TRUE(server->Active());
    EXPECT_EQ(server->AcquireBinding().Port, second);
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", second, "again"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].data, "again"_ba);
    UdpProbe old("0.0.0.0", first); // the first port was let go
    EXPECT_EQ(old.port(), first);
}

TEST_F(EndpointTest, HeldPortFailsAndLeavesTheEndpointInactive)
{
    UdpProbe holder("127.0.0.1", 0);
    server->SetDefaultPort(holder.port());
    try {
        server->SetActive(true);
        FAIL() << "bound a held port";
    } catch (const ECouldNotBindSocket& e) {
        EXPECT_EQ(e.message(), u"Could not bind socket. Address and port are already in use."_s);
    }
    EXPECT_FALSE(server->Active());
    EXPECT_EQ(events->posted(), 0);

    server->SetDefaultPort(0);
    server->SetActive(true);
    EXPECT_TRUE(server->Active());
    EXPECT_NE(server->AcquireBinding().Port, holder.port());
}

TEST_F(EndpointTest, NoDescriptorLeftRaisesCannotAllocateSocket)
{
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::exception_ptr failure;
    try {
        server->SetActive(true);
    } catch (...) {
        failure = std::current_exception();
    }
    // Restored before the failure is looked at: the sanitizers' checks need descriptors.
    ::setrlimit(RLIMIT_NOFILE, &saved);
    QString message;
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const EInvalidSocket& e) {
        message = e.message();
    }
    EXPECT_EQ(message, u"Cannot allocate socket."_s);
    EXPECT_FALSE(server->Active());
    server->SetActive(true);
    EXPECT_TRUE(server->Active());
}

// A listener thread that can not be made fails the open and leaves nothing open behind, so a
// later close or destruction does not wait for a thread that never ran. Threads are refused
// by running as an ordinary user with a process limit of zero (root is exempt from the limit).
TEST_F(EndpointTest, NoThreadForTheListenerLeavesTheEndpointInactive)
{
    std::exception_ptr failure;
    {
        NoNewThreads refused;
        if (!refused.engaged())
            GTEST_SKIP() << "needs root to take an ordinary user's process limit";
        try {
            server->SetActive(true);
        } catch (...) {
            failure = std::current_exception();
        }
    }

    EXPECT_TRUE(failure) << "the open went on without a listener";
    const bool active = server->Active();
    EXPECT_FALSE(active);
    if (active) {
        // Its close would wait for the listener forever; give the endpoint up instead.
        (void)server.release();
        return;
    }
    const int bound = server->AcquireBinding().Port; // the reopen binds and listens as usual
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", bound, "after"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].data, "after"_ba);
}

struct LocalAddressCase {
    const char* ip;
    const char* reported; // nullptr: the open fails
};

class LocalAddress : public EndpointTest, public ::testing::WithParamInterface<LocalAddressCase>
{};

TEST_P(LocalAddress, IsBoundAndReadBack)
{
    Open();
    server->SetActive(false);
    server->AcquireBinding(); // reopens; the binding object stays the same
    TSocketHandle& binding = server->AcquireBinding();
    server->SetActive(false);
    binding.IP = QString::fromUtf8(GetParam().ip);
    if (GetParam().reported == nullptr) {
        try {
            server->SetActive(true);
            FAIL() << "bound " << GetParam().ip;
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.message(), u"Socket Error # 99\r\nCannot assign requested address."_s);
        }
        EXPECT_FALSE(server->Active());
        return;
    }
    server->SetActive(true);
    EXPECT_EQ(&server->AcquireBinding(), &binding);
    EXPECT_EQ(binding.IP, QString::fromUtf8(GetParam().reported));
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo(GetParam().reported, binding.Port, "local"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].data, "local"_ba);
}

INSTANTIATE_TEST_SUITE_P(Texts, LocalAddress,
                         ::testing::Values(LocalAddressCase{"127.0.0.1", "127.0.0.1"},
                                           LocalAddressCase{"127.000.0.007", "127.0.0.7"},
                                           LocalAddressCase{"0.0.0.0", "0.0.0.0"},
                                           LocalAddressCase{"no address", nullptr},
                                           LocalAddressCase{"192.0.2.1", nullptr}));

class PortModulo : public EndpointTest, public ::testing::WithParamInterface<int>
{};

TEST_P(PortModulo, BindsAndSendsTheLow16Bits)
{
    const int port = freeUdpPort();
    server->SetDefaultPort(port + GetParam());
    server->SetActive(true);
    EXPECT_EQ(server->AcquireBinding().Port, port);

    UdpProbe probe;
    server->SendDatagram(u"127.0.0.1"_s, probe.port() + GetParam(), "m", 1);
    const auto got = probe.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, "m"_ba);
    EXPECT_EQ(got->fromPort, port);
}

INSTANTIATE_TEST_SUITE_P(Offsets, PortModulo, ::testing::Values(65536, 131072, -65536));

TEST_F(EndpointTest, SendWhileInactiveOpensOnTheDefaultPortFirst)
{
    const int port = freeUdpPort();
    server->SetDefaultPort(port);
    UdpProbe probe;
    const char bytes[] = {0x48, 0x00, char(0xC0)};
    server->SendDatagram(u"127.0.0.1"_s, probe.port(), bytes, 3);
    EXPECT_TRUE(server->Active());
    const auto got = probe.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, QByteArray(bytes, 3));
    EXPECT_EQ(got->fromPort, port);
    // The listener was started too: an answer comes back.
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "answer"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].data, "answer"_ba);
}

TEST_F(EndpointTest, EmptyDatagramIsSent)
{
    UdpProbe probe;
    server->SendDatagram(u"127.0.0.1"_s, probe.port(), nullptr, 0);
    const auto got = probe.receive();
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->data.isEmpty());
}

class HostText : public EndpointTest, public ::testing::WithParamInterface<const char*>
{};

TEST_P(HostText, ReachesTheLoopback)
{
    UdpProbe probe;
    server->SendDatagram(QString::fromUtf8(GetParam()), probe.port(), "h", 1);
    const auto got = probe.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, "h"_ba);
}

INSTANTIATE_TEST_SUITE_P(Texts, HostText,
                         ::testing::Values("LoCaLhOsT", "localhost", "127.0.0.1", "127.000.0.001",
                                           " 127.0.0.1", "$7F.0.0.1"));

class UnknownHost : public EndpointTest, public ::testing::WithParamInterface<const char*>
{};

TEST_P(UnknownHost, FailsBeforeOpening)
{
    try {
        server->SendDatagram(QString::fromUtf8(GetParam()), 7500, "h", 1);
        FAIL() << "sent to " << GetParam();
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.code(), 11001);
        EXPECT_EQ(e.message(), u"Socket Error # 11001\r\nHost not found."_s);
    }
    EXPECT_FALSE(server->Active());
}

INSTANTIATE_TEST_SUITE_P(Texts, UnknownHost, ::testing::Values("1.2.3", "1.2.3.4.5", ""));

struct SendFailure {
    int count;
    const char* message;
};

class SendFails : public EndpointTest, public ::testing::WithParamInterface<SendFailure>
{};

TEST_P(SendFails, WithItsOwnMessage)
{
    UdpProbe probe;
    const QByteArray big(70000, 'b');
    try {
        server->SendDatagram(u"127.0.0.1"_s, probe.port(), big.constData(), GetParam().count);
        FAIL() << "sent " << GetParam().count;
    } catch (const ENetException& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8(GetParam().message));
    }
    EXPECT_FALSE(probe.receive(50));
}

INSTANTIATE_TEST_SUITE_P(Counts, SendFails,
                         ::testing::Values(SendFailure{65508, "Package Size Too Big."},
                                           SendFailure{70000, "Package Size Too Big."},
                                           SendFailure{-1,
                                                       "Socket Error # 22\r\nInvalid argument."}));

TEST_F(EndpointTest, LargestDatagramIsSentWhole)
{
    UdpProbe probe;
    const QByteArray big = Pattern(65507);
    server->SendDatagram(u"127.0.0.1"_s, probe.port(), big.constData(), big.size());
    const auto got = probe.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, big);
}

int IntOption(int socket, int level, int option)
{
    int value = 0;
    socklen_t length = sizeof value;
    EXPECT_EQ(::getsockopt(socket, level, option, &value, &length), 0);
    return value;
}

class BroadcastOption : public EndpointTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(BroadcastOption, IsAppliedAtEveryOpen)
{
    server->BroadcastEnabled = GetParam();
    for (int round = 0; round < 2; ++round) {
        Open();
        EXPECT_EQ(IntOption(server->AcquireBinding().handle(), SOL_SOCKET, SO_BROADCAST) != 0,
                  GetParam());
        server->SetActive(false);
    }
}

INSTANTIATE_TEST_SUITE_P(Both, BroadcastOption, ::testing::Bool());

TEST_F(EndpointTest, SetSocketOptionSetsOrRaisesTheSystemsCode)
{
    TSocketHandle& binding = server->AcquireBinding();
    const int ttl = 32;
    binding.SetSocketOption(IPPROTO_IP, IP_MULTICAST_TTL, &ttl, 4);
    EXPECT_EQ(IntOption(binding.handle(), IPPROTO_IP, IP_MULTICAST_TTL), 32);
    try {
        binding.SetSocketOption(SOL_SOCKET, 12345, &ttl, 4);
        FAIL() << "unknown option accepted";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.message(), u"Socket Error # 92\r\nBad protocol option."_s);
    }
}

TEST_F(EndpointTest, HandlerThatClosesTheEndpointEndsDeliveries)
{
    const int port = Open();
    extra = [&](const QByteArray&) { server->SetActive(false); };
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "first"_ba));
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "second"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    events->runFor(100);
    EXPECT_EQ(deliveries.size(), 1u);
    EXPECT_FALSE(server->Active());
    extra = nullptr;
    server->SetDefaultPort(port);
    server->SetActive(true);
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "third"_ba));
    ASSERT_TRUE(WaitForDeliveries(2));
    EXPECT_EQ(deliveries[1].data, "third"_ba);
}

TEST_F(EndpointTest, HandlerThatSendsAnswersFromTheBinding)
{
    const int port = Open();
    extra = [&](const QByteArray& data) {
        server->SendDatagram(u"127.0.0.1"_s, deliveries.back().senderPort, data.constData(),
                             static_cast<int>(data.size()));
    };
    UdpProbe probe;
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "echo"_ba));
    ASSERT_TRUE(WaitForDeliveries(1));
    const auto got = probe.receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data, "echo"_ba);
    EXPECT_EQ(got->fromPort, port);
}

// Forwards to an event thread that outlives the endpoint, as a long-lived loop would.
class SharedEvents : public EventThread
{
public:
    explicit SharedEvents(ManualEventThread& target) : target_(target) {}
    void post(std::function<void()> call) override { target_.post(std::move(call)); }

private:
    ManualEventThread& target_;
};

TEST(EndpointLifetime, CallsQueuedAfterDestructionDoNothing)
{
    ManualEventThread loop;
    int delivered = 0;
    {
        TUDPServer server(std::make_unique<SharedEvents>(loop));
        server.SetDefaultPort(0);
        server.OnUDPRead = [&](TUDPServer&, const QByteArray&, TSocketHandle&) { ++delivered; };
        server.SetActive(true);
        UdpProbe probe;
        ASSERT_TRUE(probe.sendTo("127.0.0.1", server.AcquireBinding().Port, "late"_ba));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (loop.posted() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(loop.posted(), 1);
    } // the close inside destruction delivers the waiting datagram
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(loop.runPending(), 1);
    EXPECT_EQ(delivered, 1);
}

TEST(EndpointLifetime, SocketLayerCountsEndpoints)
{
    const int before = TSocketStack::endpointCount();
    {
        TUDPServer a(std::make_unique<ManualEventThread>());
        TUDPServer b(std::make_unique<ManualEventThread>());
        EXPECT_EQ(TSocketStack::endpointCount(), before + 2);
    }
    EXPECT_EQ(TSocketStack::endpointCount(), before);
}

TEST(EndpointLifetime, DestroyingAnOpenEndpointFreesItsPort)
{
    int port = 0;
    {
        TUDPServer server(std::make_unique<ManualEventThread>());
        server.SetDefaultPort(0);
        server.SetActive(true);
        port = server.AcquireBinding().Port;
    }
    UdpProbe reuse("0.0.0.0", port);
    EXPECT_EQ(reuse.port(), port);
}

} // namespace
