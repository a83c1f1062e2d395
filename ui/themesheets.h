#pragma once

#include <QString>

// The style sheets of the day and the night-vision theme, made from one template per style role and the two
// palettes, so that the two looks of a widget are always edited together.
enum class StyleRole { Base, TabPane, PushButton, ComboBox, SpinBox, QtLogo, LampSwitch, Slider, StatusBar, LineEdit };
constexpr int styleRoleCount = 10;

const QString &themeSheet(StyleRole role, bool night);
