#pragma once

// Writing files the one way the program does it: through an owned descriptor, every byte
// written (over interrupted and short writes), into a temporary file in the target's folder
// that is flushed to disk and then renamed over the target. A failure at any point leaves the
// earlier file as it was and removes only the temporary file the writer made. The receive
// spool is the one file that replaces nothing: it makes its own nameless scratch file
// (monitor_spool.cpp says why) and writes it through writeAll.

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
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
// cannot be resolved.
QByteArray resolvedPath(const QByteArray& path);

// The whole content of a regular file. exists is false when there is no file; returns false
// (errno set: EISDIR for a folder, EINVAL for a FIFO, device or socket) at once when something
// is there that cannot be read as a regular file; a FIFO is never waited on.
bool readWholeFile(const QByteArray& path, QByteArray& bytes, bool& exists);

// A replacement of one file. open() makes the temporary file; write() appends to it;
// commit() flushes it, renames it over the target and makes the rename durable. Until
// commit() succeeds the target is untouched; the destructor removes an uncommitted temporary.
// Each step returns false with errno set on failure.
class AtomicFile
{
public:
    explicit AtomicFile(QByteArray target, FileOps ops = FileOps::system());
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
