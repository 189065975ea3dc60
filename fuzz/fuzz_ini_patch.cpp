// SPDX-License-Identifier: GPL-3.0-or-later
// The update log's INI patcher on arbitrary file contents and values, for [UpdateLog] Log.
// Properties: the lines of the old file stay byte for byte and in order, except the key's own
// line (whose text up to "=" stays too) or the one or two lines added for a missing key or
// section; a small reader written here finds the value written, CR and LF turned into blanks;
// patching the result again with the same value changes nothing.
//
// Input: the value's bytes, a zero byte, then the old file's bytes (zero bytes included).
#include "config/ini_log.h"
#include "fuzz_fields.h"

#include <QByteArrayView>
#include <cstdint>
#include <vector>

namespace
{

const QByteArray Section = QByteArrayLiteral("UpdateLog");
const QByteArray Key = QByteArrayLiteral("Log");

struct Line {
    QByteArray content;
    QByteArray terminator; // "\r\n", "\n" or nothing for an unterminated last line
    bool operator==(const Line&) const = default;
};

std::vector<Line> lines(const QByteArray& text)
{
    std::vector<Line> out;
    qsizetype begin = 0;
    while (begin < text.size()) {
        const qsizetype lf = text.indexOf('\n', begin);
        if (lf < 0) {
            out.push_back({text.mid(begin), {}});
            break;
        }
        QByteArray content = text.mid(begin, lf - begin);
        if (content.endsWith('\r')) {
            content.chop(1);
            out.push_back({content, QByteArrayLiteral("\r\n")});
        } else {
            out.push_back({content, QByteArrayLiteral("\n")});
        }
        begin = lf + 1;
    }
    return out;
}

// The file is code page 936: a lead byte takes the next byte with it, whatever that is.
qsizetype findSingle(QByteArrayView s, char wanted)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (s[i] == wanted)
            return i;
        if (c >= 0x81 && c <= 0xFE)
            ++i;
    }
    return -1;
}

QByteArrayView trim(QByteArrayView s)
{
    while (!s.isEmpty() && static_cast<unsigned char>(s.front()) <= 32)
        s = s.sliced(1);
    while (!s.isEmpty() && static_cast<unsigned char>(s.back()) <= 32)
        s.chop(1);
    return s;
}

bool sameAscii(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// What a reader of the file sees under [UpdateLog] Log: the first such section, in it the
// first such key, its value everything after the "=".
struct Reading {
    bool section = false;
    std::optional<QByteArray> value;
};

Reading read(const QByteArray& file)
{
    Reading r;
    const std::vector<Line> ls = lines(file);
    for (size_t i = 0; i < ls.size(); ++i) {
        QByteArrayView c = ls[i].content;
        if (i == 0 && c.startsWith("\xEF\xBB\xBF"))
            c = c.sliced(3);
        const QByteArrayView t = trim(c);
        if (t.startsWith('[')) {
            if (r.section)
                break;
            const QByteArrayView inside = t.sliced(1);
            const qsizetype close = findSingle(inside, ']');
            r.section = sameAscii(trim(close < 0 ? inside : inside.first(close)), Section);
            continue;
        }
        if (!r.section)
            continue;
        const qsizetype eq = findSingle(c, '=');
        if (eq >= 0 && sameAscii(trim(c.first(eq)), Key)) {
            r.value = c.sliced(eq + 1).toByteArray();
            break;
        }
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const auto in = fuzz::splitFields(data, size, 2);
    const QByteArray value = in[0];
    const QByteArray old = in.size() > 1 ? in[1] : QByteArray();
    QByteArray written = value;
    written.replace('\r', ' ').replace('\n', ' ');

    const QByteArray patched = patchIni(old, Section, Key, value);

    // Read back.
    const Reading before = read(old);
    const Reading after = read(patched);
    fuzz::check(after.section && after.value == written);

    // Only the key's line changes, or the missing lines are added.
    const std::vector<Line> o = lines(old);
    const std::vector<Line> r = lines(patched);
    fuzz::check(r.size() >= o.size());
    const size_t added = r.size() - o.size();
    fuzz::check(added == (before.value ? 0u : before.section ? 1u : 2u));
    if (added == 0) {
        size_t changed = 0;
        for (size_t i = 0; i < o.size(); ++i) {
            if (r[i] == o[i])
                continue;
            ++changed;
            const qsizetype eq = findSingle(o[i].content, '=');
            fuzz::check(eq >= 0 && r[i].terminator == o[i].terminator);
            fuzz::check(r[i].content == o[i].content.left(eq + 1) + written);
        }
        fuzz::check(changed <= 1);
    } else {
        size_t p = 0;
        while (p < o.size() && r[p] == o[p])
            ++p;
        // An unterminated last line gets a line break when something follows it; its own
        // bytes stay (a CR at its end then reads as part of a CR LF).
        auto restKept = [&](size_t from) {
            for (size_t i = from; i < o.size(); ++i) {
                if (!(r[i + added] == o[i]))
                    return false;
            }
            return true;
        };
        if (!restKept(p)) {
            fuzz::check(p + 1 == o.size() && o[p].terminator.isEmpty());
            const QByteArray now = r[p].content + r[p].terminator;
            fuzz::check(now.startsWith(o[p].content) && now.endsWith('\n') &&
                        now.size() - o[p].content.size() <= 2);
            ++p;
        }
        if (added == 2) {
            fuzz::check(p == o.size());
            fuzz::check(r[p].content == "[" + Section + "]" && !r[p].terminator.isEmpty());
        }
        const Line& keyLine = r[p + added - 1];
        fuzz::check(keyLine.content == Key + "=" + written && !keyLine.terminator.isEmpty());
    }

    // The same value again changes nothing.
    fuzz::check(patchIni(patched, Section, Key, value) == patched);
    return 0;
}
