// Text queries run on a real table: the rows they find against a row-by-row evaluation, the serial and
// parallel runs against each other, the checking errors with their codes and messages, and that a
// failing query leaves nothing behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "calc/QueryTree.h"
#include "calc/TextQuery.h"
#include "tests/database/table_test_support.h"
#include "tests/support/test_support.h"
#include "values/DateTime.h"
#include "values/TNumericArray.h"

namespace {

using q7test::CodeOf;
using q7test::MessageOf;

constexpr int32_t kIntNull = INT32_MIN;
constexpr double kNull = -INFINITY;

// One record of the fixture: every value type, each with NULLs (the empty text for dates and times).
struct Row {
  int32_t i;
  double d;
  const char* dt;
  const char* tm;
  const char* ts;
  const char* s;
  int64_t n;  // hundredths; kNoDec is NULL
};
constexpr int64_t kNoDec = INT64_MIN;

const Row kRows[] = {
    {5, 1.5, "2024/2/29", "10:30:00", "2024/1/2 03:04:05", "ABC", 150},
    {kIntNull, kNull, "", "", "", "", kNoDec},
    {-3, -2.25, "2000/1/1", "00:00:00", "1999/12/31 23:59:59", "abc", -325},
    {0, 0, "1999/12/31", "23:59:59", "2024/1/1 00:00:00", "AB", 0},
    {7, 2.5, "2024/3/1", "12:00:00", "2024/1/1 00:00:01", "xABy", 225},
    {5, 1e10, "", "12:00:01", "", "B", 100},
    {2147483647, kNull, "1900/1/1", "", "2030/6/15 12:00:00", "ABAB", kNoDec},
    {kIntNull, 3, "2024/2/29", "06:15:00", "1970/1/1 00:00:00", "it's", 150},
    {1, -0.5, "2010/10/10", "10:30:00", "", "zz", 1},
    {5, 2.5, "2000/1/2", "", "2024/1/2 03:04:05", "AB", -1},
    {-2147483647, 7, "", "00:00:01", "2001/2/3 04:05:06", "BC", 99999},
    {3, 1, "2024/12/31", "18:00:00", "2024/12/31 23:59:59", "C", kNoDec},
};
constexpr int kN = sizeof(kRows) / sizeof(kRows[0]);

double DateOf(const char* t) {
  int err = 0;
  return Str2Date(t, 1, &err);
}
double TimeOf(const char* t) {
  int err = 0;
  return Str2Time(t, 1, &err);
}
double DateTimeOf(const char* t) {
  int err = 0;
  return Str2DateTime(t, 1, &err);
}

// Comparisons on a numeric column never keep a NULL row, negated or not; IS NULL is the one test of it.
template <class T>
bool Known(T v, T null) {
  return v != null;
}

using Pred = std::function<bool(const Row&)>;
bool IsNullD(double v) { return !(v > kNull); }

struct QueryCase {
  const char* text;
  Pred keeps;
};

const QueryCase kQueries[] = {
    {"i = 5", [](const Row& r) { return r.i == 5; }},
    {"i <> 5", [](const Row& r) { return Known(r.i, kIntNull) && r.i != 5; }},
    {"i < 1", [](const Row& r) { return Known(r.i, kIntNull) && r.i < 1; }},
    {"i >= 1", [](const Row& r) { return Known(r.i, kIntNull) && r.i >= 1; }},
    {"i <= 0", [](const Row& r) { return Known(r.i, kIntNull) && r.i <= 0; }},
    {"i > 0", [](const Row& r) { return Known(r.i, kIntNull) && r.i > 0; }},
    {"i IS NULL", [](const Row& r) { return r.i == kIntNull; }},
    {"i IS NOT NULL", [](const Row& r) { return r.i != kIntNull; }},
    {"NOT i IS NULL", [](const Row& r) { return r.i != kIntNull; }},
    {"i BETWEEN -3 AND 5", [](const Row& r) { return Known(r.i, kIntNull) && r.i >= -3 && r.i <= 5; }},
    {"i NOT BETWEEN -3 AND 5", [](const Row& r) { return Known(r.i, kIntNull) && !(r.i >= -3 && r.i <= 5); }},
    {"i WITHIN -3 AND 5", [](const Row& r) { return Known(r.i, kIntNull) && r.i > -3 && r.i < 5; }},
    {"i NOT WITHIN -3 AND 5", [](const Row& r) { return Known(r.i, kIntNull) && !(r.i > -3 && r.i < 5); }},
    {"i = 2147483647", [](const Row& r) { return r.i == 2147483647; }},
    {"i <= -2147483647", [](const Row& r) { return Known(r.i, kIntNull) && r.i <= -2147483647; }},
    {"i = +5", [](const Row& r) { return r.i == 5; }},
    {"d > 1.5", [](const Row& r) { return !IsNullD(r.d) && r.d > 1.5; }},
    {"d <= -0.5", [](const Row& r) { return !IsNullD(r.d) && r.d <= -0.5; }},
    {"d = 1e10", [](const Row& r) { return r.d == 1e10; }},
    {"d BETWEEN 0 AND 3", [](const Row& r) { return !IsNullD(r.d) && r.d >= 0 && r.d <= 3; }},
    {"NOT d < 2.5", [](const Row& r) { return !IsNullD(r.d) && r.d >= 2.5; }},
    {"d = -.5E0", [](const Row& r) { return r.d == -0.5; }},
    {"dt = '2024/2/29'", [](const Row& r) { return strcmp(r.dt, "2024/2/29") == 0; }},
    {"dt = '2024-02-29'", [](const Row& r) { return strcmp(r.dt, "2024/2/29") == 0; }},
    {"dt < '2000/1/2'", [](const Row& r) { return *r.dt && DateOf(r.dt) < DateOf("2000/1/2"); }},
    {"dt IS NULL", [](const Row& r) { return *r.dt == 0; }},
    {"dt = ''", [](const Row&) { return false; }},
    {"dt <> ''", [](const Row&) { return false; }},
    {"tm >= '12:00:00'", [](const Row& r) { return *r.tm && TimeOf(r.tm) >= TimeOf("12:00:00"); }},
    {"tm BETWEEN '00:00:00' AND '10:30'",
     [](const Row& r) { return *r.tm && TimeOf(r.tm) <= TimeOf("10:30:00"); }},
    {"ts > '2024/1/1 00:00:00'",
     [](const Row& r) { return *r.ts && DateTimeOf(r.ts) > DateTimeOf("2024/1/1 00:00:00"); }},
    {"ts IS NOT NULL", [](const Row& r) { return *r.ts != 0; }},
    {"s = 'AB'", [](const Row& r) { return strcmp(r.s, "AB") == 0; }},
    {"s = ''", [](const Row& r) { return *r.s == 0; }},
    {"s <> 'AB'", [](const Row& r) { return strcmp(r.s, "AB") != 0; }},
    {"s < 'B'", [](const Row& r) { return strcmp(r.s, "B") < 0; }},
    {"s = 'it''s'", [](const Row& r) { return strcmp(r.s, "it's") == 0; }},
    {"s LEFT MATCH 'AB'", [](const Row& r) { return strncmp(r.s, "AB", 2) == 0; }},
    {"s NOT LEFT MATCH 'AB'", [](const Row& r) { return strncmp(r.s, "AB", 2) != 0; }},
    {"s MIDDLE MATCH 'B'", [](const Row& r) { return strchr(r.s, 'B') != nullptr; }},
    {"s NOT MIDDLE MATCH 'AB'", [](const Row& r) { return strstr(r.s, "AB") == nullptr; }},
    {"s RIGHT MATCH 'C'", [](const Row& r) { return *r.s && r.s[strlen(r.s) - 1] == 'C'; }},
    {"n = 1.5", [](const Row& r) { return r.n == 150; }},
    {"n = 1.50", [](const Row& r) { return r.n == 150; }},
    {"n > 0", [](const Row& r) { return r.n != kNoDec && r.n > 0; }},
    {"n BETWEEN -1 AND 2.25", [](const Row& r) { return r.n != kNoDec && r.n >= -100 && r.n <= 225; }},
    {"n IS NULL", [](const Row& r) { return r.n == kNoDec; }},
    {"n <> 1.5", [](const Row& r) { return r.n != kNoDec && r.n != 150; }},
    {"n < 999.99", [](const Row& r) { return r.n != kNoDec && r.n < 99999; }},
    // Connectives: AND over OR, NOT pushed down to the comparisons.
    {"i = 5 AND d = 1.5", [](const Row& r) { return r.i == 5 && r.d == 1.5; }},
    {"i = 5 OR s = 'AB'", [](const Row& r) { return r.i == 5 || strcmp(r.s, "AB") == 0; }},
    {"i = 5 AND d = 1.5 OR d = 2.5", [](const Row& r) { return r.i == 5 && (r.d == 1.5 || r.d == 2.5); }},
    {"NOT (i = 5 AND d = 2.5)",
     [](const Row& r) { return (Known(r.i, kIntNull) && r.i != 5) || (!IsNullD(r.d) && r.d != 2.5); }},
    {"NOT (i = 5 OR n > 0)",
     [](const Row& r) { return Known(r.i, kIntNull) && r.i != 5 && r.n != kNoDec && r.n <= 0; }},
    {"NOT NOT i = 5", [](const Row& r) { return r.i == 5; }},
    {"NOT (i IS NULL OR d IS NULL)", [](const Row& r) { return r.i != kIntNull && !IsNullD(r.d); }},
    {"T.i = 5 AND \"s\" MIDDLE MATCH 'B'",
     [](const Row& r) { return r.i == 5 && strchr(r.s, 'B') != nullptr; }},
    // NOT takes the rest of the condition.
    {"NOT i BETWEEN 1 AND 5 OR s RIGHT MATCH 'B'",
     [](const Row& r) {
       return Known(r.i, kIntNull) && !(r.i >= 1 && r.i <= 5) && !(*r.s && r.s[strlen(r.s) - 1] == 'B');
     }},
    {"(dt IS NULL OR tm IS NULL) AND NOT ts IS NULL",
     [](const Row& r) { return (!*r.dt || !*r.tm) && *r.ts; }},
};

class QueryExec : public ttest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("T", kN));
    std::vector<int32_t> i;
    std::vector<double> d, dt, tm, ts;
    std::vector<const char*> s;
    std::vector<Numeric> n;
    for (const Row& r : kRows) {
      i.push_back(r.i);
      d.push_back(r.d);
      dt.push_back(DateOf(r.dt));
      tm.push_back(TimeOf(r.tm));
      ts.push_back(DateTimeOf(r.ts));
      s.push_back(r.s);
      n.push_back(r.n == kNoDec ? Numeric{0, INT64_MIN}
                                : Numeric{static_cast<uint64_t>(r.n), r.n < 0 ? -1 : 0});
    }
    Add("i", Q7_TYPE_INTEGER, 4, i.data());
    Add("d", Q7_TYPE_DOUBLE, 8, d.data());
    Add("dt", Q7_TYPE_DATE, 8, dt.data());
    Add("tm", Q7_TYPE_TIME, 8, tm.data());
    Add("ts", Q7_TYPE_DATETIME, 8, ts.data());
    Add("s", Q7_TYPE_STRING, 8, s.data());
    const int n_id = Add("n", Q7_TYPE_DECIMAL, 16, n.data());
    static_cast<TNumericArray*>(t_->GetFilter(n_id)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
  }

  int Add(const char* name, int type, int width, const void* data) {
    std::string work(name);
    const int id = t_->AddFilter2(1024, work.data(), type, kN, width, data, t_->FTableID, -1);
    EXPECT_GT(id, 0) << name;
    return id;
  }

  // The rows of the set a query registers, after checking that it became current.
  std::vector<int> Search(const char* text, int set_id, bool parallel) {
    const int id = SearchByTextQuery(t_, t_->SetID2Pos(set_id), text, parallel, "Test");
    EXPECT_EQ(t_->GetCurrentSetID(), id);
    return ttest::Rows(t_->GetSet(id));
  }

  // What a failing query leaves: the sets and the current one must be as before.
  struct Registry {
    int n_set;
    int current;
    bool operator==(const Registry&) const = default;
  };
  Registry Sets() { return {t_->FnSet, t_->GetCurrentSetID()}; }

  TRealTable* t_ = nullptr;
};

