// The parallel kernels on the worker pool, at sizes that stay quick under ThreadSanitizer. Each
// check runs with one worker and with every worker the machine has (and three, when it has them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "kernel_test_util.h"
#include "kernels/SortKernels.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TStrArray.h"

namespace {

using kernel_test::RandomColumn;
using kernel_test::ReferenceOrder;
using kernel_test::ScopedCacheFigures;
using kernel_test::ShuffledRows;
using q7test::RingScope;
using q7test::WorkerCap;

const int kLimits[] = {1, 3, 0};  // 0: all workers

// ---- Radix plans ----

TEST(RadixPlan, TwoDigitPlansFromTheCacheFigures) {
  struct Case {
    int cache, line, nValues, n;
    int high, low, maxTop;
  };
  const Case cases[] = {
      {0, 0, 100000, 1000000, 8, 9, 255},        {0, 0, 65537, 10, 6, 11, 63},
      {0, 0, (1 << 29) + 1, 1000, 13, 17, 8191}, {4194304, 128, (1 << 29) + 1, 1000, 12, 18, 4095},
      {4194304, 128, 65537, 10, 6, 11, 63},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cache << "/" << c.line << " nValues " << c.nValues << " n " << c.n);
    ScopedCacheFigures figures(c.cache, c.line);
    _RADIX_INFO_ plan;
    ASSERT_EQ(build_radix_info(c.nValues, c.n, &plan), 2);
    EXPECT_EQ(plan.topBits, c.high);
    EXPECT_EQ(plan.topShift, c.low);
    EXPECT_EQ(plan.totalBits, c.high + c.low);
    EXPECT_EQ(plan.maxTop, c.maxTop);
    EXPECT_EQ(static_cast<uint32_t>(plan.belowTopMask), (1u << c.low) - 1);
    EXPECT_EQ(static_cast<uint32_t>(plan.topMask), static_cast<uint32_t>(c.maxTop) << c.low);
    EXPECT_EQ(static_cast<uint32_t>(plan.allMask), (1u << (c.high + c.low)) - 1);
  }
}

// Keys narrower than four bits would need a negative low digit: the plan keeps every shift >= 0.
TEST(RadixPlan, TinyKeysGetAnEmptyLowDigit) {
  for (int nValues : {1, 2, 8}) {
    SCOPED_TRACE(nValues);
    _RADIX_INFO_ plan;
    BuildRadixPlan(nValues, 10, 1048576, 64, &plan);
    EXPECT_EQ(plan.topShift, 0);
    EXPECT_EQ(plan.belowTopMask, 0);
    EXPECT_EQ(plan.maxTop, 15);
    EXPECT_EQ(plan.totalBits, 4);
  }
}

TEST(RadixPlan, ThreeDigitsFromTwentyEightBits) {
  _RADIX_INFO_ plan;
  ASSERT_EQ(BuildNFilterRadixPlan((1 << 27) + 1, 1000, 1048576, 64, &plan), 3);  // 28 bits: 8 + 8 + 12
  EXPECT_EQ(plan.maxTop, 255);
  EXPECT_EQ(plan.maxMid, 255);
  EXPECT_EQ(plan.totalBits, 28);
  EXPECT_EQ(plan.topShift, 20);
  EXPECT_EQ(plan.topShift3, 20);
  EXPECT_EQ(plan.midBits, 8);
  EXPECT_EQ(plan.midShift, 12);
  EXPECT_EQ(plan.lowMask, 0xFFF);
  EXPECT_EQ(plan.midMask, 0xFF000);
  EXPECT_EQ(plan.topMask, 0xFF00000);
  EXPECT_EQ(plan.belowTopMask, 0xFFFFF);
  EXPECT_EQ(plan.belowTopMask3, 0xFFFFF);

  _RADIX_INFO_ two;
  ASSERT_EQ(BuildNFilterRadixPlan(100000, 1000000, 1048576, 64, &two), 2);
  EXPECT_EQ(two.topBits, 0);
  EXPECT_EQ(two.topShift, 9);
  EXPECT_EQ(two.maxTop, 255);
}

// ---- MppCountingSort and its paths ----

class MppSortTest : public testing::TestWithParam<int> {
 protected:
  WorkerCap limit_{GetParam()};
};

TEST_P(MppSortTest, ZeroRowsDoNothing) {
  std::vector<int> out = {42};
  MppCountingSort(0, 0, nullptr, out.data(), nullptr, 5, 0);
  EXPECT_EQ(out[0], 42);
}

