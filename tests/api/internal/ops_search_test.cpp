// Search and sort operations of the operation layer: the refusal rule with its ring entries, the
// saved flag, the serial and task-object roads giving the same sets, the ordering of counts and
// the binary search with the caller's comparison.
#include "api/ops/ops_search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "foundation/CQ7Exception.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class SearchOps : public opsets_test::OpTest {
 protected:
  // A table of ten records: K = 5, 3, 8, 3, 1, 9, 3, 7, 2, 6 and S = xpear, xapple, ... .
  void SetUp() override {
    OpTest::SetUp();
    table_ = IntTable({5, 3, 8, 3, 1, 9, 3, 7, 2, 6}, &k_);
    // Every text begins with the same byte, so that the second string form sees them in order.
    s_ = StringFilter(
        table_, {"xpear", "xapple", "xplum", "xapple", "xfig", "xpear", "xkiwi", "xlime", "xfig", "xapple"});
    Drain();
  }
  bool SetsSaved() const { return g_TFSSaved == 1; }
  bool TablesSaved() const { return g_TFSaved == 1 && g_SETTINGSaved == 1; }

  int table_ = 0, k_ = 0, s_ = 0;
};

// ---- Refusals ----

struct RefusalCase {
  const char* ring;
  std::function<int(int table)> call;
};

