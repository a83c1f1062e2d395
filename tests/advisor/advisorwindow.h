#pragma once

// Helpers shared by the advisor's window tests.

#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "windowtest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QStringList>
#include <QtTest>

#include <memory>
#include <vector>

namespace advisortest {

inline QStringList linesOf(const std::vector<QString> &lines)
{
    return QStringList(lines.cbegin(), lines.cend());
}

inline std::vector<QString> tableOf(const QStringList &lines)
{
    return std::vector<QString>(lines.cbegin(), lines.cend());
}

inline QStringList tableLines(VelmoraFlat &w)
{
    return linesOf(VelmoraFlatTestAccess::flatTable(w));
}

inline void setTable(VelmoraFlat &w, const QStringList &lines)
{
    VelmoraFlatTestAccess::flatTable(w) = tableOf(lines);
}

inline QStringList items(QComboBox *comboBox)
{
    QStringList texts;
    for (int i = 0; i < comboBox->count(); ++i)
        texts.append(comboBox->itemText(i));
    return texts;
}

// Test doubles reset, one serial port that is not the box (so the start-up search shows no box), nothing recorded.
inline void resetDoubles()
{
    fakeflat::reset();
    fakeports::set({{QStringLiteral("ttyS0"), 0}});
    DialogResponder::instance().clear();
}

// The window as it is once the lamp has been switched on: the advisor's controls enabled.
inline std::unique_ptr<VelmoraFlat> lampOnWindow()
{
    auto w = makeWindow();
    VelmoraFlatTestAccess::setLampControlsEnabled(*w, true);
    DialogResponder::instance().clear();
    fakeflat::clearCalls();
    return w;
}

// Chooses a combination on the filters tab; the filter is chosen last and always anew, so the lookup runs.
inline void selectOnFiltersTab(VelmoraFlat &w, const QString &camera, const QString &isoBin, const QString &filter)
{
    child<QComboBox>(w, "FT_cameraTypeSetting")->setCurrentText(camera);
    child<QComboBox>(w, "FT_isobinSetting")->setCurrentText(isoBin);
    auto *filterBox = child<QComboBox>(w, "FT_filterSetting");
    filterBox->setCurrentIndex(-1);
    filterBox->setCurrentText(filter);
}

inline void selectOnSettingsTab(VelmoraFlat &w, const QString &camera, const QString &isoBin, const QString &filter)
{
    child<QComboBox>(w, "ST_cameraSetting")->setCurrentText(camera);
    child<QComboBox>(w, "ST_isobinSetting")->setCurrentText(isoBin);
    auto *filterBox = child<QComboBox>(w, "ST_filterSetting");
    filterBox->setCurrentIndex(-1);
    filterBox->setCurrentText(filter);
}

inline QString text(VelmoraFlat &w, const char *lineEdit)
{
    return child<QLineEdit>(w, lineEdit)->text();
}

// The four brightness controls: main-tab slider and spin box, settings-tab slider and spin box.
inline QList<int> lampLevels(VelmoraFlat &w)
{
    return {child<QSlider>(w, "MT_lampLevelSlider")->value(), child<QSpinBox>(w, "MT_lampLevelSpinBox")->value(),
            child<QSlider>(w, "ST_lampLevelSlider")->value(), child<QSpinBox>(w, "ST_lampLevelSpinBox")->value()};
}

inline QList<uint> brightnessSent()
{
    QList<uint> levels;
    for (const fakeflat::Call &call : fakeflat::callsOf(QStringLiteral("setBrightness")))
        levels.append(call.args.value(0).toUInt());
    return levels;
}

inline QSet<uint> distinctBrightnessSent()
{
    const QList<uint> levels = brightnessSent();
    return QSet<uint>(levels.cbegin(), levels.cend());
}

// Types into the exposure field as a user does, after pressing Modify.
inline void typeExposure(VelmoraFlat &w, const QString &exposure)
{
    pressButton(w, "ST_modifyButton");
    auto *edit = child<QLineEdit>(w, "ST_exposureValue");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, exposure);
}

} // namespace advisortest
