#include "net/udp_listener_thread.h"

#include <QLatin1StringView>
#include <QString>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace
{

enum Slot : int { Empty, Full, InDelivery };

using Clock = std::chrono::steady_clock;

// How long each side spins on the slot before sleeping. Hand-overs to a quick handler come
// back within microseconds, and a sleep-and-wake pair costs more than that.
constexpr auto ListenerSpin = std::chrono::microseconds(50);
constexpr auto RefillSpin = std::chrono::microseconds(50);
// One posted call serves datagrams for at most this long, then lets the event loop turn.
constexpr auto ServeBudget = std::chrono::milliseconds(5);

template <class Pred> bool SpinUntil(Clock::duration limit, Pred done)
{
    const auto until = Clock::now() + limit;
    for (int i = 0;; ++i) {
        if (done())
            return true;
        if ((i & 15) == 15) {
            if (Clock::now() >= until)
                return false;
            std::this_thread::yield();
        }
    }
}

} // namespace

void enableReceiveInfo(int socket)
{
    // Best effort: without them a capture takes the present time and the bound address.
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
}

void readReceiveInfo(const msghdr& message, ReceiveInfo& info)
{
    bool timed = false;
    auto& m = const_cast<msghdr&>(message); // the macros take no const
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t{};
            std::memcpy(&t, CMSG_DATA(c), sizeof t);
            info.timeNs = static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
            timed = true;
        } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo p{};
            std::memcpy(&p, CMSG_DATA(c), sizeof p);
            info.localAddress = ntohl(p.ipi_addr.s_addr);
        }
    }
    if (!timed) {
        timespec t{};
        ::clock_gettime(CLOCK_REALTIME, &t);
        info.timeNs = static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
}

// What the listener and the event thread share. The buffer and the sender are written by the
// listener only while the slot is Empty, and read on the event thread only while it is
// InDelivery. The binding itself is touched on the event thread only. Shared ownership keeps it
// alive for a delivery that outlives the listener (a handler that closes the endpoint) and lets
// late posted calls find it gone.
struct TUDPListenerThread::Mailbox {
    std::mutex lock;
    std::condition_variable changed;
    bool stopped = false;
    bool finished = false;
    bool callQueued = false;
    std::atomic<int> slot{Empty}; // changed under the lock, read without it while spinning
    QByteArray buffer;
    uint32_t senderAddress = 0;
    uint16_t senderPort = 0;
    TSocketHandle* binding = nullptr;
    EventThread* events = nullptr;
    TDeliver deliver;

    void SetSender()
    {
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%u.%u.%u.%u", senderAddress >> 24,
                                         (senderAddress >> 16) & 0xFFu,
                                         (senderAddress >> 8) & 0xFFu, senderAddress & 0xFFu);
        const QLatin1StringView sender(text, length);
        // Only a new sender costs a new text.
        if (binding->SenderIP != sender)
            binding->SenderIP = QString(sender);
        binding->SenderPort = senderPort;
    }

    // Runs the delivery of a Full slot; called and returning with the lock held.
    void Deliver(std::unique_lock<std::mutex>& held)
    {
        slot.store(InDelivery, std::memory_order_relaxed);
        held.unlock();
        SetSender();
        try {
            if (deliver)
                deliver(buffer, *binding);
        } catch (...) {
            // A failing handler is discarded without a message; later datagrams still come.
        }
        held.lock();
        slot.store(Empty, std::memory_order_release);
        held.unlock();
        changed.notify_all();
        held.lock();
    }
};

TUDPListenerThread::TUDPListenerThread(TSocketHandle& binding, int bufferSize, EventThread& events,
                                       TDeliver deliver, ReceiveTap* tap)
    : socket_(binding.handle()), bufferSize_(bufferSize < 0 ? 0 : bufferSize),
      localPort_(static_cast<std::uint16_t>(binding.Port)), tap_(tap),
      box_(std::make_shared<Mailbox>())
{
    box_->buffer = QByteArray(bufferSize_, Qt::Uninitialized);
    box_->binding = &binding;
    box_->events = &events;
    box_->deliver = std::move(deliver);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TUDPListenerThread::~TUDPListenerThread()
{
    if (thread_.joinable()) {
        stop();
        waitFor();
    }
    if (wake_ >= 0)
        ::close(wake_);
}

void TUDPListenerThread::start()
{
    thread_ = std::thread([this] { execute(); });
}

void TUDPListenerThread::stop()
{
    {
        std::lock_guard guard(box_->lock);
        box_->stopped = true;
    }
    box_->changed.notify_all();
    if (wake_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake_, &one, sizeof one);
    }
}

