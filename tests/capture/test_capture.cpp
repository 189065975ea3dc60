// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/capture_writer.h"
#include "capture/pcapng.h"
#include "pcapng_reader.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <latch>
#include <map>
#include <random>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

CaptureRecord randomRecord(std::mt19937& rng)
{
    std::uniform_int_distribution<std::uint32_t> any;
    // Sizes cluster at the edges: empty, the padding steps and the largest whole payload.
    static const int sizes[] = {0, 1, 2, 3, 4, 5, 18, 41, 8191, CaptureMaxPayload};
    std::uniform_int_distribution<int> pick(0, 14);
    const int k = pick(rng);
    const int size = k < 10 ? sizes[k] : std::uniform_int_distribution<int>(0, 9000)(rng);
    CaptureRecord r;
    r.timeNs = static_cast<std::int64_t>(any(rng)) << 28 | any(rng) % (1 << 28);
    r.fromAddress = any(rng);
    r.toAddress = any(rng);
    r.fromPort = static_cast<std::uint16_t>(any(rng));
    r.toPort = static_cast<std::uint16_t>(any(rng));
    r.payload.resize(size);
    for (char& c : r.payload)
        c = static_cast<char>(any(rng));
    if (any(rng) % 2)
        r.comment = QByteArray(static_cast<int>(any(rng) % 40), 'x') + "参数包（下载参数）";
    return r;
}

bool haveTshark()
{
    return QProcess::execute(u"tshark"_s, {u"-v"_s}) == 0;
}

QString runTshark(const QStringList& args)
{
    QProcess tshark;
    tshark.start(u"tshark"_s, args);
    if (!tshark.waitForFinished(60000))
        return u"tshark did not finish"_s;
    return QString::fromUtf8(tshark.readAllStandardOutput()) +
           QString::fromUtf8(tshark.readAllStandardError());
}

TEST(Pcapng, AnyDatagramAndAddressesReadBackTheSame)
{
    std::mt19937 rng(23);
    for (int round = 0; round < 40; ++round) {
        std::vector<CaptureRecord> records;
        QByteArray file = pcapngFileHeader();
        for (int i = 0; i < 25; ++i) {
            records.push_back(randomRecord(rng));
            appendPcapngRecord(file, records.back());
        }
        std::string why;
        const auto read = readPcapng(file, why);
        ASSERT_TRUE(read) << why;
        EXPECT_EQ(read->linkType, 101);
        EXPECT_EQ(read->tsResolution, 9);
        ASSERT_EQ(read->packets.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const CaptureRecord& w = records[i];
            const ReadPacket& r = read->packets[i];
            const qsizetype kept = std::min<qsizetype>(w.payload.size(), CaptureMaxPayload);
            ASSERT_EQ(r.payload, w.payload.left(kept)) << "record " << i;
            EXPECT_EQ(r.originalLength, 28 + w.payload.size());
            EXPECT_EQ(r.timestamp, static_cast<std::uint64_t>(w.timeNs));
            EXPECT_EQ(r.from, w.fromAddress);
            EXPECT_EQ(r.to, w.toAddress);
            EXPECT_EQ(r.fromPort, w.fromPort);
            EXPECT_EQ(r.toPort, w.toPort);
            EXPECT_EQ(r.comment, w.comment);
        }
    }
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(CaptureWriter, RecordsInOrderIntoAPrivateFileThatReplacesAnEarlierOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"site.pcapng"_s);
    {
        QFile earlier(path);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("old");
        earlier.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    }
    CaptureWriter writer;
    QString error;
    ASSERT_TRUE(writer.start(path, error)) << error.toStdString();
    std::mt19937 rng(7);
    std::vector<CaptureRecord> records;
    for (int i = 0; i < 3000; ++i) {
        records.push_back(randomRecord(rng));
        records.back().payload.truncate(100);
        ASSERT_EQ(writer.add(records.back()), static_cast<std::uint64_t>(i + 1));
    }
    writer.stop();
    EXPECT_EQ(writer.add(records.front()), 0u) << "nothing is taken after the stop";
    EXPECT_EQ(writer.recorded(), 3000u);
    EXPECT_EQ(writer.lost(), 0u);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string why;
    const auto read = readPcapng(readAll(path), why);
    ASSERT_TRUE(read) << why;
    ASSERT_EQ(read->packets.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(read->packets[i].payload, records[i].payload) << i;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"site.pcapng"_s});
}

