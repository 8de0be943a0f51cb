#include "frmLumo.h"

#include "lumoicons.h"
#include "outside/filefind.h"
#include "outside/uilanguage.h"
#include "outside/workarea.h"

#include "catalogue/sigbox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {
// The product's display name. The marker goes first so that the platform does not append
// the application's display name to a title that no longer ends with it.
const QString WindowTitle = QStringLiteral("[*]Lumo");

// Initial client area in twips.
constexpr int ClientWidthTwips = 7245;
constexpr int ClientHeightTwips = 4230;
constexpr int FileCountTwips = 3528;
constexpr int SavePanelTwips = 882;
} // namespace

frmLumo::frmLumo(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmLumo"));
    m_settings.setUp(this, AppSettings::defaultAppName(), true, true);

    createControls();
    readSettings();

    setWindowTitle(WindowTitle);
    sbxJpeg->hide();
    NewJpegList();
    // Only the button's role as the Esc target is wanted, never its face.
    cmdCancel->move(-cmdCancel->width(), 0);

    const int menuHeight = menuBar()->sizeHint().height();
    resize(twipsX(ClientWidthTwips), twipsY(ClientHeightTwips) + menuHeight);
    // Start in the list, so the keys move through the catalogue at once.
    lsvJpeg->setFocus();
    UpdateCommands();
}

frmLumo::~frmLumo()
{
    // Rows deleted with the window tell no one about the selection they leave.
    m_selectionWatcher = nullptr;
    if (lsvJpeg)
        lsvJpeg->selectionModel()->disconnect(this);
}

QString frmLumo::commandLineName(const QString &commandLine)
{
    // A path passed in quotes arrives unquoted: one leading and one trailing quote go.
    QString name = commandLine;
    if (name.startsWith(QLatin1Char('"')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('"')))
        name.chop(1);
    return name;
}

void frmLumo::openCommandLine(const QString &commandLine)
{
    const QString name = commandLineName(commandLine);
    if (!name.isEmpty()) {
        beginFrame(Frame::Plain);
        OpenJpegList(name);
        endFrame(Frame::Plain);
    }
    UpdateCommands();
}

int frmLumo::likeLevel() const
{
    return sldLike->value();
}

QString frmLumo::catalogueName() const
{
    return m_catalogueName;
}

void frmLumo::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    m_iconPresent = LumoIcons::imlJpeg(1);
    m_iconMissing = LumoIcons::imlJpeg(2);

    createMenus();
    createCoolBar();
    createList();
    createStatusBars();

    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(clbLumo);
    layout->addWidget(lsvJpeg, 1);
    layout->addWidget(stbFile);
    layout->addWidget(stbLumo);

    sbxJpeg = new Sigbox(client);
    sbxJpeg->setObjectName(QStringLiteral("sbxJpeg"));

    fndJpeg = new FileFind(this);
    fndJpeg->setObjectName(QStringLiteral("fndJpeg"));
    connect(fndJpeg, &FileFind::FileFound, this,
            [this](const QString &folder, const QString &name, bool &cancel) {
                fndJpegFileFound(folder, name, cancel);
            },
            Qt::DirectConnection);

    cmdCancel = new QPushButton(tr("キャンセル"), client);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setFocusPolicy(Qt::NoFocus);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLumo::cmdCancelClick);
    // A main window has no default cancel button, so Esc is routed to it explicitly; the
    // shortcut works wherever the focus is in the window.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("escape"));
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdCancel, &QPushButton::click);
}

void frmLumo::createCoolBar()
{
    clbLumo = new QWidget(centralWidget());
    clbLumo->setObjectName(QStringLiteral("clbLumo"));
    auto *bands = new QVBoxLayout(clbLumo);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);

    createToolBar();
    bands->addWidget(tldLumo);

    auto *likeBand = new QHBoxLayout;
    likeBand->setContentsMargins(6, 2, 6, 2);
    auto *caption = new QLabel(tr("類似レベル"), clbLumo);
    caption->setObjectName(QStringLiteral("lblLike"));
    sldLike = new QSlider(Qt::Horizontal, clbLumo);
    sldLike->setObjectName(QStringLiteral("sldLike"));
    sldLike->setRange(0, 50);
    sldLike->setSingleStep(1);
    sldLike->setPageStep(5);
    sldLike->setTickPosition(QSlider::TicksBelow);
    sldLike->setTickInterval(5);
    sldLike->installEventFilter(this);
    caption->setBuddy(sldLike);
    // The level as a number: beside the slider, and over it while it moves.
    auto *value = new QLabel(clbLumo);
    value->setObjectName(QStringLiteral("lblLikeValue"));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("00")) + 4);
    const auto showLevel = [this, value](int level) {
        const QString text = QString::number(level);
        value->setText(text);
        sldLike->setToolTip(text);
        if (sldLike->isSliderDown() || sldLike->hasFocus())
            QToolTip::showText(sldLike->mapToGlobal(likeHandleCentre()), text, sldLike);
    };
    connect(sldLike, &QSlider::valueChanged, this, showLevel);
    showLevel(sldLike->value());
    likeBand->addWidget(caption);
    likeBand->addWidget(sldLike, 1);
    likeBand->addWidget(value);
    bands->addLayout(likeBand);
}

