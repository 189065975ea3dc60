// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/posix_file.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileOps FileOps::system()
{
    return {
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
}

int FileDescriptor::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FileDescriptor::reset(int fd)
{
    bool ok = true;
    if (fd_ >= 0)
        ok = ::close(fd_) == 0;
    fd_ = fd;
    return ok;
}

bool writeAll(const FileOps& ops, int fd, QByteArrayView bytes)
{
    const char* p = bytes.data();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t n = ops.write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

namespace
{

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Not a regular file: a folder says so, anything else (a FIFO, a device, a socket) is an
// invalid target. Never opened, so nothing can block on it.
// Creates a new file beside target under a name nobody holds yet (target.tmpPID-random), trying
// another name while one is taken; name is the last one tried. -1 with errno set when it fails
// (EEXIST once 100 names were all taken).
int openUniqueTemp(const QByteArray& target, mode_t mode, QByteArray& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target;
        name.append(".tmp").append(QByteArray::number(::getpid())).append('-');
        name.append(QByteArray::number(QRandomGenerator::global()->generate(), 36));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

int notRegularError(mode_t mode)
{
    return S_ISDIR(mode) ? EISDIR : EINVAL;
}

} // namespace

namespace
{

// Whether the kernel itself would follow every link on the way to path: opened without
// reading, so a FIFO never blocks. A missing last part is no refusal (ENOENT); a link the
// kernel refuses to follow (fs.protected_symlinks: another user's link in a sticky folder
// such as /tmp, also for root) is, and so is anything else that fails.
bool kernelFollows(const QByteArray& path, int flags = 0)
{
    const int fd = ::open(path.constData(), O_PATH | O_CLOEXEC | flags);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == ENOENT;
}

} // namespace

QByteArray resolvedPath(const QByteArray& path)
{
    // A link that names a file not there yet is followed too: that file is created and the
    // link stays, as when writing through the link. Each step is taken only where the kernel
    // would take it; otherwise the path stays as far as it got, and opening it then fails
    // with the kernel's own error.
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (!kernelFollows(current))
            return current;
        if (char* real = ::realpath(current.constData(), nullptr)) {
            QByteArray resolved(real);
            std::free(real);
            return resolved;
        }
        char target[4096];
        const ssize_t n = ::readlink(current.constData(), target, sizeof target);
        if (n < 0 || n == static_cast<ssize_t>(sizeof target)) {
            // The last part is missing: its folder resolved, its name kept.
            if (!kernelFollows(folderOf(current), O_DIRECTORY))
                return current;
            if (char* real = ::realpath(folderOf(current).constData(), nullptr)) {
                QByteArray resolved(real);
                std::free(real);
                if (!resolved.endsWith('/'))
                    resolved.append('/');
                return resolved.append(nameOf(current));
            }
            return current;
        }
        QByteArray next(target, n);
        current = next.startsWith('/') ? next : folderOf(current).append('/').append(next);
    }
    return current;
}

tl::unexpected<Fault> systemFault(int code)
{
    return fail(QString::fromLocal8Bit(std::strerror(code)), -1, code);
}

Expected<QByteArray> orEmptyWhenMissing(Expected<QByteArray> read)
{
    if (!read && missingFile(read.error()))
        return QByteArray();
    return read;
}

Expected<QByteArray> readWholeFile(const QByteArray& path, qint64 maxBytes)
{
    const auto failed = [](int code) { return systemFault(code); };
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return failed(errno);
    if (!S_ISREG(info.st_mode))
        return failed(notRegularError(info.st_mode));
    // Without waiting, should a FIFO have taken the file's place since.
    FileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return failed(errno);
    if (::fstat(fd.get(), &info) != 0)
        return failed(errno);
    if (!S_ISREG(info.st_mode))
        return failed(notRegularError(info.st_mode));
    const bool capped = maxBytes >= 0;
    if (capped && info.st_size > maxBytes)
        return failed(EFBIG);
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(errno);
        if (n == 0)
            break;
        bytes.append(chunk, n);
        if (capped && bytes.size() > maxBytes) // it grew while being read
            return failed(EFBIG);
    }
    return bytes;
}

namespace
{

// Makes a rename durable. Best effort: the new content is in place either way.
void syncFolderOf(const QByteArray& path)
{
    FileDescriptor fd(::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

} // namespace

AtomicFile::AtomicFile(QByteArray target, FileOps ops, Access access)
    : target_(std::move(target)), ops_(std::move(ops)), access_(access)
{
}

AtomicFile::~AtomicFile()
{
    fd_.reset();
    if (created_ && !committed_)
        ::unlink(tempName_.constData());
}

bool AtomicFile::open()
{
    struct stat info {};
    const bool exists = ::stat(target_.constData(), &info) == 0;
    // Only a missing file may be made; a link the kernel will not follow is refused with its
    // error rather than replaced.
    if (!exists && errno != ENOENT)
        return false;
    // Only a regular file is replaced: a folder, a FIFO or a device is refused at once.
    if (exists && !S_ISREG(info.st_mode)) {
        errno = notRegularError(info.st_mode);
        return false;
    }
    if (exists && (info.st_mode & 0222) == 0) {
        errno = EACCES;
        return false;
    }
    if (exists && ::access(target_.constData(), W_OK) != 0)
        return false;
    if (!fd_.valid())
        fd_.reset(openUniqueTemp(target_, access_ == Access::Private ? 0600 : 0666, tempName_));
    if (!fd_.valid())
        return false;
    created_ = true;
    if (access_ == Access::Private)
        ::fchmod(fd_.get(), 0600); // the umask may only take bits away
    if (exists) {
        ::fchmod(fd_.get(), info.st_mode & 07777);
        if (::fchown(fd_.get(), info.st_uid, info.st_gid) != 0) {
            // Only root may give the file away; otherwise the writer owns the new file.
        }
    }
    return true;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    return fd_.valid() && writeAll(ops_, fd_.get(), bytes);
}

bool AtomicFile::commit()
{
    if (!fd_.valid() || ops_.fsync(fd_.get()) != 0 || !fd_.reset())
        return false;
    if (ops_.rename(tempName_.constData(), target_.constData()) != 0)
        return false;
    committed_ = true;
    syncFolderOf(target_);
    return true;
}

bool appendDurably(const QByteArray& path, QByteArrayView bytes, const FileOps& ops)
{
    FileDescriptor fd(
        ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
    if (!fd.valid())
        return false;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    const bool created = info.st_size == 0;
    if (!writeAll(ops, fd.get(), bytes) || ops.fsync(fd.get()) != 0) {
        const int error = errno;
        if (::ftruncate(fd.get(), info.st_size) == 0)
            ::fsync(fd.get());
        errno = error;
        return false;
    }
    if (!fd.reset())
        return false;
    if (created)
        syncFolderOf(path);
    return true;
}

int createPrivateFile(const QByteArray& path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        errno = notRegularError(info.st_mode);
        return -1;
    }
    QByteArray temp;
    FileDescriptor fd(openUniqueTemp(path, 0600, temp));
    if (!fd.valid())
        return -1;
    // The umask may only take bits away; make sure nobody else reads the traffic.
    ::fchmod(fd.get(), 0600);
    if (::rename(temp.constData(), path.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        errno = error;
        return -1;
    }
    syncFolderOf(path);
    return fd.release();
}
