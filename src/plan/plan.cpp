// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan.h"

#include "common/exceptions.h"
#include "common/sysutils.h"
#include "net/net_address.h"
#include "protocol/device_types.h"

#include <QHash>
#include <bit>
#include <cerrno>

using namespace Qt::StringLiterals;

namespace
{

const QString OpenQuoteMessage = u"引号没有闭合，这一行起读不出，整个方案不能发送"_s;

// A header as the report names it: trimmed, without a trailing colon.
QString bareHeader(const QString& header)
{
    QString name = header.trimmed();
    if (name.endsWith(u'：') || name.endsWith(u':'))
        name.chop(1);
    return name.trimmed();
}

bool convertsAsInt(const QString& text)
{
    int value = 0;
    return tryStrToInt(text, value);
}

uint32_t quadOf(const QByteArray& bytes)
{
    uint32_t value = 0;
    for (const char b : bytes)
        value = value << 8 | static_cast<uint8_t>(b);
    return value;
}

// The subnet mask of the device a row configures: the one its packet carries, or for types
// that carry none the mask field as typed; none when that is no address.
std::optional<uint32_t> deviceMask(const ParamPacket& packet, const ParamFields& fields,
                                   DeviceType type)
{
    for (const FieldUse& use : paramLayout()) {
        if (use.types.contains(type) && QStringView(use.jsonKey) == u"subnet_mask")
            return quadOf(packedBytes(packet, use.key, type));
    }
    return parseDottedQuad(trim(fields.ym));
}

// Why no device may take address, or nothing when one may. A /31 or /32 has no network or
// broadcast address of its own: both or the one address are hosts.
QString refusedAddress(uint32_t address, std::optional<uint32_t> mask,
                       const QList<LocalAddress>& laptop)
{
    const QString text = formatDottedQuad(address);
    if (address == 0 || address == 0xFFFFFFFFu)
        return u"%1 不是设备可用的地址"_s.arg(text);
    if (address >> 28 == 0xE)
        return u"%1 是组播地址"_s.arg(text);
    if (mask && std::popcount(~*mask) > 1) {
        if ((address & ~*mask) == 0)
            return u"%1 是网络地址"_s.arg(text);
        if ((address | *mask) == 0xFFFFFFFFu)
            return u"%1 是广播地址"_s.arg(text);
    }
    for (const LocalAddress& own : laptop) {
        if (own.address == address)
            return u"%1 是本机地址"_s.arg(text);
    }
    return {};
}

// The width of the records without the empty columns at their right edge.
qsizetype usedWidth(const QList<CsvRecord>& records)
{
    qsizetype width = 0;
    for (const CsvRecord& record : records) {
        for (qsizetype i = record.cells.size(); i > width; --i) {
            if (!record.cells[i - 1].trimmed().isEmpty()) {
                width = i;
                break;
            }
        }
    }
    return width;
}

class PlanChecker
{
public:
    PlanChecker(Plan& plan, const PlanBase& base) : plan_(plan), base_(base) {}

    void readHeader(const CsvRecord& header);
    void readRow(const CsvRecord& record, int row);
    // The record in which a quote was left open: it swallowed the rest of the file.
    void openQuote(const CsvRecord& record, int row);
    void checkDuplicates();

private:
    QString nameOf(PlanColumn column) const;
    void fault(PlanRow& row, const QString& column, const QString& message);
    void checkDownload(PlanRow& row);
    void checkMac(PlanRow& row, const QString& cell);

