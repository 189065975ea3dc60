// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulator's listening sockets: bound on a given address, never blocking, each datagram
// taken with the kernel's arrival time so that those of two sockets can be handled in the
// order they came.

#include "common/posix_file.h"

#include <QString>
#include <netinet/in.h>
#include <optional>
#include <vector>

struct SimEndpoint {
    QString role; // "device" or "server"
    QString address;
    int port = 0; // 0: the system chooses; after bind the bound port
    FileDescriptor fd;

    QString name() const { return address + u':' + QString::number(port); }
};

// Binds the endpoint and asks for arrival times; on failure a message for the operator.
std::optional<QString> bindEndpoint(SimEndpoint& endpoint);

struct Arrival {
    std::vector<char> bytes;
    sockaddr_in from{};
    qint64 stampNs = 0; // kernel's arrival time
};

// The next waiting datagram of the socket, or none when nothing waits.
std::optional<Arrival> takeDatagram(int fd);

// "address:port" of a datagram's sender.
QString senderName(const sockaddr_in& from);
