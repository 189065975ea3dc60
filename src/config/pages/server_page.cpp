// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/server_page.h"

#include "common/dialogs.h"
#include "common/exceptions.h"
#include "window/globals.h"
#include "common/guard.h"
#include "common/sysutils.h"
#include "config/ini_log.h"
#include "config/log_folder.h"
#include "config/pages/update_button.h"
#include "protocol/server_packet.h"
#include "net/udp_server.h"
#include "skin/skin_button.h"
#include "skin/song_font.h"
#include "ui_server_page.h"

#include <QFont>
#include <QPalette>

using namespace Qt::StringLiterals;

ServerPage::ServerPage(MainGlobals& globals, TUDPServer& udp, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::ServerPage>()), globals_(globals), udp_(udp)
{
    ui_->setupUi(this);

    ui_->LbMess->setFont(songFont(14));
    QPalette palette = ui_->LbMess->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    ui_->LbMess->setPalette(palette);

    ui_->edtIPCurr->setAccessibleName(ui_->LabelIPCurr->text());
    ui_->edtServicePort->setAccessibleName(ui_->LabelServicePort->text());
    const struct {
        QLabel* label;
        QLineEdit* fields[4];
    } rows[] = {
        {ui_->LabelNewIP, {ui_->edtIp1, ui_->edtIp2, ui_->edtIp3, ui_->edtIp4}},
        {ui_->LabelMask, {ui_->MarkIP1, ui_->MarkIP2, ui_->MarkIP3, ui_->MarkIP4}},
        {ui_->LabelGateWay, {ui_->GateWayIP1, ui_->GateWayIP2, ui_->GateWayIP3, ui_->GateWayIP4}},
    };
    for (const auto& row : rows) {
        for (int i = 0; i < 4; ++i)
            row.fields[i]->setAccessibleName(row.label->text() + u" 第"_s + intToStr(i + 1) +
                                             u"段"_s);
    }
    ui_->cmbNetName->setAccessibleName(ui_->LabelNetName->text());
    ui_->LbMess->setAccessibleName(u"更新结果"_s);

    // The command relies only on the button's click and its enabled state.
    configureUpdateButton(*ui_->sbUpdateIP, ui_->cmbNetName);
    connect(ui_->sbUpdateIP, &TSkinCustomButton::clicked, this, &ServerPage::sbUpdateIPClick);
}

ServerPage::~ServerPage() = default;

QString ServerPage::lbMessCaption() const
{
    return ui_->LbMess->property("caption").toString();
}

QWidget* ServerPage::updateButton() const
{
    return ui_->sbUpdateIP;
}

void ServerPage::sbUpdateIPClick()
{
    runGuarded([this] { updateServer(); });
}

ServerFields ServerPage::readFields() const
{
    ServerFields f;
    f.ipCurr = ui_->edtIPCurr->text();
    f.servicePort = ui_->edtServicePort->text();
    f.ip = {ui_->edtIp1->text(), ui_->edtIp2->text(), ui_->edtIp3->text(), ui_->edtIp4->text()};
    f.mark = {ui_->MarkIP1->text(), ui_->MarkIP2->text(), ui_->MarkIP3->text(),
              ui_->MarkIP4->text()};
    f.gateWay = {ui_->GateWayIP1->text(), ui_->GateWayIP2->text(), ui_->GateWayIP3->text(),
                 ui_->GateWayIP4->text()};
    f.netName = ui_->cmbNetName->currentText();
    return f;
}

void ServerPage::updateServer()
{
    if (const Expected<void> valid = validateServerFields(readFields()); !valid) {
        // A range test on a text that is no integer ends the command through the error box.
        if (isConversionFault(valid.error()))
            throw EConvertError(valid.error().message);
        infoBox(valid.error().message);
        return;
    }
    if (!confirmBox(firstConfirmText()))
        return;
    const ServerTexts texts = deriveServerTexts(readFields());
    if (!confirmBox(secondConfirmText(texts)))
        return;
    if (const auto failure = sendPacket()) {
        // Nothing reached the server: no summary, no log entry, and the button stays enabled
        // for another try.
        infoBox(sendFailureText(*failure));
        return;
    }
    setSummary(summaryCaption(texts));
    infoBox(completionText(texts));
    const QString folder = updateLogFolder(globals_.AppDir);
    prepareUpdateLogFolder(globals_.AppDir, folder);
    if (const Expected<void> written = iniWriteString(updateLogPath(folder), updateLogSection(),
                                                      updateLogKey(), updateLogValue(texts));
        !written)
        throw Exception(written.error().message); // the framework's error box says it
}

std::optional<QString> ServerPage::sendPacket()
{
    const Expected<TServerPacketBuffer> built = buildServerPacket(readFields());
    if (!built)
        throw EConvertError(built.error().message);
    const TServerPacketBuffer& packet = *built;
    // A failure here means the server was not told: the caller reports it instead of the
    // completion, so an installer does not restart the server host for nothing.
    try {
        const int port = strToInt(ui_->edtServicePort->text());
        udp_.SendDatagram(ui_->edtIPCurr->text(), port, packet.data(), ServerPacketSize,
                          "服务器地址包（立即更新）");
        updateButton()->setEnabled(false);
        return std::nullopt;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

void ServerPage::setSummary(const QString& caption)
{
    ui_->LbMess->setProperty("caption", caption);
    QString shown = caption;
    shown.replace(QChar(13), QChar(10));
    ui_->LbMess->setText(shown);
    // A screen reader reads the summary too: its title by name, the whole text as description.
    ui_->LbMess->setAccessibleDescription(shown);
}
