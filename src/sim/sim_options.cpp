// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_options.h"

#include "protocol/device_types.h"

#include <QCommandLineParser>

using namespace Qt::StringLiterals;

namespace
{

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

void describe(QCommandLineParser& p)
{
    p.setApplicationDescription(
        u"模拟终端设备和服务器：在设备命令端口和服务管理端口上接收数据包，逐行打印解读后的字段。\n"
        "每行：时间 发送方地址:端口 -> 本地地址:端口 解读结果。\n"
        "退出码：0 正常结束或期望全部满足；1 期望未满足（字段不符、超时、被中断）；\n"
        "2 参数或期望文件有误；3 无法监听（端口被占用、地址无效或不属于本机）。"_s);
    p.addHelpOption();
    p.addOption({{u"v"_s, u"version"_s}, u"显示版本后退出。"_s});
    p.addOptions({
        {u"address"_s, u"设备和服务器共同的监听地址（默认 127.0.0.1）。"_s, u"IP"_s,
         u"127.0.0.1"_s},
        {u"device-address"_s, u"设备的监听地址（默认同 --address）。"_s, u"IP"_s},
        {u"server-address"_s, u"服务器的监听地址（默认同 --address）。"_s, u"IP"_s},
        {u"device-port"_s, u"设备命令端口（默认 7500，0 由系统选择）。"_s, u"PORT"_s, u"7500"_s},
        {u"server-port"_s, u"服务器的服务管理端口（默认 7550，0 由系统选择）。"_s, u"PORT"_s,
         u"7550"_s},
        {u"type"_s,
         u"按哪种设备类型（1 至 %1）解读参数包（默认 1，普通终端）。"_s.arg(DeviceType::count()),
         u"CODE"_s, u"1"_s},
        {u"json"_s, u"每个数据包打印一行JSON。"_s},
        {u"expect"_s,
         u"期望文件：每行一个JSON对象，依次与到达的数据包比较，只比较写出的键，例如 "
         "{\"kind\":\"param\",\"type\":1,\"new_ip\":\"192.168.1.200\"}。"_s,
         u"FILE"_s},
        {u"timeout"_s, u"最多等待的秒数（使用 --expect 时默认 10）。"_s, u"SECONDS"_s},
        {u"count"_s, u"收到 N 个数据包后结束。"_s, u"N"_s},
        {u"pcap"_s, u"把收到的每个数据包记录到 pcapng 抓包文件（可用 Wireshark 打开）。"_s,
         u"FILE"_s},
        {u"apply"_s,
         u"像设备一样按收到的参数包重启：等待 --reboot-seconds 后把设备地址改为包中的新IP。"
         "只在为此建立的网络命名空间中运行。"_s},
        {u"reboot-seconds"_s, u"--apply 的重启时间（默认 3 秒）。"_s, u"SECONDS"_s, u"3"_s},
    });
}

} // namespace

std::variant<SimOptions, SimExit> parseSimOptions(const QStringList& arguments)
{
    QCommandLineParser p;
    describe(p);
    const auto usage = [](const QString& text) { return SimExit{ExitUsage, text}; };
    if (!p.parse(arguments))
        return usage(p.errorText());
    if (p.isSet(u"help"_s))
        return SimExit{ExitOk, p.helpText()};
    if (p.isSet(u"version"_s))
        return SimExit{ExitOk, u"terminal-sim "_s + QStringLiteral(TERMINAL_CONFIG_TOOL_VERSION)};
    if (!p.positionalArguments().isEmpty())
        return usage(u"多余的参数：%1"_s.arg(p.positionalArguments().join(u' ')));

    SimOptions o;
    const QString address = p.value(u"address"_s);
    o.deviceAddress = p.isSet(u"device-address"_s) ? p.value(u"device-address"_s) : address;
    o.serverAddress = p.isSet(u"server-address"_s) ? p.value(u"server-address"_s) : address;
    QString error;
    const auto devicePort = portOption(p, u"device-port"_s, error);
    const auto serverPort = portOption(p, u"server-port"_s, error);
    if (!devicePort || !serverPort)
        return usage(error);
    o.devicePort = *devicePort;
    o.serverPort = *serverPort;
    bool ok = false;
    const Expected<DeviceType> type = DeviceType::fromCode(p.value(u"type"_s).toInt(&ok));
    if (!ok || !type)
        return usage(u"--type 需要 1 到 %1 之间的设备类型代码，收到“%2”"_s.arg(DeviceType::count())
                         .arg(p.value(u"type"_s)));
    o.deviceType = *type;
    o.json = p.isSet(u"json"_s);
    o.pcap = p.value(u"pcap"_s);
    o.expectFile = p.value(u"expect"_s);
    if (p.isSet(u"timeout"_s)) {
        const double seconds = p.value(u"timeout"_s).toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 86400.0 * 365)
            return usage(u"--timeout 需要秒数，收到“%1”"_s.arg(p.value(u"timeout"_s)));
        o.timeoutMs = static_cast<qint64>(seconds * 1000);
    } else if (!o.expectFile.isEmpty()) {
        o.timeoutMs = 10000;
    }
    if (p.isSet(u"count"_s)) {
        const qint64 n = p.value(u"count"_s).toLongLong(&ok);
        if (!ok || n < 1)
            return usage(u"--count 需要正整数，收到“%1”"_s.arg(p.value(u"count"_s)));
        o.count = n;
    }
    o.apply = p.isSet(u"apply"_s);
    const double reboot = p.value(u"reboot-seconds"_s).toDouble(&ok);
    if (!ok || reboot < 0 || reboot > 3600)
        return usage(u"--reboot-seconds 需要秒数，收到“%1”"_s.arg(p.value(u"reboot-seconds"_s)));
    o.rebootMs = static_cast<int>(reboot * 1000);
    return o;
}
