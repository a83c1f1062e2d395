#include "testmain.h"

#include "dialogs.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace velmoratest {

// Each test process keeps its settings in a folder of its own, removed when the process ends: tests that run at
// the same time never see each other's "auto_search", and none touches the user's settings. Programs that a test
// starts get the folder too.
static void isolateSettings()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/velmora-test-settings-XXXXXX"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
}

void prepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A platform theme could replace Qt's own file dialog with a native one that the responder cannot answer.
    qunsetenv("QT_QPA_PLATFORMTHEME");
    QStandardPaths::setTestModeEnabled(true);
    isolateSettings();
}

void prepareApplication(QApplication &app)
{
    app.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    DialogResponder::instance().install();
}

} // namespace velmoratest
