// Find operations of the operation layer: the real-table requirement, the string-length refusal,
// find numbers, and stepping through the hits.
#include "api/ops/ops_find.h"

#include <functional>
#include <string>
#include <vector>

#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class FindOps : public opsets_test::OpTest {
 protected:
  void SetUp() override {
    OpTest::SetUp();
    table_ = IntTable({4, 7, 4, 1, 4, 9}, &k_);
    s_ = StringFilter(table_, {"a", "b", "a", "c", "b", "a"});
    Drain();
  }
  int table_ = 0, k_ = 0, s_ = 0;
};

struct RingCase {
  const char* ring;
  std::function<int(int table)> call;
};

TEST_F(FindOps, EveryFindNeedsAnExistingRealTable) {
  const int slave = IntTable({1, 2}, nullptr, "S");
  const int join = Join(table_, slave);
  char a[] = "a";
  int hits = 0, filter = 0, pos = 0;
  const RingCase cases[] = {
      {"Q7OpenStrFindReal", [&](int t) { return innerQ7OpenStrFindReal(t, 2, 0, a, a); }},
      {"Q7OpenIntFindReal", [&](int t) { return innerQ7OpenIntFindReal(t, 1, 0, 4, 4); }},
      {"Q7OpenFloatFindReal", [&](int t) { return innerQ7OpenFloatFindReal(t, 1, 0, 4.0, 4.0); }},
      {"innerQ7OpenNumericFindReal", [&](int t) { return innerQ7OpenNumericFindReal(t, 1, 0, {}, {}); }},
      {"Q7GetFindStatus", [&](int t) { return innerQ7GetFindStatus(t, &hits, &filter); }},
      {"Q7GetNextHitReal", [&](int t) { return innerQ7GetNextHitReal(t, 100, 1, 0, 0, &filter, &pos); }},
      {"Q7CloseFindReal", [&](int t) { return innerQ7CloseFindReal(t); }},
      {"Q7FindRecNoReal", [&](int t) { return innerQ7FindRecNoReal(t, 1, 2); }},
  };
  Drain();
  for (const RingCase& c : cases) {
    SCOPED_TRACE(c.ring);
    EXPECT_EQ(c.call(77), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(c.ring), (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 77"}}));
    EXPECT_EQ(c.call(join), Q7_ERROR_NOT_REAL_TABLE);
    EXPECT_EQ(
        Drain(),
        (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, "Not RealTable: " + std::to_string(join)}}));
  }
  EXPECT_TRUE(g_TFSaved && g_TFSSaved && g_SETTINGSaved);
}

TEST_F(FindOps, FindNumbersStepAndAStaleOneIsRefused) {
  int hits = -5, filter = -5;
  EXPECT_EQ(innerQ7GetFindStatus(table_, &hits, &filter), 0);
  EXPECT_EQ(hits, -5);
  EXPECT_EQ(filter, -5);

  const int first = innerQ7OpenIntFindReal(table_, k_, 0, 4, 0);
  const int second = innerQ7OpenIntFindReal(table_, k_, 0, 4, 0);
  ASSERT_GT(first, 0);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(innerQ7GetFindStatus(table_, &hits, &filter), second);
  EXPECT_EQ(hits, 3);
  EXPECT_EQ(filter, k_);

  int pos = -1;
  EXPECT_EQ(innerQ7GetNextHitReal(table_, first, 1, 0, 0, &filter, &pos), Q7_ERROR_INVALID_FIND_ID);
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"GetNextHit", Q7_ERROR_INVALID_FIND_ID, "Invalid Parameter : SrchID"},
                                {"Q7GetNextHitReal", Q7_ERROR_INVALID_FIND_ID, "return of inner call"}}));

  // Forwards from before the first row, then backwards from after the last.
  std::vector<int> forward, backward;
  for (int at = 0; innerQ7GetNextHitReal(table_, second, 1, at, 0, &filter, &pos) == 1; at = pos) {
    forward.push_back(pos);
  }
  for (int at = 7; innerQ7GetNextHitReal(table_, second, 1, at, 1, &filter, &pos) == 1; at = pos) {
    backward.push_back(pos);
  }
  EXPECT_EQ(forward, (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(backward, (std::vector<int>{5, 3, 1}));

  EXPECT_EQ(innerQ7CloseFindReal(table_), 0);
  EXPECT_EQ(innerQ7GetFindStatus(table_, &hits, &filter), 0);
  EXPECT_EQ(innerQ7GetNextHitReal(table_, second, 1, 0, 0, &filter, &pos), Q7_ERROR_FIND_NOT_OPEN);
  EXPECT_EQ(DrainFor("Q7GetNextHitReal"),
            (std::vector<Entry>{{"Q7GetNextHitReal", Q7_ERROR_FIND_NOT_OPEN, "return of inner call"}}));
  EXPECT_TRUE(g_TFSaved && g_TFSSaved && g_SETTINGSaved);
}

TEST_F(FindOps, StringBoundsUpTo4096Bytes) {
  std::string longest(4096, 'a'), too_long(4097, 'a');
  char b[] = "b";
  ASSERT_GT(innerQ7OpenStrFindReal(table_, s_, 0, longest.data(), b), 0);
  EXPECT_TRUE(Drain().empty());
  ASSERT_EQ(innerQ7CloseFindReal(table_), 0);

  EXPECT_EQ(innerQ7OpenStrFindReal(table_, s_, 0, too_long.data(), b), Q7_ERROR_STRING_SIZE_OVERFLOW);
  EXPECT_EQ(innerQ7OpenStrFindReal(table_, s_, 1, b, too_long.data()), Q7_ERROR_STRING_SIZE_OVERFLOW);
  EXPECT_EQ(Drain(), (std::vector<Entry>(
                         2, {"Q7OpenStrFindReal", Q7_ERROR_STRING_SIZE_OVERFLOW, "StringSize overflow"})));
  int hits = 0, filter = 0;
  EXPECT_EQ(innerQ7GetFindStatus(table_, &hits, &filter), 0) << "no find was opened";

  ASSERT_GT(innerQ7OpenStrFindReal(table_, s_, 0, b, nullptr), 0);
  EXPECT_GT(innerQ7GetFindStatus(table_, &hits, &filter), 0);
  EXPECT_EQ(hits, 2);
}

TEST_F(FindOps, OpenRefusedByTheTableIsRecordedTwice) {
  EXPECT_EQ(innerQ7OpenIntFindReal(table_, k_, 8, 1, 2), Q7_ERROR_INVALID_OPERATION);
  const std::vector<Entry> entries = Drain();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].api, "OpenIntFind");
  EXPECT_EQ(entries[1], (Entry{"Q7OpenIntFindReal", Q7_ERROR_INVALID_OPERATION, "return of inner call"}));
}

TEST_F(FindOps, FindRecNoGivesThePositionOrZero) {
  const int set = AddSet(table_, {6, 2, 4});
  EXPECT_EQ(innerQ7FindRecNoReal(table_, set, 4), 3);
  EXPECT_EQ(innerQ7FindRecNoReal(table_, set, 5), 0);
  EXPECT_TRUE(Drain().empty());
  EXPECT_EQ(innerQ7FindRecNoReal(table_, 99, 4), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainFor("Q7FindRecNoReal"),
            (std::vector<Entry>{{"Q7FindRecNoReal", Q7_ERROR_NO_SUCH_SET, "return of inner call"}}));
}

}  // namespace
