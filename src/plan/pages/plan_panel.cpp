// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/pages/plan_panel.h"

#include "common/dialogs.h"
#include "common/guard.h"
#include "common/posix_file.h"
#include "net/local_networks.h"
#include "protocol/device_types.h"
#include "plan/plan_report.h"
#include "plan/plan_session.h"
#include "plan/plan_target.h"
#include "plan/plan_verifier.h"

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

// Runs on a worker thread: touches nothing but its arguments.
PlanLoad readPlanAndResults(const QString& path, PlanBase base)
{
    PlanLoad load;
    load.path = path;
    base.laptop = localAddresses();
    Expected<Plan> file = readPlanFile(QFile::encodeName(path), base);
    if (!file) {
        const QString why = missingFile(file.error()) ? u"文件不存在"_s : file.error().message;
        load.failure = u"方案无法读取：%1（%2）"_s.arg(path, why);
        return load;
    }
    if (!file->refusal.isEmpty()) {
        load.failure = u"方案无法载入：%1\n%2"_s.arg(path, file->refusal);
        return load;
    }
    // No results file yet: nothing of this plan was sent.
    const Expected<QByteArray> results =
        orEmptyWhenMissing(readWholeFile(QFile::encodeName(planResultsPath(path))));
    if (!results) {
        load.failure = u"结果文件无法读取：%1"_s.arg(planResultsPath(path));
        return load;
    }
    load.plan = std::move(*file);
    load.results = readPlanResults(*results);
    return load;
}

QStringList tableHeaders()
{
    return {u"行"_s, planColumnCaption(PlanColumn::Upip), u"状态"_s,
            planColumnCaption(PlanColumn::Type), planColumnCaption(PlanColumn::Address)};
}

} // namespace

PlanPanel::PlanPanel(PlanTarget& page, TUDPServer& udp, QWidget* parent)
    : QWidget(parent), page_(page), load_(new QPushButton(u"载入方案"_s, this)),
      send_(new QPushButton(u"发送下一台"_s, this)),
      reportButton_(new QPushButton(u"交接报告"_s, this)), summary_(new QLabel(this)),
      table_(new QTableWidget(0, ColCount, this)), report_(new QPlainTextEdit(this)),
      verifier_(new PlanVerifier(this)), session_(new PlanSession(page, udp, *verifier_, this))
{
    setObjectName(u"PlanPanel"_s);
    load_->setObjectName(u"btnLoadPlan"_s);
    send_->setObjectName(u"btnSendNext"_s);
    reportButton_->setObjectName(u"btnPlanReport"_s);
    summary_->setObjectName(u"lblPlan"_s);
    table_->setObjectName(u"tblPlan"_s);
    report_->setObjectName(u"memPlanReport"_s);
    for (QPushButton* b : {load_, send_, reportButton_}) {
        b->setAutoDefault(false);
        b->setAccessibleName(b->text());
    }
    summary_->setWordWrap(true);
    summary_->setText(u"方案：未载入"_s);
    summary_->setAccessibleName(summary_->text());
    table_->setAccessibleName(u"方案"_s);
    table_->setHorizontalHeaderLabels(tableHeaders());
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
    buttons->addWidget(reportButton_);
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

    pool_.setMaxThreadCount(1);
    connect(this, &PlanPanel::planRead, this, &PlanPanel::showPlan, Qt::QueuedConnection);
    connect(load_, &QPushButton::clicked, this, &PlanPanel::btnLoadPlanClick);
    connect(send_, &QPushButton::clicked, this, &PlanPanel::btnSendNextClick);
    connect(reportButton_, &QPushButton::clicked, this, &PlanPanel::btnPlanReportClick);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(session_, &PlanSession::rowChanged, this, [this](int index) {
        if (index < filled_)
            showRow(index, page_.fieldTexts(), deviceTypeCaptions());
    });
    connect(session_, &PlanSession::rowSent, this, &PlanPanel::rowSent);
    connect(session_, &PlanSession::busyChanged, this, [this](bool busy) {
        updateButtons();
        if (!busy && waiting_) {
            // The plan read while the row was busy comes in now.
            auto waiting = std::move(*waiting_);
            waiting_.reset();
            QTimer::singleShot(0, this, [this, waiting = std::move(waiting)] {
                showPlan(waiting.first, waiting.second);
            });
        }
    });
}

void PlanPanel::setClock(std::function<QString()> clock)
{
    session_->setClock(std::move(clock));
}

void PlanPanel::setConnectedCheck(std::function<bool()> connected)
{
    session_->setConnectedCheck(std::move(connected));
}

void PlanPanel::setCaptureMark(std::function<CaptureMark()> mark)
{
    session_->setCaptureMark(std::move(mark));
}

const Plan& PlanPanel::plan() const
{
    return session_->plan();
}

