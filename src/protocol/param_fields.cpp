// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/param_fields.h"

#include <algorithm>

namespace
{

using G = DeviceGroup;
constexpr TypeSet All = TypeSet::every();
// The types whose page hides the group field; its text still goes out.
constexpr TypeSet PlainTypes = TypeSet::of({G::Plain});
constexpr TypeSet MulticastTypes = TypeSet::of({G::Paging, G::Multicast});
constexpr TypeSet AlarmTypes = TypeSet::of({G::Alarm});
constexpr TypeSet PagingTypes = TypeSet::of({G::Paging});
constexpr TypeSet ZoneSwitchTypes = TypeSet::of({G::ZoneSwitch});
constexpr TypeSet AlarmOrPaging = TypeSet::of({G::Alarm, G::Paging});

using F = ParamField;
using V = Validation;

// The relabelled fields also answer to their one-key-alarm and zone-switcher captions in a
// plan; "子网掩码" stays edtYM's, as designed, so for the one-key alarm the subnet mask goes
// in the 组播IP column.
// clang-format off
constexpr FieldRow Fields[] = {
    // key          caption                planKey              planAlias            label                control           text                      initial             validation    validatedFor
    {F::Type,       u"设备类型",           u"type",             nullptr,             u"Label16",          u"cmbType",       nullptr,                  nullptr,            V::None,      {}},
    {F::CurrIP,     u"当前设备IP",         u"current_ip",       nullptr,             u"Label9",           u"edtCurrIP",     &ParamFields::currIP,     u"192.168.1.200",   V::Named,     All},
    {F::CurrPort,   u"当前设备命令端口",   u"current_port",     nullptr,             u"Label22",          u"edtCurrPort",   &ParamFields::currPort,   u"7500",            V::None,      {}},
    {F::Upip,       u"更新后设备IP",       u"new_ip",           nullptr,             u"lbIP",             u"edtUpip",       &ParamFields::upip,       u"192.168.1.200",   V::Named,     All},
    {F::ServerIP,   u"服务器IP",           u"server_ip",        nullptr,             u"Label18",          u"ectServerIP",   &ParamFields::serverIP,   u"192.168.1.248",   V::Named,     All},
    {F::NetIP,      u"网关地址",           u"gateway",          nullptr,             u"Label23",          u"edtNetIP",      &ParamFields::netIP,      u"192.168.1.1",     V::Named,     All},
    {F::GPIP,       u"数据广播IP",         u"broadcast_ip",     nullptr,             u"Label7",           u"edtGPIP",       &ParamFields::gpip,       u"255.255.255.255", V::Named,     All},
    {F::Address,    u"设备地址",           u"address",          nullptr,             u"Label15",          u"edtAddress",    &ParamFields::address,    u"200",             V::None,      {}},
    {F::Order,      u"命令端口",           u"command_port",     nullptr,             u"Label8",           u"edtOrder",      &ParamFields::order,      u"7500",            V::None,      {}},
    {F::Data,       u"数据端口",           u"data_port",        nullptr,             u"Label12",          u"edtData",       &ParamFields::data,       u"7510",            V::None,      {}},
    {F::ServerPort, u"服务器端口",         u"server_port",      nullptr,             u"Label19",          u"edtServerPort", &ParamFields::serverPort, u"7520",            V::None,      {}},
    {F::GroupIP,    u"组播IP",             u"group_ip",         u"从属功放设备编号", u"Lbl_GroupIP",      u"edtGroupIP",    &ParamFields::groupIP,    u"224.0.1.48",      V::Named,     MulticastTypes},
    {F::YM,         u"子网掩码",           u"subnet_mask",      u"报警主机一IP",     u"Lbl_YM",           u"edtYM",         &ParamFields::ym,         u"255.255.255.0",   V::Captioned, AlarmOrPaging},
    {F::CallIp,     u"寻呼服务器IP",       u"paging_server_ip", u"报警主机二IP",     u"Lbl_CallServerIP", u"edtCallIp",     &ParamFields::callIp,     u"192.168.1.248",   V::Captioned, AlarmOrPaging},
    {F::ID1,        u"一键报警主机一地址", u"alarm_host1",      nullptr,             u"Label20",          u"edtID1",        &ParamFields::id1,        u"0",               V::None,      {}},
    {F::ID2,        u"一键报警主机二地址", u"alarm_host2",      nullptr,             u"Label21",          u"edtID2",        &ParamFields::id2,        u"0",               V::None,      {}},
};
// clang-format on
static_assert(std::size(Fields) == ParamFieldCount, "one row per field");

using P = Packing;

// Byte 0 is the command; bytes no use of a type fills go out as 0. The decoder names a use by
// its label without the colon, or the field's caption when the type keeps the label.
// clang-format off
constexpr FieldUse Layout[] = {
    // key          types            offset packing            jsonKey              englishName                      label                  shown  preset   decodedCaption
    {F::Upip,       All,             1,     P::Quad,           u"new_ip",           u"New address"},
    {F::ServerIP,   All,             5,     P::Quad,           u"server_ip",        u"Server address"},
    {F::NetIP,      All,             9,     P::Quad,           u"gateway",          u"Gateway"},
    {F::Order,      All,             13,    P::HighFirst,      u"command_port",     u"Command port"},
    {F::Data,       All,             15,    P::HighFirst,      u"data_port",        u"Data port"},
    {F::ServerPort, All,             17,    P::HighFirst,      u"server_port",      u"Server port"},
    {F::Address,    All,             19,    P::LowFirst,       u"device_address",   u"Device address"},
    {F::GPIP,       All,             21,    P::Quad,           u"broadcast_ip",     u"Data broadcast address"},
    {F::GroupIP,    PlainTypes,      25,    P::Quad,           u"hidden_group_ip",  u"Group address (hidden)",       u"",                   false, nullptr, u"组播IP（隐藏）"},
    {F::GroupIP,    AlarmTypes,      25,    P::Quad,           u"subnet_mask",      u"Subnet mask",                  u"子网掩码：",         true},
    {F::GroupIP,    MulticastTypes,  25,    P::Quad,           u"multicast_ip",     u"Multicast address",            u"组播IP：",           true},
    {F::GroupIP,    ZoneSwitchTypes, 25,    P::LowFirstPadded, u"amplifier",        u"Subordinate amplifier number", u"从属功放设备编号：", true,  u"0"},
    {F::YM,         AlarmTypes,      29,    P::Quad,           u"alarm_host1_ip",   u"Alarm host 1 address",         u"报警主机一IP",       true},
    {F::YM,         PagingTypes,     29,    P::Quad,           u"subnet_mask",      u"Subnet mask",                  u"子网掩码：",         true},
    {F::CallIp,     AlarmTypes,      33,    P::Quad,           u"alarm_host2_ip",   u"Alarm host 2 address",         u"报警主机二IP",       true},
    {F::CallIp,     PagingTypes,     33,    P::Quad,           u"paging_server_ip", u"Paging server address",        u"寻呼服务器IP：",     true},
    {F::ID1,        AlarmTypes,      37,    P::LowFirst,       u"alarm_host1_id",   u"Alarm host 1 number"},
    {F::ID2,        AlarmTypes,      39,    P::LowFirst,       u"alarm_host2_id",   u"Alarm host 2 number"},
};
// clang-format on

constexpr bool keyedInOrder()
{
    for (int i = 0; i < ParamFieldCount; ++i) {
        if (static_cast<int>(Fields[i].key) != i)
            return false;
    }
    return true;
}
static_assert(keyedInOrder(), "the field table is indexed by its key");

constexpr bool sortedByOffset()
{
    for (size_t i = 1; i < std::size(Layout); ++i) {
        if (Layout[i].offset < Layout[i - 1].offset)
            return false;
    }
    return true;
}
static_assert(sortedByOffset(), "fields are packed, and fail to convert, in offset order");

} // namespace

