#pragma once
// The main window: the catalogue list with its status bars, the menus and tool bar that
// drive the catalogue operations, and the signature store it hosts for its whole life.
//
// The window's code is split by responsibility:
//   frmLumo.cpp            construction, layout, settings, close protocol
//   frmLumo_list.cpp       the catalogue list: rows, sorting, selection, drops (its rows
//                          are a CatalogueListModel)
//   frmLumo_commands.cpp   menus, tool bar, command frames, UpdateCommands, cancel
//   frmLumo_adding.cpp     adding pictures (dialog, folder scan, drop)
//   frmLumo_catalogue.cpp  new, save, the modified indicator
//   frmLumo_open.cpp       open, optimise
//   frmLumo_delete.cpp     delete
//   frmLumo_windows.cpp    the entry points of the other windows

#include "outside/appsettings.h"
#include "outside/dialogservice.h"
#include "outside/workpool.h"

#include "pictures/pictureformats.h"
#include <samowner.h>

#include <QHash>
#include <QSet>
#include <QIcon>
#include <QList>
#include <QMainWindow>

#include <optional>
#include <vector>

class FileFind;
class SignatureFeed;
struct PictureSignature;
class QAction;
class QItemSelection;
class QModelIndex;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QSlider;
class QStatusBar;
class QToolBar;
class QTreeView;
class CatalogueListModel;
class Sigbox;

class frmLumo : public QMainWindow, public SamOwner
{
    Q_OBJECT
public:
    explicit frmLumo(QWidget *parent = nullptr);
    ~frmLumo() override;

    // Opens the catalogue named on the command line; called once the window is on screen.
    void openCommandLine(const QString &commandLine);
    // The catalogue a command line names: one leading and one trailing quote removed.
    static QString commandLineName(const QString &commandLine);
    // A later start's request: the window comes to the front and opens the catalogue (an
    // absolute path; "" for none) as "開く(&O)" does, once no command is running.
    void openHandedOver(const QString &catalogue);

    // Thumbnail settings read by the similar-pictures window when it opens.
    qint16 SamCols() const override { return m_samCols; }
    qint32 SamWidth() const override { return m_samWidth; }
    qint32 SamHeight() const override { return m_samHeight; }
    // Whether the similar-pictures window writes the shared thumbnails it makes.
    bool ShareThumbnails() const override { return m_shareThumbnails; }

    // Selects the row of o_FileName; with o_Multi false it becomes the only selected row.
    void SyncJpegList(const QString &o_FileName, bool o_Multi) override;
    // Removes the selected rows from the list and the store (and the files, on request).
    void DeleteJepg();
    // The same for those selected rows whose keys are given (the similar-pictures window's
    // marked pictures); nothing while a command of this window runs.
    void DeleteJepg(const QStringList &o_Only) override;

    // The list's selection as the similar-pictures window follows it.
    QStringList selectedPaths() const override;
    void watchSelection(SelectionWatcher watcher) override;
    // Selects exactly the rows of these keys; "N個の画像を選択しました" in Info.
    QString selectPictures(const QStringList &paths) override;
    SelectionFinder selectionFinder() const override;
    QString selectPictures(const PreparedSelection &selection) override;
    void showInfo(const QString &text) override { setInfo(text); }
    bool ownerBusy() const override { return commandOnStack(); }
    void holdCommands(bool hold) override;
    QStringList protectedFolders() const override { return m_protectedFolders; }
    void setProtectedFolders(const QStringList &folders) override;

    // What the other windows read from their owner.
    Sigbox *store() const { return sbxJpeg; }
    int likeLevel() const override;
    SimilarRule similarRule() const override { return m_similarRule; }
    QWidget *samOwnerWindow() override { return this; }
    const SignatureTable &samCatalogue() const override;

    // The pool an add computes its signatures in, one thread per core unless set otherwise.
    WorkPool &signaturePool() { return m_signatures; }

    bool isRunning() const { return m_running; }
    bool isModified() const { return m_modified; }
    QString catalogueName() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Frame { Plain, List, Drop };
    // The check items of the "画像" menu.
    static constexpr int SearchTurnedItem = 5;
    static constexpr int SearchGreyItem = 6;
    // "選択した画像に似た画像を探す": shown after "一覧表示", kept last in the item array.
    static constexpr int LikeSelectedItem = 7;
    enum class CloseOrigin { User, QuitCommand, Resumed };

