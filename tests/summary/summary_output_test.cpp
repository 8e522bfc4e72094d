// Summary results written into real tables (cell layout, category texts, measure columns by type,
// failures that must leave nothing behind) and the services over summary output tables (the
// attribute block, counting and finding summary columns, totals).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "summary/SummaryOutput.h"
#include "summary/cube/SummaryHandles.h"
#include "summary/cube/TSummary.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"

namespace {

constexpr double kDNull = -std::numeric_limits<double>::infinity();
constexpr int kIntNull = std::numeric_limits<int>::min();

struct Entry {
  std::string name;
  int code;
  std::string text;
  bool operator==(const Entry& o) const { return name == o.name && code == o.code && text == o.text; }
};
std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << "{" << e.name << ", " << std::hex << e.code << std::dec << ", \"" << e.text << "\"}";
}

std::vector<Entry> DrainRing() {
  std::vector<Entry> out;
  char name[ErrorRing::kNameSize];
  char text[ErrorRing::kMessageSize];
  int code = 0;
  int time = 0;
  while (GetErrorRing() != nullptr && GetErrorRing()->Get(&time, name, &code, text) == 1) {
    out.push_back({name, code, text});
  }
  return out;
}

class SummaryOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = CSmpEngine::Instance()->Database();
    for (int p = 0; p < db_->TableCount(); ++p) before_.insert(db_->TableAt(p)->FTableID);
    DrainRing();
  }
  void TearDown() override {
    PurgeSummaries();
    std::vector<int> made;
    for (int p = 0; p < db_->TableCount(); ++p) {
      if (before_.count(db_->TableAt(p)->FTableID) == 0) made.push_back(db_->TableAt(p)->FTableID);
    }
    for (auto it = made.rbegin(); it != made.rend(); ++it) db_->DelTable(*it);
  }

  TRealTable* AddTable(const char* name, int rows) {
    std::vector<char> buf(name, name + strlen(name) + 1);
    const int id = db_->AddRealTable(buf.data(), rows);
    EXPECT_GT(id, 0);
    return static_cast<TRealTable*>(db_->GetTable(id));
  }
  static int AddColumn(TRealTable* t, const char* name, int type, int width, const void* data) {
    std::vector<char> buf(name, name + strlen(name) + 1);
    const int id = t->AddFilter2(1024, buf.data(), type, t->TotalRecs(), width, data, 0, -1);
    EXPECT_GT(id, 0);
    return id;
  }
  static int AddInts(TRealTable* t, const char* name, std::vector<int> v) {
    return AddColumn(t, name, Q7_TYPE_INTEGER, 4, v.data());
  }
  static int AddDoubles(TRealTable* t, const char* name, std::vector<double> v, int type = Q7_TYPE_DOUBLE) {
    return AddColumn(t, name, type, 8, v.data());
  }
  static int AddStrings(TRealTable* t, const char* name, const std::vector<std::string>& v) {
    std::vector<const char*> p;
    for (const auto& s : v) p.push_back(s.c_str());
    return AddColumn(t, name, Q7_TYPE_STRING, 8, p.data());
  }
  int Output(int id) { return static_cast<TRealTable*>(db_->GetTable(id))->FTableID; }
  TRealTable* Table(int id) { return static_cast<TRealTable*>(db_->GetTable(id)); }

  // Opens and executes handle 0 over identity dimensions.
  static void OpenExec(TRealTable* t, std::vector<int> dims, int measure, int bits = 15) {
    std::vector<_TDimensionDef> defs(dims.size());
    for (size_t d = 0; d < dims.size(); ++d) defs[d].column_id = dims[d];
    ASSERT_EQ(innerQ7SummaryOpen(0, t->FTableID, 1, static_cast<int>(dims.size()), defs.data(), measure), 0);
    int computed = 0;
    ASSERT_EQ(innerQ7SummaryExec(0, bits, &computed), 0);
  }

  TTableCollection* db_ = nullptr;
  std::set<int> before_;
};

