#include "config/pages/server_page.h"

#include "common/dialogs.h"
#include "common/globals.h"
#include "common/guard.h"
#include "common/sysutils.h"
#include "config/ini_log.h"
#include "config/log_folder.h"
#include "config/pages/update_button.h"
#include "config/server_packet.h"
#include "net/udp_server.h"
#include "skin/skin_button.h"
#include "skin/song_font.h"
#include "ui_server_page.h"

#include <QFont>
#include <QPalette>

using namespace Qt::StringLiterals;

ServerPage::ServerPage(MainGlobals& globals, TUDPServer& udp, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ServerPage>()), globals_(globals), udp_(udp)
{
    ui->setupUi(this);

    ui->LbMess->setFont(songFont(14));
    QPalette palette = ui->LbMess->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    ui->LbMess->setPalette(palette);

    ui->edtIPCurr->setAccessibleName(ui->LabelIPCurr->text());
    ui->edtServicePort->setAccessibleName(ui->LabelServicePort->text());
    const struct {
        QLabel* label;
        QLineEdit* fields[4];
    } rows[] = {
        {ui->LabelNewIP, {ui->edtIp1, ui->edtIp2, ui->edtIp3, ui->edtIp4}},
        {ui->LabelMask, {ui->MarkIP1, ui->MarkIP2, ui->MarkIP3, ui->MarkIP4}},
        {ui->LabelGateWay, {ui->GateWayIP1, ui->GateWayIP2, ui->GateWayIP3, ui->GateWayIP4}},
    };
    for (const auto& row : rows) {
        for (int i = 0; i < 4; ++i)
            row.fields[i]->setAccessibleName(row.label->text() + u" 第"_s + intToStr(i + 1) +
                                             u"段"_s);
    }
    ui->cmbNetName->setAccessibleName(ui->LabelNetName->text());
    ui->LbMess->setAccessibleName(u"更新结果"_s);

    // The command relies only on the button's click and its enabled state.
    configureUpdateButton(*ui->sbUpdateIP, ui->cmbNetName);
    connect(ui->sbUpdateIP, &TSkinCustomButton::clicked, this, &ServerPage::sbUpdateIPClick);
}

ServerPage::~ServerPage() = default;

QString ServerPage::lbMessCaption() const
{
    return ui->LbMess->property("caption").toString();
}

QWidget* ServerPage::updateButton() const
{
    return ui->sbUpdateIP;
}

void ServerPage::sbUpdateIPClick()
{
    runGuarded([this] { updateServer(); });
}

ServerFields ServerPage::readFields() const
{
    ServerFields f;
    f.IPCurr = ui->edtIPCurr->text();
    f.ServicePort = ui->edtServicePort->text();
    f.Ip = {ui->edtIp1->text(), ui->edtIp2->text(), ui->edtIp3->text(), ui->edtIp4->text()};
    f.Mark = {ui->MarkIP1->text(), ui->MarkIP2->text(), ui->MarkIP3->text(), ui->MarkIP4->text()};
    f.GateWay = {ui->GateWayIP1->text(), ui->GateWayIP2->text(), ui->GateWayIP3->text(),
                 ui->GateWayIP4->text()};
    f.NetName = ui->cmbNetName->currentText();
    return f;
}

void ServerPage::updateServer()
{
    if (const auto fault = validateServerFields(readFields())) {
        infoBox(*fault);
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
    iniWriteString(updateLogPath(folder), updateLogSection(), updateLogKey(),
                   updateLogValue(texts));
}

std::optional<QString> ServerPage::sendPacket()
{
    const TServerPacketBuffer packet = buildServerPacket(readFields());
    // A failure here means the server was not told: the caller reports it instead of the
    // completion, so an installer does not restart the server host for nothing.
    try {
        const int port = strToInt(ui->edtServicePort->text());
        udp_.SendDatagram(ui->edtIPCurr->text(), port, packet.data(), ServerPacketSize,
                          "服务器地址包（立即更新）");
        updateButton()->setEnabled(false);
        return std::nullopt;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"未知错误"_s;
    }
}

void ServerPage::setSummary(const QString& caption)
{
    ui->LbMess->setProperty("caption", caption);
    QString shown = caption;
    shown.replace(QChar(13), QChar(10));
    ui->LbMess->setText(shown);
    // A screen reader reads the summary too: its title by name, the whole text as description.
    ui->LbMess->setAccessibleDescription(shown);
}
