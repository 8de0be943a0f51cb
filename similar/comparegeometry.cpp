#include "comparegeometry.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace {
constexpr double StepFactor = 1.25;
constexpr double MostTimesActual = 4.0;

// Half the relative width (height) of a picture that its box shows at the zoom.
double halfShown(QSize picture, QSizeF box, double zoom, Qt::Orientation orientation)
{
    const double scale = zoom * fitScale(picture, box);
    if (scale <= 0)
        return 0.5;
    return orientation == Qt::Horizontal ? box.width() / (2 * picture.width() * scale)
                                         : box.height() / (2 * picture.height() * scale);
}
} // namespace

CompareLayout compareLayout(QSize viewport, int pictures, QSize leastPane)
{
    CompareLayout layout;
    if (pictures < 1 || viewport.isEmpty() || leastPane.isEmpty())
        return layout;
    layout.columns = std::clamp(viewport.width() / leastPane.width(), 1, pictures);
    layout.rows = (pictures + layout.columns - 1) / layout.columns;
    const int rowsInView = std::clamp(viewport.height() / leastPane.height(), 1, layout.rows);
    layout.pane = QSize(viewport.width() / layout.columns, viewport.height() / rowsInView);
    layout.contentHeight = layout.pane.height() * layout.rows;
    return layout;
}

double fitScale(QSizeF picture, QSizeF box)
{
    if (picture.isEmpty() || box.isEmpty())
        return 0;
    return std::min(box.width() / picture.width(), box.height() / picture.height());
}

double actualSizeZoom(const QList<QSize> &pictures, QSizeF box)
{
    QSize largest;
    for (const QSize &picture : pictures) {
        if (qint64(picture.width()) * picture.height() > qint64(largest.width()) * largest.height())
            largest = picture;
    }
    const double fit = fitScale(largest, box);
    return fit > 0 ? 1 / fit : 1.0;
}

ZoomLimits zoomLimits(const QList<QSize> &pictures, QSizeF box)
{
    const double actual = actualSizeZoom(pictures, box);
    return {std::min(1.0, actual), MostTimesActual * std::max(1.0, actual)};
}

double zoomStep(double zoom, int steps, ZoomLimits limits)
{
    return std::clamp(zoom * std::pow(StepFactor, steps), limits.least, limits.most);
}

PaneRegion paneRegion(QSize picture, QSizeF box, const CompareView &view)
{
    const double scale = view.zoom * fitScale(picture, box);
    if (scale <= 0)
        return {};
    const QSizeF shown(picture.width() * scale, picture.height() * scale);
    // The whole picture laid out in box pixels, its centre point at the box's middle.
    const QRectF whole(box.width() / 2 - view.centre.x() * shown.width(),
                       box.height() / 2 - view.centre.y() * shown.height(), shown.width(), shown.height());
    const QRectF target = whole.intersected(QRectF(QPointF(0, 0), box));
    if (target.isEmpty())
        return {};
    const QRectF source((target.x() - whole.x()) / scale, (target.y() - whole.y()) / scale,
                        target.width() / scale, target.height() / scale);
    return {source, target};
}

bool canPan(const QList<QSize> &pictures, QSizeF box, double zoom, Qt::Orientation orientation)
{
    return std::any_of(pictures.begin(), pictures.end(), [&](const QSize &picture) {
        return !picture.isEmpty() && halfShown(picture, box, zoom, orientation) < 0.5 - 1e-9;
    });
}

QPointF clampCentre(QPointF centre, const QList<QSize> &pictures, QSizeF box, double zoom)
{
    double half[2] = {0.5, 0.5};
    for (const QSize &picture : pictures) {
        if (picture.isEmpty())
            continue;
        half[0] = std::min(half[0], halfShown(picture, box, zoom, Qt::Horizontal));
        half[1] = std::min(half[1], halfShown(picture, box, zoom, Qt::Vertical));
    }
    return QPointF(std::clamp(centre.x(), half[0], 1 - half[0]), std::clamp(centre.y(), half[1], 1 - half[1]));
}

QPointF panCentre(const CompareView &view, QPointF pixels, QSize picture, QSizeF box)
{
    const double scale = view.zoom * fitScale(picture, box);
    if (scale <= 0)
        return view.centre;
    return view.centre - QPointF(pixels.x() / (picture.width() * scale), pixels.y() / (picture.height() * scale));
}

CompareView zoomAt(const CompareView &view, double zoom, QPointF offset, QSize picture, QSizeF box)
{
    const double fit = fitScale(picture, box);
    if (fit <= 0 || view.zoom <= 0)
        return {zoom, view.centre};
    const QSizeF before(picture.width() * fit * view.zoom, picture.height() * fit * view.zoom);
    const QSizeF after(picture.width() * fit * zoom, picture.height() * fit * zoom);
    const QPointF under(view.centre.x() + offset.x() / before.width(), view.centre.y() + offset.y() / before.height());
    return {zoom, QPointF(under.x() - offset.x() / after.width(), under.y() - offset.y() / after.height())};
}
