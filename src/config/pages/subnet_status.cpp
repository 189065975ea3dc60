// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/subnet_status.h"

#include "common/guard.h"
#include "net/net_address.h"
#include "net/presence_checker.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace
{
// Interfaces change rarely and reading them is cheap: a look every two seconds is current
// enough for a cable plugged in.
constexpr int PollMs = 2000;
// A device that answered is asked again this often while the page shows it.
constexpr int ReprobeMs = 10000;
// Typing settles before the first probe of a new address.
constexpr int SettleMs = 500;
} // namespace

SubnetStatus::SubnetStatus(QLineEdit& deviceIP, std::function<bool()> connected, QWidget* parent)
    : QWidget(parent), deviceIP_(deviceIP), connected_(std::move(connected)),
      source_(&localAddresses), status_(new QLabel(this)), presence_(new QLabel(this)),
      checker_(new PresenceChecker(this))
{
    setObjectName(u"SubnetStatus"_s);
    status_->setObjectName(u"lblSubnetStatus"_s);
    presence_->setObjectName(u"lblPresence"_s);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(status_, 1);
    layout->addWidget(presence_);

    poll_.setInterval(PollMs);
    settle_.setInterval(SettleMs);
    settle_.setSingleShot(true);
    connect(&poll_, &QTimer::timeout, this, [this] { runGuarded([this] { refresh(); }); });
    connect(&settle_, &QTimer::timeout, this, [this] { runGuarded([this] { probe(); }); });
    connect(&deviceIP_, &QLineEdit::textChanged, this,
            [this] { runGuarded([this] { fieldEdited(); }); });
    poll_.start();
    refresh();
}

SubnetStatus::~SubnetStatus() = default;

void SubnetStatus::setAddressSource(std::function<QList<LocalAddress>()> source)
{
    source_ = std::move(source);
    refresh();
}

QString SubnetStatus::statusText() const
{
    return status_->text();
}

QString SubnetStatus::presenceText() const
{
    return presence_->text();
}

void SubnetStatus::refresh()
{
    const SubnetStatusText line = subnetStatusText(source_(), deviceIP_.text());
    if (status_->text() != line.text) {
        status_->setText(line.text);
        status_->setAccessibleName(u"网段："_s + line.text);
    }
    if (!connected_()) {
        showPresence({});
        probed_.clear();
        return;
    }
    const bool stale = probed_ != deviceIP_.text().trimmed() ||
                       QDateTime::currentMSecsSinceEpoch() - probedAtMs_ >= ReprobeMs;
    if (stale && !settle_.isActive())
        probe();
}

void SubnetStatus::fieldEdited()
{
    showPresence({});
    probed_.clear();
    refresh();
    settle_.start();
}

void SubnetStatus::probe()
{
    if (!connected_() || checker_->inFlight() > 0)
        return;
    const QString text = deviceIP_.text().trimmed();
    const auto address = parseDottedQuad(text);
    // Only addresses on a local link's subnet are probed.
    if (!address || !sameSubnet(source_(), *address, true)) {
        showPresence({});
        return;
    }
    probed_ = text;
    probedAtMs_ = QDateTime::currentMSecsSinceEpoch();
    checker_->check(*address, [this, text](const Presence& answer) {
        runGuarded([&] {
            if (text == deviceIP_.text().trimmed() && connected_())
                showPresence(::presenceText(answer));
        });
    });
}

void SubnetStatus::showPresence(const QString& text)
{
    if (presence_->text() == text)
        return;
    presence_->setText(text);
    presence_->setAccessibleName(text.isEmpty() ? QString() : u"设备应答："_s + text);
}
