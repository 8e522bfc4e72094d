// Summary output tables through the interface: the exported writers (all measures, chosen measures,
// appending), the names they keep, their refusals, and the services over marked columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::CellText;
using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RingEntry;

std::string TableName(int table) {
  char name[256] = {};
  EXPECT_EQ(RQ7GetTableName(table, name), 0);
  return name;
}

std::vector<std::string> ColumnNames(int table) {
  std::vector<int> ids(512);
  const int n = RQ7GetFilterIDList(table, ids.data());
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) {
    char name[256] = {};
    RQ7GetFilterName(table, ids[static_cast<size_t>(i)], name);
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> Column(int table, int filter) {
  std::vector<std::string> out;
  const int rows = RQ7GetTotalRows(table);
  for (int r = 1; r <= rows; ++r) out.push_back(CellText(table, filter, r));
  return out;
}

class SummaryOutputApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A second "sales" is named "sales_#1": a name whose "_#" the writers keep.
    decoy_ = q7host::AddTable("sales", 1);
    table_ = q7host::AddTable("sales", 5);
    ASSERT_GT(table_, 0);
    ASSERT_EQ(TableName(table_), "sales_#1");
    region_ = q7host::AddIntColumn(table_, "region", {1, 2, 1, 2, 1});  // NULL, 1, 2
    qty_ = q7host::AddIntColumn(table_, "qty", {5, 7, kIntNull, 1, 2});
    ASSERT_GT(qty_, 0);
    _TDimensionDef def{};
    def.column_id = region_;
    ASSERT_EQ(Q7SummaryOpen(0, table_, 1, 1, &def, qty_), 0);
    int computed = 0;
    ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7SummaryClose(0);
    for (int id : made_) RQ7DeleteTable(id);
    RQ7DeleteTable(table_);
    RQ7DeleteTable(decoy_);
  }
  int Made(int id) {
    if (id > 0) made_.push_back(id);
    return id;
  }

  int decoy_ = 0, table_ = 0, region_ = 0, qty_ = 0;
  std::vector<int> made_;
};

