#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <functional>

class QMenu;

// The receive list: an editable plain-text view that takes lines at flood rates. Added lines
// wait in a buffer and go into the document together, at most about once a frame; everything
// that reads the list or lets the operator edit it first puts the waiting lines in, so the
// list always behaves as if each line had been added the moment it came.
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

    // The menu shown on the list's context-menu request.
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

public Q_SLOTS:
    // Empties the list, waiting lines included.
    void clear();

Q_SIGNALS:
    // Lines went into the document.
    void flushed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void scheduleFlush();

    QString pending_; // each waiting line followed by '\n'
    int pendingLines_ = 0;
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    QMenu* popupMenu_ = nullptr;
};
