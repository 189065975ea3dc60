// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "config/param_packet.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <functional>
#include <ostream>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

QByteArray bytes(const ParamPacket& p)
{
    return QByteArray(reinterpret_cast<const char*>(p.data()), static_cast<int>(p.size()));
}

// 0..28 with the page's default texts; the rest depends on the device type.
const char* const kHead = "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF";
const char* const kGroupDefault = "E0000130";
const char* const kZeros12 = "000000000000 000000000000";

QByteArray expected(const char* group, const char* tail)
{
    return hex(kHead) + hex(group) + hex(tail);
}

using Edit = std::function<void(ParamFields&)>;

// --- the whole packet for every device type -------------------------------------------------

struct PacketCase {
    const char* name;
    int code;
    Edit edit;
    QByteArray bytes;
};

class ParamPacketByType : public ::testing::TestWithParam<PacketCase>
{};

TEST_P(ParamPacketByType, BuildsTheFortyOneBytes)
{
    const auto& c = GetParam();
    ParamFields f;
    if (c.edit)
        c.edit(f);
    const QByteArray got = bytes(buildParamPacket(f, DeviceType(c.code)));
    EXPECT_EQ(got.size(), 41);
    EXPECT_EQ(got.toHex(' '), c.bytes.toHex(' '));
}

const Edit kNone;
const Edit kZoneDefault = [](ParamFields& f) { f.groupIP = u"0"_s; }; // what choosing 6 types
const char* const kGb1Defaults = "FFFFFF00 C0A801F8";

