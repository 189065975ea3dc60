// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/posix_file.h"
#include "common/queued_calls.h"
#include "console/pages/save_dialog.h"
#include "console/test_datagram.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressDialog;
class QPushButton;
class QTimer;
class CaptureControl;
class ExportJob;
class MonitorMemo;
class TSocketHandle;
class TUDPServer;
struct MainGlobals;

// The test page: the test datagram sender on the left, the receive monitor on the right.
class ConsolePage : public QWidget
{
    Q_OBJECT
public:
    ConsolePage(MainGlobals& globals, TUDPServer& udp, QWidget* parent = nullptr);
    // An export still running is cancelled: the earlier file stays as it was.
    ~ConsolePage() override;

    // The endpoint's read handler: lists and counts one datagram while receiving is allowed.
    // Called on the event thread, one datagram at a time. Failures go back to the endpoint,
    // which drops them without a message.
    void UDPServerUDPRead(TUDPServer& Sender, const QByteArray& AData, TSocketHandle& ABinding);

    // Connecting selects the first byte count again.
    void selectFirstByteCount();

    // A new socket: its kernel drop count starts from nothing, and the notice says whether the
    // kernel gave it the receive buffer asked for.
    void endpointOpened();

    // The list's whole text, every listed datagram included.
    QString memoText();

    // The capture file beside the list; stopCapture ends a recording (disconnect, exit).
    CaptureControl* capture() const { return capture_; }
    void stopCapture();

    // True from the export's start until its file is written, cancelled or failed (and the
    // failure told).
    bool exporting() const { return export_ != nullptr; }
    // Cancels a running export, as its progress dialog's button does: the earlier file stays.
    void cancelExport();
    // The system calls the export writes through (tests hold or fail them).
    void setExportFileOps(FileOps ops) { exportOps_ = std::move(ops); }

    SaveDialog SaveDialog1;

public Q_SLOTS:
    void N1Click();       // clear the list, keep the count
    void Button1Click();  // reset the count and clear the list
    void N2Click();       // export the list to a file
    void Button12Click(); // send the test datagram

private:
    QWidget* buildSender();
    QWidget* buildMonitor();
    void showListedCount();
    void showLinesAside();
    void showCount(const QString& text);
    void showDropped();
    void startExport(std::unique_ptr<ExportJob> job);
    void showExportProgress();
    void exportEnded();

    MainGlobals& globals_;
    TUDPServer& udp_;
    QString line_;        // reused for each datagram's line
    int listedCount_ = 0; // RecvCount right after the last listed datagram; LbNum shows it
    // Datagrams the kernel dropped on the socket (no room left) while receiving was allowed,
    // since the last reset or connect: listed + dropped = arrived.
    qint64 dropped_ = 0;
    uint32_t lastSocketDrops_ = 0; // the socket's own count as of the last datagram

    QLineEdit* edtIP = nullptr;
    QLineEdit* edtPort = nullptr;
    QLineEdit* edtData[TestDatagramCapacity] = {};
    QComboBox* cmbData = nullptr;
    QPushButton* Button12 = nullptr;
    QCheckBox* ChOK = nullptr;
    QLineEdit* edtNum = nullptr;
    QLabel* LbNum = nullptr;
    QLabel* lbAside_ = nullptr;      // how many older lines wait in the spool; not part of the list
    QWidget* asideHolder_ = nullptr; // holds lbAside_ out of the layout's way
    QLabel* lbDrop_ = nullptr;       // datagrams the kernel dropped; hidden while none
    QLabel* lbBuffer_ = nullptr;     // told when the kernel granted less receive buffer than asked
    QPushButton* Button1 = nullptr;
    QCheckBox* ch1 = nullptr;
    MonitorMemo* Memo1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    CaptureControl* capture_ = nullptr;

    // The export being written, with its progress dialog (shown when it takes a while).
    // The worker's end of the export, on the event thread; declared first, so that it outlives
    // the job, whose worker may still post while the job is joined.
    QueuedCalls exportCalls_;
    std::unique_ptr<ExportJob> export_;
    QProgressDialog* exportProgress_ = nullptr;
    QTimer* exportTimer_ = nullptr;
    FileOps exportOps_ = FileOps::system();
};
