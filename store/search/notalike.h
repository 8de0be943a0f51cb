#pragma once
// The user's decisions that two pictures are not alike, kept for good in one file per user
// ($XDG_DATA_HOME/lumo/notalike). A picture is known by its look as the search sees it,
// the 8 x 8 grid of its signature, not by its path: a decision outlives renaming, moving,
// re-adding and another catalogue holding the same picture, and it ends when the picture
// changes enough to change its grid, which is the only change the search can see. Exact
// copies share a look, so a decision holds for every copy. Each pair also keeps the paths
// its pictures last had, to name pairs that no open catalogue holds.
// The file is replaced whole and atomically. One that cannot be read is never overwritten:
// it is set aside under a name of its own and an empty set begun.

#include "sigboxcore_export.h"
#include "search/similargrouping.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;

// A picture's grid, one byte a value (no catalogue holds values outside 0..255).
using PictureLook = std::array<uint8_t, pixcore::SignatureValues>;
SIGBOXCORE_EXPORT PictureLook pictureLook(const Signature &cells);

struct NotAlikePair {
    PictureLook first{};  // in the order the user named them; the pair is the same either way
    PictureLook second{};
    QString firstName;    // the paths the pictures last had
    QString secondName;
    qint64 marked = 0;    // when, in milliseconds since 1970 (UTC)
    bool operator==(const NotAlikePair &) const = default;
};

// The file's contents in and out. Reading takes nothing on trust: false for a file that is
// not such a file or is cut short, and then `pairs` is left empty.
SIGBOXCORE_EXPORT bool readNotAlike(QIODevice &in, std::vector<NotAlikePair> &pairs);
SIGBOXCORE_EXPORT bool writeNotAlike(QIODevice &out, const std::vector<NotAlikePair> &pairs);

class SIGBOXCORE_EXPORT NotAlikeDecisions
{
public:
    // The user's file, or another (tests).
    explicit NotAlikeDecisions(QString path = userFile());
    static QString userFile();

    // Reads the file; none is no decisions. A file that cannot be read is renamed to
    // setAside() and the decisions start empty; false then.
    bool load();
    const QString &setAside() const { return m_setAside; }
    // Writes the file atomically; false when it could not be written (the old one stays).
    bool save() const;

    // Oldest first.
    const std::vector<NotAlikePair> &pairs() const { return m_pairs; }
    bool isEmpty() const { return m_pairs.empty(); }
    // Remembers a pair, or renews its names and time when it is known.
    void add(const Signature &a, const QString &aName, const Signature &b, const QString &bName, qint64 marked);
    // False when the pair was not remembered.
    bool forget(const Signature &a, const Signature &b);
    // Forgets the pairs at these positions of pairs().
    void forgetAt(std::vector<int> positions);
    void clear() { m_pairs.clear(); }

    // The entries of a search that never share a group: every two whose looks were decided
    // not alike. Null when there are none, so a search without decisions does no more.
    std::shared_ptr<const SimilarApart> apartOf(const SimilarCells &cells, const std::vector<uint8_t> &unnamed) const;
    std::shared_ptr<const SimilarApart> apartOf(const SignatureTable &table) const;

private:
    QString m_path;
    QString m_setAside;
    bool m_unwritable = false; // a file that could be neither read nor set aside stays as it is
    std::vector<NotAlikePair> m_pairs;
};