TEST_F(QueryExec, FindsTheRowsARowByRowEvaluationKeeps) {
  // The whole table, and a subset of it as the source set.
  const std::vector<int> subset = {2, 3, 5, 6, 8, 10, 11, 12};
  const int subset_id = t_->AddSetFromRows(static_cast<int>(subset.size()), subset.data());
  ASSERT_GT(subset_id, 0);
  std::vector<int> all;
  for (int r = 1; r <= kN; ++r) all.push_back(r);
  for (const auto& q : kQueries) {
    SCOPED_TRACE(q.text);
    for (const auto& [set_id, rows] : {std::pair{1, all}, std::pair{subset_id, subset}}) {
      std::vector<int> want;
      for (int r : rows) {
        if (q.keeps(kRows[r - 1])) want.push_back(r);
      }
      EXPECT_EQ(Search(q.text, set_id, false), want) << "serial, set " << set_id;
      EXPECT_EQ(Search(q.text, set_id, true), want) << "parallel, set " << set_id;
    }
  }
  EXPECT_EQ(DrainRing(), std::vector<std::string>{});
}

TEST_F(QueryExec, MergesPendingValuesBeforeSearching) {
  // A small write of a value new to the column goes to the pending list of a larger table; each
  // road meets a value of its own still pending.
  const int big = AddTable("Big", 200);
  TRealTable* t = Real(big);
  std::vector<int> v(200, 1);
  AddIntFilter(t, "k", v);
  const int k = t->FilterName2ID("k");
  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel ? "parallel" : "serial");
    int value = parallel ? 43 : 42;
    const int row = parallel ? 9 : 7;
    ASSERT_GE(t->OverWriteEx(1, k, row, 1, &value), 0);
    ASSERT_GT(t->GetFilter(k)->TVLCount, 0);
    const int id = SearchByTextQuery(t, 0, parallel ? "k = 43" : "k = 42", parallel, "Test");
    EXPECT_EQ(ttest::Rows(t->GetSet(id)), std::vector<int>{row});
  }
}

