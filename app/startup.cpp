#include "startup.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QTranslator>

#include <memory>

bool installTranslation(QCoreApplication &app)
{
    // Kept until the process ends; held here only so that leak checkers see it released at exit.
    static std::unique_ptr<QTranslator> installed;

    auto translator = std::make_unique<QTranslator>();
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/velmoralang_it.qm");
    if (!translator->load(path, QString(), QString(), QString()))
        return false;
    app.installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

void setApplicationIdentity()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("0.3.0.0"));
    QCoreApplication::setApplicationName(QStringLiteral("VELMORA_Flat_Box").replace(QLatin1Char('_'), QLatin1Char(' ')));
    QCoreApplication::setOrganizationName(QStringLiteral("VELMORA"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("velmora.example"));
}

QString readAutoSearchPreference(const QSettings &settings)
{
    qDebug() << "Settings: " << settings.fileName();
    const QString autoSearch = settings.value(QStringLiteral("auto_search"), QVariant()).toString();
    qDebug() << "autosearch: " << autoSearch;
    return autoSearch;
}

QString mainWindowTitle()
{
    return QCoreApplication::applicationName() + QStringLiteral(" - v.") + QCoreApplication::applicationVersion();
}
