// The join record kernels against references written from the join's rules: nested loops over
// small random sides with repeated values and NULLs (value number 0), the worked inner join, and
// the failure codes and error-ring entries the callers rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "join/JoinRecordKernels.h"
#include "tests/support/test_support.h"
#include "values/TIntArray.h"

namespace {

using q7test::CodeOf;
using q7test::RingTest;

std::unique_ptr<TIntArray> Array(const std::vector<int>& v) {
  auto a = std::make_unique<TIntArray>(static_cast<int>(v.size()), 0);
  std::copy(v.begin(), v.end(), a->PIntAr());
  return a;
}

std::vector<int> Contents(TIntArray& a) { return std::vector<int>(a.PIntAr(), a.PIntAr() + a.FArraySize); }

// One side of a join: value numbers by record (element 0 is record 0 and holds 0) and a row list.
struct Side {
  std::vector<int> vno;
  std::vector<int> rows;
};

// `records` records with values drawn from 0 .. n_values-1 (0, the NULL, about one in `null_every`
// when that is non-zero), and `n_rows` distinct records of them in a shuffled order.
Side RandomSide(int records, int n_values, int n_rows, int null_every, uint32_t seed) {
  std::mt19937 rng(seed);
  Side s;
  s.vno.assign(static_cast<size_t>(records) + 1, 0);
  std::uniform_int_distribution<int> value(1, std::max(1, n_values - 1));
  std::uniform_int_distribution<int> one_in(1, std::max(1, null_every));
  for (int r = 1; r <= records; ++r) s.vno[r] = (null_every != 0 && one_in(rng) == 1) ? 0 : value(rng);
  for (int r = 1; r <= records; ++r) s.rows.push_back(r);
  std::shuffle(s.rows.begin(), s.rows.end(), rng);
  s.rows.resize(static_cast<size_t>(n_rows));
  return s;
}

bool HasPartner(const Side& side, int row, const Side& partner) {
  for (int p : partner.rows) {
    if (partner.vno[p] == side.vno[row]) return true;
  }
  return false;
}

// ---- Cutting rows without partner ----

struct CutCase {
  const char* name;
  int records, values, rows, partnerRecords, partnerRows, nullEvery;
};
const CutCase kCutCases[] = {
    {"repeats and nulls", 60, 8, 45, 50, 30, 5},
    {"few partner values", 80, 20, 80, 40, 6, 0},
    {"nulls only on one side", 40, 5, 40, 40, 40, 2},
    {"no partner rows: every row is cut", 30, 6, 30, 10, 0, 4},
    {"no rows", 30, 6, 0, 30, 20, 4},
    {"one value everywhere", 20, 2, 20, 20, 20, 0},
};

using CutFn = void (*)(TIntArray*, TIntArray*, int, TIntArray*, TIntArray*, TIntArray*);
void ParallelExtract(TIntArray* a, TIntArray* b, int n, TIntArray* c, TIntArray* d, TIntArray* e) {
  MppExtractJoinHitAndNonHitRecs(0, a, b, n, c, d, e);
}
void ParallelCutByMode(TIntArray* a, TIntArray* b, int n, TIntArray* c, TIntArray* d, TIntArray* e) {
  MppExtractJoinHitAndNonHitRecs(7, a, b, n, c, d, e);
}
struct CutKernel {
  const char* name;
  CutFn fn;
  bool cuts;  // the row list keeps only the rows with a partner
};
const CutKernel kCutKernels[] = {
    {"CutUnUsedJoinRec", CutUnUsedJoinRec, true},
    {"ExtractUnUsedJoinRec", ExtractUnUsedJoinRec, false},
    {"MppCutUnUsedJoinRec", MppCutUnUsedJoinRec, true},
    {"MppExtractJoinHitAndNonHitRecs mode 0", ParallelExtract, false},
    {"MppExtractJoinHitAndNonHitRecs mode 7", ParallelCutByMode, true},
};

TEST(CutUnUsedJoinRec, KeepsRowsWithPartnerAndCutsTheRestInOrder) {
  uint32_t seed = 1;
  for (const CutCase& c : kCutCases) {
    for (int round = 0; round < 4; ++round, ++seed) {
      const Side side = RandomSide(c.records, c.values, c.rows, c.nullEvery, seed);
      const Side partner = RandomSide(c.partnerRecords, c.values, c.partnerRows, c.nullEvery, seed + 1000);
      std::vector<int> want_kept, want_cut;
      for (int r : side.rows) (HasPartner(side, r, partner) ? want_kept : want_cut).push_back(r);
      for (const CutKernel& k : kCutKernels) {
        SCOPED_TRACE(testing::Message() << c.name << ", seed " << seed << ", " << k.name);
        auto rows = Array(side.rows), vno = Array(side.vno);
        auto partner_rows = Array(partner.rows), partner_vno = Array(partner.vno);
        // A cut-out list with old contents and a larger count: the kernel replaces them.
        auto cut = Array(std::vector<int>(static_cast<size_t>(c.rows) + 7, -5));
        k.fn(partner_rows.get(), partner_vno.get(), c.values, rows.get(), vno.get(), cut.get());
        EXPECT_EQ(Contents(*rows), k.cuts ? want_kept : side.rows);
        EXPECT_EQ(Contents(*cut), want_cut);
        if (cut->FArraySize > 0) {
          EXPECT_EQ(cut->FAllocSize, cut->FArraySize) << "the capacity is trimmed";
        }
        EXPECT_EQ(Contents(*partner_rows), partner.rows);
      }
    }
  }
}

// The worked inner join: master keys 1, 2, 2, 3 against slave keys 2, 2, 4 (records 1.. in
// order). The slave side is cut against the master first, then the master against the cut slave.
TEST(CutUnUsedJoinRec, WorkedInnerJoinPairsTheTwoKeyTwoRows) {
  auto master_vno = Array({0, 1, 2, 2, 3}), slave_vno = Array({0, 2, 2, 4});
  auto master_rows = Array({1, 2, 3, 4}), slave_rows = Array({1, 2, 3});
  TIntArray master_cut, slave_cut;
  const int n_values = 5;
  CutUnUsedJoinRec(master_rows.get(), master_vno.get(), n_values, slave_rows.get(), slave_vno.get(),
                   &slave_cut);
  CutUnUsedJoinRec(slave_rows.get(), slave_vno.get(), n_values, master_rows.get(), master_vno.get(),
                   &master_cut);
  EXPECT_EQ(Contents(*master_rows), (std::vector<int>{2, 3}));
  EXPECT_EQ(Contents(master_cut), (std::vector<int>{1, 4}));
  EXPECT_EQ(Contents(*slave_rows), (std::vector<int>{1, 2}));
  EXPECT_EQ(Contents(slave_cut), (std::vector<int>{3}));

  // Pairing: two slave rows carry value 2, which starts at slave position 0.
  std::vector<int> count(n_values, 0), group_start(n_values + 1, 0);
  count[2] = 2;
  int starts[2] = {-1, -1};
  int total = -1;
  SetupMainN(master_rows.get(), master_vno.get(), count.data(), starts, &total);
  ASSERT_EQ(total, 4);
  const int want[4][2] = {{2, 1}, {2, 2}, {3, 1}, {3, 2}};
  for (int j = 0; j < total; ++j) {
    int m = 0, s = 0;
    EXPECT_EQ(DesolveJoinRecNo(j, master_rows.get(), starts, master_vno.get(), slave_rows.get(),
                               group_start.data(), &m, &s),
              want[j][1]);
    EXPECT_EQ(m, want[j][0]) << j;
    EXPECT_EQ(s, want[j][1]) << j;
  }
}

TEST(CutUnUsedJoinRec, NullKeyRowsStayWhenThePartnerSideHasANullKey) {
  auto vno = Array({0, 0, 3, 0}), partner_vno = Array({0, 1, 0});
  for (const CutKernel& k : kCutKernels) {
    SCOPED_TRACE(k.name);
    auto rows = Array({3, 2, 1}), partner_rows = Array({1, 2});
    TIntArray cut;
    k.fn(partner_rows.get(), partner_vno.get(), 4, rows.get(), vno.get(), &cut);
    EXPECT_EQ(Contents(*rows), k.cuts ? (std::vector<int>{3, 1}) : (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(Contents(cut), (std::vector<int>{2}));
  }
}

class JoinKernelFailures : public RingTest {};

TEST_F(JoinKernelFailures, NullCutOutListIsRefusedAndLoggedOnlyBySerialForms) {
  const std::string logged = "|E000008C|Invalid Parameter : CutOutSet";
  for (const CutKernel& k : kCutKernels) {
    SCOPED_TRACE(k.name);
    auto vno = Array({0, 1}), rows = Array({1});
    EXPECT_EQ(CodeOf([&] { k.fn(rows.get(), vno.get(), 2, rows.get(), vno.get(), nullptr); }),
              static_cast<int>(Q7_ERROR_INVALID_CUTOUT_SET));
    const std::string name = k.name;
    if (name.rfind("Mpp", 0) == 0) {
      EXPECT_EQ(ring_scope_.TakeCoded(), "");
    } else {
      EXPECT_EQ(ring_scope_.TakeCoded(), name + logged);
    }
  }
}

// Rows outside their value-number array and value numbers outside the value count fail instead of
// being read or flagged past the arrays.
TEST_F(JoinKernelFailures, RowsAndValuesOutsideTheArraysAreRefused) {
  struct Bad {
    const char* name;
    std::vector<int> rows, partnerRows;
    int nValues;
  };
  const Bad kBad[] = {
      {"row past the value numbers", {1, 4}, {1}, 3},
      {"negative row", {-1}, {1}, 3},
      {"partner row past the value numbers", {1}, {9}, 3},
      {"value number at the value count", {1, 2}, {1}, 2},
  };
  auto vno = Array({0, 1, 2, 1});
  for (const Bad& b : kBad) {
    for (const CutKernel& k : kCutKernels) {
      SCOPED_TRACE(testing::Message() << b.name << ", " << k.name);
      auto rows = Array(b.rows), partner_rows = Array(b.partnerRows);
      TIntArray cut;
      EXPECT_EQ(CodeOf([&] { k.fn(partner_rows.get(), vno.get(), b.nValues, rows.get(), vno.get(), &cut); }),
                static_cast<int>(Q7_ERROR_INDEX_OUT_OF_RANGE));
    }
  }
  std::vector<int> counts(3, 1), starts(2);
  int total = 0;
  auto rows = Array({1, 7});
  EXPECT_EQ(CodeOf([&] { SetupMainN(rows.get(), vno.get(), counts.data(), starts.data(), &total); }),
            static_cast<int>(Q7_ERROR_INDEX_OUT_OF_RANGE));
  EXPECT_EQ(CodeOf([&] { MppSetupMainN(rows.get(), vno.get(), counts.data(), starts.data(), &total); }),
            static_cast<int>(Q7_ERROR_INDEX_OUT_OF_RANGE));
}

// ---- The inner-join row space ----

using SetupFn = void (*)(TIntArray*, TIntArray*, const int*, int*, int*);
struct SetupKernel {
  const char* name;
  SetupFn fn;
};
const SetupKernel kSetupKernels[] = {{"SetupMainN", SetupMainN}, {"MppSetupMainN", MppSetupMainN}};

// Driving rows that keep their partnerless rows too, so that blocks of length 0 sit between the
// others and joined rows at block borders must go to the next row that has partners.
TEST(DesolveJoinRecNo, ResolvesEveryJoinedRowAsTheNestedLoopJoinOrdersThem) {
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    const int values = 3 + static_cast<int>(seed % 7);
    const Side side = RandomSide(40, values, 10 + static_cast<int>(seed % 25), seed % 3 == 0 ? 0 : 4, seed);
    const Side partner = RandomSide(50, values, static_cast<int>(seed % 30), 4, seed + 500);
    std::vector<std::pair<int, int>> want;
    for (int r : side.rows) {
      for (int p : partner.rows) {
        if (partner.vno[p] == side.vno[r]) want.emplace_back(r, p);
      }
    }
    // The other side's projection: partner rows grouped by value in set order, and where each
    // value's group begins.
    std::vector<int> grouped = partner.rows;
    std::stable_sort(grouped.begin(), grouped.end(),
                     [&](int a, int b) { return partner.vno[a] < partner.vno[b]; });
    std::vector<int> count(static_cast<size_t>(values), 0), group_start(static_cast<size_t>(values) + 1, 0);
    for (int p : grouped) ++count[static_cast<size_t>(partner.vno[p])];
    for (int v = 0; v < values; ++v) group_start[v + 1] = group_start[v] + count[v];

    auto rows = Array(side.rows), vno = Array(side.vno), partner_rows = Array(grouped);
    for (const SetupKernel& k : kSetupKernels) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << k.name);
      std::vector<int> starts(side.rows.size() + 1, -1);
      int total = -1;
      k.fn(rows.get(), vno.get(), count.data(), starts.data(), &total);
      ASSERT_EQ(total, static_cast<int>(want.size()));
      EXPECT_EQ(starts.back(), -1) << "one start per driving row, no more";
      for (int j = 0; j < total; ++j) {
        int d = 0, p = 0;
        const int returned = DesolveJoinRecNo(j, rows.get(), starts.data(), vno.get(), partner_rows.get(),
                                              group_start.data(), &d, &p);
        ASSERT_EQ(std::make_pair(d, p), want[static_cast<size_t>(j)]) << "joined row " << j;
        EXPECT_EQ(returned, p);
      }
    }
  }
}

