// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Options answered on the terminal before any window exists, so they work without a display.
// Everything else on the command line is left to the window (Qt's own options among it).

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>
#include <vector>

struct TerminalOption {
    QString name;        // "--name"
    QString shortName;   // "-n", or empty
    QString valueName;   // what the option takes, for --help; empty when it takes nothing
    QString description; // one line for --help
    // The exit code; value is empty for an option that takes nothing.
    std::function<int(const QString& value, QTextStream& out, QTextStream& err)> run;
};

// The program's terminal options, in the order --help lists them. The program adds those whose
// work lives in libraries this one does not link (--check-plan) before it runs them.
std::vector<TerminalOption>& terminalOptions();

QString versionText();
QString helpText(const std::vector<TerminalOption>& options);

// Runs the first terminal option among args (the program's name not included) and gives its
// exit code, or nothing when there is none and the window is to start. An option that needs a
// value and has none is a usage fault: a line on err and exit code 2. "--" ends the options.
std::optional<int> runTerminalOption(const QStringList& args,
                                     const std::vector<TerminalOption>& options, QTextStream& out,
                                     QTextStream& err);
std::optional<int> runTerminalOption(const QStringList& args, QTextStream& out, QTextStream& err);
