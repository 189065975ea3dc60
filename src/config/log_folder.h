// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// Where the update log goes. Beside the program as long as its folder takes new files (a copy
// run from its build or a portable folder); installed under /usr that folder refuses them, and
// the log goes to the user's data folder instead.

// True when the folder refuses new files for want of permission or because it is read-only.
// A folder that is missing or not a folder does not count: writing there reports the real fault.
bool folderRefusesWrites(const QString& folder);

// True for a folder under /usr (also /usr/local) or /opt: the log never goes there, even where
// the process may write (root).
bool inSystemPrefix(const QString& folder);

// appDir and the result end with "/". dataHome is $XDG_DATA_HOME (used only when absolute),
// home is $HOME.
QString updateLogFolder(const QString& appDir, const QString& dataHome, const QString& home,
                        const std::function<bool(const QString&)>& refusesWrites);

// The same with the process's environment and the real folder check.
QString updateLogFolder(const QString& appDir);

// Makes the folder when it is the user's data folder, so the first update there can be logged.
// Beside the program nothing is made. Failure is left for the writer to report.
void prepareUpdateLogFolder(const QString& appDir, const QString& folder);