TEST_F(SearchOps, MissingTableIsRecordedUnderTheOperationsRingName) {
  int three = 3, counts[16];
  unsigned char flags[16] = {};
  const RefusalCase cases[] = {
      {"Q7SearchByField", [&](int t) { return innerQ7SearchByField(t, 1, -1, 0, (char*)&three, nullptr); }},
      {"Q7SearchByField2", [&](int t) { return innerQ7SearchByField2(t, 1, -1, 0, (char*)&three, nullptr); }},
      {"Q7SearchByFieldWildCard", [&](int t) { return innerQ7SearchByFieldWildCard(t, 2, -1, "x*"); }},
      {"Q7Search", [&](int t) { return innerQ7Search(t, 1, -1, flags); }},
      {"Q7SearchByRowNo", [&](int t) { return innerQ7SearchByRowNo(t, 0, -1, 1, 2, 4); }},
      {"Q7SearchByDispRowNoReal", [&](int t) { return innerQ7SearchByDispRowNoReal(t, -1, 1, 2, 4); }},
      {"innerQ7SearchByFieldNValues",
       [&](int t) { return innerQ7SearchByFieldNValues(t, 1, -1, 1, &three); }},
      {"Q7SortByField", [&](int t) { return innerQ7SortByField(t, 1, -1, 0); }},
      {"Q7SortByRowNo", [&](int t) { return innerQ7SortByRowNo(t, 0, -1, 1); }},
      {"Q7GetValCount", [&](int t) { return innerQ7GetValCount(t, 1, -1, counts); }},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.ring);
    MarkAllSaved();
    EXPECT_EQ(c.call(77), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(c.ring), (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 77"}}));
    EXPECT_TRUE(SetsSaved() && TablesSaved());
  }
}

TEST_F(SearchOps, PositionSearchRefusesAJoinTable) {
  const int slave = IntTable({1, 2}, nullptr, "S");
  const int join = Join(table_, slave);
  Drain();
  EXPECT_EQ(innerQ7SearchByDispRowNoReal(join, -1, 1, 1, 2), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(Drain(), (std::vector<Entry>{{"Q7SearchByDispRowNoReal", Q7_ERROR_NO_SUCH_TABLE,
                                          "Not RealTable: " + std::to_string(join)}}));
}

TEST_F(SearchOps, FailuresOfTheTableAreRecordedAndNoSetIsMade) {
  const int sets_before = Real(table_)->FnSet;
  // A code the record-number search does not know: the table returns it, the layer records it.
  EXPECT_EQ(innerQ7SearchByRowNo(table_, 0, -1, 9, 1, 2), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(DrainFor("Q7SearchByRowNo"),
            (std::vector<Entry>{{"Q7SearchByRowNo", Q7_ERROR_INVALID_OPERATION, "return of inner call"}}));
  // An unknown filter: the table throws, the layer records the exception under its own name.
  int three = 3;
  EXPECT_EQ(innerQ7SearchByField(table_, 99, -1, 0, (char*)&three, nullptr), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainFor("Q7SearchByField"),
            (std::vector<Entry>{{"Q7SearchByField", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"}}));
  // The second string form names a missing filter with its own code.
  EXPECT_EQ(innerQ7SearchByField2(table_, 99, -1, 0, (char*)&three, nullptr), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"Q7SearchByField2", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"}}));
  EXPECT_EQ(Real(table_)->FnSet, sets_before);
  EXPECT_TRUE(SetsSaved());
}

TEST_F(SearchOps, SortDirectionsAreCheckedBeforeTheTable) {
  for (int dir : {2, -1}) {
    SCOPED_TRACE(dir);
    EXPECT_EQ(innerQ7SortByField(77, k_, -1, dir), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(innerQ7SortByRowNo(77, 0, -1, dir), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(
        Drain(),
        (std::vector<Entry>{{"Q7SortByRowNo", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SortDir"}}));
  }
}

TEST_F(SearchOps, NullBoundsThatTheCodeReadsAreRefused) {
  const int sets_before = Real(table_)->FnSet;
  int three = 3;
  EXPECT_EQ(innerQ7SearchByField(table_, k_, -1, 0, nullptr, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7SearchByField(table_, k_, -1, 1, (char*)&three, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7SearchByField(table_, k_, -1, 0x85, (char*)&three, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7SearchByField2(table_, k_, -1, 0, nullptr, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7SearchByFieldNValues(table_, k_, -1, 2, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{
                {"Q7SearchByField", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From"},
                {"Q7SearchByField", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : To"},
                {"Q7SearchByField", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : To"},
                {"Q7SearchByField2", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From"},
                {"innerQ7SearchByFieldNValues", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values"},
            }));
  EXPECT_EQ(Real(table_)->FnSet, sets_before);
  // Codes that read no bound (IS NULL), or only from, take null for the rest.
  EXPECT_GT(innerQ7SearchByField(table_, k_, -1, 11, nullptr, nullptr), 0);
  EXPECT_GT(innerQ7SearchByField(table_, k_, 1, 2, (char*)&three, nullptr), 0);
  EXPECT_EQ(Rows(table_, -1), (std::vector<int>{2, 4, 5, 7, 9}));
  // The second form refuses a null bound on a string filter as well: it is no text.
  const int current = Real(table_)->GetCurrentSetID();
  EXPECT_EQ(innerQ7SearchByField2(table_, s_, 1, 8, nullptr, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      Drain(),
      (std::vector<Entry>{{"Q7SearchByField2", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From"}}));
  EXPECT_EQ(Real(table_)->GetCurrentSetID(), current);
}

// ---- Serial and task-object roads ----

struct RoadCase {
  const char* what;
  std::function<int(int table)> serial;
  std::function<int(int table)> task;
  std::vector<int> rows;
  bool serial_clears_flag = true;
};

TEST_F(SearchOps, SerialAndTaskRoadsGiveTheSameSets) {
  int three = 3, from = 3, to = 7;
  int values[] = {9, 1, 42};
  char apple[] = "apple", a_p[] = "xa*", ple[] = "ple";
  int filters[] = {k_, 0}, dirs[] = {1, 0};
  const RoadCase cases[] = {
      {"EQ",
       [&](int t) { return innerQ7SearchByField(t, k_, 1, 0, (char*)&three, nullptr); },
       [&](int t) { return DBTASK()->SearchByField(t, k_, 1, 0, (char*)&three, nullptr); },
       {2, 4, 7}},
      {"BETWEEN",
       [&](int t) { return innerQ7SearchByField(t, k_, 1, 1, (char*)&from, (char*)&to); },
       [&](int t) { return DBTASK()->SearchByField(t, k_, 1, 1, (char*)&from, (char*)&to); },
       {1, 2, 4, 7, 8, 10}},
      {"GREATER",
       [&](int t) { return innerQ7SearchByField2(t, k_, 1, 7, (char*)&to, nullptr); },
       [&](int t) { return DBTASK()->SearchByField2(t, k_, 1, 7, (char*)&to, nullptr); },
       {3, 6}},
      {"second form",
       [&](int t) { return innerQ7SearchByField2(t, s_, 1, 0, apple, nullptr); },
       [&](int t) { return DBTASK()->SearchByField2(t, s_, 1, 0, apple, nullptr); },
       {2, 4, 10}},
      {"second form, right match",
       [&](int t) { return innerQ7SearchByField2(t, s_, 1, 10, ple, nullptr); },
       [&](int t) { return DBTASK()->SearchByField2(t, s_, 1, 10, ple, nullptr); },
       {2, 4, 10}},
      {"wildcard",
       [&](int t) { return innerQ7SearchByFieldWildCard(t, s_, 1, a_p); },
       [&](int t) { return DBTASK()->SearchByFieldWildCard(t, s_, 1, a_p); },
       {2, 4, 10}},
      {"n values",
       [&](int t) { return innerQ7SearchByFieldNValues(t, k_, 1, 3, values); },
       [&](int t) { return DBTASK()->SearchByFieldNValues(t, k_, 1, 3, values); },
       {5, 6},
       false},
      {"sort ascending",
       [&](int t) { return innerQ7SortByField(t, k_, 1, 0); },
       [&](int t) { return DBTASK()->SortByField(t, k_, 1, 0); },
       {5, 9, 2, 4, 7, 1, 10, 8, 3, 6}},
      {"sort descending",
       [&](int t) { return innerQ7SortByField(t, k_, 1, 1); },
       [&](int t) { return DBTASK()->SortByField(t, k_, 1, 1); },
       {6, 3, 8, 10, 1, 2, 4, 7, 9, 5}},
      {"integrated sort",
       [&](int t) { return innerQ7SortByField(t, k_, 1, 1); },
       [&](int t) { return DBTASK()->IntegratedSortByField(t, 1, filters, dirs); },
       {6, 3, 8, 10, 1, 2, 4, 7, 9, 5}},
  };
  for (const RoadCase& c : cases) {
    SCOPED_TRACE(c.what);
    MarkAllSaved();
    const int serial = c.serial(table_);
    ASSERT_GT(serial, 1);
    EXPECT_EQ(Real(table_)->GetCurrentSetID(), serial);
    EXPECT_EQ(Rows(table_, serial), c.rows);
    EXPECT_NE(SetsSaved(), c.serial_clears_flag);
    EXPECT_TRUE(TablesSaved());

    MarkAllSaved();
    const int task = c.task(table_);
    ASSERT_GT(task, serial);
    EXPECT_EQ(Rows(table_, task), c.rows);
    EXPECT_FALSE(SetsSaved()) << "the task object clears the flag too";
    EXPECT_TRUE(Drain().empty());
  }
}

TEST_F(SearchOps, RemainingSearchesAndSortsReachTheTable) {
  unsigned char flags[16] = {};
  // Value numbers of K: NULL 0, then 1..9 for 1, 2, 3, 5, 6, 7, 8, 9.
  TFilter* k = Real(table_)->GetFilter(k_);
  flags[k->PV->PIntAr()[3]] = 1;  // the value 8
  flags[k->PV->PIntAr()[5]] = 1;  // the value 1
  const int sorted = innerQ7SortByRowNo(table_, 0, 1, 1);
  ASSERT_GT(sorted, 0);
  EXPECT_EQ(Rows(table_, sorted), (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));

  MarkAllSaved();
  const int hit = innerQ7Search(table_, k_, sorted, flags);
  ASSERT_GT(hit, 0);
  EXPECT_EQ(Rows(table_, hit), (std::vector<int>{5, 3}));  // the source set's order
  EXPECT_FALSE(SetsSaved());

  MarkAllSaved();
  const int by_record = innerQ7SearchByRowNo(table_, 0, sorted, 1, 3, 6);
  ASSERT_GT(by_record, 0);
  EXPECT_EQ(Rows(table_, by_record), (std::vector<int>{6, 5, 4, 3}));
  EXPECT_FALSE(SetsSaved());

  MarkAllSaved();
  const int by_position = innerQ7SearchByDispRowNoReal(table_, sorted, 1, 2, 4);
  ASSERT_GT(by_position, 0);
  EXPECT_EQ(Rows(table_, by_position), (std::vector<int>{9, 8, 7}));
  EXPECT_FALSE(SetsSaved());
  EXPECT_TRUE(Drain().empty());
}

// ---- Counts ----

TEST_F(SearchOps, ValueCountsPerValueNumber) {
  std::vector<int> counts(Real(table_)->GetFilter(k_)->VL->FArraySize, -1);
  ASSERT_EQ(innerQ7GetValCount(table_, k_, 1, counts.data()), 9);  // NULL and eight values
  EXPECT_EQ(counts, (std::vector<int>{0, 1, 1, 3, 1, 1, 1, 1, 1}));

  EXPECT_EQ(innerQ7GetValCount(table_, k_, 1, nullptr), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(Drain(), (std::vector<Entry>{{"Q7GetValCount", Q7_ERROR_NO_SUCH_TABLE, "PCountAr = NULL!"}}));
  EXPECT_TRUE(SetsSaved());
}

struct CountsCase {
  std::vector<int> values;
  int non_zero;
  std::vector<int> index;
  std::vector<int> order;
};

TEST_F(SearchOps, ServiceSortByNOrdersLargestFirstAndStable) {
  const CountsCase cases[] = {
      {{0, 5, 2, 5}, 3, {1, 2, 3}, {1, 3, 2, 0}},
      {{0, 0, 0}, 0, {}, {0, 1, 2}},
      // Counts far above 20 times n are sorted by their value numbers: the same order.
      {{1000000, 7, 0, 1000000, 2000000000}, 4, {0, 1, 3, 4}, {4, 0, 3, 1, 2}},
      {{2147483647, 0, 2147483647}, 2, {0, 2}, {0, 2, 1}},
  };
  for (const CountsCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.values));
    const int n = static_cast<int>(c.values.size());
    std::vector<int> values = c.values, index(n, -1), order(n, -1);
    int non_zero = -1;
    ASSERT_EQ(innerQ7ServiceSortByN(n, values.data(), &non_zero, index.data(), order.data()), 0);
    EXPECT_EQ(non_zero, c.non_zero);
    index.resize(non_zero);
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(values, c.values);
  }
  int non_zero = -1;
  EXPECT_EQ(innerQ7ServiceSortByN(0, nullptr, &non_zero, nullptr, nullptr), Q7_ERROR_UNKNOWN);
  int dummy_index = 0, dummy_order = 0;
  EXPECT_EQ(innerQ7ServiceSortByN(0, nullptr, &non_zero, &dummy_index, &dummy_order), 0);
  EXPECT_EQ(non_zero, 0);
  EXPECT_TRUE(SetsSaved());
}

TEST_F(SearchOps, ServiceSortByNRefusesWhatItCannotWriteOrSort) {
  int values[] = {3, -1, 2}, index[3] = {-7, -7, -7}, order[3] = {-7, -7, -7}, non_zero = -7;
  EXPECT_EQ(innerQ7ServiceSortByN(3, values, &non_zero, index, nullptr), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(DBTASK()->ServiceSortByN(3, values, &non_zero, nullptr, order), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(innerQ7ServiceSortByN(3, values, &non_zero, index, order), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7ServiceSortByN(3, nullptr, &non_zero, index, order), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain(), (std::vector<Entry>{
                         {"Q7ServiceSortByN", Q7_ERROR_UNKNOWN, "Output area not reserved"},
                         {"RQ7ServiceSortByN", Q7_ERROR_UNKNOWN, "Output area not reserved"},
                         {"Q7ServiceSortByN", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values"},
                         {"Q7ServiceSortByN", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values"},
                     }));
  EXPECT_EQ(non_zero, -7);
  EXPECT_EQ(std::vector<int>(index, index + 3), (std::vector<int>{-7, -7, -7}));
  EXPECT_EQ(std::vector<int>(order, order + 3), (std::vector<int>{-7, -7, -7}));
}

// ---- Binary search with the caller's comparison ----

long CompareInts(const void* element, const void* key) {
  const int a = *static_cast<const int*>(element), b = *static_cast<const int*>(key);
  return a < b ? -1 : (a > b ? 1 : 0);
}

_TFilterInfo ListOf(std::vector<int>& values) {
  _TFilterInfo info{};
  info.unit = 4;
  info.valueCount = static_cast<int>(values.size());
  info.values = values.data();
  return info;
}

TEST(FindPosByFunc, ReturnsTheLastEntryNotAboveTheKey) {
  std::vector<int> list = {10, 20, 30};
  _TFilterInfo info = ListOf(list);
  struct Case {
    int key, pos;
    bool found;
  };
  for (const Case& c : {Case{25, 1, false}, Case{5, -1, false}, Case{10, 0, true}, Case{30, 2, true},
                        Case{35, 2, false}, Case{20, 1, true}}) {
    SCOPED_TRACE(c.key);
    bool found = !c.found;
    EXPECT_EQ(FindPosByFunc(CompareInts, &c.key, &info, &found), c.pos);
    EXPECT_EQ(found, c.found);
  }
}

TEST(FindPosByFunc, AgreesWithUpperBoundOnEveryListLength) {
  std::mt19937 rng(7);
  for (int n = 0; n <= 70; ++n) {
    std::vector<int> list(n);
    for (int& v : list) v = static_cast<int>(rng() % 40);
    std::sort(list.begin(), list.end());
    _TFilterInfo info = ListOf(list);
    for (int key = -1; key <= 41; ++key) {
      bool found = false;
      const int want = static_cast<int>(std::upper_bound(list.begin(), list.end(), key) - list.begin()) - 1;
      ASSERT_EQ(FindPosByFunc(CompareInts, &key, &info, &found), want) << n << " " << key;
      ASSERT_EQ(found, std::binary_search(list.begin(), list.end(), key)) << n << " " << key;
    }
  }
}

// The empty list reads no element at all.
long NeverCalled(const void*, const void*) { throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "read an element"); }

TEST_F(SearchOps, SearchPosByFuncFrame) {
  std::vector<int> list = {10, 20, 30};
  _TFilterInfo info = ListOf(list);
  int key = 20, found = -1;
  EXPECT_EQ(innerQ7SearchPosByFunc(CompareInts, &key, &info, &found), 1);
  EXPECT_EQ(found, 1);
  key = 21;
  EXPECT_EQ(innerQ7SearchPosByFunc(CompareInts, &key, &info, &found), 1);
  EXPECT_EQ(found, 0);

  EXPECT_EQ(innerQ7SearchPosByFunc(NeverCalled, &key, &info, &found), Q7_ERROR_INNER_ENGINE);
  EXPECT_EQ(Drain(), (std::vector<Entry>{{"Q7SearchPosByFunc", Q7_ERROR_INNER_ENGINE, "read an element"}}));
  info.valueCount = 0;
  info.values = nullptr;
  EXPECT_EQ(innerQ7SearchPosByFunc(NeverCalled, &key, &info, &found), -1);
  EXPECT_EQ(found, 0);
  info.valueCount = 3;
  EXPECT_EQ(innerQ7SearchPosByFunc(CompareInts, &key, &info, &found), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7SearchPosByFunc(CompareInts, &key, nullptr, &found), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain().size(), 2u);
}

}  // namespace
