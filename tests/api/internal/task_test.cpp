// The engine task object: the refusal rule of its slots and services (codes returned, ring entries
// left), the naming helpers, the host-list checks and the column appends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "api/task/CDBParallelTask.h"
#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"
#include "values/DateTime.h"

namespace {

using tasktest::Ints;
using tasktest::RingEntry;
using tasktest::TaskTest;

// ---- The refusal rule ----

struct MissingTableCase {
  const char* log_name;
  const char* message;
  int (*call)();
};

char g_text[] = "x";
int g_values[4] = {1, 2, 3, 4};

const MissingTableCase kMissingTable[] = {
    {"RQ7SetNot", "No Such Table: 999", [] { return DBTASK()->SetNotReal(999, 1); }},
    {"RQ7SetOpeReal", "No Such Table: 999", [] { return DBTASK()->SetOpeReal(999, 0, 1, 1); }},
    {"RQ7DupRealFilterEx", "No Such Table: 999", [] { return DBTASK()->DupRealFilterEx(999, 1, 3); }},
    {"RQ7OverwriteRealEx", "No Such Table: 999",
     [] { return DBTASK()->OverwriteRealEx(999, 1, 1, 1, 1, g_values); }},
    {"RQ7FillRealEx", "No Such Table: 999", [] { return DBTASK()->FillRealEx(999, 1, 1, 1, 1, g_values); }},
    {"RQ7SearchByField", "No Such Table: 999",
     [] { return DBTASK()->SearchByField(999, 1, 1, 0, g_text, g_text); }},
    {"RQ7SearchByField2", "No Such Table: 999",
     [] { return DBTASK()->SearchByField2(999, 1, 1, 0, g_text, g_text); }},
    {"RQ7SearchByFieldWildCard", "No Such Table: 999",
     [] { return DBTASK()->SearchByFieldWildCard(999, 1, 1, "*"); }},
    {"RQ7SearchByFieldSJIS", "No Such Table: 999",
     [] { return DBTASK()->SearchByFieldSJIS(999, 1, 1, 0, g_text, g_text); }},
    {"RQ7SearchByFieldNValues", "No Such Table: 999",
     [] { return DBTASK()->SearchByFieldNValues(999, 1, 1, 1, g_values); }},
    {"RQ7SortByField", "No Such Table: 999", [] { return DBTASK()->SortByField(999, 1, 1, 0); }},
    {"RQ7IntegratedSortByField", "No Such Table: 999",
     [] { return DBTASK()->IntegratedSortByField(999, 1, g_values, g_values); }},
    {"RQ7AddRealFilter2", "No Such Table: 999",
     [] { return DBTASK()->AddRealFilter2(999, 1024, nullptr, 2, 0, 4, nullptr); }},
    {"RQ7CondenseRealTable", "No Such Table: 999 ", [] { return DBTASK()->CondenseRealTable(999); }},
    {"Q7TableCanEdit", "No Such Table: 999", [] { return DBTASK()->TableCanEdit(999, nullptr); }},
    {"RQ7AppendRealFilter2", "No Such Table: 999",
     [] { return DBTASK()->AppendRealFilter2(999, 1, 2, 1, 1, g_values); }},
    {"RQ7AddSetReal", "No Such Table: 999", [] { return DBTASK()->AddSetReal(999, 1, g_values); }},
    {"Q7GetTotalRows", "No Such Table: 999", [] { return DBTASK()->GetTotalRows(999); }},
    {"Q7GetSetSize", "No Such Table: 999", [] { return DBTASK()->GetSetSize(999, 1); }},
    {"RQ7GetFilterIDList", "No Such Table: 999", [] { return DBTASK()->GetFilterIDList(999, g_values); }},
    {"Q7GetFilterType", "No Such Table: 999", [] { return DBTASK()->GetFilterType(999, 1); }},
    {"RQ7GetValCount", "No Such Table: 999", [] { return DBTASK()->GetValCount(999, 1, 1, g_values); }},
    {"CanAppendFilters", "No Such Table: 999 ", [] { return CanAppendFilters(999); }},
};

TEST_F(TaskTest, MissingTableIsRecordedUnderTheLogName) {
  for (const auto& c : kMissingTable) {
    SCOPED_TRACE(c.log_name);
    EXPECT_EQ(c.call(), Q7_ERROR_NO_SUCH_TABLE);
    const auto ring = Drain();
    // The collection's own lookup leaves its entry first.
    ASSERT_EQ(ring.size(), 2u);
    EXPECT_EQ(ring[0].api, "GetTable");
    EXPECT_EQ(ring[1], (RingEntry{c.log_name, Q7_ERROR_NO_SUCH_TABLE, c.message}));
  }
}

struct KindCase {
  const char* log_name;
  int (*call)(int table);
  int returned;
  // The operation's own entry, null for none. Not-real refusals carry Q7_ERROR_NO_SUCH_TABLE.
  const char* message;
  int recorded;
};

const KindCase kJoinRefused[] = {
    {"RQ7SetNot", [](int t) { return DBTASK()->SetNotReal(t, 1); }, Q7_ERROR_NOT_REAL_TABLE,
     "Not RealTable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7DupRealFilterEx", [](int t) { return DBTASK()->DupRealFilterEx(t, 1, 3); }, Q7_ERROR_NOT_REAL_TABLE,
     "Not RealTable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7OverwriteRealEx", [](int t) { return DBTASK()->OverwriteRealEx(t, 1, 1, 1, 1, g_values); },
     Q7_ERROR_NOT_REAL_TABLE, "Not RealTable: %d ", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7FillRealEx", [](int t) { return DBTASK()->FillRealEx(t, 1, 1, 1, 1, g_values); },
     Q7_ERROR_NOT_REAL_TABLE, "Not RealTable: %d ", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7AddRealFilter2", [](int t) { return DBTASK()->AddRealFilter2(t, 1024, nullptr, 2, 0, 4, nullptr); },
     Q7_ERROR_NOT_REAL_TABLE, "Not RealTable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7AddSetReal", [](int t) { return DBTASK()->AddSetReal(t, 1, g_values); }, Q7_ERROR_NOT_REAL_TABLE,
     "Not RealTable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7AppendRealFilter2", [](int t) { return DBTASK()->AppendRealFilter2(t, 1, 2, 1, 1, g_values); },
     Q7_ERROR_NOT_REAL_TABLE, "Not RealTable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"Q7TableCanEdit", [](int t) { return DBTASK()->TableCanEdit(t, nullptr); }, Q7_ERROR_NOT_REAL_TABLE,
     "Illegal table type ( Not REAL )", Q7_ERROR_NOT_REAL_TABLE},
    {"CanAppendFilters", [](int t) { return CanAppendFilters(t); }, Q7_ERROR_NOT_REAL_TABLE,
     "Illegal table type ( Not REAL )", Q7_ERROR_NOT_REAL_TABLE},
    // The multi-key sort refuses a join without a word.
    {"RQ7IntegratedSortByField",
     [](int t) { return DBTASK()->IntegratedSortByField(t, 1, g_values, g_values); }, Q7_ERROR_NOT_REAL_TABLE,
     nullptr, 0},
};

TEST_F(TaskTest, JoinTableIsRefusedWhereARealTableIsNeeded) {
  const int master = IntTable({1, 2, 3}, nullptr, "M");
  const int slave = IntTable({1, 2}, nullptr, "S");
  const int join = Join(master, slave);
  Drain();
  for (const auto& c : kJoinRefused) {
    SCOPED_TRACE(c.log_name);
    EXPECT_EQ(c.call(join), c.returned);
    const auto ring = Drain();
    if (c.message == nullptr) {
      EXPECT_TRUE(ring.empty());
      continue;
    }
    char message[64];
    snprintf(message, sizeof message, c.message, join);
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0], (RingEntry{c.log_name, c.recorded, message}));
  }
}

