// A real table built through the table's own operations for the integrated-calculator tests:
// source columns of each type, empty result columns, and every cell read back as text.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "calc/TIntegratedCalc.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "q7api.h"
#include "tests/database/table_test_support.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace icalctest {

constexpr int32_t kIntNull = INT32_MIN;
constexpr double kDblNull = -HUGE_VAL;

inline Numeric Units(int64_t v) { return Numeric{static_cast<uint64_t>(v), v < 0 ? -1 : 0}; }
inline Numeric DecNull() { return Numeric{0, INT64_MIN}; }

inline std::string DecText(const Numeric& x, const NumericInfo& info) {
  if (x.high == INT64_MIN && x.low == 0) return "NULL";
  char buf[128];
  q7num::NumericNum2Str(&x, &info, 0, info.scale, buf, sizeof buf);
  return buf;
}
inline std::string DblText(double v) {
  if (v == kDblNull) return "NULL";
  char buf[64];
  snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}
inline std::string IntText(int32_t v) { return v == kIntNull ? "NULL" : std::to_string(v); }

class ICalcTableTest : public ttest::TableTest {
 protected:
  TRealTable* NewTable(int rows) {
    table_ = Real(AddTable("icalc", rows));
    return table_;
  }

  int AddInt(std::string name, std::vector<int32_t> values) {
    return table_->AddFilter2(1024, name.data(), Q7_TYPE_INTEGER, static_cast<int>(values.size()), 4,
                              values.data(), table_->FTableID, -1);
  }
  int AddDouble(std::string name, std::vector<double> values) {
    return table_->AddFilter2(1024, name.data(), Q7_TYPE_DOUBLE, static_cast<int>(values.size()), 8,
                              values.data(), table_->FTableID, -1);
  }
  // Values given as units of 10^-scale.
  int AddDecimal(std::string name, std::vector<Numeric> units, int scale, int mode) {
    const int id = table_->AddFilter2(1024, name.data(), Q7_TYPE_DECIMAL, static_cast<int>(units.size()), 16,
                                      units.data(), table_->FTableID, -1);
    if (id > 0) static_cast<TNumericArray*>(table_->GetFilter(id)->VL)->SetDecimalInfo(scale, mode);
    return id;
  }
  int AddString(std::string name, const std::vector<std::string>& values) {
    std::vector<const char*> texts;
    for (const auto& v : values) texts.push_back(v.c_str());
    return table_->AddFilter2(1024, name.data(), Q7_TYPE_STRING, static_cast<int>(texts.size()), 8,
                              texts.data(), table_->FTableID, -1);
  }
  // An all-NULL column of the type (a decimal one at scale and mode).
  int AddTarget(std::string name, int type, int scale = 0, int mode = Q7_ROUND_HALF_EVEN) {
    const int id = table_->AddEmptyFilter(1024, name.data(), type, table_->FTableID, -1);
    if (id > 0 && type == Q7_TYPE_DECIMAL) {
      static_cast<TNumericArray*>(table_->GetFilter(id)->VL)->SetDecimalInfo(scale, mode);
    }
    return id;
  }

  // Record `record` (1-based) of the filter as text: "NULL" for a numeric NULL, a string as it is.
  std::string Cell(int filter_id, int record) {
    table_->CheckMergeFilterTVL(false);
    TFilter* f = table_->GetFilter(filter_id);
    const int v = f->PV->PIntAr()[record];
    switch (f->VL->GetDataType()) {
      case Q7_TYPE_INTEGER:
        return IntText(static_cast<TIntArray*>(f->VL)->PIntAr()[v]);
      case Q7_TYPE_DECIMAL: {
        auto* list = static_cast<TNumericArray*>(f->VL);
        Numeric x;
        list->GetDecimal(v, &x);
        NumericInfo info;
        list->GetDecimalInfo(&info);
        return DecText(x, info);
      }
      case Q7_TYPE_STRING:
        return static_cast<TStrArray*>(f->VL)->GetPChar(v);
      default:
        return DblText(static_cast<TDoubleArray*>(f->VL)->GetDouble(v));
    }
  }
  std::vector<std::string> Column(int filter_id) {
    std::vector<std::string> out;
    for (int r = 1; r <= table_->TotalRecs(); ++r) out.push_back(Cell(filter_id, r));
    return out;
  }

  TRealTable* table_ = nullptr;
};

}  // namespace icalctest
