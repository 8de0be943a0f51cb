// The catalogue reader on arbitrary bytes: it never crashes, its result says what the
// table holds, and whatever it read is written back and read again unchanged.

#include "catalogue/catalogue.h"

#include <QBuffer>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t RecordCellBytes = pixcore::SignatureValues * 2;

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "catalogue reader: %s\n", what);
        std::abort();
    }
}

CatalogueResult read(const QByteArray &bytes, SignatureTable &table)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readCatalogue(buffer, table);
}

// An independent walk of the records: does any entry hold a cell outside 0..255 before
// the file ends? Only such a file may be refused as not a catalogue.
bool holdsForeignCell(const uint8_t *data, size_t size, int count)
{
    size_t at = 2;
    for (int slot = 0; slot < count && at < size; ++slot) {
        const size_t cellsEnd = std::min(size, at + size_t(RecordCellBytes));
        for (size_t i = at; i + 1 < cellsEnd; i += 2) {
            const int value = qFromLittleEndian<int16_t>(data + i);
            if (value < 0 || value > 255)
                return true;
        }
        if (at + RecordCellBytes + 2 > size)
            return false;
        at += RecordCellBytes;
        at += 2 + qFromLittleEndian<uint16_t>(data + at);
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    SignatureTable table;
    const CatalogueResult result = read(bytes, table);

    if (size < 2) {
        require(result.status == CatalogueStatus::TooShort, "a file without a count is not too short");
        require(table.count() == 0 && table.slotCount() == 1, "a failed read leaves more than an empty table");
        return 0;
    }
    const int count = qFromLittleEndian<int16_t>(data);
    if (count < 0) {
        require(result.status == CatalogueStatus::BadCount, "a negative count is not refused");
        require(table.count() == 0 && table.slotCount() == 1, "a failed read leaves more than an empty table");
        return 0;
    }
    if (result.status == CatalogueStatus::NotCatalogue) {
        require(holdsForeignCell(data, size, count), "a catalogue with cells in 0..255 refused");
        require(table.count() == 0 && table.slotCount() == 1, "a failed read leaves more than an empty table");
        return 0;
    }
    require(!result.failed(), "a file with a count failed");
    require(result.entryCount == count && table.count() == count, "the count read differs from the file's");
    require(table.slotCount() == count + 1, "the table is not count + 1 slots");
    require(result.recordsRead >= 0 && result.recordsRead <= count + 1, "more records read than slots");
    // The spare slot after the entries may be missing or cut without harm to any entry.
    require(result.damaged() == (result.recordsRead < count), "damage does not say whether every entry was read");
    require(result.status != CatalogueStatus::Ok || result.recordsRead >= count, "Ok with entries missing");
    require(result.status != CatalogueStatus::ShortRecords || result.recordsRead < count,
            "short records reported with every entry read");
    for (int slot = result.recordsRead; slot < table.slotCount(); ++slot)
        require(table.name(slot).isEmpty() && table.cells(slot) == Signature{}, "a slot not read is not blank");

    // What was read survives a save and a load. A name too long for its 16-bit length
    // once re-encoded makes the write fail instead, which is a save error the user sees.
    // Thousands of blank slots tell nothing new and would slow the search tenfold.
    if (table.slotCount() > 4096)
        return 0;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!writeCatalogue(out, table))
        return 0;
    SignatureTable again;
    const CatalogueResult reread = read(out.data(), again);
    require(reread.status == CatalogueStatus::Ok && reread.recordsRead == table.slotCount(),
            "a written catalogue does not read back whole");
    require(again.count() == table.count(), "the count changed on the way back");
    for (int slot = 0; slot < table.slotCount(); ++slot) {
        require(again.name(slot) == table.name(slot), "a name changed on the way back");
        require(again.cells(slot) == table.cells(slot), "a signature changed on the way back");
    }
    return 0;
}
