#pragma once
// The commands of lumo-cli, callable without a process. Each returns an ExitStatus
// and writes only to the context's streams.

#include "commandcontext.h"

#include "catalogue/catalogueset.h"

#include "search/keeprules.h"
#include "pictures/pictureformats.h"
#include "search/notalike.h"
#include "search/similargrouping.h"

#include <QString>
#include <QStringList>

#include <vector>

struct AddOptions {
    QString catalogue;
    QStringList paths;
    int jobs = 1;
    // A full catalogue goes on in CATALOGUE-2.sbx, -3, ... (see splitCatalogueName).
    bool split = false;
    // Which files a folder gives (--all-formats: the formats of phones and the web too).
    PictureFormats formats = PictureFormats::Jpeg;
};

struct SimilarOptions {
    QStringList catalogues; // one collection, in this order
    int level = 0;
    int jobs = 1;
    bool json = false;
    bool null = false; // paths ended by NUL, groups by one more NUL
    SimilarRule rule;  // --turned, --grey
    // --keep: print the pictures these rules drop instead of the groups; --protect.
    std::vector<KeepRule> keep;
    QStringList protect;
    bool all = false; // --all: the pairs marked not alike may group too
    bool facts = false; // --facts: --json also gives each picture's facts (as --keep does)
    // --of: only these entries are bases (paths of pictures, or folders holding them); every
    // entry is a candidate. Absolute paths.
    QStringList of;
    // --like: pictures outside the catalogues are the bases, the entries the candidates.
    QStringList like;
};

struct NotAlikeOptions {
    QString action;       // list, add, forget or clear
    QStringList pictures; // add and forget: the two pictures
    bool json = false;
};

struct RemoveOptions {
    QStringList catalogues; // a picture leaves whichever of them holds it
    QStringList paths; // "-": the paths standard input names
    bool trash = false;
    bool null = false; // standard input's paths are ended by NUL, else one a line
};

int addCommand(const AddOptions &options, CommandContext &context);
// null: only the paths, each ended by a NUL character.
int listCommand(const QStringList &catalogues, bool null, CommandContext &context);
int similarCommand(const SimilarOptions &options, CommandContext &context);
// Takes the named pictures out of the catalogues and, on request, moves their files to the trash.
int removeCommand(const RemoveOptions &options, CommandContext &context);
int optimizeCommand(const QString &catalogue, CommandContext &context);
int checkCommand(const QString &first, const QString &second, CommandContext &context);
int signatureCommand(const QString &file, CommandContext &context);
int notAlikeCommand(const NotAlikeOptions &options, CommandContext &context);
// Reads the user's not-alike decisions; false (reported) when the file could not be read,
// which is then set aside if it could be. Damaged records dropped are reported too.
bool loadNotAlike(NotAlikeDecisions &decisions, CommandContext &context,
                  NotAlikeDecisions::Names names = NotAlikeDecisions::Names::Kept);
QString notAlikeSaveProblem(NotAlikeSave status);
