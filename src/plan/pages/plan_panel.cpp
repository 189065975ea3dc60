// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/pages/plan_panel.h"

#include "common/dialogs.h"
#include "common/guard.h"
#include "common/posix_file.h"
#include "protocol/device_types.h"
#include "plan/pages/plan_target.h"
#include "plan/plan_verifier.h"
#include "net/net_address.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace
{

QString stateText(const PlanRow& row, const PlanResult* result, const QString& passing)
{
    if (row.faulty)
        return u"有误："_s + row.fault;
    if (!passing.isEmpty())
        return passing;
    if (!result)
        return u"待发送"_s;
    if (!result->sent)
        return u"失败："_s + result->message;
    if (!result->verdict.isEmpty())
        return result->verdict;
    return u"已发送 "_s + result->time.section(u' ', -1); // the time of day
}

// Runs on a worker thread: touches nothing but its arguments.
PlanLoad readPlanAndResults(const QString& path, const PlanBase& base)
{
    PlanLoad load;
    load.path = path;
    PlanFile file = readPlanFile(QFile::encodeName(path), base);
    if (file.error) {
        const QString why = file.error->missing() ? u"文件不存在"_s : file.error->reason();
        load.failure = u"方案无法读取：%1（%2）"_s.arg(path, why);
        return load;
    }
    if (!file.plan.refusal.isEmpty()) {
        load.failure = u"方案无法载入：%1\n%2"_s.arg(path, file.plan.refusal);
        return load;
    }
    // No results file yet: nothing of this plan was sent.
    const ReadResult results =
        readWholeFile(QFile::encodeName(planResultsPath(path))).orEmptyWhenMissing();
    if (!results) {
        load.failure = u"结果文件无法读取：%1"_s.arg(planResultsPath(path));
        return load;
    }
    load.plan = std::move(file.plan);
    load.results = readPlanResults(results.value());
    return load;
}

// Not sent yet, or the last try failed.
bool pending(const PlanRow& row, const QHash<QString, PlanResult>& latest)
{
    const auto result = latest.constFind(planRowKey(row));
    return result == latest.cend() || !result->sent;
}

} // namespace

PlanPanel::PlanPanel(PlanTarget& page, QWidget* parent)
    : QWidget(parent), page_(page), load_(new QPushButton(u"载入方案"_s, this)),
      send_(new QPushButton(u"发送下一台"_s, this)), summary_(new QLabel(this)),
      table_(new QTableWidget(0, ColCount, this)), report_(new QPlainTextEdit(this)),
      connected_([] { return false; }), verifier_(new PlanVerifier(this))
{
    setObjectName(u"PlanPanel"_s);
    load_->setObjectName(u"btnLoadPlan"_s);
    send_->setObjectName(u"btnSendNext"_s);
    summary_->setObjectName(u"lblPlan"_s);
    table_->setObjectName(u"tblPlan"_s);
    report_->setObjectName(u"memPlanReport"_s);
    for (QPushButton* b : {load_, send_}) {
        b->setAutoDefault(false);
        b->setAccessibleName(b->text());
    }
    summary_->setWordWrap(true);
    summary_->setText(u"方案：未载入"_s);
    summary_->setAccessibleName(summary_->text());
    table_->setAccessibleName(u"方案"_s);
    table_->setHorizontalHeaderLabels(
        {u"行"_s, u"更新后设备IP"_s, u"状态"_s, u"设备类型"_s, u"设备地址"_s});
    table_->verticalHeader()->hide();
    table_->setWordWrap(false); // one line a row: a long state is cut at its end, not at a space
    table_->horizontalHeader()->setStretchLastSection(true);
    // Fixed widths: fitting them to the contents would measure every row of a large plan.
    const int widths[ColCount] = {30, 96, 196, 64, 56};
    for (int c = 0; c < ColCount; ++c)
        table_->setColumnWidth(c, widths[c]);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    report_->setReadOnly(true);
    report_->setAccessibleName(u"方案检查结果"_s);
    report_->setMaximumHeight(90);
    report_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(load_);
    buttons->addWidget(send_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    layout->addWidget(report_);
    updateButtons();

    chooser_ = [this] {
        return QFileDialog::getOpenFileName(this, u"载入方案"_s, QString(),
                                            u"方案 (*.csv);;所有文件 (*)"_s);
    };
    clock_ = [] { return QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s); };

    pool_.setMaxThreadCount(1);
    connect(this, &PlanPanel::planRead, this, &PlanPanel::showPlan, Qt::QueuedConnection);
    connect(load_, &QPushButton::clicked, this, &PlanPanel::btnLoadPlanClick);
    connect(send_, &QPushButton::clicked, this, &PlanPanel::btnSendNextClick);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });
}

