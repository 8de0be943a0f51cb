#include "search/notalike.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <unordered_map>

// The file: "LUMONAL1", a 32-bit count, then per pair both looks (192 bytes each), the
// time (64 bits) and both names (a 16-bit length and UTF-8 each), little-endian.

namespace {

constexpr char Magic[] = "LUMONAL1";
constexpr qsizetype MagicSize = 8;
constexpr qsizetype LookSize = pixcore::SignatureValues;
constexpr qsizetype SmallestRecord = 2 * LookSize + 8 + 2 + 2;

struct LookHash {
    size_t operator()(const PictureLook &look) const { return qHashBits(look.data(), look.size()); }
};

bool samePair(const NotAlikePair &pair, const PictureLook &a, const PictureLook &b)
{
    return (pair.first == a && pair.second == b) || (pair.first == b && pair.second == a);
}

void putName(QByteArray &bytes, const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    utf8.truncate(0xFFFF); // a path that long is no path; what is kept names it well enough
    char length[2];
    qToLittleEndian<uint16_t>(uint16_t(utf8.size()), length);
    bytes.append(length, 2);
    bytes.append(utf8);
}

} // namespace

PictureLook pictureLook(const Signature &cells)
{
    PictureLook look;
    for (size_t i = 0; i < look.size(); ++i)
        look[i] = uint8_t(std::clamp<int>(cells[i], 0, 255));
    return look;
}

bool readNotAlike(QIODevice &in, std::vector<NotAlikePair> &pairs)
{
    pairs.clear();
    const QByteArray bytes = in.readAll();
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    if (size < MagicSize + 4 || std::memcmp(data, Magic, MagicSize) != 0)
        return false;
    const uint32_t count = qFromLittleEndian<uint32_t>(data + MagicSize);
    qsizetype at = MagicSize + 4;
    // The count is believed only as far as the bytes can hold it.
    if (count > uint64_t(size - at) / SmallestRecord)
        return false;
    std::vector<NotAlikePair> read(count);
    const auto name = [&](QString &into) {
        if (size - at < 2)
            return false;
        const uint16_t length = qFromLittleEndian<uint16_t>(data + at);
        at += 2;
        if (size - at < length)
            return false;
        into = QString::fromUtf8(data + at, length);
        at += length;
        return true;
    };
    for (NotAlikePair &pair : read) {
        if (size - at < 2 * LookSize + 8)
            return false;
        std::memcpy(pair.first.data(), data + at, LookSize);
        std::memcpy(pair.second.data(), data + at + LookSize, LookSize);
        at += 2 * LookSize;
        pair.marked = qFromLittleEndian<qint64>(data + at);
        at += 8;
        if (!name(pair.firstName) || !name(pair.secondName))
            return false;
    }
    if (at != size)
        return false;
    pairs = std::move(read);
    return true;
}

bool writeNotAlike(QIODevice &out, const std::vector<NotAlikePair> &pairs)
{
    QByteArray bytes(Magic, MagicSize);
    char number[8];
    qToLittleEndian<uint32_t>(uint32_t(pairs.size()), number);
    bytes.append(number, 4);
    for (const NotAlikePair &pair : pairs) {
        bytes.append(reinterpret_cast<const char *>(pair.first.data()), LookSize);
        bytes.append(reinterpret_cast<const char *>(pair.second.data()), LookSize);
        qToLittleEndian<qint64>(pair.marked, number);
        bytes.append(number, 8);
        putName(bytes, pair.firstName);
        putName(bytes, pair.secondName);
    }
    return out.write(bytes) == bytes.size();
}

NotAlikeDecisions::NotAlikeDecisions(QString path)
    : m_path(std::move(path))
{
}

QString NotAlikeDecisions::userFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/lumo/notalike");
}

bool NotAlikeDecisions::load()
{
    m_pairs.clear();
    m_setAside.clear();
    m_unwritable = false;
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (file.open(QIODevice::ReadOnly) && readNotAlike(file, m_pairs))
        return true;
    file.close();
    // Kept for whoever wants to look into it, under a name no other file has.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmss"));
    QString aside = m_path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    if (QFile::rename(m_path, aside))
        m_setAside = aside;
    else
        m_unwritable = true;
    return false;
}

bool NotAlikeDecisions::save() const
{
    if (m_unwritable || !QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QSaveFile out(m_path);
    return out.open(QIODevice::WriteOnly) && writeNotAlike(out, m_pairs) && out.commit();
}

void NotAlikeDecisions::add(const Signature &a, const QString &aName, const Signature &b, const QString &bName,
                            qint64 marked)
{
    NotAlikePair pair{pictureLook(a), pictureLook(b), aName, bName, marked};
    // A pair marked again moves to the end, as the newest.
    std::erase_if(m_pairs, [&pair](const NotAlikePair &known) { return samePair(known, pair.first, pair.second); });
    m_pairs.push_back(std::move(pair));
}

bool NotAlikeDecisions::forget(const Signature &a, const Signature &b)
{
    const PictureLook first = pictureLook(a);
    const PictureLook second = pictureLook(b);
    return std::erase_if(m_pairs, [&](const NotAlikePair &known) { return samePair(known, first, second); }) > 0;
}

void NotAlikeDecisions::forgetAt(std::vector<int> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (auto p = positions.rbegin(); p != positions.rend(); ++p) {
        if (*p >= 0 && *p < int(m_pairs.size()))
            m_pairs.erase(m_pairs.begin() + *p);
    }
}

namespace {

// The entries of each decided look, then every two entries of a decided pair.
template <typename SignatureOf>
std::shared_ptr<const SimilarApart> apartEntries(const std::vector<NotAlikePair> &decided, int count,
                                                 const std::vector<uint8_t> &unnamed, const SignatureOf &signatureOf)
{
    if (decided.empty())
        return nullptr;
    std::unordered_map<PictureLook, std::vector<int>, LookHash> entries;
    entries.reserve(decided.size() * 2);
    for (const NotAlikePair &pair : decided) {
        entries.try_emplace(pair.first);
        entries.try_emplace(pair.second);
    }
    bool any = false;
    for (int i = 0; i < count; ++i) {
        if (i < int(unnamed.size()) && unnamed[i])
            continue;
        const auto found = entries.find(pictureLook(signatureOf(i)));
        if (found != entries.end()) {
            found->second.push_back(i);
            any = true;
        }
    }
    if (!any)
        return nullptr;
    std::vector<std::pair<int, int>> pairs;
    for (const NotAlikePair &pair : decided) {
        for (int a : entries[pair.first]) {
            for (int b : entries[pair.second])
                pairs.emplace_back(a, b);
        }
    }
    if (pairs.empty())
        return nullptr;
    return std::make_shared<const SimilarApart>(count, std::move(pairs));
}

} // namespace

std::shared_ptr<const SimilarApart> NotAlikeDecisions::apartOf(const SimilarCells &cells,
                                                              const std::vector<uint8_t> &unnamed) const
{
    return apartEntries(m_pairs, cells.count(), unnamed, [&cells](int i) { return cells.signature(i); });
}

std::shared_ptr<const SimilarApart> NotAlikeDecisions::apartOf(const SignatureTable &table) const
{
    std::vector<uint8_t> unnamed(table.count());
    for (int i = 0; i < table.count(); ++i)
        unnamed[i] = table.name(i).isEmpty();
    return apartEntries(m_pairs, table.count(), unnamed, [&table](int i) { return table.cells(i); });
}
