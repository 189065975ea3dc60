// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/capture_mark.h"
#include "common/queued_calls.h"
#include "console/pages/save_dialog.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>

class CaptureWriter;
class QCheckBox;
class QLabel;
class QWidget;
class TUDPServer;

// The test console's "记录抓包文件" box: while it is checked, every datagram the endpoint
// receives or sends is recorded into a pcapng file, beside the receive list and whatever it
// shows. Received ones are queued from the listener thread, sent ones from the send path, so
// the event thread does no more than before. Records the writer had to drop are counted beside
// the box (and in the file), and the count stays there after the recording ends.
class CaptureControl : public QObject
{
    Q_OBJECT
public:
    CaptureControl(TUDPServer& udp, QWidget* parent);
    ~CaptureControl() override;

    QCheckBox* checkBox() const { return chCapture_; }
    QLabel* pathLabel() const { return lbCapture_; }
    CaptureWriter& writer() { return *writer_; }

    // Ends a recording (disconnect, exit); the box is cleared.
    void stop();

    // Where the last datagram sent through the endpoint went in the running recording: its
    // file and frame (0 when it was lost or nothing was sent yet); no file when none runs.
    CaptureMark lastSent() const;

    SaveDialog dialog;

private:
    void toggled(bool checked);
    void start();
    void attach();
    void detach();
    void showPath(const QString& path);
    void showLost();

    TUDPServer& udp_;
    QueuedCalls calls_; // the writer's fault notice, outliving the writer
    std::shared_ptr<CaptureWriter> writer_;
    QCheckBox* chCapture_ = nullptr;
    QLabel* lbCapture_ = nullptr;
    QTimer lostWatch_; // while recording: records the writer could not keep up with
    QString path_;
    QString recording_; // the file being written; empty when none is
    // Set by the send tap, which may outlive this object (see the destructor).
    std::shared_ptr<std::atomic<std::uint64_t>> lastSentFrame_;
    std::uint64_t lostShown_ = 0;
};
