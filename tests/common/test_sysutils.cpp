// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "common/sysutils.h"

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace
{

struct IntCase {
    const char* text;
    std::optional<int> value; // nothing: the conversion fails
};

class StrToIntTable : public ::testing::TestWithParam<IntCase>
{};

TEST_P(StrToIntTable, ConvertsOrRaisesWithTheWholeText)
{
    const IntCase& c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    if (c.value) {
        EXPECT_EQ(strToInt(text), *c.value) << c.text;
    } else {
        try {
            strToInt(text);
            FAIL() << "accepted: '" << c.text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), u"'" + text + u"' is not a valid integer value");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Decimal, StrToIntTable,
    ::testing::Values(IntCase{"0", 0}, IntCase{"7520", 7520}, IntCase{"+7", 7}, IntCase{"-1", -1},
                      IntCase{"007", 7}, IntCase{"-0", 0}, IntCase{"   42", 42},
                      IntCase{"2147483647", 2147483647}, IntCase{"-2147483648", INT32_MIN},
                      IntCase{"2147483648", std::nullopt}, IntCase{"-2147483649", std::nullopt},
                      IntCase{"99999999999999999999", std::nullopt},
                      IntCase{"0000000000002147483647", 2147483647}, IntCase{"", std::nullopt},
                      IntCase{" ", std::nullopt}, IntCase{"+", std::nullopt},
                      IntCase{"-", std::nullopt}, IntCase{"42 ", std::nullopt},
                      IntCase{"\t42", std::nullopt}, IntCase{"4 2", std::nullopt},
                      IntCase{"+-1", std::nullopt}, IntCase{"--1", std::nullopt},
                      IntCase{"- 1", std::nullopt}, IntCase{"1.0", std::nullopt},
                      IntCase{"abc", std::nullopt}, IntCase{"１２", std::nullopt},
                      IntCase{"1e3", std::nullopt}, IntCase{"\xe4\xb8\x80", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Hex, StrToIntTable,
    ::testing::Values(
        IntCase{"$10", 16}, IntCase{"x1f", 31}, IntCase{"X1F", 31}, IntCase{"0x10", 16},
        IntCase{"0XaB", 171}, IntCase{"  $FF", 255}, IntCase{"-$10", -16}, IntCase{"+0x10", 16},
        IntCase{"$7FFFFFFF", 2147483647}, IntCase{"$80000000", INT32_MIN}, IntCase{"$FFFFFFFF", -1},
        IntCase{"$00000000FFFFFFFF", -1}, IntCase{"-$FFFFFFFF", 1},
        IntCase{"$100000000", std::nullopt}, IntCase{"$", std::nullopt},
        IntCase{"0x", std::nullopt}, IntCase{"x", std::nullopt}, IntCase{"-$", std::nullopt},
        IntCase{"$G", std::nullopt}, IntCase{"$1 ", std::nullopt}, IntCase{"$ 1", std::nullopt},
        IntCase{"$-1", std::nullopt}, IntCase{"00x1", std::nullopt}, IntCase{"0$1", std::nullopt},
        IntCase{"h10", std::nullopt}, IntCase{"10h", std::nullopt}));

TEST(IntToStr, SignedDecimal)
{
    EXPECT_EQ(intToStr(0), u"0");
    EXPECT_EQ(intToStr(-7), u"-7");
    EXPECT_EQ(intToStr(INT32_MIN), u"-2147483648");
    EXPECT_EQ(intToStr(1000000), u"1000000");
}

TEST(Trim, RemovesCodesUpTo32AtBothEndsOnly)
{
    EXPECT_EQ(trim(QString::fromUtf8("\t\r\n 1.2 3\x01 ")), u"1.2 3");
    EXPECT_EQ(trim(QString::fromUtf8("  本地连接  ")), QString::fromUtf8("本地连接"));
    EXPECT_EQ(trim(QString(QChar(0)) + u"a" + QChar(0)), u"a");
    EXPECT_EQ(trim(QStringLiteral("   ")), QString());
    EXPECT_EQ(trim(QString::fromUtf8("\xe3\x80\x80x\xe3\x80\x80")),
              QString::fromUtf8("\xe3\x80\x80x\xe3\x80\x80"))
        << "an ideographic space is a double-byte character and stays";
}

TEST(Cp936, LengthsAreBytesOfTheGbkForm)
{
    EXPECT_EQ(cp936Length(QStringLiteral("192.168.1.200")), 13);
    EXPECT_EQ(cp936Length(QString::fromUtf8("本地连接 1")), 10);
    EXPECT_EQ(toCp936(QString::fromUtf8("本地连接")).toHex(), QByteArray("b1beb5d8c1acbdd3"));
    EXPECT_EQ(fromCp936(QByteArray::fromHex("b7fecef1c6f7495021")), QString::fromUtf8("服务器IP!"));
    EXPECT_EQ(toCp936(QString()), QByteArray());
}

TEST(Cp936, NothingVanishesInEitherDirection)
{
    // Characters the code page lacks, and unpaired surrogates, become "?".
    EXPECT_EQ(toCp936(QString::fromUtf8("a😀b")), QByteArray("a?b"));
    EXPECT_EQ(toCp936(u"a"_s + QChar(0xD883) + u"b"_s), QByteArray("a?b"));
    EXPECT_EQ(cp936Length(QString(QChar(0xDC00))), 1);
    // A lead byte cut off at the end is shown as a replacement character, not dropped.
    EXPECT_EQ(fromCp936(QByteArray("\x83\xd8\x9d", 3)), QString::fromUtf8("\u5190\ufffd"));
    EXPECT_EQ(fromCp936(QByteArray("ab\n")), u"ab\n"_s);
}

// The converter drops the code points Unicode calls default-ignorable (soft hyphen, joiners,
// direction marks, variation selectors, tags) when the code page lacks them, instead of giving
// a "?"; each must still take a byte so that lengths and exported text lose nothing.
class IgnorableCharacters : public ::testing::TestWithParam<char32_t>
{};

TEST_P(IgnorableCharacters, BecomeAQuestionMark)
{
    const char32_t code = GetParam();
    // Built unit by unit: fromUcs4 would take a leading U+FEFF for a byte-order mark.
    QString text = u"a"_s;
    if (QChar::requiresSurrogates(code)) {
        text += QChar(QChar::highSurrogate(code));
        text += QChar(QChar::lowSurrogate(code));
    } else {
        text += QChar(static_cast<char16_t>(code));
    }
    text += u'b';
    EXPECT_EQ(toCp936(text), QByteArray("a?b"));
    EXPECT_EQ(cp936Length(text), 3);
}

INSTANTIATE_TEST_SUITE_P(Cp936, IgnorableCharacters,
                         ::testing::Values(0xAD, 0x34F, 0x61C, 0x115F, 0x17B4, 0x180B, 0x180F,
                                           0x200B, 0x200D, 0x200F, 0x202E, 0x2060, 0x206F, 0x3164,
                                           0xFE00, 0xFE0F, 0xFEFF, 0xFFA0, 0xFFF0, 0xFFF8, 0x1BCA0,
                                           0x1D173, 0xE0001, 0xE0FFF));

struct BoxCase {
    const char* message;
    const char* shown;
};

class ErrorBoxRule : public ::testing::TestWithParam<BoxCase>
{};

TEST_P(ErrorBoxRule, AppendsAFullStopAfterCharactersAboveTheFullStop)
{
    EXPECT_EQ(errorBoxText(QString::fromUtf8(GetParam().message)),
              QString::fromUtf8(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ErrorBoxRule,
    ::testing::Values(BoxCase{"", ""},
                      BoxCase{"'abc' is not a valid integer value",
                              "'abc' is not a valid integer value."},
                      BoxCase{"Could not bind socket. Address and port are already in use.",
                              "Could not bind socket. Address and port are already in use."},
                      BoxCase{"Socket Error # 10065\r\nNo route to host.",
                              "Socket Error # 10065\r\nNo route to host."},
                      BoxCase{"Socket Error # 99\r\n", "Socket Error # 99\r\n"},
                      BoxCase{"ends in 7", "ends in 7."}, BoxCase{"space ", "space "},
                      BoxCase{"bang!", "bang!"}, BoxCase{"comma,", "comma,"},
                      BoxCase{"dash-", "dash-"}, BoxCase{"slash/", "slash/."},
                      BoxCase{"错误", "错误."}, BoxCase{"错误！", "错误！."},
                      BoxCase{"Directory not empty", "Directory not empty."}));

} // namespace
