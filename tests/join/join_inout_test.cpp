// The semi-join between two real tables (the rows of set A whose key value occurs, or does not
// occur, among set B's key values) held against a row-by-row reference, on both roads and in every
// pairing of the flag-array and compiled-list paths; and the slave column moved into the master on
// the worker pool, held against the serial move.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "join/JoinInOut.h"
#include "tests/join/join_build_support.h"
#include "values/TIntArray.h"

namespace {

using jbtest::JoinBuildTest;
using kmtest::KeyType;
using kmtest::kNull;
using Ints = std::vector<int>;

// The rows of set_a (in order) whose value occurs among the values of set_b's rows (in) or not (out).
Ints SemiJoin(const Ints& a_values, const Ints& set_a, const Ints& b_values, const Ints& set_b, int mode) {
  Ints out;
  for (int r : set_a) {
    bool found = false;
    for (int q : set_b) found = found || b_values[q] == a_values[r];
    if (found == (mode != 0)) out.push_back(r);
  }
  return out;
}

// Values of records 1..n (element 0 unused) from 0..range-1, about one in 20 NULL.
Ints RandomValues(std::mt19937& gen, int n, int range) {
  Ints v(static_cast<size_t>(n) + 1, kNull);
  for (int r = 1; r <= n; ++r) v[r] = gen() % 20 == 0 ? kNull : static_cast<int>(gen() % range);
  return v;
}

class JoinInOut : public JoinBuildTest {
 protected:
  InOutSide Side(int table, int set, int key) {
    TRealTable* t = Real(table);
    return InOutSide{t, t->GetSet(set), t->GetFilter(key)};
  }
  // ExtractInOutSet, checking that it leaves its result current and the source set unchanged.
  Ints Run(const InOutSide& a, const InOutSide& b, int mode, bool parallel) {
    const Ints before = jbtest::Elements(a.set);
    const int id = ExtractInOutSet(a, b, mode, parallel);
    EXPECT_GT(id, 0);
    EXPECT_EQ(a.table->GetCurrentSetID(), id);
    EXPECT_EQ(jbtest::Elements(a.set), before);
    return jbtest::Elements(a.table->GetSet(id));
  }
};

// A value list at least 8 times longer than the set makes a path compile the set's values; a
// shorter one flags the list's entries. Every pairing of the two choices for A and B, in and out.
TEST_F(JoinInOut, KeepsSetARowsByPresenceOfTheirValueInSetB) {
  struct Case {
    const char* what;
    int a_pct, b_pct;  // share of the table's rows in each set
    bool a_sparse, b_sparse;
  };
  const Case kCases[] = {
      {"both flagged", 90, 90, false, false},
      {"A compiled, B flagged", 5, 90, true, false},
      {"A flagged, B compiled", 90, 5, false, true},
      {"both compiled", 5, 5, true, true},
  };
  constexpr int kRows = 4000;
  std::mt19937 gen(7);
  const int ta = AddTable("A", kRows);
  const int tb = AddTable("B", kRows);
  // Many distinct values, overlapping in part, so both kinds of row occur on either side.
  const Ints a_values = RandomValues(gen, kRows, 6000);
  const Ints b_values = RandomValues(gen, kRows, 9000);
  const int ka = AddKey(ta, "ka", KeyType::kInt, a_values);
  const int kb = AddKey(tb, "kb", KeyType::kInt, b_values);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const Ints set_a = kmtest::RandomSet(gen, kRows, c.a_pct);
    const Ints set_b = kmtest::RandomSet(gen, kRows, c.b_pct);
    const InOutSide a = Side(ta, AddSet(ta, set_a), ka);
    const InOutSide b = Side(tb, AddSet(tb, set_b), kb);
    ASSERT_EQ(static_cast<int>(set_a.size()) <= a.key->VL->FArraySize / 8, c.a_sparse);
    ASSERT_EQ(static_cast<int>(set_b.size()) <= b.key->VL->FArraySize / 8, c.b_sparse);
    for (int mode : {1, 0}) {
      const Ints want = SemiJoin(a_values, set_a, b_values, set_b, mode);
      ASSERT_FALSE(want.empty());
      for (bool parallel : {false, true}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << (parallel ? " pool" : " serial"));
        EXPECT_EQ(Run(a, b, mode, parallel), want);
      }
    }
  }
}

