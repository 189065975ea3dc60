#include "config/pages/plan_panel.h"

#include "common/dialogs.h"
#include "common/guard.h"
#include "common/posix_file.h"
#include "config/device_types.h"
#include "config/pages/plan_target.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace
{

QString stateText(const PlanRow& row, const PlanResult* result)
{
    if (row.faulty)
        return u"有误："_s + row.fault;
    if (!result)
        return u"待发送"_s;
    if (result->sent)
        return u"已发送 "_s + result->time;
    return u"失败："_s + result->message;
}

// Not sent yet, or the last try failed.
bool pending(const PlanRow& row, const QHash<int, PlanResult>& latest)
{
    const auto result = latest.constFind(row.row);
    return result == latest.cend() || !result->sent;
}

} // namespace

PlanPanel::PlanPanel(PlanTarget& page, QWidget* parent)
    : QWidget(parent), page_(page), load_(new QPushButton(u"载入方案"_s, this)),
      send_(new QPushButton(u"发送下一台"_s, this)), summary_(new QLabel(this)),
      table_(new QTableWidget(0, ColCount, this)), report_(new QPlainTextEdit(this))
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
        {u"行"_s, u"设备类型"_s, u"更新后设备IP"_s, u"设备地址"_s, u"状态"_s});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // Fixed widths: fitting them to the contents would measure every row of a large plan.
    const int widths[ColState] = {32, 64, 100, 56};
    for (int c = 0; c < ColState; ++c)
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

void PlanPanel::loadPlan(const QString& path)
{
    runGuarded([&] {
        const ReadResult plan = readWholeFile(QFile::encodeName(path));
        if (!plan) {
            const QString why = plan.error().missing() ? u"文件不存在"_s : plan.error().reason();
            infoBox(u"方案无法读取：%1（%2）"_s.arg(path, why));
            return;
        }
        // No results file yet: nothing of this plan was sent.
        const ReadResult results =
            readWholeFile(QFile::encodeName(planResultsPath(path))).orEmptyWhenMissing();
        if (!results) {
            infoBox(u"结果文件无法读取：%1"_s.arg(planResultsPath(path)));
            return;
        }

        path_ = path;
        plan_ = readPlan(plan.value(), {page_.fieldTexts(), page_.chosenType()});
        latest_.clear();
        for (const PlanResult& r : readPlanResults(results.value()))
            latest_.insert(r.row, r);

        table_->setRowCount(0);
        table_->setRowCount(static_cast<int>(plan_.rows.size()));
        const ParamFields fields = page_.fieldTexts();
        const QStringList captions = deviceTypeCaptions();
        table_->setUpdatesEnabled(false);
        for (int i = 0; i < plan_.rows.size(); ++i)
            showRow(i, fields, captions);
        table_->setUpdatesEnabled(true);
        const QString file = QFileInfo(path).fileName();
        summary_->setText(plan_.clean() ? u"方案：%1，%2台设备"_s.arg(file).arg(plan_.rows.size())
                                        : u"方案：%1，有%2处错误，有误的行不会发送"_s.arg(file).arg(
                                              plan_.issues.size()));
        summary_->setAccessibleName(summary_->text());
        report_->setPlainText(planReport(plan_));
        report_->setVisible(!plan_.clean());
        selectRow(nextRow(-1));
    });
}

void PlanPanel::btnSendNextClick()
{
    runGuarded([&] {
        const int index = currentRow();
        if (!plan_.sendable(index))
            return;
        const PlanRow& row = plan_.rows[index];
        const PlanTarget::DownloadOutcome outcome = page_.sendPlanRow(row);
        const PlanResult result{row.row, clock_(), outcome.sent, outcome.message};
        latest_.insert(row.row, result);
        showRow(index, page_.fieldTexts(), deviceTypeCaptions());
        QString error;
        if (!appendPlanResult(planResultsPath(path_), result, &error))
            infoBox(u"结果未能写入%1：%2"_s.arg(planResultsPath(path_), error));
        if (outcome.sent)
            selectRow(nextRow(index));
    });
}

void PlanPanel::showRow(int index, const ParamFields& page, const QStringList& captions)
{
    const PlanRow& row = plan_.rows[index];
    const ParamFields fields = resolvePlanRow(row, page);
    const auto result = latest_.constFind(row.row);
    const QString cells[ColCount] = {
        QString::number(row.row),
        row.deviceType >= 1 ? captions.value(row.deviceType - 1) : QString(),
        fields.upip,
        fields.address,
        stateText(row, result == latest_.cend() ? nullptr : &*result),
    };
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
    send_->setEnabled(plan_.sendable(currentRow()));
}
