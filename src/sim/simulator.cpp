// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulator.h"

#include "protocol/packet_decoder.h"
#include "sim/expectation.h"
#include "sim/signal_pipe.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>

using namespace Qt::StringLiterals;

SimOutput SimOutput::standard()
{
    return {
        [](const QString& text) {
            std::fputs((text + u'\n').toUtf8().constData(), stdout);
            std::fflush(stdout);
        },
        [](const QString& text) {
            std::fputs((u"terminal-sim: "_s + text + u'\n').toUtf8().constData(), stderr);
            std::fflush(stderr);
        },
        [] { return QDateTime::currentDateTime().toString(Qt::ISODateWithMs); },
    };
}

Simulator::Simulator(SimOptions options, QList<QJsonObject> expected, SignalPipe& stopSignals,
                     SimOutput output)
    : o_(std::move(options)), expected_(std::move(expected)), stopSignals_(stopSignals),
      output_(std::move(output))
{
    endpoints_[0].role = u"device"_s;
    endpoints_[0].address = o_.deviceAddress;
    endpoints_[0].port = o_.devicePort;
    endpoints_[1].role = u"server"_s;
    endpoints_[1].address = o_.serverAddress;
    endpoints_[1].port = o_.serverPort;
}

int Simulator::run()
{
    for (SimEndpoint& e : endpoints_) {
        if (auto error = bindEndpoint(e)) {
            output_.err(*error);
            return ExitCannotListen;
        }
    }
    QString error;
    if (!o_.pcap.isEmpty() && !capture_.start(o_.pcap, error)) {
        output_.err(error);
        return ExitUsage;
    }
    output_.err(u"监听 设备 %1 服务器 %2"_s.arg(endpoints_[0].name(), endpoints_[1].name()));
    const int result = loop();
    capture_.stop();
    for (SimEndpoint& e : endpoints_)
        e.fd.reset();
    return result;
}

int Simulator::loop()
{
    QDeadlineTimer deadline =
        o_.timeoutMs ? QDeadlineTimer(*o_.timeoutMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    // The next datagram of each socket: the earlier of the two is handled first.
    std::optional<Arrival> next[2];
    for (;;) {
        if (const auto newIP = reboot_.takeDue())
            rebootInto(*newIP);
        if (expecting() && matched_ == expected_.size()) {
            output_.err(u"全部 %1 个期望的数据包都已收到"_s.arg(expected_.size()));
            return ExitOk;
        }
        if (o_.count && received_ >= *o_.count)
            return finish(u"已收到 %1 个数据包"_s.arg(received_));
        if (stopSignals_.taken())
            return finish(u"收到结束信号"_s);
        if (deadline.hasExpired())
            return finish(u"已到 --timeout 的时间"_s);
        for (int i = 0; i < 2; ++i) {
            if (!next[i])
                next[i] = takeDatagram(endpoints_[i].fd.get());
        }
        if (next[0] || next[1]) {
            const int i = !next[1] || (next[0] && next[0]->stampNs <= next[1]->stampNs) ? 0 : 1;
            const Arrival arrival = std::move(*next[i]);
            next[i].reset();
            if (const int exitCode = handle(endpoints_[i], arrival); exitCode >= 0)
                return exitCode;
            continue;
        }
        pollfd fds[3] = {{stopSignals_.readFd(), POLLIN, 0},
                         {endpoints_[0].fd.get(), POLLIN, 0},
                         {endpoints_[1].fd.get(), POLLIN, 0}};
        const qint64 reboot = reboot_.remainingMs();
        qint64 left = deadline.remainingTime();
        if (reboot >= 0 && (left < 0 || reboot < left))
            left = reboot;
        if (poll(fds, 3, left < 0 ? -1 : static_cast<int>(std::min<qint64>(left, 1 << 30))) < 0 &&
            errno != EINTR) {
            output_.err(u"等待数据包失败：%1"_s.arg(QString::fromLocal8Bit(std::strerror(errno))));
            return ExitExpectFailed;
        }
    }
}

// The device comes back on its new address: moved there, and listening there.
void Simulator::rebootInto(const QString& newIP)
{
    SimEndpoint& device = endpoints_[0];
    if (const auto error = moveAddress(device.address, newIP)) {
        output_.err(u"无法改用新地址：%1"_s.arg(*error));
        return;
    }
    device.fd.reset();
    device.address = newIP;
    if (const auto error = bindEndpoint(device)) {
        output_.err(*error);
        return;
    }
    output_.err(u"已按新地址重启：设备 %1"_s.arg(device.name()));
}

// The end of the run without every expectation met: fine unless some were expected.
int Simulator::finish(const QString& why)
{
    if (!expecting()) {
        output_.err(why + u"，结束"_s);
        return ExitOk;
    }
    output_.err(
        u"%1：期望 %2 个数据包，只有 %3 个符合"_s.arg(why).arg(expected_.size()).arg(matched_));
    return ExitExpectFailed;
}

void Simulator::record(const SimEndpoint& e, const Arrival& arrival)
{
    if (!capture_.running())
        return;
    in_addr to{};
    inet_pton(AF_INET, e.address.toLatin1().constData(), &to);
    capture_.add({arrival.stampNs,
                  ntohl(arrival.from.sin_addr.s_addr),
                  ntohs(arrival.from.sin_port),
                  ntohl(to.s_addr),
                  static_cast<uint16_t>(e.port),
                  QByteArray(arrival.bytes.data(), static_cast<qsizetype>(arrival.bytes.size())),
                  {}});
}

int Simulator::handle(const SimEndpoint& e, const Arrival& arrival)
{
    ++received_;
    record(e, arrival);
    const QJsonObject* expected =
        expecting() && matched_ < expected_.size() ? &expected_[matched_] : nullptr;
    const Expected<DeviceType> type =
        expected ? expectedDeviceType(*expected, o_.deviceType) : o_.deviceType;
    const QByteArrayView datagram(arrival.bytes.data(),
                                  static_cast<qsizetype>(arrival.bytes.size()));
    const DecodeResult result = decodePacket(datagram, type);
    const QString time = output_.now();
    const QString sender = senderName(arrival.from);

    QJsonObject json = packetJson(result, datagram);
    json.insert(u"time"_s, time);
    json.insert(u"from"_s, sender);
    json.insert(u"to"_s, e.name());
    json.insert(u"role"_s, e.role);
    if (o_.apply && e.role == u"device"_s && json.value(u"kind"_s).toString() == u"param"_s)
        reboot_.schedule(json.value(u"new_ip"_s).toString(), o_.rebootMs);
    if (o_.json)
        output_.out(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)));
    else
        output_.out(time + u' ' + sender + u" -> "_s + e.name() + u' ' +
                    packetText(result, datagram));

    if (!expected)
        return -1;
    if (auto mismatch = findMismatch(*expected, json)) {
        output_.err(u"第%1个期望的数据包不符：%2"_s.arg(matched_ + 1).arg(*mismatch));
        return ExitExpectFailed;
    }
    ++matched_;
    return -1;
}
