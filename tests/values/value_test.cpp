// The calculation operand: decimal, double and mixed arithmetic and comparisons.
#include "values/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "values/Numeric.h"

using q7num::FromInt128;
using q7num::ToInt128;

namespace {

Value Dec(int64_t unscaled, int scale, int mode = Q7_ROUND_HALF_EVEN) {
  const Numeric n = FromInt128(unscaled);
  const NumericInfo i{scale, mode};
  return Value(&n, &i);
}

Value DecNull() {
  const Numeric n = q7num::NanNumeric();
  const NumericInfo i{2, Q7_ROUND_HALF_EVEN};
  return Value(&n, &i);
}

int64_t Unscaled(const Value& v) { return static_cast<int64_t>(ToInt128(v.number.num)); }

TEST(Value, ConstructionAndAssignment) {
  Value v;
  EXPECT_EQ(v.type, VALUE_Q7_DT_DOUBLE);
  EXPECT_EQ(static_cast<double>(v), 0.0);
  v = 2.5;
  EXPECT_EQ(static_cast<double>(v), 2.5);
  const Numeric n = FromInt128(-42);
  v = n;
  EXPECT_EQ(v.type, VALUE_Q7_DT_DECIMAL);
  EXPECT_EQ(v.info.scale, 0);
  EXPECT_EQ(v.info.roundingMode, Q7_ROUND_HALF_EVEN);
  EXPECT_EQ(ToInt128(static_cast<Numeric>(v)), -42);
  const NumericInfo i{3, Q7_ROUND_HALF_UP};
  v = i;  // keeps the digits
  EXPECT_EQ(Unscaled(v), -42);
  EXPECT_EQ(v.getDecimalInfo()->scale, 3);
  const NumericInfo j{1, Q7_ROUND_DOWN};
  v.setDecimalInfo(&j);
  EXPECT_EQ(v.getDecimalInfo()->roundingMode, Q7_ROUND_DOWN);
  const Value w(&n);
  EXPECT_EQ(w.info.scale, 0);
  EXPECT_EQ(w.info.roundingMode, Q7_ROUND_HALF_EVEN);
  static_assert(sizeof(Value) == 32);
}

TEST(Value, DecimalArithmeticTakesTheLargerScale) {
  const Value a = Dec(125, 2), b = Dec(5, 1);
  Value r = a + b;
  EXPECT_EQ(r.type, VALUE_Q7_DT_DECIMAL);
  EXPECT_EQ(Unscaled(r), 175);
  EXPECT_EQ(r.info.scale, 2);
  EXPECT_EQ(r.info.roundingMode, Q7_ROUND_HALF_EVEN);
  r = a * b;  // 0.625 rounded half-even to the larger operand scale
  EXPECT_EQ(Unscaled(r), 62);
  EXPECT_EQ(r.info.scale, 2);
  r = a - b;
  EXPECT_EQ(Unscaled(r), 75);
  r = Dec(1, 0) / Dec(3, 1);  // 1 / 0.3 at scale 1
  EXPECT_EQ(Unscaled(r), 33);
  r = Dec(1, 0) / Dec(0, 1);
  EXPECT_TRUE(q7num::IsNan(r.number.num));
  r = DecNull() + Dec(1, 0);
  EXPECT_TRUE(q7num::IsNan(r.number.num));
}

TEST(Value, MixedArithmeticComputesInDoubles) {
  Value r = Dec(15, 1) + Value(1.0);
  EXPECT_EQ(r.type, VALUE_Q7_DT_DOUBLE);
  EXPECT_EQ(r.number.dbl, 2.5);
  r = DecNull() + Value(2.0);
  EXPECT_EQ(r.number.dbl, -HUGE_VAL);
  r = Value(3.0) / Dec(0, 2);
  EXPECT_EQ(r.number.dbl, -HUGE_VAL);
  r = Value(3.0) / Value(0.0);
  EXPECT_EQ(r.number.dbl, HUGE_VAL);
  r = Dec(3, 0) / Value(0.0);
  EXPECT_EQ(r.number.dbl, -HUGE_VAL);
  r = Dec(1, -400) + Value(1.0);  // too large for a double: treated as NULL
  EXPECT_EQ(r.number.dbl, -HUGE_VAL);
  r = Value(2.0) * Value(4.0);
  EXPECT_EQ(r.number.dbl, 8.0);
}

TEST(Value, DecimalAgainstDoubleConvertsTheDoubleToTheDecimalsScale) {
  EXPECT_TRUE(Dec(15, 1) > Value(1.25));   // 1.25 becomes 1.2
  EXPECT_TRUE(Dec(12, 1) >= Value(1.25));  // ... so it is equal to 1.2
  EXPECT_TRUE(Dec(12, 1) == Value(1.25));
  EXPECT_FALSE(Dec(12, 1, Q7_ROUND_HALF_UP) == Value(1.25));  // 1.3 under half-up
  // A double beyond the decimal range is the larger.
  const Value five = Dec(5, 0), inf(HUGE_VAL), big(1e300), nan(std::nan(""));
  for (const Value* d : {&inf, &big, &nan}) {
    EXPECT_FALSE(five >= *d);
    EXPECT_TRUE(five <= *d);
    EXPECT_FALSE(five > *d);
    EXPECT_TRUE(five < *d);
    EXPECT_FALSE(five == *d);
    EXPECT_TRUE(five != *d);
  }
  // The double NULL becomes the decimal NULL, below every number.
  EXPECT_TRUE(five > Value(-HUGE_VAL));
  EXPECT_TRUE(DecNull() == Value(-HUGE_VAL));
}

TEST(Value, DoubleAgainstDecimalConvertsTheDecimalToADouble) {
  EXPECT_TRUE(Value(0.05) < Dec(1, 1));
  EXPECT_TRUE(Value(0.1) == Dec(1, 1));
  EXPECT_TRUE(Value(0.1) == Dec(1, 1, Q7_ROUND_CEILING));
  EXPECT_TRUE(Value(0.1) > Dec(1, 1, Q7_ROUND_FLOOR));  // the double just below 0.1
  EXPECT_TRUE(Value(1.0) > DecNull());
  EXPECT_TRUE(Value(-HUGE_VAL) == DecNull());
  EXPECT_TRUE(Value(1e308) < Dec(1, -400));  // plus infinity
  EXPECT_TRUE(Value(-1e308) > Dec(-1, -400));
}

TEST(Value, DecimalComparisonsAcrossScales) {
  const Value a = Dec(10, 1), b = Dec(100, 2), c = Dec(101, 2);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a != b);
  EXPECT_TRUE(a >= b);
  EXPECT_TRUE(a <= b);
  EXPECT_TRUE(a < c);
  EXPECT_TRUE(c > a);
  EXPECT_FALSE(c <= a);
  EXPECT_TRUE(DecNull() < a);
  EXPECT_TRUE(Value(1.0) < Value(2.0));
}

