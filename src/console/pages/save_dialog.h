// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The export's file-save dialog: what it proposes, and the path it remembers for next time.
class SaveDialog
{
public:
    QString FileName = QStringLiteral("123"); // initial name; then the last chosen full path
    QString DefaultExt = QStringLiteral("txt");
    QString Filter = QStringLiteral("txt");

    // Asks for a file through the dialog seam; false when the operator cancels.
    bool execute();
};
