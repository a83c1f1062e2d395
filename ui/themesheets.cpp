#include "themesheets.h"

#include <QRegularExpression>

#include <array>

namespace {

// The two palettes side by side: every name has a day and a night value. A section name ("yes" or empty) keeps or
// drops the rules between "@if name@" and "@endif@" of a template.
struct PaletteEntry
{
    const char *name;
    const char *day;
    const char *night;
};

const PaletteEntry palettes[] = {
    {"ground", "rgb(80, 80, 80)", "rgb(0, 0, 0)"},
    {"pane", "rgb(200, 200, 200)", "rgb(66, 15, 15)"},
    {"control", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"controlPressed", "rgb(118, 156, 183)", "rgb(170, 70, 70)"},
    {"highlight", "rgb(248, 141, 2)", "rgb(200, 30, 30)"},
    {"idleTab", "rgb(98, 136, 163)", "rgb(40, 0, 0)"},
    {"statusGround", "rgb(80, 80, 80)", "black"},
    {"fieldDisabled", "rgb(220, 220, 220)", "rgb(66, 15, 15)"},
    {"fieldDisabledText", "rgb(82, 82, 82)", "rgb(255, 255, 255)"},
    {"lampOffIcon", "off.png", "red_off.png"},
    {"lampOnIcon", "on.png", "red_on.png"},
    {"greyDisabledButtons", "", "yes"},
    {"sliderHoverAndGroove", "", "yes"},
};

QString paletteValue(const QString &name, bool night)
{
    for (const PaletteEntry &entry : palettes) {
        if (name == QLatin1String(entry.name))
            return QString::fromLatin1(night ? entry.night : entry.day);
    }
    qFatal("theme template names \"%s\", which no palette has", qPrintable(name));
}

// One template per style role, in the order of StyleRole.
const char *const templates[styleRoleCount] = {
    // StyleRole::Base, worn by the central widget mainWindow.
    "QWidget {\n"
    "    background-color: @ground@;\n"
    "    color: rgb(255, 255, 255);\n"
    "    selection-background-color: #3daee9;\n"
    "}\n"
    "QTabBar::tab:selected {\n"
    "    background-color: @highlight@;\n"
    "}\n"
    "QTabBar::tab:!selected {\n"
    "    background-color: @idleTab@;\n"
    "}\n"
    "QTabWidget::pane {\n"
    "    border-top: 0px solid;\n"
    "}\n",
    // StyleRole::TabPane, worn by tabWidget.
    "QWidget {\n"
    "    background-color: @pane@;\n"
    "}\n",
    // StyleRole::PushButton, worn by the nine push buttons of the main, filters and settings tabs.
    "QPushButton {\n"
    "    border: 2px solid #8f8f91;\n"
    "    background-color: @control@;\n"
    "    min-width: 80px;\n"
    "    color: rgb(255, 255, 255);\n"
    "    font: 10pt 'MS Shell Dlg 2';\n"
    "}\n"
    "@if greyDisabledButtons@"
    "QPushButton::disabled {\n"
    "    border: 2px solid #8f8f91;\n"
    "    background-color: rgb(80, 80, 80);\n"
    "    min-width: 80px;\n"
    "    color: rgb(255, 255, 255);\n"
    "    font: 10pt 'MS Shell Dlg 2';\n"
    "}\n"
    "@endif@"
    "QPushButton:pressed {\n"
    "    color: white;\n"
    "    background-color: @controlPressed@;\n"
    "}\n"
    "QPushButton:flat {\n"
    "    border: none;\n"
    "}\n"
    "QPushButton:default {\n"
    "    border-color: navy;\n"
    "}\n",
    // StyleRole::ComboBox, worn by the seven combo boxes.
    "QComboBox:!editable::disabled, QComboBox::drop-down:editable::disabled {\n"
    "    background: rgb(80, 80, 80);\n"
    "}\n"
    "QComboBox {\n"
    "    border: 1px solid gray;\n"
    "    padding: 1px 18px 1px 3px;\n"
    "    min-width: 6em;\n"
    "    color: rgb(255, 255, 255);\n"
    "}\n"
    "QComboBox:editable {\n"
    "    background: @control@;\n"
    "}\n"
    "QComboBox:!editable, QComboBox::drop-down:editable {\n"
    "    background: @control@;\n"
    "}\n"
    "QComboBox:!editable:on, QComboBox::drop-down:editable:on {\n"
    "    background-color: @highlight@;\n"
    "}\n"
    "QComboBox:on {\n"
    "    padding-top: 3px;\n"
    "    padding-left: 4px;\n"
    "}\n"
    "QComboBox::drop-down {\n"
    "    subcontrol-origin: padding;\n"
    "    subcontrol-position: top right;\n"
    "    width: 15px;\n"
    "    border-left-width: 1px;\n"
    "    border-left-color: darkgray;\n"
    "    border-left-style: solid;\n"
    "    border-top-right-radius: 3px;\n"
    "    border-bottom-right-radius: 3px;\n"
    "}\n"
    "QComboBox::down-arrow {\n"
    "    image: url(:/icons/combo_connect.png);\n"
    "    width: 10px;\n"
    "    height: 10px;\n"
    "}\n"
    "QComboBox::down-arrow:on {\n"
    "    top: 1px;\n"
    "    left: 1px;\n"
    "}\n"
    "QComboBox QAbstractItemView {\n"
    "    selection-background-color: rgb(80, 80, 80);\n"
    "    selection-color: white;\n"
    "}\n"
    "QScrollBar:vertical {\n"
    "    border: 1px solid #999999;\n"
    "    background: white;\n"
    "    width: 10px;\n"
    "    margin: 0px 0px 0px 0px;\n"
    "}\n"
    "QScrollBar::handle:vertical {\n"
    "    background-color: @control@;\n"
    "    min-height: 0px;\n"
    "}\n"
    "QScrollBar::add-line:vertical {\n"
    "    background: qlineargradient(x1:0, y1:0, x2:1, y2:0,stop: 0 rgb(32, 47, 130), stop: 0.5 rgb(32, 47, 130),  stop:1 rgb(32, 47, 130));\n"
    "    height: 0px;\n"
    "    subcontrol-position: bottom;\n"
    "    subcontrol-origin: margin;\n"
    "}\n"
    "QScrollBar::sub-line:vertical {\n"
    "    background: qlineargradient(x1:0, y1:0, x2:1, y2:0,stop: 0  rgb(32, 47, 130), stop: 0.5 rgb(32, 47, 130),  stop:1 rgb(32, 47, 130));\n"
    "    height: 0 px;\n"
    "    subcontrol-position: top;\n"
    "    subcontrol-origin: margin;\n"
    "}\n",
    // StyleRole::SpinBox, worn by the two brightness spin boxes.
    "QSpinBox {\n"
    "    font: 12pt 'MS Shell Dlg 2';\n"
    "    color: rgb(119, 119, 119);\n"
    "    border-width: 1px;\n"
    "    border-style: solid;\n"
    "    border-color: rgb(231, 234, 234);\n"
    "}\n"
    "QSpinBox::up-button {\n"
    "    background-color: @control@;\n"
    "    subcontrol-position: top right;\n"
    "    subcontrol-origin: border;\n"
    "    width: 30px;\n"
    "}\n"
    "QSpinBox::up-arrow {\n"
    "    image: url(:/icons/plus.png);\n"
    "    width: 15px;\n"
    "    height: 15px;\n"
    "}\n"
    "QSpinBox::up-arrow:disabled {\n"
    "    background-color: rgb(82, 82, 82);\n"
    "}\n"
    "QSpinBox::up-button:disabled {\n"
    "    background-color: rgb(82, 82, 82);\n"
    "}\n"
    "QSpinBox::down-button {\n"
    "    background-color: @control@;\n"
    "    subcontrol-origin: border;\n"
    "    subcontrol-position: bottom right;\n"
    "    width: 30px;\n"
    "}\n"
    "QSpinBox::down-arrow {\n"
    "    image: url(:/icons/minus.png);\n"
    "    width: 15px;\n"
    "    height: 15px;\n"
    "}\n"
    "QSpinBox::down-button:disabled {\n"
    "    background-color: rgb(82, 82, 82);\n"
    "}\n"
    "QSpinBox::down-arrow:disabled {\n"
    "    background-color: rgb(82, 82, 82);\n"
    "}\n",
    // StyleRole::QtLogo, worn by the toolkit logo button of the info tab.
    "QPushButton {\n"
    "    border: 0px solid #8f8f91;\n"
    "    background-color: @pane@;\n"
    "    min-width: 80px;\n"
    "    color: rgb(255, 255, 255);\n"
    "    font: 10pt 'MS Shell Dlg 2';\n"
    "}\n"
    "QPushButton:pressed {\n"
    "    color: white;\n"
    "    background-color: @pane@;\n"
    "}\n"
    "QPushButton:flat {\n"
    "    border: none;\n"
    "}\n"
    "QPushButton:default {\n"
    "    border-color: navy;\n"
    "}\n",
    // StyleRole::LampSwitch, worn by the lamp switch MT_lampSwitch.
    "QCheckBox {\n"
    "    spacing: 5px;\n"
    "}\n"
    "QCheckBox::indicator {\n"
    "    width: 120px;\n"
    "    height: 100px;\n"
    "}\n"
    "QCheckBox::indicator:unchecked::disabled {\n"
    "    image: url(:/icons/disabled.png);\n"
    "}\n"
    "QCheckBox::indicator:unchecked::enabled {\n"
    "    image: url(:/icons/@lampOffIcon@);\n"
    "}\n"
    "QCheckBox::indicator:checked {\n"
    "    image: url(:/icons/@lampOnIcon@);\n"
    "}\n",
    // StyleRole::Slider, worn by the two brightness sliders.
    "QSlider::sub-page:vertical {\n"
    "    background: @control@;\n"
    "    border: 1px solid #777;\n"
    "    width: 10px;\n"
    "    border-radius: 4px;\n"
    "}\n"
    "QSlider::add-page:vertical {\n"
    "    background: @highlight@;\n"
    "    border: 1px solid #777;\n"
    "    width: 10px;\n"
    "    border-radius: 4px;\n"
    "}\n"
    "QSlider::handle:vertical {\n"
    "    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #eee, stop:1 #ccc);\n"
    "    border: 1px solid #777;\n"
    "    height: 13px;\n"
    "    margin-top: -2px;\n"
    "    margin-bottom: -2px;\n"
    "    border-radius: 4px;\n"
    "}\n"
    "QSlider::sub-page:vertical:disabled {\n"
    "    background-color: rgb(82, 82, 82);\n"
    "    border-color: #999;\n"
    "}\n"
    "QSlider::add-page:vertical:disabled {\n"
    "    background: #eee;\n"
    "    border-color: #999;\n"
    "}\n"
    "QSlider::handle:vertical:disabled {\n"
    "    background: #eee;\n"
    "    border: 1px solid #aaa;\n"
    "    border-radius: 4px;\n"
    "}\n"
    "@if sliderHoverAndGroove@"
    "QSlider::handle:vertical:hover {\n"
    "    background: white;\n"
    "    border: 1px solid #444;\n"
    "    border-radius: 4px;\n"
    "}\n"
    "QSlider::groove:horizontal {\n"
    "    border: 1px solid #bbb;\n"
    "    border-color: green;\n"
    "    background: white;\n"
    "    width: 10px;\n"
    "    border-radius: 4px;\n"
    "}\n"
    "@endif@",
    // StyleRole::StatusBar, worn by the status bar.
    "QStatusBar {\n"
    "    font: 10pt 'MS Shell Dlg 2';\n"
    "    color: rgb(98, 136, 163);\n"
    "    background-color: @statusGround@;\n"
    "}\n"
    "QStatusBar::item {\n"
    "    border: 0px solid white;\n"
    "    border-radius: 3px;\n"
    "}\n",
    // StyleRole::LineEdit, worn by the six read-only value fields.
    "QLineEdit::enabled {\n"
    "    border: 1px solid white;\n"
    "    background-color: @control@;\n"
    "    font: 10pt 'MS Shell Dlg 2';\n"
    "    color: rgb(255, 255, 255);\n"
    "}\n"
    "QLineEdit::disabled {\n"
    "    border: 1px solid white;\n"
    "    background-color: @fieldDisabled@;\n"
    "    font: 10pt 'MS Shell Dlg 2';\n"
    "    color: @fieldDisabledText@;\n"
    "}\n"
};

QString expand(const char *templateText, bool night)
{
    static const QRegularExpression section(QStringLiteral("@if (\\w+)@(.*?)@endif@"),
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression placeholder(QStringLiteral("@(\\w+)@"));
    QString sheet = QString::fromLatin1(templateText);
    for (QRegularExpressionMatch match; (match = section.match(sheet)).hasMatch();) {
        const bool kept = !paletteValue(match.captured(1), night).isEmpty();
        sheet.replace(match.capturedStart(), match.capturedLength(), kept ? match.captured(2) : QString());
    }
    for (QRegularExpressionMatch match; (match = placeholder.match(sheet)).hasMatch();)
        sheet.replace(match.capturedStart(), match.capturedLength(), paletteValue(match.captured(1), night));
    return sheet;
}

using SheetSet = std::array<std::array<QString, 2>, styleRoleCount>;

SheetSet expandAll()
{
    SheetSet sheets;
    for (int role = 0; role < styleRoleCount; ++role) {
        sheets[role][0] = expand(templates[role], false);
        sheets[role][1] = expand(templates[role], true);
    }
    return sheets;
}

} // namespace

const QString &themeSheet(StyleRole role, bool night)
{
    static const SheetSet sheets = expandAll();
    return sheets[static_cast<int>(role)][night ? 1 : 0];
}
