// The task object's operations that repeat the exported interface, where they answer in their own
// way: the refusals they leave without an entry, the entries they make themselves, the log names
// their entries carry, and what they leave in the database.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "api/ops/EngineOps.h"
#include "api/ops/ops_sets.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"

namespace {

using tasktest::RingEntry;
using Ring = std::vector<RingEntry>;

class TaskRepeats : public tasktest::TaskTest {
 protected:
  // T: K {3, 1, 2, 3, 5}, S {a, bb, c, a, dd}; U: K {2, 3, 4}; J inner and O outer join on K.
  void SetUp() override {
    TaskTest::SetUp();
    t_ = IntTable({3, 1, 2, 3, 5}, &k_, "T");
    const char* s[] = {"a", "bb", "c", "a", "dd"};
    s_ = AddFilter(t_, "S", Q7_TYPE_STRING, 8, s);
    u_ = IntTable({2, 3, 4}, nullptr, "U");
    int keys[] = {1, 0};
    char j[] = "J";
    char o[] = "O";
    j_ = DBTASK()->AddJoinTable(j, 0, t_, 1, keys, u_, 1, keys);
    o_ = DBTASK()->AddJoinTable(o, 1, t_, 1, keys, u_, 1, keys);
    ASSERT_GT(o_, 0);
    Drain();
  }

  // The names of the ring's entries, oldest first.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const RingEntry& e : Drain()) names.push_back(e.api);
    return names;
  }

  int t_ = 0, k_ = 0, s_ = 0, u_ = 0, j_ = 0, o_ = 0;
};

char* Text(const char* text) { return const_cast<char*>(text); }

// ---- Refusals without an entry of the operation's own ----

TEST_F(TaskRepeats, SilentRefusals) {
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::vector<std::string> ring;  // the lookup's own entries only
  };
  char name[256];
  _TTableInfo info;
  const std::string long_text(4097, 'x');
  const Case cases[] = {
      {"GetTableName of a missing table",
       [&] { return DBTASK()->GetTableName(99, name); },
       Q7_ERROR_NO_SUCH_TABLE,
       {"GetTable"}},
      {"GetTableProperty of a missing table",
       [&] { return DBTASK()->GetTableProperty(99, &info); },
       Q7_ERROR_NO_SUCH_TABLE,
       {"GetTable"}},
      {"SetSetName of an unknown set",
       [&] { return DBTASK()->SetSetName(t_, 77, Text("N")); },
       Q7_ERROR_NO_SUCH_SET,
       {}},
      {"GetSetName of an unknown set",
       [&] { return DBTASK()->GetSetName(t_, 77, name); },
       Q7_ERROR_NO_SUCH_SET,
       {}},
      {"SortByRowNo with order 2",
       [&] { return DBTASK()->SortByRowNo(t_, 0, 1, 2); },
       Q7_ERROR_INVALID_PARAMETER,
       {}},
      {"OpenStrFindReal with a text of 4097 bytes",
       [&] { return DBTASK()->OpenStrFindReal(t_, s_, 0, Text(long_text.c_str()), Text("")); },
       Q7_ERROR_STRING_SIZE_OVERFLOW,
       {}},
      {"OpenStrFindReal with a second text of 4097 bytes",
       [&] { return DBTASK()->OpenStrFindReal(t_, s_, 1, Text("a"), Text(long_text.c_str())); },
       Q7_ERROR_STRING_SIZE_OVERFLOW,
       {}},
      {"OpenStrFindRealSJIS with a text of 4097 bytes",
       [&] { return DBTASK()->OpenStrFindRealSJIS(t_, s_, 0, Text(long_text.c_str()), Text("")); },
       Q7_ERROR_STRING_SIZE_OVERFLOW,
       {}},
      {"HighSpeedSearchEnable of filter -2",
       [&] { return DBTASK()->HighSpeedSearchEnable(t_, -2, true); },
       Q7_ERROR_ILLEGAL_FILTER,
       {}},
      {"GetFilterMemorySize of an unknown filter",
       [&] { return static_cast<int>(DBTASK()->GetFilterMemorySize(t_, 99)); },
       Q7_ERROR_NO_SUCH_FILTER,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(Names(), c.ring);
  }
  // The refused find opened nothing.
  int hits = -1, filter = -1;
  EXPECT_EQ(DBTASK()->GetFindStatus(t_, &hits, &filter), 0);
}

