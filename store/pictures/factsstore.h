#pragma once
// The facts of pictures kept on disk between runs, so that a second clean-up of the same
// folders reads no picture again: one SQLite database per user, shared by the window and
// lumo-cli (each process writes in its own transactions; SQLite's locks keep them apart).
// A file's facts are found by its device and inode and hold only while its size and
// modification time are the same. A damaged database is thrown away and started anew: it
// holds nothing that cannot be read again. Entries not used for a year go.

#include "pictures/picturefacts.h"
#include "sigboxcore_export.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Which file, as it is now: facts found under another size or time are stale.
struct FactsKey {
    uint64_t device = 0;
    uint64_t inode = 0;
    qint64 bytes = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FactsKey &) const = default;
};

// The key of the regular file `path` leads to; nullopt when there is none.
SIGBOXCORE_EXPORT std::optional<FactsKey> factsKey(const QString &path);

// The facts as stored (the file's own size, time and identity are left to the key), and back;
// false for bytes that are not such a record.
SIGBOXCORE_EXPORT QByteArray encodeFacts(const PictureFacts &facts);
SIGBOXCORE_EXPORT bool decodeFacts(const QByteArray &record, PictureFacts &facts);

class SIGBOXCORE_EXPORT FactsStore
{
public:
    // Opens or creates the database `file` (its folder too). Safe to use from many threads.
    explicit FactsStore(const QString &file);
    ~FactsStore(); // writes what is pending
    FactsStore(const FactsStore &) = delete;
    FactsStore &operator=(const FactsStore &) = delete;

    // The user's store: $XDG_CACHE_HOME/lumo/facts.sqlite (~/.cache when unset), one per process.
    static std::shared_ptr<FactsStore> user();
    static QString userFile();

    bool isOpen() const;
    // The facts stored for the file as `key` describes it now.
    bool find(const FactsKey &key, PictureFacts &facts);
    // Stored with the next write, which comes after a batch of them or at flush().
    void put(const FactsKey &key, const PictureFacts &facts);
    void flush();
    // How many files it holds.
    qint64 count();

    // Entries unused for longer than this go when a store opens.
    static constexpr int KeptDays = 365;

private:
    struct Pending {
        FactsKey key;
        QByteArray record; // empty: only the day of use changes
    };
    bool open();
    void close();
    bool rebuild();
    bool prepare();
    bool writePending();
    bool damaged(int code) const;

    QString m_file;
    QMutex m_mutex;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_find = nullptr;
    sqlite3_stmt *m_put = nullptr;
    sqlite3_stmt *m_touch = nullptr;
    std::vector<Pending> m_pending;
    qint64 m_today = 0;
};
