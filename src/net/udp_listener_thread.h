// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/socket_handle.h"
#include "net/udp_server.h"

#include <QByteArray>
#include <cstdint>
#include <ctime>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One datagram as the kernel handed it over: its bytes and what the socket knew about it.
// Addresses and ports are in host byte order.
struct ReceivedDatagram {
    QByteArray bytes;
    uint32_t senderAddress = 0;
    uint16_t senderPort = 0;
    uint32_t localAddress = 0; // the address it was sent to (a broadcast stays a broadcast)
    uint16_t localPort = 0;
    timespec arrival{}; // the kernel's receive time, on the real-time clock
    // The kernel's count of datagrams this socket dropped for want of room, as of the batch
    // this one came in.
    uint32_t socketDrops = 0;
};

// What a recorder is told about a received datagram besides its bytes: its arrival time and
// the addresses on both ends (host order).
struct ReceiveInfo {
    std::int64_t timeNs = 0; // since 1970, UTC
    std::uint32_t fromAddress = 0;
    std::uint16_t fromPort = 0;
    std::uint32_t localAddress = 0; // the datagram's destination, as addressed
    std::uint16_t localPort = 0;
};

// A listener of received datagrams other than the handler, called on the listener thread
// with every datagram of a batch before its hand-over; it must only queue. Set and cleared
// from any thread: once set() returns, the earlier tap is no longer being called.
class ReceiveTap
{
public:
    using Call = std::function<void(const QByteArray& data, const ReceiveInfo& info)>;
    void set(Call call)
    {
        std::lock_guard guard(lock_);
        call_ = std::move(call);
        armed_.store(static_cast<bool>(call_), std::memory_order_release);
    }
    void operator()(const QByteArray& data, const ReceiveInfo& info)
    {
        if (!armed_.load(std::memory_order_acquire))
            return;
        std::lock_guard guard(lock_);
        if (call_)
            call_(data, info);
    }
    bool armed() const { return armed_.load(std::memory_order_acquire); }

private:
    std::mutex lock_;
    Call call_;
    std::atomic<bool> armed_{false};
};

// The thread that waits on one binding's socket, receives what is queued there (up to
// BatchSize datagrams a wake) and hands the batch to the event thread in one queued call,
// blocking until the batch has been delivered. The handler still sees one datagram at a time,
// in arrival order, each before the next; only the wake-ups are shared.
class TUDPListenerThread
{
public:
    // Runs on the event thread with one received datagram and the receiving binding.
    using TDeliver = std::function<void(const ReceivedDatagram& datagram, TSocketHandle& binding)>;

    static constexpr int WaitTimeMs = 1000;
    // Each hand-over costs two wake-ups across threads, and on a busy machine each can wait a
    // scheduler slice of some milliseconds: with a backlog, the datagrams a wake bound the rate.
    static constexpr int BatchSize = 256;

    // Created suspended; start() runs it. The binding, its socket and events must outlive it.
    // Asks the socket for each datagram's arrival time, its destination and the drop count.
    // A tap, when given, sees every datagram on this thread before the hand-over.
    TUDPListenerThread(TSocketHandle& binding, int bufferSize, EventThread& events,
                       TDeliver deliver, ReceiveTap* tap = nullptr);
    // Stops it and waits for its end (serving hand-overs) if it still runs.
    ~TUDPListenerThread();
    TUDPListenerThread(const TUDPListenerThread&) = delete;
    TUDPListenerThread& operator=(const TUDPListenerThread&) = delete;

    void start();
    // Sets the stopped flag under the lock and wakes the thread; it receives nothing more. A
    // batch already handed over is still delivered by waitFor(), unless a handler of that batch
    // is the one stopping it: the rest of the batch then goes with the socket.
    void stop();
    bool stopped() const;
    // Event thread only: waits until the thread has ended, carrying out the hand-overs it
    // makes meanwhile.
    void waitFor();

private:
    struct Mailbox;
    struct ReceiveArea;

    void execute();
    // Receives what is queued (up to a batch) and hands it over; false when nothing was.
    bool receiveBatch(ReceiveArea& area);
    // Shows the first count datagrams of the batch to the tap.
    void tapBatch(int count);
    void handOver();

    static void servePosted(const std::weak_ptr<Mailbox>& weak);
    static void postServe(const std::shared_ptr<Mailbox>& box);

    const int socket_;
    const int bufferSize_;
    const uint16_t localPort_;
    ReceiveTap* tap_;
    int wake_ = -1;
    std::shared_ptr<Mailbox> box_;
    std::thread thread_;
};
