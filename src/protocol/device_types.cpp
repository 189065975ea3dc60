// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/device_types.h"

#include "protocol/param_fields.h"

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace
{

// The catalogue: list captions by code. A new type is one caption here, the count in the
// header, and its code in the field table's rows that apply to it.
constexpr const char16_t* Captions[DeviceTypeCount] = {
    u"普通终端", // 1 ordinary terminal
    u"频道终端", // 2 channel terminal
    u"点播终端", // 3 on-demand terminal
    u"一键报警", // 4 one-key alarm station
    u"寻呼主机", // 5 paging console
    u"分区切换", // 6 zone switcher
    u"音频矩阵", // 7 audio matrix
    u"消防矩阵", // 8 fire-alarm matrix
    u"电源时序", // 9 power sequencer
    u"网络收音", // 10 network radio
    u"网络CD",   // 11 network CD player
    u"网络功放", // 12 network power amplifier
};

} // namespace

DeviceType::DeviceType(int code) : code_(code)
{
    if (code < 1 || code > DeviceTypeCount)
        throw std::out_of_range("device type code outside the catalogue");
}

Expected<DeviceType> DeviceType::fromCode(int code)
{
    if (code < 1 || code > DeviceTypeCount)
        return fail(u"设备类型代码%1不在1至%2之间"_s.arg(code).arg(DeviceTypeCount));
    return DeviceType(code, Checked{});
}

std::vector<DeviceType> DeviceType::all()
{
    std::vector<DeviceType> types;
    for (int code = 1; code <= DeviceTypeCount; ++code)
        types.push_back(DeviceType(code, Checked{}));
    return types;
}

QString DeviceType::caption() const
{
    return QString::fromUtf16(Captions[listIndex()]);
}

QStringList deviceTypeCaptions()
{
    QStringList captions;
    for (const DeviceType& type : DeviceType::all())
        captions.append(type.caption());
    return captions;
}

bool DeviceType::packs(ParamField field) const
{
    return fieldUse(field, *this) != nullptr;
}

bool DeviceType::validates(ParamField field) const
{
    const FieldSpec& spec = paramFieldSpec(field);
    return spec.validation != Validation::None && spec.validatedFor.contains(*this);
}

// The type-dependent controls follow from the uses the field table gives this type.
DeviceTypeView DeviceType::view() const
{
    DeviceTypeView v;
    const auto labelOf = [](const FieldUse* use) -> std::optional<QString> {
        if (!use || !use->label)
            return std::nullopt;
        return QString::fromUtf16(use->label);
    };
    const FieldUse* group = fieldUse(ParamField::GroupIP, *this);
    const FieldUse* ym = fieldUse(ParamField::YM, *this);
    const FieldUse* call = fieldUse(ParamField::CallIp, *this);
    v.groupVisible = group && group->shown;
    v.groupCaption = labelOf(group).value_or(QString());
    if (group && group->preset)
        v.groupText = QString::fromUtf16(group->preset);
    v.gb1Visible = ym && ym->shown;
    v.ymCaption = labelOf(ym);
    v.callCaption = labelOf(call);
    v.gb2Visible = fieldUse(ParamField::ID1, *this) != nullptr;
    return v;
}
