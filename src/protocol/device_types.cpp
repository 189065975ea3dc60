// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/device_types.h"

#include "protocol/param_fields.h"

#include <iterator>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace
{

struct CatalogueRow {
    int code;
    const char16_t* caption;
    DeviceGroup group;
};

using G = DeviceGroup;

// The catalogue, in list order. A new type is one row here; its group says what the field
// table does with it.
// clang-format off
constexpr CatalogueRow Catalogue[] = {
    {1,  u"普通终端", G::Plain},      // ordinary terminal
    {2,  u"频道终端", G::Plain},      // channel terminal
    {3,  u"点播终端", G::Plain},      // on-demand terminal
    {4,  u"一键报警", G::Alarm},      // one-key alarm station
    {5,  u"寻呼主机", G::Paging},     // paging console
    {6,  u"分区切换", G::ZoneSwitch}, // zone switcher
    {7,  u"音频矩阵", G::Plain},      // audio matrix
    {8,  u"消防矩阵", G::Multicast},  // fire-alarm matrix
    {9,  u"电源时序", G::Plain},      // power sequencer
    {10, u"网络收音", G::Multicast},  // network radio
    {11, u"网络CD",   G::Multicast},  // network CD player
    {12, u"网络功放", G::Plain},      // network power amplifier
};
// clang-format on
constexpr int CatalogueSize = static_cast<int>(std::size(Catalogue));

constexpr bool codedInOrder()
{
    for (int i = 0; i < CatalogueSize; ++i) {
        if (Catalogue[i].code != i + 1)
            return false;
    }
    return true;
}
static_assert(codedInOrder(), "a type's code is its list index plus one");

} // namespace

DeviceType::DeviceType(int code) : code_(code)
{
    if (code < 1 || code > CatalogueSize)
        throw std::out_of_range("device type code outside the catalogue");
}

Expected<DeviceType> DeviceType::fromCode(int code)
{
    if (code < 1 || code > CatalogueSize)
        return fail(u"设备类型代码%1不在1至%2之间"_s.arg(code).arg(CatalogueSize));
    return DeviceType(code, Checked{});
}

std::vector<DeviceType> DeviceType::all()
{
    std::vector<DeviceType> types;
    for (int code = 1; code <= CatalogueSize; ++code)
        types.push_back(DeviceType(code, Checked{}));
    return types;
}

qsizetype DeviceType::count()
{
    return CatalogueSize;
}

QString DeviceType::caption() const
{
    return QString::fromUtf16(Catalogue[listIndex()].caption);
}

DeviceGroup DeviceType::group() const
{
    return Catalogue[listIndex()].group;
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
    const FieldRow& entry = paramFieldRow(field);
    return entry.validation != Validation::None && entry.validatedFor.contains(*this);
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
