#pragma once
// Opening a file to read it whole, only when it is a regular file: a FIFO would wait for a
// writer for ever, a device such as /dev/zero never ends, a folder is no file. The file is
// opened without waiting and then looked at, so none of them is ever read or waited for.

#include "sigboxcore_export.h"

#include <QString>

class QFile;

enum class RegularFile {
    Opened,
    Missing,    // nothing at the path
    NotRegular, // a FIFO, a device, a socket or a folder
    TooLarge,   // larger than the caller takes
    Unreadable, // there, but it cannot be opened (permissions, ...)
};

// Opens `path` read-only into `in` when it is a regular file of at most `maxBytes` bytes
// (any size when negative).
SIGBOXCORE_EXPORT RegularFile openRegularFile(QFile &in, const QString &path, qint64 maxBytes = -1);

// The most bytes any reader takes from a picture file: 256 MiB, several times the largest
// photo a camera writes. A larger file (a sparse multi-gigabyte file under a picture's
// name, say) is not a picture: no reader holds it in memory or reads it through.
constexpr qint64 PictureFileLimit = qint64(256) << 20;

// The one check before any reader opens a picture (signatures, facts, thumbnails, the
// compare window, the viewer): a regular file of at most PictureFileLimit bytes.
SIGBOXCORE_EXPORT bool openPictureFile(QFile &in, const QString &path);
// The same judged without opening, for readers that open the file themselves by name.
SIGBOXCORE_EXPORT bool isPictureFile(const QString &path);
