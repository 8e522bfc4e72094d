// The fixture of the parallel categorising tests: target tables of every numeric value type,
// category tables built from rows of (operator, param1, param2, category), the new column read back
// as category values, and random data shared by the serial-against-parallel comparisons.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "summary/CategoryOperators.h"
#include "tests/summary/engine_tables_support.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace category_test {

constexpr int kNullInt = INT_MIN;
constexpr double kNull = -HUGE_VAL;  // a NULL parameter or target value, whatever the type
constexpr int kDecimalScale = 2;     // decimal targets
constexpr int kParamScale = 3;       // decimal parameters

inline Numeric Decimal(double v, int scale = kDecimalScale) {
  if (v == kNull) return q7num::NanNumeric();
  const NumericInfo info{scale, Q7_ROUND_HALF_UP};
  Numeric out;
  q7num::NumericDbl2Num(&info, &out, v);
  return out;
}

// One definition row; a parameter of kNull is NULL.
struct DefRow {
  const char* op;  // null: a NULL command
  double p1;
  double p2;
  int category;
};

class CategoryTablesTest : public EngineTablesTest {
 public:
  // Public, so that tables of cases can build their tables through the fixture.
  using EngineTablesTest::NewTable;
  using EngineTablesTest::Table;
  using EngineTablesTest::tables_;

  // A column of `type` (INTEGER, DOUBLE, DATE, or DECIMAL at `scale`) holding `values`.
  int AddTyped(int table, const char* name, int type, const std::vector<double>& values,
               int scale = kDecimalScale) {
    const size_t n = values.size();
    if (type == Q7_TYPE_INTEGER) {
      std::vector<int> v(n);
      for (size_t i = 0; i < n; ++i) v[i] = values[i] == kNull ? kNullInt : static_cast<int>(values[i]);
      return Add(table, name, type, 4, v.data());
    }
    if (type == Q7_TYPE_DECIMAL) {
      std::vector<Numeric> v(n);
      for (size_t i = 0; i < n; ++i) v[i] = Decimal(values[i], scale);
      const int id = Add(table, name, type, 16, v.data());
      static_cast<TNumericArray*>(Table(table)->GetFilter(id)->VL)->SetDecimalInfo(scale, Q7_ROUND_HALF_UP);
      return id;
    }
    return Add(table, name, type, 8, values.data());
  }

  int AddStrings(int table, const char* name, const std::vector<const char*>& values) {
    std::vector<const char*> v(values);
    for (const char*& s : v) {
      if (s == nullptr) s = "";
    }
    return Add(table, name, Q7_TYPE_STRING, 8, v.data());
  }

  // A category table: command, param1 and param2 of param_type (param2_type when given), and
  // INTEGER category values.
  int Categories(const char* name, const std::vector<DefRow>& rows, int param_type = Q7_TYPE_DOUBLE,
                 int param2_type = 0) {
    const int t = NewTable(name, static_cast<int>(rows.size()));
    std::vector<const char*> ops;
    std::vector<double> p1, p2;
    std::vector<int> cats;
    for (const DefRow& r : rows) {
      ops.push_back(r.op);
      p1.push_back(r.p1);
      p2.push_back(r.p2);
      cats.push_back(r.category);
    }
    AddStrings(t, "cmd", ops);
    // Parameters at another scale than the targets, so decimals compare across scales.
    AddTyped(t, "p1", param_type, p1, kParamScale);
    AddTyped(t, "p2", param2_type != 0 ? param2_type : param_type, p2, kParamScale);
    Add(t, "cat", Q7_TYPE_INTEGER, 4, cats.data());
    return t;
  }

  // Each record's category value read through the filter's value list (kNullInt for NULL).
  std::vector<int> CategoryValues(int table, int filter) {
    TRealTable* t = Table(table);
    TFilter* f = t->GetFilter(filter);
    std::vector<int> out;
    if (f == nullptr) return out;
    auto* list = static_cast<TIntArray*>(f->VL);
    for (int r = 1; r <= t->TotalRecs(); ++r) out.push_back(list->GetInt(f->PV->GetInt(r)));
    return out;
  }

