#include "search/notalike.h"

#include "files/regularfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The file: "LUMONAL2", then records one after another up to the end. A record: "NAPR",
// both names' lengths (16 bits each), both looks' hashes, the time (64 bits), both names
// (UTF-8), then a checksum of everything from the lengths to the last name's end (32 bits);
// little-endian. The tag lets a reader find the next record after a damaged one.
// The older form "LUMONAL1": a 32-bit count, then per pair both looks (192 bytes each), the
// time and both names (a 16-bit length and UTF-8 each).

namespace {

constexpr char Magic[] = "LUMONAL2";
constexpr char OldMagic[] = "LUMONAL1";
constexpr size_t MagicSize = 8;
constexpr char Tag[] = "NAPR";
constexpr size_t TagSize = 4;
constexpr size_t FixedSize = 2 + 2 + 8 + 8 + 8; // after the tag, before the names
constexpr size_t CheckSize = 4;
constexpr size_t LookSize = pixcore::SignatureValues;
constexpr size_t OldSmallestRecord = 2 * LookSize + 8 + 2 + 2;
constexpr size_t ChunkSize = size_t(1) << 20;

inline uint64_t rotl(uint64_t v, int r) { return (v << r) | (v >> (64 - r)); }

// A 64-bit hash of bytes, the same on every processor and in every build: looks are stored
// by it. Eight bytes a step, then a final mixing so that every input bit reaches every
// output bit.
uint64_t hashBytes(const unsigned char *data, size_t size)
{
    constexpr uint64_t P1 = 0x9E3779B185EBCA87ull, P2 = 0xC2B2AE3D27D4EB4Full, P3 = 0x165667B19E3779F9ull,
                       P4 = 0x85EBCA77C2B2AE63ull;
    uint64_t h = P3 ^ (uint64_t(size) * P1);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        word = qFromLittleEndian(word);
        h ^= rotl(word * P2, 31) * P1;
        h = rotl(h, 27) * P1 + P4;
    }
    for (; i < size; ++i) {
        h ^= uint64_t(data[i]) * P3;
        h = rotl(h, 11) * P1;
    }
    h ^= h >> 33;
    h *= P2;
    h ^= h >> 29;
    h *= P3;
    h ^= h >> 32;
    return h;
}

uint32_t checksum(const char *data, size_t size)
{
    return uint32_t(hashBytes(reinterpret_cast<const unsigned char *>(data), size));
}

NotAlikeDecisions::PairKey keyOf(LookKey a, LookKey b) { return {std::min(a, b), std::max(a, b)}; }

// One record as read, its names still bytes of the file.
struct RecordView {
    LookKey first;
    LookKey second;
    qint64 marked;
    const char *firstName;
    uint16_t firstLength;
    const char *secondName;
    uint16_t secondLength;
};

// A file read a megabyte at a time, so that a large one never stands in memory whole.
class Stream
{
public:
    explicit Stream(QIODevice &in) : m_in(in), m_bytes(ChunkSize) {}

    // At least n bytes from here on, reading more when needed; false when the file ends first.
    bool need(size_t n)
    {
        if (m_end - m_at >= n)
            return true;
        if (m_ended)
            return false;
        std::memmove(m_bytes.data(), m_bytes.data() + m_at, m_end - m_at);
        m_end -= m_at;
        m_at = 0;
        if (m_bytes.size() < n)
            m_bytes.resize(std::max(n, 2 * m_bytes.size()));
        while (m_end < n) {
            const qint64 got = m_in.read(m_bytes.data() + m_end, qint64(m_bytes.size() - m_end));
            if (got <= 0) {
                m_ended = true;
                break;
            }
            m_end += size_t(got);
        }
        return m_end - m_at >= n;
    }
    const char *at() const { return m_bytes.data() + m_at; }
    size_t available() const { return m_end - m_at; }
    void skip(size_t n) { m_at += n; }
    // Moves to the next tag, false when there is none before the end.
    bool seek(const char *tag, size_t size)
    {
        for (;;) {
            if (!need(size))
                return false;
            const void *found = ::memmem(at(), available(), tag, size);
            if (found) {
                m_at = size_t(static_cast<const char *>(found) - m_bytes.data());
                return true;
            }
            // A tag may begin in the last bytes read.
            skip(available() - (size - 1));
            if (m_ended)
                return false;
            need(available() + 1);
        }
    }

private:
    QIODevice &m_in;
    std::vector<char> m_bytes;
    size_t m_at = 0;
    size_t m_end = 0;
    bool m_ended = false;
};

