// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/param_fields.h"
#include "plan/plan.h"

#include <QString>

// What the plan panel needs of the page it sits on: the fields' texts, the chosen type, and
// one run of the download command for a row. The page implements it, so the panel depends on
// this interface and not on the page.
class PlanTarget
{
public:
    // What one run of the download command came to: sent or not, and the text of its box.
    struct DownloadOutcome {
        bool sent = false;
        QString message;
    };

    // The field texts the download command would read now, and the chosen device type
    // (none before the first choice).
    virtual ParamFields fieldTexts() const = 0;
    virtual std::optional<DeviceType> chosenType() const = 0;
    // Chooses the row's device type, types its values into the fields and runs the download
    // command as the button does.
    virtual DownloadOutcome sendPlanRow(const PlanRow& row) = 0;

protected:
    ~PlanTarget() = default;
};
