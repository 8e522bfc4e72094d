// Tree tables (a realised join chain: filter 1 the depth, filter 2 the node's record number, rows
// in depth-first pre-order): qualifying them with another table's columns in each mode, and
// deleting nodes with their subtrees, against results worked out from the tree by plain loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "tests/database/table_test_support.h"

namespace {

constexpr int kNull = INT_MIN;

// depth, record number.
struct Node {
  int depth;
  int rec;
};
// Two roots; the first has children 2 (with children 7, 8) and 3, the second child 2 (child 9).
const std::vector<Node> kTree = {{0, 1}, {1, 2}, {2, 7}, {2, 8}, {1, 3}, {0, 4}, {1, 2}, {2, 9}};

class TreeTables : public ttest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    tree_ = AddTable("tree", static_cast<int>(kTree.size()));
    std::vector<int> depth, rec;
    for (const Node& n : kTree) {
      depth.push_back(n.depth);
      rec.push_back(n.rec);
    }
    ASSERT_EQ(AddIntFilter(Real(tree_), "depth", depth), 1);
    ASSERT_EQ(AddIntFilter(Real(tree_), "RecNo", rec), 2);
    // The source: record r holds 100 + r and the text "v<r>".
    source_ = AddTable("source", 10);
    std::vector<int> values;
    for (int r = 1; r <= 10; ++r) values.push_back(100 + r);
    source_value_ = AddIntFilter(Real(source_), "value", values);
    DrainRing();
  }

  // The INTEGER values of a filter of a table, records 1 .. n.
  std::vector<int> Column(int table, int filter_id) {
    TRealTable* t = Real(table);
    TFilter* f = t->FFilters[t->FilterID2Pos(filter_id)];
    std::vector<int> out;
    for (int r = 1; r < f->PV->FArraySize; ++r)
      out.push_back(static_cast<const int*>(f->VL->FData)[f->PV->PIntAr()[r]]);
    return out;
  }

  int tree_ = 0;
  int source_ = 0;
  int source_value_ = 0;
};

