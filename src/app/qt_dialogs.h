#pragma once

#include "common/dialogs.h"

// The real modal boxes and save dialog.
class QtDialogs : public Dialogs
{
public:
    int MessageBox(const QString& text, const QString& caption, int flags) override;
    std::optional<QString> SaveFileName(const SaveDialogRequest& request) override;
};
