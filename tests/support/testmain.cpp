#include "testmain.h"

#include "dialogs.h"

#include <QFont>
#include <QStandardPaths>

namespace velmoratest {

void prepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A platform theme could replace Qt's own file dialog with a native one that the responder cannot answer.
    qunsetenv("QT_QPA_PLATFORMTHEME");
    QStandardPaths::setTestModeEnabled(true);
}

void prepareApplication(QApplication &app)
{
    app.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    DialogResponder::instance().install();
}

} // namespace velmoratest
