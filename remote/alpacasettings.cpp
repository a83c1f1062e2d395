#include "alpacasettings.h"

#include <QSettings>
#include <QUuid>

namespace alpaca {

namespace {

int portValue(const QSettings &store, const QString &key, int fallback)
{
    bool ok = false;
    const int port = store.value(key).toString().trimmed().toInt(&ok);
    // 0 lets the system choose a free port (the debug line names it).
    return ok && port >= 0 && port <= 65535 ? port : fallback;
}

QString flagText(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

Settings readSettings(QSettings &store)
{
    Settings settings;
    store.beginGroup(QStringLiteral("alpaca"));
    settings.enabled = store.value(QStringLiteral("enabled"), QStringLiteral("true")).toString().trimmed() != QLatin1String("false");
    settings.network = store.value(QStringLiteral("network")).toString().trimmed() == QLatin1String("true");
    settings.port = portValue(store, QStringLiteral("port"), settings.port);
    settings.discoveryPort = portValue(store, QStringLiteral("discovery_port"), settings.discoveryPort);
    const QUuid stored(store.value(QStringLiteral("unique_id")).toString());
    if (stored.isNull()) {
        settings.uniqueId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        store.setValue(QStringLiteral("unique_id"), settings.uniqueId);
    } else {
        settings.uniqueId = stored.toString(QUuid::WithoutBraces);
    }
    store.endGroup();
    return settings;
}

void writeSettings(QSettings &store, const Settings &settings)
{
    store.beginGroup(QStringLiteral("alpaca"));
    store.setValue(QStringLiteral("enabled"), flagText(settings.enabled));
    store.setValue(QStringLiteral("port"), settings.port);
    store.setValue(QStringLiteral("network"), flagText(settings.network));
    store.setValue(QStringLiteral("discovery_port"), settings.discoveryPort);
    store.endGroup();
}

} // namespace alpaca