ParamFields::ParamFields()
{
    for (const FieldRow& entry : Fields) {
        if (entry.text)
            this->*entry.text = QString::fromUtf16(entry.initial);
    }
}

int packedSize(Packing packing)
{
    switch (packing) {
    case Packing::HighFirst:
    case Packing::LowFirst:
        return 2;
    case Packing::Quad:
    case Packing::LowFirstPadded:
        return 4;
    }
    return 4;
}

std::span<const FieldRow> paramFieldTable()
{
    return Fields;
}

const FieldRow& paramFieldRow(ParamField key)
{
    return Fields[fieldIndex(key)];
}

std::span<const FieldUse> paramLayout()
{
    return Layout;
}

const FieldUse* fieldUse(ParamField key, DeviceType type)
{
    const auto use = std::find_if(std::begin(Layout), std::end(Layout), [&](const FieldUse& u) {
        return u.key == key && u.types.contains(type);
    });
    return use == std::end(Layout) ? nullptr : use;
}

QString decodedCaption(const FieldUse& use)
{
    if (use.decodedCaption)
        return QString::fromUtf16(use.decodedCaption);
    if (!use.label)
        return QString::fromUtf16(paramFieldRow(use.key).caption);
    QString label = QString::fromUtf16(use.label);
    if (label.endsWith(u'：'))
        label.chop(1);
    return label;
}
