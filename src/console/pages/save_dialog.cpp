#include "console/pages/save_dialog.h"

#include "common/dialogs.h"

bool TSaveDialog::Execute()
{
    const std::optional<QString> chosen =
        dialogs().SaveFileName(SaveDialogRequest{FileName, DefaultExt, Filter});
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}
