#include "thumbnailcache.h"

#include "files/folderscan.h"
#include "files/regularfile.h"
#include "pictures/pictureformats.h"

#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QPainter>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {

// A picture that covers the cell, or the whole picture when it is smaller, stretched to the
// cell. One format, four bytes a pixel: what the cache reserved, and the quickest to paint.
QImage toCell(const QImage &picture, QSize cell)
{
    QImage image = picture;
    if (image.hasAlphaChannel()) { // a shared thumbnail may have one; the cell has none
        image = QImage(picture.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter(&image).drawImage(0, 0, picture);
    }
    if (image.size() != cell)
        image = image.scaled(cell, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_RGB32);
}

// The smallest size of an upright picture, aspect ratio kept, that covers both sizes, and
// never more than the picture itself: what one decode must give to make both from it.
QSize covering(QSize picture, QSize a, QSize b)
{
    double scale = 0;
    for (const QSize &size : {a, b}) {
        scale = std::max({scale, double(size.width()) / picture.width(), double(size.height()) / picture.height()});
    }
    if (scale >= 1)
        return picture;
    return QSize(std::min(picture.width(), int(std::ceil(picture.width() * scale))),
                 std::min(picture.height(), int(std::ceil(picture.height() * scale))));
}

// Runs on the pool, so it takes values only. A valid shared thumbnail as large as the cell
// spares the decode. Otherwise libjpeg scales while it decodes (1/2, 1/4, 1/8), which is
// what makes thumbnails of large photos cheap; the handler scales the picture as stored and
// the orientation is applied afterwards, so a picture that the orientation turns by a
// quarter asks for its size on its side. When sharing, the one decode is large enough for
// both the normal shared thumbnail and the cell.
QImage makeThumbnail(const QString &path, QSize cell, const SharedThumbnails &shared, bool share)
{
    const SharedThumbnails::Original original = shared.original(path);
    bool normalValid = false;
    const QImage found = shared.lookup(original, cell, &normalValid);
    if (!found.isNull())
        return toCell(found, cell);

    QFile file;
    // A catalogue keeps entries of deleted pictures until it is optimised; a FIFO, device
    // or oversized file under a picture's name is none either, and is never waited for.
    if (!openPictureFile(file, path))
        return {};
    // The other formats an add may take (HEIC, PNG, WebP, ...) are told by their content,
    // a RAW by its name (it looks like any TIFF, and the handle opened here has no name);
    // everything else goes to the JPEG reader, as before.
    const bool other = hasPictureExtension(path, PictureFormats::All) && !hasJpegExtension(path);
    const QByteArray format = !other ? QByteArray("jpeg")
        : hasRawExtension(path)      ? QByteArray("raw")
                                     : QImageReader::imageFormat(&file);
    QImageReader reader(&file, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    const bool onItsSide = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize stored = reader.size();
    const QSize upright = onItsSide ? stored.transposed() : stored;
    const bool writeNormal = share && original.usable && !normalValid && upright.isValid()
                             && cell.width() <= SharedThumbnails::NormalSide
                             && cell.height() <= SharedThumbnails::NormalSide;
    const QSize normal = writeNormal ? SharedThumbnails::normalSizeFor(upright) : QSize();
    const QSize decoded = writeNormal ? covering(upright, normal, cell) : cell;
    reader.setScaledSize(onItsSide ? decoded.transposed() : decoded);
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    if (writeNormal) // a failed write leaves the cache as it was: nothing else depends on it
        shared.writeNormal(original, image.scaled(normal, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), upright);
    return toCell(image, cell);
}

} // namespace

ThumbnailCache::ThumbnailCache(QObject *parent)
    : QObject(parent), m_pool(1, WorkPool::Ending::Wait)
{
    setMaxDecodes(QThread::idealThreadCount());
}

// The pool drops what waits in its queue and waits only for the decodes already running;
// their watchers go with this object, results unread.
ThumbnailCache::~ThumbnailCache() = default;

void ThumbnailCache::setCellSize(const QSize &size)
{
    if (size == m_cellSize)
        return;
    dropAll();
    m_cellSize = size;
    schedule();
}

QSize ThumbnailCache::cellSize() const
{
    return m_cellSize;
}

void ThumbnailCache::setCapacity(qint64 bytes)
{
    m_capacity = std::max<qint64>(0, bytes);
    makeRoom(0, -1); // decodes still running are not undone; they are what may remain over
    m_next = 0;
    schedule();
}

qint64 ThumbnailCache::capacity() const
{
    return m_capacity;
}

void ThumbnailCache::setMaxDecodes(int count)
{
    m_maxDecodes = std::max(1, count);
    m_pool.setMaxThreadCount(m_maxDecodes);
    schedule();
}

int ThumbnailCache::maxDecodes() const
{
    return m_maxDecodes;
}

void ThumbnailCache::setShareThumbnails(bool share)
{
    m_share = share;
}

bool ThumbnailCache::shareThumbnails() const
{
    return m_share;
}

QImage ThumbnailCache::thumbnail(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    return it != m_entries.cend() ? it->image : QImage();
}

ThumbnailCache::State ThumbnailCache::state(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    return it != m_entries.cend() ? it->state : State::Missing;
}

void ThumbnailCache::want(const QStringList &paths)
{
    ++m_wantSerial;
    m_wish = paths;
    rankWish();
    for (const QString &path : paths) {
        const auto it = m_entries.find(path);
        if (it != m_entries.end())
            it->lastWanted = m_wantSerial;
    }
    schedule();
}

void ThumbnailCache::forget(const QString &path)
{
    forget(QStringList{path});
}

void ThumbnailCache::forget(const QStringList &paths)
{
    // The wish is ranked and the decodes scheduled once for all: a deletion blanks tens
    // of thousands of cells at once.
    QSet<QString> unwished;
    for (const QString &path : paths) {
        for (Decode &decode : m_decodes) {
            if (decode.path == path)
                decode.dropped = true;
        }
        const auto it = m_entries.find(path);
        if (it != m_entries.end()) {
            if (it->state == State::Pending)
                m_entries.erase(it);
            else
                evict(it);
        }
        // A blanked cell is not wanted again until the window says so.
        if (m_rank.contains(path))
            unwished.insert(path);
    }
    if (!unwished.isEmpty()) {
        m_wish.removeIf([&unwished](const QString &path) { return unwished.contains(path); });
        rankWish();
    }
    schedule();
}

void ThumbnailCache::clear()
{
    dropAll();
    m_wish.clear();
    m_rank.clear();
    m_next = 0;
}

qint64 ThumbnailCache::cellBytes() const
{
    return qint64(m_cellSize.width()) * m_cellSize.height() * 4;
}

int ThumbnailCache::rankOf(const QString &path) const
{
    return m_rank.value(path, NotWanted);
}

void ThumbnailCache::rankWish()
{
    m_rank.clear();
    m_rank.reserve(m_wish.size());
    for (qsizetype i = 0; i < m_wish.size(); ++i) {
        if (!m_rank.contains(m_wish[i]))
            m_rank.insert(m_wish[i], int(i));
    }
    m_next = 0;
}

// Frees room for bytes more, evicting only thumbnails wanted less than position rank of
// the wish: first those no longer wanted, least recently wanted first, then the wanted
// ones from the end of the wish.
bool ThumbnailCache::makeRoom(qint64 bytes, int rank)
{
    while (bytesHeld() + bytes > m_capacity) {
        auto victim = m_entries.end();
        int victimRank = rank;
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            const int r = rankOf(it.key());
            if (it->state != State::Ready || r <= rank)
                continue;
            if (victim == m_entries.end() || r > victimRank
                || (r == victimRank && it->lastWanted < victim->lastWanted)) {
                victim = it;
                victimRank = r;
            }
        }
        if (victim == m_entries.end())
            return false;
        evict(victim);
    }
    return true;
}

