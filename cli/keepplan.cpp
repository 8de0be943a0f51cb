#include "keepplan.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

QStringList keepRulePictures(const SimilarGroup &group, const SignatureTable &table)
{
    QStringList pictures{table.name(group.base)};
    for (int member : group.members)
        pictures << table.name(member);
    return pictures;
}

std::vector<KeepPlan> planKeeping(const std::vector<SimilarGroup> &groups, const SignatureTable &table,
                                  const std::vector<KeepRule> &rules, const ProtectedFolders &protect, int jobs)
{
    // Every picture of every group in one list, so that the threads share the whole work
    // whatever the sizes of the groups.
    QStringList paths;
    for (const SimilarGroup &group : groups)
        paths += keepRulePictures(group, table);
    QThreadPool pool;
    pool.setMaxThreadCount(jobs);
    const QList<PictureFacts> facts = QtConcurrent::blockingMapped(&pool, paths, readPictureFacts);

    std::vector<KeepPlan> plans;
    plans.reserve(groups.size());
    qsizetype first = 0;
    for (const SimilarGroup &group : groups) {
        const qsizetype size = qsizetype(group.members.size()) + 1;
        plans.push_back(planGroup(paths.mid(first, size),
                                  std::vector<PictureFacts>(facts.begin() + first, facts.begin() + first + size),
                                  rules, protect));
        first += size;
    }
    return plans;
}

void writeDropList(const std::vector<SimilarGroup> &groups, const std::vector<KeepPlan> &plans,
                   const SignatureTable &table, bool null, QTextStream &out)
{
    for (size_t g = 0; g < groups.size(); ++g) {
        const QStringList pictures = keepRulePictures(groups[g], table);
        for (int drop : plans[g].drop)
            out << pictures.at(drop) << (null ? QChar(0) : QChar(u'\n'));
    }
}
