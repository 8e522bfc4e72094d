// The parallel join record kernels on up to a million rows: each result equals the serial kernel's
// (or, for the run starts, a linear scan's) with one worker, two, three and every worker the machine
// has.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "join/JoinRecordKernels.h"
#include "tests/support/test_support.h"
#include "values/TIntArray.h"

namespace {

using q7test::WorkerCap;

const int kCaps[] = {1, 2, 3, 0};  // 0: every worker
constexpr int kRows = 1000000;

std::unique_ptr<TIntArray> Array(const std::vector<int>& v) {
  auto a = std::make_unique<TIntArray>(static_cast<int>(v.size()), 0);
  std::copy(v.begin(), v.end(), a->PIntAr());
  return a;
}

std::vector<int> Contents(TIntArray& a) { return std::vector<int>(a.PIntAr(), a.PIntAr() + a.FArraySize); }

// Value numbers for records 1 .. records (element 0 holds 0) below n_values.
std::vector<int> RandomVno(int records, int n_values, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int> vno(static_cast<size_t>(records) + 1, 0);
  for (int r = 1; r <= records; ++r) vno[r] = static_cast<int>(rng() % static_cast<uint32_t>(n_values));
  return vno;
}

std::vector<int> ShuffledRows(int records, uint32_t seed) {
  std::vector<int> rows(static_cast<size_t>(records));
  std::iota(rows.begin(), rows.end(), 1);
  std::mt19937 rng(seed);
  std::shuffle(rows.begin(), rows.end(), rng);
  return rows;
}

struct CutResult {
  std::vector<int> rows, cut;
};

TEST(MppCutUnUsedJoinRec, EqualsTheSerialCutForEveryWorkerCount) {
  // The partner side uses only every third value (and NULL), so about two rows in three are cut,
  // scattered over every worker's chunk. The chunks and the value bitmap are the same at any size:
  // a fifth of the rows and values will do.
  constexpr int kCutRows = kRows / 5;
  constexpr int kValues = 60001;
  const std::vector<int> vno = RandomVno(kCutRows, kValues, 11);
  std::vector<int> partner_vno = RandomVno(kCutRows / 2, kValues, 12);
  for (int& v : partner_vno) v -= v % 3;
  const std::vector<int> rows = ShuffledRows(kCutRows, 13), partner_rows = ShuffledRows(kCutRows / 2, 14);
  auto vno_a = Array(vno), partner_vno_a = Array(partner_vno), partner_rows_a = Array(partner_rows);

  auto run = [&](auto kernel) {
    auto rows_a = Array(rows);
    TIntArray cut;
    kernel(partner_rows_a.get(), partner_vno_a.get(), kValues, rows_a.get(), vno_a.get(), &cut);
    return CutResult{Contents(*rows_a), Contents(cut)};
  };
  const CutResult cut = run(CutUnUsedJoinRec);
  const CutResult extract = run(ExtractUnUsedJoinRec);
  ASSERT_GT(cut.rows.size(), 0u);
  ASSERT_GT(cut.cut.size(), 0u);

  for (int cap : kCaps) {
    SCOPED_TRACE(testing::Message() << "worker cap " << cap);
    WorkerCap scoped(cap);
    const CutResult mpp_cut = run(MppCutUnUsedJoinRec);
    EXPECT_TRUE(mpp_cut.rows == cut.rows);
    EXPECT_TRUE(mpp_cut.cut == cut.cut);
    for (int mode : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode);
      const CutResult both =
          run([mode](TIntArray* a, TIntArray* b, int n, TIntArray* c, TIntArray* d, TIntArray* e) {
            MppExtractJoinHitAndNonHitRecs(mode, a, b, n, c, d, e);
          });
      const CutResult& want = mode != 0 ? cut : extract;
      EXPECT_TRUE(both.rows == want.rows);
      EXPECT_TRUE(both.cut == want.cut);
    }
  }
}

