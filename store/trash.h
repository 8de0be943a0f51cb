#pragma once
// The user's desktop trash (freedesktop trash specification): files are moved there, never
// deleted, in the window and in lumo-cli alike. The trash is $XDG_DATA_HOME/Trash (default
// ~/.local/share/Trash); a file on another file system may go to that file system's own
// trash, as Qt chooses. Tests point XDG_DATA_HOME at a temporary folder.

#include "sigboxcore_export.h"
#include "sharedthumbnails.h"

#include <QString>

// The user's trash folder.
SIGBOXCORE_EXPORT QString homeTrashFolder();

// Moves one file to the trash; true only when it now lies in a trash folder (then
// trashedPath holds its new path). Makes the home trash folders (files and info, owner
// only) first. A move that lands anywhere else is undone and fails; a folder is never moved.
SIGBOXCORE_EXPORT bool moveFileToTrash(const QString &path, QString *trashedPath = nullptr);

// Moves a picture to the trash and then removes its shared thumbnails, as the thumbnail
// standard asks of programs that delete files. False when it could not be moved.
SIGBOXCORE_EXPORT bool movePictureToTrash(const QString &path, const SharedThumbnails &thumbnails);
