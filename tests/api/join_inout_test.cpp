// The semi-join of two real tables as a host sees it: the rows of set A whose INTEGER key value
// occurs (or does not occur) among set B's key values, as a new current set of table A in set A's
// order; values written a moment before take part; and the refusals with their codes and ring
// entries, none of which registers a set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RingEntry;
using Ring = std::vector<RingEntry>;
using Ints = std::vector<int>;

using ExtractFn = int (*)(int, int, int, int, int, int, int);
struct Road {
  const char* name;
  ExtractFn extract;
};
const Road kRoads[] = {{"RQ7ExtractJoinInOut", RQ7ExtractJoinInOut},
                       {"Q7ExtractJoinInOut", Q7ExtractJoinInOut}};

class JoinInOutApi : public ::testing::Test {
 protected:
  // orders: customer {5, 7, NULL, 9, 7, 11}; customers: id {7, NULL, 11, 5}, name (text), score
  // (double).
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    a_ = q7host::AddTable("orders", 6);
    b_ = q7host::AddTable("customers", 4);
    ka_ = q7host::AddIntColumn(a_, "customer", {5, 7, kIntNull, 9, 7, 11});
    kb_ = q7host::AddIntColumn(b_, "id", {7, kIntNull, 11, 5});
    text_ = q7host::AddStringColumn(b_, "name", {"x", "y", "z", "w"});
    real_ = q7host::AddDoubleColumn(b_, "score", {1.0, 2.0, 3.0, 4.0});
    for (int id : {a_, b_, ka_, kb_, text_, real_}) ASSERT_GT(id, 0);
    const int rows_a[] = {6, 5, 3, 2, 1, 4};
    const int rows_b[] = {1, 2, 4};  // record 3 (id 11) left out
    set_a_ = RQ7AddSetReal(a_, 6, rows_a);
    set_b_ = RQ7AddSetReal(b_, 3, rows_b);
    ASSERT_GT(set_a_, 0);
    ASSERT_GT(set_b_, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  int a_ = 0, b_ = 0, ka_ = 0, kb_ = 0, text_ = 0, real_ = 0, set_a_ = 0, set_b_ = 0;
};

TEST_F(JoinInOutApi, NewCurrentSetKeepsRowsByPresenceInSetB) {
  struct Case {
    const char* what;
    int mode;
    Ints want;
  };
  // 11 is only in a record outside set B; NULL matches the NULL of set B.
  const Case kCases[] = {{"in", 1, {5, 3, 2, 1}}, {"out", 0, {6, 4}}};
  for (const Road& road : kRoads) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(road.name) + " " + c.what);
      const int set = road.extract(a_, set_a_, ka_, b_, set_b_, kb_, c.mode);
      ASSERT_GT(set, set_a_);
      EXPECT_EQ(RQ7GetCurrentSetID(a_), set);
      EXPECT_EQ(q7host::ReadSet(a_, set), c.want);
      EXPECT_EQ(q7host::ReadSet(a_, set_a_), (Ints{6, 5, 3, 2, 1, 4}));
    }
  }
  EXPECT_EQ(DrainRing(), Ring{});
}

// Negative sets are the current ones as the call finds them, before its own set becomes current:
// table A against itself through its current set keeps every row in mode 1.
TEST_F(JoinInOutApi, CurrentSetsAreTakenBeforeTheNewSetIsRegistered) {
  ASSERT_EQ(RQ7ChangeCurrentSetID(a_, set_a_), 0);
  const int set = RQ7ExtractJoinInOut(a_, -1, ka_, a_, -1, ka_, 1);
  ASSERT_GT(set, 0);
  EXPECT_EQ(q7host::ReadSet(a_, set), (Ints{6, 5, 3, 2, 1, 4}));
}

