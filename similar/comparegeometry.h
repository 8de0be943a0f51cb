#pragma once
// The arithmetic of the compare window, apart from any widget: how many panes stand side by
// side, and which part of each picture a pane shows at a zoom and a centre.
//
// The panes stay in step by the same region of their pictures in relative coordinates
// (0..1 across each upright picture), not by pixels: a 4000-pixel original and its
// 1000-pixel copy show the same detail, the copy magnified. The zoom counts in times the
// fit of each picture into its box, so that at 1 every picture is whole.

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>

struct CompareLayout
{
    int columns = 1;
    int rows = 1;
    QSize pane;            // each pane, its caption included
    int contentHeight = 0; // all rows; more than the viewport's height when they scroll
    bool operator==(const CompareLayout &) const = default;
};

// As many columns as panes of at least `leastPane` fit across the viewport (never more than
// there are pictures), and as many rows in view as fit down it; the others scroll.
CompareLayout compareLayout(QSize viewport, int pictures, QSize leastPane);

struct CompareView
{
    double zoom = 1.0;             // times the fit of each picture
    QPointF centre{0.5, 0.5};      // the relative point shown at the middle of every box
};

// Box pixels per picture pixel at which the whole picture fits the box.
double fitScale(QSizeF picture, QSizeF box);

// The zoom at which the largest of the pictures (by pixels) shows at its own size in box.
double actualSizeZoom(const QList<QSize> &pictures, QSizeF box);

// The zooms the keys and the wheel move between: from whichever is less of whole and the
// largest picture at its own size, up to four times whichever is more.
struct ZoomLimits
{
    double least = 1.0;
    double most = 4.0;
};
ZoomLimits zoomLimits(const QList<QSize> &pictures, QSizeF box);

// One step of + or - (steps > 0 nearer), within the limits.
double zoomStep(double zoom, int steps, ZoomLimits limits);

// What a box shows of a picture: the part of it (picture pixels) and where that part is drawn
// (box pixels). Empty when the picture is out of view or has no size.
struct PaneRegion
{
    QRectF source;
    QRectF target;
};
PaneRegion paneRegion(QSize picture, QSizeF box, const CompareView &view);

// Whether there is anything to pan to across (horizontal) or down (vertical): some picture
// is wider (taller) than its box at the zoom.
bool canPan(const QList<QSize> &pictures, QSizeF box, double zoom, Qt::Orientation orientation);

// The centre kept where the pictures showing the least still end at their edges: a picture
// showing more may show a margin beside it, but all stay in step.
QPointF clampCentre(QPointF centre, const QList<QSize> &pictures, QSizeF box, double zoom);

// The view after moving a picture's content by `pixels` in its box (a drag).
QPointF panCentre(const CompareView &view, QPointF pixels, QSize picture, QSizeF box);

// The view at a new zoom that keeps the relative point under `offset` (from the box's middle)
// of the picture where it is.
CompareView zoomAt(const CompareView &view, double zoom, QPointF offset, QSize picture, QSizeF box);
