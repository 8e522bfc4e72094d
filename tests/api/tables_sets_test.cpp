// The table and set calls as a host sees them: creating, naming, describing and deleting tables, every
// set operation returning a set the host then reads, the bounded set copy, and the ring entries that
// failures of each frame kind leave.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::ReadSet;
using q7host::RingEntry;
using Rows = std::vector<int>;
using Ring = std::vector<RingEntry>;

static_assert(sizeof(_TTableInfo) == 276);
static_assert(offsetof(_TTableInfo, name) == 20);
static_assert(sizeof(_TSetDescript) == 16);
static_assert(offsetof(_TSetDescript, rows) == 8);

constexpr int kAnd = 0, kOr = 1, kAndNot = 2;

class TablesSetsApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    // Ten rows; "grp" repeats with period 3, "tag" with period 2.
    table_ = q7host::AddTable("people", 10);
    ASSERT_GT(table_, 0);
    grp_ = q7host::AddIntColumn(table_, "grp", {0, 1, 2, 0, 1, 2, 0, 1, 2, 0});
    tag_ = q7host::AddStringColumn(table_, "tag", {"a", "b", "a", "b", "a", "b", "a", "b", "a", "b"});
    ASSERT_GT(grp_, 0);
    ASSERT_GT(tag_, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  int AddSet(const Rows& rows) { return RQ7AddSetReal(table_, static_cast<int>(rows.size()), rows.data()); }

  int table_ = 0;
  int grp_ = 0;
  int tag_ = 0;
};