TEST(MppSetupMainN, EqualsTheSerialStartsForEveryWorkerCount) {
  constexpr int kValues = 5000;
  const std::vector<int> vno = RandomVno(kRows, kValues, 21);
  std::mt19937 rng(22);
  // Partner counts of 0 to 3, and one partner for every value: then every chunk's starts are right
  // where they were first counted, and no second pass runs.
  std::vector<int> mixed(kValues);
  for (int& c : mixed) c = static_cast<int>(rng() % 4);
  const std::vector<int> ones(kValues, 1);
  auto rows = Array(ShuffledRows(kRows, 23)), vno_a = Array(vno);

  for (const std::vector<int>* count : {static_cast<const std::vector<int>*>(&mixed), &ones}) {
    SCOPED_TRACE(count == &ones ? "one partner each" : "0 to 3 partners");
    std::vector<int> want(kRows);
    int want_total = -1;
    SetupMainN(rows.get(), vno_a.get(), count->data(), want.data(), &want_total);
    for (int cap : kCaps) {
      SCOPED_TRACE(testing::Message() << "worker cap " << cap);
      WorkerCap scoped(cap);
      std::vector<int> starts(kRows, -1);
      int total = -1;
      MppSetupMainN(rows.get(), vno_a.get(), count->data(), starts.data(), &total);
      EXPECT_EQ(total, want_total);
      EXPECT_TRUE(starts == want);
    }
  }
  for (int cap : kCaps) {
    SCOPED_TRACE(testing::Message() << "worker cap " << cap);
    WorkerCap scoped(cap);
    // A partner count that pushes the total past the int maximum, however the rows are split.
    std::vector<int> starts(kRows, -1);
    int total = -1;
    std::vector<int> big(kValues, 1 << 12);
    EXPECT_EQ(q7test::CodeOf([&] {
                testing::internal::CaptureStdout();
                MppSetupMainN(rows.get(), vno_a.get(), big.data(), starts.data(), &total);
              }),
              static_cast<int>(Q7_ERROR_OVERFLOW_JOIN));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Q7_ERROR_OVERFLOW_JOIN \n");
    EXPECT_EQ(total, -1);
  }
}

TEST(MppExtractJoinUnique, RunsAcrossChunkBordersCountOnceForEveryWorkerCount) {
  // Two keys whose tuple changes about every 50,000 sorted rows, so runs cross every chunk border
  // at two and three workers; the rows are sorted by tuple as the join's sort leaves them.
  std::vector<int> key1(static_cast<size_t>(kRows) + 1, 0), key2(static_cast<size_t>(kRows) + 1, 0);
  std::mt19937 rng(31);
  for (int r = 1; r <= kRows; ++r) {
    key1[r] = static_cast<int>(rng() % 5);
    key2[r] = static_cast<int>(rng() % 4);
  }
  // Bucketed by tuple (key 1 first), each bucket in a shuffled row order.
  std::vector<std::vector<int>> buckets(20);
  for (int r : ShuffledRows(kRows, 32)) buckets[static_cast<size_t>(key1[r] * 4 + key2[r])].push_back(r);
  std::vector<int> sorted;
  for (const auto& b : buckets) sorted.insert(sorted.end(), b.begin(), b.end());
  std::vector<int> want(kRows, 0);
  int want_runs = 0;
  for (int i = 0; i < kRows; ++i) {
    const int r = sorted[i];
    if (i == 0 || key1[r] != key1[sorted[i - 1]] || key2[r] != key2[sorted[i - 1]]) {
      want[i] = 1;
      ++want_runs;
    }
  }
  ASSERT_EQ(want_runs, 20);
  int* keys[2] = {key1.data(), key2.data()};

  for (int cap : kCaps) {
    SCOPED_TRACE(testing::Message() << "worker cap " << cap);
    WorkerCap scoped(cap);
    std::vector<int> flags(kRows, -1);
    int runs = -1;
    MppExtractJoinUnique(kRows, 2, sorted.data(), keys, flags.data(), &runs);
    EXPECT_EQ(runs, want_runs);
    EXPECT_TRUE(flags == want);
  }
}

}  // namespace
