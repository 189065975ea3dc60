// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ini_log.h"

#include "common/posix_file.h"
#include "common/sysutils.h"

#include <QByteArrayView>
#include <QFile>

using namespace Qt::StringLiterals;

namespace
{

// Lead bytes of code page 936's double-byte characters. Their trail bytes can look like ASCII
// ("]", letters), so scans and comparisons step over whole characters.
bool isLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

unsigned char lowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size();) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (isLeadByte(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1])
                return false;
            i += 2;
            continue;
        }
        if (lowerAscii(x) != lowerAscii(y))
            return false;
        ++i;
    }
    return true;
}

QByteArrayView trimmed(QByteArrayView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= 32)
        --end;
    return s.sliced(begin, end - begin);
}

qsizetype findAscii(QByteArrayView s, char wanted)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == wanted)
            return i;
        if (isLeadByte(static_cast<unsigned char>(s[i])))
            ++i;
    }
    return -1;
}

QByteArray singleLine(QByteArray s)
{
    s.replace('\r', ' ');
    s.replace('\n', ' ');
    return s;
}

struct Line {
    qsizetype begin;      // first byte of the line
    qsizetype contentEnd; // where its line break starts
    qsizetype end;        // one past its line break
};

std::vector<Line> splitLines(const QByteArray& text)
{
    std::vector<Line> lines;
    qsizetype begin = 0;
    while (begin < text.size()) {
        const qsizetype lf = text.indexOf('\n', begin);
        if (lf < 0) {
            lines.push_back({begin, text.size(), text.size()});
            break;
        }
        const qsizetype contentEnd = (lf > begin && text[lf - 1] == '\r') ? lf - 1 : lf;
        lines.push_back({begin, contentEnd, lf + 1});
        begin = lf + 1;
    }
    return lines;
}

QByteArray lineBreakOf(const QByteArray& text)
{
    const qsizetype lf = text.indexOf('\n');
    if (lf > 0 && text[lf - 1] == '\r')
        return QByteArrayLiteral("\r\n");
    if (lf >= 0)
        return QByteArrayLiteral("\n");
    return QByteArrayLiteral("\r\n"); // the log's home platform's convention
}

// The section named by a header line ("[name]"), or nothing for any other line.
std::optional<QByteArrayView> sectionName(QByteArrayView content)
{
    const QByteArrayView t = trimmed(content);
    if (t.isEmpty() || t[0] != '[')
        return std::nullopt;
    const QByteArrayView inside = t.sliced(1);
    const qsizetype close = findAscii(inside, ']');
    return trimmed(close < 0 ? inside : inside.first(close));
}

} // namespace

QByteArray patchIni(const QByteArray& existing, const QByteArray& sectionIn,
                    const QByteArray& keyIn, const QByteArray& valueIn)
{
    const QByteArray section = singleLine(sectionIn);
    const QByteArray key = singleLine(keyIn);
    const QByteArray value = singleLine(valueIn);
    const QByteArray eol = lineBreakOf(existing);
    const std::vector<Line> lines = splitLines(existing);

    auto content = [&](const Line& l) {
        QByteArrayView c = QByteArrayView(existing).sliced(l.begin, l.contentEnd - l.begin);
        if (l.begin == 0 && c.startsWith("\xEF\xBB\xBF"))
            c = c.sliced(3); // a byte-order mark is no part of the first line's text
        return c;
    };

    // The first section of that name.
    std::size_t header = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(content(lines[i]));
        if (name && sameName(*name, trimmed(section))) {
            header = i;
            break;
        }
    }

    if (header == lines.size()) {
        QByteArray out = existing;
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += eol;
        out += '[' + section + ']' + eol + key + '=' + value + eol;
        return out;
    }

    std::size_t lastFilled = header; // insertion point for a new key
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
        const QByteArrayView c = content(lines[i]);
        if (sectionName(c))
            break;
        if (!trimmed(c).isEmpty())
            lastFilled = i;
        const qsizetype eq = findAscii(c, '=');
        if (eq < 0 || !sameName(trimmed(c.first(eq)), trimmed(key)))
            continue;
        // Keep everything up to and including "=" (spelling, indentation) and the line break.
        const qsizetype valueBegin = (c.data() - existing.constData()) + eq + 1;
        QByteArray out = existing.left(valueBegin);
        out += value;
        out += QByteArrayView(existing).sliced(lines[i].contentEnd);
        return out;
    }

    const Line& after = lines[lastFilled];
    QByteArray out = existing.left(after.end);
    if (after.end == after.contentEnd)
        out += eol; // the section's last line was the file's last, without a line break
    out += key + '=' + value + eol;
    out += QByteArrayView(existing).sliced(after.end);
    return out;
}

Expected<void> iniWriteString(const QString& path, const QString& section, const QString& key,
                              const QString& value, const FileOps& ops)
{
    const auto unwritable = [&](int code) {
        return fail(u"Unable to write to "_s + path, -1, code);
    };

    // Through a link the file it points to is replaced, not the link.
    AtomicFile file(resolvedPath(QFile::encodeName(path)), ops);
    const Expected<QByteArray> existing = orEmptyWhenMissing(readWholeFile(file.target()));
    if (!existing)
        return unwritable(existing.error().code);
    const QByteArray patched = patchIni(*existing, toCp936(section), toCp936(key), toCp936(value));
    if (!file.open() || !file.write(patched) || !file.commit())
        return unwritable(errno);
    return {};
}
