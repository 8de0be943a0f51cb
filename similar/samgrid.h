#pragma once
// The picture area `picList` of the similar-pictures window: a grid of captioned
// thumbnails, placed one cell after the other, growing downwards by rows and scrolled by
// rows. The area is as high as its rows, but only the rows in view are painted, from a
// bounded thumbnail cache; a cell whose picture is not decoded yet (or cannot be) shows its
// caption alone.
//
// The cells of a comparison run's groups lie on alternately tinted backgrounds, the base's
// caption in bold. A cell whose picture is selected in the main list carries a mark (a
// frame and a check mark); the grid keeps its own copy of that selection, changed by what
// joined and left it, so a change costs what changed and a repaint of the rows in view.

#include "samgeometry.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <optional>
#include <vector>

class QLabel;
class QPainter;
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
    // Places a picture in the next cell; the area grows to end with the cursor's row.
    // group: the number of its group in a comparison run (-1: none); base: it is the
    // group's base. A match mark (how a member matched) stands after its caption, which is
    // shortened to leave it room.
    void place(const QString &path, int group = -1, bool base = false, const QString &mark = QString());
    // Empties cell k: picture and caption give way to the background (its group's tint).
    void blank(int k);
    // Empties every cell that shows one of the paths.
    void blankPictures(const QStringList &paths);
    // The first cell that shows path, or -1.
    int firstCellOf(const QString &path) const;
    // The group of cell k (-1: none, or beyond the cells placed) and whether it is the base.
    int groupOf(int k) const;
    bool isBase(int k) const;

    // The main list's selection by path: all of it, or what joined and what left it.
    void setSelection(const QStringList &paths);
    // A change of more than FollowedAtOnce paths is followed a slice at a time, one slice
    // a turn of the event loop: a rule selects a tenth of a million pictures, and marking
    // them in one go kept input waiting. Changes are followed in the order they came.
    void changeSelection(const QStringList &selected, const QStringList &deselected);
    static constexpr qsizetype FollowedAtOnce = 16384;
    // Some change is not yet followed to its end; the marks then show the list as it was.
    bool isFollowing() const { return !m_following.empty(); }
    // Follows what is left at once: before the marks are acted on.
    void settleSelection();
    // The picture could not be decoded because its file is gone (renamed or moved away):
    // its cell carries a mark instead of the blank.
    bool isMissing(const QString &path) const { return m_missing.contains(path); }

    // Cell k shows a picture that is selected in the list.
    bool isMarked(int k) const;
    // The pictures shown marked, each once, in no particular order.
    QStringList markedPaths() const;
    bool hasMarks() const { return m_marked > 0; }

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
    // Whether any picture is marked may have changed.
    void marksChanged();
    // The last slice of the changes was followed: the marks show the list's selection.
    void selectionFollowed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;
    // The first and one past the last row in view.
    std::pair<int, int> rowsInView() const;
    QString caption(int k) const;
    void thumbnailReady(const QString &path, bool ok);
    void wantThumbnails();
    void updateCell(int k);
    void resizeCache();
    void setMarkedCount(int marked);
    struct Change
    {
        QStringList selected;
        QStringList deselected;
        qsizetype done = 0; // of the deselected, then of the selected
        qsizetype size() const { return selected.size() + deselected.size(); }
    };
    // Items [from, to) of the change: the deselected first, then the selected.
    void follow(const Change &change, qsizetype from, qsizetype to);
    void followSlice();
    void paintMark(QPainter &painter, const QRect &picture) const;
    void paintMissing(QPainter &painter, const QRect &picture) const;

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
    struct Group
    {
        int number = -1;
        bool base = false;
    };
    std::vector<Group> m_groups;  // by cell, as placed
    struct Shown
    {
        int first = 0; // the first cell that shows the path
        int count = 0; // how many do
    };
    QHash<QString, Shown> m_shown;
    QSet<QString> m_selected;     // the list's selection, as far as it is followed
    std::deque<Change> m_following;
    QTimer m_sliceTimer;
    int m_marked = 0;             // paths both shown and selected
    QHash<int, QString> m_matchMarks; // by cell, the few members that have one
    QSet<QString> m_missing;      // failed decodes whose file was not there

    QList<Attached> m_attached;
    ThumbnailCache *m_cache = nullptr;
    QTimer m_wantTimer; // gathers every change of view or placement into one wish per turn
};
