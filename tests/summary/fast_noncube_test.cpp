// The sorted-address non-cube sums (row payload carrying every measure, or only the row): the rows
// of a group-by computed here from the source values, for 1 to 5 dimensions of every kind and every
// measure mask, the same table as the dense and packed cube sums, and no table left on a refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "kernels/KernelPool.h"
#include "summary/SummaryBits.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/FastNonCubeSum.h"
#include "summary/noncube/MppCubeSum.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"

namespace {

constexpr int kNullInt = std::numeric_limits<int>::min();
constexpr double kNull = -std::numeric_limits<double>::infinity();

using Method = int (*)(int, int, int, const int*, int, const int*, const int*, const int*);
int CarryMeasures(int t, int s, int nd, const int* d, int nm, const int* m, const int* k, const int* u) {
  return MppFastNonCubeSum(t, s, nd, d, nm, m, k, u, 1);
}
int CarryRow(int t, int s, int nd, const int* d, int nm, const int* m, const int* k, const int* u) {
  return MppFastNonCubeSum(t, s, nd, d, nm, m, k, u, 0);
}
struct NamedMethod {
  const char* name;
  Method run;
};
const NamedMethod kSorted[] = {{"measures carried", CarryMeasures}, {"row carried", CarryRow}};
const NamedMethod kCubes[] = {{"dense cubes", MppCubeSum}, {"packed addresses", MppFastCubeSum}};

// One source column: numbers (INTEGER, DOUBLE, DATE; DECIMAL in cents) with kNull for NULL, or
// texts with "" for NULL. Either order sorts NULL first, as the value lists do.
struct Column {
  const char* name;
  int type;
  std::vector<double> num;
  std::vector<std::string> text;
};

std::vector<Column> MakeColumns(int rows) {
  std::vector<Column> c = {{"region", Q7_TYPE_STRING, {}, {}},
                           {"year", Q7_TYPE_INTEGER, {}, {}},
                           {"price", Q7_TYPE_DOUBLE, {}, {}},
                           {"day", Q7_TYPE_DATE, {}, {}},
                           {"amount", Q7_TYPE_DECIMAL, {}, {}}};
  const char* regions[] = {"", "east", "north", "south", "west", "x"};
  for (int r = 0; r < rows; ++r) {
    const unsigned h = static_cast<unsigned>(r) * 2654435761u;
    c[0].text.push_back(regions[(h >> 7) % 6]);
    c[1].num.push_back(h % 11 == 0 ? kNull : 2000 + static_cast<double>((h >> 9) % 7));
    c[2].num.push_back(h % 5 == 0 ? kNull : 0.5 * static_cast<double>((h >> 11) % 19));
    c[3].num.push_back(h % 6 == 0 ? kNull : 19000.0 + static_cast<double>((h >> 5) % 29));
    c[4].num.push_back(h % 9 == 0 ? kNull : static_cast<double>((h >> 15) % 37) * 125 - 2000);
  }
  return c;
}

std::string Fixed(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  return buf;
}
std::string DecimalText(const Numeric& x) {
  if (q7num::IsNan(x)) return "NULL";
  NumericInfo info{2, Q7_ROUND_HALF_UP};
  double d = 0;
  q7num::NumericNum2Dbl(&x, &info, &d);
  return Fixed(d);
}
// The text of a source value as ReadTable shows it.
std::string ValueText(int type, double num, const std::string& text) {
  if (type == Q7_TYPE_STRING) return text.empty() ? "NULL" : text;
  if (num == kNull) return "NULL";
  if (type == Q7_TYPE_INTEGER) return std::to_string(static_cast<int>(num));
  if (type == Q7_TYPE_DECIMAL) return DecimalText(q7num::FromInt128(static_cast<int64_t>(num)));
  return Fixed(num);
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
    const int type = f->VL->GetDataType();
    int kind = type;
    int scale = 0;
    if (type == Q7_TYPE_DOUBLE) kind = static_cast<TDoubleArray*>(f->VL)->GetExtendType();
    if (type == Q7_TYPE_DECIMAL) scale = static_cast<TNumericArray*>(f->VL)->GetScale();
    out.header.push_back(std::string(f->FFilterName) + ":" + std::to_string(kind) + "/" +
                         std::to_string(scale));
    for (int r = 1; r <= rows; ++r) {
      void* p = f->VL->GetAddress(f->PV->PIntAr()[r]);
      std::string text;
      switch (type) {
        case Q7_TYPE_INTEGER:
          text = *static_cast<int*>(p) == kNullInt ? "NULL" : std::to_string(*static_cast<int*>(p));
          break;
        case Q7_TYPE_DOUBLE:
          text = *static_cast<double*>(p) == kNull ? "NULL" : Fixed(*static_cast<double*>(p));
          break;
        case Q7_TYPE_DECIMAL:
          text = DecimalText(*static_cast<Numeric*>(p));
          break;
        default:
          text = ValueText(Q7_TYPE_STRING, 0, static_cast<char*>(p));
          break;
      }
      out.rows[static_cast<size_t>(r - 1)].push_back(text);
    }
  }
  return out;
}

