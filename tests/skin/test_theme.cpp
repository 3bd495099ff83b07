// The theme catalogue: entry kinds, the button picture names, the answers for the wrong kind and
// for Custom, and the style a new control starts with.

#include <gtest/gtest.h>

// Qt
#include <QWidget>

#include "ThemeCatalogue.h"

namespace {

const TsuiUIStyle kThemes[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein,
                               TsuiUIStyle::BlueGlass};

} // namespace

// A skinned form frame as a control library would have it: only its style matters here.
class TsuiForm : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int UIStyle MEMBER FStyle)
public:
    TsuiForm(QWidget *parent, TsuiUIStyle style) : QWidget(parent), FStyle(int(style)) {}
    int FStyle;
};

TEST(ThemeCatalogue, KindCodesOfEveryEntry)
{
    int counts[4] = {};
    for (int e = 1; e <= ThemeEntryCount; ++e) {
        const int kind = ThemeEntryKind(e);
        ASSERT_GE(kind, 0) << "entry " << e;
        ASSERT_LE(kind, 3) << "entry " << e;
        ++counts[kind];
    }
    EXPECT_EQ(counts[tkInteger], 11);
    EXPECT_EQ(counts[tkColor], 16);
    EXPECT_EQ(counts[tkResourceName], 50);
    EXPECT_EQ(counts[tkBoolean], 1);

    // The first and last entry of every run of one kind.
    const std::pair<int, int> samples[] = {{1, tkInteger},  {2, tkColor},   {3, tkColor},         {4, tkInteger},
                                           {6, tkInteger},  {7, tkColor},   {18, tkColor},        {19, tkInteger},
                                           {21, tkInteger}, {22, tkResourceName}, {64, tkResourceName}, {65, tkBoolean},
                                           {66, tkInteger}, {68, tkInteger}, {69, tkResourceName}, {71, tkResourceName},
                                           {72, tkInteger}, {73, tkColor},  {74, tkResourceName}, {77, tkResourceName},
                                           {78, tkColor}};
    for (auto [entry, kind] : samples)
        EXPECT_EQ(ThemeEntryKind(entry), kind) << "entry " << entry;
    EXPECT_EQ(ThemeEntryKind(0), -1);
    EXPECT_EQ(ThemeEntryKind(79), -1);
}

TEST(ThemeCatalogue, KindsAreTheSameInEveryTheme)
{
    for (TsuiUIStyle style : kThemes)
        for (int e = 1; e <= ThemeEntryCount; ++e)
            EXPECT_EQ(ThemeEntry(style, e).Kind, ThemeEntryKind(e)) << "style " << int(style) << " entry " << e;
}

struct PictureNameCase {
    TsuiUIStyle style;
    int entry;
    const char *name;
};

class ThemePictureNames : public ::testing::TestWithParam<PictureNameCase> {};