  // MppAddCategory's result; a thrown failure gives its code.
  int RunMpp(int table, int filter, int categories) {
    try {
      return Table(table)->MppAddCategory(filter, categories);
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  }
};

// Random target values of `type` with about one NULL in ten, drawn from `distinct` values so that
// both many rows per value and many distinct values occur.
inline std::vector<double> RandomValues(int type, int rows, int distinct, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(0, distinct - 1);
  std::uniform_int_distribution<int> null(0, 9);
  std::vector<double> v(static_cast<size_t>(rows));
  for (double& x : v) {
    if (null(gen) == 0) {
      x = kNull;
    } else if (type == Q7_TYPE_INTEGER) {
      x = pick(gen) - distinct / 2;
    } else if (type == Q7_TYPE_DATE) {
      x = 40000 + pick(gen);
    } else {
      x = (pick(gen) - distinct / 2) * 0.25;
    }
  }
  return v;
}

// Ten definitions of every operator over the range RandomValues draws from (scaled to the type),
// overlapping, with gaps that stay uncategorised. No row names a NULL parameter: an INTEGER
// target's NULL is not minus infinity on the serial road, so the roads part there by design.
inline std::vector<DefRow> MixedDefinitions(int type, int distinct) {
  const double unit = type == Q7_TYPE_INTEGER ? 1.0 : (type == Q7_TYPE_DATE ? 1.0 : 0.25);
  const double base = type == Q7_TYPE_DATE ? 40000 : -(distinct / 2) * unit;
  auto at = [&](double fraction) { return base + std::floor(distinct * fraction) * unit; };
  return {
      {"EQ", at(0.95), 0, 1},
      {"between", at(0.10), at(0.20), 2},
      {"WI", at(0.15), at(0.30), 3},
      {"<", at(0.05), 0, 4},
      {"LEQ", at(0.07), 0, 5},
      {"=", at(0.40), 0, 6},
      {"GT", at(0.90), 0, 7},
      {">=", at(0.85), 0, 8},
      {"<=>", at(0.50), at(0.60) + unit / 2, 9},
      {"WITHIN", at(0.62), at(0.70), 10},
  };
}

// The category a value gets, worked out definition by definition in plain doubles (a NULL value
// is minus infinity, below every parameter); kNullInt when no definition matches.
inline int ExpectedCategory(double x, const std::vector<DefRow>& defs) {
  for (const DefRow& d : defs) {
    bool hit = false;
    switch (Str2OpeCode(d.op)) {
      case kOpeEQ:
        hit = x == d.p1;
        break;
      case kOpeBetween:
        hit = d.p1 <= x && x <= d.p2;
        break;
      case kOpeLEQ:
        hit = x <= d.p1;
        break;
      case kOpeGEQ:
        hit = x >= d.p1;
        break;
      case kOpeNEQ:
        hit = x != d.p1;
        break;
      case kOpeWithin:
        hit = d.p1 < x && x < d.p2;
        break;
      case kOpeLES:
        hit = x < d.p1;
        break;
      case kOpeGT:
        hit = x > d.p1;
        break;
      default:
        break;
    }
    if (hit) return d.category;
  }
  return kNullInt;
}

// Adds a failure for each of the first few records on which two columns differ.
inline void ExpectSameCategories(const std::vector<int>& got, const std::vector<int>& want,
                                 const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  int reported = 0;
  for (size_t r = 0; r < got.size() && reported < 5; ++r) {
    if (got[r] != want[r]) {
      ++reported;
      ADD_FAILURE() << what << ": record " << r + 1 << " has " << got[r] << ", want " << want[r];
    }
  }
}

}  // namespace category_test
