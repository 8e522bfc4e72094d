// The run forms of the row filters against the byte-map form they replace: a selection that is one
// run of value numbers (or its complement, NULL on its own) keeps exactly the rows the map keeps,
// serially and on the pool with one, three and every worker; a selection that is not one run is
// recognised as such. The record-number runs keep what a plain compare of each row keeps.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "kernel_test_util.h"
#include "kernels/RowFilters.h"
#include "setops_test_util.h"

namespace {

using q7test::WorkerCap;
using setops_test::Contents;
using setops_test::MakeSet;

const int kLimits[] = {1, 3, 0};  // 0: all workers
constexpr int kRecords = 100000;
constexpr int kValues = 5000;

struct SelectionCase {
  const char* name;
  bool null_keep;
  int lo, hi;     // entries lo .. hi differ from the others
  bool inside;    // what entries lo .. hi hold
  int second_lo;  // > 0: a second run of `inside` from here to the end, so not one run
};

const SelectionCase kSelections[] = {
    {"nothing", false, 1, 0, true, 0},
    {"everything but NULL", false, 1, kValues - 1, true, 0},
    {"everything", true, 1, kValues - 1, true, 0},
    {"only NULL", true, 1, 0, true, 0},
    {"first entry", false, 1, 1, true, 0},
    {"last entry", false, kValues - 1, kValues - 1, true, 0},
    {"middle run", false, 1200, 3300, true, 0},
    {"middle run and NULL", true, 1200, 3300, true, 0},
    {"hole", true, 2500, 2500, false, 0},
    {"from the start", false, 1, 4000, true, 0},
    {"to the end", false, 17, kValues - 1, true, 0},
    {"two runs", false, 100, 200, true, 4000},
};

TEST(RowFilterRuns, OneRunKeepsWhatTheMapKeeps) {
  const std::vector<int> column = kernel_test::RandomColumn(kRecords, kValues, 5);
  auto vno = MakeSet(column);
  // Every other record backwards, and row numbers that are no records of the filter.
  std::vector<int> rows;
  for (int r = kRecords; r >= 1; r -= 2) rows.push_back(r);
  rows.insert(rows.begin() + 100, {0, -3, kRecords + 1, INT_MAX, INT_MIN});
  auto src = MakeSet(rows);

  for (const SelectionCase& c : kSelections) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> select(kValues, c.inside ? 0 : 1);
    select[0] = c.null_keep ? 1 : 0;
    for (int v = c.lo; v <= c.hi; ++v) select[static_cast<size_t>(v)] = c.inside ? 1 : 0;
    if (c.second_lo > 0) {
      for (int v = c.second_lo; v < kValues; ++v) select[static_cast<size_t>(v)] = c.inside ? 1 : 0;
    }
    ValueRun run;
    ASSERT_EQ(SelectionRun(select.data(), kValues, &run), c.second_lo == 0);

    TIntArray by_map;
    MoveRecsForScan(src.get(), &by_map, vno.get(), select.data());
    const std::vector<int> want = Contents(by_map);
    TIntArray serial;
    MoveRecsForSelection(src.get(), &serial, vno.get(), select.data(), kValues, false);
    EXPECT_EQ(Contents(serial), want);
    for (int limit : kLimits) {
      SCOPED_TRACE(limit);
      WorkerCap scoped(limit);
      auto in_place = MakeSet(rows);
      MoveRecsForSelection(in_place.get(), in_place.get(), vno.get(), select.data(), kValues, true);
      EXPECT_EQ(Contents(*in_place), want);
    }
  }
}

struct RecNoCase {
  int64_t lo, hi;
  bool keep;
};

TEST(RowFilterRuns, RecordNumberRunsKeepWhatACompareKeeps) {
  std::vector<int> rows;
  for (int r = 1; r <= kRecords; ++r) rows.push_back((r * 7919) % kRecords + 1);
  rows.insert(rows.end(), {0, -1, INT_MIN, INT_MAX});
  auto src = MakeSet(rows);
  const RecNoCase kCases[] = {
      {5000, 15000, true},
      {5000, 15000, false},
      {INT_MIN, 0, true},
      {0, INT_MAX, false},
      {int64_t{INT_MIN} - 5, int64_t{INT_MAX} + 5, true},
      {10, 9, true},
      {10, 9, false},
      {INT_MAX, INT_MAX, true},
      {int64_t{INT_MAX} + 1, int64_t{INT_MAX}, true},
      {0, 0, false},
  };
  for (const RecNoCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.lo << " .. " << c.hi << (c.keep ? " kept" : " dropped"));
    std::vector<int> want;
    for (int r : rows) {
      if ((c.lo <= r && r <= c.hi) == c.keep) want.push_back(r);
    }
    const ValueRun run = ValueRun::Range(c.lo, c.hi, c.keep);
    TIntArray serial;
    MoveRecsByRecNoInRun(src.get(), &serial, run);
    EXPECT_EQ(Contents(serial), want);
    for (int limit : kLimits) {
      SCOPED_TRACE(limit);
      WorkerCap scoped(limit);
      TIntArray parallel;
      MppMoveRecsByRecNoInRun(src.get(), &parallel, run);
      EXPECT_EQ(Contents(parallel), want);
    }
  }
}

}  // namespace
