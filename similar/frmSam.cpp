#include "frmSam.h"

#include "frmCompare.h"
#include "outside/dialogservice.h"
#include "outside/windowtitle.h"
#include "outside/workarea.h"
#include "samcomparison.h"
#include "samgrid.h"
#include "samowner.h"
#include "thumbnailcache.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QSlider>

namespace {
QPointer<frmSam> s_loaded;

// A fixed dialog border, no minimise or maximise button.
constexpr Qt::WindowFlags WindowFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                                        | Qt::MSWindowsFixedSizeDialogHint;
} // namespace

frmSam::frmSam(QWidget *parent)
    : QMainWindow(parent, WindowFlags)
{
    setObjectName(QStringLiteral("frmSam"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    picList = new SamGrid(client);
    picList->installEventFilter(this);
    connect(picList, &SamGrid::areaHeightChanged, this, &frmSam::updateScroll);
    connect(picList, &SamGrid::marksChanged, this, &frmSam::updateMenu);
    connect(picList, &SamGrid::selectionFollowed, this, &frmSam::marksFollowed);

    lblTitle = new QLabel(picList);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setAutoFillBackground(true);
    QPalette highlight = lblTitle->palette();
    highlight.setColor(QPalette::Window, highlight.color(QPalette::Active, QPalette::Highlight));
    highlight.setColor(QPalette::WindowText, highlight.color(QPalette::Active, QPalette::HighlightedText));
    lblTitle->setPalette(highlight);
    lblTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Presses go through to the grid below it.
    lblTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblTitle->hide();

    sldList = new QSlider(Qt::Vertical, client);
    sldList->setObjectName(QStringLiteral("sldList"));
    sldList->setTickPosition(QSlider::NoTicks);
    // The first row at the top: the smallest value up, Down and PageDown go further down.
    sldList->setInvertedAppearance(true);
    sldList->setInvertedControls(true);
    sldList->setEnabled(false);
    connect(sldList, &QSlider::valueChanged, this, &frmSam::sldListChange);

    cmdCancel = new QPushButton(tr("キャンセル"), client);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setFocusPolicy(Qt::NoFocus);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSam::cmdCancelClick);
    // A main window has no default cancel button: Esc presses it wherever the focus is.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdCancel, &QPushButton::click);

    timLike = new QTimer(this);
    timLike->setObjectName(QStringLiteral("timLike"));
    timLike->setInterval(100);
    connect(timLike, &QTimer::timeout, this, &frmSam::timLikeTimer);
    timList = new QTimer(this);
    timList->setObjectName(QStringLiteral("timList"));
    timList->setInterval(100);
    connect(timList, &QTimer::timeout, this, &frmSam::timListTimer);

    // The window's own status line: the main window's Info panel lies behind it.
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(lblStatus, 1);

    createMenu();
    createCompareItem();
    createSelectMenu();
    connect(&m_facts, &QFutureWatcherBase::finished, this, &frmSam::factsRead);
    connect(&m_plan, &QFutureWatcherBase::finished, this, &frmSam::planMade);

    m_comparison = new SamComparison(this);
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &frmSam::step);
    connect(m_comparison, &SamComparison::rowsReady, &m_stepTimer, qOverload<>(&QTimer::start));
    connect(&m_chosenSearch, &QFutureWatcherBase::finished, &m_stepTimer, qOverload<>(&QTimer::start));
    connect(&m_dropRead, &QFutureWatcherBase::finished, this, &frmSam::dropRead);
    setAcceptDrops(true);

    setTitle(QString());
}

frmSam::~frmSam()
{
    setBusy(false);
}

void frmSam::ShowEx(SamOwner *o_Owner, int o_Mode)
{
    if (!o_Owner || (o_Mode != 0 && o_Mode != 1))
        return;
    if (!s_loaded)
        s_loaded = new frmSam(o_Owner->samOwnerWindow());
    s_loaded->open(o_Owner, o_Mode);
}

