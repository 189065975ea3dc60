// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

struct Outcome {
    std::optional<int> code;
    QString out;
    QString err;
};

Outcome runWith(const QStringList& args, const std::vector<TerminalOption>& options)
{
    Outcome o;
    QTextStream out(&o.out);
    QTextStream err(&o.err);
    o.code = runTerminalOption(args, options, out, err);
    out.flush();
    err.flush();
    return o;
}

struct OptionCase {
    const char* name;
    QStringList args;
    std::optional<int> code;
    QString out;
    QString err;
};

// The program's own options, and one that takes a value to try the parser's other half.
std::vector<TerminalOption> optionsWithAValue()
{
    std::vector<TerminalOption> options = terminalOptions();
    options.push_back({u"--plan"_s, u"-p"_s, u"FILE"_s, u"读取 FILE"_s,
                       [](const QString& value, QTextStream& out, QTextStream&) {
                           out << u"plan:"_s << value;
                           return 5;
                       }});
    return options;
}

class TerminalOptionRun : public testing::TestWithParam<OptionCase>
{};

TEST_P(TerminalOptionRun, AnswersOrLeavesTheArgumentsToTheWindow)
{
    const OptionCase& c = GetParam();
    const Outcome o = runWith(c.args, optionsWithAValue());
    EXPECT_EQ(o.code, c.code);
    EXPECT_EQ(o.out.toStdString(), c.out.toStdString());
    EXPECT_EQ(o.err.toStdString(), c.err.toStdString());
}

const QString Version = u"terminal-config-tool 1.0.1\n"_s;

INSTANTIATE_TEST_SUITE_P(
    , TerminalOptionRun,
    testing::Values(
        OptionCase{"NoArguments", {}, std::nullopt, {}, {}},
        OptionCase{
            "QtsOwnOptions", {u"-platform"_s, u"offscreen"_s, u"-reverse"_s}, std::nullopt, {}, {}},
        OptionCase{"UnknownLongOption", {u"--verbose"_s}, std::nullopt, {}, {}},
        OptionCase{"Version", {u"--version"_s}, 0, Version, {}},
        OptionCase{"ShortVersion", {u"-v"_s}, 0, Version, {}},
        OptionCase{"VersionAfterQtOptions", {u"-platform"_s, u"xcb"_s, u"-v"_s}, 0, Version, {}},
        OptionCase{"FirstOptionWins", {u"-v"_s, u"--help"_s}, 0, Version, {}},
        OptionCase{"AfterDoubleDash", {u"--"_s, u"--version"_s}, std::nullopt, {}, {}},
        OptionCase{"ValueFollows", {u"--plan"_s, u"a b.txt"_s}, 5, u"plan:a b.txt"_s, {}},
        OptionCase{"ValueAttached", {u"--plan=x=1"_s}, 5, u"plan:x=1"_s, {}},
        OptionCase{"ShortWithValue", {u"-p"_s, u"-v"_s}, 5, u"plan:-v"_s, {}},
        OptionCase{"ValueMissing",
                   {u"-platform"_s, u"xcb"_s, u"--plan"_s},
                   2,
                   {},
                   u"terminal-config-tool：选项 --plan 需要 FILE；用法见 --help\n"_s}),
    CaseName());

TEST(TerminalHelp, ListsEveryOptionInOneAlignedColumn)
{
    const Outcome o = runWith({u"--help"_s}, terminalOptions());
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out.toStdString(),
              "用法：terminal-config-tool [选项]\n\n"
              "终端设备配置工具软件：在局域网上通过 UDP 配置IP网络广播系统的终端设备。\n"
              "不带选项时打开窗口；Qt 的选项（如 -platform offscreen）交给窗口。\n\n"
              "选项：\n"
              "  -h, --help     显示本帮助后退出\n"
              "  -v, --version  显示版本后退出\n");
    EXPECT_TRUE(helpText(optionsWithAValue()).endsWith(u"  -p, --plan FILE  读取 FILE\n"_s));
}

} // namespace