// The columns of a table in display order: name, basic or extended type, and per row the value.
struct Column {
  std::string name;
  int type = 0;
  TFilter* f = nullptr;
  int Vno(int row) const { return f->PV->PIntAr()[row + 1]; }
  double Dbl(int row) const { return static_cast<TDoubleArray*>(f->VL)->GetDouble(Vno(row)); }
  int Int(int row) const { return *static_cast<int*>(f->VL->GetAddress(Vno(row))); }
  std::string Str(int row) const { return static_cast<const char*>(f->VL->GetAddress(Vno(row))); }
  Numeric Dec(int row) const { return *static_cast<Numeric*>(f->VL->GetAddress(Vno(row))); }
};

std::vector<Column> Columns(TRealTable* t) {
  std::vector<Column> out;
  for (int i = 0; i < t->FnFilter; ++i) {
    TFilter* f = t->FFilters[i];
    int type = f->VL->GetDataType();
    if (type == Q7_TYPE_DOUBLE) type = static_cast<TDoubleArray*>(f->VL)->GetExtendType();
    out.push_back({f->FFilterName, type, f});
  }
  return out;
}

std::vector<std::string> Names(const std::vector<Column>& cols) {
  std::vector<std::string> out;
  for (const auto& c : cols) out.push_back(c.name);
  return out;
}

TEST_F(SummaryOutputTest, RowsFollowTheCellsAndMatchAGroupBy) {
  // a: NULL, 5, 7 (3 categories); b: NULL, x, y, z (4); m a double with NULLs.
  const std::vector<int> a = {5, 7, 5, kIntNull, 7, 5, 7, 5, kIntNull, 7};
  const std::vector<std::string> b = {"x", "y", "x", "z", "", "y", "x", "z", "x", "y"};
  const std::vector<double> m = {1.5, 2, kDNull, 4, 8, kDNull, 16, 0.25, 3, 5};
  TRealTable* t = AddTable("src", 10);
  const int fa = AddInts(t, "a", a);
  const int fb = AddStrings(t, "b", b);
  const int fm = AddDoubles(t, "m", m);
  OpenExec(t, {fa, fb}, fm);

  // The group-by, on categories taken from the values' ranks (NULL first).
  struct Cell {
    int count = 0;
    double sum = 0, max = kDNull, min = kDNull;
  };
  std::map<int, Cell> want;
  auto rank_a = [](int v) { return v == kIntNull ? 0 : v == 5 ? 1 : 2; };
  auto rank_b = [](const std::string& s) { return s.empty() ? 0 : s[0] - 'x' + 1; };
  for (size_t r = 0; r < a.size(); ++r) {
    if (m[r] == kDNull) continue;
    Cell& c = want[rank_a(a[r]) * 4 + rank_b(b[r])];
    c.max = c.count == 0 ? m[r] : std::max(c.max, m[r]);
    c.min = c.count == 0 ? m[r] : std::min(c.min, m[r]);
    ++c.count;
    c.sum += m[r];
  }

  for (int skip : {0, 1}) {
    SCOPED_TRACE(skip ? "skipping empty cells" : "every cell");
    const int id = innerQ7SummaryIntoRealTable(0, 31, skip);
    ASSERT_GT(id, 0);
    TRealTable* out = Table(id);
    EXPECT_EQ(std::string(out->FTableName).rfind("XTBL_src", 0), 0u) << out->FTableName;
    const auto cols = Columns(out);
    ASSERT_EQ(Names(cols), (std::vector<std::string>{"a", "b", "COUNT", "MAX", "MIN", "SUM", "AVERAGE"}));
    EXPECT_EQ(cols[0].type, Q7_TYPE_INTEGER);
    EXPECT_EQ(cols[1].type, Q7_TYPE_STRING);
    EXPECT_EQ(cols[3].type, Q7_TYPE_DOUBLE);
    EXPECT_EQ(cols[5].type, Q7_TYPE_DOUBLE);

    std::vector<int> cells;
    for (int c = 0; c < 12; ++c) {
      if (!skip || want.count(c)) cells.push_back(c);
    }
    ASSERT_EQ(out->TotalRecs(), static_cast<int>(cells.size()));
    EXPECT_EQ(cols[0].f->PV->PIntAr()[0], 0);
    for (size_t r = 0; r < cells.size(); ++r) {
      const int c = cells[r];
      const int row = static_cast<int>(r);
      SCOPED_TRACE("cell " + std::to_string(c));
      EXPECT_EQ(cols[0].Vno(row), c / 4);
      EXPECT_EQ(cols[1].Vno(row), c % 4);
      const Cell w = want.count(c) ? want[c] : Cell{};
      EXPECT_EQ(cols[2].Int(row), w.count);
      EXPECT_EQ(cols[3].Dbl(row), w.max);
      EXPECT_EQ(cols[4].Dbl(row), w.min);
      EXPECT_EQ(cols[5].Dbl(row), w.count ? w.sum : kDNull);
      EXPECT_EQ(cols[6].Dbl(row), w.count ? w.sum / w.count : kDNull);
    }
    if (!skip) {
      // The identity dimensions carry the source values under the same numbers.
      EXPECT_EQ(cols[0].Int(4), 5);
      EXPECT_EQ(cols[1].Str(3), "z");
    }
  }
  // The output reads the sums, it does not turn them into averages.
  int cats[TSummary::kMaxDims] = {2, 2};
  int rt, vt, count;
  void* value = nullptr;
  ASSERT_EQ(innerQ7SummaryRead(0, kSumSum, cats, &rt, &vt, &count, &value), 0);
  EXPECT_EQ(*static_cast<double*>(value), 7.0);
}

