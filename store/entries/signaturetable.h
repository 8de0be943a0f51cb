#pragma once
// The catalogue in memory: an ordered table of slots, each a picture's full path and
// its 8 x 8 colour signature. GUI-free, so the command-line tool uses it as well.

#include "sigboxcore_export.h"

#include <pixcore.h>

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

using Signature = std::array<int16_t, pixcore::SignatureValues>;

class SIGBOXCORE_EXPORT SignatureTable
{
public:
    // The most entries one catalogue file holds (its count is 16-bit).
    static constexpr int MaxEntries = 32767;
    // No limit but memory: for a store whose entries are saved in several files.
    static constexpr int Unlimited = INT32_MAX - 1;
    // Upper bound of the byte arrays that carry one signature (bytes 0..191 are used).
    static constexpr int DataUBound = 192;

    SignatureTable(); // one blank slot, at most MaxEntries entries
    explicit SignatureTable(int maxEntries);

    int count() const { return m_count; }
    int slotCount() const { return static_cast<int>(m_names.size()); }
    int maxEntries() const { return m_max; }
    bool isFull() const { return m_count >= m_max; }
    // Room for `entries` without moving them as they come; false when memory has none.
    bool reserve(int entries);

    // Appends an entry at slot count(); false (nothing changed) when the table is full or
    // memory holds no more.
    bool append(const QString &name, const Signature &cells);
    // Bytes in column order (x outer, y inner); needs an upper bound of at least DataUBound.
    bool appendBytes(const QString &name, const QByteArray &bytes);
    // False when the array is too short or index is not below count(); throws
    // std::out_of_range for a negative index.
    bool bytes(int index, QByteArray &out) const;
    bool remove(int index); // throws std::out_of_range for a negative index
    // Removes the entries at these indexes (as the table is now, each once, in the order
    // given), leaving the table, its spare slot included, as remove() one by one would, in
    // one pass instead of one shift per entry. False, nothing changed, when an index is
    // repeated or not below count(); throws std::out_of_range for a negative one.
    bool removeEntries(const std::vector<int> &indexes);
    void clear();           // count 0; slot 0 keeps its stale content

    // Slot access: throws std::out_of_range outside 0 .. slotCount() - 1.
    const QString &name(int index) const;
    const Signature &cells(int index) const;
    int32_t checkValue(int first, int second) const;

    // Replaces the table with `count` + 1 blank slots (used by the catalogue reader).
    void resetBlank(int count);
    void setSlot(int index, const QString &name, const Signature &cells);
    // Takes `other`'s slots in place of these (a table read on a worker); the generation
    // moves past both, so a loop that yielded over either sees the change.
    void replaceWith(SignatureTable &&other);

    // Changes whenever entries may have moved or gone (remove, clear, a load); appending
    // leaves it alone. A loop that yields compares it to know its indexes still hold.
    quint64 generation() const { return m_generation; }

    // All signatures, slot by slot, for comparison loops that want them contiguous.
    const std::vector<Signature> &allCells() const { return m_cells; }

private:
    void checkSlot(int index) const;
    void ensureSlot(int index);

    int m_count = 0;
    int m_max = MaxEntries;
    quint64 m_generation = 0;
    std::vector<QString> m_names;
    std::vector<Signature> m_cells;
};
