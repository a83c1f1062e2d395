#pragma once

// Shared helpers of the connection and lamp tests: readable descriptions of device calls, message boxes,
// widget states and the stored preference, so that a failing comparison shows what happened.

#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "messages.h"
#include "windowtest.h"

#include <QAbstractSlider>
#include <QSettings>
#include <QSpinBox>
#include <QStringList>
#include <QWidget>

Q_DECLARE_METATYPE(SerialPortEntry)

namespace conntest {

constexpr quint16 boxVendor = 0x2341;

inline SerialPortEntry port(const QString &name, quint16 vendor)
{
    return SerialPortEntry{name, vendor};
}

// "connect(ttyACM0, false)", "setBrightness(120)", "turnOn", ...
inline QStringList deviceCalls()
{
    QStringList described;
    for (const fakeflat::Call &call : fakeflat::calls()) {
        if (call.args.isEmpty()) {
            described.append(call.op);
            continue;
        }
        QStringList args;
        for (const QVariant &arg : call.args)
            args.append(arg.toString());
        described.append(call.op + QLatin1Char('(') + args.join(QLatin1String(", ")) + QLatin1Char(')'));
    }
    return described;
}

inline QString iconName(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Warning:
        return QStringLiteral("warning");
    case QMessageBox::Critical:
        return QStringLiteral("critical");
    case QMessageBox::Information:
        return QStringLiteral("information");
    case QMessageBox::Question:
        return QStringLiteral("question");
    default:
        return QStringLiteral("none");
    }
}

// "warning | title | text | buttons | parent" of every message box shown since the last clear().
inline QStringList shownBoxes(const QWidget &window)
{
    QStringList described;
    for (const ShownDialog &box : DialogResponder::instance().shownMessageBoxes()) {
        const QString parent = box.parent == &window ? QStringLiteral("window") : QStringLiteral("other parent");
        described.append(QStringList{iconName(box.icon), box.title, box.text, box.buttons.join(QLatin1Char(',')),
                                     parent}
                             .join(QLatin1String(" | ")));
    }
    return described;
}

inline QString box(const QString &icon, const QString &title, const QString &text)
{
    return QStringList{icon, title, text, QStringLiteral("OK"), QStringLiteral("window")}.join(QLatin1String(" | "));
}

// "name=on name=off ..." for the named children, in the given order.
inline QString enabledStates(QWidget &window, const QStringList &names)
{
    QStringList states;
    for (const QString &name : names) {
        auto *widget = window.findChild<QWidget *>(name);
        states.append(name + (widget ? (widget->isEnabled() ? QStringLiteral("=on") : QStringLiteral("=off"))
                                     : QStringLiteral("=missing")));
    }
    return states.join(QLatin1Char(' '));
}

inline QString uniformStates(const QStringList &names, bool enabled)
{
    QStringList states;
    for (const QString &name : names)
        states.append(name + (enabled ? QStringLiteral("=on") : QStringLiteral("=off")));
    return states.join(QLatin1Char(' '));
}

inline const QStringList &connectionControls()
{
    static const QStringList names = {QStringLiteral("MT_serialConnect"), QStringLiteral("MT_serialCombo"),
                                      QStringLiteral("MT_serialDisconnect"), QStringLiteral("ST_connectButton"),
                                      QStringLiteral("MT_lampSwitch")};
    return names;
}

// The enabled states of the connection controls when connected or disconnected.
inline QString connectionState(bool connected)
{
    return QStringList{QStringLiteral("MT_serialConnect=") + (connected ? "off" : "on"),
                       QStringLiteral("MT_serialCombo=") + (connected ? "off" : "on"),
                       QStringLiteral("MT_serialDisconnect=") + (connected ? "on" : "off"),
                       QStringLiteral("ST_connectButton=") + (connected ? "off" : "on"),
                       QStringLiteral("MT_lampSwitch=") + (connected ? "on" : "off")}
        .join(QLatin1Char(' '));
}

// The fifteen controls that work only while the lamp is on, in the order the window switches them.
inline const QStringList &lampControls()
{
    static const QStringList names = {
        QStringLiteral("MT_lampLevelSlider"),   QStringLiteral("ST_lampLevelSlider"),
        QStringLiteral("FT_filterSetting"),     QStringLiteral("FT_cameraTypeSetting"),
        QStringLiteral("FT_isobinSetting"),     QStringLiteral("FT_applySettingButton"),
        QStringLiteral("ST_cameraSetting"),     QStringLiteral("ST_isobinSetting"),
        QStringLiteral("ST_filterSetting"),     QStringLiteral("ST_modifyButton"),
        QStringLiteral("ST_applyButton"),       QStringLiteral("ST_saveButton"),
        QStringLiteral("ST_openButton"),        QStringLiteral("MT_lampLevelSpinBox"),
        QStringLiteral("ST_lampLevelSpinBox")};
    return names;
}

inline const QStringList &brightnessControls()
{
    static const QStringList names = {QStringLiteral("MT_lampLevelSlider"), QStringLiteral("MT_lampLevelSpinBox"),
                                      QStringLiteral("ST_lampLevelSlider"), QStringLiteral("ST_lampLevelSpinBox")};
    return names;
}

// "MT_lampLevelSlider=120 MT_lampLevelSpinBox=120 ..." for the four brightness controls.
inline QString brightnessValues(QWidget &window)
{
    QStringList values;
    for (const QString &name : brightnessControls()) {
        int value = -1;
        if (auto *slider = window.findChild<QAbstractSlider *>(name))
            value = slider->value();
        else if (auto *spinBox = window.findChild<QSpinBox *>(name))
            value = spinBox->value();
        values.append(name + QLatin1Char('=') + QString::number(value));
    }
    return values.join(QLatin1Char(' '));
}

inline QString uniformBrightness(int value)
{
    QStringList values;
    for (const QString &name : brightnessControls())
        values.append(name + QLatin1Char('=') + QString::number(value));
    return values.join(QLatin1Char(' '));
}

// The stored "auto_search" text, or "<absent>".
inline QString storedPreference()
{
    const QSettings settings;
    return settings.contains(QStringLiteral("auto_search")) ? settings.value(QStringLiteral("auto_search")).toString()
                                                           : QStringLiteral("<absent>");
}

inline void forgetPreference()
{
    QSettings settings;
    settings.remove(QStringLiteral("auto_search"));
}

// The two debug lines of a preference write.
inline QStringList preferenceLines(const QString &value)
{
    return {QStringLiteral("QSettings:  %1").arg(debugQuoted(QSettings().fileName())),
            QStringLiteral("QSetting value:  \"%1\"").arg(value)};
}

inline QStringList portLines(const QString &name, quint16 vendor)
{
    return {QStringLiteral("serial port:  \"%1\"").arg(name), QStringLiteral("vendor:  %1").arg(vendor)};
}

inline QString connectToLine(const QString &name)
{
    return QStringLiteral("connect to  \"%1\"").arg(name);
}

} // namespace conntest
