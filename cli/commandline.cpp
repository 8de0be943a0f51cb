#include "catalogueio.h"
#include "commandline.h"
#include "commands.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QThread>

namespace {

constexpr int MaxLevel = 50;

struct CommandInfo {
    QLatin1String name;
    QLatin1String help;
    int minArguments;
    int maxArguments; // -1: no limit
    bool jobs;
    bool level;
    bool json;
    bool null;
    bool rules; // --turned and --grey
    bool keep = false;  // --keep and --protect
    bool trash = false; // --trash
};

const QLatin1String GeneralHelp(
    "Usage: lumo-cli COMMAND [OPTIONS] ARGUMENTS...\n"
    "Builds Lumo catalogues (*.sbx) and finds look-alike JPEG pictures, without a window.\n"
    "\n"
    "Commands:\n"
    "  add CATALOGUE PATH...   add picture files, or the JPEG files of folders\n"
    "  list CATALOGUE...       print the index and path of every entry\n"
    "  similar CATALOGUE...    print the groups of look-alike pictures, or with --keep\n"
    "                          the pictures that rules for which one to keep would drop\n"
    "  remove CATALOGUE... PATH...\n"
    "                          take pictures out of the catalogues; with --trash, move\n"
    "                          their files to the trash\n"
    "  optimize CATALOGUE      remove the entries whose file is gone\n"
    "  check FILE_A FILE_B     print the check value of two pictures\n"
    "  signature FILE          print a picture's 8 x 8 grid of average colours\n"
    "  notalike ACTION         list, add or forget pairs of pictures marked not alike\n"
    "\n"
    "Run 'lumo-cli COMMAND --help' for a command's details.\n"
    "  --version               print the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n");

const CommandInfo Commands[] = {
    {QLatin1String("add"),
     QLatin1String(
         "Usage: lumo-cli add [-j N] [--split] [--all-formats] CATALOGUE PATH...\n"
         "Adds pictures to CATALOGUE (a new one when it does not exist) and saves it.\n"
         "A PATH that is a file is added whatever its extension. A PATH that is a folder is\n"
         "searched as Lumo's folder add does, sub-folders included, for files ending in .jpg\n"
         "or .jpeg (any letter case): names ordered ignoring letter case, a folder's files\n"
         "before its sub-folders; names starting with '.' are skipped and links to folders\n"
         "are not followed. A PATH is stored as a clean full path: a relative one with the\n"
         "working folder in front, without '/./', '..' or '//' (a '..' after a link to a\n"
         "folder leads where the link does); a path already listed is skipped. Pictures that cannot be\n"
         "read, and files whose names are not UTF-8 (shown with \\xNN for each other byte),\n"
         "are reported and skipped. The catalogue file is only replaced once the new one is\n"
         "completely written.\n"
         "\n"
         "Options:\n"
         "  -j, --jobs N   compute signatures on N threads (default: number of cores)\n"
         "  --all-formats  in folders take also .heic .heif .avif .png .webp .tif .tiff files\n"
         "                 (any letter case), as Lumo does with its setting AllFormats; a\n"
         "                 format this computer cannot decode is named once at the start\n"
         "  --split        when CATALOGUE is full (32767 entries), go on in a numbered part\n"
         "                 beside it (photos.sbx, then photos-2.sbx, photos-3.sbx, ...): the\n"
         "                 parts there are read first, a path in any of them is skipped, new\n"
         "                 pictures go into the last part; the files written are named\n"
         "  -h, --help     show this help\n"),
     2, -1, true, false, false, false, false},
    {QLatin1String("list"),
     QLatin1String("Usage: lumo-cli list [-0] CATALOGUE...\n"
                   "Prints one line per entry: the index (from 0), a tab, the path. Several catalogues\n"
                   "are one collection: their entries in argument order, then catalogue order, indexes\n"
                   "counted through; a path already in an earlier catalogue is left out.\n"
                   "\n"
                   "Options:\n"
                   "  -0, --null     print only the paths, each ended by a NUL character (for\n"
                   "                 xargs -0; paths may hold line breaks)\n"
                   "  -h, --help     show this help\n"),
     1, -1, false, false, false, true, false},
    {QLatin1String("similar"),
     QLatin1String(
         "Usage: lumo-cli similar [--level L] [--turned] [--grey] [--keep RULE[,RULE...]\n"
         "                        [--protect DIR]...] [--json [--facts] | -0] [-j N]\n"
         "                        [--of PATH]... [--like FILE]... CATALOGUE...\n"
         "Groups look-alike pictures as Lumo's similarity search does: each entry in order is\n"
         "a base, and every later ungrouped entry whose check value with it is at most L joins\n"
         "its group. Prints one block per group, members in catalogue order then the base, one\n"
         "path per line, blocks separated by a blank line. Prints nothing when no group is found.\n"
         "Several catalogues are one collection (for more than 32767 pictures): their entries in\n"
         "argument order, then catalogue order; a path already in an earlier catalogue is the\n"
         "same picture and counts once.\n"
         "\n"
         "Options:\n"
         "  --level L      similarity level, 0 (strictest) to 50 (default: 0)\n"
         "  --of PATH      only the pictures PATH names (a picture of the catalogues, or a\n"
         "                 folder: those under it) are bases, in catalogue order; every\n"
         "                 picture of the catalogues, earlier ones too, is a candidate; a base\n"
         "                 already in an earlier base's group is none; repeat for more\n"
         "  --like FILE    the look-alikes in the catalogues of a picture not in them, which\n"
         "                 is the base of its group and is not added; repeat for more, in\n"
         "                 that order; not with --of\n"
         "  --turned       find turned and mirrored copies too: an entry also joins when it is\n"
         "                 within L of the base's grid turned 90, 180 or 270 degrees clockwise,\n"
         "                 mirrored left to right, or mirrored then turned\n"
         "  --grey         ignore colour too, so that grey copies join their colour original:\n"
         "                 an entry also joins when the brightness of the two grids, each\n"
         "                 cell's (299 R + 587 G + 114 B) / 1000, is within L; every entry\n"
         "                 the plain comparison finds still joins\n"
         "  --json         print [{\"base\": ..., \"members\": [...]}, ...] instead; with --turned\n"
         "                 each group also has \"turns\": for each member the first that matched\n"
         "                 of identity, turn90, turn180, turn270, mirror, mirror-turn90,\n"
         "                 mirror-turn180, mirror-turn270; with --grey, \"grey\": for each\n"
         "                 member true when only the brightness matched; with --keep each\n"
         "                 group also has \"keep\" (null when no picture of it can be read)\n"
         "                 and \"drop\": [...], and \"facts\" as --facts gives them\n"
         "  --facts        with --json: each group also has \"facts\": {PATH: {\"width\",\n"
         "                 \"height\" (as shown, after the EXIF orientation), \"bytes\",\n"
         "                 \"modified\", \"quality\" (estimated JPEG quality),\n"
         "                 \"primary_quality\" (of an earlier compression it shows), \"detail\"\n"
         "                 (strong DCT coefficients per 8 x 8 block), \"grey\", \"taken\"\n"
         "                 (EXIF date taken)}, ...}; null where unknown\n"
         "  -0, --null     end each path with a NUL character and each group with one more\n"
         "                 (for xargs -0; paths may hold line breaks); with --keep, only\n"
         "                 each path\n"
         "  --keep RULES   print only the pictures to drop, one path per line, group after\n"
         "                 group: in each group the rules choose one picture to keep and\n"
         "                 the others are dropped. RULES, separated by commas: best (the\n"
         "                 most picture: more pixels where they differ by over 1 %, then\n"
         "                 colour over grey, then not less than 60 % of the most detail,\n"
         "                 then more pixels, then more detail where it differs by over\n"
         "                 17 %, so that blurred, up-scaled and re-compressed copies lose,\n"
         "                 then the JPEG quality held where the loss is real, then no\n"
         "                 traces of a re-save from another one's quality; its ties go to\n"
         "                 the older file, then the shorter path), pixels (the\n"
         "                 most pixels), size (the largest file), newest or oldest (by the\n"
         "                 file's modification time), base (the group's earliest entry).\n"
         "                 Each rule breaks the ties of the one before; then the larger file,\n"
         "                 the newer file and the earlier entry win. A file that is gone or\n"
         "                 whose picture cannot be read is never kept (a group without any\n"
         "                 readable picture drops nothing). Nothing is changed on disk; pipe\n"
         "                 the plan to 'lumo-cli remove' to carry it out.\n"
         "  --protect DIR  with --keep: never drop a picture inside DIR or its sub-folders,\n"
         "                 nor another entry of its file (may be given several times; DIR\n"
         "                 must be an existing folder; links are followed on both sides)\n"
         "  --all          group the pairs marked not alike too (see notalike)\n"
         "  -j, --jobs N   compare, and read the pictures for --keep and --facts, on N threads\n"
         "                 (default: number of cores)\n"
         "  -h, --help     show this help\n"),
     1, -1, true, true, true, true, true, true},
    {QLatin1String("remove"),
     QLatin1String(
         "Usage: lumo-cli remove [--trash] [-0] CATALOGUE... PATH...\n"
         "Takes the pictures named by PATH out of CATALOGUE and saves it as optimize does\n"
         "(the file is only replaced once the new one is completely written). The arguments\n"
         "after the first that end in .sbx are further catalogues of one collection (as for\n"
         "similar): a picture leaves whichever of them holds it. A PATH of '-'\n"
         "reads the paths from standard input, one per line, or with -0 each ended by a NUL\n"
         "character, as 'lumo-cli similar --keep ... -0' prints them. A PATH is made full and\n"
         "clean as add stores it and matched against the entries cleaned the same way; every\n"
         "entry of that path leaves, and a path named twice counts once. A path that is not in the\n"
         "catalogue is named on a line of its own and nothing is done for it. Prints\n"
         "'N removed from the catalogue, M moved to the trash' (N counts entries).\n"
         "\n"
         "Options:\n"
         "  --trash        also move the files to the desktop trash (never deletes them); a\n"
         "                 file already gone only leaves the catalogue, and one that cannot be\n"
         "                 moved is named and stays in the catalogue. Every catalogue that\n"
         "                 loses an entry must be writable before any file moves; if one is\n"
         "                 not, nothing moves\n"
         "  -0, --null     the paths on standard input are each ended by a NUL character\n"
         "  -h, --help     show this help\n"
         "\n"
         "Exit status: 1 when a path was not in the catalogue, a file could not be moved or\n"
         "a catalogue could not be saved.\n"),
     2, -1, false, false, false, true, false, false, true},
    {QLatin1String("optimize"),
     QLatin1String("Usage: lumo-cli optimize CATALOGUE\n"
                   "Removes the entries whose file is gone from a folder that is still there, keeps\n"
                   "the order of the others, saves, and prints how many were removed. An entry whose\n"
                   "folder is missing altogether (a disk that is not mounted) is kept.\n"),
     1, 1, false, false, false, false, false},
    {QLatin1String("check"),
     QLatin1String("Usage: lumo-cli check FILE_A FILE_B\n"
                   "Prints the check value of two pictures: 0 for look-alikes, up to 765;\n"
                   "smaller means more alike.\n"),
     2, 2, false, false, false, false, false},
    {QLatin1String("signature"),
     QLatin1String("Usage: lumo-cli signature FILE\n"
                   "Prints the picture's 8 x 8 grid of average colours: 8 lines from the top row,\n"
                   "each with 8 cells written R,G,B and separated by spaces.\n"),
     1, 1, false, false, false, false, false},
    {QLatin1String("notalike"),
     QLatin1String(
         "Usage: lumo-cli notalike list [--json] | add FILE_A FILE_B | forget FILE_A FILE_B | clear\n"
         "Pairs of pictures marked not alike never share a group, in similar and in Lumo's\n"
         "window. They are kept for the user in $XDG_DATA_HOME/lumo/notalike and known by\n"
         "their pictures' grids, not their paths: a pair holds after renaming, moving or in\n"
         "another catalogue, and ends when a picture changes.\n"
         "  list           print the pairs, newest first: the time marked (UTC), a tab, the\n"
         "                 paths the two pictures last had, separated by a tab; with --json\n"
         "                 as [{\"marked\": ..., \"first\": ..., \"second\": ...}, ...]\n"
         "  add            mark the two picture files not alike\n"
         "  forget         forget the pair the two pictures make (a picture that cannot be\n"
         "                 read is matched by the path the pair last knew)\n"
         "  clear          forget every pair\n"
         "\n"
         "Options:\n"
         "  --json         list: print the pairs as JSON\n"
         "  -h, --help     show this help\n"),
     1, 3, false, false, true, false, false},
};

int usageError(CommandContext &context, const QString &where, const QString &reason)
{
    context.err << "lumo-cli: " << where << ": " << reason << Qt::endl;
    return ExitUsage;
}

bool parseWhole(const QString &text, int minimum, int maximum, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= minimum && value <= maximum;
}

// The rules of --keep, in order; false (reported) when one is unknown or --protect comes alone.
bool parseKeepRules(const QCommandLineParser &parser, const QCommandLineOption &keep,
                    const QCommandLineOption &protect, std::vector<KeepRule> &rules, CommandContext &context)
{
    if (!parser.isSet(keep)) {
        if (parser.isSet(protect))
            usageError(context, QStringLiteral("--protect"), QStringLiteral("only goes with --keep"));
        return !parser.isSet(protect);
    }
    const QString value = parser.values(keep).join(QLatin1Char(','));
    for (const QString &name : value.split(QLatin1Char(','))) {
        const std::optional<KeepRule> rule = keepRuleFromName(name.trimmed());
        if (!rule) {
            usageError(context, QStringLiteral("--keep"),
                       QStringLiteral("unknown rule '%1'; the rules are pixels, size, newest, oldest and base")
                           .arg(name));
            return false;
        }
        rules.push_back(*rule);
    }
    // A folder that is not there protects nothing: a mistyped one must not look as if it did.
    for (const QString &folder : parser.values(protect)) {
        if (!QFileInfo(folder).isDir()) {
            usageError(context, QStringLiteral("--protect"), QStringLiteral("'%1' is not an existing folder").arg(folder));
            return false;
        }
    }
    return true;
}

QStringList absolutePaths(const QStringList &arguments)
{
    QStringList paths;
    for (const QString &argument : arguments)
        paths << absolutePath(argument);
    return paths;
}

int runCommand(const CommandInfo &info, const QStringList &arguments, CommandContext &context)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")}, QString(), QStringLiteral("N"));
    const QCommandLineOption level(QStringLiteral("level"), QString(), QStringLiteral("L"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption null(QStringList{QStringLiteral("0"), QStringLiteral("null")});
    const QCommandLineOption turned(QStringLiteral("turned"));
    const QCommandLineOption grey(QStringLiteral("grey"));
    const QCommandLineOption split(QStringLiteral("split"));
    const QCommandLineOption allFormats(QStringLiteral("all-formats"));
    const QCommandLineOption keep(QStringLiteral("keep"), QString(), QStringLiteral("RULES"));
    const QCommandLineOption protect(QStringLiteral("protect"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption facts(QStringLiteral("facts"));
    const QCommandLineOption trash(QStringLiteral("trash"));
    parser.addOption(help);
    if (info.jobs)
        parser.addOption(jobs);
    if (info.level)
        parser.addOption(level);
    if (info.json)
        parser.addOption(json);
    if (info.null)
        parser.addOption(null);
    if (info.rules) {
        parser.addOption(turned);
        parser.addOption(grey);
    }
    if (info.keep)
        parser.addOptions({keep, protect, facts});
    if (info.trash)
        parser.addOption(trash);

    const QString name(info.name);
    if (name == QLatin1String("add"))
        parser.addOptions({split, allFormats});
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption of(QStringLiteral("of"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption like(QStringLiteral("like"), QString(), QStringLiteral("FILE"));
    if (name == QLatin1String("similar"))
        parser.addOptions({all, of, like});
    if (!parser.parse(QStringList{QStringLiteral("lumo-cli")} + arguments))
        return usageError(context, name, parser.errorText());
    if (parser.isSet(help)) {
        context.out << info.help;
        context.out.flush();
        return ExitOk;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < info.minArguments || (info.maxArguments >= 0 && positional.size() > info.maxArguments)) {
        const QString synopsis = QString(info.help).section(QLatin1Char('\n'), 0, 0);
        return usageError(context, name,
                          positional.size() < info.minArguments ? QStringLiteral("missing arguments; ") + synopsis
                                                                 : QStringLiteral("too many arguments; ") + synopsis);
    }

    int jobCount = QThread::idealThreadCount();
    if (info.jobs && parser.isSet(jobs) && !parseWhole(parser.value(jobs), 1, 1024, jobCount))
        return usageError(context, QStringLiteral("--jobs"),
                          QStringLiteral("must be a whole number from 1 to 1024, not '%1'").arg(parser.value(jobs)));
    int levelValue = 0;
    if (info.level && parser.isSet(level) && !parseWhole(parser.value(level), 0, MaxLevel, levelValue))
        return usageError(context, QStringLiteral("--level"),
                          QStringLiteral("must be a whole number from 0 to %1, not '%2'")
                              .arg(MaxLevel)
                              .arg(parser.value(level)));

    if (info.json && parser.isSet(json) && parser.isSet(null))
        return usageError(context, name, QStringLiteral("--json and --null cannot be combined"));

    if (info.keep && parser.isSet(facts) && !parser.isSet(json))
        return usageError(context, QStringLiteral("--facts"), QStringLiteral("only goes with --json"));

    std::vector<KeepRule> keepRules;
    if (info.keep && !parseKeepRules(parser, keep, protect, keepRules, context))
        return ExitUsage;

    if (name == QLatin1String("add"))
        return addCommand({positional.first(), positional.mid(1), jobCount, parser.isSet(split),
                           parser.isSet(allFormats) ? PictureFormats::All : PictureFormats::Jpeg},
                          context);
    if (name == QLatin1String("list"))
        return listCommand(positional, parser.isSet(null), context);
    if (name == QLatin1String("similar")) {
        if (parser.isSet(of) && parser.isSet(like))
            return usageError(context, name, QStringLiteral("--of and --like cannot be combined"));
        return similarCommand({positional, levelValue, jobCount, parser.isSet(json), parser.isSet(null),
                               {parser.isSet(turned), parser.isSet(grey)}, keepRules,
                               absolutePaths(parser.values(protect)), parser.isSet(all), parser.isSet(facts),
                               absolutePaths(parser.values(of)), absolutePaths(parser.values(like))},
                              context);
    }
    if (name == QLatin1String("remove")) {
        // The first argument and those after it ending in .sbx are catalogues; then pictures.
        qsizetype catalogues = 1;
        while (catalogues < positional.size() - 1
               && positional.at(catalogues).endsWith(QLatin1String(".sbx"), Qt::CaseInsensitive))
            ++catalogues;
        return removeCommand({positional.first(catalogues), positional.mid(catalogues), parser.isSet(trash),
                              parser.isSet(null)},
                             context);
    }
    if (name == QLatin1String("optimize"))
        return optimizeCommand(positional.first(), context);
    if (name == QLatin1String("notalike")) {
        const QString action = positional.first();
        const qsizetype wanted = action == QLatin1String("add") || action == QLatin1String("forget") ? 3 : 1;
        if ((wanted == 1 && action != QLatin1String("list") && action != QLatin1String("clear"))
            || positional.size() != wanted || (parser.isSet(json) && action != QLatin1String("list")))
            return usageError(context, name, QString(info.help).section(QLatin1Char('\n'), 0, 0));
        return notAlikeCommand({action, positional.mid(1), parser.isSet(json)}, context);
    }
    if (name == QLatin1String("check"))
        return checkCommand(positional.at(0), positional.at(1), context);
    return signatureCommand(positional.first(), context);
}

} // namespace

int runCommandLine(const QStringList &arguments, CommandContext &context)
{
    if (arguments.isEmpty())
        return usageError(context, QStringLiteral("usage"), QStringLiteral("no command given; try 'lumo-cli --help'"));
    const QString &command = arguments.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        context.out << GeneralHelp;
        context.out.flush();
        return ExitOk;
    }
    if (command == QLatin1String("--version")) {
        context.out << "lumo-cli " << LUMO_VERSION << Qt::endl;
        return ExitOk;
    }
    for (const CommandInfo &info : Commands) {
        if (command == info.name)
            return runCommand(info, arguments.mid(1), context);
    }
    return usageError(context, command, QStringLiteral("unknown command; try 'lumo-cli --help'"));
}
