// A join chain realised on the worker pool: on a chain of tens of thousands of rows (the roots split
// over all active workers at any size) the tree table equals the serial realization's, row by row
// and column by column, with one worker, two, three and every worker.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/join/join_chain_support.h"
#include "tests/support/test_support.h"

namespace {

using chaintest::ChainTable;
using chaintest::ChainTest;
using chaintest::TreeOf;
using chaintest::TreeRow;

const int kCaps[] = {1, 2, 3, 0};  // 0: every worker

TEST_F(ChainTest, ParallelChainEqualsSerialForEveryWorkerCount) {
  std::mt19937 gen(11);
  std::vector<ChainTable> tables;
  const int sizes[] = {40000, 30000, 20000};
  for (int k = 0; k < 3; ++k)
    tables.push_back(RandomTable(gen, "T" + std::to_string(k), sizes[k], 24000, false));
  const std::vector<int> joins = ChainOf(tables);
  const int serial = Realize(false, joins, 3, true);
  ASSERT_GT(serial, 0);
  const std::vector<TreeRow> want = TreeOf(Real(serial), 1);
  ASSERT_GT(want.size(), static_cast<size_t>(sizes[0]));
  for (int cap : kCaps) {
    SCOPED_TRACE(testing::Message() << "worker cap " << cap);
    q7test::WorkerCap scoped(cap);
    const int id = Realize(true, joins, 3, true);
    ASSERT_GT(id, 0);
    EXPECT_TRUE(TreeOf(Real(id), 1) == want);
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

}  // namespace