    // frmLumo.cpp
    void createControls();
    void createCoolBar();
    QPoint likeHandleCentre() const; // where the level's tooltip stands while the slider moves
    void createStatusBars();
    void layoutControls();
    void readSettings();
    void writeSettings();
    void unloadWindow();
    void setInfo(const QString &text);
    void setNote(const QString &text);
    void tellUser(const QString &text, int style);
    void setFileCount(const QString &text);
    void writeFileCountTotal();
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    // frmLumo_list.cpp
    // The selected rows, ascending.
    std::vector<int> selectedRowNumbers() const;
    // The rows of these paths become the list's selection, as few ranges as they make; how
    // many rows, and the first of them.
    int selectRows(const QStringList &paths, QModelIndex *first = nullptr);
    // Rows ascending, each once.
    int selectRowNumbers(const std::vector<int> &rows, QModelIndex *first = nullptr);
    // Clears the list's selection serving events between its steps (a command's).
    void clearSelectionInSteps();
    // Tells how many pictures were selected and shows the first of them; the text told.
    QString toldSelected(int count, const QModelIndex &first);
    void createList();
    // Rows are positions in the list, valid until the next sort or removal; -1 is none.
    int findRow(const QString &key) const;
    int addRow(const QString &key, bool present);
    void removeRow(int row);
    void clearRows();
    int rowCount() const;
    QString rowKey(int row) const;
    void fillRowFromDisk(int row);
    void lsvJpegColumnClick(int column);
    void lsvJpegDblClick();
    void lsvJpegItemClick();
    void lsvJpegMouseDown(Qt::MouseButton button);
    void lsvJpegContextMenu(const QPoint &pos);
    void lsvJpegOLEDragDrop(const QMimeData *data);
    void lsvJpegSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    // Files left out because their names are not UTF-8, told in one message.
    void tellUnreadableNames(qsizetype count);

    // frmLumo_commands.cpp
    void createMenus();
    void createToolBar();
    void UpdateCommands();
    void updateLikeSelected();
    void copyCommandStates(const QList<QAction *> &items, const QList<int> &indexes,
                           const QStringList &keys);
    void mnuFClick(int index);
    void mnuLClick(int index);
    void mnuJClick(int index);
    void mnuHClick(int index);
    void tldLumoButtonClick(const QString &key);
    void cmdCancelClick();
    void beginFrame(Frame frame);
    void endFrame(Frame frame);
    bool commandOnStack() const { return m_frameDepth > 0; }
    void runSettingsCommand();

    // frmLumo_adding.cpp
    // False when the store could not hold the picture (memory): it then has no row either.
    bool AddJpegFile(const QString &path, const std::optional<PictureSignature> &picture);
    // "追加完了", and once after an add that went on in a new catalogue file, the note of it.
    QString addedStatus();
    // Adds the picture in turn with the signature computed for it; false when the add
    // must stop before it (`closeStops`: a close is pending; or the program quits).
    bool addNextJpegFile(SignatureFeed &feed, bool closeStops);
    void queueAhead(SignatureFeed &feed, const QStringList &paths, qsizetype &next) const;
    void AddJpegFiles();
    void addFolder();
    void fndJpegFileFound(const QString &folder, const QString &fileName, bool &cancel);
    bool addFolderPicture(SignatureFeed &feed);
    bool tellIfStoreFull();
    void addDroppedFiles(const QStringList &paths);
    // The extension test of the folder add and the drop: JPEG, and with AllFormats the others.
    bool hasPictureExtension(const QString &path) const;
    PictureFormats pictureFormats() const;
    // Once at the start of an add: the formats it takes that cannot be decoded here.
    void tellUnreadableFormats();
    // How many pictures the add took in and how many it found listed already.
    void beginAddCount();
    void showAddCount();
    static QString joinPath(const QString &folder, const QString &name);

    // frmLumo_catalogue.cpp
    void NewJpegList();
    bool SaveJpegList(bool askFirst);
    void setModified(bool modified);
    // The current catalogue name, shown with the number of its files when it has several.
    void setCatalogueName(const QString &name);
    void showCatalogueName();

    // frmLumo_open.cpp
    bool OpenJpegList(QString FileName);
    void runOptimizeCommand();
    void bringToFront();
    void resumeHandedOver();
    bool OptimizeJpegList(); // false: not written, the catalogue stays in memory

