#include "chart/ColumnHandle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using flowloom::chart::ChunkedColumn;
using flowloom::chart::ColumnHandle;

TEST(ChunkedColumn, KeepsValuesAcrossBlocksAndReleasesThemOnClear)
{
    ChunkedColumn<int, 4> column;
    for (int i = 0; i < 10; ++i)
        column.push(i * 3);
    ASSERT_EQ(column.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(column[static_cast<std::size_t>(i)], i * 3);
    // Three blocks of four ints, never more than one block beyond the values.
    EXPECT_GE(column.allocatedBytes(), 3 * 4 * sizeof(int));
    EXPECT_LT(column.allocatedBytes(), 4 * 4 * sizeof(int) + 64);
    column.clear();
    EXPECT_EQ(column.size(), 0u);
    EXPECT_EQ(column.allocatedBytes(), 0u);
}

TEST(ColumnHandle, HandlesFedInStepShareOneCopy)
{
    ColumnHandle<double> a;
    ColumnHandle<double> b = a.shareStorage();
    for (std::size_t i = 0; i < 3000; ++i) {
        a.append(static_cast<double>(i) / 7.0, i);
        b.append(static_cast<double>(i) / 7.0, i);
    }
    EXPECT_EQ(a.storageId(), b.storageId());
    EXPECT_DOUBLE_EQ(b.at(2999), 2999.0 / 7.0);
    // 3000 doubles once: three blocks of 1024 values.
    EXPECT_LT(a.allocatedBytes(), 3 * 1024 * sizeof(double) + 256);
}

TEST(ColumnHandle, FirstDifferenceGivesAPrivateCopyWithoutChangingEitherSide)
{
    ColumnHandle<double> a;
    ColumnHandle<double> b = a.shareStorage();
    for (std::size_t i = 0; i < 5; ++i) {
        a.append(1.0 + static_cast<double>(i), i);
        b.append(1.0 + static_cast<double>(i), i);
    }
    a.append(100.0, 5);
    b.append(-100.0, 5);
    EXPECT_NE(a.storageId(), b.storageId());
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(a.at(i), 1.0 + static_cast<double>(i));
        EXPECT_EQ(b.at(i), 1.0 + static_cast<double>(i));
    }
    EXPECT_EQ(a.at(5), 100.0);
    EXPECT_EQ(b.at(5), -100.0);

    // NaN equals itself bit for bit, and 0.0 and -0.0 are kept apart.
    ColumnHandle<double> c;
    ColumnHandle<double> d = c.shareStorage();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    c.append(nan, 0);
    d.append(nan, 0);
    EXPECT_EQ(c.storageId(), d.storageId());
    c.append(0.0, 1);
    d.append(-0.0, 1);
    EXPECT_FALSE(std::signbit(c.at(1)));
    EXPECT_TRUE(std::signbit(d.at(1)));
}

TEST(ColumnHandle, EmptiedTogetherTheyRestartSharedAndFreeTheMemory)
{
    ColumnHandle<std::uint32_t> a;
    ColumnHandle<std::uint32_t> b = a.shareStorage();
    for (std::uint32_t i = 0; i < 2000; ++i) {
        a.append(i, i);
        b.append(i, i);
    }
    a.clear();
    EXPECT_GT(a.allocatedBytes(), 0u); // b still holds its values there
    b.clear();
    EXPECT_EQ(a.allocatedBytes(), 0u);

    for (std::uint32_t i = 0; i < 10; ++i) {
        a.append(50 + i, i);
        b.append(50 + i, i);
    }
    EXPECT_EQ(a.storageId(), b.storageId());
    EXPECT_EQ(a.at(0), 50u);
    EXPECT_EQ(b.at(9), 59u);
}

TEST(ColumnHandle, OneEmptiedAloneRejoinsWhereTheOthersAre)
{
    ColumnHandle<std::uint32_t> a;
    ColumnHandle<std::uint32_t> b = a.shareStorage();
    for (std::uint32_t i = 0; i < 4; ++i) {
        a.append(i, i);
        b.append(i, i);
    }
    a.clear();
    // From now on both receive the same values again; a starts at x = 0.
    for (std::uint32_t i = 4; i < 8; ++i) {
        b.append(i, i);
        a.append(i, i - 4);
    }
    EXPECT_EQ(a.storageId(), b.storageId());
    EXPECT_EQ(a.at(0), 4u);
    EXPECT_EQ(a.at(3), 7u);
    EXPECT_EQ(b.at(0), 0u);
    EXPECT_EQ(b.at(7), 7u);
}
