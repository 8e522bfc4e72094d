// Sorts of a real table's sets: by one filter, by record number, and by several filters at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "coded_columns.h"
#include "database/SortForMultiItem.h"
#include "database/TFilter.h"
#include "foundation/zpk_memory.h"
#include "table_test_support.h"
#include "values/TIntArray.h"

namespace {

using coded::AddCodedFilter;
using coded::RandomCodes;
using coded::ShuffledRecords;
using ttest::Rows;
using ttest::TableTest;

// The source rows stably ordered by their codes (code 0, the NULL, is the smallest value).
std::vector<int> StableByCode(std::vector<int> rows, const std::vector<int>& codes, int dir) {
  std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
    return dir == 0 ? codes[a - 1] < codes[b - 1] : codes[a - 1] > codes[b - 1];
  });
  return rows;
}

class SortTest : public TableTest {
 protected:
  TRealTable* NewTable(int rows) { return Real(AddTable("T", rows)); }
};

// Both sorts, both directions, every value type, on a shuffled set with many equal values and
// NULLs: the order of the values, equal values in the source order, NULL first ascending and last
// descending. Each sort adds one current set and leaves the source alone.
TEST_F(SortTest, StableInBothDirectionsWithNullFirstAscendingAndLastDescending) {
  constexpr int kRows = 400;
  const std::vector<int> codes = RandomCodes(kRows, 12, 7);
  for (const auto& type : coded::kTypes) {
    SCOPED_TRACE(type.name);
    TRealTable* t = NewTable(kRows);
    const int filter = AddCodedFilter(t, type.type, codes);
    ASSERT_GT(filter, 0);
    const std::vector<int> source_rows = ShuffledRecords(kRows, 300, 3);
    const int source = t->AddSetFromRows(static_cast<int>(source_rows.size()), source_rows.data());
    ASSERT_GT(source, 0);
    for (bool parallel : {false, true}) {
      for (int dir : {0, 1}) {
        SCOPED_TRACE(testing::Message() << (parallel ? "parallel" : "serial") << " dir " << dir);
        const int sets = t->FnSet;
        const int id =
            parallel ? t->MppSortByField(filter, source, dir) : t->SortByField(filter, source, dir);
        ASSERT_GT(id, 0);
        EXPECT_EQ(t->FnSet, sets + 1);
        EXPECT_EQ(t->GetCurrentSetID(), id);
        const std::vector<int> got = Rows(t->GetSet(id));
        EXPECT_EQ(got, StableByCode(source_rows, codes, dir));
        EXPECT_EQ(Rows(t->GetSet(source)), source_rows);
        // The NULL rows sit at the front (ascending) or the back (descending).
        const auto null_count =
            std::count_if(got.begin(), got.end(), [&](int r) { return codes[r - 1] == 0; });
        ASSERT_GT(null_count, 0);
        const auto first = dir == 0 ? got.begin() : got.end() - null_count;
        EXPECT_TRUE(std::all_of(first, first + null_count, [&](int r) { return codes[r - 1] == 0; }));
      }
    }
  }
}

// Sorting the result of one sort by a second filter keeps, among equal values of the second, the
// order by the first; a negative set ID sorts the current set.
TEST_F(SortTest, SecondSortKeepsTheFirstOrderAmongEqualValues) {
  constexpr int kRows = 500;
  TRealTable* t = NewTable(kRows);
  const std::vector<int> a_codes = RandomCodes(kRows, 30, 11);
  const std::vector<int> b_codes = RandomCodes(kRows, 4, 12);
  const int a = AddCodedFilter(t, Q7_TYPE_INTEGER, a_codes, "A");
  const int b = AddCodedFilter(t, Q7_TYPE_STRING, b_codes, "B");
  ASSERT_GT(t->SortByField(a, 1, 1), 0);
  const int id = t->SortByField(b, -1, 0);
  ASSERT_GT(id, 0);
  std::vector<int> want(kRows);
  for (int i = 0; i < kRows; ++i) want[i] = i + 1;
  want = StableByCode(StableByCode(want, a_codes, 1), b_codes, 0);
  EXPECT_EQ(Rows(t->GetSet(id)), want);
}

