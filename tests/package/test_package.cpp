// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package, built from this build folder with cpack, looked at with dpkg-deb and the
// desktop and AppStream validators, and tried unpacked into a temporary root: never installed.
// Runs inside the lab namespace, where the server update's site address is a local socket.

#include "common/sysutils.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

const QString Deb = u"terminal-config-tool_1.0.1_amd64.deb"_s;
const QString AppId = u"cn.shengyu.terminal_config_tool"_s;
const QString LogText = u"[UpdateLog]\r\nLog=  服务器IP=192.168.1.248  子网掩码=255.255.255.0  "
                        u"默认网关=192.168.1.1 网络连接=本地连接\r\n"_s;

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
    std::string both() const { return QString(out + err).toStdString(); }
};

Result run(const QString& program, const QStringList& args,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
           const QString& folder = QString())
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.start(program, args);
    Result r;
    if (!p.waitForFinished(180000)) {
        p.kill();
        p.waitForFinished();
        r.err = program + u" did not finish: "_s + p.errorString();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err += QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Width and height from a PNG's header.
QSize pngSize(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG"))
        return {};
    auto be32 = [&](int at) {
        return (uchar(head[at]) << 24) | (uchar(head[at + 1]) << 16) | (uchar(head[at + 2]) << 8) |
               uchar(head[at + 3]);
    };
    return {be32(16), be32(20)};
}

class Package : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        work_ = new QTemporaryDir;
        // As scripts/package.sh runs it: the tree gives the time stamps, not the caller.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"SOURCE_DATE_EPOCH"_s);
        const Result cpack =
            run(u"cpack"_s, {u"-G"_s, u"DEB"_s, u"-B"_s, work_->filePath(u"out"_s)}, env,
                QStringLiteral(BUILD_DIR));
        if (cpack.exitCode != 0) {
            failure_ = new QString(u"cpack failed: "_s + cpack.out + cpack.err);
            return;
        }
        const Result unpack = run(u"dpkg-deb"_s, {u"-x"_s, deb(), root()});
        if (unpack.exitCode != 0)
            failure_ = new QString(u"dpkg-deb -x failed: "_s + unpack.err);
    }
    static void TearDownTestSuite()
    {
        delete work_;
        delete failure_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(work_->isValid());
        ASSERT_EQ(failure_, nullptr) << failure_->toStdString();
    }

    static QString deb() { return work_->filePath(u"out/"_s + Deb); }
    static QString root() { return work_->filePath(u"root"_s); }
    static QString program() { return root() + u"/usr/bin/terminal-config-tool"_s; }
    static QString work(const QString& name) { return work_->filePath(name); }

    static QTemporaryDir* work_;
    static QString* failure_;
};

QTemporaryDir* Package::work_ = nullptr;
QString* Package::failure_ = nullptr;

TEST_F(Package, ControlFieldsNameThePackageAndItsDependencies)
{
    const Result info = run(u"dpkg-deb"_s, {u"-I"_s, deb(), u"control"_s});
    ASSERT_EQ(info.exitCode, 0) << info.err.toStdString();
    QMap<QString, QString> fields;
    for (const QString& line : info.out.split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0 && !line.startsWith(u' '))
            fields[line.left(colon)] = line.mid(colon + 1).trimmed();
    }
    EXPECT_EQ(fields[u"Package"_s], u"terminal-config-tool"_s);
    EXPECT_EQ(fields[u"Version"_s], u"1.0.1"_s);
    EXPECT_EQ(fields[u"Architecture"_s], u"amd64"_s);
    EXPECT_EQ(fields[u"Section"_s], u"net"_s);
    EXPECT_EQ(fields[u"Priority"_s], u"optional"_s);
    EXPECT_TRUE(fields[u"Maintainer"_s].contains(u'@')) << fields[u"Maintainer"_s].toStdString();
    EXPECT_EQ(fields[u"Description"_s],
              u"configure the terminal devices of an IP public-address system"_s);
    EXPECT_TRUE(info.out.contains(u"\n (broadcast audio) system"_s)) << "long description";
    EXPECT_EQ(fields[u"Suggests"_s], u"wireshark | tshark"_s);
    EXPECT_FALSE(info.out.contains(u"Homepage"_s)) << "no home page exists yet";
    // Named by hand (fonts, translations) and found by shlibdeps (the libraries).
    const QStringList depends = fields[u"Depends"_s].split(u", "_s);
    for (const QString& wanted : {u"fonts-noto-cjk"_s, u"qt6-translations-l10n"_s,
                                  u"libqt6widgets6"_s, u"libqt6core6"_s, u"libc6"_s}) {
        EXPECT_TRUE(std::any_of(depends.begin(), depends.end(),
                                [&](const QString& d) { return d.section(u' ', 0, 0) == wanted; }))
            << wanted.toStdString() << " in " << fields[u"Depends"_s].toStdString();
    }
}