    // frmLumo_delete.cpp: the selected rows, or those of them whose keys are in `only`.
    void deleteSelectedRows(const QSet<QString> *only);

    // frmLumo_windows.cpp: the other windows, reached only through these.
    bool viewerVisible() const;
    void showViewer(const QString &path);
    void unloadViewerAndSimilar();
    bool similarVisible() const;
    void delSamPics(const QStringList &paths);
    void showSimilar(int mode);
    void showSimilarToSelected();
    bool showSettingsDialog(qint16 &samCols, qint32 &samWidth, qint32 &samHeight, bool &allFormats,
                            QString &language);
    void unloadOtherWindows();
    void showAbout();

    // Controls, named as the rest of the program knows them.
    QWidget *clbLumo = nullptr;
    QToolBar *tldLumo = nullptr;
    QSlider *sldLike = nullptr;
    QTreeView *lsvJpeg = nullptr;
    CatalogueListModel *m_list = nullptr; // the rows of lsvJpeg
    QStatusBar *stbFile = nullptr;
    QStatusBar *stbLumo = nullptr;
    Sigbox *sbxJpeg = nullptr;
    FileFind *fndJpeg = nullptr;
    CommonDialog dlgLumo;
    QPushButton *cmdCancel = nullptr;
    QMenu *mnuFile = nullptr;
    QMenu *mnuList = nullptr;
    QMenu *mnuJpeg = nullptr;
    QMenu *mnuHelp = nullptr;
    QList<QAction *> mnuF;
    QList<QAction *> mnuL;
    QList<QAction *> mnuJ;
    QList<QAction *> mnuH;
    QIcon m_iconPresent; // imlJpeg image 1
    QIcon m_iconMissing; // imlJpeg image 2

    // State kept besides the controls.
    AppSettings m_settings;
    QHash<QString, QAction *> m_buttons; // the nine tool-bar buttons by key
    QLabel *m_panelFileCount = nullptr;
    QLabel *m_panelFileName = nullptr;
    QLabel *m_panelInfo = nullptr;
    QLabel *m_panelNote = nullptr;
    QLabel *m_panelSave = nullptr;
    bool m_running = false;
    QString m_filePath; // catalogue folder
    QString m_jpegPath; // picture folder
    qint16 m_samCols = 6;
    qint32 m_samWidth = 1200;
    qint32 m_samHeight = 1600;
    bool m_shareThumbnails = true;
    bool m_allFormats = false; // the adds take HEIC, AVIF, PNG, WebP, TIFF and camera RAW too
    QString m_language;        // the language setting, used from the next start
    SimilarRule m_similarRule; // the "画像" menu's search options
    QStringList m_protectedFolders;
    bool m_held = false; // the similar-pictures window holds the commands
    SelectionWatcher m_selectionWatcher;

    bool m_modified = false;
    bool m_catalogueUnread = false; // the current catalogue name is a file that failed to load
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    // The adds' signatures. Not Qt's global pool: Qt's painting splits large fills into
    // tasks there and waits for them, and behind a queue of decodes the window would stop
    // repainting.
    WorkPool m_signatures;
    SignatureFeed *m_folderFeed = nullptr;     // the folder add's pictures while it scans
    bool m_storeFull = false;                  // the running add met a store that takes no more
    int m_partsBeforeAdd = 1;                  // the store's catalogue files when the add began
    QString m_catalogueName;                   // the first file of the catalogue in use
    int m_addedNew = 0;                        // the running add: rows made
    int m_addedKnown = 0;                      // the running add: rows that were there already
    int m_optimizeDropped = 0;                 // the last optimise: entries dropped

    // Close protocol: a close that arrives while a command's loop is on the stack stops
    // the command and is finished once every command frame has returned. "最適化" chosen
    // then is run the same way. Messages of a command stopped by a close wait for the
    // close's outcome: shown only when the window stays open.
    int m_frameDepth = 0;
    bool m_closePending = false;
    bool m_optimizePending = false;
    // A later start's catalogue waits the same way, and also while the close asks its
    // question; a newer request replaces it.
    std::optional<QString> m_handedOver;
    bool m_closing = false;
    QList<QPair<QString, int>> m_untold;
    CloseOrigin m_closeOrigin = CloseOrigin::User;
    bool m_unloaded = false;
};
