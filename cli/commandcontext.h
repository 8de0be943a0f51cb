#pragma once
// What a command talks to: its two output streams and whether a person is watching.

#include <QIODevice>
#include <QTextStream>

enum ExitStatus : int {
    ExitOk = 0,
    ExitFailure = 1, // the command ran and something went wrong
    ExitUsage = 2,   // the command line itself was wrong
};

struct CommandContext {
    QTextStream &out;
    QTextStream &err;
    // stderr is a terminal: long commands may draw a progress bar there.
    bool interactive = false;
    // Standard input, for commands that read paths from it; none: nothing to read.
    QIODevice *in = nullptr;
};
