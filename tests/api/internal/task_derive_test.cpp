// The engine task object's derived-table slots: the extract, combine and duplicate that fill the
// new table on the worker pool, their names, filter lists and refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "task_test_support.h"

namespace {

using tasktest::Ints;
using tasktest::RingEntry;
using tasktest::TaskTest;

char g_name[] = "made";
int g_list[] = {1, 0};

struct SlotCase {
  const char* log_name;
  int (*call)(int table);
};

// Every slot over the same source, table ID `table`, with its first filter.
const SlotCase kSlots[] = {
    {"RQ7ExtractRealTableEx", [](int t) { return DBTASK()->ExtractRealTableEx(g_name, t, 1, 1, 1, g_list); }},
    {"RQ7ExtractRealTableEx", [](int t) { return DBTASK()->ExtractRealTable(g_name, t, 1, g_list); }},
    {"RQ7CombineRealTable",
     [](int t) { return DBTASK()->CombineRealTableEx(g_name, 1, 1, t, 1, g_list, t, 1, g_list, 0); }},
    {"RQ7CombineRealTable",
     [](int t) { return DBTASK()->CombineRealTable(g_name, t, 1, g_list, t, 1, g_list); }},
    {"RQ7DuplicateRealTable", [](int t) { return DBTASK()->DuplicateRealTable(g_name, t); }},
};

TEST_F(TaskTest, DerivedTableSlotsRefuseMissingAndJoinSourcesWithoutUsingATableID) {
  const int master = IntTable({1, 2, 3}, nullptr, "M");
  const int join = Join(master, master);
  Drain();
  const int issued = db()->FTblIDIssued;
  for (const SlotCase& c : kSlots) {
    SCOPED_TRACE(c.log_name);
    EXPECT_EQ(c.call(999), Q7_ERROR_NO_SUCH_TABLE);
    auto ring = Drain();
    ASSERT_EQ(ring.size(), 2u);
    EXPECT_EQ(ring[0].api, "GetTable");
    EXPECT_EQ(ring[1], (RingEntry{c.log_name, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999"}));
    EXPECT_EQ(c.call(join), Q7_ERROR_NO_SUCH_TABLE);
    ring = Drain();
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0].api, c.log_name);
    EXPECT_EQ(db()->FTblIDIssued, issued);
    EXPECT_EQ(db()->TableCount(), 2);
  }
}

TEST_F(TaskTest, DerivedTableSlotsNameTheNewTable) {
  const int source = IntTable({1, 2, 3}, nullptr, "S");
  std::string long_name(256, 'n');
  const std::string host_copy = long_name;
  for (const SlotCase& c : kSlots) {
    SCOPED_TRACE(c.log_name);
    const int made = c.call(source);
    ASSERT_GT(made, 0);
    // Made unique ("made", "made_#1", ...); the host's text stays as it was.
    EXPECT_EQ(std::string(Real(made)->FTableName).rfind("made", 0), 0u);
    EXPECT_STREQ(g_name, "made");
  }
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});
  // A name above 255 bytes is refused; a missing one is generated.
  EXPECT_EQ(DBTASK()->ExtractRealTable(long_name.data(), source, 1, g_list), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"RQ7ExtractRealTableEx", Q7_ERROR_ILLEGAL_TABLE_NAME, ""}}));
  EXPECT_EQ(long_name, host_copy);
  const int generated = DBTASK()->DuplicateRealTable(nullptr, source);
  ASSERT_GT(generated, 0);
  EXPECT_EQ(std::string(Real(generated)->FTableName).rfind("realtbl", 0), 0u);
}

TEST_F(TaskTest, ExtractSlotTakesEveryFilterForANullList) {
  int first = 0;
  const int source = IntTable({7, 8, 9}, &first, "S");
  std::vector<int> second_values{4, 5, 6};
  const int second = AddFilter(source, "L", Q7_TYPE_INTEGER, 4, second_values.data());
  ASSERT_EQ(Real(source)->MoveFilter(1, 0), 0);  // display order L, K
  const int all = DBTASK()->ExtractRealTableEx(g_name, source, 1, 0, 1, nullptr);
  ASSERT_GT(all, 0);
  ASSERT_EQ(Real(all)->FnFilter, 3);
  EXPECT_STREQ(Real(all)->FFilters[0]->FFilterName, "#REC_NO");
  EXPECT_STREQ(Real(all)->FFilters[1]->FFilterName, "L");
  EXPECT_STREQ(Real(all)->FFilters[2]->FFilterName, "K");
  EXPECT_EQ(Ints(Column(all, 2)), second_values);
  int none[] = {0};
  const int empty = DBTASK()->ExtractRealTable(g_name, source, 1, none);
  ASSERT_GT(empty, 0);
  EXPECT_EQ(Real(empty)->FnFilter, 0);
  EXPECT_EQ(Real(empty)->TotalRecs(), 3);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(first, 1);
}

TEST_F(TaskTest, ConsumingCombineSlotDeletesItsSources) {
  int a_key = 0;
  int b_key = 0;
  const int a = IntTable({1, 2}, &a_key, "A");
  const int b = IntTable({3}, &b_key, "B");
  int ids_a[] = {a_key, 0};
  int ids_b[] = {b_key, 0};
  const int kept = DBTASK()->CombineRealTable(g_name, a, 1, ids_a, b, 1, ids_b);
  ASSERT_GT(kept, 0);
  EXPECT_NE(db()->GetTable(a), nullptr);
  const int consumed = DBTASK()->CombineRealTableEx(g_name, 1, 1, a, 1, ids_a, b, 1, ids_b, 1);
  ASSERT_GT(consumed, 0);
  EXPECT_EQ(db()->ID2Loc(a), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(db()->ID2Loc(b), Q7_ERROR_NO_SUCH_TABLE);
  TRealTable* t = Real(consumed);
  ASSERT_EQ(t->FnFilter, 3);
  EXPECT_STREQ(t->FFilters[1]->FFilterName, "RecNo");
  EXPECT_EQ(Ints(Column(consumed, 1)), (std::vector<int>{a, a, b}));
  EXPECT_EQ(Ints(Column(consumed, 2)), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(Ints(Column(consumed, 3)), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Ints(Column(kept, 1)), (std::vector<int>{1, 2, 3}));
}

}  // namespace
