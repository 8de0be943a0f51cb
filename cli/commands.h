#pragma once
// The commands of lumo-cli, callable without a process. Each returns an ExitStatus
// and writes only to the context's streams.

#include "commandcontext.h"

#include <QString>
#include <QStringList>

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
};

int addCommand(const AddOptions &options, CommandContext &context);
int listCommand(const QString &catalogue, CommandContext &context);
int similarCommand(const SimilarOptions &options, CommandContext &context);
int optimizeCommand(const QString &catalogue, CommandContext &context);
int checkCommand(const QString &first, const QString &second, CommandContext &context);
int signatureCommand(const QString &file, CommandContext &context);