TEST_F(TaskRepeats, SharedTableIsNotRenamedAndNothingIsRecorded) {
  db()->GetTable(t_)->FShmImage = 1;
  EXPECT_EQ(DBTASK()->SetTableName(t_, Text("N")), Q7_ERROR_SHARED_READ_ONLY);
  EXPECT_EQ(Drain(), Ring{});
  EXPECT_EQ(DBTASK()->IsSharedMemoryTable(t_), 1);
  EXPECT_EQ(DBTASK()->SharedMemoryTable(t_), 1);
  db()->GetTable(t_)->FShmImage = 0;
  EXPECT_STREQ(db()->GetTable(t_)->FTableName, "T");
  EXPECT_EQ(DBTASK()->SetTableName(t_, Text("N")), 0);
  EXPECT_STREQ(db()->GetTable(t_)->FTableName, "N");
  EXPECT_EQ(DBTASK()->IsSharedMemoryTable(t_), 0);
  EXPECT_EQ(DBTASK()->IsSharedMemoryTable(99), Q7_ERROR_NO_SUCH_TABLE);
  const Ring ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7IsSharedMemoryTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}));
}

// ---- Entries of the task's own ----

TEST_F(TaskRepeats, ChangeCurrentSetIDRecordsOnlyTheInnerResult) {
  int rows[] = {2, 3};
  const int second = DBTASK()->AddSetReal(t_, 2, rows);
  ASSERT_GT(second, 1);
  EXPECT_EQ(DBTASK()->ChangeCurrentSetID(t_, 1), 0);
  EXPECT_EQ(DBTASK()->GetCurrentSetID(t_), 1);
  EXPECT_EQ(Drain(), Ring{});
  EXPECT_EQ(DBTASK()->ChangeCurrentSetID(t_, 77), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DBTASK()->GetCurrentSetID(t_), 1);
  EXPECT_EQ(Drain(), (Ring{{"Q7ChangeCurrentSetID", Q7_ERROR_ILLEGAL_SET_ID, "return of inner call"}}));
  EXPECT_EQ(DBTASK()->ChangeCurrentSetID(t_, second), 0);
  EXPECT_EQ(DBTASK()->GetCurrentSetID(t_), second);
}

TEST_F(TaskRepeats, HighSpeedSearchIsEnabledNamesAnIllegalFilter) {
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, 0), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(Drain(), (Ring{{"RQ7HighSpeedSearchIsEnabled", Q7_ERROR_ILLEGAL_FILTER, "Invalid Filter"}}));
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, -1), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchEnable(t_, k_, true), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, k_), 1);
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, s_), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, -1), 1);
  // -1 switches every filter.
  EXPECT_EQ(DBTASK()->HighSpeedSearchEnable(t_, -1, true), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, s_), 1);
  EXPECT_EQ(DBTASK()->HighSpeedSearchEnable(t_, -1, false), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(t_, -1), 0);
  EXPECT_EQ(Drain(), Ring{});
  // A table of another kind carries its own code.
  EXPECT_EQ(DBTASK()->HighSpeedSearchIsEnabled(j_, -1), Q7_ERROR_NOT_REAL_TABLE);
  char message[64];
  snprintf(message, sizeof message, "Not RealTable: %d ", j_);
  EXPECT_EQ(Drain(), (Ring{{"RQ7HighSpeedSearchIsEnabled", Q7_ERROR_NOT_REAL_TABLE, message}}));
}

