#pragma once
// Thumbnails for the grid of the similar-pictures window: decoded on the thread pool at
// the size of a cell, kept in a cache of bounded size, and handed to the window on the
// user-interface thread as they arrive. The grid paints only what is cached, so scrolling
// never waits for a decode and memory does not grow with the catalogue. Thumbnails that
// file managers already made (SharedThumbnails) are used instead of a decode when they are
// valid and as large as the cell.

#include "files/sharedthumbnails.h"
#include "outside/workpool.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <limits>

template <typename T> class QFutureWatcher;

class ThumbnailCache : public QObject
{
    Q_OBJECT
public:
    enum class State { Missing, Pending, Ready, Failed };

    // 1200 x 1600 twips at 96 dpi, the cell of the default settings.
    static constexpr QSize DefaultCellSize{80, 107};
    // Some 1,960 cells of the default size (dozens of screens), whatever the size of the
    // catalogue: the program stays far below 300 MB.
    static constexpr qint64 DefaultCapacity = 64 * 1024 * 1024;

    explicit ThumbnailCache(QObject *parent = nullptr);
    ~ThumbnailCache() override;

    // The picture part of a cell in pixels; every thumbnail is stretched to exactly this
    // size, aspect ratio ignored. A new size forgets every thumbnail.
    void setCellSize(const QSize &size);
    QSize cellSize() const;
    // The most bytes of pixels that cached thumbnails and decodes in flight hold together.
    void setCapacity(qint64 bytes);
    qint64 capacity() const;
    // How many pictures are decoded at once; the processor's thread count by default.
    void setMaxDecodes(int count);
    int maxDecodes() const;
    // Whether a picture decoded for a cell that fits 128 x 128 also gets its "normal" shared
    // thumbnail written, for the next run and for the file manager (one decode makes both;
    // a failed write changes nothing). Off until the window passes the user's setting, so
    // that a cache made elsewhere writes nothing into the user's folders. Valid shared
    // thumbnails are read either way. Takes effect for decodes not yet started.
    void setShareThumbnails(bool share);
    bool shareThumbnails() const;

    // The cached thumbnail of path, or a null image; never starts a decode. A thumbnail is
    // upright (as its orientation tag says), exactly cellSize() and in Format_RGB32.
    QImage thumbnail(const QString &path) const;
    State state(const QString &path) const;

    // The paths wanted now, most wanted first: the visible cells, then those near them.
    // Replaces the earlier wish: decodes not yet started for paths no longer wanted are
    // dropped, and wanted paths beyond what the capacity holds are not decoded. Room is made
    // by evicting what is wanted least: what is no longer wanted, least recently wanted
    // first, then the end of the wish. A path that failed stays Failed, untried, until it
    // is forgotten.
    void want(const QStringList &paths);
    // Forgets paths (their cells were blanked) or every path (a new run).
    void forget(const QString &path);
    void forget(const QStringList &paths);
    void clear();

signals:
    // A decode ended; ok is false when the file could not be decoded. Not emitted for a
    // result thrown away (forgotten, cleared, another cell size) or evicted at once to make
    // room for paths wanted more.
    void ready(const QString &path, bool ok);

private:
    struct Entry
    {
        State state = State::Pending;
        QImage image;
        quint64 lastWanted = 0; // serial of the last want() that named the path
    };
    struct Decode
    {
        QString path;
        qint64 bytes = 0;     // reserved until the decode ends
        bool dropped = false; // forgotten, cleared or a new cell size: the result is thrown away
    };

    qint64 cellBytes() const;
    qint64 bytesHeld() const { return m_cachedBytes + m_flightBytes; }
    static constexpr int NotWanted = std::numeric_limits<int>::max();
    int rankOf(const QString &path) const;
    void rankWish();
    bool makeRoom(qint64 bytes, int rank);
    void evict(QHash<QString, Entry>::iterator it);
    void schedule();
    void start(const QString &path);
    void finished(QFutureWatcher<QImage> *watcher);
    void dropAll();

    QSize m_cellSize = DefaultCellSize;
    qint64 m_capacity = DefaultCapacity;
    int m_maxDecodes = 1;
    bool m_share = false;
    SharedThumbnails m_shared; // the user's folder as the cache was made
    QHash<QString, Entry> m_entries;             // ready, failed and pending paths
    QHash<QFutureWatcher<QImage> *, Decode> m_decodes; // every decode running on the pool
    QStringList m_wish;
    QHash<QString, int> m_rank;                  // first position of each path in m_wish
    qsizetype m_next = 0;                        // m_wish before this holds no missing path
    quint64 m_wantSerial = 0;
    qint64 m_cachedBytes = 0;
    qint64 m_flightBytes = 0;
    // Nothing waits in its queue when it ends, so that waits only for the few decodes that run.
    WorkPool m_pool;
};