QPoint frmLumo::likeHandleCentre() const
{
    QStyleOptionSlider option;
    option.initFrom(sldLike);
    option.orientation = sldLike->orientation();
    option.minimum = sldLike->minimum();
    option.maximum = sldLike->maximum();
    option.sliderPosition = sldLike->sliderPosition();
    option.sliderValue = sldLike->value();
    option.tickPosition = sldLike->tickPosition();
    const QRect handle = sldLike->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, sldLike);
    return QPoint(handle.center().x(), handle.top());
}

void frmLumo::createStatusBars()
{
    auto panel = [](const QString &key, QStatusBar *bar, int width) {
        auto *label = new QLabel(bar);
        label->setObjectName(key);
        if (width > 0)
            label->setFixedWidth(width);
        else
            label->setMinimumWidth(1); // a long path must not widen the window
        bar->addWidget(label, width > 0 ? 0 : 1);
        return label;
    };

    stbFile = new QStatusBar(centralWidget());
    stbFile->setObjectName(QStringLiteral("stbFile"));
    stbFile->setSizeGripEnabled(false);
    m_panelFileName = panel(QStringLiteral("FileName"), stbFile, 0);
    m_panelFileCount = panel(QStringLiteral("FileCount"), stbFile, twipsX(FileCountTwips));

    stbLumo = new QStatusBar(centralWidget());
    stbLumo->setObjectName(QStringLiteral("stbLumo"));
    m_panelInfo = panel(QStringLiteral("Info"), stbLumo, 0);
    // What the last add or optimise changed, beside its status text; as wide as it is, so
    // the status text keeps its room.
    m_panelNote = new QLabel(stbLumo);
    m_panelNote->setObjectName(QStringLiteral("Note"));
    stbLumo->addWidget(m_panelNote);
    m_panelSave = panel(QStringLiteral("Save"), stbLumo, twipsX(SavePanelTwips));
    m_panelSave->setText(tr("保存", "status panel: there are unsaved changes"));
    m_panelSave->setAlignment(Qt::AlignCenter);
}

void frmLumo::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutControls();
}

void frmLumo::layoutControls()
{
    // List and status bars follow the layout; the store control floats in the middle.
    const QWidget *client = centralWidget();
    if (!client || !sbxJpeg)
        return;
    const int left = (client->width() - sbxJpeg->width()) / 2;
    const int top = (client->height() - sbxJpeg->height()) / 2;
    sbxJpeg->move(left, top);
}

void frmLumo::readSettings()
{
    const QString here = QDir::currentPath();
    m_filePath = m_settings.readString(QStringLiteral("FilePath"), here);
    m_jpegPath = m_settings.readString(QStringLiteral("JpegPath"), here);
    // A hand-edited level outside the slider's range ends up at the nearer end.
    sldLike->setValue(m_settings.readInt32(QStringLiteral("Like"), 0));
    m_samCols = m_settings.readInt16(QStringLiteral("SamCols"), 6);
    m_samWidth = m_settings.readInt32(QStringLiteral("SamWidth"), 1200);
    m_samHeight = m_settings.readInt32(QStringLiteral("SamHeight"), 1600);
    m_shareThumbnails = m_settings.readBool(QStringLiteral("ShareThumbnails"), true);
    m_allFormats = m_settings.readBool(QStringLiteral("AllFormats"), false);
    m_language = UiLanguageSetting::normalised(m_settings.readString(UiLanguageSetting::Key, UiLanguageSetting::Auto));
    m_similarRule.turned = m_settings.readBool(QStringLiteral("SearchTurned"), false);
    m_similarRule.grey = m_settings.readBool(QStringLiteral("SearchGrey"), false);
    mnuJ[SearchTurnedItem]->setChecked(m_similarRule.turned);
    mnuJ[SearchGreyItem]->setChecked(m_similarRule.grey);
    m_protectedFolders = m_settings.readStringList(QStringLiteral("ProtectedFolders"));
}