QString PlanPanel::planPath() const
{
    return session_->path();
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
        if (session_->busy()) {
            waiting_.emplace(generation, load); // after the row's send, not under it
            return;
        }
        if (!load.failure.isEmpty()) {
            // The plan before stays; if it was still going into the table, it goes on.
            if (filled_ < plan().rows.size()) {
                fillTable(generation, filled_);
            } else {
                loading_ = false;
                showSummary();
                updateButtons();
            }
            infoBox(load.failure);
            return;
        }
        session_->replace(load.path, load.plan, load.results);
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
        const Plan& plan = session_->plan();
        table_->setColumnCount(ColCount + static_cast<int>(plan.otherHeaders.size()));
        table_->setHorizontalHeaderLabels(tableHeaders() + plan.otherHeaders);
        table_->setRowCount(static_cast<int>(plan.rows.size()));
        filled_ = 0;
        goOn(0);
        return;
    }
    constexpr qint64 sliceMs = 20;
    QElapsedTimer slice;
    slice.start();
    const ParamFields fields = page_.fieldTexts();
    const QStringList captions = deviceTypeCaptions();
    const auto count = static_cast<int>(plan().rows.size());
    // The clock is read every few hundred cells: a wide row takes as long as many narrow ones.
    const int rowsPerLook =
        std::max(1, 320 / (ColCount + static_cast<int>(plan().otherHeaders.size())));
    int i = from;
    table_->setUpdatesEnabled(false);
    while (i < count && (i == from || slice.elapsed() < sliceMs)) {
        for (const int end = std::min(count, i + rowsPerLook); i < end;)
            showRow(i++, fields, captions);
    }
    table_->setUpdatesEnabled(true);
    filled_ = i;
    if (i < count) {
        goOn(i);
        return;
    }
    loading_ = false;
    showSummary();
    report_->setPlainText(planReport(plan()));
    report_->setVisible(!plan().clean() || !plan().notes.isEmpty());
    selectRow(session_->nextRow(-1));
    session_->lookAhead(currentRow());
}

void PlanPanel::showSummary()
{
    const Plan& shown = plan();
    const QString file = QFileInfo(planPath()).fileName();
    if (loading_)
        summary_->setText(u"方案：正在载入 %1…"_s.arg(loadingName_));
    else if (planPath().isEmpty())
        summary_->setText(u"方案：未载入"_s);
    else if (shown.clean())
        summary_->setText(u"方案：%1，%2台设备"_s.arg(file).arg(shown.rows.size()));
    else if (shown.blocked)
        summary_->setText(
            u"方案：%1，有%2处错误，整个方案不能发送"_s.arg(file).arg(shown.issues.size()));
    else
        summary_->setText(
            u"方案：%1，有%2处错误，有误的行不会发送"_s.arg(file).arg(shown.issues.size()));
    summary_->setAccessibleName(summary_->text());
}

void PlanPanel::btnSendNextClick()
{
    runGuarded([&] {
        if (!loading_)
            session_->press(currentRow());
    });
}

void PlanPanel::btnPlanReportClick()
{
    runGuarded([&] {
        const QString path = planPath();
        if (path.isEmpty() || reporting_)
            return;
        // Read here, where the results are appended: a line being written cannot be half read.
        Expected<QByteArray> results = readWholeFile(QFile::encodeName(planResultsPath(path)));
        if (!results) {
            infoBox(missingFile(results.error())
                        ? u"还没有发送结果，没有可写的交接报告：%1"_s.arg(planResultsPath(path))
                        : u"结果文件无法读取：%1（%2）"_s.arg(planResultsPath(path),
                                                              results.error().message));
            return;
        }
        reporting_ = true;
        updateButtons();
        pool_.start([this, path, bytes = std::move(*results)] {
            const Expected<PlanReport> report = reportPlan(path, bytes);
            const QString text = report ? u"交接报告已写入：\n"_s + reportWrittenText(path, *report)
                                        : u"交接报告未能写入：%1（%2）"_s.arg(
                                              planReportHtmlPath(path), report.error().message);
            QMetaObject::invokeMethod(
                this,
                [this, text] {
                    runGuarded([&] {
                        reporting_ = false;
                        updateButtons();
                        infoBox(text);
                    });
                },
                Qt::QueuedConnection);
        });
    });
}

void PlanPanel::rowSent(int index)
{
    selectRow(session_->nextRow(index));
    session_->lookAhead(currentRow());
}

void PlanPanel::showRow(int index, const ParamFields& page, const QStringList& captions)
{
    const PlanRow& row = plan().rows[index];
    const ParamFields fields = resolvePlanRow(row, page);
    for (int k = 0; k < plan().otherHeaders.size(); ++k) {
        if (row.others.value(k).isEmpty()) {
            delete table_->takeItem(index, ColCount + k);
            continue;
        }
        auto* item = new QTableWidgetItem(row.others.value(k));
        item->setToolTip(item->text());
        table_->setItem(index, ColCount + k, item);
    }
    QString cells[ColCount];
    cells[ColRow] = QString::number(row.row);
    cells[ColNewIp] = fields.upip;
    cells[ColState] = session_->state(index);
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

void PlanPanel::updateButtons()
{
    send_->setEnabled(session_->pressable(currentRow()) && !loading_);
    // A plan that came while a row is checked or sent would take its results elsewhere.
    load_->setEnabled(!session_->busy());
    reportButton_->setEnabled(!planPath().isEmpty() && !loading_ && !reporting_);
}
