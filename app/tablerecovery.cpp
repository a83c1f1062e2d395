#include "tablerecovery.h"

#include "flatrecord.h"
#include "unsavedtable.h"
#include "velmoraflat.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

// Kept tables wait here until a start has named them; then they move up into the kept tables' folder.
QDir notYetNamed()
{
    return QDir(keptTablesFolder() + QStringLiteral("/new"));
}

// A name that neither folder holds yet, e.g. "unsaved table 2025-01-31 21-05-09.vfc".
QString freshName()
{
    const QString stem = QStringLiteral("unsaved table ")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    QString name = stem + QStringLiteral(".vfc");
    for (int copy = 2; notYetNamed().exists(name) || QDir(keptTablesFolder()).exists(name); ++copy)
        name = stem + QStringLiteral(" (%1).vfc").arg(copy);
    return name;
}

// Moves the file into the kept tables' folder; where it is afterwards.
QString moveUp(const QString &name)
{
    const QString from = notYetNamed().filePath(name);
    const QString to = QDir(keptTablesFolder()).filePath(name);
    return QFile::rename(from, to) ? to : from;
}

} // namespace

QString keptTablesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

QString keepUnsavedTable(VelmoraFlat &window)
{
    std::vector<QString> table;
    if (!unsavedTable(window, table))
        return QString();
    QDir folder = notYetNamed();
    if (!folder.mkpath(QStringLiteral("."))) {
        qWarning() << "the unsaved table cannot be kept, no folder " << folder.path();
        return QString();
    }
    const QString path = folder.filePath(freshName());
    tablefile::SaveProblem problem = tablefile::SaveProblem::None;
    QString error;
    if (!tablefile::save(path, table, problem, error)) {
        qWarning() << "the unsaved table cannot be kept in " << path << error;
        return QString();
    }
    qDebug() << "unsaved table kept in " << path;
    noteTableStored(window);
    return path;
}

void announceKeptTables(QWidget &window)
{
    const QStringList names = notYetNamed().entryList({QStringLiteral("*.vfc")}, QDir::Files, QDir::Name);
    if (names.isEmpty())
        return;
    QStringList paths;
    for (const QString &name : names)
        paths.append(QDir::toNativeSeparators(moveUp(name)));
    QMessageBox::information(&window, VelmoraFlat::tr("Unsaved Configurations Kept"),
                             VelmoraFlat::tr("When the program was last ended from outside, the flat table had unsaved "
                                             "changes. They were kept in:\n%1\nOpen the file with Open on the settings "
                                             "tab to use them.")
                                 .arg(paths.join(QLatin1Char('\n'))),
                             QMessageBox::Ok, QMessageBox::NoButton);
}
