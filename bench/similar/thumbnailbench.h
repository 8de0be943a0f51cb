#pragma once
// What the thumbnail benchmarks share: the scale corpus, a folder of shared thumbnails of
// their own and a way to fill it, and a bounded wait for the cache.

#include "thumbnailcache.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

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

// The large thumbnail of a picture as a file manager leaves it: upright, longest side 256.
inline void writeLargeThumbnail(const QString &path)
{
    const SharedThumbnails shared;
    const SharedThumbnails::Original original = shared.original(path);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (std::max(reader.size().width(), reader.size().height()) > 512)
        reader.setScaledSize(reader.size().scaled(512, 512, Qt::KeepAspectRatio));
    QImage image = reader.read()
                       .scaled(SharedThumbnails::LargeSide, SharedThumbnails::LargeSide, Qt::KeepAspectRatio,
                               Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32);
    image.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(original.uri));
    image.setText(QStringLiteral("Thumb::MTime"), QString::number(original.mtime));
    image.setText(QStringLiteral("Thumb::Size"), QString::number(original.size));
    image.save(shared.thumbnailPath(path, SharedThumbnails::Size::Large), "PNG");
}

// Fills the shared thumbnail folder under cacheHome as a file manager and Lumo leave it:
// every picture's normal thumbnail written by the cache itself, a large one beside it.
// Caches made afterwards use cacheHome.
inline bool fillSharedThumbnails(const QString &cacheHome, const QStringList &paths)
{
    useCacheHome(cacheHome);
    ThumbnailCache cache;
    cache.setCellSize(QSize(80, 60));
    cache.setShareThumbnails(true);
    cache.setCapacity(qint64(80) * 60 * 4 * paths.size());
    cache.want(paths);
    if (!serveUntil(cache, [&] { return allArrived(cache, paths); }))
        return false;
    QDir().mkpath(SharedThumbnails().root() + QStringLiteral("/large"));
    QtConcurrent::blockingMap(paths, writeLargeThumbnail);
    return true;
}
