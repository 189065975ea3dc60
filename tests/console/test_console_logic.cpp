// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "console/export_file.h"
#include "console/monitor_line.h"
#include "console/test_datagram.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <optional>

namespace
{

using testsupport::PrintTo;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

QByteArray counting(int n) // 0, 1, 2, ... n-1 (mod 256)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += static_cast<char>(i & 0xFF);
    return out;
}

QString numbers(int from, int to) // "from,from+1,...,to,"
{
    QString out;
    for (int i = from; i <= to; ++i)
        out += QString::number(i) + u',';
    return out;
}

QString zeros(int n)
{
    return QStringLiteral("0,").repeated(n);
}

struct LineCase {
    const char* name;
    QByteArray datagram;
    int showByteCount;
    bool dataOnly;
    QString expected;
};

class MonitorLineTable : public ::testing::TestWithParam<LineCase>
{};

TEST_P(MonitorLineTable, FormatsTheListLine)
{
    const LineCase& c = GetParam();
    EXPECT_EQ(monitorLine(c.datagram, c.showByteCount, c.dataOnly, QStringLiteral("192.168.1.200"),
                          7500, 7520),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    DataText, MonitorLineTable,
    ::testing::Values(
        LineCase{"ShortDatagramPaddedWithZeros", bytes({1, 2, 3}), 53, true,
                 QStringLiteral("1,2,3,") + zeros(50)},
        LineCase{"ZeroShowsEmptyLine", bytes({1, 2, 3}), 0, true, QString()},
        LineCase{"NegativeShowsEmptyLine", bytes({1, 2, 3}), -7, true, QString()},
        LineCase{"MostNegative", bytes({1}), INT_MIN, true, QString()},
        LineCase{"FewerThanDatagram", bytes({1, 2, 3}), 2, true, QStringLiteral("1,2,")},
        LineCase{"AllByteWidths", bytes({0, 9, 10, 99, 100, 255}), 6, true,
                 QStringLiteral("0,9,10,99,100,255,")},
        LineCase{"EmptyDatagram", QByteArray(), 3, true, QStringLiteral("0,0,0,")},
        LineCase{"Hundred", counting(150), 100, true, numbers(0, 99)},
        LineCase{"AboveHundredShowsHundred", counting(150), 101, true, numbers(0, 99)},
        LineCase{"FarAboveHundred", counting(150), INT_MAX, true, numbers(0, 99)},
        LineCase{"AboveHundredShortDatagram", bytes({7}), 500, true,
                 QStringLiteral("7,") + zeros(99)}));

INSTANTIATE_TEST_SUITE_P(
    WithAddresses, MonitorLineTable,
    ::testing::Values(
        LineCase{"SiteExample", bytes({0x48, 0x01}), 2, false,
                 QStringLiteral("IP: 192.168.1.200 SPort:7500 TPort:7520  Data: 72,1,")},
        LineCase{"NoDataShown", bytes({0x48}), 0, false,
                 QStringLiteral("IP: 192.168.1.200 SPort:7500 TPort:7520  Data: ")}));

TEST(MonitorLine, AppendsAfterWhatIsThere)
{
    QString out = QStringLiteral("x");
    appendMonitorLine(out, bytes({1}), 2, false, QStringLiteral("127.0.0.1"), 1, 65535);
    EXPECT_EQ(out, QStringLiteral("xIP: 127.0.0.1 SPort:1 TPort:65535  Data: 1,0,"));
}

// ---- the test datagram

struct DatagramCase {
    const char* name;
    std::array<const char*, 10> data;
    const char* count;
    const char* port;
    const char* num;
    std::optional<QByteArray> bytes; // nothing: the command fails
    QString error;                   // the conversion error's message when it fails
    int showByteCount;               // ShowByteCount afterwards (it starts at 77)
    int portValue;
};

constexpr std::array<const char*, 10> defaults = {"1", "0", "0", "0", "0", "0", "0", "0", "0", "0"};
constexpr std::array<const char*, 10> oneToTen = {"1", "2", "3", "4", "5",
                                                  "6", "7", "8", "9", "10"};

class TestDatagramTable : public ::testing::TestWithParam<DatagramCase>
{};

TEST_P(TestDatagramTable, ConvertsInOrder)
{
    const DatagramCase& c = GetParam();
    TestDatagramFields fields;
    fields.byteCount = QString::fromUtf8(c.num);
    for (std::size_t k = 0; k < 10; ++k)
        fields.bytes[k] = QString::fromUtf8(c.data[k]);
    fields.count = QString::fromUtf8(c.count);
    fields.port = QString::fromUtf8(c.port);
    fields.host = QStringLiteral(" 127.0.0.1 ");

    int showByteCount = 77;
    if (c.bytes) {
        const TestDatagram d = buildTestDatagram(fields, showByteCount);
        EXPECT_EQ(d.bytes.toHex(' '), c.bytes->toHex(' '));
        EXPECT_EQ(d.port, c.portValue);
        EXPECT_EQ(d.host, QStringLiteral(" 127.0.0.1 ")); // the host goes out as typed
    } else {
        try {
            buildTestDatagram(fields, showByteCount);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), c.error);
        }
    }
    EXPECT_EQ(showByteCount, c.showByteCount);
}

