// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/plan.h"
#include "plan/plan_results.h"

#include <QHash>
#include <QThreadPool>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class PlanTarget;
class PlanVerifier;

// A plan file read and checked off the event thread, with what its results file says.
struct PlanLoad {
    QString path;
    QString failure; // the box to show instead of the plan; empty when it was read
    Plan plan;
    QList<PlanResult> results;
};

// The plan panel of the parameter page: loads a plan, lists its rows with what became of
// each, and sends one row per press through the page's own download command (the page as a
// PlanTarget; the panel knows nothing else of it). Every result is
// written to the plan's results file at once.
class PlanPanel : public QWidget
{
    Q_OBJECT
public:
    // Table columns.
    // What became of a device next to its new address, so that both show in a narrow panel.
    enum { ColRow, ColNewIp, ColState, ColType, ColAddress, ColCount };

    PlanPanel(PlanTarget& page, QWidget* parent = nullptr);
    // Waits for a plan still being read (a plan file is at most a few megabytes).
    ~PlanPanel() override;

    // Asks for the plan file; the file dialog unless replaced (tests answer it).
    void setPlanChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    // Now, as the results file records it; the clock unless replaced.
    void setClock(std::function<QString()> clock) { clock_ = std::move(clock); }

    // Whether the window is connected: only then are a row's addresses probed.
    void setConnectedCheck(std::function<bool()> connected) { connected_ = std::move(connected); }
    PlanVerifier& verifier() const { return *verifier_; }

    const Plan& plan() const { return plan_; }
    // A plan file is being read; the plan shown is the one before.
    bool loading() const { return loading_; }
    QString planPath() const { return path_; }
    // The row the next press sends, -1 for none.
    int currentRow() const;

public Q_SLOTS:
    void btnLoadPlanClick();
    void btnSendNextClick();
    // Reads and checks the plan at path off the event thread, then shows it with what its
    // results file says was sent. A later call makes an earlier one's answer stale.
    void loadPlan(const QString& path);

Q_SIGNALS:
    // Emitted on the reading thread; the panel takes it queued, on its own.
    void planRead(int generation, const PlanLoad& load);

private:
    void showPlan(int generation, const PlanLoad& load);
    void fillTable(int generation, int from);
    void showSummary();
    void showRow(int index, const ParamFields& page, const QStringList& captions);
    void selectRow(int index);
    int nextRow(int after) const;
    void updateButtons();
    int indexOfKey(const QString& key) const;
    void showKey(const QString& key);
    // Probes the row's current and new address; with send set, sends it unless another
    // device holds the new address and the operator does not confirm.
    void checkRow(int index, bool send);
    void sendRow(int index, const QString& macBefore);
    void watchRow(const PlanResult& result, const QString& newIP);
    void record(const PlanResult& result);

    PlanTarget& page_;
    QPushButton* load_;
    QPushButton* send_;
    QLabel* summary_;
    QTableWidget* table_;
    QPlainTextEdit* report_;
    std::function<QString()> chooser_;
    std::function<QString()> clock_;
    QString path_;
    Plan plan_;
    std::function<bool()> connected_;
    PlanVerifier* verifier_;
    QHash<QString, PlanResult> latest_; // last result of each device, by its row's content
    QHash<QString, QString> passing_;   // a state shown until a check ends: 检查中, 冲突
    bool checking_ = false;
    int generation_ = 0; // of the latest loadPlan
    bool loading_ = false;
    int filled_ = 0; // rows of plan_ in the table, -1 before the table is emptied for it
    QString loadingName_;
    QThreadPool pool_; // last: it waits for a read before the rest goes
};
