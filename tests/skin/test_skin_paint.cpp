// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/skin_paint.h"
#include "skin/skin_ui_style.h"

#include <QImage>
#include <gtest/gtest.h>

namespace
{

// ltrb with right and bottom exclusive, as the piece table is written.
QRect ltrb(int l, int t, int r, int b)
{
    return QRect(l, t, r - l, b - t);
}

// A frame whose pixels say where they came from: red = x * 10, green = y * 10, blue 7.
QImage codedFrame(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 10, y * 10, 7));
    return img;
}

QPoint decode(QRgb c)
{
    return {qRed(c) / 10, qGreen(c) / 10};
}

constexpr QRgb Sentinel = 0xFF010203u;

QImage surface(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Sentinel);
    return img;
}

struct PieceCase {
    int order;
    QRect source;
    QRect dest;
    bool corner;
};

class WorkedExamplePieces : public ::testing::TestWithParam<PieceCase>
{};

TEST_P(WorkedExamplePieces, SourceAndDestination)
{
    const auto pieces = planSkinPieces({18, 21}, {101, 35});
    const auto& c = GetParam();
    const SkinPiece& p = pieces[c.order - 1];
    EXPECT_TRUE(p.drawn);
    EXPECT_EQ(p.corner, c.corner);
    EXPECT_EQ(p.source, c.source);
    EXPECT_EQ(p.dest, c.dest);
}

INSTANTIATE_TEST_SUITE_P(
    Button101x35, WorkedExamplePieces,
    ::testing::Values(PieceCase{1, ltrb(0, 0, 9, 10), ltrb(0, 0, 9, 10), true},
                      PieceCase{2, ltrb(0, 12, 9, 21), ltrb(0, 26, 9, 35), true},
                      PieceCase{3, ltrb(0, 10, 9, 11), ltrb(0, 10, 9, 26), false},
                      PieceCase{4, ltrb(10, 0, 18, 10), ltrb(93, 0, 101, 10), true},
                      PieceCase{5, ltrb(10, 12, 18, 21), ltrb(93, 26, 101, 35), true},
                      PieceCase{6, ltrb(10, 11, 18, 12), ltrb(93, 10, 101, 26), false},
                      PieceCase{7, ltrb(9, 0, 10, 10), ltrb(9, 0, 93, 10), false},
                      PieceCase{8, ltrb(9, 10, 10, 11), ltrb(9, 10, 93, 25), false},
                      PieceCase{9, ltrb(9, 11, 10, 21), ltrb(8, 25, 93, 35), false}));

// Where each button pixel's colour must come from, including the overdraw by the bottom edge.
struct Origin {
    QPoint at;
    QPoint from;
    const char* piece;
};

class WorkedExamplePixels : public ::testing::TestWithParam<Origin>
{};

TEST_P(WorkedExamplePixels, ComesFromTheRightFramePixel)
{
    QImage s = surface(101, 35);
    drawSkinStretched(codedFrame(18, 21), s, s.rect(), false);
    const auto& c = GetParam();
    EXPECT_EQ(decode(s.pixel(c.at)), c.from) << c.piece << " at " << c.at.x() << "," << c.at.y();
}

INSTANTIATE_TEST_SUITE_P(
    Button101x35, WorkedExamplePixels,
    ::testing::Values(
        Origin{{0, 0}, {0, 0}, "top-left"}, Origin{{8, 9}, {8, 9}, "top-left"},
        Origin{{0, 26}, {0, 12}, "bottom-left"}, Origin{{7, 34}, {7, 20}, "bottom-left"},
        Origin{{8, 34}, {9, 20}, "bottom-left's last column overdrawn"},
        Origin{{8, 26}, {9, 12}, "bottom-left's last column overdrawn"},
        Origin{{0, 10}, {0, 10}, "left edge"}, Origin{{7, 25}, {7, 10}, "left edge"},
        Origin{{8, 25}, {9, 11}, "left edge's bottom-right pixel overdrawn"},
        Origin{{93, 0}, {10, 0}, "top-right"}, Origin{{100, 9}, {17, 9}, "top-right"},
        Origin{{93, 26}, {10, 12}, "bottom-right"}, Origin{{100, 34}, {17, 20}, "bottom-right"},
        Origin{{93, 10}, {10, 11}, "right edge"}, Origin{{100, 25}, {17, 11}, "right edge"},
        Origin{{9, 0}, {9, 0}, "top edge"}, Origin{{92, 9}, {9, 9}, "top edge"},
        Origin{{9, 10}, {9, 10}, "centre"}, Origin{{92, 24}, {9, 10}, "centre"},
        Origin{{9, 25}, {9, 11}, "bottom edge"}, Origin{{50, 30}, {9, 16}, "bottom edge"},
        Origin{{92, 34}, {9, 20}, "bottom edge"}));

