#pragma once

// Style sheets of the day and the night-vision theme. Each sheet carries both texts, so that
// the two looks of a widget are always edited together.
struct ThemeSheet
{
    const char *day;
    const char *night;
};

extern const ThemeSheet baseSheet;
extern const ThemeSheet tabPaneSheet;
extern const ThemeSheet pushButtonSheet;
extern const ThemeSheet comboBoxSheet;
extern const ThemeSheet spinBoxSheet;
extern const ThemeSheet qtLogoSheet;
extern const ThemeSheet lampSwitchSheet;
extern const ThemeSheet sliderSheet;
extern const ThemeSheet statusBarSheet;
extern const ThemeSheet lineEditSheet;
