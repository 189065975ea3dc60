// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/param_download.h"
#include "protocol/device_types.h"
#include "protocol/param_fields.h"

#include <optional>

// What a plan needs of the page it sits on: the values a row leaves to the page, and a place
// to show what became of a row. The page implements it; nothing of a row is read back from it.
class PlanTarget
{
public:
    // The field texts the download command would read now, and the chosen device type
    // (none before the first choice).
    virtual ParamFields fieldTexts() const = 0;
    virtual std::optional<DeviceType> chosenType() const = 0;
    // Shows a row that was sent or tried as if typed on the page (its type chosen, its
    // fields filled in from the outcome), then the command's box and focus.
    virtual void showPlanSend(const DownloadOutcome& outcome) = 0;

protected:
    virtual ~PlanTarget() = default;
};
