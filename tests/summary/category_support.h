// What every categorising test builds on: target and category tables of every value type made
// from plain doubles, the new column read back as category values, and a reference that works out
// each record's category definition by definition (the first matching row wins).
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "summary/category/CategoryOperators.h"
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

// One definition row; a parameter of kNull is NULL, a category of kNullInt is NULL.
struct DefRow {
  const char* op;  // null: a NULL command
  double p1;
  double p2;
  int category;
};

// Whether operator `code` holds for the value x with the parameters a and b, in plain doubles.
inline bool Holds(int code, double x, double a, double b) {
  switch (code) {
    case kOpeEQ:
      return x == a;
    case kOpeBetween:
      return a <= x && x <= b;
    case kOpeLEQ:
      return x <= a;
    case kOpeGEQ:
      return x >= a;
    case kOpeNEQ:
      return x != a;
    case kOpeWithin:
      return a < x && x < b;
    case kOpeLES:
      return x < a;
    case kOpeGT:
      return x > a;
    default:
      return false;
  }
}

// The category a value gets, worked out definition by definition in plain doubles (a NULL value
// is minus infinity, below every parameter); kNullInt when no definition matches.
inline int ExpectedCategory(double x, const std::vector<DefRow>& defs) {
  for (const DefRow& d : defs) {
    if (Holds(Str2OpeCode(d.op), x, d.p1, d.p2)) return d.category;
  }
  return kNullInt;
}

// The key a NULL target value sorts as: an INTEGER target's NULL keys as -2^31, so that a double
// bound below it lies below every value; other types' NULL is minus infinity.
inline double TargetNull(int target_type) { return target_type == Q7_TYPE_INTEGER ? -2147483648.0 : kNull; }

// The column the serial road must give over `values` of `target_type`: NULL orders below every
// value, and a NULL parameter stands for the target's NULL.
inline std::vector<int> Reference(int target_type, const std::vector<double>& values,
                                  const std::vector<DefRow>& defs) {
  const double null_key = TargetNull(target_type);
  auto key = [&](double v) { return v == kNull ? null_key : v; };
  std::vector<DefRow> keyed(defs);
  for (DefRow& d : keyed) {
    d.p1 = key(d.p1);
    d.p2 = key(d.p2);
  }
  std::vector<int> out;
  out.reserve(values.size());
  for (double v : values) out.push_back(ExpectedCategory(key(v), keyed));
  return out;
}

class CategoryTablesTest : public EngineTablesTest {
 public:
  // Public, so that tables of cases can build their tables through the fixture.
  using EngineTablesTest::db_;
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

  // A STRING column; a null text is stored empty.
  int AddStrings(int table, const char* name, const std::vector<const char*>& values) {
    std::vector<const char*> v(values);
    for (const char*& s : v) {
      if (s == nullptr) s = "";
    }
    return Add(table, name, Q7_TYPE_STRING, 8, v.data());
  }

  // A category table: command, param1 and param2 of param_type (param2_type when given) at
  // param_scale, and INTEGER category values.
  int Categories(const char* name, const std::vector<DefRow>& rows, int param_type = Q7_TYPE_DOUBLE,
                 int param2_type = 0, int param_scale = kParamScale) {
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
    AddTyped(t, "p1", param_type, p1, param_scale);
    AddTyped(t, "p2", param2_type != 0 ? param2_type : param_type, p2, param_scale);
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

}  // namespace category_test
