// Categorising through the interface: the new column's place, name and values, the refused calls
// and what they leave in the error ring, and a cube summary over the new column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::CellText;
using q7host::DrainRing;
using q7host::RefusalCase;
using q7host::RingEntry;
using Texts = std::vector<std::string>;

const double kDNull = q7host::kDoubleNull;

class CategoryApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    t_ = q7host::AddTable("sales", 8);
    ASSERT_GT(t_, 0);
    id_ = q7host::AddIntColumn(t_, "id", {1, 2, 3, 4, 5, 6, 7, 8});
    price_ = q7host::AddDoubleColumn(t_, "price", {4, 12.5, kDNull, 20, 25, 10, 30, 9.5});
    qty_ = q7host::AddIntColumn(t_, "qty", {5, 1, 7, 1, 2, 9, 3, 3});
    // A NULL price is below every number, so the first row takes it.
    cats_ = Categories("CATS", {"LES", "BETWEEN", "GT"}, {10, 10, 20}, {0, 20, 0}, {"low", "mid", "high"});
    for (int id : {id_, price_, qty_, cats_}) ASSERT_GT(id, 0);
    DrainRing();
  }
  void TearDown() override {
    for (int h = 0; h < Q7_SUMMARY_HANDLES; ++h) RQ7SummaryClose(h);
    RQ7ClearDB();
    DrainRing();
  }

  // A category table: command, DOUBLE param1 and param2, STRING category values.
  static int Categories(const char* name, const Texts& ops, const std::vector<double>& p1,
                        const std::vector<double>& p2, const Texts& labels) {
    const int c = q7host::AddTable(name, static_cast<int>(ops.size()));
    if (c < 0) return c;
    for (int f : {q7host::AddStringColumn(c, "cmd", ops), q7host::AddDoubleColumn(c, "p1", p1),
                  q7host::AddDoubleColumn(c, "p2", p2), q7host::AddStringColumn(c, "label", labels)}) {
      if (f < 0) return f;
    }
    return c;
  }

  static Texts Column(int table, int filter) {
    Texts out;
    for (int r = 1; r <= RQ7GetSetSize(table, 1); ++r) out.push_back(CellText(table, filter, r));
    return out;
  }

  static std::vector<int> FilterIDs(int table) {
    std::vector<int> ids(600);
    const int n = RQ7GetFilterIDList(table, ids.data());
    ids.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return ids;
  }

  static std::string FilterName(int table, int filter) {
    char name[256] = {};
    RQ7GetFilterName(table, filter, name);
    return name;
  }

  int t_ = 0, id_ = 0, price_ = 0, qty_ = 0, cats_ = 0;
};

TEST_F(CategoryApi, NewColumnStandsAfterTheTargetWithTheCategories) {
  const int col = RQ7AddCategoryReal(t_, price_, cats_);
  ASSERT_GT(col, 0);
  EXPECT_EQ(FilterIDs(t_), (std::vector<int>{id_, price_, col, qty_}));
  EXPECT_EQ(FilterName(t_, col), "CATS(price)");
  EXPECT_EQ(Column(t_, col), (Texts{"low", "mid", "low", "mid", "high", "mid", "high", "low"}));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  // The target and the category table keep their values.
  EXPECT_EQ(Column(t_, price_), (Texts{"4", "12.5", "NULL", "20", "25", "10", "30", "9.5"}));
  EXPECT_EQ(Column(cats_, FilterIDs(cats_)[3]), (Texts{"low", "mid", "high"}));
}

TEST_F(CategoryApi, PlainMirrorGivesTheSameColumn) {
  const int col = Q7AddCategoryReal(t_, price_, cats_);
  ASSERT_GT(col, 0);
  EXPECT_EQ(FilterName(t_, col), "CATS(price)");
  EXPECT_EQ(Column(t_, col), (Texts{"low", "mid", "low", "mid", "high", "mid", "high", "low"}));
}

TEST_F(CategoryApi, SecondColumnOverTheSameTargetGetsAUniqueName) {
  ASSERT_GT(RQ7AddCategoryReal(t_, price_, cats_), 0);
  const int second = RQ7AddCategoryReal(t_, price_, cats_);
  ASSERT_GT(second, 0);
  EXPECT_EQ(FilterName(t_, second), "CATS(price)_#1");
}

// The exported call keeps the "_#" part of the category table's name in the column's name.
TEST_F(CategoryApi, SharpPartOfTheTableNameIsKept) {
  // "CATS" is taken, so this table gets a "CATS_#<n>" name.
  const int c = Categories("CATS", {"GT"}, {0}, {0}, {"pos"});
  ASSERT_GT(c, 0);
  char table_name[256] = {};
  ASSERT_EQ(RQ7GetTableName(c, table_name), 0);
  ASSERT_NE(std::string(table_name).find("_#"), std::string::npos) << table_name;
  const int col = RQ7AddCategoryReal(t_, qty_, c);
  ASSERT_GT(col, 0);
  EXPECT_EQ(FilterName(t_, col), std::string(table_name) + "(qty)");
}

