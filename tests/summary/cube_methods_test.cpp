// The parallel cube sums into a new table (dense per-worker cubes, and bit-packed addresses):
// both give the rows of a group-by computed here from the source values, the same table as each
// other, the same MAX / MIN / SUM as the serial summary, and leave no table behind on a refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/cube/TSummary.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/MppCubeSum.h"
#include "tests/summary/engine_tables_support.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int kNullInt = std::numeric_limits<int>::min();
constexpr double kNullDouble = -std::numeric_limits<double>::infinity();

using Method = int (*)(int, int, int, const int*, int, const int*, const int*, const int*);
struct NamedMethod {
  const char* name;
  Method run;
};
const NamedMethod kMethods[] = {{"dense cubes", MppCubeSum}, {"packed addresses", MppFastCubeSum}};

// The source values, row by row (index 0 is record 1); NULLs as the engine stores them.
struct Source {
  std::vector<std::string> region;  // STRING dimension
  std::vector<int> year;            // INTEGER dimension
  std::vector<int> qty;             // INTEGER measure
  std::vector<double> price;        // DOUBLE measure, exact halves
  std::vector<double> day;          // DATE measure
  std::vector<int64_t> cents;       // DECIMAL measure at scale 2 (kNullInt: NULL)
  std::vector<std::string> name;    // STRING measure
};

Source MakeSource(int rows) {
  Source s;
  const char* regions[] = {"", "east", "north", "south", "west"};
  const char* names[] = {"", "ann", "bob", "cy", "dee", "eve", "fay"};
  for (int r = 0; r < rows; ++r) {
    const unsigned h = static_cast<unsigned>(r) * 2654435761u;
    s.region.push_back(regions[(h >> 7) % 5]);
    s.year.push_back(h % 11 == 0 ? kNullInt : 2000 + static_cast<int>((h >> 9) % 7));
    s.qty.push_back(h % 7 == 0 ? kNullInt : static_cast<int>((h >> 13) % 50) - 10);
    s.price.push_back(h % 5 == 0 ? kNullDouble : 0.5 * static_cast<double>((h >> 11) % 400));
    s.day.push_back(h % 6 == 0 ? kNullDouble : 19000.0 + static_cast<double>((h >> 5) % 90));
    s.cents.push_back(h % 9 == 0 ? kNullInt : static_cast<int64_t>((h >> 15) % 100000) - 20000);
    s.name.push_back(names[(h >> 3) % 7]);
  }
  return s;
}

std::string Text(double v) {
  if (v == kNullDouble) return "NULL";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  return buf;
}
std::string Text(int v) { return v == kNullInt ? "NULL" : std::to_string(v); }
std::string Text(const std::string& v) { return v.empty() ? "NULL" : v; }
std::string DecimalText(const Numeric& x, int scale) {
  if (q7num::IsNan(x)) return "NULL";
  NumericInfo info{scale, Q7_ROUND_HALF_UP};
  double d = 0;
  q7num::NumericNum2Dbl(&x, &info, &d);
  return Text(d);
}

// A table: column names with their type, and the rows as texts.
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
    const int type = f->VL->GetDataType();
    int kind = type;
    int scale = 0;
    if (type == Q7_TYPE_DOUBLE) kind = static_cast<TDoubleArray*>(f->VL)->GetExtendType();
    if (type == Q7_TYPE_DECIMAL) scale = static_cast<TNumericArray*>(f->VL)->GetScale();
    out.header.push_back(std::string(f->FFilterName) + ":" + std::to_string(kind) + "/" +
                         std::to_string(scale));
    for (int r = 1; r <= rows; ++r) {
      const int v = f->PV->PIntAr()[r];
      void* p = f->VL->GetAddress(v);
      std::string text;
      switch (type) {
        case Q7_TYPE_INTEGER:
          text = Text(*static_cast<int*>(p));
          break;
        case Q7_TYPE_DOUBLE:
          text = Text(*static_cast<double*>(p));
          break;
        case Q7_TYPE_DECIMAL:
          text = DecimalText(*static_cast<Numeric*>(p), scale);
          break;
        default:
          text = Text(std::string(static_cast<char*>(p)));
          break;
      }
      out.rows[static_cast<size_t>(r - 1)].push_back(text);
    }
  }
  return out;
}

