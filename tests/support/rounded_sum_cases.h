// Groups of DOUBLE values whose whole parts, or their totals, pass the 64-bit integers, with the
// parts of their sum rounded to one decimal: the cases every road of a rounded non-cube sum is held
// to, through the exported calls and inside the summary library alike.
#pragma once

#include <vector>

namespace q7test {

struct RoundedSumCase {
  const char* what;
  std::vector<double> values;
  long long fraction;  // the rounded fractions' sum, in tenths
  double whole;        // the whole parts' sum (as the nearest double)
};

inline const std::vector<RoundedSumCase>& HugeRoundedSumCases() {
  static const std::vector<RoundedSumCase> kCases = {
      {"within range", {2.75, -1.25}, 8 - 2, 1},
      {"two past 2^63", {1e19, 2e19}, 0, 3e19},
      {"past 2^64 with a fraction", {3e20, 1.5}, 5, 3e20 + 1},
      {"negative past 2^63", {-1e19, -2e19}, 0, -3e19},
      {"huge ones cancel, the small one stays", {2e19, 1.25, -1e19, -1e19}, 3, 1},
      {"past 2^96 cancel", {1e30, 7.25, -1e30}, 3, 7},
      {"each below 2^63, their sum past it", {9.2e18, 9.2e18, 0.25}, 3, 1.84e19},
      {"the largest double below 2^63", {0x1p63 - 1024, 0x1p63 - 1024}, 0, 0x1p64 - 2048},
      {"-2^63", {-0x1p63, -0x1p63}, 0, -0x1p64},
  };
  return kCases;
}

}  // namespace q7test
