// Join block access and the row callbacks as a host sees them: the handle table, block reads of a
// join, the three walks over inner and outer joins and real tables, and the refusals with their
// codes and ring entries, which leave every handle free and no set behind.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RingEntry;
using Ring = std::vector<RingEntry>;
using Ints = std::vector<int>;

int IntAt(const void* p) {
  int32_t v = 0;
  memcpy(&v, p, sizeof v);
  return v;
}

// Master M (key, name) and slave S (key, val): master 2 has three partners (slaves 1-3), master 3
// one (slave 4); master 1 and slave 5 have none. Join columns: 1 M.key, 2 M.name, 3 S.key, 4 S.val.
class JbaApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    master_ = q7host::AddTable("M", 3);
    ASSERT_EQ(q7host::AddIntColumn(master_, "key", {1, 2, 3}), 1);
    ASSERT_EQ(q7host::AddStringColumn(master_, "name", {"a", "b", "c"}), 2);
    slave_ = q7host::AddTable("S", 5);
    ASSERT_EQ(q7host::AddIntColumn(slave_, "key", {2, 2, 2, 3, 9}), 1);
    ASSERT_EQ(q7host::AddIntColumn(slave_, "val", {10, 20, 30, 40, 50}), 2);
    DrainRing();
  }
  void TearDown() override {
    for (int h = 0; h < 8; ++h) Q7JBAClose(h);
    RQ7ClearDB();
  }
  int Join(int outer) {
    const int keys[] = {1, 0};
    const int id = RQ7AddJoinTable("J", outer, master_, -1, keys, slave_, -1, keys);
    EXPECT_GT(id, 0);
    return id;
  }
  static Ints Statuses() {
    Ints out;
    for (int h = 0; h < 8; ++h) {
      int status = -1;
      out.push_back(Q7JBAStatus(h, &status) * 100 + status);
    }
    return out;
  }

  int master_ = 0;
  int slave_ = 0;
};

struct Block {
  int result = 0, number = 0, first = 0, last = 0, driving = 0, count = 0, n_columns = 0;
  int* partners = nullptr;
  _TColumnBuf* columns = nullptr;
};

Block Read(int handle) {
  Block b;
  b.result = Q7JBARead(handle, &b.number, &b.first, &b.last, &b.driving, &b.count, &b.partners, &b.n_columns,
                       &b.columns);
  return b;
}

