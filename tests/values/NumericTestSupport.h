// Decimals written as the decimal text of their unscaled 128-bit value, for the decimal tests.
#pragma once

#include <string>

#include "values/Numeric.h"

namespace numtest {

// "NaN", or the unscaled value as a decimal integer with an optional leading '-'.
inline Numeric N(const std::string& text) {
  if (text == "NaN") return q7num::NanNumeric();
  const bool negative = text[0] == '-';
  q7num::u128 v = 0;
  for (size_t i = negative ? 1 : 0; i < text.size(); ++i) v = v * 10 + static_cast<unsigned>(text[i] - '0');
  return q7num::FromInt128(negative ? -static_cast<q7num::i128>(v) : static_cast<q7num::i128>(v));
}

// The inverse of N.
inline std::string S(const Numeric& x) {
  if (q7num::IsNan(x)) return "NaN";
  const q7num::i128 v = q7num::ToInt128(x);
  q7num::u128 m = v < 0 ? -static_cast<q7num::u128>(v) : static_cast<q7num::u128>(v);
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  return v < 0 ? "-" + s : s;
}

inline const std::string kMax = "170141183460469231731687303715884105727";  // 2^127 - 1
inline const std::string kMin = "-" + kMax;

}  // namespace numtest
