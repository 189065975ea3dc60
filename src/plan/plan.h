// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/posix_file.h"
#include "net/local_networks.h"
#include "plan/csv_reader.h"
#include "protocol/param_packet.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>

// A plan: one row per device to configure, read from a CSV file that the installer prepares
// before going on site. Its columns are fields of the parameter page.
// The columns are the page's fields (protocol/param_fields.h), the device type list included.
using PlanColumn = ParamField;
constexpr int PlanColumnCount = ParamFieldCount;

// The column a header names: a caption of the page (with or without its colon) or a short
// English key, case-insensitive. None for an unknown header.
std::optional<PlanColumn> planColumnFor(const QString& header);
// The page's caption for a column, without the colon.
QString planColumnCaption(PlanColumn column);
// The short English key of a column.
QString planColumnKey(PlanColumn column);

// Whether a header names the column of the devices' MACs ("mac" in any case, or 设备MAC): not a
// parameter, never sent, but the MAC the device at the row's current address must have.
bool isMacHeader(const QString& header);
// The caption of that column.
QString macColumnCaption();

// The device type a cell names by its list caption or its code; none otherwise.
std::optional<DeviceType> deviceTypeFor(const QString& cell);

// What the page holds when the plan is read: absent columns take these values.
struct PlanBase {
    ParamFields fields;
    std::optional<DeviceType> deviceType; // none: no type chosen yet
    // This machine's addresses, which no row may give a device.
    QList<LocalAddress> laptop = {};
};

// One fault. row is the spreadsheet's row number (the header is row 1); column is empty for a
// fault of the whole row.
struct PlanIssue {
    int row = 0;
    QString column;
    QString message;
    QString text() const;
};

// The most a plan holds: a site's devices, and a file that loads without making anyone wait.
// 10,000 rows of every parameter column and a remark or two take about 4 MB.
constexpr int PlanMaxRows = 10000;
// The parameter columns and a good many of the spreadsheet's own; empty columns at the right
// edge, as some spreadsheets export, do not count.
constexpr int PlanMaxColumns = 64;
constexpr qint64 PlanMaxBytes = 8 * 1024 * 1024;

struct PlanRow {
    int row = 0;  // spreadsheet row number
    int line = 0; // line of the file where the row starts
    std::optional<DeviceType> deviceType;
    // The value of each column the plan has, as typed; none for absent columns.
    std::array<std::optional<QString>, PlanColumnCount> values;
    bool faulty = false;
    QString fault;      // first fault of the row, for the table
    QStringList others; // cells of the columns that are no parameter, by Plan::otherHeaders
    QString mac;        // the device's MAC as the plan gives it (lower case, colons); or empty
};

struct Plan {
    CsvEncoding encoding = CsvEncoding::Utf8;
    QList<std::optional<PlanColumn>> columns; // by header position
    QStringList headers;
    QStringList otherHeaders; // columns that are no parameter: shown, never sent
    int macColumn = -1;       // header position of the MAC column, -1 when it has none
    QList<PlanRow> rows;
    QList<PlanIssue> issues;
    QStringList notes;    // what the operator should know that is no fault
    bool blocked = false; // a fault of the whole plan: no row may be sent
    QString refusal;      // why the plan was not read at all (too large); no rows then

    bool clean() const { return issues.isEmpty(); }
    bool sendable(int index) const;
};

// Reads and checks a plan: each row as the download command would check it on the page, then
// its new address against those no device may take (0.0.0.0, 255.255.255.255, multicast, the
// network and broadcast address of the device's subnet under the row's mask, the laptop's
// own), its MAC if it has one (its form, a device's own), and the plan as a whole (unknown or
// repeated columns, empty rows, a new address, device address or MAC used twice).
Plan readPlan(const QByteArray& bytes, const PlanBase& base);

// A plan read from its file, or why the file could not be read (the system's errno in the
// fault's code). A file larger than a plan can be is refused without reading it: a plan whose
// refusal says so.
Expected<Plan> readPlanFile(const QByteArray& path, const PlanBase& base);

// The page's fields once the row's device type has been chosen and its values typed in.
ParamFields resolvePlanRow(const PlanRow& row, const ParamFields& current);

// The report: the notes, one line per issue, then a summary line.
QString planReport(const Plan& plan);
