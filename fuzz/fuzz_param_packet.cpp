// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter download packet and its validation from arbitrary field texts and device type
// codes (also outside 1 to 12). The packet is either the conversion error of the first field
// in packing order that is no integer, or 41 bytes equal to an independent computation; the
// validation names the first faulty field among those the code validates, with its message.
// What each type checks and packs, and its messages word for word, are written out below per
// type, not taken from the program's field table.
//
// Input fields: device type code, then the texts in ParamFields order (currIP, currPort, upip,
// serverIP, netIP, gpip, address, order, data, serverPort, groupIP, ym, callIp, id1, id2); two
// more fields are read and ignored (older corpus entries carry label captions there: the
// captions are now those the type gives the labels). Missing fields keep the page's initial
// texts.
#include <stdexcept>
#include "common/exceptions.h"
#include "protocol/param_packet.h"
#include "fuzz_fields.h"

#include <array>
#include <cstdint>
#include <variant>

using namespace Qt::StringLiterals;

namespace
{

enum class GroupBytes { Quad, Number };

// One device type as the page and the download treat it. Null messages: not checked.
struct TypeRow {
    int code;
    const char16_t* groupEmpty;
    const char16_t* groupBad;
    const char16_t* ymCaption; // the captions the type leaves on Lbl_YM and Lbl_CallServerIP
    const char16_t* callCaption;
    const char16_t* ymEmpty;
    const char16_t* ymBad;
    const char16_t* callEmpty;
    const char16_t* callBad;
    GroupBytes group;
    bool packsGb1; // bytes 29 to 36
    bool packsIds; // bytes 37 to 40
};

// clang-format off
constexpr TypeRow kTypes[] = {
    {1, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {2, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {3, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {4, nullptr, nullptr, u"报警主机一IP", u"报警主机二IP",
     u"报警主机一IP不能为空！", u"不合规则的非法报警主机一IP",
     u"报警主机二IP不能为空！", u"不合规则的非法报警主机二IP", GroupBytes::Quad, true, true},
    {5, u"组播IP不能为空！", u"不合规则的非法组播IP！", u"子网掩码：", u"寻呼服务器IP：",
     u"子网掩码：不能为空！", u"不合规则的非法子网掩码：",
     u"寻呼服务器IP：不能为空！", u"不合规则的非法寻呼服务器IP：", GroupBytes::Quad, true, false},
    {6, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Number, false, false},
    {7, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {8, u"组播IP不能为空！", u"不合规则的非法组播IP！", u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {9, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {10, u"组播IP不能为空！", u"不合规则的非法组播IP！", u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {11, u"组播IP不能为空！", u"不合规则的非法组播IP！", u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
    {12, nullptr, nullptr, u"子网掩码：", u"寻呼服务器IP：", nullptr, nullptr, nullptr, nullptr, GroupBytes::Quad, false, false},
};
// clang-format on
static_assert(std::size(kTypes) == 12);

struct Check {
    ParamField field;
    QString text;
    const char16_t* empty;
    const char16_t* length;
};

std::optional<Fault> expectedFault(const ParamFields& f, const TypeRow& t)
{
    const Check checks[] = {
        {ParamField::CurrIP, f.currIP, u"当前设备IP不能为空！", u"不合规则的非法当前设备IP！"},
        {ParamField::Upip, f.upip, u"更新后设备IP不能为空！", u"不合规则的非法更新后设备IP！"},
        {ParamField::ServerIP, f.serverIP, u"服务器IP不能为空！", u"不合规则的非法服务器IP！"},
        {ParamField::NetIP, f.netIP, u"网关地址不能为空！", u"不合规则的非法网关地址！"},
        {ParamField::GPIP, f.gpip, u"数据广播IP不能为空！", u"不合规则的非法数据广播IP！"},
        {ParamField::GroupIP, f.groupIP, t.groupEmpty, t.groupBad},
        {ParamField::YM, f.ym, t.ymEmpty, t.ymBad},
        {ParamField::CallIp, f.callIp, t.callEmpty, t.callBad},
    };
    for (const Check& c : checks) {
        if (!c.empty)
            continue;
        if (c.text.isEmpty())
            return Fault{QString::fromUtf16(c.empty), fieldIndex(c.field)};
        const qsizetype bytes = toCp936(c.text).size();
        if (bytes < 7 || bytes > 15)
            return Fault{QString::fromUtf16(c.length), fieldIndex(c.field)};
    }
    return std::nullopt;
}

// Either the packet or the text whose conversion fails first.
using Reference = std::variant<ParamPacket, QString>;

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

Reference expectedPacket(const ParamFields& f, const TypeRow& t)
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
    if (t.group == GroupBytes::Number)
        k.lowFirst(25, f.groupIP);
    else
        k.quad(25, f.groupIP);
    if (t.packsGb1) {
        k.quad(29, f.ym);
        k.quad(33, f.callIp);
    }
    if (t.packsIds) {
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
    if (code < 1 || code > DeviceType::count()) {
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
    const TypeRow& type = kTypes[code - 1];
    fuzz::check(type.code == code);
    const QString ym = QString::fromUtf16(type.ymCaption);
    const QString call = QString::fromUtf16(type.callCaption);

    const auto valid = validateParamFields(f, DeviceType(code), ym, call);
    const auto wanted = expectedFault(f, type);
    fuzz::check(valid.has_value() != wanted.has_value());
    if (!valid) {
        fuzz::check(valid.error().field == wanted->field);
        fuzz::check(valid.error().message == wanted->message);
    }

    const Reference expected = expectedPacket(f, type);
    const auto built = buildParamPacket(f, DeviceType(code));
    if (!built) {
        fuzz::check(std::holds_alternative<QString>(expected));
        fuzz::check(built.error().message == fuzz::conversionMessage(std::get<QString>(expected)));
        return 0;
    }
    const ParamPacket& packet = *built;
    fuzz::check(std::holds_alternative<ParamPacket>(expected));
    fuzz::check(packet.size() == 41 && packet[0] == 0x48);
    for (size_t i = 37; i < 41; ++i)
        fuzz::check(type.packsIds || packet[i] == 0);
    for (size_t i = 29; i < 37; ++i)
        fuzz::check(type.packsGb1 || packet[i] == 0);
    fuzz::check(packet == std::get<ParamPacket>(expected));
    return 0;
}
