#pragma once
// The user's desktop trash (freedesktop trash specification), through GLib's GIO: files
// are moved there, never deleted, in the window and in lumo-cli alike. A file on the home
// file system goes to $XDG_DATA_HOME/Trash (default ~/.local/share/Trash); one on another
// file system to that file system's own trash ($topdir/.Trash/$uid or $topdir/.Trash-$uid),
// never copied across. GIO writes the whole record, with its path percent-encoded, before
// the file moves, and fails rather than loops. Where it falls short we check ourselves:
// before it is called, that every trash folder used is the user's own, no link, and closed
// to everyone else (GIO only checks the owner); after it, that the record it wrote is whole
// (GIO ignores a failed write, so a full disk left an empty record), else the file is put
// back. GLib reads HOME and XDG_DATA_HOME once per process, so tests set them before the
// first move.

#include "sigboxcore_export.h"
#include "files/sharedthumbnails.h"

#include <QString>

enum class TrashResult {
    Moved,
    NotMoved,   // the file stays where it was; no record is left behind
    NotPutBack, // moved without a whole record, and it could not be put back: it lies in
                // the trash's files folder, unlisted by the desktop
};

// What is wrong with the trash folder a file would go to, so that a refusal can say why and
// what to do: the folder's path and the fault; Sound when nothing is.
struct TrashFolderProblem {
    enum class Fault { Sound, OpenToOthers, OthersOwn, Link, NotFolder };
    Fault fault = Fault::Sound;
    QString folder;
};
SIGBOXCORE_EXPORT TrashFolderProblem trashFolderProblem(const QString &path);

// Moves one file (never a folder) to the trash.
SIGBOXCORE_EXPORT TrashResult moveFileToTrash(const QString &path);

// Moves a picture to the trash and then removes its shared thumbnails, as the thumbnail
// standard asks of programs that delete files.
SIGBOXCORE_EXPORT TrashResult movePictureToTrash(const QString &path, const SharedThumbnails &thumbnails);