struct ErrorCase {
  const char* text;
  int code;
  const char* message;
};

const ErrorCase kErrors[] = {
    {"x = 1", Q7_ERROR_NO_SUCH_FILTER, "No such filter: \"x\""},
    {"I = 1", Q7_ERROR_NO_SUCH_FILTER, "No such filter: \"I\""},
    {"i = 1 AND \"s \" = 'a'", Q7_ERROR_NO_SUCH_FILTER, "No such filter: \"s \""},
    {"Q.i = 1", Q7_ERROR_NO_SUCH_TABLE, "Table name mismatch: Q"},
    {"i = 1.5", Q7_ERROR_QUERY_VALUE_TYPE, "expect Integer, but 1.5"},
    {"i = 1e3", Q7_ERROR_QUERY_VALUE_TYPE, "expect Integer, but 1e3"},
    {"i = 2147483648", Q7_ERROR_QUERY_VALUE_TYPE, "expect Integer, but overflow (2147483648)"},
    {"i = -2147483648", Q7_ERROR_QUERY_VALUE_TYPE, "expect Integer, but overflow (-2147483648)"},
    {"i = 99999999999999999999", Q7_ERROR_QUERY_VALUE_TYPE,
     "expect Integer, but overflow (99999999999999999999)"},
    {"i BETWEEN 1 AND 'x'", Q7_ERROR_QUERY_VALUE_TYPE, "expect Integer, but String"},
    {"d = 'x'", Q7_ERROR_QUERY_VALUE_TYPE, "expect Double, but String"},
    {"d = 1e999", Q7_ERROR_QUERY_VALUE_TYPE, "expect Double, but overflow (1e999)"},
    {"dt = 1", Q7_ERROR_QUERY_VALUE_TYPE, "expect Date data, but Number constant"},
    {"tm = 1", Q7_ERROR_QUERY_VALUE_TYPE, "expect Time data, but Number constant"},
    {"s = 1", Q7_ERROR_QUERY_VALUE_TYPE, "expect String data, but Number constant"},
    {"ts = 1", Q7_ERROR_QUERY_VALUE_TYPE, "expect DateTime data, but Number constant"},
    {"dt = 'abc'", Q7_ERROR_QUERY_VALUE_TYPE, "Invalid Date Format: 'abc'"},
    {"dt = '2023-02-29'", Q7_ERROR_QUERY_VALUE_TYPE, "Invalid Date Format: '2023-02-29'"},
    {"tm = 'abc'", Q7_ERROR_QUERY_VALUE_TYPE, "Invalid Time Format: 'abc'"},
    {"tm = '25:00:00'", Q7_ERROR_QUERY_VALUE_TYPE, "Invalid Time Format: '25:00:00'"},
    {"tm = '23:59:60'", Q7_ERROR_QUERY_VALUE_TYPE, "Invalid Time Format: '23:59:60'"},
    {"ts = '2024/01/31 12:60:00'", Q7_ERROR_QUERY_VALUE_TYPE,
     "Invalid DateTime Format: '2024/01/31 12:60:00'"},
    {"ts = 'abc'", Q7_ERROR_QUERY_VALUE_TYPE, "Invalid DateTime Format: 'abc'"},
    {"n = 'x'", Q7_ERROR_QUERY_VALUE_TYPE, "expect Numeric, but String"},
    {"n = 1e40", Q7_ERROR_QUERY_VALUE_TYPE, "expect Decimal, but overflow (1e40)"},
    {"i LEFT MATCH 'A'", Q7_ERROR_QUERY_OPERAND, "LEFT MATCH for non-String filter is not allowd"},
    {"d NOT MIDDLE MATCH 'A'", Q7_ERROR_QUERY_OPERAND, "MIDDLE MATCH for non-String filter is not allowd"},
    {"n RIGHT MATCH 'A'", Q7_ERROR_QUERY_OPERAND, "RIGHT MATCH for non-String filter is not allowd"},
    {"s LEFT MATCH 1", Q7_ERROR_QUERY_VALUE_TYPE, "expect String data, but Number constant"},
    // The first failing check decides, after the good part of the tree was converted.
    {"i = 1 AND (d = 2 OR dt = 3)", Q7_ERROR_QUERY_VALUE_TYPE, "expect Date data, but Number constant"},
};

