// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/posix_file.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Where the receive list keeps lines that have left it: older lines, already in their export
// form, appended to a private file by a thread of their own, so the list's memory stays bounded
// and a datagram never waits on the disk. The file is unlinked the moment it is made: nobody
// else can open it, and it is gone at a clear, at exit and even after a crash.
class MonitorSpool
{
public:
    // Queued bytes the writer may lag behind before new lines are refused (and stay in the list).
    static constexpr qsizetype MaxQueuedBytes = 64 * 1024 * 1024;

    explicit MonitorSpool(QString folder);
    ~MonitorSpool();
    MonitorSpool(const MonitorSpool&) = delete;
    MonitorSpool& operator=(const MonitorSpool&) = delete;

    // Called on the writer's thread when a write fails, so the owner can tell the operator
    // without waiting for the next lines to leave the list.
    void setFaultNotice(std::function<void()> notice) { faultNotice_ = std::move(notice); }

    // The writes go through these (tests make them stall or fail). Before the first append.
    void setFileOps(FileOps ops) { ops_ = std::move(ops); }
    // How far the writer may lag (MaxQueuedBytes unless a test wants less).
    void setMaxQueuedBytes(qsizetype bytes) { maxQueued_ = bytes; }

    // Where the next file is made (after a clear).
    void setFolder(QString folder) { folder_ = std::move(folder); }

    // The folder of the user's cache for this program, made private (0700) if it is new.
    static QString defaultFolder();

    // Takes the export bytes of lines leaving the list. False when they must stay in the list:
    // the spool failed (see takeFault) or the writer is too far behind for now. Creates the
    // file at the first call after a clear.
    bool append(QByteArray bytes, qint64 lines);

    // True while lines may be offered (no fault since the last clear).
    bool usable() const;
    // True while the writer is too far behind to take more.
    bool lagging() const;
    // Bytes append() would take now: 0 while lagging or failed.
    qsizetype room() const;

    // Lines and bytes taken since the last clear, written or not.
    qint64 lines() const { return lines_; }
    qint64 bytes() const { return bytes_; }

    // A fault's message for the operator, once: the first call after the spool failed returns
    // it, later calls an empty text. Lines taken before the fault are kept (in the file or in
    // memory).
    QString takeFault();
    bool faultTold() const { return faultReported_; }

    // The bytes taken up to one moment, readable on any thread while the spool goes on taking
    // more, is cleared or fails: what the file holds through a descriptor of its own (the
    // file is append-only, so its start never changes), and what the writer has not written
    // yet as the pieces in memory. Nothing waits for the writer.
    class Snapshot
    {
    public:
        qint64 bytes() const;
        // Hands the bytes, in order, to take, in large pieces, until take fails. Fails with
        // "Stream read error" when the file can not be read back, or with take's fault.
        Expected<void>
        forEachPiece(const std::function<Expected<void>(QByteArrayView)>& take) const;

    private:
        friend class MonitorSpool;
        std::shared_ptr<FileDescriptor> file_;
        qint64 fileBytes_ = 0;
        std::vector<QByteArray> unwritten_;
    };

    // Every byte taken since the last clear, as of now. Raises Exception "Stream read error"
    // when the file can not be opened again.
    Snapshot snapshot() const;

    // Forgets everything: the file goes, the next append starts a new one.
    void clear();

private:
    void openFile();
    void writerLoop();
    void stopWriter();
    void fail(const QString& text);

    QString folder_;
    FileDescriptor fd_;
    qint64 lines_ = 0;
    qint64 bytes_ = 0;
    bool faultReported_ = false;
    std::function<void()> faultNotice_;
    FileOps ops_ = FileOps::system();

    // Shared with the writer thread.
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<QByteArray> queue_;
    std::vector<QByteArray> inFlight_; // taken off the queue by the writer, being written
    qsizetype queued_ = 0;
    qsizetype maxQueued_ = MaxQueuedBytes;
    qint64 written_ = 0;   // bytes in the file
    QByteArray stranded_;  // taken but never written: the disk failed
    QString fault_;        // empty while all is well
    bool writing_ = false; // the writer holds bytes it took from the queue
    bool stop_ = false;
    std::thread writer_;
};
