// The non-cube summary through the interface: the output table of a real table's set, the name it
// keeps, the request refusals with their ring entries (on real and join tables alike), the set IDs
// it uses whichever engine runs, and rounded sums of values past the 64-bit integers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"
#include "tests/support/rounded_sum_cases.h"

namespace {

using q7host::CellText;
using q7host::DrainRing;
using q7host::kDoubleNull;
using q7host::kIntNull;
using q7host::RefusalCase;
using q7host::RingEntry;

std::string TableName(int table) {
  char name[256] = {};
  EXPECT_EQ(RQ7GetTableName(table, name), 0);
  return name;
}

// Column name -> its cells, in column order.
std::vector<std::pair<std::string, std::vector<std::string>>> Columns(int table) {
  std::vector<int> ids(512);
  const int n = RQ7GetFilterIDList(table, ids.data());
  std::vector<std::pair<std::string, std::vector<std::string>>> out;
  for (int i = 0; i < n; ++i) {
    char name[256] = {};
    RQ7GetFilterName(table, ids[static_cast<size_t>(i)], name);
    std::vector<std::string> cells;
    for (int r = 1; r <= RQ7GetTotalRows(table); ++r)
      cells.push_back(CellText(table, ids[static_cast<size_t>(i)], r));
    out.emplace_back(name, cells);
  }
  return out;
}

class NonCubeApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A second "sales" is named "sales_#1": a name whose "_#" the summary keeps.
    decoy_ = q7host::AddTable("sales", 1);
    table_ = q7host::AddTable("sales", 6);
    ASSERT_EQ(TableName(table_), "sales_#1");
    region_ = q7host::AddStringColumn(table_, "region", {"east", "west", "east", "", "west", "east"});
    qty_ = q7host::AddIntColumn(table_, "qty", {5, 7, kIntNull, 1, 2, 3});
    price_ = q7host::AddDoubleColumn(table_, "price", {0.25, 1.5, 0.25, 4.0, kDoubleNull, 0.25});
    name_ = q7host::AddStringColumn(table_, "name", {"bob", "", "ann", "cy", "dee", "eve"});
    ASSERT_GT(name_, 0);
    DrainRing();
  }
  void TearDown() override {
    for (int id : made_) RQ7DeleteTable(id);
    RQ7DeleteTable(table_);
    RQ7DeleteTable(decoy_);
  }
  int Made(int id) {
    if (id > 0) made_.push_back(id);
    return id;
  }

  int decoy_ = 0, table_ = 0, region_ = 0, qty_ = 0, price_ = 0, name_ = 0;
  std::vector<int> made_;
};

TEST_F(NonCubeApiTest, SummarisesARealTableAndKeepsSharpNames) {
  const int dims[] = {region_};
  const int measures[] = {qty_, price_, name_};
  const int masks[] = {31, 24, 6};
  const int decimals[] = {-1, 1, -1};  // price: each value rounded to 0.1 before the sum
  const int out = Made(RQ7NonCubeSum(table_, 1, 1, dims, 3, measures, masks, decimals));
  ASSERT_GT(out, 0);
  EXPECT_EQ(TableName(out), "XTBL_sales_#1");
  using Column = std::pair<std::string, std::vector<std::string>>;
  const std::vector<Column> want = {
      {"region", {"", "east", "west"}},
      {"N<qty>", {"1", "3", "2"}},
      {"MAX<qty>", {"1", "5", "7"}},
      {"MIN<qty>", {"1", "3", "2"}},
      {"SUM<qty>", {"1", "8", "9"}},
      {"AVG<qty>", {"1", "2.666666667", "4.5"}},
      {"SUM<price>", {"4", "0.9", "1.5"}},
      {"AVG<price>", {"4", "0.3", "0.75"}},
      {"MAX<name>", {"cy", "eve", "dee"}},
      {"MIN<name>", {"cy", "ann", "dee"}},  // the empty text is NULL, no value of MIN
  };
  EXPECT_EQ(Columns(out), want);
  EXPECT_TRUE(DrainRing().empty());
  // The name flag is down again once the call returns: a "_#" seed is cut as usual.
  EXPECT_STREQ(RQ7GenTableNameR1("probe_#5"), "probe");
}

