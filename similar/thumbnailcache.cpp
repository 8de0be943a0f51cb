#include "thumbnailcache.h"

// Placeholder until the cache lands: nothing is ever decoded.

ThumbnailCache::ThumbnailCache(QObject *parent)
    : QObject(parent)
{
}

ThumbnailCache::~ThumbnailCache() = default;

void ThumbnailCache::setCellSize(const QSize &) {}
QSize ThumbnailCache::cellSize() const { return {}; }
void ThumbnailCache::setCapacity(qint64) {}
qint64 ThumbnailCache::capacity() const { return 0; }
QImage ThumbnailCache::thumbnail(const QString &) const { return {}; }
ThumbnailCache::State ThumbnailCache::state(const QString &) const { return State::Missing; }
void ThumbnailCache::want(const QStringList &) {}
void ThumbnailCache::forget(const QString &) {}
void ThumbnailCache::clear() {}
