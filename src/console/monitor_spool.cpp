// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/monitor_spool.h"

#include "common/exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace
{

// Pieces the writer and the export move at once: few system calls, little memory.
constexpr qsizetype WriteBatchBytes = 8 * 1024 * 1024;
constexpr qsizetype ReadPieceBytes = 4 * 1024 * 1024;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes the pieces in order through the program's write-all; returns how many bytes reached
// the file and sets error when a write stopped short of the whole.
qint64 writePieces(const FileOps& ops, int fd, const std::vector<QByteArray>& pieces, int& error)
{
    qint64 done = 0;
    FileOps counting = ops;
    counting.write = [&ops, &done](int to, const void* data, size_t size) {
        const ssize_t n = ops.write(to, data, size);
        if (n > 0)
            done += n;
        return n;
    };
    for (const QByteArray& p : pieces) {
        if (!writeAll(counting, fd, p)) {
            error = errno ? errno : EIO;
            return done;
        }
    }
    return done;
}

const char16_t* const StayInList =
    u"从现在起列表只保留最新的数据，更早的行将被略去（列表上方注明略去的行数），请及时导出并清除。";

QString createFault(const QString& folder, int error)
{
    return QStringLiteral("无法在“%1”创建接收数据的暂存文件：%2。\n")
               .arg(folder, systemText(error)) +
           QString::fromUtf16(StayInList);
}

QString writeFault(int error)
{
    return QStringLiteral("接收数据的暂存文件写入失败：%1。\n").arg(systemText(error)) +
           QString::fromUtf16(StayInList);
}

} // namespace

MonitorSpool::MonitorSpool(QString folder) : folder_(std::move(folder))
{
}

MonitorSpool::~MonitorSpool()
{
    clear();
}

QString MonitorSpool::defaultFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache + QStringLiteral("/terminal-config-tool");
}

bool MonitorSpool::usable() const
{
    std::lock_guard guard(lock_);
    return fault_.isEmpty();
}

bool MonitorSpool::lagging() const
{
    std::lock_guard guard(lock_);
    return queued_ >= maxQueued_;
}

qsizetype MonitorSpool::room() const
{
    std::lock_guard guard(lock_);
    return fault_.isEmpty() ? std::max<qsizetype>(0, maxQueued_ - queued_) : 0;
}

void MonitorSpool::fail(const QString& text)
{
    std::lock_guard guard(lock_);
    if (fault_.isEmpty())
        fault_ = text;
}

void MonitorSpool::openFile()
{
    // The cache folder may not be there yet; only its last step is ours to make private.
    QDir().mkpath(QFileInfo(folder_).absolutePath());
    const QByteArray folder = QFile::encodeName(folder_);
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        fail(createFault(folder_, errno));
        return;
    }
    // Made here rather than by AtomicFile: this file replaces nothing and is never renamed into
    // place; it is a private scratch file that loses its name at once.
    QByteArray name = folder + "/monitor-spool-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) {
        fail(createFault(folder_, errno));
        return;
    }
    // Nameless from now on: no one else can open it, and it goes when the descriptor closes.
    ::unlink(name.constData());
    fd_.reset(fd);
    try {
        writer_ = std::thread([this] { writerLoop(); });
    } catch (const std::system_error& e) {
        fd_.reset();
        fail(createFault(folder_, e.code().value()));
    }
}

bool MonitorSpool::append(QByteArray bytes, qint64 lines)
{
    if (!usable())
        return false;
    if (!fd_.valid()) {
        openFile();
        if (!fd_.valid())
            return false;
    }
    {
        std::lock_guard guard(lock_);
        // The writer may have failed since usable(): it took the queue with it, so bytes put
        // there now would be lost with lines the list has already let go.
        if (!fault_.isEmpty())
            return false;
        if (queued_ + bytes.size() > maxQueued_)
            return false; // the disk lags: the lines wait in the list for a later turn
        queued_ += bytes.size();
        bytes_ += bytes.size();
        lines_ += lines;
        queue_.push_back(std::move(bytes));
    }
    changed_.notify_all();
    return true;
}

