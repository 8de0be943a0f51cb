#pragma once
// The similar-pictures window: a grid of thumbnails filled by one of two runs, the list run
// (every catalogue entry in order) or the comparison run (the groups of look-alike
// pictures). It is modal while a run goes on and stays open afterwards as an ordinary owned
// window, where the user points at, selects, views and deletes pictures.
//
// The window's code is split by responsibility:
//   frmSam.cpp          loading, ShowEx, layout and scrolling, the run frame, stop and close
//   frmSam_runs.cpp     the list run and the comparison run, in time slices
//   frmSam_pointer.cpp  HitSamPic, presses and double clicks, the "ファイル" menu, DelSamPics
//   frmSam_rules.cpp    the "選択" menu: the keep rules over the groups, protected folders
//   frmSam_notalike.cpp marking pictures not alike, the review of the pairs marked
//   frmSam_compare.cpp  "比較": the compare window on the pressed picture's group
//   frmSam_chosen.cpp   the comparison run around chosen pictures, and pictures dropped on it

#include "compareowner.h"
#include "samgeometry.h"
#include "samowner.h"

#include "outside/workpool.h"
#include "pictures/factsstore.h"
#include "pictures/picturesignature.h"
#include "search/chosengrouping.h"
#include "search/keeprules.h"

#include <QFutureWatcher>
#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QEventLoop;
class QLabel;
class QMenu;
class QMouseEvent;
class QPushButton;
class QSlider;
class SamComparison;
class SamGrid;

class frmSam : public QMainWindow, private CompareOwner
{
    Q_OBJECT
public:
    // Opens the window, loading it on first use, owned by o_Owner's window, and runs in it:
    // o_Mode 0 the list run, 1 the comparison run. Returns when the run has ended or has
    // been stopped; the window then stays open without modality.
    static void ShowEx(SamOwner *o_Owner, int o_Mode);
    // The same as the comparison run, around chosen pictures only: those of o_Paths that are
    // entries of the catalogue are the bases, in catalogue order, and every entry of the
    // catalogue is a candidate, before a base as well as after it.
    static void ShowLike(SamOwner *o_Owner, const QStringList &o_Paths);
    // The loaded window, or null.
    static frmSam *loaded();
    // Loaded and visible.
    static bool isShown();
    // Closes and unloads the window, ending a run that goes on.
    static void unload();

    // Blanks the first cell that shows o_FileName (exact, case-sensitive), if any.
    void DelSamPics(const QString &o_FileName);
    // The same for each of them.
    void DelSamPics(const QStringList &o_FileNames);

