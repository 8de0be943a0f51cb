#include "comparepane.h"

#include "outside/pathsplitter.h"
#include "outside/workpool.h"
#include "selectionmark.h"
#include "pictures/uprightpicture.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPromise>

#include <algorithm>
#include <cmath>

namespace {
// Above this many pixels a picture is decoded smaller even at its own size, whatever Qt's
// allocation limit (which caps it further): a pane never shows that many, and four panes
// stay under a gigabyte.
constexpr double MostDecodedPixels = 50e6;
// A zoom that needs more of the picture decodes it for twice as much, so the next steps
// of the wheel do not each decode again.
constexpr double ZoomAhead = 2.0;
constexpr int CaptionMargin = 4;
// Between the pictures of neighbouring panes, so that two alike pictures never look like one.
constexpr int Gap = 3;
const QString BestMark = QStringLiteral(" ★");
} // namespace

namespace {
ComparePicture comparePicture(UprightPicture decoded)
{
    ComparePicture picture;
    picture.read = true;
    picture.size = decoded.size;
    picture.ok = !decoded.image.isNull();
    picture.image = std::move(decoded.image);
    picture.scale = decoded.scale;
    return picture;
}
} // namespace

ComparePicture readComparePicture(const QString &path, double zoom, QSizeF box,
                                  std::shared_ptr<const std::atomic_bool> dropped,
                                  const std::function<void(ComparePicture)> &coarse)
{
    if (*dropped) {
        ComparePicture picture;
        picture.read = true;
        return picture;
    }
    std::function<bool(UprightPicture)> first;
    if (coarse) {
        // A pane gone meanwhile wants no more.
        first = [&coarse, &dropped](UprightPicture decoded) {
            ComparePicture picture = comparePicture(std::move(decoded));
            picture.coarse = true;
            coarse(std::move(picture));
            return !*dropped;
        };
    }
    const auto scaleFor = [zoom, box](QSize size) {
        const double pixels = double(size.width()) * size.height();
        return std::min({1.0, zoom * fitScale(size, box), std::sqrt(MostDecodedPixels / pixels)});
    };
    return comparePicture(decodeUprightPicture(path, scaleFor, first));
}

ComparePane::ComparePane(const QString &path, const CompareView *view, QWidget *parent)
    : QWidget(parent)
    , m_path(path)
    , m_view(view)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    connect(&m_watcher, &QFutureWatcherBase::resultReadyAt, this, &ComparePane::decoded);
}

ComparePane::~ComparePane()
{
    // A decode not started yet is not wanted any more.
    *m_dropped = true;
}

QRect ComparePane::box() const
{
    const int caption = CaptionLines * fontMetrics().lineSpacing() + 2 * CaptionMargin;
    return QRect(Gap, Gap, std::max(1, width() - 2 * Gap), std::max(1, height() - caption - Gap));
}

void ComparePane::load(WorkPool &pool)
{
    const QSizeF device = QSizeF(box().size()) * devicePixelRatioF();
    double zoom = m_view->zoom;
    if (m_picture.read) {
        if (!m_picture.ok)
            return; // it will not decode at another size either
        const double needed = std::min(1.0, zoom * fitScale(m_picture.size, device));
        if (m_picture.scale >= needed * 0.99 || m_picture.scale >= 0.999)
            return;
        zoom *= ZoomAhead;
    }
    if (m_loading >= zoom)
        return;
    m_loading = zoom;
    m_watcher.setFuture(pool.run(
        [path = m_path, zoom, device, dropped = std::shared_ptr<const std::atomic_bool>(m_dropped)](
            QPromise<ComparePicture> &promise) {
            promise.addResult(readComparePicture(path, zoom, device, dropped, [&promise](ComparePicture coarse) {
                promise.addResult(std::move(coarse));
            }));
        }));
}

