#include "keepplan.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

QStringList keepRulePictures(const SimilarGroup &group, const PictureCollection &pictures)
{
    QStringList paths{pictures.path(group.base)};
    for (int member : group.members)
        paths << pictures.path(member);
    return paths;
}

GroupFacts readGroupFacts(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures, int jobs)
{
    // Every picture of every group in one list, so that the threads share the whole work
    // whatever the sizes of the groups.
    QStringList paths;
    for (const SimilarGroup &group : groups)
        paths += keepRulePictures(group, pictures);
    QThreadPool pool;
    pool.setMaxThreadCount(jobs);
    const QList<PictureFacts> facts = QtConcurrent::blockingMapped(&pool, paths, readPictureFacts);

    GroupFacts grouped;
    grouped.reserve(groups.size());
    qsizetype first = 0;
    for (const SimilarGroup &group : groups) {
        const qsizetype size = qsizetype(group.members.size()) + 1;
        grouped.emplace_back(facts.begin() + first, facts.begin() + first + size);
        first += size;
    }
    return grouped;
}

std::vector<KeepPlan> planKeeping(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures,
                                  const GroupFacts &facts, const std::vector<KeepRule> &rules,
                                  const ProtectedFolders &protect)
{
    std::vector<KeepPlan> plans;
    plans.reserve(groups.size());
    for (size_t g = 0; g < groups.size(); ++g)
        plans.push_back(planGroup(keepRulePictures(groups[g], pictures), facts[g], rules, protect));
    return plans;
}

void writeDropList(const std::vector<SimilarGroup> &groups, const std::vector<KeepPlan> &plans,
                   const PictureCollection &pictures, bool null, QTextStream &out)
{
    for (size_t g = 0; g < groups.size(); ++g) {
        const QStringList paths = keepRulePictures(groups[g], pictures);
        for (int drop : plans[g].drop)
            out << paths.at(drop) << (null ? QChar(0) : QChar(u'\n'));
    }
}
