// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

// Flags and answers of the modal message box, with the numbers operators and tests know.
namespace MB
{
constexpr int OK = 0;
constexpr int OKCANCEL = 1;
constexpr int ICONSTOP = 16;
constexpr int ICONQUESTION = 32;
constexpr int ICONINFORMATION = 64;
constexpr int DEFBUTTON2 = 256;

constexpr int Information = OK | ICONINFORMATION;                  // 64
constexpr int Confirmation = OKCANCEL | ICONQUESTION | DEFBUTTON2; // 289
constexpr int Error = OK | ICONSTOP;                               // 16

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
} // namespace MB

// The application title: task-bar text and caption of the framework's error box.
inline QString appTitle()
{
    return QString::fromUtf8("终端设备配置工具软件");
}
// Caption of the program's own message boxes.
inline QString infoCaption()
{
    return QString::fromUtf8("信息提示：");
}

// What the save dialog is opened with. fileName is the proposed name or full path.
struct SaveDialogRequest {
    QString fileName;
    QString defaultExt;
    QString filter;
};

// The seam for everything modal: the app installs a real implementation, tests a scripted one.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // Modal for the whole program; answers MB::IDOK, MB::IDCANCEL, ...
    virtual int messageBox(const QString& text, const QString& caption, int flags) = 0;
    // The full path chosen, with the default extension added to a name typed without one;
    // nothing when the operator cancels.
    virtual std::optional<QString> saveFileName(const SaveDialogRequest& request) = 0;
};

// The installed implementation. Installing nullptr removes it; using the seam with none
// installed is a programming error and aborts.
Dialogs& dialogs();
void installDialogs(Dialogs* implementation);

// The program's own boxes.
void infoBox(const QString& text);         // caption "信息提示：", flags 64
bool confirmBox(const QString& text);      // caption "信息提示：", flags 289; true only for OK
void showErrorBox(const QString& message); // the framework's error box, "." rule applied
