#include "keepplan.h"

#include "pictures/factsstore.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

std::vector<PictureGroup> pictureGroups(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures)
{
    std::vector<PictureGroup> named;
    named.reserve(groups.size());
    for (const SimilarGroup &group : groups) {
        PictureGroup &paths = named.emplace_back();
        paths.base = pictures.path(group.base);
        for (int member : group.members)
            paths.members.append(pictures.path(member));
    }
    return named;
}

QList<PictureFacts> readGroupFacts(const std::vector<PictureGroup> &groups, int jobs)
{
    // Every picture of every group in one list, so that the threads share the whole work
    // whatever the sizes of the groups.
    QThreadPool pool;
    pool.setMaxThreadCount(jobs);
    // Through the user's facts cache, which the window shares: a second run reads no picture.
    PictureFactsCache cache(FactsStore::user());
    return QtConcurrent::blockingMapped(&pool, groupPictures(groups),
                                        [&cache](const QString &picture) { return cache.facts(picture); });
}

void writeDropList(const std::vector<GroupPlan> &plans, bool null, QTextStream &out)
{
    for (const GroupPlan &plan : plans) {
        for (const QString &drop : plan.drop)
            out << drop << (null ? QChar(0) : QChar(u'\n'));
    }
}