TEST_F(QueryExec, CheckingErrorsCarryTheirCodesAndMessages) {
  const Registry before = Sets();
  for (const auto& c : kErrors) {
    SCOPED_TRACE(c.text);
    for (bool parallel : {false, true}) {
      try {
        SearchByTextQuery(t_, 0, c.text, parallel, "Test");
        ADD_FAILURE() << "no failure";
      } catch (const CQ7Exception& e) {
        EXPECT_EQ(e.ErrorCode(), c.code);
        EXPECT_STREQ(e.Message(), c.message);
      }
      EXPECT_EQ(Sets(), before);
    }
  }
  EXPECT_EQ(DrainRing(), std::vector<std::string>{});
}

TEST_F(QueryExec, SyntaxErrorsLeaveARingEntryAndTheParserMessage) {
  const Registry before = Sets();
  const std::string deep(20000, '(');
  for (const char* text : {"i =", "i = 1 AND", deep.c_str()}) {
    SCOPED_TRACE(strlen(text));
    try {
      SearchByTextQuery(t_, 0, text, false, "RQ7SearchByText");
      ADD_FAILURE() << "no failure";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_QUERY_SYNTAX);
      EXPECT_STREQ(e.Message(), text[0] == '(' ? "parser stack overflow" : "syntax error\nSYNTAX ERROR");
    }
    EXPECT_EQ(DrainRing(), std::vector<std::string>{"RQ7SearchByText|Query Syntax Error"});
    EXPECT_EQ(Sets(), before);
    // The next query starts clean.
    EXPECT_EQ(Search("i = 7", 1, false), std::vector<int>{5});
    EXPECT_STREQ(QueryErrorMessage, "");
    t_->DelSet(t_->GetCurrentSetID());
  }
}

