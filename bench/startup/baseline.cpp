// A bare main window of the same shape as the program's: four tabs and as many styled widgets, no pictures, no
// device. Quits as soon as it is on screen, printing the same figure as the launcher.
#include "firstexpose.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const char *const buttonSheet = "QPushButton { border: 2px solid #8f8f91; background-color: rgb(98, 136, 163); "
                                "min-width: 80px; color: rgb(255, 255, 255); font: 10pt 'DejaVu Sans'; }"
                                "QPushButton:pressed { color: white; background-color: rgb(118, 156, 183); }";
const char *const comboSheet = "QComboBox { border: 1px solid gray; padding: 1px 18px 1px 3px; min-width: 6em; "
                               "color: rgb(255, 255, 255); } QComboBox:!editable { background: rgb(98, 136, 163); }";
const char *const editSheet = "QLineEdit { border: 1px solid white; background-color: rgb(98, 136, 163); }";
const char *const groupSheet = "QGroupBox { font: 10pt 'DejaVu Sans'; color: rgb(119, 119, 119); "
                               "border: 1px solid white; margin-top: 10px; }";

QWidget *makePage(int index)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    for (int g = 0; g < 3; ++g) {
        auto *group = new QGroupBox(QStringLiteral("Group %1.%2").arg(index).arg(g));
        group->setStyleSheet(QLatin1String(groupSheet));
        auto *groupLayout = new QVBoxLayout(group);
        auto *combo = new QComboBox;
        combo->setStyleSheet(QLatin1String(comboSheet));
        combo->addItems({QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")});
        groupLayout->addWidget(combo);
        auto *button = new QPushButton(QStringLiteral("Button"));
        button->setStyleSheet(QLatin1String(buttonSheet));
        groupLayout->addWidget(button);
        auto *edit = new QLineEdit(QStringLiteral("0"));
        edit->setStyleSheet(QLatin1String(editSheet));
        groupLayout->addWidget(edit);
        layout->addWidget(group);
    }
    auto *slider = new QSlider(Qt::Vertical);
    slider->setRange(0, 255);
    layout->addWidget(slider);
    auto *spin = new QSpinBox;
    spin->setRange(0, 255);
    layout->addWidget(spin);
    layout->addWidget(new QLabel(QStringLiteral("PAGE %1").arg(index)));
    return page;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FirstExposeWatch watch;

    QMainWindow window;
    window.setFixedSize(480, 640);
    window.setStyleSheet(QStringLiteral("QWidget { background-color: rgb(80, 80, 80); color: rgb(255, 255, 255); }"));
    auto *tabs = new QTabWidget;
    tabs->setTabPosition(QTabWidget::West);
    for (int i = 0; i < 4; ++i)
        tabs->addTab(makePage(i), QString());
    window.setCentralWidget(tabs);
    window.statusBar()->addPermanentWidget(new QLabel(QStringLiteral("FLAT BOX DISCONNECTED")));
    window.setWindowTitle(QStringLiteral("baseline"));

    watch.watch(&window);
    window.show();
    return app.exec();
}
