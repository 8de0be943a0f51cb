#include "frmView.h"

#include "files/regularfile.h"
#include "fixeddialog.h"
#include "jpegcheck.h"
#include "picturebox.h"
#include "outside/windowtitle.h"
#include "outside/workarea.h"

#include "files/folderscan.h"
#include "pictures/pictureformats.h"
#include "pictures/uprightpicture.h"

#include <QFontMetrics>
#include <QMutex>
#include <QPointer>
#include <QPushButton>

namespace {
QPointer<frmView> s_viewer;

// picView's size until a first picture has been shown.
constexpr int DesignWidthTwips = 1590;
constexpr int DesignHeightTwips = 915;

// Files are checked one at a time, whichever viewer asks (a viewer unloaded may still be
// checking), so two quick views of one cut-off file cannot both repair it.
QMutex s_checking;
} // namespace

frmView::frmView(QWidget *o_Owner)
    : QDialog(o_Owner, FixedDialogFlags), m_work(1)
{
    setObjectName(QStringLiteral("frmView"));
    // The user goes on working in the owner's list or grid while the viewer follows it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_settings.setUp(this, AppSettings::defaultAppName(), true, false);

    picView = new PictureBox(this);
    picView->setObjectName(QStringLiteral("picView"));
    picView->setGeometry(0, 0, WorkArea::twipsToPixelsX(DesignWidthTwips, this),
                         WorkArea::twipsToPixelsY(DesignHeightTwips, this));

    // Only its role as the target of Esc is wanted, never its face.
    cmdCancel = new QPushButton(tr("キャンセル"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    cmdCancel->setFocusPolicy(Qt::NoFocus);
    cmdCancel->adjustSize();
    cmdCancel->move(-cmdCancel->width(), 0);
    connect(cmdCancel, &QPushButton::clicked, this, &frmView::unloadNow);

    setFixedSize(picView->size());
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &frmView::pictureReady);
    m_firstShowPending = true;
}

frmView::~frmView()
{
    // Whatever the worker still holds for us is superseded.
    ++*m_latest;
}

void frmView::ShowEx(QWidget *o_Owner, const QString &o_FileName)
{
    if (!s_viewer)
        s_viewer = new frmView(o_Owner);
    s_viewer->showFile(o_Owner, o_FileName);
}

frmView *frmView::loaded()
{
    return s_viewer.data();
}

bool frmView::isShown()
{
    return s_viewer && (s_viewer->isVisible() || s_viewer->m_firstShowPending);
}

void frmView::unload()
{
    if (s_viewer)
        s_viewer->unloadNow();
}

void frmView::showFile(QWidget *o_Owner, const QString &o_FileName)
{
    if (parentWidget() != o_Owner) {
        // Owned by the latest caller: it stays in front of that window and goes with it.
        // Changing the owner hides the window; it is shown again below.
        setParent(o_Owner, windowFlags());
    }
    setWindowIcon(o_Owner ? o_Owner->windowIcon() : QIcon());
    setWindowTitle(literalWindowTitle(o_FileName));

    const quint64 request = ++*m_latest;
    m_busy = true;
    m_watcher.setFuture(
        m_work.run(&frmView::loadPicture, o_FileName, request, std::shared_ptr<const std::atomic<quint64>>(m_latest)));

    // A fresh viewer appears with its first picture, at that picture's size.
    if (!m_firstShowPending) {
        QDialog::show();
        raise();
        cmdCancel->move(-cmdCancel->width(), 0);
    }
}

frmView::Picture frmView::loadPicture(const QString &path, quint64 request,
                                      std::shared_ptr<const std::atomic<quint64>> latest)
{
    Picture picture;
    picture.request = request;
    // A file the user has already clicked past is neither checked nor decoded.
    if (latest->load() != request)
        return picture;
    // A JPEG is checked and a cut-off one mended; the other formats an add takes are read as
    // they are, told by their content. Anything else is not shown, as before.
    bool jpeg = false;
    {
        QMutexLocker checking(&s_checking);
        jpeg = CheckJpegFile(path);
    }
    if (latest->load() != request || !isPictureFile(path)
        || (!jpeg && (hasJpegExtension(path) || !hasPictureExtension(path, PictureFormats::All))))
        return picture;
    // Upright, as the camera was held, and at its own size unless that is beyond what Qt
    // decodes: then smaller, to fit, the limit being the whole program's.
    picture.image = decodeUprightPicture(path, [](QSize) { return 1.0; }).image;
    picture.ok = !picture.image.isNull();
    return picture;
}

void frmView::pictureReady()
{
    if (s_viewer != this || !m_watcher.future().isFinished())
        return;
    const Picture picture = m_watcher.result();
    if (picture.request != m_latest->load())
        return; // a later ShowEx is on its way
    m_busy = false;

    if (picture.ok) {
        picView->setPicture(picture.image);
        picView->move(0, 0);
        // The inner area is the picture, whatever the screen's size.
        setFixedSize(picView->size());
    } else {
        showFailure();
    }
    if (m_firstShowPending) {
        m_firstShowPending = false;
        QDialog::show();
    }
    cmdCancel->move(-cmdCancel->width(), 0);
}

void frmView::showFailure()
{
    // The window keeps its size; the text stands in the middle of the picture box.
    picView->clear();
    const QFontMetrics metrics = picView->fontMetrics();
    const QString unviewable = tr("表示不可");
    const int x = (picView->width() - metrics.horizontalAdvance(unviewable)) / 2;
    const int y = (picView->height() - metrics.height()) / 2;
    picView->printText(unviewable, QColor(255, 0, 0), QPoint(x, y));
}

void frmView::reject()
{
    // Esc and the close box both come here; Esc presses the cancel button.
    cmdCancel->click();
}

void frmView::unloadNow()
{
    if (s_viewer == this)
        s_viewer = nullptr;
    ++*m_latest;
    m_busy = false;
    m_firstShowPending = false;
    hide();
    deleteLater();
}