TEST_F(QueryExec, DeepTreesAreCheckedAndRun) {
  // 5001 NOTs negate once; 3000 nested ANDs hold close to the parser's 10000 stack entries.
  std::string nots;
  for (int k = 0; k < 5001; ++k) nots += "NOT ";
  nots += "i = 5";
  std::string ands;
  for (int k = 0; k < 3000; ++k) ands += "i IS NOT NULL AND (";
  ands += "s = 'AB'" + std::string(3000, ')');
  for (bool parallel : {false, true}) {
    EXPECT_EQ(Search(nots.c_str(), 1, parallel), (std::vector<int>{3, 4, 5, 7, 9, 11, 12}));
    EXPECT_EQ(Search(ands.c_str(), 1, parallel), (std::vector<int>{4, 10}));
  }
}

TEST_F(QueryExec, RefusesASearchWhenTheTableHoldsTenThousandSets) {
  const int row = 1;
  while (t_->FnSet < TRealTable::kMaxSets - 1) ASSERT_GT(t_->AddSetFromRows(1, &row), 0);
  // The last free place is taken by one more query; the next is refused before any search.
  EXPECT_GT(SearchByTextQuery(t_, 0, "i = 5", false, "Test"), 0);
  const Registry full = Sets();
  for (bool parallel : {false, true}) {
    EXPECT_EQ(CodeOf([&] { SearchByTextQuery(t_, 0, "i = 5", parallel, "Test"); }),
              Q7_ERROR_SET_COUNT_OVERFLOW);
    EXPECT_EQ(Sets(), full);
  }
}

