#pragma once
// Parses `lumo-cli COMMAND ...` and runs the command.

#include "commandcontext.h"

#include <QStringList>

// `arguments` excludes the program name. Returns the process's exit status.
int runCommandLine(const QStringList &arguments, CommandContext &context);
