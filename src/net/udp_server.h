// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/net_exceptions.h"
#include "net/socket_handle.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TUDPServer;
class ReceiveTap;

// A datagram the endpoint has sent, for a recorder; addresses in host order.
struct SentDatagram {
    std::int64_t timeNs = 0;        // since 1970, UTC
    std::uint32_t localAddress = 0; // the source the kernel gave it, also when bound to all
    std::uint16_t localPort = 0;
    std::uint32_t toAddress = 0;
    std::uint16_t toPort = 0;
    QByteArrayView bytes;
    const char* purpose = nullptr; // the command that sent it, UTF-8; may be null
};
using TSendTap = std::function<void(const SentDatagram&)>;
struct ReceivedDatagram;

// Hands a call from the listener thread to the event thread. The app uses the Qt one
// (queued calls on the QCoreApplication's thread); tests may drive their own.
class EventThread
{
public:
    virtual ~EventThread() = default;
    virtual void post(std::function<void()> call) = 0;
    // Called on the event thread: keeps it serving posted calls until done() holds or timeoutMs
    // has passed, as a modal box would (the Qt one also paints, but drops the operator's
    // input meanwhile); returns done(). This one only waits.
    virtual bool runUntil(const std::function<bool()>& done, int timeoutMs);
};
std::unique_ptr<EventThread> makeQtEventThread();

// AData holds exactly the datagram's bytes (no copy; valid only during the call).
using TUDPReadEvent =
    std::function<void(TUDPServer& Sender, const QByteArray& AData, TSocketHandle& ABinding)>;

class TUDPServer
{
public:
    explicit TUDPServer(std::unique_ptr<EventThread> eventThread = makeQtEventThread());
    ~TUDPServer();
    TUDPServer(const TUDPServer&) = delete;
    TUDPServer& operator=(const TUDPServer&) = delete;

    bool Active() const;
    void SetActive(bool value);

    int DefaultPort() const;
    void SetDefaultPort(int port);

    int BufferSize = 8192;
    bool BroadcastEnabled = true;
    TUDPReadEvent OnUDPRead;

    // Opens the endpoint when inactive; returns the current binding.
    TSocketHandle& AcquireBinding();

    // Resolves host, opens when inactive, sends count bytes to the low 16 bits of port.
    // purpose names the command for a recorder of sent datagrams.
    void SendDatagram(const QString& host, int port, const void* bytes, int count,
                      const char* purpose = nullptr);

    // Called on the event thread with every datagram sent; it must only queue.
    TSendTap onSent;
    // Sees every received datagram on the listener thread, before the handler does.
    ReceiveTap& receiveTap();

    // The datagram OnUDPRead is running for (null outside a delivery): besides the bytes its
    // arrival time, destination and the socket's drop count.
    const ReceivedDatagram* currentDatagram() const;

    // The receive buffer asked of the kernel at each open, and what it granted at the last
    // one (0 before the first): a normal user gets at most net.core.rmem_max.
    static constexpr int ReceiveBufferAsked = 4 * 1024 * 1024;
    int receiveBufferGranted() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
