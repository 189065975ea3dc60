// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/name_server.h"

#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr const char* ResolvConf = "/etc/resolv.conf";

// Once per thread: a mount namespace of its own with every mount private, so that the cover
// can never propagate to the host.
bool privateMounts(std::string& why)
{
    thread_local int state = 0;
    thread_local std::string reason;
    if (state == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            reason = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
            state = -1;
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            reason = std::string("making / private: ") + std::strerror(errno);
            state = -1;
        } else {
            state = 1;
        }
    }
    why = reason;
    return state == 1;
}

} // namespace

ResolverSandbox::ResolverSandbox(const char* nameServer)
{
    if (qEnvironmentVariable("LAB_INSIDE") != u"1") {
        why_ = "not inside the lab namespace";
        return; // a lookup here could reach the machine's real name server
    }
    if (!privateMounts(why_))
        return;
    const QString copy = dir_.filePath(QStringLiteral("resolv.conf"));
    QFile f(copy);
    const QByteArray content = QByteArray("nameserver ") + nameServer + '\n';
    if (!dir_.isValid() || !f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) {
        why_ = "cannot write the test's resolv.conf";
        return;
    }
    f.close();
    if (::mount(QFile::encodeName(copy).constData(), ResolvConf, nullptr, MS_BIND, nullptr) != 0) {
        why_ = std::string("bind mount over ") + ResolvConf + ": " + std::strerror(errno);
        return;
    }
    ready_ = true;
}

ResolverSandbox::~ResolverSandbox()
{
    if (ready_)
        ::umount2(ResolvConf, MNT_DETACH);
}

SilentNameServer::SilentNameServer(const char* address)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(53);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return;
    }
    thread_ = std::thread([this] {
        char query[1024];
        while (!stop_.load()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && ::recv(fd_, query, sizeof query, MSG_DONTWAIT) >= 0)
                ++queries_;
        }
    });
}

SilentNameServer::~SilentNameServer()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
}
