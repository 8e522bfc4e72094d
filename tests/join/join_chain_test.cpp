// Chains of inner joins realised as tree tables: the rows and columns against a brute-force walk
// of the tables' keys, the chain's table and set IDs, the refusals with their ring entries, the
// chain-length limit, and a tree too large for a table.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "join/JoinChain.h"
#include "join/TJoinTable.h"
#include "tests/join/join_chain_support.h"
#include "tests/support/test_support.h"

namespace {

using chaintest::ChainTable;
using chaintest::ChainTest;
using chaintest::TreeOf;
using chaintest::TreeRow;

class JoinChain : public ChainTest {
 protected:
  // A table whose record r has both keys keys[r - 1] and the data 10 * keys[r - 1]; its set is
  // `set`, or every record.
  ChainTable Fixed(const std::string& name, const std::vector<int>& keys, std::vector<int> set = {}) {
    ChainTable t;
    t.rows = static_cast<int>(keys.size());
    t.id = AddTable(name, t.rows);
    t.in = t.out = t.values = {0};
    for (int k : keys) {
      t.in.push_back(k);
      t.out.push_back(k);
      t.values.push_back(k * 10);
    }
    t.in_key = AddIntFilter(Real(t.id), "in", keys);
    t.out_key = AddIntFilter(Real(t.id), "out", keys);
    std::vector<int> values(t.values.begin() + 1, t.values.end());
    t.data = AddIntFilter(Real(t.id), "data", values);
    if (set.empty()) {
      for (int r = 1; r <= t.rows; ++r) set.push_back(r);
    }
    t.set = set;
    return t;
  }
  int TableCount() { return db_->TableCount(); }
};

TEST_F(JoinChain, OneJoinGivesEachRootFollowedByItsPartners) {
  // Master rows {1, 2}; slave records 10 and 11 partner record 1, none partners record 2.
  const ChainTable m = Fixed("M", {5, 6});
  const ChainTable s = Fixed("S", {7, 7, 7, 7, 7, 7, 7, 7, 7, 5, 5});
  const std::vector<int> joins = ChainOf({m, s});
  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel ? "parallel" : "serial");
    const int id = Realize(parallel, joins, 2, false);
    ASSERT_GT(id, 0);
    TRealTable* tree = Real(id);
    EXPECT_EQ(tree->GetNFilter(), 2);
    char table_name[256], name1[256], name2[256];
    tree->FilterID2Name(1, table_name, name1);
    tree->FilterID2Name(2, table_name, name2);
    EXPECT_STREQ(name1, "depth");
    EXPECT_STREQ(name2, "RECNO");
    const std::vector<TreeRow> want = {{0, 1, {}}, {1, 10, {}}, {1, 11, {}}, {0, 2, {}}};
    EXPECT_EQ(TreeOf(tree, 0), want);
    EXPECT_EQ(db_->FJoinChain, nullptr);
  }
}

TEST_F(JoinChain, RandomChainMatchesBruteForceWalkWithDataColumns) {
  std::mt19937 gen(7);
  std::vector<ChainTable> tables;
  const int sizes[] = {60, 90, 120, 80};
  for (int k = 0; k < 4; ++k) tables.push_back(RandomTable(gen, "T" + std::to_string(k), sizes[k], 12));
  const std::vector<int> joins = ChainOf(tables);
  const std::vector<TreeRow> want = chaintest::ReferenceTree(tables, true);
  ASSERT_GT(want.size(), 200u);
  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel ? "parallel" : "serial");
    std::vector<int> table_ids(511, -7);
    int sets[2][510] = {};
    const int id = Realize(parallel, joins, 4, true, table_ids.data(), sets);
    ASSERT_GT(id, 0);
    TRealTable* tree = Real(id);
    ASSERT_EQ(tree->GetNFilter(), 3);
    char table_name[256], name[256];
    tree->FilterID2Name(3, table_name, name);
    EXPECT_STREQ(name, "data_0");
    EXPECT_EQ(TreeOf(tree, 1), want);
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(table_ids[static_cast<size_t>(k)], tables[static_cast<size_t>(k)].id);
    EXPECT_EQ(table_ids[4], -7);
    for (int k = 0; k < 3; ++k) {
      auto* join = static_cast<TJoinTable*>(db_->GetTable(joins[static_cast<size_t>(k)]));
      EXPECT_EQ(sets[0][k], join->FMasterSetID);
      EXPECT_EQ(sets[1][k], join->FSlaveSetID);
    }
  }
}

