#pragma once
// The compare window ("比較"): every picture of one group of the similar-pictures window
// side by side, each in its own pane, zoomed and panned in step, with the facts that tell
// the copies apart under each. The user decides from the keyboard: the panes carry the main
// list's selection as the grid does, Space toggles it, Delete runs the grid's 削除 on the
// group's marked pictures, Ctrl+B keeps the group's best copy, and the group changes with
// the arrows and page keys. One window at a time; opening it again shows the new group.
//
// Keys: 0 fit, 1 the largest picture at its own size, + and - (and the wheel) between; the
// arrows pan (left and right go to the previous and next group when there is nothing to
// pan across), PageUp / PageDown the previous and next group, Tab the next pane, Space the
// pane's selection, Delete, Ctrl+B, Esc closes.

#include "comparegeometry.h"

#include "outside/appsettings.h"
#include "outside/workpool.h"

#include "search/keeprules.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QPointer>
#include <QTimer>

class CompareOwner;
class ComparePane;
class QScrollArea;

class frmCompare : public QDialog
{
    Q_OBJECT
public:
    // Shows group o_Group of o_Owner, opening the window first when needed, with the pane
    // of o_Picture current (the first pane when it is not in the group).
    static void ShowEx(CompareOwner *o_Owner, int o_Group, const QString &o_Picture = QString());
    // The open window, or null.
    static frmCompare *loaded();
    static void unload();

    // The owner's marks changed: the panes follow.
    void followMarks();
    // The picture was deleted: its pane goes.
    void DelComparePics(const QString &o_FileName);

    int group() const { return m_group; }
    // The panes' pictures, in order.
    QStringList pictures() const;
    // Pane i shows its picture (decoded), and the part of it that it shows (picture pixels).
    bool isPictureShown(int pane) const;
    QRectF shownRegion(int pane) const;
    const CompareView &view() const { return m_view; }
    // The pane where Space acts.
    int current() const { return m_current; }

    ~frmCompare() override;
    void reject() override;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    explicit frmCompare(QWidget *parent);

    void showGroup(int group, const QString &picture = QString());
    void updateTitle();
    // The nearest group from `group` on in the direction `delta` that still has two
    // pictures to compare, or -1.
    int groupToCompare(int group, int delta) const;
    void stepGroup(int delta);
    // A group left with one picture is passed over, to the next one that has two.
    void passOverSingle();
    void rebuildPanes(const QStringList &paths);
    void layoutPanes();
    void setCurrent(int pane);
    void loadPictures();
    void pictureDecoded();
    void readFactsAfterPictures();
    void readFacts();
    void factsRead();
    bool factsAreRead() const;
    PictureFacts factsOf(int pane) const;
    void updateFacts();
    QList<QSize> pictureSizes() const;
    QSizeF boxSize() const;

    void setZoom(double zoom, QPointF offset = {}, int pane = -1);
    void zoomBy(int steps, QPointF offset = {}, int pane = -1);
    void panBy(QPointF pixels, int pane);
    void arrow(int key);
    void toggleCurrent();
    void deleteMarked();
    void keepBest();
    // The best rule over the group as the grid's rules read it, read facts given; ordered:
    // the group in that order.
    KeepPlan bestPlan(QStringList *ordered = nullptr) const;
    int paneOf(const QString &path) const;

    CompareOwner *m_owner = nullptr;
    AppSettings m_settings;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_content = nullptr;
    QList<ComparePane *> m_panes;
    int m_group = -1;
    int m_current = 0;
    bool m_lastTold = false; // the title says there is no group after this one
    CompareView m_view;
    QTimer m_loadTimer; // gathers a burst of zoom steps into one decode each
    // The panes' pictures decode here, apart from the grid's thumbnails, so that a group is
    // never queued behind a screen of them; a group's pictures at once at most.
    WorkPool m_decodes;
    // The facts, behind the pictures and one picture at a time: reading one takes as long as
    // decoding it, and a group's facts still being read must not hold up the next group's
    // first picture.
    WorkPool m_factsWork;

    // The facts of the group's pictures, in pane order, read on the pool.
    QFutureWatcher<PictureFacts> m_facts;
    QStringList m_factsOf;            // the group as it was shown
    std::vector<PictureFacts> m_read; // one for each of m_factsOf, once read
    bool m_factsWanted = false;       // to be read once the pictures are
    QTimer m_factsTimer;
    bool m_bestWanted = false; // Ctrl+B waits for the facts
};
