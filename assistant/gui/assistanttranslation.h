// The assistant speaks the panel's language: Italian when the panel's Italian translation sits beside the programs
// (the way the panel itself chooses), or when the assistant's own translation is placed there.
#pragma once

class QCoreApplication;
class QString;

namespace assistanttranslation {

// The assistant's compiled Italian texts: beside the program, else where the package installs them.
QString italianFile();
// Whether the window should speak Italian, by the files beside the program.
bool panelSpeaksItalian();
// Loads `file` and installs it on the application; false when it cannot be read.
bool install(QCoreApplication &app, const QString &file);
// Takes the installed translation away again: English texts.
void uninstall(QCoreApplication &app);

} // namespace assistanttranslation