TEST_F(Package, HoldsTheProgramItsEntryIconsAndDocuments)
{
    const Result list = run(u"dpkg-deb"_s, {u"-c"_s, deb()});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    QStringList files;
    for (const QString& line : list.out.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'-'))
            files << line.section(u' ', 0, 1, QString::SectionSkipEmpty) + u' ' +
                         line.section(u' ', -1);
    }
    QStringList expected = {
        u"-rwxr-xr-x root/root ./usr/bin/terminal-config-tool"_s,
        u"-rw-r--r-- root/root ./usr/share/applications/"_s + AppId + u".desktop"_s,
        u"-rw-r--r-- root/root ./usr/share/metainfo/"_s + AppId + u".metainfo.xml"_s,
        u"-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/"_s + AppId + u".svg"_s,
        u"-rw-r--r-- root/root ./usr/share/man/man1/terminal-config-tool.1.gz"_s,
        u"-rw-r--r-- root/root ./usr/share/doc/terminal-config-tool/copyright"_s,
        u"-rw-r--r-- root/root ./usr/share/doc/terminal-config-tool/changelog.gz"_s,
        u"-rw-r--r-- root/root ./usr/lib/x86_64-linux-gnu/wireshark/plugins/pa_terminal.lua"_s,
        u"-rw-r--r-- root/root ./usr/lib/sysctl.d/60-terminal-config-tool.conf"_s,
    };
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        expected << u"-rw-r--r-- root/root ./usr/share/icons/hicolor/%1x%1/apps/%2.png"_s.arg(size)
                        .arg(AppId);
        const QString png =
            root() + u"/usr/share/icons/hicolor/%1x%1/apps/%2.png"_s.arg(size).arg(AppId);
        EXPECT_EQ(pngSize(png), QSize(size, size)) << png.toStdString();
    }
    files.sort();
    expected.sort();
    EXPECT_EQ(files.join(u'\n').toStdString(), expected.join(u'\n').toStdString());
}

TEST_F(Package, DesktopEntryAndMetadataValidate)
{
    const QString desktop = root() + u"/usr/share/applications/"_s + AppId + u".desktop"_s;
    // Hints too: one main category, as desktop menus want.
    const Result entry = run(u"desktop-file-validate"_s, {desktop});
    EXPECT_EQ(entry.exitCode, 0);
    EXPECT_EQ(entry.both(), "");
    QFile file(desktop);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& wanted :
         QStringList{u"Name[zh_CN]=终端设备配置工具软件"_s, u"Exec=terminal-config-tool"_s,
                     u"Icon="_s + AppId, u"Categories=Network;"_s,
                     u"Comment[zh_CN]=配置IP网络广播系统的终端设备"_s}) {
        EXPECT_TRUE(lines.contains(wanted)) << wanted.toStdString();
    }

    const Result meta =
        run(u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s,
                                root() + u"/usr/share/metainfo/"_s + AppId + u".metainfo.xml"_s});
    EXPECT_EQ(meta.exitCode, 0) << meta.both();
}

// The one tag lintian still reports is informational; dist/linux/packaging.cmake says why.
// The program is built with Debian's hardening flags: no fortify or stack protector tag.
TEST_F(Package, LintianPedanticFindsNoErrorWarningOrPedanticTag)
{
    const Result lint = run(u"lintian"_s, {u"--pedantic"_s, u"--display-info"_s, u"--fail-on"_s,
                                           u"error,warning,pedantic"_s, deb()});
    EXPECT_EQ(lint.exitCode, 0) << lint.both();
    EXPECT_FALSE(lint.out.contains(u"E: "_s) || lint.out.contains(u"W: "_s) ||
                 lint.out.contains(u"P: "_s))
        << lint.both();
    for (const QString& tag :
         {u"hardening-no-fortify-functions"_s, u"hardening-no-stackprotector"_s,
          u"hardening-no-relro"_s, u"hardening-no-bindnow"_s})
        EXPECT_FALSE(lint.out.contains(tag)) << lint.both();
}

