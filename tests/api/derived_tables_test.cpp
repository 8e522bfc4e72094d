// Derived tables as a host sees them: the exported duplicate, extract and combine calls, their
// default names, saved flag and ring entries, and the set-ID reset.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::RingEntry;
using Ring = std::vector<RingEntry>;
using Ints = std::vector<int>;

class DerivedApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    a_ = q7host::AddTable("a", 4);
    ASSERT_GT(a_, 0);
    a_qty_ = q7host::AddIntColumn(a_, "qty", {5, 6, 7, 8});
    a_city_ = q7host::AddStringColumn(a_, "city", {"Oslo", "Rome", "", "Oslo"});
    b_ = q7host::AddTable("b", 2);
    ASSERT_GT(b_, 0);
    b_qty_ = q7host::AddIntColumn(b_, "amount", {1, 2});
    ASSERT_GT(a_qty_, 0);
    ASSERT_GT(a_city_, 0);
    ASSERT_GT(b_qty_, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  // The integer values of a filter over a table's set 1.
  static Ints Column(int table, int filter) {
    Ints out;
    const int rows = RQ7GetTotalRows(table);
    for (int pos = 0; pos < rows; ++pos) out.push_back(RQ7GetDataIntR1(table, filter, 1, pos));
    return out;
  }
  static std::vector<std::string> Names(int table) {
    int ids[1024];
    std::vector<std::string> out;
    const int n = RQ7GetFilterIDList(table, ids);
    for (int i = 0; i < n; ++i) out.push_back(RQ7GetFilterNameR1(table, ids[i]));
    return out;
  }
  static std::string TableName(int table) {
    char name[256] = {};
    EXPECT_EQ(RQ7GetTableName(table, name), 0);
    return name;
  }

  int a_ = 0, a_qty_ = 0, a_city_ = 0;
  int b_ = 0, b_qty_ = 0;
};