TEST(DesolveJoinRecNo, NoDrivingRowsFailsAsAnIndexOutOfRange) {
  TIntArray rows, partner_rows;
  auto vno = Array({0});
  int group_start[2] = {0, 0};
  int d = 0, p = 0;
  EXPECT_EQ(
      CodeOf([&] { DesolveJoinRecNo(0, &rows, nullptr, vno.get(), &partner_rows, group_start, &d, &p); }),
      static_cast<int>(Q7_ERROR_INDEX_OUT_OF_RANGE));
}

struct FindLocCase {
  std::vector<int> starts;
  int target, want;
};
const FindLocCase kFindLoc[] = {
    {{}, 5, 0},
    {{0}, 0, 0},
    {{3, 4}, 1, 0},        // none is <= target
    {{0, 0, 0, 3}, 0, 2},  // equal starts: the last
    {{0, 0, 0, 3}, 2, 2},
    {{0, 0, 0, 3}, 3, 3},
    {{0, 0, 0, 3}, 99, 3},
    {{0, 2, 2, 2, 2, 7}, 6, 4},
    {{0, 1, 2, 3, 4, 5, 6, 7}, 7, 7},  // n a power of two
    {{0, 1, 2, 3, 4, 5, 6, 7, 8}, 8, 8},
};

