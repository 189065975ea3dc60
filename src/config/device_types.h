#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The kinds of terminal device the parameter page configures. A device type code is the list
// index plus one, 1 to 12.
constexpr int DeviceTypeCount = 12;

// Captions of the device type list, in list order.
QStringList deviceTypeCaptions();

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

// The view for a code; codes outside 1 to 12 hide every type-dependent control.
DeviceTypeView deviceTypeViewFor(int code);

// Whether the parameter download validates edtGroupIP as an address for this code.
bool validatesGroupAddress(int code);
// Whether edtYM and edtCallIp are validated and packed for this code.
bool usesGroupBox1(int code);
