// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/capture_writer.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <time.h>
#include <unistd.h>

namespace
{

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Room a record takes in the queue: its bytes and a little for the block around them.
qsizetype weight(const CaptureRecord& r)
{
    return r.payload.size() + r.comment.size() + 64;
}

} // namespace

CaptureWriter::~CaptureWriter()
{
    stop();
}

bool CaptureWriter::start(const QString& path, QString& error)
{
    stop();
    const int fd = createPrivateFile(QFile::encodeName(path));
    if (fd < 0) {
        error = QStringLiteral("无法创建抓包文件“%1”：%2。").arg(path, systemText(errno));
        return false;
    }
    fd_.reset(fd);
    if (!writeAll(FileOps::system(), fd, pcapngFileHeader())) {
        error = QStringLiteral("抓包文件“%1”写入失败：%2。").arg(path, systemText(errno));
        fd_.reset();
        return false;
    }
    {
        std::lock_guard guard(lock_);
        running_ = true;
        stop_ = false;
        recorded_ = 0;
        lastFrame_ = 0;
        lost_ = 0;
    }
    try {
        writer_ = std::thread([this] { writerLoop(); });
    } catch (const std::system_error& e) {
        std::lock_guard guard(lock_);
        running_ = false;
        fd_.reset();
        error = QStringLiteral("无法开始抓包：%1。").arg(systemText(e.code().value()));
        return false;
    }
    return true;
}

void CaptureWriter::stop()
{
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable())
        writer_.join();
    if (fd_.valid()) {
        ::fdatasync(fd_.get());
        fd_.reset();
    }
    std::lock_guard guard(lock_);
    running_ = false;
    queue_.clear();
    queued_ = 0;
}

bool CaptureWriter::running() const
{
    std::lock_guard guard(lock_);
    return running_;
}

std::uint64_t CaptureWriter::add(CaptureRecord record)
{
    bool wake = false;
    std::uint64_t frame = 0;
    {
        std::lock_guard guard(lock_);
        if (!running_ || stop_)
            return 0;
        const qsizetype size = weight(record);
        if (queued_ + size > queueLimit_) {
            ++lost_;
            return 0;
        }
        queued_ += size;
        wake = queue_.empty();
        queue_.push_back(std::move(record));
        // The writer takes the queue whole and writes it in order, and only packet blocks
        // are frames (the statistics blocks between them are not), so the number is the count
        // of records taken.
        frame = ++lastFrame_;
    }
    if (wake)
        changed_.notify_one();
    return frame;
}

std::uint64_t CaptureWriter::recorded() const
{
    std::lock_guard guard(lock_);
    return recorded_;
}

std::uint64_t CaptureWriter::lost() const
{
    std::lock_guard guard(lock_);
    return lost_;
}

void CaptureWriter::setQueueLimit(qsizetype bytes)
{
    std::lock_guard guard(lock_);
    queueLimit_ = bytes;
}

namespace
{

std::int64_t nowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

void CaptureWriter::writerLoop()
{
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    bool unsynced = false;
    std::vector<CaptureRecord> batch;
    QByteArray bytes;
    std::uint64_t lostInFile = 0;
    std::unique_lock held(lock_);
    for (;;) {
        changed_.wait_for(held, std::chrono::milliseconds(SyncIntervalMs / 4),
                          [this] { return stop_ || !queue_.empty(); });
        const bool stopping = stop_;
        batch.swap(queue_);
        queued_ = 0;
        const std::uint64_t lost = lost_;
        held.unlock();

        bytes.clear();
        for (const CaptureRecord& r : batch)
            appendPcapngRecord(bytes, r);
        // A file that lacks records says so as soon as it does, and a whole one at its end.
        if (lost != lostInFile || stopping) {
            appendPcapngStatistics(bytes, nowNs(), lost);
            lostInFile = lost;
        }
        int error = 0;
        if (!bytes.isEmpty()) {
            if (writeAll(FileOps::system(), fd_.get(), bytes))
                unsynced = true;
            else
                error = errno;
        }
        if (!error && unsynced &&
            (stopping || Clock::now() - lastSync >= std::chrono::milliseconds(SyncIntervalMs))) {
            if (::fdatasync(fd_.get()) != 0)
                error = errno;
            lastSync = Clock::now();
            unsynced = false;
        }
        held.lock();
        if (error) {
            running_ = false;
            queue_.clear();
            queued_ = 0;
            held.unlock();
            if (faultNotice_)
                faultNotice_(
                    QStringLiteral("抓包文件写入失败：%1。抓包已停止，已写入的记录保留在文件中。")
                        .arg(systemText(error)));
            return;
        }
        recorded_ += batch.size();
        batch.clear();
        if (stopping)
            return;
    }
}
