#pragma once
// The theme catalogue: for each of the five themes 78 numbered entries (integers, colours,
// picture resource names, flags); every entry number has the same kind in all themes.
// Only the button pictures (23 to 25) are read by the controls of this program; the other
// entries keep their numbers and kinds with neutral values.

#include <cstdint>

// Qt
#include <QString>
#include <QVariant>

#include "TsuiUIStyle.h"

class QObject;

enum ThemeKind : int {
    tkInteger = 0,
    tkColor = 1, // 0x00BBGGRR
    tkResourceName = 2,
    tkBoolean = 3,
};

constexpr int ThemeEntryCount = 78;

// Entry numbers with a meaning here.
enum ThemeEntryNumber : int {
    SUI_THEME_STYLE_NUMBER = 1,
    SUI_THEME_MENU_CHECKED = 22,
    SUI_THEME_BUTTON_NORMAL = 23,
    SUI_THEME_BUTTON_MOUSEON = 24,
    SUI_THEME_BUTTON_MOUSEDOWN = 25,
};

struct ThemeValue {
    QVariant Value; // int, uint (colour), QString or bool, by Kind
    int Kind = tkInteger;
};

// The kind code of an entry number 1..78 (-1 outside).
int ThemeEntryKind(int entry);

// Value and kind of an entry; Custom, a style outside the themes or an entry outside 1..78
// gives the value -1 with kind 0.
ThemeValue ThemeEntry(TsuiUIStyle style, int entry);

// Typed look-ups. The wrong kind, Custom or an unknown entry give "", -1, 0 and false.
QString ThemeResourceName(TsuiUIStyle style, int entry);
int32_t ThemeInteger(TsuiUIStyle style, int entry);
uint32_t ThemeColor(TsuiUIStyle style, int entry);
bool ThemeBoolean(TsuiUIStyle style, int entry);

// The style for a control being created with this owner: the style (property "UIStyle") of the
// owner's first child that is a TsuiForm, else DeepBlue.
TsuiUIStyle DefaultUIStyle(const QObject *owner);