TEST_F(DerivedApi, EveryFormMakesATableAndClearsTheSavedFlag) {
  const int set = RQ7AddSetReal(a_, 2, Ints{4, 1}.data());
  ASSERT_GT(set, 0);
  const int qty[] = {a_qty_, 0};
  const int pair_b[] = {b_qty_, 0};
  const int tables[] = {a_, b_, 0};
  const int sets[] = {set, 1};
  const int data[] = {a_qty_, b_qty_};
  struct Case {
    const char* what;
    std::function<int()> call;
    std::vector<std::string> names;
    Ints first_column;
  };
  const std::vector<Case> cases = {
      {"RQ7DuplicateRealTable",
       [&] { return RQ7DuplicateRealTable("dup", a_); },
       {"qty", "city"},
       {5, 6, 7, 8}},
      {"Q7DuplicateRealTable",
       [&] { return Q7DuplicateRealTable("dup", a_); },
       {"qty", "city"},
       {5, 6, 7, 8}},
      {"RQ7ExtractRealTable", [&] { return RQ7ExtractRealTable("ext", a_, set, qty); }, {"qty"}, {8, 5}},
      {"RQ7ExtractRealTable of every filter",
       [&] { return RQ7ExtractRealTable("ext", a_, set, nullptr); },
       {"qty", "city"},
       {8, 5}},
      {"Q7ExtractRealTableEx",
       [&] { return Q7ExtractRealTableEx("ext", a_, set, 1, 1, nullptr); },
       {"#TABLE_ID", "#REC_NO", "qty", "city"},
       {a_, a_}},
      {"RQ7ExtractRealTableEx with an empty list",
       [&] {
         const int none[] = {0, a_qty_};
         return RQ7ExtractRealTableEx("ext", a_, set, 0, 1, none);
       },
       {"#REC_NO"},
       {4, 1}},
      {"RQ7CombineRealTable",
       [&] { return RQ7CombineRealTable("c", a_, set, qty, b_, 1, pair_b); },
       {"qty"},
       {8, 5, 1, 2}},
      {"Q7CombineRealTableEx",
       [&] { return Q7CombineRealTableEx("c", 1, 1, a_, set, qty, b_, 1, pair_b, 0); },
       {"TableID", "RECNO", "qty"},
       {a_, a_, b_, b_}},
      {"RQ7CombineTableList",
       [&] { return RQ7CombineTableList("list", tables, sets, data, nullptr, nullptr, nullptr); },
       {"TableID", "RECNO", "DATA"},
       {a_, a_, b_, b_}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(RQ7SetSavedFlag(1), 1);
    const int id = c.call();
    ASSERT_GT(id, 0);
    EXPECT_EQ(RQ7GetSavedFlag(1), 0);
    EXPECT_EQ(Names(id), c.names);
    int ids[1024];
    ASSERT_GT(RQ7GetFilterIDList(id, ids), 0);
    EXPECT_EQ(Column(id, ids[0]), c.first_column);
    EXPECT_EQ(RQ7GetNSet(id), 1);
    EXPECT_EQ(DrainRing(), Ring{});
    ASSERT_EQ(RQ7DeleteTable(id), 0);
  }
}

TEST_F(DerivedApi, NamesAreCheckedAndDefaulted) {
  const std::string longest(255, 'n');
  const int id = RQ7DuplicateRealTable(longest.c_str(), a_);
  ASSERT_GT(id, 0);
  EXPECT_EQ(TableName(id), longest);

  // A taken name is made unique; none at all is generated.
  const int again = RQ7DuplicateRealTable("a", a_);
  ASSERT_GT(again, 0);
  EXPECT_EQ(TableName(again), "a_#1");
  const int unnamed = RQ7ExtractRealTable(nullptr, a_, 1, nullptr);
  ASSERT_GT(unnamed, 0);
  EXPECT_EQ(TableName(unnamed).rfind("realtbl", 0), 0u) << TableName(unnamed);

  const std::string too_long(256, 'n');
  const int n_tables = RQ7GetNTable();
  EXPECT_EQ(RQ7DuplicateRealTable(too_long.c_str(), a_), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(RQ7CombineTableList(too_long.c_str(), Ints{a_, 0}.data(), Ints{1}.data(), nullptr, nullptr,
                                nullptr, nullptr),
            Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(RQ7GetNTable(), n_tables);
  EXPECT_EQ(DrainRing(), (Ring{{"Q7DuplicateRealTable", Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename"},
                               {"Q7CombineTableList", Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename"},
                               {"Q7CombineTableList", Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename"}}));
}

TEST_F(DerivedApi, FailuresAddNoTableAndLeaveTheirEntries) {
  const int n_tables = RQ7GetNTable();
  const int city[] = {a_city_, 0};
  const int amount[] = {b_qty_, 0};
  using Case = q7host::RefusalCase;
  const std::vector<Case> cases = {
      {"duplicate of no table", [&] { return RQ7DuplicateRealTable("d", 99); }, Q7_ERROR_NO_SUCH_TABLE,
       Ring{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
            {"Q7DuplicateRealTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}},
      {"extract of no set", [&] { return RQ7ExtractRealTableEx("e", a_, 42, 0, 0, nullptr); },
       Q7_ERROR_NO_SUCH_SET,
       Ring{{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42"},
            {"GetSet", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42 "},
            {"Q7ExtractRealTableEx", Q7_ERROR_NO_SUCH_SET, ""}}},
      {"combine of a string with an integer",
       [&] { return RQ7CombineRealTable("c", a_, 1, city, b_, 1, amount); }, Q7_ERROR_FILTER_TYPE_MISMATCH,
       Ring{{"Q7CombineRealTable", Q7_ERROR_FILTER_TYPE_MISMATCH, ""}}},
      {"list with no table",
       [&] {
         return RQ7CombineTableList("l", Ints{a_, 99, 0}.data(), Ints{1, 1}.data(), nullptr, nullptr, nullptr,
                                    nullptr);
       },
       Q7_ERROR_NO_SUCH_TABLE,
       Ring{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
            {"CombineTableList", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "},
            {"Q7CombineTableList", Q7_ERROR_NO_SUCH_TABLE, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetNTable(), n_tables);
  }
  // No table ID was used up by the failures.
  EXPECT_EQ(RQ7AddRealTable("next", 0), b_ + 1);
}

// The Ex2 form is the consuming combine: the sources go once the new table has their columns.
TEST_F(DerivedApi, CombineEx2ConsumesItsSources) {
  const int qty[] = {a_qty_, 0};
  const int amount[] = {b_qty_, 0};
  const int id = RQ7CombineRealTableEx2("c", 0, 1, a_, 1, qty, b_, 1, amount);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Names(id), (std::vector<std::string>{"RECNO", "qty"}));
  int ids[4];
  ASSERT_EQ(RQ7GetFilterIDList(id, ids), 2);
  EXPECT_EQ(Column(id, ids[1]), (Ints{5, 6, 7, 8, 1, 2}));
  int tables[8];
  EXPECT_EQ(RQ7GetTableIDList(tables), 1);
  EXPECT_EQ(tables[0], id);
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(DerivedApi, ResetSetIDMovesTheNextSetIDSilently) {
  ASSERT_EQ(RQ7AddSetReal(a_, 1, Ints{2}.data()), 2);
  EXPECT_EQ(RQ7ResetSetID(a_, 2), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(RQ7ResetSetID(a_, 0), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing(), Ring{});
  EXPECT_EQ(RQ7ResetSetID(a_, 7), 0);
  EXPECT_EQ(RQ7AddSetReal(a_, 1, Ints{3}.data()), 7);
  EXPECT_EQ(RQ7ResetSetID(99, 10), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing(), (Ring{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}));
}

}  // namespace