TEST_F(TreeTables, QualifyFillsTheChosenDepthsInEveryMode) {
  struct Case {
    const char* what;
    int depth;
    int inherit;
  };
  const Case cases[] = {{"below the roots", -1, 0},
                        {"depth 1", 1, 0},
                        {"depth 2", 2, 0},
                        {"depth 1 inherited", 1, 1},
                        {"depth 0 inherited", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Worked out from the rule: the value of the record at the chosen depth (or below the roots),
    // for inheritance the value of the nearest ancestor at that depth.
    std::vector<int> want;
    int ancestor = 0;
    for (const Node& n : kTree) {
      int from = 0;
      if (c.depth < 0) {
        from = n.depth > 0 ? n.rec : 0;
      } else if (c.inherit == 0) {
        from = n.depth == c.depth ? n.rec : 0;
      } else {
        if (n.depth == c.depth) ancestor = n.rec;
        from = n.depth >= c.depth ? ancestor : 0;
      }
      want.push_back(from == 0 ? kNull : 100 + from);
    }
    const int filters_before = Real(tree_)->GetNFilter();
    const int list[] = {source_value_, 0};
    ASSERT_EQ(db_->Qualify(tree_, c.depth, source_, list, c.inherit), 0);
    TRealTable* tree = Real(tree_);
    ASSERT_EQ(tree->GetNFilter(), filters_before + 1);
    int ids[512];
    tree->GetFilterIDList(ids);
    const int added = ids[filters_before];
    EXPECT_EQ(Column(tree_, added), want);
    EXPECT_EQ(tree->DropFilter(added), 0);
  }
}

TEST_F(TreeTables, QualifyReadsTheListUpToTheFirstMissingFilterAndNamesAfterTheSource) {
  const int list[] = {source_value_, source_value_, 55, source_value_, 0};
  ASSERT_EQ(db_->Qualify(tree_, -1, source_, list, 0), 0);
  TRealTable* tree = Real(tree_);
  ASSERT_EQ(tree->GetNFilter(), 4);
  char table_name[256], a[256], b[256];
  tree->FilterID2Name(3, table_name, a);
  tree->FilterID2Name(4, table_name, b);
  EXPECT_STREQ(a, "value");
  EXPECT_STREQ(b, "value_#1");
}

TEST_F(TreeTables, QualifyRefusalsAreRecorded) {
  const int empty = AddTable("empty", 0);
  const int flat = AddTable("flat", 2);
  ASSERT_GT(AddIntFilter(Real(flat), "depth", {0, 0}), 0);
  const int join = AddJoin(source_, source_value_, source_, source_value_);
  const int ok[] = {source_value_, 0};
  const int none[] = {77, 0};
  struct Case {
    const char* what;
    int tree, source;
    const int* list;
    int code;
    std::vector<std::string> ring;
  };
  const Case cases[] = {
      {"no tree table",
       99,
       source_,
       ok,
       Q7_ERROR_NO_SUCH_TABLE,
       {"GetTable|No Such Table: 99", "Qualify|No Such Table: 99 "}},
      {"tree is a join",
       join,
       source_,
       ok,
       Q7_ERROR_NOT_REAL_TABLE,
       {"Qualify|Illegal table type ( Not REAL )"}},
      {"empty tree", empty, 99, ok, 0, {}},
      {"no record-number filter", flat, source_, ok, Q7_ERROR_NO_SUCH_FILTER, {"Qualify|No Such Filter: 2"}},
      {"source is a join",
       tree_,
       join,
       ok,
       Q7_ERROR_NOT_REAL_TABLE,
       {"Qualify|Illegal table type ( Not REAL )"}},
      {"no source filter",
       tree_,
       source_,
       none,
       Q7_ERROR_NO_SUCH_FILTER,
       {"Qualify|Invalid Parameter : SrcFltIDs"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int filters = Real(tree_)->GetNFilter();
    EXPECT_EQ(db_->Qualify(c.tree, -1, c.source, c.list, 0), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(Real(tree_)->GetNFilter(), filters);
  }
}

TEST_F(TreeTables, DelTreeNodesRemovesSubtreesAndRenumbersTheLevel) {
  // Node 2 at depth 1 goes with its subtrees (both of its places); node 9 at depth 1 is no node there.
  const int nodes[] = {2, 9, 0};
  for (int set_only : {1, 0}) {
    SCOPED_TRACE(set_only);
    int new_set = -5, new_filter = -5;
    TRealTable* tree = Real(tree_);
    const int filters = tree->GetNFilter();
    EXPECT_EQ(tree->DelTreeNodes(set_only, 1, 1, 1, -1, nodes, &new_set, &new_filter), 5);
    EXPECT_EQ(ttest::Rows(tree->GetSet(new_set)), (std::vector<int>{1, 5, 6}));
    EXPECT_EQ(tree->GetCurrentSetID(), new_set);
    if (set_only != 0) {
      EXPECT_EQ(new_filter, 2);
      EXPECT_EQ(tree->GetNFilter(), filters);
      continue;
    }
    ASSERT_EQ(tree->GetNFilter(), filters + 1);
    char table_name[256], name[256];
    tree->FilterID2Name(new_filter, table_name, name);
    // The tree's own record-number column holds "RECNO" already.
    EXPECT_STREQ(name, "RECNO_#1");
    // The node values {1, 2, 3, 4, 7, 8, 9} without 2 and 9: 3 becomes 2 at depth 1; roots keep theirs.
    EXPECT_EQ(Column(tree_, new_filter), (std::vector<int>{1, kNull, kNull, kNull, 2, 4, kNull, kNull}));
  }
}

TEST_F(TreeTables, DelTreeNodesEdgeCasesAndRefusals) {
  TRealTable* tree = Real(tree_);
  int new_set = 0, new_filter = 0;
  const int absent[] = {5, 6, 0};
  EXPECT_EQ(tree->DelTreeNodes(1, 1, 1, 1, -1, absent, &new_set, &new_filter), 0);
  EXPECT_EQ(ttest::Rows(tree->GetSet(new_set)), ttest::Rows(tree->GetSet(1)));

  const int empty_list[] = {0};
  const int some[] = {2, 0};
  const int sets = tree->FnSet;
  EXPECT_EQ(tree->DelTreeNodes(1, 1, 1, 1, -1, empty_list, &new_set, &new_filter), 0);
  EXPECT_EQ(tree->DelTreeNodes(1, 1, 77, 1, -1, some, &new_set, &new_filter), 0);  // no level filter
  EXPECT_EQ(tree->FnSet, sets);
  DrainRing();

  // A negative node value, a level filter that is not INTEGER, no depth filter, no set.
  char text_name[] = "text";
  const char* texts[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
  const int text = tree->AddFilter2(1024, text_name, Q7_TYPE_STRING, 8, 8, texts, 0, -1);
  const int negative = AddIntFilter(tree, "neg", {-1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_GT(text, 0);
  ASSERT_GT(negative, 0);
  EXPECT_EQ(tree->DelTreeNodes(1, 1, 1, 1, negative, some, &new_set, &new_filter), Q7_ERROR_NO_TREE);
  EXPECT_EQ(DrainRing(), (std::vector<std::string>{"DelTreeNodes|Failed to get tree"}));
  EXPECT_EQ(tree->DelTreeNodes(1, 1, text, 1, -1, some, &new_set, &new_filter),
            Q7_ERROR_INVALID_KEY_PARAMETER);
  EXPECT_EQ(tree->DelTreeNodes(1, 1, 1, 1, text, some, &new_set, &new_filter), Q7_ERROR_NO_TREE);
  DrainRing();
  EXPECT_EQ(tree->DelTreeNodes(1, 1, 1, 42, -1, some, &new_set, &new_filter), Q7_ERROR_NO_SUCH_SET);
  const std::vector<std::string> ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), "DelTreeNodes|No Such Set: 42");
  TRealTable* source = Real(source_);
  EXPECT_EQ(source->DelTreeNodes(1, 1, 1, 1, -1, some, &new_set, &new_filter), Q7_ERROR_NO_TREE);
  EXPECT_EQ(tree->FnSet, sets);
}

}  // namespace