INSTANTIATE_TEST_SUITE_P(
    Sends, TestDatagramTable,
    ::testing::Values(
        DatagramCase{"Defaults", defaults, "1", "7500", "53", bytes({1}), {}, 53, 7500},
        DatagramCase{"TenInFieldOrder",
                     oneToTen,
                     "10",
                     "7500",
                     "53",
                     bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
                     {},
                     53,
                     7500},
        DatagramCase{"OnlyFirstThree", oneToTen, "3", "7500", "53", bytes({1, 2, 3}), {}, 53, 7500},
        DatagramCase{"LowEightBits",
                     {"300", "-1", "$1FF", "0x80", "256", "-256", "2147483647", "-2147483648",
                      "$FFFFFFFF", " 7"},
                     "10",
                     "7500",
                     "53",
                     bytes({0x2C, 0xFF, 0xFF, 0x80, 0, 0, 0xFF, 0, 0xFF, 7}),
                     {},
                     53,
                     7500},
        DatagramCase{"PortUnbounded", defaults, "1", "65537", "53", bytes({1}), {}, 53, 65537},
        DatagramCase{"NumStoredAsTyped", defaults, "1", "7500", "-5", bytes({1}), {}, -5, 7500}));

INSTANTIATE_TEST_SUITE_P(
    Fails, TestDatagramTable,
    ::testing::Values(DatagramCase{"NumFirst",
                                   {"1", "x", "0", "0", "0", "0", "0", "0", "0", "0"},
                                   "1",
                                   "p",
                                   "abc",
                                   std::nullopt,
                                   QStringLiteral("'abc' is not a valid integer value"),
                                   77,
                                   0},
                      DatagramCase{"NumStaysStored",
                                   {"1", "0", "abc", "0", "0", "0", "0", "0", "0", "0"},
                                   "1",
                                   "7500",
                                   "8",
                                   std::nullopt,
                                   QStringLiteral("'abc' is not a valid integer value"),
                                   8,
                                   0},
                      DatagramCase{"FirstBadFieldWins",
                                   {"1", "a", "0", "0", "b", "0", "0", "0", "0", "0"},
                                   "1",
                                   "7500",
                                   "53",
                                   std::nullopt,
                                   QStringLiteral("'a' is not a valid integer value"),
                                   53,
                                   0},
                      DatagramCase{"UnsentFieldStillConverted",
                                   {"1", "2", "3", "0", "0", "0", "0", "0", "9x", "0"},
                                   "3",
                                   "7500",
                                   "53",
                                   std::nullopt,
                                   QStringLiteral("'9x' is not a valid integer value"),
                                   53,
                                   0},
                      DatagramCase{"NoCountChosen", defaults, "", "7500", "53", std::nullopt,
                                   QStringLiteral("'' is not a valid integer value"), 53, 0},
                      DatagramCase{"BytesBeforeCount",
                                   {"1", "0", "0", "0", "0", "0", "0", "0", "0", "q"},
                                   "",
                                   "7500",
                                   "53",
                                   std::nullopt,
                                   QStringLiteral("'q' is not a valid integer value"),
                                   53,
                                   0},
                      DatagramCase{"CountBeforePort", defaults, "", "p", "53", std::nullopt,
                                   QStringLiteral("'' is not a valid integer value"), 53, 0},
                      DatagramCase{"Port", defaults, "1", "75 00", "53", std::nullopt,
                                   QStringLiteral("'75 00' is not a valid integer value"), 53, 0}));

