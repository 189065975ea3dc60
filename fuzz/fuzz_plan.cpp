// SPDX-License-Identifier: GPL-3.0-or-later
// The plan reader on arbitrary file contents. Properties: writing the records read back with
// csvCell and reading them again gives the same cells; the rows are numbered from 2 without
// gaps; every faulty row has an issue on its row, and a clean plan has no faulty row and is
// not blocked; every issue names the header row, a row of the plan, or no row.
//
// Input: the file's bytes, as the installer's spreadsheet might have saved them.
#include "plan/csv_reader.h"
#include "plan/plan.h"
#include "fuzz_fields.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<CsvRecord> records = parseCsv(decodeCsv(bytes).text);
    QString written;
    for (const CsvRecord& r : records) {
        QStringList cells;
        for (const QString& c : r.cells)
            cells.append(csvCell(c));
        written += cells.join(u',') + QStringLiteral("\r\n");
    }
    const QList<CsvRecord> again = parseCsv(written);
    fuzz::check(again.size() == records.size());
    for (qsizetype i = 0; i < records.size(); ++i)
        fuzz::check(again[i].cells == records[i].cells);

    for (int type : {0, 5}) {
        PlanBase base;
        if (type != 0)
            base.deviceType = DeviceType(type);
        const Plan plan = readPlan(bytes, base);
        const int lastRow = static_cast<int>(plan.rows.size()) + 1;
        for (qsizetype i = 0; i < plan.rows.size(); ++i) {
            const PlanRow& row = plan.rows[i];
            fuzz::check(row.row == i + 2);
            bool reported = false;
            for (const PlanIssue& issue : plan.issues)
                reported = reported || issue.row == row.row;
            fuzz::check(!row.faulty || reported);
        }
        fuzz::check(!plan.clean() || !plan.blocked);
        for (const PlanIssue& issue : plan.issues)
            fuzz::check(issue.row >= 0 && issue.row <= lastRow);
    }
    return 0;
}
