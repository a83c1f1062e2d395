// Saving the flat table to a configuration file and opening one.
#include "velmoraflat.h"

#include "configfile.h"
#include "flatrecord.h"
#include "ui_velmoraflat.h"
#include "unsavedtable.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// Writes the table to a temporary file that replaces the old one only once it is complete,
// so a failed save leaves the old file as it was.
bool saveTable(const QString &fileName, const std::vector<QString> &table, QString &failure)
{
    if (tablefile::folderIsReadOnly(fileName) && QFileInfo(fileName).isWritable())
        qDebug() << "folder is read-only, writing the file in place: " << fileName;
    if (!configfile::fitsLocaleEncoding(table))
        qDebug() << "locale's encoding cannot hold the table, writing UTF-8 with byte-order mark: " << fileName;
    tablefile::SaveProblem problem = tablefile::SaveProblem::None;
    if (tablefile::save(fileName, table, problem, failure))
        return true;
    if (problem == tablefile::SaveProblem::ReadOnlyFolder)
        failure = VelmoraFlat::tr("the folder is read-only");
    return false;
}

// Reads the whole file. Only a file that was read completely gives lines; the caller's table stays as it was
// until then, so an unreadable file cannot wipe it.
bool readTable(const QString &fileName, configfile::ReadResult &read, QString &failure)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        failure = file.errorString();
        return false;
    }
    read = configfile::readConfiguration(file);
    switch (read.status) {
    case configfile::ReadStatus::Ok:
        if (read.readAsWindows1252)
            qDebug() << "not in the locale's encoding, read as Windows-1252: " << fileName;
        return true;
    case configfile::ReadStatus::TooLarge:
        failure = VelmoraFlat::tr("the file is larger than 8 MiB");
        return false;
    case configfile::ReadStatus::NotText:
        failure = VelmoraFlat::tr("the file is not a text file");
        return false;
    case configfile::ReadStatus::ReadError:
        failure = file.errorString();
        return false;
    }
    return false;
}

} // namespace

void VelmoraFlat::on_ST_saveButton_pressed()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save configuration as"), QDir::currentPath(),
                                                          tr("Velmora Flat Configuration (*.vfc)"));
    if (fileName.isEmpty())
        return;
    QString failure;
    if (saveTable(fileName, flatTable, failure))
        noteTableStored(*this);
    else
        QMessageBox::warning(this, tr("Save Configuration Failed"),
                             tr("The configuration could not be saved to %1: %2")
                                 .arg(QDir::toNativeSeparators(fileName), failure));
}

void VelmoraFlat::on_ST_openButton_pressed()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open configuration as"), QDir::currentPath(),
                                                          tr("Velmora Flat Configuration (*.vfc)"));
    if (fileName.isEmpty())
        return;
    configfile::ReadResult read;
    QString failure;
    if (!readTable(fileName, read, failure)) {
        QMessageBox::warning(this, tr("Open Configuration Failed"),
                             tr("The configuration file %1 could not be opened: %2")
                                 .arg(QDir::toNativeSeparators(fileName), failure));
        return;
    }
    flatTable = std::move(read.lines);
    noteTableStored(*this);
    updateFiltersTab();
    updateSettingsTab(false);
    if (read.droppedNulBytes > 0)
        QMessageBox::warning(this, tr("Configuration File Damaged"),
                             tr("The end of the configuration file %1 was damaged, as an interrupted save leaves "
                                "it: %2 zero bytes were dropped and the lines before them were opened.")
                                 .arg(QDir::toNativeSeparators(fileName))
                                 .arg(read.droppedNulBytes));
}