// An export ends where the first fault comes, and the source stops there too: it is asked for no
// piece after the one whose take failed. The earlier file stays unless the export was whole.
struct ExportStopCase {
    const char* name;
    int cancelAfter;   // pieces written before the cancel is asked; -1 for none
    int writeFailsAt;  // the write that fails with ENOSPC (1-based); 0 for none
    int sourceFailsAt; // the piece the source cannot hand; 0 for none
    int handed;        // pieces the source handed
    Fault fault;       // no message and code 0 for a whole export
};

class ExportStops : public testing::TestWithParam<ExportStopCase>
{};

TEST_P(ExportStops, AtTheFirstFaultAndTellsWhich)
{
    const ExportStopCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QFile earlier(path);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("old") == 3);
    earlier.close();
    ExportControl control;
    int writes = 0, handed = 0;
    const auto write = control.ops.write;
    control.ops.write = [&](int fd, const void* data, size_t size) -> ssize_t {
        if (++writes == c.writeFailsAt)
            return errno = ENOSPC, -1;
        return write(fd, data, size);
    };
    control.cancelled = [&] { return c.cancelAfter >= 0 && writes >= c.cancelAfter; };
    const Expected<void> outcome = writeExportFile(
        path, ExportBytesSource(),
        [&](const ExportTextTake& take) -> Expected<void> {
            for (int i = 1; i <= 5; ++i) {
                if (i == c.sourceFailsAt)
                    return fail(QStringLiteral("Stream read error"));
                ++handed;
                if (const Expected<void> taken = take(QStringLiteral("1,\n")); !taken)
                    return taken;
            }
            return {};
        },
        control);
    const Fault got = outcome ? Fault{} : outcome.error();
    EXPECT_EQ(got.message, c.fault.message);
    EXPECT_EQ(got.code, c.fault.code);
    EXPECT_EQ(!outcome && isCancelled(outcome.error()), c.cancelAfter >= 0);
    EXPECT_EQ(handed, c.handed);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), outcome ? QByteArray("1,\r\n1,\r\n1,\r\n1,\r\n1,\r\n") : "old");
}

INSTANTIATE_TEST_SUITE_P(
    Export, ExportStops,
    testing::Values(
        ExportStopCase{"Whole", -1, 0, 0, 5, {}},
        ExportStopCase{"CancelledAfterTwo", 2, 0, 0, 3, {QString(), -1, ECANCELED}},
        ExportStopCase{"CancelledAtTheEnd", 5, 0, 0, 5, {QString(), -1, ECANCELED}},
        ExportStopCase{
            "WriteFails", -1, 2, 0, 2, {QStringLiteral("Stream write error"), -1, ENOSPC}},
        ExportStopCase{"SourceFails", -1, 0, 4, 3, {QStringLiteral("Stream read error"), -1, 0}}));

TEST(TestDatagram, CountOutsideTheListNeverReadsPastTheArray)
{
    TestDatagramFields fields;
    fields.byteCount = QStringLiteral("53");
    for (std::size_t k = 0; k < 10; ++k)
        fields.bytes[k] = QString::number(k + 1);
    fields.port = QStringLiteral("1");
    int showByteCount = 0;
    fields.count = QStringLiteral("11");
    EXPECT_EQ(buildTestDatagram(fields, showByteCount).bytes.size(), 10);
    fields.count = QStringLiteral("-1");
    EXPECT_EQ(buildTestDatagram(fields, showByteCount).bytes.size(), 0);
}

} // namespace