INSTANTIATE_TEST_SUITE_P(
    EveryCode, ParamPacketByType,
    ::testing::Values(
        PacketCase{"code1", 1, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code2", 2, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code3", 3, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code4", 4, kNone, expected(kGroupDefault, "FFFFFF00 C0A801F8 0000 0000")},
        PacketCase{"code4AlarmNumbersLowByteFirst", 4,
                   [](ParamFields& f) {
                       f.id1 = u"258"_s;
                       f.id2 = u"-1"_s;
                   },
                   expected(kGroupDefault, "FFFFFF00 C0A801F8 0201 FF00")},
        PacketCase{"code5", 5, kNone, expected(kGroupDefault, "FFFFFF00 C0A801F8 0000 0000")},
        PacketCase{"code5IgnoresAlarmNumbers", 5,
                   [](ParamFields& f) {
                       f.id1 = u"abc"_s;
                       f.id2 = u"7"_s;
                   },
                   expected(kGroupDefault, "FFFFFF00 C0A801F8 0000 0000")},
        PacketCase{"code6", 6, kZoneDefault, expected("00000000", kZeros12)},
        PacketCase{"code6Number3", 6, [](ParamFields& f) { f.groupIP = u"3"_s; },
                   expected("03000000", kZeros12)},
        PacketCase{"code6Number300", 6, [](ParamFields& f) { f.groupIP = u"300"_s; },
                   expected("2C010000", kZeros12)},
        PacketCase{"code6LeadingBlanksAllowed", 6, [](ParamFields& f) { f.groupIP = u"  7"_s; },
                   expected("07000000", kZeros12)},
        PacketCase{"code7", 7, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code8", 8, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code9", 9, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code10", 10, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code11", 11, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"code12", 12, kNone, expected(kGroupDefault, kZeros12)},
        PacketCase{"plainTypesIgnoreHiddenGroupBox1", 1,
                   [](ParamFields& f) {
                       f.ym = u"x"_s;
                       f.callIp = u""_s;
                       f.id1 = u"abc"_s;
                   },
                   expected(kGroupDefault, kZeros12)}),
    CaseName());

// The byte layout written out once in full, against mistakes in the helpers above.
TEST(ParamPacket, CodeOneDefaultsByteForByte)
{
    const QByteArray want = hex("48 C0 A8 01 C8 C0 A8 01 F8 C0 A8 01 01 1D 4C 1D 56 1D 60 C8 00 "
                                "FF FF FF FF E0 00 01 30 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(bytes(buildParamPacket(ParamFields{}, DeviceType(1))).toHex(' '), want.toHex(' '));
}

// --- single encodings ------------------------------------------------------------------------

struct EncodingCase {
    const char* name;
    int code;
    Edit edit;
    int offset;
    QByteArray bytes;
};

class ParamPacketEncoding : public ::testing::TestWithParam<EncodingCase>
{};

TEST_P(ParamPacketEncoding, PutsTheValueAtItsOffset)
{
    const auto& c = GetParam();
    ParamFields f;
    c.edit(f);
    const QByteArray got =
        bytes(buildParamPacket(f, DeviceType(c.code))).mid(c.offset, c.bytes.size());
    EXPECT_EQ(got.toHex(' '), c.bytes.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ParamPacketEncoding,
    ::testing::Values(
        EncodingCase{"port7500", 1, [](ParamFields& f) { f.order = u"7500"_s; }, 13, hex("1D4C")},
        EncodingCase{"port70000", 1, [](ParamFields& f) { f.order = u"70000"_s; }, 13, hex("1170")},
        EncodingCase{"portMinus1", 1, [](ParamFields& f) { f.order = u"-1"_s; }, 13, hex("00FF")},
        EncodingCase{"portMinus255", 1, [](ParamFields& f) { f.data = u"-255"_s; }, 15,
                     hex("0001")},
        EncodingCase{"portMinus256", 1, [](ParamFields& f) { f.serverPort = u"-256"_s; }, 17,
                     hex("FF00")},
        EncodingCase{"portHex", 1, [](ParamFields& f) { f.serverPort = u"$1d4C"_s; }, 17,
                     hex("1D4C")},
        EncodingCase{"portLeadingBlanks", 1, [](ParamFields& f) { f.data = u"  7510"_s; }, 15,
                     hex("1D56")},
        EncodingCase{"portIntMin", 1, [](ParamFields& f) { f.order = u"-2147483648"_s; }, 13,
                     hex("0000")},
        EncodingCase{"address200", 1, [](ParamFields& f) { f.address = u"200"_s; }, 19,
                     hex("C800")},
        EncodingCase{"address70000", 1, [](ParamFields& f) { f.address = u"70000"_s; }, 19,
                     hex("7011")},
        EncodingCase{"addressMinus1", 1, [](ParamFields& f) { f.address = u"-1"_s; }, 19,
                     hex("FF00")},
        EncodingCase{"octet300", 1, [](ParamFields& f) { f.upip = u"192.168.1.300"_s; }, 1,
                     hex("C0A8012C")},
        EncodingCase{"octetsWrapAndNegative", 1,
                     [](ParamFields& f) { f.serverIP = u"256.-1.511.0"_s; }, 5, hex("00FFFF00")},
        EncodingCase{"quadTrimmed", 1, [](ParamFields& f) { f.netIP = u" 192.168.1.1 "_s; }, 9,
                     hex("C0A80101")},
        EncodingCase{"quadTrimsTabsAndControls", 1,
                     [](ParamFields& f) { f.gpip = u"\t10.0.0.255\r\n"_s; }, 21, hex("0A0000FF")},
        EncodingCase{"groupTrimmed", 8, [](ParamFields& f) { f.groupIP = u" 239.1.2.3 "_s; }, 25,
                     hex("EF010203")},
        EncodingCase{"code4SubnetInGroupField", 4,
                     [](ParamFields& f) { f.groupIP = u"255.255.0.0"_s; }, 25, hex("FFFF0000")},
        EncodingCase{"code4AlarmHosts", 4,
                     [](ParamFields& f) {
                         f.ym = u"10.0.0.1"_s;
                         f.callIp = u" 10.0.0.2"_s;
                     },
                     29, hex("0A000001 0A000002")}),
    CaseName());

// --- conversion faults while packing: the first field in packing order is quoted -------------

struct FaultCase {
    const char* name;
    int code;
    Edit edit;
    QString message;
};

class ParamPacketFault : public ::testing::TestWithParam<FaultCase>
{};

TEST_P(ParamPacketFault, RaisesTheConversionErrorOfTheFirstBadField)
{
    const auto& c = GetParam();
    ParamFields f;
    c.edit(f);
    try {
        buildParamPacket(f, DeviceType(c.code));
        FAIL() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ParamPacketFault,
    ::testing::Values(
        FaultCase{"sevenLetters", 1, [](ParamFields& f) { f.upip = u"abcdefg"_s; },
                  u"'' is not a valid integer value"_s},
        FaultCase{"twoTrailingBlanksAreTrimmedThenTooFewDots", 1,
                  [](ParamFields& f) { f.upip = u"1.2.3  "_s; },
                  u"'' is not a valid integer value"_s},
        FaultCase{"addressBeforePorts", 1,
                  [](ParamFields& f) {
                      f.netIP = u"1.2.3.x"_s;
                      f.order = u"abc"_s;
                  },
                  u"'x' is not a valid integer value"_s},
        FaultCase{"portsInOrder", 1,
                  [](ParamFields& f) {
                      f.data = u"d"_s;
                      f.serverPort = u"s"_s;
                      f.address = u"a"_s;
                  },
                  u"'d' is not a valid integer value"_s},
        FaultCase{"portUntrimmed", 1, [](ParamFields& f) { f.order = u"7500 "_s; },
                  u"'7500 ' is not a valid integer value"_s},
        FaultCase{"addressBeforeBroadcast", 1,
                  [](ParamFields& f) {
                      f.address = u""_s;
                      f.gpip = u"q"_s;
                  },
                  u"'' is not a valid integer value"_s},
        FaultCase{"broadcastBeforeGroup", 1,
                  [](ParamFields& f) {
                      f.gpip = u"1.2.3.4.5"_s;
                      f.groupIP = u"g"_s;
                  },
                  u"'4.5' is not a valid integer value"_s},
        FaultCase{"zoneNumberLeftInHiddenGroupField", 1, [](ParamFields& f) { f.groupIP = u"0"_s; },
                  u"'' is not a valid integer value"_s},
        FaultCase{"code4EmptyGroupField", 4, [](ParamFields& f) { f.groupIP = u""_s; },
                  u"'' is not a valid integer value"_s},
        FaultCase{"code6GroupIsANumber", 6, [](ParamFields& f) { f.groupIP = u"224.0.1.48"_s; },
                  u"'224.0.1.48' is not a valid integer value"_s},
        FaultCase{"code6NumberUntrimmed", 6, [](ParamFields& f) { f.groupIP = u"3 "_s; },
                  u"'3 ' is not a valid integer value"_s},
        FaultCase{"code5CallIp", 5, [](ParamFields& f) { f.callIp = u"1.2.3."_s; },
                  u"'' is not a valid integer value"_s},
        FaultCase{"code4YmBeforeCallIp", 4,
                  [](ParamFields& f) {
                      f.ym = u"9.9.9.z"_s;
                      f.callIp = u"c"_s;
                  },
                  u"'z' is not a valid integer value"_s},
        FaultCase{"code4Id2", 4, [](ParamFields& f) { f.id2 = u"0x"_s; },
                  u"'0x' is not a valid integer value"_s}),
    CaseName());

// --- IPstrToByte -----------------------------------------------------------------------------

struct QuadCase {
    const char* name;
    QString text;
    std::optional<QByteArray> bytes; // none: conversion error
    QString message;
};

class IPstrToByteCases : public ::testing::TestWithParam<QuadCase>
{};

TEST_P(IPstrToByteCases, ConvertsPieceByPiece)
{
    const auto& c = GetParam();
    uint8_t b[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    if (c.bytes) {
        IPstrToByte(c.text, b[0], b[1], b[2], b[3]);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(b), 4).toHex(' '), c.bytes->toHex(' '));
        return;
    }
    try {
        IPstrToByte(c.text, b[0], b[1], b[2], b[3]);
        FAIL() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), c.message);
    }
}

QuadCase good(const char* name, const QString& text, const char* bytes)
{
    return {name, text, hex(bytes), {}};
}
QuadCase bad(const char* name, const QString& text, const QString& piece)
{
    return {name, text, std::nullopt, u"'"_s + piece + u"' is not a valid integer value"_s};
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IPstrToByteCases,
    ::testing::Values(good("plain", u"192.168.1.200"_s, "C0A801C8"),
                      good("zeros", u"0.0.0.0"_s, "00000000"),
                      good("leadingZeros", u"010.001.000.009"_s, "0A010009"),
                      good("blanksBeforePieces", u" 1.  2. 3.   4"_s, "01020304"),
                      good("outOfRange", u"300.256.-1.65535"_s, "2C00FFFF"),
                      good("hexPieces", u"$10.x20.0x30.+40"_s, "10203028"),
                      bad("moreThanThreeDots", u"1.2.3.4.5"_s, u"4.5"_s),
                      bad("trailingDot", u"1.2.3.4."_s, u"4."_s), bad("twoDots", u"1.2.3"_s, u""_s),
                      bad("noDot", u"1234567"_s, u""_s), bad("empty", u""_s, u""_s),
                      bad("emptyMiddle", u"1..3.4"_s, u""_s), bad("leadingDot", u".1.2.3"_s, u""_s),
                      bad("blankAfterPiece", u"1 .2.3.4"_s, u"1 "_s),
                      bad("notTrimmed", u"1.2.3.4 "_s, u"4 "_s),
                      bad("letters", u"a.b.c.d"_s, u"a"_s), bad("signAlone", u"1.-.3.4"_s, u"-"_s),
                      bad("fullWidthDigits", u"１.2.3.4"_s, u"１"_s)),
    CaseName());

// --- validation: lengths are bytes of the code-page-936 form --------------------------------

struct LengthCase {
    const char* name;
    QString text;
    bool passes;
};

class ParamValidationLength : public ::testing::TestWithParam<LengthCase>
{};

TEST_P(ParamValidationLength, CountsBytesNotCharacters)
{
    const auto& c = GetParam();
    ParamFields f;
    f.gpip = c.text;
    const auto fault = validateParamFields(f, DeviceType(1), u"Y"_s, u"C"_s);
    if (c.passes) {
        EXPECT_FALSE(fault.has_value()) << fault->message.toStdString();
    } else {
        ASSERT_TRUE(fault.has_value());
        EXPECT_EQ(fault->message, u"不合规则的非法数据广播IP！"_s);
        EXPECT_EQ(fault->field, ParamField::GPIP);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ParamValidationLength,
    ::testing::Values(LengthCase{"six", u"1.2.3."_s, false},
                      LengthCase{"seven", u"1.2.3.4"_s, true},
                      LengthCase{"fifteen", u"255.255.255.255"_s, true},
                      LengthCase{"sixteen", u"255.255.255.2555"_s, false},
                      LengthCase{"blanksCount", u"       "_s, true},
                      LengthCase{"oneBlank", u" "_s, false},
                      LengthCase{"threeChineseAreSixBytes", u"一二三"_s, false},
                      LengthCase{"fourChineseAreEightBytes", u"一二三四"_s, true},
                      LengthCase{"eightChineseAreSixteenBytes", u"一二三四五六七八"_s, false},
                      LengthCase{"mixedFifteen", u"一二三四五六七8"_s, true}),
    CaseName());

TEST(ParamValidation, GroupFieldOnlyForMulticastTypes)
{
    ParamFields f;
    f.groupIP = u""_s;
    for (int code = 1; code <= 12; ++code) {
        const auto fault = validateParamFields(f, DeviceType(code), u"Y"_s, u"C"_s);
        const bool tested = code == 5 || code == 8 || code == 10 || code == 11;
        ASSERT_EQ(fault.has_value(), tested) << "code " << code;
        if (tested) {
            EXPECT_EQ(fault->field, ParamField::GroupIP);
            EXPECT_EQ(fault->message, u"组播IP不能为空！"_s);
        }
    }
}

TEST(ParamValidation, GroupBoxOneOnlyForCodesFourAndFive)
{
    ParamFields f;
    f.ym = u"1"_s;
    for (int code = 1; code <= 12; ++code) {
        const auto fault = validateParamFields(f, DeviceType(code), u"甲："_s, u"C"_s);
        const bool tested = code == 4 || code == 5;
        ASSERT_EQ(fault.has_value(), tested) << "code " << code;
        if (tested) {
            EXPECT_EQ(fault->field, ParamField::YM);
            EXPECT_EQ(fault->message, u"不合规则的非法甲："_s);
        }
    }
}

} // namespace