// Small sets by hand: a value that only a row outside set B holds does not count, a NULL key
// matches a NULL key (set B holds one), empty sets on either side, and mode values other than 1.
TEST_F(JoinInOut, EdgeSetsAndNullKeys) {
  const int ta = AddTable("A", 6);
  const int tb = AddTable("B", 4);
  // A: 5, 7, NULL, 9, 7, 11; B: 7, NULL, 11 (row 3, outside set B), 5.
  const int ka = AddKey(ta, "ka", KeyType::kInt, {0, 5, 7, kNull, 9, 7, 11});
  const int kb = AddKey(tb, "kb", KeyType::kInt, {0, 7, kNull, 11, 5});
  const InOutSide a = Side(ta, AddSet(ta, {6, 5, 3, 2, 1, 4}), ka);
  const InOutSide b = Side(tb, AddSet(tb, {1, 2, 4}), kb);
  const InOutSide no_a = Side(ta, AddSet(ta, {}), ka);
  const InOutSide no_b = Side(tb, AddSet(tb, {}), kb);
  struct Case {
    const char* what;
    const InOutSide& a;
    const InOutSide& b;
    int mode;
    Ints want;
  };
  const Case kCases[] = {
      {"in", a, b, 1, {5, 3, 2, 1}},
      {"in, any non-zero mode", a, b, -3, {5, 3, 2, 1}},
      {"out", a, b, 0, {6, 4}},
      {"empty B, in", a, no_b, 1, {}},
      {"empty B, out", a, no_b, 0, {6, 5, 3, 2, 1, 4}},
      {"empty A", no_a, b, 0, {}},
  };
  for (const Case& c : kCases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.what << (parallel ? " pool" : " serial"));
      EXPECT_EQ(Run(c.a, c.b, c.mode, parallel), c.want);
    }
  }
}

TEST_F(JoinInOut, OnlyIntegerValueListsAreKeys) {
  const int t = AddTable("T", 3);
  const Ints v = {0, 1, 2, kNull};
  struct Case {
    KeyType type;
    bool key;
  };
  const Case kCases[] = {{KeyType::kInt, true},
                         {KeyType::kDouble, false},
                         {KeyType::kDate, false},
                         {KeyType::kString, false},
                         {KeyType::kDecimal, false}};
  for (const Case& c : kCases) {
    const int id = AddKey(t, "k" + std::to_string(static_cast<int>(c.type)), c.type, v);
    EXPECT_EQ(IsIntegerKey(Real(t)->GetFilter(id)), c.key) << static_cast<int>(c.type);
  }
}

// master K {1, 2, 3, 2, NULL}, slave K {2, 3, 2, 4}, V {20, 30, 21, 40}: each master record with a
// partner takes its key's first slave partner's value, the others NULL; the pool and the serial
// move build the same column, and the pool form records nothing of its own for a missing filter.
TEST_F(JoinInOut, MoveSlaveColumnOnThePoolEqualsTheSerialMove) {
  const int m = AddTable("M", 5);
  const int s = AddTable("S", 4);
  const int mk = AddKey(m, "k", KeyType::kInt, {0, 1, 2, 3, 2, kNull});
  const int sk = AddKey(s, "k", KeyType::kInt, {0, 2, 3, 2, 4});
  const int sv = AddKey(s, "v", KeyType::kInt, {0, 20, 30, 21, 40});
  auto column = [&](int filter) {
    TFilter* f = Real(m)->GetFilter(filter);
    auto* list = static_cast<TIntArray*>(f->VL);
    Ints out;
    for (int r = 1; r <= 5; ++r) out.push_back(list->GetInt(f->PV->GetInt(r)));
    return out;
  };
  const int n20 = 20 * 3 - 7, n30 = 30 * 3 - 7;
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int id = AddJoin(true, outer, m, 1, {mk, 0}, s, 1, {sk, 0});
    ASSERT_GT(id, 0);
    TJoinTable* j = Join(id);
    const int serial = j->MoveSlaveFlt2Master(sv);
    const int pool = j->MppMoveSlaveFlt2Master(sv);
    ASSERT_GT(serial, 0);
    ASSERT_GT(pool, serial);
    EXPECT_EQ(column(pool), column(serial));
    EXPECT_EQ(column(pool), (Ints{INT32_MIN, n20, n30, n20, INT32_MIN}));
    EXPECT_EQ(std::string(Real(m)->GetFilter(pool)->FFilterName).rfind("v_#", 0), 0u);
    EXPECT_NE(Real(m)->GetFilter(pool)->VL, Real(s)->GetFilter(sv)->VL);
    while (!TakeRing().empty()) {
    }
    EXPECT_EQ(j->MppMoveSlaveFlt2Master(99), Q7_ERROR_NO_SUCH_FILTER);
    EXPECT_EQ(TakeRing(), "");
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

}  // namespace
