// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the Wireshark dissector's layout section from the field table.
//   dissector_layout                 prints the section
//   dissector_layout --write FILE    replaces the section in FILE (dist/wireshark/pa_terminal.lua)
#include "protocol/dissector_layout.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const QString layout = dissectorLayoutLua();
    if (argc == 1) {
        std::fputs(layout.toUtf8().constData(), stdout);
        return 0;
    }
    if (argc != 3 || std::strcmp(argv[1], "--write") != 0) {
        std::fputs("usage: dissector_layout [--write FILE]\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "dissector_layout: cannot read %s\n", argv[2]);
        return 1;
    }
    const QString updated = withDissectorLayout(QString::fromUtf8(in.readAll()), layout);
    in.close();
    if (updated.isNull()) {
        std::fprintf(stderr, "dissector_layout: %s has no layout markers\n", argv[2]);
        return 1;
    }
    QSaveFile out(in.fileName());
    if (!out.open(QIODevice::WriteOnly) || out.write(updated.toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "dissector_layout: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