class CubeMethodsTest : public EngineTablesTest {
 protected:
  // Loads the source into a new table; fills the column IDs.
  int Load(const Source& s) {
    const int rows = static_cast<int>(s.year.size());
    const int t = NewTable("sales", rows);
    std::vector<const char*> region, name;
    for (int r = 0; r < rows; ++r) {
      region.push_back(s.region[r].c_str());
      name.push_back(s.name[r].c_str());
    }
    std::vector<Numeric> cents;
    for (int64_t c : s.cents) cents.push_back(c == kNullInt ? q7num::NanNumeric() : q7num::FromInt128(c));
    region_ = Add(t, "region", Q7_TYPE_STRING, 8, region.data());
    year_ = Add(t, "year", Q7_TYPE_INTEGER, 4, s.year.data());
    qty_ = Add(t, "qty", Q7_TYPE_INTEGER, 4, s.qty.data());
    price_ = Add(t, "price", Q7_TYPE_DOUBLE, 8, s.price.data());
    day_ = Add(t, "day", Q7_TYPE_DATE, 8, s.day.data());
    amount_ = Add(t, "amount", Q7_TYPE_DECIMAL, 16, cents.data());
    static_cast<TNumericArray*>(Table(t)->GetFilter(amount_)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
    name_ = Add(t, "name", Q7_TYPE_STRING, 8, name.data());
    return t;
  }

  // Runs a method and keeps its table for the teardown.
  int Run(Method m, int table, int set, std::vector<int> dims, std::vector<int> measures,
          std::vector<int> masks) {
    const int id = m(table, set, static_cast<int>(dims.size()), dims.data(),
                     static_cast<int>(measures.size()), measures.data(), masks.data(), nullptr);
    if (id > 0) tables_.push_back(id);
    return id;
  }

  int region_ = 0, year_ = 0, qty_ = 0, price_ = 0, day_ = 0, amount_ = 0, name_ = 0;
};

// The expected table of a group-by over region and year of the rows in `rows` (0-based), with
// qty (all five), price (SUM, AVG), day (MAX, MIN), amount (MAX, MIN, SUM, AVG), name (MAX, MIN).
TableTexts GroupBy(const Source& s, const std::vector<int>& rows) {
  struct Acc {
    int count = 0;
    int qmax = kNullInt, qmin = kNullInt;
    double qsum = 0, psum = 0;
    double dmax = kNullDouble, dmin = kNullDouble;
    bool any_amount = false;
    int64_t amax = 0, amin = 0, asum = 0;
    std::string nmax, nmin;
  };
  auto region_key = [](const std::string& r) { return r; };  // "" (NULL) sorts first, as in the list
  auto year_key = [](int y) { return y; };                   // INT32_MIN (NULL) sorts first
  std::map<std::pair<std::string, int>, Acc> groups;
  for (int r : rows) {
    Acc& a = groups[{region_key(s.region[r]), year_key(s.year[r])}];
    ++a.count;
    if (s.qty[r] != kNullInt) {
      a.qmax = a.qmax == kNullInt ? s.qty[r] : std::max(a.qmax, s.qty[r]);
      a.qmin = a.qmin == kNullInt ? s.qty[r] : std::min(a.qmin, s.qty[r]);
      a.qsum += s.qty[r];
    }
    if (s.price[r] != kNullDouble) a.psum += s.price[r];
    if (s.day[r] != kNullDouble) {
      a.dmax = a.dmax == kNullDouble ? s.day[r] : std::max(a.dmax, s.day[r]);
      a.dmin = a.dmin == kNullDouble ? s.day[r] : std::min(a.dmin, s.day[r]);
    }
    if (s.cents[r] != kNullInt) {
      a.amax = a.any_amount ? std::max(a.amax, s.cents[r]) : s.cents[r];
      a.amin = a.any_amount ? std::min(a.amin, s.cents[r]) : s.cents[r];
      a.asum += s.cents[r];
      a.any_amount = true;
    }
    if (!s.name[r].empty()) {
      if (a.nmax.empty() || s.name[r] > a.nmax) a.nmax = s.name[r];
      if (a.nmin.empty() || s.name[r] < a.nmin) a.nmin = s.name[r];
    }
  }
  TableTexts t;
  t.header = {"region:6/0",    "year:2/0",        "N<qty>:2/0",      "MAX<qty>:2/0",    "MIN<qty>:2/0",
              "SUM<qty>:3/0",  "AVG<qty>:3/0",    "SUM<price>:3/0",  "AVG<price>:3/0",  "MAX<day>:4/0",
              "MIN<day>:4/0",  "MAX<amount>:8/2", "MIN<amount>:8/2", "SUM<amount>:8/2", "AVG<amount>:8/2",
              "MAX<name>:6/0", "MIN<name>:6/0"};
  const NumericInfo cents_info{2, Q7_ROUND_HALF_UP};
  auto money = [&](int64_t c) { return DecimalText(q7num::FromInt128(c), 2); };
  for (const auto& [key, a] : groups) {
    Numeric avg = q7num::FromInt128(a.asum);
    q7num::NumericDiv(&avg, &cents_info, a.count);
    t.rows.push_back({Text(key.first), Text(key.second), Text(a.count), Text(a.qmax), Text(a.qmin),
                      Text(a.qsum), Text(a.qsum / a.count), Text(a.psum), Text(a.psum / a.count),
                      Text(a.dmax), Text(a.dmin), a.any_amount ? money(a.amax) : "NULL",
                      a.any_amount ? money(a.amin) : "NULL", money(a.asum), DecimalText(avg, 2), Text(a.nmax),
                      Text(a.nmin)});
  }
  return t;
}

TEST_F(CubeMethodsTest, EveryMethodGivesTheGroupByOfItsSet) {
  const Source s = MakeSource(5000);
  const int t = Load(s);
  // Every row, and a set of every third row.
  auto rows = std::make_unique<TSetArray>(5000 / 3 + 1, 0);
  std::vector<int> picked;
  for (int r = 0; r < 5000; r += 3) {
    rows->PIntAr()[picked.size()] = r + 1;
    picked.push_back(r);
  }
  const int third = Table(t)->AddSetWithoutCopy(rows.release());
  ASSERT_GT(third, 1);
  std::vector<int> all(5000);
  for (int r = 0; r < 5000; ++r) all[r] = r;

  for (const auto& [set, members] : {std::pair{1, all}, std::pair{third, picked}}) {
    const TableTexts want = GroupBy(s, members);
    for (const NamedMethod& m : kMethods) {
      SCOPED_TRACE(std::string(m.name) + " set " + std::to_string(set));
      const int out =
          Run(m.run, t, set, {region_, year_}, {qty_, price_, day_, amount_, name_}, {31, 24, 6, 30, 6});
      ASSERT_GT(out, 0);
      const TableTexts got = ReadTable(Table(out));
      EXPECT_EQ(got.header, want.header);
      EXPECT_EQ(got.rows, want.rows);
      EXPECT_EQ(std::string(Table(out)->FTableName).rfind("XTBL_sales", 0), 0u);
    }
  }
}

TEST_F(CubeMethodsTest, MethodsAgreeWithTheSerialSummary) {
  const Source s = MakeSource(3000);
  const int t = Load(s);
  std::vector<TableTexts> outputs;
  for (const NamedMethod& m : kMethods) {
    const int out = Run(m.run, t, 1, {year_, region_}, {qty_, day_}, {14, 6});
    ASSERT_GT(out, 0) << m.name;
    outputs.push_back(ReadTable(Table(out)));
  }
  EXPECT_EQ(outputs[0].header, outputs[1].header);
  EXPECT_EQ(outputs[0].rows, outputs[1].rows);

  // The serial summary, cell by cell over the occurring cells: MAX, MIN and SUM of qty and the
  // date MAX and MIN. (Its COUNT leaves out NULL measure values; the table's counts every row.)
  for (const auto& [measure, bits, first_col] : {std::tuple{qty_, 14, 2}, std::tuple{day_, 6, 5}}) {
    _TDimensionDef defs[2] = {};
    defs[0].column_id = year_;
    defs[1].column_id = region_;
    TSummary serial(0, t, 1, 2, defs, measure);
    int computed = 0;
    ASSERT_EQ(serial.SummaryExec(bits, &computed), 0);
    TRealTable* in = Table(t);
    for (size_t r = 0; r < outputs[0].rows.size(); ++r) {
      const auto& row = outputs[0].rows[r];
      int cats[2] = {0, 0};
      for (int d = 0; d < 2; ++d) {
        TFilter* f = in->GetFilter(d == 0 ? year_ : region_);
        for (int v = 0; v < f->VL->FArraySize; ++v) {
          void* p = f->VL->GetAddress(v);
          const std::string text =
              d == 0 ? Text(*static_cast<int*>(p)) : Text(std::string(static_cast<char*>(p)));
          if (text == row[d]) cats[d] = v;
        }
      }
      int col = first_col;
      for (int bit : {2, 4, 8}) {
        if ((bits & bit) == 0) continue;
        int rt = 0, vt = 0, count = 0;
        void* value = nullptr;
        ASSERT_EQ(serial.SummaryRead(bit, cats, &rt, &vt, &count, &value), 0);
        const std::string serial_text = count == 0              ? "NULL"
                                        : bit == 8              ? Text(*static_cast<double*>(value))
                                        : rt == Q7_TYPE_INTEGER ? Text(*static_cast<int*>(value))
                                                                : Text(*static_cast<double*>(value));
        if (bit == 8 && count == 0) {
          EXPECT_EQ(row[col], Text(0.0)) << "a cell of NULLs sums to 0";
        } else {
          EXPECT_EQ(row[col], serial_text) << "row " << r << " bit " << bit;
        }
        if (bit != 8 && measure == day_) {
          EXPECT_EQ(vt, Q7_TYPE_DATE);
        }
        ++col;
      }
    }
  }
}

TEST_F(CubeMethodsTest, EdgeShapes) {
  const Source s = MakeSource(40);
  const int t = Load(s);
  const int empty_set = Table(t)->AddSetWithoutCopy(new TSetArray(0, 0));
  ASSERT_GT(empty_set, 1);
  for (const NamedMethod& m : kMethods) {
    SCOPED_TRACE(m.name);
    // No dimension: one row; no measure: the COUNT column alone, named "N".
    int out = Run(m.run, t, 1, {}, {}, {});
    ASSERT_GT(out, 0);
    TableTexts got = ReadTable(Table(out));
    EXPECT_EQ(got.header, std::vector<std::string>{"N:2/0"});
    EXPECT_EQ(got.rows, std::vector<std::vector<std::string>>{{"40"}});
    // An empty set: no rows, the dimension and measure columns still made.
    out = Run(m.run, t, empty_set, {year_}, {qty_}, {9});
    ASSERT_GT(out, 0);
    got = ReadTable(Table(out));
    EXPECT_EQ(got.header, (std::vector<std::string>{"year:2/0", "N<qty>:2/0", "SUM<qty>:3/0"}));
    EXPECT_TRUE(got.rows.empty());
    // A text measure has no SUM or AVERAGE to give.
    out = Run(m.run, t, 1, {year_}, {name_}, {31});
    ASSERT_GT(out, 0);
    EXPECT_EQ(ReadTable(Table(out)).header,
              (std::vector<std::string>{"year:2/0", "N<name>:2/0", "MAX<name>:6/0", "MIN<name>:6/0"}));
  }
}

TEST_F(CubeMethodsTest, ValuesStillPendingInTheSourceAreSummed) {
  for (const NamedMethod& m : kMethods) {
    SCOPED_TRACE(m.name);
    const Source s = MakeSource(300);
    const int t = Load(s);
    int big = 999;  // a new value, written alone: it waits in the column's pending list
    ASSERT_EQ(Table(t)->OverWriteEx(1, qty_, 7, 1, &big), 1);
    ASSERT_LT(Table(t)->GetFilter(qty_)->PV->PIntAr()[7], 0);
    const int out = Run(m.run, t, 1, {}, {qty_}, {2});
    ASSERT_GT(out, 0);
    EXPECT_EQ(ReadTable(Table(out)).rows, std::vector<std::vector<std::string>>{{"999"}});
  }
}

TEST_F(CubeMethodsTest, RefusalsLeaveNoTable) {
  const Source s = MakeSource(40);
  const int t = Load(s);
  std::vector<int> many(33, year_);
  struct Case {
    const char* what;
    int table, set;
    std::vector<int> dims, measures, masks;
    int n_dims;
    int code;
  };
  const Case cases[] = {
      {"33 dimensions", t, 1, many, {}, {}, 33, Q7_ERROR_OUT_OF_RANGE},
      {"negative dimension count", t, 1, {}, {}, {}, -1, Q7_ERROR_OUT_OF_RANGE},
      {"no such table", t + 1000, 1, {year_}, {}, {}, 1, Q7_ERROR_NO_SUCH_TABLE},
      {"no such set", t, 77, {year_}, {}, {}, 1, Q7_ERROR_NO_SUCH_SET},
      {"no such measure", t, 1, {year_}, {999}, {1}, 1, Q7_ERROR_NO_SUCH_FILTER},
      {"no such dimension", t, 1, {999}, {qty_}, {1}, 1, Q7_ERROR_NO_SUCH_FILTER},
  };
  for (const NamedMethod& m : kMethods) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(m.name) + ": " + c.what);
      const int tables = db_->TableCount();
      EXPECT_EQ(m.run(c.table, c.set, c.n_dims, c.dims.data(), static_cast<int>(c.measures.size()),
                      c.measures.data(), c.masks.data(), nullptr),
                c.code);
      EXPECT_EQ(db_->TableCount(), tables);
    }
  }
  // A cube past 10,000,000 cells for the dense method; past 30 address bits for the packed one.
  std::vector<int> wide;
  for (int k = 0; k < 40; ++k) wide.push_back(k);
  const int big = Add(t, "big", Q7_TYPE_INTEGER, 4, wide.data());
  const int tables = db_->TableCount();
  const std::vector<int> dims = {big, big, big, big, big};  // 41^5 cells; 6 bits each
  EXPECT_EQ(MppCubeSum(t, 1, 5, dims.data(), 0, nullptr, nullptr, nullptr), Q7_ERROR_SUMMARY_CELLS_OVERFLOW);
  const std::vector<int> dims6 = {big, big, big, big, big, big};
  EXPECT_EQ(MppFastCubeSum(t, 1, 6, dims6.data(), 0, nullptr, nullptr, nullptr),
            Q7_ERROR_SUMMARY_CELLS_OVERFLOW);
  EXPECT_EQ(db_->TableCount(), tables);

  // A measure column the table cannot take (past its filter limit) fails the whole run.
  const std::vector<int> measures(TRealTable::kMaxFilters / 5 + 1, qty_);
  const std::vector<int> masks(measures.size(), 31);
  for (const NamedMethod& m : kMethods) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(
        m.run(t, 1, 1, &year_, static_cast<int>(measures.size()), measures.data(), masks.data(), nullptr),
        Q7_ERROR_FILTER_COUNT_OVERFLOW);
    EXPECT_EQ(db_->TableCount(), tables);
  }
}

}  // namespace
