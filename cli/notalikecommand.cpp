// `notalike`: the user's decisions that two pictures are not alike, listed, added and
// forgotten; the same file the window keeps them in.

#include "catalogueio.h"
#include "commands.h"

#include "files/fileidentity.h"
#include "search/notalike.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString markedText(qint64 marked)
{
    return QDateTime::fromMSecsSinceEpoch(marked, Qt::UTC).toString(Qt::ISODate);
}

void writeList(const NotAlikeDecisions &decisions, bool json, CommandContext &context)
{
    // The newest first, as the window lists them.
    const std::vector<NotAlikePair> pairs = decisions.pairs();
    if (json) {
        QJsonArray all;
        for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
            all.append(QJsonObject{{QStringLiteral("marked"), markedText(pair->marked)},
                                   {QStringLiteral("first"), pair->firstName},
                                   {QStringLiteral("second"), pair->secondName}});
        }
        context.out << QJsonDocument(all).toJson(QJsonDocument::Indented);
    } else {
        for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair)
            context.out << markedText(pair->marked) << '\t' << pair->firstName << '\t' << pair->secondName << '\n';
    }
    context.out.flush();
}

// Forgets the pair the two pictures make; a picture that cannot be read any more is
// matched by the path its pair last knew.
bool forgetPair(NotAlikeDecisions &decisions, const QString &a, const QString &b)
{
    const std::optional<Signature> first = signatureOfFile(a);
    const std::optional<Signature> second = signatureOfFile(b);
    if (first && second && decisions.forget(*first, *second))
        return true;
    std::vector<int> named;
    const std::vector<NotAlikePair> pairs = decisions.pairs();
    for (size_t p = 0; p < pairs.size(); ++p) {
        const NotAlikePair &pair = pairs[p];
        if ((pair.firstName == a && pair.secondName == b) || (pair.firstName == b && pair.secondName == a))
            named.push_back(int(p));
    }
    decisions.forgetAt(named);
    return !named.empty();
}

} // namespace

int notAlikeCommand(const NotAlikeOptions &options, CommandContext &context)
{
    NotAlikeDecisions decisions;
    if (!loadNotAlike(decisions, context) && decisions.setAside().isEmpty())
        return ExitFailure;
    if (options.action == QLatin1String("list")) {
        writeList(decisions, options.json, context);
        return ExitOk;
    }
    if (options.action == QLatin1String("add")) {
        const QString a = absolutePath(options.pictures.value(0));
        const QString b = absolutePath(options.pictures.value(1));
        if (a == b || fileIdentity(a).sameFile(fileIdentity(b))) {
            reportProblem(context, a, QStringLiteral("is one picture named twice; a pair needs two"));
            return ExitFailure;
        }
        for (const QString &picture : {a, b}) {
            if (!signatureOfFile(picture)) {
                reportProblem(context, picture, pictureProblem(picture));
                return ExitFailure;
            }
        }
        decisions.add(*signatureOfFile(a), a, *signatureOfFile(b), b, QDateTime::currentMSecsSinceEpoch());
    } else if (options.action == QLatin1String("forget")) {
        const QString a = absolutePath(options.pictures.value(0));
        const QString b = absolutePath(options.pictures.value(1));
        if (!forgetPair(decisions, a, b)) {
            reportProblem(context, a, QStringLiteral("not remembered as not alike to ") + b);
            return ExitFailure;
        }
    } else {
        decisions.clear();
    }
    if (!decisions.save()) {
        reportProblem(context, NotAlikeDecisions::userFile(), notAlikeSaveProblem(decisions.saveStatus()));
        return ExitFailure;
    }
    return ExitOk;
}

QString notAlikeSaveProblem(NotAlikeSave status)
{
    switch (status) {
    case NotAlikeSave::Busy:
        return QStringLiteral("cannot be written: another program keeps it locked");
    case NotAlikeSave::Refused:
        return QStringLiteral("cannot be read or set aside; it is left as it is");
    default:
        return QStringLiteral("cannot be written; the file is left as it was");
    }
}

bool loadNotAlike(NotAlikeDecisions &decisions, CommandContext &context, NotAlikeDecisions::Names names)
{
    const bool read = decisions.load(names);
    const QString file = NotAlikeDecisions::userFile();
    switch (decisions.loadStatus()) {
    case NotAlikeLoad::Read:
        break;
    case NotAlikeLoad::Repaired:
        reportProblem(context, file,
                      QStringLiteral("%1 damaged decisions dropped, the others kept").arg(decisions.dropped()));
        break;
    case NotAlikeLoad::Unreadable:
        reportProblem(context, file, QStringLiteral("cannot be read"));
        break;
    case NotAlikeLoad::Stuck:
        reportProblem(context, file, QStringLiteral("cannot be read or set aside"));
        break;
    case NotAlikeLoad::SetAside:
        reportProblem(context, file,
                      QStringLiteral("not a file of not-alike decisions; kept as %1, a new one begun")
                          .arg(decisions.setAside()));
        break;
    }
    return read;
}