TEST_F(TablesSetsApi, TablesAreCreatedNamedDescribedAndDeleted) {
  const int second = RQ7AddRealTable("people", 3);
  ASSERT_GT(second, table_);
  const int third = Q7AddRealTable("other", 0);
  ASSERT_GT(third, second);
  EXPECT_EQ(RQ7GetNTable(), 3);
  int ids[3] = {};
  EXPECT_EQ(RQ7GetTableIDList(ids), 3);
  EXPECT_EQ(Rows(ids, ids + 3), (Rows{table_, second, third}));

  char name[256];
  ASSERT_EQ(RQ7GetTableName(second, name), 0);
  EXPECT_STREQ(name, "people_#1");
  ASSERT_EQ(RQ7SetTableName(third, "people"), 0);
  ASSERT_EQ(Q7GetTableName(third, name), 0);
  EXPECT_STREQ(name, "people_#2");

  _TTableInfo info;
  ASSERT_EQ(RQ7GetTableProperty(table_, &info), 0);
  EXPECT_EQ(info.tableID, table_);
  EXPECT_EQ(info.kind, 0);
  EXPECT_EQ(info.nFilter, 2);
  EXPECT_EQ(info.nSet, 1);
  EXPECT_EQ(info.totalRecs, 10);
  EXPECT_STREQ(info.name, "people");

  EXPECT_EQ(RQ7DeleteTable(second), 0);
  EXPECT_EQ(Q7DeleteTable(third), 0);
  EXPECT_EQ(RQ7GetNTable(), 1);
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(TablesSetsApi, GeneratedNamesAreCopiedOnlyOnSuccess) {
  char name[256] = "untouched";
  ASSERT_EQ(RQ7GenTableName("people", name), 0);
  EXPECT_STREQ(name, "people_#1");
  char* engine_name = nullptr;
  ASSERT_EQ(Q7GenTableName("fresh", &engine_name), 0);
  ASSERT_NE(engine_name, nullptr);
  EXPECT_STREQ(engine_name, "fresh");

  // An empty seed is refused; the host's buffer keeps its text.
  strcpy(name, "untouched");
  EXPECT_EQ(RQ7GenTableName("", name), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_STREQ(name, "untouched");
  DrainRing();
}

// These calls hand their result only through the out-argument: without one, a success would tell
// the host nothing, so a null one is refused before anything runs.
TEST_F(TablesSetsApi, NullOutputsOfNameAndEditCallsAreRefused) {
  struct Case {
    const char* ring;
    std::function<int()> call;
    const char* message;
  };
  const Case cases[] = {
      {"RQ7GenTableName", [] { return RQ7GenTableName("people", nullptr); }, "Invalid Parameter : TableName"},
      {"Q7GenTableName", [] { return Q7GenTableName("people", nullptr); }, "Invalid Parameter : TableName"},
      {"Q7TableCanEdit", [&] { return Q7TableCanEdit(table_, nullptr); }, "Invalid Parameter : IDList"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    EXPECT_EQ(c.call(), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DrainRing(), (Ring{{c.ring, Q7_ERROR_INVALID_PARAMETER, c.message}}));
  }
  int* referrers = nullptr;
  EXPECT_EQ(Q7TableCanEdit(table_, &referrers), 0);
  EXPECT_NE(referrers, nullptr);
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(TablesSetsApi, EverySetOperationReturnsASetTheHostReads) {
  const int picked = AddSet({7, 2, 9, 2, 4});
  ASSERT_GT(picked, 1);
  EXPECT_EQ(ReadSet(table_, picked), (Rows{7, 2, 9, 4}));
  EXPECT_EQ(RQ7GetCurrentSetID(table_), picked);

  const int rest = RQ7SetNotReal(table_, picked);
  ASSERT_GT(rest, picked);
  EXPECT_EQ(ReadSet(table_, rest), (Rows{1, 3, 5, 6, 8, 10}));

  const int low = AddSet({1, 2, 3, 4});
  struct OpCase {
    int op;
    int a;
    Rows want;
  };
  const OpCase kOps[] = {
      {kAnd, picked, {2, 4}},
      {kOr, picked, {1, 2, 3, 4, 7, 9}},
      {kAndNot, picked, {7, 9}},
      {kAndNot, rest, {5, 6, 8, 10}},
  };
  for (const OpCase& c : kOps) {
    SCOPED_TRACE(c.op);
    const int made = RQ7SetOpeReal(table_, c.op, c.a, low);
    ASSERT_GT(made, 0);
    EXPECT_EQ(RQ7GetCurrentSetID(table_), made);
    EXPECT_EQ(ReadSet(table_, made), c.want);
    EXPECT_EQ(RQ7GetSetSize(table_, made), static_cast<int>(c.want.size()));
  }
  const int mirror = Q7SetOpeReal(table_, kAnd, picked, rest);
  EXPECT_EQ(ReadSet(table_, mirror), Rows{});

  // One row of each (grp, tag) pair, first in the set; ordered by the last listed filter, then the
  // one before it, unless the set's order is kept.
  const int filters[] = {tag_, grp_, 0};
  const int unique_sorted = RQ7ExtractUniqueReal(0, table_, 1, filters, 0);
  EXPECT_EQ(ReadSet(table_, unique_sorted), (Rows{1, 4, 5, 2, 3, 6}));
  const int reversed = AddSet({10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
  const int unique_kept = Q7ExtractUniqueReal(0, table_, reversed, filters, 1);
  EXPECT_EQ(ReadSet(table_, unique_kept), (Rows{10, 9, 8, 7, 6, 5}));
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(TablesSetsApi, SetsAreListedMadeCurrentDeletedAndPurged) {
  const int a = AddSet({1});
  const int b = Q7AddSetReal(table_, 2, Rows{3, 4}.data());
  const int c = AddSet({});
  EXPECT_EQ(ReadSet(table_, c), Rows{});
  EXPECT_EQ(RQ7GetNSet(table_), 4);
  EXPECT_EQ(Q7GetNSet(table_), 4);
  EXPECT_EQ(RQ7GetTotalRows(table_), 10);

  int ids[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(RQ7GetSetList(table_, 2, ids), 4);
  EXPECT_EQ(Rows(ids, ids + 3), (Rows{1, a, 0}));
  EXPECT_EQ(RQ7GetSetIDList(table_, 8, ids), 4);
  EXPECT_EQ(Rows(ids, ids + 4), (Rows{1, a, b, c}));

  EXPECT_EQ(RQ7ChangeCurrentSetID(table_, a), 0);
  EXPECT_EQ(Q7GetCurrentSetID(table_), a);
  EXPECT_EQ(ReadSet(table_, -1), Rows{1});
  EXPECT_EQ(RQ7DeleteSet(table_, b), 0);
  EXPECT_EQ(RQ7GetNSet(table_), 3);
  EXPECT_EQ(RQ7PurgeSubsets(table_), 0);
  EXPECT_EQ(RQ7GetNSet(table_), 1);
  EXPECT_EQ(RQ7GetCurrentSetID(table_), 1);
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(TablesSetsApi, GetSetCopiesAtMostTheCapacity) {
  int count = -1;
  int buffer[12];
  memset(buffer, 0x7f, sizeof buffer);
  const int untouched = buffer[0];

  EXPECT_EQ(RQ7GetSet(table_, 1, &count, 0, buffer), 10);
  EXPECT_EQ(count, 10);
  EXPECT_EQ(buffer[0], untouched);

  EXPECT_EQ(RQ7GetSet(table_, 1, &count, 3, buffer), 10);
  EXPECT_EQ(Rows(buffer, buffer + 4), (Rows{1, 2, 3, untouched}));

  EXPECT_EQ(RQ7GetSet(table_, 1, &count, 12, buffer), 10);
  EXPECT_EQ(Rows(buffer, buffer + 11), (Rows{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, untouched}));

  int* engine_rows = nullptr;
  EXPECT_EQ(Q7GetSet(table_, 1, &engine_rows), 10);
  ASSERT_NE(engine_rows, nullptr);
  EXPECT_EQ(Rows(engine_rows, engine_rows + 10), Rows(buffer, buffer + 10));
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(TablesSetsApi, GetSetRefusalsRecordUnderItsOwnName) {
  struct Case {
    const char* what;
    int table_offset;
    int set;
    int capacity;
    bool null_rows;
    int code;
    Ring ring;
  };
  const int missing = table_ + 50;
  const Case kCases[] = {
      {"negative capacity",
       0,
       1,
       -1,
       false,
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetSet", Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size: -1"}}},
      {"null buffer",
       0,
       1,
       4,
       true,
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetSet", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Buffer"}}},
      {"no table",
       50,
       1,
       4,
       false,
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + std::to_string(missing)},
        {"RQ7GetSet", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + std::to_string(missing) + " "}}},
      {"no set",
       0,
       99,
       4,
       false,
       Q7_ERROR_NO_SUCH_SET,
       {{"RQ7GetSet", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 99 "}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    int count = 77;
    int buffer[4] = {-5, -5, -5, -5};
    EXPECT_EQ(RQ7GetSet(table_ + c.table_offset, c.set, &count, c.capacity, c.null_rows ? nullptr : buffer),
              c.code);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(buffer[0], -5);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  // A mirror failure leaves the operation's entry only.
  int sentinel = 0;
  int* rows = &sentinel;
  EXPECT_EQ(Q7GetSet(table_, 99, &rows), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(rows, nullptr);
  EXPECT_EQ(DrainRing(), (Ring{{"Q7GetSet", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 99 "}}));
}

// A full frame with result check adds an entry with an empty message after the operation's own; the
// plain mirror and the light frame leave the operation's entries only.
TEST_F(TablesSetsApi, ResultCheckedFramesRecordANegativeResultOnceMore) {
  const Ring op_entries = {{"Q7ChangeCurrentSetID", Q7_ERROR_ILLEGAL_SET_ID, "No Such Set: 99 "},
                           {"Q7ChangeCurrentSetID", Q7_ERROR_ILLEGAL_SET_ID, "return of inner call"}};
  EXPECT_EQ(Q7ChangeCurrentSetID(table_, 99), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing(), op_entries);

  EXPECT_EQ(RQ7ChangeCurrentSetID(table_, 99), Q7_ERROR_ILLEGAL_SET_ID);
  Ring with_frame = op_entries;
  with_frame.push_back({"RQ7ChangeCurrentSetID", Q7_ERROR_ILLEGAL_SET_ID, ""});
  EXPECT_EQ(DrainRing(), with_frame);

  const int bad_row[] = {11};
  EXPECT_EQ(RQ7AddSetReal(table_, 1, bad_row), Q7_ERROR_INVALID_ROW_POSITION);
  EXPECT_EQ(DrainRing(),
            (Ring{{"Q7AddSetReal", Q7_ERROR_INVALID_ROW_POSITION, "Invalid Parameter : PSetArray"},
                  {"RQ7AddSetReal", Q7_ERROR_INVALID_ROW_POSITION, ""}}));
  EXPECT_EQ(RQ7GetNSet(table_), 1);

  const std::string missing = std::to_string(table_ + 1);
  EXPECT_EQ(RQ7GetCurrentSetID(table_ + 1), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing(), (Ring{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + missing},
                               {"Q7GetCurrentSetID", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + missing}}));

  // A full frame passes a returned code on without an entry of its own.
  EXPECT_EQ(RQ7GetTableName(table_, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(),
            (Ring{{"Q7GetTableName", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : TableName"}}));
}

TEST_F(TablesSetsApi, JoinDescriptionsOfARealTableAreRefused) {
  char name[256] = "untouched";
  int v[8];
  int master_keys[32], slave_keys[32];
  const std::string id = std::to_string(table_);
  EXPECT_EQ(RQ7GetJoinInfo(table_, name, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), Q7_ERROR_NOT_JOIN_TABLE);
  const Ring light = DrainRing();
  ASSERT_EQ(light.size(), 1u);
  EXPECT_EQ(light[0].api, "Q7GetJoinInfo");

  EXPECT_EQ(RQ7GetJoinInfoEx(table_, name, &v[0], &v[1], &v[2], &v[3], master_keys, &v[4], &v[5], slave_keys),
            Q7_ERROR_NOT_JOIN_TABLE);
  EXPECT_EQ(DrainRing(), (Ring{{"Q7GetJoinInfoEx", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + id + " "},
                               {"RQ7GetJoinInfoEx", Q7_ERROR_NOT_JOIN_TABLE, ""}}));
  EXPECT_STREQ(name, "untouched");
}

TEST_F(TablesSetsApi, CondenseDropsUnusedValuesAndKeepsTheRows) {
  _TRFilterInfo info;
  ASSERT_EQ(RQ7GetFilterInfo(table_, grp_, &info), 0);
  const int values_before = info.valueCount;
  int seven = 7;
  ASSERT_EQ(RQ7FillRealEx(table_, 1, grp_, 1, 10, &seven), 10);
  EXPECT_EQ(RQ7TableCanEdit(table_, nullptr), 0);
  ASSERT_EQ(RQ7CondenseRealTable(table_), 0);
  ASSERT_EQ(RQ7GetFilterInfo(table_, grp_, &info), 0);
  EXPECT_LT(info.valueCount, values_before);
  EXPECT_EQ(Q7CondenseRealTable(table_), 0);
  for (int row = 1; row <= 10; ++row) {
    int type = 0;
    int value = 0;
    ASSERT_EQ(RQ7GetData1(table_, grp_, 1, row, &type, &value), 4);
    EXPECT_EQ(value, 7);
  }
  EXPECT_EQ(DrainRing(), Ring{});
}

TEST_F(TablesSetsApi, HostRowListsCombineWithoutATable) {
  const int a_rows[] = {5, 1, 3};
  const int b_rows[] = {3, 4, 5};
  struct Case {
    int op;
    Rows want;
  };
  const Case kCases[] = {{kAnd, {3, 5}}, {kOr, {1, 3, 4, 5}}, {kAndNot, {1}}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.op);
    _TSetDescript result{};
    ASSERT_EQ(Q7SetOpe2(c.op, 5, {3, const_cast<int*>(a_rows)}, {3, const_cast<int*>(b_rows)}, &result),
              static_cast<int>(c.want.size()));
    EXPECT_EQ(Rows(result.rows, result.rows + result.count), c.want);
    EXPECT_EQ(Q7FreeMem(reinterpret_cast<void**>(&result.rows)), 0);
    EXPECT_EQ(result.rows, nullptr);
  }
  // A row outside the table: nothing handed out.
  _TSetDescript result{};
  EXPECT_EQ(Q7SetOpe2(kAnd, 4, {3, const_cast<int*>(a_rows)}, {3, const_cast<int*>(b_rows)}, &result),
            Q7_ERROR_INVALID_ROW_POSITION);
  EXPECT_EQ(result.count, -1);
  EXPECT_EQ(result.rows, nullptr);
  DrainRing();
}

TEST_F(TablesSetsApi, MaxJoinChainAcceptsItsRangeOnly) {
  EXPECT_EQ(RQ7SetMaxJoinChain(16), 0);
  EXPECT_EQ(Q7SetMaxJoinChain(510), 0);
  EXPECT_EQ(RQ7SetMaxJoinChain(15), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7SetMaxJoinChain(511), Q7_ERROR_INVALID_PARAMETER);
  // The refusal is recorded by the collection; the frame passes the returned code through.
  EXPECT_EQ(DrainRing(),
            (Ring{{"SetMaxJoinChain", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : MaxJoinChain(15)"},
                  {"SetMaxJoinChain", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : MaxJoinChain(511)"}}));
}

}  // namespace