TEST(CaptureWriter, AFolderOrFifoIsRefusedAtOnceAndLeftAlone)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"pipe"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case {
        QString path;
        QString reason;
    };
    for (const Case& c :
         {Case{dir.path(), u"Is a directory"_s}, Case{fifo, u"Invalid argument"_s}}) {
        CaptureWriter writer;
        QString error;
        ASSERT_FALSE(writer.start(c.path, error));
        EXPECT_EQ(error, u"无法创建抓包文件“%1”：%2。"_s.arg(c.path, c.reason));
        EXPECT_FALSE(writer.running());
        EXPECT_EQ(writer.add(CaptureRecord{}), 0u);
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 1);
}

TEST(CaptureWriter, RecordsReachTheFileWithinASecondWhileRunning)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"live.pcapng"_s);
    CaptureWriter writer;
    QString error;
    ASSERT_TRUE(writer.start(path, error));
    CaptureRecord r;
    r.payload = "\x01";
    ASSERT_EQ(writer.add(r), 1u);
    // What a crash now would leave behind: the file as it stands, writer still running.
    std::optional<ReadFile> read;
    for (int waited = 0; waited < 1000 && !(read && read->packets.size() == 1); waited += 20) {
        ::usleep(20000);
        std::string why;
        read = readPcapng(readAll(path), why);
    }
    ASSERT_TRUE(read);
    EXPECT_EQ(read->packets.size(), 1u);
}

// Records the writer could not queue are counted in the file itself, while it runs and at its
// end, where the reader of the test and tshark's capinfos both find the count.
TEST(CaptureWriter, TellsTheFileHowManyRecordsWereLost)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"lossy.pcapng"_s);
    CaptureWriter writer;
    writer.setQueueLimit(200); // a record larger than this cannot be queued
    QString error;
    ASSERT_TRUE(writer.start(path, error)) << error.toStdString();
    CaptureRecord big;
    big.payload = QByteArray(300, 'x');
    CaptureRecord small;
    small.payload = "\x01";
    EXPECT_EQ(writer.add(big), 0u);
    EXPECT_EQ(writer.add(small), 1u);
    EXPECT_EQ(writer.lost(), 1u);
    std::optional<ReadFile> read;
    for (int waited = 0; waited < 2000 && !(read && read->dropped); waited += 20) {
        ::usleep(20000);
        std::string why;
        read = readPcapng(readAll(path), why);
    }
    ASSERT_TRUE(read && read->dropped) << "no count while running";
    EXPECT_EQ(*read->dropped, 1u);
    EXPECT_EQ(read->packets.size(), 1u);

    EXPECT_EQ(writer.add(big), 0u);
    EXPECT_EQ(writer.add(big), 0u);
    writer.stop();
    EXPECT_EQ(writer.lost(), 3u);
    std::string why;
    read = readPcapng(readAll(path), why);
    ASSERT_TRUE(read) << why;
    ASSERT_TRUE(read->dropped);
    EXPECT_EQ(*read->dropped, 3u);
    EXPECT_EQ(read->packets.size(), 1u);

    // tshark reads the file's own blocks with Wireshark's pcapng file dissector.
    if (!haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    const QString said =
        runTshark({u"-X"_s, u"read_format:MIME Files Format"_s, u"-r"_s, path, u"-T"_s, u"fields"_s,
                   u"-e"_s, u"pcapng.options.option.data.interface.dropped"_s});
    EXPECT_TRUE(said.contains(u"\n1,3\n"_s) || said.startsWith(u"1,3\n"_s)) << said.toStdString();
}

// The number add() gives a record is its frame in the file, as tshark counts them, while two
// threads add at once and refused records (lost, with statistics blocks after them) come
// between. A record is named by its ports: 1000 + its thread, 1 + its index.
struct FrameCase {
    const char* name;
    int threads;
    int perThread;
    int bigEvery; // every so many records of a thread, one too big to queue; 0 for none
    qsizetype queueLimit;
};
using testsupport::PrintTo;

