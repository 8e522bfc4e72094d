// Extraction of unique rows through the operation layer: its refusals, the row kept of each group,
// both orders, and agreement with a direct computation on random tables.
#include "api/ops/ops_unique.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "api/ops/ops_sets.h"
#include "opsets_support.h"
#include "tests/support/test_support.h"
#include "unique_support.h"

namespace {

using opsets_test::Entry;

class UniqueRows : public opsets_test::OpTest {};

TEST_F(UniqueRows, Refusals) {
  int key = 0;
  const int t = IntTable({1, 1, 2}, &key);
  const int slave = IntTable({1}, nullptr, "S");
  const int join = Join(t, slave);
  int none[] = {0};
  int unknown[] = {key, 77, 0};
  int list[] = {key, 0};
  std::vector<int> too_many(TRealTable::kMaxFilters + 1, key);
  too_many.push_back(0);
  std::vector<int> most(TRealTable::kMaxFilters, key);
  most.push_back(0);
  struct Case {
    const char* what;
    int table, set;
    const int* filters;
    int code;
    int ring_code;
    std::string message;
  };
  const Case cases[] = {
      {"no table", 99, 1, list, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "},
      {"join", join, 1, list, Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NOT_REAL_TABLE,
       "Illegal table kind ( Not REAL )"},
      {"first entry 0", t, 1, none, Q7_ERROR_INVALID_FILTER_LIST, Q7_ERROR_INVALID_FILTER_LIST,
       "No Filter or FilterCount Overflow"},
      {"null list", t, 1, nullptr, Q7_ERROR_INVALID_FILTER_LIST, Q7_ERROR_INVALID_FILTER_LIST,
       "No Filter or FilterCount Overflow"},
      {"513 filters", t, 1, too_many.data(), Q7_ERROR_INVALID_FILTER_LIST, Q7_ERROR_INVALID_FILTER_LIST,
       "No Filter or FilterCount Overflow"},
      {"unknown filter", t, 1, unknown, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NO_SUCH_FILTER,
       "Invalid Parameter : FltIDs"},
      {"no set", t, 9, list, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_SET, "No Such Set: 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int sets = Real(t)->FnSet;
    EXPECT_EQ(innerQ7ExtractUniqueReal(0, c.table, c.set, c.filters, 1), c.code);
    EXPECT_EQ(DrainFor("Q7ExtractUniqueReal"),
              (std::vector<Entry>{{"Q7ExtractUniqueReal", c.ring_code, c.message}}));
    EXPECT_EQ(Real(t)->FnSet, sets);
  }
  // 512 listed filters (the same one) are accepted.
  EXPECT_GT(innerQ7ExtractUniqueReal(0, t, 1, most.data(), 1), 0);
}

TEST_F(UniqueRows, KeepsTheFirstRowOfEachGroup) {
  const int t = Table(6);
  const int a = IntFilter(t, {5, 5, 5, 5, 5, 5}, "A");
  int list[] = {a, 0};
  const int set = AddSet(t, {4, 2, 6});
  const int all_same = innerQ7ExtractUniqueReal(0, t, set, list, 0);
  ASSERT_GT(all_same, 0);
  EXPECT_EQ(Rows(t, all_same), (std::vector<int>{4}));
  EXPECT_EQ(innerQ7GetCurrentSetID(t), all_same);
  EXPECT_EQ(g_TFSSaved, 0);  // a new set

  const int empty = AddSet(t, {});
  const int from_empty = innerQ7ExtractUniqueReal(0, t, empty, list, 1);
  ASSERT_GT(from_empty, 0);
  EXPECT_EQ(Rows(t, from_empty), std::vector<int>{});
}

TEST_F(UniqueRows, BothOrdersAndNullGroups) {
  const int t = Table(8);
  // Record:               1  2  3  4  5  6  7  8
  const int a = IntFilter(t, {3, 1, 3, 1, 2, 2, 3, 1}, "A");
  const int b = StringFilter(t, {"x", "y", "x", nullptr, "", "y", "x", nullptr}, "B");
  int list[] = {a, b, 0};
  const int set = AddSet(t, {8, 7, 6, 5, 4, 3, 2, 1});
  // Keys (a, b) in set order: 8 (1,NULL) 7 (3,x) 6 (2,y) 5 (2,NULL) 4 (1,NULL) 3 (3,x) 2 (1,y) 1 (3,x).
  const int kept = innerQ7ExtractUniqueReal(0, t, set, list, 1);
  ASSERT_GT(kept, 0);
  EXPECT_EQ(Rows(t, kept), (std::vector<int>{8, 7, 6, 5, 2}));

  // Unordered: by b's value number (the last filter), ties by a's, ties in set order.
  const int sorted = innerQ7ExtractUniqueReal(0, t, set, list, 0);
  ASSERT_GT(sorted, 0);
  const std::vector<int> rows = Rows(t, sorted);
  EXPECT_EQ(std::set<int>(rows.begin(), rows.end()), (std::set<int>{8, 7, 6, 5, 2}));
  const std::vector<int> va = ValueNumbers(t, a), vb = ValueNumbers(t, b);
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto prev = std::make_pair(vb[rows[i - 1] - 1], va[rows[i - 1] - 1]);
    const auto cur = std::make_pair(vb[rows[i] - 1], va[rows[i] - 1]);
    EXPECT_LT(prev, cur);
  }
}

TEST_F(UniqueRows, AgreesWithADirectComputation) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    SetUp();
    const int n = 1 + static_cast<int>(rng() % 300);
    const int t = Table(n);
    std::vector<int> ids;
    const int n_filters = 1 + static_cast<int>(rng() % 3);
    for (int f = 0; f < n_filters; ++f) {
      std::vector<int> values(static_cast<size_t>(n));
      const int spread = 1 + static_cast<int>(rng() % 6);
      for (int& v : values) v = static_cast<int>(rng() % spread);
      ids.push_back(IntFilter(t, values, ("F" + std::to_string(f)).c_str()));
    }
    std::vector<int> set_rows;
    for (int r = 1; r <= n; ++r) {
      if (rng() % 3 != 0) set_rows.push_back(r);
    }
    std::shuffle(set_rows.begin(), set_rows.end(), rng);
    const int set = set_rows.empty() ? 1 : AddSet(t, set_rows);
    if (set_rows.empty()) {
      for (int r = 1; r <= n; ++r) set_rows.push_back(r);
    }
    std::vector<std::vector<int>> vnos;
    for (int id : ids) vnos.push_back(ValueNumbers(t, id));
    std::vector<int> expected;
    std::set<std::vector<int>> seen;
    for (int r : set_rows) {
      std::vector<int> key;
      for (const auto& v : vnos) key.push_back(v[static_cast<size_t>(r - 1)]);
      if (seen.insert(key).second) expected.push_back(r);
    }
    ids.push_back(0);
    const int kept = innerQ7ExtractUniqueReal(0, t, set, ids.data(), 1);
    ASSERT_GT(kept, 0);
    EXPECT_EQ(Rows(t, kept), expected) << "round " << round;
  }
}

