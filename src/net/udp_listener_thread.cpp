// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/udp_listener_thread.h"

#include <QLatin1StringView>
#include <QString>
#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <linux/sock_diag.h>
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

// One posted call delivers for at most this long, then lets the event loop turn (paint,
// timers, input) and goes on in a call of its own.
constexpr auto ServeBudget = std::chrono::milliseconds(5);

// Room for the three control messages asked for, with their headers.
constexpr size_t ControlBytes =
    CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(uint32_t));

void readControl(msghdr& header, ReceivedDatagram& out)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            std::memcpy(&out.arrival, CMSG_DATA(c), sizeof out.arrival);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            std::memcpy(&out.socketDrops, CMSG_DATA(c), sizeof out.socketDrops);
        } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            out.localAddress = ntohl(info.ipi_addr.s_addr);
        }
    }
}

} // namespace

// The listener's own receive headers, made once and reused for every batch.
struct TUDPListenerThread::ReceiveArea {
    mmsghdr messages[BatchSize]{};
    iovec vectors[BatchSize]{};
    sockaddr_in names[BatchSize]{};
    alignas(cmsghdr) char control[BatchSize][ControlBytes]{};
};

// What the listener and the event thread share. The batch is written by the listener only
// while the slot is Empty, and read on the event thread only while it is Full or InDelivery.
// The binding itself is touched on the event thread only. Shared ownership keeps it alive for
// a delivery that outlives the listener (a handler that closes the endpoint) and lets late
// posted calls find it gone.
struct TUDPListenerThread::Mailbox {
    std::mutex lock;
    std::condition_variable changed;
    bool stopped = false;
    bool finished = false;
    bool callQueued = false;
    int slot = Empty;
    std::vector<ReceivedDatagram> batch; // BatchSize entries; the first count are handed over
    int count = 0;
    int next = 0; // the next one to deliver
    TSocketHandle* binding = nullptr;
    EventThread* events = nullptr;
    TDeliver deliver;

    void setSender(const ReceivedDatagram& d)
    {
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%u.%u.%u.%u", d.senderAddress >> 24,
                                         (d.senderAddress >> 16) & 0xFFu,
                                         (d.senderAddress >> 8) & 0xFFu, d.senderAddress & 0xFFu);
        const QLatin1StringView sender(text, length);
        // Only a new sender costs a new text.
        if (binding->SenderIP != sender)
            binding->SenderIP = QString(sender);
        binding->SenderPort = d.senderPort;
    }

    // Delivers the batch from next on, one datagram at a time; called and returning with the
    // lock held. Stops early when the budget is spent (the slot stays Full) or when a handler
    // stopped the listener outside the close wait (the rest go with the socket).
    void deliverBatch(std::unique_lock<std::mutex>& held, bool closing, Clock::time_point until)
    {
        while (next < count && (closing || !stopped)) {
            const ReceivedDatagram& d = batch[static_cast<size_t>(next++)];
            slot = InDelivery;
            held.unlock();
            setSender(d);
            try {
                if (deliver)
                    deliver(d, *binding);
            } catch (...) {
                // A failing handler is discarded without a message; later datagrams still come.
            }
            held.lock();
            slot = Full;
            if (!closing && Clock::now() >= until)
                break;
        }
        if (next >= count || (stopped && !closing)) {
            slot = Empty;
            held.unlock();
            changed.notify_all();
            held.lock();
        }
    }
};

