// The fixture of the parallel non-cube summary tests: a source table with dimension and measure
// columns of every value type (NULLs included), a reader that turns any table into texts, and a
// brute-force group-by that computes the expected output table straight from the source rows.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/noncube/TNonCubeSum.h"
#include "tests/summary/engine_tables_support.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"

namespace noncube_test {

constexpr int kNullInt = std::numeric_limits<int>::min();
constexpr double kNullDouble = -std::numeric_limits<double>::infinity();

// A table as texts: per column "name:kind/scale" (kind: the value type, dates keeping theirs), and
// the rows, each cell as text ("NULL" for the type's NULL, which for STRING is the empty text).
struct TableTexts {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

inline std::string DoubleText(double v) {
  if (v == kNullDouble) return "NULL";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

inline std::string DecimalText(const Numeric& x, int scale) {
  if (q7num::IsNan(x)) return "NULL";
  const __int128 units = q7num::ToInt128(x);
  const bool negative = units < 0;
  unsigned __int128 mag =
      negative ? static_cast<unsigned __int128>(-units) : static_cast<unsigned __int128>(units);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
    mag /= 10;
  } while (mag != 0);
  return (negative ? "-" : "") + digits + "@" + std::to_string(scale);
}

inline int KindOf(TBaseArray* list) {
  const int type = list->GetDataType();
  return type == Q7_TYPE_DOUBLE ? static_cast<TDoubleArray*>(list)->GetExtendType() : type;
}

inline int ScaleOf(TBaseArray* list) {
  return list->GetDataType() == Q7_TYPE_DECIMAL ? static_cast<TNumericArray*>(list)->GetScale() : 0;
}

// Value number v of a column's list as text.
inline std::string ValueText(TFilter* f, int v) {
  void* p = f->VL->GetAddress(v);
  switch (f->VL->GetDataType()) {
    case Q7_TYPE_INTEGER: {
      const int i = *static_cast<int*>(p);
      return i == kNullInt ? "NULL" : std::to_string(i);
    }
    case Q7_TYPE_DOUBLE:
      return DoubleText(*static_cast<double*>(p));
    case Q7_TYPE_DECIMAL:
      return DecimalText(*static_cast<Numeric*>(p), ScaleOf(f->VL));
    default: {
      const char* s = static_cast<char*>(p);
      return s[0] == '\0' ? "NULL" : s;
    }
  }
}

inline TableTexts ReadTable(TRealTable* t) {
  TableTexts out;
  const int rows = t->TotalRecs();
  out.rows.assign(static_cast<size_t>(rows), {});
  for (int c = 0; c < t->FnFilter; ++c) {
    TFilter* f = t->FFilters[c];
    out.header.push_back(std::string(f->FFilterName) + ":" + std::to_string(KindOf(f->VL)) + "/" +
                         std::to_string(ScaleOf(f->VL)));
    for (int r = 1; r <= rows; ++r) out.rows[r - 1].push_back(ValueText(f, f->PV->PIntAr()[r]));
  }
  return out;
}

// One measure of a request.
struct Measure {
  int id;
  int mask;
  int decimals = -1;
};

// The expected table of a non-cube summary of the listed records (1-based, in set order) of
// `source`, computed row by row: groups ordered by the dimensions' values (NULL first), COUNT of
// every row, MAX / MIN of the non-NULL values (a STRING list's NULL is its empty text), SUM of the
// non-NULL values (a double-kind value with decimals d rounded half up to d places first), AVG =
// SUM / COUNT. Column names are the source's.
inline TableTexts GroupBy(TRealTable* source, const std::vector<int>& records, const std::vector<int>& dims,
                          const std::vector<Measure>& measures) {
  struct Acc {
    int count = 0;
    std::vector<int> max, min;  // value numbers (the lists are sorted: NULL 0, then ascending values)
    std::vector<double> sum;
    std::vector<__int128> dsum;
  };
  const size_t nm = measures.size();
  std::map<std::vector<int>, Acc> groups;
  for (int r : records) {
    std::vector<int> key;
    for (int d : dims) key.push_back(source->GetFilter(d)->PV->PIntAr()[r]);
    Acc& a = groups[key];
    if (a.count++ == 0) {
      a.max.assign(nm, 0);
      a.min.assign(nm, -1);
      a.sum.assign(nm, 0.0);
      a.dsum.assign(nm, 0);
    }
    for (size_t m = 0; m < nm; ++m) {
      TFilter* f = source->GetFilter(measures[m].id);
      const int v = f->PV->PIntAr()[r];
      const int type = f->VL->GetDataType();
      a.max[m] = std::max(a.max[m], v);
      if (v != 0 && (a.min[m] < 0 || v < a.min[m])) a.min[m] = v;
      if (v == 0) continue;
      void* p = f->VL->GetAddress(v);
      if (type == Q7_TYPE_INTEGER) a.sum[m] += *static_cast<int*>(p);
      if (type == Q7_TYPE_DECIMAL) a.dsum[m] += q7num::ToInt128(*static_cast<Numeric*>(p));
      if (type == Q7_TYPE_DOUBLE) {
        const double x = *static_cast<double*>(p);
        if (measures[m].decimals < 0) {
          a.sum[m] += x;
        } else {
          // Each value's fraction rounded half up to the decimals, then everything added.
          const double factor = std::pow(10.0, measures[m].decimals);
          const double whole = std::trunc(x);
          a.sum[m] += whole + std::floor((x - whole) * factor + 0.5) / factor;
        }
      }
    }
  }

  TableTexts t;
  for (int d : dims) {
    TFilter* f = source->GetFilter(d);
    t.header.push_back(std::string(f->FFilterName) + ":" + std::to_string(KindOf(f->VL)) + "/" +
                       std::to_string(ScaleOf(f->VL)));
  }
  for (const Measure& m : measures) {
    TFilter* f = source->GetFilter(m.id);
    const std::string name = f->FFilterName;
    const bool decimal = f->VL->GetDataType() == Q7_TYPE_DECIMAL;
    const std::string own = ":" + std::to_string(KindOf(f->VL)) + "/" + std::to_string(ScaleOf(f->VL));
    const std::string sums = decimal ? own : ":3/0";
    if (m.mask & 1) t.header.push_back("N<" + name + ">:2/0");
    if (m.mask & 2) t.header.push_back("MAX<" + name + ">" + own);
    if (m.mask & 4) t.header.push_back("MIN<" + name + ">" + own);
    if (m.mask & 8) t.header.push_back("SUM<" + name + ">" + sums);
    if (m.mask & 16) t.header.push_back("AVG<" + name + ">" + sums);
  }
  if (measures.empty()) t.header.push_back("N:2/0");

  for (const auto& [key, a] : groups) {
    std::vector<std::string> row;
    for (size_t d = 0; d < dims.size(); ++d) row.push_back(ValueText(source->GetFilter(dims[d]), key[d]));
    for (size_t m = 0; m < nm; ++m) {
      TFilter* f = source->GetFilter(measures[m].id);
      const int mask = measures[m].mask;
      const bool decimal = f->VL->GetDataType() == Q7_TYPE_DECIMAL;
      const int scale = ScaleOf(f->VL);
      if (mask & 1) row.push_back(std::to_string(a.count));
      if (mask & 2) row.push_back(ValueText(f, a.max[m]));
      if (mask & 4) row.push_back(ValueText(f, std::max(a.min[m], 0)));
      if (mask & 8) {
        row.push_back(decimal ? DecimalText(q7num::FromInt128(a.dsum[m]), scale) : DoubleText(a.sum[m]));
      }
      if (mask & 16) {
        if (decimal) {
          NumericInfo info{};
          static_cast<TNumericArray*>(f->VL)->GetDecimalInfo(&info);
          Numeric avg = q7num::FromInt128(a.dsum[m]);
          q7num::NumericDiv(&avg, &info, a.count);
          row.push_back(DecimalText(avg, scale));
        } else {
          row.push_back(DoubleText(a.sum[m] / a.count));
        }
      }
    }
    if (measures.empty()) row.push_back(std::to_string(a.count));
    t.rows.push_back(std::move(row));
  }
  return t;
}

// A source table "sales" of every column kind. Dimensions: year (INTEGER), rate (DOUBLE), day
// (DATE), at (TIME), region (STRING), grade (DECIMAL, scale 1). Measures: qty (INTEGER), price
// (DOUBLE, quarters), ship (DATE), stamp (DATETIME), amount (DECIMAL, scale 2), name (STRING, with
// empty texts), label (STRING, never empty). Every column has NULLs but label.
class NonCubeMppTest : public EngineTablesTest {
 protected:
  // Loads `rows` rows; `spread` widens the dimensions' value ranges (more groups).
  int Load(int rows, int spread = 1) {
    const int t = NewTable("sales", rows);
    std::vector<int> year, qty;
    std::vector<double> rate, day, at, price, ship, stamp;
    std::vector<Numeric> grade, amount;
    std::vector<const char*> region, name, label;
    static const char* kRegions[] = {"", "east", "north", "south", "west"};
    static const char* kNames[] = {"", "ann", "bob", "cy", "dee", "eve"};
    static const char* kLabels[] = {"k1", "k2", "k3", "k4"};
    for (int r = 0; r < rows; ++r) {
      const unsigned h = static_cast<unsigned>(r) * 2654435761u;
      year.push_back(h % 11 == 0 ? kNullInt : 2000 + static_cast<int>((h >> 9) % (4 * spread)));
      rate.push_back(h % 13 == 0 ? kNullDouble : 0.25 * static_cast<double>((h >> 12) % (3 * spread)));
      day.push_back(h % 17 == 0 ? kNullDouble : 19000.0 + static_cast<double>((h >> 6) % (3 * spread)));
      at.push_back(h % 19 == 0 ? kNullDouble : 0.125 * static_cast<double>((h >> 4) % 3));
      region.push_back(kRegions[(h >> 7) % 5]);
      grade.push_back(h % 23 == 0 ? q7num::NanNumeric()
                                  : q7num::FromInt128(static_cast<int>((h >> 10) % 3) - 1));
      qty.push_back(h % 7 == 0 ? kNullInt : static_cast<int>((h >> 13) % 50) - 10);
      price.push_back(h % 5 == 0 ? kNullDouble : 0.25 * static_cast<double>((h >> 11) % 400) - 20.0);
      ship.push_back(h % 6 == 0 ? kNullDouble : 19100.0 + static_cast<double>((h >> 5) % 90));
      stamp.push_back(h % 8 == 0 ? kNullDouble : 20000.0 + 0.5 * static_cast<double>((h >> 14) % 40));
      amount.push_back(h % 9 == 0 ? q7num::NanNumeric()
                                  : q7num::FromInt128(static_cast<int64_t>((h >> 15) % 100000) - 20000));
      name.push_back(kNames[(h >> 3) % 6]);
      label.push_back(kLabels[(h >> 16) % 4]);
    }
    year_ = Add(t, "year", Q7_TYPE_INTEGER, 4, year.data());
    rate_ = Add(t, "rate", Q7_TYPE_DOUBLE, 8, rate.data());
    day_ = Add(t, "day", Q7_TYPE_DATE, 8, day.data());
    at_ = Add(t, "at", Q7_TYPE_TIME, 8, at.data());
    region_ = Add(t, "region", Q7_TYPE_STRING, 8, region.data());
    grade_ = Add(t, "grade", Q7_TYPE_DECIMAL, 16, grade.data());
    static_cast<TNumericArray*>(Table(t)->GetFilter(grade_)->VL)->SetDecimalInfo(1, Q7_ROUND_HALF_UP);
    qty_ = Add(t, "qty", Q7_TYPE_INTEGER, 4, qty.data());
    price_ = Add(t, "price", Q7_TYPE_DOUBLE, 8, price.data());
    ship_ = Add(t, "ship", Q7_TYPE_DATE, 8, ship.data());
    stamp_ = Add(t, "stamp", Q7_TYPE_DATETIME, 8, stamp.data());
    amount_ = Add(t, "amount", Q7_TYPE_DECIMAL, 16, amount.data());
    static_cast<TNumericArray*>(Table(t)->GetFilter(amount_)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
    name_ = Add(t, "name", Q7_TYPE_STRING, 8, name.data());
    label_ = Add(t, "label", Q7_TYPE_STRING, 8, label.data());
    return t;
  }

  // Registers every `step`-th record from `first` as a set of the table; its ID, the records in
  // *records.
  int EveryNth(int table, int first, int step, std::vector<int>* records) {
    records->clear();
    for (int r = first; r <= Table(table)->TotalRecs(); r += step) records->push_back(r);
    auto set = std::make_unique<TSetArray>(static_cast<int>(records->size()), 0);
    std::copy(records->begin(), records->end(), set->PIntAr());
    const int id = Table(table)->AddSetWithoutCopy(set.release());
    EXPECT_GT(id, 1);
    return id;
  }

  static std::vector<int> AllRecords(TRealTable* t) {
    std::vector<int> all;
    for (int r = 1; r <= t->TotalRecs(); ++r) all.push_back(r);
    return all;
  }

  // Runs the parallel road; the result field (the new table is deleted with the fixture).
  int RunMpp(int table, int set, const std::vector<int>& dims, const std::vector<Measure>& measures) {
    std::vector<int> ids, masks, decimals;
    for (const Measure& m : measures) {
      ids.push_back(m.id);
      masks.push_back(m.mask);
      decimals.push_back(m.decimals);
    }
    TNonCubeSum summary;
    summary.MppRun(table, set, static_cast<int>(dims.size()), dims.data(), static_cast<int>(ids.size()),
                   ids.data(), masks.data(), decimals.data());
    if (summary.Result() > 0) tables_.push_back(summary.Result());
    return summary.Result();
  }

  // Runs the counting-sort variant on the request MppRun would take; the result (the new table is
  // deleted with the fixture).
  int RunCounting(int table, int set, const std::vector<int>& dims, const std::vector<Measure>& measures) {
    std::vector<int> ids, masks, decimals;
    for (const Measure& m : measures) {
      ids.push_back(m.id);
      masks.push_back(m.mask);
      decimals.push_back(m.decimals);
    }
    TNonCubeSum summary;
    summary.MppCheckRequest(table, set, static_cast<int>(dims.size()), dims.data(),
                            static_cast<int>(ids.size()), ids.data(), masks.data(), decimals.data());
    const int out = summary.MppNonCubeRealDimN();
    if (out > 0) tables_.push_back(out);
    return out;
  }

  int year_ = 0, rate_ = 0, day_ = 0, at_ = 0, region_ = 0, grade_ = 0;
  int qty_ = 0, price_ = 0, ship_ = 0, stamp_ = 0, amount_ = 0, name_ = 0, label_ = 0;
};

}  // namespace noncube_test
