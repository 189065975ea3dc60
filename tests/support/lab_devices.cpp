// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/lab_devices.h"

#include <QRegularExpression>
#include <QThread>

using namespace Qt::StringLiterals;

namespace
{
const QString Bridge = u"brlab"_s;
}

QString runCommand(const QString& program, const QStringList& arguments, QString* why)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (why)
            *why = program + u' ' + arguments.join(u' ') + u": "_s +
                   QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QString LabDevices::start()
{
    if (qEnvironmentVariableIsEmpty("LAB_INSIDE"))
        return u"not inside the lab namespace (run through tests/lab.sh)"_s;
    QString why;
    const QList<QStringList> steps = {
        {u"link"_s, u"add"_s, Bridge, u"type"_s, u"bridge"_s},
        {u"addr"_s, u"add"_s, QString::fromLatin1(LaptopAddress) + u"/24"_s, u"dev"_s, Bridge},
        {u"link"_s, u"set"_s, Bridge, u"up"_s},
    };
    for (const QStringList& step : steps) {
        runCommand(u"ip"_s, step, &why);
        if (!why.isEmpty())
            return why;
    }
    bridge_ = true;
    return {};
}

LabDevices::~LabDevices()
{
    for (const auto& p : programs_) {
        p->terminate();
        if (!p->waitForFinished(3000))
            p->kill();
        p->waitForFinished(1000);
    }
    for (const auto& d : devices_) {
        d->holder->kill();
        d->holder->waitForFinished(3000);
    }
    if (bridge_)
        runCommand(u"ip"_s, {u"link"_s, u"del"_s, Bridge});
}

QString LabDevices::inside(int device, const QStringList& command) const
{
    QStringList args = {u"-t"_s, QString::number(devices_[device]->holder->processId()), u"-n"_s,
                        u"--"_s};
    args += command;
    return runCommand(u"nsenter"_s, args);
}

int LabDevices::add(const QString& address)
{
    auto d = std::make_shared<Device>();
    d->holder = std::make_unique<QProcess>();
    d->holder->start(u"unshare"_s, {u"-n"_s, u"--"_s, u"sleep"_s, u"3600"_s});
    if (!d->holder->waitForStarted(5000))
        return -1;
    const int index = static_cast<int>(devices_.size());
    devices_.append(d);
    const QString pid = QString::number(d->holder->processId());
    // Named afresh for the whole run: the kernel frees the ports of an earlier test's devices
    // a little after their namespaces end, and a name still taken would fail the add.
    static int ports = 0;
    const QString port = u"vlab%1"_s.arg(ports++);
    // unshare has made its namespace once sleep runs in it: wait for that exec.
    for (int i = 0; i < 100; ++i) {
        if (runCommand(u"readlink"_s, {u"/proc/"_s + pid + u"/ns/net"_s}) !=
            runCommand(u"readlink"_s, {u"/proc/self/ns/net"_s}))
            break;
        QThread::msleep(20);
    }
    runCommand(u"ip"_s, {u"link"_s, u"add"_s, port, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s,
                         u"eth0"_s, u"netns"_s, pid});
    runCommand(u"ip"_s, {u"link"_s, u"set"_s, port, u"master"_s, Bridge, u"up"_s});
    inside(index, {u"ip"_s, u"link"_s, u"set"_s, u"lo"_s, u"up"_s});
    inside(index, {u"ip"_s, u"addr"_s, u"add"_s, address + u"/24"_s, u"dev"_s, u"eth0"_s});
    inside(index, {u"ip"_s, u"link"_s, u"set"_s, u"eth0"_s, u"up"_s});
    static const QRegularExpression ether(u"link/ether ([0-9a-f:]{17})"_s);
    d->mac =
        ether.match(inside(index, {u"ip"_s, u"-o"_s, u"link"_s, u"show"_s, u"eth0"_s})).captured(1);
    return d->mac.isEmpty() ? -1 : index;
}

QString LabDevices::mac(int device) const
{
    return devices_[device]->mac;
}

QProcess* LabDevices::run(int device, const QString& program, const QStringList& arguments)
{
    auto p = std::make_shared<QProcess>();
    QStringList args = {u"-t"_s, QString::number(devices_[device]->holder->processId()), u"-n"_s,
                        u"--"_s, program};
    args += arguments;
    p->start(u"nsenter"_s, args);
    p->waitForStarted(5000);
    programs_.append(p);
    return p.get();
}

void LabDevices::setReachableMs(int ms)
{
    runCommand(u"sysctl"_s,
               {u"-qw"_s, u"net.ipv4.neigh.%1.base_reachable_time_ms=%2"_s.arg(Bridge).arg(ms)});
}

void LabDevices::unplug(int device)
{
    inside(device, {u"ip"_s, u"link"_s, u"set"_s, u"eth0"_s, u"down"_s});
}
