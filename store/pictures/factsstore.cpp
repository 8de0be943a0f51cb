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
constexpr int RecordFormat = 1;
// Pending writes go to disk in one transaction each this many.
constexpr size_t Batch = 256;
// How long a writer waits for another process's transaction.
constexpr int BusyMs = 10000;

enum Flag : uchar {
    Readable = 1,
    Grey = 2,
    Counted = 4,
    Taken = 8,
    StandardSteps = 16,
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

// The lowest rung a comparison can ask of frequency k: groups are measured at their
// coarsest steps, never finer than the picture's own (see detailAtSteps).
size_t lowestRung(int step)
{
    const int limit = std::max(DetailThreshold, step + 1);
    return size_t(std::lower_bound(DetailRungs.begin(), DetailRungs.end(), limit) - DetailRungs.begin());
}

int standardQualityOf(const DetailCounts &counts)
{
    std::array<quint16, 64> table{};
    for (int k = 0; k < 64; ++k)
        table[size_t(k)] = quint16(std::clamp(counts.steps[size_t(k)], 0, 65535));
    const int estimate = estimateJpegQuality(table.data());
    return estimate > 0 && standardLuminanceTable(estimate) == counts.steps ? estimate : 0;
}

} // namespace

QByteArray encodeFacts(const PictureFacts &facts)
{
    QByteArray out;
    out.reserve(160);
    const DetailCounts *counts = facts.counts.get();
    const int standard = counts ? standardQualityOf(*counts) : 0;
    uchar flags = (facts.readable ? Readable : 0) | (facts.grey ? Grey : 0) | (counts ? Counted : 0)
                  | (facts.taken.isValid() ? Taken : 0) | (standard ? StandardSteps : 0) | (facts.raw ? Raw : 0);
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
    if (standard) {
        putNumber(out, quint64(standard));
    } else {
        for (int step : counts->steps)
            putNumber(out, quint64(std::max(0, step)));
    }
    // Per frequency the rungs a comparison can ask for, as differences from the rung above,
    // up to the last one reached.
    for (size_t k = 1; k < 64; ++k) {
        const auto &reaching = counts->reaching[k];
        const size_t first = lowestRung(counts->steps[k]);
        size_t end = reaching.size();
        while (end > first && reaching[end - 1] == 0)
            --end;
        putNumber(out, end > first ? end - first : 0);
        for (size_t r = first; r < end; ++r)
            putNumber(out, reaching[r] - (r + 1 < reaching.size() ? reaching[r + 1] : 0));
    }
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
        if (flags & StandardSteps) {
            const int quality = int(in.upTo(100));
            if (quality < 1)
                return false;
            counts->steps = standardLuminanceTable(quality);
        } else {
            for (int &step : counts->steps)
                step = int(in.upTo(65535));
        }
        for (size_t k = 1; k < 64 && in.ok; ++k) {
            auto &reaching = counts->reaching[k];
            const size_t first = lowestRung(counts->steps[k]);
            const size_t used = size_t(in.upTo(reaching.size() - first));
            std::vector<quint64> differences(used);
            for (quint64 &difference : differences)
                difference = in.upTo(0xFFFFFFFFu);
            quint64 sum = 0;
            for (size_t r = first + used; r-- > first;) {
                sum += differences[r - first];
                if (sum > 0xFFFFFFFFu)
                    return false;
                reaching[r] = quint32(sum);
            }
            // Below the lowest rung asked for, nothing is kept: as if none were stronger.
            for (size_t r = 0; r < first; ++r)
                reaching[r] = used ? reaching[first] : 0;
        }
        if (!in.ok)
            return false;
        read.counts = counts;
        read.detail = detailAtSteps(read, counts->steps);
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
