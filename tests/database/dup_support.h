// A table with one source filter of each value type (2 to 8) for the duplication tests, and the
// expected values of a converted duplicate, made by converting the source's value list directly.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "edit_support.h"
#include "table_test_support.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/TypeConv.h"

namespace duptest {

// The source filters, in display order.
enum Source { kInteger, kDouble, kDate, kTime, kString, kDatetime, kDecimal, kSourceCount };
constexpr int kSourceTypes[kSourceCount] = {Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE,   Q7_TYPE_DATE,   Q7_TYPE_TIME,
                                            Q7_TYPE_STRING,  Q7_TYPE_DATETIME, Q7_TYPE_DECIMAL};

inline std::string Fmt(double v) { return edtest::FormatRaw(Q7_TYPE_DOUBLE, &v); }
inline std::string Fmt(int32_t v) { return edtest::FormatRaw(Q7_TYPE_INTEGER, &v); }
inline std::string Fmt(Numeric v) { return edtest::FormatRaw(Q7_TYPE_DECIMAL, &v); }

class AllTypesTest : public ttest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("all", 6));
    const double null = edtest::kDblNull;
    const std::vector<int32_t> ints{20240115, 19991231, -3, 12, edtest::kIntNull, 12};
    const std::vector<double> doubles{1.2, 1.7, -2.5, 45000.75, null, 0.0};
    const std::vector<double> dates{45000, 45306, null, 45000, 1, 2};
    const std::vector<double> times{0.5, 0.25, null, 0.75, 0.5, 0};
    const std::vector<const char*> texts{"12", "1.5", "2024/01/15", "abc", "", "12"};
    const std::vector<double> datetimes{45000.5, 45306.25, null, 45000.5, 3.75, 0};
    const std::vector<Numeric> decimals{edtest::Dec(150),     edtest::Dec(-25), edtest::DecNan(),
                                        edtest::Dec(1234567), edtest::Dec(100), edtest::Dec(0)};
    const void* raw[kSourceCount] = {ints.data(),  doubles.data(),   dates.data(),   times.data(),
                                     texts.data(), datetimes.data(), decimals.data()};
    const char* names[kSourceCount] = {"i", "d", "dt", "tm", "s", "ts", "n"};
    for (int s = 0; s < kSourceCount; ++s) {
      std::string name = names[s];
      const int type = kSourceTypes[s];
      const int id = t_->AddFilter2(1024, name.data(), type, 6, edtest::RawWidth(type),
                                    const_cast<void*>(raw[s]), t_->FTableID, -1);
      ASSERT_GT(id, 0);
      ids_.push_back(id);
      types_.push_back(type);
    }
    static_cast<TNumericArray*>(t_->GetFilter(ids_[kDecimal])->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_EVEN);
  }

  TRealTable* t_ = nullptr;
  std::vector<int> ids_;
  std::vector<int> types_;
};

