// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/local_networks.h"
#include "net/presence_probe.h"

#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class PresenceChecker;

// The status line under the parameter page's controls: whether a local interface shares the
// device address's subnet and, while connected, who answers at that address. It follows the
// address field and the machine's interfaces (cable plugged in, address added).
class SubnetStatus : public QWidget
{
    Q_OBJECT
public:
    SubnetStatus(QLineEdit& deviceIP, std::function<bool()> connected, QWidget* parent = nullptr);
    ~SubnetStatus() override;

    // The interface list; getifaddrs unless replaced.
    void setAddressSource(std::function<QList<LocalAddress>()> source);
    QString statusText() const;
    QString presenceText() const;
    // Reads the interfaces and the field again, and probes when it may.
    void refresh();

private:
    void fieldEdited();
    void probe();
    void showPresence(const QString& text);

    QLineEdit& deviceIP_;
    std::function<bool()> connected_;
    std::function<QList<LocalAddress>()> source_;
    QLabel* status_;
    QLabel* presence_;
    QTimer poll_;
    QTimer settle_;
    PresenceChecker* checker_;
    QString probed_; // the address the last answer is for
    qint64 probedAtMs_ = 0;
};