TEST_F(JoinChain, RefusalsAreCodedRecordedAndAddNothing) {
  const ChainTable a = Fixed("A", {1, 2});
  const ChainTable b = Fixed("B", {1, 1, 2});
  const ChainTable c = Fixed("C", {2, 1});
  const int ab = JoinOf(a, 1, b, 1);
  const int bc = JoinOf(b, 1, c, 1);
  const int ca = JoinOf(c, 1, a, 1);
  const int outer = JoinOf(b, 1, c, 1, 1);
  TRealTable* tb = Real(b.id);
  char dbl_name[] = "dbl";
  const double dbl[] = {1.0, 2.0, 3.0};
  const int b_double = tb->AddFilter2(1024, dbl_name, Q7_TYPE_DOUBLE, 3, 8, dbl, 0, -1);
  ASSERT_GT(b_double, 0);

  const std::string miss_table = "GetTable|No Such Table: 999";
  struct Case {
    const char* what;
    std::vector<int> joins;
    int count;
    std::vector<int> column_ids;  // per table, column 0
    int code;
    std::vector<std::string> ring;  // serial form
  };
  const Case cases[] = {
      {"broken link",
       {ab, ca, 0},
       0,
       {},
       Q7_ERROR_ILLEGAL_CHAIN_TYPE,
       {"RealizeJoinChain|Illegal chain type ( Not JOIN CHAIN )"}},
      {"outer join",
       {ab, outer, 0},
       0,
       {},
       Q7_ERROR_NOT_INNER_JOIN_TABLE,
       {"RealizeJoinChain|Illegal table type ( Not INNER JOIN )"}},
      {"real table",
       {ab, b.id, 0},
       0,
       {},
       Q7_ERROR_NOT_JOIN_TYPE,
       {"RealizeJoinChain|Illegal table type ( Not JOIN )"}},
      {"missing table",
       {ab, 999, 0},
       0,
       {},
       Q7_ERROR_NO_SUCH_TABLE,
       {miss_table, "RealizeJoinChain|No Such JTableIDs[1]: 999 "}},
      {"no join", {0}, 0, {}, Q7_ERROR_NO_SUCH_TABLE, {"RealizeJoinChain|Not Join Table"}},
      {"five columns",
       {ab, 0},
       5,
       {3, 3},
       Q7_ERROR_OUT_OF_RANGE,
       {"RealizeJoinChain|Invalid Parameter : nAssociation(5)"}},
      {"slave column not INTEGER",
       {ab, bc, 0},
       1,
       {3, b_double, 3},
       Q7_ERROR_ILLEGAL_FILTER_TYPE,
       {"RealizeJoinChain|Illegal data type ( Not INTEGER )"}},
      {"slave column missing",
       {ab, bc, 0},
       1,
       {3, 3, 77},
       Q7_ERROR_NO_SUCH_FILTER,
       {"RealizeJoinChain|No Such Filter: 77"}},
      // The first table's columns are refused without an entry.
      {"master column missing", {ab, 0}, 1, {77, 3}, Q7_ERROR_NO_SUCH_FILTER, {}},
  };
  for (const Case& c : cases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (parallel ? " parallel" : " serial"));
      DrainRing();
      const int before = TableCount();
      int columns[3][4] = {};
      for (size_t k = 0; k < c.column_ids.size(); ++k) columns[k][0] = c.column_ids[k];
      std::vector<int> table_ids(511, 0);
      int sets[2][510];
      char name[] = "chain";
      const int rc =
          parallel ? db_->MppRealizeJoinChain(name, c.joins.data(), c.count, columns, table_ids.data(), sets)
                   : db_->RealizeJoinChain(name, c.joins.data(), c.count, columns, table_ids.data(), sets);
      EXPECT_EQ(rc, c.code);
      EXPECT_EQ(TableCount(), before);
      EXPECT_EQ(db_->FJoinChain, nullptr);
      std::vector<std::string> want = c.ring;
      if (parallel) {
        // Only the table lookup records its own entry there.
        want.clear();
        if (!c.ring.empty() && c.ring[0] == miss_table) want.push_back(miss_table);
      }
      EXPECT_EQ(DrainRing(), want);
    }
  }
}

TEST_F(JoinChain, ChainLengthLimitCapsTheJoinsRead) {
  // One record paired with itself: every join read adds one level.
  const ChainTable t = Fixed("T", {1});
  const int self = JoinOf(t, 1, t, 1);
  const std::vector<int> joins(17, self);
  std::vector<int> list = joins;
  list.push_back(0);
  const int id16 = Realize(false, list, 18, false);
  ASSERT_GT(id16, 0);
  EXPECT_EQ(Real(id16)->TotalRecs(), 17);
  ASSERT_EQ(TTableCollection::SetMaxJoinChain(15), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TTableCollection::m_nMaxJoinChain, TTableCollection::kMaxJoinChain);
  ASSERT_EQ(TTableCollection::SetMaxJoinChain(17), 0);
  const int id17 = Realize(true, list, 18, false);
  ASSERT_GT(id17, 0);
  EXPECT_EQ(Real(id17)->TotalRecs(), 18);
}

TEST_F(JoinChain, TreeBeyondTheRowLimitIsRefusedWithoutWrapping) {
  // Two records of one key paired with themselves: 30 joins make 2^32 - 2 rows, 100 joins more
  // than 64 bits count.
  const ChainTable t = Fixed("T", {1, 1});
  const int self = JoinOf(t, 1, t, 1);
  ASSERT_EQ(TTableCollection::SetMaxJoinChain(100), 0);
  std::vector<int> list;
  for (int joins : {30, 100}) {
    list.assign(static_cast<size_t>(joins), self);
    list.push_back(0);
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(testing::Message() << joins << (parallel ? " parallel" : " serial"));
      const int before = TableCount();
      EXPECT_EQ(q7test::CodeOf([&] { Realize(parallel, list, joins + 1, false); }),
                Q7_ERROR_ROW_SIZE_OVERFLOW);
      EXPECT_EQ(TableCount(), before);
      EXPECT_EQ(db_->FJoinChain, nullptr);
    }
  }
  // Ten joins: 2 + 4 + ... + 2^11 rows.
  list.assign(10, self);
  list.push_back(0);
  const int id = Realize(true, list, 11, false);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Real(id)->TotalRecs(), (1 << 12) - 2);
}

}  // namespace