TEST_F(SummaryOutputTest, NoDimensionGivesOneRowOfMeasures) {
  TRealTable* t = AddTable("flat", 3);
  const int fm = AddInts(t, "m", {4, kIntNull, 9});
  OpenExec(t, {}, fm);
  const int id = innerQ7SummaryIntoRealTable(0, 31, 0);
  ASSERT_GT(id, 0);
  const auto cols = Columns(Table(id));
  EXPECT_EQ(Table(id)->TotalRecs(), 1);
  ASSERT_EQ(Names(cols), (std::vector<std::string>{"COUNT", "MAX", "MIN", "SUM", "AVERAGE"}));
  EXPECT_EQ(cols[0].Int(0), 2);
  EXPECT_EQ(cols[1].Int(0), 9);
  EXPECT_EQ(cols[1].type, Q7_TYPE_INTEGER);
  EXPECT_EQ(cols[2].Int(0), 4);
  EXPECT_EQ(cols[3].Dbl(0), 13.0);
  EXPECT_EQ(cols[4].Dbl(0), 6.5);
}

// Category names come from the dimension's names or its callback, printed "%Nd:name" with N the
// digits of the category count + 2.
struct NamingCase {
  const char* what;
  int categories;
  bool callback;
  const char* first;
  const char* last;
};
const NamingCase kNaming[] = {
    {"7 categories: one digit", 7, false, "0:c0", "6:c6"},
    {"8 categories: two digits", 8, false, " 0:c0", " 7:c7"},
    {"named by callback", 8, true, " 0:c0", " 7:c7"},
};

struct CallbackLog {
  int handle = -1, table = -1, dim = -1, column = -1, count = -1, calls = 0;
  int refuse_at = -1;
  std::string text;
};
CallbackLog g_callback;

int NameByCallback(int handle, int table, int dim, int column, int count, int category, char** name) {
  g_callback = {handle, table, dim, column, count, g_callback.calls + 1, g_callback.refuse_at, ""};
  if (category == g_callback.refuse_at) return Q7_ERROR_INVALID_PARAMETER;
  g_callback.text = "c" + std::to_string(category);
  *name = g_callback.text.data();
  return 12345;  // any answer but the refusal counts as success
}

