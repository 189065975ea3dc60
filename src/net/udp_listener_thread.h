#pragma once

#include "net/socket_handle.h"
#include "net/udp_server.h"

#include <QByteArray>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
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
    static constexpr int BatchSize = 64;

    // Created suspended; start() runs it. The binding, its socket and events must outlive it.
    // Asks the socket for each datagram's arrival time, its destination and the drop count.
    TUDPListenerThread(TSocketHandle& binding, int bufferSize, EventThread& events,
                       TDeliver deliver);
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
    void handOver();

    static void servePosted(const std::weak_ptr<Mailbox>& weak);
    static void postServe(const std::shared_ptr<Mailbox>& box);

    const int socket_;
    const int bufferSize_;
    const uint16_t localPort_;
    int wake_ = -1;
    std::shared_ptr<Mailbox> box_;
    std::thread thread_;
};
