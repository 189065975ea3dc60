// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/pages/save_dialog.h"

#include "common/dialogs.h"

bool SaveDialog::execute()
{
    const std::optional<QString> chosen =
        dialogs().saveFileName(SaveDialogRequest{FileName, DefaultExt, Filter});
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}
