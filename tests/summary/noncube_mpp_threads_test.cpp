// The parallel non-cube summary of a real table gives the brute-force group-by whatever the number
// of workers: many small groups, and groups so large that the row ranges of the workers must move
// past their even split to keep every group whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/summary/noncube_mpp_support.h"
#include "tests/support/test_support.h"

namespace {

using noncube_test::GroupBy;
using noncube_test::Measure;
using noncube_test::NonCubeMppTest;
using noncube_test::ReadTable;
using noncube_test::TableTexts;

const int kCaps[] = {1, 2, 3};

TEST_F(NonCubeMppTest, AnyWorkerCountGivesTheGroupBy) {
  const int t = Load(6000, 8);
  std::vector<int> half;
  const int set = EveryNth(t, 1, 2, &half);
  const std::vector<int> all = AllRecords(Table(t));
  const std::vector<Measure> measures = {{qty_, 31},    {price_, 31, 1}, {ship_, 6},
                                         {amount_, 31}, {name_, 7},      {label_, 5}};
  struct Shape {
    const char* what;
    std::vector<int> dims;
  };
  const Shape shapes[] = {
      {"many small groups", {year_, rate_, day_}},
      {"two large groups", {at_}},  // three values and NULL: groups far larger than a worker's share
      {"one group", {}},
  };
  for (const Shape& shape : shapes) {
    for (const auto& [set_id, records] : {std::pair{1, all}, std::pair{set, half}}) {
      const TableTexts want = GroupBy(Table(t), records, shape.dims, measures);
      for (int cap : kCaps) {
        SCOPED_TRACE(std::string(shape.what) + ", set " + std::to_string(set_id) + ", " +
                     std::to_string(cap) + " workers");
        q7test::WorkerCap workers(cap);
        const int out = RunMpp(t, set_id, shape.dims, measures);
        ASSERT_GT(out, 0);
        const TableTexts got = ReadTable(Table(out));
        EXPECT_EQ(got.header, want.header);
        EXPECT_EQ(got.rows, want.rows);
      }
    }
  }
}

TEST_F(NonCubeMppTest, FewerRowsThanWorkers) {
  const int t = Load(2);
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    const int out = RunMpp(t, 1, {region_}, {{qty_, 31}});
    ASSERT_GT(out, 0);
    EXPECT_EQ(ReadTable(Table(out)).rows, GroupBy(Table(t), {1, 2}, {region_}, {{qty_, 31}}).rows);
  }
}

// The counting-sort variant gives one table for every worker count: groups that cross the ranges
// of the grouping task (large groups, one group), more measures than workers (claimed one by one)
// and fewer; the same table as the parallel road and the group-by.
TEST_F(NonCubeMppTest, CountingSortVariantGivesOneTableForAnyWorkerCount) {
  const int t = Load(5000, 8);
  std::vector<int> half;
  const int set = EveryNth(t, 2, 2, &half);
  const std::vector<int> all = AllRecords(Table(t));
  struct Shape {
    const char* what;
    std::vector<int> dims;
    std::vector<Measure> measures;
  };
  const Shape shapes[] = {
      {"many small groups, many measures",
       {year_, rate_, day_},
       {{qty_, 31}, {price_, 31, 1}, {ship_, 6}, {amount_, 31}, {name_, 7}, {label_, 5}, {stamp_, 25}}},
      {"large groups, one measure", {at_}, {{price_, 24}}},
      {"one group", {}, {{qty_, 3}, {amount_, 17}}},
      {"no measures", {region_, grade_}, {}},
  };
  for (const Shape& shape : shapes) {
    for (const auto& [set_id, records] : {std::pair{1, all}, std::pair{set, half}}) {
      const TableTexts want = GroupBy(Table(t), records, shape.dims, shape.measures);
      for (int cap : kCaps) {
        SCOPED_TRACE(std::string(shape.what) + ", set " + std::to_string(set_id) + ", " +
                     std::to_string(cap) + " workers");
        q7test::WorkerCap workers(cap);
        const int counting = RunCounting(t, set_id, shape.dims, shape.measures);
        ASSERT_GT(counting, 0);
        const TableTexts got = ReadTable(Table(counting));
        EXPECT_EQ(got.header, want.header);
        EXPECT_EQ(got.rows, want.rows);
        const int mpp = RunMpp(t, set_id, shape.dims, shape.measures);
        ASSERT_GT(mpp, 0);
        EXPECT_EQ(ReadTable(Table(mpp)).rows, got.rows);
      }
    }
  }
}

}  // namespace
