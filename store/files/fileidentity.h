#pragma once
// A picture is a file, not a spelling: two paths name the same picture when they lead to
// the same file (device and inode), whatever links, "./", ".." or doubled '/' they hold.

#include "sigboxcore_export.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool known = false; // false when the file could not be reached
    bool operator==(const FileIdentity &) const = default;
    // Two unknown identities are never the same file.
    bool sameFile(const FileIdentity &other) const { return known && *this == other; }
};

// The identity of the file `path` leads to, links followed.
SIGBOXCORE_EXPORT FileIdentity fileIdentity(const QString &path);

// Where `path` really lies: links resolved, or, for a path that leads nowhere, the path
// made absolute and cleaned (no "/./", "..", doubled '/').
SIGBOXCORE_EXPORT QString realLocation(const QString &path);

// `path` (a full path) without "/./", ".." or doubled '/', still naming the same file: the
// part up to the last ".." is resolved where it really leads (after a link to a folder,
// ".." is the parent of the link's target, not of the link), the rest only cleaned.
SIGBOXCORE_EXPORT QString cleanFullPath(const QString &path);

// The first of `paths` that leads to the file `path` leads to, -1 for none: the same
// spelling, or its real location, or else a path of the same file name that reaches the same
// file (a link to it, a folder reached through a link). Only those few are looked up on disk.
SIGBOXCORE_EXPORT qsizetype sameFileIn(const QStringList &paths, const QString &path);