TUDPListenerThread::TUDPListenerThread(TSocketHandle& binding, int bufferSize, EventThread& events,
                                       TDeliver deliver, ReceiveTap* tap)
    : socket_(binding.handle()), bufferSize_(bufferSize < 0 ? 0 : bufferSize),
      localPort_(static_cast<uint16_t>(binding.Port)), tap_(tap), box_(std::make_shared<Mailbox>())
{
    box_->batch.resize(BatchSize);
    for (ReceivedDatagram& d : box_->batch)
        d.bytes = QByteArray(bufferSize_, Qt::Uninitialized);
    box_->binding = &binding;
    box_->events = &events;
    box_->deliver = std::move(deliver);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // What each datagram carries besides its bytes. A kernel that refuses one leaves that
    // field zero; receiving goes on.
    const int on = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    ::setsockopt(socket_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    ::setsockopt(socket_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
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
        if (box.slot == Full) {
            box.deliverBatch(held, true, Clock::time_point::max());
            continue;
        }
        box.changed.wait_for(held, std::chrono::milliseconds(WaitTimeMs),
                             [&box] { return box.finished || box.slot == Full; });
    }
    held.unlock();
    if (thread_.joinable())
        thread_.join();
}

void TUDPListenerThread::execute()
{
    auto area = std::make_unique<ReceiveArea>();
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const nfds_t count = wake_ >= 0 ? 2 : 1;
    while (!stopped()) {
        // A failed or timed-out wait is not reported; the loop just looks again.
        if (::poll(fds, count, WaitTimeMs) <= 0)
            continue;
        if ((fds[0].revents & (POLLIN | POLLERR)) == 0)
            continue;
        while (!stopped() && receiveBatch(*area)) {
        }
    }
    {
        std::lock_guard guard(box_->lock);
        box_->finished = true;
    }
    box_->changed.notify_all();
}

bool TUDPListenerThread::receiveBatch(ReceiveArea& area)
{
    std::vector<ReceivedDatagram>& batch = box_->batch;
    for (int i = 0; i < BatchSize; ++i) {
        QByteArray& buffer = batch[static_cast<size_t>(i)].bytes;
        // A handler that kept a datagram shares its buffer: leave that copy to it and take a
        // fresh one, rather than copying bytes that are about to be overwritten.
        if (buffer.isDetached())
            buffer.resize(bufferSize_);
        else
            buffer = QByteArray(bufferSize_, Qt::Uninitialized);
        area.vectors[i] = {buffer.data(), static_cast<size_t>(bufferSize_)};
        msghdr& h = area.messages[i].msg_hdr;
        h = {};
        h.msg_name = &area.names[i];
        h.msg_namelen = sizeof area.names[i];
        h.msg_iov = &area.vectors[i];
        h.msg_iovlen = 1;
        h.msg_control = area.control[i];
        h.msg_controllen = ControlBytes;
    }
    // MSG_TRUNC makes each length the datagram's real one, so an oversized datagram is seen
    // and dropped rather than delivered cut short.
    const int n = ::recvmmsg(socket_, area.messages, BatchSize, MSG_DONTWAIT | MSG_TRUNC, nullptr);
    if (n < 0)
        return errno == EINTR;
    if (n == 0)
        return false;
    // The count a datagram carries is the socket's as it was queued, so drops after the last
    // one queued would stay unknown until another comes; the socket's present count, read once
    // a batch, covers them.
    uint32_t meminfo[SK_MEMINFO_VARS] = {};
    socklen_t meminfoLength = sizeof meminfo;
    const bool haveDrops =
        ::getsockopt(socket_, SOL_SOCKET, SO_MEMINFO, meminfo, &meminfoLength) == 0 &&
        meminfoLength > SK_MEMINFO_DROPS * sizeof(uint32_t);
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        const mmsghdr& m = area.messages[i];
        ReceivedDatagram& d = batch[static_cast<size_t>(i)];
        if (m.msg_len > static_cast<unsigned>(bufferSize_) || (m.msg_hdr.msg_flags & MSG_TRUNC))
            continue;
        d.bytes.resize(static_cast<qsizetype>(m.msg_len));
        d.senderAddress = ntohl(area.names[i].sin_addr.s_addr);
        d.senderPort = ntohs(area.names[i].sin_port);
        d.localPort = localPort_;
        d.localAddress = 0;
        d.arrival = {};
        d.socketDrops = 0;
        readControl(area.messages[i].msg_hdr, d);
        if (haveDrops)
            d.socketDrops = std::max(d.socketDrops, meminfo[SK_MEMINFO_DROPS]);
        if (kept != i)
            std::swap(batch[static_cast<size_t>(kept)], d);
        ++kept;
    }
    box_->count = kept;
    if (tap_ != nullptr && tap_->armed())
        tapBatch(kept);
    if (kept > 0)
        handOver();
    return true;
}

void TUDPListenerThread::tapBatch(int count)
{
    for (int i = 0; i < count; ++i) {
        const ReceivedDatagram& d = box_->batch[static_cast<size_t>(i)];
        ReceiveInfo info;
        timespec t = d.arrival;
        // Without the kernel's time (the option refused) the present time stands in.
        if (t.tv_sec == 0 && t.tv_nsec == 0)
            ::clock_gettime(CLOCK_REALTIME, &t);
        info.timeNs = static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
        info.fromAddress = d.senderAddress;
        info.fromPort = d.senderPort;
        info.localAddress = d.localAddress;
        info.localPort = d.localPort;
        (*tap_)(d.bytes, info);
    }
}

void TUDPListenerThread::handOver()
{
    Mailbox& box = *box_;
    bool post = false;
    std::unique_lock held(box.lock);
    if (box.stopped)
        return;
    box.slot = Full;
    box.next = 0;
    post = !box.callQueued;
    box.callQueued = true;
    held.unlock();
    box.changed.notify_all(); // a close may be waiting to serve it
    if (post)
        postServe(box_);
    held.lock();
    // A delivery whose handler closes the endpoint never comes back here; leave it running.
    box.changed.wait(
        held, [&box] { return box.slot == Empty || (box.stopped && box.slot == InDelivery); });
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
    std::unique_lock held(box->lock);
    // A call that runs inside a handler's nested event loop finds the slot InDelivery and
    // leaves the batch to the delivery in progress.
    if (box->slot == Full)
        box->deliverBatch(held, false, Clock::now() + ServeBudget);
    const bool again = box->slot == Full && !box->stopped;
    if (!again)
        box->callQueued = false;
    held.unlock();
    if (again)
        postServe(box);
}
