// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/csv_reader.h"

#include "common/sysutils.h"

#include <QStringDecoder>

CsvText decodeCsv(const QByteArray& bytes)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    if (bytes.startsWith(bom))
        return {QString::fromUtf8(bytes.mid(bom.size())), CsvEncoding::Utf8Bom};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return {text, CsvEncoding::Utf8};
    return {fromCp936(bytes), CsvEncoding::Cp936};
}

QList<CsvRecord> parseCsv(QStringView text, bool* unterminated, qsizetype maxRecords)
{
    QList<CsvRecord> records;
    CsvRecord record;
    QString cell;
    bool quoted = false; // inside a quoted cell
    bool recordOpen = false;
    int line = 1;
    const qsizetype n = text.size();

    auto endCell = [&] {
        record.cells.append(cell);
        cell.clear();
    };
    auto endRecord = [&](int nextLine) {
        endCell();
        records.append(std::move(record));
        record = CsvRecord{};
        record.line = nextLine;
        recordOpen = false;
    };

    record.line = line;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    cell.append(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n' || (c == u'\r' && !(i + 1 < n && text[i + 1] == u'\n')))
                    ++line;
                cell.append(c);
            }
            continue;
        }
        recordOpen = true;
        if (c == u'"' && cell.isEmpty()) {
            quoted = true;
        } else if (c == u',') {
            endCell();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            ++line;
            endRecord(line);
            if (records.size() == maxRecords)
                break;
        } else {
            // A quote after text in an unquoted cell is kept as it stands, as spreadsheets do.
            cell.append(c);
        }
    }
    if (recordOpen || quoted)
        endRecord(line);
    if (unterminated)
        *unterminated = quoted;
    return records;
}

QString csvCell(const QString& text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    bool needs = false;
    for (QChar c : text)
        needs = needs || special.contains(c);
    if (!needs)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}
