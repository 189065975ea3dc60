// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/dialogs.h"

// The real modal boxes and save dialog.
class QtDialogs : public Dialogs
{
public:
    int messageBox(const QString& text, const QString& caption, int flags) override;
    std::optional<QString> saveFileName(const SaveDialogRequest& request) override;
};
