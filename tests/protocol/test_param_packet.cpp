// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/param_packet.h"
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

using Edit = std::function<void(ParamFields&)>;

// --- the whole packet ------------------------------------------------------------------------
// Each expectation is the full packet written out by hand, grouped as the fields lie:
// command, new address, server, gateway, command/data/server port, device address, broadcast,
// group field, edtYM, edtCallIp, alarm host numbers. The page's defaults give
// 48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130, then per type.

struct PacketCase {
    const char* name;
    int code;
    Edit edit;
    const char* bytes;
};

class ParamPacketCases : public ::testing::TestWithParam<PacketCase>
{};

TEST_P(ParamPacketCases, BuildsTheFortyOneBytes)
{
    const auto& c = GetParam();
    const QByteArray want = hex(c.bytes);
    ASSERT_EQ(want.size(), 41) << "the expectation itself";
    ParamFields f;
    if (c.edit)
        c.edit(f);
    EXPECT_EQ(bytes(buildParamPacket(f, DeviceType(c.code)).value()).toHex(' '), want.toHex(' '));
}

const Edit kNone;
const Edit kZoneDefault = [](ParamFields& f) { f.groupIP = u"0"_s; }; // what choosing 6 types

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EveryCode, ParamPacketCases,
    ::testing::Values(
        PacketCase{"code1", 1, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code2", 2, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code3", 3, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code4", 4, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 FFFFFF00 C0A801F8 0000 0000"},
        PacketCase{"code4AlarmNumbersLowByteFirst", 4,
                   [](ParamFields& f) {
                       f.id1 = u"258"_s;
                       f.id2 = u"-1"_s;
                   },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 FFFFFF00 C0A801F8 0201 FF00"},
        PacketCase{"code5", 5, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 FFFFFF00 C0A801F8 0000 0000"},
        PacketCase{"code5IgnoresAlarmNumbers", 5,
                   [](ParamFields& f) {
                       f.id1 = u"abc"_s;
                       f.id2 = u"7"_s;
                   },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 FFFFFF00 C0A801F8 0000 0000"},
        PacketCase{"code6", 6, kZoneDefault,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF 00000000 00000000 00000000 0000 0000"},
        PacketCase{"code6Number3", 6, [](ParamFields& f) { f.groupIP = u"3"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF 03000000 00000000 00000000 0000 0000"},
        PacketCase{"code6Number300", 6, [](ParamFields& f) { f.groupIP = u"300"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF 2C010000 00000000 00000000 0000 0000"},
        PacketCase{"code6LeadingBlanksAllowed", 6, [](ParamFields& f) { f.groupIP = u"  7"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF 07000000 00000000 00000000 0000 0000"},
        PacketCase{"code7", 7, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code8", 8, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code9", 9, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code10", 10, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code11", 11, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"code12", 12, kNone,
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"plainTypesIgnoreHiddenGroupBox1", 1,
                   [](ParamFields& f) {
                       f.ym = u"x"_s;
                       f.callIp = u""_s;
                       f.id1 = u"abc"_s;
                   },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Edges, ParamPacketCases,
    ::testing::Values(
        PacketCase{"port70000", 1, [](ParamFields& f) { f.order = u"70000"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1170 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"portMinus1", 1, [](ParamFields& f) { f.order = u"-1"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 00FF 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"portMinus255", 1, [](ParamFields& f) { f.data = u"-255"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 0001 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"portMinus256", 1, [](ParamFields& f) { f.serverPort = u"-256"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 FF00 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"portHex", 1, [](ParamFields& f) { f.serverPort = u"$1d4C"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D4C C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"portLeadingBlanks", 1, [](ParamFields& f) { f.data = u"  7511"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D57 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"portIntMin", 1, [](ParamFields& f) { f.order = u"-2147483648"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 0000 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"address513", 1, [](ParamFields& f) { f.address = u"513"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 0102 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"address70000", 1, [](ParamFields& f) { f.address = u"70000"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 7011 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"addressMinus1", 1, [](ParamFields& f) { f.address = u"-1"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 FF00 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"octet300", 1, [](ParamFields& f) { f.upip = u"192.168.1.300"_s; },
                   "48 C0A8012C C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"octetsWrapAndNegative", 1, [](ParamFields& f) { f.serverIP = u"256.-1.511.0"_s; },
                   "48 C0A801C8 00FFFF00 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"quadTrimmed", 1, [](ParamFields& f) { f.netIP = u" 192.168.1.2 "_s; },
                   "48 C0A801C8 C0A801F8 C0A80102 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"quadTrimsTabsAndControls", 1, [](ParamFields& f) { f.gpip = u"\t10.0.0.255\r\n"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 0A0000FF E0000130 00000000 00000000 0000 0000"},
        PacketCase{"groupTrimmed", 8, [](ParamFields& f) { f.groupIP = u" 239.1.2.3 "_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF EF010203 00000000 00000000 0000 0000"},
        PacketCase{"code4SubnetInGroupField", 4, [](ParamFields& f) { f.groupIP = u"255.255.0.0"_s; },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF FFFF0000 FFFFFF00 C0A801F8 0000 0000"},
        PacketCase{"code4AlarmHosts", 4,
                   [](ParamFields& f) {
                       f.ym = u"10.0.0.1"_s;
                       f.callIp = u" 10.0.0.2"_s;
                   },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 0A000001 0A000002 0000 0000"},
        PacketCase{"code5PagingFields", 5,
                   [](ParamFields& f) {
                       f.ym = u"255.255.254.0"_s;
                       f.callIp = u"172.16.0.9"_s;
                   },
                   "48 C0A801C8 C0A801F8 C0A80101 1D4C 1D56 1D60 C800 FFFFFFFF E0000130 FFFFFE00 AC100009 0000 0000"}),
    CaseName());
// clang-format on

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
    const Expected<ParamPacket> packet = buildParamPacket(f, DeviceType(c.code));
    ASSERT_FALSE(packet) << "no conversion error";
    EXPECT_EQ(packet.error().message, c.message);
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
    const Expected<Quad> b = IPstrToByte(c.text);
    if (c.bytes) {
        ASSERT_TRUE(b) << b.error().message.toStdString();
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(b->data()), 4).toHex(' '),
                  c.bytes->toHex(' '));
        return;
    }
    ASSERT_FALSE(b) << "no conversion error";
    EXPECT_EQ(b.error().message, c.message);
}

QuadCase good(const char* name, const QString& text, const char* bytes)
{
    return {name, text, hex(bytes), {}};
}
QuadCase bad(const char* name, const QString& text, const QString& message)
{
    return {name, text, std::nullopt, message};
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IPstrToByteCases,
    ::testing::Values(
        good("plain", u"192.168.1.200"_s, "C0A801C8"), good("zeros", u"0.0.0.0"_s, "00000000"),
        good("leadingZeros", u"010.001.000.009"_s, "0A010009"),
        good("blanksBeforePieces", u" 1.  2. 3.   4"_s, "01020304"),
        good("outOfRange", u"300.256.-1.65535"_s, "2C00FFFF"),
        good("hexPieces", u"$10.x20.0x30.+40"_s, "10203028"),
        bad("moreThanThreeDots", u"1.2.3.4.5"_s, u"'4.5' is not a valid integer value"_s),
        bad("trailingDot", u"1.2.3.4."_s, u"'4.' is not a valid integer value"_s),
        bad("twoDots", u"1.2.3"_s, u"'' is not a valid integer value"_s),
        bad("noDot", u"1234567"_s, u"'' is not a valid integer value"_s),
        bad("empty", u""_s, u"'' is not a valid integer value"_s),
        bad("emptyMiddle", u"1..3.4"_s, u"'' is not a valid integer value"_s),
        bad("leadingDot", u".1.2.3"_s, u"'' is not a valid integer value"_s),
        bad("blankAfterPiece", u"1 .2.3.4"_s, u"'1 ' is not a valid integer value"_s),
        bad("notTrimmed", u"1.2.3.4 "_s, u"'4 ' is not a valid integer value"_s),
        bad("letters", u"a.b.c.d"_s, u"'a' is not a valid integer value"_s),
        bad("signAlone", u"1.-.3.4"_s, u"'-' is not a valid integer value"_s),
        bad("fullWidthDigits", u"１.2.3.4"_s, u"'１' is not a valid integer value"_s)),
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
    const auto fault = faultOf(validateParamFields(f, DeviceType(1), u"Y"_s, u"C"_s));
    if (c.passes) {
        EXPECT_FALSE(fault.has_value()) << fault->message.toStdString();
    } else {
        ASSERT_TRUE(fault.has_value());
        EXPECT_EQ(fault->message, u"不合规则的非法数据广播IP！"_s);
        EXPECT_EQ(fault->field, fieldIndex(ParamField::GPIP));
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

// --- validation by device type ---------------------------------------------------------------
// One field at a time made faulty, with the captions the page's labels carry for the type.
// Empty messages: the type does not check that field.

struct TypeCheckCase {
    const char* name;
    int code;
    QString ymCaption;
    QString callCaption;
    QString emptyGroup; // edtGroupIP empty
    QString shortYm;    // edtYM "1"
    QString emptyCall;  // edtCallIp empty
    QString longCall;   // edtCallIp of 16 characters
};

class ParamValidationByType : public ::testing::TestWithParam<TypeCheckCase>
{};

TEST_P(ParamValidationByType, ChecksTheFieldsOfTheType)
{
    const auto& c = GetParam();
    const auto faultWith = [&](const Edit& edit) {
        ParamFields f;
        edit(f);
        return faultOf(validateParamFields(f, DeviceType(c.code), c.ymCaption, c.callCaption));
    };
    const struct {
        const char* what;
        Edit edit;
        const QString& message;
        ParamField field;
    } checks[] = {
        {"empty group", [](ParamFields& f) { f.groupIP = u""_s; }, c.emptyGroup,
         ParamField::GroupIP},
        {"short edtYM", [](ParamFields& f) { f.ym = u"1"_s; }, c.shortYm, ParamField::YM},
        {"empty edtCallIp", [](ParamFields& f) { f.callIp = u""_s; }, c.emptyCall,
         ParamField::CallIp},
        {"long edtCallIp", [](ParamFields& f) { f.callIp = u"192.168.100.2000"_s; }, c.longCall,
         ParamField::CallIp},
    };
    for (const auto& check : checks) {
        const auto fault = faultWith(check.edit);
        if (check.message.isEmpty()) {
            EXPECT_FALSE(fault.has_value()) << check.what << ": " << fault->message.toStdString();
            continue;
        }
        ASSERT_TRUE(fault.has_value()) << check.what;
        EXPECT_EQ(fault->message, check.message) << check.what;
        EXPECT_EQ(fault->field, fieldIndex(check.field)) << check.what;
    }
}

const QString kMaskCaption = u"子网掩码："_s;
const QString kPagingCaption = u"寻呼服务器IP："_s;

TypeCheckCase plainType(const char* name, int code)
{
    return {name, code, kMaskCaption, kPagingCaption, {}, {}, {}, {}};
}
TypeCheckCase multicastType(const char* name, int code)
{
    return {name, code, kMaskCaption, kPagingCaption, u"组播IP不能为空！"_s, {}, {}, {}};
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, ParamValidationByType,
    ::testing::Values(plainType("code1", 1), plainType("code2", 2), plainType("code3", 3),
                      TypeCheckCase{"code4",
                                    4,
                                    u"报警主机一IP"_s,
                                    u"报警主机二IP"_s,
                                    {},
                                    u"不合规则的非法报警主机一IP"_s,
                                    u"报警主机二IP不能为空！"_s,
                                    u"不合规则的非法报警主机二IP"_s},
                      TypeCheckCase{"code5", 5, kMaskCaption, kPagingCaption, u"组播IP不能为空！"_s,
                                    u"不合规则的非法子网掩码："_s, u"寻呼服务器IP：不能为空！"_s,
                                    u"不合规则的非法寻呼服务器IP："_s},
                      plainType("code6", 6), plainType("code7", 7), multicastType("code8", 8),
                      plainType("code9", 9), multicastType("code10", 10),
                      multicastType("code11", 11), plainType("code12", 12)),
    CaseName());

} // namespace