TEST_P(MppSortTest, EveryPathGivesTheStableOrder) {
  struct Case {
    const char* path;
    int records, n, nValues;
    bool few;
  };
  const Case cases[] = {
      {"scoped (20000 >> 10 = 19 >= 10)", 100, 10, 20000, false},
      {"one pass at 65536", 100000, 1000, 65536, false},
      {"one pass", 100000, 100000, 300, false},
      {"one pass, equal values across slices", 100000, 90000, 1000, true},
      {"radix at 65537", 100000, 100000, 65537, false},
      {"radix, equal values across slices", 100000, 90000, 5000000, true},
  };
  for (const Case& c : cases) {
    const std::vector<int> vno = RandomColumn(c.records, c.nValues, 21, c.few);
    const std::vector<int> rows = ShuffledRows(c.records, c.n, 22);
    for (int dir : {0, 1}) {
      SCOPED_TRACE(testing::Message() << c.path << " dir " << dir);
      std::vector<int> out(rows.size(), 0);
      MppCountingSort(dir, c.n, rows.data(), out.data(), vno.data(), c.nValues, 0);
      EXPECT_EQ(out, ReferenceOrder(rows, vno, dir));
    }
  }
}

TEST_P(MppSortTest, OnePassWithAndWithoutCacheAndWithCounts) {
  const std::vector<int> vno = RandomColumn(50000, 700, 5, true);
  const std::vector<int> rows = ShuffledRows(50000, 50000, 6);
  for (int dir : {0, 1}) {
    SCOPED_TRACE(dir);
    const std::vector<int> want = ReferenceOrder(rows, vno, dir);
    std::vector<int> cached(rows.size()), uncached(rows.size()), ex(rows.size());
    SingleStep_Sort(dir, 50000, rows.data(), cached.data(), vno.data(), 700, 0);
    SingleStep_Sort(dir, 50000, rows.data(), uncached.data(), vno.data(), 700, 1);
    std::vector<int> per_value(700, -1);
    SingleStep_SortEx(dir, 50000, rows.data(), ex.data(), vno.data(), 700, per_value.data());
    EXPECT_EQ(cached, want);
    EXPECT_EQ(uncached, want);
    EXPECT_EQ(ex, want);
    std::vector<int> counts(700, 0);
    CountupNExist(50000, rows.data(), 700, vno.data(), counts.data());
    EXPECT_EQ(per_value, counts);
  }
}

TEST_P(MppSortTest, SortExCountsPerValueNumber) {
  const std::vector<int> vno = {0, 2, 0, 2};
  const std::vector<int> rows = {1, 2, 3};
  std::vector<int> out(3), per_value(4, -1);
  SingleStep_SortEx(0, 3, rows.data(), out.data(), vno.data(), 4, per_value.data());
  EXPECT_EQ(per_value, (std::vector<int>{1, 0, 2, 0}));
  EXPECT_EQ(out, (std::vector<int>{2, 1, 3}));
}

TEST_P(MppSortTest, RadixWithOtherCacheFiguresAndThreeDigits) {
  const std::vector<int> vno = RandomColumn(100000, 1 << 28, 31);
  const std::vector<int> rows = ShuffledRows(100000, 90000, 32);
  for (int dir : {0, 1}) {
    SCOPED_TRACE(dir);
    const std::vector<int> want = ReferenceOrder(rows, vno, dir);
    for (auto [cache, line] : {std::pair{16384, 64}, std::pair{8388608, 128}}) {
      ScopedCacheFigures figures(cache, line);
      std::vector<int> out(rows.size());
      MultiStep_Sort(dir, 90000, rows.data(), out.data(), vno.data(), 1 << 28);
      EXPECT_EQ(out, want) << cache << "/" << line;
    }
    _RADIX_INFO_ plan;
    ASSERT_EQ(build_n_filter_radix_info(1 << 28, 90000, &plan), 3);
    std::vector<int> out(rows.size());
    MultiStep_SortWithPlan(dir, 90000, rows.data(), out.data(), vno.data(), plan, 3);
    EXPECT_EQ(out, want);
  }
}

