#pragma once
// What the similar-pictures window needs of the window that opens it (the main window):
// the grid settings, the catalogue, the similarity level, the list's selection, and the
// calls back into it. Only full paths travel between the windows.

#include "search/similargrouping.h"
#include "entries/signaturetable.h"

#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <vector>

class QString;
class QWidget;

class SamOwner
{
public:
    // The owner as a window: the similar-pictures window's parent, icon and viewer owner.
    virtual QWidget *samOwnerWindow() = 0;

    // Thumbnail settings in twips (columns, cell width, cell picture height).
    virtual qint16 SamCols() const = 0;
    virtual qint32 SamWidth() const = 0;
    virtual qint32 SamHeight() const = 0;
    // Whether the thumbnails the window decodes are also written as shared thumbnails.
    virtual bool ShareThumbnails() const = 0;

    // The catalogue the runs read (the store's table), and the similarity level 0..50.
    virtual const SignatureTable &samCatalogue() const = 0;
    virtual int likeLevel() const = 0;
    // What the comparison run finds beyond the plain rule: turned and mirrored copies,
    // copies that differ in colour.
    virtual SimilarRule similarRule() const = 0;

    // Selects the picture in the owner's list (added to the selection when o_Multi).
    virtual void SyncJpegList(const QString &o_FileName, bool o_Multi) = 0;
    // Deletes those of the pictures selected in the owner's list whose paths are given,
    // asking first as the owner's own delete does.
    virtual void DeleteJepg(const QStringList &o_Only) = 0;

    // The paths of the rows selected in the owner's list now, in no particular order.
    virtual QStringList selectedPaths() const = 0;
    // Called with the paths that joined and those that left the list's selection whenever
    // it changes, however it changes. Replaces the watcher before; an empty one stops the calls.
    using SelectionWatcher = std::function<void(const QStringList &selected, const QStringList &deselected)>;
    virtual void watchSelection(SelectionWatcher watcher) = 0;
    // Makes exactly these pictures the list's selection and tells the user how many; the
    // text it told.
    virtual QString selectPictures(const QStringList &paths) = 0;

    // A selection whose rows were looked up away from the window's thread: a rule selects a
    // tenth of a million pictures, and finding their rows kept input waiting. `version` is
    // the list's as the rows were found; a list changed since is looked up again by `paths`.
    struct PreparedSelection {
        QStringList paths;
        std::vector<int> rows; // ascending, each once
        quint64 version = 0;
    };
    // Made on the window's thread; any thread may then call it, any number of times.
    using SelectionFinder = std::function<PreparedSelection(const QStringList &paths)>;
    // An owner that looks nothing up in advance leaves the rows to selectPictures.
    virtual SelectionFinder selectionFinder() const
    {
        return [](const QStringList &paths) { return PreparedSelection{paths, {}, 0}; };
    }
    virtual QString selectPictures(const PreparedSelection &selection) { return selectPictures(selection.paths); }

    // Shows a status text in the owner's Info panel.
    virtual void showInfo(const QString &text) = 0;

    // True while the owner runs a command of its own: the window then starts nothing that
    // would change the catalogue or the list under it.
    virtual bool ownerBusy() const = 0;
    // Held while the window works on a rule: the owner starts no command meanwhile, and a
    // close of the owner waits for the release.
    virtual void holdCommands(bool hold) = 0;

    // Folders whose pictures no rule selects (the setting `ProtectedFolders`).
    virtual QStringList protectedFolders() const = 0;
    virtual void setProtectedFolders(const QStringList &folders) = 0;

protected:
    ~SamOwner() = default;
};
