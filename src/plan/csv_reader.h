// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// How a CSV file's bytes were read. A spreadsheet on a Chinese desktop saves code page 936;
// others save UTF-8, some with a byte-order mark.
enum class CsvEncoding { Utf8, Utf8Bom, Cp936 };

struct CsvText {
    QString text;
    CsvEncoding encoding = CsvEncoding::Utf8;
};

// UTF-8 when the bytes start with its byte-order mark or are valid UTF-8 throughout, code
// page 936 otherwise.
CsvText decodeCsv(const QByteArray& bytes);

struct CsvRecord {
    QStringList cells;
    int line = 1; // line of the text where the record starts
};

// Splits the text into records and cells as spreadsheets write them: "," between cells; CR LF,
// LF or CR between records; a cell in double quotes may hold commas and line breaks, and ""
// inside it stands for one quote. A line break at the very end does not start a record.
// unterminated is set when the text ends inside a quoted cell. With maxRecords set, reading
// stops after that many records.
QList<CsvRecord> parseCsv(QStringView text, bool* unterminated = nullptr,
                          qsizetype maxRecords = -1);

// One cell as written to a CSV file: quoted when it holds a comma, quote or line break.
QString csvCell(const QString& text);