    Plan& plan_;
    const PlanBase& base_;
    std::array<int, PlanColumnCount> position_; // header position of each column, -1 absent
    QList<int> others_;                         // header positions of the other columns
    // Wire bytes of each row's new address and device address, for the duplicate check.
    QList<std::pair<int, QByteArray>> newIps_;
    QList<std::pair<int, QByteArray>> addresses_;
    QList<std::pair<int, QByteArray>> macs_;
};

QString PlanChecker::nameOf(PlanColumn column) const
{
    const int at = position_[fieldIndex(column)];
    return at >= 0 ? bareHeader(plan_.headers[at]) : planColumnCaption(column);
}

void PlanChecker::fault(PlanRow& row, const QString& column, const QString& message)
{
    if (!row.faulty) {
        row.faulty = true;
        row.fault = column.isEmpty() ? message : column + u"："_s + message;
    }
    plan_.issues.append({row.row, column, message});
}

void PlanChecker::readHeader(const CsvRecord& header)
{
    position_.fill(-1);
    plan_.headers = header.cells;
    for (qsizetype i = 0; i < header.cells.size(); ++i) {
        const auto column = planColumnFor(header.cells[i]);
        plan_.columns.append(column);
        const QString name = bareHeader(header.cells[i]);
        if (!column && isMacHeader(name)) {
            if (plan_.macColumn >= 0) {
                plan_.issues.append({1, name, u"与第%1列重复"_s.arg(plan_.macColumn + 1)});
                plan_.blocked = true;
            } else {
                plan_.macColumn = static_cast<int>(i);
            }
        } else if (!column) {
            // A spreadsheet's own columns (备注, 楼层, ...): shown beside the row, never sent.
            plan_.otherHeaders.append(name.isEmpty() ? u"第%1列"_s.arg(i + 1) : name);
            others_.append(static_cast<int>(i));
        } else if (position_[fieldIndex(*column)] >= 0) {
            plan_.issues.append(
                {1, name, u"与第%1列重复"_s.arg(position_[fieldIndex(*column)] + 1)});
            plan_.blocked = true;
        } else {
            position_[fieldIndex(*column)] = static_cast<int>(i);
        }
    }
    if (!plan_.otherHeaders.isEmpty())
        plan_.notes.append(u"提示：以下列不是参数，只显示，不发送："_s +
                           plan_.otherHeaders.join(u'、'));
    if (position_[fieldIndex(PlanColumn::Type)] < 0 && !base_.deviceType) {
        plan_.issues.append({1, planColumnCaption(PlanColumn::Type),
                             u"方案中没有这一列，页面上也还未选择设备类型"_s});
        plan_.blocked = true;
    }
}

void PlanChecker::readRow(const CsvRecord& record, int number)
{
    PlanRow row;
    row.row = number;
    row.line = record.line;
    row.deviceType = base_.deviceType;
    bool empty = true;
    for (const QString& cell : record.cells)
        empty = empty && cell.trimmed().isEmpty();
    if (empty) {
        fault(row, {}, u"空行"_s);
    } else if (record.cells.size() != plan_.headers.size()) {
        fault(row, {},
              u"本行有%1格，表头有%2格"_s.arg(record.cells.size()).arg(plan_.headers.size()));
    } else {
        for (const int at : others_)
            row.others.append(record.cells[at]);
        for (qsizetype i = 0; i < record.cells.size(); ++i) {
            if (const auto column = plan_.columns[i];
                column && position_[fieldIndex(*column)] == static_cast<int>(i))
                row.values[fieldIndex(*column)] = record.cells[i];
        }
        if (const auto& type = row.values[fieldIndex(PlanColumn::Type)]) {
            if (const auto chosen = deviceTypeFor(*type))
                row.deviceType = *chosen;
            else
                fault(row, nameOf(PlanColumn::Type), u"无效的设备类型“%1”"_s.arg(*type));
        }
        if (!row.faulty && row.deviceType)
            checkDownload(row);
        if (plan_.macColumn >= 0)
            checkMac(row, record.cells[plan_.macColumn]);
    }
    plan_.rows.append(std::move(row));
}

void PlanChecker::openQuote(const CsvRecord& record, int number)
{
    PlanRow row;
    row.row = number;
    row.line = record.line;
    row.deviceType = base_.deviceType;
    fault(row, {}, OpenQuoteMessage);
    plan_.rows.append(std::move(row));
    plan_.blocked = true;
}

// The checks the download command makes, in its order, with its messages.
void PlanChecker::checkDownload(PlanRow& row)
{
    const DeviceType type = *row.deviceType;
    const ParamFields fields = resolvePlanRow(row, base_.fields);
    const DeviceTypeView view = type.view();
    if (const Expected<void> valid = validateParamFields(
            fields, type, view.ymCaption.value_or(QString()), view.callCaption.value_or(QString()));
        !valid) {
        fault(row, nameOf(static_cast<ParamField>(valid.error().field)), valid.error().message);
        return;
    }
    const Expected<ParamPacket> built = buildParamPacket(fields, type);
    if (!built) {
        fault(row, nameOf(static_cast<ParamField>(built.error().field)),
              errorBoxText(built.error().message));
        return;
    }
    const ParamPacket& packet = *built;
    if (!convertsAsInt(fields.currPort)) {
        fault(row, nameOf(PlanColumn::CurrPort), u"设备设置错误！"_s);
        return;
    }
    const QByteArray newIp = packedBytes(packet, PlanColumn::Upip, type);
    if (const QString why =
            refusedAddress(quadOf(newIp), deviceMask(packet, fields, type), base_.laptop);
        !why.isEmpty()) {
        fault(row, nameOf(PlanColumn::Upip), why);
        return;
    }
    const int index = static_cast<int>(plan_.rows.size());
    newIps_.append({index, newIp});
    addresses_.append({index, packedBytes(packet, PlanColumn::Address, type)});
}

void PlanChecker::checkMac(PlanRow& row, const QString& cell)
{
    if (cell.trimmed().isEmpty())
        return;
    const QString column = bareHeader(plan_.headers[plan_.macColumn]);
    const auto mac = parseMac(cell);
    if (!mac) {
        fault(row, column, u"无效的MAC地址“%1”"_s.arg(cell.trimmed()));
        return;
    }
    if (!isUnicastMac(*mac)) {
        fault(row, column, u"%1 不是设备的MAC地址"_s.arg(*mac));
        return;
    }
    row.mac = *mac;
    macs_.append({static_cast<int>(plan_.rows.size()), mac->toLatin1()});
}

void PlanChecker::checkDuplicates()
{
    auto check = [&](const QList<std::pair<int, QByteArray>>& values, const QString& name) {
        QHash<QByteArray, QList<int>> rowsOf;
        for (const auto& [index, value] : values)
            rowsOf[value].append(index);
        for (const auto& [index, value] : values) {
            const QList<int>& same = rowsOf[value];
            if (same.size() < 2)
                continue;
            const int other = same[0] != index ? same[0] : same[1];
            fault(plan_.rows[index], name, u"与第%1行重复"_s.arg(plan_.rows[other].row));
        }
    };
    check(newIps_, nameOf(PlanColumn::Upip));
    check(addresses_, nameOf(PlanColumn::Address));
    if (plan_.macColumn >= 0)
        check(macs_, bareHeader(plan_.headers[plan_.macColumn]));
}

} // namespace

