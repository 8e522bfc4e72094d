// The random data and definitions shared by the serial-against-parallel categorising comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/summary/category_support.h"

namespace category_test {

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
