// Join chains and tree tables as a host sees them: a chain of two inner joins realised with and
// without data columns (on the worker pool and serially), its refusals with their codes and ring
// entries, and a tree table qualified and pruned. The tree is held against a walk of the keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::CellText;
using q7host::DrainRing;
using q7host::RingEntry;
using Ints = std::vector<int>;

// A: key; B: in, out; C: in. The chain A -> B (A.key = B.in) -> C (B.out = C.in). B's record 4
// is no partner of A; C's record 4 of no B.
const Ints kAKey = {1, 2, 3};
const Ints kBIn = {1, 1, 2, 4, 3};
const Ints kBOut = {7, 8, 7, 9, 8};
const Ints kCIn = {7, 8, 8, 5};

struct Row {
  int depth;
  int rec;
  int data;
};
bool operator==(const Row& x, const Row& y) {
  return x.depth == y.depth && x.rec == y.rec && x.data == y.data;
}
std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "(" << r.depth << ", " << r.rec << ", " << r.data << ")";
}

// The tree by a walk of the key lists: each record of A, then its B partners, each followed by its C
// partners, in record order.
std::vector<Row> ReferenceTree() {
  std::vector<Row> rows;
  for (size_t a = 0; a < kAKey.size(); ++a) {
    rows.push_back({0, static_cast<int>(a) + 1, 10 * (static_cast<int>(a) + 1)});
    for (size_t b = 0; b < kBIn.size(); ++b) {
      if (kBIn[b] != kAKey[a]) continue;
      rows.push_back({1, static_cast<int>(b) + 1, 100 + static_cast<int>(b) + 1});
      for (size_t c = 0; c < kCIn.size(); ++c) {
        if (kCIn[c] == kBOut[b]) rows.push_back({2, static_cast<int>(c) + 1, 1000 + static_cast<int>(c) + 1});
      }
    }
  }
  return rows;
}

class JoinChainApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    a_ = q7host::AddTable("A", 3);
    b_ = q7host::AddTable("B", 5);
    c_ = q7host::AddTable("C", 4);
    const int a_key = q7host::AddIntColumn(a_, "key", kAKey);
    const int b_in = q7host::AddIntColumn(b_, "in", kBIn);
    const int b_out = q7host::AddIntColumn(b_, "out", kBOut);
    const int c_in = q7host::AddIntColumn(c_, "in", kCIn);
    a_data_ = q7host::AddIntColumn(a_, "a", {10, 20, 30});
    b_data_ = q7host::AddIntColumn(b_, "b", {101, 102, 103, 104, 105});
    c_data_ = q7host::AddIntColumn(c_, "c", {1001, 1002, 1003, 1004});
    for (int id : {a_key, b_in, b_out, c_in, a_data_, b_data_, c_data_}) ASSERT_GT(id, 0);
    const int ak[] = {a_key, 0}, bi[] = {b_in, 0}, bo[] = {b_out, 0}, ci[] = {c_in, 0};
    ab_ = RQ7AddJoinTable("ab", 0, a_, 1, ak, b_, 1, bi);
    bc_ = RQ7AddJoinTable("bc", 0, b_, 1, bo, c_, 1, ci);
    outer_ = RQ7AddJoinTable("outer", 1, b_, 1, bo, c_, 1, ci);
    for (int id : {ab_, bc_, outer_}) ASSERT_GT(id, 0);
    DrainRing();
  }
  std::vector<Row> Tree(int table, bool with_data) {
    std::vector<Row> rows;
    _TTableInfo info{};
    EXPECT_EQ(RQ7GetTableProperty(table, &info), 0);
    for (int r = 1; r <= info.totalRecs; ++r) {
      rows.push_back({std::stoi(CellText(table, 1, r)), std::stoi(CellText(table, 2, r)),
                      with_data ? std::stoi(CellText(table, 3, r)) : 0});
    }
    return rows;
  }

  int a_ = 0, b_ = 0, c_ = 0, a_data_ = 0, b_data_ = 0, c_data_ = 0;
  int ab_ = 0, bc_ = 0, outer_ = 0;
};

using ChainEx = int (*)(const char*, const int*, int, const int (*)[4], int*, int (*)[510]);

TEST_F(JoinChainApi, RealizedChainHoldsTheTreeInPreOrderWithDataColumns) {
  const std::vector<Row> want = ReferenceTree();
  const int joins[] = {ab_, bc_, 0};
  const int columns[3][4] = {{a_data_}, {b_data_}, {c_data_}};
  const struct {
    const char* name;
    ChainEx call;
  } roads[] = {{"RQ7RealizeJoinChainEx", RQ7RealizeJoinChainEx},
               {"Q7RealizeJoinChainEx", Q7RealizeJoinChainEx}};
  for (const auto& road : roads) {
    SCOPED_TRACE(road.name);
    int table_ids[511] = {};
    int sets[2][510] = {};
    const int id = road.call("tree", joins, 1, columns, table_ids, sets);
    ASSERT_GT(id, 0);
    _TTableInfo info{};
    ASSERT_EQ(RQ7GetTableProperty(id, &info), 0);
    EXPECT_EQ(info.nFilter, 3);
    EXPECT_EQ(Tree(id, true), want);
    EXPECT_EQ((Ints{table_ids[0], table_ids[1], table_ids[2]}), (Ints{a_, b_, c_}));
    EXPECT_EQ((Ints{sets[0][0], sets[1][0], sets[0][1], sets[1][1]}), (Ints{1, 1, 1, 1}));
    EXPECT_TRUE(DrainRing().empty());
  }
  int table_ids[511] = {};
  int sets[2][510] = {};
  const int plain = RQ7RealizeJoinChain("tree", joins, table_ids, sets);
  ASSERT_GT(plain, 0);
  _TTableInfo info{};
  ASSERT_EQ(RQ7GetTableProperty(plain, &info), 0);
  EXPECT_EQ(info.nFilter, 2);
  EXPECT_EQ(Tree(plain, false).size(), want.size());
}