TEST_P(ThemePictureNames, ButtonAndMenuPictures)
{
    const PictureNameCase &c = GetParam();
    EXPECT_EQ(ThemeResourceName(c.style, c.entry), QString::fromLatin1(c.name));
    const ThemeValue v = ThemeEntry(c.style, c.entry);
    EXPECT_EQ(v.Kind, tkResourceName);
    EXPECT_EQ(v.Value.toString(), QString::fromLatin1(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, ThemePictureNames,
    ::testing::Values(PictureNameCase{TsuiUIStyle::MacOS, 23, "MACOS_BUTTON_NORMAL"},
                      PictureNameCase{TsuiUIStyle::MacOS, 24, "MACOS_BUTTON_MOUSEON"},
                      PictureNameCase{TsuiUIStyle::MacOS, 25, "MACOS_BUTTON_MOUSEDOWN"},
                      PictureNameCase{TsuiUIStyle::WinXP, 23, "WINXP_BUTTON_NORMAL"},
                      PictureNameCase{TsuiUIStyle::WinXP, 24, "WINXP_BUTTON_MOUSEON"},
                      PictureNameCase{TsuiUIStyle::WinXP, 25, "WINXP_BUTTON_MOUSEDOWN"},
                      PictureNameCase{TsuiUIStyle::DeepBlue, 23, "DEEPBLUE_BUTTON_NORMAL"},
                      PictureNameCase{TsuiUIStyle::DeepBlue, 24, "DEEPBLUE_BUTTON_MOUSEON"},
                      PictureNameCase{TsuiUIStyle::DeepBlue, 25, "DEEPBLUE_BUTTON_MOUSEDOWN"},
                      PictureNameCase{TsuiUIStyle::Protein, 23, "PROTEIN_BUTTON_NORMAL"},
                      PictureNameCase{TsuiUIStyle::Protein, 24, "PROTEIN_BUTTON_MOUSEON"},
                      PictureNameCase{TsuiUIStyle::Protein, 25, "PROTEIN_BUTTON_MOUSEDOWN"},
                      PictureNameCase{TsuiUIStyle::BlueGlass, 23, "BLUEGLASS_BUTTON_NORMAL"},
                      PictureNameCase{TsuiUIStyle::BlueGlass, 24, "BLUEGLASS_BUTTON_MOUSEON"},
                      PictureNameCase{TsuiUIStyle::BlueGlass, 25, "BLUEGLASS_BUTTON_MOUSEDOWN"},
                      PictureNameCase{TsuiUIStyle::WinXP, 22, "MENU_CHECKED"},
                      PictureNameCase{TsuiUIStyle::BlueGlass, 22, "MENU_CHECKED"}));

TEST(ThemeCatalogue, EntryOneIsTheStyleNumber)
{
    for (TsuiUIStyle style : kThemes) {
        EXPECT_EQ(ThemeInteger(style, SUI_THEME_STYLE_NUMBER), int(style));
        const ThemeValue v = ThemeEntry(style, SUI_THEME_STYLE_NUMBER);
        EXPECT_EQ(v.Kind, tkInteger);
        EXPECT_EQ(v.Value.toInt(), int(style));
    }
}

TEST(ThemeCatalogue, WrongKindGivesTheNeutralAnswer)
{
    const TsuiUIStyle s = TsuiUIStyle::WinXP;
    EXPECT_EQ(ThemeInteger(s, 24), -1);         // a picture name
    EXPECT_EQ(ThemeInteger(s, 65), -1);         // a flag
    EXPECT_EQ(ThemeColor(s, 1), 0u);            // an integer
    EXPECT_EQ(ThemeColor(s, 23), 0u);           // a picture name
    EXPECT_EQ(ThemeResourceName(s, 1), QString());
    EXPECT_EQ(ThemeResourceName(s, 2), QString()); // a colour
    EXPECT_FALSE(ThemeBoolean(s, 23));
    EXPECT_FALSE(ThemeBoolean(s, 1));
    // Entries of the right kind that no control reads hold neutral values.
    EXPECT_EQ(ThemeInteger(s, 4), 0);
    EXPECT_EQ(ThemeColor(s, 7), 0u);
    EXPECT_FALSE(ThemeBoolean(s, 65));
}

TEST(ThemeCatalogue, CustomUnknownStylesAndEntriesAnswerNothing)
{
    for (TsuiUIStyle style : {TsuiUIStyle::Custom, TsuiUIStyle(6), TsuiUIStyle(255)}) {
        for (int entry : {1, 2, 22, 23, 24, 25, 65, 78}) {
            const ThemeValue v = ThemeEntry(style, entry);
            EXPECT_EQ(v.Value.toInt(), -1);
            EXPECT_EQ(v.Kind, tkInteger);
            EXPECT_EQ(ThemeResourceName(style, entry), QString());
            EXPECT_EQ(ThemeInteger(style, entry), -1);
            EXPECT_EQ(ThemeColor(style, entry), 0u);
            EXPECT_FALSE(ThemeBoolean(style, entry));
        }
    }
    for (int entry : {0, -3, 79}) {
        EXPECT_EQ(ThemeEntry(TsuiUIStyle::WinXP, entry).Value.toInt(), -1);
        EXPECT_EQ(ThemeInteger(TsuiUIStyle::WinXP, entry), -1);
        EXPECT_EQ(ThemeResourceName(TsuiUIStyle::WinXP, entry), QString());
    }
}

TEST(DefaultUIStyle, DeepBlueWithoutASkinnedFormFrame)
{
    EXPECT_EQ(DefaultUIStyle(nullptr), TsuiUIStyle::DeepBlue);
    QWidget form;
    new QWidget(&form);
    new QWidget(&form);
    EXPECT_EQ(DefaultUIStyle(&form), TsuiUIStyle::DeepBlue);
}

TEST(DefaultUIStyle, TheFirstSkinnedFormFrameDecides)
{
    QWidget form;
    new QWidget(&form);
    new TsuiForm(&form, TsuiUIStyle::Protein);
    new TsuiForm(&form, TsuiUIStyle::MacOS);
    EXPECT_EQ(DefaultUIStyle(&form), TsuiUIStyle::Protein);
}

#include "test_theme.moc"
