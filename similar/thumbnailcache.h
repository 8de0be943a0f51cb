#pragma once
// Thumbnails for the grid of the similar-pictures window: decoded on the thread pool at
// the size of a cell, kept in a cache of bounded size, and handed to the window on the
// user-interface thread as they arrive. The grid paints only what is cached, so scrolling
// never waits for a decode and memory does not grow with the catalogue.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

class ThumbnailCache : public QObject
{
    Q_OBJECT
public:
    enum class State { Missing, Pending, Ready, Failed };

    explicit ThumbnailCache(QObject *parent = nullptr);
    ~ThumbnailCache() override;

    // The picture part of a cell in pixels; every thumbnail is stretched to exactly this
    // size, aspect ratio ignored. A new size forgets every thumbnail.
    void setCellSize(const QSize &size);
    QSize cellSize() const;
    // The most bytes of pixels that cached thumbnails and decodes in flight hold together.
    void setCapacity(qint64 bytes);
    qint64 capacity() const;

    // The cached thumbnail of path, or a null image; never starts a decode.
    QImage thumbnail(const QString &path) const;
    State state(const QString &path) const;

    // The paths wanted now, most wanted first: the visible cells, then those near them.
    // Replaces the earlier wish: decodes not yet started for paths no longer wanted are
    // dropped, and wanted paths beyond what the capacity holds are not decoded.
    void want(const QStringList &paths);
    // Forgets one path (its cell was blanked) or every path (a new run).
    void forget(const QString &path);
    void clear();

signals:
    // A decode ended; ok is false when the file could not be decoded.
    void ready(const QString &path, bool ok);
};
