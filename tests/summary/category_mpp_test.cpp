// Parallel categorising: each operator over every target type, naming, shared images and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/summary/category_mpp_support.h"
#include "values/TStrArray.h"

namespace category_test {
namespace {

constexpr int N = kNullInt;

// Target records: NULL, 3, 5, 7, 9, 11.
const std::vector<double> kTargetValues = {kNull, 3, 5, 7, 9, 11};

struct SemanticsCase {
  const char* what;
  std::vector<DefRow> rows;
  std::vector<int> want;  // per target record
};

const SemanticsCase kSemantics[] = {
    {"between keeps both bounds", {{"BETWEEN", 5, 9, 1}}, {N, N, 1, 1, 1, N}},
    {"within drops both bounds", {{" w i t h i n ", 5, 9, 1}}, {N, N, N, 1, N, N}},
    {"between with bounds reversed matches nothing", {{"btw", 9, 5, 1}}, {N, N, N, N, N, N}},
    {"the first matching row wins", {{"BETWEEN", 3, 7, 10}, {"GEQ", 5, 0, 20}}, {N, 10, 10, 10, 20, 20}},
    {"NEQ with an absent key takes NULL too", {{"NEQ", 4, 0, 1}}, {1, 1, 1, 1, 1, 1}},
    {"NEQ with a present key", {{"!=", 7, 0, 1}}, {1, 1, 1, N, 1, 1}},
    {"LES above every value takes NULL too", {{"LESS THAN", 100, 0, 1}}, {1, 1, 1, 1, 1, 1}},
    {"GT below every value takes every value", {{">", -100, 0, 1}}, {N, 1, 1, 1, 1, 1}},
    {"LEQ takes NULL and the key", {{"<=", 7, 0, 1}}, {1, 1, 1, 1, N, N}},
    {"GEQ takes the key", {{"GREATEREQUAL", 7, 0, 1}}, {N, N, N, 1, 1, 1}},
    {"EQ with an absent key matches nothing", {{"EQ", 6, 0, 1}}, {N, N, N, N, N, N}},
    {"EQ NULL matches the NULL records", {{"==", kNull, 0, 1}}, {1, N, N, N, N, N}},
    {"a NULL param2 is not read by GT", {{"GT", 7, kNull, 1}}, {N, N, N, N, 1, 1}},
    {"unmatched values stay NULL", {{"EQ", 3, 0, 1}, {"EQ", 11, 0, 2}}, {N, 1, N, N, N, 2}},
};

// (target type, parameter type).
class CategoryMppSemantics : public CategoryTablesTest,
                             public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(CategoryMppSemantics, EachOperatorOverEveryTargetType) {
  const auto [target_type, param_type] = GetParam();
  const int t = NewTable("target", static_cast<int>(kTargetValues.size()));
  const int price = AddTyped(t, "price", target_type, kTargetValues);
  for (const SemanticsCase& c : kSemantics) {
    SCOPED_TRACE(c.what);
    const int cats = Categories("CATS", c.rows, param_type);
    const int id = RunMpp(t, price, cats);
    ASSERT_GT(id, 0);
    EXPECT_EQ(CategoryValues(t, id), c.want);
    Table(t)->DropFilter(id);
  }
}

INSTANTIATE_TEST_SUITE_P(TargetsAndParams, CategoryMppSemantics,
                         ::testing::Combine(::testing::Values(Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE, Q7_TYPE_DATE,
                                                              Q7_TYPE_DECIMAL),
                                            ::testing::Values(Q7_TYPE_DOUBLE, Q7_TYPE_DECIMAL)));

using CategoryMppTest = CategoryTablesTest;

TEST_F(CategoryMppTest, ColumnStandsAfterTargetNamedByBothTables) {
  const int t = NewTable("sales", 3);
  const int first = AddTyped(t, "qty", Q7_TYPE_INTEGER, {1, 2, 3});
  const int price = AddTyped(t, "price", Q7_TYPE_DOUBLE, {1, 2, 3});
  const int last = AddTyped(t, "rank", Q7_TYPE_INTEGER, {1, 2, 3});
  const int id = RunMpp(t, price, Categories("CATS", {{"GT", 1, 0, 7}}));
  ASSERT_GT(id, 0);
  TRealTable* table = Table(t);
  EXPECT_EQ(table->FilterID2Pos(first), 0);
  EXPECT_EQ(table->FilterID2Pos(price), 1);
  EXPECT_EQ(table->FilterID2Pos(id), 2);
  EXPECT_EQ(table->FilterID2Pos(last), 3);
  EXPECT_STREQ(table->GetFilter(id)->FFilterName, "CATS(price)");
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{N, 7, 7}));
}