void ThumbnailCache::evict(QHash<QString, Entry>::iterator it)
{
    m_cachedBytes -= it->image.sizeInBytes();
    m_entries.erase(it);
}

void ThumbnailCache::schedule()
{
    if (m_cellSize.isEmpty())
        return;
    for (; m_next < m_wish.size() && m_decodes.size() < m_maxDecodes; ++m_next) {
        const QString &path = m_wish[m_next];
        if (m_entries.contains(path))
            continue; // ready, failed or on its way: asked twice, decoded once
        if (!makeRoom(cellBytes(), int(m_next)))
            return; // the rest of the wish is beyond what the capacity holds
        start(path);
    }
}

void ThumbnailCache::start(const QString &path)
{
    auto *watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] { finished(watcher); });
    m_decodes.insert(watcher, Decode{path, cellBytes(), false});
    m_flightBytes += cellBytes();
    m_entries.insert(path, Entry{State::Pending, QImage(), m_wantSerial});
    watcher->setFuture(m_pool.run(makeThumbnail, path, m_cellSize, m_shared, m_share));
}

void ThumbnailCache::finished(QFutureWatcher<QImage> *watcher)
{
    const Decode decode = m_decodes.take(watcher);
    const QImage image = watcher->result();
    watcher->deleteLater();
    m_flightBytes -= decode.bytes;
    const State outcome = image.isNull() ? State::Failed : State::Ready;
    const auto it = decode.dropped ? m_entries.end() : m_entries.find(decode.path);
    const bool delivered = it != m_entries.end() && it->state == State::Pending;
    if (delivered) {
        it->state = outcome;
        it->image = image;
        m_cachedBytes += image.sizeInBytes();
        // Over only when the capacity shrank while this decode ran.
        makeRoom(0, -1);
    }
    schedule();
    // A result wanted less than the decodes it made room for may be gone already.
    if (delivered && state(decode.path) == outcome)
        emit ready(decode.path, outcome == State::Ready);
}

// Forgets every thumbnail; decodes still running are counted until they end, unused.
void ThumbnailCache::dropAll()
{
    for (Decode &decode : m_decodes)
        decode.dropped = true;
    m_entries.clear();
    m_cachedBytes = 0;
    m_next = 0;
}
