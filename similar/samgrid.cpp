#include "samgrid.h"

#include "outside/pathsplitter.h"
#include "outside/workarea.h"
#include "thumbnailcache.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPointer>

namespace {
// Thumbnails kept besides those in view: a few screens, never less than this.
constexpr qint64 LeastCacheBytes = 48LL * 1024 * 1024;
constexpr int ScreensCached = 4;
// ... and never more than this, however large the settings make the cells; only what is in
// view at once may need more.
constexpr qint64 MostCacheBytes = 256LL * 1024 * 1024;
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
    m_marks.clear();
    m_cache->clear();
    update();
}

void SamGrid::place(const QString &path, const QString &mark)
{
    const int k = m_placed;
    if (!mark.isEmpty())
        m_marks.insert(k, mark);
    if (k == 0)
        m_placement[0] = path; // the run started with one empty entry
    else
        m_placement.append(path);
    ++m_placed;
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
    if (!path.isEmpty() && !m_placement.contains(path))
        m_cache->forget(path);
    updateCell(k);
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
        const QString mark = m_marks.value(k);
        const int markTwips = mark.isEmpty() ? 0 : fontMetrics().horizontalAdvance(mark) * 1440 / qMax(logicalDpiX(), 1);
        caption = FitSamTitle(PathSplitter::FileNamePart(m_placement.at(k)), m_geometry.width - markTwips,
                              fontMetrics(), logicalDpiX())
                  + mark;
    }
    return *caption;
}

void SamGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const int ascent = fontMetrics().ascent();
    const auto [first, last] = rowsInView();
    for (int row = first; row < last; ++row) {
        for (int column = 0; column < m_geometry.columns; ++column) {
            const int k = row * m_geometry.columns + column;
            if (k >= m_placement.size())
                return;
            const QString &path = m_placement.at(k);
            if (path.isEmpty() || !event->rect().intersects(toPixels(m_geometry.cellRect(k))))
                continue;
            const int x = column * m_geometry.width;
            const int y = row * m_geometry.rowHeight();
            const QImage thumbnail = m_cache->thumbnail(path);
            if (!thumbnail.isNull())
                painter.drawImage(toPixels(QRect(x, y, m_geometry.width, m_geometry.height)), thumbnail);
            const QRect text = toPixels(QRect(x + SamGeometry::CaptionIndent, y + m_geometry.height, 0, 0));
            painter.drawText(text.x(), text.y() + ascent, caption(k));
        }
    }
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

void SamGrid::thumbnailReady(const QString &path)
{
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