const KindCase kReferredRefused[] = {
    {"RQ7OverwriteRealEx", [](int t) { return DBTASK()->OverwriteRealEx(t, 1, 1, 1, 1, g_values); },
     Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7FillRealEx", [](int t) { return DBTASK()->FillRealEx(t, 1, 1, 1, 1, g_values); },
     Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7CondenseRealTable", [](int t) { return DBTASK()->CondenseRealTable(t); }, Q7_ERROR_NOT_EDITABLE,
     "Not Editable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"RQ7AppendRealFilter2", [](int t) { return DBTASK()->AppendRealFilter2(t, 1, 2, -1, 1, g_values); },
     Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", Q7_ERROR_NO_SUCH_TABLE},
    {"CanAppendFilters", [](int t) { return CanAppendFilters(t); }, Q7_ERROR_NOT_EDITABLE,
     "Failed to refere IDList ( result ReferedIDList )", Q7_ERROR_NOT_EDITABLE},
};

TEST_F(TaskTest, TableThatAJoinUsesIsNotEditable) {
  const int master = IntTable({1, 2, 3}, nullptr, "M");
  const int slave = IntTable({1, 2}, nullptr, "S");
  const int join = Join(master, slave);
  Drain();
  int referrers[TTableCollection::kMaxTables] = {};
  EXPECT_EQ(DBTASK()->TableCanEdit(master, referrers), 1);
  EXPECT_EQ(referrers[0], join);
  for (const auto& c : kReferredRefused) {
    SCOPED_TRACE(c.log_name);
    EXPECT_EQ(c.call(master), c.returned);
    char message[64];
    snprintf(message, sizeof message, c.message, master);
    const auto ring = Drain();
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0], (RingEntry{c.log_name, c.recorded, message}));
  }
  EXPECT_EQ(Real(master)->TotalRecs(), 3);  // the append added nothing
  EXPECT_EQ(DBTASK()->TableCanEdit(slave, nullptr), 1);
  EXPECT_EQ(CanAppendFilters(IntTable({5}, nullptr, "Free")), 0);
}

