// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter download packet and its validation from arbitrary field texts and device type
// codes (also outside 1 to 12). The packet is either the conversion error of the first field
// in packing order that is no integer, or 41 bytes equal to an independent computation; the
// validation names the first faulty field among those the code validates, with its message.
//
// Input fields: device type code, then the texts in ParamFields order (currIP, currPort, upip,
// serverIP, netIP, gpip, address, order, data, serverPort, groupIP, ym, callIp, id1, id2), then
// the captions of Lbl_YM and Lbl_CallServerIP. Missing fields keep the page's initial texts.
#include <stdexcept>
#include "common/exceptions.h"
#include "config/param_packet.h"
#include "fuzz_fields.h"

#include <array>
#include <cstdint>
#include <variant>

using namespace Qt::StringLiterals;

namespace
{

bool validatesGroup(int code)
{
    return code == 5 || code == 8 || code == 10 || code == 11;
}

bool alarmOrPaging(int code)
{
    return code == 4 || code == 5;
}

struct Check {
    ParamField field;
    QString text;
    QString empty;
    QString length;
};

std::optional<ParamFault> expectedFault(const ParamFields& f, int code, const QString& ym,
                                        const QString& call)
{
    std::vector<Check> checks = {
        {ParamField::CurrIP, f.currIP, u"当前设备IP不能为空！"_s, u"不合规则的非法当前设备IP！"_s},
        {ParamField::Upip, f.upip, u"更新后设备IP不能为空！"_s, u"不合规则的非法更新后设备IP！"_s},
        {ParamField::ServerIP, f.serverIP, u"服务器IP不能为空！"_s, u"不合规则的非法服务器IP！"_s},
        {ParamField::NetIP, f.netIP, u"网关地址不能为空！"_s, u"不合规则的非法网关地址！"_s},
        {ParamField::GPIP, f.gpip, u"数据广播IP不能为空！"_s, u"不合规则的非法数据广播IP！"_s},
    };
    if (validatesGroup(code))
        checks.push_back(
            {ParamField::GroupIP, f.groupIP, u"组播IP不能为空！"_s, u"不合规则的非法组播IP！"_s});
    if (alarmOrPaging(code)) {
        checks.push_back({ParamField::YM, f.ym, ym + u"不能为空！"_s, u"不合规则的非法"_s + ym});
        checks.push_back(
            {ParamField::CallIp, f.callIp, call + u"不能为空！"_s, u"不合规则的非法"_s + call});
    }
    for (const Check& c : checks) {
        if (c.text.isEmpty())
            return ParamFault{c.empty, c.field};
        const qsizetype bytes = toCp936(c.text).size();
        if (bytes < 7 || bytes > 15)
            return ParamFault{c.length, c.field};
    }
    return std::nullopt;
}

// Either the packet or the text whose conversion fails first.
using Expected = std::variant<ParamPacket, QString>;

struct Packer {
    ParamPacket p{};
    std::optional<QString> failed;

    void quad(size_t at, const QString& text)
    {
        if (failed)
            return;
        const fuzz::QuadResult q = fuzz::referenceQuad(fuzz::trimmed(fuzz::plain(text)));
        if (q.failingPiece) {
            failed = q.failingPiece;
            return;
        }
        for (size_t k = 0; k < 4; ++k)
            p[at + k] = q.bytes[k];
    }
    std::optional<std::int64_t> number(const QString& text)
    {
        if (failed)
            return std::nullopt;
        const auto v = fuzz::toInt(text);
        if (!v)
            failed = text;
        return v;
    }
    // High byte = low eight bits of the value divided by 256, truncated toward zero.
    void highFirst(size_t at, const QString& text)
    {
        if (const auto v = number(text)) {
            p[at] = fuzz::low8(*v / 256);
            p[at + 1] = fuzz::low8(*v);
        }
    }
    void lowFirst(size_t at, const QString& text)
    {
        if (const auto v = number(text)) {
            p[at] = fuzz::low8(*v);
            p[at + 1] = fuzz::low8(*v / 256);
        }
    }
};

Expected expectedPacket(const ParamFields& f, int code)
{
    Packer k;
    k.p[0] = 0x48;
    k.quad(1, f.upip);
    k.quad(5, f.serverIP);
    k.quad(9, f.netIP);
    k.highFirst(13, f.order);
    k.highFirst(15, f.data);
    k.highFirst(17, f.serverPort);
    k.lowFirst(19, f.address);
    k.quad(21, f.gpip);
    if (code == 6)
        k.lowFirst(25, f.groupIP);
    else
        k.quad(25, f.groupIP);
    if (alarmOrPaging(code)) {
        k.quad(29, f.ym);
        k.quad(33, f.callIp);
    }
    if (code == 4) {
        k.lowFirst(37, f.id1);
        k.lowFirst(39, f.id2);
    }
    if (k.failed)
        return *k.failed;
    return k.p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const auto in = fuzz::splitFields(data, size, 18);
    const int code = fuzz::numberAt(in, 0);
    // A code outside the catalogue is no device type: it is refused before any packing.
    if (code < 1 || code > DeviceTypeCount) {
        bool refused = false;
        try {
            (void)DeviceType(code);
        } catch (const std::out_of_range&) {
            refused = true;
        }
        fuzz::check(refused);
        return 0;
    }
    ParamFields f;
    QString* const texts[] = {&f.currIP,  &f.currPort, &f.upip,   &f.serverIP, &f.netIP,
                              &f.gpip,    &f.address,  &f.order,  &f.data,     &f.serverPort,
                              &f.groupIP, &f.ym,       &f.callIp, &f.id1,      &f.id2};
    for (size_t i = 0; i < std::size(texts); ++i) {
        if (1 + i < in.size())
            *texts[i] = fuzz::toText(in[1 + i]);
    }
    const QString ym = in.size() > 16 ? fuzz::toText(in[16]) : u"子网掩码："_s;
    const QString call = in.size() > 17 ? fuzz::toText(in[17]) : u"寻呼服务器IP："_s;

    const auto fault = validateParamFields(f, DeviceType(code), ym, call);
    const auto wanted = expectedFault(f, code, ym, call);
    fuzz::check(fault.has_value() == wanted.has_value());
    if (fault) {
        fuzz::check(fault->field == wanted->field);
        fuzz::check(fault->message == wanted->message);
    }

    const Expected expected = expectedPacket(f, code);
    ParamPacket packet;
    try {
        packet = buildParamPacket(f, DeviceType(code));
    } catch (const EConvertError& e) {
        fuzz::check(std::holds_alternative<QString>(expected));
        fuzz::check(e.message() == fuzz::conversionMessage(std::get<QString>(expected)));
        return 0;
    }
    fuzz::check(std::holds_alternative<ParamPacket>(expected));
    fuzz::check(packet.size() == 41 && packet[0] == 0x48);
    // Alarm numbers only for code 4; bytes 29 to 36 only for codes 4 and 5.
    for (size_t i = 37; i < 41; ++i)
        fuzz::check(code == 4 || packet[i] == 0);
    for (size_t i = 29; i < 37; ++i)
        fuzz::check(alarmOrPaging(code) || packet[i] == 0);
    fuzz::check(packet == std::get<ParamPacket>(expected));
    return 0;
}
