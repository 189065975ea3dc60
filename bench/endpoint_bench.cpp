// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the UDP endpoint on the loopback:
//  (a) how long closing takes with the listener idle,
//  (b) datagrams a second delivered one at a time through the hand-over on a Qt event loop,
//  (c) a plain recvfrom loop on the same traffic, for comparison,
//  (d) loss at a paced 20,000 datagrams a second of 53 bytes for 5 s.
#include "net/udp_server.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace
{

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

int MakeSender()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

void SendTo(int fd, int port, const char* data, size_t size)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

// Sends count datagrams of 53 bytes, keeping at most window of them unconsumed, so the
// receiver's speed and not the socket buffer decides the rate. Gives up after a second
// without progress (a lost datagram).
void FlowControlledSend(int port, long count, const std::atomic<long>& consumed,
                        std::atomic<bool>& gaveUp)
{
    constexpr long window = 1024;
    const int fd = MakeSender();
    char payload[53] = {};
    for (long i = 0; i < count; ++i) {
        const auto start = Clock::now();
        while (i - consumed.load(std::memory_order_acquire) >= window) {
            if (Clock::now() - start > 1s) {
                gaveUp = true;
                ::close(fd);
                return;
            }
            std::this_thread::yield();
        }
        std::memcpy(payload, &i, sizeof i);
        SendTo(fd, port, payload, sizeof payload);
    }
    ::close(fd);
}

void CloseTimes()
{
    TUDPServer server;
    server.SetDefaultPort(0);
    std::vector<double> times;
    for (int i = 0; i < 100; ++i) {
        server.SetActive(true);
        std::this_thread::sleep_for(2ms); // the listener is in its wait
        const auto start = Clock::now();
        server.SetActive(false);
        times.push_back(Ms(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    std::printf("(a) close with idle listener: median %.3f ms, max %.3f ms over %zu cycles "
                "(target < 5 ms)\n",
                times[times.size() / 2], times.back(), times.size());
}

double EndpointRate(long count)
{
    TUDPServer server;
    server.SetDefaultPort(0);
    std::atomic<long> delivered{0};
    long expected = 0;
    bool inOrder = true;
    server.OnUDPRead = [&](TUDPServer&, const QByteArray& data, TSocketHandle&) {
        long index = -1;
        if (data.size() == 53)
            std::memcpy(&index, data.constData(), sizeof index);
        inOrder = inOrder && index == expected;
        ++expected;
        if (delivered.fetch_add(1, std::memory_order_release) + 1 == count)
            QCoreApplication::quit();
    };
    server.SetActive(true);
    const int port = server.AcquireBinding().Port;
    std::atomic<bool> gaveUp{false};
    const auto start = Clock::now();
    std::thread sender(FlowControlledSend, port, count, std::cref(delivered), std::ref(gaveUp));
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        if (gaveUp)
            QCoreApplication::quit();
    });
    watchdog.start(100);
    QCoreApplication::exec();
    const auto elapsed = Clock::now() - start;
    sender.join();
    const double rate = delivered / (Ms(elapsed) / 1000.0);
    std::printf("(b) endpoint, Qt event loop: %ld of %ld delivered%s in %.0f ms: %.0f /s "
                "(target >= 40000)\n",
                delivered.load(), count, inOrder ? " in order" : " OUT OF ORDER", Ms(elapsed),
                rate);
    return rate;
}

double PlainRate(long count)
{
    const int fd = MakeSender(); // bound on 127.0.0.1 with a port of the system's choice
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    const int port = ntohs(a.sin_port);
    const int bytes = 4 * 1024 * 1024; // as the endpoint sizes its own
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::atomic<long> received{0};
    std::atomic<bool> gaveUp{false};
    std::vector<char> buffer(8192);
    const auto start = Clock::now();
    std::thread sender(FlowControlledSend, port, count, std::cref(received), std::ref(gaveUp));
    while (received < count) {
        if (::recvfrom(fd, buffer.data(), buffer.size(), MSG_TRUNC, nullptr, nullptr) < 0)
            break;
        received.fetch_add(1, std::memory_order_release);
    }
    const auto elapsed = Clock::now() - start;
    sender.join();
    ::close(fd);
    const double rate = received / (Ms(elapsed) / 1000.0);
    std::printf("(c) plain recvfrom loop:     %ld of %ld received in %.0f ms: %.0f /s\n",
                received.load(), count, Ms(elapsed), rate);
    return rate;
}

void PacedLoss()
{
    constexpr long perSecond = 20000;
    constexpr long count = perSecond * 5;
    TUDPServer server;
    server.SetDefaultPort(0);
    long delivered = 0;
    server.OnUDPRead = [&](TUDPServer&, const QByteArray&, TSocketHandle&) { ++delivered; };
    server.SetActive(true);
    TSocketHandle& binding = server.AcquireBinding();
    int rcvbuf = 0;
    socklen_t length = sizeof rcvbuf;
    ::getsockopt(binding.handle(), SOL_SOCKET, SO_RCVBUF, &rcvbuf, &length);
    const int port = binding.Port;

    std::atomic<bool> done{false};
    std::thread sender([&] {
        const int fd = MakeSender();
        char payload[53] = {};
        const auto start = Clock::now();
        long sent = 0;
        while (sent < count) {
            const auto now = Clock::now();
            const long due =
                std::min<long>(count, static_cast<long>(Ms(now - start) * perSecond / 1000.0) + 1);
            for (; sent < due; ++sent)
                SendTo(fd, port, payload, sizeof payload);
            std::this_thread::sleep_for(200us);
        }
        ::close(fd);
        done = true;
    });
    QTimer finish;
    QObject::connect(&finish, &QTimer::timeout, &finish, [&] {
        if (done)
            QTimer::singleShot(300, &finish, [] { QCoreApplication::quit(); });
        else
            return;
        finish.stop();
    });
    finish.start(50);
    QCoreApplication::exec();
    sender.join();
    std::printf("(d) paced 20000/s x 5 s of 53 bytes: %ld sent, %ld delivered, %ld lost "
                "(target 0); receive buffer %d bytes\n",
                count, delivered, count - delivered, rcvbuf);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CloseTimes();
    constexpr long count = 200000;
    const double endpoint = EndpointRate(count);
    const double plain = PlainRate(count);
    std::printf("    ratio (b)/(c): %.2f (target >= 0.9)\n", endpoint / plain);
    PacedLoss();
    return 0;
}