TEST_F(NonCubeApiTest, NextSetIdDoesNotDependOnTheEngine) {
  const int dims[] = {region_};
  const int measures[] = {price_};
  const int masks[] = {8};
  for (const int decimals : {-1, 2}) {  // decimals 2 run the sort-based engine, -1 the chooser's
    SCOPED_TRACE(decimals);
    int ids[16] = {};
    const int sets = RQ7GetSetIDList(table_, 16, ids);
    const int last = ids[sets - 1];
    ASSERT_GT(Made(RQ7NonCubeSum(table_, 1, 1, dims, 1, measures, masks, &decimals)), 0);
    const int row = 1;
    EXPECT_EQ(RQ7AddSetReal(table_, 1, &row), last + 2);
    EXPECT_EQ(RQ7GetSetIDList(table_, 16, ids), sets + 1);
  }
}

TEST_F(NonCubeApiTest, RefusalsAreRecordedOnRealAndJoinTables) {
  const int slave = q7host::AddTable("regions", 2);
  const int slave_key = q7host::AddStringColumn(slave, "region", {"east", "west"});
  const int master_keys[] = {region_, 0};
  const int slave_keys[] = {slave_key, 0};
  const int join = RQ7AddJoinTable("sales_join", 0, table_, 1, master_keys, slave, 1, slave_keys);
  ASSERT_GT(join, 0);
  DrainRing();

  const int dims[] = {region_};
  const int measures[] = {qty_};
  const int none = -1;
  const int zero = 0, text_sum = 8, big_decimals = 11;
  auto refused = [](int code) {
    return std::vector<RingEntry>{{"RQ7NonCubeSum", code, "Failed to create NonCubeSum"}};
  };
  const int text_measure[] = {name_};
  const std::vector<RefusalCase> cases = {
      {"no table",
       [&] { return RQ7NonCubeSum(9999, 1, 1, dims, 0, nullptr, nullptr, nullptr); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999"},
        {"RQ7NonCubeSum", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999"}}},
      {"negative dimension count",
       [&] { return RQ7NonCubeSum(table_, 1, -1, dims, 0, nullptr, nullptr, nullptr); },
       Q7_ERROR_OUT_OF_RANGE, refused(Q7_ERROR_OUT_OF_RANGE)},
      {"33 measures", [&] { return RQ7NonCubeSum(table_, 1, 1, dims, 33, measures, &zero, &none); },
       Q7_ERROR_OUT_OF_RANGE, refused(Q7_ERROR_OUT_OF_RANGE)},
      {"mask 0", [&] { return RQ7NonCubeSum(table_, 1, 1, dims, 1, measures, &zero, &none); },
       Q7_ERROR_INVALID_PARAMETER, refused(Q7_ERROR_INVALID_PARAMETER)},
      {"SUM of a text", [&] { return RQ7NonCubeSum(table_, 1, 1, dims, 1, text_measure, &text_sum, &none); },
       Q7_ERROR_INVALID_PARAMETER, refused(Q7_ERROR_INVALID_PARAMETER)},
      {"decimals 11",
       [&] { return RQ7NonCubeSum(table_, 1, 1, dims, 1, measures, &text_sum, &big_decimals); },
       Q7_ERROR_OUT_OF_RANGE, refused(Q7_ERROR_OUT_OF_RANGE)},
      {"join: negative dimension count",
       [&] { return RQ7NonCubeSum(join, 1, -1, dims, 0, nullptr, nullptr, nullptr); }, Q7_ERROR_OUT_OF_RANGE,
       refused(Q7_ERROR_OUT_OF_RANGE)},
      {"join: mask 0", [&] { return RQ7NonCubeSum(join, 1, 1, dims, 1, measures, &zero, &none); },
       Q7_ERROR_INVALID_PARAMETER, refused(Q7_ERROR_INVALID_PARAMETER)},
  };
  int tables[64] = {};
  const int count = RQ7GetTableIDList(tables);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetTableIDList(tables), count);
  }
  RQ7DeleteTable(join);
  RQ7DeleteTable(slave);
}

// A join's rows are ordered by its master-side dimensions first, in request order, then by its
// slave-side ones, whatever order the request names them in; a STRING MIN skips NULL texts.
TEST_F(NonCubeApiTest, JoinRowsGoByMasterDimensionsFirst) {
  const int slave = Made(q7host::AddTable("sizes", 3));
  const int slave_key = q7host::AddStringColumn(slave, "region", {"east", "west", "north"});
  const int size = q7host::AddIntColumn(slave, "size", {2, 1, 9});
  ASSERT_GT(size, 0);
  const int master_keys[] = {region_, 0};
  const int slave_keys[] = {slave_key, 0};
  const int join = Made(RQ7AddJoinTable("by_region", 0, table_, 1, master_keys, slave, 1, slave_keys));
  ASSERT_GT(join, 0);
  // Join columns: the master's region, qty, price, name (1..4), then the slave's region, size.
  const int dims[] = {6, 2};  // the slave's size, then the master's qty
  const int measures[] = {4};
  const int masks[] = {4};
  const int out = Made(RQ7NonCubeSum(join, 1, 2, dims, 1, measures, masks, nullptr));
  ASSERT_GT(out, 0);
  const auto columns = Columns(out);
  ASSERT_EQ(columns.size(), 3u);
  // Joined rows (qty, size, name): (5,2,bob) (7,1,"") (NULL,2,ann) (2,1,dee) (3,2,eve). The columns
  // keep the request order; the rows go by qty, the master's dimension.
  EXPECT_EQ(columns[0].first, "size");
  EXPECT_EQ(columns[1].first, "qty");
  EXPECT_EQ(columns[0].second, (std::vector<std::string>{"2", "1", "2", "2", "1"}));
  EXPECT_EQ(columns[1].second, (std::vector<std::string>{"NULL", "2", "3", "5", "7"}));
  EXPECT_EQ(columns[2].second, (std::vector<std::string>{"ann", "dee", "eve", "bob", ""}));
  DrainRing();
}

// Sums rounded to decimals 1 whose values or totals lie past the 64-bit integers: each group's SUM
// is its fraction sum / 10 + its whole-part sum, taken as exact integers, and AVG that sum over the
// group's rows. Checked on a real table and on joins whose slave doubles every master row, with the
// measure's side sorted by a dimension and aggregated per key (no dimension on its side), with one
// measure and with as many as a request may have.
class HugeRoundedSums : public ::testing::Test {
 protected:
  using Case = q7test::RoundedSumCase;
  const std::vector<Case>& cases_ = q7test::HugeRoundedSumCases();
  static constexpr int kPadGroup = 99;
  static constexpr int kPadRows = 48;

  void SetUp() override {
    std::vector<int32_t> groups;
    std::vector<double> values;
    for (size_t c = 0; c < cases_.size(); ++c) {
      for (double v : cases_[c].values) {
        groups.push_back(static_cast<int32_t>(c + 1));
        values.push_back(v);
      }
    }
    // Rows of one more group, which one slave row joins: they make the master side's rows many per
    // key value.
    groups.insert(groups.end(), kPadRows, kPadGroup);
    values.insert(values.end(), kPadRows, 0.5);
    facts_ = q7host::AddTable("huge_facts", static_cast<int>(groups.size()));
    ASSERT_EQ(q7host::AddIntColumn(facts_, "grp", groups), 1);
    ASSERT_EQ(q7host::AddDoubleColumn(facts_, "value", values), 2);
    std::vector<int32_t> slave_groups;
    std::vector<int32_t> labels;
    for (size_t c = 0; c < cases_.size(); ++c) {
      for (int twice = 0; twice < 2; ++twice) {
        slave_groups.push_back(static_cast<int32_t>(c + 1));
        labels.push_back(static_cast<int32_t>(10 * (c + 1)));
      }
    }
    slave_groups.push_back(kPadGroup);
    labels.push_back(10 * kPadGroup);
    slave_ = q7host::AddTable("huge_groups", static_cast<int>(slave_groups.size()));
    ASSERT_EQ(q7host::AddIntColumn(slave_, "grp", slave_groups), 1);
    ASSERT_EQ(q7host::AddIntColumn(slave_, "label", labels), 2);
    const int master_keys[] = {1, 0};
    const int slave_keys[] = {1, 0};
    join_ = RQ7AddJoinTable("huge_join", 0, facts_, 1, master_keys, slave_, 1, slave_keys);
    ASSERT_GT(join_, 0);
    DrainRing();
  }
  void TearDown() override {
    for (int id : made_) RQ7DeleteTable(id);
    RQ7DeleteTable(join_);
    RQ7DeleteTable(slave_);
    RQ7DeleteTable(facts_);
  }

  static double Cell(int table, int column, int row) {
    char value[4096] = {};
    int type = 0;
    EXPECT_EQ(RQ7GetData1(table, column, 1, row, &type, value), 8);
    EXPECT_EQ(type, Q7_TYPE_DOUBLE);
    double v = 0;
    std::memcpy(&v, value, sizeof v);
    return v;
  }

  // Summarises `table` by `dim` with n_measures copies of `measure` (SUM and AVG, decimals 1) and
  // checks each case's row, every joined row counted `weight` times.
  void Check(int table, int dim, int measure, int n_measures, int weight) {
    const std::vector<int> measures(static_cast<size_t>(n_measures), measure);
    const std::vector<int> masks(static_cast<size_t>(n_measures), 8 | 16);
    const std::vector<int> decimals(static_cast<size_t>(n_measures), 1);
    const int out =
        RQ7NonCubeSum(table, 1, 1, &dim, n_measures, measures.data(), masks.data(), decimals.data());
    ASSERT_GT(out, 0);
    made_.push_back(out);
    std::vector<int> ids(512);
    ASSERT_EQ(RQ7GetFilterIDList(out, ids.data()), 1 + 2 * n_measures);
    for (size_t c = 0; c < cases_.size(); ++c) {
      const Case& k = cases_[c];
      SCOPED_TRACE(k.what);
      const double sum = static_cast<double>(k.fraction * weight) / 10 + k.whole * weight;
      const double avg = sum / static_cast<double>(k.values.size() * static_cast<size_t>(weight));
      const int row = static_cast<int>(c) + 1;
      for (int m = 0; m < n_measures; ++m) {
        EXPECT_EQ(Cell(out, ids[static_cast<size_t>(1 + 2 * m)], row), sum) << "measure " << m;
        EXPECT_EQ(Cell(out, ids[static_cast<size_t>(2 + 2 * m)], row), avg) << "measure " << m;
      }
    }
    EXPECT_TRUE(DrainRing().empty());
  }

  int facts_ = 0, slave_ = 0, join_ = 0;
  std::vector<int> made_;
};

TEST_F(HugeRoundedSums, OnARealTable) { Check(facts_, 1, 2, 1, 1); }

TEST_F(HugeRoundedSums, OnAJoinWhoseMeasureSideIsSorted) {
  // Join columns: the master's grp and value (1, 2), the slave's grp and label (3, 4).
  for (const int n_measures : {1, 32}) {
    SCOPED_TRACE(n_measures);
    Check(join_, 1, 2, n_measures, 2);
  }
}

TEST_F(HugeRoundedSums, OnAJoinWhoseMeasureSideIsAggregatedPerKey) {
  for (const int n_measures : {1, 32}) {
    SCOPED_TRACE(n_measures);
    Check(join_, 4, 2, n_measures, 2);
  }
}

}  // namespace
