#include "export_file.h"

#include "exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// The document is read a slice at a time: one pass over its text, without a copy of it all.
constexpr int TextChunk = 1 << 20;

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
// needs the real encoder.
void appendExportText(QByteArray& out, QStringEncoder& encoder, QStringView text)
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
            out += encoder.encode(QStringView(p + start, i - start));
        }
    }
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

[[noreturn]] void raiseWriteError()
{
    throw Exception(QStringLiteral("Stream write error"));
}

void writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            raiseWriteError();
        p += n;
        left -= n;
    }
}

template <class Sink> void forEachExportChunk(QTextDocument& document, Sink&& sink)
{
    QStringEncoder encoder("GBK");
    QByteArray chunk;
    // The last block's end carries no separator of its own.
    const int end = document.characterCount() - 1;
    QTextCursor cursor(&document);
    for (int pos = 0; pos < end; pos += TextChunk) {
        cursor.setPosition(pos);
        cursor.setPosition(std::min(end, pos + TextChunk), QTextCursor::KeepAnchor);
        chunk.resize(0);
        appendExportText(chunk, encoder, cursor.selectedText());
        sink(chunk);
    }
}

} // namespace

QByteArray ExportBytes(QTextDocument& document)
{
    QByteArray all;
    forEachExportChunk(document, [&](const QByteArray& chunk) { all += chunk; });
    return all;
}

void WriteExportFile(const QString& path, QTextDocument& document)
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    FileDescriptor file(::open(QFile::encodeName(fullPath).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        const int error = errno;
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(fullPath, QString::fromLocal8Bit(std::strerror(error))));
    }
    const QByteArray localPath = QFile::encodeName(fullPath);
    // A file cut short by a full disk would later pass for the whole list: it goes.
    try {
        forEachExportChunk(document, [&](const QByteArray& chunk) { writeAll(file.get(), chunk); });
    } catch (...) {
        ::close(file.release());
        ::unlink(localPath.constData());
        throw;
    }
    // A close that fails may have lost data written before; that is a failed write too.
    if (::close(file.release()) != 0) {
        ::unlink(localPath.constData());
        raiseWriteError();
    }
}
