// The serial sort kernels: bit widths, prefix sums, stable placement and counting sorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "kernel_test_util.h"
#include "kernels/CountingSort.h"
#include "kernels/IntegratedSort.h"
#include "kernels/MppCountingSort.h"

namespace {

using kernel_test::RandomColumn;
using kernel_test::ReferenceOrder;
using kernel_test::ShuffledRows;
using q7test::CodeOf;
using q7test::RingScope;

TEST(BitWidth, ConvertFromVLtoBitsizeIsBitLengthAtLeastOne) {
  struct Case {
    unsigned n;
    int bits;
  };
  const Case cases[] = {{0, 1},
                        {1, 1},
                        {2, 2},
                        {3, 2},
                        {4, 3},
                        {7, 3},
                        {8, 4},
                        {65535, 16},
                        {65536, 17},
                        {0x7FFFFFFFu, 31},
                        {0x80000000u, 32},
                        {0xFFFFFFFFu, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(ConvertFromVLtoBitsize(c.n), c.bits);
  }
}

TEST(BitWidth, Bit2SizeIsPowerOfTwoWithZeroForZero) {
  EXPECT_EQ(Bit2Size(0), 0u);
  EXPECT_EQ(Bit2Size(1), 2u);
  EXPECT_EQ(Bit2Size(16), 65536u);
  EXPECT_EQ(Bit2Size(31), 0x80000000u);
}

TEST(Aggregate, PrefixSumsFromTheFrontAndFromTheBack) {
  struct Case {
    int dir;
    std::vector<int> want;
  };
  const Case cases[] = {{0, {0, 3, 3, 5}}, {1, {3, 3, 1, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    std::vector<int> counts = {3, 0, 2, 1};
    std::vector<int> out(4, -1);
    Aggregate(c.dir, 4, counts.data(), out.data());
    EXPECT_EQ(out, c.want);
    Aggregate(c.dir, 4, counts.data(), counts.data());  // in place
    EXPECT_EQ(counts, c.want);
  }
}

TEST(Aggregate, BadDirectionLogsAndThrowsWithoutWriting) {
  RingScope ring;
  std::vector<int> counts = {3, 0, 2, 1};
  std::vector<int> out(4, -1);
  EXPECT_EQ(CodeOf([&] { Aggregate(2, 4, counts.data(), out.data()); }), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(out, std::vector<int>(4, -1));
  EXPECT_EQ(ring.TakeCoded(), "Aggregate|E0000082|Invalid Parameter : Dir");
}

TEST(CountupNExist, CountsValueNumbersOfTheRowsOnly) {
  const std::vector<int> vno = {0, 2, 0, 1, 2, 2};
  const std::vector<int> rows = {5, 1, 3};
  std::vector<int> counts(4, 77);
  CountupNExist(3, rows.data(), 4, vno.data(), counts.data());
  EXPECT_EQ(counts, (std::vector<int>{0, 1, 2, 0}));
  const std::vector<int> direct = {2, 0, 2};
  CountupNExist2(3, direct.data(), 4, counts.data());
  EXPECT_EQ(counts, (std::vector<int>{1, 0, 2, 0}));
}

TEST(MoveRecsForSort, PlacesRowsStablyAndAdvancesStarts) {
  const std::vector<int> vno = {0, 1, 0, 1, 0};
  const std::vector<int> rows = {1, 2, 3, 4};
  std::vector<int> pos = {0, 2};
  std::vector<int> out(4, 0);
  MoveRecsForSort(4, rows.data(), vno.data(), out.data(), pos.data());
  EXPECT_EQ(out, (std::vector<int>{2, 4, 1, 3}));
  EXPECT_EQ(pos, (std::vector<int>{2, 4}));
}

TEST(CountingSort, EqualValuesKeepInputOrderInBothDirections) {
  std::vector<int> vno(8, 0);
  vno[5] = 2;
  vno[2] = 0;
  vno[7] = 2;
  vno[3] = 1;
  const std::vector<int> rows = {5, 2, 7, 3};
  std::vector<int> out(4, 0);
  CountingSort(0, 4, rows.data(), out.data(), vno.data(), 3);
  EXPECT_EQ(out, (std::vector<int>{2, 3, 5, 7}));
  CountingSort(1, 4, rows.data(), out.data(), vno.data(), 3);
  EXPECT_EQ(out, (std::vector<int>{5, 7, 3, 2}));
}

TEST(CountingSort, ZeroRowsWriteNothing) {
  std::vector<int> out = {42};
  CountingSort(0, 0, nullptr, out.data(), nullptr, 5);
  CountingSort(7, 0, nullptr, out.data(), nullptr, 5);  // not even the direction is looked at
  EXPECT_EQ(out[0], 42);
}

// The direct path up to nValues >> 3 == n and the scoped path beyond give one order.
TEST(CountingSort, DirectAndScopedPathsAgreeAtTheThreshold) {
  for (int nValues : {100, 104, 5000, 1 << 20}) {
    for (int dir : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "nValues " << nValues << " dir " << dir);
      std::vector<int> vno = RandomColumn(40, nValues, 11 + nValues, nValues > 1000);
      for (int r = 1; r <= 40; r += 7) vno[r] = 0;  // some NULLs
      const std::vector<int> rows = ShuffledRows(40, 12, 3);
      std::vector<int> out(12, 0), scoped(12, 0);
      CountingSort(dir, 12, rows.data(), out.data(), vno.data(), nValues);
      ScopeCSort(dir, 12, rows.data(), scoped.data(), vno.data());
      EXPECT_EQ(out, ReferenceOrder(rows, vno, dir));
      EXPECT_EQ(scoped, out);
    }
  }
}

TEST(CountingSort, BadDirectionIsRefusedOnBothPaths) {
  RingScope ring;
  std::vector<int> vno = {0, 1, 2, 1};
  const std::vector<int> rows = {1, 2, 3};
  std::vector<int> out(3, 0);
  EXPECT_EQ(CodeOf([&] { CountingSort(2, 3, rows.data(), out.data(), vno.data(), 3); }),
            Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ring.TakeCoded(), "Aggregate|E0000082|Invalid Parameter : Dir");
  EXPECT_EQ(CodeOf([&] { CountingSort(-1, 3, rows.data(), out.data(), vno.data(), 1000); }),
            Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ring.TakeCoded(), "Aggregate|E0000082|Invalid Parameter : Dir");
}

// A set may hold a record more than once: both paths write every occurrence.
TEST(BitMapSort, OrdersNumbersByBitmapAndByCompiler) {
  struct Case {
    int dir, max;
    std::vector<int> in, want;
  };
  const Case cases[] = {
      {1, 70, {64, 3, 31}, {64, 31, 3}},
      {0, 70, {64, 3, 31}, {3, 31, 64}},
      {0, 1000, {900, 5, 40}, {5, 40, 900}},  // 1000 >> 5 = 31 > 3: compiler path
      {1, 1000, {900, 5, 40}, {900, 40, 5}},
      {0, 63, {63, 0, 32, 31}, {0, 31, 32, 63}},  // word edges
      {1, 63, {63, 0, 32, 31}, {63, 32, 31, 0}},
      // Repeated numbers.
      {0, 20, {5, 9, 5}, {5, 5, 9}},
      {1, 20, {5, 9, 5}, {9, 5, 5}},
      {0, 100000, {5, 9, 5}, {5, 5, 9}},
      {1, 100000, {5, 9, 5}, {9, 5, 5}},
      {0, 63, {63, 0, 63, 31, 0, 63}, {0, 0, 31, 63, 63, 63}},
      {1, 63, {63, 0, 63, 31, 0, 63}, {63, 63, 63, 31, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dir " << c.dir << " max " << c.max);
    std::vector<int> out(c.in.size(), -1);
    BitMapSort(c.dir, c.max, static_cast<int>(c.in.size()), c.in.data(), out.data());
    EXPECT_EQ(out, c.want);
  }
}

TEST(BitMapSort, BadDirectionLogsUnderItsOwnName) {
  RingScope ring;
  const std::vector<int> in = {64, 3, 31};
  std::vector<int> out(3, -1);
  EXPECT_EQ(CodeOf([&] { BitMapSort(2, 70, 3, in.data(), out.data()); }), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(out, std::vector<int>(3, -1));
  EXPECT_EQ(ring.TakeCoded(), "BitMapSort|E0000082|Invalid Parameter : Dir");
  // The compiler path refuses it too.
  EXPECT_EQ(CodeOf([&] { BitMapSort(2, 100000, 3, in.data(), out.data()); }), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ring.TakeCoded(), "BitMapSort|E0000082|Invalid Parameter : Dir");
}

TEST(BitMapSort, NegativeMaxWritesNothing) {
  const std::vector<int> in = {1};
  std::vector<int> out = {-7};
  BitMapSort(0, -5, 1, in.data(), out.data());
  EXPECT_EQ(out[0], -7);
}

TEST(BitMapSort, RandomSetsMatchSortedOrderOnBothPaths) {
  std::mt19937 rng(11);
  for (int max : {5000, 200000}) {
    for (int repeats : {0, 500}) {
      std::vector<int> rows = ShuffledRows(max, 3000, max);
      for (int i = 0; i < repeats; ++i) rows.push_back(rows[rng() % 3000]);
      std::shuffle(rows.begin(), rows.end(), rng);
      for (int dir : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "max " << max << " repeats " << repeats << " dir " << dir);
        std::vector<int> want = rows;
        std::sort(want.begin(), want.end());
        if (dir == 1) std::reverse(want.begin(), want.end());
        std::vector<int> out(rows.size(), 0);
        BitMapSort(dir, max, static_cast<int>(rows.size()), rows.data(), out.data());
        EXPECT_EQ(out, want);
      }
    }
  }
}

// Every path of the parallel sort on sizes that split into many slices and buckets: the same
// stable order as the serial counting sort, ascending and descending.
TEST(MppCountingSortLarge, EveryPathMatchesCountingSort) {
  struct Case {
    const char* path;
    int records, n, nValues;
    bool few;
  };
  const Case cases[] = {
      {"one pass", 1000000, 1000000, 50, false},   {"one pass, few values", 1000000, 900000, 65536, true},
      {"radix", 1000000, 1000000, 3000000, false}, {"radix, few values", 1000000, 900000, 1 << 24, true},
      {"scoped", 3000, 2000, 5000000, false},
  };
  for (const Case& c : cases) {
    const std::vector<int> vno = RandomColumn(c.records, c.nValues, 7, c.few);
    const std::vector<int> rows = ShuffledRows(c.records, c.n, 9);
    for (int dir : {0, 1}) {
      SCOPED_TRACE(testing::Message() << c.path << " dir " << dir);
      std::vector<int> serial(rows.size()), parallel(rows.size());
      CountingSort(dir, c.n, rows.data(), serial.data(), vno.data(), c.nValues);
      MppCountingSort(dir, c.n, rows.data(), parallel.data(), vno.data(), c.nValues, 0);
      EXPECT_EQ(parallel, serial);
    }
  }
}

// A million rows by three keys whose key space needs two groups (40000 x 40000 > 2^30 - 1): the
// same order as successive stable sorts, least significant key first, and dense key numbers.
TEST(IntegratedSortLarge, TwoGroupsEqualSuccessiveStableSorts) {
  const int records = 1000000;
  const int counts[3] = {40000, 40000, 7};
  const int dirs[3] = {1, 0, 1};
  std::vector<std::vector<int>> cols;
  std::vector<SortKeyColumn> columns;
  for (int i = 0; i < 3; ++i) cols.push_back(RandomColumn(records, counts[i], 50 + i, i == 1));
  for (int i = 0; i < 3; ++i) columns.push_back({cols[i].data(), counts[i]});
  const std::vector<int> rows = ShuffledRows(records, 900000, 51);
  const int n = static_cast<int>(rows.size());

  std::vector<int> want = rows, scratch(rows.size());
  for (int i = 0; i < 3; ++i) {
    CountingSort(dirs[i], n, want.data(), scratch.data(), cols[i].data(), counts[i]);
    want.swap(scratch);
  }
  int distinct = 0;
  std::vector<int> want_keys(rows.size());
  for (int p = 0; p < n; ++p) {
    bool same = p > 0;
    for (int i = 0; same && i < 3; ++i) same = cols[i][want[p]] == cols[i][want[p - 1]];
    if (!same) ++distinct;
    want_keys[p] = distinct;
  }

  int* sorted = nullptr;
  int* keys = nullptr;
  ASSERT_EQ(SortForMultiItem(3, n, rows.data(), columns.data(), dirs, &sorted, &keys, 0, 0), distinct);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), sorted));
  EXPECT_TRUE(std::equal(want_keys.begin(), want_keys.end(), keys));
  zpk_free(sorted);
  zpk_free(keys);
}

}  // namespace
