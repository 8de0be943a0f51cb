#pragma once
// The user's desktop trash (freedesktop trash specification): files are moved there, never
// deleted, in the window and in lumo-cli alike. A file on the home trash's file system goes
// to $XDG_DATA_HOME/Trash (default ~/.local/share/Trash); one on another file system to that
// file system's own trash ($topdir/.Trash/$uid when $topdir/.Trash is a sticky folder, else
// $topdir/.Trash-$uid), never copied across. Every trash folder used must be the user's own,
// no link, and closed to everyone else. The record (Path= percent-encoded, DeletionDate= in
// local time) is created exclusively and written whole before the file moves, and the file
// moves by a rename that never replaces what the trash already holds; a record that cannot
// be written whole is taken back and the file stays. Files of one name are numbered
// ("a.jpg", "a.2.jpg", ...) from a number kept per trash and name for the process, so a
// thousand files of one name cost no more than a thousand names. GLib gives the home
// folders and reads HOME and XDG_DATA_HOME once per process, so tests set them before the
// first move.

#include "sigboxcore_export.h"
#include "files/sharedthumbnails.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

enum class TrashResult {
    Moved,
    NotMoved, // the file stays where it was; no record is left behind
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

// What moving a list of pictures came to; every path given is in exactly one list.
struct TrashRun {
    QStringList moved;
    QStringList notMoved; // could not be moved: they stay where they were
    QStringList notTried; // the stop came first: they stay where they were
};

// Moves the pictures one after another (movePictureToTrash), telling `done` after each file
// how many have been handled; a raised `stop` ends the run between two files.
SIGBOXCORE_EXPORT TrashRun movePicturesToTrash(const QStringList &paths, const SharedThumbnails &thumbnails,
                                               const std::atomic_bool &stop,
                                               const std::function<void(int handled)> &done = {});