TEST_F(SummaryOutputTest, MappedDimensionNamesItsCategories) {
  for (const NamingCase& c : kNaming) {
    SCOPED_TRACE(c.what);
    TRealTable* t = AddTable("mapped", 4);
    const int f = AddInts(t, "code", {10, 20, 30, 40});  // values NULL, 10, 20, 30, 40
    std::vector<int> map = {0, 1, 1, c.categories - 1, 0};
    std::vector<std::string> texts;
    std::vector<char*> names;
    for (int k = 0; k < c.categories; ++k) texts.push_back("c" + std::to_string(k));
    for (auto& s : texts) names.push_back(s.data());
    _TDimensionDef def{f, c.categories, map.data(), c.callback ? nullptr : names.data(),
                       c.callback ? NameByCallback : nullptr};
    g_callback = {};
    ASSERT_EQ(innerQ7SummaryOpen(2, t->FTableID, 1, 1, &def, 0), 0);
    int computed = 0;
    ASSERT_EQ(innerQ7SummaryExec(2, 1, &computed), 0);
    const int id = innerQ7SummaryIntoRealTable(2, 31, 0);
    ASSERT_GT(id, 0);
    const auto cols = Columns(Table(id));
    ASSERT_EQ(Names(cols), (std::vector<std::string>{"code", "COUNT"}));
    ASSERT_EQ(cols[0].type, Q7_TYPE_STRING);
    EXPECT_EQ(cols[0].f->VL->FArraySize, c.categories + 1);
    EXPECT_STREQ(static_cast<const char*>(cols[0].f->VL->GetAddress(0)), "");
    EXPECT_EQ(cols[0].Str(0), c.first);
    EXPECT_EQ(cols[0].Str(c.categories - 1), c.last);
    EXPECT_EQ(cols[0].Vno(1), 2);  // category 1 is list entry 2
    EXPECT_EQ(cols[1].Int(1), 2);  // 10 and 20
    if (c.callback) {
      EXPECT_EQ(g_callback.calls, c.categories);
      EXPECT_EQ(g_callback.handle, 2);
      EXPECT_EQ(g_callback.table, id);
      EXPECT_EQ(g_callback.dim, 0);
      EXPECT_EQ(g_callback.column, f);
      EXPECT_EQ(g_callback.count, c.categories);
    }
    EXPECT_EQ(innerQ7SummaryClose(2), 0);
  }
}

