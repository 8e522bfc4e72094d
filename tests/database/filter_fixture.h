// Filters and sets built the way a table builds them (a raw column with the NULL in element 0,
// compiled into a value list and value numbers), for the filter and set tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "q7api.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace ftest {

using vltest::Dec;
using vltest::DecNan;
using vltest::kDblNull;
using vltest::kIntNull;

// A filter over n records: raw holds n + 1 elements of the type's width, element 0 the NULL.
inline std::unique_ptr<TFilter> MakeFilter(int type, int n_plus_1, const void* raw, int id = 1,
                                           const char* name = "F") {
  int* rows = nullptr;
  int count = 0;
  void* list = nullptr;
  Compile(n_plus_1, type, ValueTypeWidth(type), raw, &rows, &count, &list);
  std::string work(name);
  auto f = std::make_unique<TFilter>(id, work.data());
  f->PV = new TIntArray(n_plus_1, rows);
  f->VL = AdoptCompiledList(type, count, list);
  return f;
}

inline std::unique_ptr<TFilter> IntFilter(const std::vector<int32_t>& records, int id = 1) {
  std::vector<int32_t> raw{kIntNull};
  raw.insert(raw.end(), records.begin(), records.end());
  return MakeFilter(Q7_TYPE_INTEGER, static_cast<int>(raw.size()), raw.data(), id);
}

inline std::unique_ptr<TFilter> DoubleFilter(const std::vector<double>& records, int type = Q7_TYPE_DOUBLE) {
  std::vector<double> raw{kDblNull};
  raw.insert(raw.end(), records.begin(), records.end());
  return MakeFilter(type, static_cast<int>(raw.size()), raw.data());
}

inline std::unique_ptr<TFilter> DecimalFilter(const std::vector<Numeric>& records) {
  std::vector<Numeric> raw{DecNan()};
  raw.insert(raw.end(), records.begin(), records.end());
  return MakeFilter(Q7_TYPE_DECIMAL, static_cast<int>(raw.size()), raw.data());
}

inline std::unique_ptr<TFilter> StrFilter(const std::vector<std::string>& records) {
  std::vector<const char*> raw{""};
  for (const auto& s : records) raw.push_back(s.c_str());
  return MakeFilter(Q7_TYPE_STRING, static_cast<int>(raw.size()), raw.data());
}

inline std::unique_ptr<TSetArray> MakeSet(const std::vector<int>& records) {
  auto s = std::make_unique<TSetArray>(static_cast<int>(records.size()), 0);
  if (!records.empty()) memcpy(s->FData, records.data(), sizeof(int) * records.size());
  return s;
}

inline std::unique_ptr<TSetArray> AllRecords(int n) {
  auto s = std::make_unique<TSetArray>(n, 0);
  s->InitAsSet();
  return s;
}

inline std::vector<int> Elements(const TIntArray* a) {
  const int* p = static_cast<const int*>(a->FData);
  return std::vector<int>(p, p + a->FArraySize);
}

inline std::vector<int> Take(TSetArray* s) {
  std::unique_ptr<TSetArray> owned(s);
  return Elements(owned.get());
}

// The value of record r of an INTEGER filter (pending values read through the pending list).
inline int IntValue(TFilter* f, int r) {
  const int vn = f->PV->GetInt(r);
  if (vn < 0) return static_cast<TIntArray*>(f->TVL)->GetInt(-vn);
  return static_cast<TIntArray*>(f->VL)->GetInt(vn);
}

// A private error ring for one test.
using RingTest = q7test::RingTest;

}  // namespace ftest
