// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/skin_ui_style.h"

#include "common/exceptions.h"

#include <QFile>
#include <array>

// The resources live in this static library; make sure they are registered before use.
static void ensureSkinResources()
{
    static const bool once = [] {
        Q_INIT_RESOURCE(skins);
        return true;
    }();
    Q_UNUSED(once);
}

namespace
{

constexpr int StyleCount = 5;

// The kind of every position. Only the two positions the button reads are filled; the
// other forty belong to skinned controls this program does not contain and hold nothing.
constexpr std::array<StyleEntryKind, StyleEntryCount> EntryKinds = [] {
    std::array<StyleEntryKind, StyleEntryCount> k{};
    for (auto& e : k)
        e = StyleEntryKind::None;
    k[StyleEntryButtonStrip - 1] = StyleEntryKind::ResourceName;
    k[StyleEntryButtonTransparent - 1] = StyleEntryKind::Boolean;
    return k;
}();

struct StyleRow {
    const char16_t* buttonStrip;
    bool buttonTransparent;
};

// Rows for MacOS, WinXP, DeepBlue, Protein, BlueGlass (styles 1..5).
constexpr StyleRow StyleRows[StyleCount] = {
    {u"MACOS_BUTTON", true},    {u"WINXP_BUTTON", false},    {u"DEEPBLUE_BUTTON", false},
    {u"PROTEIN_BUTTON", false}, {u"BLUEGLASS_BUTTON", true},
};

} // namespace

ResolvedUIStyle resolveUIStyle(const SkinThemeFile* theme, TSkinUIStyle style)
{
    if (style != TSkinUIStyle::FromThemeFile)
        return {false, style};
    // No theme file is ever loaded in this program, assigned or not.
    Q_UNUSED(theme);
    return {false, TSkinUIStyle::DeepBlue};
}

StyleEntryResult styleEntry(TSkinUIStyle style, int position)
{
    const int s = static_cast<int>(style);
    if (s < 1 || s > StyleCount || position < 1 || position > StyleEntryCount)
        return {};
    const StyleRow& row = StyleRows[s - 1];
    switch (EntryKinds[position - 1]) {
    case StyleEntryKind::ResourceName:
        return {StyleEntryKind::ResourceName, s - 1, QString::fromUtf16(row.buttonStrip)};
    case StyleEntryKind::Boolean:
        return {StyleEntryKind::Boolean, row.buttonTransparent ? 1 : 0, {}};
    default:
        return {};
    }
}

QImage loadSkinResource(const QString& name)
{
    ensureSkinResources();
    if (name.isEmpty() || name.contains(u'/'))
        return {};
    const QString path = QStringLiteral(":/skin/") + name;
    if (!QFile::exists(path))
        return {};
    return QImage(path);
}

void sliceFrame(const QImage& strip, QImage& target, int count, int index)
{
    if (count <= 0) {
        target = strip;
        return;
    }
    const int fw = strip.width() / count;
    // copy() fills columns that lie outside the strip; an index outside 1..count gives an
    // empty-looking frame of the right size rather than reading out of bounds.
    target = strip.copy(fw * (index - 1), 0, fw, strip.height());
}

void loadStyleFrame(const SkinThemeFile* theme, TSkinUIStyle style, int position, int count,
                    QImage& target, int index, bool resolve)
{
    TSkinUIStyle used = style;
    if (resolve) {
        const ResolvedUIStyle r = resolveUIStyle(theme, style);
        // A loaded theme file would supply the strip here; none ever is.
        used = r.style;
    }
    const StyleEntryResult entry = styleEntry(used, position);
    if (entry.kind != StyleEntryKind::ResourceName)
        return;
    const QImage strip = loadSkinResource(entry.resourceName);
    if (strip.isNull())
        throw Exception(QStringLiteral("Resource ") + entry.resourceName +
                        QStringLiteral(" not found"));
    sliceFrame(strip, target, count, index);
}
