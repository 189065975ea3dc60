// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/pages/monitor_memo.h"

#include "console/export_file.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace
{
// After a quiet spell a line shows at once. While lines keep coming the list is filled about
// once a frame; under a flood (a flush that carried many lines) less often, so that inserting,
// laying out and painting stay a small share of the event thread and datagrams are served.
constexpr int FlushIntervalMs = 16;
constexpr int FloodFlushIntervalMs = 80;
constexpr int FloodLines = 200;
} // namespace

MonitorMemo::MonitorMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &MonitorMemo::flush);
    // The writer fails on its own thread; the box comes from this one.
    spool_.setFaultNotice([this] { reportSpoolFault(); });
}

void MonitorMemo::addLine(QStringView line)
{
    pending_ += line;
    pending_ += u'\n';
    ++pendingLines_;
    scheduleFlush();
}

void MonitorMemo::scheduleFlush()
{
    if (flushTimer_.isActive())
        return;
    const int interval = lastFlushLines_ >= FloodLines ? FloodFlushIntervalMs : FlushIntervalMs;
    const qint64 since = sinceFlush_.isValid() ? sinceFlush_.elapsed() : interval;
    flushTimer_.start(static_cast<int>(std::max<qint64>(0, interval - since)));
}

void MonitorMemo::flush()
{
    flushTimer_.stop();
    sinceFlush_.start();
    lastFlushLines_ = pendingLines_;
    if (pendingLines_ == 0)
        return;

    QTextDocument* doc = document();
    QScrollBar* bar = verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();
    // An empty list or one ending in a line break takes "line, break"; text the operator
    // left without a break at the end gets "break, line" for every line from then on.
    const bool endsWithBreak = doc->lastBlock().length() <= 1;

    // Received lines are not the operator's edits to undo, and recording them would double
    // the memory of a long capture. Turning undo off also forgets the operator's earlier
    // edits; they stay undoable while nothing arrives.
    doc->setUndoRedoEnabled(false);
    {
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        if (endsWithBreak) {
            cursor.insertText(pending_);
        } else {
            pending_.chop(1);
            cursor.insertText(QStringLiteral("\n"));
            cursor.insertText(pending_);
        }
        cursor.endEditBlock();
    }
    // Apart from the insert: one change over the whole document would lay it all out again.
    keepAside();
    doc->setUndoRedoEnabled(true);

    pending_.resize(0); // keeps the capacity for the next frame's lines
    pendingLines_ = 0;
    if (followTail)
        bar->setValue(bar->maximum());
    Q_EMIT flushed();
}

void MonitorMemo::keepAside()
{
    QTextDocument* doc = document();
    // Lines leave in batches of half the kept lines: the document compacts its text after
    // removals, at a cost in proportion to what it keeps, and batches make that rare. The
    // last block is the one being added to; it never leaves.
    const int lines = doc->blockCount() - 1;
    if (lines <= keptLines_ + keptLines_ / 2)
        return;
    if (!spool_.usable()) {
        if (!spool_.faultTold())
            reportSpoolFault();
        leaveOut(lines - keptLines_);
        return;
    }
    // Only as many as the writer has room for: offering more would be refused whole, frame
    // after frame, and the backlog never leave again. A character takes at most two bytes,
    // its line's separator two.
    const qsizetype room = spool_.room();
    int leaving = 0;
    qsizetype bound = 0;
    for (QTextBlock block = doc->begin(); leaving < lines - keptLines_; block = block.next()) {
        const qsizetype need = 2 * qsizetype(block.length());
        if (bound + need > room)
            break;
        bound += need;
        ++leaving;
    }
    if (leaving == 0)
        return; // the disk is slow: the lines wait for a later flush rather than the datagrams
    QTextCursor cursor(doc);
    cursor.setPosition(doc->findBlockByNumber(leaving).position(), QTextCursor::KeepAnchor);
    // The leaving lines, each ending in a paragraph separator that becomes CR LF.
    QByteArray bytes;
    encodeExportText(bytes, cursor.selectedText());
    if (!spool_.append(std::move(bytes), leaving)) {
        if (!spool_.usable())
            reportSpoolFault(); // else the disk lags behind: the lines wait for a later flush
        return;
    }
    cursor.removeSelectedText();
}

void MonitorMemo::leaveOut(int lines)
{
    // Without a spool the oldest lines go for good, so that memory stays bounded; the count
    // tells the operator what the list and an export now lack.
    QTextCursor cursor(document());
    cursor.setPosition(document()->findBlockByNumber(lines).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    linesLeftOut_ += lines;
}

void MonitorMemo::reportSpoolFault()
{
    if (faultPosted_.exchange(true))
        return;
    // Later, on the event thread, and not from inside a flush: a box runs a nested event loop
    // that flushes again. The fault is taken then, so it is told once.
    calls_.post([this] {
        const QString message = spool_.takeFault();
        if (!message.isEmpty())
            Q_EMIT spoolFault(message);
        else
            faultPosted_ = false; // told already, or cleared since
    });
}

ExportSnapshot MonitorMemo::exportSnapshot()
{
    // Nothing moves out between the two: the flush comes first and the copy runs to its end.
    flush();
    ExportSnapshot shot;
    shot.aside = spool_.snapshot();
    forEachTextPiece([&](QStringView piece) { shot.text.push_back(piece.toString()); });
    return shot;
}

QString MonitorMemo::text()
{
    flush();
    return toPlainText();
}

void MonitorMemo::forEachTextPiece(const std::function<void(QStringView)>& take)
{
    flush();
    constexpr int slice = 1 << 20;
    QTextDocument& doc = *document();
    // The last block's end carries no separator of its own.
    const int end = doc.characterCount() - 1;
    QTextCursor cursor(&doc);
    for (int pos = 0; pos < end; pos += slice) {
        cursor.setPosition(pos);
        cursor.setPosition(std::min(end, pos + slice), QTextCursor::KeepAnchor);
        take(cursor.selectedText());
    }
}

void MonitorMemo::clearList()
{
    flushTimer_.stop();
    pending_.clear();
    pendingLines_ = 0;
    spool_.clear();
    faultPosted_ = false;
    linesLeftOut_ = 0;
    QPlainTextEdit::clear();
}

void MonitorMemo::keyPressEvent(QKeyEvent* event)
{
    flush();
    // Shift+Enter would make a soft break inside a line; in this list every break is a line.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & Qt::ShiftModifier)) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                        event->text(), event->isAutoRepeat(), event->count());
        QPlainTextEdit::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MonitorMemo::inputMethodEvent(QInputMethodEvent* event)
{
    flush();
    QPlainTextEdit::inputMethodEvent(event);
}

void MonitorMemo::insertFromMimeData(const QMimeData* source)
{
    flush();
    QPlainTextEdit::insertFromMimeData(source);
}

void MonitorMemo::dropEvent(QDropEvent* event)
{
    flush();
    QPlainTextEdit::dropEvent(event);
}

void MonitorMemo::contextMenuEvent(QContextMenuEvent* event)
{
    flush();
    if (!popupMenu_) {
        QPlainTextEdit::contextMenuEvent(event);
        return;
    }
    popupMenu_->popup(event->globalPos());
    event->accept();
}