// The expected table of a group-by over columns `dims` of the rows `rows` (0-based), with the
// measures `measures` under `masks`: COUNT every row; MAX and MIN the greatest and least non-NULL
// value (NULL for a group of NULLs, the date kind kept); SUM of the non-NULL values (none for a
// text); AVG = SUM / COUNT, decimals rounded half up at the measure's scale.
TableTexts GroupBy(const std::vector<Column>& cols, const std::vector<int>& dims,
                   const std::vector<int>& measures, const std::vector<int>& masks,
                   const std::vector<int>& rows) {
  using Value = std::pair<double, std::string>;
  struct Acc {
    int count = 0;
    bool any = false;
    Value max, min;
    double sum = 0;
  };
  struct Group {
    int count = 0;
    std::vector<Acc> accs;
  };
  std::map<std::vector<Value>, Group> groups;
  for (int r : rows) {
    std::vector<Value> key;
    for (int d : dims)
      key.emplace_back(cols[d].num.empty() ? 0 : cols[d].num[r], cols[d].text.empty() ? "" : cols[d].text[r]);
    Group& group = groups[key];
    ++group.count;
    auto& accs = group.accs;
    accs.resize(measures.size());
    for (size_t m = 0; m < measures.size(); ++m) {
      const Column& c = cols[measures[m]];
      Acc& a = accs[m];
      ++a.count;
      const Value v{c.num.empty() ? 0 : c.num[r], c.text.empty() ? "" : c.text[r]};
      if (c.type == Q7_TYPE_STRING ? v.second.empty() : v.first == kNull) continue;
      a.max = a.any ? std::max(a.max, v) : v;
      a.min = a.any ? std::min(a.min, v) : v;
      a.sum += v.first;
      a.any = true;
    }
  }
  TableTexts t;
  // A dimension column copies its source list, the decimal scale included.
  for (int d : dims) {
    t.header.push_back(std::string(cols[d].name) + ":" + std::to_string(cols[d].type) +
                       (cols[d].type == Q7_TYPE_DECIMAL ? "/2" : "/0"));
  }
  for (size_t m = 0; m < measures.size(); ++m) {
    const Column& c = cols[measures[m]];
    const bool number = c.type != Q7_TYPE_STRING;
    const std::string kind = std::to_string(c.type) + (c.type == Q7_TYPE_DECIMAL ? "/2" : "/0");
    const std::string sum_kind = c.type == Q7_TYPE_DECIMAL ? "8/2" : "3/0";
    const std::string n = std::string("<") + c.name + ">:";
    if (masks[m] & kSumCount) t.header.push_back("N" + n + "2/0");
    if (masks[m] & kSumMax) t.header.push_back("MAX" + n + kind);
    if (masks[m] & kSumMin) t.header.push_back("MIN" + n + kind);
    if (number && (masks[m] & kSumSum)) t.header.push_back("SUM" + n + sum_kind);
    if (number && (masks[m] & kSumAverage)) t.header.push_back("AVG" + n + sum_kind);
  }
  if (measures.empty()) t.header.push_back("N:2/0");
  for (const auto& [key, group] : groups) {
    const auto& accs = group.accs;
    std::vector<std::string> row;
    for (size_t d = 0; d < dims.size(); ++d)
      row.push_back(ValueText(cols[dims[d]].type, key[d].first, key[d].second));
    for (size_t m = 0; m < measures.size(); ++m) {
      const Column& c = cols[measures[m]];
      const Acc& a = accs[m];
      const auto text = [&](const Value& v) { return a.any ? ValueText(c.type, v.first, v.second) : "NULL"; };
      if (masks[m] & kSumCount) row.push_back(std::to_string(a.count));
      if (masks[m] & kSumMax) row.push_back(text(a.max));
      if (masks[m] & kSumMin) row.push_back(text(a.min));
      if (c.type == Q7_TYPE_STRING) continue;
      Numeric avg = q7num::FromInt128(static_cast<int64_t>(a.sum));
      const NumericInfo cents{2, Q7_ROUND_HALF_UP};
      q7num::NumericDiv(&avg, &cents, a.count);
      if (masks[m] & kSumSum) {
        row.push_back(c.type == Q7_TYPE_DECIMAL ? DecimalText(q7num::FromInt128(static_cast<int64_t>(a.sum)))
                                                : Fixed(a.sum));
      }
      if (masks[m] & kSumAverage)
        row.push_back(c.type == Q7_TYPE_DECIMAL ? DecimalText(avg) : Fixed(a.sum / a.count));
    }
    if (measures.empty()) row.push_back(std::to_string(group.count));
    t.rows.push_back(row);
  }
  return t;
}

class FastNonCubeSumTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = CSmpEngine::Instance()->Database(); }
  void TearDown() override {
    for (int id : tables_) db_->DelTable(id);
  }

  TRealTable* Table(int id) { return static_cast<TRealTable*>(db_->GetTable(id)); }

  // Loads the columns into a new table "sales"; fills ids_ in column order.
  int Load(const std::vector<Column>& cols) {
    const int rows = static_cast<int>(cols[0].text.size());
    char name[] = "sales";
    const int t = db_->AddRealTable(name, rows);
    EXPECT_GT(t, 0);
    tables_.push_back(t);
    ids_.clear();
    for (const Column& c : cols) {
      std::vector<const char*> texts;
      std::vector<int> ints;
      std::vector<Numeric> decimals;
      std::vector<double> doubles = c.num;
      const void* data = doubles.data();
      int width = 8;
      if (c.type == Q7_TYPE_STRING) {
        for (const std::string& s : c.text) texts.push_back(s.c_str());
        data = texts.data();
      } else if (c.type == Q7_TYPE_INTEGER) {
        for (double v : c.num) ints.push_back(v == kNull ? kNullInt : static_cast<int>(v));
        data = ints.data();
        width = 4;
      } else if (c.type == Q7_TYPE_DECIMAL) {
        for (double v : c.num) {
          decimals.push_back(v == kNull ? q7num::NanNumeric() : q7num::FromInt128(static_cast<int64_t>(v)));
        }
        data = decimals.data();
        width = 16;
      }
      std::vector<char> col(c.name, c.name + std::strlen(c.name) + 1);
      const int id =
          Table(t)->AddFilter2(1024, col.data(), c.type, rows, width, const_cast<void*>(data), t, -1);
      EXPECT_GT(id, 0) << c.name;
      if (c.type == Q7_TYPE_DECIMAL) {
        static_cast<TNumericArray*>(Table(t)->GetFilter(id)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
      }
      ids_.push_back(id);
    }
    return t;
  }

  // Runs a method over column indexes; keeps its table for the teardown.
  int Run(Method m, int table, int set, const std::vector<int>& dims, const std::vector<int>& measures,
          const std::vector<int>& masks) {
    std::vector<int> dim_ids, measure_ids;
    for (int d : dims) dim_ids.push_back(ids_[d]);
    for (int c : measures) measure_ids.push_back(ids_[c]);
    const int id = m(table, set, static_cast<int>(dim_ids.size()), dim_ids.data(),
                     static_cast<int>(measure_ids.size()), measure_ids.data(), masks.data(), nullptr);
    if (id > 0) tables_.push_back(id);
    return id;
  }

  TTableCollection* db_ = nullptr;
  std::vector<int> tables_;
  std::vector<int> ids_;
};