TEST_F(SummaryOutputApiTest, WritersLayOutCellsAndKeepSharpNames) {
  const int all = Made(RQ7SummaryIntoRealTable(0, 0));
  ASSERT_GT(all, 0);
  // The "_#" of the summed table's name is kept while the writers run.
  EXPECT_EQ(TableName(all), "XTBL_sales_#1");
  EXPECT_EQ(ColumnNames(all), (std::vector<std::string>{"region", "COUNT", "MAX", "MIN", "SUM", "AVERAGE"}));
  // Cells: region NULL (empty), 1 (5, 2), 2 (7, 1).
  EXPECT_EQ(Column(all, 1), (std::vector<std::string>{"NULL", "1", "2"}));
  EXPECT_EQ(Column(all, 2), (std::vector<std::string>{"0", "2", "2"}));
  EXPECT_EQ(Column(all, 3), (std::vector<std::string>{"NULL", "5", "7"}));
  EXPECT_EQ(Column(all, 4), (std::vector<std::string>{"NULL", "2", "1"}));
  EXPECT_EQ(Column(all, 5), (std::vector<std::string>{"NULL", "7", "8"}));
  EXPECT_EQ(Column(all, 6), (std::vector<std::string>{"NULL", "3.5", "4"}));

  // Chosen measures, empty cells skipped; then a further measure appended to that table.
  const int counts = Made(RQ7SummaryIntoRealTable2(0, 1, 1));
  ASSERT_GT(counts, 0);
  EXPECT_EQ(TableName(counts), "XTBL_sales_#1_#1");
  EXPECT_EQ(ColumnNames(counts), (std::vector<std::string>{"region", "COUNT"}));
  EXPECT_EQ(Column(counts, 2), (std::vector<std::string>{"2", "2"}));
  ASSERT_EQ(RQ7AppendSummaryToRealTable(0, counts, 8, 1), 0);
  EXPECT_EQ(ColumnNames(counts), (std::vector<std::string>{"region", "COUNT", "SUM"}));
  EXPECT_EQ(Column(counts, 3), (std::vector<std::string>{"7", "8"}));
  // The plain mirror passes its bits through.
  const int mins = Made(Q7SummaryIntoRealTable(0, 4, 0));
  EXPECT_EQ(ColumnNames(mins), (std::vector<std::string>{"region", "MIN"}));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(SummaryOutputApiTest, WriterRefusalsLeaveTheirEntries) {
  const int tables = RQ7GetNTable();
  const std::string handle_text = "Invalid Parameter : SumHandle";
  const q7host::RefusalCase cases[] = {
      {"handle 8",
       [] { return RQ7SummaryIntoRealTable(8, 0); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {{"Q7SummaryIntoRealTable", Q7_ERROR_INVALID_SUM_HANDLE, handle_text}}},
      {"free handle",
       [] { return RQ7SummaryIntoRealTable2(3, 31, 0); },
       Q7_ERROR_NO_SUCH_SUMMARY,
       {{"Q7SummaryIntoRealTable", Q7_ERROR_NO_SUCH_SUMMARY, handle_text}}},
      {"append, free handle",
       [] { return RQ7AppendSummaryToRealTable(3, 1, 31, 0); },
       Q7_ERROR_NO_SUCH_SUMMARY,
       {}},
      // Three cells do not fit a table of five records.
      {"append to a table of other rows",
       [this] { return RQ7AppendSummaryToRealTable(0, table_, 1, 0); },
       Q7_ERROR_INVALID_UNIT_WIDTH,
       {{"AddFilter2", Q7_ERROR_INVALID_UNIT_WIDTH, "Illegal data size"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  EXPECT_EQ(RQ7GetNTable(), tables);
  EXPECT_EQ(ColumnNames(table_), (std::vector<std::string>{"region", "qty"}));
}

TEST_F(SummaryOutputApiTest, ServicesReadTheMarksOfColumns) {
  const int out = Made(RQ7SummaryIntoRealTable(0, 1));
  ASSERT_GT(out, 0);
  int dims = -1, measures = -1;
  // The cube writer leaves its columns unmarked.
  EXPECT_EQ(RQ7IsSummaryOutputTable(out, &dims, &measures), 0);
  EXPECT_EQ(RQ7DimNo2FilterID(out, 1, 0), 0);

  auto mark = [&](int filter, int kind, int bit, int ordinal) {
    char block[64] = {};
    block[1] = static_cast<char>(kind);
    block[2] = static_cast<char>(bit);
    block[5] = static_cast<char>(ordinal);
    ASSERT_EQ(RQ7SetSumFilterAttr(out, filter, block), 0);
  };
  mark(1, 1, 0, 0);
  mark(2, 2, 1, 0);
  mark(5, 2, 8, 3);
  EXPECT_EQ(RQ7IsSummaryOutputTable(out, &dims, &measures), 2);
  EXPECT_EQ(dims, 1);
  EXPECT_EQ(measures, 2);
  EXPECT_EQ(RQ7DimNo2FilterID(out, 2, 3), 5);
  EXPECT_EQ(RQ7DimNo2FilterID(out, 1, 1), Q7_ERROR_NO_SUCH_DIMENSION);
  char block[64] = {};
  ASSERT_EQ(RQ7GetSumFilterAttr(out, 5, block), 0);
  EXPECT_EQ(block[2], 8);

  double total = 0;
  EXPECT_EQ(RQ7CalcTotal(out, 1, 5, 0, &total), 0);
  EXPECT_EQ(total, 15);
  EXPECT_EQ(RQ7CalcTotal(out, 1, 6, 0, &total), Q7_ERROR_NOT_SUMMARY_OUTPUT);
  EXPECT_EQ(total, q7host::kDoubleNull);
  EXPECT_EQ(RQ7CalcTotal(out, 1, 6, 1, &total), 0);
  EXPECT_EQ(total, 7.5);
  EXPECT_EQ(RQ7CalcTotal(out, 1, 1, 0, &total), Q7_ERROR_CALC_TOTAL_KIND);
  DrainRing();
  EXPECT_EQ(RQ7GetSumFilterAttr(out, 77, block), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(RQ7DimNo2FilterID(-5, 1, 0), Q7_ERROR_NO_SUCH_TABLE);
  // Only the table lookup leaves an entry; the services record nothing of their own.
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: -5"}}));
}

}  // namespace
