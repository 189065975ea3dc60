// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/device_types.h"
#include "protocol/param_fields.h"

#include <QString>
#include <optional>

class TUDPServer;

// What one run of the parameter download came to. The page shows it (box, focus); a plan
// records it. Nothing here touches a widget.
struct DownloadOutcome {
    enum class Step {
        Invalid,     // a field failed its check: information box, focus on `focus`
        Unconverted, // a field is no integer: the framework's error box with `message`
        SendFailed,  // the endpoint refused it: "设备设置错误！"
        Sent,        // handed to the socket: "设备设置完成！"
    };
    Step step = Step::Invalid;
    QString message; // the box's text; for Unconverted before the error box's "." rule
    std::optional<ParamField> focus;
    DeviceType type = DeviceType::first();
    ParamFields fields; // what was checked and, when sent, packed

    bool sent() const { return step == Step::Sent; }
    // The text the operator read in the box, as a plan's results file records it.
    QString boxText() const;
};

// The download command below the page: checks the fields for the type in the command's
// order, builds the packet and sends it through the endpoint to the current address and port.
DownloadOutcome downloadParams(TUDPServer& udp, DeviceType type, const ParamFields& fields);
