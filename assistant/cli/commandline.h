// The command line program: options to AssistantOptions, progress to standard error, one line per filter to standard
// output, the exit status of the run; Ctrl-C and SIGTERM stop the run at once.
#pragma once

#include "flatassistant.h"

#include <QStringList>

// Reads the program's arguments (program name first; --help is handled before) into `options`; false with `error`
// naming the first wrong or missing option (see parseAssistantArguments, which the window reads them with too).
bool readArguments(const QStringList &arguments, AssistantOptions &options, QString &error);

int runCommandLine(int argc, char **argv);
// For a build without the window: says so and returns the usage error status.
int windowNotBuilt();
