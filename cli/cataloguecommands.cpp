#include "catalogueio.h"
#include "commands.h"
#include "keepplan.h"
#include "search/notalike.h"
#include "search/chosengrouping.h"
#include "search/similargrouping.h"

#include "pictures/picturesignature.h"

#include "files/folderscan.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

QString jsonString(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': quoted += QLatin1String("\\\""); break;
        case '\\': quoted += QLatin1String("\\\\"); break;
        case '\n': quoted += QLatin1String("\\n"); break;
        case '\r': quoted += QLatin1String("\\r"); break;
        case '\t': quoted += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    quoted += QLatin1Char('"');
    return quoted;
}

// The paths of a search's groups: the collection's entries, then the pictures outside it
// that --like compares.
struct GroupNames {
    const PictureCollection &pictures;
    QStringList outside;
    QString operator()(int index) const
    {
        return index < pictures.count() ? pictures.path(index) : outside.at(index - pictures.count());
    }
};

std::vector<PictureGroup> namedGroups(const std::vector<SimilarGroup> &groups, const GroupNames &names)
{
    std::vector<PictureGroup> named;
    named.reserve(groups.size());
    for (const SimilarGroup &group : groups) {
        PictureGroup &paths = named.emplace_back();
        paths.base = names(group.base);
        for (int member : group.members)
            paths.members.append(names(member));
    }
    return named;
}

// The names --json gives the turnings, in the order they are tried.
const char *const TurnNames[pixcore::GridTurnCount] = {"identity", "turn90", "turn180", "turn270",
                                                        "mirror", "mirror-turn90", "mirror-turn180", "mirror-turn270"};

// One picture's facts; null where the fact is unknown.
void writeFacts(const PictureFacts &facts, QTextStream &out)
{
    const auto number = [](qint64 value) { return value > 0 ? QString::number(value) : QStringLiteral("null"); };
    out << "{\"width\": " << number(facts.width) << ", \"height\": " << number(facts.height)
        << ", \"bytes\": " << facts.bytes << ", \"modified\": "
        << (facts.modified > 0 ? jsonString(QDateTime::fromMSecsSinceEpoch(facts.modified).toUTC()
                                                 .toString(Qt::ISODateWithMs))
                               : QStringLiteral("null"))
        << ", \"quality\": " << number(facts.quality) << ", \"primary_quality\": " << number(facts.primaryQuality)
        << ", \"detail\": "
        << (facts.detail >= 0 ? QString::number(facts.detail, 'f', 2) : QStringLiteral("null"))
        << ", \"grey\": " << (facts.grey ? "true" : "false") << ", \"taken\": "
        << (facts.taken.isValid() ? jsonString(facts.taken.toString(Qt::ISODate)) : QStringLiteral("null")) << '}';
}

// With a keep plan, each group also names the picture kept (null when none is) and those
// dropped; with facts, each picture's facts by its path.
void writeJson(const std::vector<SimilarGroup> &groups, const GroupNames &pictures, SimilarRule rule,
               const std::vector<PictureGroup> &named, const QList<PictureFacts> &facts,
               const std::vector<GroupPlan> &plans, QTextStream &out)
{
    qsizetype first = 0; // the group's first picture in `facts`
    out << '[';
    for (size_t g = 0; g < groups.size(); ++g) {
        if (g > 0)
            out << ", ";
        out << "{\"base\": " << jsonString(pictures(groups[g].base)) << ", \"members\": [";
        const std::vector<int> &members = groups[g].members;
        for (size_t m = 0; m < members.size(); ++m)
            out << (m > 0 ? ", " : "") << jsonString(pictures(members[m]));
        out << ']';
        const std::vector<SimilarMatch> &matches = groups[g].matches;
        if (rule.turned) {
            out << ", \"turns\": [";
            for (size_t m = 0; m < matches.size(); ++m)
                out << (m > 0 ? ", \"" : "\"") << TurnNames[static_cast<int>(matches[m].turn)] << '"';
            out << ']';
        }
        if (rule.grey) {
            out << ", \"grey\": [";
            for (size_t m = 0; m < matches.size(); ++m)
                out << (m > 0 ? ", " : "") << (matches[m].grey ? "true" : "false");
            out << ']';
        }
        if (!plans.empty()) {
            const GroupPlan &plan = plans[g];
            out << ", \"keep\": " << (plan.keep.isEmpty() ? QStringLiteral("null") : jsonString(plan.keep))
                << ", \"drop\": [";
            for (qsizetype d = 0; d < plan.drop.size(); ++d)
                out << (d > 0 ? ", " : "") << jsonString(plan.drop[d]);
            out << ']';
        }
        if (!facts.isEmpty()) {
            const QStringList group = groupPictures({named[g]});
            out << ", \"facts\": {";
            for (qsizetype p = 0; p < group.size(); ++p) {
                out << (p > 0 ? ", " : "") << jsonString(group.at(p)) << ": ";
                writeFacts(facts.at(first + p), out);
            }
            first += group.size();
            out << '}';
        }
        out << '}';
    }
    out << "]\n";
}

