// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/export_job.h"

#include "console/export_file.h"

#include <algorithm>

qint64 ExportSnapshot::sizeHint() const
{
    qint64 total = aside.bytes();
    for (const QString& piece : text)
        total += piece.size();
    return total;
}

ExportJob::ExportJob(QString path, ExportSnapshot snapshot, FileOps ops)
    : path_(std::move(path)), snapshot_(std::move(snapshot)), ops_(std::move(ops)),
      total_(snapshot_.sizeHint())
{
}

ExportJob::~ExportJob()
{
    cancel();
    if (thread_.joinable())
        thread_.join();
}

void ExportJob::start(std::function<void()> ended)
{
    ended_ = std::move(ended);
    thread_ = std::thread([this] { run(); });
}

int ExportJob::percent() const
{
    if (state_ == State::Written)
        return 100;
    if (total_ <= 0)
        return 0;
    return static_cast<int>(std::min<qint64>(99, written_ * 100 / total_));
}

void ExportJob::run()
{
    ExportControl control;
    control.ops = ops_;
    control.cancelled = [this] { return cancelled_.load(); };
    control.written = [this](qint64 bytes) { written_ = bytes; };
    outcome_ = writeExportFile(
        path_, [this](const ExportBytesTake& take) { return snapshot_.aside.forEachPiece(take); },
        [this](const ExportTextTake& take) -> Expected<void> {
            for (const QString& piece : snapshot_.text) {
                if (const Expected<void> taken = take(piece); !taken)
                    return taken;
            }
            return {};
        },
        control);
    if (outcome_)
        state_ = State::Written;
    else
        state_ = isCancelled(outcome_.error()) ? State::Cancelled : State::Failed;
    if (ended_)
        ended_();
}
