#include "skin/song_font.h"
#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "common/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

int main(int argc, char** argv)
{
    registerFontSubstitutions();
    QApplication app(argc, argv);
    QApplication::setApplicationName(appTitle());
    QtDialogs realDialogs;
    installDialogs(&realDialogs);

    int rc = 0;
    try {
        TfrmMain frmMain;
        frmMain.showMaximized();
        rc = QApplication::exec();
    } catch (const std::exception& e) {
        // Creating the window failed (no sockets, say): say so and end.
        QMessageBox::critical(nullptr, appTitle(), QString::fromLocal8Bit(e.what()));
        rc = 1;
    }
    installDialogs(nullptr);
    return rc;
}
