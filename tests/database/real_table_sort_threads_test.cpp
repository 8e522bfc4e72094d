// The table sorts that run on the worker pool give the serial order, with one worker and with all
// of them, on every path of the parallel counting sort and on one and two key groups of the
// integrated sort.
#include <gtest/gtest.h>

#include <vector>

#include "coded_columns.h"
#include "table_test_support.h"
#include "tests/support/test_support.h"

namespace {

using coded::AddCodedFilter;
using coded::RandomCodes;
using coded::ShuffledRecords;
using ttest::Rows;
using ttest::TableTest;

constexpr int kRows = 200000;

class SortPoolTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("big", kRows));
  }
  TRealTable* t_ = nullptr;
};

TEST_F(SortPoolTest, ParallelSortByFieldEqualsSerial) {
  struct Case {
    const char* path;
    int max_code;  // value-list size is about max_code + 1
    int set_size;
  };
  const Case cases[] = {
      {"one counting pass", 40, kRows},
      {"radix", 150000, kRows - 3},
      {"scoped (few rows, many values)", 150000, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const int filter = AddCodedFilter(t_, Q7_TYPE_DOUBLE, RandomCodes(kRows, c.max_code, 31), "x");
    ASSERT_GT(filter, 0);
    const std::vector<int> rows = ShuffledRecords(kRows, c.set_size, 5);
    const int source = t_->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    for (int dir : {0, 1}) {
      const std::vector<int> serial = Rows(t_->GetSet(t_->SortByField(filter, source, dir)));
      ASSERT_EQ(serial.size(), rows.size());
      for (int limit : {1, 3, 0}) {
        SCOPED_TRACE(testing::Message() << "dir " << dir << " workers " << limit);
        q7test::WorkerCap workers(limit);
        EXPECT_EQ(Rows(t_->GetSet(t_->MppSortByField(filter, source, dir))), serial);
      }
    }
    ASSERT_EQ(t_->DropFilter(filter), 0);
  }
}

TEST_F(SortPoolTest, IntegratedSortEqualsSerialStableSorts) {
  struct Case {
    const char* what;
    std::vector<int> max_codes;
    std::vector<int> dirs;
  };
  const Case cases[] = {
      {"one group", {50, 999, 30}, {0, 1, 0}},
      {"two groups", {99999, 20000, 3}, {1, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int> ids;
    for (size_t i = 0; i < c.max_codes.size(); ++i) {
      ids.push_back(
          AddCodedFilter(t_, coded::kTypes[i].type, RandomCodes(kRows, c.max_codes[i], 40 + i), "k"));
    }
    const std::vector<int> rows = ShuffledRecords(kRows, kRows - 11, 6);
    const int source = t_->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    int sorted = source;
    for (size_t i = 0; i < ids.size(); ++i) sorted = t_->SortByField(ids[i], sorted, c.dirs[i]);
    const std::vector<int> serial = Rows(t_->GetSet(sorted));
    ids.push_back(0);
    std::vector<int> dirs = c.dirs;
    for (int limit : {1, 3, 0}) {
      SCOPED_TRACE(limit);
      q7test::WorkerCap workers(limit);
      EXPECT_EQ(Rows(t_->GetSet(t_->MppIntegratedSortByField(source, ids.data(), dirs.data()))), serial);
    }
    for (size_t i = 0; i + 1 < ids.size(); ++i) ASSERT_EQ(t_->DropFilter(ids[i]), 0);
  }
}

}  // namespace
