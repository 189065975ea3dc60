// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window to PNG files in its states (locked; unlocked on each page), on the
// offscreen platform, so its look can be checked without a display:
//   render_window <output folder>
// Connecting binds a port the system picks on this host; nothing is sent.

#include "app/app_setup.h"
#include "app/main_window.h"
#include "common/dialogs.h"
#include "skin/song_font.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>

namespace
{

class PrintingDialogs : public Dialogs
{
public:
    int messageBox(const QString& text, const QString& caption, int) override
    {
        std::printf("box: %s | %s\n", qPrintable(caption), qPrintable(text));
        return MB::IDOK;
    }
    std::optional<QString> saveFileName(const SaveDialogRequest&) override { return std::nullopt; }
};

bool save(QWidget& window, const QString& folder, const char* name)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const bool ok = window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    registerFontSubstitutions();
    QApplication app(argc, argv);
    setUpApplication(app);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    PrintingDialogs printing;
    installDialogs(&printing);

    bool ok = true;
    {
        TfrmMain window;
        window.resize(1089, 551);
        window.show();
        ok &= save(window, folder, "0-locked.png");

        window.findChild<QLineEdit*>(QStringLiteral("edtMM"))->setText(QStringLiteral("40617293"));
        // Bound on a port the system picks, so that a running copy on 7520 does not stop the
        // pictures; the field then reads as an installer's window does.
        auto* port = window.findChild<QLineEdit*>(QStringLiteral("Edit3"));
        port->setText(QStringLiteral("0"));
        window.BitBtn1Click();
        port->setText(QStringLiteral("7520"));
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        const char* names[] = {"1-parameters.png", "2-server.png", "3-console.png"};
        for (int i = 0; i < 3; ++i) {
            pages->setCurrentIndex(i);
            ok &= save(window, folder, names[i]);
        }
        if (auto* type = window.findChild<QComboBox*>(QStringLiteral("cmbType"))) {
            pages->setCurrentIndex(0);
            type->setCurrentIndex(3);
            Q_EMIT type->activated(3);
            ok &= save(window, folder, "4-parameters-alarm.png");
        }
        window.BitBtn2Click();
        ok &= save(window, folder, "5-disconnected.png");
    }
    installDialogs(nullptr);
    return ok ? 0 : 1;
}
