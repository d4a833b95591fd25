#pragma once
// The verbs of cvconf on the configuration core, the language file and the
// save of the windows.

#include "cli/Arguments.h"

// Runs the command as the program started by invocationPath (argv[0], which
// locates the files as it does for the windows). Prints what the verb gives
// and returns the exit status; throws UsageError and FileError.
int RunCommand(const Command &command, const QByteArray &invocationPath);
