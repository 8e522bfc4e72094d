// Parallel categorising gives the serial road's column for any worker count.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/CSmpEngine.h"
#include "tests/summary/category_mpp_support.h"
#include "tests/support/test_support.h"

namespace category_test {
namespace {

using q7test::WorkerCap;

class CategoryMppWorkers : public CategoryTablesTest, public ::testing::WithParamInterface<int> {};

// Both passes split their items by the worker count; whatever it is, every value and every record
// is mapped once, and the serial road gives the same column.
TEST_P(CategoryMppWorkers, SameColumnForAnyWorkerCountAndAsTheSerialRoad) {
  const int type = GetParam();
  constexpr int kRows = 200000;
  constexpr int kDistinct = 3001;  // not a multiple of any worker count
  const int t = NewTable("big", kRows);
  const std::vector<double> values = RandomValues(type, kRows, kDistinct, 5u + type);
  const int target = AddTyped(t, "v", type, values);
  const std::vector<DefRow> defs = MixedDefinitions(type, kDistinct);
  const int param_type = type == Q7_TYPE_DECIMAL ? Q7_TYPE_DECIMAL : Q7_TYPE_DOUBLE;

  std::vector<int> expected(values.size());
  for (size_t r = 0; r < values.size(); ++r) expected[r] = ExpectedCategory(values[r], defs);
  for (int cap : {1, 2, 3, 0}) {
    SCOPED_TRACE(cap);
    WorkerCap scope(cap);
    const int id = RunMpp(t, target, Categories("CATS", defs, param_type));
    ASSERT_GT(id, 0);
    ExpectSameCategories(CategoryValues(t, id), expected, "parallel road");
  }
  const int serial = Table(t)->AddCategory(target, Categories("CATS", defs, param_type));
  ASSERT_GT(serial, 0);
  ExpectSameCategories(CategoryValues(t, serial), expected, "serial road");
}

INSTANTIATE_TEST_SUITE_P(TargetTypes, CategoryMppWorkers,
                         ::testing::Values(Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE, Q7_TYPE_DATE, Q7_TYPE_DECIMAL));

}  // namespace
}  // namespace category_test
