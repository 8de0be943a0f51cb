#include "frmCompare.h"

#include "compareowner.h"
#include "comparepane.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>

#include <algorithm>

namespace {
QPointer<frmCompare> s_window;

// The rule that picks the copy to keep: "画質の良い画像を残す" of the "選択" menu.
constexpr KeepRule BestRule = KeepRule::Best;

// Panes are never narrower or lower than this (caption included); more pictures scroll.
constexpr QSize LeastPane(340, 340);
// An arrow key pans by this part of a pane.
constexpr double ArrowStep = 0.1;
// The decodes a zoom needs start when the wheel has rested this long.
constexpr int LoadDelayMs = 120;
// The facts are read when a group's pictures have been shown this long.
constexpr int FactsDelayMs = 150;

const QString GeometryKey = QStringLiteral("CompareGeometry");

constexpr Qt::WindowFlags WindowFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                        | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
} // namespace

frmCompare::frmCompare(QWidget *parent)
    : QDialog(parent, WindowFlags), m_decodes(std::max(2, QThread::idealThreadCount())), m_factsWork(1)
{
    setObjectName(QStringLiteral("frmCompare"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    m_settings.setUp(this, AppSettings::defaultAppName(), true, true);

    m_scroll = new QScrollArea(this);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_content = new QWidget;
    m_scroll->setWidget(m_content);

    m_loadTimer.setSingleShot(true);
    m_loadTimer.setInterval(LoadDelayMs);
    connect(&m_loadTimer, &QTimer::timeout, this, &frmCompare::loadPictures);
    connect(&m_facts, &QFutureWatcherBase::finished, this, &frmCompare::factsRead);
    m_factsTimer.setSingleShot(true);
    m_factsTimer.setInterval(FactsDelayMs);
    connect(&m_factsTimer, &QTimer::timeout, this, &frmCompare::readFacts);

    if (!restoreGeometry(m_settings.ReadValue(GeometryKey, QByteArray()).toByteArray())) {
        const QRect screen = (parent ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
        resize(screen.size() * 0.85);
        move(screen.center() - rect().center());
    }
}

frmCompare::~frmCompare()
{
    // Also when the similar-pictures window goes and takes this one with it.
    m_settings.WriteValue(GeometryKey, saveGeometry());
    m_facts.cancel();
}

void frmCompare::ShowEx(CompareOwner *o_Owner, int o_Group, const QString &o_Picture)
{
    if (!o_Owner)
        return;
    if (!s_window)
        s_window = new frmCompare(o_Owner->compareOwnerWindow());
    s_window->m_owner = o_Owner;
    s_window->setWindowIcon(o_Owner->compareOwnerWindow()->windowIcon());
    s_window->showGroup(o_Group, o_Picture);
    s_window->show();
    s_window->raise();
    s_window->activateWindow();
}

frmCompare *frmCompare::loaded()
{
    return s_window;
}

void frmCompare::unload()
{
    if (s_window)
        s_window->close();
}

void frmCompare::reject()
{
    close();
}

void frmCompare::closeEvent(QCloseEvent *event)
{
    if (s_window == this)
        s_window = nullptr;
    event->accept();
}

void frmCompare::showGroup(int group, const QString &picture)
{
    const int count = m_owner->compareGroupCount();
    if (count < 1)
        return;
    m_group = std::clamp(group, 0, count - 1);
    m_lastTold = false;
    updateTitle();
    m_view = {};
    m_bestWanted = false;
    const QStringList paths = m_owner->compareGroup(m_group);
    rebuildPanes(paths);
    // Space and N act where the user pointed, not on the group's first picture.
    setCurrent(std::max(0, int(paths.indexOf(picture))));
    m_owner->showCompareGroup(m_group);
}

void frmCompare::updateTitle()
{
    QString title = tr("比較 - %1/%2").arg(m_group + 1).arg(m_owner->compareGroupCount());
    if (m_lastTold)
        title += tr(" (最後のグループです)");
    setWindowTitle(title);
}

int frmCompare::groupToCompare(int group, int delta) const
{
    for (const int count = m_owner->compareGroupCount(); group >= 0 && group < count; group += delta) {
        if (m_owner->compareGroup(group).size() >= 2)
            return group;
    }
    return -1;
}

void frmCompare::passOverSingle()
{
    if (!m_owner || m_panes.size() >= 2)
        return;
    // After the last group the one picture left stays, and the title says it is the last.
    if (const int next = groupToCompare(m_group + 1, 1); next >= 0) {
        showGroup(next);
    } else {
        m_lastTold = true;
        updateTitle();
    }
}

void frmCompare::rebuildPanes(const QStringList &paths)
{
    // The pictures of the group before go with their panes: never more than a group's at once.
    qDeleteAll(m_panes);
    m_panes.clear();
    for (const QString &path : paths) {
        auto *pane = new ComparePane(path, &m_view, m_content);
        connect(pane, &ComparePane::pictureReady, this, &frmCompare::pictureDecoded);
        connect(pane, &ComparePane::pressed, this, [this, pane] { setCurrent(int(m_panes.indexOf(pane))); });
        connect(pane, &ComparePane::captionClicked, this, &frmCompare::toggleCurrent);
        connect(pane, &ComparePane::dragged, this,
                [this, pane](QPointF pixels) { panBy(pixels, int(m_panes.indexOf(pane))); });
        connect(pane, &ComparePane::wheeled, this, [this, pane](int steps, QPointF offset) {
            zoomBy(steps, offset, int(m_panes.indexOf(pane)));
        });
        m_panes.append(pane);
    }
    m_current = 0;
    layoutPanes();
    for (ComparePane *pane : std::as_const(m_panes))
        pane->show();
    setCurrent(0);
    followMarks();
    m_facts.cancel();
    m_factsTimer.stop();
    m_read.clear();
    m_factsOf = paths;
    m_factsWanted = true;
    loadPictures();
    readFactsAfterPictures();
    updateFacts();
}

void frmCompare::pictureDecoded()
{
    loadPictures();
    readFactsAfterPictures();
    updateFacts();
}

void frmCompare::readFactsAfterPictures()
{
    // The facts after the pictures, and once the group has stayed a moment: paging on, the
    // reading of a group passed by would slow the next group's pictures.
    if (!m_factsWanted)
        return;
    for (const ComparePane *pane : std::as_const(m_panes)) {
        if (!pane->picture().read)
            return;
    }
    m_factsWanted = false;
    m_factsTimer.start();
}

void frmCompare::readFacts()
{
    m_facts.setFuture(m_factsWork.mapped(m_factsOf, [cache = m_owner->compareFactsCache()](const QString &path) {
        return cache->facts(path);
    }));
}

void frmCompare::layoutPanes()
{
    const QSize viewport = m_scroll->maximumViewportSize();
    CompareLayout layout = compareLayout(viewport, int(m_panes.size()), LeastPane);
    if (layout.contentHeight > viewport.height()) {
        // The scroll bar takes its width from the panes.
        const int bar = m_scroll->verticalScrollBar()->sizeHint().width();
        layout = compareLayout(viewport - QSize(bar, 0), int(m_panes.size()), LeastPane);
    }
    m_content->resize(layout.pane.width() * layout.columns, layout.contentHeight);
    for (int i = 0; i < m_panes.size(); ++i) {
        m_panes[i]->setGeometry((i % layout.columns) * layout.pane.width(), (i / layout.columns) * layout.pane.height(),
                                layout.pane.width(), layout.pane.height());
    }
}

void frmCompare::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    m_scroll->setGeometry(rect());
    layoutPanes();
    m_view.centre = clampCentre(m_view.centre, pictureSizes(), boxSize(), m_view.zoom);
    m_loadTimer.start();
}

void frmCompare::setCurrent(int pane)
{
    if (pane < 0 || pane >= m_panes.size())
        return;
    m_current = pane;
    for (int i = 0; i < m_panes.size(); ++i)
        m_panes[i]->setCurrent(i == pane);
    m_scroll->ensureWidgetVisible(m_panes[pane], 0, 0);
}

bool frmCompare::focusNextPrevChild(bool next)
{
    // Tab and Shift+Tab go from pane to pane.
    if (!m_panes.isEmpty())
        setCurrent((m_current + (next ? 1 : -1) + int(m_panes.size())) % int(m_panes.size()));
    return true;
}

void frmCompare::loadPictures()
{
    // The first picture of a group first, alone: four decodes sharing the cores would all
    // be late.
    if (!m_panes.isEmpty() && !m_panes.first()->picture().read) {
        m_panes.first()->load(m_decodes);
        return;
    }
    for (ComparePane *pane : std::as_const(m_panes))
        pane->load(m_decodes);
}

QList<QSize> frmCompare::pictureSizes() const
{
    QList<QSize> sizes;
    for (const ComparePane *pane : m_panes) {
        if (pane->picture().ok)
            sizes.append(pane->picture().size);
    }
    return sizes;
}

QSizeF frmCompare::boxSize() const
{
    return m_panes.isEmpty() ? QSizeF() : QSizeF(m_panes.first()->box().size());
}

QStringList frmCompare::pictures() const
{
    QStringList paths;
    for (const ComparePane *pane : m_panes)
        paths.append(pane->path());
    return paths;
}

bool frmCompare::isPictureShown(int pane) const
{
    return pane >= 0 && pane < m_panes.size() && m_panes[pane]->picture().ok;
}

QRectF frmCompare::shownRegion(int pane) const
{
    if (!isPictureShown(pane))
        return {};
    return paneRegion(m_panes[pane]->picture().size, boxSize(), m_view).source;
}

void frmCompare::followMarks()
{
    if (!m_owner)
        return;
    for (ComparePane *pane : std::as_const(m_panes))
        pane->setMarked(m_owner->isPictureMarked(pane->path()));
}

void frmCompare::DelComparePics(const QString &o_FileName)
{
    const auto gone = std::find_if(m_panes.begin(), m_panes.end(),
                                   [&](const ComparePane *pane) { return pane->path() == o_FileName; });
    if (gone == m_panes.end())
        return;
    const int index = int(gone - m_panes.begin());
    delete *gone;
    m_panes.erase(gone);
    layoutPanes();
    // The current picture stays current when a pane before it goes.
    setCurrent(std::min(index < m_current ? m_current - 1 : m_current, int(m_panes.size()) - 1));
    updateFacts();
    m_loadTimer.start();
    // Once the deletion that took it has finished: the groups are settled by then.
    if (m_panes.size() < 2)
        QMetaObject::invokeMethod(this, &frmCompare::passOverSingle, Qt::QueuedConnection);
}

bool frmCompare::factsAreRead() const
{
    return m_read.size() == size_t(m_factsOf.size());
}

PictureFacts frmCompare::factsOf(int pane) const
{
    // Read for the group as it was shown; a pane deleted since has no say.
    const qsizetype index = m_factsOf.indexOf(m_panes[pane]->path());
    return index >= 0 && size_t(index) < m_read.size() ? m_read[size_t(index)] : PictureFacts{};
}

void frmCompare::factsRead()
{
    if (m_facts.isCanceled())
        return;
    const QList<PictureFacts> facts = m_facts.future().results();
    m_read.assign(facts.begin(), facts.end());
    updateFacts();
    if (m_bestWanted)
        keepBest();
}

void frmCompare::updateFacts()
{
    const bool read = factsAreRead();
    std::vector<PictureFacts> facts;
    for (int i = 0; i < m_panes.size(); ++i)
        facts.push_back(factsOf(i));
    // Detail as the rule compares it: at the coarsest quantisation of the group.
    std::vector<const PictureFacts *> measured;
    for (const PictureFacts &each : facts)
        measured.push_back(&each);
    const DetailSteps steps = coarsestSteps(measured);
    std::vector<ShownFacts> shown;
    for (int i = 0; i < m_panes.size(); ++i) {
        ShownFacts picture;
        picture.path = m_panes[i]->path();
        if (m_panes[i]->picture().ok)
            picture.size = m_panes[i]->picture().size;
        if (const PictureFacts &known = facts[size_t(i)]; known.readable) {
            picture.size = QSize(known.width, known.height);
            picture.bytes = known.bytes;
            picture.modified = QDateTime::fromMSecsSinceEpoch(known.modified);
            picture.quality = known.quality;
            picture.raw = known.raw;
            picture.primaryQuality = known.primaryQuality;
            picture.detail = detailAtSteps(known, steps);
            picture.taken = known.taken;
            picture.camera = known.camera;
        }
        shown.push_back(picture);
    }
    const std::vector<QList<FactLine>> lines = compareFactLines(shown);
    int best = -1;
    if (read && !m_panes.isEmpty()) {
        QStringList ordered;
        const int keep = bestPlan(&ordered).keep;
        best = keep < 0 ? -1 : paneOf(ordered.at(keep));
    }
    for (int i = 0; i < m_panes.size(); ++i)
        m_panes[i]->setFacts(lines[i], i == best);
}

void frmCompare::setZoom(double zoom, QPointF offset, int pane)
{
    if (pane >= 0 && pane < m_panes.size() && m_panes[pane]->picture().ok)
        m_view = zoomAt(m_view, zoom, offset, m_panes[pane]->picture().size, boxSize());
    else
        m_view.zoom = zoom;
    m_view.centre = clampCentre(m_view.centre, pictureSizes(), boxSize(), m_view.zoom);
    for (ComparePane *each : std::as_const(m_panes))
        each->update();
    m_loadTimer.start();
}

void frmCompare::zoomBy(int steps, QPointF offset, int pane)
{
    setZoom(zoomStep(m_view.zoom, steps, zoomLimits(pictureSizes(), boxSize())), offset, pane);
}

void frmCompare::panBy(QPointF pixels, int pane)
{
    if (pane < 0 || pane >= m_panes.size() || !m_panes[pane]->picture().ok)
        return;
    m_view.centre = clampCentre(panCentre(m_view, pixels, m_panes[pane]->picture().size, boxSize()), pictureSizes(),
                                boxSize(), m_view.zoom);
    for (ComparePane *each : std::as_const(m_panes))
        each->update();
}

void frmCompare::arrow(int key)
{
    const bool across = key == Qt::Key_Left || key == Qt::Key_Right;
    const Qt::Orientation orientation = across ? Qt::Horizontal : Qt::Vertical;
    if (!canPan(pictureSizes(), boxSize(), m_view.zoom, orientation)) {
        // Nothing to pan across: left and right page through the groups.
        if (across)
            stepGroup(key == Qt::Key_Right ? 1 : -1);
        return;
    }
    // The content moves against the key, so the view goes with it.
    const QSizeF box = boxSize();
    const double sign = key == Qt::Key_Right || key == Qt::Key_Down ? -1 : 1;
    const QPointF pixels = across ? QPointF(sign * box.width() * ArrowStep, 0)
                                  : QPointF(0, sign * box.height() * ArrowStep);
    int pane = m_current;
    if (!isPictureShown(pane))
        pane = int(std::find_if(m_panes.begin(), m_panes.end(), [](const ComparePane *p) { return p->picture().ok; })
                   - m_panes.begin());
    panBy(pixels, pane);
}

void frmCompare::toggleCurrent()
{
    if (m_current < 0 || m_current >= m_panes.size() || !m_owner->compareCanChange())
        return;
    QStringList marked;
    for (int i = 0; i < m_panes.size(); ++i) {
        if (m_panes[i]->isMarked() != (i == m_current))
            marked.append(m_panes[i]->path());
    }
    m_owner->markInGroup(m_group, marked);
}

void frmCompare::deleteMarked()
{
    QStringList marked;
    for (const ComparePane *pane : std::as_const(m_panes)) {
        if (pane->isMarked())
            marked.append(pane->path());
    }
    if (!marked.isEmpty() && m_owner->compareCanChange())
        m_owner->deleteMarked(marked);
}

int frmCompare::paneOf(const QString &path) const
{
    const auto found = std::find_if(m_panes.begin(), m_panes.end(),
                                    [&](const ComparePane *pane) { return pane->path() == path; });
    return found == m_panes.end() ? -1 : int(found - m_panes.begin());
}

KeepPlan frmCompare::bestPlan(QStringList *ordered) const
{
    // The group as the grid's rules read it, so that both choose the same picture also once
    // its base has been deleted; only the pictures still shown here.
    QStringList paths;
    std::vector<PictureFacts> facts;
    for (const QString &path : groupPictures({m_owner->comparePictureGroup(m_group)})) {
        if (const int pane = paneOf(path); pane >= 0) {
            paths.append(path);
            facts.push_back(factsOf(pane));
        }
    }
    if (ordered)
        *ordered = paths;
    return planGroup(paths, facts, {BestRule}, ProtectedFolders(m_owner->compareProtectedFolders()));
}

void frmCompare::stepGroup(int delta)
{
    // Groups left with one picture have nothing to compare.
    const int group = groupToCompare(m_group + delta, delta);
    if (group >= 0) {
        showGroup(group);
    } else if (delta > 0 && !m_lastTold) {
        m_lastTold = true;
        updateTitle();
    }
}

void frmCompare::keepBest()
{
    if (!factsAreRead()) {
        m_bestWanted = true; // done when the facts are in
        return;
    }
    m_bestWanted = false;
    if (m_panes.isEmpty() || !m_owner->compareCanChange())
        return;
    QStringList ordered;
    const KeepPlan plan = bestPlan(&ordered);
    QStringList drop;
    for (int index : plan.drop)
        drop.append(ordered.at(index));
    m_owner->markInGroup(m_group, drop);
}

bool frmCompare::event(QEvent *event)
{
    // Its keys are this window's, before any shortcut of the similar-pictures window (its
    // Del and Enter, also active over a window it owns).
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier
            || (key->key() == Qt::Key_B && key->modifiers() == Qt::ControlModifier)) {
            event->accept();
            return true;
        }
    }
    return QDialog::event(event);
}

void frmCompare::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_B && (event->modifiers() & Qt::ControlModifier)) {
        keepBest();
        return;
    }
    switch (key) {
    case Qt::Key_0:
        m_view.centre = {0.5, 0.5};
        setZoom(1.0);
        return;
    case Qt::Key_1:
        setZoom(actualSizeZoom(pictureSizes(), boxSize()));
        return;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomBy(1);
        return;
    case Qt::Key_Minus:
        zoomBy(-1);
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        arrow(key);
        return;
    case Qt::Key_PageDown:
        stepGroup(1);
        return;
    case Qt::Key_PageUp:
        stepGroup(-1);
        return;
    case Qt::Key_Space:
        toggleCurrent();
        return;
    case Qt::Key_Delete:
        deleteMarked();
        return;
    case Qt::Key_N:
        if (m_current >= 0 && m_current < m_panes.size() && m_owner->compareCanChange())
            m_owner->markNotAlikeInGroup(m_group, m_panes[m_current]->path());
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
