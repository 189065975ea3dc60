// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_setup.h"

#include "common/dialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

QIcon appIcon()
{
    Q_INIT_RESOURCE(icons); // linked from a static library, so not registered by itself
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(u":/icons/%1.png"_s.arg(size), QSize(size, size));
    return icon;
}

bool installQtTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void setUpApplication(QApplication& app)
{
    QApplication::setApplicationName(appTitle());
    QApplication::setApplicationVersion(QStringLiteral(TERMINAL_CONFIG_TOOL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(TERMINAL_CONFIG_TOOL_APP_ID));
    QApplication::setWindowIcon(appIcon());
    installQtTranslations(app);
}
