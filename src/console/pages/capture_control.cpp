// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/pages/capture_control.h"

#include "capture/capture_writer.h"
#include "common/dialogs.h"
#include "common/guard.h"
#include "net/udp_listener_thread.h"
#include "net/udp_server.h"

#include <QCheckBox>
#include <QLabel>
#include <QWidget>

using namespace Qt::StringLiterals;

CaptureControl::CaptureControl(TUDPServer& udp, QWidget* parent)
    : QObject(parent), udp_(udp), writer_(std::make_shared<CaptureWriter>()),
      lastSentFrame_(std::make_shared<std::atomic<std::uint64_t>>(0))
{
    dialog.FileName = u"capture.pcapng"_s;
    dialog.DefaultExt = u"pcapng"_s;
    dialog.Filter = u"pcapng"_s;

    chCapture_ = new QCheckBox(u"记录抓包文件"_s, parent);
    chCapture_->setObjectName(u"chCapture"_s);
    chCapture_->setAccessibleName(u"记录抓包文件"_s);
    lbCapture_ = new QLabel(parent);
    lbCapture_->setObjectName(u"LbCapture"_s);
    lbCapture_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path must not widen the window; the tip shows it whole.
    lbCapture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    showPath({});
    lostWatch_.setInterval(500);
    lostWatch_.callOnTimeout(this, [this] { runGuarded([&] { showLost(); }); });
    connect(chCapture_, &QCheckBox::clicked, this,
            [this](bool checked) { runGuarded([&] { toggled(checked); }); });

    writer_->setFaultNotice([this](const QString& text) {
        // From the writer's thread: the box and the clean-up belong to the event thread.
        calls_.post([this, text] {
            runGuarded([&] {
                stop();
                infoBox(text);
            });
        });
    });
}

CaptureControl::~CaptureControl()
{
    // The endpoint may already be gone (the window's members go before its child widgets), so
    // it is not touched here: its taps hold only weak references to the writer.
    writer_->stop();
}

void CaptureControl::toggled(bool checked)
{
    if (checked)
        start();
    else
        stop();
}

void CaptureControl::start()
{
    chCapture_->setChecked(false);
    if (!dialog.execute())
        return;
    QString error;
    if (!writer_->start(dialog.FileName, error)) {
        infoBox(error);
        return;
    }
    lastSentFrame_->store(0);
    recording_ = dialog.FileName;
    attach();
    chCapture_->setChecked(true);
    lostShown_ = 0;
    showPath(dialog.FileName);
    lostWatch_.start();
}

void CaptureControl::stop()
{
    const bool wasRunning = lostWatch_.isActive();
    lostWatch_.stop();
    detach();
    writer_->stop();
    recording_.clear();
    chCapture_->setChecked(false);
    // A file that lacks records keeps saying so until the next recording.
    if (wasRunning)
        showLost();
    if (lostShown_ == 0)
        showPath({});
}

CaptureMark CaptureControl::lastSent() const
{
    // A recording the writer ended on a fault is over too, before its notice arrives.
    if (recording_.isEmpty() || !writer_->running())
        return {};
    return {recording_, lastSentFrame_->load()};
}

void CaptureControl::showLost()
{
    const std::uint64_t lost = writer_->lost();
    if (lost == lostShown_)
        return;
    lostShown_ = lost;
    showPath(path_);
}

void CaptureControl::attach()
{
    std::weak_ptr<CaptureWriter> weak = writer_;
    udp_.receiveTap().set([weak](const QByteArray& data, const ReceiveInfo& info) {
        if (const auto writer = weak.lock()) {
            // A copy of its own, so the listener's buffer stays free for the next datagram.
            writer->add({.timeNs = info.timeNs,
                         .fromAddress = info.fromAddress,
                         .fromPort = info.fromPort,
                         .toAddress = info.localAddress,
                         .toPort = info.localPort,
                         .payload = QByteArray(data.constData(), data.size()),
                         .comment = {}});
        }
    });
    udp_.onSent = [weak, frame = lastSentFrame_](const SentDatagram& sent) {
        if (const auto writer = weak.lock()) {
            *frame =
                writer->add({.timeNs = sent.timeNs,
                             .fromAddress = sent.localAddress,
                             .fromPort = sent.localPort,
                             .toAddress = sent.toAddress,
                             .toPort = sent.toPort,
                             .payload = sent.bytes.toByteArray(),
                             .comment = sent.purpose ? QByteArray(sent.purpose) : QByteArray()});
        }
    };
}

void CaptureControl::detach()
{
    udp_.receiveTap().set(nullptr);
    udp_.onSent = nullptr;
}

void CaptureControl::showPath(const QString& path)
{
    path_ = path;
    const QString lost =
        path.isEmpty() || lostShown_ == 0 ? QString() : u"（已丢失%1条记录）"_s.arg(lostShown_);
    lbCapture_->setText(path + lost);
    lbCapture_->setToolTip(path + lost);
    lbCapture_->setAccessibleName(u"抓包文件："_s + (path.isEmpty() ? u"无"_s : path + lost));
}