TEST_F(JbaApi, AHandleReadsAJoinBlockByBlockUntilClosed) {
  const int join = Join(0);
  EXPECT_EQ(Q7GetN_JBA(), 8);
  int status = -1;
  EXPECT_EQ(Q7JBAStatus(8, &status), -1);
  EXPECT_EQ(Q7JBAStatus(-1, &status), -1);
  EXPECT_EQ(Q7JBAStatus(3, &status), 0);
  EXPECT_EQ(status, 0);

  ASSERT_EQ(Q7JBAOpen(3, join, 1), 0);
  EXPECT_EQ(Q7JBAStatus(3, &status), 1);
  EXPECT_EQ(status, 1);

  const Block b1 = Read(3);
  EXPECT_EQ(b1.result, 1);
  EXPECT_EQ(b1.number, 1);
  EXPECT_EQ(b1.first, 1);
  EXPECT_EQ(b1.last, 3);
  EXPECT_EQ(b1.driving, 2);
  ASSERT_EQ(b1.count, 3);
  EXPECT_EQ(Ints(b1.partners, b1.partners + 3), (Ints{1, 2, 3}));
  ASSERT_EQ(b1.n_columns, 4);
  const int direct[] = {1, 1, 0, 0};
  const int types[] = {Q7_TYPE_INTEGER, Q7_TYPE_STRING, Q7_TYPE_INTEGER, Q7_TYPE_INTEGER};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(b1.columns[c].columnID, c + 1);
    EXPECT_EQ(b1.columns[c].direct, direct[c]);
    EXPECT_EQ(b1.columns[c].dataType, types[c]);
    EXPECT_EQ(b1.columns[c].count, direct[c] ? 1 : 3);
  }
  EXPECT_EQ(IntAt(b1.columns[0].data[0]), 2);
  EXPECT_STREQ(static_cast<const char*>(b1.columns[1].data[0]), "b");
  EXPECT_EQ(IntAt(b1.columns[3].data[0]), 10);
  EXPECT_EQ(IntAt(b1.columns[3].data[1]), 20);
  EXPECT_EQ(IntAt(b1.columns[3].data[2]), 30);

  const Block b2 = Read(3);
  EXPECT_EQ(b2.result, 0);
  EXPECT_EQ(b2.first, 4);
  EXPECT_EQ(b2.last, 4);
  EXPECT_EQ(b2.driving, 3);
  ASSERT_EQ(b2.count, 1);
  EXPECT_EQ(b2.partners[0], 4);
  EXPECT_EQ(b2.columns[3].count, 1);
  EXPECT_EQ(IntAt(b2.columns[3].data[0]), 40);
  EXPECT_EQ(Q7JBAStatus(3, &status), 1);
  EXPECT_EQ(status, 3);

  // A busy handle keeps its reader.
  EXPECT_EQ(Q7JBAOpen(3, master_, 1), -10);
  EXPECT_EQ(Q7JBAStatus(3, &status), 1);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(DrainRing(), Ring{});

  EXPECT_EQ(Read(3).result, -1);
  EXPECT_EQ(DrainRing(), (Ring{{"ReadBlock", Q7_ERROR_NO_SUCH_SET, "Invalid Parameter : BlockNo"}}));
  EXPECT_EQ(Q7JBAClose(3), 0);
  EXPECT_EQ(Q7JBAStatus(3, &status), 0);
  EXPECT_EQ(Q7JBAClose(3), 0);
}

TEST_F(JbaApi, ADecimalColumnIsCarriedWithItsTypeAndNullEntries) {
  ASSERT_EQ(q7host::AddDecimalColumn(slave_, "amount",
                                     {q7host::Decimal(150), q7host::Decimal(250), q7host::Decimal(350),
                                      q7host::Decimal(450), q7host::Decimal(550)},
                                     2),
            3);
  const int join = Join(0);
  const int columns[] = {5, 4, 0};  // slave amount, slave val
  ASSERT_EQ(Q7JBAOpen2(0, join, 1, columns), 0);
  for (int b = 0; b < 2; ++b) {
    const Block blk = Read(0);
    ASSERT_GE(blk.result, 0);
    ASSERT_EQ(blk.n_columns, 2);
    EXPECT_EQ(blk.columns[0].dataType, Q7_TYPE_DECIMAL);
    EXPECT_EQ(blk.columns[0].columnID, 5);
    ASSERT_EQ(blk.columns[0].count, blk.count);
    for (int k = 0; k < blk.count; ++k) EXPECT_EQ(blk.columns[0].data[k], nullptr);
  }
}

TEST_F(JbaApi, ARestartFreesEveryHandle) {
  const int join = Join(1);
  ASSERT_EQ(Q7JBAOpen(1, join, 1), 0);
  ASSERT_EQ(Q7JBAOpen(7, master_, 1), 0);
  ASSERT_EQ(Read(1).result, 1);
  ASSERT_EQ(RQ7ReInitializeMS(), 0);
  EXPECT_EQ(Statuses(), Ints(8, 0));
}

// Readers point into the tables they read: dropping the database or deleting the table frees
// their handles instead of leaving them to read freed columns.
TEST_F(JbaApi, DroppingTheDatabaseOrTheTableFreesItsHandles) {
  const int join = Join(0);
  ASSERT_EQ(Q7JBAOpen(0, join, 1), 0);
  ASSERT_EQ(Q7JBAOpen(1, slave_, 1), 0);
  ASSERT_EQ(RQ7DeleteTable(join), 0);
  Ints expected(8, 0);
  expected[1] = 101;  // the slave's reader stays, its status word still 1
  EXPECT_EQ(Statuses(), expected);
  ASSERT_EQ(RQ7ClearDB(), 0);
  EXPECT_EQ(Statuses(), Ints(8, 0));
}

