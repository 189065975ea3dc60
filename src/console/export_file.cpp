// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/export_file.h"

#include "common/posix_file.h"
#include "common/sysutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{

bool isPlain(char16_t c)
{
    return c < 0x80 && c != u'\r' && c != u'\n';
}

bool isBreak(char16_t c)
{
    // Between lines the document holds a paragraph separator; a soft break is a line too.
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == u'\n';
}

// Received lines are plain ASCII and are copied as they are; only the operator's own text
// needs the code-page-936 conversion, which gives every character it lacks a "?".
void appendExportText(QByteArray& out, QStringView text)
{
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = p[i];
        if (isPlain(c)) {
            const qsizetype start = i;
            while (i < n && isPlain(p[i]))
                ++i;
            const qsizetype at = out.size();
            out.resize(at + (i - start));
            char* dst = out.data() + at;
            for (qsizetype k = start; k < i; ++k)
                *dst++ = static_cast<char>(p[k]);
        } else if (isBreak(c)) {
            out += "\r\n";
            ++i;
        } else if (c == u'\r') {
            out += "\r\n";
            ++i;
            if (i < n && p[i] == u'\n')
                ++i;
        } else if (c == QChar::Nbsp) {
            out += ' ';
            ++i;
        } else {
            const qsizetype start = i;
            while (i < n && !isPlain(p[i]) && !isBreak(p[i]) && p[i] != u'\r' &&
                   p[i] != QChar::Nbsp)
                ++i;
            out += toCp936(QStringView(p + start, i - start).toString());
        }
    }
}

tl::unexpected<Fault> writeError(int error)
{
    return fail(QStringLiteral("Stream write error"), -1, error);
}

template <class Sink> Expected<void> forEachExportChunk(const ExportSource& source, Sink&& sink)
{
    QByteArray chunk;
    // A surrogate pair split between two pieces is one character: its first half waits.
    QString held;
    const Expected<void> handed = source([&](QStringView text) -> Expected<void> {
        QString joined;
        if (!held.isEmpty()) {
            joined = held + text;
            held.clear();
            text = joined;
        }
        if (!text.isEmpty() && text.back().isHighSurrogate()) {
            held = text.back();
            text.chop(1);
        }
        chunk.resize(0);
        appendExportText(chunk, text);
        return sink(chunk);
    });
    if (!handed)
        return handed;
    if (!held.isEmpty())
        return sink(toCp936(held));
    return {};
}

} // namespace

void encodeExportText(QByteArray& out, QStringView text)
{
    appendExportText(out, text);
}

Expected<QByteArray> exportBytes(const ExportSource& source)
{
    QByteArray all;
    const Expected<void> handed = forEachExportChunk(source, [&](const QByteArray& chunk) {
        all += chunk;
        return Expected<void>();
    });
    if (!handed)
        return tl::unexpected(handed.error());
    return all;
}

Expected<void> writeExportFile(const QString& path, const ExportSource& source)
{
    return writeExportFile(path, ExportBytesSource(), source);
}

Expected<void> writeExportFile(const QString& path, const ExportBytesSource& before,
                               const ExportSource& source)
{
    return writeExportFile(path, before, source, ExportControl());
}

Expected<void> writeExportFile(const QString& path, const ExportBytesSource& before,
                               const ExportSource& source, const ExportControl& control)
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    // The list goes to a new file that replaces the old one only when it is whole, so a full
    // disk, a cancel or a crash neither leaves a cut-short list nor destroys an earlier
    // export of the same name.
    AtomicFile file(resolvedPath(QFile::encodeName(fullPath)), control.ops,
                    AtomicFile::Access::Private);
    if (!file.open()) {
        const int error = errno;
        return fail(QStringLiteral("Cannot create file \"%1\". %2")
                        .arg(fullPath, QString::fromLocal8Bit(std::strerror(error))),
                    -1, error);
    }
    const auto stopped = [&] { return control.cancelled && control.cancelled(); };
    qint64 written = 0;
    // A fault ends the export where it stands; the temporary file goes with `file`.
    const auto put = [&](QByteArrayView bytes) -> Expected<void> {
        if (stopped())
            return exportCancelled();
        if (!file.write(bytes))
            return writeError(errno);
        written += bytes.size();
        if (control.written)
            control.written(written);
        return {};
    };
    if (before) {
        if (const Expected<void> handed = before(put); !handed)
            return handed;
    }
    if (const Expected<void> handed = forEachExportChunk(source, put); !handed)
        return handed;
    if (stopped())
        return exportCancelled();
    if (!file.commit())
        return writeError(errno);
    return {};
}