TEST_F(SummaryOutputTest, RefusingCallbackDeletesTheOutputTable) {
  TRealTable* t = AddTable("refused", 3);
  const int f = AddInts(t, "code", {1, 2, 3});
  std::vector<int> map = {0, 1, 2, 2};
  _TDimensionDef def{f, 3, map.data(), nullptr, NameByCallback};
  ASSERT_EQ(innerQ7SummaryOpen(0, t->FTableID, 1, 1, &def, 0), 0);
  int computed = 0;
  ASSERT_EQ(innerQ7SummaryExec(0, 1, &computed), 0);
  const int tables = db_->TableCount();
  g_callback = {};
  g_callback.refuse_at = 1;
  DrainRing();
  EXPECT_EQ(innerQ7SummaryIntoRealTable(0, 31, 0), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(db_->TableCount(), tables);
  EXPECT_EQ(DrainRing(), (std::vector<Entry>{{"SummaryIntoRealTable", Q7_ERROR_INVALID_PARAMETER,
                                              "Invalid Parameter : CallBackRet"}}));
  g_callback.refuse_at = -1;
  EXPECT_GT(innerQ7SummaryIntoRealTable(0, 31, 0), 0);
}

TEST_F(SummaryOutputTest, StringMeasureGivesCountMaxMin) {
  TRealTable* t = AddTable("texts", 4);
  const int fd = AddInts(t, "d", {1, 1, 2, 1});  // categories NULL, 1, 2: cell 0 is empty
  const int fm = AddStrings(t, "m", {"pear", "", "fig", "apple"});
  OpenExec(t, {fd}, fm);
  const int id = innerQ7SummaryIntoRealTable(0, 31, 0);
  ASSERT_GT(id, 0);
  const auto cols = Columns(Table(id));
  ASSERT_EQ(Names(cols), (std::vector<std::string>{"d", "COUNT", "MAX", "MIN"}));
  EXPECT_EQ(cols[2].type, Q7_TYPE_STRING);
  EXPECT_EQ(cols[1].Int(0), 0);
  EXPECT_EQ(cols[2].Str(0), "");
  EXPECT_EQ(cols[1].Int(1), 3);  // a STRING measure counts its NULL rows
  EXPECT_EQ(cols[2].Str(1), "pear");
  EXPECT_EQ(cols[3].Str(1), "apple");
  EXPECT_EQ(cols[3].Str(2), "fig");
}

TEST_F(SummaryOutputTest, DateMeasureKeepsItsKindInMaxAndMin) {
  TRealTable* t = AddTable("dates", 3);
  const int fd = AddInts(t, "d", {1, 1, 1});
  const int fm = AddDoubles(t, "when", {45000, 45010, kDNull}, Q7_TYPE_DATE);
  OpenExec(t, {fd}, fm);
  const int id = innerQ7SummaryIntoRealTable(0, 31, 1);
  ASSERT_GT(id, 0);
  const auto cols = Columns(Table(id));
  ASSERT_EQ(Names(cols), (std::vector<std::string>{"d", "COUNT", "MAX", "MIN", "SUM", "AVERAGE"}));
  EXPECT_EQ(cols[2].type, Q7_TYPE_DATE);
  EXPECT_EQ(cols[3].type, Q7_TYPE_DATE);
  EXPECT_EQ(cols[4].type, Q7_TYPE_DOUBLE);
  EXPECT_EQ(cols[5].type, Q7_TYPE_DOUBLE);
  EXPECT_EQ(cols[2].Dbl(0), 45010);
  EXPECT_EQ(cols[3].Dbl(0), 45000);
  EXPECT_EQ(cols[5].Dbl(0), 45005);
}

TEST_F(SummaryOutputTest, DecimalSumAndAverageKeepTheMeasureScale) {
  TRealTable* t = AddTable("money", 4);
  const int fd = AddInts(t, "d", {1, 1, 1, 2});
  // Units at scale 2: 1.00, 1.00, 0.01 -> SUM 2.01, AVERAGE 0.67 (half up); 5.00 alone.
  std::vector<Numeric> v = {{100, 0}, {100, 0}, {1, 0}, {500, 0}};
  const int fm = AddColumn(t, "amount", Q7_TYPE_DECIMAL, 16, v.data());
  static_cast<TNumericArray*>(t->GetFilter(fm)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
  OpenExec(t, {fd}, fm);
  const int id = innerQ7SummaryIntoRealTable(0, 31, 1);
  ASSERT_GT(id, 0);
  const auto cols = Columns(Table(id));
  ASSERT_EQ(Names(cols), (std::vector<std::string>{"d", "COUNT", "MAX", "MIN", "SUM", "AVERAGE"}));
  for (int c = 2; c < 6; ++c) {
    SCOPED_TRACE(cols[c].name);
    ASSERT_EQ(cols[c].type, Q7_TYPE_DECIMAL);
    EXPECT_EQ(static_cast<TNumericArray*>(cols[c].f->VL)->GetScale(), 2);
  }
  EXPECT_EQ(cols[4].Dec(0).low, 201u);
  EXPECT_EQ(cols[5].Dec(0).low, 67u);
  EXPECT_EQ(cols[5].Dec(1).low, 500u);
  EXPECT_EQ(cols[2].Dec(0).low, 100u);
  EXPECT_EQ(cols[3].Dec(0).low, 1u);
}

TEST_F(SummaryOutputTest, FailedAppendDropsTheColumnsItAdded) {
  TRealTable* t = AddTable("flat", 2);
  const int fm = AddInts(t, "m", {4, 6});
  OpenExec(t, {}, fm);
  // One row, two columns short of the filter limit: COUNT and SUM fit, AVERAGE does not.
  TRealTable* target = AddTable("target", 1);
  for (int i = 0; i < TRealTable::kMaxFilters - 2; ++i) {
    char name[] = "x";
    ASSERT_GT(target->AddEmptyFilter(1024, name, Q7_TYPE_INTEGER, 0, -1), 0);
  }
  EXPECT_EQ(innerQ7AppendSummaryToRealTable(0, target->FTableID, kSumCount | kSumSum | kSumAverage, 0),
            Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(target->FnFilter, TRealTable::kMaxFilters - 2);
  EXPECT_EQ(innerQ7AppendSummaryToRealTable(0, target->FTableID, kSumCount | kSumSum, 0), 0);
  EXPECT_EQ(target->FnFilter, TRealTable::kMaxFilters);
}

TEST_F(SummaryOutputTest, HandleAndTableRefusals) {
  TRealTable* t = AddTable("src", 2);
  const int fm = AddInts(t, "m", {4, 6});
  _TDimensionDef none{};
  ASSERT_EQ(innerQ7SummaryOpen(1, t->FTableID, 1, 0, &none, fm), 0);  // open, not executed
  OpenExec(t, {}, fm);                                                // handle 0 executed
  TRealTable* shared = AddTable("shared", 1);
  shared->FShmImage = 1;

  const char kHandleText[] = "Invalid Parameter : SumHandle";
  struct Case {
    const char* what;
    bool append;
    int handle;
    int table;
    int code;
    std::vector<Entry> ring;
  };
  const Case cases[] = {
      {"into: handle 8",
       false,
       8,
       0,
       Q7_ERROR_INVALID_SUM_HANDLE,
       {{"Q7SummaryIntoRealTable", Q7_ERROR_INVALID_SUM_HANDLE, kHandleText}}},
      {"into: free handle",
       false,
       5,
       0,
       Q7_ERROR_NO_SUCH_SUMMARY,
       {{"Q7SummaryIntoRealTable", Q7_ERROR_NO_SUCH_SUMMARY, kHandleText}}},
      {"into: not executed",
       false,
       1,
       0,
       Q7_ERROR_INVALID_OUTPUT_PARAMETER,
       {{"Q7SummaryIntoRealTable", Q7_ERROR_INVALID_OUTPUT_PARAMETER, kHandleText}}},
      {"append: handle -1", true, -1, 0, Q7_ERROR_INVALID_SUM_HANDLE, {}},
      {"append: free handle", true, 5, 0, Q7_ERROR_NO_SUCH_SUMMARY, {}},
      {"append: not executed", true, 1, 0, Q7_ERROR_INVALID_OUTPUT_PARAMETER, {}},
      {"append: no table",
       true,
       0,
       999999,
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999999"},
        {"AppendSummaryToRealTable", Q7_ERROR_UNKNOWN, "No Such Table: 999999 "}}},
      {"append: shared table", true, 0, shared->FTableID, Q7_ERROR_SHARED_READ_ONLY, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DrainRing();
    const int tables = db_->TableCount();
    const int got = c.append ? innerQ7AppendSummaryToRealTable(c.handle, c.table, 31, 0)
                             : innerQ7SummaryIntoRealTable(c.handle, 31, 0);
    EXPECT_EQ(got, c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(db_->TableCount(), tables);
  }
  EXPECT_EQ(shared->FnFilter, 0);
  shared->FShmImage = 0;
}

// ---- The attribute block and the services over output tables ----

TEST_F(SummaryOutputTest, BlockWriterLaysOutEveryColumn) {
  TRealTable* out = AddTable("out", 1);
  std::vector<int> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(AddInts(out, "c", {i}));
  SummaryInfoCounters counters;
  // Two dimensions from source columns 7 and 9, then COUNT, SUM and AVERAGE of column 3.
  const int kinds[] = {1, 1, 2, 2, 2};
  const int bits[] = {0, 0, 1, 8, 16};
  const int sources[] = {7, 9, 3, 3, 3};
  for (int i = 0; i < 5; ++i) {
    WriteSummaryColumnInfo(out, ids[i], sum_attr::kNonCubeSummary, true, 2, 0x01020304, 5, sources[i],
                           kinds[i], bits[i], &counters);
  }
  const uint8_t want_head[5][8] = {
      {2, 1, 0, 2, 0, 0, 2, 3}, {2, 1, 0, 2, 0, 1, 2, 3},  {2, 2, 1, 2, 0, 0, 2, 3},
      {2, 2, 8, 2, 0, 1, 2, 3}, {2, 2, 16, 2, 0, 2, 2, 3},
  };
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const uint8_t* block = out->GetFilter(ids[i])->PV->FUserArea;
    EXPECT_EQ(std::vector<uint8_t>(block, block + 8), std::vector<uint8_t>(want_head[i], want_head[i] + 8));
    const uint8_t tail[12] = {4, 3, 2, 1, 5, 0, 0, 0, static_cast<uint8_t>(sources[i]), 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(block + 8, block + 20), std::vector<uint8_t>(tail, tail + 12));
    EXPECT_EQ(std::count(block + 20, block + 64, 0), 44);
  }
  EXPECT_THROW(WriteSummaryColumnInfo(out, ids[0], 2, false, 2, 1, 1, 1, 3, 0, &counters), CQ7Exception);
  EXPECT_THROW(WriteSummaryColumnInfo(out, ids[0], 2, false, 2, 1, 1, 1, 2, 32, &counters), CQ7Exception);
  EXPECT_THROW(WriteSummaryColumnInfo(out, 99, 2, false, 2, 1, 1, 1, 2, 1, &counters), CQ7Exception);

  // What the services read of it.
  int dims = -1, measures = -1;
  EXPECT_EQ(innerQ7IsSummaryOutputTable(out->FTableID, &dims, &measures), 1);
  EXPECT_EQ(std::make_pair(dims, measures), std::make_pair(2, 3));
  EXPECT_EQ(innerQ7DimNo2FilterID(out->FTableID, 1, 1), ids[1]);
  EXPECT_EQ(innerQ7DimNo2FilterID(out->FTableID, 2, 2), ids[4]);
  EXPECT_EQ(innerQ7DimNo2FilterID(out->FTableID, 2, 3), Q7_ERROR_NO_SUCH_DIMENSION);
  EXPECT_EQ(innerQ7DimNo2FilterID(out->FTableID, 3, 0), Q7_ERROR_NO_SUCH_DIMENSION);
  AddInts(out, "plain", {0});
  EXPECT_EQ(innerQ7IsSummaryOutputTable(out->FTableID, &dims, &measures), 2);
  char block[64] = {};
  block[1] = 3;
  ASSERT_EQ(innerQ7SetSumFilterAttr(out->FTableID, ids[0], block), 0);
  EXPECT_EQ(innerQ7IsSummaryOutputTable(out->FTableID, &dims, &measures), Q7_ERROR_NOT_SUMMARY_OUTPUT);
  EXPECT_EQ(std::make_pair(dims, measures), std::make_pair(0, 0));
}

TEST_F(SummaryOutputTest, PlainTableIsNoSummaryOutput) {
  TRealTable* t = AddTable("plain", 1);
  const int f = AddInts(t, "c", {1});
  int dims = -1, measures = -1;
  EXPECT_EQ(innerQ7IsSummaryOutputTable(t->FTableID, &dims, &measures), 0);
  EXPECT_EQ(std::make_pair(dims, measures), std::make_pair(0, 0));
  EXPECT_EQ(innerQ7DimNo2FilterID(t->FTableID, 1, 0), 0);
  EXPECT_EQ(innerQ7IsSummaryOutputTable(999999, &dims, &measures), Q7_ERROR_NO_SUCH_TABLE);

  // The block round trip, and a shared table refused before its column is looked up.
  char in[64], back[64];
  for (int i = 0; i < 64; ++i) in[i] = static_cast<char>(i * 3);
  ASSERT_EQ(innerQ7SetSumFilterAttr(t->FTableID, f, in), 0);
  ASSERT_EQ(innerQ7GetSumFilterAttr(t->FTableID, f, back), 0);
  EXPECT_EQ(memcmp(in, back, 64), 0);
  EXPECT_EQ(innerQ7GetSumFilterAttr(t->FTableID, 77, back), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(innerQ7SetSumFilterAttr(t->FTableID, 77, in), Q7_ERROR_NO_SUCH_FILTER);
  t->FShmImage = 1;
  EXPECT_EQ(innerQ7SetSumFilterAttr(t->FTableID, 77, in), Q7_ERROR_SHARED_READ_ONLY);
  t->FShmImage = 0;
}

TEST_F(SummaryOutputTest, CalcTotalChecksTheColumnAndSkipsNulls) {
  TRealTable* t = AddTable("totals", 4);
  const int count = AddInts(t, "COUNT", {3, kIntNull, 4, 2});
  const int avg = AddDoubles(t, "AVERAGE", {1.5, 2.5, kDNull, 4});
  const int dim = AddInts(t, "d", {1, 2, 3, 4});
  const int plain = AddInts(t, "p", {1, 1, 1, 1});
  const int text = AddStrings(t, "s", {"a", "b", "c", "d"});
  std::vector<Numeric> v = {{1, 0}, {2, 0}, {3, 0}, {4, 0}};
  const int dec = AddColumn(t, "dec", Q7_TYPE_DECIMAL, 16, v.data());
  auto mark = [&](int column, int kind, int bit) {
    char block[64] = {};
    block[1] = static_cast<char>(kind);
    block[2] = static_cast<char>(bit);
    ASSERT_EQ(innerQ7SetSumFilterAttr(t->FTableID, column, block), 0);
  };
  mark(count, 2, 1);
  mark(avg, 2, 16);
  mark(dim, 1, 0);
  auto only_nulls = std::make_unique<TSetArray>(1, 0);
  only_nulls->PIntAr()[0] = 2;
  const int null_set = t->AddSetWithoutCopy(only_nulls.release());
  const int empty_set = t->AddSetWithoutCopy(new TSetArray(0, 0));

  struct Case {
    const char* what;
    int set, column, mode, code;
    double total;
  };
  const Case cases[] = {
      {"COUNT column, checked", 1, count, 0, 0, 9},
      {"AVERAGE column, checked", 1, avg, 0, Q7_ERROR_CALC_TOTAL_TYPE, kDNull},
      {"AVERAGE column, plain", 1, avg, 1, 0, 8},
      {"dimension, checked", 1, dim, 0, Q7_ERROR_CALC_TOTAL_KIND, kDNull},
      {"unmarked, checked", 1, plain, 0, Q7_ERROR_NOT_SUMMARY_OUTPUT, kDNull},
      {"unmarked, plain", 1, plain, 1, 0, 4},
      {"STRING column", 1, text, 1, Q7_ERROR_CALC_TYPE, kDNull},
      {"DECIMAL column", 1, dec, 1, Q7_ERROR_CALC_TYPE, kDNull},
      {"mode 2", 1, count, 2, Q7_ERROR_INVALID_PARAMETER, kDNull},
      {"set of NULLs", null_set, count, 0, 0, 0},
      {"empty set", empty_set, count, 0, 0, 0},
      {"no set", 99, count, 0, Q7_ERROR_NO_SUCH_SET, kDNull},
      {"no column", 1, 99, 0, Q7_ERROR_NO_SUCH_FILTER, kDNull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double total = 123;
    EXPECT_EQ(innerQ7CalcTotal(t->FTableID, c.set, c.column, c.mode, &total), c.code);
    EXPECT_EQ(total, c.total);
  }
  double total = 0;
  EXPECT_EQ(SummaryColumnTotal(t->FTableID, 1, dec, 1, true, &total), 0);
  EXPECT_DOUBLE_EQ(total, 10.0 / 1e6);  // the default decimal scale is 6
}

TEST(SummaryFixedPoint, SplitsAndRebuilds) {
  struct Case {
    double x, scale;
    long long integer, fraction;
  };
  const Case cases[] = {{-2.75, 100, -2, -75}, {2.75, 100, 2, 75}, {0.125, 100, 0, 13}, {7, 1000, 7, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    long long integer = 0, fraction = 0;
    EXPECT_EQ(FP2Int(c.x, c.scale, &integer, &fraction), 0);
    EXPECT_EQ(integer, c.integer);
    EXPECT_EQ(fraction, c.fraction);
  }
  double back = 0;
  EXPECT_EQ(Int2FP(-2, -75, 100, &back), 0);
  EXPECT_EQ(back, -2.75);
}

// A rounded sum keeps whole parts past 64 bits: the value is fraction / scale + the whole parts'
// exact sum, however the parts were added and weighted.
TEST(SummaryFixedPoint, RoundedSumsPassThe64BitIntegers) {
  struct Case {
    const char* what;
    std::vector<double> values;
    long long times;
    double want;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"within range, as Int2FP", {-2.75, 0.125}, 1, -62.0 / 100 + -2},
      {"two past 2^63", {1e19, 2e19}, 1, 3e19},
      {"each below 2^63, weighted past 2^64", {0x1p62, 0x1p62 - 1024}, 3, 3 * (0x1p63 - 1024)},
      {"past 2^63 cancels, the fraction stays", {-0x1p63, 0.5, 0x1p63}, 2, 100.0 / 100},
      {"NaN", {1.5, nan}, 1, nan},
      {"infinity counted no times", {inf, 1.5}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RoundedSum part;
    for (double x : c.values) AddRounded(x, 100, &part);
    RoundedSum sum;
    AddRoundedTimes(part, c.times, &sum);
    const double got = RoundedValue(sum, 100);
    if (std::isnan(c.want)) {
      EXPECT_TRUE(std::isnan(got));
    } else {
      EXPECT_EQ(got, c.want);
    }
  }
}

}  // namespace
