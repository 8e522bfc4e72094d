// The serial non-cube summary of a real table: group-bys of 1 to 5 dimensions of every kind with
// every measure mask against a hash-map group-by over the rows, the edge shapes, the request
// refusals, the attribute blocks and display digits of the output, and cleanup after a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/TNonCubeSum.h"
#include "tests/summary/engine_tables_support.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"

namespace {

constexpr int kNullInt = std::numeric_limits<int>::min();
constexpr double kNullDouble = -std::numeric_limits<double>::infinity();

std::string Text(double v) {
  if (v == kNullDouble) return "NULL";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  return buf;
}
std::string Text(int v) { return v == kNullInt ? "NULL" : std::to_string(v); }
std::string DecimalText(const Numeric& x, int scale) {
  if (q7num::IsNan(x)) return "NULL";
  NumericInfo info{scale, Q7_ROUND_HALF_UP};
  double d = 0;
  q7num::NumericNum2Dbl(&x, &info, &d);
  return Text(d);
}

// Value v of a column's list as text.
std::string ValueText(TFilter* f, int v) {
  void* p = f->VL->GetAddress(v);
  switch (f->VL->GetDataType()) {
    case Q7_TYPE_INTEGER:
      return Text(*static_cast<int*>(p));
    case Q7_TYPE_DOUBLE:
      return Text(*static_cast<double*>(p));
    case Q7_TYPE_DECIMAL:
      return DecimalText(*static_cast<Numeric*>(p), static_cast<TNumericArray*>(f->VL)->GetScale());
    default: {
      const std::string s(static_cast<char*>(p));
      return s.empty() ? "NULL" : s;
    }
  }
}

// "name:kind/scale" of a column.
std::string Header(TFilter* f) {
  const int type = f->VL->GetDataType();
  int kind = type;
  int scale = 0;
  if (type == Q7_TYPE_DOUBLE) kind = static_cast<TDoubleArray*>(f->VL)->GetExtendType();
  if (type == Q7_TYPE_DECIMAL) scale = static_cast<TNumericArray*>(f->VL)->GetScale();
  return std::string(f->FFilterName) + ":" + std::to_string(kind) + "/" + std::to_string(scale);
}

struct TableTexts {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

TableTexts ReadTable(TRealTable* t) {
  TableTexts out;
  const int rows = t->TotalRecs();
  out.rows.assign(static_cast<size_t>(rows), {});
  for (int c = 0; c < t->FnFilter; ++c) {
    TFilter* f = t->FFilters[c];
    out.header.push_back(Header(f));
    for (int r = 1; r <= rows; ++r) out.rows[r - 1].push_back(ValueText(f, f->PV->PIntAr()[r]));
  }
  return out;
}

class NonCubeRealTest : public EngineTablesTest {
 public:
  // The loaders below build their tables through the fixture.
  using EngineTablesTest::Add;
  using EngineTablesTest::NewTable;

