// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/param_page.h"

#include "common/dialogs.h"
#include "window/globals.h"
#include "common/guard.h"
#include "protocol/device_types.h"
#include "protocol/param_fields.h"
#include "config/param_download.h"
#include "plan/pages/plan_panel.h"
#include "config/pages/subnet_status.h"
#include "net/udp_server.h"
#include "ui_param_page.h"

#include <QEvent>
#include <QIcon>
#include <QPixmap>
#include <QResizeEvent>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

// Gap between a right-aligned label and its field.
constexpr int LabelGap = 2;
// The plan panel starts right of the designed controls, whose right edge is at 737.
constexpr int PlanPanelLeft = 748;
constexpr int PlanPanelMinWidth = 300;

// The glyph strip holds the enabled image and, to its right, the disabled one.
QIcon downloadGlyph()
{
    const QPixmap strip(u":/param/download_glyph.png"_s);
    const int side = strip.height();
    QIcon icon;
    icon.addPixmap(strip.copy(0, 0, side, side), QIcon::Normal);
    icon.addPixmap(strip.copy(side, 0, side, side), QIcon::Disabled);
    return icon;
}

} // namespace

static void initParamResources()
{
    // The page lives in a static library; its resources must be registered by hand.
    Q_INIT_RESOURCE(param_page);
}

ParamPage::ParamPage(MainGlobals& globals, TUDPServer& udp, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::ParamPage>()), globals_(globals), udp_(udp)
{
    initParamResources();
    ui_->setupUi(this);

    ui_->cmbType->addItems(deviceTypeCaptions());
    ui_->cmbType->setCurrentIndex(-1);
    ui_->SpeedButton1->setIcon(downloadGlyph());
    // Reachable by Tab, but a click leaves the focus in the field the operator was in.
    ui_->SpeedButton1->setFocusPolicy(Qt::TabFocus);
    ui_->SpeedButton1->hide();

    for (const FieldRow& entry : paramFieldTable()) {
        auto* label = findChild<QLabel*>(QString::fromUtf16(entry.label));
        auto* field = findChild<QWidget*>(QString::fromUtf16(entry.control));
        label->setBuddy(field);
        field->setAccessibleName(label->text());
        if (entry.text)
            edits_[fieldIndex(entry.key)] = qobject_cast<QLineEdit*>(field);
    }
    ui_->SpeedButton1->setAccessibleName(ui_->SpeedButton1->text());
    placeRelabelled();

    // Beside the designed controls, after them in the tab order.
    planPanel_ = new PlanPanel(*this, udp_, this);
    planPanel_->setConnectedCheck([this] { return udp_.Active(); });
    placePlanPanel();
    // Under the designed controls: does the laptop reach the device's address.
    subnetStatus_ = new SubnetStatus(
        *ui_->edtCurrIP, [this] { return udp_.Active(); }, this);
    subnetStatus_->setGeometry(16, 276, 721, 22);

    // activated, not currentIndexChanged: choosing the item already shown is a choice too,
    // and setting the index from code is not.
    connect(ui_->cmbType, &QComboBox::activated, this, &ParamPage::cmbTypeChange);
    connect(ui_->SpeedButton1, &QToolButton::clicked, this, &ParamPage::SpeedButton1Click);
}

ParamPage::~ParamPage() = default;

void ParamPage::cmbTypeChange(int index)
{
    runGuarded([&] {
        const auto type = DeviceType::fromCode(index + 1);
        if (!type)
            return; // no item chosen
        if (ui_->cmbType->currentIndex() != index)
            ui_->cmbType->setCurrentIndex(index);

        ui_->SpeedButton1->show();
        ui_->gb1->hide();
        ui_->gb2->hide();
        ui_->Lbl_GroupIP->hide();
        ui_->edtGroupIP->hide();
        ui_->edtID1->setText(u"0"_s);
        ui_->edtID2->setText(u"0"_s);
        globals_.selectDeviceType(*type);

        const DeviceTypeView view = type->view();
        setCaption(ui_->Lbl_GroupIP, ui_->edtGroupIP, view.groupCaption);
        if (view.ymCaption)
            setCaption(ui_->Lbl_YM, ui_->edtYM, *view.ymCaption);
        if (view.callCaption)
            setCaption(ui_->Lbl_CallServerIP, ui_->edtCallIp, *view.callCaption);
        if (view.groupText)
            ui_->edtGroupIP->setText(*view.groupText);
        ui_->Lbl_GroupIP->setVisible(view.groupVisible);
        ui_->edtGroupIP->setVisible(view.groupVisible);
        ui_->gb1->setVisible(view.gb1Visible);
        ui_->gb2->setVisible(view.gb2Visible);
    });
}

void ParamPage::SpeedButton1Click()
{
    runGuarded([&] {
        // Set when the window is shown, then only by the type list.
        showOutcome(downloadParams(udp_, globals_.DeviceType, fieldTexts()));
    });
}

void ParamPage::showOutcome(const DownloadOutcome& outcome)
{
    switch (outcome.step) {
    case DownloadOutcome::Step::Invalid:
        infoBox(outcome.message);
        if (outcome.focus)
            fieldFor(*outcome.focus)->setFocus();
        return;
    case DownloadOutcome::Step::Unconverted:
        showErrorBox(outcome.message); // the framework's box; the focus stays
        return;
    case DownloadOutcome::Step::SendFailed:
    case DownloadOutcome::Step::Sent:
        infoBox(outcome.message);
        return;
    }
}

std::optional<DeviceType> ParamPage::chosenType() const
{
    if (ui_->cmbType->currentIndex() < 0)
        return std::nullopt;
    return globals_.DeviceType;
}

void ParamPage::showPlanSend(const DownloadOutcome& outcome)
{
    runGuarded([&] {
        cmbTypeChange(outcome.type.listIndex());
        for (const FieldRow& entry : paramFieldTable()) {
            if (entry.text)
                edits_[fieldIndex(entry.key)]->setText(outcome.fields.*entry.text);
        }
        showOutcome(outcome);
    });
}

void ParamPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placePlanPanel();
}

void ParamPage::placePlanPanel()
{
    const int width = std::max(PlanPanelMinWidth, this->width() - PlanPanelLeft - 8);
    planPanel_->setGeometry(PlanPanelLeft, 8, width, std::max(300, height() - 16));
}

void ParamPage::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        placeRelabelled();
}

ParamFields ParamPage::fieldTexts() const
{
    ParamFields f;
    for (const FieldRow& entry : paramFieldTable()) {
        if (entry.text)
            f.*entry.text = edits_[fieldIndex(entry.key)]->text();
    }
    return f;
}

QLineEdit* ParamPage::fieldFor(ParamField field) const
{
    return edits_[fieldIndex(field)];
}

void ParamPage::setCaption(QLabel* label, QLineEdit* field, const QString& caption)
{
    label->setText(caption);
    if (!caption.isEmpty())
        field->setAccessibleName(caption);
    placeBeside(label, field);
}

// Sizes the label to its caption and keeps its right edge next to the field.
void ParamPage::placeBeside(QLabel* label, QWidget* field)
{
    const int width = label->sizeHint().width();
    label->setGeometry(field->x() - LabelGap - width, field->y(), width, field->height());
}

void ParamPage::placeRelabelled()
{
    placeBeside(ui_->Lbl_GroupIP, ui_->edtGroupIP);
    placeBeside(ui_->Lbl_YM, ui_->edtYM);
    placeBeside(ui_->Lbl_CallServerIP, ui_->edtCallIp);
}