TEST_P(MppSortTest, ScopedPathRefusesABadDirection) {
  RingScope ring;
  const std::vector<int> vno = RandomColumn(10, 20000, 1);
  const std::vector<int> rows = {1, 2, 3};
  std::vector<int> out(3);
  try {
    MppCountingSort(2, 3, rows.data(), out.data(), vno.data(), 20000, 0);
    FAIL() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(ring.TakeCoded(), "Aggregate|E0000082|Invalid Parameter : Dir");
}

TEST_P(MppSortTest, OtherPathsTakeAnUnknownDirectionAsDescending) {
  const std::vector<int> vno = RandomColumn(20000, 300, 2);
  const std::vector<int> rows = ShuffledRows(20000, 20000, 3);
  for (int nValues : {300, 70000}) {
    std::vector<int> out(rows.size());
    MppCountingSort(5, 20000, rows.data(), out.data(), vno.data(), nValues, 0);
    EXPECT_EQ(out, ReferenceOrder(rows, vno, 1)) << nValues;
  }
}

// ---- Value counting ----

TEST_P(MppSortTest, ParallelCountingEqualsSerialCounting) {
  const std::vector<int> vno = RandomColumn(200000, 5000, 41, false);
  const std::vector<int> rows = ShuffledRows(200000, 150000, 42);
  std::vector<int> serial(5000), parallel(5000, -3), gated(5000, -3);
  CountupNExist(150000, rows.data(), 5000, vno.data(), serial.data());
  MppCountupNExistNParallel(150000, rows.data(), 5000, vno.data(), parallel.data());
  MppCountupNExistN(150000, rows.data(), 5000, vno.data(), gated.data());
  EXPECT_EQ(parallel, serial);
  EXPECT_EQ(gated, serial);
}

INSTANTIATE_TEST_SUITE_P(Workers, MppSortTest, testing::ValuesIn(kLimits));

// ---- Multi-key integrated sort ----

// Reference: successive stable sorts, first column first (the last column decides first).
std::vector<int> ReferenceMultiOrder(const std::vector<int>& rows, const std::vector<std::vector<int>>& cols,
                                     const std::vector<int>& dirs) {
  std::vector<int> out = rows;
  for (size_t c = 0; c < cols.size(); ++c) out = ReferenceOrder(out, cols[c], dirs[c] == 1 ? 1 : 0);
  return out;
}

bool SameTuple(const std::vector<std::vector<int>>& cols, int a, int b) {
  for (const auto& c : cols) {
    if (c[a] != c[b]) return false;
  }
  return true;
}

struct MultiCase {
  const char* name;
  std::vector<int> nValues;
  std::vector<int> dirs;
  bool few;
};

class IntegratedSortTest : public testing::TestWithParam<int> {
 protected:
  WorkerCap limit_{GetParam()};
};

TEST_P(IntegratedSortTest, KeyIsMixedRadixWithTheLastColumnMostSignificant) {
  // A has 3 values, B 4; list (A, B): key = vnoA + 3 * vnoB, or 3 * (3 - vnoB) with B descending.
  const std::vector<int> a = {0, 1, 2, 0, 1, 2, 0, 1};
  const std::vector<int> b = {0, 3, 0, 2, 3, 0, 1, 1};
  const std::vector<int> rows = {1, 2, 3, 4, 5, 6, 7};
  for (int dir_b : {0, 1}) {
    SCOPED_TRACE(dir_b);
    _SORT_FILT_INFO entries[2] = {{a.data(), 3, 0, 0}, {b.data(), 4, 0, dir_b}};
    std::vector<int> dst(7), keys(7);
    std::vector<char> flags(9, 7);
    MppIntegratedCountingSort(2, 7, rows.data(), dst.data(), entries, nullptr, keys.data(), flags.data());
    EXPECT_EQ(entries[1].multiplier, 3);
    EXPECT_EQ(dst, ReferenceMultiOrder(rows, {a, b}, {0, dir_b}));
    for (int p = 0; p < 7; ++p) {
      const int r = dst[p];
      EXPECT_EQ(keys[p], a[r] + 3 * (dir_b ? 3 - b[r] : b[r])) << p;
      if (p > 0) {
        EXPECT_EQ(flags[p] != 0, keys[p] != keys[p - 1]) << p;
      }
    }
    EXPECT_EQ(flags[7], 1);
    if (dir_b == 1) {
      EXPECT_EQ(b[dst[6]], 0);  // NULL last when descending
    }
  }
}

TEST_P(IntegratedSortTest, MatchesSuccessiveStableSorts) {
  const MultiCase cases[] = {
      {"one column", {50}, {0}, false},
      {"one pass", {7, 30, 100}, {0, 1, 0}, false},
      {"radix", {400, 300, 9}, {1, 0, 1}, false},
      {"two groups (40000 x 40000)", {40000, 40000}, {0, 1}, false},
      {"two radix groups", {2000, 70000, 30000, 5}, {1, 1, 0, 0}, true},
      {"three groups", {40000, 40000, 40000}, {1, 0, 1}, false},
      {"few values across slices", {100000, 3}, {0, 0}, true},
  };
  const int records = 50000;
  for (const MultiCase& c : cases) {
    std::vector<std::vector<int>> cols;
    std::vector<SortKeyColumn> columns;
    for (size_t i = 0; i < c.nValues.size(); ++i) {
      cols.push_back(RandomColumn(records, c.nValues[i], 100 + static_cast<uint32_t>(i), c.few));
    }
    for (size_t i = 0; i < cols.size(); ++i) columns.push_back({cols[i].data(), c.nValues[i]});
    const std::vector<int> rows = ShuffledRows(records, 45000, 7);
    const std::vector<int> rows_copy = rows;
    const int n = static_cast<int>(rows.size());
    const int k = static_cast<int>(cols.size());
    const std::vector<int> want = ReferenceMultiOrder(rows, cols, c.dirs);

    // Dense numbers of the distinct tuples in sorted order, their counts and first rows.
    std::vector<int> want_keys(rows.size());
    std::vector<int> want_counts, want_first;
    for (int p = 0; p < n; ++p) {
      const bool fresh = p == 0 || !SameTuple(cols, want[p], want[p - 1]);
      if (fresh) {
        want_counts.push_back(0);
        want_first.push_back(want[p]);
      }
      ++want_counts.back();
      want_keys[p] = static_cast<int>(want_counts.size());
    }
    const int distinct = static_cast<int>(want_counts.size());

    SCOPED_TRACE(c.name);
    int* sorted = nullptr;
    ASSERT_EQ(SortForMultiItem(k, n, rows.data(), columns.data(), c.dirs.data(), &sorted, nullptr, 0, 0), 0);
    EXPECT_EQ(std::vector<int>(sorted, sorted + n), want);
    zpk_free(sorted);
    EXPECT_EQ(rows, rows_copy);

    for (int mode : {0, 1}) {
      SCOPED_TRACE(mode);
      int* keys = nullptr;
      ASSERT_EQ(SortForMultiItem(k, n, rows.data(), columns.data(), c.dirs.data(), &sorted, &keys, mode, 0),
                distinct);
      EXPECT_EQ(std::vector<int>(sorted, sorted + n), want);
      std::vector<int> got_keys(keys, keys + n);
      for (int& v : got_keys) v += mode;  // mode 1 counts from 0
      EXPECT_EQ(got_keys, want_keys);
      zpk_free(sorted);
      zpk_free(keys);

      ASSERT_EQ(SortForMultiItem(k, n, rows.data(), columns.data(), c.dirs.data(), &sorted, &keys, mode, 1),
                distinct);
      EXPECT_EQ(std::vector<int>(sorted, sorted + distinct), want_first);
      zpk_free(sorted);
      zpk_free(keys);

      // Ex: all rows stay, counts need only one entry per distinct key.
      std::vector<int> counts(static_cast<size_t>(distinct), -1);
      std::vector<int> first_rows(rows.size(), -1);
      ASSERT_EQ(SortForMultiItemEx(k, n, rows.data(), columns.data(), c.dirs.data(), &sorted, &keys,
                                   counts.data(), first_rows.data(), mode, 1),
                distinct);
      EXPECT_EQ(std::vector<int>(sorted, sorted + n), want);
      EXPECT_EQ(counts, want_counts);
      EXPECT_EQ(std::vector<int>(first_rows.begin(), first_rows.begin() + distinct), want_first);
      zpk_free(sorted);
      zpk_free(keys);
    }
  }
}

TEST_P(IntegratedSortTest, UniqueKeepsTheFirstRowOfEachKey) {
  // Rows with (A, B) = (1, 2), (1, 2), (2, 2).
  const std::vector<int> a = {0, 1, 1, 2};
  const std::vector<int> b = {0, 2, 2, 2};
  const SortKeyColumn columns[2] = {{a.data(), 3}, {b.data(), 3}};
  const int dirs[2] = {0, 0};
  const std::vector<int> rows = {3, 2, 1};
  for (int mode : {0, 1}) {
    int* sorted = nullptr;
    int* keys = nullptr;
    ASSERT_EQ(SortForMultiItem(2, 3, rows.data(), columns, dirs, &sorted, &keys, mode, 1), 2);
    EXPECT_EQ(std::vector<int>(sorted, sorted + 2), (std::vector<int>{2, 3}));
    EXPECT_EQ(std::vector<int>(keys, keys + 3),
              mode == 0 ? (std::vector<int>{1, 1, 2}) : (std::vector<int>{0, 0, 1}));
    zpk_free(sorted);
    zpk_free(keys);
  }
}

TEST_P(IntegratedSortTest, EmptyInputsAndRefusedArguments) {
  const std::vector<int> a = {0, 1};
  const SortKeyColumn columns[1] = {{a.data(), 2}};
  const int dirs[1] = {0};
  int* sorted = reinterpret_cast<int*>(1);
  int* keys = reinterpret_cast<int*>(1);
  EXPECT_EQ(SortForMultiItem(1, 0, nullptr, columns, dirs, &sorted, &keys, 0, 1), 0);
  EXPECT_NE(sorted, nullptr);
  zpk_free(sorted);
  zpk_free(keys);
  EXPECT_EQ(SortForMultiItem(0, 1, a.data(), columns, dirs, &sorted, nullptr, 0, 0),
            Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(sorted, nullptr);
}

TEST_P(IntegratedSortTest, ThreeDigitStepSortOrdersByKey) {
  const int n = 60000;
  std::mt19937 rng(5);
  std::vector<int64_t> keys(n);
  std::vector<int> src(n), carried(n);
  for (int i = 0; i < n; ++i) {
    keys[i] =
        (i % 7 == 0) ? keys[std::max(i - 7, 0)] : std::uniform_int_distribution<int>(0, (1 << 28) - 1)(rng);
    src[i] = i + 1;
    carried[i] = i * 3;
  }
  _RADIX_INFO_ plan;
  ASSERT_EQ(build_n_filter_radix_info(1 << 28, 1 << 28, &plan), 3);
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return keys[x] < keys[y]; });
  for (bool with_carried : {false, true}) {
    SCOPED_TRACE(with_carried);
    std::vector<int> dst(n), key_out(n);
    std::vector<char> flags(n + 1, 0);
    MultiStepIntegratedSortWithPlan(n, src.data(), keys.data(), dst.data(),
                                    with_carried ? carried.data() : nullptr, key_out.data(), flags.data(),
                                    plan, 3);
    for (int p = 0; p < n; ++p) {
      ASSERT_EQ(dst[p], src[order[p]]) << p;
      ASSERT_EQ(key_out[p], with_carried ? carried[order[p]] : static_cast<int>(keys[order[p]])) << p;
      if (p > 0) {
        ASSERT_EQ(flags[p] != 0, keys[order[p]] != keys[order[p - 1]]) << p;
      }
    }
    EXPECT_EQ(flags[n], 1);
  }
}