void MonitorSpool::writerLoop()
{
    std::unique_lock held(lock_);
    for (;;) {
        changed_.wait(held, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        qsizetype size = 0;
        while (!queue_.empty() &&
               (inFlight_.empty() || size + queue_.front().size() <= WriteBatchBytes)) {
            size += queue_.front().size();
            inFlight_.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        // The batch stays readable by a snapshot while it is written; only this thread
        // changes it, and only under the lock.
        const std::vector<QByteArray>& batch = inFlight_;
        writing_ = true;
        held.unlock();
        int error = 0;
        const qint64 done = writePieces(ops_, fd_.get(), batch, error);
        held.lock();
        writing_ = false;
        queued_ -= size;
        written_ += done;
        if (error) {
            // What did not reach the disk stays in memory, ahead of what is still queued.
            QByteArray rest;
            qint64 skip = done;
            for (const QByteArray& p : batch) {
                if (skip >= p.size()) {
                    skip -= p.size();
                    continue;
                }
                rest += QByteArrayView(p).sliced(skip);
                skip = 0;
            }
            for (QByteArray& p : queue_)
                rest += p;
            stranded_ = std::move(rest);
            inFlight_.clear();
            queue_.clear();
            queued_ = 0;
            fault_ = writeFault(error);
            changed_.notify_all();
            held.unlock();
            if (faultNotice_)
                faultNotice_();
            return;
        }
        inFlight_.clear();
        changed_.notify_all();
    }
}

QString MonitorSpool::takeFault()
{
    if (faultReported_)
        return {};
    std::lock_guard guard(lock_);
    if (fault_.isEmpty())
        return {};
    faultReported_ = true;
    return fault_;
}

MonitorSpool::Snapshot MonitorSpool::snapshot() const
{
    Snapshot shot;
    std::lock_guard guard(lock_);
    if (written_ > 0) {
        // A descriptor of its own: a clear closes the spool's, and the nameless file lives on
        // for as long as the snapshot reads it.
        const int fd = ::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            throw Exception(QStringLiteral("Stream read error"));
        shot.file_ = std::make_shared<FileDescriptor>(fd);
        shot.fileBytes_ = written_;
    }
    if (!stranded_.isEmpty()) {
        shot.unwritten_.push_back(stranded_);
    } else {
        // Shared, not copied: nobody changes a piece once it was taken.
        shot.unwritten_.assign(inFlight_.begin(), inFlight_.end());
        shot.unwritten_.insert(shot.unwritten_.end(), queue_.begin(), queue_.end());
    }
    return shot;
}

qint64 MonitorSpool::Snapshot::bytes() const
{
    qint64 total = fileBytes_;
    for (const QByteArray& p : unwritten_)
        total += p.size();
    return total;
}

Expected<void> MonitorSpool::Snapshot::forEachPiece(
    const std::function<Expected<void>(QByteArrayView)>& take) const
{
    QByteArray piece(static_cast<qsizetype>(std::min<qint64>(fileBytes_, ReadPieceBytes)),
                     Qt::Uninitialized);
    for (qint64 at = 0; at < fileBytes_;) {
        const qsizetype want =
            static_cast<qsizetype>(std::min<qint64>(fileBytes_ - at, piece.size()));
        const ssize_t n = ::pread(file_->get(), piece.data(), static_cast<size_t>(want), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ::fail(QStringLiteral("Stream read error"), -1, n < 0 ? errno : 0);
        if (const Expected<void> taken = take(QByteArrayView(piece.constData(), n)); !taken)
            return taken;
        at += n;
    }
    for (const QByteArray& p : unwritten_) {
        if (const Expected<void> taken = take(p); !taken)
            return taken;
    }
    return {};
}

void MonitorSpool::stopWriter()
{
    {
        std::lock_guard guard(lock_);
        stop_ = true;
        queue_.clear();
        queued_ = 0;
    }
    changed_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

void MonitorSpool::clear()
{
    stopWriter();
    // Freeing the blocks of a large file takes seconds; a clear does not wait for that.
    if (fd_.valid()) {
        const int fd = fd_.release();
        try {
            std::thread([fd] { ::close(fd); }).detach();
        } catch (const std::system_error&) {
            ::close(fd);
        }
    }
    std::lock_guard guard(lock_);
    // Only now: a writer stopped mid-write took its batch off the count on the way out.
    queued_ = 0;
    stop_ = false;
    written_ = 0;
    stranded_.clear();
    fault_.clear();
    lines_ = 0;
    bytes_ = 0;
    faultReported_ = false;
}
