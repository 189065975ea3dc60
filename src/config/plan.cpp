#include "config/plan.h"

#include "common/exceptions.h"
#include "common/sysutils.h"
#include "config/device_types.h"

#include <QHash>
#include <cstring>

using namespace Qt::StringLiterals;

namespace
{

struct ColumnName {
    PlanColumn column;
    const char16_t* key;
    const char16_t* caption;
    const char16_t* alias; // a caption the field takes for some device type, or null
};

// The captions are those the page shows before a type is chosen. The relabelled fields also
// answer to their one-key-alarm and zone-switcher captions; "子网掩码" stays edtYM's, as
// designed, so for the one-key alarm the subnet mask goes in the 组播IP column.
constexpr ColumnName columnNames[PlanColumnCount] = {
    {PlanColumn::Type, u"type", u"设备类型", nullptr},
    {PlanColumn::CurrIP, u"current_ip", u"当前设备IP", nullptr},
    {PlanColumn::CurrPort, u"current_port", u"当前设备命令端口", nullptr},
    {PlanColumn::Upip, u"new_ip", u"更新后设备IP", nullptr},
    {PlanColumn::ServerIP, u"server_ip", u"服务器IP", nullptr},
    {PlanColumn::NetIP, u"gateway", u"网关地址", nullptr},
    {PlanColumn::GPIP, u"broadcast_ip", u"数据广播IP", nullptr},
    {PlanColumn::Address, u"address", u"设备地址", nullptr},
    {PlanColumn::Order, u"command_port", u"命令端口", nullptr},
    {PlanColumn::Data, u"data_port", u"数据端口", nullptr},
    {PlanColumn::ServerPort, u"server_port", u"服务器端口", nullptr},
    {PlanColumn::GroupIP, u"group_ip", u"组播IP", u"从属功放设备编号"},
    {PlanColumn::YM, u"subnet_mask", u"子网掩码", u"报警主机一IP"},
    {PlanColumn::CallIp, u"paging_server_ip", u"寻呼服务器IP", u"报警主机二IP"},
    {PlanColumn::ID1, u"alarm_host1", u"一键报警主机一地址", nullptr},
    {PlanColumn::ID2, u"alarm_host2", u"一键报警主机二地址", nullptr},
};

int indexOf(PlanColumn column)
{
    return static_cast<int>(column);
}

// A header as the report names it: trimmed, without a trailing colon.
QString bareHeader(const QString& header)
{
    QString name = header.trimmed();
    if (name.endsWith(u'：') || name.endsWith(u':'))
        name.chop(1);
    return name.trimmed();
}

PlanColumn columnOf(ParamField field)
{
    switch (field) {
    case ParamField::CurrIP:
        return PlanColumn::CurrIP;
    case ParamField::Upip:
        return PlanColumn::Upip;
    case ParamField::ServerIP:
        return PlanColumn::ServerIP;
    case ParamField::NetIP:
        return PlanColumn::NetIP;
    case ParamField::GPIP:
        return PlanColumn::GPIP;
    case ParamField::GroupIP:
        return PlanColumn::GroupIP;
    case ParamField::YM:
        return PlanColumn::YM;
    case ParamField::CallIp:
        return PlanColumn::CallIp;
    }
    return PlanColumn::CurrIP;
}

bool convertsAsQuad(const QString& text)
{
    try {
        uint8_t b[4];
        IPstrToByte(trim(text), b[0], b[1], b[2], b[3]);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

bool convertsAsInt(const QString& text)
{
    int value = 0;
    return tryStrToInt(text, value);
}

// The field whose conversion stopped the packet: the first one, in the order it is packed,
// that does not convert.
PlanColumn unconvertedColumn(const ParamFields& f, int type)
{
    struct Step {
        PlanColumn column;
        const QString& text;
        bool quad;
    };
    std::vector<Step> steps = {
        {PlanColumn::Upip, f.upip, true},
        {PlanColumn::ServerIP, f.serverIP, true},
        {PlanColumn::NetIP, f.netIP, true},
        {PlanColumn::Order, f.order, false},
        {PlanColumn::Data, f.data, false},
        {PlanColumn::ServerPort, f.serverPort, false},
        {PlanColumn::Address, f.address, false},
        {PlanColumn::GPIP, f.gpip, true},
        {PlanColumn::GroupIP, f.groupIP, type != 6},
    };
    if (usesGroupBox1(type)) {
        steps.push_back({PlanColumn::YM, f.ym, true});
        steps.push_back({PlanColumn::CallIp, f.callIp, true});
    }
    if (type == 4) {
        steps.push_back({PlanColumn::ID1, f.id1, false});
        steps.push_back({PlanColumn::ID2, f.id2, false});
    }
    for (const Step& s : steps) {
        if (!(s.quad ? convertsAsQuad(s.text) : convertsAsInt(s.text)))
            return s.column;
    }
    return PlanColumn::Upip;
}

class PlanChecker
{
public:
    PlanChecker(Plan& plan, const PlanBase& base) : plan_(plan), base_(base) {}

    void readHeader(const CsvRecord& header);
    void readRow(const CsvRecord& record, int row);
    void checkDuplicates();

private:
    QString nameOf(PlanColumn column) const;
    void fault(PlanRow& row, const QString& column, const QString& message);
    void checkDownload(PlanRow& row);

    Plan& plan_;
    const PlanBase& base_;
    std::array<int, PlanColumnCount> position_; // header position of each column, -1 absent
    // Wire bytes of each row's new address and device address, for the duplicate check.
    QList<std::pair<int, quint32>> newIps_;
    QList<std::pair<int, quint32>> addresses_;
};

QString PlanChecker::nameOf(PlanColumn column) const
{
    const int at = position_[indexOf(column)];
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
        if (!column) {
            plan_.issues.append({1, name.isEmpty() ? u"第%1列"_s.arg(i + 1) : name, u"未知的列"_s});
            plan_.blocked = true;
        } else if (position_[indexOf(*column)] >= 0) {
            plan_.issues.append({1, name, u"与第%1列重复"_s.arg(position_[indexOf(*column)] + 1)});
            plan_.blocked = true;
        } else {
            position_[indexOf(*column)] = static_cast<int>(i);
        }
    }
    if (position_[indexOf(PlanColumn::Type)] < 0 && base_.deviceType == 0) {
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
        for (qsizetype i = 0; i < record.cells.size(); ++i) {
            if (const auto column = plan_.columns[i];
                column && position_[indexOf(*column)] == static_cast<int>(i))
                row.values[indexOf(*column)] = record.cells[i];
        }
        if (const auto& type = row.values[indexOf(PlanColumn::Type)]) {
            if (const auto code = deviceTypeFor(*type))
                row.deviceType = *code;
            else
                fault(row, nameOf(PlanColumn::Type), u"无效的设备类型“%1”"_s.arg(*type));
        }
        if (!row.faulty && row.deviceType != 0)
            checkDownload(row);
    }
    plan_.rows.append(std::move(row));
}

// The checks the download command makes, in its order, with its messages.
void PlanChecker::checkDownload(PlanRow& row)
{
    const ParamFields fields = resolvePlanRow(row, base_.fields);
    const DeviceTypeView view = deviceTypeViewFor(row.deviceType);
    if (const auto f =
            validateParamFields(fields, row.deviceType, view.ymCaption.value_or(QString()),
                                view.callCaption.value_or(QString()))) {
        fault(row, nameOf(columnOf(f->field)), f->message);
        return;
    }
    ParamPacket packet;
    try {
        packet = buildParamPacket(fields, row.deviceType);
    } catch (const EConvertError& e) {
        fault(row, nameOf(unconvertedColumn(fields, row.deviceType)), errorBoxText(e.Message()));
        return;
    }
    if (!convertsAsInt(fields.currPort)) {
        fault(row, nameOf(PlanColumn::CurrPort), u"设备设置错误！"_s);
        return;
    }
    quint32 ip = 0;
    std::memcpy(&ip, &packet[1], 4);
    newIps_.append({static_cast<int>(plan_.rows.size()), ip});
    addresses_.append({static_cast<int>(plan_.rows.size()), packet[19] | (packet[20] << 8)});
}

void PlanChecker::checkDuplicates()
{
    auto check = [&](const QList<std::pair<int, quint32>>& values, PlanColumn column) {
        QHash<quint32, QList<int>> rowsOf;
        for (const auto& [index, value] : values)
            rowsOf[value].append(index);
        for (const auto& [index, value] : values) {
            const QList<int>& same = rowsOf[value];
            if (same.size() < 2)
                continue;
            const int other = same[0] != index ? same[0] : same[1];
            fault(plan_.rows[index], nameOf(column), u"与第%1行重复"_s.arg(plan_.rows[other].row));
        }
    };
    check(newIps_, PlanColumn::Upip);
    check(addresses_, PlanColumn::Address);
}

} // namespace

std::optional<PlanColumn> planColumnFor(const QString& header)
{
    const QString name = bareHeader(header);
    for (const ColumnName& c : columnNames) {
        if (name.compare(QStringView(c.key), Qt::CaseInsensitive) == 0 ||
            name == QStringView(c.caption) || (c.alias && name == QStringView(c.alias)))
            return c.column;
    }
    return std::nullopt;
}

QString planColumnCaption(PlanColumn column)
{
    return QString::fromUtf16(columnNames[indexOf(column)].caption);
}

QString planColumnKey(PlanColumn column)
{
    return QString::fromUtf16(columnNames[indexOf(column)].key);
}

std::optional<int> deviceTypeFor(const QString& cell)
{
    const QString text = cell.trimmed();
    const int caption = static_cast<int>(deviceTypeCaptions().indexOf(text));
    if (caption >= 0)
        return caption + 1;
    bool digits = !text.isEmpty() && text.size() <= 2;
    for (QChar c : text)
        digits = digits && c >= u'0' && c <= u'9';
    const int code = digits ? text.toInt() : 0;
    if (code >= 1 && code <= DeviceTypeCount)
        return code;
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
    if (const auto groupText = deviceTypeViewFor(row.deviceType).groupText)
        f.groupIP = *groupText;
    QString* fieldOf[PlanColumnCount] = {
        nullptr,  &f.currIP, &f.currPort,   &f.upip,    &f.serverIP, &f.netIP,  &f.gpip, &f.address,
        &f.order, &f.data,   &f.serverPort, &f.groupIP, &f.ym,       &f.callIp, &f.id1,  &f.id2,
    };
    for (int i = 0; i < PlanColumnCount; ++i) {
        if (fieldOf[i] && row.values[i])
            *fieldOf[i] = *row.values[i];
    }
    return f;
}

Plan readPlan(const QByteArray& bytes, const PlanBase& base)
{
    Plan plan;
    const CsvText decoded = decodeCsv(bytes);
    plan.encoding = decoded.encoding;
    bool unterminated = false;
    const QList<CsvRecord> records = parseCsv(decoded.text, &unterminated);
    if (records.isEmpty() || records.first().cells.join(QString()).trimmed().isEmpty()) {
        plan.issues.append({1, {}, u"方案没有表头"_s});
        plan.blocked = true;
        return plan;
    }
    plan.rows.reserve(records.size() - 1);
    PlanChecker checker(plan, base);
    checker.readHeader(records.first());
    for (qsizetype i = 1; i < records.size(); ++i)
        checker.readRow(records[i], static_cast<int>(i) + 1);
    if (unterminated && !plan.rows.isEmpty()) {
        PlanRow& last = plan.rows.last();
        last.faulty = true;
        last.fault = u"引号没有闭合"_s;
        plan.issues.append({last.row, {}, last.fault});
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

QString planReport(const Plan& plan)
{
    QString report;
    for (const PlanIssue& issue : plan.issues)
        report += issue.text() + u'\n';
    if (plan.clean())
        report += u"方案无误：%1台设备\n"_s.arg(plan.rows.size());
    else
        report += u"方案有%1处错误（%2台设备）\n"_s.arg(plan.issues.size()).arg(plan.rows.size());
    return report;
}
