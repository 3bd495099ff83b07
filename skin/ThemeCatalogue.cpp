#include "ThemeCatalogue.h"

#include <array>

// Qt
#include <QObject>

namespace {

constexpr std::array<int8_t, ThemeEntryCount> kKinds = [] {
    std::array<int8_t, ThemeEntryCount> k{};
    auto set = [&k](int from, int to, int8_t kind) {
        for (int e = from; e <= to; ++e)
            k[size_t(e - 1)] = kind;
    };
    set(1, 1, tkInteger);
    set(2, 3, tkColor);
    set(4, 6, tkInteger);
    set(7, 18, tkColor);
    set(19, 21, tkInteger);
    set(22, 64, tkResourceName);
    set(65, 65, tkBoolean);
    set(66, 68, tkInteger);
    set(69, 71, tkResourceName);
    set(72, 72, tkInteger);
    set(73, 73, tkColor);
    set(74, 77, tkResourceName);
    set(78, 78, tkColor);
    return k;
}();

using ThemeTable = std::array<QVariant, ThemeEntryCount>;

ThemeTable makeTable(int styleNumber, const char *prefix)
{
    ThemeTable t;
    for (int e = 1; e <= ThemeEntryCount; ++e) {
        switch (kKinds[size_t(e - 1)]) {
        case tkInteger: t[size_t(e - 1)] = int32_t(0); break;
        case tkColor: t[size_t(e - 1)] = uint32_t(0); break;
        case tkResourceName: t[size_t(e - 1)] = QString(); break;
        case tkBoolean: t[size_t(e - 1)] = false; break;
        }
    }
    const QString p = QString::fromLatin1(prefix);
    t[SUI_THEME_STYLE_NUMBER - 1] = int32_t(styleNumber);
    t[SUI_THEME_MENU_CHECKED - 1] = QStringLiteral("MENU_CHECKED");
    t[SUI_THEME_BUTTON_NORMAL - 1] = p + QStringLiteral("_BUTTON_NORMAL");
    t[SUI_THEME_BUTTON_MOUSEON - 1] = p + QStringLiteral("_BUTTON_MOUSEON");
    t[SUI_THEME_BUTTON_MOUSEDOWN - 1] = p + QStringLiteral("_BUTTON_MOUSEDOWN");
    return t;
}

// One read-only table per theme, in the order of the enumeration.
const ThemeTable &table(TsuiUIStyle style)
{
    static const std::array<ThemeTable, 5> tables = {
        makeTable(1, "MACOS"), makeTable(2, "WINXP"), makeTable(3, "DEEPBLUE"),
        makeTable(4, "PROTEIN"), makeTable(5, "BLUEGLASS"),
    };
    return tables[size_t(style) - 1];
}

bool validEntry(int entry) { return entry >= 1 && entry <= ThemeEntryCount; }

} // namespace

int ThemeEntryKind(int entry)
{
    return validEntry(entry) ? kKinds[size_t(entry - 1)] : -1;
}

ThemeValue ThemeEntry(TsuiUIStyle style, int entry)
{
    if (!IsThemeStyle(style) || !validEntry(entry))
        return {QVariant(int32_t(-1)), tkInteger};
    return {table(style)[size_t(entry - 1)], kKinds[size_t(entry - 1)]};
}

QString ThemeResourceName(TsuiUIStyle style, int entry)
{
    const ThemeValue v = ThemeEntry(style, entry);
    return IsThemeStyle(style) && v.Kind == tkResourceName ? v.Value.toString() : QString();
}

int32_t ThemeInteger(TsuiUIStyle style, int entry)
{
    const ThemeValue v = ThemeEntry(style, entry);
    return IsThemeStyle(style) && validEntry(entry) && v.Kind == tkInteger ? v.Value.toInt() : -1;
}

uint32_t ThemeColor(TsuiUIStyle style, int entry)
{
    const ThemeValue v = ThemeEntry(style, entry);
    return IsThemeStyle(style) && v.Kind == tkColor ? v.Value.toUInt() : 0;
}

bool ThemeBoolean(TsuiUIStyle style, int entry)
{
    const ThemeValue v = ThemeEntry(style, entry);
    return IsThemeStyle(style) && v.Kind == tkBoolean && v.Value.toBool();
}

TsuiUIStyle DefaultUIStyle(const QObject *owner)
{
    if (owner) {
        for (const QObject *child : owner->children()) {
            if (!child->inherits("TsuiForm"))
                continue;
            const int style = child->property("UIStyle").toInt();
            return style >= 1 && style <= 5 ? TsuiUIStyle(style) : TsuiUIStyle::Custom;
        }
    }
    return TsuiUIStyle::DeepBlue;
}