class CaptureFrames : public testing::TestWithParam<FrameCase>
{};

TEST_P(CaptureFrames, AddGivesTheFrameNumberTheFileHas)
{
    const FrameCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"frames.pcapng"_s);
    CaptureWriter writer;
    writer.setQueueLimit(c.queueLimit);
    QString error;
    ASSERT_TRUE(writer.start(path, error)) << error.toStdString();
    const auto big = [&c](int i) { return c.bigEvery && i % c.bigEvery == 0; };
    std::vector<std::vector<std::uint64_t>> given(static_cast<std::size_t>(c.threads));
    std::latch ready(c.threads); // all start at once, so their records interleave
    std::vector<std::thread> adders;
    for (int t = 0; t < c.threads; ++t) {
        adders.emplace_back([&, t] {
            ready.arrive_and_wait();
            for (int i = 0; i < c.perThread; ++i) {
                CaptureRecord r{.fromPort = static_cast<std::uint16_t>(1000 + t),
                                .toPort = static_cast<std::uint16_t>(i + 1),
                                .payload = QByteArray(big(i) ? 2000 : 8, 'x'),
                                .comment = {}};
                given[static_cast<std::size_t>(t)].push_back(writer.add(r));
            }
        });
    }
    for (std::thread& a : adders)
        a.join();
    writer.stop();

    QStringList byFrame; // "frame fromPort toPort" of each number given, at its place
    std::uint64_t refused = 0;
    for (int t = 0; t < c.threads; ++t) {
        for (int i = 0; i < c.perThread; ++i) {
            const std::uint64_t frame = given[static_cast<std::size_t>(t)][i];
            EXPECT_TRUE(frame == 0 || !big(i)) << "a record too big to queue has no frame";
            refused += frame == 0;
            if (frame > static_cast<std::uint64_t>(byFrame.size()))
                byFrame.resize(static_cast<qsizetype>(frame));
            if (frame > 0)
                byFrame[static_cast<qsizetype>(frame - 1)] =
                    u"%1 %2 %3"_s.arg(frame).arg(1000 + t).arg(i + 1);
        }
    }
    EXPECT_EQ(writer.lost(), refused);
    EXPECT_EQ(refused > 0, c.bigEvery > 0);
    std::string why;
    const auto read = readPcapng(readAll(path), why);
    ASSERT_TRUE(read) << why;
    QStringList inFile;
    for (const ReadPacket& p : read->packets)
        inFile << u"%1 %2 %3"_s.arg(inFile.size() + 1).arg(p.fromPort).arg(p.toPort);
    EXPECT_EQ(inFile, byFrame);

    if (!haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    const QString said =
        runTshark({u"-r"_s, path, u"-T"_s, u"fields"_s, u"-E"_s, u"separator=/s"_s, u"-e"_s,
                   u"frame.number"_s, u"-e"_s, u"udp.srcport"_s, u"-e"_s, u"udp.dstport"_s});
    EXPECT_EQ(said.split(u'\n').filter(QRegularExpression(u"^\\d+ \\d+ \\d+$"_s)), byFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, CaptureFrames,
    testing::Values(FrameCase{"OneThreadNoneLost", 1, 300, 0, CaptureWriter::MaxQueuedBytes},
                    FrameCase{"TwoThreadsNoneLost", 2, 2000, 0, CaptureWriter::MaxQueuedBytes},
                    FrameCase{"TwoThreadsSomeTooBig", 2, 2000, 7, 1000},
                    // Small records are refused too while the writer lags.
                    FrameCase{"TwoThreadsTightQueue", 2, 2000, 5, 300}),
    [](const testing::TestParamInfo<FrameCase>& row) { return std::string(row.param.name); });

// A file whose writer kept up says so too: its count is 0.
TEST(CaptureWriter, AWholeFileEndsWithNoneLost)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"whole.pcapng"_s);
    CaptureWriter writer;
    QString error;
    ASSERT_TRUE(writer.start(path, error)) << error.toStdString();
    ASSERT_EQ(writer.add(CaptureRecord{}), 1u);
    writer.stop();
    std::string why;
    const auto read = readPcapng(readAll(path), why);
    ASSERT_TRUE(read) << why;
    ASSERT_TRUE(read->dropped);
    EXPECT_EQ(*read->dropped, 0u);
    EXPECT_EQ(read->statistics, 1);
}

