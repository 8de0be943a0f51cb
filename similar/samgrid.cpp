#include "samgrid.h"

#include "outside/pathsplitter.h"
#include "outside/workarea.h"
#include "selectionmark.h"
#include "thumbnailcache.h"

#include <QFileInfo>
#include <algorithm>
#include <QPaintEvent>
#include <QStyle>
#include <QPainter>
#include <QPointer>

namespace {
// Thumbnails kept besides those in view: a few screens, never less than this.
constexpr qint64 LeastCacheBytes = 48LL * 1024 * 1024;
constexpr int ScreensCached = 4;
// ... and never more than this, however large the settings make the cells; only what is in
// view at once may need more.
constexpr qint64 MostCacheBytes = 256LL * 1024 * 1024;

// A light tint of colour: a fifth of tint over it.
QColor blend(const QColor &colour, const QColor &tint)
{
    return QColor::fromRgbF(colour.redF() * 0.8f + tint.redF() * 0.2f, colour.greenF() * 0.8f + tint.greenF() * 0.2f,
                            colour.blueF() * 0.8f + tint.blueF() * 0.2f);
}
} // namespace

SamGrid::SamGrid(QWidget *parent)
    : QWidget(parent)
    , m_cache(new ThumbnailCache(this))
{
    setObjectName(QStringLiteral("picList"));
    setAutoFillBackground(true);
    setMouseTracking(true);
    m_wantTimer.setSingleShot(true);
    m_wantTimer.setInterval(0);
    connect(&m_wantTimer, &QTimer::timeout, this, &SamGrid::wantThumbnails);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &SamGrid::followSlice);
    connect(m_cache, &ThumbnailCache::ready, this, &SamGrid::thumbnailReady);
}

SamGrid::~SamGrid() = default;

void SamGrid::setGeometryTwips(const SamGeometry &geometry)
{
    m_geometry = geometry;
    m_captions.clear();
    m_cache->setCellSize(QSize(toPixelsX(geometry.width), toPixelsY(geometry.height)));
    resizeCache();
    update();
}

void SamGrid::resizeCache()
{
    const qint64 cellBytes = qint64(toPixelsX(m_geometry.width)) * toPixelsY(m_geometry.height) * 4;
    const qint64 rowsInView = toPixelsY(m_geometry.rowHeight()) > 0
                                  ? height() / toPixelsY(m_geometry.rowHeight()) + 2 : 2;
    const qint64 inView = rowsInView * m_geometry.columns * cellBytes;
    const qint64 most = qMax(MostCacheBytes, inView);
    m_cache->setCapacity(qMin(most, qMax(LeastCacheBytes, ScreensCached * inView)));
}

void SamGrid::setAreaHeight(int twips)
{
    if (twips == m_areaHeight)
        return;
    m_areaHeight = twips;
    emit areaHeightChanged();
}

void SamGrid::setAreaTop(int twips)
{
    if (twips == m_areaTop)
        return;
    m_areaTop = twips;
    for (const Attached &attached : std::as_const(m_attached)) {
        if (attached.child)
            attached.child->setGeometry(toPixels(attached.area));
    }
    update();
    m_wantTimer.start();
}

void SamGrid::attach(QWidget *child, const QRect &areaTwips)
{
    child->setGeometry(toPixels(areaTwips));
    for (Attached &attached : m_attached) {
        if (attached.child == child) {
            attached.area = areaTwips;
            return;
        }
    }
    m_attached.append({child, areaTwips});
}

void SamGrid::clearPlacement()
{
    m_placement = QStringList{QString()};
    m_placed = 0;
    m_cursorRow = 0;
    m_cursorColumn = 0;
    m_captions.clear();
    m_matchMarks.clear();
    m_missing.clear();
    m_groups.clear();
    m_shown.clear();
    setMarkedCount(0);
    m_cache->clear();
    update();
}

