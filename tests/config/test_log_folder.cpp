// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/log_folder.h"
#include "support/test_helpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

struct FolderCase {
    const char* name;
    QString appDir;
    bool refused;
    QString dataHome;
    QString home;
    QString expected;
};

class UpdateLogFolderChoice : public testing::TestWithParam<FolderCase>
{};

TEST_P(UpdateLogFolderChoice, PicksTheProgramsFolderOrTheUsersDataFolder)
{
    const FolderCase& c = GetParam();
    QStringList asked;
    const QString folder = updateLogFolder(c.appDir, c.dataHome, c.home, [&](const QString& f) {
        asked << f;
        return c.refused;
    });
    EXPECT_EQ(folder.toStdString(), c.expected.toStdString());
    EXPECT_TRUE(asked.isEmpty() || asked == QStringList{c.appDir});
}

INSTANTIATE_TEST_SUITE_P(
    , UpdateLogFolderChoice,
    testing::Values(FolderCase{"BesideAWritableProgram", u"/home/op/tool/"_s, false, u"/data"_s,
                               u"/home/op"_s, u"/home/op/tool/"_s},
                    // Root may write into all of these; the log still goes to the data folder.
                    FolderCase{"NeverInUsrBin", u"/usr/bin/"_s, false, u"/data"_s, u"/home/op"_s,
                               u"/data/terminal-config-tool/"_s},
                    FolderCase{"NeverInUsrLocal", u"/usr/local/bin/"_s, false, u"/data"_s,
                               u"/home/op"_s, u"/data/terminal-config-tool/"_s},
                    FolderCase{"NeverInOpt", u"/opt/tool/"_s, false, u"/data"_s, u"/home/op"_s,
                               u"/data/terminal-config-tool/"_s},
                    FolderCase{"NeverInUsrThroughDots", u"/srv/../usr/bin/"_s, false, u"/data"_s,
                               u"/home/op"_s, u"/data/terminal-config-tool/"_s},
                    FolderCase{"APrefixOfTheNameIsNotTheFolder", u"/usrdata/tool/"_s, false,
                               u"/data"_s, u"/home/op"_s, u"/usrdata/tool/"_s},
                    FolderCase{"InDataHome", u"/home/op/tool/"_s, true, u"/data"_s, u"/home/op"_s,
                               u"/data/terminal-config-tool/"_s},
                    FolderCase{"DataHomeWithSlash", u"/home/op/tool/"_s, true, u"/data//"_s,
                               u"/home/op"_s, u"/data/terminal-config-tool/"_s},
                    FolderCase{"DataHomeUnset", u"/home/op/tool/"_s, true, QString(), u"/home/op"_s,
                               u"/home/op/.local/share/terminal-config-tool/"_s},
                    FolderCase{"DataHomeRelativeIsIgnored", u"/home/op/tool/"_s, true, u"data"_s,
                               u"/home/op"_s, u"/home/op/.local/share/terminal-config-tool/"_s},
                    FolderCase{"DataHomeIsTheRoot", u"/home/op/tool/"_s, true, u"/"_s,
                               u"/home/op"_s, u"/terminal-config-tool/"_s}),
    CaseName());

// Only a refusal moves the log: a folder that is missing or is a file stays the program's, so
// the writer names the path the operator expects in its failure. A refusing folder is tried
// by the package test, on a read-only mount.
TEST(FolderRefusal, OnlyPermissionOrReadOnlyCounts)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(u"file"_s);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(folderRefusesWrites(dir.path() + u'/'));
    EXPECT_FALSE(folderRefusesWrites(dir.filePath(u"missing/"_s)));
    EXPECT_FALSE(folderRefusesWrites(file + u'/'));
}

} // namespace
