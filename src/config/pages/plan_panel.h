// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/plan.h"
#include "config/plan_results.h"

#include <QHash>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class PlanTarget;
class PlanVerifier;

// The plan panel of the parameter page: loads a plan, lists its rows with what became of
// each, and sends one row per press through the page's own download command (the page as a
// PlanTarget; the panel knows nothing else of it). Every result is
// written to the plan's results file at once.
class PlanPanel : public QWidget
{
    Q_OBJECT
public:
    // Table columns.
    enum { ColRow, ColType, ColNewIp, ColAddress, ColState, ColCount };

    PlanPanel(PlanTarget& page, QWidget* parent = nullptr);

    // Asks for the plan file; the file dialog unless replaced (tests answer it).
    void setPlanChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    // Now, as the results file records it; the clock unless replaced.
    void setClock(std::function<QString()> clock) { clock_ = std::move(clock); }

    // Whether the window is connected: only then are a row's addresses probed.
    void setConnectedCheck(std::function<bool()> connected) { connected_ = std::move(connected); }
    PlanVerifier& verifier() const { return *verifier_; }

    const Plan& plan() const { return plan_; }
    QString planPath() const { return path_; }
    // The row the next press sends, -1 for none.
    int currentRow() const;

public Q_SLOTS:
    void btnLoadPlanClick();
    void btnSendNextClick();
    // Reads and checks the plan at path and shows what its results file says was sent.
    void loadPlan(const QString& path);

private:
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
};