// The current form: every whole record reaches `take`; a stretch of damaged bytes between
// whole records counts once in `dropped`.
template <typename Take>
void readRecords(Stream &in, int &dropped, const Take &take)
{
    bool damaged = false;
    const auto damage = [&] {
        if (!damaged)
            ++dropped;
        damaged = true;
    };
    while (in.need(1)) {
        if (!in.need(TagSize) || std::memcmp(in.at(), Tag, TagSize) != 0) {
            damage();
            in.skip(1);
            if (!in.seek(Tag, TagSize))
                break;
            continue;
        }
        uint16_t lengths[2] = {0, 0};
        bool whole = in.need(TagSize + FixedSize);
        if (whole) {
            lengths[0] = qFromLittleEndian<uint16_t>(in.at() + TagSize);
            lengths[1] = qFromLittleEndian<uint16_t>(in.at() + TagSize + 2);
        }
        const size_t body = FixedSize + lengths[0] + lengths[1];
        whole = whole && in.need(TagSize + body + CheckSize)
            && checksum(in.at() + TagSize, body) == qFromLittleEndian<uint32_t>(in.at() + TagSize + body);
        if (!whole) {
            damage();
            in.skip(1);
            if (!in.seek(Tag, TagSize))
                break;
            continue;
        }
        const char *field = in.at() + TagSize + 4;
        const char *names = in.at() + TagSize + FixedSize;
        take(RecordView{qFromLittleEndian<uint64_t>(field), qFromLittleEndian<uint64_t>(field + 8),
                        qFromLittleEndian<qint64>(field + 16), names, lengths[0], names + lengths[0], lengths[1]});
        in.skip(TagSize + body + CheckSize);
        damaged = false;
    }
}

// The older form, whole or not at all: false for a record cut short or bytes after the last.
template <typename Take>
bool readOldRecords(Stream &in, qint64 fileSize, const Take &take)
{
    if (!in.need(4))
        return false;
    const uint32_t count = qFromLittleEndian<uint32_t>(in.at());
    in.skip(4);
    // The count is believed only as far as the bytes can hold it.
    if (fileSize >= 0 && count > uint64_t(std::max<qint64>(fileSize - qint64(MagicSize) - 4, 0)) / OldSmallestRecord)
        return false;
    for (uint32_t p = 0; p < count; ++p) {
        if (!in.need(2 * LookSize + 8 + 2))
            return false;
        const auto *looks = reinterpret_cast<const unsigned char *>(in.at());
        RecordView record{hashBytes(looks, LookSize), hashBytes(looks + LookSize, LookSize),
                          qFromLittleEndian<qint64>(in.at() + 2 * LookSize), nullptr, 0, nullptr, 0};
        in.skip(2 * LookSize + 8);
        // Both names are copied out before the stream moves on to the second.
        QByteArray names[2];
        for (QByteArray &name : names) {
            if (!in.need(2))
                return false;
            const uint16_t length = qFromLittleEndian<uint16_t>(in.at());
            if (!in.need(2 + size_t(length)))
                return false;
            name = QByteArray(in.at() + 2, length);
            in.skip(2 + size_t(length));
        }
        record.firstName = names[0].constData();
        record.firstLength = uint16_t(names[0].size());
        record.secondName = names[1].constData();
        record.secondLength = uint16_t(names[1].size());
        take(record);
    }
    return !in.need(1);
}

// Reads either form; false when it is neither.
template <typename Take>
bool readFile(QIODevice &in, int &dropped, const Take &take)
{
    dropped = 0;
    Stream stream(in);
    if (!stream.need(MagicSize))
        return false;
    if (std::memcmp(stream.at(), Magic, MagicSize) == 0) {
        stream.skip(MagicSize);
        readRecords(stream, dropped, take);
        return true;
    }
    if (std::memcmp(stream.at(), OldMagic, MagicSize) == 0) {
        stream.skip(MagicSize);
        return readOldRecords(stream, in.isSequential() ? -1 : in.size(), take);
    }
    return false;
}

QByteArray nameBytes(const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    utf8.truncate(0xFFFF); // a path that long is no path; what is kept names it well enough
    return utf8;
}