// The value of each record of `source` (value type src) converted to dst through the whole-list
// converters, as text.
inline std::vector<std::string> ExpectedConversion(TFilter* source, int src, int dst, int scale, int mode) {
  TBaseArray* list = source->VL;
  const int n = list->FArraySize;
  std::vector<std::string> entries(static_cast<size_t>(n));
  if (src == dst && dst != Q7_TYPE_DECIMAL) {
    for (int i = 0; i < n; ++i) entries[static_cast<size_t>(i)] = edtest::ListEntry(list, src, i);
  } else if (dst == Q7_TYPE_DECIMAL) {
    TNumericArray out(n, 0);
    out.SetDecimalInfo(scale, mode);
    switch (src) {
      case Q7_TYPE_INTEGER:
        intVL2decVL(static_cast<TIntArray*>(list), &out);
        break;
      case Q7_TYPE_STRING:
        strVL2decVL(static_cast<TStrArray*>(list), &out);
        break;
      case Q7_TYPE_DECIMAL:
        decVL2decVL(static_cast<TNumericArray*>(list), &out);
        break;
      default:
        dblVL2decVL(static_cast<TDoubleArray*>(list), &out);
        break;
    }
    for (int i = 0; i < n; ++i) entries[static_cast<size_t>(i)] = edtest::ListEntry(&out, dst, i);
  } else if (dst == Q7_TYPE_STRING) {
    std::vector<char*> texts(static_cast<size_t>(n));
    std::vector<char> area(static_cast<size_t>(n) * static_cast<size_t>(TypeConvTextWidth(src)));
    // The range forms convert like the whole-list ones (values/TypeConv.h).
    // The source is cast only once its class is known.
    auto s_int = [list] { return static_cast<TIntArray*>(list); };
    auto s_dbl = [list] { return static_cast<TDoubleArray*>(list); };
    auto s_dec = [list] { return static_cast<TNumericArray*>(list); };
    switch (src) {
      case Q7_TYPE_INTEGER:
        intVL2strVLConv(s_int(), texts.data(), area.data(), 0, n);
        break;
      case Q7_TYPE_DOUBLE:
        doubleVL2strVLConv(s_dbl(), texts.data(), area.data(), 0, n);
        break;
      case Q7_TYPE_DATE:
        dateVL2strVLConv(s_dbl(), texts.data(), area.data(), 0, n);
        break;
      case Q7_TYPE_TIME:
        timeVL2strVLConv(s_dbl(), texts.data(), area.data(), 0, n);
        break;
      case Q7_TYPE_DATETIME:
        datetimeVL2strVLConv(s_dbl(), texts.data(), area.data(), 0, n);
        break;
      default:
        decVL2strVLConv(s_dec(), texts.data(), area.data(), 0, n);
        break;
    }
    for (int i = 0; i < n; ++i)
      entries[static_cast<size_t>(i)] = edtest::FormatRaw(dst, &texts[static_cast<size_t>(i)]);
  } else {
    // INTEGER and the double family: convert entry by entry into a raw buffer.
    std::vector<int32_t> ints(static_cast<size_t>(n));
    std::vector<double> dbls(static_cast<size_t>(n));
    TIntArray* s_int = nullptr;
    TDoubleArray* s_dbl = nullptr;
    TStrArray* s_str = nullptr;
    TNumericArray* s_dec = nullptr;
    switch (src) {
      case Q7_TYPE_INTEGER:
        s_int = static_cast<TIntArray*>(list);
        break;
      case Q7_TYPE_STRING:
        s_str = static_cast<TStrArray*>(list);
        break;
      case Q7_TYPE_DECIMAL:
        s_dec = static_cast<TNumericArray*>(list);
        break;
      default:
        s_dbl = static_cast<TDoubleArray*>(list);
        break;
    }
    const int key = src * 10 + dst;
    switch (key) {
      case 32:
        dblVL2intVL(s_dbl, ints.data());
        break;
      case 42:
        dateVL2intVL(s_dbl, ints.data());
        break;
      case 52:
        timeVL2intVL(s_dbl, ints.data());
        break;
      case 72:
        datetimeVL2intVL(s_dbl, ints.data());
        break;
      case 62:
        strVL2intVL(s_str, ints.data());
        break;
      case 82:
        decVL2intVL(s_dec, ints.data());
        break;
      case 23:
        intVL2dblVL(s_int, dbls.data());
        break;
      case 43:
        dateVL2dblVL(s_dbl, dbls.data());
        break;
      case 53:
        timeVL2dblVL(s_dbl, dbls.data());
        break;
      case 73:
        datetimeVL2dblVL(s_dbl, dbls.data());
        break;
      case 63:
        strVL2dblVL(s_str, dbls.data());
        break;
      case 83:
        decVL2dblVL(s_dec, dbls.data());
        break;
      case 24:
        intVL2dateVL(s_int, dbls.data());
        break;
      case 34:
        doubleVL2dateVL(s_dbl, dbls.data());
        break;
      case 54:
        timeVL2dateVL(s_dbl, dbls.data());
        break;
      case 74:
        datetimeVL2dateVL(s_dbl, dbls.data());
        break;
      case 64:
        strVL2dateVL(s_str, dbls.data());
        break;
      case 84:
        decVL2dateVL(s_dec, dbls.data());
        break;
      case 25:
        intVL2timeVL(s_int, dbls.data());
        break;
      case 35:
        doubleVL2timeVL(s_dbl, dbls.data());
        break;
      case 45:
        dateVL2timeVL(s_dbl, dbls.data());
        break;
      case 75:
        datetimeVL2timeVL(s_dbl, dbls.data());
        break;
      case 65:
        strVL2timeVL(s_str, dbls.data());
        break;
      case 85:
        decVL2timeVL(s_dec, dbls.data());
        break;
      case 27:
        intVL2datetimeVL(s_int, dbls.data());
        break;
      case 37:
        doubleVL2datetimeVL(s_dbl, dbls.data());
        break;
      case 47:
        dateVL2datetimeVL(s_dbl, dbls.data());
        break;
      case 57:
        timeVL2datetimeVL(s_dbl, dbls.data());
        break;
      case 67:
        strVL2datetimeVL(s_str, dbls.data());
        break;
      case 87:
        decVL2datetimeVL(s_dec, dbls.data());
        break;
      default:
        ADD_FAILURE() << "no converter for " << key;
        break;
    }
    for (int i = 0; i < n; ++i) {
      const size_t k = static_cast<size_t>(i);
      entries[k] =
          dst == Q7_TYPE_INTEGER ? Fmt(ints[k]) : Fmt(dbls[k] != dbls[k] ? edtest::kDblNull : dbls[k]);
    }
  }
  std::vector<std::string> out;
  for (int r = 1; r < source->PV->FArraySize; ++r)
    out.push_back(entries[static_cast<size_t>(source->PV->GetInt(r))]);
  return out;
}

}  // namespace duptest
