#pragma once
// The picture area `picList` of the similar-pictures window: a grid of captioned
// thumbnails, placed one cell after the other, growing downwards by rows and scrolled by
// rows. The area is as high as its rows, but only the rows in view are painted, from a
// bounded thumbnail cache; a cell whose picture is not decoded yet (or cannot be) shows its
// caption alone.

#include "samgeometry.h"

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <vector>

class QLabel;
class ThumbnailCache;

class SamGrid : public QWidget
{
    Q_OBJECT
public:
    explicit SamGrid(QWidget *parent = nullptr);
    ~SamGrid() override;

    void setGeometryTwips(const SamGeometry &geometry);
    const SamGeometry &geometryTwips() const { return m_geometry; }

    // The picture area's height in twips (the rows drawn so far), and its top: 0, or
    // minus the rows scrolled past times R.
    int areaHeight() const { return m_areaHeight; }
    void setAreaHeight(int twips);
    int areaTop() const { return m_areaTop; }
    void setAreaTop(int twips);

    // The placement list: entry k is the picture of cell k; "" for an empty cell.
    const QStringList &placement() const { return m_placement; }
    // Entry k, or "" beyond the end of the list.
    QString entry(int k) const { return m_placement.value(k); }
    int placedCount() const { return m_placed; }

    // Clears the area: the placement list becomes one empty entry, the cursor row 0, column 0.
    void clearPlacement();
    // Places a picture in the next cell; the area grows to end with the cursor's row. A mark
    // (how a member matched) stands after its caption, which is shortened to leave it room.
    void place(const QString &path, const QString &mark = QString());
    // Empties cell k: picture and caption give way to the background.
    void blank(int k);

    // Keeps child at a rectangle of the picture area (twips) as the area scrolls.
    void attach(QWidget *child, const QRect &areaTwips);

    // The point (pixels, in this widget) as a position in the picture area, in twips.
    QPoint toArea(const QPoint &pixels) const;
    // A rectangle of the picture area (twips) in this widget's pixels.
    QRect toPixels(const QRect &twips) const;

    // Thumbnails decoded so far and waited for.
    ThumbnailCache &thumbnails() const { return *m_cache; }

signals:
    void areaHeightChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;
    // The first and one past the last row in view.
    std::pair<int, int> rowsInView() const;
    QString caption(int k) const;
    void thumbnailReady(const QString &path);
    void wantThumbnails();
    void updateCell(int k);
    void resizeCache();

    struct Attached
    {
        QPointer<QWidget> child;
        QRect area;
    };

    SamGeometry m_geometry;
    int m_areaHeight = 0;
    int m_areaTop = 0;
    QStringList m_placement{QString()};
    int m_placed = 0;
    int m_cursorRow = 0;
    int m_cursorColumn = 0;
    mutable std::vector<std::optional<QString>> m_captions; // FitSamTitle, by cell, made when first painted
    QHash<int, QString> m_marks; // by cell, the few that have one

    QList<Attached> m_attached;
    ThumbnailCache *m_cache = nullptr;
    QTimer m_wantTimer; // gathers every change of view or placement into one wish per turn
};
