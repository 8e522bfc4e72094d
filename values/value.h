// Value: the operand of the expression calculators and of the conditions of categories and
// non-cube summaries. One number that is either a double (integers, doubles, dates, times and
// datetimes all compute as doubles) or a decimal with its NumericInfo.
//
// NULL is minus infinity for a double and the decimal NaN for a decimal. Mixed operations turn a
// decimal NULL, or a decimal that does not convert to a double, into minus infinity, so that NULL
// stays NULL; callers that must not compute with NULL test for it first.
//
// A Value is a plain object: copied byte for byte, no ownership, no locking; the operators only
// read their operands and never throw. Calling operator double on a decimal, or operator Numeric,
// setDecimalInfo or getDecimalInfo on a double, is a programming error, caught in debug builds
// by a check that names the source "./value" and the operation and aborts.
#pragma once

#include <cstdint>

#include "q7api.h"

inline constexpr int32_t VALUE_Q7_DT_DOUBLE = 0;
inline constexpr int32_t VALUE_Q7_DT_DECIMAL = 1;

class Value {
 public:
  int32_t type;  // VALUE_Q7_DT_DOUBLE or VALUE_Q7_DT_DECIMAL
  union {
    double dbl;   // type double
    Numeric num;  // type decimal
  } number;
  NumericInfo info;  // a decimal's scale and rounding mode; scale 0, "ROUNDHALFEVEN" for a double

  Value();                           // the double 0
  Value(double d);                   // NOLINT: a double converts implicitly
  explicit Value(const Numeric* n);  // a decimal, scale 0, "ROUNDHALFEVEN"
  Value(const Numeric* n, const NumericInfo* i);

  Value& operator=(const double& d);
  Value& operator=(const Numeric& n);  // a decimal, scale 0, "ROUNDHALFEVEN"
  // Makes the value a decimal with this info, keeping the 16 number bytes as they are.
  Value& operator=(const NumericInfo& i);

  void setDecimalInfo(const NumericInfo* i);  // decimals only
  NumericInfo* getDecimalInfo();              // decimals only

  operator double() const;   // doubles only
  operator Numeric() const;  // decimals only

  // A decimal is multiplied in place with RQ7NumericMul (status not looked at), or divided with
  // RQ7NumericDiv under its own info; a double by plain arithmetic.
  Value& operator*=(int k);
  Value& operator/=(int k);

  // Rounded to a whole number: a decimal with RQ7NumericFloor / RQ7NumericCeil / RQ7NumericRound
  // (its own mode) to 0 digits, kept at its scale; a double as floor(x), ceil(x), floor(x + 0.5).
  static Value vfloor(const Value& v);
  static Value vceil(const Value& v);
  static Value vround(const Value& v);

  bool IsDecimal() const { return type == VALUE_Q7_DT_DECIMAL; }
};

// Two decimals give a decimal at the larger of the two scales with "ROUNDHALFEVEN" (a NaN or an
// overflow leaves the decimal NULL); any other pair gives a double. In the mixed case a divisor
// of 0 gives minus infinity; two doubles divide as IEEE 754 doubles do.
Value operator+(const Value& a, const Value& b);
Value operator-(const Value& a, const Value& b);
Value operator*(const Value& a, const Value& b);
Value operator/(const Value& a, const Value& b);

// Two decimals compare across scales (RQ7NumericRescalingCmp); a decimal on the left converts the
// double on the right to its own scale and mode (a double too large for it counts as the larger);
// a double on the left compares with the decimal converted to a double (NULL as minus infinity,
// a decimal too large for a double as plus infinity).
bool operator>=(const Value& a, const Value& b);
bool operator<=(const Value& a, const Value& b);
bool operator>(const Value& a, const Value& b);
bool operator<(const Value& a, const Value& b);
bool operator==(const Value& a, const Value& b);
bool operator!=(const Value& a, const Value& b);