void ComparePane::decoded(int result)
{
    const ComparePicture picture = m_watcher.resultAt(result);
    if (picture.coarse && m_picture.ok)
        return; // a coarse picture only stands in for none
    if (!picture.coarse)
        m_loading = 0;
    // A failed larger decode keeps what was shown.
    if (picture.ok || !m_picture.ok)
        m_picture = picture;
    update();
    emit pictureReady();
}

void ComparePane::setFacts(const QList<FactLine> &lines, bool best)
{
    if (lines == m_facts && best == m_best)
        return;
    m_facts = lines;
    m_best = best;
    update();
}

void ComparePane::setMarked(bool marked)
{
    if (marked != m_marked) {
        m_marked = marked;
        update();
    }
}

void ComparePane::setCurrent(bool current)
{
    if (current != m_current) {
        m_current = current;
        update();
    }
}

void ComparePane::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QRect box = this->box();
    painter.fillRect(box, palette().color(QPalette::Base));
    if (m_picture.ok) {
        const PaneRegion region = paneRegion(m_picture.size, box.size(), *m_view);
        const QRectF source(region.source.x() * m_picture.scale, region.source.y() * m_picture.scale,
                            region.source.width() * m_picture.scale, region.source.height() * m_picture.scale);
        // Magnified beyond its pixels the picture shows them, as a viewer does.
        const bool magnified = region.source.width() > 0
                               && region.target.width() * devicePixelRatioF() > 2 * source.width();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !magnified);
        painter.drawImage(region.target.translated(box.topLeft()), m_picture.image, source);
    } else if (m_picture.read) {
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(box, Qt::AlignCenter, tr("表示不可"));
    }
    if (m_marked)
        paintSelectionMark(painter, box, palette());
    paintCaption(painter);
}

void ComparePane::paintCaption(QPainter &painter)
{
    const QRect caption(CaptionMargin, box().bottom() + 1 + CaptionMargin, width() - 2 * CaptionMargin,
                        height() - box().bottom() - 1 - 2 * CaptionMargin);
    if (m_current) {
        // Where Space acts: the caption framed as a focus is.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.drawRect(caption.adjusted(-2, -2, 1, 1));
    }
    QFont regular = font();
    QFont bold = font();
    bold.setBold(true);
    painter.setPen(palette().color(QPalette::WindowText));
    // Before the facts are read the name stands alone.
    QList<FactLine> lines = m_facts;
    if (lines.isEmpty())
        lines.append({PathSplitter::FileNamePart(m_path), false});
    int y = caption.top();
    for (int i = 0; i < lines.size(); ++i) {
        const FactLine &line = lines.at(i);
        painter.setFont(line.differs ? bold : regular);
        const QFontMetrics metrics = painter.fontMetrics();
        const QString tail = i == 0 && m_best ? BestMark : QString();
        const int room = caption.width() - metrics.horizontalAdvance(tail);
        // The folder (second line) keeps both its ends.
        const QString text = metrics.elidedText(line.text, i == 1 ? Qt::ElideMiddle : Qt::ElideRight, room) + tail;
        painter.drawText(caption.left(), y + metrics.ascent(), text);
        y += metrics.lineSpacing();
    }
}

void ComparePane::mousePressEvent(QMouseEvent *event)
{
    emit pressed();
    if (event->button() != Qt::LeftButton)
        return;
    if (event->position().y() > box().bottom()) {
        emit captionClicked();
        return;
    }
    m_dragging = true;
    m_dragFrom = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void ComparePane::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    const QPointF moved = event->position() - m_dragFrom;
    m_dragFrom = event->position();
    emit dragged(moved);
}

void ComparePane::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
    unsetCursor();
}

void ComparePane::wheelEvent(QWheelEvent *event)
{
    // A notch is 120 eighths of a degree; a touch pad sends it in small parts.
    m_wheel += event->angleDelta().y();
    const int steps = m_wheel / 120;
    m_wheel -= steps * 120;
    if (steps != 0)
        emit wheeled(steps, event->position() - QRectF(box()).center());
    event->accept();
}