TEST_F(CategoryMppTest, TableNameIsCutAt132Bytes) {
  const int t = NewTable("sales", 2);
  const int price = AddTyped(t, "p", Q7_TYPE_DOUBLE, {1, 2});
  const std::string long_name(200, 'c');
  const int id = RunMpp(t, price, Categories(long_name.c_str(), {{"GT", 1, 0, 7}}));
  ASSERT_GT(id, 0);
  EXPECT_EQ(std::string(Table(t)->GetFilter(id)->FFilterName), std::string(132, 'c') + "(p)");
}

TEST_F(CategoryMppTest, CategoryValuesOfAnyTypeAreCopied) {
  const int t = NewTable("sales", 4);
  const int price = AddTyped(t, "price", Q7_TYPE_DOUBLE, {1, 5, kNull, 9});
  const int c = NewTable("CATS", 2);
  AddStrings(c, "cmd", {"LES", "GEQ"});
  AddTyped(c, "p1", Q7_TYPE_DOUBLE, {5, 9});
  AddTyped(c, "p2", Q7_TYPE_DOUBLE, {0, 0});
  const int label = AddStrings(c, "label", {"low", "high"});
  TBaseArray* category_list = Table(c)->GetFilter(label)->VL;

  const int id = RunMpp(t, price, c);
  ASSERT_GT(id, 0);
  TFilter* f = Table(t)->GetFilter(id);
  EXPECT_NE(f->VL, category_list);  // a copy of its own, not the category table's list
  std::vector<std::string> got;
  for (int r = 1; r <= 4; ++r)
    got.emplace_back(static_cast<const char*>(f->VL->GetAddress(f->PV->GetInt(r))));
  EXPECT_EQ(got, (std::vector<std::string>{"low", "", "low", "high"}));
  EXPECT_EQ(Table(c)->GetFilter(label)->VL, category_list);
}

// A category table on a shared image is only read: no condense, no merge, no new array.
TEST_F(CategoryMppTest, CategoryTableOnASharedImageIsOnlyRead) {
  const int t = NewTable("sales", 4);
  const int price = AddTyped(t, "price", Q7_TYPE_DOUBLE, {1, 5, kNull, 9});
  // Filter 4 lists a value no row uses, which a condense would drop.
  const int c = Categories("CATS", {{"LES", 5, 0, 1}, {"GEQ", 9, 0, 3}});
  TRealTable* cats = Table(c);
  ASSERT_EQ(cats->OverWriteEx(1, cats->FFilters[3]->FFilterID, 2, 1, std::vector<int>{2}.data()), 1);
  ASSERT_EQ(cats->FFilters[3]->VL->FArraySize, 4);  // NULL, 1, 2, 3
  std::vector<std::pair<TBaseArray*, TIntArray*>> before;
  for (int i = 0; i < cats->FnFilter; ++i) before.emplace_back(cats->FFilters[i]->VL, cats->FFilters[i]->PV);
  cats->FShmImage = 1;
  const int id = RunMpp(t, price, c);
  cats->FShmImage = 0;
  ASSERT_GT(id, 0);
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{1, N, 1, 2}));
  for (int i = 0; i < cats->FnFilter; ++i) {
    EXPECT_EQ(cats->FFilters[i]->VL, before[i].first) << i;
    EXPECT_EQ(cats->FFilters[i]->PV, before[i].second) << i;
  }
  EXPECT_EQ(cats->FFilters[3]->VL->FArraySize, 4);
}

