#include "assistanttheme.h"

#include <QString>

namespace assistanttheme {

namespace {

// Both sheets list their rules in the same order, as the panel's own sheets do.
const char daySheet[] =
    "QWidget {\n"
    "    background-color: rgb(80, 80, 80);\n"
    "    color: rgb(255, 255, 255);\n"
    "    selection-background-color: #3daee9;\n"
    "}\n"
    "QGroupBox {\n"
    "    border: 1px solid rgb(98, 136, 163);\n"
    "    margin-top: 1.4ex;\n"
    "    padding-top: 1ex;\n"
    "}\n"
    "QGroupBox::title {\n"
    "    subcontrol-origin: margin;\n"
    "    left: 8px;\n"
    "    padding: 0px 3px;\n"
    "    color: rgb(248, 141, 2);\n"
    "}\n"
    "QPushButton {\n"
    "    border: 2px solid #8f8f91;\n"
    "    background-color: rgb(98, 136, 163);\n"
    "    color: rgb(255, 255, 255);\n"
    "    padding: 3px 10px;\n"
    "}\n"
    "QPushButton:pressed, QPushButton:checked {\n"
    "    background-color: rgb(248, 141, 2);\n"
    "}\n"
    "QPushButton:disabled {\n"
    "    background-color: rgb(110, 110, 110);\n"
    "    color: rgb(170, 170, 170);\n"
    "}\n"
    "QLineEdit, QSpinBox, QDoubleSpinBox, QComboBox {\n"
    "    background-color: rgb(98, 136, 163);\n"
    "    color: rgb(255, 255, 255);\n"
    "}\n"
    "QListWidget, QTableWidget, QPlainTextEdit {\n"
    "    background-color: rgb(200, 200, 200);\n"
    "    color: rgb(30, 30, 30);\n"
    "    gridline-color: rgb(150, 150, 150);\n"
    "}\n"
    "QHeaderView::section {\n"
    "    background-color: rgb(98, 136, 163);\n"
    "    color: rgb(255, 255, 255);\n"
    "    border: 1px solid rgb(80, 80, 80);\n"
    "    padding: 2px;\n"
    "}\n"
    "QScrollBar:vertical, QScrollBar:horizontal {\n"
    "    background: rgb(200, 200, 200);\n"
    "    width: 10px;\n"
    "    height: 10px;\n"
    "}\n"
    "QScrollBar::handle {\n"
    "    background-color: rgb(98, 136, 163);\n"
    "    min-height: 20px;\n"
    "    min-width: 20px;\n"
    "}\n"
    "QScrollBar::add-line, QScrollBar::sub-line {\n"
    "    width: 0px;\n"
    "    height: 0px;\n"
    "}\n"
    "QStatusBar {\n"
    "    color: rgb(248, 141, 2);\n"
    "}\n";

const char nightSheet[] =
    "QWidget {\n"
    "    background-color: rgb(0, 0, 0);\n"
    "    color: rgb(200, 30, 30);\n"
    "    selection-background-color: rgb(140, 40, 40);\n"
    "}\n"
    "QGroupBox {\n"
    "    border: 1px solid rgb(140, 40, 40);\n"
    "    margin-top: 1.4ex;\n"
    "    padding-top: 1ex;\n"
    "}\n"
    "QGroupBox::title {\n"
    "    subcontrol-origin: margin;\n"
    "    left: 8px;\n"
    "    padding: 0px 3px;\n"
    "    color: rgb(200, 30, 30);\n"
    "}\n"
    "QPushButton {\n"
    "    border: 2px solid rgb(66, 15, 15);\n"
    "    background-color: rgb(140, 40, 40);\n"
    "    color: rgb(0, 0, 0);\n"
    "    padding: 3px 10px;\n"
    "}\n"
    "QPushButton:pressed, QPushButton:checked {\n"
    "    background-color: rgb(200, 30, 30);\n"
    "}\n"
    "QPushButton:disabled {\n"
    "    background-color: rgb(40, 0, 0);\n"
    "    color: rgb(110, 20, 20);\n"
    "}\n"
    "QLineEdit, QSpinBox, QDoubleSpinBox, QComboBox {\n"
    "    background-color: rgb(66, 15, 15);\n"
    "    color: rgb(200, 30, 30);\n"
    "}\n"
    "QListWidget, QTableWidget, QPlainTextEdit {\n"
    "    background-color: rgb(40, 0, 0);\n"
    "    color: rgb(200, 30, 30);\n"
    "    gridline-color: rgb(66, 15, 15);\n"
    "}\n"
    "QHeaderView::section {\n"
    "    background-color: rgb(66, 15, 15);\n"
    "    color: rgb(200, 30, 30);\n"
    "    border: 1px solid rgb(0, 0, 0);\n"
    "    padding: 2px;\n"
    "}\n"
    "QScrollBar:vertical, QScrollBar:horizontal {\n"
    "    background: rgb(40, 0, 0);\n"
    "    width: 10px;\n"
    "    height: 10px;\n"
    "}\n"
    "QScrollBar::handle {\n"
    "    background-color: rgb(140, 40, 40);\n"
    "    min-height: 20px;\n"
    "    min-width: 20px;\n"
    "}\n"
    "QScrollBar::add-line, QScrollBar::sub-line {\n"
    "    width: 0px;\n"
    "    height: 0px;\n"
    "}\n"
    "QStatusBar {\n"
    "    color: rgb(200, 30, 30);\n"
    "}\n";

} // namespace

QString windowSheet(bool night)
{
    return QString::fromLatin1(night ? nightSheet : daySheet);
}

ChartColours chartColours(bool night)
{
    if (night)
        return {QColor(0, 0, 0), QColor(200, 30, 30), QColor(66, 15, 15), QColor(200, 30, 30),
                QColor(255, 90, 40), QColor(140, 40, 40), QColor(66, 15, 15)};
    return {QColor(80, 80, 80), QColor(255, 255, 255), QColor(110, 110, 110), QColor(248, 141, 2),
            QColor(255, 60, 60), QColor(98, 136, 163), QColor(98, 136, 163, 110)};
}

} // namespace assistanttheme
