// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_socket.h"

#include "net/net_address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

std::optional<QString> bindEndpoint(SimEndpoint& e)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(e.port));
    // Strict dotted decimal: an option is no place for the window's hexadecimal octets.
    if (inet_pton(AF_INET, e.address.toLatin1().constData(), &sa.sin_addr) != 1)
        return u"“%1”不是IPv4地址"_s.arg(e.address);
    e.fd.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!e.fd.valid())
        return u"无法创建套接字：%1"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (::bind(e.fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int error = errno;
        QString why = QString::fromLocal8Bit(std::strerror(error));
        if (error == EADDRINUSE)
            why = u"端口已被占用（%1）"_s.arg(why);
        else if (error == EADDRNOTAVAIL)
            why = u"本机没有这个地址（%1）"_s.arg(why);
        else if (error == EACCES)
            why = u"没有权限使用这个端口（%1）"_s.arg(why);
        return u"无法在 %1 上监听（%2）：%3"_s.arg(e.name(), e.role, why);
    }
    socklen_t len = sizeof sa;
    if (::getsockname(e.fd.get(), reinterpret_cast<sockaddr*>(&sa), &len) == 0)
        e.port = ntohs(sa.sin_port);
    const int on = 1;
    ::setsockopt(e.fd.get(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    return std::nullopt;
}

std::optional<Arrival> takeDatagram(int fd)
{
    Arrival a;
    a.bytes.resize(65536); // more than any IPv4 datagram holds
    iovec io{a.bytes.data(), a.bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr msg{};
    msg.msg_name = &a.from;
    msg.msg_namelen = sizeof a.from;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
    if (n < 0)
        return std::nullopt; // nothing waits, or an error the next wait shows again
    a.bytes.resize(static_cast<size_t>(n));
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec ts{};
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            a.stampNs = static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
        }
    }
    return a;
}

QString senderName(const sockaddr_in& from)
{
    return formatDottedQuad(ntohl(from.sin_addr.s_addr)) + u':' +
           QString::number(ntohs(from.sin_port));
}
