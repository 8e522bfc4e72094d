// Categories, serial road, above 99,999 records: the rows of the new column are mapped on the
// worker pool (task 38). The column must equal a row-by-row reference whatever the worker count,
// on both sides of the size where the pool takes over.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/summary/category_support.h"
#include "tests/support/test_support.h"

namespace category_test {
namespace {

using q7test::WorkerCap;

class CategoryThreadsTest : public CategoryTablesTest {};

const std::vector<DefRow> kDefs = {
    {"EQ", 500, 0, 1}, {"BTW", 100, 200, 2}, {"WI", 150, 900, 3},
    {"LES", 50, 0, 4}, {"GEQ", 950, 0, 5},   {"EQ", kNull, 0, 6},
};

TEST_F(CategoryThreadsTest, RowsMappedOnThePoolMatchTheReferenceForEveryWorkerCount) {
  // 99,998 records: 99,999 elements, mapped by the caller; 99,999 and more: on the pool.
  for (int rows : {99998, 99999, 150001}) {
    SCOPED_TRACE(rows);
    std::mt19937 rng(static_cast<unsigned>(rows));
    std::uniform_int_distribution<int> dist(-1, 1000);
    std::vector<double> values(static_cast<size_t>(rows));
    for (double& v : values) {
      const int x = dist(rng);
      v = x < 0 ? kNull : x;
    }
    const int t = NewTable("T", rows);
    const int target = AddTyped(t, "v", Q7_TYPE_INTEGER, values);
    const int cats = Categories("CATS", kDefs, Q7_TYPE_INTEGER);
    const std::vector<int> want = Reference(Q7_TYPE_INTEGER, values, kDefs);
    for (int cap : {1, 2, 3, 0}) {
      SCOPED_TRACE(cap);
      WorkerCap scope(cap);
      const int id = Table(t)->AddCategory(target, cats);
      ASSERT_GT(id, 0);
      EXPECT_TRUE(CategoryValues(t, id) == want);
      ASSERT_EQ(Table(t)->DropFilter(id), 0);
    }
  }
}

}  // namespace
}  // namespace category_test
