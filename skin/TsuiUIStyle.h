#pragma once
// The skin style of a skinned control: no theme (Custom, the control's own picture names) or
// one of the five themes of the catalogue. Held in one byte.

#include <cstdint>

enum class TsuiUIStyle : uint8_t { Custom, MacOS, WinXP, DeepBlue, Protein, BlueGlass };

// True for the five themes; Custom and any value outside the enumeration are not themes.
constexpr bool IsThemeStyle(TsuiUIStyle style)
{
    return style >= TsuiUIStyle::MacOS && style <= TsuiUIStyle::BlueGlass;
}
