// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the button's skin strips and the update glyph as BMP files into the folder given
// (src/skin/res in the source tree), for the resources compiled into the skin library.
#include "skin/tools/skin_art.h"

#include <QDir>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const struct {
        const char* name;
        QImage image;
    } files[] = {
        {"WINXP_BUTTON.bmp", SkinArt::winXPStrip()},
        {"MACOS_BUTTON.bmp", SkinArt::macOSStrip()},
        {"DEEPBLUE_BUTTON.bmp", SkinArt::deepBlueStrip()},
        {"PROTEIN_BUTTON.bmp", SkinArt::proteinStrip()},
        {"BLUEGLASS_BUTTON.bmp", SkinArt::blueGlassStrip()},
        {"UPDATE_GLYPH.bmp", SkinArt::updateGlyph()},
    };
    int status = 0;
    for (const auto& f : files) {
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        if (!f.image.save(path, "BMP")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            status = 1;
        }
    }
    return status;
}
