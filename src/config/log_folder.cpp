// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/log_folder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

bool folderRefusesWrites(const QString& folder)
{
    if (::access(QFile::encodeName(folder).constData(), W_OK) == 0)
        return false;
    return errno == EACCES || errno == EROFS || errno == EPERM;
}

bool inSystemPrefix(const QString& folder)
{
    // Root may write there, but a log among the system's programs is lost to the operator
    // and litters a folder the package manager owns.
    const QString clean = QDir::cleanPath(folder) + u'/';
    return clean.startsWith(u"/usr/"_s) || clean.startsWith(u"/opt/"_s);
}

QString updateLogFolder(const QString& appDir, const QString& dataHome, const QString& home,
                        const std::function<bool(const QString&)>& refusesWrites)
{
    if (!inSystemPrefix(appDir) && !refusesWrites(appDir))
        return appDir;
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
    QString base = dataHome.startsWith(u'/') ? dataHome : home + u"/.local/share"_s;
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + u"/terminal-config-tool/"_s;
}

QString updateLogFolder(const QString& appDir)
{
    return updateLogFolder(appDir, qEnvironmentVariable("XDG_DATA_HOME"),
                           qEnvironmentVariable("HOME", QDir::homePath()), folderRefusesWrites);
}

void prepareUpdateLogFolder(const QString& appDir, const QString& folder)
{
    if (folder != appDir)
        QDir().mkpath(folder);
}
