#include "assistanttheme.h"

#include "themepalette.h"

#include <QRegularExpression>
#include <QString>

namespace assistanttheme {

namespace {

// The window's one sheet, from the panel's palettes. Where the panel styles the same kind of widget (its ground and
// text, push buttons, value fields, status bar), the rule takes the panel's colours; the rest names palette entries
// by their roles. A button that can be checked shows it in the highlight, as the panel's selected tab does.
const char windowTemplate[] =
    "QWidget {\n"
    "    background-color: @ground@;\n"
    "    color: rgb(255, 255, 255);\n"
    "    selection-background-color: #3daee9;\n"
    "}\n"
    "QGroupBox {\n"
    "    border: 1px solid @control@;\n"
    "    margin-top: 1.4ex;\n"
    "    padding-top: 1ex;\n"
    "}\n"
    "QGroupBox::title {\n"
    "    subcontrol-origin: margin;\n"
    "    left: 8px;\n"
    "    padding: 0px 3px;\n"
    "    color: @highlight@;\n"
    "}\n"
    "QPushButton {\n"
    "    border: 2px solid #8f8f91;\n"
    "    background-color: @control@;\n"
    "    color: rgb(255, 255, 255);\n"
    "    padding: 3px 10px;\n"
    "}\n"
    "QPushButton:pressed {\n"
    "    background-color: @controlPressed@;\n"
    "}\n"
    "QPushButton:checked {\n"
    "    background-color: @highlight@;\n"
    "}\n"
    "QPushButton:disabled {\n"
    "    background-color: @buttonDisabled@;\n"
    "    color: @buttonDisabledText@;\n"
    "}\n"
    "QLineEdit, QSpinBox, QDoubleSpinBox, QComboBox {\n"
    "    background-color: @control@;\n"
    "    color: rgb(255, 255, 255);\n"
    "}\n"
    "QLineEdit:disabled, QSpinBox:disabled, QDoubleSpinBox:disabled, QComboBox:disabled {\n"
    "    background-color: @fieldDisabled@;\n"
    "    color: @fieldDisabledText@;\n"
    "}\n"
    "QListWidget, QTableView, QPlainTextEdit {\n"
    "    background-color: @pane@;\n"
    "    color: @paneText@;\n"
    "    gridline-color: @paneLine@;\n"
    "}\n"
    "QHeaderView::section {\n"
    "    background-color: @control@;\n"
    "    color: rgb(255, 255, 255);\n"
    "    border: 1px solid @ground@;\n"
    "    padding: 2px;\n"
    "}\n"
    "QScrollBar:vertical, QScrollBar:horizontal {\n"
    "    background: @pane@;\n"
    "    width: 10px;\n"
    "    height: 10px;\n"
    "}\n"
    "QScrollBar::handle {\n"
    "    background-color: @control@;\n"
    "    min-height: 20px;\n"
    "    min-width: 20px;\n"
    "}\n"
    "QScrollBar::add-line, QScrollBar::sub-line {\n"
    "    width: 0px;\n"
    "    height: 0px;\n"
    "}\n"
    "QStatusBar {\n"
    "    color: rgb(98, 136, 163);\n"
    "    background-color: @statusGround@;\n"
    "}\n";

// The target band is the curve's colour, seen through.
const int bandAlpha = 110;

// A palette value as a colour: "rgb(r, g, b)" or a name Qt knows ("black").
QColor paletteColour(const char *name, bool night)
{
    static const QRegularExpression rgb(QStringLiteral("^rgb\\((\\d+), (\\d+), (\\d+)\\)$"));
    const QString text = themepalette::value(QLatin1String(name), night);
    const QRegularExpressionMatch match = rgb.match(text);
    if (!match.hasMatch())
        return QColor(text);
    return QColor(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
}

} // namespace

QString windowSheet(bool night)
{
    return themepalette::expand(QString::fromLatin1(windowTemplate), night);
}

ChartColours chartColours(bool night)
{
    ChartColours colours;
    colours.background = paletteColour("ground", night);
    colours.text = QColor(255, 255, 255); // as the sheet's text
    colours.grid = paletteColour("groundLine", night);
    colours.frames = paletteColour("highlight", night);
    colours.saturated = paletteColour("saturated", night);
    colours.curve = paletteColour("control", night);
    colours.band = colours.curve;
    colours.band.setAlpha(bandAlpha);
    return colours;
}

} // namespace assistanttheme