// Records gathered a megabyte at a time and written out; false once a write fails.
class RecordWriter
{
public:
    explicit RecordWriter(QIODevice &out) : m_out(out) { m_bytes.append(Magic, MagicSize); }

    void put(LookKey first, LookKey second, qint64 marked, const char *firstName, uint16_t firstLength,
             const char *secondName, uint16_t secondLength)
    {
        const qsizetype start = m_bytes.size();
        char fixed[TagSize + FixedSize];
        std::memcpy(fixed, Tag, TagSize);
        qToLittleEndian<uint16_t>(firstLength, fixed + TagSize);
        qToLittleEndian<uint16_t>(secondLength, fixed + TagSize + 2);
        qToLittleEndian<uint64_t>(first, fixed + TagSize + 4);
        qToLittleEndian<uint64_t>(second, fixed + TagSize + 12);
        qToLittleEndian<qint64>(marked, fixed + TagSize + 20);
        m_bytes.append(fixed, sizeof fixed);
        m_bytes.append(firstName, firstLength);
        m_bytes.append(secondName, secondLength);
        char check[CheckSize];
        qToLittleEndian<uint32_t>(checksum(m_bytes.constData() + start + TagSize, m_bytes.size() - start - TagSize),
                                  check);
        m_bytes.append(check, CheckSize);
        if (size_t(m_bytes.size()) >= ChunkSize)
            flush();
    }
    bool finish()
    {
        flush();
        return m_ok;
    }

private:
    void flush()
    {
        if (m_ok && !m_bytes.isEmpty())
            m_ok = m_out.write(m_bytes) == m_bytes.size();
        m_bytes.clear();
    }

    QIODevice &m_out;
    QByteArray m_bytes;
    bool m_ok = true;
};

// Both names of a held pair: where each starts in `names` and its length.
struct HeldNames {
    const char *first = "";
    uint16_t firstLength = 0;
    const char *second = "";
    uint16_t secondLength = 0;
};

HeldNames heldNames(const std::string &names, uint32_t at)
{
    HeldNames result;
    if (size_t(at) + 4 > names.size())
        return result;
    result.firstLength = qFromLittleEndian<uint16_t>(names.data() + at);
    result.first = names.data() + at + 2;
    result.secondLength = qFromLittleEndian<uint16_t>(result.first + result.firstLength);
    result.second = result.first + result.firstLength + 2;
    return result;
}

// Holds an exclusive lock on the decisions for as long as it lives: a lock file beside them,
// since the decisions file itself is replaced by every save. Waits ten seconds at most.
class DecisionsLock
{
public:
    explicit DecisionsLock(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                      0600);
        if (m_fd < 0)
            return;
        for (int waited = 0; ::flock(m_fd, LOCK_EX | LOCK_NB) != 0; waited += 10) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= 10000) {
                m_busy = errno == EWOULDBLOCK;
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~DecisionsLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool held() const { return m_fd >= 0; }
    bool busy() const { return m_busy; }

private:
    int m_fd = -1;
    bool m_busy = false;
};

// Renames a file that is no decisions file out of the way, under a name no other file has.
QString setFileAside(const QString &path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmss"));
    QString aside = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    return QFile::rename(path, aside) ? aside : QString();
}

} // namespace