TEST(FindLoc, FindsTheLastStartNotAboveTheTarget) {
  for (const FindLocCase& c : kFindLoc) {
    SCOPED_TRACE(testing::Message() << "target " << c.target << ", n " << c.starts.size());
    EXPECT_EQ(FindLoc(c.target, static_cast<int>(c.starts.size()), c.starts.data()), c.want);
  }
  // Every length across several powers of two, every target, against a linear scan.
  std::mt19937 rng(7);
  for (int n = 1; n <= 70; ++n) {
    std::vector<int> starts(static_cast<size_t>(n));
    int at = static_cast<int>(rng() % 3);
    for (int& s : starts) s = (at += static_cast<int>(rng() % 3));
    for (int target = -1; target <= starts.back() + 1; ++target) {
      int want = 0;
      for (int i = 0; i < n; ++i) {
        if (starts[i] <= target) want = i;
      }
      ASSERT_EQ(FindLoc(target, n, starts.data()), want) << "n " << n << ", target " << target;
    }
  }
}

struct OverflowCase {
  const char* name;
  std::vector<int> counts;  // driving row i carries value i
  int wantCode;
  int wantTotal;
};
const OverflowCase kOverflow[] = {
    {"exactly the int maximum", {INT_MAX}, 0, INT_MAX},
    {"maximum reached in two steps", {INT_MAX - 1, 1}, 0, INT_MAX},
    {"maximum then empty rows", {INT_MAX, 0, 0}, 0, INT_MAX},
    {"one past the maximum", {INT_MAX, 1}, static_cast<int>(Q7_ERROR_OVERFLOW_JOIN), -7},
    {"two halves", {1 << 30, 1 << 30}, static_cast<int>(Q7_ERROR_OVERFLOW_JOIN), -7},
    {"a sum past 2^32", {INT_MAX, INT_MAX, INT_MAX, 5}, static_cast<int>(Q7_ERROR_OVERFLOW_JOIN), -7},
};