TEST_F(FastNonCubeSumTest, EveryShapeGivesTheGroupByAndTheCubeMethodsTable) {
  const int n = 4000;
  const std::vector<Column> cols = MakeColumns(n);
  const int t = Load(cols);
  auto third = std::make_unique<TSetArray>(n / 3 + 1, 0);
  std::vector<int> picked;
  for (int r = 0; r < n; r += 3) {
    third->PIntAr()[picked.size()] = r + 1;
    picked.push_back(r);
  }
  const int third_id = Table(t)->AddSetWithoutCopy(third.release());
  ASSERT_GT(third_id, 1);
  std::vector<int> all(n);
  for (int r = 0; r < n; ++r) all[r] = r;

  // Every kind as a dimension, in 1 to 5 dimensions (the widest passes 16 address bits, so the
  // two-digit sort runs too); every mask 1 .. 31 on some measure of some run.
  const std::vector<std::vector<int>> shapes = {{1}, {0}, {4, 2}, {3, 1, 0}, {2, 4, 0, 3}, {0, 1, 2, 3, 4}};
  const std::vector<int> measures = {1, 2, 3, 4, 0};
  int next_mask = 0;
  for (const auto& [set, members] : {std::pair{1, all}, std::pair{third_id, picked}}) {
    for (const auto& dims : shapes) {
      std::vector<int> masks;
      for (size_t m = 0; m < measures.size(); ++m) masks.push_back(next_mask++ % 31 + 1);
      const TableTexts want = GroupBy(cols, dims, measures, masks, members);
      TableTexts cube;
      for (const NamedMethod& m : kCubes) {
        const int out = Run(m.run, t, set, dims, measures, masks);
        ASSERT_GT(out, 0) << m.name;
        cube = ReadTable(Table(out));
      }
      for (const NamedMethod& m : kSorted) {
        SCOPED_TRACE(std::string(m.name) + ", set " + std::to_string(set) + ", " +
                     std::to_string(dims.size()) + " dimensions");
        const int out = Run(m.run, t, set, dims, measures, masks);
        ASSERT_GT(out, 0);
        const TableTexts got = ReadTable(Table(out));
        EXPECT_EQ(got.header, want.header);
        EXPECT_EQ(got.rows, want.rows);
        EXPECT_EQ(got.header, cube.header);
        EXPECT_EQ(got.rows, cube.rows);
        EXPECT_EQ(std::string(Table(out)->FTableName).rfind("XTBL_sales", 0), 0u);
      }
    }
  }
  EXPECT_GE(next_mask, 31);
}

TEST_F(FastNonCubeSumTest, EdgeShapes) {
  const std::vector<Column> cols = MakeColumns(40);
  const int t = Load(cols);
  const int empty_set = Table(t)->AddSetWithoutCopy(new TSetArray(0, 0));
  ASSERT_GT(empty_set, 1);
  for (const NamedMethod& m : kSorted) {
    SCOPED_TRACE(m.name);
    // No dimension and no measure: one row holding the set's size in "N".
    int out = Run(m.run, t, 1, {}, {}, {});
    ASSERT_GT(out, 0);
    TableTexts got = ReadTable(Table(out));
    EXPECT_EQ(got.header, std::vector<std::string>{"N:2/0"});
    EXPECT_EQ(got.rows, std::vector<std::vector<std::string>>{{"40"}});
    // An empty set: no rows, every column still made.
    out = Run(m.run, t, empty_set, {1, 0}, {2, 0}, {31, 31});
    ASSERT_GT(out, 0);
    got = ReadTable(Table(out));
    EXPECT_EQ(got.header,
              (std::vector<std::string>{"year:2/0", "region:6/0", "N<price>:2/0", "MAX<price>:3/0",
                                        "MIN<price>:3/0", "SUM<price>:3/0", "AVG<price>:3/0", "N<region>:2/0",
                                        "MAX<region>:6/0", "MIN<region>:6/0"}));
    EXPECT_TRUE(got.rows.empty());
    // Several COUNT columns, one per measure, each named after its measure; the same measure twice
    // gets a unique second name.
    out = Run(m.run, t, 1, {1}, {2, 3, 2}, {1, 1, 1});
    ASSERT_GT(out, 0);
    got = ReadTable(Table(out));
    ASSERT_EQ(got.header.size(), 4u);
    EXPECT_EQ(got.header[1], "N<price>:2/0");
    EXPECT_EQ(got.header[2], "N<day>:2/0");
    EXPECT_NE(got.header[3], got.header[1]);
    for (const auto& row : got.rows) EXPECT_TRUE(row[1] == row[2] && row[2] == row[3]);
  }
}