    // The placement list: the full path of the picture in each cell, "" for an empty cell.
    const QStringList &placement() const;
    // From ShowEx until the run has ended (or been stopped).
    bool isRunning() const { return m_state != State::ShowingResults; }
    // A rule reads the pictures of the groups.
    bool isApplyingRule() const { return m_reading; }
    // The groups of the comparison run shown (none after a list run), as the run found
    // them: each base and its members in catalogue order. A deleted picture has left its
    // group (a deleted base leaves ""), so a group may be empty.
    const std::vector<PictureGroup> &groups() const { return m_groups; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Picture files dropped on the window once it shows results: their look-alikes in the
    // catalogue, without adding them.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class State { WaitingForTimer, Running, ShowingResults };
    enum class Next { Yield, Wait, End };

    explicit frmSam(QWidget *parent);
    ~frmSam() override;

    // frmSam.cpp
    void open(SamOwner *owner, int mode);
    void layoutWindow();
    void placeWindow();
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;
    void updateScroll();
    void sldListChange(int value);
    void setTitle(const QString &title);
    void setBusy(bool busy);
    bool askStop();
    void cmdCancelClick();
    bool showingResults() const;
    void endRun();
    void abandonRun();

    // frmSam_runs.cpp
    void timListTimer();
    void timLikeTimer();
    void beginRun(SamRun run);
    void step();
    Next listSlice();
    Next comparisonSlice();
    // What both comparison runs do between and within groups.
    bool stopAnsweredYes(); // a stop request, asked: true when the run ends
    void placeMember(const QString &member, const SimilarMatch &match);
    void placeBase(const QString &base);

    // frmSam_pointer.cpp
    void createMenu();
    // False when (x, y) lies outside the pictures: right of the last column or below the last row.
    bool HitSamPic(int x, int y, int mode);
    void setPicListToolTip(const QString &text);
    void picListMouseDown(QMouseEvent *event);
    void picListDblClick();
    void updateMenu();
    void mnuFClick(int index);

    // frmSam_rules.cpp
    void createSelectMenu();
    bool rulesAvailable() const;
    void mnuSClick(int index);
    void applyRule(KeepRule rule);
    void factsRead();
    void planMade();
    void marksFollowed();
    void endReading();
    void editProtectedFolders();

    // frmSam_notalike.cpp
    void createNotAlikeMenu();
    void updateNotAlikeMenu();
    // The entries of the table never to be grouped together; null for none.
    std::shared_ptr<const SimilarApart> notAlikeApart(const SignatureTable &table);
    // The cell of the selected picture when it is in a group, else -1.
    int selectedGroupCell() const;
    void markNotAlike(bool wholeGroup);
    void markNotAlikeAt(int pressed, bool wholeGroup);
    void showNotAlikePairs();
    // frmSam_compare.cpp
    void createCompareItem();
    bool compareAvailable() const;
    int pressedGroup() const;
    void mnuCompareClick();
    QWidget *compareOwnerWindow() override { return this; }
    int compareGroupCount() const override;
    QStringList compareGroup(int group) const override;
    PictureGroup comparePictureGroup(int group) const override;
    void showCompareGroup(int group) override;
    bool isPictureMarked(const QString &path) const override;
    void markInGroup(int group, const QStringList &paths) override;
    void deleteMarked(const QStringList &paths) override;
    void markNotAlikeInGroup(int group, const QString &path) override;
    QStringList compareProtectedFolders() const override;
    std::shared_ptr<PictureFactsCache> compareFactsCache() const override { return m_factsCache; }
    bool compareCanChange() const override;

    // frmSam_chosen.cpp
    struct Chosen
    {
        QStringList paths;               // entries of the catalogue, by name
        QStringList files;               // pictures outside it ...
        std::vector<Signature> pictures; // ... and their signatures
    };
    void openChosen(SamOwner *owner, Chosen chosen);
    void startChosen(const SignatureTable &table, std::shared_ptr<const SimilarApart> apart);
    Next chosenSlice();
    void endChosen();
    QString chosenName(int base) const;
    bool acceptsDrop() const;
    void dropFiles(const QStringList &files);
    void dropRead();

    // Controls, named as the rest of the program knows them.
    SamGrid *picList = nullptr;
    QLabel *lblTitle = nullptr;
    QSlider *sldList = nullptr;
    QPushButton *cmdCancel = nullptr;
    QTimer *timLike = nullptr;
    QTimer *timList = nullptr;
    QMenu *mnuFile = nullptr;
    QList<QAction *> mnuF;
    QMenu *mnuSelect = nullptr;
    QList<QAction *> mnuS;
    QAction *mnuCompare = nullptr;
    QLabel *lblStatus = nullptr; // what the last rule selected, under the grid, until the selection changes

    // Read when the window is opened.
    SamOwner *m_owner = nullptr;
    SamGeometry m_geometry;

    State m_state = State::ShowingResults;
    bool m_stop = true;      // the stop flag
    bool m_unloading = false; // a close ordered by the program: never cancelled
    QEventLoop *m_loop = nullptr; // the pending ShowEx waits in it
    QString m_title;          // the window title: progress during a run, then the selection
    bool m_busy = false;

    // The run going on: the catalogue's names as it started, and where it stands.
    SamRun m_run = SamRun::List;
    QStringList m_names;
    int m_next = 0;           // list run: the next entry to place
    QString m_progress;       // the title the run shows when it next lets events through
    SimilarRule m_searchRule; // comparison run: what it looks for, read as it starts
    QHash<int, SimilarMatch> m_matches; // by cell: members that did not match plainly
    SamComparison *m_comparison = nullptr;
    bool m_baseOpen = false;  // comparison run: a base's members are being placed
    size_t m_member = 0;
    bool m_found = false;
    QTimer m_stepTimer;
    bool m_inStep = false;
    bool m_paused = false;    // the Cancel button's question is open
    std::vector<PictureGroup> m_groups; // comparison run: the groups placed so far

    // The comparison run around chosen pictures: the bases of the next run, then the
    // search's groups as they are placed one after the other.
    std::optional<Chosen> m_chosenNext;
    bool m_chosenRun = false;
    QStringList m_chosenFiles;      // the pictures outside the catalogue, by base - count
    QHash<int, int> m_chosenNumber; // each base's place among the bases, for the title
    int m_chosenCount = 0;
    bool m_chosenReady = false;
    std::vector<SimilarGroup> m_chosenGroups;
    size_t m_chosenAt = 0;
    QFutureWatcher<std::vector<SimilarGroup>> m_chosenSearch;
    // A drop: the dropped entries of the catalogue while the others' signatures are read.
    bool m_dropping = false;
    QStringList m_dropEntries;
    QStringList m_dropPictures;
    QFutureWatcher<std::optional<PictureSignature>> m_dropRead;
    WorkPool m_chosenWork; // the search and the drop's reading

    // The run whose results are shown, and the rule reading the groups' pictures.
    SamRun m_shown = SamRun::List;
    bool m_reading = false;
    bool m_ruleMarking = false; // the rule's selection is made; the grid still follows it
    std::vector<PictureGroup> m_ruleGroups;
    KeepRule m_rule = KeepRule::Pixels;
    QFutureWatcher<PictureFacts> m_facts;
    // The pictures the rule drops and their rows in the list, planned off this thread.
    QFutureWatcher<SamOwner::PreparedSelection> m_plan;
    WorkPool m_work; // the rules' reading of the facts and their planning
    // Shared with the reading threads, which may outlive the window.
    std::shared_ptr<PictureFactsCache> m_factsCache = std::make_shared<PictureFactsCache>(FactsStore::user());
};
