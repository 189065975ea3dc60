// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "common/sysutils.h"
#include "config/ini_log.h"
#include "support/test_helpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Readable failure messages for texts.
namespace
{

using testsupport::PrintTo;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The writer's fault message, or "<none>".
QString failureOf(const Expected<void>& written)
{
    return written ? u"<none>"_s : written.error().message;
}

class IniWrite : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    QString path = dir.filePath(u"IPSet.Ini"_s);
};

TEST_F(IniWrite, CreatesTheFileInCodePage936)
{
    ASSERT_TRUE(
        iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"  服务器IP=1.2.3.4 网络连接=本地连接"_s));
    const QByteArray bytes = readAll(path);
    EXPECT_EQ(bytes,
              "[UpdateLog]\r\nLog=  " + toCp936(u"服务器IP=1.2.3.4 网络连接=本地连接"_s) + "\r\n");
    EXPECT_EQ(fromCp936(bytes), u"[UpdateLog]\r\nLog=  服务器IP=1.2.3.4 网络连接=本地连接\r\n"_s);
    EXPECT_EQ(filesIn(dir.path()), QStringList{u"IPSet.Ini"_s}) << "no temporary file left";
}

TEST_F(IniWrite, KeepsEveryOtherByteAndTheFileMode)
{
    const QByteArray before = "; \xB1\xB8\xD7\xA2\r\n[Site]\r\nName=A\r\n\r\n[updatelog]\r\n"
                              "LOG=old\r\nkeep=1\r\n";
    writeAll(path, before);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);

    ASSERT_TRUE(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"new"_s));

    EXPECT_EQ(readAll(path), "; \xB1\xB8\xD7\xA2\r\n[Site]\r\nName=A\r\n\r\n[updatelog]\r\n"
                             "LOG=new\r\nkeep=1\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(IniWrite, ALogMarkedReadOnlyIsNotReplaced)
{
    const QByteArray before = "[UpdateLog]\r\nLog=kept\r\n";
    writeAll(path, before);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);

    EXPECT_EQ(failureOf(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"new"_s)),
              u"Unable to write to "_s + path);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(filesIn(dir.path()), QStringList{u"IPSet.Ini"_s}) << "no temporary file is left";
}

TEST_F(IniWrite, ReplacesTheFileALinkPointsToAndKeepsTheLink)
{
    const QString real = dir.filePath(u"real.ini"_s);
    writeAll(real, "[UpdateLog]\nLog=1\n");
    ASSERT_TRUE(QFile::link(real, path));
    ASSERT_TRUE(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"2"_s));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readAll(real), "[UpdateLog]\nLog=2\n");
}

// Root may write anywhere, so these failures are ones that permissions cannot explain away.
struct UnwritableCase {
    const char* name;
    std::function<QString(const QString& folder)> prepare; // answers the log path to write
};

class IniWriteUnwritable : public ::testing::TestWithParam<UnwritableCase>
{};

TEST_P(IniWriteUnwritable, RaisesUnableToWriteWithTheFullPath)
{
    QTemporaryDir dir;
    const QString path = GetParam().prepare(dir.path());
    EXPECT_EQ(failureOf(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"v"_s)),
              u"Unable to write to "_s + path);
}

const UnwritableCase unwritableCases[] = {
    {"FolderIsAFile",
     [](const QString& folder) -> QString {
         QFile f(folder + u"/notafolder"_s);
         EXPECT_TRUE(f.open(QIODevice::WriteOnly));
         return folder + u"/notafolder/IPSet.Ini"_s;
     }},
    {"FolderMissing",
     [](const QString& folder) -> QString { return folder + u"/gone/IPSet.Ini"_s; }},
    {"LogIsAFolder",
     [](const QString& folder) -> QString {
         EXPECT_TRUE(QDir(folder).mkdir(u"IPSet.Ini"_s));
         return folder + u"/IPSet.Ini"_s;
     }},
};

