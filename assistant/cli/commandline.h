// The command line program: options to AssistantOptions, progress to standard error, one line per filter to standard
// output, the exit status of the run; Ctrl-C and SIGTERM stop the run at once.
#pragma once

#include "flatassistant.h"

#include <QStringList>

// Reads the program's arguments (without the program name's handling of --help and --version) into `options`;
// false with `error` naming the wrong or missing option.
bool readArguments(const QStringList &arguments, AssistantOptions &options, QString &error);

int runCommandLine(int argc, char **argv);
// For a build without the window: says so and returns the usage error status.
int windowNotBuilt();
