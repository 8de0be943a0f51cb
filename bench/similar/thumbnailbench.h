#pragma once
// What the thumbnail benchmarks share: the scale corpus, a folder of shared thumbnails of
// their own, and a bounded wait for the cache.

#include "thumbnailcache.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>

// The pictures of the 2,000-picture scale corpus by name (LUMO_SCALE_DIR names another
// folder); empty when it has not been made.
inline QStringList scaleCorpus()
{
    const QDir dir(qEnvironmentVariable("LUMO_SCALE_DIR", QStringLiteral("/work/data/scale2000")));
    QStringList paths;
    const QStringList names = dir.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        paths.append(dir.filePath(name));
    return paths;
}

// Points the shared thumbnails of caches made from now on at folder: a benchmark never
// reads or writes the user's own.
inline void useCacheHome(const QString &folder)
{
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder));
}

// Whether every path has arrived, decoded or failed.
inline bool allArrived(const ThumbnailCache &cache, const QStringList &paths)
{
    for (const QString &path : paths) {
        const ThumbnailCache::State state = cache.state(path);
        if (state != ThumbnailCache::State::Ready && state != ThumbnailCache::State::Failed)
            return false;
    }
    return true;
}

// Serves events until done() holds; false when a minute went by first.
template <typename Done>
bool serveUntil(ThumbnailCache &cache, Done done)
{
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QObject::connect(&cache, &ThumbnailCache::ready, &loop, [&] {
        if (done())
            loop.quit();
    });
    if (!done())
        loop.exec();
    return done();
}