int PlanPanel::currentRow() const
{
    const auto rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void PlanPanel::btnLoadPlanClick()
{
    runGuarded([&] {
        const QString path = chooser_();
        if (!path.isEmpty())
            loadPlan(path);
    });
}

PlanPanel::~PlanPanel()
{
    pool_.waitForDone();
}

void PlanPanel::loadPlan(const QString& path)
{
    runGuarded([&] {
        const int generation = ++generation_;
        loading_ = true;
        loadingName_ = QFileInfo(path).fileName();
        showSummary();
        updateButtons();
        pool_.start(
            [this, generation, path, base = PlanBase{page_.fieldTexts(), page_.chosenType()}] {
                Q_EMIT planRead(generation, readPlanAndResults(path, base));
            });
    });
}

void PlanPanel::showPlan(int generation, const PlanLoad& load)
{
    runGuarded([&] {
        if (generation != generation_)
            return; // another file was chosen meanwhile
        if (!load.failure.isEmpty()) {
            // The plan before stays; if it was still going into the table, it goes on.
            if (filled_ < plan_.rows.size()) {
                fillTable(generation, filled_);
            } else {
                loading_ = false;
                showSummary();
                updateButtons();
            }
            infoBox(load.failure);
            return;
        }
        path_ = load.path;
        plan_ = load.plan;
        latest_.clear();
        passing_.clear();
        for (const PlanResult& r : load.results) {
            if (!r.key.isEmpty())
                latest_.insert(r.key, r);
        }

        filled_ = -1;
        QTimer::singleShot(0, this,
                           [this, generation] { runGuarded([&] { fillTable(generation, -1); }); });
    });
}

// Fills the table a slice at a time, so that the window keeps answering while thousands of
// rows go in; the plan counts as loaded once the last row is in.
void PlanPanel::fillTable(int generation, int from)
{
    if (generation != generation_)
        return; // another file was chosen meanwhile
    auto goOn = [this, generation](int next) {
        QTimer::singleShot(0, this, [this, generation, next] {
            runGuarded([&] { fillTable(generation, next); });
        });
    };
    if (from < 0) {
        // Emptying a table of thousands of rows is a slice of its own.
        table_->setRowCount(0);
        const auto others = static_cast<int>(plan_.otherHeaders.size());
        table_->setColumnCount(ColCount + others);
        for (int k = 0; k < others; ++k)
            table_->setHorizontalHeaderItem(ColCount + k,
                                            new QTableWidgetItem(plan_.otherHeaders[k]));
        table_->setRowCount(static_cast<int>(plan_.rows.size()));
        filled_ = 0;
        goOn(0);
        return;
    }
    constexpr qint64 sliceMs = 20;
    QElapsedTimer slice;
    slice.start();
    const ParamFields fields = page_.fieldTexts();
    const QStringList captions = deviceTypeCaptions();
    const auto count = static_cast<int>(plan_.rows.size());
    int i = from;
    table_->setUpdatesEnabled(false);
    while (i < count && (i - from < 64 || slice.elapsed() < sliceMs))
        showRow(i++, fields, captions);
    table_->setUpdatesEnabled(true);
    filled_ = i;
    if (i < count) {
        goOn(i);
        return;
    }
    loading_ = false;
    showSummary();
    report_->setPlainText(planReport(plan_));
    report_->setVisible(!plan_.clean() || !plan_.notes.isEmpty());
    selectRow(nextRow(-1));
    checkRow(currentRow(), false);
}

void PlanPanel::showSummary()
{
    const QString file = QFileInfo(path_).fileName();
    if (loading_)
        summary_->setText(u"方案：正在载入 %1…"_s.arg(loadingName_));
    else if (path_.isEmpty())
        summary_->setText(u"方案：未载入"_s);
    else if (plan_.clean())
        summary_->setText(u"方案：%1，%2台设备"_s.arg(file).arg(plan_.rows.size()));
    else if (plan_.blocked)
        summary_->setText(
            u"方案：%1，有%2处错误，整个方案不能发送"_s.arg(file).arg(plan_.issues.size()));
    else
        summary_->setText(
            u"方案：%1，有%2处错误，有误的行不会发送"_s.arg(file).arg(plan_.issues.size()));
    summary_->setAccessibleName(summary_->text());
}

void PlanPanel::btnSendNextClick()
{
    runGuarded([&] {
        const int index = currentRow();
        if (plan_.sendable(index) && !checking_ && !loading_)
            checkRow(index, true);
    });
}

void PlanPanel::checkRow(int index, bool send)
{
    if (!plan_.sendable(index))
        return;
    const PlanRow& row = plan_.rows[index];
    const ParamFields fields = resolvePlanRow(row, page_.fieldTexts());
    const auto current = parseDottedQuad(fields.currIP.trimmed());
    const auto next = parseDottedQuad(fields.upip.trimmed());
    if (!connected_() || !current || !next) {
        if (send)
            sendRow(index, {}); // the download command says what is wrong
        return;
    }
    const QString key = planRowKey(row);
    if (send) {
        checking_ = true;
        passing_.insert(key, u"检查中"_s);
        showKey(key);
        updateButtons();
    }
    verifier_->checkBefore(
        *current, *next,
        [this, key, send, fields](const Presence& atCurrent, const Presence& atNew) {
            runGuarded([&] {
                // A look ahead must not end the state of a press's check of the same row.
                if (!send && passing_.value(key) == u"检查中"_s)
                    return;
                if (send)
                    checking_ = false;
                passing_.remove(key);
                const auto other = conflictingMac(fields.currIP, fields.upip, atCurrent, atNew);
                if (other)
                    passing_.insert(key, u"冲突 "_s + *other);
                showKey(key);
                updateButtons();
                const int i = indexOfKey(key);
                if (!send || i < 0)
                    return;
                if (other && !confirmBox(u"更新后设备IP %1 已被另一台设备（MAC %2）占用。\n"
                                         "仍然发送吗？"_s.arg(fields.upip.trimmed(), *other)))
                    return;
                passing_.remove(key);
                sendRow(i, atCurrent.kind == PresenceKind::Present ? atCurrent.mac : QString());
            });
        });
}

void PlanPanel::sendRow(int index, const QString& macBefore)
{
    const PlanRow& row = plan_.rows[index];
    const PlanTarget::DownloadOutcome outcome = page_.sendPlanRow(row);
    const PlanResult result{row.row,         clock_(),  outcome.sent, outcome.message,
                            planRowKey(row), macBefore, {},           {}};
    latest_.insert(result.key, result);
    showRow(index, page_.fieldTexts(), deviceTypeCaptions());
    record(result);
    if (!outcome.sent)
        return;
    watchRow(result, resolvePlanRow(row, page_.fieldTexts()).upip.trimmed());
    selectRow(nextRow(index));
    checkRow(currentRow(), false);
}

// The device reboots into its new address: watch it come up there, in the background.
void PlanPanel::watchRow(const PlanResult& result, const QString& newIP)
{
    const auto address = parseDottedQuad(newIP);
    if (!connected_() || !address)
        return;
    const QString key = result.key;
    verifier_->watch(key, *address, [this, key](const Presence& presence) {
        runGuarded([&] {
            const auto found = latest_.find(key);
            if (found == latest_.end())
                return;
            found->verdict = presence.kind == PresenceKind::Present
                                 ? u"新地址在线 "_s + presence.mac
                                 : u"新地址无应答"_s;
            found->verdictTime = clock_();
            record(*found);
            showKey(key);
        });
    });
}

void PlanPanel::record(const PlanResult& result)
{
    QString error;
    if (!appendPlanResult(planResultsPath(path_), result, &error))
        infoBox(u"结果未能写入%1：%2"_s.arg(planResultsPath(path_), error));
}

int PlanPanel::indexOfKey(const QString& key) const
{
    for (int i = 0; i < plan_.rows.size(); ++i) {
        if (planRowKey(plan_.rows[i]) == key)
            return i;
    }
    return -1;
}

void PlanPanel::showKey(const QString& key)
{
    const int i = indexOfKey(key);
    if (i >= 0)
        showRow(i, page_.fieldTexts(), deviceTypeCaptions());
}

void PlanPanel::showRow(int index, const ParamFields& page, const QStringList& captions)
{
    const PlanRow& row = plan_.rows[index];
    const ParamFields fields = resolvePlanRow(row, page);
    const QString key = planRowKey(row);
    const auto result = latest_.constFind(key);
    for (int k = 0; k < plan_.otherHeaders.size(); ++k) {
        auto* item = new QTableWidgetItem(row.others.value(k));
        item->setToolTip(item->text());
        table_->setItem(index, ColCount + k, item);
    }
    QString cells[ColCount];
    cells[ColRow] = QString::number(row.row);
    cells[ColNewIp] = fields.upip;
    cells[ColState] =
        stateText(row, result == latest_.cend() ? nullptr : &*result, passing_.value(key));
    cells[ColType] = row.deviceType ? captions.value(row.deviceType->listIndex()) : QString();
    cells[ColAddress] = fields.address;
    for (int c = 0; c < ColCount; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        table_->setItem(index, c, item);
    }
}

void PlanPanel::selectRow(int index)
{
    if (index < 0) {
        table_->clearSelection();
    } else {
        table_->selectRow(index);
        table_->scrollToItem(table_->item(index, ColRow));
    }
    updateButtons();
}

// The first row after the given one that can be sent and is still to be sent, wrapping round
// once.
int PlanPanel::nextRow(int after) const
{
    const int count = static_cast<int>(plan_.rows.size());
    for (int step = 1; step <= count; ++step) {
        const int i = (after + step) % count;
        if (plan_.sendable(i) && pending(plan_.rows[i], latest_))
            return i;
    }
    return -1;
}

void PlanPanel::updateButtons()
{
    send_->setEnabled(plan_.sendable(currentRow()) && !checking_ && !loading_);
}
