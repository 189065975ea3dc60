#pragma once

#include "config/param_packet.h"

#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
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

public Q_SLOTS:
    // The operator chose a device type (also when choosing the same one again).
    void cmbTypeChange(int index);
    // Validates, builds and sends the parameter download packet.
    void SpeedButton1Click();

protected:
    void changeEvent(QEvent* event) override;

private:
    ParamFields fieldTexts() const;
    QLineEdit* fieldFor(ParamField field) const;
    void setCaption(QLabel* label, QLineEdit* field, const QString& caption);
    void placeBeside(QLabel* label, QWidget* field);
    void placeRelabelled();

    std::unique_ptr<Ui::ParamPage> ui;
    MainGlobals& globals_;
    TUDPServer& udp_;
};