// A key value written into one record just before (kept pending until the lists are merged) is
// compared by its value like any other.
TEST_F(JoinInOutApi, FreshlyWrittenKeysTakePart) {
  const int rows = 200;
  const int a = q7host::AddTable("big", rows);
  Ints values(rows);
  for (int r = 0; r < rows; ++r) values[r] = r;
  const int key = q7host::AddIntColumn(a, "k", values);
  ASSERT_GT(key, 0);
  int fresh = 1000;
  int five = 5;
  ASSERT_GE(RQ7OverwriteRealEx(a, 1, key, 3, 1, &fresh), 0);
  ASSERT_GE(RQ7OverwriteRealEx(b_, 1, kb_, 1, 1, &fresh), 0);
  ASSERT_GE(RQ7OverwriteRealEx(b_, 1, kb_, 2, 1, &five), 0);
  // B's set now holds 1000, 5 and 5; A's values 5 (record 6) and 1000 (record 3) match.
  const int set = RQ7ExtractJoinInOut(a, 1, key, b_, set_b_, kb_, 1);
  ASSERT_GT(set, 0);
  EXPECT_EQ(q7host::ReadSet(a, set), (Ints{3, 6}));
}

TEST_F(JoinInOutApi, RefusalsGiveCodesAndRingEntriesAndRegisterNothing) {
  const int join_keys_a[] = {ka_, 0};
  const int join_keys_b[] = {kb_, 0};
  const int join = RQ7AddJoinTable("j", 0, a_, 1, join_keys_a, b_, 1, join_keys_b);
  ASSERT_GT(join, 0);
  DrainRing();
  const int sets_a = RQ7GetNSet(a_);
  const int sets_b = RQ7GetNSet(b_);
  const char* kRing = "Q7ExtractJoinInOut";
  using Case = q7host::RefusalCase;
  const std::vector<Case> cases = {
      {"no table A",
       [&] { return RQ7ExtractJoinInOut(99, 1, ka_, b_, 1, kb_, 1); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {kRing, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}}},
      {"table A a join",
       [&] { return RQ7ExtractJoinInOut(join, 1, 1, b_, 1, kb_, 1); },
       Q7_ERROR_NOT_REAL_TABLE,
       {{kRing, Q7_ERROR_NOT_REAL_TABLE, "Illegal table type ( Not REAL )"}}},
      {"no set A",
       [&] { return RQ7ExtractJoinInOut(a_, 99, ka_, b_, 1, kb_, 1); },
       Q7_ERROR_NO_SUCH_SET,
       {{kRing, Q7_ERROR_NO_SUCH_SET, "No Such Set: 99"}}},
      {"no filter A",
       [&] { return RQ7ExtractJoinInOut(a_, 1, 99, b_, 1, kb_, 1); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{kRing, Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"}}},
      {"table A checked before table B",
       [&] { return RQ7ExtractJoinInOut(a_, 99, ka_, 99, 1, kb_, 1); },
       Q7_ERROR_NO_SUCH_SET,
       {{kRing, Q7_ERROR_NO_SUCH_SET, "No Such Set: 99"}}},
      {"no table B",
       [&] { return Q7ExtractJoinInOut(a_, 1, ka_, 99, 1, kb_, 0); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {kRing, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}}},
      {"table B a join",
       [&] { return RQ7ExtractJoinInOut(a_, 1, ka_, join, 1, 1, 1); },
       Q7_ERROR_NOT_REAL_TABLE,
       {{kRing, Q7_ERROR_NOT_REAL_TABLE, "Illegal table type ( Not REAL )"}}},
      {"no set B",
       [&] { return RQ7ExtractJoinInOut(a_, 1, ka_, b_, 99, kb_, 1); },
       Q7_ERROR_NO_SUCH_SET,
       {{kRing, Q7_ERROR_NO_SUCH_SET, "No Such Set: 99"}}},
      {"no filter B",
       [&] { return RQ7ExtractJoinInOut(a_, 1, ka_, b_, 1, 99, 1); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{kRing, Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"}}},
      {"text key B",
       [&] { return RQ7ExtractJoinInOut(a_, 1, ka_, b_, 1, text_, 1); },
       Q7_ERROR_INVALID_DATA_TYPE,
       {{kRing, Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type ( Not INTEGER )"}}},
      {"double key A",
       [&] { return RQ7ExtractJoinInOut(b_, 1, real_, a_, 1, ka_, 1); },
       Q7_ERROR_INVALID_DATA_TYPE,
       {{kRing, Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type ( Not INTEGER )"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetNSet(a_), sets_a);
    EXPECT_EQ(RQ7GetNSet(b_), sets_b);
  }
}

}  // namespace
