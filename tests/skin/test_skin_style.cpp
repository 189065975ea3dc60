// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/update_button.h"
#include "skin/skin_ui_style.h"
#include "skin/tools/skin_art.h"

#include <QImage>
#include <gtest/gtest.h>

namespace
{

struct StyleRowCase {
    TSkinUIStyle style;
    const char* strip;
    bool transparent;
    QSize stripSize;
    bool usesKey;
};

class StyleRows : public ::testing::TestWithParam<StyleRowCase>
{};

TEST_P(StyleRows, EntriesOneAndTwo)
{
    const auto& c = GetParam();
    const StyleEntryResult strip = styleEntry(c.style, 1);
    EXPECT_EQ(strip.kind, StyleEntryKind::ResourceName);
    EXPECT_EQ(strip.resourceName, QString::fromLatin1(c.strip));
    const StyleEntryResult transparent = styleEntry(c.style, 2);
    EXPECT_EQ(transparent.kind, StyleEntryKind::Boolean);
    EXPECT_EQ(transparent.value, c.transparent ? 1 : 0);
}

TEST_P(StyleRows, StripResourceHasTheTableSize)
{
    const auto& c = GetParam();
    const QImage strip = loadSkinResource(QString::fromLatin1(c.strip));
    ASSERT_FALSE(strip.isNull());
    EXPECT_EQ(strip.size(), c.stripSize);
}

TEST_P(StyleRows, KeyColourOnlyWhereTheStyleUsesIt)
{
    const auto& c = GetParam();
    const QImage strip = loadSkinResource(QString::fromLatin1(c.strip));
    ASSERT_FALSE(strip.isNull());
    const int fw = strip.width() / 3;
    int keyed = 0;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            keyed += isSkinKeyColor(strip.pixel(x, y)) ? 1 : 0;
    if (!c.usesKey) {
        EXPECT_EQ(keyed, 0);
        return;
    }
    // Outside the rounded shape: every frame's four outermost corners, never the middle.
    for (int f = 0; f < 3; ++f) {
        const int l = f * fw, r = l + fw - 1, b = strip.height() - 1;
        EXPECT_TRUE(isSkinKeyColor(strip.pixel(l, 0))) << f;
        EXPECT_TRUE(isSkinKeyColor(strip.pixel(r, 0))) << f;
        EXPECT_TRUE(isSkinKeyColor(strip.pixel(l, b))) << f;
        EXPECT_TRUE(isSkinKeyColor(strip.pixel(r, b))) << f;
        EXPECT_FALSE(isSkinKeyColor(strip.pixel(l + fw / 2, strip.height() / 2))) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, StyleRows,
    ::testing::Values(
        StyleRowCase{TSkinUIStyle::MacOS, "MACOS_BUTTON", true, {252, 23}, true},
        StyleRowCase{TSkinUIStyle::WinXP, "WINXP_BUTTON", false, {54, 21}, false},
        StyleRowCase{TSkinUIStyle::DeepBlue, "DEEPBLUE_BUTTON", false, {222, 21}, false},
        StyleRowCase{TSkinUIStyle::Protein, "PROTEIN_BUTTON", false, {222, 21}, false},
        StyleRowCase{TSkinUIStyle::BlueGlass, "BLUEGLASS_BUTTON", true, {231, 27}, true}));

struct NoEntryCase {
    int style;
    int position;
};

class StyleEntryNone : public ::testing::TestWithParam<NoEntryCase>
{};

TEST_P(StyleEntryNone, KindNoneValueMinusOne)
{
    const StyleEntryResult e =
        styleEntry(static_cast<TSkinUIStyle>(GetParam().style), GetParam().position);
    EXPECT_EQ(e.kind, StyleEntryKind::None);
    EXPECT_EQ(e.value, -1);
    EXPECT_TRUE(e.resourceName.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(OutsideTheTable, StyleEntryNone,
                         ::testing::Values(NoEntryCase{0, 1}, NoEntryCase{0, 2}, NoEntryCase{6, 1},
                                           NoEntryCase{255, 2}, NoEntryCase{2, 0},
                                           NoEntryCase{2, 43}, NoEntryCase{2, -1},
                                           NoEntryCase{3, 3}, NoEntryCase{5, 42}));

struct ResolveCase {
    TSkinUIStyle in;
    bool withTheme;
    TSkinUIStyle out;
};

class Resolve : public ::testing::TestWithParam<ResolveCase>
{};

TEST_P(Resolve, ThemeFileNeverLoadedFallsBackToDeepBlue)
{
    // Any non-null pointer stands for an assigned theme; it is never dereferenced.
    static char fakeTheme;
    const auto* theme =
        GetParam().withTheme ? reinterpret_cast<const SkinThemeFile*>(&fakeTheme) : nullptr;
    const ResolvedUIStyle r = resolveUIStyle(theme, GetParam().in);
    EXPECT_FALSE(r.useThemeFile);
    EXPECT_EQ(r.style, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, Resolve,
    ::testing::Values(ResolveCase{TSkinUIStyle::FromThemeFile, false, TSkinUIStyle::DeepBlue},
                      ResolveCase{TSkinUIStyle::FromThemeFile, true, TSkinUIStyle::DeepBlue},
                      ResolveCase{TSkinUIStyle::WinXP, true, TSkinUIStyle::WinXP},
                      ResolveCase{TSkinUIStyle::MacOS, false, TSkinUIStyle::MacOS},
                      ResolveCase{TSkinUIStyle::BlueGlass, false, TSkinUIStyle::BlueGlass}));

// A strip whose red channel is the column number.
QImage columnStrip(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x, y, 9));
    return img;
}

struct SliceCase {
    int stripWidth;
    int count;
    int index;
    int frameWidth;
    int firstColumn;
};

class Slice : public ::testing::TestWithParam<SliceCase>
{};

TEST_P(Slice, CutsTheFrameColumnsUnscaled)
{
    const auto& c = GetParam();
    const QImage strip = columnStrip(c.stripWidth, 5);
    QImage frame;
    sliceFrame(strip, frame, c.count, c.index);
    ASSERT_EQ(frame.size(), QSize(c.frameWidth, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < c.frameWidth; ++x)
            ASSERT_EQ(frame.pixel(x, y), qRgb(c.firstColumn + x, y, 9)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Frames, Slice,
                         ::testing::Values(SliceCase{54, 3, 1, 18, 0}, SliceCase{54, 3, 2, 18, 18},
                                           SliceCase{54, 3, 3, 18, 36},
                                           // width not divisible: the last columns are never used
                                           SliceCase{10, 3, 3, 3, 6}, SliceCase{10, 3, 1, 3, 0},
                                           // count 0: the whole strip
                                           SliceCase{54, 0, 1, 54, 0}, SliceCase{7, 1, 1, 7, 0}));

TEST(Slice, IndexOutsideTheStripReadsNothingOutside)
{
    QImage frame;
    sliceFrame(columnStrip(54, 5), frame, 3, 4);
    EXPECT_EQ(frame.size(), QSize(18, 5));
    sliceFrame(columnStrip(54, 5), frame, 3, 0);
    EXPECT_EQ(frame.size(), QSize(18, 5));
}

TEST(LoadStyleFrame, WinXPHotFrameIsTheMiddleThird)
{
    const QImage strip = loadSkinResource(QStringLiteral("WINXP_BUTTON"));
    QImage frame;
    loadStyleFrame(nullptr, TSkinUIStyle::WinXP, 1, 3, frame, 2);
    ASSERT_EQ(frame.size(), QSize(18, 21));
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 18; ++x)
            ASSERT_EQ(frame.pixel(x, y), strip.pixel(18 + x, y));
}

TEST(LoadStyleFrame, FromThemeFileDrawsDeepBlue)
{
    QImage frame;
    loadStyleFrame(nullptr, TSkinUIStyle::FromThemeFile, 1, 3, frame, 1);
    EXPECT_EQ(frame.size(), QSize(74, 21));
    // Without resolving, the theme style has no strip: nothing is loaded.
    QImage untouched(3, 3, QImage::Format_RGB32);
    loadStyleFrame(nullptr, TSkinUIStyle::FromThemeFile, 1, 3, untouched, 1, false);
    EXPECT_EQ(untouched.size(), QSize(3, 3));
}

TEST(LoadStyleFrame, WrongKindLoadsNothing)
{
    QImage frame(5, 6, QImage::Format_RGB32);
    loadStyleFrame(nullptr, TSkinUIStyle::WinXP, 2, 3, frame, 1); // entry 2 is a Boolean
    EXPECT_EQ(frame.size(), QSize(5, 6));
    loadStyleFrame(nullptr, static_cast<TSkinUIStyle>(9), 1, 3, frame, 1);
    EXPECT_EQ(frame.size(), QSize(5, 6));
}

TEST(LoadSkinResource, UnknownOrPathLikeNamesGiveNothing)
{
    EXPECT_TRUE(loadSkinResource(QStringLiteral("NO_SUCH_BUTTON")).isNull());
    EXPECT_TRUE(loadSkinResource(QString()).isNull());
    EXPECT_TRUE(loadSkinResource(QStringLiteral("../skin/WINXP_BUTTON")).isNull());
}

// The WinXP strip as its description gives it, frame by frame.
struct XpPixel {
    int frame;
    int x, y;
    QRgb colour;
};

class WinXPStrip : public ::testing::TestWithParam<XpPixel>
{};

TEST_P(WinXPStrip, Pixel)
{
    const QImage strip = loadSkinResource(QStringLiteral("WINXP_BUTTON"));
    ASSERT_FALSE(strip.isNull());
    const auto& c = GetParam();
    EXPECT_EQ(strip.pixel(c.frame * 18 + c.x, c.y) & 0xFFFFFFu, c.colour & 0xFFFFFFu)
        << "frame " << c.frame + 1 << " at " << c.x << "," << c.y;
}

std::vector<XpPixel> xpPixels()
{
    std::vector<XpPixel> v;
    const QRgb border = qRgb(0, 60, 116), outside = qRgb(236, 233, 216);
    for (int f = 0; f < 3; ++f) {
        // Border along every side, cut at the corners with three outside pixels each.
        for (auto [x, y] : {std::pair{9, 0}, {9, 20}, {0, 10}, {17, 10}, {1, 1}, {16, 19}})
            v.push_back({f, x, y, border});
        for (auto [x, y] : {std::pair{0, 0},
                            {1, 0},
                            {0, 1},
                            {17, 0},
                            {16, 0},
                            {17, 1},
                            {0, 20},
                            {1, 20},
                            {0, 19},
                            {17, 20},
                            {16, 20},
                            {17, 19}})
            v.push_back({f, x, y, outside});
    }
    v.push_back({0, 9, 1, qRgb(252, 252, 252)});
    v.push_back({0, 9, 17, qRgb(236, 235, 228)});
    v.push_back({0, 9, 18, qRgb(225, 222, 213)});
    v.push_back({0, 9, 19, qRgb(213, 208, 196)});
    v.push_back({1, 9, 1, qRgb(255, 255, 204)});
    v.push_back({1, 1, 10, qRgb(255, 204, 153)});
    v.push_back({1, 2, 10, qRgb(255, 204, 102)});
    v.push_back({1, 9, 18, qRgb(255, 204, 51)});
    v.push_back({1, 9, 19, qRgb(204, 153, 51)});
    v.push_back({1, 9, 10, qRgb(243, 243, 238)}); // the face of frame 1 inside
    v.push_back({2, 9, 10, qRgb(229, 227, 220)});
    v.push_back({2, 9, 1, qRgb(213, 207, 195)});
    v.push_back({2, 1, 10, qRgb(213, 207, 195)});
    v.push_back({2, 9, 19, qRgb(243, 243, 238)});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Description, WinXPStrip, ::testing::ValuesIn(xpPixels()));

TEST(WinXPStrip, IsA256ColourBitmap)
{
    const QImage strip = loadSkinResource(QStringLiteral("WINXP_BUTTON"));
    EXPECT_EQ(strip.format(), QImage::Format_Indexed8);
    EXPECT_LE(strip.colorCount(), 256);
}

// The bitmaps compiled in are exactly what the generator draws.
struct ArtCase {
    const char* name;
    QImage (*draw)();
};

class ResourcesMatchGenerator : public ::testing::TestWithParam<ArtCase>
{};

TEST_P(ResourcesMatchGenerator, PixelForPixel)
{
    const QImage stored = loadSkinResource(QString::fromLatin1(GetParam().name));
    const QImage drawn = GetParam().draw();
    ASSERT_EQ(stored.size(), drawn.size());
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            ASSERT_EQ(stored.pixel(x, y), drawn.pixel(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Strips, ResourcesMatchGenerator,
                         ::testing::Values(ArtCase{"WINXP_BUTTON", SkinArt::winXPStrip},
                                           ArtCase{"MACOS_BUTTON", SkinArt::macOSStrip},
                                           ArtCase{"DEEPBLUE_BUTTON", SkinArt::deepBlueStrip},
                                           ArtCase{"PROTEIN_BUTTON", SkinArt::proteinStrip},
                                           ArtCase{"BLUEGLASS_BUTTON", SkinArt::blueGlassStrip},
                                           ArtCase{"UPDATE_GLYPH", SkinArt::updateGlyph}));

TEST(UpdateGlyph, BlueTriangleOnWhite)
{
    const QImage g = updateButtonGlyph();
    ASSERT_EQ(g.size(), QSize(16, 16));
    EXPECT_EQ(g.depth(), 24);
    EXPECT_EQ(g.pixel(0, 0), qRgb(255, 255, 255));
    int blue = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const QRgb c = g.pixel(x, y);
            ASSERT_TRUE(c == qRgb(255, 255, 255) || c == qRgb(0, 0, 255)) << x << "," << y;
            blue += c == qRgb(0, 0, 255);
        }
    EXPECT_GT(blue, 30);
    // Points right: the rightmost blue pixel lies on the middle rows.
    int rightmost = 0, row = -1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (g.pixel(x, y) == qRgb(0, 0, 255) && x > rightmost) {
                rightmost = x;
                row = y;
            }
    EXPECT_TRUE(row == 7 || row == 8) << row;
}

} // namespace
