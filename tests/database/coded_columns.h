// Columns of every value type built from small integer codes, for the sort and find tests: code 0
// is the type's NULL, and codes 1, 2, ... map to values that rise with the code, so an order or a
// condition on the values is the same order or condition on the codes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "q7api.h"
#include "tests/values/ValueListTestSupport.h"

namespace coded {

struct TypeCase {
  int type;
  const char* name;
};
const TypeCase kTypes[] = {
    {Q7_TYPE_INTEGER, "INTEGER"}, {Q7_TYPE_DOUBLE, "DOUBLE"},   {Q7_TYPE_DATE, "DATE"},
    {Q7_TYPE_STRING, "STRING"},   {Q7_TYPE_DECIMAL, "DECIMAL"},
};

inline int IntOf(int code) { return code == 0 ? std::numeric_limits<int>::min() : code * 3 - 20; }
inline double DoubleOf(int type, int code) {
  if (code == 0) return -HUGE_VAL;
  return type == Q7_TYPE_DATE ? 40000.0 + code : code * 0.5 - 3.0;
}
inline std::string StrOf(int code) {
  if (code == 0) return "";
  char text[16];
  snprintf(text, sizeof text, "s%03d", code);
  return text;
}
inline Numeric DecOf(int code) { return code == 0 ? vltest::DecNan() : vltest::Dec(code * 7 - 30); }

// Adds a filter of `type` whose record r + 1 holds the value of codes[r]; returns its ID.
inline int AddCodedFilter(TRealTable* t, int type, const std::vector<int>& codes, const char* name = "C") {
  std::string work(name);
  const int n = static_cast<int>(codes.size());
  switch (type) {
    case Q7_TYPE_INTEGER: {
      std::vector<int> raw;
      for (int c : codes) raw.push_back(IntOf(c));
      return t->AddFilter2(1024, work.data(), type, n, 4, raw.data(), 0, -1);
    }
    case Q7_TYPE_STRING: {
      std::vector<std::string> texts;
      for (int c : codes) texts.push_back(StrOf(c));
      std::vector<const char*> raw;
      for (const auto& s : texts) raw.push_back(s.c_str());
      return t->AddFilter2(1024, work.data(), type, n, 8, raw.data(), 0, -1);
    }
    case Q7_TYPE_DECIMAL: {
      std::vector<Numeric> raw;
      for (int c : codes) raw.push_back(DecOf(c));
      return t->AddFilter2(1024, work.data(), type, n, 16, raw.data(), 0, -1);
    }
    default: {
      std::vector<double> raw;
      for (int c : codes) raw.push_back(DoubleOf(type, c));
      return t->AddFilter2(1024, work.data(), type, n, 8, raw.data(), 0, -1);
    }
  }
}

// n codes in 0 .. max_code (0, the NULL, among them).
inline std::vector<int> RandomCodes(int n, int max_code, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<int> codes(static_cast<size_t>(n));
  for (auto& c : codes) c = static_cast<int>(gen() % static_cast<uint32_t>(max_code + 1));
  return codes;
}

// The records 1 .. n in a shuffled order, cut to `keep` of them.
inline std::vector<int> ShuffledRecords(int n, int keep, uint32_t seed) {
  std::vector<int> rows(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) rows[i] = i + 1;
  std::shuffle(rows.begin(), rows.end(), std::mt19937(seed));
  rows.resize(static_cast<size_t>(keep));
  return rows;
}

}  // namespace coded
