// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing one key of an INI file, as the update log needs it: only that key's line changes,
// every other byte of the file stays as it was, and the file is replaced atomically.

#include "common/posix_file.h"

#include <QByteArray>
#include <QString>

// The file's new content after setting key=value in [section]. Sections and keys match
// without regard to ASCII letter case (double-byte characters compare exactly); the first
// matching section and, in it, the first matching key win. An existing key keeps its
// spelling and indentation, and only the text after its "=" is replaced. A missing key is
// added after the last non-blank line of its section, a missing section at the end of the
// file, with the file's line-break style (CR LF for a file that has none yet). CR and LF in
// section, key or value are replaced by blanks so that a value can never start a new line.
QByteArray patchIni(const QByteArray& existing, const QByteArray& section, const QByteArray& key,
                    const QByteArray& value);

// Sets key=value in [section] of the file at path, text in code page 936. The new content goes
// to a temporary file in the same folder, is flushed to disk and then renamed over the old
// file, so a failure leaves the old file whole. Fails with "Unable to write to <path>" (the
// system's errno in the fault's code).
Expected<void> iniWriteString(const QString& path, const QString& section, const QString& key,
                              const QString& value, const FileOps& ops = FileOps::system());