TEST_F(CategoryApi, RefusedCallsChangeNothing) {
  const int three = q7host::AddTable("three", 1);
  ASSERT_GT(q7host::AddStringColumn(three, "cmd", {"GT"}), 0);
  ASSERT_GT(q7host::AddDoubleColumn(three, "p1", {1}), 0);
  ASSERT_GT(q7host::AddDoubleColumn(three, "p2", {1}), 0);
  const int empty = Categories("empty", {}, {}, {}, {});
  const int bad_op = Categories("badop", {"GT", "=<"}, {1, 1}, {0, 0}, {"a", "b"});
  ASSERT_GT(empty, 0);
  ASSERT_GT(bad_op, 0);
  DrainRing();
  const int definition = static_cast<int>(Q7_ERROR_CATEGORY_DEFINITION);
  const std::vector<RefusalCase> cases = {
      {"no such table",
       [&] { return RQ7AddCategoryReal(9999, price_, cats_); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999"},
        {"Q7AddCategoryReal", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999"},
        {"RQ7AddCategoryReal", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"no such category table",
       [&] { return RQ7AddCategoryReal(t_, price_, 9999); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999"},
        {"AddCategory", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999 "},
        {"RQ7AddCategoryReal", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"a category table of three filters",
       [&] { return RQ7AddCategoryReal(t_, price_, three); },
       definition,
       {{"Constructor of TCatDef", definition, "Illegal data table"},
        {"RQ7AddCategoryReal", definition, ""}}},
      {"a category table without rows",
       [&] { return RQ7AddCategoryReal(t_, price_, empty); },
       definition,
       {{"Constructor of TCatDef", definition, "no definition in category table"},
        {"RQ7AddCategoryReal", definition, ""}}},
      {"an operator spelled =<",
       [&] { return RQ7AddCategoryReal(t_, price_, bad_op); },
       definition,
       {{"Constructor of TCatDef", definition, "Illegal data"}, {"RQ7AddCategoryReal", definition, ""}}},
      {"a STRING target with numeric parameters",
       [&] {
         const int city = q7host::AddStringColumn(t_, "city", {"a", "b", "c", "d", "e", "f", "g", "h"});
         DrainRing();
         const int rc = RQ7AddCategoryReal(t_, city, cats_);
         RQ7DeleteRealFilter(t_, city);
         return rc;
       },
       Q7_ERROR_INNER_ENGINE,
       {{"RQ7AddCategoryReal", Q7_ERROR_INNER_ENGINE, ""}}},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    const std::vector<RingEntry> ring = DrainRing();
    // Only the calls' own entries are compared; entries of the lookups below them may come first.
    ASSERT_GE(ring.size(), c.ring.size());
    EXPECT_EQ(std::vector<RingEntry>(ring.end() - static_cast<long>(c.ring.size()), ring.end()), c.ring);
    EXPECT_EQ(FilterIDs(t_), (std::vector<int>{id_, price_, qty_}));
  }
}

TEST_F(CategoryApi, CubeSummaryOverTheNewColumn) {
  const int col = RQ7AddCategoryReal(t_, price_, cats_);
  ASSERT_GT(col, 0);
  _TDimensionDef dim = {};
  dim.column_id = col;
  ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 1, &dim, qty_), 0);
  int computed = 0;
  ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
  // Categories are the new column's value-list entries: NULL, then the labels in value order.
  const Texts names = {"", "high", "low", "mid"};
  const std::vector<int> counts = {0, 2, 3, 3};
  const std::vector<int> sums = {0, 2 + 3, 5 + 7 + 3, 1 + 1 + 9};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    char name[128] = {};
    ASSERT_EQ(RQ7CategoryRead(0, 0, k, name), 0);
    EXPECT_EQ(std::string(name), names[k]);
    int cats[Q7_SUMMARY_MAX_DIMS] = {k};
    int result_type = 0, count = 0, value_type = 0;
    char value[64] = {};
    ASSERT_EQ(RQ7SummaryRead(0, 1, cats, &result_type, &count, &value_type, value), 0);
    EXPECT_EQ(count, counts[k]);
    if (counts[k] == 0) continue;
    ASSERT_EQ(RQ7SummaryRead(0, 8, cats, &result_type, &count, &value_type, value), 0);
    double sum = 0;
    memcpy(&sum, value, sizeof sum);
    EXPECT_EQ(sum, sums[k]);
  }
}

}  // namespace
