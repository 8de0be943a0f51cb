#include "entries/signaturetable.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>
#include <string>

SignatureTable::SignatureTable()
    : m_names(1)
    , m_cells(1, Signature{})
{
}

SignatureTable::SignatureTable(int maxEntries)
    : SignatureTable()
{
    m_max = maxEntries;
}

bool SignatureTable::reserve(int entries)
{
    try {
        m_names.reserve(size_t(entries) + 1);
        m_cells.reserve(size_t(entries) + 1);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void SignatureTable::checkSlot(int index) const
{
    if (index < 0 || index >= slotCount())
        throw std::out_of_range("catalogue slot " + std::to_string(index) + " outside 0.."
                                + std::to_string(slotCount() - 1));
}

void SignatureTable::ensureSlot(int index)
{
    if (index >= slotCount()) {
        m_names.resize(index + 1);
        m_cells.resize(index + 1, Signature{});
    }
}

bool SignatureTable::append(const QString &name, const Signature &cells)
{
    if (isFull())
        return false;
    try {
        ensureSlot(m_count);
    } catch (const std::bad_alloc &) {
        return false;
    }
    m_names[m_count] = name;
    m_cells[m_count] = cells;
    ++m_count;
    return true;
}

bool SignatureTable::appendBytes(const QString &name, const QByteArray &bytes)
{
    if (bytes.size() - 1 < DataUBound || isFull())
        return false;
    // Bytes come column by column: cell (x, y) at 3 * (8x + y); cells are kept row by row.
    Signature cells{};
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            for (int c = 0; c < 3; ++c)
                cells[3 * (8 * y + x) + c] = static_cast<uint8_t>(bytes[3 * (8 * x + y) + c]);
        }
    }
    return append(name, cells);
}

bool SignatureTable::bytes(int index, QByteArray &out) const
{
    if (index < 0)
        checkSlot(index);
    if (out.size() - 1 < DataUBound || index >= m_count)
        return false;
    const Signature &cells = m_cells[index];
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            for (int c = 0; c < 3; ++c)
                out[3 * (8 * x + y) + c] = static_cast<char>(cells[3 * (8 * y + x) + c]);
        }
    }
    return true;
}

bool SignatureTable::remove(int index)
{
    if (index < 0)
        checkSlot(index);
    if (index >= m_count)
        return false;
    for (int k = index; k < m_count - 1; ++k) {
        m_names[k] = m_names[k + 1];
        m_cells[k] = m_cells[k + 1];
    }
    --m_count;
    ++m_generation;
    // The slot that held the last entry stays behind as the spare, stale content and all.
    m_names.resize(m_count + 1);
    m_cells.resize(m_count + 1);
    return true;
}

bool SignatureTable::removeEntries(const std::vector<int> &indexes)
{
    if (indexes.empty())
        return true;
    std::vector<char> gone(size_t(m_count), 0);
    for (int index : indexes) {
        if (index < 0)
            checkSlot(index);
        if (index >= m_count || gone[size_t(index)])
            return false;
        gone[size_t(index)] = 1;
    }
    // One by one, each removal leaves the entry that was last before it in the spare slot:
    // after the final one, the last of the survivors and the finally removed entry.
    int spare = indexes.back();
    for (int k = m_count - 1; k > spare; --k) {
        if (!gone[size_t(k)]) {
            spare = k;
            break;
        }
    }
    const QString spareName = m_names[size_t(spare)];
    const Signature spareCells = m_cells[size_t(spare)];
    int kept = 0;
    for (int k = 0; k < m_count; ++k) {
        if (gone[size_t(k)])
            continue;
        if (kept != k) {
            m_names[size_t(kept)] = std::move(m_names[size_t(k)]);
            m_cells[size_t(kept)] = m_cells[size_t(k)];
        }
        ++kept;
    }
    m_count = kept;
    m_generation += indexes.size();
    m_names.resize(size_t(m_count) + 1);
    m_cells.resize(size_t(m_count) + 1);
    m_names[size_t(m_count)] = spareName;
    m_cells[size_t(m_count)] = spareCells;
    return true;
}

void SignatureTable::clear()
{
    ++m_generation;
    m_count = 0;
    m_names.resize(1);
    m_cells.resize(1);
}

const QString &SignatureTable::name(int index) const
{
    checkSlot(index);
    return m_names[index];
}

const Signature &SignatureTable::cells(int index) const
{
    checkSlot(index);
    return m_cells[index];
}

int32_t SignatureTable::checkValue(int first, int second) const
{
    checkSlot(first);
    checkSlot(second);
    return GetCheckValuePX(m_cells[first].data(), m_cells[second].data());
}

void SignatureTable::replaceWith(SignatureTable &&other)
{
    const quint64 next = std::max(m_generation, other.m_generation) + 1;
    *this = std::move(other);
    m_generation = next;
}

void SignatureTable::resetBlank(int count)
{
    ++m_generation;
    m_count = count;
    m_names.assign(count + 1, QString());
    m_cells.assign(count + 1, Signature{});
}

void SignatureTable::setSlot(int index, const QString &name, const Signature &cells)
{
    checkSlot(index);
    m_names[index] = name;
    m_cells[index] = cells;
}