void SamGrid::place(const QString &path, int group, bool base, const QString &mark)
{
    const int k = m_placed;
    if (!mark.isEmpty())
        m_matchMarks.insert(k, mark);
    if (k == 0)
        m_placement[0] = path; // the run started with one empty entry
    else
        m_placement.append(path);
    ++m_placed;
    m_groups.push_back({group, base});
    if (!path.isEmpty()) {
        Shown &shown = m_shown[path];
        if (shown.count++ == 0) {
            shown.first = k;
            if (m_selected.contains(path))
                setMarkedCount(m_marked + 1);
        }
    }
    setAreaHeight(m_geometry.rowHeight() * (m_cursorRow + 1));
    if (++m_cursorColumn == m_geometry.columns) {
        m_cursorColumn = 0;
        ++m_cursorRow;
    }
    updateCell(k);
    const auto [first, last] = rowsInView();
    if (k / m_geometry.columns < last + (last - first) * 2)
        m_wantTimer.start();
}

void SamGrid::blank(int k)
{
    const QString path = entry(k);
    if (k < 0 || k >= m_placement.size())
        return;
    m_placement[k].clear();
    if (!path.isEmpty()) {
        const auto shown = m_shown.find(path);
        if (shown != m_shown.end() && --shown->count == 0) {
            m_shown.erase(shown);
            m_cache->forget(path);
            if (m_selected.contains(path))
                setMarkedCount(m_marked - 1);
        } else if (shown != m_shown.end() && shown->first == k) {
            shown->first = int(m_placement.indexOf(path, k + 1));
        }
    }
    updateCell(k);
}

void SamGrid::blankPictures(const QStringList &paths)
{
    QStringList unshown;
    int marked = m_marked;
    for (const QString &path : paths) {
        const auto shown = m_shown.find(path);
        if (path.isEmpty() || shown == m_shown.end())
            continue;
        // The next cell of the picture is looked for only when it has one.
        for (int k = shown->first, left = shown->count; k >= 0 && left > 0;
             k = --left > 0 ? int(m_placement.indexOf(path, k + 1)) : -1) {
            m_placement[k].clear();
            updateCell(k);
        }
        m_shown.erase(shown);
        unshown.append(path);
        if (m_selected.contains(path))
            --marked;
    }
    setMarkedCount(marked);
    // Forgotten together: the thumbnails' wish is ranked once, not once a cell.
    m_cache->forget(unshown);
}

int SamGrid::firstCellOf(const QString &path) const
{
    return path.isEmpty() ? -1 : m_shown.value(path, {-1, 0}).first;
}

int SamGrid::groupOf(int k) const
{
    return k >= 0 && size_t(k) < m_groups.size() ? m_groups[size_t(k)].number : -1;
}

bool SamGrid::isBase(int k) const
{
    return k >= 0 && size_t(k) < m_groups.size() && m_groups[size_t(k)].base;
}

void SamGrid::setSelection(const QStringList &paths)
{
    const bool wasFollowing = isFollowing();
    m_following.clear();
    m_sliceTimer.stop();
    m_selected = QSet<QString>(paths.begin(), paths.end());
    int marked = 0;
    for (const QString &path : std::as_const(m_selected))
        marked += m_shown.contains(path);
    setMarkedCount(marked);
    update();
    if (wasFollowing)
        emit selectionFollowed();
}

void SamGrid::changeSelection(const QStringList &selected, const QStringList &deselected)
{
    Change change{selected, deselected};
    if (!isFollowing() && change.size() <= FollowedAtOnce) {
        follow(change, 0, change.size());
        return;
    }
    m_following.push_back(std::move(change));
    m_sliceTimer.start();
}

void SamGrid::settleSelection()
{
    if (!isFollowing())
        return;
    m_sliceTimer.stop();
    for (Change &change : m_following)
        follow(change, change.done, change.size());
    m_following.clear();
    emit selectionFollowed();
}

void SamGrid::followSlice()
{
    for (qsizetype budget = FollowedAtOnce; budget > 0 && isFollowing();) {
        Change &change = m_following.front();
        const qsizetype to = std::min(change.size(), change.done + budget);
        follow(change, change.done, to);
        budget -= to - change.done;
        change.done = to;
        if (change.done == change.size())
            m_following.pop_front();
    }
    if (isFollowing())
        m_sliceTimer.start();
    else
        emit selectionFollowed();
}

