// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/udp_probe.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

UdpProbe::UdpProbe(const char* address, int port)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (fd_ < 0 || ::inet_pton(AF_INET, address, &a.sin_addr) != 1 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("UdpProbe bind");
        std::abort();
    }
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
}

UdpProbe::~UdpProbe()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool UdpProbe::joinGroup(const char* group)
{
    ip_mreq m{};
    ::inet_pton(AF_INET, group, &m.imr_multiaddr);
    m.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
}

void UdpProbe::enableBroadcast()
{
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

std::optional<UdpProbe::Datagram> UdpProbe::receive(int timeoutMs)
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return std::nullopt;
    char buffer[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0)
        return std::nullopt;
    char ip[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
    return Datagram{QByteArray(buffer, static_cast<qsizetype>(n)), QString::fromLatin1(ip),
                    ntohs(from.sin_port)};
}

bool UdpProbe::sendTo(const char* address, int port, const QByteArray& data)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return ::sendto(fd_, data.constData(), static_cast<size_t>(data.size()), 0,
                    reinterpret_cast<sockaddr*>(&a), sizeof a) == data.size();
}

int freeUdpPort()
{
    UdpProbe probe("127.0.0.1", 0);
    return probe.port();
}
