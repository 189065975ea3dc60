#pragma once

#include "config/param_packet.h"
#include "config/plan.h"

#include <QWidget>
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
class ParamPage : public QWidget
{
    Q_OBJECT
public:
    ParamPage(MainGlobals& globals, TUDPServer& udp, QWidget* parent = nullptr);
    ~ParamPage() override;

    // What one run of the download command came to: sent or not, and the text of its box.
    struct DownloadOutcome {
        bool sent = false;
        QString message;
    };

    // The field texts the download command would read now, and the chosen device type
    // (0 before the first choice).
    ParamFields fieldTexts() const;
    int chosenType() const;
    // Chooses the row's device type, types its values into the fields and runs the download
    // command as the button does.
    DownloadOutcome sendPlanRow(const PlanRow& row);
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
    DownloadOutcome download();
    void placePlanPanel();
    QLineEdit* fieldFor(ParamField field) const;
    void setCaption(QLabel* label, QLineEdit* field, const QString& caption);
    void placeBeside(QLabel* label, QWidget* field);
    void placeRelabelled();

    std::unique_ptr<Ui::ParamPage> ui;
    MainGlobals& globals_;
    TUDPServer& udp_;
    PlanPanel* planPanel_ = nullptr;
    SubnetStatus* subnetStatus_ = nullptr;
};
