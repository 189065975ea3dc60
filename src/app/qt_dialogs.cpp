// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace
{

QMessageBox::Icon iconFor(int flags)
{
    switch (flags & 0xF0) {
    case MB::ICONSTOP:
        return QMessageBox::Critical;
    case MB::ICONQUESTION:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case MB::ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// A carriage return alone starts a new line in the program's texts; the box shows it so.
QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

int QtDialogs::messageBox(const QString& text, const QString& caption, int flags)
{
    QMessageBox box(iconFor(flags), caption, displayText(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if ((flags & 0x0F) == MB::OKCANCEL) {
        cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
        box.setDefaultButton((flags & MB::DEFBUTTON2) ? cancel : ok);
    } else {
        box.setEscapeButton(ok);
        box.setDefaultButton(ok);
    }
    const QPointer<QWidget> focus = QApplication::focusWidget();
    box.exec();
    if (focus)
        focus->setFocus();
    if (box.clickedButton() == ok)
        return MB::IDOK;
    return cancel ? MB::IDCANCEL : MB::IDOK;
}

std::optional<QString> QtDialogs::saveFileName(const SaveDialogRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultExt);
    // It proposes the last path, so a second export would silently replace the first: ask.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    // A capture is no text file: the filter names what the file holds.
    const QString kind =
        request.filter == u"pcapng" ? QStringLiteral("抓包文件") : QStringLiteral("文本文件");
    dialog.setNameFilters(
        {QStringLiteral("%1 (*.%2)").arg(kind, request.filter), QStringLiteral("所有文件 (*)")});
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
