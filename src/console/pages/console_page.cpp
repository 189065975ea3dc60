// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/pages/console_page.h"

#include "common/dialogs.h"
#include "common/exceptions.h"
#include "window/globals.h"
#include "common/guard.h"
#include "common/sysutils.h"
#include "console/export_file.h"
#include "console/export_job.h"
#include "console/pages/capture_control.h"
#include "console/monitor_line.h"
#include "console/pages/monitor_memo.h"
#include "console/pages/packet_tips.h"
#include "console/test_datagram.h"
#include "net/udp_listener_thread.h"
#include "net/udp_server.h"
#include "skin/song_font.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

// Holds a word-wrapped label whose text changes with every frame under a flood. A label's new
// text asks its parent's layout again; in a layout that request climbs to the tab widget,
// which then repaints the whole page, every control of it, every frame. Here it stops at the
// holder, which has no layout, and whose height follows the text only when the text takes
// another number of lines.
class LabelHolder : public QWidget
{
public:
    LabelHolder(QLabel* label, QWidget* parent) : QWidget(parent), label_(label)
    {
        label_->setParent(this);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

protected:
    // The label's new text asks here, its parent, again.
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
            fitHeight();
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent*) override
    {
        fitHeight();
        label_->setGeometry(rect()); // the height fitHeight gave, even while still hidden
    }

private:
    void fitHeight()
    {
        if (width() <= 0)
            return;
        const int height = label_->heightForWidth(width());
        if (height > 0 && height != this->height())
            setFixedHeight(height);
    }

    QLabel* label_;
};

// A field with its caption in a form row; the caption is also what a screen reader says.
QLineEdit* addField(QFormLayout* form, QWidget* owner, const QString& name, const QString& caption,
                    const QString& text)
{
    auto* edit = new QLineEdit(text, owner);
    edit->setObjectName(name);
    edit->setAccessibleName(caption);
    auto* label = new QLabel(caption, owner);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

} // namespace

ConsolePage::ConsolePage(MainGlobals& globals, TUDPServer& udp, QWidget* parent)
    : QWidget(parent), globals_(globals), udp_(udp)
{
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildSender(), 0);
    layout->addWidget(buildMonitor(), 1);
    exportTimer_ = new QTimer(this);
    exportTimer_->setInterval(100);
    connect(exportTimer_, &QTimer::timeout, this, &ConsolePage::showExportProgress);
}

ConsolePage::~ConsolePage()
{
    export_.reset();
}

QWidget* ConsolePage::buildSender()
{
    auto* box = new QGroupBox(u"数据发送"_s, this);
    box->setObjectName(u"gbSend"_s);
    auto* form = new QFormLayout(box);
    edtIP = addField(form, box, u"edtIP"_s, u"对方IP："_s, u"255.255.255.255"_s);
    edtPort = addField(form, box, u"edtPort"_s, u"对方端口："_s, u"7500"_s);
    for (int k = 0; k < TestDatagramCapacity; ++k) {
        const QString number = intToStr(k + 1);
        edtData[k] = addField(form, box, u"edt"_s + number, u"数据"_s + number + u"："_s,
                              k == 0 ? u"1"_s : u"0"_s);
    }

    cmbData = new QComboBox(box); // a drop-down list: nothing can be typed into it
    cmbData->setObjectName(u"cmbData"_s);
    cmbData->setEditable(false);
    for (int n = 1; n <= TestDatagramCapacity; ++n)
        cmbData->addItem(intToStr(n));
    cmbData->setCurrentIndex(-1);
    const QString countCaption = u"数据个数："_s;
    cmbData->setAccessibleName(countCaption);
    auto* countLabel = new QLabel(countCaption, box);
    countLabel->setBuddy(cmbData);

    Button12 = new QPushButton(u"发送"_s, box);
    Button12->setObjectName(u"Button12"_s);
    Button12->setAccessibleName(u"发送"_s);
    connect(Button12, &QPushButton::clicked, this, &ConsolePage::Button12Click);

    auto* row = new QHBoxLayout;
    row->addWidget(cmbData, 1);
    row->addWidget(Button12);
    form->addRow(countLabel, row);
    return box;
}