TEST_F(UniqueRows, ASetHoldingARecordTwiceIsAnInnerEngineFailure) {
  const int t = Table(3);
  const int a = IntFilter(t, {1, 2, 3});
  int list[] = {a, 0};
  const int set = AddSet(t, {2, 1, 2});
  const int sets = Real(t)->FnSet;
  try {
    innerQ7ExtractUniqueReal(0, t, set, list, 1);
    ADD_FAILURE() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INNER_ENGINE);
  }
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"Q7ExtractUniqueReal", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)"}}));
  EXPECT_EQ(Real(t)->FnSet, sets);
}

// Both roads (serial counting passes below kUniqueParallelMinRows rows, the integrated sort on the
// pool from there on) against the hash-set reference, for both orders and several worker counts.
// Wide spreads make the filters' value counts multiply past one sort group (2^30), narrow ones make
// large groups; the string filter adds NULL groups.
class UniqueRowsRoads : public unique_test::UniqueTest {};

TEST_F(UniqueRowsRoads, AgreeWithAHashSetReferenceForAnyWorkerCount) {
  struct Round {
    int n;
    std::vector<int> spreads;
    bool nulls;
    bool whole_table;  // set 1, in record order, instead of a shuffled subset
    bool pool;         // the set is large enough for the pool road
  };
  const Round rounds[] = {
      {kUniqueParallelMinRows - 1, {5, 7}, true, true, false},
      // About two thirds of the records go into a subset.
      {kUniqueParallelMinRows * 8 / 5, {5, 7}, true, false, true},
      {kUniqueParallelMinRows * 8 / 5, {3000, 3000, 3000}, false, false, true},
      {kUniqueParallelMinRows + 100, {40, 2}, true, true, true},
      // The string filter alone: the NULL rows sort first.
      {kUniqueParallelMinRows * 8 / 5, {}, true, false, true},
  };
  std::mt19937 rng(11);
  for (const Round& r : rounds) {
    SCOPED_TRACE(r.n);
    SetUp();
    const int t = Table(r.n);
    const std::vector<int> ids = RandomFilters(t, r.n, r.spreads, r.nulls, &rng);
    std::vector<int> set_rows;
    int set = 1;
    if (r.whole_table) {
      for (int row = 1; row <= r.n; ++row) set_rows.push_back(row);
    } else {
      set_rows = RandomSubset(r.n, &rng);
      set = AddSet(t, set_rows);
    }
    ASSERT_EQ(static_cast<int>(set_rows.size()) >= kUniqueParallelMinRows, r.pool);
    const auto vnos = AllValueNumbers(t, ids);
    for (int keep : {0, 1}) {
      const std::vector<int> want = unique_test::ReferenceUnique(vnos, set_rows, keep);
      for (int cap : {1, 2, 5, 0}) {
        q7test::WorkerCap workers(cap);
        const int got = innerQ7ExtractUniqueReal(0, t, set, ids.data(), keep);
        ASSERT_GT(got, 0) << "keep " << keep << ", cap " << cap;
        EXPECT_EQ(Rows(t, got), want) << "keep " << keep << ", cap " << cap;
      }
    }
  }
}

TEST_F(UniqueRowsRoads, ALargeSetHoldingAPickedRecordTwiceFailsAsTheSerialRoadDoes) {
  const int n = kUniqueParallelMinRows;
  const int t = Table(n);
  std::vector<int> values(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) values[static_cast<size_t>(i)] = i % 100;
  int list[] = {IntFilter(t, values), 0};
  std::vector<int> rows;
  for (int r = 1; r <= n; ++r) rows.push_back(r);
  rows.push_back(1);  // record 1 again: the first of its group
  const int set = AddSet(t, rows);
  const int sets = Real(t)->FnSet;
  // Without the set's order a repeated record is one row of its group.
  const int sorted = innerQ7ExtractUniqueReal(0, t, set, list, 0);
  ASSERT_GT(sorted, 0);
  EXPECT_EQ(Rows(t, sorted).size(), 100u);
  try {
    innerQ7ExtractUniqueReal(0, t, set, list, 1);
    ADD_FAILURE() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INNER_ENGINE);
  }
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"Q7ExtractUniqueReal", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)"}}));
  EXPECT_EQ(Real(t)->FnSet, sets + 1);
}

}  // namespace
