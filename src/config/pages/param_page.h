// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/plan_target.h"
#include "protocol/param_packet.h"

#include <QWidget>
#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class PlanPanel;
class SubnetStatus;
class TUDPServer;
struct MainGlobals;

namespace Ui
{
class ParamPage;
}

// The device parameter page: the device type list, the fields of the parameter download
// packet and the download button.
class ParamPage : public QWidget, public PlanTarget
{
    Q_OBJECT
public:
    ParamPage(MainGlobals& globals, TUDPServer& udp, QWidget* parent = nullptr);
    ~ParamPage() override;

    ParamFields fieldTexts() const override;
    std::optional<DeviceType> chosenType() const override;
    void showPlanSend(const DownloadOutcome& outcome) override;
    PlanPanel* planPanel() const { return planPanel_; }
    SubnetStatus* subnetStatus() const { return subnetStatus_; }

public Q_SLOTS:
    // The operator chose a device type (also when choosing the same one again).
    void cmbTypeChange(int index);
    // Validates, builds and sends the parameter download packet.
    void SpeedButton1Click();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The command's box and focus for what a download came to.
    void showOutcome(const DownloadOutcome& outcome);
    void placePlanPanel();
    QLineEdit* fieldFor(ParamField field) const;
    void setCaption(QLabel* label, QLineEdit* field, const QString& caption);
    void placeBeside(QLabel* label, QWidget* field);
    void placeRelabelled();

    std::unique_ptr<Ui::ParamPage> ui_;
    // The line edit of each field, by key; null for the type list.
    std::array<QLineEdit*, ParamFieldCount> edits_{};
    MainGlobals& globals_;
    TUDPServer& udp_;
    PlanPanel* planPanel_ = nullptr;
    SubnetStatus* subnetStatus_ = nullptr;
};
