#pragma once
// Finding the pictures of a folder tree the way Lumo's folder add takes them.

#include <QString>
#include <QStringList>

// True for a name whose extension is JPG or JPEG in any letter case.
bool hasPictureExtension(const QString &fileName);

// Every file under `folder` with a picture extension, as absolute paths. Within a
// folder names are sorted by QString's operator< (UTF-16 code units, so byte order
// for ASCII names), its files come before its sub-folders, and symbolic links to
// folders are not followed. Hidden files and folders are included.
QStringList scanFolderForPictures(const QString &folder);