TEST_F(JoinChainApi, RefusalsCarryTheirCodeAndRingEntries) {
  int table_ids[511];
  int sets[2][510];
  const int broken[] = {ab_, ab_, 0};
  const int with_outer[] = {ab_, outer_, 0};
  const int chain[] = {ab_, bc_, 0};
  const int columns[3][4] = {{a_data_}, {b_data_}, {c_data_}};
  const std::string failed = "Failed to realize jointchain ( RealizeJoinChain module )";
  const q7host::RefusalCase cases[] = {
      {"broken chain",
       [&] { return RQ7RealizeJoinChainEx("t", broken, 0, nullptr, table_ids, sets); },
       Q7_ERROR_ILLEGAL_CHAIN_TYPE,
       {{"RealizeJoinChain", Q7_ERROR_ILLEGAL_CHAIN_TYPE, "Illegal chain type ( Not JOIN CHAIN )"},
        {"Q7RealizeJoinChain", Q7_ERROR_ILLEGAL_CHAIN_TYPE, failed}}},
      {"outer join",
       [&] { return Q7RealizeJoinChain("t", with_outer, table_ids, sets); },
       Q7_ERROR_NOT_INNER_JOIN_TABLE,
       {{"RealizeJoinChain", Q7_ERROR_NOT_INNER_JOIN_TABLE, "Illegal table type ( Not INNER JOIN )"},
        {"Q7RealizeJoinChain", Q7_ERROR_NOT_INNER_JOIN_TABLE, failed}}},
      {"five columns",
       [&] { return RQ7RealizeJoinChainEx("t", chain, 5, columns, table_ids, sets); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"RealizeJoinChain", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : nAssociation(5)"},
        {"Q7RealizeJoinChain", Q7_ERROR_OUT_OF_RANGE, failed}}},
      {"no output",
       [&] { return RQ7RealizeJoinChain("t", chain, nullptr, sets); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7RealizeJoinChain", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : TblIDs"}}},
  };
  const int tables = RQ7GetNTable();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DrainRing();
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetNTable(), tables);
  }
}

TEST_F(JoinChainApi, TreeIsQualifiedAndPruned) {
  const int joins[] = {ab_, bc_, 0};
  int table_ids[511];
  int sets[2][510];
  const int tree = Q7RealizeJoinChain("tree", joins, table_ids, sets);
  ASSERT_GT(tree, 0);
  const std::vector<Row> nodes = ReferenceTree();

  // Every record at depth 1 or below takes the B value of its depth-1 ancestor.
  const int b_list[] = {b_data_, 0};
  ASSERT_EQ(RQ7QualifyTree(tree, 1, b_, b_list, 1), 0);
  int b_rec = 0;
  for (size_t r = 0; r < nodes.size(); ++r) {
    if (nodes[r].depth == 1) b_rec = nodes[r].rec;
    const std::string want = nodes[r].depth >= 1 ? std::to_string(100 + b_rec) : "NULL";
    EXPECT_EQ(CellText(tree, 3, static_cast<int>(r) + 1), want) << r;
  }

  // B record 2 goes with its C partners.
  const int drop[] = {2, 0};
  int new_set = 0, new_filter = 0;
  EXPECT_EQ(Q7DelTreeNodes(tree, 1, 1, 1, -1, -1, drop, &new_set, &new_filter), 3);
  EXPECT_EQ(q7host::ReadSet(tree, new_set).size(), nodes.size() - 3);

  DrainRing();
  EXPECT_EQ(Q7DelTreeNodes(ab_, 1, 1, 1, -1, -1, drop, &new_set, &new_filter), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(Q7DelTreeNodes(999, 1, 1, 1, -1, -1, drop, &new_set, &new_filter), Q7_ERROR_NO_SUCH_TABLE);
  const std::vector<RingEntry> ring = DrainRing();
  ASSERT_GE(ring.size(), 2u);
  EXPECT_EQ(ring.front(),
            (RingEntry{"Q7DelTreeNodes", Q7_ERROR_NO_SUCH_TABLE, "Not RealTable: " + std::to_string(ab_)}));
  EXPECT_EQ(ring.back(), (RingEntry{"Q7DelTreeNodes", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999 "}));
}

}  // namespace
