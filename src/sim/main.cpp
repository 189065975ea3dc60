// terminal-sim: stands in for a terminal device and for the server on a bench. Listens on the
// device's command port and the server's service management port, prints every datagram read
// back into its fields, and with --expect checks that the expected packets arrived.

#include "config/packet_decoder.h"
#include "sim/address_move.h"
#include "sim/expectation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

// Exit codes, documented in --help.
constexpr int ExitOk = 0;
constexpr int ExitExpectFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitCannotListen = 3;

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

void printErr(const QString& text)
{
    std::fputs((u"terminal-sim: "_s + text + u'\n').toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void printOut(const QString& text)
{
    std::fputs((text + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

struct Endpoint {
    QString role; // "device" or "server"
    QString address;
    int port = 0;
    int fd = -1;

    QString name() const { return address + u':' + QString::number(port); }
};

// Binds one endpoint; on failure a message for the operator.
std::optional<QString> bindEndpoint(Endpoint& e)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(e.port));
    if (inet_pton(AF_INET, e.address.toLatin1().constData(), &sa.sin_addr) != 1)
        return u"“%1”不是IPv4地址"_s.arg(e.address);
    e.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (e.fd < 0)
        return u"无法创建套接字：%1"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (bind(e.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
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
    if (getsockname(e.fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
        e.port = ntohs(sa.sin_port);
    return std::nullopt;
}

struct Options {
    QString deviceAddress;
    QString serverAddress;
    int devicePort = 7500;
    int serverPort = 7550;
    int deviceType = 1;
    bool json = false;
    QString expectFile;
    std::optional<qint64> timeoutMs;
    std::optional<qint64> count;
    bool apply = false;
    int rebootMs = 3000;
};

std::optional<int> portOption(const QCommandLineParser& p, const QString& name, QString& error)
{
    bool ok = false;
    const int port = p.value(name).toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
        error = u"--%1 需要 0 到 65535 之间的端口号，收到“%2”"_s.arg(name, p.value(name));
        return std::nullopt;
    }
    return port;
}

// The options, or a message; help and version end inside process().
std::variant<Options, QString> parseOptions(QCommandLineParser& p, const QStringList& arguments)
{
    p.setApplicationDescription(
        u"模拟终端设备和服务器：在设备命令端口和服务管理端口上接收数据包，逐行打印解读后的字段。\n"
        "每行：时间 发送方地址:端口 -> 本地地址:端口 解读结果。\n"
        "退出码：0 正常结束或期望全部满足；1 期望未满足（字段不符、超时、被中断）；\n"
        "2 参数或期望文件有误；3 无法监听（端口被占用、地址无效或不属于本机）。"_s);
    p.addHelpOption();
    p.addOptions({
        {u"address"_s, u"设备和服务器共同的监听地址（默认 127.0.0.1）。"_s, u"IP"_s,
         u"127.0.0.1"_s},
        {u"device-address"_s, u"设备的监听地址（默认同 --address）。"_s, u"IP"_s},
        {u"server-address"_s, u"服务器的监听地址（默认同 --address）。"_s, u"IP"_s},
        {u"device-port"_s, u"设备命令端口（默认 7500，0 由系统选择）。"_s, u"PORT"_s, u"7500"_s},
        {u"server-port"_s, u"服务器的服务管理端口（默认 7550，0 由系统选择）。"_s, u"PORT"_s,
         u"7550"_s},
        {u"type"_s, u"按哪种设备类型（1 至 12）解读参数包（默认 1，普通终端）。"_s, u"CODE"_s,
         u"1"_s},
        {u"json"_s, u"每个数据包打印一行JSON。"_s},
        {u"expect"_s,
         u"期望文件：每行一个JSON对象，依次与到达的数据包比较，只比较写出的键，例如 "
         "{\"kind\":\"param\",\"type\":1,\"new_ip\":\"192.168.1.200\"}。"_s,
         u"FILE"_s},
        {u"timeout"_s, u"最多等待的秒数（使用 --expect 时默认 10）。"_s, u"SECONDS"_s},
        {u"count"_s, u"收到 N 个数据包后结束。"_s, u"N"_s},
        {u"apply"_s,
         u"像设备一样按收到的参数包重启：等待 --reboot-seconds 后把设备地址改为包中的新IP。"
         "只在为此建立的网络命名空间中运行。"_s},
        {u"reboot-seconds"_s, u"--apply 的重启时间（默认 3 秒）。"_s, u"SECONDS"_s, u"3"_s},
    });
    if (!p.parse(arguments))
        return p.errorText();
    if (p.isSet(u"help"_s)) {
        printOut(p.helpText());
        std::exit(ExitOk);
    }
    if (!p.positionalArguments().isEmpty())
        return u"多余的参数：%1"_s.arg(p.positionalArguments().join(u' '));

    Options o;
    const QString address = p.value(u"address"_s);
    o.deviceAddress = p.isSet(u"device-address"_s) ? p.value(u"device-address"_s) : address;
    o.serverAddress = p.isSet(u"server-address"_s) ? p.value(u"server-address"_s) : address;
    QString error;
    const auto devicePort = portOption(p, u"device-port"_s, error);
    const auto serverPort = portOption(p, u"server-port"_s, error);
    if (!devicePort || !serverPort)
        return error;
    o.devicePort = *devicePort;
    o.serverPort = *serverPort;
    bool ok = false;
    o.deviceType = p.value(u"type"_s).toInt(&ok);
    if (!ok || o.deviceType < 1 || o.deviceType > 12)
        return u"--type 需要 1 到 12 之间的设备类型代码，收到“%1”"_s.arg(p.value(u"type"_s));
    o.json = p.isSet(u"json"_s);
    o.expectFile = p.value(u"expect"_s);
    if (p.isSet(u"timeout"_s)) {
        const double seconds = p.value(u"timeout"_s).toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 86400.0 * 365)
            return u"--timeout 需要秒数，收到“%1”"_s.arg(p.value(u"timeout"_s));
        o.timeoutMs = static_cast<qint64>(seconds * 1000);
    } else if (!o.expectFile.isEmpty()) {
        o.timeoutMs = 10000;
    }
    if (p.isSet(u"count"_s)) {
        const qint64 n = p.value(u"count"_s).toLongLong(&ok);
        if (!ok || n < 1)
            return u"--count 需要正整数，收到“%1”"_s.arg(p.value(u"count"_s));
        o.count = n;
    }
    o.apply = p.isSet(u"apply"_s);
    const double reboot = p.value(u"reboot-seconds"_s).toDouble(&ok);
    if (!ok || reboot < 0 || reboot > 3600)
        return u"--reboot-seconds 需要秒数，收到“%1”"_s.arg(p.value(u"reboot-seconds"_s));
    o.rebootMs = static_cast<int>(reboot * 1000);
    return o;
}

QString senderName(const sockaddr_in& from)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return QString::fromLatin1(text) + u':' + QString::number(ntohs(from.sin_port));
}

// One datagram taken from a socket, with the kernel's arrival time so that the two sockets'
// datagrams are handled in the order they came.
struct Arrival {
    std::vector<char> bytes;
    sockaddr_in from{};
    qint64 stampNs = 0;
};

// The next waiting datagram of the socket, or none when nothing waits.
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
    const ssize_t n = recvmsg(fd, &msg, MSG_DONTWAIT);
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

bool signalled()
{
    char byte = 0;
    return read(signalPipe[0], &byte, 1) == 1;
}

class Simulator
{
public:
    Simulator(Options options, QList<QJsonObject> expected)
        : o_(std::move(options)), expected_(std::move(expected))
    {
    }

    int run()
    {
        endpoints_ = {{u"device"_s, o_.deviceAddress, o_.devicePort},
                      {u"server"_s, o_.serverAddress, o_.serverPort}};
        for (Endpoint& e : endpoints_) {
            if (auto error = bindEndpoint(e)) {
                printErr(*error);
                return ExitCannotListen;
            }
            const int on = 1;
            setsockopt(e.fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        }
        printErr(u"监听 设备 %1 服务器 %2"_s.arg(endpoints_[0].name(), endpoints_[1].name()));
        const int result = loop();
        for (Endpoint& e : endpoints_)
            close(e.fd);
        return result;
    }

private:
    int loop()
    {
        QDeadlineTimer deadline =
            o_.timeoutMs ? QDeadlineTimer(*o_.timeoutMs) : QDeadlineTimer(QDeadlineTimer::Forever);
        // The next datagram of each socket: the earlier of the two is handled first.
        std::optional<Arrival> next[2];
        for (;;) {
            if (const auto newIP = reboot_.takeDue())
                rebootInto(*newIP);
            if (expecting() && matched_ == expected_.size()) {
                printErr(u"全部 %1 个期望的数据包都已收到"_s.arg(expected_.size()));
                return ExitOk;
            }
            if (o_.count && received_ >= *o_.count)
                return finish(u"已收到 %1 个数据包"_s.arg(received_));
            if (signalled())
                return finish(u"收到结束信号"_s);
            if (deadline.hasExpired())
                return finish(u"已到 --timeout 的时间"_s);
            for (int i = 0; i < 2; ++i) {
                if (!next[i])
                    next[i] = takeDatagram(endpoints_[i].fd);
            }
            if (next[0] || next[1]) {
                const int i = !next[1] || (next[0] && next[0]->stampNs <= next[1]->stampNs) ? 0 : 1;
                const Arrival arrival = std::move(*next[i]);
                next[i].reset();
                if (const int exitCode = handle(endpoints_[i], arrival); exitCode >= 0)
                    return exitCode;
                continue;
            }
            pollfd fds[3] = {{signalPipe[0], POLLIN, 0},
                             {endpoints_[0].fd, POLLIN, 0},
                             {endpoints_[1].fd, POLLIN, 0}};
            const qint64 left = soonest(deadline.remainingTime(), reboot_.remainingMs());
            if (poll(fds, 3, left < 0 ? -1 : static_cast<int>(std::min<qint64>(left, 1 << 30))) <
                    0 &&
                errno != EINTR) {
                printErr(u"等待数据包失败：%1"_s.arg(QString::fromLocal8Bit(std::strerror(errno))));
                return ExitExpectFailed;
            }
        }
    }

    static qint64 soonest(qint64 a, qint64 b) { return a < 0 ? b : b < 0 ? a : std::min(a, b); }

    // The device comes back on its new address: moved there, and listening there.
    void rebootInto(const QString& newIP)
    {
        Endpoint& device = endpoints_[0];
        if (const auto error = moveAddress(device.address, newIP)) {
            printErr(u"无法改用新地址：%1"_s.arg(*error));
            return;
        }
        close(device.fd);
        device.address = newIP;
        if (const auto error = bindEndpoint(device)) {
            printErr(*error);
            return;
        }
        printErr(u"已按新地址重启：设备 %1"_s.arg(device.name()));
    }

    bool expecting() const { return !o_.expectFile.isEmpty(); }

    // The end of the run without every expectation met: fine unless some were expected.
    int finish(const QString& why)
    {
        if (!expecting()) {
            printErr(why + u"，结束"_s);
            return ExitOk;
        }
        printErr(
            u"%1：期望 %2 个数据包，只有 %3 个符合"_s.arg(why).arg(expected_.size()).arg(matched_));
        return ExitExpectFailed;
    }

    // Prints one datagram and checks it; an exit code when the run ends here, else -1.
    int handle(const Endpoint& e, const Arrival& arrival)
    {
        ++received_;
        const QJsonObject* expected =
            expecting() && matched_ < expected_.size() ? &expected_[matched_] : nullptr;
        const int type = expected ? expectedDeviceType(*expected, o_.deviceType) : o_.deviceType;
        const DecodeResult result = decodePacket(
            QByteArrayView(arrival.bytes.data(), static_cast<qsizetype>(arrival.bytes.size())),
            type);
        const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        const QString sender = senderName(arrival.from);

        QJsonObject json = packetJson(result);
        json.insert(u"time"_s, time);
        json.insert(u"from"_s, sender);
        json.insert(u"to"_s, e.name());
        json.insert(u"role"_s, e.role);
        if (o_.apply && e.role == u"device"_s && json.value(u"kind"_s).toString() == u"param"_s)
            reboot_.schedule(json.value(u"new_ip"_s).toString(), o_.rebootMs);
        if (o_.json)
            printOut(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)));
        else
            printOut(time + u' ' + sender + u" -> "_s + e.name() + u' ' + packetText(result));

        if (!expected)
            return -1;
        if (auto mismatch = findMismatch(*expected, json)) {
            printErr(u"第%1个期望的数据包不符：%2"_s.arg(matched_ + 1).arg(*mismatch));
            return ExitExpectFailed;
        }
        ++matched_;
        return -1;
    }

    Options o_;
    QList<QJsonObject> expected_;
    std::vector<Endpoint> endpoints_;
    qint64 received_ = 0;
    qsizetype matched_ = 0;
    PendingReboot reboot_;
};

bool installSignals()
{
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    return sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"terminal-sim"_s);

    QCommandLineParser parser;
    auto parsed = parseOptions(parser, QCoreApplication::arguments());
    if (const auto* error = std::get_if<QString>(&parsed)) {
        printErr(*error);
        printErr(u"用法见 terminal-sim --help"_s);
        return ExitUsage;
    }
    const Options options = std::get<Options>(std::move(parsed));
    if (const auto refusal = options.apply ? applyRefusal() : std::nullopt) {
        printErr(*refusal);
        return ExitUsage;
    }

    QList<QJsonObject> expected;
    if (!options.expectFile.isEmpty()) {
        QFile file(options.expectFile);
        if (!file.open(QIODevice::ReadOnly)) {
            printErr(u"无法读取期望文件 %1：%2"_s.arg(options.expectFile, file.errorString()));
            return ExitUsage;
        }
        auto read = parseExpectations(file.readAll());
        if (const auto* error = std::get_if<QString>(&read)) {
            printErr(u"期望文件 %1：%2"_s.arg(options.expectFile, *error));
            return ExitUsage;
        }
        expected = std::get<QList<QJsonObject>>(std::move(read));
        if (expected.isEmpty()) {
            printErr(u"期望文件 %1 中没有期望的数据包"_s.arg(options.expectFile));
            return ExitUsage;
        }
    }
    if (!installSignals()) {
        printErr(u"无法安装信号处理：%1"_s.arg(QString::fromLocal8Bit(std::strerror(errno))));
        return ExitCannotListen;
    }
    return Simulator(options, std::move(expected)).run();
}