void frmSam::ShowLike(SamOwner *o_Owner, const QStringList &o_Paths)
{
    if (!o_Owner)
        return;
    if (!s_loaded)
        s_loaded = new frmSam(o_Owner->samOwnerWindow());
    s_loaded->openChosen(o_Owner, {o_Paths, {}, {}});
}

frmSam *frmSam::loaded()
{
    return s_loaded;
}

bool frmSam::isShown()
{
    return s_loaded && s_loaded->isVisible();
}

void frmSam::unload()
{
    if (frmSam *window = s_loaded) {
        window->m_unloading = true;
        window->close();
    }
}

const QStringList &frmSam::placement() const
{
    return picList->placement();
}

void frmSam::open(SamOwner *owner, int mode)
{
    // A run is modal: nothing else can ask for one before it has ended.
    if (isRunning() || m_reading)
        return;
    m_owner = owner;
    // A drop still being read is overtaken by the new run.
    m_dropping = false;
    frmCompare::unload(); // its groups are gone with the new run
    // The marks follow the owner's list, whatever changes its selection.
    owner->watchSelection([window = QPointer<frmSam>(this)](const QStringList &selected,
                                                             const QStringList &deselected) {
        if (window) {
            window->picList->changeSelection(selected, deselected);
            // What a rule selected no longer stands once the selection has changed since;
            // the rule's own selection comes before its note.
            window->lblStatus->clear();
        }
        if (frmCompare *compare = frmCompare::loaded())
            compare->followMarks();
    });
    picList->setSelection(owner->selectedPaths());
    QWidget *ownerWindow = owner->samOwnerWindow();
    if (parentWidget() != ownerWindow)
        setParent(ownerWindow, WindowFlags);
    setWindowIcon(ownerWindow->windowIcon());

    m_geometry = SamGeometry::fromSettings(owner->SamCols(), owner->SamWidth(), owner->SamHeight());
    picList->setGeometryTwips(m_geometry);
    picList->thumbnails().setShareThumbnails(owner->ShareThumbnails());
    layoutWindow();
    m_stop = false;
    cmdCancel->move(-cmdCancel->width(), 0);
    m_state = State::WaitingForTimer;
    updateMenu();
    (mode == 0 ? timList : timLike)->start();

    hide();
    setWindowModality(Qt::ApplicationModal);
    placeWindow();
    show();
    raise();
    activateWindow();

    // Wait as a modal dialog does, in a local event loop, until the run has ended.
    QEventLoop loop;
    m_loop = &loop;
    const QPointer<frmSam> self(this);
    loop.exec(QEventLoop::DialogExec);
    if (self)
        m_loop = nullptr;
}

int frmSam::toPixelsX(int twips) const
{
    return WorkArea::twipsToPixelsX(twips, this);
}

int frmSam::toPixelsY(int twips) const
{
    return WorkArea::twipsToPixelsY(twips, this);
}

void frmSam::layoutWindow()
{
    // Exactly wide enough for the picture area and the slider side by side, and as tall as
    // the usable desktop area, frame included.
    const int pictureWidth = toPixelsX(m_geometry.areaWidth());
    const int sliderWidth = sldList->sizeHint().width();
    // The frame is known once the window has been shown; before, the owner's is the best guess.
    int frameHeight = frameGeometry().height() - geometry().height();
    if (frameHeight <= 0 && parentWidget())
        frameHeight = parentWidget()->frameGeometry().height() - parentWidget()->geometry().height();
    const int menuHeight = menuBar()->sizeHint().height();
    const int statusHeight = statusBar()->sizeHint().height();
    const int clientHeight = qMax(toPixelsY(WorkArea::Height()) - frameHeight - menuHeight - statusHeight, 1);
    setFixedSize(pictureWidth + sliderWidth, menuHeight + clientHeight + statusHeight);
    centralWidget()->resize(pictureWidth + sliderWidth, clientHeight);

    picList->setGeometry(0, 0, pictureWidth, clientHeight);
    sldList->setGeometry(pictureWidth, 0, sliderWidth, clientHeight);
    picList->setAreaTop(0);
    picList->setAreaHeight(m_geometry.height);
    updateScroll();
}