TEST_F(JoinKernelFailures, JoinedRowCountAboveTheIntMaximumFails) {
  for (const OverflowCase& c : kOverflow) {
    const int n = static_cast<int>(c.counts.size());
    std::vector<int> rows_v, vno_v(static_cast<size_t>(n) + 1, 0);
    for (int i = 0; i < n; ++i) {
      rows_v.push_back(i + 1);
      vno_v[static_cast<size_t>(i) + 1] = i;
    }
    auto rows = Array(rows_v), vno = Array(vno_v);
    for (const SetupKernel& k : kSetupKernels) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << k.name);
      std::vector<int> starts(static_cast<size_t>(n));
      int total = -7;
      testing::internal::CaptureStdout();
      const int code = CodeOf([&] { k.fn(rows.get(), vno.get(), c.counts.data(), starts.data(), &total); });
      const std::string out = testing::internal::GetCapturedStdout();
      EXPECT_EQ(code, c.wantCode);
      EXPECT_EQ(total, c.wantTotal);
      const bool parallel = std::string(k.name) == "MppSetupMainN";
      const bool failed = c.wantCode != 0;
      EXPECT_EQ(out, failed && parallel ? "Q7_ERROR_OVERFLOW_JOIN \n" : "");
      EXPECT_EQ(ring_scope_.TakeCoded(),
                failed && !parallel ? "SetupMainN|E0000065|JoinTable size overflow" : "");
    }
  }
}

