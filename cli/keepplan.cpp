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

std::vector<KeepPlan> planKeeping(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures,
                                  const std::vector<KeepRule> &rules, const ProtectedFolders &protect, int jobs)
{
    // Every picture of every group in one list, so that the threads share the whole work
    // whatever the sizes of the groups.
    QStringList paths;
    for (const SimilarGroup &group : groups)
        paths += keepRulePictures(group, pictures);
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
                   const PictureCollection &pictures, bool null, QTextStream &out)
{
    for (size_t g = 0; g < groups.size(); ++g) {
        const QStringList paths = keepRulePictures(groups[g], pictures);
        for (int drop : plans[g].drop)
            out << paths.at(drop) << (null ? QChar(0) : QChar(u'\n'));
    }
}