// The dissector and the decoder read the same table of packets (tests/config).
struct Row {
    QString name;
    int type = 1;
    int port = 0;
    QByteArray bytes;
    QJsonObject expect;
};

std::vector<Row> packetTable()
{
    std::vector<Row> rows;
    QFile f(QString::fromUtf8(PACKET_TABLE));
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        rows.push_back({o[u"name"_s].toString(), o[u"type"_s].toInt(), o[u"port"_s].toInt(),
                        QByteArray::fromHex(o[u"hex"_s].toString().toLatin1()),
                        o[u"expect"_s].toObject()});
    }
    return rows;
}

const char* const FieldKeys[] = {
    "kind",           "new_ip",         "server_ip",       "gateway",        "command_port",
    "data_port",      "server_port",    "device_address",  "broadcast_ip",   "hidden_group_ip",
    "multicast_ip",   "subnet_mask",    "amplifier",       "alarm_host1_ip", "alarm_host2_ip",
    "alarm_host1_id", "alarm_host2_id", "paging_server_ip"};

TEST(Dissector, ReadsEveryTablePacketAsTheDecoderDoes)
{
    if (QProcess::execute(u"tshark"_s, {u"-v"_s}) != 0) {
        if (qEnvironmentVariable("CI") == u"true"_s)
            FAIL() << "tshark is missing (scripts/deps.sh installs it)";
        GTEST_SKIP() << "tshark is not installed";
    }
    const std::vector<Row> rows = packetTable();
    ASSERT_GE(rows.size(), 10u);
    std::map<int, std::vector<const Row*>> byType;
    for (const Row& r : rows)
        byType[r.type].push_back(&r);
    QTemporaryDir dir;
    for (const auto& [type, group] : byType) {
        QByteArray file = pcapngFileHeader();
        for (const Row* r : group) {
            CaptureRecord c;
            c.fromAddress = 0xC0A8010A;
            c.fromPort = 7520;
            c.toAddress = 0xC0A801C8;
            c.toPort = static_cast<std::uint16_t>(r->port);
            c.payload = r->bytes;
            appendPcapngRecord(file, c);
        }
        const QString path = dir.filePath(u"type%1.pcapng"_s.arg(type));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();

        QStringList args = {u"-X"_s, u"lua_script:"_s + QString::fromUtf8(DISSECTOR), u"-o"_s,
                            u"pa_terminal.device_type:%1"_s.arg(type),
                            // The table has a packet on a port of no preference.
                            u"-o"_s, u"pa_terminal.heuristic:TRUE"_s, u"-r"_s, path, u"-T"_s,
                            u"fields"_s};
        for (const char* key : FieldKeys)
            args << u"-e"_s << u"pa_terminal."_s + QString::fromLatin1(key);
        args << u"-e"_s << u"_ws.expert.message"_s;
        QProcess tshark;
        tshark.start(u"tshark"_s, args);
        ASSERT_TRUE(tshark.waitForFinished(60000));
        const QString said = QString::fromUtf8(tshark.readAllStandardError());
        const QString output = QString::fromUtf8(tshark.readAllStandardOutput());
        EXPECT_FALSE(said.contains(u"Lua Error"_s) || output.contains(u"Lua Error"_s))
            << said.toStdString();
        ASSERT_EQ(tshark.exitCode(), 0) << said.toStdString();
        const QStringList lines = output.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), static_cast<qsizetype>(group.size())) << output.toStdString();
        for (std::size_t i = 0; i < group.size(); ++i) {
            const Row& row = *group[i];
            const QStringList got = lines[static_cast<qsizetype>(i)].split(u'\t');
            ASSERT_EQ(got.size(), static_cast<qsizetype>(std::size(FieldKeys)) + 1);
            const QString expert = got.last();
            const QString kind = row.expect[u"kind"_s].toString();
            if (kind == u"invalid"_s) {
                // The decoder refuses these; the dissector reads a packet of the right
                // command and length all the same, and flags what the decoder refused.
                if (row.expect[u"error"_s].toString() == u"unused"_s)
                    EXPECT_TRUE(expert.contains(u"should be"_s)) << row.name.toStdString();
                else
                    EXPECT_TRUE(got[0].isEmpty()) << row.name.toStdString() << " is not ours";
                continue;
            }
            for (std::size_t k = 0; k < std::size(FieldKeys); ++k) {
                const QString key = QString::fromLatin1(FieldKeys[k]);
                const QString want = row.expect[key].toVariant().toString();
                EXPECT_EQ(got[static_cast<qsizetype>(k)], want)
                    << row.name.toStdString() << " " << FieldKeys[k];
            }
            EXPECT_EQ(expert.contains(u"hidden"_s), row.expect.contains(u"hidden_group_ip"_s))
                << row.name.toStdString();
            EXPECT_FALSE(expert.contains(u"should be"_s)) << row.name.toStdString();
        }
    }
}