void SamGrid::follow(const Change &change, qsizetype from, qsizetype to)
{
    bool seen = false; // a change on the grid: the rows in view are painted again
    int marked = m_marked;
    const qsizetype deselected = change.deselected.size();
    for (qsizetype i = from; i < std::min(to, deselected); ++i) {
        const QString &path = change.deselected[i];
        if (m_selected.remove(path) && m_shown.contains(path)) {
            --marked;
            seen = true;
        }
    }
    if (to > deselected && from <= deselected) {
        // Grown once a change: a rule selects a tenth of a million pictures in one.
        m_selected.reserve(m_selected.size() + change.selected.size());
    }
    for (qsizetype i = std::max(from, deselected); i < to; ++i) {
        const QString &path = change.selected[i - deselected];
        const qsizetype before = m_selected.size();
        m_selected.insert(path);
        if (m_selected.size() != before && m_shown.contains(path)) {
            ++marked;
            seen = true;
        }
    }
    setMarkedCount(marked);
    if (seen)
        update();
}

bool SamGrid::isMarked(int k) const
{
    const QString path = entry(k);
    return !path.isEmpty() && m_selected.contains(path);
}

QStringList SamGrid::markedPaths() const
{
    QStringList marked;
    // Whichever side is smaller is walked.
    if (m_selected.size() <= m_shown.size()) {
        for (const QString &path : std::as_const(m_selected)) {
            if (m_shown.contains(path))
                marked.append(path);
        }
    } else {
        for (auto shown = m_shown.cbegin(); shown != m_shown.cend(); ++shown) {
            if (m_selected.contains(shown.key()))
                marked.append(shown.key());
        }
    }
    return marked;
}

void SamGrid::setMarkedCount(int marked)
{
    if (marked == m_marked)
        return;
    const bool had = m_marked > 0;
    m_marked = marked;
    if (had != (marked > 0))
        emit marksChanged();
}

int SamGrid::toPixelsX(int twips) const
{
    return WorkArea::twipsToPixelsX(twips, this);
}

int SamGrid::toPixelsY(int twips) const
{
    return WorkArea::twipsToPixelsY(twips, this);
}

QPoint SamGrid::toArea(const QPoint &pixels) const
{
    return QPoint(WorkArea::pixelsToTwipsX(pixels.x(), this),
                  WorkArea::pixelsToTwipsY(pixels.y() + toPixelsY(-m_areaTop), this));
}

QRect SamGrid::toPixels(const QRect &twips) const
{
    // Edges are converted one by one, so neighbouring cells meet without gap or overlap.
    const int scrolled = toPixelsY(-m_areaTop);
    const int left = toPixelsX(twips.x());
    const int top = toPixelsY(twips.y()) - scrolled;
    return QRect(left, top, toPixelsX(twips.x() + twips.width()) - left,
                 toPixelsY(twips.y() + twips.height()) - scrolled - top);
}

std::pair<int, int> SamGrid::rowsInView() const
{
    const int rowHeight = m_geometry.rowHeight();
    const int rowsInArea = (m_areaHeight + rowHeight - 1) / rowHeight;
    const int first = -m_areaTop / rowHeight;
    const int bottom = -m_areaTop + WorkArea::pixelsToTwipsY(height(), this);
    return {first, qBound(first, bottom / rowHeight + 1, rowsInArea)};
}

QString SamGrid::caption(int k) const
{
    if (m_captions.size() < size_t(m_placement.size()))
        m_captions.resize(m_placement.size());
    std::optional<QString> &caption = m_captions[k];
    if (!caption) {
        // A match mark stays whole after a caption shortened to leave it room.
        const QString mark = m_matchMarks.value(k);
        QFont bold = font();
        bold.setBold(true);
        const QFontMetrics metrics = isBase(k) ? QFontMetrics(bold) : fontMetrics();
        const int markTwips = mark.isEmpty() ? 0 : metrics.horizontalAdvance(mark) * 1440 / qMax(logicalDpiX(), 1);
        caption = FitSamTitle(PathSplitter::FileNamePart(m_placement.at(k)), m_geometry.width - markTwips, metrics,
                              logicalDpiX())
                  + mark;
    }
    return *caption;
}

