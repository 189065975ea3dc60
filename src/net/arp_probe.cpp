// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/arp_probe.h"

#include "net/local_networks.h"
#include "net/net_address.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

QStringList arpingReplies(const QString& output, const QString& address)
{
    static const QRegularExpression reply(
        u"^(?:Unicast|Broadcast) reply from (\\S+) \\[([0-9A-Fa-f]{2}(?::[0-9A-Fa-f]{2}){5})\\]"_s,
        QRegularExpression::MultilineOption);
    QStringList macs;
    for (auto it = reply.globalMatch(output); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString mac = m.captured(2).toLower();
        if (m.captured(1) == address && !macs.contains(mac))
            macs.append(mac);
    }
    return macs;
}

bool arpingAsked(const QString& output, const QString& address)
{
    return output.startsWith(u"ARPING "_s + address + u" from "_s) ||
           output.contains(u"\nARPING "_s + address + u" from "_s);
}

Presence ArpPresenceProbe::probe(uint32_t address)
{
    const auto card = sameSubnet(localAddresses(), address, true);
    if (!card)
        return {PresenceKind::NotLocal, {}, {}};
    const QString target = formatDottedQuad(address);
    // -b: broadcast every request; after a first reply arping would otherwise ask that MAC
    // alone and never hear a second device at the address. -w: the whole run's bound.
    QProcess arping;
    arping.setProcessChannelMode(QProcess::SeparateChannels);
    // The reply lines are read as iputils writes them untranslated.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C"_s);
    arping.setProcessEnvironment(environment);
    arping.start(program_, {u"-b"_s, u"-w"_s, QString::number(deadlineS_), u"-I"_s,
                            card->interfaceName, target});
    const int waitMs = deadlineS_ * 1000 + 2000;
    if (!arping.waitForStarted(waitMs))
        return fallback_.probe(address);
    if (!arping.waitForFinished(waitMs)) {
        arping.kill();
        arping.waitForFinished(1000);
        return fallback_.probe(address);
    }
    // 0: replies, 1: none; but 1 is also how it refuses an option, and 2 any other failure.
    // Only a run that got as far as asking prints its "ARPING <address> from" line.
    const QString output = QString::fromLocal8Bit(arping.readAllStandardOutput());
    if (arping.exitStatus() != QProcess::NormalExit || arping.exitCode() > 1 ||
        !arpingAsked(output, target))
        return fallback_.probe(address);
    const QStringList macs = arpingReplies(output, target);
    if (macs.isEmpty())
        return {PresenceKind::NoAnswer, {}, {}};
    return {PresenceKind::Present, macs.first(), macs.mid(1)};
}