TEST(drawSkinStretched, WorkedExampleCoversEveryPixel)
{
    QImage s = surface(101, 35);
    drawSkinStretched(codedFrame(18, 21), s, s.rect(), true);
    for (int y = 0; y < 35; ++y)
        for (int x = 0; x < 101; ++x)
            ASSERT_NE(s.pixel(x, y), Sentinel) << x << "," << y;
}

// A frame of one colour with the key colour at chosen pixels.
QImage frameWithKeyAt(std::initializer_list<QPoint> keyed)
{
    QImage f(18, 21, QImage::Format_RGB32);
    f.fill(qRgb(40, 50, 60));
    for (QPoint p : keyed)
        f.setPixel(p, qRgb(255, 0, 255));
    return f;
}

struct KeyCase {
    QPoint keyInFrame;
    QPoint seenOnButton;
    bool masked;
    bool drawn; // key colour reaches the button
};

class KeyColour : public ::testing::TestWithParam<KeyCase>
{};

TEST_P(KeyColour, CornersOnlyWhenNotMaskedStretchNever)
{
    const auto& c = GetParam();
    QImage s = surface(101, 35);
    drawSkinStretched(frameWithKeyAt({c.keyInFrame}), s, s.rect(), c.masked);
    const QRgb got = s.pixel(c.seenOnButton);
    if (c.drawn) {
        EXPECT_EQ(got, qRgb(255, 0, 255));
    } else {
        EXPECT_EQ(got, Sentinel);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, KeyColour,
    ::testing::Values(
        // corners: top-left, bottom-left, top-right, bottom-right
        KeyCase{{0, 0}, {0, 0}, false, true}, KeyCase{{0, 0}, {0, 0}, true, false},
        KeyCase{{0, 20}, {0, 34}, false, true}, KeyCase{{0, 20}, {0, 34}, true, false},
        KeyCase{{17, 0}, {100, 0}, false, true}, KeyCase{{17, 0}, {100, 0}, true, false},
        KeyCase{{17, 20}, {100, 34}, false, true}, KeyCase{{17, 20}, {100, 34}, true, false},
        // stretched pieces: left edge row, right edge row, top edge column, centre, bottom
        KeyCase{{0, 10}, {0, 18}, false, false}, KeyCase{{0, 10}, {0, 18}, true, false},
        KeyCase{{17, 11}, {100, 18}, false, false}, KeyCase{{9, 0}, {50, 0}, false, false},
        KeyCase{{9, 10}, {50, 17}, false, false}, KeyCase{{9, 20}, {50, 34}, false, false}));

struct TinyCase {
    QSize frame;
    QRect rect;
};

class TinySizes : public ::testing::TestWithParam<TinyCase>
{};

TEST_P(TinySizes, NeverDrawOutsideTheRectangle)
{
    const auto& c = GetParam();
    QImage s = surface(40, 40);
    drawSkinStretched(codedFrame(c.frame.width(), c.frame.height()), s, c.rect, true);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            if (!c.rect.contains(x, y)) {
                ASSERT_EQ(s.pixel(x, y), Sentinel) << x << "," << y;
            }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TinySizes,
    ::testing::Values(TinyCase{{18, 21}, {5, 5, 0, 0}}, TinyCase{{18, 21}, {5, 5, 1, 1}},
                      TinyCase{{18, 21}, {5, 5, 2, 3}}, TinyCase{{18, 21}, {5, 5, 3, 2}},
                      TinyCase{{18, 21}, {5, 5, 4, 4}}, TinyCase{{18, 21}, {5, 5, 10, 12}},
                      TinyCase{{1, 1}, {5, 5, 20, 20}}, TinyCase{{2, 2}, {5, 5, 20, 20}},
                      TinyCase{{3, 3}, {5, 5, 20, 20}}, TinyCase{{74, 21}, {2, 3, 3, 30}},
                      TinyCase{{0, 0}, {5, 5, 20, 20}}, TinyCase{{18, 21}, {30, 30, 20, 20}},
                      TinyCase{{18, 21}, {-5, -5, 20, 20}}));

TEST(drawSkinStretched, OffsetRectangleKeepsTheWorkedExample)
{
    QImage s = surface(121, 45);
    drawSkinStretched(codedFrame(18, 21), s, QRect(10, 5, 101, 35), false);
    EXPECT_EQ(s.pixel(9, 5), Sentinel);
    EXPECT_EQ(decode(s.pixel(10, 5)), QPoint(0, 0));
    EXPECT_EQ(decode(s.pixel(10 + 8, 5 + 34)), QPoint(9, 20));
    EXPECT_EQ(decode(s.pixel(10 + 100, 5 + 34)), QPoint(17, 20));
    EXPECT_EQ(s.pixel(111, 40), Sentinel);
}

struct LayoutCase {
    QSize button, text, glyph;
    int spacing;
    TButtonLayout layout;
    QPoint glyphAt, captionAt;
};

class GlyphLayout : public ::testing::TestWithParam<LayoutCase>
{};

TEST_P(GlyphLayout, Points)
{
    const auto& c = GetParam();
    const GlyphPlacement p = placeGlyph(c.button, c.text, c.glyph, c.spacing, c.layout);
    EXPECT_EQ(p.glyph, c.glyphAt);
    EXPECT_EQ(p.caption, c.captionAt);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, GlyphLayout,
    ::testing::Values(
        // the program's button: 101 x 35, caption 56 x 14, glyph 16 x 16, spacing 4
        LayoutCase{{101, 35}, {56, 14}, {16, 16}, 4, TButtonLayout::blGlyphLeft, {12, 9}, {32, 10}},
        LayoutCase{
            {101, 35}, {56, 14}, {16, 16}, 4, TButtonLayout::blGlyphRight, {72, 9}, {12, 10}},
        LayoutCase{{101, 35}, {56, 14}, {16, 16}, 4, TButtonLayout::blGlyphTop, {42, 0}, {22, 20}},
        LayoutCase{
            {101, 35}, {56, 14}, {16, 16}, 4, TButtonLayout::blGlyphBottom, {42, 18}, {22, 0}},
        // negative halves truncate toward zero
        LayoutCase{
            {21, 10}, {56, 14}, {16, 16}, 4, TButtonLayout::blGlyphLeft, {-27, -3}, {-7, -2}},
        LayoutCase{{80, 27}, {0, 0}, {16, 16}, 0, TButtonLayout::blGlyphLeft, {32, 5}, {48, 13}}));

struct GlyphSizeCase {
    QSize bitmap;
    QSize image;
    bool two;
};

class GlyphImages : public ::testing::TestWithParam<GlyphSizeCase>
{};

TEST_P(GlyphImages, TwoImagesWhenTwiceAsWideAsHigh)
{
    EXPECT_EQ(glyphImageSize(GetParam().bitmap), GetParam().image);
    EXPECT_EQ(glyphHasTwoImages(GetParam().bitmap), GetParam().two);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GlyphImages,
                         ::testing::Values(GlyphSizeCase{{32, 16}, {16, 16}, true},
                                           GlyphSizeCase{{16, 16}, {16, 16}, false},
                                           GlyphSizeCase{{33, 16}, {33, 16}, false},
                                           GlyphSizeCase{{0, 0}, {0, 0}, false}));

TEST(FocusRectangle, ProgramButton)
{
    EXPECT_EQ(focusRectangle({101, 35}, 2), ltrb(2, 2, 99, 33));
    EXPECT_EQ(focusRectangle({80, 27}, 0), ltrb(0, 0, 80, 27));
}

struct FocusPixel {
    QPoint at;
    bool inverted;
};

class FocusRectInversion : public ::testing::TestWithParam<FocusPixel>
{};

TEST_P(FocusRectInversion, EveryOtherOutlinePixel)
{
    QImage s(101, 35, QImage::Format_RGB32);
    s.fill(qRgb(10, 20, 30));
    drawFocusRectInverted(s, ltrb(2, 2, 99, 33));
    const QRgb expected = GetParam().inverted ? qRgb(245, 235, 225) : qRgb(10, 20, 30);
    EXPECT_EQ(s.pixel(GetParam().at), expected) << GetParam().at.x() << "," << GetParam().at.y();
}

INSTANTIATE_TEST_SUITE_P(Outline, FocusRectInversion,
                         ::testing::Values(FocusPixel{{2, 2}, true}, FocusPixel{{3, 2}, false},
                                           FocusPixel{{4, 2}, true}, FocusPixel{{98, 2}, true},
                                           FocusPixel{{2, 32}, true}, FocusPixel{{98, 32}, true},
                                           FocusPixel{{2, 3}, false}, FocusPixel{{2, 4}, true},
                                           FocusPixel{{98, 31}, false}, FocusPixel{{1, 1}, false},
                                           FocusPixel{{99, 33}, false}, FocusPixel{{4, 4}, false},
                                           FocusPixel{{50, 16}, false}));

TEST(FocusRectInversion, DrawnTwiceRestoresTheImage)
{
    QImage s(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            s.setPixel(x, y, qRgb(x * 6, y * 8, 100));
    const QImage before = s.copy();
    drawFocusRectInverted(s, ltrb(2, 2, 38, 28));
    EXPECT_NE(s, before);
    drawFocusRectInverted(s, ltrb(2, 2, 38, 28));
    EXPECT_EQ(s, before);
}

// 4 x 4 glyph on white with two blue pixels on the diagonal.
QImage smallGlyph()
{
    QImage g(4, 4, QImage::Format_RGB888);
    g.fill(qRgb(255, 255, 255));
    g.setPixel(1, 1, qRgb(0, 0, 255));
    g.setPixel(2, 2, qRgb(0, 0, 255));
    return g;
}

struct GlyphPixel {
    QPoint at;
    QRgb colour;
};

constexpr QRgb Back = 0xFF506070u;
constexpr QRgb Highlight = 0xFFFFFFFEu;
constexpr QRgb Shadow = 0xFF808081u;

class DisabledGlyph : public ::testing::TestWithParam<GlyphPixel>
{};

TEST_P(DisabledGlyph, HighlightSilhouetteThenShadowSilhouette)
{
    QImage s(12, 12, QImage::Format_RGB32);
    s.fill(Back);
    drawGlyphDisabled(s, smallGlyph(), QRect(0, 0, 4, 4), {5, 5}, Highlight, Shadow);
    EXPECT_EQ(s.pixel(GetParam().at), GetParam().colour)
        << GetParam().at.x() << "," << GetParam().at.y();
}

INSTANTIATE_TEST_SUITE_P(
    Silhouettes, DisabledGlyph,
    ::testing::Values(GlyphPixel{{5, 5}, Back},      // the glyph's transparent colour
                      GlyphPixel{{6, 6}, Shadow},    // (1, 1)
                      GlyphPixel{{7, 7}, Shadow},    // (2, 2) over the highlight of (1, 1)
                      GlyphPixel{{8, 8}, Highlight}, // highlight of (2, 2), one right and down
                      GlyphPixel{{7, 6}, Back}, GlyphPixel{{9, 9}, Back}));

TEST(DrawGlyph, TopLeftColourIsTransparent)
{
    QImage s(12, 12, QImage::Format_RGB32);
    s.fill(Back);
    drawGlyph(s, smallGlyph(), QRect(0, 0, 4, 4), {5, 5});
    EXPECT_EQ(s.pixel(5, 5), Back);
    EXPECT_EQ(s.pixel(6, 6), qRgb(0, 0, 255));
    EXPECT_EQ(s.pixel(7, 7), qRgb(0, 0, 255));
    EXPECT_EQ(s.pixel(8, 8), Back);
}

TEST(DrawGlyph, SecondImageOfATwoImageGlyph)
{
    // 8 x 4: left image blue at (1, 1), right image red at (5, 2).
    QImage g(8, 4, QImage::Format_RGB32);
    g.fill(qRgb(255, 255, 255));
    g.setPixel(1, 1, qRgb(0, 0, 255));
    g.setPixel(5, 2, qRgb(255, 0, 0));
    QImage s(10, 10, QImage::Format_RGB32);
    s.fill(Back);
    drawGlyph(s, g, QRect(4, 0, 4, 4), {2, 2});
    EXPECT_EQ(s.pixel(3, 4), qRgb(255, 0, 0));
    EXPECT_EQ(s.pixel(3, 3), Back);
}

} // namespace
