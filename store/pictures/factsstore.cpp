#include "pictures/factsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

#include <sqlite3.h>

#include <algorithm>

#include <sys/stat.h>

namespace {

// The layout of a record; a store of another layout is emptied.
constexpr int RecordFormat = 2;
// Pending writes go to disk in one transaction each this many.
constexpr size_t Batch = 256;
// How long a writer waits for another process's transaction.
constexpr int BusyMs = 10000;

enum Flag : uchar {
    Readable = 1,
    Grey = 2,
    Counted = 4,
    Taken = 8,
    Raw = 32,
};

void putNumber(QByteArray &out, quint64 value)
{
    while (value >= 0x80) {
        out.append(char(uchar(value) | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

void putSigned(QByteArray &out, qint64 value)
{
    putNumber(out, (quint64(value) << 1) ^ quint64(value >> 63));
}

struct Reader {
    const QByteArray &in;
    qsizetype at = 0;
    bool ok = true;

    quint64 number()
    {
        quint64 value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at >= in.size())
                break;
            const uchar byte = uchar(in[at++]);
            value |= quint64(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
        ok = false;
        return 0;
    }
    qint64 signedNumber()
    {
        const quint64 value = number();
        return qint64(value >> 1) ^ -qint64(value & 1);
    }
    // A number no larger than `most`.
    quint64 upTo(quint64 most)
    {
        const quint64 value = number();
        if (value > most)
            ok = false;
        return ok ? value : 0;
    }
};

// A series of counts as its first and the differences from each to the next: neighbouring
// qualities count about as many.
void putSeries(QByteArray &out, const std::array<quint64, DetailQualities.size()> &series)
{
    quint64 before = 0;
    for (const quint64 value : series) {
        putSigned(out, qint64(value - before));
        before = value;
    }
}

bool readSeries(Reader &in, std::array<quint64, DetailQualities.size()> &series, quint64 most)
{
    qint64 value = 0;
    for (quint64 &each : series) {
        const qint64 difference = in.signedNumber();
        if (difference < -qint64(most) || difference > qint64(most))
            return false;
        value += difference;
        if (value < 0 || quint64(value) > most)
            return false;
        each = quint64(value);
    }
    return in.ok;
}

} // namespace

QByteArray encodeFacts(const PictureFacts &facts)
{
    QByteArray out;
    out.reserve(160);
    const DetailCounts *counts = facts.counts.get();
    uchar flags = (facts.readable ? Readable : 0) | (facts.grey ? Grey : 0) | (counts ? Counted : 0)
                  | (facts.taken.isValid() ? Taken : 0) | (facts.raw ? Raw : 0);
    out.append(char(flags));
    putNumber(out, quint64(std::max(0, facts.width)));
    putNumber(out, quint64(std::max(0, facts.height)));
    putNumber(out, quint64(std::max(0, facts.quality)));
    putNumber(out, quint64(std::max(0, facts.primaryQuality)));
    putNumber(out, quint64(std::max(1, facts.orientation)));
    if (facts.taken.isValid())
        putSigned(out, facts.taken.toMSecsSinceEpoch());
    const QByteArray camera = facts.camera.toUtf8();
    putNumber(out, quint64(camera.size()));
    out.append(camera);
    if (!counts)
        return out;
    putNumber(out, quint64(std::max<qint64>(0, counts->blocks)));
    putSeries(out, counts->all);
    putSeries(out, counts->fine);
    return out;
}

bool decodeFacts(const QByteArray &record, PictureFacts &facts)
{
    Reader in{record};
    if (record.isEmpty())
        return false;
    const uchar flags = uchar(record[0]);
    in.at = 1;
    PictureFacts read;
    read.readable = flags & Readable;
    read.grey = flags & Grey;
    read.raw = flags & Raw;
    read.width = int(in.upTo(1 << 30));
    read.height = int(in.upTo(1 << 30));
    read.quality = int(in.upTo(100));
    read.primaryQuality = int(in.upTo(100));
    read.orientation = int(in.upTo(8));
    if (flags & Taken)
        read.taken = QDateTime::fromMSecsSinceEpoch(in.signedNumber());
    const qsizetype cameraBytes = qsizetype(in.upTo(quint64(record.size())));
    if (!in.ok || in.at + cameraBytes > record.size())
        return false;
    read.camera = QString::fromUtf8(record.constData() + in.at, cameraBytes);
    in.at += cameraBytes;
    read.pixels = qint64(read.width) * read.height;
    if (flags & Counted) {
        auto counts = std::make_shared<DetailCounts>();
        counts->blocks = qint64(in.upTo(quint64(1) << 40));
        // No block has more than its 63 AC coefficients, nor more fine ones than strong ones.
        const quint64 most = quint64(counts->blocks) * 63;
        if (!readSeries(in, counts->all, most) || !readSeries(in, counts->fine, most))
            return false;
        for (size_t q = 0; q < DetailQualities.size(); ++q) {
            if (counts->fine[q] > counts->all[q])
                return false;
        }
        read.counts = counts;
        read.detail = detailAtSteps(read, coarsestSteps({&read}));
    }
    if (!in.ok || in.at != record.size())
        return false;
    read.bytes = facts.bytes;
    read.modified = facts.modified;
    read.identity = facts.identity;
    facts = std::move(read);
    return true;
}

std::optional<FactsKey> factsKey(const QString &path)
{
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FactsKey{uint64_t(status.st_dev), uint64_t(status.st_ino), qint64(status.st_size),
                    qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

FactsStore::FactsStore(const QString &file) : m_file(file)
{
    m_today = QDateTime::currentSecsSinceEpoch() / 86400;
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!open())
        rebuild();
}

FactsStore::~FactsStore()
{
    flush();
    close();
}

QString FactsStore::userFile()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/lumo/facts.sqlite");
}

std::shared_ptr<FactsStore> FactsStore::user()
{
    static QMutex mutex;
    static std::weak_ptr<FactsStore> shared;
    QMutexLocker lock(&mutex);
    std::shared_ptr<FactsStore> store = shared.lock();
    if (!store) {
        store = std::make_shared<FactsStore>(userFile());
        shared = store;
    }
    return store;
}

bool FactsStore::isOpen() const
{
    return m_db && m_find && m_put && m_touch;
}

bool FactsStore::damaged(int code) const
{
    code &= 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_SCHEMA || code == SQLITE_FORMAT;
}

bool FactsStore::open()
{
    close();
    if (sqlite3_open_v2(QFile::encodeName(m_file).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, BusyMs);
    sqlite3_stmt *version = nullptr;
    int format = -1;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &version, nullptr) == SQLITE_OK
        && sqlite3_step(version) == SQLITE_ROW)
        format = sqlite3_column_int(version, 0);
    sqlite3_finalize(version);
    if (format < 0) {
        close();
        return false;
    }
    // WAL: lumo-cli and the window read while the other writes. A lost last transaction
    // after a power cut costs only a second reading.
    const QByteArray setUp
        = QByteArray("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;")
          + (format == RecordFormat ? QByteArray()
                                    : QByteArray("BEGIN IMMEDIATE; DROP TABLE IF EXISTS facts; PRAGMA user_version=")
                                          + QByteArray::number(RecordFormat) + "; COMMIT;")
          + "CREATE TABLE IF NOT EXISTS facts (device INTEGER NOT NULL, inode INTEGER NOT NULL,"
            " bytes INTEGER NOT NULL, modified INTEGER NOT NULL, used INTEGER NOT NULL, record BLOB NOT NULL,"
            " PRIMARY KEY (device, inode)) WITHOUT ROWID;"
            "DELETE FROM facts WHERE used < "
          + QByteArray::number(m_today - KeptDays) + ";";
    if (sqlite3_exec(m_db, setUp.constData(), nullptr, nullptr, nullptr) != SQLITE_OK || !prepare()) {
        close();
        return false;
    }
    return true;
}

bool FactsStore::prepare()
{
    return sqlite3_prepare_v3(m_db, "SELECT bytes, modified, used, record FROM facts WHERE device = ?1 AND inode = ?2",
                              -1, SQLITE_PREPARE_PERSISTENT, &m_find, nullptr)
               == SQLITE_OK
           && sqlite3_prepare_v3(m_db,
                                 "INSERT OR REPLACE INTO facts (device, inode, bytes, modified, used, record)"
                                 " VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                                 -1, SQLITE_PREPARE_PERSISTENT, &m_put, nullptr)
                  == SQLITE_OK
           && sqlite3_prepare_v3(m_db, "UPDATE facts SET used = ?3 WHERE device = ?1 AND inode = ?2", -1,
                                 SQLITE_PREPARE_PERSISTENT, &m_touch, nullptr)
                  == SQLITE_OK;
}

void FactsStore::close()
{
    for (sqlite3_stmt **statement : {&m_find, &m_put, &m_touch}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool FactsStore::rebuild()
{
    close();
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(m_file + QLatin1String(suffix));
    return open();
}

bool FactsStore::find(const FactsKey &key, PictureFacts &facts)
{
    QMutexLocker lock(&m_mutex);
    if (!isOpen())
        return false;
    sqlite3_reset(m_find);
    sqlite3_bind_int64(m_find, 1, sqlite3_int64(key.device));
    sqlite3_bind_int64(m_find, 2, sqlite3_int64(key.inode));
    const int step = sqlite3_step(m_find);
    if (step != SQLITE_ROW) {
        sqlite3_reset(m_find);
        if (damaged(step))
            rebuild();
        return false;
    }
    const bool same = sqlite3_column_int64(m_find, 0) == key.bytes && sqlite3_column_int64(m_find, 1) == key.modifiedNs;
    const qint64 used = sqlite3_column_int64(m_find, 2);
    const auto blob = static_cast<const char *>(sqlite3_column_blob(m_find, 3));
    const QByteArray record(blob, sqlite3_column_bytes(m_find, 3));
    sqlite3_reset(m_find);
    if (!same || !decodeFacts(record, facts))
        return false;
    if (used < m_today)
        m_pending.push_back({key, {}});
    return true;
}

void FactsStore::put(const FactsKey &key, const PictureFacts &facts)
{
    QMutexLocker lock(&m_mutex);
    m_pending.push_back({key, encodeFacts(facts)});
    if (m_pending.size() >= Batch)
        writePending();
}

void FactsStore::flush()
{
    QMutexLocker lock(&m_mutex);
    writePending();
}

qint64 FactsStore::count()
{
    QMutexLocker lock(&m_mutex);
    writePending();
    qint64 rows = -1;
    sqlite3_stmt *statement = nullptr;
    if (m_db && sqlite3_prepare_v2(m_db, "SELECT count(*) FROM facts", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        rows = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return rows;
}

bool FactsStore::writePending()
{
    if (m_pending.empty())
        return true;
    std::vector<Pending> pending;
    pending.swap(m_pending);
    if (!isOpen())
        return false;
    int result = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (const Pending &entry : pending) {
        if (result != SQLITE_OK)
            break;
        sqlite3_stmt *statement = entry.record.isEmpty() ? m_touch : m_put;
        sqlite3_reset(statement);
        sqlite3_bind_int64(statement, 1, sqlite3_int64(entry.key.device));
        sqlite3_bind_int64(statement, 2, sqlite3_int64(entry.key.inode));
        if (entry.record.isEmpty()) {
            sqlite3_bind_int64(statement, 3, m_today);
        } else {
            sqlite3_bind_int64(statement, 3, entry.key.bytes);
            sqlite3_bind_int64(statement, 4, entry.key.modifiedNs);
            sqlite3_bind_int64(statement, 5, m_today);
            sqlite3_bind_blob(statement, 6, entry.record.constData(), int(entry.record.size()), SQLITE_STATIC);
        }
        const int step = sqlite3_step(statement);
        sqlite3_reset(statement);
        result = step == SQLITE_DONE ? SQLITE_OK : step;
    }
    if (result == SQLITE_OK)
        result = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        // What could not be written is read again next time; a damaged file starts anew.
        if (damaged(result) || damaged(sqlite3_extended_errcode(m_db)))
            rebuild();
        return false;
    }
    return true;
}