std::optional<PlanColumn> planColumnFor(const QString& header)
{
    const QString name = bareHeader(header);
    for (const FieldRow& c : paramFieldTable()) {
        if (name.compare(QStringView(c.planKey), Qt::CaseInsensitive) == 0 ||
            name == QStringView(c.caption) || (c.planAlias && name == QStringView(c.planAlias)))
            return c.key;
    }
    return std::nullopt;
}

QString planColumnCaption(PlanColumn column)
{
    return QString::fromUtf16(paramFieldRow(column).caption);
}

QString planColumnKey(PlanColumn column)
{
    return QString::fromUtf16(paramFieldRow(column).planKey);
}

bool isMacHeader(const QString& header)
{
    const QString name = bareHeader(header);
    return name.compare(u"mac"_s, Qt::CaseInsensitive) == 0 ||
           name.compare(macColumnCaption(), Qt::CaseInsensitive) == 0;
}

QString macColumnCaption()
{
    return u"设备MAC"_s;
}

std::optional<DeviceType> deviceTypeFor(const QString& cell)
{
    const QString text = cell.trimmed();
    for (const DeviceType& type : DeviceType::all()) {
        if (type.caption() == text)
            return type;
    }
    bool digits = !text.isEmpty() && text.size() <= 2;
    for (QChar c : text)
        digits = digits && c >= u'0' && c <= u'9';
    const int code = digits ? text.toInt() : 0;
    if (const auto type = DeviceType::fromCode(code))
        return *type;
    return std::nullopt;
}

QString PlanIssue::text() const
{
    if (row <= 0)
        return message;
    if (column.isEmpty())
        return u"第%1行：%2"_s.arg(row).arg(message);
    return u"第%1行，%2：%3"_s.arg(row).arg(column, message);
}