// Pending values carry negative value numbers until they are merged; the road must fold them in
// before it maps records through a per-value table.
TEST_F(CategoryMppTest, PendingValuesOfTargetAndCategoryTableAreMergedFirst) {
  const int rows = 300;
  std::vector<double> values(rows);
  for (int i = 0; i < rows; ++i) values[i] = i % 10;
  const int t = NewTable("sales", rows);
  const int price = AddTyped(t, "price", Q7_TYPE_DOUBLE, values);
  double fresh = 42.5;
  ASSERT_GE(Table(t)->OverWriteEx(1, price, 5, 1, &fresh), 0);
  ASSERT_GT(Table(t)->GetFilter(price)->TVLCount, 0) << "the write must stay pending for this test";

  const int c = Categories("CATS", {{"GT", 40, 0, 1}, {"LES", 5, 0, 2}});
  const int id = RunMpp(t, price, c);
  ASSERT_GT(id, 0);
  const std::vector<int> got = CategoryValues(t, id);
  for (int r = 0; r < rows; ++r) {
    const double v = r == 4 ? fresh : values[r];
    EXPECT_EQ(got[r], v > 40 ? 1 : (v < 5 ? 2 : N)) << "record " << r + 1;
  }
}

// ---- Refusals ----

struct RefusalCase {
  const char* what;
  // Builds the category table (its ID) in the fixture; may also pick another target filter.
  std::function<int(CategoryTablesTest*, int* target)> build;
  int want;
};

int StringTargetAndGoodCategories(CategoryTablesTest* f, int* target);

const RefusalCase kRefusals[] = {
    {"a STRING target", StringTargetAndGoodCategories, Q7_ERROR_INVALID_DATA_TYPE},
    {"a missing target filter",
     [](CategoryTablesTest* f, int* target) {
       *target = 999;
       return f->Categories("CATS", {{"GT", 1, 0, 1}});
     },
     Q7_ERROR_NO_SUCH_FILTER},
    {"a missing category table", [](CategoryTablesTest*, int*) { return 99999; }, Q7_ERROR_NO_SUCH_TABLE},
    {"three filters",
     [](CategoryTablesTest* f, int*) {
       const int c = f->NewTable("CATS", 1);
       f->AddStrings(c, "cmd", {"GT"});
       f->AddTyped(c, "p1", Q7_TYPE_DOUBLE, {1});
       f->AddTyped(c, "p2", Q7_TYPE_DOUBLE, {1});
       return c;
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"no rows", [](CategoryTablesTest* f, int*) { return f->Categories("CATS", {}); },
     Q7_ERROR_EMPTY_CATEGORY},
    {"a command that is not STRING",
     [](CategoryTablesTest* f, int*) {
       const int c = f->NewTable("CATS", 1);
       f->AddTyped(c, "cmd", Q7_TYPE_INTEGER, {1});
       f->AddTyped(c, "p1", Q7_TYPE_DOUBLE, {1});
       f->AddTyped(c, "p2", Q7_TYPE_DOUBLE, {1});
       f->AddTyped(c, "cat", Q7_TYPE_INTEGER, {1});
       return c;
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"INTEGER parameters",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{"GT", 1, 1, 1}}, Q7_TYPE_INTEGER);
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"DOUBLE and DECIMAL parameters",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{"GT", 1, 1, 1}}, Q7_TYPE_DOUBLE, Q7_TYPE_DECIMAL);
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"DOUBLE and DATE parameters (extend types differ)",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{"GT", 1, 1, 1}}, Q7_TYPE_DOUBLE, Q7_TYPE_DATE);
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"an operator spelled =<",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{"GT", 1, 0, 1}, {"=<", 1, 0, 2}});
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"a NULL command",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{nullptr, 1, 0, 1}});
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"a NULL param1 for LES",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{"LES", kNull, 0, 1}});
     },
     Q7_ERROR_CATEGORY_DEFINITION},
    {"a NULL param2 for WITHIN",
     [](CategoryTablesTest* f, int*) {
       return f->Categories("CATS", {{"WITHIN", 1, kNull, 1}});
     },
     Q7_ERROR_CATEGORY_DEFINITION},
};

