// Set operations of the operation layer: the refusal rule and its ring entries, the checks of host
// row lists, the saved flags, and the rows each operation hands out or registers.
#include "api/ops/ops_sets.h"

#include <functional>

#include "api/ops/ops_database.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class SetOps : public opsets_test::OpTest {};

// Every operation names a missing table under its own ring name, with 0xE000006D in the ring and
// 0xE000006D returned.
TEST_F(SetOps, MissingTableFollowsTheRefusalRule) {
  struct Case {
    const char* ring;
    const char* message;
    std::function<int()> op;
  };
  int* rows = nullptr;
  int ids[4];
  const int kRows[] = {1};
  const Case cases[] = {
      {"Q7GetNSet", "No Such Table: 99 ", [] { return innerQ7GetNSet(99); }},
      {"Q7GetTotalRows", "No Such Table: 99 ", [] { return innerQ7GetTotalRows(99); }},
      {"Q7PurgeSubsets", "No Such Table: 99", [] { return innerQ7PurgeSubsets(99); }},
      {"Q7GetSetSize", "No Such Table: 99 ", [] { return innerQ7GetSetSize(99, 1); }},
      {"Q7GetSet", "No Such Table: 99 ", [&] { return innerQ7GetSet(99, 1, &rows); }},
      {"Q7GetSetList", "No Such Table: 99 ", [&] { return innerQ7GetSetIDList(99, 4, ids); }},
      {"Q7AddSetReal", "No Such Table: 99", [&] { return innerQ7AddSetReal(99, 1, kRows); }},
      {"Q7DeleteSet", "No Such Table: 99", [] { return innerQ7DeleteSet(99, 2); }},
      {"Q7GetCurrentSetID", "No Such Table: 99", [] { return innerQ7GetCurrentSetID(99); }},
      {"Q7ChangeCurrentSetID", "No Such Table: 99", [] { return innerQ7ChangeCurrentSetID(99, 1); }},
      {"Q7SetNot", "No Such Table: 99", [] { return innerQ7SetNotReal(99, 1); }},
      {"Q7SetOpe", "No Such Table: 99", [] { return innerQ7SetOpeReal(99, 0, 1, 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    EXPECT_EQ(c.op(), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(c.ring), (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, c.message}}));
  }
  EXPECT_EQ(g_TFSSaved, 1);
  EXPECT_EQ(g_SETTINGSaved, 1);
}

TEST_F(SetOps, CountsAndListsOfSets) {
  const int t = Table(10);
  const int s2 = AddSet(t, {2, 4, 6});
  const int s3 = AddSet(t, {5});
  EXPECT_EQ(innerQ7GetNSet(t), 3);
  EXPECT_EQ(innerQ7GetTotalRows(t), 10);
  EXPECT_EQ(innerQ7GetSetSize(t, s2), 3);
  EXPECT_EQ(innerQ7GetSetSize(t, -1), 1);  // the current set
  EXPECT_EQ(innerQ7GetCurrentSetID(t), s3);

  int ids[2] = {0, 0};
  EXPECT_EQ(innerQ7GetSetIDList(t, 2, ids), 3);  // the total, though only two fit
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], s2);
  EXPECT_EQ(innerQ7GetSetIDList(t, 0, nullptr), 3);

  int* rows = nullptr;
  EXPECT_EQ(innerQ7GetSet(t, s2, &rows), 3);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows, Real(t)->GetSet(s2)->PIntAr());  // engine memory, not a copy
  EXPECT_EQ(std::vector<int>(rows, rows + 3), (std::vector<int>{2, 4, 6}));

  EXPECT_EQ(innerQ7GetSet(t, 77, &rows), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(rows, nullptr);
  EXPECT_EQ(DrainFor("Q7GetSet"),
            (std::vector<Entry>{{"Q7GetSet", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 77 "}}));
  EXPECT_EQ(g_TFSSaved, 1);  // readers change no flag
}

struct AddSetCase {
  const char* what;
  std::vector<int> rows;
  int result;                 // 0: a new set's ID
  std::vector<int> expected;  // the new set's rows
};

TEST_F(SetOps, AddSetRealChecksHostRows) {
  const AddSetCase cases[] = {
      {"row 0", {1, 0, 3}, Q7_ERROR_INVALID_ROW_POSITION, {}},
      {"beyond the table", {1, 11}, Q7_ERROR_INVALID_ROW_POSITION, {}},
      {"negative row", {-5}, Q7_ERROR_INVALID_ROW_POSITION, {}},
      {"repeats kept once, host order kept", {3, 1, 3, 2, 1}, 0, {3, 1, 2}},
      {"unsorted", {10, 1, 5}, 0, {10, 1, 5}},
      {"empty", {}, 0, {}},
  };
  const int t = Table(10);
  for (const AddSetCase& c : cases) {
    SCOPED_TRACE(c.what);
    MarkAllSaved();
    const int sets_before = innerQ7GetNSet(t);
    const int id = innerQ7AddSetReal(t, static_cast<int>(c.rows.size()), c.rows.data());
    if (c.result != 0) {
      EXPECT_EQ(id, c.result);
      EXPECT_EQ(innerQ7GetNSet(t), sets_before);
      EXPECT_EQ(g_TFSSaved, 1);
      EXPECT_EQ(DrainFor("Q7AddSetReal"), (std::vector<Entry>{{"Q7AddSetReal", Q7_ERROR_INVALID_ROW_POSITION,
                                                               "Invalid Parameter : PSetArray"}}));
      continue;
    }
    ASSERT_GT(id, 0);
    EXPECT_EQ(innerQ7GetCurrentSetID(t), id);
    EXPECT_EQ(Rows(t, id), c.expected);
    EXPECT_EQ(g_TFSSaved, 0);
  }
  EXPECT_EQ(innerQ7AddSetReal(t, 2, nullptr), Q7_ERROR_INVALID_ROW_POSITION);
  EXPECT_EQ(innerQ7AddSetReal(t, -1, nullptr), Q7_ERROR_INVALID_ROW_POSITION);
}

TEST_F(SetOps, AddSetRealNeedsARealTable) {
  int key = 0;
  const int master = IntTable({1, 2}, &key, "M");
  const int slave = IntTable({2, 3}, nullptr, "S");
  const int join = Join(master, slave);
  const int kRows[] = {1};
  EXPECT_EQ(innerQ7AddSetReal(join, 1, kRows), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(DrainFor("Q7AddSetReal"), (std::vector<Entry>{{"Q7AddSetReal", Q7_ERROR_NO_SUCH_TABLE,
                                                           "Not RealTable: " + std::to_string(join)}}));
}

struct SetOpeCase {
  int op;
  std::vector<int> a;
  std::vector<int> b;
  int result;  // count or code
  std::vector<int> rows;
};

TEST_F(SetOps, SetOpe2OnHostRowLists) {
  const SetOpeCase cases[] = {
      {0, {5, 1, 3, 7}, {3, 4, 5}, 2, {3, 5}},
      {1, {5, 1}, {2, 5}, 3, {1, 2, 5}},
      {2, {7, 1, 3}, {3}, 2, {1, 7}},
      {1, {2, 2, 2}, {2}, 1, {2}},  // a row given twice counts once
      {0, {}, {1, 2}, 0, {}},
      {3, {1}, {1}, Q7_ERROR_INVALID_OPERATION, {}},
      {0, {0, 1}, {1}, Q7_ERROR_INVALID_ROW_POSITION, {}},
      {1, {1}, {9}, Q7_ERROR_INVALID_ROW_POSITION, {}},  // the table has 8 rows
  };
  for (const SetOpeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << c.op << " result " << std::hex << c.result);
    _TSetDescript a{static_cast<int32_t>(c.a.size()), const_cast<int*>(c.a.data())};
    _TSetDescript b{static_cast<int32_t>(c.b.size()), const_cast<int*>(c.b.data())};
    _TSetDescript result{99, reinterpret_cast<int32_t*>(&a)};
    EXPECT_EQ(innerQ7SetOpe2(c.op, 8, a, b, &result), c.result);
    if (c.result < 0) {
      EXPECT_EQ(result.count, -1);
      EXPECT_EQ(result.rows, nullptr);
      const std::vector<Entry> entries = DrainFor("Q7SetOpe2");
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(entries[0].code, c.result);
      continue;
    }
    ASSERT_EQ(result.count, c.result);
    EXPECT_EQ(std::vector<int>(result.rows, result.rows + result.count), c.rows);
    void* block = result.rows;
    EXPECT_EQ(innerQ7FreeMem(&block), 0);
    EXPECT_EQ(block, nullptr);
  }
  _TSetDescript empty{0, nullptr};
  EXPECT_EQ(innerQ7SetOpe2(0, 8, empty, empty, nullptr), Q7_ERROR_INVALID_PARAMETER);
}

TEST_F(SetOps, DeleteSet) {
  const int t = Table(5);
  const int s = AddSet(t, {1, 2});
  EXPECT_EQ(innerQ7DeleteSet(t, 1), Q7_ERROR_SET_NOT_DELETABLE);
  EXPECT_EQ(DrainFor("Q7DeleteSet"),
            (std::vector<Entry>{{"Q7DeleteSet", Q7_ERROR_SET_NOT_DELETABLE, "Root set cannot be deleted"}}));
  EXPECT_EQ(innerQ7DeleteSet(t, 42), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(Drain(), (std::vector<Entry>{{"Q7DeleteSet", Q7_ERROR_NO_SUCH_SET, "No such set"}}));
  EXPECT_EQ(g_TFSSaved, 1);

  EXPECT_EQ(innerQ7DeleteSet(t, s), 0);
  EXPECT_EQ(g_TFSSaved, 0);
  EXPECT_EQ(innerQ7GetNSet(t), 1);
  EXPECT_EQ(innerQ7GetCurrentSetID(t), 1);
}

TEST_F(SetOps, ChangeCurrentSetID) {
  const int t = Table(5);
  const int s = AddSet(t, {3});
  ASSERT_EQ(innerQ7ChangeCurrentSetID(t, 1), 0);
  EXPECT_EQ(innerQ7GetCurrentSetID(t), 1);
  EXPECT_EQ(g_SETTINGSaved, 0);
  EXPECT_EQ(g_TFSSaved, 1);

  MarkAllSaved();
  EXPECT_EQ(innerQ7ChangeCurrentSetID(t, s + 10), Q7_ERROR_ILLEGAL_SET_ID);
  const std::string missing = "No Such Set: " + std::to_string(s + 10) + " ";
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"Q7ChangeCurrentSetID", Q7_ERROR_ILLEGAL_SET_ID, missing},
                                {"Q7ChangeCurrentSetID", Q7_ERROR_ILLEGAL_SET_ID, "return of inner call"}}));
  EXPECT_EQ(innerQ7GetCurrentSetID(t), 1);
  EXPECT_EQ(g_SETTINGSaved, 1);
}

TEST_F(SetOps, NegationAndSetOperationsMakeNewCurrentSets) {
  const int t = Table(6);
  const int a = AddSet(t, {5, 1, 3});
  const int b = AddSet(t, {3, 4});
  const int n = innerQ7SetNotReal(t, a);
  ASSERT_GT(n, 0);
  EXPECT_EQ(Rows(t, n), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(innerQ7GetCurrentSetID(t), n);
  EXPECT_EQ(g_TFSSaved, 0);

  MarkAllSaved();
  const int o = innerQ7SetOpeReal(t, 1, a, b);
  ASSERT_GT(o, 0);
  EXPECT_EQ(Rows(t, o), (std::vector<int>{1, 3, 4, 5}));
  EXPECT_EQ(g_TFSSaved, 0);

  MarkAllSaved();
  const int sets = innerQ7GetNSet(t);
  EXPECT_EQ(innerQ7SetOpeReal(t, 7, a, b), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(DrainFor("Q7SetOpe"),
            (std::vector<Entry>{{"Q7SetOpe", Q7_ERROR_INVALID_OPERATION, "return of inner call"}}));
  EXPECT_EQ(innerQ7SetNotReal(t, 99), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(innerQ7GetNSet(t), sets);
  EXPECT_EQ(g_TFSSaved, 1);
}

TEST_F(SetOps, PurgeSubsetsKeepsSetOneAndRefusesSharedTables) {
  const int t = Table(4);
  AddSet(t, {1});
  AddSet(t, {2});
  EXPECT_EQ(innerQ7PurgeSubsets(t), 0);
  EXPECT_EQ(innerQ7GetNSet(t), 1);
  EXPECT_EQ(innerQ7GetCurrentSetID(t), 1);
  EXPECT_EQ(g_TFSSaved, 0);

  MarkAllSaved();
  AddSet(t, {3});
  Real(t)->FShmImage = 1;
  EXPECT_EQ(innerQ7PurgeSubsets(t), Q7_ERROR_SHARED_READ_ONLY);
  Real(t)->FShmImage = 0;
  EXPECT_EQ(Drain(), std::vector<Entry>{});
  EXPECT_EQ(innerQ7GetNSet(t), 2);
  EXPECT_EQ(g_TFSSaved, 1);
}

}  // namespace