bool Plan::sendable(int index) const
{
    return !blocked && index >= 0 && index < rows.size() && !rows[index].faulty;
}

ParamFields resolvePlanRow(const PlanRow& row, const ParamFields& current)
{
    // Choosing the type first does what the type list does to the fields.
    ParamFields f = current;
    f.id1 = u"0"_s;
    f.id2 = u"0"_s;
    if (const auto& type = row.deviceType) {
        if (const auto groupText = type->view().groupText)
            f.groupIP = *groupText;
    }
    for (const FieldRow& entry : paramFieldTable()) {
        if (entry.text && row.values[fieldIndex(entry.key)])
            f.*entry.text = *row.values[fieldIndex(entry.key)];
    }
    return f;
}

Plan readPlan(const QByteArray& bytes, const PlanBase& base)
{
    Plan plan;
    const CsvText decoded = decodeCsv(bytes);
    plan.encoding = decoded.encoding;
    bool unterminated = false;
    // One record more than the header and the rows a plan may have tells it has too many.
    QList<CsvRecord> records = parseCsv(decoded.text, &unterminated, PlanMaxRows + 2);
    auto refuse = [&](const QString& why) {
        plan.refusal = why;
        plan.issues.append({0, {}, plan.refusal});
        plan.blocked = true;
        return plan;
    };
    if (records.size() > PlanMaxRows + 1)
        return refuse(u"方案超过%1台设备，请分成几个方案文件"_s.arg(PlanMaxRows));
    // A spreadsheet may export thousands of empty columns after the last one used.
    const qsizetype width = usedWidth(records);
    if (width > PlanMaxColumns)
        return refuse(u"方案有%1列，超过%2列，请删去不用的列"_s.arg(width).arg(PlanMaxColumns));
    for (CsvRecord& record : records) {
        if (record.cells.size() > width)
            record.cells.resize(std::max<qsizetype>(width, 1));
    }
    if (unterminated && records.size() == 1) {
        plan.issues.append({1, {}, OpenQuoteMessage});
        plan.blocked = true;
        return plan;
    }
    if (records.isEmpty() || records.first().cells.join(QString()).trimmed().isEmpty()) {
        plan.issues.append({1, {}, u"方案没有表头"_s});
        plan.blocked = true;
        return plan;
    }
    plan.rows.reserve(records.size() - 1);
    PlanChecker checker(plan, base);
    checker.readHeader(records.first());
    for (qsizetype i = 1; i < records.size(); ++i) {
        if (unterminated && i == records.size() - 1)
            checker.openQuote(records[i], static_cast<int>(i) + 1);
        else
            checker.readRow(records[i], static_cast<int>(i) + 1);
    }
    checker.checkDuplicates();
    if (plan.rows.isEmpty()) {
        plan.issues.append({0, {}, u"方案中没有设备"_s});
        plan.blocked = true;
    }
    std::stable_sort(plan.issues.begin(), plan.issues.end(),
                     [](const PlanIssue& a, const PlanIssue& b) { return a.row < b.row; });
    return plan;
}

Expected<Plan> readPlanFile(const QByteArray& path, const PlanBase& base)
{
    const Expected<QByteArray> read = readWholeFile(path, PlanMaxBytes);
    if (!read && read.error().code == EFBIG) {
        Plan refused;
        refused.refusal = u"方案文件超过%1 MB，请分成几个方案文件"_s.arg(PlanMaxBytes >> 20);
        refused.issues.append({0, {}, refused.refusal});
        refused.blocked = true;
        return refused;
    }
    return read.map([&](const QByteArray& bytes) { return readPlan(bytes, base); });
}

QString planReport(const Plan& plan)
{
    QString report;
    for (const QString& note : plan.notes)
        report += note + u'\n';
    for (const PlanIssue& issue : plan.issues)
        report += issue.text() + u'\n';
    if (plan.clean())
        report += u"方案无误：%1台设备\n"_s.arg(plan.rows.size());
    else
        report += u"方案有%1处错误（%2台设备）\n"_s.arg(plan.issues.size()).arg(plan.rows.size());
    return report;
}