void frmSam::placeWindow()
{
    move(toPixelsX(WorkArea::Left()), toPixelsY(WorkArea::Top()));
}

void frmSam::updateScroll()
{
    const int rowHeight = m_geometry.rowHeight();
    const int clientHeight = WorkArea::pixelsToTwipsY(picList->height(), this);
    const SamSliderRange range = samSliderRange(picList->areaHeight(), clientHeight, rowHeight);
    if (range.enabled) {
        sldList->setEnabled(true);
        sldList->setRange(range.minimum, range.maximum);
        sldList->setSingleStep(1);
        sldList->setPageStep(range.pageStep);
        sldList->setFocus();
    } else {
        sldList->setEnabled(false);
        // As low as the range allows (0, or 1 once a tall grid has set the minimum), so the
        // value always matches the first row at the top.
        sldList->setValue(0);
        picList->setAreaTop(0);
    }
}

void frmSam::sldListChange(int value)
{
    picList->setAreaTop(-(value - 1) * m_geometry.rowHeight());
}

void frmSam::setTitle(const QString &title)
{
    m_title = title;
    setWindowTitle(literalWindowTitle(title));
    updateMenu();
}

void frmSam::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

bool frmSam::askStop()
{
    // Never a busy pointer over a question.
    const bool wasBusy = m_busy;
    setBusy(false);
    const QPointer<frmSam> self(this);
    const int answer = DialogService::instance().ShowMessage(this, tr("中止しますか？"),
                                                             DialogService::YesNoQuestion);
    if (self && wasBusy && m_state == State::Running)
        setBusy(true);
    return answer == DialogService::Yes;
}

void frmSam::cmdCancelClick()
{
    // The run waits while the question is open, as it would for any modal question.
    m_paused = true;
    const QPointer<frmSam> self(this);
    const bool yes = askStop();
    if (!self)
        return;
    m_paused = false;
    if (yes)
        m_stop = true;
    if (m_state == State::Running)
        m_stepTimer.start();
}

bool frmSam::showingResults() const
{
    return m_state == State::ShowingResults && m_stop && !m_reading;
}

void frmSam::endRun()
{
    m_comparison->cancel();
    endChosen();
    m_stepTimer.stop();
    m_names.clear();
    m_baseOpen = false;
    setTitle(QString());
    setBusy(false);
    m_stop = true;
    m_state = State::ShowingResults;
    m_shown = m_run;
    updateMenu();
    // Modality changes only while the window is hidden.
    hide();
    setWindowModality(Qt::NonModal);
    placeWindow();
    show();
    if (m_loop)
        m_loop->quit();
}

void frmSam::abandonRun()
{
    if (m_reading) {
        // The pool's reads end on their own; their results are not wanted.
        m_facts.cancel();
        m_plan.cancel();
        endReading();
    }
    timLike->stop();
    timList->stop();
    m_comparison->cancel();
    endChosen();
    m_stepTimer.stop();
    m_names.clear();
    m_baseOpen = false;
    setBusy(false);
    m_stop = true;
    m_state = State::ShowingResults;
    if (m_loop)
        m_loop->quit();
}

void frmSam::closeEvent(QCloseEvent *event)
{
    // The user's close while a run proceeds is a stop request; with the stop flag already
    // set the window closes, ending the run.
    if (!m_unloading && !m_stop) {
        m_stop = true;
        event->ignore();
        if (m_state == State::Running)
            m_stepTimer.start();
        return;
    }
    abandonRun();
    if (m_owner)
        m_owner->watchSelection({});
    if (s_loaded == this)
        s_loaded = nullptr;
    event->accept();
}
