// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

class QApplication;
class QCoreApplication;

// What main() sets once the application object exists: the title, the icon, the desktop entry
// that belongs to the window, and Qt's own texts in Chinese.
void setUpApplication(QApplication& app);

// The program's icon in every size it ships.
QIcon appIcon();

// Loads Qt's Simplified Chinese texts (context menus, the save dialog, box buttons) whatever
// the system's language, so the window speaks one language. False when they are not installed;
// Qt's English texts stay then.
bool installQtTranslations(QCoreApplication& app);