TEST_F(TaskRepeats, HighSpeedSearchMarkIsMadeOnceAndRemoved) {
  TSetArray* set = Real(t_)->GetSet(1);
  TFilter* filter = Real(t_)->GetFilter(k_);
  EXPECT_EQ(DBTASK()->HighSpeedSearchHasMark(t_, 1, k_), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchSetMark(t_, 1, k_, true), 0);
  const void* view = set->GetSortedSet(filter);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(DBTASK()->HighSpeedSearchSetMark(t_, 1, k_, true), 0);
  EXPECT_EQ(set->GetSortedSet(filter), view);
  EXPECT_EQ(DBTASK()->HighSpeedSearchHasMark(t_, 1, k_), 1);
  EXPECT_EQ(DBTASK()->HighSpeedSearchSetMark(t_, 1, k_, false), 0);
  EXPECT_EQ(DBTASK()->HighSpeedSearchHasMark(t_, 1, k_), 0);
  EXPECT_EQ(Drain(), Ring{});
  EXPECT_EQ(DBTASK()->HighSpeedSearchHasMark(t_, 77, k_), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(Drain(), (Ring{{"RQ7HighSpeedSearchHasMark", Q7_ERROR_NO_SUCH_SET, "No Such Set: 77 "}}));
}

TEST_F(TaskRepeats, LoadRealTableRecordsAMissingFileWithoutAText) {
  q7test::TempDir dir;
  const int tables = DBTASK()->GetNTable();
  const int result = DBTASK()->LoadRealTable(Text(dir.Dir().c_str()), Text("none"));
  EXPECT_LT(result, 0);
  const Ring ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7LoadRealTable", result, ""}));
  EXPECT_EQ(DBTASK()->GetNTable(), tables);
}

TEST_F(TaskRepeats, CombineTableListNamesTheTableAsAddRealTable) {
  int tables[] = {t_, 0};
  int sets[] = {1};
  const int named = DBTASK()->CombineTableList(nullptr, tables, sets, nullptr, nullptr, nullptr, nullptr);
  ASSERT_GT(named, 0);
  EXPECT_TRUE(q7test::FullMatch(db()->GetTable(named)->FTableName, "realtbl[0-9]{14}_0"))
      << db()->GetTable(named)->FTableName;
  EXPECT_EQ(db()->GetTable(named)->TotalRecs(), 5);

  const std::string too_long(256, 'n');
  const int count = DBTASK()->GetNTable();
  Drain();
  EXPECT_EQ(
      DBTASK()->CombineTableList(Text(too_long.c_str()), tables, sets, nullptr, nullptr, nullptr, nullptr),
      Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(Drain(), (Ring{{"RQ7CombineTableList", Q7_ERROR_ILLEGAL_TABLE_NAME, ""}}));
  EXPECT_EQ(DBTASK()->GetNTable(), count);
  const std::string longest(255, 'n');
  const int id =
      DBTASK()->CombineTableList(Text(longest.c_str()), tables, sets, nullptr, nullptr, nullptr, nullptr);
  ASSERT_GT(id, 0);
  EXPECT_EQ(std::string(db()->GetTable(id)->FTableName), longest);
}

TEST_F(TaskRepeats, QualifyTreeRecordsARefusalWithoutAText) {
  int filters[] = {k_, 0};
  EXPECT_EQ(DBTASK()->QualifyTree(99, 1, t_, filters, 0), Q7_ERROR_NO_SUCH_TABLE);
  const Ring ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7QualifyTree", Q7_ERROR_NO_SUCH_TABLE, ""}));
  // A real table is no tree: its first two filters must be INTEGER depth and record number.
  EXPECT_EQ(DBTASK()->QualifyTree(t_, 1, u_, filters, 0), Q7_ERROR_ILLEGAL_FILTER_TYPE);
}

TEST_F(TaskRepeats, HighSpeedSearchEnableWithoutADatabase) {
  CSmpEngine* engine = CSmpEngine::Instance();
  TTableCollection* held = engine->Database();
  engine->SetDatabase(nullptr);
  EXPECT_EQ(DBTASK()->HighSpeedSearchEnable(1, -1, true), Q7_ERROR_NO_SUCH_TABLE);
  engine->SetDatabase(held);
  EXPECT_EQ(Drain(), (Ring{{"RQ7HighSpeedSearchEnable", Q7_ERROR_NO_SUCH_TABLE, ""}}));
}

// ---- Log names ----

TEST_F(TaskRepeats, EntriesCarryTheTaskLogNames) {
  struct Case {
    const char* log_name;
    std::function<int(int table)> call;
    int code;
  };
  int a = 0, b = 0, c = 0;
  double d = 0;
  const Case on_a_join[] = {
      {"RQ7SearchByDispRowNoReal", [](int t) { return DBTASK()->SearchByDispRowNoReal(t, 1, 0, 1, 1); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7OpenStrFindReal", [](int t) { return DBTASK()->OpenStrFindReal(t, 1, 0, Text("a"), Text("")); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7OpenIntFindReal", [](int t) { return DBTASK()->OpenIntFindReal(t, 1, 0, 1, 1); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7OpenFloatFindReal", [](int t) { return DBTASK()->OpenFloatFindReal(t, 1, 0, 1, 1); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7GetNextHitReal", [&](int t) { return DBTASK()->GetNextHitReal(t, 1, 1, 0, 0, &a, &b); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7FindRecNoReal", [](int t) { return DBTASK()->FindRecNoReal(t, 1, 1); }, Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7GetFindStatus", [&](int t) { return DBTASK()->GetFindStatus(t, &a, &b); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7CloseFindReal", [](int t) { return DBTASK()->CloseFindReal(t); }, Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7HighSpeedSearchEnable", [](int t) { return DBTASK()->HighSpeedSearchEnable(t, -1, true); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7HighSpeedSearchSetMark", [](int t) { return DBTASK()->HighSpeedSearchSetMark(t, 1, 1, true); },
       Q7_ERROR_NOT_REAL_TABLE},
      {"RQ7PutJoinSetToParent", [&](int t) { return DBTASK()->PutJoinSetToParent(t, 0, 0, &a, &b); },
       Q7_ERROR_NOT_INNER_JOIN_TABLE},
      {"Q7ReturnSet2SlaveTable", [&](int t) { return DBTASK()->ReturnSet2SlaveTable(t, &a); },
       Q7_ERROR_NOT_INNER_JOIN_TABLE},
      {"Q7PurgeSubsets", [](int t) { return DBTASK()->PurgeSubsets(t); }, 0},
  };
  for (const Case& x : on_a_join) {
    SCOPED_TRACE(x.log_name);
    EXPECT_EQ(x.call(o_), x.code);
    const Ring ring = Drain();
    if (x.code == 0) {
      EXPECT_EQ(ring, Ring{});
      continue;
    }
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0].api, x.log_name);
  }
  const Case on_a_missing_table[] = {
      {"RQ7GetTableIDList", [](int) { return DBTASK()->GetTableIDList(nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"RQ7GetFilter", [](int t) { return DBTASK()->GetFilter(t, 1, nullptr); }, Q7_ERROR_NO_SUCH_TABLE},
      {"RQ7GetFilterAttr", [&](int t) { return DBTASK()->GetFilterAttr(t, 1, &d, false); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"Q7GetSubsetAttr", [&](int t) { return DBTASK()->GetSubsetAttr(t, 1, &d, false); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"RQ7SortByRowNo", [](int t) { return DBTASK()->SortByRowNo(t, 0, 1, 0); }, Q7_ERROR_NO_SUCH_TABLE},
      {"RQ7SearchByRowNo", [](int t) { return DBTASK()->SearchByRowNo(t, 0, 1, 0, 1, 1); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"Q7GetJoinSrcTblIDs",
       [&](int t) { return DBTASK()->GetJoinSrcTblInfo(t, &a, &b, nullptr, nullptr, nullptr); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"Q7GetAllFilterInfo", [&](int t) { return DBTASK()->GetAllFilterInfo(t, 0, &c, nullptr, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
  };
  for (const Case& x : on_a_missing_table) {
    SCOPED_TRACE(x.log_name);
    EXPECT_EQ(x.call(99), x.code);
    const Ring ring = Drain();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back().api, x.log_name);
    for (const RingEntry& e : ring) EXPECT_NE(e.api.substr(0, 5), "inner");
  }
}

// Entries written across the ring's wrap are renamed all the same, and only those of the layer's name.
TEST_F(TaskRepeats, LogNamesFollowEntriesAcrossTheRingsWrap) {
  for (int filled = 0; filled < ErrorRing::kSlots; ++filled) {
    SCOPED_TRACE(filled);
    Drain();
    for (int i = 0; i < filled; ++i) PutErrorLog("other", 1, "old");
    const int result = UnderLogName("Task", "Layer", [] {
      PutErrorLog("Layer", 2, "first");
      PutErrorLog("Below", 3, "kept");
      PutErrorLog("Layer", 4, "second");
      return 7;
    });
    EXPECT_EQ(result, 7);
    Ring ring = Drain();
    ASSERT_GE(ring.size(), 3u);
    ring.erase(ring.begin(), ring.end() - 3);
    EXPECT_EQ(ring, (Ring{{"Task", 2, "first"}, {"Below", 3, "kept"}, {"Task", 4, "second"}}));
  }
}

// ---- The database afterwards ----

TEST_F(TaskRepeats, ReplacingTheDatabase) {
  EXPECT_EQ(DBTASK()->ClearDB(), 0);
  EXPECT_EQ(DBTASK()->GetNTable(), 0);
  EXPECT_EQ(Drain(), Ring{});

  q7test::TempDir dir;
  IntTable({1, 2}, nullptr, "A");
  ASSERT_EQ(DBTASK()->SaveDBAs(Text(dir.Dir().c_str()), Text("D")), 0);
  IntTable({3}, nullptr, "B");
  EXPECT_EQ(DBTASK()->GetNTable(), 2);
  EXPECT_EQ(DBTASK()->LoadDB(Text(dir.Dir().c_str()), Text("D")), 0);
  EXPECT_EQ(DBTASK()->GetNTable(), 1);
  EXPECT_GT(DBTASK()->GetTableIDFromName(Text("A")), 0);
  // A file that is not there costs nothing: the database in place stays.
  const int missing = DBTASK()->LoadDB(Text(dir.Dir().c_str()), Text("none"));
  EXPECT_LT(missing, 0);
  ASSERT_NE(db(), nullptr);
  EXPECT_EQ(DBTASK()->GetNTable(), 1);
  const Ring ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back().api, "RQ7LoadDB");
  EXPECT_EQ(ring.back().code, missing);
  // Saved again where it was loaded from.
  IntTable({4}, nullptr, "C");
  EXPECT_EQ(DBTASK()->SaveDB(), 0);
  EXPECT_EQ(DBTASK()->ClearDB(), 0);
  EXPECT_EQ(DBTASK()->LoadDB(Text(dir.Dir().c_str()), Text("D")), 0);
  EXPECT_EQ(DBTASK()->GetNTable(), 2);
}

TEST_F(TaskRepeats, SetsAndTheirAttributes) {
  int rows[] = {2, 4};
  const int second = DBTASK()->AddSetReal(t_, 2, rows);
  EXPECT_EQ(DBTASK()->DeleteSet(t_, 1), Q7_ERROR_SET_NOT_DELETABLE);
  Ring ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(),
            (RingEntry{"Q7DeleteSet", Q7_ERROR_SET_NOT_DELETABLE, "Root set cannot be deleted"}));

  char attr[kAttributeBytes];
  memset(Real(t_)->GetSet(second)->FUserArea, 'a', kAttributeBytes);
  EXPECT_EQ(DBTASK()->GetSubsetAttr(t_, second, attr, true), 0);
  EXPECT_EQ(std::string(attr, kAttributeBytes), std::string(kAttributeBytes, 'a'));
  // A set on a shared-memory image is read, but not for writing.
  Real(t_)->GetSet(second)->FNotOwned = 1;
  EXPECT_EQ(DBTASK()->GetSubsetAttr(t_, second, attr, false), 0);
  EXPECT_EQ(DBTASK()->GetSubsetAttr(t_, second, attr, true), Q7_ERROR_SHARED_READ_ONLY);
  Real(t_)->GetSet(second)->FNotOwned = 0;
  EXPECT_EQ(Drain(), Ring{});
  EXPECT_EQ(DBTASK()->GetSubsetAttr(t_, 77, attr, false), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(Drain(), (Ring{{"Q7GetSubsetAttr", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 77"}}));

  EXPECT_EQ(DBTASK()->SetSetName(t_, second, Text("evens")), 0);
  char name[256] = {};
  EXPECT_EQ(DBTASK()->GetSetName(t_, second, name), 0);
  EXPECT_STREQ(name, "evens");
  EXPECT_EQ(DBTASK()->PurgeSubsets(t_), 0);
  EXPECT_EQ(DBTASK()->GetNSet(t_), 1);
  EXPECT_EQ(DBTASK()->GetCurrentSetID(t_), 1);
}

TEST_F(TaskRepeats, ReadsOfValuesAndRecordNumbers) {
  int type = 0;
  char value[4096] = {};
  // Filter 0 reads the record number.
  EXPECT_EQ(DBTASK()->GetData(t_, 0, 1, 2, &type, value), 4);
  EXPECT_EQ(type, Q7_TYPE_INTEGER);
  int record = 0;
  memcpy(&record, value, 4);
  EXPECT_EQ(record, 3);
  // Row 1 is position 0; row 0 is none.
  EXPECT_EQ(DBTASK()->GetData1(t_, s_, 1, 1, &type, value), 1);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_STREQ(value, "a");
  EXPECT_EQ(DBTASK()->GetData1(t_, s_, 1, 0, &type, value), Q7_ERROR_NO_SUCH_SET);
  Drain();

  int count = 0;
  char values[1024];
  char texts[4096];
  EXPECT_EQ(DBTASK()->GetData1M(t_, s_, 1, 4, &type, &count, values, texts), 1);
  EXPECT_EQ(count, 2);
  int offsets[2];
  memcpy(offsets, values, sizeof offsets);
  EXPECT_STREQ(texts + offsets[0], "a");
  EXPECT_STREQ(texts + offsets[1], "dd");
  int records[128] = {};
  EXPECT_EQ(DBTASK()->GetRowNo1M(t_, 1, 3, &count, records, nullptr), 4);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::vector<int>(records, records + 4), (std::vector<int>{3, 4, 5, 0}));
  EXPECT_EQ(DBTASK()->GetRowNo1(t_, 1, 5, &record, nullptr), 4);
  EXPECT_EQ(record, 5);
  Drain();
}

TEST_F(TaskRepeats, JoinKindsAreChecked) {
  int table = 0, set = 0;
  EXPECT_EQ(DBTASK()->GetJoinDir(t_, 1), Q7_ERROR_NOT_JOIN_TABLE);
  EXPECT_EQ(DBTASK()->PutJoinSetToParent(o_, 0, 0, &table, &set), Q7_ERROR_NOT_INNER_JOIN_TABLE);
  char message[64];
  snprintf(message, sizeof message, "Not Inner-Join Table: %d", o_);
  const Ring ring = Drain();
  ASSERT_EQ(ring.size(), 2u);
  EXPECT_EQ(ring[1], (RingEntry{"RQ7PutJoinSetToParent", Q7_ERROR_NO_SUCH_TABLE, message}));
  EXPECT_EQ(DBTASK()->PutJoinSetToParent(j_, 0, 0, &table, &set), 0);
  EXPECT_EQ(table, t_);
  EXPECT_EQ(DBTASK()->GetCurrentSetID(t_), set);
}

TEST_F(TaskRepeats, FilterChangesNeedAnEditableRealTable) {
  EXPECT_EQ(DBTASK()->DeleteRealFilter(t_, s_), Q7_ERROR_NOT_EDITABLE);
  const int v = IntTable({7, 8}, nullptr, "V");
  const char* w[] = {"x", "y"};
  const int wf = AddFilter(v, "W", Q7_TYPE_STRING, 8, w);
  const int dup = DBTASK()->DupRealFilter(v, wf);
  ASSERT_GT(dup, 0);
  EXPECT_EQ(DBTASK()->GetNFilter(v), 3);
  EXPECT_EQ(DBTASK()->SetFilterName(v, dup, Text("W")), 0);
  char name[256] = {};
  EXPECT_EQ(DBTASK()->GetFilterName(v, dup, name), 0);
  EXPECT_STRNE(name, "W");  // made unique in the table
  EXPECT_EQ(DBTASK()->GetFilterIDFromName(v, name), dup);
  EXPECT_EQ(DBTASK()->DeleteRealFilter(v, wf), 0);
  EXPECT_EQ(DBTASK()->GetNFilter(v), 2);
  EXPECT_EQ(DBTASK()->InsertRealRows(v, 1, 2), 2);
  EXPECT_EQ(DBTASK()->GetTotalRows(v), 4);
  EXPECT_EQ(DBTASK()->DeleteRealRows(v, 1, 3), 3);
  EXPECT_EQ(DBTASK()->GetTotalRows(v), 1);
  Drain();
}

TEST_F(TaskRepeats, EnvironmentAndMemory) {
  _TREnvironment env;
  memset(&env, 0, sizeof env);
  EXPECT_EQ(DBTASK()->GetEnvironment(&env), 0);
  EXPECT_EQ(env.wordSize, 64);
  EXPECT_GT(env.processors, 0);
  _TRMemInfo info{};
  _TRMemInfo layer{};
  EXPECT_EQ(DBTASK()->GetSystemMemInfo(&info), innerQ7GetSystemMemInfo(&layer));
  EXPECT_EQ(info.total, layer.total);
  EXPECT_EQ(DBTASK()->GetSystemMemInfo(nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain(), (Ring{{"RQ7GetSystemMemInfo", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : info"}}));
  EXPECT_GT(DBTASK()->GetTotalMemorySize(), DBTASK()->GetTableMemorySize(t_));
  EXPECT_GT(DBTASK()->GetSetMemorySize(t_, 1), 0);
  EXPECT_EQ(DBTASK()->GetSetMemorySize(t_, 77), Q7_ERROR_NO_SUCH_SET);
}

}  // namespace
