#pragma once
// The thumbnails that desktop programs share by the freedesktop thumbnail standard: one
// folder per user, $XDG_CACHE_HOME/thumbnails (default ~/.cache/thumbnails), a folder per
// size in it ("normal" up to 128 pixels, "large" up to 256), each thumbnail an upright PNG
// named after the MD5 of its file's URI and carrying that URI, the file's modification
// time and its size, so that a changed file's thumbnail is known to be stale.
//
// A value holding only the folder; every call works on the files alone, so copies may be
// used on any thread at once. Writes are atomic: a reader, Lumo or a file manager, sees
// the old thumbnail or the new one, never half of one.

#include "sigboxcore_export.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class SIGBOXCORE_EXPORT SharedThumbnails
{
public:
    enum class Size { Normal, Large };
    static constexpr int NormalSide = 128;
    static constexpr int LargeSide = 256;

    // The user's folder, as XDG_CACHE_HOME says when this is made.
    SharedThumbnails();
    explicit SharedThumbnails(const QString &root);
    QString root() const { return m_root; }

    // file:// and the absolute path in UTF-8, every byte percent-encoded but the letters,
    // digits and the characters a path may hold as they are ("-._~!$&'()*+,=:@/").
    static QByteArray uriOf(const QString &path);
    // The MD5 of that URI in lower-case hex, then ".png".
    static QString fileNameOf(const QString &path);
    QString thumbnailPath(const QString &path, Size size) const;

    // The picture file as a thumbnail has to match it, looked at once.
    struct Original
    {
        QByteArray uri;
        qint64 mtime = 0; // whole seconds since the epoch
        qint64 size = -1; // bytes
        // A readable file outside the thumbnail folders: the only files whose thumbnails
        // are read or written.
        bool usable = false;
    };
    Original original(const QString &path) const;

    // The smallest valid thumbnail of the file whose two sides both reach atLeast: the
    // normal one when it does, else the large one; a null image when neither will do.
    // Valid means that its Thumb::MTime and Thumb::Size equal the file's (and its
    // Thumb::URI, when it names one, is the file's); one lacking either key is not used.
    // normalValid tells whether a valid normal thumbnail exists, whatever its size.
    QImage lookup(const Original &file, QSize atLeast, bool *normalValid = nullptr) const;

    // Writes the normal thumbnail of the file from an upright picture of it: aspect ratio
    // kept, the longest side 128 (a smaller picture keeps its size). pictureSize, when
    // known, is the whole picture's upright size. Folders missing are made, owner only.
    bool writeNormal(const Original &file, const QImage &picture, QSize pictureSize = QSize()) const;
    // The size of the normal thumbnail of a picture of that size.
    static QSize normalSizeFor(QSize picture);

    // Removes the file's thumbnails of every size and its failure records: the file is
    // gone, and a new file of that name must not show the old picture.
    void remove(const QString &path) const;

private:
    QString m_root;
};
