#include "assistantwindow_main.h"

#include "assistanttranslation.h"
#include "assistantwindow.h"

#include <QApplication>
#include <QTextStream>

int runAssistantWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (assistanttranslation::panelSpeaksItalian())
        assistanttranslation::install(app, assistanttranslation::italianFile());
    const AssistantArguments arguments = parseAssistantArguments(QApplication::arguments());
    QTextStream err(stderr);
    for (const QString &error : arguments.errors())
        err << "velmora-flat-assistant: " << error << '\n';
    err.flush();

    FlatAssistant assistant;
    AssistantWindow window(&assistant);
    window.takeArguments(arguments);
    window.show();
    return app.exec();
}
