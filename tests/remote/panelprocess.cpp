#include "panelprocess.h"

#include "alpacaclient.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QSettings>

namespace {

const QString client = QStringLiteral("ClientID=7");

} // namespace

PanelProcess::~PanelProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void PanelProcess::launch(const QString &boxPort, const QStringList &arguments)
{
    const QString config = home.filePath(QStringLiteral("config"));
    QSettings settings(config + QStringLiteral("/VELMORA/VELMORA Flat Box.conf"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("auto_search"), QStringLiteral("true"));
    settings.setValue(QStringLiteral("alpaca/port"), 0);
    settings.setValue(QStringLiteral("alpaca/discovery_port"), 0);
    settings.sync();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (!arguments.contains(QStringLiteral("--headless")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("VELMORA_FLAT_EXTRA_PORTS"), boxPort);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VELMORA_EXECUTABLE), arguments);
}

bool PanelProcess::start(const QString &boxPort, const QStringList &arguments)
{
    launch(boxPort, arguments);
    static const QRegularExpression listening(QStringLiteral("Alpaca server:  \".* port (\\d+)\""));
    return waitForLine(listening, [this](const QRegularExpressionMatch &match) { httpPort = match.captured(1).toInt(); });
}

bool PanelProcess::waitForLine(const QRegularExpression &pattern,
                               const std::function<void(const QRegularExpressionMatch &)> &found)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 15000) {
        for (const QString &line : lines())
            if (const QRegularExpressionMatch match = pattern.match(line); match.hasMatch()) {
                if (found)
                    found(match);
                return true;
            }
        if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

bool PanelProcess::waitForLine(const QString &text)
{
    return waitForLine(QRegularExpression(QRegularExpression::escape(text)));
}

QStringList PanelProcess::lines()
{
    log += QString::fromUtf8(process.readAll());
    return log.split(QLatin1Char('\n'));
}

int PanelProcess::call(const QString &member)
{
    return httpCall(httpPort, "GET " + device(member + "?") + client).value().toInt(-1);
}