TEST_F(TaskTest, SharedTableIsRefusedSilently) {
  int filter = 0;
  const int table = IntTable({1, 2, 3}, &filter);
  Real(table)->FShmImage = 1;
  const std::vector<int (*)(int)> calls = {
      [](int t) { return DBTASK()->DupRealFilterEx(t, 1, 3); },
      [](int t) { return DBTASK()->OverwriteRealEx(t, 1, 1, 1, 1, g_values); },
      [](int t) { return DBTASK()->FillRealEx(t, 1, 1, 1, 1, g_values); },
      [](int t) { return DBTASK()->AddRealFilter2(t, 1024, nullptr, 2, 0, 4, nullptr); },
      [](int t) { return DBTASK()->TableCanEdit(t, nullptr); },
      [](int t) { return DBTASK()->AppendRealFilter2(t, 1, 2, -1, 1, g_values); },
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i](table), Q7_ERROR_SHARED_READ_ONLY);
    EXPECT_TRUE(Drain().empty());
  }
  EXPECT_EQ(Real(table)->GetNFilter(), 1);
  EXPECT_EQ(Real(table)->TotalRecs(), 3);
  // The one service that says why.
  EXPECT_EQ(CanAppendFilters(table), Q7_ERROR_SHARED_READ_ONLY);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"CanAppendFilters", Q7_ERROR_SHARED_READ_ONLY,
                                              "Invalid Shared memory read Oparation"}}));
}

TEST_F(TaskTest, NegativeInnerResultIsRecordedAsReturnOfInnerCall) {
  const int table = IntTable({3, 1, 2});
  EXPECT_EQ(DBTASK()->SortByField(table, 77, 1, 0), Q7_ERROR_NO_SUCH_FILTER);
  const auto ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7SortByField", Q7_ERROR_NO_SUCH_FILTER, "return of inner call"}));
  EXPECT_EQ(DBTASK()->GetSetSize(table, 55), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(Drain().back(), (RingEntry{"Q7GetSetSize", Q7_ERROR_NO_SUCH_SET, "return of inner call"}));
}

TEST_F(TaskTest, SortDirectionIsCheckedBeforeTheTable) {
  for (int dir : {2, -1}) {
    SCOPED_TRACE(dir);
    EXPECT_EQ(DBTASK()->SortByField(999, 1, 1, dir), Q7_ERROR_INVALID_PARAMETER);
    const std::string message = "Invalid Parameter : SortDir(" + std::to_string(dir) + ")";
    EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"RQ7SortByField", Q7_ERROR_INVALID_PARAMETER, message}}));
  }
}

