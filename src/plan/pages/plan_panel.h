// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/capture_mark.h"
#include "plan/plan.h"
#include "plan/plan_results.h"

#include <QThreadPool>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class PlanSession;
class PlanTarget;
class PlanVerifier;
class TUDPServer;

// A plan file read and checked off the event thread, with what its results file says.
struct PlanLoad {
    QString path;
    QString failure; // the box to show instead of the plan; empty when it was read
    Plan plan;
    QList<PlanResult> results;
};

// The plan panel of the parameter page: loads a plan, lists its rows with what became of
// each, and presses one row per click. What happens to a row is the plan session's; the panel
// shows it. A plan read while a row is checked or sent waits until that row is done.
class PlanPanel : public QWidget
{
    Q_OBJECT
public:
    // Table columns.
    // What became of a device next to its new address, so that both show in a narrow panel.
    enum { ColRow, ColNewIp, ColState, ColType, ColAddress, ColCount };

    PlanPanel(PlanTarget& page, TUDPServer& udp, QWidget* parent = nullptr);
    // Waits for a plan still being read (a plan file is at most a few megabytes).
    ~PlanPanel() override;

    // Asks for the plan file; the file dialog unless replaced (tests answer it).
    void setPlanChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    // Now, as the results file records it; the clock unless replaced.
    void setClock(std::function<QString()> clock);

    // Whether the window is connected: only then are a row's addresses probed.
    void setConnectedCheck(std::function<bool()> connected);
    // Where a row's packet went in the capture being recorded.
    void setCaptureMark(std::function<CaptureMark()> mark);
    // A report is being written.
    bool reporting() const { return reporting_; }
    PlanVerifier& verifier() const { return *verifier_; }
    PlanSession& session() const { return *session_; }

    const Plan& plan() const;
    // A plan file is being read; the plan shown is the one before.
    bool loading() const { return loading_; }
    QString planPath() const;
    // The row the next press sends, -1 for none.
    int currentRow() const;

public Q_SLOTS:
    void btnLoadPlanClick();
    void btnSendNextClick();
    // Writes the handover report of the plan's results beside it, off the event thread.
    void btnPlanReportClick();
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
    void updateButtons();
    void rowSent(int index);

    PlanTarget& page_;
    QPushButton* load_;
    QPushButton* send_;
    QPushButton* reportButton_;
    QLabel* summary_;
    QTableWidget* table_;
    QPlainTextEdit* report_;
    std::function<QString()> chooser_;
    PlanVerifier* verifier_;
    PlanSession* session_;
    std::optional<std::pair<int, PlanLoad>> waiting_; // read while a row was busy
    int generation_ = 0;                              // of the latest loadPlan
    bool loading_ = false;
    bool reporting_ = false;
    int filled_ = 0; // rows of plan_ in the table, -1 before the table is emptied for it
    QString loadingName_;
    QThreadPool pool_; // last: it waits for a read before the rest goes
};
