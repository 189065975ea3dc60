// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ini_log.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QList>
#include <algorithm>
#include <random>
#include <vector>

namespace
{

using testsupport::PrintTo;

struct PatchCase {
    const char* name;
    QByteArray existing;
    QByteArray expected;
    QByteArray value = "V";
};

class IniPatch : public ::testing::TestWithParam<PatchCase>
{};

TEST_P(IniPatch, ChangesOnlyTheKeysLine)
{
    const auto& c = GetParam();
    EXPECT_EQ(patchIni(c.existing, "UpdateLog", "Log", c.value), c.expected);
}

const PatchCase patchCases[] = {
    {"NewFile", "", "[UpdateLog]\r\nLog=V\r\n"},
    {"ReplacesTheValue", "[UpdateLog]\r\nLog=old\r\n", "[UpdateLog]\r\nLog=V\r\n"},
    {"OthersStayByteForByte",
     "; written by hand\r\n[A]\r\nLog=a\r\n\r\n[UpdateLog]\r\nfoo=1\r\n  ; note\r\nLog=old "
     "value\r\nbar = 2\r\n\r\n[B]\r\nLog=b\r\n",
     "; written by hand\r\n[A]\r\nLog=a\r\n\r\n[UpdateLog]\r\nfoo=1\r\n  ; note\r\nLog=V\r\nbar "
     "= 2\r\n\r\n[B]\r\nLog=b\r\n"},
    {"SectionAndKeyIgnoreLetterCase", "[updatelog]\nLOG = old\n", "[updatelog]\nLOG =V\n"},
    {"KeepsIndentationAndBlanksBeforeEquals", "[ UpdateLog ]\n\t log  =x\n",
     "[ UpdateLog ]\n\t log  =V\n"},
    {"FirstOfDuplicateSectionsAndKeys", "[UpdateLog]\nLog=1\nLog=2\n[UpdateLog]\nLog=3\n",
     "[UpdateLog]\nLog=V\nLog=2\n[UpdateLog]\nLog=3\n"},
    {"SimilarKeysAreOtherKeys", "[UpdateLog]\nLogger=1\nLog2=2\n;Log=3\n",
     "[UpdateLog]\nLogger=1\nLog2=2\n;Log=3\nLog=V\n"},
    {"KeyOfAnotherSectionIsNotTouched", "[Other]\nLog=x\n", "[Other]\nLog=x\n[UpdateLog]\nLog=V\n"},
    {"MissingKeyAfterTheSectionsLastFilledLine", "[UpdateLog]\r\nfoo=1\r\n\r\n[B]\r\nx=1\r\n",
     "[UpdateLog]\r\nfoo=1\r\nLog=V\r\n\r\n[B]\r\nx=1\r\n"},
    {"MissingKeyInALastSectionWithoutLineBreak", "[UpdateLog]\nfoo=1",
     "[UpdateLog]\nfoo=1\nLog=V\n"},
    {"HeaderAloneWithoutLineBreak", "[UpdateLog]", "[UpdateLog]\r\nLog=V\r\n"},
    {"ValueOfTheLastLineWithoutLineBreak", "[UpdateLog]\r\nLog=old", "[UpdateLog]\r\nLog=V"},
    {"MissingSectionWithLfStyle", "[A]\nx=1\n", "[A]\nx=1\n[UpdateLog]\nLog=V\n"},
    {"MissingSectionAfterALastLineWithoutBreak", "[A]\r\nx=1",
     "[A]\r\nx=1\r\n[UpdateLog]\r\nLog=V\r\n"},
    {"LineBreakStyleFromTheFirstBreak", "[A]\r\nx=1\ny=2\n",
     "[A]\r\nx=1\ny=2\n[UpdateLog]\r\nLog=V\r\n"},
    {"ByteOrderMarkKept", "\xEF\xBB\xBF[UpdateLog]\r\nLog=1\r\n",
     "\xEF\xBB\xBF[UpdateLog]\r\nLog=V\r\n"},
    {"LineBreaksInTheValueBecomeBlanks", "[UpdateLog]\r\nLog=old\r\n[B]\r\nk=1\r\n",
     "[UpdateLog]\r\nLog=a  b c d\r\n[B]\r\nk=1\r\n", "a\r\nb\nc\rd"},
    {"ValueCannotOpenASection", "", "[UpdateLog]\r\nLog=x  [Evil] k=1\r\n", "x\r\n[Evil]\nk=1"},
    {"EmptyValue", "[UpdateLog]\nLog=old\n", "[UpdateLog]\nLog=\n", ""},
    {"DoubleByteValueUntouched", "", "[UpdateLog]\r\nLog=\xB7\xFE\xCE\xF1\xC6\xF7\r\n",
     "\xB7\xFE\xCE\xF1\xC6\xF7"},
    // 0x81 0x5D is one double-byte character whose second byte looks like "]".
    {"BracketInsideADoubleByteCharacterDoesNotCloseTheHeader", "[UpdateLog\x81]]\nLog=1\n",
     "[UpdateLog\x81]]\nLog=1\n[UpdateLog]\nLog=V\n"},
};

INSTANTIATE_TEST_SUITE_P(Files, IniPatch, ::testing::ValuesIn(patchCases), CaseName());

// Letter case folds only for ASCII: these double-byte characters differ in their second
// byte ("A" against "a") and are different names.
TEST(IniPatchNames, DoubleByteNamesCompareExactly)
{
    EXPECT_EQ(patchIni("[\x81\x61]\r\nk=1\r\n", "\x81\x41", "k", "2"),
              QByteArray("[\x81\x61]\r\nk=1\r\n[\x81\x41]\r\nk=2\r\n"));
    EXPECT_EQ(patchIni("[\x81\x41]\r\nk=1\r\n", "\x81\x41", "K", "2"),
              QByteArray("[\x81\x41]\r\nk=2\r\n"));
}

// Random files put together from typical and awkward lines: whatever the file, the patch
// changes or adds exactly one line, and every other line stays, in order, byte for byte.
QList<QByteArray> linesOf(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype begin = 0;
    while (begin < text.size()) {
        qsizetype lf = text.indexOf('\n', begin);
        lf = lf < 0 ? text.size() : lf + 1;
        QByteArray line = text.mid(begin, lf - begin);
        if (!line.endsWith('\n'))
            line += "<no break>";
        lines << line;
        begin = lf;
    }
    return lines;
}

TEST(IniPatchProperty, EveryOtherLineSurvives)
{
    const QByteArray pieces[] = {
        "[UpdateLog]", "[updatelog]", "[Other]", "Log=1", "log = 2", "Logx=3",      "; c", "",
        "  ",          "x=\xB7\xFE",  "[\x81]]", "Log",   "=Log",    "\tLOG\t=\t4",
    };
    const QByteArray breaks[] = {"\r\n", "\n", "\r"};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray file;
        const int count = static_cast<int>(random() % 8);
        for (int i = 0; i < count; ++i)
            file += pieces[random() % std::size(pieces)] + breaks[random() % std::size(breaks)];
        if (random() % 4 == 0)
            file.chop(1);

        const QByteArray value = (random() % 2) ? QByteArray("v\r\n[Other]\nLog=9") : "v";
        const QByteArray patched = patchIni(file, "UpdateLog", "Log", value);
        const auto before = linesOf(file);
        const auto after = linesOf(patched);
        SCOPED_TRACE(file.toStdString());

        // Exactly one line of the result carries the value; every line the file had before is
        // still there, in order, except the key's old line and a last line that gained its break.
        const QByteArray written = "=" + QByteArray(value).replace('\r', ' ').replace('\n', ' ');
        qsizetype carrying = 0;
        for (QByteArray l : after) {
            if (l.endsWith("<no break>"))
                l.chop(10);
            while (l.endsWith('\n') || l.endsWith('\r'))
                l.chop(1);
            carrying += l.endsWith(written) ? 1 : 0;
        }
        ASSERT_EQ(carrying, 1);
        // Longest common subsequence of the two line lists.
        std::vector<std::vector<qsizetype>> common(before.size() + 1,
                                                   std::vector<qsizetype>(after.size() + 1));
        for (qsizetype i = before.size() - 1; i >= 0; --i) {
            for (qsizetype j = after.size() - 1; j >= 0; --j) {
                common[i][j] = before[i] == after[j] ? common[i + 1][j + 1] + 1
                                                     : std::max(common[i + 1][j], common[i][j + 1]);
            }
        }
        const qsizetype matched = common[0][0];
        ASSERT_GE(matched, before.size() - 1);
        ASSERT_LE(after.size() - matched, 3);
        // Patching again with the same value changes nothing.
        ASSERT_EQ(patchIni(patched, "UpdateLog", "Log", value), patched);
    }
}

} // namespace
