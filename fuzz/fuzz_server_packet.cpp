// SPDX-License-Identifier: GPL-3.0-or-later
// The server address update's validation and packet from arbitrary octet texts and a name.
// The validation answers exactly what a plain model of the fixed table answers (message,
// conversion error of the first text that is no integer, or pass), every message is one of
// the table's; after a pass the packet is D7, the twelve octets' low eight bits and 5 x 0x64,
// and the shown texts are the stripped octets joined by dots.
//
// Input fields: edtIp1..4, MarkIP1..4, GateWayIP1..4, cmbNetName; missing ones keep the page's
// initial texts.
#include "common/exceptions.h"
#include "protocol/server_packet.h"
#include "fuzz_fields.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace
{

struct Outcome {
    std::optional<QString> message;     // a validation fault
    std::optional<QString> unconverted; // the text whose conversion ended the validation
};

std::optional<Outcome> groupOutcome(const std::array<QString, 4>& octets, const QString& what)
{
    const QString head = u"无效"_s + what + u"设置，IP段不允许"_s;
    if (std::any_of(octets.begin(), octets.end(), [](const QString& s) { return s.isEmpty(); }))
        return Outcome{head + u"为空！"_s, {}};
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const auto v = fuzz::toInt(octets[static_cast<size_t>(i)]);
        if (!v)
            return Outcome{{}, octets[static_cast<size_t>(i)]};
        if (*v > 255)
            return Outcome{head + u"大于255！"_s, {}};
        values[i] = *v;
    }
    if (std::all_of(std::begin(values), std::end(values), [](int v) { return v == 0; }))
        return Outcome{head + u"全为0！"_s, {}};
    if (std::all_of(std::begin(values), std::end(values), [](int v) { return v == 255; }))
        return Outcome{head + u"全为255！"_s, {}};
    return std::nullopt;
}

Outcome expectedOutcome(const ServerFields& f)
{
    if (auto o = groupOutcome(f.ip, u"IP"_s))
        return *o;
    if (auto o = groupOutcome(f.mark, u"子网掩码"_s))
        return *o;
    if (auto o = groupOutcome(f.gateWay, u"默认网关IP"_s))
        return *o;
    if (f.netName.isEmpty())
        return Outcome{u"连接名称不允许为空！"_s, {}};
    return {};
}

bool inFixedTable(const QString& message)
{
    static const QStringList table = {
        u"无效IP设置，IP段不允许为空！"_s,
        u"无效IP设置，IP段不允许大于255！"_s,
        u"无效IP设置，IP段不允许全为0！"_s,
        u"无效IP设置，IP段不允许全为255！"_s,
        u"无效子网掩码设置，IP段不允许为空！"_s,
        u"无效子网掩码设置，IP段不允许大于255！"_s,
        u"无效子网掩码设置，IP段不允许全为0！"_s,
        u"无效子网掩码设置，IP段不允许全为255！"_s,
        u"无效默认网关IP设置，IP段不允许为空！"_s,
        u"无效默认网关IP设置，IP段不允许大于255！"_s,
        u"无效默认网关IP设置，IP段不允许全为0！"_s,
        u"无效默认网关IP设置，IP段不允许全为255！"_s,
        u"连接名称不允许为空！"_s,
    };
    return table.contains(message);
}

QString joined(const std::array<QString, 4>& octets)
{
    QString s;
    for (size_t i = 0; i < 4; ++i)
        s += (i ? u"."_s : QString()) + fuzz::fromPlain(fuzz::trimmed(fuzz::plain(octets[i])));
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const auto in = fuzz::splitFields(data, size, 13);
    ServerFields f = ServerFields::defaults();
    for (size_t i = 0; i < 12 && i < in.size(); ++i) {
        std::array<QString, 4>& group = i < 4 ? f.ip : i < 8 ? f.mark : f.gateWay;
        group[i % 4] = fuzz::toText(in[i]);
    }
    if (in.size() > 12)
        f.netName = fuzz::toText(in[12]);

    const Outcome expected = expectedOutcome(f);
    std::optional<QString> message;
    if (const auto valid = validateServerFields(f); !valid) {
        if (isConversionFault(valid.error())) {
            fuzz::check(expected.unconverted.has_value());
            fuzz::check(valid.error().message == fuzz::conversionMessage(*expected.unconverted));
            return 0;
        }
        message = valid.error().message;
    }
    fuzz::check(!expected.unconverted);
    fuzz::check(message == expected.message);
    if (message) {
        fuzz::check(inFixedTable(*message));
        return 0;
    }

    // Passed: every octet converts, so the packet cannot fail.
    const TServerPacketBuffer buffer = buildServerPacket(f).value();
    fuzz::check(buffer.size() == 20 && ServerPacketSize == 18);
    fuzz::check(buffer[0] == 0xD7);
    size_t at = 1;
    for (const auto* group : {&f.ip, &f.mark, &f.gateWay}) {
        for (const QString& octet : *group)
            fuzz::check(buffer[at++] == fuzz::low8(*fuzz::toInt(octet)));
    }
    for (; at < 18; ++at)
        fuzz::check(buffer[at] == 0x64);
    fuzz::check(buffer[18] == 0 && buffer[19] == 0);

    const ServerTexts texts = deriveServerTexts(f);
    fuzz::check(texts.ip == joined(f.ip));
    fuzz::check(texts.mask == joined(f.mark));
    fuzz::check(texts.gateWay == joined(f.gateWay));
    fuzz::check(texts.netName == f.netName);
    fuzz::check(updateLogValue(texts) == u"  服务器IP="_s + texts.ip + u"  子网掩码="_s +
                                             texts.mask + u"  默认网关="_s + texts.gateWay +
                                             u" 网络连接="_s + f.netName);
    return 0;
}
