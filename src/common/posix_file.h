// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing files the one way the program does it: through an owned descriptor, every byte
// written (over interrupted and short writes), into a temporary file in the target's folder
// that is flushed to disk and then renamed over the target. A failure at any point leaves the
// earlier file as it was and removes only the temporary file the writer made. The receive
// spool is the one file that replaces nothing: it makes its own nameless scratch file
// (monitor_spool.cpp says why) and writes it through writeAll.

#include "common/fault.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cerrno>
#include <functional>
#include <optional>
#include <sys/types.h>

// The system calls a write goes through; tests replace them to fail midway.
struct FileOps {
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;

    static FileOps system();
};

// Owns one descriptor and closes it.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    // Closes the descriptor now; false when close reports an error (data may be lost).
    bool reset(int fd = -1);

private:
    int fd_;
};

// Writes all of bytes; false (errno set) when the system stops taking them.
bool writeAll(const FileOps& ops, int fd, QByteArrayView bytes);

// The path with its symbolic links resolved, so that replacing it replaces the file a link
// names and the link stays, also when that file does not exist yet; the path as given when it
// cannot be resolved. A link is followed only where the kernel would follow it (as root too,
// fs.protected_symlinks applies); there the path stays, and opening it gives the kernel's error.
QByteArray resolvedPath(const QByteArray& path);

// Why a system call failed: the system's text for errno ("Is a directory") as the message and
// errno as the code.
tl::unexpected<Fault> systemFault(int code);
// A fault of reading a file that is not there.
inline bool missingFile(const Fault& fault)
{
    return fault.code == ENOENT;
}

// The whole content of a regular file. Refuses at once what is there but cannot be read as a
// regular file; a FIFO is never waited on. With maxBytes set, a larger file is refused
// (EFBIG) without reading it.
// Fails with the errno of the step that failed: ENOENT when there is no file, EISDIR for a
// folder, EINVAL for a FIFO, device or socket.
Expected<QByteArray> readWholeFile(const QByteArray& path, qint64 maxBytes = -1);
// The bytes, or an empty content when there is no file; other faults stay faults.
Expected<QByteArray> orEmptyWhenMissing(Expected<QByteArray> read);

// A replacement of one file. open() makes the temporary file; write() appends to it;
// commit() flushes it, renames it over the target and makes the rename durable. Until
// commit() succeeds the target is untouched; the destructor removes an uncommitted temporary.
// Each step returns false with errno set on failure.
class AtomicFile
{
public:
    // Who may read a new file: as the umask allows, or its owner only (0600), which the
    // temporary file is from the start, so a half-written one is never readable by others.
    enum class Access { Shared, Private };

    explicit AtomicFile(QByteArray target, FileOps ops = FileOps::system(),
                        Access access = Access::Shared);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Refuses a target that is no regular file (EISDIR for a folder, EINVAL for a FIFO,
    // device or socket), and (EACCES) one marked read-only, which the rename would otherwise
    // pass over, also for root. An existing target's mode and owner carry over.
    bool open();
    bool write(QByteArrayView bytes);
    bool commit();

    const QByteArray& target() const { return target_; }

private:
    QByteArray target_;
    FileOps ops_;
    Access access_;
    QByteArray tempName_;
    FileDescriptor fd_;
    bool created_ = false;
    bool committed_ = false;
};

// Appends bytes to the end of a regular file, creating it if needed, and flushes them to disk
// before returning. On failure (errno set) the file is cut back to its earlier length, so
// what was there before stays whole.
bool appendDurably(const QByteArray& path, QByteArrayView bytes,
                   const FileOps& ops = FileOps::system());

// Makes a new, empty file readable by its owner only (0600) at path and returns its open
// descriptor for writing, or -1 (errno set). The file is made under a temporary name and
// renamed over path, so an earlier file stays as it was when anything fails; a folder, FIFO,
// device or socket at path is refused (EISDIR, EINVAL) without being opened.
int createPrivateFile(const QByteArray& path);
