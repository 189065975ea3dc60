// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"
#include "common/posix_file.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <cerrno>
#include <functional>

// An export the operator stopped is a fault with the system's "operation cancelled" code and
// no text: nothing failed and nothing is to be told, but no file was written.
inline tl::unexpected<Fault> exportCancelled()
{
    return fail(QString(), -1, ECANCELED);
}

inline bool isCancelled(const Fault& fault)
{
    return fault.code == ECANCELED;
}

// Takes one piece of an export. A fault (the export was cancelled or a write failed) says
// stop: the source hands no more pieces and returns that fault.
using ExportTextTake = std::function<Expected<void>(QStringView)>;
using ExportBytesTake = std::function<Expected<void>(QByteArrayView)>;

// The text of the list, handed to `take` piece by piece in order. Lines end at a paragraph or
// line separator, LF, CR or CR LF. Fails when the text cannot be had, or with take's fault.
using ExportSource = std::function<Expected<void>(const ExportTextTake& take)>;

// Bytes already in export form (lines that left the list earlier), handed to `take` in order.
using ExportBytesSource = std::function<Expected<void>(const ExportBytesTake& take)>;

// Appends the export form of a piece of the list's text to out (a line break inside it
// becomes CR LF; the piece's own end adds none).
void encodeExportText(QByteArray& out, QStringView text);

// The whole export file for the text: its lines joined by CR LF, code page 936, no BOM.
Expected<QByteArray> exportBytes(const ExportSource& source);

// Writes the export form of the text to the file, replacing an earlier one only once the new
// one is whole. Fails with "Cannot create file \"<full path>\". <system text>" when the file
// cannot be created, and "Stream write error" when a write stops short (errno as the code).
Expected<void> writeExportFile(const QString& path, const ExportSource& source);

// The same, with the bytes of `before` written ahead of the text.
Expected<void> writeExportFile(const QString& path, const ExportBytesSource& before,
                               const ExportSource& source);

// How a long export is watched and stopped, from the thread that writes it.
struct ExportControl {
    FileOps ops = FileOps::system();
    // Asked between pieces: true stops the export and leaves any earlier file as it was.
    std::function<bool()> cancelled;
    // Told the bytes written so far after each piece.
    std::function<void(qint64 bytes)> written;
};

// The same, watched: exportCancelled() when it was cancelled (nothing replaced). The new file
// is readable by its owner only, as the received traffic is; one it replaces keeps its mode.
Expected<void> writeExportFile(const QString& path, const ExportBytesSource& before,
                               const ExportSource& source, const ExportControl& control);
