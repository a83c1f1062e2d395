// A flat table with unsaved edits when the program is ended from outside: it is kept in a file of the user's data
// folder, and the next start says where.
#pragma once

#include <QString>

class QWidget;
class VelmoraFlat;

// The folder that holds the kept tables: "recovery" in the user's data folder (QStandardPaths::AppDataLocation).
QString keptTablesFolder();

// Writes the guarded window's table to a new file in the kept tables' folder when it has unsaved edits, and from
// then on counts it as stored. The file's path; empty when there was nothing to keep or the file could not be written.
QString keepUnsavedTable(VelmoraFlat &window);

// One message box, parented to `window`, names the files kept since the last start; each is named at one start only.
void announceKeptTables(QWidget &window);