TEST_P(IntegratedSortTest, RenumberingIsTheSameForAnyWorkerCount) {
  const int n = 150000;
  std::mt19937 rng(9);
  std::vector<int> base(n);
  std::vector<char> base_flags(n + 1, 0);
  int v = 0;
  for (int i = 0; i < n; ++i) {
    if (rng() % 50 == 0) v += 1 + static_cast<int>(rng() % 3);
    base[i] = v;
    if (rng() % 97 == 0) base_flags[i] = 1;  // a key change the numbers alone do not show
  }
  base_flags[n] = 1;
  std::vector<int> want_keys(n), want_counts, want_first;
  std::vector<int> rows(n);
  std::iota(rows.begin(), rows.end(), 1);
  for (int i = 0; i < n; ++i) {
    if (i == 0 || base[i] != base[i - 1] || base_flags[i]) {
      want_counts.push_back(0);
      want_first.push_back(rows[i]);
    }
    ++want_counts.back();
    want_keys[i] = static_cast<int>(want_counts.size()) - 1;
  }
  for (int mode : {0, 1}) {
    std::vector<int> keys = base;
    std::vector<char> flags = base_flags;
    std::vector<int> counts(want_counts.size(), -1);
    std::vector<int> first = rows;
    ASSERT_EQ(MppRenumberVLOrd(n, keys.data(), flags.data(), counts.data(), first.data(), mode),
              static_cast<int>(want_counts.size()));
    for (int& k : keys) k -= 1 - mode;
    EXPECT_EQ(keys, want_keys);
    EXPECT_EQ(counts, want_counts);
    EXPECT_EQ(std::vector<int>(first.begin(), first.begin() + static_cast<long>(want_first.size())),
              want_first);
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, IntegratedSortTest, testing::ValuesIn(kLimits));

}  // namespace