TEST_F(QueryExec, JoinTablesAreRefusedForNow) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 3);
  const int mk = AddIntFilter(Real(master), "k", {1, 2, 3});
  const int sk = AddIntFilter(Real(slave), "k", {3, 2, 1});
  const int join = AddJoin(master, mk, slave, sk);
  TBaseTable* j = db_->GetTable(join);
  ASSERT_NE(j, nullptr);
  for (bool parallel : {false, true}) {
    EXPECT_EQ(CodeOf([&] { SearchByTextQuery(j, 0, "k = 1", parallel, "Test"); }), Q7_ERROR_NOT_REAL_TABLE);
  }
}

// Trees made by hand reach the checks that the grammar never lets a text reach.
TEST_F(QueryExec, TreeChecksBeyondTheGrammar) {
  char name[] = "i";
  char one[] = "1";
  {
    TQueryTree tree(t_, 0);
    TQueryNode* n1 = MakeLeafQueryNode(&tree, kQueryNumber, one, 1);
    TQueryNode* n2 = MakeLeafQueryNode(&tree, kQueryNumber, one, 1);
    tree.top = MakeOperatorQueryNode(&tree, kQueryEqual, 0, n1, n2, nullptr);
    tree.top = tree.top->Stage1(false);
    EXPECT_EQ(MessageOf([&] { tree.top->Stage2(0, nullptr); }), "expect Filter, but Number");
    EXPECT_EQ(CodeOf([&] { tree.top->Stage2(0, nullptr); }), Q7_ERROR_QUERY_OPERAND);
  }
  {
    // An OR across the two sides of a join.
    TQueryTree tree(t_, 0);
    TQueryNode* cmp[2];
    for (int side : {1, 2}) {
      TQueryNode* column = MakeLeafQueryNode(&tree, kQuerySymbol, name, 1);
      column = column->Stage1(false);
      column->side = side;
      cmp[side - 1] = MakeOperatorQueryNode(&tree, kQueryEqual, 0, column,
                                            MakeLeafQueryNode(&tree, kQueryNumber, one, 1), nullptr);
    }
    tree.top = MakeOperatorQueryNode(&tree, kQueryOr, 0, cmp[0], cmp[1], nullptr);
    EXPECT_EQ(CodeOf([&] { tree.top->Stage2(0, nullptr); }), Q7_ERROR_QUERY_OPERAND);
    EXPECT_EQ(MessageOf([&] { tree.top->Stage2(0, nullptr); }),
              "left and right hand sides of 'OR' must refer to a same real table. The left refers to master. "
              "The right refers to slave.");
    // An AND over both sides is allowed and takes both.
    tree.top->kind = kQueryAnd;
    tree.top->Stage2(0, nullptr);
    EXPECT_EQ(tree.top->side, kQuerySideBoth);
    // Resolved nodes cannot go through the first pass again; converted constants keep their type.
    EXPECT_TRUE(q7test::FullMatch(MessageOf([&] { tree.top->a->a->Stage1(false); }),
                                  "QueryExec\\.cpp:[0-9]+ Unknown node type\\(2\\) in Stage1\\(\\)"));
    EXPECT_EQ(MessageOf([&] { tree.top->a->b->Stage2(Q7_TYPE_DOUBLE, nullptr); }), "expect 3, but 2");
    // A NOT left in the tree is an internal fault in both later passes.
    TQueryNode* negation = MakeOperatorQueryNode(&tree, kQueryNot, 1, cmp[0], nullptr, nullptr);
    EXPECT_TRUE(q7test::FullMatch(MessageOf([&] { negation->Stage2(0, nullptr); }),
                                  "QueryExec\\.cpp:[0-9]+ Unknown node type: 17"));
    EXPECT_TRUE(q7test::FullMatch(MessageOf([&] { negation->Execute(); }),
                                  "QueryExec\\.cpp:[0-9]+ Unknown node type\\(17\\)"));
    EXPECT_EQ(CodeOf([&] { negation->MppExecute(); }), Q7_ERROR_QUERY_INTERNAL);
  }
}

