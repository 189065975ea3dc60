// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

const QString ProgramName = u"terminal-config-tool"_s;

QString optionColumn(const TerminalOption& o)
{
    QString column = o.shortName.isEmpty() ? u"    "_s : o.shortName + u", "_s;
    column += o.name;
    if (!o.valueName.isEmpty())
        column += u' ' + o.valueName;
    return column;
}

} // namespace

QString versionText()
{
    return ProgramName + u' ' + QStringLiteral(TERMINAL_CONFIG_TOOL_VERSION) + u'\n';
}

QString helpText(const std::vector<TerminalOption>& options)
{
    QString text =
        u"用法："_s + ProgramName + u" [选项]\n\n"_s +
        u"终端设备配置工具软件：在局域网上通过 UDP 配置IP网络广播系统的终端设备。\n"_s +
        u"不带选项时打开窗口；Qt 的选项（如 -platform offscreen）交给窗口。\n\n选项：\n"_s;
    qsizetype width = 0;
    for (const TerminalOption& o : options)
        width = std::max(width, optionColumn(o).size());
    for (const TerminalOption& o : options)
        text += u"  "_s + optionColumn(o).leftJustified(width + 2) + o.description + u'\n';
    return text;
}

std::vector<TerminalOption>& terminalOptions()
{
    static std::vector<TerminalOption> options = {
        {u"--help"_s, u"-h"_s, QString(), u"显示本帮助后退出"_s,
         [](const QString&, QTextStream& out, QTextStream&) {
             out << helpText(terminalOptions());
             return 0;
         }},
        {u"--version"_s, u"-v"_s, QString(), u"显示版本后退出"_s,
         [](const QString&, QTextStream& out, QTextStream&) {
             out << versionText();
             return 0;
         }},
    };
    return options;
}

std::optional<int> runTerminalOption(const QStringList& args,
                                     const std::vector<TerminalOption>& options, QTextStream& out,
                                     QTextStream& err)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--"_s)
            return std::nullopt;
        for (const TerminalOption& o : options) {
            if (o.valueName.isEmpty()) {
                if (arg == o.name || (!o.shortName.isEmpty() && arg == o.shortName))
                    return o.run(QString(), out, err);
                continue;
            }
            if (arg.startsWith(o.name + u'='))
                return o.run(arg.mid(o.name.size() + 1), out, err);
            if (arg != o.name && (o.shortName.isEmpty() || arg != o.shortName))
                continue;
            if (i + 1 >= args.size()) {
                err << ProgramName << u"：选项 "_s << arg << u" 需要 "_s << o.valueName
                    << u"；用法见 --help\n"_s;
                return 2;
            }
            return o.run(args[i + 1], out, err);
        }
    }
    return std::nullopt;
}

std::optional<int> runTerminalOption(const QStringList& args, QTextStream& out, QTextStream& err)
{
    return runTerminalOption(args, terminalOptions(), out, err);
}
