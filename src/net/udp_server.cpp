// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/udp_server.h"

#include "net/net_address.h"
#include "net/socket_stack.h"
#include "net/udp_listener_thread.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace
{

// Room for bursts while the event thread is busy: at 20,000 small datagrams a second this
// holds a few hundred milliseconds of traffic. As root the system limit is passed by.
// Returns what the kernel granted (it reports twice the usable size).
int sizeReceiveBuffer(int socket)
{
    const int bytes = TUDPServer::ReceiveBufferAsked;
    if (::setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    return granted / 2;
}

void closeSocket(int& handle)
{
    if (handle >= 0) {
        ::shutdown(handle, SHUT_WR);
        ::close(handle);
        handle = -1;
    }
}

sockaddr_in makeAddress(uint32_t address, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port)); // low 16 bits: ports are modulo 65536
    a.sin_addr.s_addr = htonl(address);
    return a;
}

// The source address the kernel gives a datagram to this destination from a socket bound to
// all interfaces: the route's preferred source, as the receiver sees it. Connecting a UDP
// socket sends nothing; it only looks the route up. 0 when there is no route.
uint32_t routeSource(uint32_t to, int port)
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return 0;
    const int on = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_BROADCAST, &on, sizeof on); // a broadcast has a route too
    const sockaddr_in destination = makeAddress(to, port);
    uint32_t source = 0;
    if (::connect(probe, reinterpret_cast<const sockaddr*>(&destination), sizeof destination) ==
        0) {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0)
            source = ntohl(local.sin_addr.s_addr);
    }
    ::close(probe);
    return source;
}

} // namespace

bool EventThread::runUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

struct TUDPServer::Impl {
    Impl(TUDPServer& server, std::unique_ptr<EventThread> eventThread)
        : owner(server), events(eventThread ? std::move(eventThread) : makeQtEventThread())
    {
    }

    void open();
    void close();
    void deliver(const ReceivedDatagram& datagram, TSocketHandle& binding);

    TUDPServer& owner;
    std::unique_ptr<EventThread> events;
    int defaultPort = 7500;
    std::unique_ptr<TSocketHandle> binding; // the one entry of the bindings, from the first open
    TSocketHandle* current = nullptr;
    std::unique_ptr<TUDPListenerThread> listener;
    ReceiveTap tap;
    bool closing = false;
    const ReceivedDatagram* delivering = nullptr;
    int bufferGranted = 0;
};

