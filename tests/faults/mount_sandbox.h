// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <string>

// Puts the calling thread into a mount namespace of its own, with every mount private, once
// per process. Mounts made afterwards are seen by this thread only, never by the host. Only
// the thread that called it (the event thread here) may then use the mounts: file commands
// of the window run on that thread. False, with the reason, where it can not be done.
bool EnterPrivateMounts(std::string& why);

// A small tmpfs on a fresh folder, unmounted and removed again at destruction.
class TinyTmpfs
{
public:
    // sizeOption as tmpfs takes it, e.g. "16k".
    explicit TinyTmpfs(const char* sizeOption);
    ~TinyTmpfs();
    TinyTmpfs(const TinyTmpfs&) = delete;
    TinyTmpfs& operator=(const TinyTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

    bool makeReadOnly();
    // Writes a file that takes every free byte; false when the disk did not end up full.
    bool fillUp(const QString& name);
    // Names in the folder, sorted.
    QStringList entries() const;

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    std::string error_;
};

QByteArray ReadWholeFile(const QString& path);
void WriteWholeFile(const QString& path, const QByteArray& bytes);

// GTEST_SKIP unless the namespace can be made; under CI=true it must be.
#define REQUIRE_PRIVATE_MOUNTS()                                                                   \
    do {                                                                                           \
        std::string why_;                                                                          \
        if (!EnterPrivateMounts(why_)) {                                                           \
            if (qEnvironmentVariable("CI") == u"true")                                             \
                FAIL() << "cannot make a mount namespace: " << why_;                               \
            GTEST_SKIP() << "cannot make a mount namespace: " << why_;                             \
        }                                                                                          \
    } while (0)