void SamGrid::paintMark(QPainter &painter, const QRect &picture) const
{
    paintSelectionMark(painter, picture, palette());
}

void SamGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const int ascent = fontMetrics().ascent();
    QFont bold = font();
    bold.setBold(true);
    // Groups alternate between the base colour and a light tint of the highlight.
    const QColor tints[] = {palette().color(QPalette::Base),
                            blend(palette().color(QPalette::Base), palette().color(QPalette::Highlight))};
    const auto [first, last] = rowsInView();
    for (int row = first; row < last; ++row) {
        for (int column = 0; column < m_geometry.columns; ++column) {
            const int k = row * m_geometry.columns + column;
            if (k >= m_placement.size())
                return;
            const QRect cell = toPixels(m_geometry.cellRect(k));
            if (!event->rect().intersects(cell))
                continue;
            if (const int group = groupOf(k); group >= 0)
                painter.fillRect(cell, tints[group % 2]);
            const QString &path = m_placement.at(k);
            if (path.isEmpty())
                continue;
            const int x = column * m_geometry.width;
            const int y = row * m_geometry.rowHeight();
            const QRect picture = toPixels(QRect(x, y, m_geometry.width, m_geometry.height));
            const QImage thumbnail = m_cache->thumbnail(path);
            if (!thumbnail.isNull())
                painter.drawImage(picture, thumbnail);
            else if (m_missing.contains(path))
                paintMissing(painter, picture);
            const QRect text = toPixels(QRect(x + SamGeometry::CaptionIndent, y + m_geometry.height, 0, 0));
            const bool base = isBase(k);
            if (base)
                painter.setFont(bold);
            painter.drawText(text.x(), text.y() + ascent, caption(k));
            if (base)
                painter.setFont(font());
            if (m_selected.contains(path))
                paintMark(painter, picture);
        }
    }
}

void SamGrid::paintMissing(QPainter &painter, const QRect &picture) const
{
    // A dashed frame and the warning sign: the entry is there, its file is not.
    painter.save();
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
    painter.drawRect(picture.adjusted(3, 3, -4, -4));
    const int side = qMin(32, qMin(picture.width(), picture.height()) / 2);
    const QPixmap sign = style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side);
    painter.drawPixmap(QRect(QPoint(0, 0), QSize(side, side)).translated(picture.center() - QPoint(side / 2, side / 2)),
                       sign);
    painter.restore();
}

void SamGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    resizeCache();
    m_wantTimer.start();
}

void SamGrid::updateCell(int k)
{
    if (k >= 0 && k < int(m_captions.size()))
        m_captions[k].reset();
    const QRect cell = toPixels(m_geometry.cellRect(k));
    if (cell.intersects(rect()))
        update(cell);
}

void SamGrid::thumbnailReady(const QString &path, bool ok)
{
    // Asked once, when the decode fails: painting never waits on the disk.
    if (!ok && !QFileInfo::exists(path))
        m_missing.insert(path);
    const auto [first, last] = rowsInView();
    const int end = qMin<int>(last * m_geometry.columns, m_placement.size());
    for (int k = first * m_geometry.columns; k < end; ++k) {
        if (m_placement.at(k) == path)
            updateCell(k);
    }
}

void SamGrid::wantThumbnails()
{
    const auto [first, last] = rowsInView();
    const int inView = qMax(last - first, 1);
    QStringList paths;
    const auto addRow = [this, &paths](int row) {
        for (int column = 0; column < m_geometry.columns; ++column) {
            const QString path = entry(row * m_geometry.columns + column);
            if (!path.isEmpty())
                paths.append(path);
        }
    };
    for (int row = first; row < last; ++row)
        addRow(row);
    // Then those near: the rows below (where the user scrolls to most) and above, in turn.
    for (int step = 0; step < 2 * inView; ++step) {
        addRow(last + step);
        if (step < inView && first - 1 - step >= 0)
            addRow(first - 1 - step);
    }
    m_cache->want(paths);
}
