// The set operations, bitmaps and row filters on the worker pool, at sizes that stay quick under
// ThreadSanitizer. Each check runs with one worker, with three, and with every worker the machine
// has.
#include <gtest/gtest.h>

#include <vector>

#include "kernel_test_util.h"
#include "kernels/RowFilters.h"
#include "kernels/SetOps.h"
#include "setops_test_util.h"

namespace {

using q7test::WorkerCap;
using setops_test::Contents;
using setops_test::FilterInput;
using setops_test::HalfSet;
using setops_test::kNot;
using setops_test::MakeFilterInput;
using setops_test::MakeSet;
using setops_test::RandomRows;
using setops_test::Result;
using setops_test::RunOp;

const int kLimits[] = {1, 3, 0};  // 0: all workers
constexpr int kRows = 300000;

TEST(MppSetOperations, EqualSerialForEveryWorkerCount) {
  const std::vector<int> a = HalfSet(kRows, 31);
  // Repeats and numbers outside the table cross every worker's slice.
  std::vector<int> b = HalfSet(kRows, 32);
  const std::vector<int> noise = RandomRows(5000, -10, kRows + 100, 33);
  b.insert(b.end(), noise.begin(), noise.end());
  for (int op : {kNot, kSetOpeAnd, kSetOpeOr, kSetOpeAndNot}) {
    const Result serial = RunOp(false, op, kRows, a, b);
    for (int limit : kLimits) {
      SCOPED_TRACE(testing::Message() << "op " << op << " limit " << limit);
      WorkerCap scoped(limit);
      const Result parallel = RunOp(true, op, kRows, a, b);
      EXPECT_TRUE(parallel.rows == serial.rows);
      EXPECT_EQ(parallel.count, serial.count);
    }
  }
}

TEST(MppToBitMap, EqualsSerialBitmapAndLeavesNoPrivateBlocks) {
  const std::vector<int> rows = RandomRows(kRows, -5, kRows + 5, 41);
  const int words = (kRows + 32) / 32;
  std::vector<int> serial(static_cast<size_t>(words), -1);
  ToBitMap(kRows, rows.data(), words, serial.data());
  for (int limit : kLimits) {
    SCOPED_TRACE(limit);
    WorkerCap scoped(limit);
    std::vector<int> parallel(static_cast<size_t>(words), -1);
    MppToBitMap(kRows, rows.data(), words, parallel.data());
    EXPECT_TRUE(parallel == serial);
    // Fewer rows than workers: every worker still gets a slice of its own.
    std::vector<int> few(static_cast<size_t>(words), -1);
    MppToBitMap(2, rows.data(), words, few.data());
    std::vector<int> few_serial(static_cast<size_t>(words), -1);
    ToBitMap(2, rows.data(), words, few_serial.data());
    EXPECT_TRUE(few == few_serial);
  }
}

TEST(MppMoveRecs, EqualSerialFiltersInPlaceAndApart) {
  const FilterInput in = MakeFilterInput(kRows, 40, 51, true);
  TIntArray serial;
  MoveRecsForScan(in.src.get(), &serial, in.vno.get(), in.select.data());
  const std::vector<int> want = Contents(serial);
  ASSERT_GT(want.size(), 0u);

  for (int limit : kLimits) {
    SCOPED_TRACE(limit);
    WorkerCap scoped(limit);
    TIntArray apart;
    MppMoveRecsForScan(in.src.get(), &apart, in.vno.get(), in.select.data());
    EXPECT_TRUE(Contents(apart) == want);

    auto in_place = MakeSet(Contents(*in.src));
    MppMoveRecsForScanScope(in_place.get(), in_place.get(), in.index.data(), in.select.data());
    EXPECT_TRUE(Contents(*in_place) == want);

    // Fewer rows than workers.
    auto tiny = MakeSet({want[0], want[0] + 1});
    TIntArray tiny_parallel, tiny_serial;
    MppMoveRecsForScan(tiny.get(), &tiny_parallel, in.vno.get(), in.select.data());
    MoveRecsForScan(tiny.get(), &tiny_serial, in.vno.get(), in.select.data());
    EXPECT_EQ(Contents(tiny_parallel), Contents(tiny_serial));
  }
}

}  // namespace
