// The task object's semi-join slot (slot 3), which no exported function reaches: its refusals are
// recorded once, under its own log name with an empty message, and register nothing; its rows are
// the operation layer's, also while key values wait in the pending lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/ops/ops_joins.h"
#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "task_test_support.h"

namespace {

using tasktest::RingEntry;
using Ring = std::vector<RingEntry>;
using Ints = std::vector<int>;

constexpr int kRows = 200;  // enough records for single writes to go to the pending lists

class TaskInOut : public tasktest::TaskTest {
 protected:
  // A: record r holds r % 50; B: record r holds 40 + r, and 1000 + r beyond 100.
  void SetUp() override {
    TaskTest::SetUp();
    Ints a(kRows), b(kRows);
    for (int r = 1; r <= kRows; ++r) {
      a[r - 1] = r % 50;
      b[r - 1] = r <= 100 ? 40 + r : 1000 + r;
    }
    a_ = IntTable(a, &ka_, "A");
    b_ = IntTable(b, &kb_, "B");
    std::vector<double> d(kRows, 0.5);
    real_ = AddFilter(b_, "D", Q7_TYPE_DOUBLE, 8, d.data());
    Drain();
  }

  int a_ = 0, b_ = 0, ka_ = 0, kb_ = 0, real_ = 0;
};

TEST_F(TaskInOut, RefusalsAreRecordedOnceWithAnEmptyMessage) {
  const int join = Join(a_, b_);
  const int sets_a = Real(a_)->FnSet;
  const int sets_b = Real(b_)->FnSet;
  struct Case {
    const char* what;
    int table_a, set_a, key_a, table_b, set_b, key_b;
    int code;
  };
  const Case kCases[] = {
      {"no table A", 99, 1, 1, b_, 1, kb_, Q7_ERROR_NO_SUCH_TABLE},
      {"table A a join", join, 1, 1, b_, 1, kb_, Q7_ERROR_NOT_REAL_TABLE},
      {"no set A", a_, 99, ka_, b_, 1, kb_, Q7_ERROR_NO_SUCH_SET},
      {"no filter A", a_, 1, 99, b_, 1, kb_, Q7_ERROR_NO_SUCH_FILTER},
      {"no table B", a_, 1, ka_, 99, 1, kb_, Q7_ERROR_NO_SUCH_TABLE},
      {"no set B", a_, 1, ka_, b_, 99, kb_, Q7_ERROR_NO_SUCH_SET},
      {"double key B", a_, 1, ka_, b_, 1, real_, Q7_ERROR_INVALID_DATA_TYPE},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DBTASK()->ExtractJoinInOut(c.table_a, c.set_a, c.key_a, c.table_b, c.set_b, c.key_b, 1),
              c.code);
    EXPECT_EQ(Drain(), (Ring{{"RQ7ExtractJoinInOut", c.code, ""}}));
    EXPECT_EQ(Real(a_)->FnSet, sets_a);
    EXPECT_EQ(Real(b_)->FnSet, sets_b);
  }
}

TEST_F(TaskInOut, SlotRowsEqualTheOperationLayersWithPendingValues) {
  // Record 7 of A gets 1105 and record 3 of B gets 7: both only in the pending lists for now.
  int a_value = 1105;
  int b_value = 7;
  ASSERT_GE(DBTASK()->OverwriteRealEx(a_, 1, ka_, 7, 1, &a_value), 0);
  ASSERT_GE(DBTASK()->OverwriteRealEx(b_, 1, kb_, 3, 1, &b_value), 0);
  ASSERT_GT(Real(a_)->GetFilter(ka_)->TVLCount, 0);
  ASSERT_GT(Real(b_)->GetFilter(kb_)->TVLCount, 0);
  // Set B: records 1..10 (41, 42, 7, 44, ..., 50) and 105 (1105); set A: every record, descending.
  Ints rows_b = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 105};
  const int set_b = Real(b_)->AddSetFromRows(static_cast<int>(rows_b.size()), rows_b.data());
  Ints rows_a;
  for (int r = kRows; r >= 1; --r) rows_a.push_back(r);
  const int set_a = Real(a_)->AddSetFromRows(kRows, rows_a.data());
  Ints want_in, want_out;
  for (int r : rows_a) {
    const int v = r == 7 ? 1105 : r % 50;
    const bool found = v == 7 || v == 1105 || (v >= 41 && v <= 50 && v != 43);
    (found ? want_in : want_out).push_back(r);
  }
  for (int mode : {1, 0}) {
    SCOPED_TRACE(mode);
    const int slot = DBTASK()->ExtractJoinInOut(a_, set_a, ka_, b_, set_b, kb_, mode);
    ASSERT_GT(slot, 0);
    const int serial = innerQ7ExtractJoinInOut(a_, set_a, ka_, b_, set_b, kb_, mode);
    ASSERT_GT(serial, slot);
    EXPECT_EQ(SetRows(a_, slot), mode ? want_in : want_out);
    EXPECT_EQ(SetRows(a_, serial), SetRows(a_, slot));
  }
  EXPECT_EQ(Drain(), Ring{});
}

}  // namespace
