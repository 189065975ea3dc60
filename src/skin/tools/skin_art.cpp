// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/tools/skin_art.h"

#include <QColor>
#include <QList>
#include <algorithm>
#include <cstdlib>

namespace SkinArt
{

namespace
{

constexpr QRgb Key = 0xFFFF00FFu; // the skin key colour (255, 0, 255)

// Everything drawn on a 32-bit canvas; converted at the end where a palette format is wanted.
QImage canvas(int w, int h, QRgb fill)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

void fillRect(QImage& img, int l, int t, int r, int b, QRgb c) // right and bottom exclusive
{
    for (int y = std::max(t, 0); y < std::min(b, img.height()); ++y)
        for (int x = std::max(l, 0); x < std::min(r, img.width()); ++x)
            img.setPixel(x, y, c);
}

// WinXP frame: one-pixel dark blue border cut diagonally at the corners, the three pixels
// outside each corner in the dialog colour.
void xpBorder(QImage& img, int ox)
{
    const QRgb border = qRgb(0, 60, 116);
    const QRgb outside = qRgb(236, 233, 216);
    const int w = 18, h = 21;
    for (int x = 2; x < w - 2; ++x) {
        img.setPixel(ox + x, 0, border);
        img.setPixel(ox + x, h - 1, border);
    }
    for (int y = 2; y < h - 2; ++y) {
        img.setPixel(ox, y, border);
        img.setPixel(ox + w - 1, y, border);
    }
    const int cx[2] = {0, w - 1};
    const int cy[2] = {0, h - 1};
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            const int dx = i == 0 ? 1 : -1;
            const int dy = j == 0 ? 1 : -1;
            img.setPixel(ox + cx[i], cy[j], outside);
            img.setPixel(ox + cx[i] + dx, cy[j], outside);
            img.setPixel(ox + cx[i], cy[j] + dy, outside);
            img.setPixel(ox + cx[i] + dx, cy[j] + dy, border);
        }
    }
}

void xpNormalFace(QImage& img, int ox)
{
    // Rows 1..19 inside the border, light at the top, a darker band at the bottom.
    for (int y = 1; y < 20; ++y) {
        QRgb c;
        if (y <= 4)
            c = qRgb(252, 252, 252);
        else if (y <= 9)
            c = qRgb(245, 245, 242);
        else if (y <= 14)
            c = qRgb(243, 243, 238);
        else if (y <= 17)
            c = qRgb(236, 235, 228);
        else if (y == 18)
            c = qRgb(225, 222, 213);
        else
            c = qRgb(213, 208, 196);
        const int l = (y == 1 || y == 19) ? 2 : 1;
        fillRect(img, ox + l, y, ox + 18 - l, y + 1, c);
    }
}

void xpHotFace(QImage& img, int ox)
{
    xpNormalFace(img, ox);
    // Two-pixel warm border inside the frame.
    fillRect(img, ox + 2, 1, ox + 16, 2, qRgb(255, 255, 204));
    fillRect(img, ox + 1, 2, ox + 17, 3, qRgb(255, 255, 204));
    for (int y = 3; y < 18; ++y) {
        img.setPixel(ox + 1, y, qRgb(255, 204, 153));
        img.setPixel(ox + 16, y, qRgb(255, 204, 153));
        img.setPixel(ox + 2, y, qRgb(255, 204, 102));
        img.setPixel(ox + 15, y, qRgb(255, 204, 102));
    }
    fillRect(img, ox + 1, 18, ox + 17, 19, qRgb(255, 204, 51));
    fillRect(img, ox + 2, 19, ox + 16, 20, qRgb(204, 153, 51));
}

void xpPressedFace(QImage& img, int ox)
{
    fillRect(img, ox + 1, 1, ox + 17, 20, qRgb(229, 227, 220));
    fillRect(img, ox + 1, 2, ox + 17, 19, qRgb(229, 227, 220));
    // Darker inner top-left edge, a light lowest row.
    fillRect(img, ox + 2, 1, ox + 16, 2, qRgb(213, 207, 195));
    fillRect(img, ox + 1, 2, ox + 2, 19, qRgb(213, 207, 195));
    fillRect(img, ox + 2, 2, ox + 16, 3, qRgb(223, 220, 210));
    fillRect(img, ox + 2, 3, ox + 3, 19, qRgb(223, 220, 210));
    fillRect(img, ox + 2, 19, ox + 16, 20, qRgb(243, 243, 238));
}