TEST_F(FastNonCubeSumTest, RefusalsLeaveNoTable) {
  const std::vector<Column> cols = MakeColumns(40);
  const int t = Load(cols);
  const int year = ids_[1];
  const int price = ids_[2];
  std::vector<int> many(33, year);
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
      {"no such table", t + 1000, 1, {year}, {}, {}, 1, Q7_ERROR_NO_SUCH_TABLE},
      {"no such set", t, 77, {year}, {}, {}, 1, Q7_ERROR_NO_SUCH_SET},
      {"no such measure", t, 1, {year}, {999}, {1}, 1, Q7_ERROR_NO_SUCH_FILTER},
      {"no such dimension", t, 1, {999}, {price}, {1}, 1, Q7_ERROR_NO_SUCH_FILTER},
  };
  // A cube past 30 address bits: six dimensions of 41 values take 6 bits each.
  std::vector<int> wide;
  for (int k = 0; k < 40; ++k) wide.push_back(k);
  char big_name[] = "big";
  const int big = Table(t)->AddFilter2(1024, big_name, Q7_TYPE_INTEGER, 40, 4, wide.data(), t, -1);
  ASSERT_GT(big, 0);
  // A measure column the output cannot take (past its filter limit) fails the whole run.
  const std::vector<int> overflow(TRealTable::kMaxFilters / 5 + 1, price);
  const std::vector<int> overflow_masks(overflow.size(), 31);
  for (const NamedMethod& m : kSorted) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(m.name) + ": " + c.what);
      const int tables = db_->TableCount();
      EXPECT_EQ(m.run(c.table, c.set, c.n_dims, c.dims.data(), static_cast<int>(c.measures.size()),
                      c.measures.data(), c.masks.data(), nullptr),
                c.code);
      EXPECT_EQ(db_->TableCount(), tables);
    }
    SCOPED_TRACE(m.name);
    const int tables = db_->TableCount();
    const std::vector<int> dims6(6, big);
    EXPECT_EQ(m.run(t, 1, 6, dims6.data(), 0, nullptr, nullptr, nullptr), Q7_ERROR_SUMMARY_CELLS_OVERFLOW);
    EXPECT_EQ(m.run(t, 1, 1, &year, static_cast<int>(overflow.size()), overflow.data(), overflow_masks.data(),
                    nullptr),
              Q7_ERROR_FILTER_COUNT_OVERFLOW);
    EXPECT_EQ(db_->TableCount(), tables);
  }
}

// The plan of the per-group passes: whole groups per range, ranges in order, each range's group
// numbers continuing the previous one's.
TEST(FastNonCubeSumPlan, RenumberingKeepsGroupsWhole) {
  struct Case {
    const char* what;
    std::vector<int> sizes;
    int workers;  // at most the engine's active workers are asked for
  };
  const Case cases[] = {
      {"no groups", {}, 3},
      {"one group", {7}, 3},
      {"even groups", {2, 2, 2, 2, 2, 2}, 3},
      {"a big group first", {9, 1, 1, 1}, 3},
      {"a big group last", {1, 1, 1, 9}, 3},
      {"more workers than rows", {1, 2}, 8},
      {"one worker", {3, 1, 4, 1, 5}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int> addr;
    std::vector<int> want_groups;
    for (size_t g = 0; g < c.sizes.size(); ++g) {
      for (int k = 0; k < c.sizes[g]; ++k) {
        addr.push_back(static_cast<int>(10 * g + 3));  // sparse addresses, ascending
        want_groups.push_back(static_cast<int>(g));
      }
    }
    const int n = static_cast<int>(addr.size());
    const int g = static_cast<int>(c.sizes.size());
    const int workers = std::min(c.workers, KernelActiveThreads());
    std::vector<int> counts(static_cast<size_t>(workers), -1);
    std::vector<int> group_addr(static_cast<size_t>(g) + 1, -1);
    const int ranges =
        MppCellAddrReNumber(n, g, workers, c.sizes.data(), addr.data(), counts.data(), group_addr.data());
    EXPECT_LE(ranges, workers);
    EXPECT_EQ(ranges > 0, g > 0);
    EXPECT_EQ(addr, want_groups);
    for (int k = 0; k < g; ++k) EXPECT_EQ(group_addr[k], 10 * k + 3);
    int start = 0;
    for (int r = 0; r < ranges; ++r) {
      EXPECT_GT(counts[r], 0);
      // Only the last range may fall short of an even share.
      if (r + 1 < ranges) {
        EXPECT_GE(counts[r], n / workers) << "range " << r;
      }
      // A range begins where a group begins.
      EXPECT_TRUE(start == 0 || want_groups[start] != want_groups[start - 1]) << "range " << r;
      start += counts[r];
    }
    EXPECT_EQ(start, n);
  }
}

}  // namespace
