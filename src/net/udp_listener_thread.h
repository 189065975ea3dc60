#pragma once

#include "net/socket_handle.h"
#include "net/udp_server.h"

#include <QByteArray>
#include <functional>
#include <memory>
#include <thread>

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
                       TDeliver deliver);
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
    int wake_ = -1;
    std::shared_ptr<Mailbox> box_;
    std::thread thread_;
};