QImage toIndexed(const QImage& img)
{
    QList<QRgb> table;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!table.contains(img.pixel(x, y)))
                table.append(img.pixel(x, y));
    while (table.size() < 256)
        table.append(qRgb(0, 0, 0));
    return img.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
}

// A simple rounded or square button frame: border, face with a vertical shade, and key
// colour outside the rounding when asked.
void plainFrame(QImage& img, int ox, int w, int h, QRgb border, QRgb top, QRgb bottom, int radius)
{
    const QColor t(top), b(bottom);
    for (int y = 0; y < h; ++y) {
        const double f = h > 1 ? double(y) / (h - 1) : 0.0;
        const QRgb face = qRgb(int(t.red() + (b.red() - t.red()) * f),
                               int(t.green() + (b.green() - t.green()) * f),
                               int(t.blue() + (b.blue() - t.blue()) * f));
        for (int x = 0; x < w; ++x) {
            // Distance test against the nearest corner circle.
            const int cx = x < radius ? radius : (x >= w - radius ? w - 1 - radius : x);
            const int cy = y < radius ? radius : (y >= h - radius ? h - 1 - radius : y);
            const int dx = x - cx, dy = y - cy;
            const int d2 = dx * dx + dy * dy;
            QRgb c = face;
            if (radius > 0 && d2 > radius * radius)
                c = Key;
            else if (x == 0 || y == 0 || x == w - 1 || y == h - 1 ||
                     (radius > 0 && d2 > (radius - 1) * (radius - 1)))
                c = border;
            img.setPixel(ox + x, y, c);
        }
    }
}

QImage threeFrames(int fw, int fh, int radius, QRgb border, const QRgb (&faces)[3][2])
{
    QImage img = canvas(fw * 3, fh, radius > 0 ? Key : border);
    for (int i = 0; i < 3; ++i)
        plainFrame(img, i * fw, fw, fh, border, faces[i][0], faces[i][1], radius);
    return img;
}

} // namespace

QImage winXPStrip()
{
    QImage img = canvas(54, 21, qRgb(236, 233, 216));
    xpNormalFace(img, 0);
    xpHotFace(img, 18);
    xpPressedFace(img, 36);
    for (int i = 0; i < 3; ++i)
        xpBorder(img, i * 18);
    return toIndexed(img);
}

QImage macOSStrip()
{
    const QRgb faces[3][2] = {{qRgb(250, 250, 250), qRgb(205, 205, 205)},
                              {qRgb(214, 232, 252), qRgb(120, 170, 230)},
                              {qRgb(120, 170, 230), qRgb(60, 110, 190)}};
    return threeFrames(84, 23, 8, qRgb(110, 110, 110), faces);
}

QImage deepBlueStrip()
{
    const QRgb faces[3][2] = {{qRgb(70, 100, 160), qRgb(30, 50, 110)},
                              {qRgb(90, 130, 200), qRgb(40, 70, 140)},
                              {qRgb(25, 45, 100), qRgb(50, 80, 140)}};
    return threeFrames(74, 21, 0, qRgb(10, 20, 60), faces);
}

QImage proteinStrip()
{
    const QRgb faces[3][2] = {{qRgb(240, 240, 235), qRgb(200, 205, 195)},
                              {qRgb(230, 245, 225), qRgb(170, 210, 160)},
                              {qRgb(180, 200, 170), qRgb(215, 225, 205)}};
    return threeFrames(74, 21, 0, qRgb(90, 110, 80), faces);
}

QImage blueGlassStrip()
{
    const QRgb faces[3][2] = {{qRgb(200, 225, 250), qRgb(90, 150, 220)},
                              {qRgb(220, 240, 255), qRgb(110, 180, 245)},
                              {qRgb(80, 140, 210), qRgb(160, 205, 245)}};
    return threeFrames(77, 27, 9, qRgb(40, 80, 150), faces);
}

QImage updateGlyph()
{
    QImage img = canvas(16, 16, qRgb(255, 255, 255));
    // Triangle pointing right: base from (4, 2) to (4, 13), apex at (12, 7.5).
    for (int y = 2; y <= 13; ++y) {
        const double d = y < 8 ? 7.5 - y : y - 7.5; // 0.5 in the middle, 5.5 at the tips
        const int reach = int((6.0 - d) * 8.0 / 5.5 + 0.5);
        for (int x = 4; x < 4 + reach; ++x)
            img.setPixel(x, y, qRgb(0, 0, 255));
    }
    return img.convertToFormat(QImage::Format_RGB888);
}

} // namespace SkinArt