  int AddStrings(int table, const char* name, const std::vector<std::string>& values) {
    std::vector<const char*> p;
    for (const std::string& s : values) p.push_back(s.c_str());
    return Add(table, name, Q7_TYPE_STRING, 8, p.data());
  }
  // DECIMAL at scale 2 from cents (kNullInt: NULL).
  int AddCents(int table, const char* name, const std::vector<int>& cents) {
    std::vector<Numeric> values;
    for (int c : cents) values.push_back(c == kNullInt ? q7num::NanNumeric() : q7num::FromInt128(c));
    const int id = Add(table, name, Q7_TYPE_DECIMAL, 16, values.data());
    static_cast<TNumericArray*>(Table(table)->GetFilter(id)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
    return id;
  }

  // Runs the serial summary; the new table's ID or the code it ended with.
  int Run(int table, int set, std::vector<int> dims, std::vector<int> measures, std::vector<int> masks,
          std::vector<int> decimals = {}, int n_dims = -100) {
    if (decimals.empty()) decimals.assign(measures.size(), -1);
    if (n_dims == -100) n_dims = static_cast<int>(dims.size());
    try {
      TNonCubeSum sum(table, set, n_dims, dims.data(), static_cast<int>(measures.size()), measures.data(),
                      masks.data(), decimals.data());
      if (sum.Result() > 0) tables_.push_back(sum.Result());
      return sum.Result();
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  }
};

// A table of every dimension and measure kind, with NULLs, repeats and exact halves.
struct Sales {
  int table = 0;
  int rows = 0;
  std::vector<int> dims;      // INTEGER, DOUBLE, DATE, STRING, DECIMAL
  std::vector<int> measures;  // INTEGER, DOUBLE, DATETIME, DECIMAL, STRING
};

Sales LoadSales(NonCubeRealTest* test, int rows) {
  Sales s;
  s.rows = rows;
  s.table = test->NewTable("sales", rows);
  std::vector<int> ik, qi, am_dim, am;
  std::vector<double> dk, tk, pd, dt;
  std::vector<std::string> sk, nm;
  const char* regions[] = {"", "east", "north", "south", "west"};
  const char* names[] = {"", "ann", "bob", "cy", "dee"};
  for (int r = 0; r < rows; ++r) {
    const unsigned h = static_cast<unsigned>(r) * 2654435761u;
    ik.push_back(h % 11 == 0 ? kNullInt : static_cast<int>((h >> 9) % 4) - 1);
    dk.push_back(h % 13 == 0 ? kNullDouble : 0.5 * static_cast<double>((h >> 12) % 3));
    tk.push_back(h % 17 == 0 ? kNullDouble : 19000.0 + static_cast<double>((h >> 14) % 3));
    sk.push_back(regions[(h >> 7) % 5]);
    am_dim.push_back(h % 19 == 0 ? kNullInt : static_cast<int>((h >> 16) % 2) * 150);
    qi.push_back(h % 7 == 0 ? kNullInt : static_cast<int>((h >> 13) % 50) - 10);
    pd.push_back(h % 5 == 0 ? kNullDouble : 0.5 * static_cast<double>((h >> 11) % 400) - 20.0);
    dt.push_back(h % 6 == 0 ? kNullDouble : 1.7e9 + static_cast<double>((h >> 5) % 90) * 3600.0);
    am.push_back(h % 9 == 0 ? kNullInt : static_cast<int>((h >> 15) % 100000) - 20000);
    nm.push_back(names[(h >> 3) % 5]);
  }
  s.dims.push_back(test->Add(s.table, "ik", Q7_TYPE_INTEGER, 4, ik.data()));
  s.dims.push_back(test->Add(s.table, "dk", Q7_TYPE_DOUBLE, 8, dk.data()));
  s.dims.push_back(test->Add(s.table, "tk", Q7_TYPE_DATE, 8, tk.data()));
  s.dims.push_back(test->AddStrings(s.table, "sk", sk));
  s.dims.push_back(test->AddCents(s.table, "nk", am_dim));
  s.measures.push_back(test->Add(s.table, "qi", Q7_TYPE_INTEGER, 4, qi.data()));
  s.measures.push_back(test->Add(s.table, "pd", Q7_TYPE_DOUBLE, 8, pd.data()));
  s.measures.push_back(test->Add(s.table, "dt", Q7_TYPE_DATETIME, 8, dt.data()));
  s.measures.push_back(test->AddCents(s.table, "am", am));
  s.measures.push_back(test->AddStrings(s.table, "nm", nm));
  return s;
}

// The expected table of a request, from a hash map over the set's rows keyed by the dimensions'
// value numbers (a list is sorted, so value-number order is value order, NULL first).
TableTexts GroupBy(TRealTable* t, const std::vector<int>& rows, const std::vector<int>& dims,
                   const std::vector<int>& measures, const std::vector<int>& masks) {
  struct Acc {
    int count = 0;
    std::vector<int> max, min;  // value numbers; min -1 until a value
    std::vector<double> sum;
    std::vector<__int128> dsum;
  };
  struct KeyHash {
    size_t operator()(const std::vector<int>& k) const {
      size_t h = 0;
      for (int v : k) h = h * 1000003u + static_cast<size_t>(v);
      return h;
    }
  };
  const size_t nm = measures.size();
  std::unordered_map<std::vector<int>, Acc, KeyHash> groups;
  for (int row : rows) {
    std::vector<int> key;
    for (int d : dims) key.push_back(t->GetFilter(d)->PV->PIntAr()[row]);
    Acc& a = groups[key];
    if (a.count++ == 0) {
      a.max.assign(nm, 0);
      a.min.assign(nm, -1);
      a.sum.assign(nm, 0.0);
      a.dsum.assign(nm, 0);
    }
    for (size_t m = 0; m < nm; ++m) {
      TFilter* f = t->GetFilter(measures[m]);
      const int v = f->PV->PIntAr()[row];
      const int type = f->VL->GetDataType();
      a.max[m] = std::max(a.max[m], v);
      if (v != 0 && (a.min[m] < 0 || v < a.min[m])) a.min[m] = v;
      if (v == 0) continue;
      if (type == Q7_TYPE_INTEGER) a.sum[m] += *static_cast<int*>(f->VL->GetAddress(v));
      if (type == Q7_TYPE_DOUBLE) a.sum[m] += *static_cast<double*>(f->VL->GetAddress(v));
      if (type == Q7_TYPE_DECIMAL) a.dsum[m] += q7num::ToInt128(*static_cast<Numeric*>(f->VL->GetAddress(v)));
    }
  }
  std::map<std::vector<int>, const Acc*> ordered;
  for (const auto& [key, acc] : groups) ordered[key] = &acc;

  TableTexts out;
  for (int d : dims) out.header.push_back(Header(t->GetFilter(d)));
  for (size_t m = 0; m < nm; ++m) {
    TFilter* f = t->GetFilter(measures[m]);
    const std::string name = f->FFilterName;
    const int type = f->VL->GetDataType();
    const bool decimal = type == Q7_TYPE_DECIMAL;
    const std::string own = Header(f).substr(name.size());
    const std::string sum_kind = decimal ? own : ":3/0";
    if (masks[m] & 1) out.header.push_back("N<" + name + ">:2/0");
    if (masks[m] & 2) out.header.push_back("MAX<" + name + ">" + own);
    if (masks[m] & 4) out.header.push_back("MIN<" + name + ">" + own);
    if (masks[m] & 8) out.header.push_back("SUM<" + name + ">" + sum_kind);
    if (masks[m] & 16) out.header.push_back("AVG<" + name + ">" + sum_kind);
  }
  if (measures.empty()) out.header.push_back("N:2/0");
  const NumericInfo cents{2, Q7_ROUND_HALF_UP};
  for (const auto& [key, a] : ordered) {
    std::vector<std::string> row;
    for (size_t d = 0; d < dims.size(); ++d) row.push_back(ValueText(t->GetFilter(dims[d]), key[d]));
    for (size_t m = 0; m < nm; ++m) {
      TFilter* f = t->GetFilter(measures[m]);
      const bool decimal = f->VL->GetDataType() == Q7_TYPE_DECIMAL;
      if (masks[m] & 1) row.push_back(Text(a->count));
      if (masks[m] & 2) row.push_back(ValueText(f, a->max[m]));
      if (masks[m] & 4) row.push_back(ValueText(f, a->min[m] < 0 ? 0 : a->min[m]));
      for (int bit : {8, 16}) {
        if ((masks[m] & bit) == 0) continue;
        if (decimal) {
          Numeric x = q7num::FromInt128(a->dsum[m]);
          if (bit == 16) q7num::NumericDiv(&x, &cents, a->count);
          row.push_back(DecimalText(x, 2));
        } else {
          row.push_back(Text(bit == 8 ? a->sum[m] : a->sum[m] / a->count));
        }
      }
    }
    if (measures.empty()) row.push_back(Text(a->count));
    out.rows.push_back(row);
  }
  return out;
}

TEST_F(NonCubeRealTest, GroupByOfEveryShapeAndMask) {
  const Sales s = LoadSales(this, 1500);
  TRealTable* t = Table(s.table);
  // Every row, and every third row in reverse order (equal keys far apart in the set).
  std::vector<int> all(s.rows), picked;
  for (int r = 0; r < s.rows; ++r) all[r] = r + 1;
  for (int r = s.rows; r >= 1; r -= 3) picked.push_back(r);
  const int subset = t->AddSetFromRows(static_cast<int>(picked.size()), picked.data());
  ASSERT_GT(subset, 1);
  const std::vector<int>& d = s.dims;
  const std::vector<std::vector<int>> shapes = {
      {d[0]}, {d[3], d[0]}, {d[1], d[4], d[2]}, {d[4], d[3], d[2], d[0]}, {d[0], d[1], d[2], d[3], d[4]}};
  for (const auto& [set, members] : {std::pair{1, all}, std::pair{subset, picked}}) {
    for (const auto& dims : shapes) {
      for (int mask = 0; mask <= 31; ++mask) {
        SCOPED_TRACE("set " + std::to_string(set) + ", " + std::to_string(dims.size()) + " dims, mask " +
                     std::to_string(mask));
        // Mask 0 stands for the request without measures.
        std::vector<int> measures, masks;
        if (mask != 0) {
          measures = s.measures;
          masks = {mask, mask, mask, mask, (mask & 7) != 0 ? mask & 7 : 7};
        }
        const int out = Run(s.table, set, dims, measures, masks);
        ASSERT_GT(out, 0);
        const TableTexts got = ReadTable(Table(out));
        const TableTexts want = GroupBy(t, members, dims, measures, masks);
        ASSERT_EQ(got.header, want.header);
        ASSERT_EQ(got.rows, want.rows);
        EXPECT_EQ(std::string(Table(out)->FTableName).rfind("XTBL_sales", 0), 0u);
        // The summarised set is current again; no temporary set is left.
        EXPECT_EQ(t->GetCurrentSetID(), set);
        EXPECT_EQ(t->FnSet, 2);
        db_->DelTable(out);
        tables_.pop_back();
      }
    }
  }
}

TEST_F(NonCubeRealTest, EdgeShapes) {
  const int t = NewTable("edge", 6);
  const std::vector<int> grp = {1, 1, 2, 2, 3, 1};
  const std::vector<double> x = {0.25, 0.25, kNullDouble, kNullDouble, 1.5, 0.25};
  const int g = Add(t, "g", Q7_TYPE_INTEGER, 4, grp.data());
  const int v = Add(t, "v", Q7_TYPE_DOUBLE, 8, x.data());
  const int s = AddStrings(t, "s", {"b", "", "a", "c", "d", "a"});
  const int empty = Table(t)->AddSetFromRows(0, nullptr);
  const int first_two = Table(t)->AddSetFromRows(2, std::vector<int>{1, 2}.data());
  using Rows = std::vector<std::vector<std::string>>;
  using Names = std::vector<std::string>;
  struct Case {
    const char* what;
    int set;
    std::vector<int> dims, measures, masks, decimals;
    Names header;
    Rows rows;
  };
  const Case cases[] = {
      {"empty set, no measures", empty, {g}, {}, {}, {}, {"g:2/0", "N:2/0"}, {}},
      {"empty set, measures",
       empty,
       {g},
       {v},
       {31},
       {-1},
       {"g:2/0", "N<v>:2/0", "MAX<v>:3/0", "MIN<v>:3/0", "SUM<v>:3/0", "AVG<v>:3/0"},
       {}},
      {"no dimensions: one row", 1, {}, {v}, {9}, {-1}, {"N<v>:2/0", "SUM<v>:3/0"}, {{"6", "2.2500"}}},
      {"no dimensions, no measures", 1, {}, {}, {}, {}, {"N:2/0"}, {{"6"}}},
      {"a group of NULLs: MAX, MIN NULL, SUM and AVG 0, COUNT its rows",
       1,
       {g},
       {v},
       {31},
       {-1},
       {"g:2/0", "N<v>:2/0", "MAX<v>:3/0", "MIN<v>:3/0", "SUM<v>:3/0", "AVG<v>:3/0"},
       {{"1", "3", "0.2500", "0.2500", "0.7500", "0.2500"},
        {"2", "2", "NULL", "NULL", "0.0000", "0.0000"},
        {"3", "1", "1.5000", "1.5000", "1.5000", "1.5000"}}},
      {"fractions rounded half up before adding",
       first_two,
       {},
       {v},
       {24},
       {1},
       {"SUM<v>:3/0", "AVG<v>:3/0"},
       {{"0.6000", "0.3000"}}},
      {"no decimals: the plain sum", first_two, {}, {v}, {8}, {-5}, {"SUM<v>:3/0"}, {{"0.5000"}}},
      {"the empty text (NULL) is no STRING group's MIN",
       first_two,
       {},
       {s},
       {6},
       {-1},
       {"MAX<s>:6/0", "MIN<s>:6/0"},
       {{"b", "b"}}},
      {"AVERAGE alone",
       1,
       {g},
       {v},
       {16},
       {-1},
       {"g:2/0", "AVG<v>:3/0"},
       {{"1", "0.2500"}, {"2", "0.0000"}, {"3", "1.5000"}}},
      {"two COUNTs, each after its measure's columns",
       1,
       {g},
       {v, s},
       {3, 5},
       {-1, -1},
       {"g:2/0", "N<v>:2/0", "MAX<v>:3/0", "N<s>:2/0", "MIN<s>:6/0"},
       {{"1", "3", "0.2500", "3", "a"}, {"2", "2", "NULL", "2", "a"}, {"3", "1", "1.5000", "1", "d"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int out = Run(t, c.set, c.dims, c.measures, c.masks, c.decimals);
    ASSERT_GT(out, 0);
    const TableTexts got = ReadTable(Table(out));
    EXPECT_EQ(got.header, c.header);
    EXPECT_EQ(got.rows, c.rows);
  }
}

TEST_F(NonCubeRealTest, RefusalsLeaveNoTable) {
  const int t = NewTable("refused", 3);
  const std::vector<int> n = {1, 2, 3};
  const std::vector<double> x = {1, 2, 3};
  const int i = Add(t, "i", Q7_TYPE_INTEGER, 4, n.data());
  const int d = Add(t, "d", Q7_TYPE_DATE, 8, x.data());
  const int s = AddStrings(t, "s", {"a", "b", "c"});
  const int m = AddCents(t, "m", {1, 2, 3});
  const std::vector<int> many(33, i);
  struct Case {
    const char* what;
    int table, set, n_dims;
    std::vector<int> dims, measures, masks, decimals;
    int code;
  };
  const int big = 33;
  const Case cases[] = {
      {"33 dimensions", t, 1, 33, many, {}, {}, {}, Q7_ERROR_OUT_OF_RANGE},
      {"negative dimension count", t, 1, -1, {}, {}, {}, {}, Q7_ERROR_OUT_OF_RANGE},
      {"33 measures",
       t,
       1,
       1,
       {i},
       many,
       std::vector<int>(big, 1),
       std::vector<int>(big, 0),
       Q7_ERROR_OUT_OF_RANGE},
      {"no such table", t + 1000, 1, 1, {i}, {}, {}, {}, Q7_ERROR_NO_SUCH_TABLE},
      {"no such set", t, 77, 1, {i}, {}, {}, {}, Q7_ERROR_NO_SUCH_SET},
      {"no such dimension", t, 1, 1, {999}, {}, {}, {}, Q7_ERROR_NO_SUCH_FILTER},
      {"no such measure", t, 1, 1, {i}, {999}, {1}, {0}, Q7_ERROR_NO_SUCH_FILTER},
      {"empty mask", t, 1, 1, {i}, {d}, {0}, {0}, Q7_ERROR_INVALID_PARAMETER},
      {"bit 32", t, 1, 1, {i}, {i}, {33}, {0}, Q7_ERROR_INVALID_PARAMETER},
      {"SUM of a STRING", t, 1, 1, {i}, {s}, {8}, {0}, Q7_ERROR_INVALID_PARAMETER},
      {"AVERAGE of a STRING", t, 1, 1, {i}, {s}, {17}, {0}, Q7_ERROR_INVALID_PARAMETER},
      {"decimals 11", t, 1, 1, {i}, {d}, {8}, {11}, Q7_ERROR_OUT_OF_RANGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int tables = db_->TableCount();
    EXPECT_EQ(Run(c.table, c.set, c.dims, c.measures, c.masks, c.decimals, c.n_dims), c.code);
    EXPECT_EQ(db_->TableCount(), tables);
  }
  // Accepted: decimals 10; decimals 11 on STRING and DECIMAL measures, which take none.
  EXPECT_GT(Run(t, 1, {i}, {d, s, m}, {8, 7, 31}, {10, 11, 11}), 0);
}

TEST_F(NonCubeRealTest, FailedOutputLeavesNoTableNorSet) {
  const int t = NewTable("fails", 4);
  const std::vector<int> n = {1, 2, 1, 2};
  const int i = Add(t, "i", Q7_TYPE_INTEGER, 4, n.data());
  // A measure name of 255 bytes: the table is built, then "N<...>" is too long for a column.
  const std::string long_name(255, 'q');
  const int q = Add(t, long_name.c_str(), Q7_TYPE_INTEGER, 4, n.data());
  const int subset = Table(t)->AddSetFromRows(3, std::vector<int>{1, 2, 3}.data());
  const int tables = db_->TableCount();
  const int sets = Table(t)->FnSet;
  EXPECT_LT(Run(t, subset, {i}, {q}, {1}), 0);
  EXPECT_EQ(db_->TableCount(), tables);
  EXPECT_EQ(Table(t)->FnSet, sets);
  EXPECT_EQ(Table(t)->GetCurrentSetID(), subset);
}

TEST_F(NonCubeRealTest, AttributeBlocksAndDisplayDigits) {
  const int t = NewTable("marked", 4);
  const std::vector<int> n = {1, 2, 1, 2};
  const std::vector<double> x = {0.5, 1.5, 2.5, 3.5};
  const int i = Add(t, "i", Q7_TYPE_INTEGER, 4, n.data());
  const int s = AddStrings(t, "s", {"a", "a", "b", "b"});
  const int d = Add(t, "d", Q7_TYPE_DOUBLE, 8, x.data());
  const int m = AddCents(t, "m", {1, 2, 3, 4});
  const int out = Run(t, 1, {s, i}, {i, d, m}, {25, 6, 8}, {2, 1, -1});
  ASSERT_GT(out, 0);
  TRealTable* o = Table(out);
  // name, kind, bit, ordinal, source column, display digits (-100: none written)
  struct Want {
    const char* name;
    int kind, bit, ordinal, source, digits;
  };
  const Want want[] = {
      {"s", 1, 0, 0, s, -100},   {"i", 1, 0, 1, i, -100},    {"N<i>", 2, 1, 0, i, -100},
      {"SUM<i>", 2, 8, 1, i, 2}, {"AVG<i>", 2, 16, 2, i, 2}, {"MAX<d>", 2, 2, 3, d, 1},
      {"MIN<d>", 2, 4, 4, d, 1}, {"SUM<m>", 2, 8, 5, m, 0},
  };
  ASSERT_EQ(o->FnFilter, 8);
  for (int c = 0; c < 8; ++c) {
    TFilter* f = o->FFilters[c];
    SCOPED_TRACE(f->FFilterName);
    EXPECT_STREQ(f->FFilterName, want[c].name);
    const uint8_t* b = f->PV->FUserArea;
    int32_t table = 0, set = 0, source = 0;
    std::memcpy(&table, b + 8, 4);
    std::memcpy(&set, b + 12, 4);
    std::memcpy(&source, b + 16, 4);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], want[c].kind);
    EXPECT_EQ(b[2], want[c].bit);
    EXPECT_EQ(b[3], 2);
    EXPECT_EQ(b[5], want[c].ordinal);
    EXPECT_EQ(b[6], 2);
    EXPECT_EQ(b[7], 6);  // every column ends with the number of measure columns
    EXPECT_EQ(table, t);
    EXPECT_EQ(set, 1);
    EXPECT_EQ(source, want[c].source);
    const int digits = static_cast<int8_t>(f->VL->FUserArea[5]) + 3;
    if (want[c].digits != -100) {
      EXPECT_EQ(digits, want[c].digits);
    } else {
      EXPECT_EQ(f->VL->FUserArea[5], 0);
    }
  }
  int dims = 0, measures = 0;
  EXPECT_EQ(IsSummaryOutputTable(out, &dims, &measures), 1);
  EXPECT_EQ(dims, 2);
  EXPECT_EQ(measures, 6);

  // Without measures the lone "N" is a COUNT measure column of source 0.
  const int plain = Run(t, 1, {i}, {}, {});
  ASSERT_GT(plain, 0);
  const uint8_t* b = Table(plain)->FFilters[1]->PV->FUserArea;
  EXPECT_EQ(b[1], 2);
  EXPECT_EQ(b[2], 1);
  EXPECT_EQ(b[16], 0);
}

TEST_F(NonCubeRealTest, MaxMinBuildersKeepOnlyUsedValues) {
  const int t = NewTable("mm", 5);
  const std::vector<double> x = {19001, 19003, 19002, kNullDouble, 19005};
  const int d = Add(t, "d", Q7_TYPE_DATE, 8, x.data());
  TFilter* f = Table(t)->GetFilter(d);  // values 0 NULL, 1 19001, 2 19002, 3 19003, 4 19005
  int picks[] = {3, 0, 3, 1};
  TFilter* built = nullptr;
  ASSERT_EQ(TNonCubeSum::PutMaxMinFilter(4, 2, 4, picks, f, &built), 0);
  std::unique_ptr<TFilter> own(built);
  EXPECT_EQ(Header(built), "MIN<d>:4/0");
  EXPECT_EQ(built->FFilterID, TNonCubeSum::kFreeFilterID);
  EXPECT_EQ(built->VL->FArraySize, 3);
  std::vector<std::string> rows;
  for (int r = 1; r <= 4; ++r) rows.push_back(ValueText(built, built->PV->PIntAr()[r]));
  EXPECT_EQ(rows, (std::vector<std::string>{"19003.0000", "NULL", "19003.0000", "19001.0000"}));

  // One row against five values takes the builder's sorted road instead of flagging the list:
  // the same numbering.
  int one[] = {4};
  ASSERT_EQ(TNonCubeSum::PutMaxMinFilter(2, 0, 1, one, f, &built), 0);
  own.reset(built);
  EXPECT_EQ(built->VL->FArraySize, 2);
  EXPECT_EQ(built->PV->PIntAr()[1], 1);
  EXPECT_EQ(ValueText(built, 1), "19005.0000");
  EXPECT_EQ(ValueText(built, 0), "NULL");

  char jname[] = "jd";
  ASSERT_EQ(TNonCubeSum::PutJTableMaxMinFilter(2, 0, 4, picks, jname, f, &built), 0);
  own.reset(built);
  EXPECT_STREQ(built->FFilterName, "MAX<jd>");
  // Another kind creates nothing.
  built = nullptr;
  EXPECT_EQ(TNonCubeSum::PutMaxMinFilter(3, 0, 4, picks, f, &built), Q7_ERROR_INNER_ENGINE);
  EXPECT_EQ(built, nullptr);
}

}  // namespace
