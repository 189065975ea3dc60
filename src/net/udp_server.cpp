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
#include <unistd.h>

namespace
{

// Room for bursts while the event thread is busy: at 20,000 small datagrams a second this
// holds a few hundred milliseconds of traffic. As root the system limit is passed by.
// Returns what the kernel granted (it reports twice the usable size).
int SizeReceiveBuffer(int socket)
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

void CloseSocket(int& handle)
{
    if (handle >= 0) {
        ::shutdown(handle, SHUT_WR);
        ::close(handle);
        handle = -1;
    }
}

sockaddr_in MakeAddress(uint32_t address, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port)); // low 16 bits: ports are modulo 65536
    a.sin_addr.s_addr = htonl(address);
    return a;
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
    Impl(TUDPServer& owner_, std::unique_ptr<EventThread> events_)
        : owner(owner_), events(events_ ? std::move(events_) : makeQtEventThread())
    {
    }

    void Open();
    void Close();
    void Deliver(const ReceivedDatagram& datagram, TSocketHandle& binding);

    TUDPServer& owner;
    std::unique_ptr<EventThread> events;
    int defaultPort = 7500;
    std::unique_ptr<TSocketHandle> binding; // the one entry of the bindings, from the first open
    TSocketHandle* current = nullptr;
    std::unique_ptr<TUDPListenerThread> listener;
    bool closing = false;
    const ReceivedDatagram* delivering = nullptr;
    int bufferGranted = 0;
};

void TUDPServer::Impl::Open()
{
    if (!binding)
        binding = std::make_unique<TSocketHandle>();
    TSocketHandle& b = *binding;
    b.Port = defaultPort;
    CloseSocket(b.handle_);

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
    sockaddr_in a = MakeAddress(local, b.Port);
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
    bufferGranted = SizeReceiveBuffer(b.handle_);

    current = &b;
    listener = std::make_unique<TUDPListenerThread>(
        b, owner.BufferSize, *events,
        [this](const ReceivedDatagram& datagram, TSocketHandle& receiving) {
            Deliver(datagram, receiving);
        });
    try {
        listener->start();
    } catch (...) {
        // No thread could be made: stay inactive, or a close would wait for it forever.
        listener.reset();
        current = nullptr;
        CloseSocket(b.handle_);
        throw;
    }

    const int broadcast = owner.BroadcastEnabled ? -1 : 0;
    b.SetSocketOption(SOL_SOCKET, SO_BROADCAST, &broadcast, sizeof broadcast);
}

void TUDPServer::Impl::Close()
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
        CloseSocket(binding->handle_);
    listener.reset();
    current = nullptr;
    closing = false;
}

void TUDPServer::Impl::Deliver(const ReceivedDatagram& datagram, TSocketHandle& receiving)
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
    : d(std::make_unique<Impl>(*this, std::move(eventThread)))
{
    TSocketStack::enter();
}

TUDPServer::~TUDPServer()
{
    d->Close();
    if (d->binding)
        CloseSocket(d->binding->handle_);
    d->binding.reset();
    TSocketStack::leave();
}

bool TUDPServer::Active() const
{
    return d->current != nullptr;
}

void TUDPServer::SetActive(bool value)
{
    if (value == Active())
        return;
    if (value)
        d->Open();
    else
        d->Close();
}

int TUDPServer::DefaultPort() const
{
    return d->defaultPort;
}

void TUDPServer::SetDefaultPort(int port)
{
    d->defaultPort = port;
}

TSocketHandle& TUDPServer::AcquireBinding()
{
    if (d->current == nullptr)
        d->Open();
    return *d->current;
}

const ReceivedDatagram* TUDPServer::currentDatagram() const
{
    return d->delivering;
}

int TUDPServer::receiveBufferGranted() const
{
    return d->bufferGranted;
}

void TUDPServer::SendDatagram(const QString& host, int port, const void* bytes, int count)
{
    if (count < 0)
        throw ESocketError(EINVAL);
    // A name lookup may take seconds; meanwhile datagrams are still listed and the window
    // painted, but nothing the operator does can start another command.
    const uint32_t address =
        resolveHost(host, [this](const std::function<bool()>& done, int timeoutMs) {
            d->events->runUntil(done, timeoutMs);
        });
    TSocketHandle& b = AcquireBinding();
    const sockaddr_in to = MakeAddress(address, port);
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
}
