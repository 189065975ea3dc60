// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/queued_calls.h"
#include "console/export_job.h"
#include "console/monitor_spool.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>

class QMenu;

// The receive list: an editable plain-text view that takes lines at flood rates. Added lines
// wait in a buffer and go into the document together, at most about once a frame; everything
// that reads the list or lets the operator edit it first puts the waiting lines in, so the
// list always behaves as if each line had been added the moment it came.
// Memory stays bounded however long it runs: beyond a number of lines the oldest ones leave
// the document for a spool file, and the export writes them ahead of the document. Once the
// spool has failed they are dropped instead, and counted.
class MonitorMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit MonitorMemo(QWidget* parent = nullptr);

    // Adds a line as the new last line: after a line break, or after one of its own when the
    // operator left the text without one at the end.
    void addLine(QStringView line);

    // Puts the waiting lines into the document now.
    void flush();

    // The whole text, every added line included.
    QString text();

    // Hands the whole text, every added line included, to take a slice at a time: one pass
    // over the document without a copy of it all.
    void forEachTextPiece(const std::function<void(QStringView)>& take);

    int pendingLines() const { return pendingLines_; }

    // Lines the document keeps (at least 1): when it holds half as many again, the older ones
    // move to the spool. Removing lines makes the document compact its text, in time that
    // grows with what it keeps; at 10,000 lines a batch leaves within about 25 ms under a
    // flood, and a resize lays out no more than 15,000 lines.
    static constexpr int DefaultKeptLines = 10000;
    void setKeptLines(int lines) { keptLines_ = std::max(1, lines); }
    // Where the spool file is made, from the next one on.
    void setSpoolFolder(const QString& folder) { spool_.setFolder(folder); }
    // The spool behind the list (benchmarks and tests reach its limits and file operations).
    MonitorSpool& spool() { return spool_; }
    // Lines moved out of the document since the last clear.
    qint64 linesAside() const { return spool_.lines(); }
    // Lines dropped since the last clear because the spool had failed: the list keeps its
    // bound then too, and these are in neither the list nor an export.
    qint64 linesLeftOut() const { return linesLeftOut_; }
    // What an export writes, as of now: the lines moved out and a copy of the document's
    // text, the waiting lines put in first. Lines that come later, edits and clears leave it
    // as it is.
    ExportSnapshot exportSnapshot();

    // The menu shown on the list's context-menu request.
    void setPopupMenu(QMenu* menu) { popupMenu_ = menu; }

public Q_SLOTS:
    // Empties the list, waiting lines and the spool included. Named apart from the base
    // class's clear(), which is not virtual: a call through QPlainTextEdit* would empty the
    // document alone and leave the spool's lines to reappear in the next export.
    void clearList();

Q_SIGNALS:
    // Lines went into the document.
    void flushed();
    // The spool failed: from now on the oldest lines are left out and counted. Once per fault.
    void spoolFault(const QString& message);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void scheduleFlush();
    void keepAside();
    void reportSpoolFault();
    void leaveOut(int lines);

    QString pending_; // each waiting line followed by '\n'
    int pendingLines_ = 0;
    int lastFlushLines_ = 0; // how many the last flush carried: many means a flood
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    QMenu* popupMenu_ = nullptr;
    int keptLines_ = DefaultKeptLines;
    QueuedCalls calls_; // the spool writer's notices, outliving the writer
    MonitorSpool spool_{MonitorSpool::defaultFolder()};
    std::atomic<bool> faultPosted_{false}; // a call to tell the fault is on its way
    qint64 linesLeftOut_ = 0;
};
