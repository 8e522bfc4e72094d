// A join set turned into a new real table as a host sees it: the rows and values of inner and outer
// joins through both exported forms, the generated name, what sharing the value lists does to the
// source tables, and the refusals with their codes and ring entries, which add no table.
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
using Ring = std::vector<RingEntry>;
using Rows = std::vector<std::vector<std::string>>;

using ConvertFn = int (*)(const char*, int, int, int, int, const int*, int);

class JoinRealizeApi : public ::testing::Test {
 protected:
  // master: k {1, 2, 2, 3, NULL}, name; slave: k {2, 1, 2, 9}, v. Master 2 and 3 have two partners,
  // master 4 and slave 4 none; the NULL key has no partner in either join.
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    master_ = q7host::AddTable("master", 5);
    slave_ = q7host::AddTable("slave", 4);
    ASSERT_GT(q7host::AddIntColumn(master_, "k", {1, 2, 2, 3, kIntNull}), 0);
    ASSERT_GT(q7host::AddStringColumn(master_, "name", {"a", "b", "c", "d", "e"}), 0);
    ASSERT_GT(q7host::AddIntColumn(slave_, "k", {2, 1, 2, 9}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(slave_, "v", {0.5, 1.5, 2.5, 3.5}), 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  int Join(int outer) {
    const int keys[] = {1, 0};
    return RQ7AddJoinTable("j", outer, master_, 1, keys, slave_, 1, keys);
  }

  // Every cell of set 1, row by row (rows count from 1).
  static Rows Cells(int table) {
    _TTableInfo info{};
    EXPECT_EQ(RQ7GetTableProperty(table, &info), 0);
    Rows rows;
    for (int r = 1; r <= info.totalRecs; ++r) {
      std::vector<std::string> row;
      for (int f = 1; f <= info.nFilter; ++f) row.push_back(CellText(table, f, r));
      rows.push_back(row);
    }
    return rows;
  }

  int master_ = 0, slave_ = 0;
};

TEST_F(JoinRealizeApi, NewTableHoldsEachJoinedRowWithItsRecordsAndValues) {
  // Columns: MRecNo, SRecNo, master name, slave v, master k.
  const Rows inner = {{"1", "2", "a", "1.5", "1"},
                      {"2", "1", "b", "0.5", "2"},
                      {"2", "3", "b", "2.5", "2"},
                      {"3", "1", "c", "0.5", "2"},
                      {"3", "3", "c", "2.5", "2"}};
  // The outer join adds the slave without partner first and the master without partner after.
  Rows outer = {{"0", "4", "", "3.5", "NULL"}};
  outer.insert(outer.end(), inner.begin(), inner.end());
  outer.push_back({"4", "0", "d", "NULL", "3"});
  const int columns[] = {2, 4, 1, 0};
  struct Road {
    const char* name;
    ConvertFn convert;
  };
  for (const Road& road : {Road{"RQ7", RQ7ConvertJoinToReal}, Road{"Q7", Q7ConvertJoinToReal}}) {
    for (int outer_join : {0, 1}) {
      for (int share : {0, 1}) {
        SCOPED_TRACE(testing::Message()
                     << road.name << (outer_join ? " outer" : " inner") << (share ? " shared" : " own"));
        const int join = Join(outer_join);
        ASSERT_GT(join, 0);
        const int real = road.convert("", join, -1, 1, 1, columns, share);
        ASSERT_GT(real, join);
        EXPECT_EQ(Cells(real), outer_join ? outer : inner);
        char name[256] = {};
        ASSERT_EQ(RQ7GetTableName(real, name), 0);
        EXPECT_EQ(std::string(name).rfind("createtbl", 0), 0u) << name;
        EXPECT_EQ(DrainRing(), Ring{});
        ASSERT_EQ(RQ7DeleteTable(real), 0);
        ASSERT_EQ(RQ7DeleteTable(join), 0);
        DrainRing();
      }
    }
  }
}

TEST_F(JoinRealizeApi, SharedValueListsKeepTheSourceTablesInUse) {
  const int columns[] = {2, 3, 0};
  // Shared first: the own-list case ends by deleting the master.
  for (int share : {1, 0}) {
    SCOPED_TRACE(share ? "shared" : "own");
    const int join = Join(0);
    ASSERT_GT(join, 0);
    const int real = RQ7ConvertJoinToReal("r", join, 1, 0, 0, columns, share);
    ASSERT_GT(real, join);
    ASSERT_EQ(RQ7DeleteTable(join), 0);
    DrainRing();
    // Without a join, only a table on one of their value lists keeps the sources from changing.
    const int rc = RQ7DeleteTable(master_);
    EXPECT_EQ(rc, share ? Q7_ERROR_NOT_EDITABLE : 0);
    EXPECT_EQ(Cells(real)[0], (std::vector<std::string>{"a", "1"}));
    ASSERT_EQ(RQ7DeleteTable(real), 0);
    DrainRing();
  }
}

TEST_F(JoinRealizeApi, RefusalsLeaveNoTable) {
  const int join = Join(0);
  ASSERT_GT(join, 0);
  const int ok_columns[] = {1, 0};
  const int bad_columns[] = {1, 99, 0};
  const std::string long_name(300, 'x');
  const char kRing[] = "Q7ConvertJoinToReal";
  using Case = q7host::RefusalCase;
  const std::vector<Case> cases = {
      {"no table",
       [&] { return RQ7ConvertJoinToReal("r", 9999, 1, 1, 0, ok_columns, 0); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999"},
        {"AddRealized", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9999 "},
        {kRing, Q7_ERROR_NO_SUCH_TABLE, "Failed to realize jointable ( AddRealized module )"}}},
      {"a real table",
       [&] { return RQ7ConvertJoinToReal("r", master_, 1, 1, 0, ok_columns, 0); },
       Q7_ERROR_NOT_JOIN_TYPE,
       {{"AddRealized", Q7_ERROR_NOT_JOIN_TYPE, "Illegal table type ( Not JOIN )"},
        {kRing, Q7_ERROR_NOT_JOIN_TYPE, "Failed to realize jointable ( AddRealized module )"}}},
      {"no set",
       [&] { return Q7ConvertJoinToReal("r", join, 77, 1, 0, ok_columns, 0); },
       Q7_ERROR_NO_SUCH_SET,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 77"}, {kRing, Q7_ERROR_NO_SUCH_SET, ""}}},
      {"no column",
       [&] { return RQ7ConvertJoinToReal("r", join, 1, 1, 0, bad_columns, 0); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{"JFilterID2Pos", Q7_ERROR_ILLEGAL_FILTER, "No Such Filter: 99"},
        {kRing, Q7_ERROR_NO_SUCH_FILTER, ""}}},
      {"a name above 255 bytes",
       [&] { return RQ7ConvertJoinToReal(long_name.c_str(), join, 1, 1, 0, ok_columns, 0); },
       Q7_ERROR_ILLEGAL_TABLE_NAME,
       {{kRing, Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int tables = RQ7GetNTable();
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetNTable(), tables);
  }
}

}  // namespace