int StringTargetAndGoodCategories(CategoryTablesTest* f, int* target) {
  // The sales table's second filter is the STRING one.
  int ids[4];
  f->Table(f->tables_.front())->GetFilterIDList(ids);
  *target = ids[1];
  return f->Categories("CATS", {{"GT", 1, 0, 1}});
}

TEST_F(CategoryMppTest, RefusalsLeaveTheTargetUnchanged) {
  for (const RefusalCase& c : kRefusals) {
    SCOPED_TRACE(c.what);
    TearDown();
    tables_.clear();
    const int t = NewTable("sales", 3);
    int target = AddTyped(t, "price", Q7_TYPE_DOUBLE, {1, 2, 3});
    AddStrings(t, "city", {"a", "b", nullptr});
    const int cats = c.build(this, &target);
    EXPECT_EQ(RunMpp(t, target, cats), c.want);
    EXPECT_EQ(Table(t)->FnFilter, 2);
  }
}

TEST_F(CategoryMppTest, NullParametersTheOperatorDoesNotNeedAreAccepted) {
  const int t = NewTable("sales", 3);
  const int price = AddTyped(t, "price", Q7_TYPE_DOUBLE, {kNull, 2, 3});
  const int id = RunMpp(t, price, Categories("CATS", {{"NEQ", kNull, kNull, 1}, {"EQ", kNull, kNull, 2}}));
  ASSERT_GT(id, 0);
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{2, 1, 1}));
}

// ---- The serial road and the parallel road agree ----

class CategoryRoadsAgree : public CategoryTablesTest, public ::testing::WithParamInterface<int> {};

TEST_P(CategoryRoadsAgree, OnAMillionRecordsWithNulls) {
  const int type = GetParam();
  constexpr int kRows = 1000000;
  constexpr int kDistinct = 5000;
  const int t = NewTable("big", kRows);
  const std::vector<double> values = RandomValues(type, kRows, kDistinct, 17u + type);
  const int target = AddTyped(t, "v", type, values);
  const std::vector<DefRow> defs = MixedDefinitions(type, kDistinct);
  // The serial road wants parameters the target's type takes: decimals for a decimal target.
  const int param_type = type == Q7_TYPE_DECIMAL ? Q7_TYPE_DECIMAL : Q7_TYPE_DOUBLE;
  const int mpp = RunMpp(t, target, Categories("CATS", defs, param_type));
  ASSERT_GT(mpp, 0);
  const int serial = Table(t)->AddCategory(target, Categories("CATS", defs, param_type));
  ASSERT_GT(serial, 0);

  std::vector<int> expected(values.size());
  for (size_t r = 0; r < values.size(); ++r) expected[r] = ExpectedCategory(values[r], defs);
  for (const DefRow& d : defs) {
    EXPECT_NE(std::find(expected.begin(), expected.end(), d.category), expected.end()) << "unused: " << d.op;
  }
  const std::vector<int> parallel = CategoryValues(t, mpp);
  ExpectSameCategories(parallel, expected, "parallel road");
  ExpectSameCategories(CategoryValues(t, serial), parallel, "serial road against parallel road");
}

INSTANTIATE_TEST_SUITE_P(TargetTypes, CategoryRoadsAgree,
                         ::testing::Values(Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE, Q7_TYPE_DATE, Q7_TYPE_DECIMAL));

}  // namespace
}  // namespace category_test