QWidget* ConsolePage::buildMonitor()
{
    auto* monitor = new QWidget(this);
    auto* column = new QVBoxLayout(monitor);
    column->setContentsMargins(0, 0, 0, 0);

    auto* bar = new QHBoxLayout;
    ChOK = new QCheckBox(u"允许接收数据"_s, monitor);
    ChOK->setObjectName(u"ChOK"_s);
    ChOK->setAccessibleName(u"允许接收数据"_s);
    bar->addWidget(ChOK);

    const QString numCaption = u"数据字节个数："_s;
    auto* numLabel = new QLabel(numCaption, monitor);
    edtNum = new QLineEdit(intToStr(DefaultShowByteCount), monitor);
    edtNum->setObjectName(u"edtNum"_s);
    edtNum->setAccessibleName(numCaption);
    edtNum->setMaximumWidth(60);
    numLabel->setBuddy(edtNum);
    bar->addWidget(numLabel);
    bar->addWidget(edtNum);

    const QString countCaption = u"本地接收到的数据条数："_s;
    bar->addWidget(new QLabel(countCaption, monitor));
    LbNum = new QLabel(monitor);
    LbNum->setObjectName(u"LbNum"_s);
    showCount(u"0"_s);
    LbNum->setFont(songFont(14));
    QPalette red = LbNum->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    LbNum->setPalette(red);
    // Of a fixed size, as wide as the widest count: a label of fixed size does not ask the
    // layout again when its text changes. Otherwise the request climbs to the tab widget, and
    // that repaints the whole page with every new count.
    LbNum->setFixedSize(std::max(80, LbNum->fontMetrics().horizontalAdvance(u"-2147483648"_s)),
                        LbNum->sizeHint().height());
    bar->addWidget(LbNum);
    lbDrop_ = new QLabel(u"系统丢弃：9223372036854775807"_s, monitor);
    lbDrop_->setObjectName(u"LbDrop"_s);
    lbDrop_->setPalette(red);
    lbDrop_->setFixedSize(lbDrop_->sizeHint());
    lbDrop_->clear();
    lbDrop_->hide();
    bar->addWidget(lbDrop_);

    Button1 = new QPushButton(u"清零"_s, monitor);
    Button1->setObjectName(u"Button1"_s);
    Button1->setAccessibleName(u"清零"_s);
    connect(Button1, &QPushButton::clicked, this, &ConsolePage::Button1Click);
    bar->addWidget(Button1);

    ch1 = new QCheckBox(u"仅显示数据"_s, monitor);
    ch1->setObjectName(u"ch1"_s);
    ch1->setAccessibleName(u"仅显示数据"_s);
    ch1->setChecked(true);
    bar->addWidget(ch1);
    capture_ = new CaptureControl(udp_, monitor);
    bar->addWidget(capture_->checkBox());
    bar->addWidget(capture_->pathLabel(), 1);
    bar->addStretch(1);
    column->addLayout(bar);

    const QString listCaption = u"数据接收"_s;
    auto* box = new QGroupBox(listCaption, monitor);
    box->setObjectName(u"gbRecv"_s);
    auto* boxLayout = new QVBoxLayout(box);
    Memo1 = new MonitorMemo(box);
    Memo1->setObjectName(u"Memo1"_s);
    Memo1->setAccessibleName(listCaption);
    Memo1->setFont(songFont(12));
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab moves on to the next control, as in any other list of the program.
    Memo1->setTabChangesFocus(true);
    // Designed without scroll bars; the view still scrolls with the caret and the wheel.
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Above the list, where the older lines would be: how many of them wait in the spool.
    lbAside_ = new QLabel(box);
    lbAside_->setObjectName(u"LbAside"_s);
    lbAside_->setWordWrap(true);
    asideHolder_ = new LabelHolder(lbAside_, box);
    asideHolder_->hide();
    lbBuffer_ = new QLabel(box);
    lbBuffer_->setObjectName(u"LbBuffer"_s);
    lbBuffer_->setWordWrap(true);
    lbBuffer_->hide();
    boxLayout->addWidget(lbBuffer_);
    boxLayout->addWidget(asideHolder_);
    boxLayout->addWidget(Memo1);
    column->addWidget(box, 1);
    connect(Memo1, &MonitorMemo::flushed, this, &ConsolePage::showListedCount);
    connect(Memo1, &MonitorMemo::spoolFault, this,
            [](const QString& message) { runGuarded([&] { infoBox(message); }); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    N1 = PopupMenu1->addAction(u"清除数据"_s);
    N1->setObjectName(u"N1"_s);
    N2 = PopupMenu1->addAction(u"导出成文件"_s);
    N2->setObjectName(u"N2"_s);
    connect(N1, &QAction::triggered, this, &ConsolePage::N1Click);
    connect(N2, &QAction::triggered, this, &ConsolePage::N2Click);
    Memo1->setPopupMenu(PopupMenu1);
    // A line showing a whole packet explains it, read with the type chosen on the parameter page.
    new PacketTips(Memo1, [this] { return globals_.DeviceType; });
    return monitor;
}

void ConsolePage::selectFirstByteCount()
{
    cmbData->setCurrentIndex(0);
}

void ConsolePage::endpointOpened()
{
    lastSocketDrops_ = 0;
    dropped_ = 0;
    showDropped();
    const int granted = udp_.receiveBufferGranted();
    if (granted > 0 && granted < TUDPServer::ReceiveBufferAsked) {
        const QString text = u"系统只给了 %1 KB 接收缓冲区（要求 %2 KB），数据很多时可能丢弃；"
                             u"管理员可调高 net.core.rmem_max。"_s.arg(granted / 1024)
                                 .arg(TUDPServer::ReceiveBufferAsked / 1024);
        lbBuffer_->setText(text);
        lbBuffer_->setAccessibleName(text);
        lbBuffer_->show();
    } else {
        lbBuffer_->hide();
    }
}

void ConsolePage::UDPServerUDPRead(TUDPServer& Sender, const QByteArray& AData,
                                   TSocketHandle& ABinding)
{
    // The socket's count covers every datagram it lost; only those lost while receiving is
    // allowed would have been listed.
    if (const ReceivedDatagram* datagram = Sender.currentDatagram()) {
        const uint32_t lost = datagram->socketDrops - lastSocketDrops_; // wraps with the count
        lastSocketDrops_ = datagram->socketDrops;
        if (ChOK->isChecked())
            dropped_ += lost;
    }
    if (!ChOK->isChecked())
        return;
    line_.resize(0);
    appendMonitorLine(line_, AData, globals_.ShowByteCount, ch1->isChecked(), ABinding.SenderIP,
                      ABinding.SenderPort, ABinding.Port);
    Memo1->addLine(line_);
    listedCount_ = globals_.countReceived();
    // LbNum follows when the lines reach the list (Flushed), at most a frame later.
}

void ConsolePage::showListedCount()
{
    const QString text = intToStr(listedCount_);
    if (LbNum->text() != text)
        showCount(text);
    showDropped();
    showLinesAside();
}

void ConsolePage::showDropped()
{
    if (dropped_ == 0) {
        lbDrop_->hide();
        return;
    }
    const QString text = u"系统丢弃：%1"_s.arg(dropped_);
    if (lbDrop_->text() != text) {
        lbDrop_->setText(text);
        lbDrop_->setAccessibleName(text);
    }
    lbDrop_->show();
}

void ConsolePage::showLinesAside()
{
    const qint64 aside = Memo1->linesAside();
    const qint64 leftOut = Memo1->linesLeftOut();
    if (aside == 0 && leftOut == 0) {
        asideHolder_->hide();
        lbAside_->hide();
        lbAside_->clear();
        return;
    }
    QStringList parts;
    if (aside > 0)
        parts << u"列表上方另有 %1 行较早的数据已移至暂存文件，导出时一并写出。"_s.arg(aside);
    if (leftOut > 0)
        parts << u"暂存文件出错后已略去 %1 行较早的数据，列表和导出中都没有这些行。"_s.arg(leftOut);
    const QString text = parts.join(QString());
    if (lbAside_->text() != text) {
        lbAside_->setText(text);
        lbAside_->setAccessibleName(text);
    }
    lbAside_->show();
    asideHolder_->show();
}

// The count is read out with its caption, current with every change.
void ConsolePage::showCount(const QString& text)
{
    LbNum->setText(text);
    LbNum->setAccessibleName(u"本地接收到的数据条数："_s + text);
}

void ConsolePage::stopCapture()
{
    capture_->stop();
}

QString ConsolePage::memoText()
{
    return Memo1->text();
}

void ConsolePage::N1Click()
{
    runGuarded([&] {
        Memo1->clearList();
        showListedCount();
    });
}

void ConsolePage::Button1Click()
{
    runGuarded([&] {
        globals_.resetReceived();
        listedCount_ = 0;
        showCount(u"0"_s);
        dropped_ = 0;
        showDropped();
        Memo1->clearList();
        showLinesAside();
    });
}

void ConsolePage::N2Click()
{
    runGuarded([&] {
        if (export_)
            return; // one at a time; the menu item is disabled meanwhile
        if (!SaveDialog1.execute())
            return;
        // The file holds the list as it is now; datagrams that come while it is written are
        // listed after these lines, not in this file.
        startExport(
            std::make_unique<ExportJob>(SaveDialog1.FileName, Memo1->exportSnapshot(), exportOps_));
    });
}

void ConsolePage::startExport(std::unique_ptr<ExportJob> job)
{
    job->start([this] { exportCalls_.post([this] { exportEnded(); }); });
    export_ = std::move(job);
    N2->setEnabled(false);
    // Not modal: the window goes on working while the file is written. It shows only when
    // the export takes longer than about a second.
    exportProgress_ = new QProgressDialog(u"正在导出接收数据……"_s, u"取消"_s, 0, 100, this);
    exportProgress_->setObjectName(u"ExportProgress"_s);
    exportProgress_->setWindowTitle(appTitle());
    exportProgress_->setAccessibleName(u"正在导出接收数据"_s);
    exportProgress_->setAutoClose(false);
    exportProgress_->setAutoReset(false);
    exportProgress_->setMinimumDuration(1000);
    connect(exportProgress_, &QProgressDialog::canceled, this,
            [this] { runGuarded([&] { cancelExport(); }); });
    exportProgress_->setValue(0);
    exportTimer_->start();
}

void ConsolePage::cancelExport()
{
    if (export_)
        export_->cancel();
}

void ConsolePage::showExportProgress()
{
    runGuarded([&] {
        if (!export_ || !exportProgress_)
            return;
        // Only a change: the dialog starts its wait to show again at every value at its minimum.
        const int percent = export_->percent();
        if (percent != exportProgress_->value())
            exportProgress_->setValue(percent);
    });
}

void ConsolePage::exportEnded()
{
    runGuarded([&] {
        if (!export_ || export_->state() == ExportJob::State::Running)
            return;
        exportTimer_->stop();
        const Expected<void> outcome = export_->outcome();
        export_.reset(); // the thread has only its return left
        if (exportProgress_) {
            exportProgress_->hide();
            exportProgress_->deleteLater();
            exportProgress_ = nullptr;
        }
        N2->setEnabled(true);
        // A failure is told as it always was, in the framework's error box; a cancel is not.
        if (!outcome && !isCancelled(outcome.error()))
            throw Exception(outcome.error().message);
    });
}

void ConsolePage::Button12Click()
{
    runGuarded([&] {
        TestDatagramFields fields;
        fields.byteCount = edtNum->text();
        for (int k = 0; k < TestDatagramCapacity; ++k)
            fields.bytes[static_cast<std::size_t>(k)] = edtData[k]->text();
        fields.count = cmbData->currentText();
        fields.port = edtPort->text();
        fields.host = edtIP->text();
        const TestDatagram datagram = buildTestDatagram(fields, globals_.ShowByteCount);
        udp_.SendDatagram(datagram.host, datagram.port, datagram.bytes.constData(),
                          static_cast<int>(datagram.bytes.size()), "测试数据（发送）");
    });
}
