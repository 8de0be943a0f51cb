#include "catalogue/catalogue.h"

#include "files/regularfile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtEndian>

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int CellBytes = pixcore::SignatureValues * 2;

// Code page 932 through the C library's converter (Qt's own converters know only Unicode).
QString decodeCp932(const QByteArray &bytes)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes);
    QByteArray out(bytes.size() * 3 + 4, '\0');
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = bytes.size();
    char *dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            break;
        // An invalid or incomplete sequence: one replacement character, then go on.
        ++in;
        --inLeft;
        if (outLeft < 3)
            break;
        std::memcpy(dst, "\xEF\xBF\xBD", 3);
        dst += 3;
        outLeft -= 3;
    }
    iconv_close(cd);
    out.truncate(dst - out.data());
    return QString::fromUtf8(out);
}

CatalogueResult failure(SignatureTable &table, CatalogueStatus status)
{
    table.resetBlank(0);
    CatalogueResult result;
    result.status = status;
    return result;
}

} // namespace

QString decodeCatalogueName(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = utf8.decode(bytes);
    if (!utf8.hasError())
        return name;
    return decodeCp932(bytes);
}

bool writeCatalogue(QIODevice &out, const SignatureTable &table)
{
    if (table.count() > SignatureTable::MaxEntries)
        return false; // a count the format cannot carry
    QByteArray data;
    data.reserve(2 + table.slotCount() * (CellBytes + 2 + 64));
    auto put16 = [&data](int v) {
        const uint16_t le = qToLittleEndian(static_cast<uint16_t>(v));
        data.append(reinterpret_cast<const char *>(&le), 2);
    };
    put16(table.count());
    for (int slot = 0; slot < table.slotCount(); ++slot) {
        const Signature &cells = table.cells(slot);
        for (int16_t v : cells)
            put16(v);
        const QByteArray name = table.name(slot).toUtf8();
        if (name.size() > 0xFFFF)
            return false; // a length the format cannot carry
        put16(name.size());
        data.append(name);
    }
    return out.write(data) == data.size();
}

CatalogueResult readCatalogue(QIODevice &in, SignatureTable &table)
{
    uchar countBytes[2];
    if (in.read(reinterpret_cast<char *>(countBytes), 2) != 2)
        return failure(table, CatalogueStatus::TooShort);
    const int count = qFromLittleEndian<int16_t>(countBytes);
    if (count < 0)
        return failure(table, CatalogueStatus::BadCount);

    table.resetBlank(count);
    CatalogueResult result;
    result.entryCount = count;
    QByteArray cellBytes(CellBytes, '\0');
    for (int slot = 0; slot <= count; ++slot) {
        const bool entry = slot < count; // the slot at count is the spare: never judged
        const qint64 got = in.read(cellBytes.data(), CellBytes);
        if (got <= 0) {
            if (entry)
                result.status = CatalogueStatus::ShortRecords;
            break;
        }
        // Every catalogue holds 0..255 in its cells: a text file, a picture or noise opened
        // by mistake fails here instead of being taken for a damaged catalogue (and later
        // overwritten with one).
        for (qint64 i = 0; entry && i < got / 2; ++i) {
            const int16_t value = qFromLittleEndian<int16_t>(cellBytes.constData() + 2 * i);
            if (value < 0 || value > 255)
                return failure(table, CatalogueStatus::NotCatalogue);
        }
        uchar lengthBytes[2];
        if (got != CellBytes || in.read(reinterpret_cast<char *>(lengthBytes), 2) != 2) {
            if (entry)
                result.status = CatalogueStatus::CutRecord;
            break;
        }
        const int length = qFromLittleEndian<uint16_t>(lengthBytes);
        const QByteArray name = in.read(length);
        if (name.size() != length) {
            if (entry)
                result.status = CatalogueStatus::CutRecord;
            break;
        }
        Signature cells;
        for (int i = 0; i < pixcore::SignatureValues; ++i)
            cells[i] = qFromLittleEndian<int16_t>(cellBytes.constData() + 2 * i);
        table.setSlot(slot, decodeCatalogueName(name), cells);
        result.recordsRead = slot + 1;
    }
    return result;
}

CatalogueResult saveCatalogue(const QString &path, const SignatureTable &table)
{
    CatalogueResult result;
    result.entryCount = table.count();
    result.recordsRead = table.slotCount();
    QSaveFile out(path);
    out.setDirectWriteFallback(false);
    // Unbuffered, so a full disk fails the write itself: the commit of a buffered file does
    // not notice a failed flush (Qt 6.4) and would put a cut-off catalogue in place of the old.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeCatalogue(out, table)
        || out.error() != QFileDevice::NoError || !out.commit())
        result.status = CatalogueStatus::WriteFailed;
    return result;
}

bool openCatalogueFile(QFile &in, const QString &path)
{
    return openRegularFile(in, path) == RegularFile::Opened;
}

CatalogueResult loadCatalogue(const QString &path, SignatureTable &table)
{
    QFile in;
    if (!openCatalogueFile(in, path))
        return failure(table, CatalogueStatus::OpenFailed);
    return readCatalogue(in, table);
}