// Values written through the pending list hold negative value numbers until merged: the sort
// merges them first and orders by the written values.
TEST_F(SortTest, PendingValuesAreMergedBeforeSorting) {
  constexpr int kRows = 300;
  TRealTable* t = NewTable(kRows);
  std::vector<int> codes = RandomCodes(kRows, 10, 5);
  const int id = AddCodedFilter(t, Q7_TYPE_INTEGER, codes);
  TFilter* f = t->GetFilter(id);
  f->AllocTVL();
  ASSERT_NE(f->TVL, nullptr);
  // Codes 11 and 12 are not in the value list yet: they become pending entries.
  ASSERT_GT(f->AppendTVLInt(coded::IntOf(12), 7), 0);
  ASSERT_GT(f->AppendTVLInt(coded::IntOf(11), 9), 0);
  codes[6] = 12;
  codes[8] = 11;
  for (bool parallel : {false, true}) {
    const int sorted = parallel ? t->MppSortByField(id, 1, 1) : t->SortByField(id, 1, 1);
    ASSERT_GT(sorted, 0);
    std::vector<int> all(kRows);
    for (int i = 0; i < kRows; ++i) all[i] = i + 1;
    EXPECT_EQ(Rows(t->GetSet(sorted)), StableByCode(all, codes, 1));
    EXPECT_EQ(f->TVLCount, 0);
  }
}

TEST_F(SortTest, EmptySetGivesEmptyCurrentSetWithoutCheckingDirection) {
  TRealTable* t = NewTable(10);
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, RandomCodes(10, 3, 1));
  const int empty = t->AddSetFromRows(0, nullptr);
  ASSERT_GT(empty, 0);
  for (int which = 0; which < 3; ++which) {
    SCOPED_TRACE(which);
    const int id = which == 0   ? t->SortByField(filter, empty, 5)
                   : which == 1 ? t->MppSortByField(filter, empty, 5)
                                : t->SortByRecNo(0, empty, 5);
    ASSERT_GT(id, 0);
    EXPECT_EQ(t->GetCurrentSetID(), id);
    EXPECT_EQ(t->GetSetSize(id), 0);
  }
}