// A package made again from the same tree, a little later, is the same bytes.
TEST_F(Package, TwoBuildsGiveTheSameBytes)
{
    QThread::msleep(1100); // a clock in the archive would now differ
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"SOURCE_DATE_EPOCH"_s);
    const Result again = run(u"cpack"_s, {u"-G"_s, u"DEB"_s, u"-B"_s, work(u"again"_s)}, env,
                             QStringLiteral(BUILD_DIR));
    ASSERT_EQ(again.exitCode, 0) << again.both();
    QFile first(deb());
    QFile second(work(u"again/"_s + Deb));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    const QByteArray a = first.readAll();
    EXPECT_FALSE(a.isEmpty());
    EXPECT_TRUE(a == second.readAll()) << "the two packages differ";
}

struct SysctlCase {
    const char* name;
    const char* running;  // net.core.rmem_max before
    const char* admin;    // /etc/sysctl.d/60-terminal-config-tool.conf; null for none
    bool systemdSysctl;   // systemd-sysctl present, else procps' sysctl
    const char* expected; // net.core.rmem_max after
};

class Postinst : public Package, public testing::WithParamInterface<SysctlCase>
{};

// The maintainer script runs in a mount namespace of its own, in which the receive buffer
// limit is a file of the test's and the sysctl.d folders hold only the package's file and the
// case's: the machine's own settings are never read or changed.
TEST_P(Postinst, AppliesTheFileSysctlWouldPickWithoutLoweringTheLimit)
{
    const SysctlCase& c = GetParam();
    const QString tag = QString::fromLatin1(c.name);
    const QString control = work(u"control"_s);
    if (!QFile::exists(control + u"/postinst"_s)) {
        const Result extract = run(u"dpkg-deb"_s, {u"-e"_s, deb(), control});
        ASSERT_EQ(extract.exitCode, 0) << extract.both();
    }
    const QString w = work(u"sysctl-"_s + tag);
    for (const char* folder : {"etc", "usr", "empty"})
        ASSERT_TRUE(QDir().mkpath(w + u'/' + QLatin1String(folder)));
    ASSERT_TRUE(QFile::copy(root() + u"/usr/lib/sysctl.d/60-terminal-config-tool.conf"_s,
                            w + u"/usr/60-terminal-config-tool.conf"_s));
    const QString admin = w + u"/etc/60-terminal-config-tool.conf"_s;
    if (c.admin && QLatin1String(c.admin) == QLatin1String("/dev/null")) {
        ASSERT_TRUE(QFile::link(u"/dev/null"_s, admin));
    } else if (c.admin) {
        QFile f(admin);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.admin);
    }
    {
        QFile f(w + u"/rmem_max"_s);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(c.running) + '\n');
    }
    const QString script = uR"(set -e
mount --make-rprivate /
mount --bind "$1/rmem_max" /proc/sys/net/core/rmem_max
mount --bind "$1/etc" /etc/sysctl.d
mount --bind "$1/usr" /usr/lib/sysctl.d
for d in /run/sysctl.d /usr/local/lib/sysctl.d; do [ ! -d $d ] || mount --bind "$1/empty" $d; done
if [ "$3" = no ]; then
  for t in /usr/lib/systemd/systemd-sysctl /lib/systemd/systemd-sysctl; do
    [ ! -e $t ] || mount --bind /dev/null $t
  done
