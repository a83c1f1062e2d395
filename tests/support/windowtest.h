#pragma once

// Helpers for tests that build the main window.

#include "velmoraflat.h"

#include <QLabel>
#include <QtTest>

#include <memory>
#include <vector>

// Reaches the window's private state and member functions (a friend of VelmoraFlat).
struct VelmoraFlatTestAccess
{
    static std::vector<QString> &flatTable(VelmoraFlat &w) { return w.flatTable; }
    static QString currentCamera(const VelmoraFlat &w) { return w.currentCamera; }
    static bool nightVision(const VelmoraFlat &w) { return w.nightVision; }
    static QLabel &statusLabel(VelmoraFlat &w) { return w.statusLabel; }
    static QString statusText(const VelmoraFlat &w) { return w.statusLabel.text(); }
    static velmora::Flat *device(const VelmoraFlat &w) { return w.controller->flatForTests(); }
    static QGraphicsPixmapItem *bannerItem(const VelmoraFlat &w) { return w.bannerItem; }
    static QGraphicsPixmapItem *filtersItem(const VelmoraFlat &w) { return w.filtersItem; }
    static QGraphicsPixmapItem *flatItem(const VelmoraFlat &w) { return w.flatItem; }

    static void findConfiguration(const VelmoraFlat &w, const QString &key, bool &found, int &index,
                                  QString &exposure, QString &lightLevel)
    {
        w.findConfiguration(key, found, index, exposure, lightLevel);
    }
    static void setLampControlsEnabled(VelmoraFlat &w, bool enabled) { w.setLampControlsEnabled(enabled); }
    static void applyTheme(VelmoraFlat &w, bool night) { w.applyTheme(night); }
    static void updateFiltersTab(VelmoraFlat &w) { w.updateFiltersTab(); }
    static void updateSettingsTab(VelmoraFlat &w, bool setLampLevel) { w.updateSettingsTab(setLampLevel); }
};

// Builds the window as start-up does, failing the running test if the slot wiring warns.
std::unique_ptr<VelmoraFlat> makeWindow(const QString &autoSearch = QString());

// The child with that object name; fails the running test when there is none.
template<class T>
T *child(QWidget &window, const char *objectName)
{
    T *found = window.findChild<T *>(QLatin1String(objectName));
    if (!found)
        QTest::qFail(qPrintable(QStringLiteral("no %1 named %2").arg(QLatin1String(T::staticMetaObject.className()),
                                                                     QLatin1String(objectName))),
                     __FILE__, __LINE__);
    return found;
}

// Presses a button as a user does: nothing happens when it is disabled.
void pressButton(QWidget &window, const char *objectName);
