#pragma once
// The commands of lumo-cli, callable without a process. Each returns an ExitStatus
// and writes only to the context's streams.

#include "commandcontext.h"

#include <keeprules.h>
#include <similargrouping.h>

#include <QString>
#include <QStringList>

#include <vector>

struct AddOptions {
    QString catalogue;
    QStringList paths;
    int jobs = 1;
};

struct SimilarOptions {
    QString catalogue;
    int level = 0;
    int jobs = 1;
    bool json = false;
    bool null = false; // paths ended by NUL, groups by one more NUL
    SimilarRule rule;  // --turned, --grey
    // --keep: print the pictures these rules drop instead of the groups; --protect.
    std::vector<KeepRule> keep;
    QStringList protect;
};

struct RemoveOptions {
    QString catalogue;
    QStringList paths; // "-": the paths standard input names
    bool trash = false;
    bool null = false; // standard input's paths are ended by NUL, else one a line
};

int addCommand(const AddOptions &options, CommandContext &context);
// null: only the paths, each ended by a NUL character.
int listCommand(const QString &catalogue, bool null, CommandContext &context);
int similarCommand(const SimilarOptions &options, CommandContext &context);
// Takes the named pictures out of the catalogue and, on request, moves their files to the trash.
int removeCommand(const RemoveOptions &options, CommandContext &context);
int optimizeCommand(const QString &catalogue, CommandContext &context);
int checkCommand(const QString &first, const QString &second, CommandContext &context);
int signatureCommand(const QString &file, CommandContext &context);
