#include "entries/signaturetable.h"
#include "storetestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

TEST(SignatureTable, NewTableHasOneBlankSlotAndNoEntries)
{
    // A new table counts 0 entries but already holds one blank slot.
    SignatureTable t;
    EXPECT_EQ(t.count(), 0);
    EXPECT_EQ(t.slotCount(), 1);
    EXPECT_EQ(t.name(0), QString());
    EXPECT_EQ(t.cells(0), Signature{});
    EXPECT_EQ(SignatureTable::DataUBound, 192);
}

TEST(SignatureTable, AddingFillsSlotsWithoutSpareAndRemovingLeavesAStaleSpare)
{
    // Adds leave exactly count slots; a removal shifts later entries down and keeps the old last one as spare.
    SignatureTable t;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(t.append(QStringLiteral("/p/%1.jpg").arg(i), filledSignature(i)));
        EXPECT_EQ(t.slotCount(), t.count());
    }
    EXPECT_TRUE(t.remove(1));
    EXPECT_EQ(t.count(), 2);
    EXPECT_EQ(t.slotCount(), 3);
    EXPECT_EQ(t.name(1), QStringLiteral("/p/2.jpg"));
    EXPECT_EQ(t.cells(1), filledSignature(2));
    EXPECT_EQ(t.name(2), QStringLiteral("/p/2.jpg")); // stale spare
    EXPECT_FALSE(t.remove(2));                        // removing at count fails, nothing changes
    EXPECT_EQ(t.count(), 2);
    // The next add reuses the spare slot.
    ASSERT_TRUE(t.append(QStringLiteral("/p/3.jpg"), filledSignature(3)));
    EXPECT_EQ(t.slotCount(), 3);
    EXPECT_EQ(t.name(2), QStringLiteral("/p/3.jpg"));
}

TEST(SignatureTable, ClearKeepsOnlySlotZeroWithItsStaleContent)
{
    // After clear the count is 0 and slot 0 still holds the earlier first entry.
    SignatureTable t;
    t.append(QStringLiteral("/a.jpg"), filledSignature(1));
    t.append(QStringLiteral("/b.jpg"), filledSignature(2));
    t.clear();
    EXPECT_EQ(t.count(), 0);
    EXPECT_EQ(t.slotCount(), 1);
    EXPECT_EQ(t.name(0), QStringLiteral("/a.jpg"));
}

TEST(SignatureTable, BytesTravelColumnByColumn)
{
    // Byte 3 * (8x + y) carries the red of cell (x, y); a round trip gives back the same 192 bytes.
    QByteArray in(193, '\0');
    for (int i = 0; i < 192; ++i)
        in[i] = static_cast<char>(i);
    SignatureTable t;
    ASSERT_TRUE(t.appendBytes(QStringLiteral("/x.jpg"), in));
    // cell (x=1, y=0) is at row-major element 3 * 1; column-major byte 3 * (8 * 1 + 0) = 24.
    EXPECT_EQ(t.cells(0)[3], 24);
    // cell (x=0, y=1) is row-major element 3 * 8 = 24; column-major byte 3 * 1 = 3.
    EXPECT_EQ(t.cells(0)[24], 3);
    QByteArray out(193, '\x7f');
    ASSERT_TRUE(t.bytes(0, out));
    EXPECT_EQ(out.left(192), in.left(192));
    EXPECT_EQ(out[192], '\x7f'); // the byte past the signature is left alone
}

TEST(SignatureTable, ByteArraysNeedAnUpperBoundOf192)
{
    // An array with upper bound 191 is refused both ways; a second add works without a spare slot.
    SignatureTable t;
    EXPECT_FALSE(t.appendBytes(QStringLiteral("/short.jpg"), QByteArray(192, '\1')));
    EXPECT_EQ(t.count(), 0);
    EXPECT_TRUE(t.appendBytes(QStringLiteral("/a.jpg"), QByteArray(193, '\1')));
    EXPECT_TRUE(t.appendBytes(QStringLiteral("/b.jpg"), QByteArray(193, '\2')));
    EXPECT_EQ(t.count(), 2);
    QByteArray shortOut(192, '\0');
    EXPECT_FALSE(t.bytes(0, shortOut));
    QByteArray out(193, '\0');
    EXPECT_FALSE(t.bytes(2, out)); // not below the count
}

TEST(SignatureTable, IndexesOutsideTheTableThrowOutOfRange)
{
    // Out-of-table indexes reach the caller as std::out_of_range, never as a crash or a silent value.
    SignatureTable t;
    t.append(QStringLiteral("/a.jpg"), filledSignature(1));
    QByteArray out(193, '\0');
    EXPECT_THROW(t.name(1), std::out_of_range);
    EXPECT_THROW(t.name(-1), std::out_of_range);
    EXPECT_THROW(t.checkValue(0, 5), std::out_of_range);
    EXPECT_THROW(t.remove(-1), std::out_of_range);
    EXPECT_THROW(t.bytes(-1, out), std::out_of_range);
    EXPECT_EQ(t.checkValue(0, 0), 0);
}

TEST(SignatureTable, FullTableRefusesFurtherEntriesAndNeverWraps)
{
    // At 32,767 entries adding returns false and changes nothing.
    SignatureTable t;
    const Signature s = filledSignature(5);
    for (int i = 0; i < SignatureTable::MaxEntries; ++i)
        ASSERT_TRUE(t.append(QString(), s));
    EXPECT_TRUE(t.isFull());
    EXPECT_FALSE(t.append(QStringLiteral("/one-too-many.jpg"), s));
    EXPECT_FALSE(t.appendBytes(QStringLiteral("/one-too-many.jpg"), QByteArray(193, '\0')));
    EXPECT_EQ(t.count(), 32767);
    EXPECT_EQ(t.slotCount(), 32767);
}

class SignatureTableRemoveEntries : public ::testing::TestWithParam<std::vector<int>>
{
};

TEST_P(SignatureTableRemoveEntries, LeavesWhatRemovingOneByOneLeaves)
{
    // Removing several entries at once leaves every slot, the stale spare included, as
    // removing them one by one in the same order does.
    SignatureTable together;
    SignatureTable oneByOne;
    for (int i = 0; i < 7; ++i) {
        together.append(QStringLiteral("/p/%1.jpg").arg(i), filledSignature(i));
        oneByOne.append(QStringLiteral("/p/%1.jpg").arg(i), filledSignature(i));
    }
    const std::vector<int> indexes = GetParam();
    ASSERT_TRUE(together.removeEntries(indexes));
    std::vector<int> done;
    for (int index : indexes) {
        // Where the entry lies by now.
        const int before = int(std::count_if(done.begin(), done.end(), [index](int d) { return d < index; }));
        ASSERT_TRUE(oneByOne.remove(index - before));
        done.push_back(index);
    }
    ASSERT_EQ(together.count(), oneByOne.count());
    ASSERT_EQ(together.slotCount(), oneByOne.slotCount());
    for (int slot = 0; slot < oneByOne.slotCount(); ++slot) {
        EXPECT_EQ(together.name(slot), oneByOne.name(slot)) << "slot " << slot;
        EXPECT_EQ(together.cells(slot), oneByOne.cells(slot)) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, SignatureTableRemoveEntries,
                         ::testing::Values(std::vector<int>{3}, std::vector<int>{6}, std::vector<int>{6, 4, 1},
                                           std::vector<int>{1, 4, 6}, std::vector<int>{5, 6}, std::vector<int>{6, 5},
                                           std::vector<int>{0, 1, 2, 3, 4, 5, 6}, std::vector<int>{2, 0, 5}));
