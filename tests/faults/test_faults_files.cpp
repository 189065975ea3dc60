// SPDX-License-Identifier: GPL-3.0-or-later
// The export and the update log where something unusual stands at the chosen path: a folder,
// a FIFO or a device is refused at once and left as it is; a link is written through and
// stays a link, also when the file it names is not there yet.
#include "config/ini_log.h"
#include "console/export_file.h"

#include "support/test_helpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

enum class Kind {
    Folder,
    Fifo,
    Device,
    LinkToFile,
    DanglingLink,
    LinkIntoNoFolder,
    OthersLinkInStickyFolder, // another user's link in a folder like /tmp
};
enum class Writer { Export, UpdateLog };

struct FileCase {
    const char* name;
    Writer writer;
    Kind kind;
    const char* error; // the box's text after the path; nullptr: the write succeeds
};

class OddTarget : public ::testing::TestWithParam<FileCase>
{
protected:
    QByteArray local(const QString& p) { return QFile::encodeName(p); }

    // Makes the case's thing at path; false when this machine cannot (a device needs root).
    bool make(Kind kind, const QString& path)
    {
        switch (kind) {
        case Kind::Folder:
            return QDir().mkdir(path);
        case Kind::Fifo:
            return ::mkfifo(local(path).constData(), 0666) == 0;
        case Kind::Device:
            return ::mknod(local(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
        case Kind::LinkToFile: {
            QFile old(dir.filePath(u"named"_s));
            return old.open(QIODevice::WriteOnly) && old.write("old") == 3 &&
                   ::symlink("named", local(path).constData()) == 0;
        }
        case Kind::DanglingLink:
            return ::symlink("named", local(path).constData()) == 0;
        case Kind::LinkIntoNoFolder:
            return ::symlink("missing/named", local(path).constData()) == 0;
        case Kind::OthersLinkInStickyFolder: {
            // The kernel refuses to follow it unless the follower owns it: root too.
            QFile protectedLinks(u"/proc/sys/fs/protected_symlinks"_s);
            if (::geteuid() != 0 || !protectedLinks.open(QIODevice::ReadOnly) ||
                protectedLinks.readAll().trimmed() != "1") {
                errno = ENOTSUP;
                return false;
            }
            QFile old(dir.filePath(u"named"_s));
            return old.open(QIODevice::WriteOnly) && old.write("old") == 3 &&
                   ::chmod(local(dir.path()).constData(), 01777) == 0 &&
                   ::symlink("named", local(path).constData()) == 0 &&
                   ::lchown(local(path).constData(), 65534, 65534) == 0;
        }
        }
        return false;
    }

    // Runs the writer; a FIFO that blocks it is opened from here after 2 s, so a wait fails
    // the test instead of hanging it.
    QString write(Writer writer, const QString& path, const QString& fifo)
    {
        std::atomic<bool> finished{false};
        std::thread rescue([&] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!finished.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (finished.load() || fifo.isEmpty())
                return;
            blocked = true;
            const int fd = ::open(local(fifo).constData(), O_RDWR | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
        QString error;
        if (writer == Writer::Export) {
            if (const Expected<void> written = writeExportFile(
                    path, [](const ExportTextTake& take) { return take(u"1,2,\n"_s); });
                !written)
                error = written.error().message;
        } else if (const Expected<void> written =
                       iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"v"_s);
                   !written) {
            error = written.error().message;
        }
        finished.store(true);
        rescue.join();
        return error;
    }

    QTemporaryDir dir;
    std::atomic<bool> blocked{false};
};

TEST_P(OddTarget, IsRefusedAtOnceOrWrittenThroughTheLink)
{
    const FileCase& c = GetParam();
    const QString path = dir.filePath(c.writer == Writer::Export ? u"out.txt"_s : u"IPSet.Ini"_s);
    if (!make(c.kind, path))
        GTEST_SKIP() << "cannot make it here: " << std::strerror(errno);
    struct stat before {};
    ASSERT_EQ(::lstat(local(path).constData(), &before), 0);

    const QString error = write(c.writer, path, c.kind == Kind::Fifo ? path : QString());

    EXPECT_FALSE(blocked.load()) << "the writer waited on a FIFO";
    if (c.kind == Kind::OthersLinkInStickyFolder) {
        QFile named(dir.filePath(u"named"_s));
        ASSERT_TRUE(named.open(QIODevice::ReadOnly));
        EXPECT_EQ(named.readAll(), "old") << "written through a link the kernel refuses";
    }
    if (c.error == nullptr) {
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        QByteArray wanted = "1,2,\r\n";
        if (c.writer == Writer::UpdateLog)
            wanted = (c.kind == Kind::LinkToFile ? "old\r\n" : "") +
                     QByteArray("[UpdateLog]\r\nLog=v\r\n");
        QFile named(dir.filePath(u"named"_s));
        ASSERT_TRUE(named.open(QIODevice::ReadOnly));
        EXPECT_EQ(named.readAll(), wanted);
    } else if (c.writer == Writer::Export) {
        EXPECT_EQ(error, QString(u"Cannot create file \""_s + path + u"\". "_s +
                                 QString::fromLatin1(c.error)));
    } else {
        EXPECT_EQ(error, QString(u"Unable to write to "_s + path));
    }
    // What stood there is still there, as it was; nothing else is left behind.
    struct stat after {};
    ASSERT_EQ(::lstat(local(path).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    EXPECT_EQ(after.st_ino, before.st_ino);
    QStringList expected{QFileInfo(path).fileName()};
    if (c.kind == Kind::LinkToFile || c.kind == Kind::OthersLinkInStickyFolder ||
        (c.kind == Kind::DanglingLink && c.error == nullptr))
        expected << u"named"_s;
    expected.sort();
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              expected);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OddTarget,
    ::testing::Values(
        FileCase{"exportFolder", Writer::Export, Kind::Folder, "Is a directory"},
        FileCase{"exportFifo", Writer::Export, Kind::Fifo, "Invalid argument"},
        FileCase{"exportDevice", Writer::Export, Kind::Device, "Invalid argument"},
        FileCase{"exportLinkToFile", Writer::Export, Kind::LinkToFile, nullptr},
        FileCase{"exportDanglingLink", Writer::Export, Kind::DanglingLink, nullptr},
        FileCase{"exportLinkIntoNoFolder", Writer::Export, Kind::LinkIntoNoFolder,
                 "No such file or directory"},
        FileCase{"logFolder", Writer::UpdateLog, Kind::Folder, ""},
        FileCase{"logFifo", Writer::UpdateLog, Kind::Fifo, ""},
        FileCase{"logDevice", Writer::UpdateLog, Kind::Device, ""},
        FileCase{"logLinkToFile", Writer::UpdateLog, Kind::LinkToFile, nullptr},
        FileCase{"logDanglingLink", Writer::UpdateLog, Kind::DanglingLink, nullptr},
        FileCase{"logLinkIntoNoFolder", Writer::UpdateLog, Kind::LinkIntoNoFolder, ""},
        FileCase{"exportOthersLink", Writer::Export, Kind::OthersLinkInStickyFolder,
                 "Permission denied"},
        FileCase{"logOthersLink", Writer::UpdateLog, Kind::OthersLinkInStickyFolder, ""}),
    CaseName());

} // namespace