void frmLumo::writeSettings()
{
    m_settings.WriteValue(QStringLiteral("FilePath"), m_filePath);
    m_settings.WriteValue(QStringLiteral("JpegPath"), m_jpegPath);
    m_settings.WriteValue(QStringLiteral("Like"), qint32(sldLike->value()));
    m_settings.WriteValue(QStringLiteral("SamCols"), int(m_samCols));
    m_settings.WriteValue(QStringLiteral("SamWidth"), qint32(m_samWidth));
    m_settings.WriteValue(QStringLiteral("SamHeight"), qint32(m_samHeight));
    m_settings.WriteValue(QStringLiteral("ShareThumbnails"), m_shareThumbnails);
    m_settings.WriteValue(QStringLiteral("AllFormats"), m_allFormats);
    m_settings.WriteValue(UiLanguageSetting::Key, m_language);
    m_settings.WriteValue(QStringLiteral("SearchTurned"), m_similarRule.turned);
    m_settings.WriteValue(QStringLiteral("SearchGrey"), m_similarRule.grey);
    m_settings.WriteValue(QStringLiteral("ProtectedFolders"), m_protectedFolders);
    m_settings.sync();
}

void frmLumo::setProtectedFolders(const QStringList &folders)
{
    // Kept at once: the folders are what keeps pictures from being chosen for deletion.
    m_protectedFolders = folders;
    m_settings.WriteValue(QStringLiteral("ProtectedFolders"), m_protectedFolders);
}

void frmLumo::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // A close asked for while the catalogue is being saved for the close before it.
    if (m_closing) {
        event->ignore();
        return;
    }
    const CloseOrigin origin = m_closeOrigin;
    m_closeOrigin = CloseOrigin::User;

    if (origin == CloseOrigin::User && m_running) {
        const int answer = DialogService::instance().ShowMessage(
            this, tr("実行中です。中止しますか"), DialogService::YesNoInformation);
        if (answer == DialogService::Yes) {
            m_running = false;
            event->ignore();
            return;
        }
    }

    // The quit command runs inside its own frame; any frame beyond that belongs to a
    // command whose loop is still on the stack. Stop it and finish the close once it has
    // returned, so the save question sees the catalogue as the command left it and the
    // list and store are never released under the command's feet.
    const int ownFrames = origin == CloseOrigin::QuitCommand ? 1 : 0;
    if (m_frameDepth > ownFrames) {
        m_running = false;
        fndJpeg->Cancel();
        m_closePending = true;
        event->ignore();
        return;
    }

    const QList<QPair<QString, int>> untold = std::exchange(m_untold, {});
    m_closing = true;
    const bool saved = SaveJpegList(true);
    m_closing = false;
    if (!saved) {
        // The close that stopped a command was abandoned: say what an Esc would have said.
        for (const auto &[text, style] : untold)
            DialogService::instance().ShowMessage(this, text, style);
        event->ignore();
        resumeHandedOver(); // what arrived while the question was shown
        return;
    }
    unloadWindow();
    event->accept();
}

void frmLumo::unloadWindow()
{
    writeSettings();
    unloadOtherWindows();
    m_unloaded = true;
}

void frmLumo::setInfo(const QString &text)
{
    m_panelInfo->setText(text);
}

void frmLumo::setNote(const QString &text)
{
    m_panelNote->setText(text);
}

void frmLumo::tellUser(const QString &text, int style)
{
    if (m_closePending)
        m_untold.append({text, style});
    else
        DialogService::instance().ShowMessage(this, text, style);
}

void frmLumo::setFileCount(const QString &text)
{
    m_panelFileCount->setText(text);
}

void frmLumo::writeFileCountTotal()
{
    setFileCount(tr("%n個のファイル", nullptr, int(rowCount())));
}

int frmLumo::twipsX(int twips) const
{
    return WorkArea::twipsToPixelsX(twips, this);
}

int frmLumo::twipsY(int twips) const
{
    return WorkArea::twipsToPixelsY(twips, this);
}
