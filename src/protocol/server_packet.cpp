// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/server_packet.h"

#include "common/sysutils.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

constexpr QChar CR = QChar(13);

using SP = ServerPacking;

// clang-format off
constexpr ServerPart Layout[] = {
    // name          offset size packing      octets                  checkedAs      englishName     decodedCaption
    {u"command",     0,     1,   SP::Command, nullptr,                nullptr,       u"Command",     nullptr},
    {u"new_ip",      1,     4,   SP::Octets,  &ServerFields::ip,      u"IP",         u"New address", u"更新服务器IP"},
    {u"subnet_mask", 5,     4,   SP::Octets,  &ServerFields::mark,    u"子网掩码",   u"Subnet mask", u"子网掩码"},
    {u"gateway",     9,     4,   SP::Octets,  &ServerFields::gateWay, u"默认网关IP", u"Gateway",     u"默认网关"},
    {u"filler",      13,    5,   SP::Filler,  nullptr,                nullptr,       nullptr,        nullptr},
};
// clang-format on

constexpr bool withinTheBuffer()
{
    for (const ServerPart& part : Layout) {
        if (part.offset < 0 || part.offset + part.size > ServerPacketSize)
            return false;
    }
    return true;
}
static_assert(withinTheBuffer(), "every part lies within the packet");

// One group of four octets: its name in the messages, the fields, and the index of its first
// octet among the twelve.
struct OctetGroup {
    const std::array<QString, 4>& fields;
    QString what; // "IP", "子网掩码", "默认网关IP"
    int first;
};

Expected<void> validateGroup(const OctetGroup& g)
{
    const QString prefix = u"无效"_s + g.what + u"设置，IP段不允许"_s;
    for (const QString& f : g.fields) {
        if (f.isEmpty())
            return fail(prefix + u"为空！"_s);
    }
    // Converted field by field so that a number over 255 is reported before a later field
    // that does not convert.
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < 4; ++i) {
        const Expected<int> value = convertInt(g.fields[i]);
        if (!value)
            return fail(value.error().message, g.first + static_cast<int>(i));
        values[i] = *value;
        if (values[i] > 255)
            return fail(prefix + u"大于255！"_s);
    }
    auto all = [&](int v) {
        for (int x : values) {
            if (x != v)
                return false;
        }
        return true;
    };
    if (all(0))
        return fail(prefix + u"全为0！"_s);
    if (all(255))
        return fail(prefix + u"全为255！"_s);
    return {};
}

QString dotted(const std::array<QString, 4>& octets)
{
    return trim(octets[0]) + u'.' + trim(octets[1]) + u'.' + trim(octets[2]) + u'.' +
           trim(octets[3]);
}

} // namespace

std::span<const ServerPart> serverPacketLayout()
{
    return Layout;
}

ServerFields ServerFields::defaults()
{
    ServerFields f;
    f.ipCurr = u"192.168.1.248"_s;
    f.servicePort = u"7550"_s;
    f.ip = {u"192"_s, u"168"_s, u"1"_s, u"248"_s};
    f.mark = {u"255"_s, u"255"_s, u"255"_s, u"0"_s};
    f.gateWay = {u"192"_s, u"168"_s, u"1"_s, u"1"_s};
    f.netName = u"本地连接"_s;
    return f;
}

Expected<void> validateServerFields(const ServerFields& fields)
{
    int first = 0;
    for (const ServerPart& part : Layout) {
        if (part.packing != SP::Octets)
            continue;
        const OctetGroup g{fields.*part.octets, QString::fromUtf16(part.checkedAs), first};
        if (Expected<void> checked = validateGroup(g); !checked)
            return checked;
        first += 4;
    }
    if (fields.netName.isEmpty())
        return fail(u"连接名称不允许为空！"_s);
    return {};
}

ServerTexts deriveServerTexts(const ServerFields& fields)
{
    return {dotted(fields.ip), dotted(fields.mark), dotted(fields.gateWay), fields.netName};
}

Expected<TServerPacketBuffer> buildServerPacket(const ServerFields& fields)
{
    TServerPacketBuffer buffer{};
    int octet = 0; // the index of the octet among the twelve, for the fault
    for (const ServerPart& part : Layout) {
        std::uint8_t* at = buffer.data() + part.offset;
        switch (part.packing) {
        case SP::Command:
            *at = ServerPacketCommand;
            break;
        case SP::Octets:
            for (const QString& text : fields.*part.octets) {
                const Expected<int> value = convertInt(text);
                if (!value)
                    return fail(value.error().message, octet);
                *at++ = static_cast<std::uint8_t>(*value & 0xFF);
                ++octet;
            }
            break;
        case SP::Filler:
            std::fill_n(at, part.size, ServerPacketFiller);
            break;
        }
    }
    return buffer;
}

QString firstConfirmText()
{
    return u"确实需要立即更新服务器IP吗？请谨慎使用该功能！"_s;
}

QString secondConfirmText(const ServerTexts& t)
{
    return u"请再次确认，确实需要立即更新服务器IP吗？ IP="_s + t.ip + u" 子网掩码="_s + t.mask +
           u" 默认网关="_s + t.gateWay;
}

QString summaryCaption(const ServerTexts& t)
{
    return u"服务器网络配置:"_s + CR + CR + u"  服务器IP = "_s + t.ip + CR + CR +
           u"  子网掩码 = "_s + t.mask + CR + CR + u"  默认网关 = "_s + t.gateWay + CR + CR +
           u" 网络连接 = "_s + t.netName;
}

QString completionText(const ServerTexts& t)
{
    return u"更新服务器地址完成，请记住当前修改后的服务器IP，并且等候1分钟，然后关闭服务器主机重启系统，同时也重新启动当前客户端软件！"_s +
           CR + u"IP="_s + t.ip + u" 子网掩码="_s + t.mask + u" 默认网关="_s + t.gateWay;
}

QString sendFailureText(const QString& reason)
{
    return u"更新服务器地址错误！"_s + CR + reason;
}

QString updateLogPath(const QString& appDir)
{
    return appDir + u"IPSet.Ini"_s;
}

QString updateLogSection()
{
    return u"UpdateLog"_s;
}

QString updateLogKey()
{
    return u"Log"_s;
}

QString updateLogValue(const ServerTexts& t)
{
    return u"  服务器IP="_s + t.ip + u"  子网掩码="_s + t.mask + u"  默认网关="_s + t.gateWay +
           u" 网络连接="_s + t.netName;
}
