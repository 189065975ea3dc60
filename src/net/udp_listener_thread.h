#pragma once

#include "net/socket_handle.h"
#include "net/udp_server.h"

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct msghdr;

// What the kernel tells about a received datagram besides its bytes: its arrival time and
// the addresses on both ends (host order).
struct ReceiveInfo {
    std::int64_t timeNs = 0; // since 1970, UTC
    std::uint32_t fromAddress = 0;
    std::uint16_t fromPort = 0;
    std::uint32_t localAddress = 0; // the datagram's destination, as addressed
    std::uint16_t localPort = 0;
};

// Asks the kernel for each datagram's arrival time and destination address.
void enableReceiveInfo(int socket);
// Room recvmsg needs for the control messages enableReceiveInfo asks for.
constexpr std::size_t ReceiveInfoControlBytes = 128;
// Fills the time and local address of info from a received message's control messages;
// without a time, the present one.
void readReceiveInfo(const msghdr& message, ReceiveInfo& info);

// A listener of received datagrams other than the handler, called on the listener thread
// with every datagram before its hand-over; it must only queue. Set and cleared from any
// thread: once set() returns, the earlier tap is no longer being called.
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

// The thread that waits on one binding's socket, receives each datagram into its buffer and
// hands it to the event thread, blocking until it has been delivered there. So datagrams
// reach the handler one at a time, in arrival order, each before the next is received.
class TUDPListenerThread
{
public:
    // Runs on the event thread with the received bytes and the receiving binding.
    using TDeliver = std::function<void(const QByteArray& data, TSocketHandle& binding)>;

    static constexpr int WaitTimeMs = 1000;

    // Created suspended; Start runs it. The binding, its socket and events must outlive it.
    TUDPListenerThread(TSocketHandle& binding, int bufferSize, EventThread& events,
                       TDeliver deliver, ReceiveTap* tap = nullptr);
    // Stops it and waits for its end (serving hand-overs) if it still runs.
    ~TUDPListenerThread();
    TUDPListenerThread(const TUDPListenerThread&) = delete;
    TUDPListenerThread& operator=(const TUDPListenerThread&) = delete;

    void start();
    // Sets the terminated and stopped flags under the lock and wakes the thread; it receives
    // nothing more. A hand-over already made is still delivered by WaitFor.
    void stop();
    bool stopped() const;
    // Event thread only: waits until the thread has ended, carrying out the hand-overs it
    // makes meanwhile.
    void waitFor();

private:
    struct Mailbox;

    void execute();
    // Receives one queued datagram and hands it over; false when none was queued.
    bool receiveOne();
    void handOver();

    static void servePosted(const std::weak_ptr<Mailbox>& weak);
    static void postServe(const std::shared_ptr<Mailbox>& box);

    const int socket_;
    const int bufferSize_;
    const std::uint16_t localPort_;
    ReceiveTap* tap_;
    int wake_ = -1;
    std::shared_ptr<Mailbox> box_;
    std::thread thread_;
};