INSTANTIATE_TEST_SUITE_P(Paths, IniWriteUnwritable, ::testing::ValuesIn(unwritableCases),
                         CaseName());

// A failure at any step before the rename leaves the old log whole and no temporary file.
struct FailingStepCase {
    const char* name;
    std::function<void(FileOps&)> breakStep;
};

class IniWriteFailingStep : public ::testing::TestWithParam<FailingStepCase>
{};

TEST_P(IniWriteFailingStep, LeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"IPSet.Ini"_s);
    const QByteArray before = "[A]\r\nx=1\r\n[UpdateLog]\r\nLog=old\r\n" + QByteArray(4096, ';');
    writeAll(path, before);

    FileOps ops = FileOps::system();
    GetParam().breakStep(ops);
    EXPECT_EQ(failureOf(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"a much longer new value"_s,
                                       ops)),
              u"Unable to write to "_s + path);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(filesIn(dir.path()), QStringList{u"IPSet.Ini"_s});
}

const FailingStepCase failingStepCases[] = {
    {"DiskFullHalfWay",
     [](FileOps& ops) {
         auto written = std::make_shared<size_t>(0);
         ops.write = [written](int fd, const void* data, size_t size) -> ssize_t {
             if (*written > 0) {
                 errno = ENOSPC;
                 return -1;
             }
             const ssize_t n = ::write(fd, data, size / 2);
             *written += static_cast<size_t>(n);
             return n;
         };
     }},
    {"WriteWritesNothing",
     [](FileOps& ops) { ops.write = [](int, const void*, size_t) -> ssize_t { return 0; }; }},
    {"FlushFails",
     [](FileOps& ops) {
         ops.fsync = [](int) {
             errno = EIO;
             return -1;
         };
     }},
    {"RenameFails",
     [](FileOps& ops) {
         ops.rename = [](const char*, const char*) {
             errno = EXDEV;
             return -1;
         };
     }},
};

INSTANTIATE_TEST_SUITE_P(Steps, IniWriteFailingStep, ::testing::ValuesIn(failingStepCases),
                         CaseName());

TEST(IniWriteShortWrites, AreCarriedOnUntilEverythingIsWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"IPSet.Ini"_s);
    FileOps ops = FileOps::system();
    ops.write = [](int fd, const void* data, size_t size) {
        return ::write(fd, data, size < 3 ? size : 3);
    };
    ASSERT_TRUE(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"0123456789"_s, ops));
    EXPECT_EQ(readAll(path), "[UpdateLog]\r\nLog=0123456789\r\n");
}

// A read-only file system refuses even root. The mount is made in a child process with a
// mount namespace of its own, so nothing outside the test sees it.
TEST(IniWriteReadOnlyMount, RaisesUnableToWriteAndKeepsTheOldLog)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QString path = dir.filePath(u"IPSet.Ini"_s);
    enum : int { Passed = 0, NoException = 1, WrongText = 2, Changed = 3, NoNamespace = 4 };

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("ro", folder.constData(), "tmpfs", 0, nullptr) != 0)
            ::_exit(NoNamespace);
        const QByteArray before = "[UpdateLog]\r\nLog=old\r\n";
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(before) != before.size())
                ::_exit(NoNamespace);
        }
        if (::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            ::_exit(NoNamespace);
        const QString message = failureOf(iniWriteString(path, u"UpdateLog"_s, u"Log"_s, u"new"_s));
        if (message == u"<none>"_s)
            ::_exit(NoException);
        if (message != u"Unable to write to "_s + path)
            ::_exit(WrongText);
        ::_exit(readAll(path) == before ? Passed : Changed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == NoNamespace)
        GTEST_SKIP() << "cannot make a mount namespace here (needs root)";
    EXPECT_EQ(WEXITSTATUS(status), Passed)
        << "1: no failure raised, 2: wrong message, 3: old log changed";
}

} // namespace
