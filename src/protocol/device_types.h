// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

// The kinds of terminal device the parameter page configures. A device type code is the list
// index plus one, 1 to DeviceType::count(). The catalogue (device_types.cpp) holds each type's
// code, caption and group; what a type does to the page and to the packet is read from the
// field table (param_fields.cpp), whose rows name the groups they apply to.

// Types that the parameter packet and the page treat alike. Each type is in one group.
enum class DeviceGroup : int {
    Plain,      // the page hides the group field, which still goes out
    Alarm,      // one-key alarm: alarm hosts in place of mask and paging server
    Paging,     // paging console: multicast address, subnet mask, paging server
    ZoneSwitch, // the group field carries the subordinate amplifier's number
    Multicast,  // a multicast address and nothing more
};
constexpr int DeviceGroupCount = 5;

enum class ParamField : int;

// What choosing a device type does to the type-dependent controls of the parameter page.
struct DeviceTypeView {
    bool groupVisible = false; // Lbl_GroupIP together with edtGroupIP
    QString groupCaption;      // new caption of Lbl_GroupIP (empty for the plain terminals)
    bool gb1Visible = false;
    std::optional<QString> ymCaption;   // new caption of Lbl_YM, none: keep the current one
    std::optional<QString> callCaption; // new caption of Lbl_CallServerIP
    bool gb2Visible = false;
    std::optional<QString> groupText; // new text of edtGroupIP, none: keep what is typed
};

// One entry of the catalogue.
class DeviceType
{
public:
    // Throws std::out_of_range for a code outside the catalogue.
    explicit DeviceType(int code);
    // The type with the code, or why there is none ("设备类型代码13不在1至12之间").
    static Expected<DeviceType> fromCode(int code);
    // The type the list starts with.
    static DeviceType first() { return DeviceType(1, Checked{}); }
    // Every type, in list order.
    static std::vector<DeviceType> all();
    // How many types the catalogue has; the highest code.
    static qsizetype count();

    int code() const { return code_; }
    int listIndex() const { return code_ - 1; }
    QString caption() const;
    DeviceGroup group() const;

    DeviceTypeView view() const;
    // Whether the field goes into the parameter packet for this type.
    bool packs(ParamField field) const;
    // Whether the download checks the field as an address for this type.
    bool validates(ParamField field) const;

    friend bool operator==(DeviceType, DeviceType) = default;

private:
    struct Checked {};
    DeviceType(int code, Checked) : code_(code) {}

    int code_;
};

// Captions of the device type list, in list order.
QStringList deviceTypeCaptions();

// A set of device types named by their groups, as the field table's rows name the types they
// apply to.
class TypeSet
{
public:
    constexpr TypeSet() = default;
    static constexpr TypeSet every() { return TypeSet(~std::uint32_t{0}); }
    static constexpr TypeSet of(std::initializer_list<DeviceGroup> groups)
    {
        std::uint32_t bits = 0;
        for (DeviceGroup group : groups)
            bits |= std::uint32_t{1} << static_cast<int>(group);
        return TypeSet(bits);
    }
    bool contains(DeviceType type) const { return (bits_ >> static_cast<int>(type.group())) & 1u; }

private:
    constexpr explicit TypeSet(std::uint32_t bits) : bits_(bits) {}
    std::uint32_t bits_ = 0;
};