// A failed sort leaves no new set, gives the current set back, and records what the host sees.
TEST_F(SortTest, FailuresRegisterNothing) {
  TRealTable* t = NewTable(50);
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, RandomCodes(50, 3, 1));
  const std::vector<int> rows = ShuffledRecords(50, 20, 2);
  const int source = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
  DrainRing();
  struct Case {
    const char* what;
    int (*run)(TRealTable*, int filter, int set);
    int code;
    std::vector<std::string> ring;
  };
  const Case cases[] = {
      {"no filter",
       [](TRealTable* t, int, int s) { return t->SortByField(99, s, 0); },
       Q7_ERROR_NO_SUCH_FILTER,
       {"GetFilter|No Such Filter: 99", "SortByField|No Such Filter: 99"}},
      {"no filter, parallel",
       [](TRealTable* t, int, int s) { return t->MppSortByField(99, s, 0); },
       Q7_ERROR_NO_SUCH_FILTER,
       {"GetFilter|No Such Filter: 99", "MppSortByField|No Such Filter: 99"}},
      {"no set",
       [](TRealTable* t, int f, int) { return t->SortByField(f, 77, 0); },
       Q7_ERROR_NO_SUCH_SET,
       {"SetID2Pos|No Such Set: 77", "GetSet|No Such Set: 77 ", "SortByField|No Such Set: 77"}},
      {"no set, parallel",
       [](TRealTable* t, int f, int) { return t->MppSortByField(f, 77, 0); },
       Q7_ERROR_NO_SUCH_SET,
       {"SetID2Pos|No Such Set: 77", "GetSet|No Such Set: 77 ", "MppSortByField|No Such Set: 77 "}},
      {"no set, record order",
       [](TRealTable* t, int, int) { return t->SortByRecNo(0, 77, 0); },
       Q7_ERROR_NO_SUCH_SET,
       {"SetID2Pos|No Such Set: 77", "GetSet|No Such Set: 77 "}},
      {"dir 2",
       [](TRealTable* t, int f, int s) { return t->SortByField(f, s, 2); },
       Q7_ERROR_INVALID_PARAMETER,
       {"Aggregate|Invalid Parameter : Dir"}},
      {"dir 2, parallel",
       [](TRealTable* t, int f, int s) { return t->MppSortByField(f, s, 2); },
       Q7_ERROR_INVALID_PARAMETER,
       {"MppSortByField|Invalid Parameter : Dir"}},
      {"dir -1, record order",
       [](TRealTable* t, int, int s) { return t->SortByRecNo(0, s, -1); },
       Q7_ERROR_INVALID_PARAMETER,
       {"BitMapSort|Invalid Parameter : Dir"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t->SetCurrentSetID(source);
    const int sets = t->FnSet;
    EXPECT_EQ(c.run(t, filter, source), c.code);
    EXPECT_EQ(t->FnSet, sets);
    EXPECT_EQ(t->GetCurrentSetID(), source);
    EXPECT_EQ(DrainRing(), c.ring);
  }
}

TEST_F(SortTest, SetCountOverflowIsRefusedByEverySort) {
  TRealTable* t = NewTable(5);
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, {1, 2, 0, 2, 1});
  while (t->FnSet < TRealTable::kMaxSets) ASSERT_GT(t->AddSetFromRows(0, nullptr), 0);
  DrainRing();
  int ids[] = {filter, 0};
  int dirs[] = {0};
  EXPECT_EQ(t->SortByField(filter, 1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(t->MppSortByField(filter, 1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(t->SortByRecNo(0, 1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing(), std::vector<std::string>(3, "AddSet|SetCount overflow"));
  EXPECT_EQ(t->MppIntegratedSortByField(1, ids, dirs), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"AddSetWithoutCopy|SetCount overflow"});
  EXPECT_EQ(t->FnSet, TRealTable::kMaxSets);
}

// By record number, including a set that holds records more than once, on the bitmap path (a set
// dense in the table) and on the compiler path (a few rows of a large table).
TEST_F(SortTest, ByRecordNumberKeepsEveryOccurrence) {
  for (int records : {100, 100000}) {
    SCOPED_TRACE(records);
    TRealTable* t = NewTable(records);
    const std::vector<int> rows = {records, 3, 50, 3, 1, records, 3, 77};
    const int source = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    for (int dir : {0, 1}) {
      std::vector<int> want = rows;
      std::sort(want.begin(), want.end());
      if (dir == 1) std::reverse(want.begin(), want.end());
      const int id = t->SortByRecNo(0, source, dir);
      ASSERT_GT(id, 0);
      EXPECT_EQ(Rows(t->GetSet(id)), want);
    }
  }
  // An ascending set sorts to an equal set, and to the reverse with dir 1.
  TRealTable* t = NewTable(40);
  std::vector<int> all(40);
  for (int i = 0; i < 40; ++i) all[i] = i + 1;
  EXPECT_EQ(Rows(t->GetSet(t->SortByRecNo(0, 1, 0))), all);
  std::reverse(all.begin(), all.end());
  EXPECT_EQ(Rows(t->GetSet(t->SortByRecNo(0, -1, 1))), all);
}

// ---- Several filters at once ----

// Filters given least significant first: the result equals stable sorts by each filter in list
// order. Includes value lists of 40000 entries each, which the sort takes in two key groups.
TEST_F(SortTest, IntegratedSortEqualsSuccessiveStableSorts) {
  struct Case {
    const char* what;
    std::vector<int> max_codes;  // one filter each (types rotate through kTypes)
    std::vector<int> dirs;
    int set_size;
  };
  constexpr int kRows = 60000;
  const Case cases[] = {
      {"two small, both ascending", {2, 3}, {0, 0}, kRows - 7},
      {"two small, second descending", {2, 3}, {0, 1}, kRows - 7},
      {"three, mixed", {9, 4, 6}, {1, 0, 1}, kRows - 7},
      {"three, mixed, few rows", {9, 4, 6}, {1, 0, 1}, 900},
      {"two groups", {39999, 39999}, {0, 1}, kRows - 7},
      {"a group of two after a group of one", {39999, 29999, 20}, {1, 1, 0}, kRows - 7},
      {"any nonzero other than 1 ascends", {5, 5}, {2, -1}, kRows - 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRealTable* t = NewTable(kRows);
    std::vector<int> ids;
    std::vector<std::vector<int>> codes;
    for (size_t i = 0; i < c.max_codes.size(); ++i) {
      codes.push_back(RandomCodes(kRows, c.max_codes[i], static_cast<uint32_t>(i + 20)));
      if (c.max_codes[i] >= 20000) {
        for (int k = 1; k <= c.max_codes[i]; ++k) codes.back()[k] = k;  // every value present
      }
      ids.push_back(AddCodedFilter(t, coded::kTypes[i % 5].type, codes.back(), "F"));
      ASSERT_GT(ids.back(), 0);
    }
    ids.push_back(0);
    const std::vector<int> source_rows = ShuffledRecords(kRows, c.set_size, 9);
    const int source = t->AddSetFromRows(static_cast<int>(source_rows.size()), source_rows.data());
    std::vector<int> want = source_rows;
    for (size_t i = 0; i < c.max_codes.size(); ++i)
      want = StableByCode(want, codes[i], c.dirs[i] == 1 ? 1 : 0);
    std::vector<int> dirs = c.dirs;
    const int id = t->MppIntegratedSortByField(source, ids.data(), dirs.data());
    ASSERT_GT(id, 0);
    EXPECT_EQ(t->GetCurrentSetID(), id);
    EXPECT_EQ(Rows(t->GetSet(id)), want);
    EXPECT_EQ(Rows(t->GetSet(source)), source_rows);
  }
}

TEST_F(SortTest, IntegratedSortRefusals) {
  TRealTable* t = NewTable(20);
  const int a = AddCodedFilter(t, Q7_TYPE_INTEGER, RandomCodes(20, 4, 1));
  int dirs[] = {0, 0};
  int unknown[] = {a, 55, 0};
  int none[] = {0, a};
  int one[] = {a, -3};
  const int sets = t->FnSet;
  DrainRing();
  EXPECT_EQ(t->MppIntegratedSortByField(1, unknown, dirs), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(t->MppIntegratedSortByField(33, one, dirs), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(t->MppIntegratedSortByField(1, none, dirs), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(t->MppIntegratedSortByField(1, nullptr, dirs), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(t->MppIntegratedSortByField(1, one, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(t->FnSet, sets);
  EXPECT_EQ(DrainRing(), (std::vector<std::string>{"GetFilter|No Such Filter: 55",
                                                   "SetID2Pos|No Such Set: 33", "GetSet|No Such Set: 33 ",
                                                   "MppIntegratedSortByField|Invalid Parameter : FilterIDs",
                                                   "MppIntegratedSortByField|Invalid Parameter : FilterIDs",
                                                   "MppIntegratedSortByField|Invalid Parameter : Dirs"}));
  // The list ends at its first ID below 1: {a, -3} sorts by a alone.
  const int id = t->MppIntegratedSortByField(1, one, dirs);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Rows(t->GetSet(id)), Rows(t->GetSet(t->SortByField(a, 1, 0))));
}

// The filter forms of the integrated sort merge pending values and give key numbers and unique
// rows as the column forms do.
TEST_F(SortTest, FilterFormsMergePendingValuesAndNumberKeys) {
  TRealTable* t = NewTable(200);
  std::vector<int> codes(200, 1);
  codes[0] = codes[1] = 2;
  const int id = AddCodedFilter(t, Q7_TYPE_INTEGER, codes);
  TFilter* f = t->GetFilter(id);
  f->AllocTVL();
  ASSERT_GT(f->AppendTVLInt(coded::IntOf(7), 3), 0);  // record 3 gets a new, largest value
  TFilter* filters[] = {f};
  const int rows[] = {3, 1, 2, 4};
  const int dirs[] = {0};
  int* sorted = nullptr;
  int* keys = nullptr;
  ASSERT_EQ(SortForMultiItem(1, 4, rows, filters, dirs, &sorted, &keys, 0, 1), 3);
  EXPECT_EQ(f->TVLCount, 0);
  EXPECT_EQ(std::vector<int>(sorted, sorted + 3), (std::vector<int>{4, 1, 3}));
  EXPECT_EQ(std::vector<int>(keys, keys + 4), (std::vector<int>{1, 2, 2, 3}));
  zpk_free(sorted);
  zpk_free(keys);

  int counts[4] = {};
  int first_rows[4] = {};
  ASSERT_EQ(SortForMultiItemEx(1, 4, rows, filters, dirs, &sorted, &keys, counts, first_rows, 1, 1), 3);
  EXPECT_EQ(std::vector<int>(sorted, sorted + 4), (std::vector<int>{4, 1, 2, 3}));
  EXPECT_EQ(std::vector<int>(keys, keys + 4), (std::vector<int>{0, 1, 1, 2}));
  EXPECT_EQ(std::vector<int>(counts, counts + 3), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(std::vector<int>(first_rows, first_rows + 3), (std::vector<int>{4, 1, 3}));
  zpk_free(sorted);
  zpk_free(keys);

  TFilter* bad[] = {nullptr};
  sorted = reinterpret_cast<int*>(&counts);
  EXPECT_EQ(SortForMultiItem(1, 4, rows, bad, dirs, &sorted, nullptr, 0, 0), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(sorted, nullptr);
}

}  // namespace