namespace {

template <typename Seen>
Seen seenFile(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return {uint64_t(status.st_dev), uint64_t(status.st_ino), int64_t(status.st_size),
            int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

} // namespace

// Held pairs and their names, as read from a file or merged for one.
struct NotAlikeDecisions::Stored {
    std::vector<Held> held;
    std::string names;
    bool keepNames = true;

    void take(const RecordView &record)
    {
        held.push_back({record.first, record.second, record.marked, uint32_t(names.size())});
        if (keepNames)
            appendNames(record.firstName, record.firstLength, record.secondName, record.secondLength);
    }
    void appendNames(const char *first, uint16_t firstLength, const char *second, uint16_t secondLength)
    {
        char length[2];
        qToLittleEndian<uint16_t>(firstLength, length);
        names.append(length, 2);
        names.append(first, firstLength);
        qToLittleEndian<uint16_t>(secondLength, length);
        names.append(length, 2);
        names.append(second, secondLength);
    }
};

size_t NotAlikeDecisions::PairKeyHash::operator()(const PairKey &key) const
{
    return size_t(key.low ^ rotl(key.high, 29) * 0x9E3779B97F4A7C15ull);
}

LookKey lookKey(const Signature &cells)
{
    unsigned char look[LookSize];
    for (size_t i = 0; i < LookSize; ++i)
        look[i] = uint8_t(std::clamp<int>(cells[i], 0, 255));
    return hashBytes(look, LookSize);
}

bool readNotAlike(QIODevice &in, std::vector<NotAlikePair> &pairs, int *dropped)
{
    pairs.clear();
    int lost = 0;
    std::vector<NotAlikePair> read;
    const bool ok = readFile(in, lost, [&read](const RecordView &record) {
        read.push_back({record.first, record.second, QString::fromUtf8(record.firstName, record.firstLength),
                        QString::fromUtf8(record.secondName, record.secondLength), record.marked});
    });
    if (dropped)
        *dropped = ok ? lost : 0;
    if (ok)
        pairs = std::move(read);
    return ok;
}

bool writeNotAlike(QIODevice &out, const std::vector<NotAlikePair> &pairs)
{
    RecordWriter writer(out);
    for (const NotAlikePair &pair : pairs) {
        const QByteArray first = nameBytes(pair.firstName);
        const QByteArray second = nameBytes(pair.secondName);
        writer.put(pair.first, pair.second, pair.marked, first.constData(), uint16_t(first.size()),
                   second.constData(), uint16_t(second.size()));
    }
    return writer.finish();
}

NotAlikeDecisions::NotAlikeDecisions(QString path)
    : m_path(std::move(path))
{
}

QString NotAlikeDecisions::userFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/lumo/notalike");
}

bool NotAlikeDecisions::load(Names names)
{
    m_held.clear();
    m_nameBytes.clear();
    m_added.clear();
    m_addedAt.clear();
    m_folded = 0;
    m_forgotten.clear();
    m_setAside.clear();
    m_dropped = 0;
    m_names = names == Names::Kept;
    m_loadStatus = NotAlikeLoad::Read;
    m_seen = {};
    QFile file;
    switch (openRegularFile(file, m_path)) {
    case RegularFile::Missing:
        return true;
    case RegularFile::Opened:
        break;
    default:
        m_loadStatus = NotAlikeLoad::Unreadable;
        return false;
    }
    Stored read;
    read.keepNames = m_names;
    const Seen seen = seenFile<Seen>(m_path);
    if (readFile(file, m_dropped, [&read](const RecordView &record) { read.take(record); })) {
        if (m_names && m_dropped == 0)
            m_seen = seen;
        m_held = std::move(read.held);
        m_nameBytes = std::move(read.names);
        m_loadStatus = m_dropped > 0 ? NotAlikeLoad::Repaired : NotAlikeLoad::Read;
        return true;
    }
    file.close();
    // Kept for whoever wants to look into it.
    m_setAside = setFileAside(m_path);
    m_loadStatus = m_setAside.isEmpty() ? NotAlikeLoad::Stuck : NotAlikeLoad::SetAside;
    return false;
}

bool NotAlikeDecisions::save()
{
    m_saveStatus = NotAlikeSave::Refused;
    if (m_loadStatus == NotAlikeLoad::Unreadable || m_loadStatus == NotAlikeLoad::Stuck)
        return false;
    m_saveStatus = NotAlikeSave::NotWritten;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    // The pictures' paths are the user's own business.
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    const DecisionsLock lock(m_path + QStringLiteral(".lock"));
    if (!lock.held()) {
        m_saveStatus = lock.busy() ? NotAlikeSave::Busy : NotAlikeSave::NotWritten;
        return false;
    }

    // What is on disk now, written by whoever saved last; when that is still what this
    // holder read or wrote, its own pairs are it with its changes already applied.
    Stored merged;
    if (m_seen.size >= 0 && seenFile<Seen>(m_path) == m_seen) {
        fold();
        merged.held = m_held;
        merged.names = m_nameBytes;
    } else if (!mergeWithDisk(merged)) {
        return false;
    }
    QSaveFile out(m_path);
    out.setDirectWriteFallback(false);
    // Unbuffered, so a full disk fails the write itself: the commit of a buffered file does
    // not notice a failed flush (Qt 6.4) and would put a cut-off file in place of the old.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    ::fchmod(out.handle(), 0600);
    RecordWriter writer(out);
    for (const Held &pair : merged.held) {
        const HeldNames names = heldNames(merged.names, pair.names);
        writer.put(pair.first, pair.second, pair.marked, names.first, names.firstLength, names.second,
                   names.secondLength);
    }
    if (!writer.finish() || out.error() != QFileDevice::NoError || !out.commit())
        return false;
    m_seen = seenFile<Seen>(m_path);

    m_held = std::move(merged.held);
    m_nameBytes = std::move(merged.names);
    m_names = true;
    m_added.clear();
    m_addedAt.clear();
    m_folded = 0;
    m_forgotten.clear();
    m_saveStatus = NotAlikeSave::Saved;
    return true;
}

bool NotAlikeDecisions::mergeWithDisk(Stored &merged)
{
    Stored disk;
    int dropped = 0;
    QFile file;
    switch (openRegularFile(file, m_path)) {
    case RegularFile::Missing:
        break;
    case RegularFile::Opened:
        if (!readFile(file, dropped, [&disk](const RecordView &record) { disk.take(record); })) {
            file.close();
            disk = {};
            m_setAside = setFileAside(m_path);
            if (m_setAside.isEmpty()) {
                m_saveStatus = NotAlikeSave::Refused;
                return false;
            }
        }
        file.close();
        break;
    default:
        m_saveStatus = NotAlikeSave::Refused;
        return false;
    }
    merged.held.reserve(disk.held.size() + m_added.size());
    for (const Held &pair : disk.held) {
        const PairKey key = keyOf(pair.first, pair.second);
        if (m_forgotten.contains(key) || m_addedAt.contains(key))
            continue;
        const HeldNames names = heldNames(disk.names, pair.names);
        merged.held.push_back({pair.first, pair.second, pair.marked, uint32_t(merged.names.size())});
        merged.appendNames(names.first, names.firstLength, names.second, names.secondLength);
    }
    for (const Added &added : m_added) {
        if (!added.live)
            continue;
        const QByteArray first = nameBytes(added.pair.firstName);
        const QByteArray second = nameBytes(added.pair.secondName);
        merged.held.push_back({added.pair.first, added.pair.second, added.pair.marked, uint32_t(merged.names.size())});
        merged.appendNames(first.constData(), uint16_t(first.size()), second.constData(), uint16_t(second.size()));
    }
    return true;
}

void NotAlikeDecisions::fold() const
{
    if (m_folded == m_added.size())
        return;
    std::unordered_set<PairKey, PairKeyHash> fresh;
    for (size_t a = m_folded; a < m_added.size(); ++a) {
        if (m_added[a].live)
            fresh.insert(keyOf(m_added[a].pair.first, m_added[a].pair.second));
    }
    if (!fresh.empty()) {
        std::erase_if(m_held, [&fresh](const Held &pair) { return fresh.contains(keyOf(pair.first, pair.second)); });
    }
    Stored appended;
    appended.names = std::move(m_nameBytes);
    for (size_t a = m_folded; a < m_added.size(); ++a) {
        if (!m_added[a].live)
            continue;
        const NotAlikePair &pair = m_added[a].pair;
        const QByteArray first = nameBytes(pair.firstName);
        const QByteArray second = nameBytes(pair.secondName);
        m_held.push_back({pair.first, pair.second, pair.marked, uint32_t(appended.names.size())});
        appended.appendNames(first.constData(), uint16_t(first.size()), second.constData(), uint16_t(second.size()));
    }
    m_nameBytes = std::move(appended.names);
    m_folded = m_added.size();
}

std::vector<NotAlikePair> NotAlikeDecisions::pairs() const
{
    fold();
    std::vector<NotAlikePair> all;
    all.reserve(m_held.size());
    for (const Held &pair : m_held) {
        const HeldNames names = m_names ? heldNames(m_nameBytes, pair.names) : HeldNames{};
        all.push_back({pair.first, pair.second, QString::fromUtf8(names.first, names.firstLength),
                       QString::fromUtf8(names.second, names.secondLength), pair.marked});
    }
    return all;
}

size_t NotAlikeDecisions::size() const
{
    fold();
    return m_held.size();
}

void NotAlikeDecisions::add(const Signature &a, const QString &aName, const Signature &b, const QString &bName,
                            qint64 marked)
{
    NotAlikePair pair{lookKey(a), lookKey(b), aName, bName, marked};
    const PairKey key = keyOf(pair.first, pair.second);
    m_forgotten.erase(key);
    const auto [at, fresh] = m_addedAt.try_emplace(key, m_added.size());
    if (!fresh) {
        m_added[at->second].live = false;
        at->second = m_added.size();
    }
    m_added.push_back({std::move(pair), true});
}

void NotAlikeDecisions::forgetKeys(const std::unordered_set<PairKey, PairKeyHash> &keys)
{
    std::erase_if(m_held, [&keys](const Held &pair) { return keys.contains(keyOf(pair.first, pair.second)); });
    for (const PairKey &key : keys) {
        m_forgotten.insert(key);
        const auto added = m_addedAt.find(key);
        if (added != m_addedAt.end()) {
            m_added[added->second].live = false;
            m_addedAt.erase(added);
        }
    }
}

bool NotAlikeDecisions::forget(const Signature &a, const Signature &b)
{
    fold();
    const PairKey key = keyOf(lookKey(a), lookKey(b));
    const bool known = std::any_of(m_held.begin(), m_held.end(),
                                   [&key](const Held &pair) { return keyOf(pair.first, pair.second) == key; });
    if (known)
        forgetKeys({key});
    return known;
}

void NotAlikeDecisions::forgetAt(std::vector<int> positions)
{
    fold();
    std::unordered_set<PairKey, PairKeyHash> keys;
    for (int p : positions) {
        if (p >= 0 && size_t(p) < m_held.size())
            keys.insert(keyOf(m_held[size_t(p)].first, m_held[size_t(p)].second));
    }
    forgetKeys(keys);
}

void NotAlikeDecisions::clear()
{
    fold();
    std::unordered_set<PairKey, PairKeyHash> keys;
    for (const Held &pair : m_held)
        keys.insert(keyOf(pair.first, pair.second));
    forgetKeys(keys);
}

namespace {

// Each entry's look looked up among the decided ones: the entries of one look form a class,
// and a decided pair keeps two classes apart (or a class from itself, for exact copies).
// The work goes with the entries and the decisions, never with their product.
template <typename SignatureOf>
std::shared_ptr<const SimilarApart> apartEntries(const std::vector<NotAlikeDecisions::Held> &decided, int count,
                                                 const std::vector<uint8_t> &unnamed, const SignatureOf &signatureOf)
{
    if (decided.empty() || count <= 0)
        return nullptr;
    std::vector<LookKey> looks(size_t(count), 0);
    std::vector<uint8_t> named(size_t(count), 0);
    std::unordered_map<LookKey, int> classes; // the catalogue's looks; -1 until a decision names one
    for (int i = 0; i < count; ++i) {
        if (i < int(unnamed.size()) && unnamed[size_t(i)])
            continue;
        looks[size_t(i)] = lookKey(signatureOf(i));
        named[size_t(i)] = 1;
        classes.try_emplace(looks[size_t(i)], -1);
    }
    int classCount = 0;
    std::vector<std::pair<int, int>> apart;
    for (const NotAlikeDecisions::Held &pair : decided) {
        const auto first = classes.find(pair.first);
        const auto second = classes.find(pair.second);
        if (first == classes.end() || second == classes.end())
            continue;
        for (int *cls : {&first->second, &second->second}) {
            if (*cls < 0)
                *cls = classCount++;
        }
        apart.emplace_back(first->second, second->second);
    }
    if (apart.empty())
        return nullptr;
    std::vector<int> classOf(size_t(count), -1);
    for (int i = 0; i < count; ++i) {
        if (named[size_t(i)])
            classOf[size_t(i)] = classes[looks[size_t(i)]];
    }
    return std::make_shared<const SimilarApart>(std::move(classOf), classCount, std::move(apart));
}

} // namespace

std::shared_ptr<const SimilarApart> NotAlikeDecisions::apartOf(const SimilarCells &cells,
                                                              const std::vector<uint8_t> &unnamed) const
{
    fold();
    return apartEntries(m_held, cells.count(), unnamed, [&cells](int i) { return cells.signature(i); });
}

std::shared_ptr<const SimilarApart> NotAlikeDecisions::apartOf(const SignatureTable &table) const
{
    fold();
    std::vector<uint8_t> unnamed(size_t(table.count()));
    for (int i = 0; i < table.count(); ++i)
        unnamed[size_t(i)] = table.name(i).isEmpty();
    return apartEntries(m_held, table.count(), unnamed, [&table](int i) { return table.cells(i); });
}