void TUDPServer::Impl::open()
{
    if (!binding)
        binding = std::make_unique<TSocketHandle>();
    TSocketHandle& b = *binding;
    b.Port = defaultPort;
    closeSocket(b.handle_);

    b.handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (b.handle_ < 0)
        throw EInvalidSocket();

    uint32_t local = INADDR_ANY;
    if (!b.IP.isEmpty()) {
        const auto quad = parseDottedQuad(b.IP);
        if (!quad) {
            ::close(b.handle_);
            b.handle_ = -1;
            throw ESocketError(EADDRNOTAVAIL);
        }
        local = *quad;
    }
    sockaddr_in a = makeAddress(local, b.Port);
    if (::bind(b.handle_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        const int error = errno;
        // The failed attempt's socket goes at once; nothing is left behind.
        ::close(b.handle_);
        b.handle_ = -1;
        if (error == EADDRINUSE)
            throw ECouldNotBindSocket();
        throw ESocketError(error);
    }
    socklen_t length = sizeof a;
    if (::getsockname(b.handle_, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
        b.IP = formatDottedQuad(ntohl(a.sin_addr.s_addr));
        b.Port = ntohs(a.sin_port);
    }
    bufferGranted = sizeReceiveBuffer(b.handle_);

    current = &b;
    listener = std::make_unique<TUDPListenerThread>(
        b, owner.BufferSize, *events,
        [this](const ReceivedDatagram& datagram, TSocketHandle& receiving) {
            deliver(datagram, receiving);
        },
        &tap);
    try {
        listener->start();
    } catch (...) {
        // No thread could be made: stay inactive, or a close would wait for it forever.
        listener.reset();
        current = nullptr;
        closeSocket(b.handle_);
        throw;
    }

    const int broadcast = owner.BroadcastEnabled ? -1 : 0;
    b.SetSocketOption(SOL_SOCKET, SO_BROADCAST, &broadcast, sizeof broadcast);
}

void TUDPServer::Impl::close()
{
    // A handler run by the close wait may write Active false again; the outer close finishes.
    if (closing || (current == nullptr && listener == nullptr))
        return;
    closing = true;
    if (listener) {
        listener->stop();
        // Only after the listener has ended is the socket closed, so its number is never
        // reused under a thread still waiting on it.
        listener->waitFor();
    }
    if (binding)
        closeSocket(binding->handle_);
    listener.reset();
    current = nullptr;
    closing = false;
}

void TUDPServer::Impl::deliver(const ReceivedDatagram& datagram, TSocketHandle& receiving)
{
    current = &receiving;
    if (!owner.OnUDPRead)
        return;
    // Restored on the way out also for a handler that runs a nested loop or fails.
    struct Scope {
        const ReceivedDatagram*& slot;
        const ReceivedDatagram* before;
        ~Scope() { slot = before; }
    } scope{delivering, delivering};
    delivering = &datagram;
    owner.OnUDPRead(owner, datagram.bytes, receiving);
}

TUDPServer::TUDPServer(std::unique_ptr<EventThread> eventThread)
    : d_(std::make_unique<Impl>(*this, std::move(eventThread)))
{
    TSocketStack::enter();
}

TUDPServer::~TUDPServer()
{
    d_->close();
    if (d_->binding)
        closeSocket(d_->binding->handle_);
    d_->binding.reset();
    TSocketStack::leave();
}

bool TUDPServer::Active() const
{
    return d_->current != nullptr;
}

void TUDPServer::SetActive(bool value)
{
    if (value == Active())
        return;
    if (value)
        d_->open();
    else
        d_->close();
}

int TUDPServer::DefaultPort() const
{
    return d_->defaultPort;
}

void TUDPServer::SetDefaultPort(int port)
{
    d_->defaultPort = port;
}

TSocketHandle& TUDPServer::AcquireBinding()
{
    if (d_->current == nullptr)
        d_->open();
    return *d_->current;
}

ReceiveTap& TUDPServer::receiveTap()
{
    return d_->tap;
}

const ReceivedDatagram* TUDPServer::currentDatagram() const
{
    return d_->delivering;
}

int TUDPServer::receiveBufferGranted() const
{
    return d_->bufferGranted;
}

void TUDPServer::SendDatagram(const QString& host, int port, const void* bytes, int count,
                              const char* purpose)
{
    if (count < 0)
        throw ESocketError(EINVAL);
    // A name lookup may take seconds; meanwhile datagrams are still listed and the window
    // painted, but nothing the operator does can start another command.
    const uint32_t address =
        resolveHost(host, [this](const std::function<bool()>& done, int timeoutMs) {
            d_->events->runUntil(done, timeoutMs);
        });
    TSocketHandle& b = AcquireBinding();
    const sockaddr_in to = makeAddress(address, port);
    const ssize_t sent = ::sendto(b.handle_, bytes, static_cast<size_t>(count), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent < 0) {
        const int error = errno;
        if (error == EMSGSIZE)
            throw EPackageSizeTooBig();
        throw ESocketError(error);
    }
    if (sent < count)
        throw ENotAllBytesSent();
    if (onSent) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        SentDatagram record;
        record.timeNs = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
        record.localAddress = parseDottedQuad(b.IP).value_or(0);
        if (record.localAddress == 0)
            record.localAddress = routeSource(address, port);
        record.localPort = static_cast<std::uint16_t>(b.Port);
        record.toAddress = address;
        record.toPort = static_cast<std::uint16_t>(port);
        record.bytes = QByteArrayView(static_cast<const char*>(bytes), count);
        record.purpose = purpose;
        onSent(record);
    }
}