// For xargs -0: every path ended by a NUL, every group by one more.
void writeNullSeparated(const std::vector<SimilarGroup> &groups, const GroupNames &pictures, QTextStream &out)
{
    const QChar nul(0);
    for (const SimilarGroup &group : groups) {
        for (int member : group.members)
            out << pictures(member) << nul;
        out << pictures(group.base) << nul << nul;
    }
}

void writeBlocks(const std::vector<SimilarGroup> &groups, const GroupNames &pictures, QTextStream &out)
{
    for (size_t g = 0; g < groups.size(); ++g) {
        if (g > 0)
            out << '\n';
        for (int member : groups[g].members)
            out << pictures(member) << '\n';
        out << pictures(groups[g].base) << '\n';
    }
}

// The entries --of names: those with one of the paths, or under one of them as a folder.
// False (reported) when a path names none, so that a mistyped one does not pass unnoticed.
bool chosenEntries(const PictureCollection &pictures, const QStringList &paths, std::vector<int> &entries,
                   CommandContext &context)
{
    std::vector<uint8_t> chosen(pictures.count(), 0);
    for (const QString &path : paths) {
        const QString folder = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        bool any = false;
        for (int i = 0; i < pictures.count(); ++i) {
            const QString &entry = pictures.path(i);
            if (!entry.isEmpty() && (entry == path || entry.startsWith(folder))) {
                chosen[i] = 1;
                any = true;
            }
        }
        if (!any) {
            context.err << "lumo-cli: similar: --of '" << path << "' names no picture of the catalogues" << Qt::endl;
            return false;
        }
    }
    for (int i = 0; i < pictures.count(); ++i) {
        if (chosen[i])
            entries.push_back(i);
    }
    return true;
}

} // namespace

int listCommand(const QStringList &catalogues, bool null, CommandContext &context)
{
    PictureCollection pictures;
    if (!openCollection(catalogues, pictures, context))
        return ExitFailure;
    for (int i = 0; i < pictures.count(); ++i) {
        if (null)
            context.out << pictures.path(i) << QChar(0);
        else
            context.out << i << '\t' << pictures.path(i) << '\n';
    }
    context.out.flush();
    return ExitOk;
}

int similarCommand(const SimilarOptions &options, CommandContext &context)
{
    PictureCollection pictures(std::make_shared<SimilarCells>(options.rule));
    if (!openCollection(options.catalogues, pictures, context))
        return ExitFailure;
    // The pairs the user marked not alike stay apart, unless all groups are asked for.
    std::shared_ptr<const SimilarApart> apart;
    if (!options.all) {
        NotAlikeDecisions decisions;
        loadNotAlike(decisions, context, NotAlikeDecisions::Names::Skipped);
        apart = decisions.apartOf(*pictures.cells(), pictures.unnamed());
    }
    GroupNames names{pictures, {}};
    std::vector<SimilarGroup> groups;
    if (!options.like.isEmpty()) {
        std::vector<Signature> outside;
        for (const QString &file : options.like) {
            const std::optional<PictureSignature> signature = computePictureSignature(file);
            if (!signature) {
                context.err << "lumo-cli: similar: cannot read the picture '" << file << "'" << Qt::endl;
                return ExitFailure;
            }
            outside.push_back(signature->cells);
            names.outside.append(file);
        }
        groups = findSimilarToPictures(pictures.cells(), pictures.unnamed(), outside, options.level, options.jobs,
                                       std::move(apart));
    } else if (!options.of.isEmpty()) {
        std::vector<int> bases;
        if (!chosenEntries(pictures, options.of, bases, context))
            return ExitFailure;
        groups = findSimilarToEntries(pictures.cells(), pictures.unnamed(), std::move(bases), options.level,
                                      options.jobs, std::move(apart));
    } else {
        groups = findSimilarGroups(pictures.cells(), pictures.unnamed(), options.level, options.jobs, std::move(apart));
    }
    const std::vector<PictureGroup> named = namedGroups(groups, names);
    QList<PictureFacts> facts;
    if (!options.keep.empty() || options.facts)
        facts = readGroupFacts(named, options.jobs);
    std::vector<GroupPlan> plans;
    if (!options.keep.empty())
        plans = planGroups(named, facts, options.keep, ProtectedFolders(options.protect));
    if (options.json)
        writeJson(groups, names, options.rule, named, facts, plans, context.out);
    else if (!options.keep.empty())
        writeDropList(plans, options.null, context.out);
    else if (options.null)
        writeNullSeparated(groups, names, context.out);
    else
        writeBlocks(groups, names, context.out);
    context.out.flush();
    return ExitOk;
}

int optimizeCommand(const QString &catalogue, CommandContext &context)
{
    SignatureTable table;
    if (!openCatalogue(catalogue, table, context))
        return ExitFailure;
    // From the last entry down, so a removal never moves an entry still to be looked at.
    int removed = 0;
    for (int i = table.count() - 1; i >= 0; --i) {
        if (isPictureGone(table.name(i))) {
            table.remove(i);
            ++removed;
        }
    }
    if (!storeCatalogue(catalogue, table, context))
        return ExitFailure;
    context.out << removed << " removed, " << table.count() << " left" << Qt::endl;
    return ExitOk;
}