fi
exec "$2" configure)"_s;
    const Result r =
        run(u"unshare"_s, {u"-m"_s, u"sh"_s, u"-c"_s, script, u"sh"_s, w, control + u"/postinst"_s,
                           c.systemdSysctl ? u"yes"_s : u"no"_s});
    EXPECT_EQ(r.exitCode, 0) << r.both();
    EXPECT_EQ(r.both(), "") << "the script says nothing";
    QFile after(w + u"/rmem_max"_s);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll().trimmed().toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    , Postinst,
    testing::Values(
        SysctlCase{"Stock", "212992", nullptr, true, "4194304"},
        SysctlCase{"StockWithoutSystemd", "212992", nullptr, false, "4194304"},
        SysctlCase{"AdminRaises", "212992", "net.core.rmem_max = 8388608\n", true, "8388608"},
        SysctlCase{"AdminKeepsLess", "212992", "net.core.rmem_max=1048576\n", true, "1048576"},
        SysctlCase{"AdminKeepsLessWithoutSystemd", "212992", "net.core.rmem_max = 1048576\n", false,
                   "1048576"},
        SysctlCase{"HigherStays", "9999999", nullptr, true, "9999999"},
        SysctlCase{"AdminMasks", "212992", "/dev/null", true, "212992"},
        SysctlCase{"AdminMalformed", "212992", "net.core.rmem_max = lots\n", true, "212992"},
        SysctlCase{"AdminHuge", "212992", "net.core.rmem_max = 99999999999999999999\n", false,
                   "212992"}),
    CaseName());

// The manual page names every option --help lists, the exit status, each file the program
// reads or writes, where the password comes from, and where to read on.
TEST_F(Package, ManualPageCoversOptionsExitStatusAndFiles)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"MANWIDTH"_s, u"200"_s); // no word is broken over a line
    env.insert(u"MAN_KEEP_FORMATTING"_s, QString());
    const Result page =
        run(u"man"_s, {u"-l"_s, root() + u"/usr/share/man/man1/terminal-config-tool.1.gz"_s}, env);
    ASSERT_EQ(page.exitCode, 0) << page.both();
    QString text = page.out;
    text.replace(QChar(0x2010), u'-'); // groff's hyphen
    text.replace(QChar(0x2212), u'-'); // and minus sign

    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    const Result help = run(program(), {u"--help"_s}, bare);
    ASSERT_EQ(help.exitCode, 0) << help.both();
    QStringList options;
    static const QRegularExpression option(u"(^|[ ,])(--?[a-z][a-z-]*)"_s);
    for (const QString& line : help.out.split(u'\n')) {
        if (!line.trimmed().startsWith(u'-'))
            continue;
        for (auto m = option.globalMatch(line); m.hasNext();)
            options << m.next().captured(2);
    }
    ASSERT_TRUE(options.contains(u"--check-plan"_s)) << help.out.toStdString();
    const QString section = text.section(u"\nOPTIONS\n"_s, 1).section(u"\nEXIT STATUS\n"_s, 0, 0);
    for (const QString& o : options)
        EXPECT_TRUE(section.contains(o)) << o.toStdString() << " in OPTIONS";

    for (const QString& wanted :
         {u"\nEXIT STATUS\n"_s, u".result.csv"_s, u"terminal-config-tool/IPSet.Ini"_s,
          u"~/.cache/terminal-config-tool/"_s, u".pcapng"_s,
          u"/usr/lib/sysctl.d/60-terminal-config-tool.conf"_s,
          u"/etc/sysctl.d/60-terminal-config-tool.conf"_s,
          u"/usr/lib/x86_64-linux-gnu/wireshark/plugins/pa_terminal.lua"_s,
          u"gives it to its installers"_s, u"tshark(1)"_s, u"sysctl.d(5)"_s})
        EXPECT_TRUE(text.contains(wanted)) << wanted.toStdString() << "\n" << text.toStdString();
    const QString status = text.section(u"\nEXIT STATUS\n"_s, 1).section(u"\nFILES\n"_s, 0, 0);
    for (const QString& code : {u"0"_s, u"1"_s, u"2"_s})
        EXPECT_TRUE(status.contains(
            QRegularExpression(u"^ +"_s + code + u" "_s, QRegularExpression::MultilineOption)))
            << "exit status " << code.toStdString();
}

// A window can not open here: no display, and the X11 platform asked for.
TEST_F(Package, VersionAndHelpNeedNoDisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);

    const Result version = run(program(), {u"--version"_s}, env);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out.toStdString(), "terminal-config-tool 1.0.1\n");
    const Result help = run(program(), {u"-platform"_s, u"offscreen"_s, u"--help"_s}, env);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(u"用法：terminal-config-tool [选项]\n"_s))
        << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(u"-v, --version"_s)) << help.out.toStdString();
}