TEST(Value, InPlaceIntegerOperations) {
  Value d = Dec(7, 0);
  d /= 2;
  EXPECT_EQ(Unscaled(d), 4);
  d *= -3;
  EXPECT_EQ(Unscaled(d), -12);
  Value x(7.0);
  x /= 2;
  EXPECT_EQ(x.number.dbl, 3.5);
  x *= -2;
  EXPECT_EQ(x.number.dbl, -7.0);
}

TEST(Value, WholeNumberRounding) {
  EXPECT_EQ(Value::vround(Value(-2.5)).number.dbl, -2.0);
  EXPECT_EQ(Value::vround(Value(2.5)).number.dbl, 3.0);
  EXPECT_EQ(Value::vfloor(Value(-2.5)).number.dbl, -3.0);
  EXPECT_EQ(Value::vceil(Value(-2.5)).number.dbl, -2.0);
  const Value half_up = Dec(-25, 1, Q7_ROUND_HALF_UP);
  Value r = Value::vround(half_up);
  EXPECT_EQ(Unscaled(r), -30);
  EXPECT_EQ(r.info.scale, 1);
  EXPECT_EQ(Unscaled(Value::vround(Dec(-25, 1))), -20);  // half-even
  EXPECT_EQ(Unscaled(Value::vfloor(Dec(-25, 1))), -30);
  EXPECT_EQ(Unscaled(Value::vceil(Dec(-25, 1))), -20);
  EXPECT_EQ(Unscaled(half_up), -25);  // the operand is not changed
}

#ifndef NDEBUG
TEST(ValueDeathTest, WrongTypeAccessIsCaught) {
  const Value d = Dec(1, 0);
  EXPECT_DEATH((void)static_cast<double>(d),
               "\\./value: operator double: Assertion `type==VALUE_Q7_DT_DOUBLE'");
  Value x(1.0);
  EXPECT_DEATH((void)x.getDecimalInfo(), "type==VALUE_Q7_DT_DECIMAL");
}
#endif

}  // namespace
