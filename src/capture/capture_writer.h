// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/pcapng.h"
#include "common/posix_file.h"

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Records datagrams into a pcapng file on a thread of its own: add() only queues (from any
// thread), the writer encodes and writes them, and flushes the file to disk at least once a
// second, so a crash loses at most the last second. A failed write stops the recording; the
// fault is told once.
class CaptureWriter
{
public:
    // Records the writer may lag behind before new ones are counted lost instead of queued.
    static constexpr qsizetype MaxQueuedBytes = 64 * 1024 * 1024;
    static constexpr int SyncIntervalMs = 1000;

    CaptureWriter() = default;
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Called on the writer's thread, once, when a write fails; the text is for the operator.
    void setFaultNotice(std::function<void(const QString&)> notice)
    {
        faultNotice_ = std::move(notice);
    }

    // Creates the file (0600, replacing an earlier one) and starts recording. False with the
    // operator's text in error when the file cannot be made.
    bool start(const QString& path, QString& error);
    // Writes what is queued, flushes it to disk and closes the file.
    void stop();
    bool running() const;

    // Any thread. Queues a record and returns the frame number it will have in the file (the
    // first packet of a recording is frame 1, as Wireshark counts them); 0 when it was not
    // taken: not running, or too far behind (then counted lost). Numbers follow the order of
    // the queue, which is the order of the file, so a refused record shifts none of them. A
    // failed write ends the recording; the records it had not written yet are not in the file.
    std::uint64_t add(CaptureRecord record);

    std::uint64_t recorded() const; // records written to the file
    // Records refused by add() while running. The file says so too: an interface statistics
    // block with the count follows the records whenever it grew, and one ends the file.
    std::uint64_t lost() const;

    // How far the writer may lag (MaxQueuedBytes unless a test makes it smaller).
    void setQueueLimit(qsizetype bytes);

private:
    void writerLoop();

    std::function<void(const QString&)> faultNotice_;
    FileDescriptor fd_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<CaptureRecord> queue_;
    qsizetype queued_ = 0;
    qsizetype queueLimit_ = MaxQueuedBytes;
    std::uint64_t recorded_ = 0;
    std::uint64_t lastFrame_ = 0; // the number add() gave last
    std::uint64_t lost_ = 0;
    bool running_ = false;
    bool stop_ = false;
    std::thread writer_;
};
