// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/pages/packet_tips.h"

#include "console/line_packet.h"

#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolTip>

PacketTips::PacketTips(QPlainTextEdit* list, std::function<DeviceType()> deviceType)
    : QObject(list), list_(list), deviceType_(std::move(deviceType))
{
    list_->viewport()->installEventFilter(this);
}

bool PacketTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip || watched != list_->viewport())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QTextBlock line = list_->cursorForPosition(help->pos()).block();
    // Below the last line the nearest cursor is still on it; only the line's own rows count.
    QTextCursor end(line);
    end.movePosition(QTextCursor::EndOfBlock);
    const int top = list_->cursorRect(QTextCursor(line)).top();
    const int bottom = list_->cursorRect(end).bottom();
    std::optional<QString> text;
    if (line.isValid() && help->pos().y() >= top && help->pos().y() <= bottom)
        text = linePacketText(line.text(), deviceType_());
    // The tip goes when the pointer leaves the line's rows.
    if (text)
        QToolTip::showText(help->globalPos(), *text, list_->viewport(),
                           QRect(0, top, list_->viewport()->width(), bottom - top + 1));
    else
        QToolTip::hideText();
    return true;
}
