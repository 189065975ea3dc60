// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>

// The built-in skins a button can be drawn with.
enum class TSkinUIStyle : quint8 {
    FromThemeFile = 0,
    MacOS = 1,
    WinXP = 2,
    DeepBlue = 3,
    Protein = 4,
    BlueGlass = 5,
};

// A skin loaded from a theme file. This program has no theme files: the type is never
// defined and a button's theme, when assigned at all, is never loaded.
class SkinThemeFile;

// Skin pixels of this colour are never drawn by stretched pieces, nor by corner pieces of a
// masked frame.
constexpr QRgb SkinKeyColor = 0xFF00FFu; // red 255, green 0, blue 255 (alpha ignored)

inline bool isSkinKeyColor(QRgb pixel)
{
    return (pixel & 0xFFFFFFu) == SkinKeyColor;
}

// What a style table position holds. Every position has one kind for all styles.
enum class StyleEntryKind : quint8 { None, Integer, Colour, ResourceName, Boolean };

struct StyleEntryResult {
    StyleEntryKind kind = StyleEntryKind::None;
    qint32 value = -1;    // integer, colour or Boolean (0/1); index of the name for resources
    QString resourceName; // the bitmap resource's name for StyleEntryKind::ResourceName
};

// Positions of the style table that the button reads.
constexpr int StyleEntryButtonStrip = 1;       // resource name of the three-frame strip
constexpr int StyleEntryButtonTransparent = 2; // Boolean: default Transparent
constexpr int StyleEntryCount = 42;

struct ResolvedUIStyle {
    bool useThemeFile = false;
    TSkinUIStyle style = TSkinUIStyle::DeepBlue;
};

// A built-in style stays as it is; FromThemeFile uses a loaded theme file and otherwise
// falls back to DeepBlue.
ResolvedUIStyle resolveUIStyle(const SkinThemeFile* theme, TSkinUIStyle style);

// Entry at position 1..42 of a built-in style's row; a style outside 1..5 (or a position
// outside the table) gives the kind None and the value -1.
StyleEntryResult styleEntry(TSkinUIStyle style, int position);

// The program's bitmap resource of that name; a null image when there is none.
QImage loadSkinResource(const QString& name);

// Cuts frame `index` (1-based) of `count` equal frames out of a strip, unscaled. A count of
// 0 or less copies the whole strip.
void sliceFrame(const QImage& strip, QImage& target, int count, int index);

// Loads the strip named at `position` of the resolved style into `target`: the whole strip
// when count is 0, else frame `index` of `count`. A wrong entry kind
// leaves `target` untouched; a missing resource raises Exception. With resolve false the style is
// used as given (auto-size).
void loadStyleFrame(const SkinThemeFile* theme, TSkinUIStyle style, int position, int count,
                    QImage& target, int index, bool resolve = true);
