// SPDX-License-Identifier: GPL-3.0-or-later
#include "mount_sandbox.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

bool EnterPrivateMounts(std::string& why)
{
    static int state = 0; // 1 entered, -1 refused
    static std::string reason;
    if (state == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            reason = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
            state = -1;
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            // Without this our mounts could propagate to the host's namespace.
            reason = std::string("making / private: ") + std::strerror(errno);
            state = -1;
        } else {
            state = 1;
        }
    }
    why = reason;
    return state == 1;
}

TinyTmpfs::TinyTmpfs(const char* sizeOption)
{
    if (!dir_.isValid()) {
        error_ = "no temporary folder";
        return;
    }
    const QByteArray where = QFile::encodeName(dir_.path());
    const std::string options = std::string("size=") + sizeOption + ",mode=0755";
    if (::mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        error_ = std::string("mount tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

TinyTmpfs::~TinyTmpfs()
{
    if (mounted_)
        ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
}

bool TinyTmpfs::makeReadOnly()
{
    const QByteArray where = QFile::encodeName(dir_.path());
    if (::mount("tmpfs", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                nullptr) != 0) {
        error_ = std::string("remount read-only: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool TinyTmpfs::fillUp(const QString& name)
{
    const int fd = ::open(QFile::encodeName(file(name)).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    char block[512];
    std::memset(block, 'F', sizeof block);
    int last = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block, sizeof block);
        if (n <= 0) {
            last = errno;
            break;
        }
    }
    // Single bytes too, so not even a partial page is left.
    while (::write(fd, block, 1) == 1) {
    }
    ::close(fd);
    return last == ENOSPC;
}

QStringList TinyTmpfs::entries() const
{
    return QDir(dir_.path())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}