TEST_F(TaskTest, SearchByField2RecordsAMissingFilterWithItsOwnCode) {
  const int table = IntTable({3, 1, 2});
  Drain();
  EXPECT_EQ(DBTASK()->SearchByField2(table, 77, 1, 0, g_text, g_text), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(Drain(),
            (std::vector<RingEntry>{{"RQ7SearchByField2", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 77"}}));
}

// A null bound is refused on the text road too, before a search could read it as a text.
TEST_F(TaskTest, SearchByField2RefusesANullBoundOnAStringFilter) {
  const int table = NewTable("S", 2);
  const char* texts[] = {"xa", "xb"};
  const int filter = AddFilter(table, "S", Q7_TYPE_STRING, 8, texts);
  Drain();
  EXPECT_EQ(DBTASK()->SearchByField2(table, filter, 1, 0, nullptr, g_text), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{
                         {"RQ7SearchByField2", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From"}}));
  EXPECT_EQ(Real(table)->FnSet, 1);
}

TEST_F(TaskTest, ServicesRefuseAMissingFilterOrCountArray) {
  const int table = IntTable({3, 1, 2});
  Drain();
  EXPECT_EQ(DBTASK()->GetFilterType(table, 77), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(Drain(),
            (std::vector<RingEntry>{{"Q7GetFilterType", Q7_ERROR_NO_SUCH_TABLE, "No Such Filter: 77"}}));
  EXPECT_EQ(DBTASK()->GetValCount(999, 1, 1, nullptr), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(Drain(),
            (std::vector<RingEntry>{{"RQ7GetValCount", Q7_ERROR_NO_SUCH_TABLE, "PCountAr = NULL!"}}));
}

// ---- Table and filter services ----

TEST_F(TaskTest, ServicesReportTablesFiltersAndCounts) {
  int filter = 0;
  const int table = IntTable({7, 5, 7, 7}, &filter);
  EXPECT_EQ(DBTASK()->GetTotalRows(table), 4);
  EXPECT_EQ(DBTASK()->GetSetSize(table, -1), 4);
  int ids[512] = {};
  EXPECT_EQ(DBTASK()->GetFilterIDList(table, ids), 1);
  EXPECT_EQ(ids[0], filter);
  EXPECT_EQ(DBTASK()->GetFilterType(table, filter), Q7_TYPE_INTEGER);
  // Value list: NULL, 5, 7.
  int counts[3] = {-1, -1, -1};
  EXPECT_EQ(DBTASK()->GetValCount(table, filter, 1, counts), 3);
  EXPECT_EQ(std::vector<int>(counts, counts + 3), (std::vector<int>{0, 1, 3}));

  double days[4] = {45000.0, 45001.0, 45002.0, 45003.0};
  const int date = AddFilter(table, "D", Q7_TYPE_DATE, 8, days);
  EXPECT_EQ(DBTASK()->GetFilterType(table, date), Q7_TYPE_DATE);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(TaskTest, AddRealTableGeneratesOrChecksTheName) {
  const int generated = DBTASK()->AddRealTable(nullptr, 3);
  ASSERT_GT(generated, 0);
  EXPECT_TRUE(q7test::FullMatch(db()->GetTable(generated)->FTableName, "realtbl[0-9]{14}_0"))
      << db()->GetTable(generated)->FTableName;
  EXPECT_EQ(db()->GetTable(generated)->TotalRecs(), 3);
  char empty[] = "";
  EXPECT_GT(DBTASK()->AddRealTable(empty, 0), 0);

  std::string name255(255, 'n');
  EXPECT_GT(DBTASK()->AddRealTable(name255.data(), 1), 0);
  std::string name256(256, 'm');
  const int tables = db()->TableCount();
  Drain();
  EXPECT_EQ(DBTASK()->AddRealTable(name256.data(), 1), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"RQ7AddRealTable", Q7_ERROR_ILLEGAL_TABLE_NAME, ""}}));
  EXPECT_EQ(db()->TableCount(), tables);

  // The collection rewrites a name to a file-safe one in its own copy, never in the host's text.
  char host[] = "a/b";
  EXPECT_GT(DBTASK()->AddRealTable(host, 1), 0);
  EXPECT_STREQ(host, "a/b");
  EXPECT_EQ(DBTASK()->AddRealTable(host, -1), Q7_ERROR_ROW_SIZE_OVERFLOW);
  EXPECT_EQ(Drain().back(), (RingEntry{"RQ7AddRealTable", Q7_ERROR_ROW_SIZE_OVERFLOW,
                                       "Failed to add realtable ( AddRealTable module )"}));
}

TEST_F(TaskTest, NamingHelpers) {
  char out[300];
  memset(out, 'z', sizeof out);
  std::string long_name(256, 'q');
  EXPECT_EQ(ValidateNames(long_name.c_str(), out, "filter", &TTableCollection::m_chFTRIndex), 0);
  EXPECT_EQ(out[0], 'z');
  EXPECT_EQ(ValidateNames("abc", out, "filter", &TTableCollection::m_chFTRIndex), 1);
  EXPECT_STREQ(out, "abc");
  const uint8_t counter = 7;
  EXPECT_EQ(ValidateNames("", out, "jointbl", &counter), 1);
  EXPECT_TRUE(q7test::FullMatch(out, "jointbl[0-9]{14}_7")) << out;
  getUniqueString(out, "createtbl", 12);
  EXPECT_TRUE(q7test::FullMatch(out, "createtbl[0-9]{14}_12")) << out;
  EXPECT_EQ(int2char(705), '7');
  EXPECT_EQ(int2char(-3), '-');

  EXPECT_EQ(CDBParallelTask::Instance(), DBTASK());
  EXPECT_EQ(MPTask, DBTASK());
}

TEST_F(TaskTest, BaseServices) {
  int versions[4] = {};
  char text[512] = {};
  EXPECT_EQ(DBTASK()->GetVersion(versions, text), 0);
  EXPECT_EQ(std::vector<int>(versions, versions + 4), (std::vector<int>{0x01001001, 25, 1, 20170503}));
  EXPECT_GT(strlen(text), 0u);

  double value = 1.0;
  char empty[] = "";
  EXPECT_EQ(DBTASK()->StrToTime(empty, &value), 0);
  EXPECT_EQ(value, kDateTimeNull);
  char noon[] = "12:00:00";
  EXPECT_EQ(DBTASK()->StrToTime(noon, &value), 0);
  EXPECT_DOUBLE_EQ(value, 0.5);
  EXPECT_EQ(DBTASK()->StrToTime(nullptr, &value), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(Drain().empty());
}

// The entry, exit and event-log functions leave the engine as it was: it still runs tasks, and
// nothing reaches the error ring.
TEST_F(TaskTest, LibraryEntryExitAndEventLogChangeNothing) {
  CSmpEngine* engine = CSmpEngine::Instance();
  LibEntry();
  const char* texts[] = {"one", "two"};
  WriteToEventLog(Q7_ERROR_UNKNOWN, kEventError, "text");
  WriteToEventLog(Q7_ERROR_UNKNOWN, kEventWarning, 2, texts);
  WriteToEventLog(0, kEventInformation, 0, nullptr);
  LibExit();
  EXPECT_EQ(CSmpEngine::Instance(), engine);
  std::vector<char> block(1 << 20, 'x');
  MppMemSet(block.data(), 0, static_cast<long>(block.size()));  // on the worker pool
  EXPECT_EQ(std::count(block.begin(), block.end(), 0), static_cast<long>(block.size()));
  EXPECT_TRUE(Drain().empty());
}

// ---- Sets from host rows ----

TEST_F(TaskTest, AddSetRealChecksHostRows) {
  const int table = IntTable({1, 2, 3, 4, 5});
  const int sets = Real(table)->FnSet;
  Drain();
  struct BadRows {
    const char* what;
    int count;
    std::vector<int> rows;
  };
  const BadRows kBad[] = {
      {"row 0", 3, {2, 0, 4}},
      {"past the end", 2, {5, 6}},
      {"negative", 1, {-1}},
      {"negative count", -1, {1}},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.what);
    std::vector<int> rows(c.rows);
    EXPECT_EQ(DBTASK()->AddSetReal(table, c.count, rows.data()), Q7_ERROR_INVALID_ROW_POSITION);
    EXPECT_EQ(Real(table)->FnSet, sets);
    EXPECT_TRUE(Drain().empty());
  }
  EXPECT_EQ(DBTASK()->AddSetReal(table, 2, nullptr), Q7_ERROR_INVALID_ROW_POSITION);

  // Repeats are kept at their first place only; the host's list stays as it was.
  std::vector<int> repeated = {4, 2, 4, 1, 2, 5};
  const int id = DBTASK()->AddSetReal(table, 6, repeated.data());
  ASSERT_GT(id, 1);
  EXPECT_EQ(SetRows(table, id), (std::vector<int>{4, 2, 1, 5}));
  EXPECT_EQ(Real(table)->GetCurrentSetID(), id);
  EXPECT_EQ(repeated, (std::vector<int>{4, 2, 4, 1, 2, 5}));

  const int empty = DBTASK()->AddSetReal(table, 0, nullptr);
  ASSERT_GT(empty, id);
  EXPECT_TRUE(SetRows(table, empty).empty());
}

// ---- Appending column data ----

TEST_F(TaskTest, AppendRealFilter2GrowsTheTableAsNeeded) {
  struct AppendCase {
    int from;
    int rows_after;
    std::vector<int> column;
  };
  const AppendCase kAppend[] = {
      {-1, 15, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 91, 92, 93, 94, 95}},
      {3, 10, {1, 2, 91, 92, 93, 94, 95, 8, 9, 10}},
      {8, 12, {1, 2, 3, 4, 5, 6, 7, 91, 92, 93, 94, 95}},
  };
  for (const auto& c : kAppend) {
    SCOPED_TRACE(c.from);
    SetUp();
    int filter = 0;
    const int table = IntTable({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, &filter);
    std::vector<int> values = {91, 92, 93, 94, 95};
    EXPECT_EQ(DBTASK()->AppendRealFilter2(table, filter, Q7_TYPE_INTEGER, c.from, 5, values.data()), 5);
    EXPECT_EQ(Real(table)->TotalRecs(), c.rows_after);
    EXPECT_EQ(Ints(Column(table, filter)), c.column);
  }
}

TEST_F(TaskTest, AppendRealFilter2RefusesBeforeAddingRows) {
  int filter = 0;
  const int table = IntTable({1, 2, 3}, &filter);
  int values[2] = {8, 9};
  struct Refusal {
    const char* what;
    int filter, type, from, count;
    void* data;
    int code;
  };
  const Refusal kRefused[] = {
      {"type", filter, Q7_TYPE_DOUBLE, -1, 2, values, Q7_ERROR_FILTER_TYPE_MISMATCH},
      {"filter", 77, Q7_TYPE_INTEGER, -1, 2, values, Q7_ERROR_NO_SUCH_FILTER},
      {"count", filter, Q7_TYPE_INTEGER, 10, 0, values, Q7_ERROR_INVALID_PARAMETER},
      {"data", filter, Q7_TYPE_INTEGER, 10, 2, nullptr, Q7_ERROR_INVALID_PARAMETER},
      {"start 0", filter, Q7_TYPE_INTEGER, 0, 2, values, Q7_ERROR_INVALID_PARAMETER},
      {"past INT_MAX", filter, Q7_TYPE_INTEGER, 2147483600, 100, values, Q7_ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : kRefused) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DBTASK()->AppendRealFilter2(table, c.filter, c.type, c.from, c.count, c.data), c.code);
    EXPECT_EQ(Real(table)->TotalRecs(), 3);
    EXPECT_EQ(Ints(Column(table, filter)), (std::vector<int>{1, 2, 3}));
  }
}

TEST_F(TaskTest, AddRealFilter2NamesTheNewFilter) {
  const int table = IntTable({1, 2, 3});
  int values[3] = {30, 10, 20};
  const int raw = DBTASK()->AddRealFilter2(table, 1024, nullptr, Q7_TYPE_INTEGER, 3, 4, values);
  ASSERT_GT(raw, 0);
  EXPECT_TRUE(q7test::FullMatch(Real(table)->GetFilter(raw)->FFilterName, "filter[0-9]{14}_0"));
  EXPECT_EQ(Ints(Column(table, raw)), (std::vector<int>{30, 10, 20}));

  char name[] = "E";
  const int empty = DBTASK()->AddRealFilter2(table, 0, name, Q7_TYPE_DOUBLE, 0, 8, values);
  ASSERT_GT(empty, 0);
  EXPECT_STREQ(Real(table)->GetFilter(empty)->FFilterName, "E");
  EXPECT_EQ(Real(table)->FFilters[0]->FFilterID, empty);

  std::string long_name(256, 'f');
  Drain();
  EXPECT_EQ(DBTASK()->AddRealFilter2(table, 1024, long_name.data(), Q7_TYPE_INTEGER, 3, 4, values),
            Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"RQ7AddRealFilter2", Q7_ERROR_ILLEGAL_FILTER_NAME, ""}}));
  EXPECT_EQ(Real(table)->GetNFilter(), 3);
}

TEST_F(TaskTest, CondenseRealTableDropsUnusedValues) {
  int filter = 0;
  const int table = IntTable({5, 6, 7, 8}, &filter);
  int fill = 6;
  ASSERT_EQ(Real(table)->FillEx(1, filter, 1, 4, &fill), 4);
  Real(table)->CheckMergeFilterTVL(false);
  EXPECT_EQ(DBTASK()->CondenseRealTable(table), 0);
  EXPECT_EQ(Real(table)->GetFilter(filter)->VL->FArraySize, 2);  // NULL and 6
  EXPECT_EQ(Ints(Column(table, filter)), (std::vector<int>{6, 6, 6, 6}));
}

}  // namespace