struct LogCase {
    const char* name;
    bool readOnlyUsr;    // as installed: the program's folder takes no new files
    bool dataHomeIsFile; // $XDG_DATA_HOME can hold no folder
    const char* logIn;   // "data", "program" or nothing
};

class UnpackedProgram : public Package, public testing::WithParamInterface<LogCase>
{};

TEST_P(UnpackedProgram, ShowsItsWindowAndLogsTheServerUpdate)
{
    const LogCase& c = GetParam();
    const QString tag = QString::fromLatin1(c.name);
    const QString dataHome = work(tag + u"-data"_s);
    if (c.dataHomeIsFile) {
        QFile f(dataHome);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    } else {
        ASSERT_TRUE(QDir().mkpath(dataHome));
    }
    const QString besideProgram = root() + u"/usr/bin/IPSet.Ini"_s;
    QFile::remove(besideProgram);
    UdpProbe server("192.168.1.248", 7550);

    QProcessEnvironment env;
    env.insert(u"PATH"_s, qEnvironmentVariable("PATH"));
    env.insert(u"HOME"_s, work(u"home"_s));
    env.insert(u"XDG_DATA_HOME"_s, dataHome);
    env.insert(u"LANG"_s, u"C"_s); // Qt's texts are Chinese whatever the locale
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"DRIVER"_s, QStringLiteral(DRIVER));
    // The driver goes into the program only, not into the shell or mount on the way.
    QString script = u"exec env LD_PRELOAD=\"$DRIVER\" \"$@\""_s;
    QStringList args = {u"-c"_s, script, u"sh"_s, program()};
    QString shell = u"sh"_s;
    if (c.readOnlyUsr) {
        script = u"mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && "_s + script;
        args = {u"-m"_s, u"sh"_s, u"-c"_s, script, root() + u"/usr"_s, program()};
        shell = u"unshare"_s;
    }
    const Result r = run(shell, args, env);
    ASSERT_EQ(r.exitCode, 0) << r.both();

    const QString dataLog = dataHome + u"/terminal-config-tool/IPSet.Ini"_s;
    QStringList expected = {
        u"window: IP网络广播系统终端设备IP地址配置工具软件 V1.0.1 maximized"_s,
        u"icon: 16 22 24 32 48 64 128 256"_s,
        u"menu: 撤消(&U), 重做(&R), 剪切(&T), 复制(&C), 粘贴(&P), 删除, 全选"_s,
        u"box: 信息提示： | 确实需要立即更新服务器IP吗？请谨慎使用该功能！"_s,
        u"box: 信息提示： | 请再次确认，确实需要立即更新服务器IP吗？ IP=192.168.1.248 "
        u"子网掩码=255.255.255.0 默认网关=192.168.1.1"_s,
        u"box: 信息提示： | 更新服务器地址完成，请记住当前修改后的服务器IP，并且等候1分钟，然后关闭"
        u"服务器主机重启系统，同时也重新启动当前客户端软件！\nIP=192.168.1.248 "
        u"子网掩码=255.255.255.0 默认网关=192.168.1.1"_s,
    };
    if (c.dataHomeIsFile)
        expected << u"box: 终端设备配置工具软件 | Unable to write to "_s + dataLog + u"."_s;
    expected << u"update: returned"_s;
    EXPECT_EQ(r.out.trimmed().toStdString(), expected.join(u'\n').toStdString());

    const auto datagram = server.receive(2000);
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->data.toHex(' ').toUpper(),
              "D7 C0 A8 01 F8 FF FF FF 00 C0 A8 01 01 64 64 64 64 64");

    const QString log = QString::fromLatin1(c.logIn) == u"data"_s      ? dataLog
                        : QString::fromLatin1(c.logIn) == u"program"_s ? besideProgram
                                                                       : QString();
    for (const QString& path : {dataLog, besideProgram}) {
        QFile f(path);
        if (path != log) {
            EXPECT_FALSE(f.exists()) << path.toStdString();
            continue;
        }
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        EXPECT_EQ(fromCp936(f.readAll()), LogText);
    }
}

INSTANTIATE_TEST_SUITE_P(, UnpackedProgram,
                         testing::Values(LogCase{"Installed", true, false, "data"},
                                         LogCase{"Portable", false, false, "program"},
                                         LogCase{"DataHomeUnusable", true, true, ""}),
                         CaseName());

} // namespace
