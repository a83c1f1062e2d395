#include "assistanttranslation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

#include <memory>

#ifndef VELMORA_ASSISTANT_TRANSLATIONS_DIR
#define VELMORA_ASSISTANT_TRANSLATIONS_DIR "/usr/share/velmora-flat-assistant/translations"
#endif

namespace assistanttranslation {

namespace {

const char assistantFileName[] = "velmora-flat-assistant_it.qm";
const char panelFileName[] = "velmoralang_it.qm";

QString besideProgram(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// The installed translation, kept until the process ends or it is taken away.
std::unique_ptr<QTranslator> installed;
} // namespace

QString italianFile()
{
    const QString beside = besideProgram(assistantFileName);
    if (QFileInfo::exists(beside))
        return beside;
    return QStringLiteral(VELMORA_ASSISTANT_TRANSLATIONS_DIR "/") + QLatin1String(assistantFileName);
}

bool panelSpeaksItalian()
{
    return QFileInfo::exists(besideProgram(panelFileName)) || QFileInfo::exists(besideProgram(assistantFileName));
}

bool install(QCoreApplication &app, const QString &file)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(file, QString(), QString(), QString()))
        return false;
    if (installed)
        app.removeTranslator(installed.get());
    app.installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

void uninstall(QCoreApplication &app)
{
    if (installed)
        app.removeTranslator(installed.get());
    installed.reset();
}

} // namespace assistanttranslation
