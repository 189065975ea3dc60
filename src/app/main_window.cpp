// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "common/dialogs.h"
#include "common/exceptions.h"
#include "window/globals.h"
#include "common/guard.h"
#include "common/sysutils.h"
#include "config/pages/param_page.h"
#include "config/pages/server_page.h"
#include "protocol/param_packet.h"
#include "console/pages/capture_control.h"
#include "console/pages/console_page.h"
#include "net/udp_listener_thread.h"
#include "net/udp_server.h"
#include "plan/heard_sources.h"
#include "plan/pages/plan_panel.h"
#include "plan/plan_verifier.h"
#include "skin/song_font.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QProxyStyle>
#include <QVBoxLayout>
#include <netinet/in.h>

// Resources of a static library are registered by hand.
static void initAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace
{

const QString Password = QStringLiteral("40617293");
constexpr int MulticastTimeToLive = 32;

// Masks the password with "*" whatever the platform's style prefers.
class StarPasswordStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The wheel changes a list's choice only while the list has the focus, so a turn of the wheel
// while the pointer merely passes over the device type (which resets the alarm numbers) or a
// connection name changes nothing.
class FocusedWheelOnly : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && !widget->hasFocus()) {
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void hostPage(QWidget* tabSheet, QWidget* page)
{
    auto* layout = new QVBoxLayout(tabSheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
}

} // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmMain>()),
      udpServer_(std::make_unique<TUDPServer>()), heard_(std::make_unique<HeardSources>())
{
    initAppResources();
    ui_->setupUi(this);
    showConnectionState(ui_->Label4->text());
    setObjectName(QStringLiteral("frmMain"));
    // The form file gives a top-level window only its size; the place matters when the
    // maximized window is restored.
    move(53, 167);

    setFont(songFont(14));
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    auto* starStyle = new StarPasswordStyle;
    starStyle->setParent(ui_->edtMM);
    ui_->edtMM->setStyle(starStyle);

    QPalette closeText = ui_->SpeedButton8->palette();
    closeText.setColor(QPalette::ButtonText, Qt::black);
    ui_->SpeedButton8->setPalette(closeText);

    QFont lockFont = ui_->Lb_Mss->font();
    lockFont.setPixelSize(21);
    ui_->Lb_Mss->setFont(lockFont);
    QPalette red = ui_->Lb_Mss->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    ui_->Lb_Mss->setPalette(red);

    paramPage_ = new ParamPage(globals, *udpServer_);
    hostPage(ui_->TabSheet1, paramPage_);
    serverPage_ = new ServerPage(globals, *udpServer_);
    hostPage(ui_->TabSheet4, serverPage_);
    consolePage_ = new ConsolePage(globals, *udpServer_);
    hostPage(ui_->TabSheet2, consolePage_);
    // A plan row's results say where its packet went in the capture being recorded.
    paramPage_->planPanel()->setCaptureMark([this] { return consolePage_->capture()->lastSent(); });
    paramPage_->planPanel()->verifier().setHeardSource(
        [this](int64_t withinMs) { return heard_->within(withinMs); });
    auto* wheelGuard = new FocusedWheelOnly(this);
    for (QComboBox* list : findChildren<QComboBox*>()) {
        list->setFocusPolicy(Qt::StrongFocus);
        list->installEventFilter(wheelGuard);
    }

    udpServer_->OnUDPRead = [this](TUDPServer& sender, const QByteArray& datagram,
                                   TSocketHandle& binding) {
        if (const ReceivedDatagram* received = sender.currentDatagram())
            heard_->heard(received->senderAddress);
        consolePage_->UDPServerUDPRead(sender, datagram, binding);
    };

    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TfrmMain::BitBtn1Click);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &TfrmMain::BitBtn2Click);
    connect(ui_->SpeedButton8, &QToolButton::clicked, this, &TfrmMain::SpeedButton8Click);
}

TfrmMain::~TfrmMain()
{
    // No datagram may reach a control once destruction has begun: detach the handler, then
    // close the endpoint (which waits for its listener) while every control still exists.
    udpServer_->OnUDPRead = nullptr;
    consolePage_->stopCapture();
    try {
        udpServer_->SetActive(false);
    } catch (...) {
    }
    udpServer_.reset();
}

void TfrmMain::IPstrToByte(const QString& text, std::uint8_t& b1, std::uint8_t& b2,
                           std::uint8_t& b3, std::uint8_t& b4)
{
    const Expected<Quad> bytes = ::IPstrToByte(text);
    if (!bytes)
        throw EConvertError(bytes.error().message);
    b1 = (*bytes)[0];
    b2 = (*bytes)[1];
    b3 = (*bytes)[2];
    b4 = (*bytes)[3];
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    bool closing = true;
    runGuarded([&] {
        if (!consolePage_->exporting())
            return;
        closing = confirmBox(QStringLiteral("接收数据正在导出。\n确定：取消导出并关闭，原有文件保持"
                                            "不变；取消：继续导出，不关闭。"));
        if (closing)
            consolePage_->cancelExport();
    });
    if (closing)
        QWidget::closeEvent(event);
    else
        event->ignore();
}

void TfrmMain::FormShow()
{
    runGuarded([this] {
        globals.selectDeviceType(DeviceType::first());
        ui_->PageControl1->setCurrentWidget(ui_->TabSheet3);
        ui_->edtMM->setFocus();
    });
}

void TfrmMain::SpeedButton8Click()
{
    runGuarded([this] { close(); });
}

void TfrmMain::BitBtn1Click()
{
    runGuarded([this] {
        if (ui_->edtMM->text() != Password) {
            infoBox(QStringLiteral("请输入正确的密码！"));
            ui_->edtMM->setFocus();
            return;
        }
        connectEndpoint();
        showConnectionState(QStringLiteral("连接"));
        ui_->PageControl1->setEnabled(true);
        ui_->Lb_Mss->hide();
        ui_->PageControl1->setCurrentWidget(ui_->TabSheet1);
        consolePage_->selectFirstByteCount();
        consolePage_->endpointOpened();
        globals.connectedFrom(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) +
                              QDir::separator());
    });
}

// Rebinds the endpoint on the typed port with the multicast time-to-live set. A failure leaves
// what was done before it done.
void TfrmMain::connectEndpoint()
{
    udpServer_->SetActive(false);
    const int port = strToInt(ui_->Edit3->text());
    udpServer_->SetDefaultPort(port);
    TSocketHandle& binding = udpServer_->AcquireBinding();
    const int ttl = MulticastTimeToLive;
    binding.SetSocketOption(IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    udpServer_->SetActive(true);
}

// A screen reader reads the state with its caption, as the label's neighbours show it.
void TfrmMain::showConnectionState(const QString& state)
{
    ui_->Label4->setText(state);
    ui_->Label4->setAccessibleName(QStringLiteral("连接状态：") + state);
}

void TfrmMain::BitBtn2Click()
{
    runGuarded([this] {
        consolePage_->stopCapture();
        udpServer_->SetActive(false);
        showConnectionState(QStringLiteral("断开"));
        ui_->PageControl1->setEnabled(false);
        ui_->Lb_Mss->show();
    });
}