bool TUDPListenerThread::stopped() const
{
    std::lock_guard guard(box_->lock);
    return box_->stopped;
}

void TUDPListenerThread::waitFor()
{
    Mailbox& box = *box_;
    std::unique_lock held(box.lock);
    while (!box.finished) {
        if (box.slot.load(std::memory_order_relaxed) == Full) {
            box.Deliver(held);
            continue;
        }
        box.changed.wait_for(held, std::chrono::milliseconds(WaitTimeMs), [&box] {
            return box.finished || box.slot.load(std::memory_order_relaxed) == Full;
        });
    }
    held.unlock();
    if (thread_.joinable())
        thread_.join();
}

void TUDPListenerThread::execute()
{
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const nfds_t count = wake_ >= 0 ? 2 : 1;
    while (!stopped()) {
        // A failed or timed-out wait is not reported; the loop just looks again.
        if (::poll(fds, count, WaitTimeMs) <= 0)
            continue;
        if ((fds[0].revents & (POLLIN | POLLERR)) == 0)
            continue;
        while (!stopped() && receiveOne()) {
        }
    }
    {
        std::lock_guard guard(box_->lock);
        box_->finished = true;
    }
    box_->changed.notify_all();
}

bool TUDPListenerThread::receiveOne()
{
    QByteArray& buffer = box_->buffer;
    // A handler that kept the last datagram shares the buffer: leave that copy to it and take
    // a fresh one, rather than copying bytes that are about to be overwritten.
    if (buffer.isDetached())
        buffer.resize(bufferSize_);
    else
        buffer = QByteArray(bufferSize_, Qt::Uninitialized);
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    // MSG_TRUNC makes the result the datagram's real length, so an oversized one is seen and
    // dropped rather than delivered cut short.
    iovec part{buffer.data(), static_cast<size_t>(bufferSize_)};
    alignas(cmsghdr) char control[ReceiveInfoControlBytes];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = fromLength;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(socket_, &message, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0)
        return errno == EINTR;
    if (n > bufferSize_)
        return true;
    buffer.resize(static_cast<qsizetype>(n));

    box_->senderAddress = ntohl(from.sin_addr.s_addr);
    box_->senderPort = ntohs(from.sin_port);
    if (tap_ != nullptr && tap_->armed()) {
        ReceiveInfo info;
        info.fromAddress = box_->senderAddress;
        info.fromPort = box_->senderPort;
        info.localPort = localPort_;
        readReceiveInfo(message, info);
        (*tap_)(buffer, info);
    }
    handOver();
    return true;
}

void TUDPListenerThread::handOver()
{
    Mailbox& box = *box_;
    bool post = false;
    {
        std::lock_guard guard(box.lock);
        if (box.stopped)
            return;
        box.slot.store(Full, std::memory_order_relaxed);
        post = !box.callQueued;
        box.callQueued = true;
    }
    box.changed.notify_all(); // a close may be waiting to serve it
    if (post)
        postServe(box_);
    if (SpinUntil(ListenerSpin,
                  [&box] { return box.slot.load(std::memory_order_acquire) == Empty; }))
        return; // the release in Deliver orders the handler's work before this

    std::unique_lock held(box.lock);
    // A delivery whose handler closes the endpoint never comes back here; leave it running.
    box.changed.wait(held, [&box] {
        const int slot = box.slot.load(std::memory_order_relaxed);
        return slot == Empty || (box.stopped && slot == InDelivery);
    });
}

void TUDPListenerThread::postServe(const std::shared_ptr<Mailbox>& box)
{
    box->events->post([weak = std::weak_ptr<Mailbox>(box)] { servePosted(weak); });
}

void TUDPListenerThread::servePosted(const std::weak_ptr<Mailbox>& weak)
{
    const std::shared_ptr<Mailbox> box = weak.lock();
    if (!box)
        return; // the listener is gone
    const auto until = Clock::now() + ServeBudget;
    std::unique_lock held(box->lock);
    // A call that runs inside a handler's nested event loop finds the slot InDelivery and
    // leaves it to the delivery in progress.
    while (box->slot.load(std::memory_order_relaxed) == Full) {
        box->Deliver(held);
        if (box->stopped || Clock::now() >= until)
            break;
        // The listener usually has the next datagram at hand: wait a moment for it instead
        // of returning to the event loop and being posted again.
        held.unlock();
        SpinUntil(RefillSpin, [&box] { return box->slot.load(std::memory_order_acquire) == Full; });
        held.lock();
    }
    const bool again = box->slot.load(std::memory_order_relaxed) == Full && !box->stopped;
    if (!again)
        box->callQueued = false;
    held.unlock();
    if (again)
        postServe(box);
}
