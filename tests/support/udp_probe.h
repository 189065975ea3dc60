// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// A plain POSIX UDP socket for tests: receives what the program sends, or sends to it.
class UdpProbe
{
public:
    struct Datagram {
        QByteArray data;
        QString fromIp;
        int fromPort = 0;
    };

    // Binds address:port (port 0: the system picks). Aborts the test on failure.
    explicit UdpProbe(const char* address = "127.0.0.1", int port = 0);
    ~UdpProbe();
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    int port() const { return port_; }
    int fd() const { return fd_; }
    bool joinGroup(const char* group);
    void enableBroadcast();

    // Waits up to timeoutMs for one datagram.
    std::optional<Datagram> receive(int timeoutMs = 2000);
    bool sendTo(const char* address, int port, const QByteArray& data);

private:
    int fd_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 that is free at the moment of the call.
int freeUdpPort();
