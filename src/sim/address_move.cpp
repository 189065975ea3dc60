// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/address_move.h"

#include "net/local_networks.h"
#include "net/net_address.h"

#include <QFile>
#include <QProcess>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

std::optional<ino_t> netnsOf(const char* path)
{
    struct stat info {};
    if (::stat(path, &info) != 0)
        return std::nullopt;
    return info.st_ino;
}

// The parent in /proc/PID/stat: the field after the command name in parentheses.
pid_t parentOf(const QByteArray& dir)
{
    QFile stat(QString::fromLatin1(dir + "/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields[1].toInt() : 0;
}

std::optional<QString> runIp(const QStringList& arguments)
{
    QProcess ip;
    ip.start(u"ip"_s, arguments);
    if (!ip.waitForFinished(5000) || ip.exitStatus() != QProcess::NormalExit || ip.exitCode() != 0)
        return u"ip %1 失败：%2"_s.arg(arguments.join(u' '),
                                       QString::fromLocal8Bit(ip.readAllStandardError()).trimmed());
    return std::nullopt;
}

} // namespace

std::optional<QString> applyRefusal()
{
    const auto own = netnsOf("/proc/self/ns/net");
    if (!own)
        return u"无法确定所在的网络命名空间，不更改地址"_s;
    // The namespace was made for this run when a process that started us (the test, unshare,
    // nsenter) lives in another one. In a shell on the machine's own network every ancestor
    // shares ours, up to one we may not look at.
    for (pid_t pid = ::getppid(); pid > 1;) {
        const QByteArray dir = "/proc/" + QByteArray::number(pid);
        const QByteArray link = dir + "/ns/net";
        const auto theirs = netnsOf(link.constData());
        if (!theirs)
            break;
        if (*theirs != *own)
            return std::nullopt;
        pid = parentOf(dir);
    }
    return u"--apply 只在为模拟设备建立的网络命名空间中运行（例如 unshare -n 或 nsenter），"
           "不会更改本机网络的地址"_s;
}

std::optional<QString> moveAddress(const QString& from, const QString& to)
{
    const auto old = parseDottedQuad(from);
    if (!old || !parseDottedQuad(to))
        return u"地址无效：%1 -> %2"_s.arg(from, to);
    for (const LocalAddress& a : localAddresses()) {
        if (a.address != *old)
            continue;
        const QString prefix = u"/"_s + QString::number(a.prefix);
        if (from == to)
            return std::nullopt;
        // Removed first: deleting a primary address takes the secondaries of its subnet with it.
        if (auto error = runIp({u"addr"_s, u"del"_s, from + prefix, u"dev"_s, a.interfaceName}))
            return error;
        return runIp({u"addr"_s, u"add"_s, to + prefix, u"dev"_s, a.interfaceName});
    }
    return u"本机没有地址 %1"_s.arg(from);
}

void PendingReboot::schedule(const QString& newIP, int delayMs)
{
    newIP_ = newIP;
    due_ = QDeadlineTimer(delayMs);
}

std::optional<QString> PendingReboot::takeDue()
{
    if (!newIP_ || !due_.hasExpired())
        return std::nullopt;
    return std::exchange(newIP_, std::nullopt);
}

qint64 PendingReboot::remainingMs() const
{
    return newIP_ ? due_.remainingTime() : -1;
}
