// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"
#include "common/posix_file.h"
#include "console/monitor_spool.h"

#include <QString>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// The receive list as it stood when the operator asked for the export: the lines moved out
// of it and its text, neither of which changes afterwards whatever the list does.
struct ExportSnapshot {
    MonitorSpool::Snapshot aside;
    std::vector<QString> text; // pieces, in order

    // About how many bytes the file takes (a received character is one byte).
    qint64 sizeHint() const;
};

// One export written on a thread of its own, so the event thread goes on listing datagrams
// while gigabytes go to the disk.
class ExportJob
{
public:
    enum class State { Running, Written, Cancelled, Failed };

    ExportJob(QString path, ExportSnapshot snapshot, FileOps ops = FileOps::system());
    // Cancels and waits for the thread: an unfinished export leaves the earlier file alone.
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    // Starts the thread; ended is called on it, last, once the state is final.
    void start(std::function<void()> ended);
    void cancel() { cancelled_ = true; }

    // How far it got: 0 to 99 while running, 100 once written.
    int percent() const;
    State state() const { return state_; }
    // How it ended, once the state is no longer Running: nothing, or the fault that stopped it
    // (a cancel is one too, told apart by isCancelled).
    const Expected<void>& outcome() const { return outcome_; }

private:
    void run();

    QString path_;
    ExportSnapshot snapshot_;
    FileOps ops_;
    qint64 total_ = 0;
    std::function<void()> ended_;
    std::atomic<qint64> written_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<State> state_{State::Running};
    Expected<void> outcome_; // set before state_ leaves Running
    std::thread thread_;
};
