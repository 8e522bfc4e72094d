// The engine task object's unique extraction (the parallel road): its refusals, the row kept of
// each group whatever the worker count, and agreement with a hash-set reference.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "api/task/CDBTask.h"
#include "tests/support/test_support.h"
#include "unique_support.h"

namespace {

using unique_test::ReferenceUnique;

class MppUniqueRows : public unique_test::UniqueTest {
 protected:
  int Extract(int table, int set, const int* filters, int keep_order) {
    return DBTASK()->ExtractUniqueReal(0, table, set, filters, keep_order);
  }
};

TEST_F(MppUniqueRows, RefusalsRegisterNothing) {
  int key = 0;
  const int t = IntTable({1, 1, 2}, &key);
  const int join = Join(t, IntTable({1}, nullptr, "S"));
  const int empty = AddSet(t, {});
  int none[] = {0};
  int list[] = {key, 0};
  int unknown[] = {key, 77, 0};
  std::vector<int> too_many(TRealTable::kMaxFilters + 1, key);
  too_many.push_back(0);
  struct Case {
    const char* what;
    int table, set;
    const int* filters;
    int code;
  };
  const Case cases[] = {
      {"no table", 99, 1, list, Q7_ERROR_NO_SUCH_TABLE},
      {"join table", join, 1, list, Q7_ERROR_NOT_REAL_TABLE},
      {"first entry 0", t, 1, none, Q7_ERROR_INVALID_FILTER_LIST},
      {"null list", t, 1, nullptr, Q7_ERROR_INVALID_FILTER_LIST},
      {"513 filters", t, 1, too_many.data(), Q7_ERROR_INVALID_FILTER_LIST},
      {"unknown filter", t, 1, unknown, Q7_ERROR_NO_SUCH_FILTER},
      {"no set", t, 9, list, Q7_ERROR_NO_SUCH_SET},
      {"empty set", t, empty, list, Q7_ERROR_EMPTY_SET},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int sets = Real(t)->FnSet;
    const int current = Real(t)->GetCurrentSetID();
    EXPECT_EQ(Extract(c.table, c.set, c.filters, 1), c.code);
    EXPECT_EQ(Real(t)->FnSet, sets);
    EXPECT_EQ(Real(t)->GetCurrentSetID(), current);
  }
}

TEST_F(MppUniqueRows, OneRowPerGroupWhateverTheWorkers) {
  const int t = Table(12);
  // Sorted, the group of 2 covers positions 4 to 9: it crosses the boundary of two workers (at 6)
  // and of three (at 4 and 8); the all-equal filter puts every row in one group.
  const int a = IntFilter(t, {2, 1, 2, 3, 2, 1, 1, 2, 1, 3, 2, 2}, "A");
  const int same = IntFilter(t, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, "B");
  const int set = AddSet(t, {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
  int by_a[] = {a, 0};
  int by_same[] = {same, 0};
  for (int cap : {1, 2, 3, 5, 12}) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    const int sorted = Extract(t, set, by_a, 0);
    ASSERT_GT(sorted, 0);
    EXPECT_EQ(Rows(t, sorted), (std::vector<int>{9, 12, 10}));
    EXPECT_EQ(Real(t)->GetCurrentSetID(), sorted);
    const int kept = Extract(t, set, by_a, 1);
    ASSERT_GT(kept, 0);
    EXPECT_EQ(Rows(t, kept), (std::vector<int>{12, 10, 9}));
    for (int keep : {0, 1}) {
      const int one = Extract(t, set, by_same, keep);
      ASSERT_GT(one, 0);
      EXPECT_EQ(Rows(t, one), (std::vector<int>{12}));
    }
  }
}

TEST_F(MppUniqueRows, AgreesWithAHashSetReference) {
  std::mt19937 rng(31);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    SetUp();
    const int n = 1 + static_cast<int>(rng() % 3000);
    const int t = Table(n);
    // Small spreads give large groups; the NULL-bearing string filter mixes NULL groups in.
    const std::vector<int> ids =
        RandomFilters(t, n, {1 + static_cast<int>(rng() % 40), 3}, round % 2 == 0, &rng);
    const std::vector<int> set_rows = RandomSubset(n, &rng);
    const int set = AddSet(t, set_rows);
    const auto vnos = AllValueNumbers(t, ids);
    for (int keep : {0, 1}) {
      const std::vector<int> want = ReferenceUnique(vnos, set_rows, keep);
      for (int cap : {1, 2, 7}) {
        q7test::WorkerCap workers(cap);
        const int got = Extract(t, set, ids.data(), keep);
        ASSERT_GT(got, 0);
        EXPECT_EQ(Rows(t, got), want) << "keep " << keep << ", cap " << cap;
      }
    }
  }
}

TEST_F(MppUniqueRows, ASetHoldingAPickedRecordTwiceThrowsInKeepOrder) {
  const int t = Table(3);
  int list[] = {IntFilter(t, {1, 2, 3}), 0};
  const int set = AddSet(t, {2, 1, 2});
  const int sets = Real(t)->FnSet;
  try {
    Extract(t, set, list, 1);
    ADD_FAILURE() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INNER_ENGINE);
  }
  EXPECT_EQ(Real(t)->FnSet, sets);
}

}  // namespace
