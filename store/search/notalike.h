#pragma once
// The user's decisions that two pictures are not alike, kept for good in one file per user
// ($XDG_DATA_HOME/lumo/notalike). A picture is known by its look as the search sees it,
// the 8 x 8 grid of its signature, not by its path: a decision outlives renaming, moving,
// re-adding and another catalogue holding the same picture, and it ends when the picture
// changes enough to change its grid, which is the only change the search can see. Exact
// copies share a look, so a decision holds for every copy. A look is kept as a 64-bit hash
// of its grid (LookKey): a pair costs two hashes and its time in memory, whatever the
// number of pairs. Each pair also keeps the paths its pictures last had, to name pairs
// that no open catalogue holds.
// The file belongs to its user alone (0600, in a folder of 0700). Every record carries a
// checksum: a damaged record is dropped and the rest kept. Saving takes a lock on the
// file, reads what is on disk and applies only this holder's own changes to it, so that
// two programs marking pairs at once lose nothing and forgetting one pair forgets only
// that one. The file is replaced whole and atomically, written so that a full disk leaves
// the old one as it was. One that is not such a file is never overwritten: it is set aside
// under a name of its own and an empty set begun; one that cannot be read (permissions, a
// FIFO, a folder) or set aside stays as it is and no save replaces it.

#include "sigboxcore_export.h"
#include "search/similargrouping.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QIODevice;

// A picture's look: a hash of its grid taken one byte a value (no catalogue holds values
// outside 0..255). Stable across runs, builds and processors; the file stores it.
using LookKey = uint64_t;
SIGBOXCORE_EXPORT LookKey lookKey(const Signature &cells);

struct NotAlikePair {
    LookKey first = 0;  // in the order the user named them; the pair is the same either way
    LookKey second = 0;
    QString firstName;  // the paths the pictures last had
    QString secondName;
    qint64 marked = 0;  // when, in milliseconds since 1970 (UTC)
    bool operator==(const NotAlikePair &) const = default;
};

// The file's contents in and out. Reading takes nothing on trust: false for a file that is
// not such a file, and then `pairs` is left empty. Damaged records are left out and
// counted in `dropped`. An older form (whole looks, no checksums) is read whole or not at
// all; writing always writes the current form.
SIGBOXCORE_EXPORT bool readNotAlike(QIODevice &in, std::vector<NotAlikePair> &pairs, int *dropped = nullptr);
SIGBOXCORE_EXPORT bool writeNotAlike(QIODevice &out, const std::vector<NotAlikePair> &pairs);

enum class NotAlikeLoad {
    Read,       // the file, or none: no decisions
    Repaired,   // read, without damaged records (dropped())
    SetAside,   // not such a file: renamed to setAside(), the decisions begin empty
    Unreadable, // cannot be opened (permissions, not a regular file); no save replaces it
    Stuck,      // not such a file and it cannot be set aside; no save replaces it
};

enum class NotAlikeSave {
    Saved,
    Refused,    // the file found could not be read or set aside: it stays as it is
    Busy,       // another program held the file's lock for too long
    NotWritten, // the disk refused (full, read-only); the old file stays whole
};

class SIGBOXCORE_EXPORT NotAlikeDecisions
{
public:
    // The user's file, or another (tests).
    explicit NotAlikeDecisions(QString path = userFile());
    static QString userFile();

    // Reads the file; none is no decisions. True for Read and Repaired. A search needs no
    // names: without them the decisions take their looks and times alone.
    enum class Names { Kept, Skipped };
    bool load(Names names = Names::Kept);
    NotAlikeLoad loadStatus() const { return m_loadStatus; }
    int dropped() const { return m_dropped; }
    const QString &setAside() const { return m_setAside; }
    // Locks the file, reads it again and writes it with this holder's changes since the
    // last load or save (adds, renewals, forgets); afterwards pairs() are what the file
    // holds. True when saved; the old file stays whole otherwise.
    bool save();
    NotAlikeSave saveStatus() const { return m_saveStatus; }

    // Oldest first.
    std::vector<NotAlikePair> pairs() const;
    size_t size() const;
    bool isEmpty() const { return size() == 0; }
    // Remembers a pair, or renews its names and time when it is known (then it moves to
    // the end, as the newest). Constant time: a whole group of pairs marked at once costs
    // one pass over the known pairs, when they are next looked at or saved.
    void add(const Signature &a, const QString &aName, const Signature &b, const QString &bName, qint64 marked);
    // False when the pair was not remembered.
    bool forget(const Signature &a, const Signature &b);
    // Forgets the pairs at these positions of pairs().
    void forgetAt(std::vector<int> positions);
    // Forgets every pair held now.
    void clear();

    // The entries of a search that never share a group: those whose looks were decided
    // not alike, looked up by look, never entry by entry. Null when there are none, so a
    // search without decisions does no more.
    std::shared_ptr<const SimilarApart> apartOf(const SimilarCells &cells, const std::vector<uint8_t> &unnamed) const;
    std::shared_ptr<const SimilarApart> apartOf(const SignatureTable &table) const;

    // Both looks, the lower first: the same pair whichever way round it was named.
    struct PairKey {
        LookKey low = 0;
        LookKey high = 0;
        bool operator==(const PairKey &) const = default;
    };
    struct PairKeyHash {
        size_t operator()(const PairKey &key) const;
    };
    // One pair as held: both looks, the time and where its names start in the names kept.
    struct Held {
        LookKey first = 0;
        LookKey second = 0;
        qint64 marked = 0;
        uint32_t names = 0;
    };

private:
    struct Stored;
    bool mergeWithDisk(Stored &merged);
    void fold() const;
    void forgetKeys(const std::unordered_set<PairKey, PairKeyHash> &keys);

    QString m_path;
    QString m_setAside;
    NotAlikeLoad m_loadStatus = NotAlikeLoad::Read;
    NotAlikeSave m_saveStatus = NotAlikeSave::Saved;
    int m_dropped = 0;
    bool m_names = true;
    // The file as last read or written: when it is still that one, a save need not read it again.
    struct Seen {
        uint64_t device = 0, inode = 0;
        int64_t size = -1, modified = 0;
        bool operator==(const Seen &) const = default;
    };
    Seen m_seen;
    // What the file held at the last load or save, with this holder's changes applied.
    mutable std::vector<Held> m_held;
    mutable std::string m_nameBytes; // both names of each held pair, a 16-bit length and UTF-8 each
    // This holder's changes since then, applied to the file on disk by save(). Added pairs
    // wait here until the held ones are next looked at (fold()).
    struct Added {
        NotAlikePair pair;
        bool live = true; // false once renewed by a later entry or forgotten
    };
    std::vector<Added> m_added;
    std::unordered_map<PairKey, size_t, PairKeyHash> m_addedAt;
    mutable size_t m_folded = 0; // m_added[0, m_folded) are in m_held
    std::unordered_set<PairKey, PairKeyHash> m_forgotten;
};