// ---- Refusals ----

int NullRowCallback(int, int, int, int, int, int, int, _TColumnBuf*) { return 0; }
int NullUniqueCallback(int, int, int, _TColumnBuf*) { return 0; }

TEST_F(JbaApi, RefusalsAreCodedRecordedAndLeaveHandlesAndSetsAsTheyWere) {
  const int join = Join(0);
  const int empty = RQ7AddSetReal(master_, 0, nullptr);
  ASSERT_GT(empty, 0);
  ASSERT_EQ(RQ7ChangeCurrentSetID(master_, 1), 0);
  DrainRing();
  const int cols[] = {1, 0};
  const int bad_cols[] = {1, 9, 0};
  int out = 0;
  int* rows = nullptr;
  _TColumnBuf* bufs = nullptr;
  const std::vector<q7host::RefusalCase> cases = {
      {"open a handle past 7", [&] { return Q7JBAOpen(8, master_, 1); }, -11, {}},
      {"open a negative handle", [&] { return Q7JBAOpen2(-1, master_, 1, cols); }, -11, {}},
      {"open a missing table",
       [&] { return Q7JBAOpen(0, 99, 1); },
       -9,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {"Q7GetSetSize", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}}},
      {"open an empty set", [&] { return Q7JBAOpen(0, master_, empty); }, -9, {}},
      {"open set -2",
       [&] { return Q7JBAOpen(0, master_, -2); },
       Q7_ERROR_ILLEGAL_SET_ID,
       {{"Q7JBAOpen", Q7_ERROR_ILLEGAL_SET_ID, "Illegal SetID: -2"}}},
      {"open an unknown filter",
       [&] { return Q7JBAOpen2(0, master_, 1, bad_cols); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{"GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 9"},
        {"Q7JBAOpen", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 9"}}},
      {"read a handle past 7",
       [&] { return Q7JBARead(8, &out, &out, &out, &out, &out, &rows, &out, &bufs); },
       -1,
       {{"Q7JBARead", -1, "Invalid Parameter : JBAHandle"}}},
      {"read a free handle",
       [&] { return Q7JBARead(2, &out, &out, &out, &out, &out, &rows, &out, &bufs); },
       -1,
       {{"Q7JBARead", -1, "Invalid Parameter : JBAHandle"}}},
      {"close a handle past 7",
       [&] { return Q7JBAClose(8); },
       -1,
       {{"Q7JBAClose", -1, "Invalid Parameter : JBAHandle"}}},
      {"row info: no table",
       [&] { return Q7RowInfoCallBack(0, 99, 1, cols, NullRowCallback); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"Q7RowInfoCallBack", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}}},
      {"row info: no set",
       [&] { return Q7RowInfoCallBack(0, master_, 77, cols, NullRowCallback); },
       -1,
       {{"Q7RowInfoCallBack", -1, "No Such Set: 77 "}}},
      {"row info: a handle past 7",
       [&] { return Q7RowInfoCallBack(8, master_, 1, cols, NullRowCallback); },
       -11,
       {}},
      {"row info: no callback",
       [&] { return Q7RowInfoCallBack(0, master_, 1, cols, nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7RowInfoCallBack", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : CallBack"}}},
      {"search: a join",
       [&] { return Q7SearchCallBack(0, join, 1, cols, NullRowCallback); },
       -1,
       {{"Q7SearchCallBack", 0, "Join Table not allowed!:"}}},
      {"search: no table",
       [&] { return Q7SearchCallBack(0, 99, 1, cols, NullRowCallback); },
       -1,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {"Q7GetTableProperty", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "},
        {"Q7SearchCallBack", -1, "No Such Table: 99 "}}},
      {"search: an empty set",
       [&] { return Q7SearchCallBack(0, master_, empty, cols, NullRowCallback); },
       -1,
       {{"Q7SearchCallBack", 0, "GetSetSize failed!:"}}},
      {"search: an unknown filter",
       [&] { return Q7SearchCallBack(0, master_, 1, bad_cols, NullRowCallback); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{"GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 9"},
        {"Q7JBAOpen", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 9"}}},
      {"unique: no columns",
       [&] { return Q7UniqueRowCallBack(0, master_, 1, bad_cols + 2, NullUniqueCallback); },
       -1,
       {}},
      {"unique: no table",
       [&] { return Q7UniqueRowCallBack(0, 99, 1, cols, NullUniqueCallback); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"Q7UniqueRowCallBack", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}}},
      {"unique: an empty set",
       [&] { return Q7UniqueRowCallBack(0, master_, empty, cols, NullUniqueCallback); },
       -1,
       {}},
      {"unique: a handle past 7",
       [&] { return Q7UniqueRowCallBack(9, master_, 1, cols, NullUniqueCallback); },
       -11,
       {}},
      {"unique: an unknown filter",
       [&] { return Q7UniqueRowCallBack(0, master_, 1, bad_cols, NullUniqueCallback); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {}},
  };
  const int sets_before = RQ7GetNSet(master_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    Ring ring = DrainRing();
    // The sort's own entries are not pinned: only that nothing of this layer is recorded.
    if (c.code == Q7_ERROR_SET_COUNT_OVERFLOW) ring.clear();
    EXPECT_EQ(ring, c.ring);
    EXPECT_EQ(Statuses(), Ints(8, 0));
    EXPECT_EQ(RQ7GetNSet(master_), sets_before);
    EXPECT_EQ(RQ7GetCurrentSetID(master_), 1);
  }

  // A busy handle is refused by every walk and keeps its reader.
  ASSERT_EQ(Q7JBAOpen(4, master_, 1), 0);
  EXPECT_EQ(Q7RowInfoCallBack(4, master_, 1, cols, NullRowCallback), -10);
  EXPECT_EQ(Q7SearchCallBack(4, master_, 1, cols, NullRowCallback), -10);
  EXPECT_EQ(Q7UniqueRowCallBack(4, master_, 1, cols, NullUniqueCallback), -10);
  EXPECT_EQ(RQ7GetNSet(master_), sets_before);
  int status = 0;
  EXPECT_EQ(Q7JBAStatus(4, &status), 1);
  EXPECT_EQ(status, 1);
  // A null output refuses the read and does not use up a block.
  EXPECT_EQ(Q7JBARead(4, &out, &out, nullptr, &out, &out, &rows, &out, &bufs), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), (Ring{{"Q7JBARead", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : LastRow"}}));
  EXPECT_EQ(Q7JBAStatus(4, &status), 1);
  EXPECT_EQ(status, 1);
}

// ---- Row walks ----

// What the row callbacks saw: (more, handle, block, joined row, driving, partner, columns, M.name,
// S.val) per call; answers[i] is returned to call i (0 past the list).
struct RowCall {
  int more, handle, block, row, driving, partner, n_columns;
  std::string name;
  int val;
  bool operator==(const RowCall& o) const {
    return more == o.more && handle == o.handle && block == o.block && row == o.row && driving == o.driving &&
           partner == o.partner && n_columns == o.n_columns && name == o.name && val == o.val;
  }
};
std::ostream& operator<<(std::ostream& out, const RowCall& c) {
  return out << "{" << c.more << "," << c.handle << "," << c.block << "," << c.row << "," << c.driving << ","
             << c.partner << "," << c.n_columns << ",\"" << c.name << "\"," << c.val << "}";
}
std::vector<RowCall> g_row_calls;
Ints g_answers;

// Columns 2 (M.name) and 4 (S.val) of a join, or one INTEGER column of a real table (val).
int RecordRow(int more, int handle, int block, int row, int driving, int partner, int n_columns,
              _TColumnBuf* columns) {
  RowCall call{more, handle, block, row, driving, partner, n_columns, "", 0};
  if (n_columns == 2) {
    call.name = static_cast<const char*>(columns[0].data[0]);
    call.val = IntAt(columns[1].data[0]);
  } else {
    call.val = IntAt(columns[0].data[0]);
  }
  const size_t i = g_row_calls.size();
  g_row_calls.push_back(call);
  return i < g_answers.size() ? g_answers[i] : 0;
}

TEST_F(JbaApi, RowInfoCallsOncePerJoinedRowWithThatRowsValues) {
  const int cols[] = {2, 4, 0};
  const int n = kIntNull;
  const struct {
    int outer;
    std::vector<RowCall> want;
  } cases[] = {
      {0,
       {{1, 5, 1, 1, 2, 1, 2, "b", 10},
        {1, 5, 1, 2, 2, 2, 2, "b", 20},
        {1, 5, 1, 3, 2, 3, 2, "b", 30},
        {0, 5, 2, 4, 3, 4, 2, "c", 40}}},
      // The slave without partner comes first, under the pseudo driving record 0; the master
      // without partner reads the slave's NULLs.
      {1,
       {{1, 5, 1, 1, 0, 5, 2, "", 50},
        {1, 5, 2, 2, 1, 0, 2, "a", n},
        {1, 5, 3, 3, 2, 1, 2, "b", 10},
        {1, 5, 3, 4, 2, 2, 2, "b", 20},
        {1, 5, 3, 5, 2, 3, 2, "b", 30},
        {0, 5, 4, 6, 3, 4, 2, "c", 40}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outer ? "outer" : "inner");
    const int join = Join(c.outer);
    g_row_calls.clear();
    g_answers.clear();
    EXPECT_EQ(Q7RowInfoCallBack(5, join, 1, cols, RecordRow), 0);
    EXPECT_EQ(g_row_calls, c.want);
    EXPECT_EQ(Statuses(), Ints(8, 0));

    // -1 at the first row stops the walk.
    g_row_calls.clear();
    g_answers = {-1};
    EXPECT_EQ(Q7RowInfoCallBack(5, join, 1, cols, RecordRow), 1);
    EXPECT_EQ(g_row_calls.size(), 1u);
    EXPECT_EQ(Statuses(), Ints(8, 0));
    EXPECT_EQ(DrainRing(), Ring{});
    ASSERT_EQ(RQ7DeleteTable(join), 0);
    DrainRing();
  }
}

TEST_F(JbaApi, SearchMakesTheAcceptedRowsTheNewCurrentSet) {
  const int val[] = {2, 0};
  const int set = RQ7AddSetReal(slave_, 4, Ints{5, 2, 4, 1}.data());
  ASSERT_GT(set, 0);
  g_row_calls.clear();
  g_answers = {0, 1, 7, 1};  // answers other than 1 and -1 skip the row
  EXPECT_EQ(Q7SearchCallBack(6, slave_, set, val, RecordRow), 0);
  ASSERT_EQ(g_row_calls.size(), 4u);
  EXPECT_EQ(g_row_calls[3], (RowCall{0, 6, 4, 4, 1, 1, 1, "", 10}));
  const int found = RQ7GetCurrentSetID(slave_);
  EXPECT_GT(found, set);
  EXPECT_EQ(q7host::ReadSet(slave_, found), (Ints{2, 1}));
  EXPECT_EQ(Statuses(), Ints(8, 0));

  // A stop makes no set.
  const int sets = RQ7GetNSet(slave_);
  g_row_calls.clear();
  g_answers = {1, -1};
  EXPECT_EQ(Q7SearchCallBack(6, slave_, -1, val, RecordRow), 1);
  EXPECT_EQ(g_row_calls.size(), 2u);
  EXPECT_EQ(RQ7GetNSet(slave_), sets);
  EXPECT_EQ(RQ7GetCurrentSetID(slave_), found);
  EXPECT_EQ(Statuses(), Ints(8, 0));
  EXPECT_EQ(DrainRing(), Ring{});
}

// What the unique callback saw: (more, count, the run's values as text).
struct UniqueCall {
  int more, count;
  std::string values;
  bool operator==(const UniqueCall& o) const {
    return more == o.more && count == o.count && values == o.values;
  }
};
std::ostream& operator<<(std::ostream& out, const UniqueCall& c) {
  return out << "{" << c.more << "," << c.count << ",\"" << c.values << "\"}";
}
std::vector<UniqueCall> g_unique_calls;
int g_unique_answer = 0;

int RecordRun(int more, int count, int n_columns, _TColumnBuf* columns) {
  std::string values;
  for (int c = 0; c < n_columns; ++c) {
    if (c > 0) values += ",";
    const _TColumnBuf& col = columns[c];
    if (col.dataType == Q7_TYPE_STRING) {
      values += static_cast<const char*>(col.data[0]);
    } else if (col.dataType == Q7_TYPE_INTEGER) {
      values += std::to_string(IntAt(col.data[0]));
    } else {
      values += col.data[0] == nullptr ? "null" : "set";
    }
  }
  g_unique_calls.push_back({more, count, values});
  return g_unique_answer;
}

TEST_F(JbaApi, UniqueRowsCallOncePerRunOfEqualValuesInColumnOrder) {
  const int t = q7host::AddTable("U", 5);
  ASSERT_EQ(q7host::AddStringColumn(t, "s", {"B", "A", "A", "B", "A"}), 1);
  ASSERT_EQ(q7host::AddIntColumn(t, "i", {2, 1, 1, 2, 3}), 2);
  ASSERT_EQ(q7host::AddDecimalColumn(t, "d",
                                     {q7host::Decimal(200), q7host::Decimal(150), q7host::Decimal(150),
                                      q7host::Decimal(250), q7host::Decimal(200)},
                                     2),
            3);
  const int three = RQ7AddSetReal(t, 3, Ints{1, 2, 3}.data());  // (B,2) (A,1) (A,1)
  ASSERT_GT(three, 0);
  const struct {
    const char* what;
    int set;
    Ints columns;
    std::vector<UniqueCall> want;
  } cases[] = {
      {"two columns", three, {1, 2, 0}, {{1, 2, "A,1"}, {0, 1, "B,2"}}},
      {"the second column first", 1, {2, 1, 0}, {{1, 2, "1,A"}, {1, 2, "2,B"}, {0, 1, "3,A"}}},
      // Decimal entries are null, yet runs still follow the values.
      {"a decimal column", 1, {3, 0}, {{1, 2, "null"}, {1, 2, "null"}, {0, 1, "null"}}},
      {"one row", RQ7AddSetReal(t, 1, Ints{4}.data()), {1, 0}, {{0, 1, "B"}}},
  };
  ASSERT_EQ(RQ7ChangeCurrentSetID(t, three), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int sets = RQ7GetNSet(t);
    g_unique_calls.clear();
    g_unique_answer = 1;
    EXPECT_EQ(Q7UniqueRowCallBack(7, t, c.set, c.columns.data(), RecordRun), 0);
    EXPECT_EQ(g_unique_calls, c.want);
    EXPECT_EQ(RQ7GetNSet(t), sets);
    EXPECT_EQ(RQ7GetCurrentSetID(t), three);
    EXPECT_EQ(Statuses(), Ints(8, 0));
  }
  // An answer other than 0 and 1 stops the walk.
  g_unique_calls.clear();
  g_unique_answer = 2;
  const int sets = RQ7GetNSet(t);
  EXPECT_EQ(Q7UniqueRowCallBack(7, t, 1, Ints{1, 0}.data(), RecordRun), 1);
  EXPECT_EQ(g_unique_calls, (std::vector<UniqueCall>{{1, 3, "A"}}));
  EXPECT_EQ(RQ7GetNSet(t), sets);
  EXPECT_EQ(RQ7GetCurrentSetID(t), three);
  EXPECT_EQ(Statuses(), Ints(8, 0));
}

}  // namespace
