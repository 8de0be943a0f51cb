#pragma once
// One pane of the compare window: a picture, shown at the window's zoom and centre, over a
// caption with the picture's facts. The pane decodes its picture itself on the thread pool,
// upright and at the size it shows (scaled decoding), and again larger when a zoom needs
// more of it; meanwhile it shows what it has, or a coarse first picture where the decode
// gives one.
//
// It reports the user's doings to the window, which keeps the view that all panes share: a
// press and a drag on the picture (pan), the wheel (zoom), a click on the caption (the
// selection).

#include "comparefacts.h"
#include "comparegeometry.h"

#include <QFutureWatcher>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class WorkPool;

struct ComparePicture
{
    QImage image;    // upright, at `scale` of the picture's own size
    QSize size;      // the whole picture upright, in pixels
    double scale = 0;
    bool ok = false; // decoded
    bool read = false; // the attempt has been made
    bool coarse = false; // a first picture, the decode going on
};

// Decodes the picture upright (its EXIF orientation applied) at the scale at which `zoom`
// shows it in box (device pixels), never above its own size; `coarse` gets a first picture
// where the format gives one early. Skipped, or stopped after the coarse picture, when
// `dropped` is set by then. Safe on any thread.
ComparePicture readComparePicture(const QString &path, double zoom, QSizeF box,
                                  std::shared_ptr<const std::atomic_bool> dropped,
                                  const std::function<void(ComparePicture)> &coarse = {});

class ComparePane : public QWidget
{
    Q_OBJECT
public:
    ComparePane(const QString &path, const CompareView *view, QWidget *parent);
    ~ComparePane() override;

    const QString &path() const { return m_path; }
    const ComparePicture &picture() const { return m_picture; }
    // The picture's part of the pane (the rest is the caption), in pixels of the pane.
    QRect box() const;
    // Lines of caption every pane leaves room for.
    static constexpr int CaptionLines = 9;

    // Decodes for the view's zoom, unless what it has already serves it.
    void load(WorkPool &pool);
    void setFacts(const QList<FactLine> &lines, bool best);
    void setMarked(bool marked);
    bool isMarked() const { return m_marked; }
    // The caption carries the mark of the copy the best rule keeps.
    bool isBest() const { return m_best; }
    void setCurrent(bool current);

signals:
    void pictureReady();
    void pressed();
    void captionClicked();
    void dragged(QPointF pixels);
    void wheeled(int steps, QPointF offset); // offset from the box's middle

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void decoded(int result);
    void paintCaption(QPainter &painter);

    QString m_path;
    const CompareView *m_view;
    ComparePicture m_picture;
    QFutureWatcher<ComparePicture> m_watcher;
    std::shared_ptr<std::atomic_bool> m_dropped = std::make_shared<std::atomic_bool>(false);
    double m_loading = 0; // the zoom being decoded for, 0: none
    QList<FactLine> m_facts;
    bool m_best = false;
    bool m_marked = false;
    bool m_current = false;
    QPointF m_dragFrom;
    bool m_dragging = false;
    int m_wheel = 0; // eighths of a degree not yet used
};
