// Saving the flat table to a configuration file and opening one.
#include "velmoraflat.h"

#include "configfile.h"
#include "ui_velmoraflat.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>

namespace {

// Writes the table to a temporary file that replaces the old one only once it is complete,
// so a failed save leaves the old file as it was.
bool saveTable(const QString &fileName, const std::vector<QString> &table, QString &failure)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        failure = file.errorString();
        return false;
    }
    if (!configfile::writeConfiguration(file, table)) {
        failure = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        failure = file.errorString();
        return false;
    }
    return true;
}

// Reads the whole file. Only a file that was read completely gives lines; the caller's table stays as it was
// until then, so an unreadable file cannot wipe it.
bool readTable(const QString &fileName, std::vector<QString> &lines, QString &failure)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        failure = file.errorString();
        return false;
    }
    configfile::ReadResult read = configfile::readConfiguration(file);
    switch (read.status) {
    case configfile::ReadStatus::Ok:
        lines = std::move(read.lines);
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
    if (!saveTable(fileName, flatTable, failure))
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
    std::vector<QString> lines;
    QString failure;
    if (!readTable(fileName, lines, failure)) {
        QMessageBox::warning(this, tr("Open Configuration Failed"),
                             tr("The configuration file %1 could not be opened: %2")
                                 .arg(QDir::toNativeSeparators(fileName), failure));
        return;
    }
    flatTable = std::move(lines);
    updateFiltersTab();
    updateSettingsTab(false);
}