std::string DumpOf(TQueryTree& tree) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buf, &size);
  tree.Dump(out, "Checked", "");
  fclose(out);
  std::string text(buf, size);
  free(buf);
  return text;
}

TEST_F(QueryExec, DumpShowsFiltersAndConstants) {
  TQueryTree tree(t_, 0);
  ASSERT_EQ(QueryParse(
                &tree,
                "NOT (i = 5 AND d > 2.5 AND T.dt <> '2024/2/29' AND tm = '10:30' AND ts = '2024/1/2 3:04:05' "
                "AND s NOT LEFT MATCH 'AB' AND n >= 1.5 AND dt = '' AND n IS NULL)"),
            0);
  tree.top = tree.top->Stage1(false);
  tree.top->Stage2(0, nullptr);
  EXPECT_EQ(DumpOf(tree),
            "Checked\n"
            " `- Operator(OR):\n"
            "     |- Operator(OR):\n"
            "     |   |- Operator(OR):\n"
            "     |   |   |- Operator(OR):\n"
            "     |   |   |   |- Operator(OR):\n"
            "     |   |   |   |   |- Operator(OR):\n"
            "     |   |   |   |   |   |- Operator(OR):\n"
            "     |   |   |   |   |   |   |- Operator(OR):\n"
            "     |   |   |   |   |   |   |   |- Operator(NE):\n"
            "     |   |   |   |   |   |   |   |   |- Filter - \"T\".\"i\"\n"
            "     |   |   |   |   |   |   |   |   `- Const::Integer - 5\n"
            "     |   |   |   |   |   |   |   `- Operator(LE):\n"
            "     |   |   |   |   |   |   |       |- Filter - \"T\".\"d\"\n"
            "     |   |   |   |   |   |   |       `- Const::Double - 2.500000\n"
            "     |   |   |   |   |   |   `- Operator(EQ):\n"
            "     |   |   |   |   |   |       |- Filter - \"T\".\"dt\"\n"
            "     |   |   |   |   |   |       `- Const::Date - '2024/02/29'\n"
            "     |   |   |   |   |   `- Operator(NE):\n"
            "     |   |   |   |   |       |- Filter - \"T\".\"tm\"\n"
            "     |   |   |   |   |       `- Const::Time - '10:30:00'\n"
            "     |   |   |   |   `- Operator(NE):\n"
            "     |   |   |   |       |- Filter - \"T\".\"ts\"\n"
            "     |   |   |   |       `- Const::DateTime - '2024/01/02 03:04:05'\n"
            "     |   |   |   `- Operator(LEFT MATCH):\n"
            "     |   |   |       |- Filter - \"T\".\"s\"\n"
            "     |   |   |       `- Const::String - 'AB'\n"
            "     |   |   `- Operator(LT):\n"
            "     |   |       |- Filter - \"T\".\"n\"\n"
            "     |   |       `- Const::Decimal - 1.50\n"
            "     |   `- Operator(NE):\n"
            "     |       |- Filter - \"T\".\"dt\"\n"
            "     |       `- Const::Date - NULL\n"
            "     `- Operator(IS NOT NULL):\n"
            "         `- Filter - \"T\".\"n\"\n");
}

}  // namespace
