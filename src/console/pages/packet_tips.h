// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/device_types.h"

#include <QObject>
#include <functional>

class QPlainTextEdit;

// Explains a receive-list line that shows a whole packet: resting the pointer on it shows the
// packet read into its fields as a tooltip. Watches the list's viewport only; the lines, the
// list and the export are not touched.
class PacketTips : public QObject
{
    Q_OBJECT
public:
    // deviceType answers the type that parameter packets are read with, asked at each hover.
    PacketTips(QPlainTextEdit* list, std::function<DeviceType()> deviceType);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* list_;
    std::function<DeviceType()> deviceType_;
};
