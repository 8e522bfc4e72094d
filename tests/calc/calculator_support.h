// A real table built through the table's own operations for the four-operation calculator tests:
// source columns of every numeric type, empty result columns, and the values read back as text.
#pragma once

#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "calc/TCalculator.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "q7api.h"
#include "tests/database/table_test_support.h"
#include "values/NumericText.h"
#include "values/TNumericArray.h"

namespace calctest {

constexpr int32_t kIntNull = INT32_MIN;
constexpr double kDblNull = -HUGE_VAL;

inline Numeric Units(int64_t v) { return Numeric{static_cast<uint64_t>(v), v < 0 ? -1 : 0}; }
inline Numeric DecNull() { return Numeric{0, INT64_MIN}; }

// A decimal as text at its scale ("NULL" for the NaN).
inline std::string DecText(const Numeric& x, NumericInfo info) {
  if (x.high == INT64_MIN && x.low == 0) return "NULL";
  char buf[80];
  q7num::NumericNum2Str(&x, &info, 0, info.scale, buf, sizeof buf);
  return buf;
}

inline std::string IntText(int32_t v) { return v == kIntNull ? "NULL" : std::to_string(v); }

inline std::string DblText(double v) {
  if (v == kDblNull) return "NULL";
  char buf[64];
  snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

class CalcTableTest : public ttest::TableTest {
 protected:
  TRealTable* NewTable(int rows) {
    table_ = Real(AddTable("calc", rows));
    return table_;
  }

  int AddInt(const std::string& name, std::vector<int32_t> values) {
    std::string n = name;
    return table_->AddFilter2(1024, n.data(), Q7_TYPE_INTEGER, static_cast<int>(values.size()), 4,
                              values.data(), table_->FTableID, -1);
  }
  int AddDouble(const std::string& name, std::vector<double> values) {
    std::string n = name;
    return table_->AddFilter2(1024, n.data(), Q7_TYPE_DOUBLE, static_cast<int>(values.size()), 8,
                              values.data(), table_->FTableID, -1);
  }
  // Decimal values given as units of 10^-scale.
  int AddDecimal(const std::string& name, std::vector<Numeric> units, int scale, int mode) {
    std::string n = name;
    const int id = table_->AddFilter2(1024, n.data(), Q7_TYPE_DECIMAL, static_cast<int>(units.size()), 16,
                                      units.data(), table_->FTableID, -1);
    if (id > 0) static_cast<TNumericArray*>(table_->GetFilter(id)->VL)->SetDecimalInfo(scale, mode);
    return id;
  }
  // An all-NULL column of the type (decimal: at scale and mode).
  int AddTarget(const std::string& name, int type, int scale = 0, int mode = Q7_ROUND_HALF_EVEN) {
    std::string n = name;
    const int id = table_->AddEmptyFilter(1024, n.data(), type, table_->FTableID, -1);
    if (id > 0 && type == Q7_TYPE_DECIMAL) {
      static_cast<TNumericArray*>(table_->GetFilter(id)->VL)->SetDecimalInfo(scale, mode);
    }
    return id;
  }

  // The value of record `record` (1-based) of the filter as text.
  std::string Cell(int filter_id, int record) {
    unsigned char value[4096];
    int type = 0;
    EXPECT_GE(table_->ReadData(1, filter_id, record - 1, &type, value), 0);
    if (type == Q7_TYPE_INTEGER) {
      int32_t v;
      memcpy(&v, value, 4);
      return IntText(v);
    }
    if (type == Q7_TYPE_DECIMAL) {
      Numeric v;
      memcpy(&v, value, 16);
      NumericInfo info;
      static_cast<TNumericArray*>(table_->GetFilter(filter_id)->VL)->GetDecimalInfo(&info);
      return DecText(v, info);
    }
    double v;
    memcpy(&v, value, 8);
    return DblText(v);
  }
  std::vector<std::string> Column(int filter_id) {
    std::vector<std::string> out;
    for (int r = 1; r <= table_->TotalRecs(); ++r) out.push_back(Cell(filter_id, r));
    return out;
  }

  TRealTable* table_ = nullptr;
};

}  // namespace calctest