// Only the ports of the preference are read by default; the heuristic waits to be asked for.
TEST(Dissector, ReadsThePortsOfItsPreferenceAndGuessesOnlyWhenAsked)
{
    if (!haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    const QByteArray param = QByteArray::fromHex(
        "48C0A801C8C0A801F8C0A801011D4C1D561D60C800FFFFFFFFE0000130000000000000000000000000");
    // A text datagram that happens to be 41 bytes long and to start with "H".
    const QByteArray text = "Hello from the paging console, port 5000.";
    ASSERT_EQ(text.size(), 41);
    const std::pair<std::uint16_t, QByteArray> datagrams[] = {
        {7500, param},
        {7520, param},
        {7550, QByteArray::fromHex("D7C0A801F8FFFFFF00C0A801016464646464")},
        {5000, text},
        {6000, param}};
    QByteArray file = pcapngFileHeader();
    for (const auto& [port, payload] : datagrams) {
        CaptureRecord c;
        c.fromAddress = 0x7F000001;
        c.fromPort = 40001;
        c.toAddress = 0x7F000002;
        c.toPort = port;
        c.payload = payload;
        appendPcapngRecord(file, c);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ports.pcapng"_s);
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();

    struct Case {
        QStringList options;
        QString columns; // the protocol column of each datagram
    };
    const QString P = u"PA_TERMINAL"_s;
    const Case cases[] = {
        {{}, u"%1 %1 %1 UDP UDP"_s.arg(P)},
        {{u"pa_terminal.heuristic:TRUE"_s}, u"%1 %1 %1 %1 %1"_s.arg(P)},
        {{u"pa_terminal.ports:6000"_s}, u"UDP UDP UDP UDP %1"_s.arg(P)},
    };
    for (const Case& c : cases) {
        QStringList args = {u"-X"_s, u"lua_script:"_s + QString::fromUtf8(DISSECTOR)};
        for (const QString& o : c.options)
            args << u"-o"_s << o;
        args << u"-r"_s << path << u"-T"_s << u"fields"_s << u"-e"_s << u"_ws.col.Protocol"_s;
        const QString said = runTshark(args);
        QStringList columns;
        for (const QString& line : said.split(u'\n', Qt::SkipEmptyParts)) {
            if (!line.startsWith(u"Running as user"_s))
                columns << line;
        }
        EXPECT_EQ(columns.join(u' '), c.columns) << c.options.join(u' ').toStdString();
    }
}

// Wireshark's plugin list shows the dissector with the program's version.
TEST(Dissector, TellsWiresharkItsVersion)
{
    if (!haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    const QString said = runTshark(
        {u"-G"_s, u"plugins"_s, u"-X"_s, u"lua_script:"_s + QString::fromUtf8(DISSECTOR)});
    const QString want =
        u"pa_terminal.lua\t"_s + QStringLiteral(PROJECT_VERSION) + u"\tlua script"_s;
    EXPECT_TRUE(said.contains(want)) << said.toStdString();
}

} // namespace
