#include "export_file.h"

#include "exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextDocument>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qsizetype WriteChunk = 1 << 20;

// Received lines are plain ASCII; only the operator's own text needs the real encoder.
bool isPlainAscii(QStringView line)
{
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || u == u'\r' || u == u'\n')
            return false;
    }
    return true;
}

void appendAscii(QByteArray& out, QStringView line)
{
    const qsizetype start = out.size();
    out.resize(start + line.size());
    char* p = out.data() + start;
    for (const QChar c : line)
        *p++ = static_cast<char>(c.unicode());
}

void appendEncoded(QByteArray& out, QStringView line)
{
    QStringEncoder encoder("GBK");
    QString text = line.toString();
    // The view's own separators for a break inside a line, and its non-breaking space.
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::Nbsp, u' ');
    QByteArray bytes = encoder.encode(text);
    // A lone CR or LF typed or pasted into a line is written as a full CR LF break.
    qsizetype i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\r') {
            out += "\r\n";
            i += (i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
        } else if (c == '\n') {
            out += "\r\n";
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
}

class FileDescriptor {
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

template <class Sink>
void forEachExportChunk(const QTextDocument& document, Sink&& sink)
{
    QByteArray chunk;
    chunk.reserve(WriteChunk + 4096);
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!first)
            chunk += "\r\n";
        first = false;
        AppendExportLine(chunk, block.text());
        if (chunk.size() >= WriteChunk) {
            sink(chunk);
            chunk.resize(0);
        }
    }
    if (!chunk.isEmpty())
        sink(chunk);
}

} // namespace

void AppendExportLine(QByteArray& out, QStringView line)
{
    if (isPlainAscii(line))
        appendAscii(out, line);
    else
        appendEncoded(out, line);
}

QByteArray ExportBytes(const QTextDocument& document)
{
    QByteArray all;
    forEachExportChunk(document, [&](const QByteArray& chunk) { all += chunk; });
    return all;
}

void WriteExportFile(const QString& path, const QTextDocument& document)
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    FileDescriptor file(::open(QFile::encodeName(fullPath).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        const int error = errno;
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(fullPath, QString::fromLocal8Bit(std::strerror(error))));
    }
    forEachExportChunk(document, [&](const QByteArray& chunk) { writeAll(file.get(), chunk); });
    // A close that fails may have lost data written before; that is a failed write too.
    if (::close(file.release()) != 0)
        raiseWriteError();
}
