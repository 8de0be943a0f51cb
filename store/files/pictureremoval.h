#pragma once
// Taking pictures out of catalogues, the one rule of the window's delete and lumo-cli's
// remove. Every entry of a named picture leaves, in every catalogue given; a path and the
// entries are compared once cleaned (no "/./", "..", doubled '/'), so another spelling of
// the same path finds its entries, also in catalogues written before paths were stored
// clean. When the files are to go to the trash that comes first: the files still there go
// through `move`, and a picture whose file could not be moved keeps its entries, so that
// the catalogue still tells of a file still on the disk. A file already gone only leaves.

#include "sigboxcore_export.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Moves the files (all still there) and returns those it could not move.
using FileMover = std::function<QStringList(const QStringList &files)>;

struct PictureRemoval {
    QStringList unknown; // named, but in no catalogue: nothing was done for them
    QStringList kept;    // their files could not be moved: their entries stay
    QStringList moved;   // the files moved
    QStringList leaving; // the pictures that leave, cleaned, each once
    std::vector<std::vector<int>> entries; // per catalogue, the entries that leave, ascending
    int entryCount() const;
};

// `catalogues`: the names of each catalogue's entries, in order. `paths`: full paths, each
// handled once whatever its spelling, in the order given. Without `move` nothing on disk
// changes, which also tells beforehand which catalogues a removal will change.
SIGBOXCORE_EXPORT PictureRemoval removePictures(const std::vector<QStringList> &catalogues, const QStringList &paths,
                                                const FileMover &move = {});