// ---- Runs of equal key tuples ----

TEST(MppExtractJoinUnique, FlagsEveryNewTupleOnOneTwoAndThirtyTwoKeys) {
  for (int key_count : {1, 2, 32}) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE(testing::Message() << key_count << " keys, seed " << seed);
      std::mt19937 rng(seed * 31 + static_cast<uint32_t>(key_count));
      const int records = 10 + static_cast<int>(rng() % 60);
      // Few values per key, so tuples repeat; value number 0 stands for NULL.
      const int values = 1 + static_cast<int>(rng() % 3);
      std::vector<std::vector<int>> columns(static_cast<size_t>(key_count),
                                            std::vector<int>(static_cast<size_t>(records) + 1, 0));
      for (auto& col : columns) {
        for (int r = 1; r <= records; ++r) col[r] = static_cast<int>(rng() % static_cast<uint32_t>(values));
      }
      auto tuple = [&](int row) {
        std::vector<int> t;
        for (const auto& col : columns) t.push_back(col[row]);
        return t;
      };
      std::vector<int> sorted;
      for (int r = 1; r <= records; ++r) {
        if (rng() % 4 != 0) sorted.push_back(r);
      }
      std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) { return tuple(a) < tuple(b); });
      std::vector<int> want_flags;
      std::set<std::vector<int>> distinct;
      for (size_t i = 0; i < sorted.size(); ++i) {
        want_flags.push_back(i == 0 || tuple(sorted[i]) != tuple(sorted[i - 1]) ? 1 : 0);
        distinct.insert(tuple(sorted[i]));
      }

      std::vector<int*> keys;
      for (auto& col : columns) keys.push_back(col.data());
      const int n = static_cast<int>(sorted.size());
      std::vector<int> flags(sorted.size(), -1);
      int runs = -1;
      MppExtractJoinUnique(n, key_count, sorted.data(), keys.data(), flags.data(), &runs);
      EXPECT_EQ(flags, want_flags);
      EXPECT_EQ(runs, static_cast<int>(distinct.size()));
    }
  }
}

TEST(MppExtractJoinUnique, NoRowsMakeNoRunsAndWriteNothing) {
  int flag = -1, runs = -1;
  int* keys[1] = {nullptr};
  MppExtractJoinUnique(0, 1, nullptr, keys, &flag, &runs);
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(flag, -1);
}

}  // namespace
