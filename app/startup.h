#pragma once

#include <QString>

class QCoreApplication;
class QSettings;
class QWidget;

// The steps of the program's start-up, in the order main() runs them.

// Loads "velmoralang_it.qm" from the directory of the executable and installs it on the application.
// Returns whether the translation is now installed.
bool installTranslation(QCoreApplication &app);

// Version, name, organization and domain of the application.
void setApplicationIdentity();

// Reads the "auto_search" preference from the settings store, with the two start-up debug lines.
QString readAutoSearchPreference(const QSettings &settings);

// "VELMORA Flat Box - v.0.3.0.0", built from the application's identity.
QString mainWindowTitle();
