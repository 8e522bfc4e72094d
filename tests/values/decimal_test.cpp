// Decimal arithmetic through the exported functions: rounding modes, status codes, scale changes,
// exact 256-bit intermediates, comparisons and the integer and double conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "q7api.h"
#include "tests/values/NumericTestSupport.h"
#include "values/Numeric.h"

namespace {

using numtest::kMax;
using numtest::kMin;
using numtest::N;
using numtest::S;

const std::string k10e38 = "100000000000000000000000000000000000000";

constexpr int UP = Q7_ROUND_UP, DOWN = Q7_ROUND_DOWN, CEIL = Q7_ROUND_CEILING, FLOOR = Q7_ROUND_FLOOR,
              HUP = Q7_ROUND_HALF_UP, HDOWN = Q7_ROUND_HALF_DOWN, HEVEN = Q7_ROUND_HALF_EVEN;

TEST(Decimal, RecordLayoutIsTwoWordsLowFirst) {
  static_assert(sizeof(Numeric) == 16 && sizeof(NumericInfo) == 8);
  const Numeric minus_one = N("-1");
  EXPECT_EQ(minus_one.low, ~0ull);
  EXPECT_EQ(minus_one.high, -1);
  const Numeric two_64 = N("18446744073709551616");
  EXPECT_EQ(two_64.low, 0u);
  EXPECT_EQ(two_64.high, 1);
  Numeric x;
  q7num::NumericSetNan(&x);
  EXPECT_EQ(x.low, 0u);
  EXPECT_EQ(static_cast<uint64_t>(x.high), 0x8000000000000000ull);
  EXPECT_EQ(q7num::NumericIsNan(&x), 1);
  EXPECT_EQ(q7num::NumericIsZero(&x), 0);
  q7num::NumericSetZero(&x);
  EXPECT_EQ(q7num::NumericIsZero(&x), 1);
  EXPECT_EQ(q7num::NumericIsNan(&x), 0);
  EXPECT_STREQ(q7num::kRoundingModeNames[HEVEN], "ROUNDHALFEVEN");
  EXPECT_STREQ(q7num::kRoundingModeNames[UP], "ROUNDUP");
}

// Each value at scale 1 rounded to 0 digits, under the seven modes in code order.
struct ModeRow {
  const char* value;
  const char* want[7];
};
const ModeRow kModeRows[] = {
    {"25", {"3", "2", "3", "2", "3", "2", "2"}},
    {"35", {"4", "3", "4", "3", "4", "3", "4"}},
    {"-25", {"-3", "-2", "-2", "-3", "-3", "-2", "-2"}},
    {"-35", {"-4", "-3", "-3", "-4", "-4", "-3", "-4"}},
    {"24", {"3", "2", "3", "2", "2", "2", "2"}},
    {"26", {"3", "2", "3", "2", "3", "3", "3"}},
    {"-26", {"-3", "-2", "-2", "-3", "-3", "-3", "-3"}},
    {"95", {"10", "9", "10", "9", "10", "9", "10"}},  // carry into a new digit
    {"-95", {"-10", "-9", "-9", "-10", "-10", "-9", "-10"}},
    {"20", {"2", "2", "2", "2", "2", "2", "2"}},  // exact
};

TEST(Decimal, SevenRoundingModes) {
  for (const auto& row : kModeRows) {
    for (int mode = 0; mode < 7; ++mode) {
      SCOPED_TRACE(std::string(row.value) + " mode " + q7num::kRoundingModeNames[mode]);
      const int want_status = std::string(row.value) == "20" ? 0 : 2;
      // Round keeps the scale: the result is want * 10 at scale 1.
      Numeric x = N(row.value);
      const NumericInfo in{1, mode};
      EXPECT_EQ(q7num::NumericRound(&in, 0, &x), want_status);
      EXPECT_EQ(S(x), row.want[mode] == std::string("0") ? "0" : std::string(row.want[mode]) + "0");
      // The rescaling add of zero moves the value to scale 0 by the result's mode.
      const Numeric a = N(row.value), zero = N("0");
      const NumericInfo ia{1, HEVEN}, ib{0, HEVEN}, ir{0, mode};
      Numeric r;
      EXPECT_EQ(q7num::NumericRescalingAdd(&ia, &ib, &ir, &a, &zero, &r), want_status);
      EXPECT_EQ(S(r), row.want[mode]);
    }
  }
}

// Halves decided by digits far below the kept one (more than one 19-digit step of division).
TEST(Decimal, HalfTestsSeeEveryDroppedDigit) {
  struct Case {
    const char* value;
    int scale, mode;
    const char* want;
  };
  const Case cases[] = {
      {"2500000000000000000000001", 24, HDOWN, "30"},  // just above one half
      {"2500000000000000000000000", 24, HDOWN, "20"},  // exactly one half
      {"2500000000000000000000000", 24, HUP, "30"},    {"2500000000000000000000000", 24, HEVEN, "20"},
      {"3500000000000000000000000", 24, HEVEN, "40"},  {"2499999999999999999999999", 24, HUP, "20"},
      {"2000000000000000000000001", 24, UP, "30"},  // any non-zero digit counts
      {"-2000000000000000000000001", 24, CEIL, "-20"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Numeric x = N(c.value);
    const NumericInfo i{c.scale, c.mode};
    EXPECT_EQ(q7num::NumericRound(&i, 0, &x), 2);
    EXPECT_EQ(S(x), std::string(c.want) + std::string(c.scale - 1, '0'));
  }
}

struct BinaryCase {
  char op;  // + - * /
  const char* a;
  int sa;
  const char* b;
  int sb;
  int sr, mode;
  const char* want;
  int status;
};

const BinaryCase kBinary[] = {
    // Scale changes.
    {'+', "125", 2, "1", 3, 2, HEVEN, "125", 2},
    {'+', "125", 2, "1", 3, 3, HEVEN, "1251", 0},
    {'-', "1", 0, "5", 1, 0, HEVEN, "0", 2},
    {'-', "1", 0, "5", 1, 0, HUP, "1", 2},
    {'+', "-15", 1, "25", 2, 1, HEVEN, "-12", 2},  // -1.25
    {'*', "125", 2, "5", 1, 2, HEVEN, "62", 2},
    {'*', "125", 2, "5", 1, 2, HUP, "63", 2},
    {'*', "-2", 0, "3", 0, 0, HEVEN, "-6", 0},
    {'*', "-2", 0, "-3", 0, 0, HEVEN, "6", 0},
    {'*', "0", 0, kMin.c_str(), 0, 0, HEVEN, "0", 0},
    {'/', "1", 0, "3", 0, 5, HEVEN, "33333", 2},
    {'/', "2", 0, "3", 0, 5, HEVEN, "66667", 2},
    {'/', "-7", 0, "2", 0, 0, HEVEN, "-4", 2},
    {'/', "-7", 0, "2", 0, 0, CEIL, "-3", 2},
    {'/', "6", 0, "-3", 0, 2, HEVEN, "-200", 0},
    // NaN operands, division by zero.
    {'+', "NaN", 0, "1", 0, 0, HEVEN, "NaN", 1},
    {'+', "NaN", 0, "1", 1, 0, HEVEN, "NaN", 1},
    {'-', "1", 2, "NaN", 0, 0, HEVEN, "NaN", 1},
    {'*', "NaN", 0, "1", 0, 0, HEVEN, "NaN", 1},
    {'/', "1", 0, "NaN", 0, 0, HEVEN, "NaN", 1},
    {'/', "1", 0, "0", 0, 0, HEVEN, "NaN", 1},
    {'/', "0", 0, "0", 3, 0, HEVEN, "NaN", 1},
    // Overflow up and down: NaN, 3 or 4 by the sign of the true result.
    {'+', kMax.c_str(), 0, "1", 0, 0, HEVEN, "NaN", 3},
    {'+', kMin.c_str(), 0, "-1", 0, 0, HEVEN, "NaN", 4},
    {'-', kMin.c_str(), 0, "1", 0, 0, HEVEN, "NaN", 4},
    {'-', kMax.c_str(), 0, "-1", 0, 0, HEVEN, "NaN", 3},
    {'+', kMax.c_str(), 0, "1", 1, 0, UP, "NaN", 3},
    {'+', kMax.c_str(), 0, "1", 38, 0, DOWN, kMax.c_str(), 2},  // aligned in 254 bits
    {'*', kMax.c_str(), 0, "2", 0, 0, HEVEN, "NaN", 3},
    {'*', kMax.c_str(), 0, "-2", 0, 0, HEVEN, "NaN", 4},
    {'*', "1", 0, "1", 0, 39, HEVEN, "NaN", 3},
    {'/', kMax.c_str(), 0, "1", 0, 10, HEVEN, "NaN", 3},
    {'/', kMin.c_str(), 0, "1", 0, 1, HEVEN, "NaN", 4},
    // Exact 256-bit intermediates that overflow 128 bits mid-way but fit after rescaling.
    {'*', "150000000000000000000", 20, "12345678901234567890123", 20, 20, HEVEN, "18518518351851851835184",
     2},
    {'*', "150000000000000000000", 20, "12345678901234567890123", 20, 20, HUP, "18518518351851851835185", 2},
    {'*', kMax.c_str(), 38, kMax.c_str(), 38, 37, DOWN, "28948022309329048855892746252171976962", 2},
    {'*', kMax.c_str(), 38, kMax.c_str(), 38, 38, DOWN, "NaN", 3},
    {'/', "85070591730234615865843651857942052864", 0, "85070591730234615865843651857942052864", 0, 38, HEVEN,
     k10e38.c_str(), 0},
    {'/', kMax.c_str(), 0, "3", 0, 0, HEVEN, "56713727820156410577229101238628035242", 2},
    // A dividend with more digits than the quotient keeps: every digit still counts.
    {'/', "50000001", 10, "1", 0, 2, HDOWN, "1", 2},
    {'/', "50000001", 10, "1", 0, 2, DOWN, "0", 2},
    {'/', "1", 0, "1", 50, 0, HEVEN, "NaN", 3},
    {'/', "1", 50, "1", 0, 0, UP, "1", 2},
    // Scales more than 38 apart: lost digits of the far operand still round exactly.
    {'+', "1", 0, "499999999999", 50, 38, HUP, k10e38.c_str(), 2},
    {'+', "1", 0, "500000000000", 50, 38, HUP, "100000000000000000000000000000000000001", 2},
    {'+', "1", 0, "500000000000", 50, 38, HDOWN, k10e38.c_str(), 2},
    {'+', "1", 0, "1", 50, 38, UP, "100000000000000000000000000000000000001", 2},
    {'+', "1", 0, "1", 50, 38, DOWN, k10e38.c_str(), 2},
    {'-', "1", 0, "1", 50, 38, DOWN, "99999999999999999999999999999999999999", 2},
    {'-', "1", 0, "1", 50, 38, CEIL, k10e38.c_str(), 2},
    {'-', "1", 50, "1", 0, 38, FLOOR, "-100000000000000000000000000000000000000", 2},
    {'+', "1", 0, "1", 50, 50, HEVEN, "NaN", 3},
    {'+', "-1", 0, "1", 50, 50, HEVEN, "NaN", 4},
    {'+', "0", 0, "1", 50, 50, HEVEN, "1", 0},  // a zero operand takes the other's scale
};

int Apply(char op, const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
          const Numeric* b, Numeric* r) {
  switch (op) {
    case '+':
      return q7num::NumericRescalingAdd(ia, ib, ir, a, b, r);
    case '-':
      return q7num::NumericRescalingSub(ia, ib, ir, a, b, r);
    case '*':
      return q7num::NumericRescalingMul(ia, ib, ir, a, b, r);
    default:
      return q7num::NumericRescalingDiv(ia, ib, ir, a, b, r);
  }
}

TEST(Decimal, RescalingArithmeticTable) {
  for (const auto& c : kBinary) {
    SCOPED_TRACE(std::string(c.a) + " " + c.op + " " + c.b + " -> scale " + std::to_string(c.sr));
    const NumericInfo ia{c.sa, HEVEN}, ib{c.sb, HEVEN}, ir{c.sr, c.mode};
    const Numeric a = N(c.a), b = N(c.b);
    Numeric r = N("7");
    EXPECT_EQ(Apply(c.op, &ia, &ib, &ir, &a, &b, &r), c.status);
    EXPECT_EQ(S(r), c.want);
  }
}

TEST(Decimal, SameScaleAddAndSubNeverProduceTheNanPattern) {
  const Numeric max = N(kMax), min = N(kMin), one = N("1"), minus_one = N("-1"), nan = N("NaN");
  Numeric r;
  EXPECT_EQ(q7num::NumericAdd(&max, &one, &r), 3);
  EXPECT_EQ(S(r), "NaN");
  EXPECT_EQ(q7num::NumericAdd(&min, &minus_one, &r), 4);
  EXPECT_EQ(S(r), "NaN");
  EXPECT_EQ(q7num::NumericSub(&min, &one, &r), 4);
  EXPECT_EQ(q7num::NumericSub(&max, &minus_one, &r), 3);
  EXPECT_EQ(q7num::NumericAdd(&max, &min, &r), 0);
  EXPECT_EQ(S(r), "0");
  EXPECT_EQ(q7num::NumericSub(&max, &one, &r), 0);
  EXPECT_EQ(S(r), "170141183460469231731687303715884105726");
  EXPECT_EQ(q7num::NumericAdd(&nan, &one, &r), 1);
  EXPECT_EQ(S(r), "NaN");
  // Equal scales through the rescaling form take the same path.
  const NumericInfo i{4, HEVEN};
  EXPECT_EQ(q7num::NumericRescalingAdd(&i, &i, &i, &max, &one, &r), 3);
}

TEST(Decimal, ModeOutsideRangeIsRefused) {
  const Numeric a = N("15"), b = N("1");
  const NumericInfo good{1, HEVEN}, bad{1, 7}, negative{1, -1}, other{2, HEVEN};
  Numeric r = N("99");
  EXPECT_EQ(q7num::NumericRescalingAdd(&good, &good, &bad, &a, &b, &r), -3);
  EXPECT_EQ(q7num::NumericRescalingSub(&bad, &other, &good, &a, &b, &r), -3);
  EXPECT_EQ(q7num::NumericRescalingMul(&good, &negative, &good, &a, &b, &r), -3);
  EXPECT_EQ(q7num::NumericRescalingDiv(&good, &good, &bad, &a, &b, &r), -3);
  EXPECT_EQ(S(r), "99");
  EXPECT_EQ(q7num::NumericRescalingCmp(&bad, &good, &a, &b), -3);
  // A NaN operand is reported before the mode.
  const Numeric nan = N("NaN");
  EXPECT_EQ(q7num::NumericRescalingAdd(&good, &other, &bad, &nan, &b, &r), 1);
  Numeric x = N("15");
  EXPECT_EQ(q7num::NumericRound(&bad, 0, &x), -3);
  EXPECT_EQ(S(x), "15");
  EXPECT_EQ(q7num::NumericRound(&bad, 5, &x), -3);
  EXPECT_EQ(q7num::NumericFloor(&bad, 0, &x), 2);  // floor does not use i's mode
  Numeric out;
  EXPECT_EQ(q7num::NumericRescale(&bad, &good, &a, &out), 0);  // same scale: a copy
  const NumericInfo bad_to0{0, 9};
  EXPECT_EQ(q7num::NumericRescale(&good, &bad_to0, &a, &out), -3);
  EXPECT_EQ(S(out), "15");
  int i = 5;
  EXPECT_EQ(q7num::NumericNum2Int(&a, &bad, &i), -3);
  EXPECT_EQ(i, 0);
  double d;
  EXPECT_EQ(q7num::NumericNum2Dbl(&a, &bad, &d), -3);
  EXPECT_TRUE(std::isnan(d));
  EXPECT_EQ(q7num::NumericDbl2Num(&bad, &out, 1.5), -3);
}

TEST(Decimal, CompareReturnsPlusOneWhenFirstIsSmaller) {
  struct Case {
    const char *a, *b;
    int want;
  };
  const Case cases[] = {
      {"1", "2", 1},
      {"2", "1", -1},
      {"5", "5", 0},
      {"-1", "1", 1},
      {"NaN", "1", 1},
      {"NaN", kMin.c_str(), 1},
      {"NaN", "NaN", 0},
      {"1", "NaN", -1},
      {"18446744073709551616", "18446744073709551615", -1},  // low words compare unsigned
      {"-18446744073709551616", "-1", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const Numeric a = N(c.a), b = N(c.b);
    EXPECT_EQ(q7num::NumericCmp(&a, &b), c.want);
    EXPECT_EQ(q7num::Compare(a, b), c.want);
  }
}

TEST(Decimal, RescalingCompareAcrossScales) {
  struct Case {
    const char* a;
    int sa;
    const char* b;
    int sb;
    int want;
  };
  const Case cases[] = {
      {"10", 1, "100", 2, 0},
      {"101", 2, "10", 1, -1},
      {"-101", 2, "-10", 1, 1},
      {"NaN", 1, "5", 2, 1},
      {"NaN", 1, "NaN", 2, 1},
      {"5", 1, "NaN", 2, -1},
      {"NaN", 2, "NaN", 2, 0},
      {"1", 0, k10e38.c_str(), 60, -1},  // 1 > 1e-22
      {"-1", 0, "1", 60, 1},
      {"0", 0, "-5", 60, -1},
      {"0", 70, "0", 0, 0},
      {kMax.c_str(), 0, kMax.c_str(), 38, -1},
      {"17", 0, "170000000000000000000000000000000000000", 37, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + "@" + std::to_string(c.sa) + " vs " + c.b + "@" + std::to_string(c.sb));
    const NumericInfo ia{c.sa, HEVEN}, ib{c.sb, UP};
    const Numeric a = N(c.a), b = N(c.b);
    EXPECT_EQ(q7num::NumericRescalingCmp(&ia, &ib, &a, &b), c.want);
  }
}

TEST(Decimal, CeilFloorRoundKeepTheScale) {
  const NumericInfo s1{1, HEVEN}, s1_up{1, HUP};
  Numeric x = N("-15");
  EXPECT_EQ(q7num::NumericFloor(&s1, 0, &x), 2);
  EXPECT_EQ(S(x), "-20");
  x = N("-15");
  EXPECT_EQ(q7num::NumericCeil(&s1, 0, &x), 2);
  EXPECT_EQ(S(x), "-10");
  x = N("-25");
  EXPECT_EQ(q7num::NumericRound(&s1_up, 0, &x), 2);
  EXPECT_EQ(S(x), "-30");
  x = N("1234");
  EXPECT_EQ(q7num::NumericRound(&s1, 3, &x), 0);  // digits beyond the scale: unchanged
  EXPECT_EQ(S(x), "1234");
  EXPECT_EQ(q7num::NumericRound(&s1, -2, &x), 2);  // to hundreds
  EXPECT_EQ(S(x), "1000");
  x = N("1200");  // 120.0 up to hundreds
  EXPECT_EQ(q7num::NumericCeil(&s1, -2, &x), 2);
  EXPECT_EQ(S(x), "2000");
  EXPECT_EQ(q7num::NumericCeil(&s1, -2, &x), 0);
  EXPECT_EQ(S(x), "2000");
  x = N("NaN");
  EXPECT_EQ(q7num::NumericCeil(&s1, 0, &x), 1);
  EXPECT_EQ(S(x), "NaN");
  // The way back to the scale overflows.
  x = N(kMax);
  EXPECT_EQ(q7num::NumericCeil(&s1, 0, &x), 3);
  EXPECT_EQ(S(x), "NaN");
  x = N(kMin);
  EXPECT_EQ(q7num::NumericFloor(&s1, 0, &x), 4);
  x = N("5");
  const NumericInfo s38{38, HEVEN};
  EXPECT_EQ(q7num::NumericCeil(&s38, -5, &x), 3);  // 10^5 at scale 38
}

TEST(Decimal, RescaleRoundsDownwardAndOverflowsAsThree) {
  struct Case {
    const char* in;
    int from, to, mode;
    const char* want;
    int status;
  };
  const Case cases[] = {
      {"150", 2, 0, HUP, "2", 0},  // rounded, still 0
      {"150", 2, 0, HEVEN, "2", 0},
      {"250", 2, 0, HEVEN, "2", 0},
      {"-151", 2, 1, FLOOR, "-16", 0},
      {"1", 0, 38, HEVEN, k10e38.c_str(), 0},
      {"2", 0, 38, HEVEN, "NaN", 3},
      {"-2", 0, 38, HEVEN, "NaN", 3},  // either sign
      {kMax.c_str(), 2, 0, UP, "1701411834604692317316873037158841058", 0},
      {"NaN", 0, 5, HEVEN, "NaN", 1},
      {"123", 3, 3, 42, "123", 0},
      {"5", 0, -1, HUP, "1", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " " + std::to_string(c.from) + "->" + std::to_string(c.to));
    const NumericInfo from{c.from, HEVEN}, to{c.to, c.mode};
    const Numeric in = N(c.in);
    Numeric out = N("77");
    EXPECT_EQ(q7num::NumericRescale(&from, &to, &in, &out), c.status);
    EXPECT_EQ(S(out), c.want);
  }
}

TEST(Decimal, InPlaceMultiplyAndDivideByInteger) {
  Numeric x = N("NaN");
  EXPECT_EQ(q7num::NumericMul(&x, 3), 1);
  EXPECT_EQ(S(x), "NaN");
  x = N("123");
  EXPECT_EQ(q7num::NumericMul(&x, 0), 0);
  EXPECT_EQ(S(x), "0");
  x = N("-123");
  EXPECT_EQ(q7num::NumericMul(&x, -1), 0);
  EXPECT_EQ(S(x), "123");
  x = N(kMax);
  EXPECT_EQ(q7num::NumericMul(&x, 2), 4);  // 4 whatever the sign
  EXPECT_EQ(S(x), "NaN");
  x = N(kMax);
  EXPECT_EQ(q7num::NumericMul(&x, -2), 4);

  const NumericInfo even{0, HEVEN}, bad{0, 7};
  x = N("7");
  EXPECT_EQ(q7num::NumericDiv(&x, &even, 2), 2);
  EXPECT_EQ(S(x), "4");
  x = N("7");
  EXPECT_EQ(q7num::NumericDiv(&x, &even, -2), 2);
  EXPECT_EQ(S(x), "-4");
  x = N(kMin);
  EXPECT_EQ(q7num::NumericDiv(&x, &even, -1), 0);
  EXPECT_EQ(S(x), kMax);
  x = N("5");
  EXPECT_EQ(q7num::NumericDiv(&x, &even, 1), 0);
  EXPECT_EQ(S(x), "5");
  x = N("5");
  EXPECT_EQ(q7num::NumericDiv(&x, &even, 0), 1);
  EXPECT_EQ(S(x), "NaN");
  EXPECT_EQ(q7num::NumericDiv(&x, &even, 3), 1);
  x = N("-7");
  EXPECT_EQ(q7num::NumericDiv(&x, &bad, 2), -3);  // the truncated quotient
  EXPECT_EQ(S(x), "-3");
  x = N(kMax);
  EXPECT_EQ(q7num::NumericDiv(&x, &even, std::numeric_limits<int>::min()), 2);
  EXPECT_EQ(S(x), "-79228162514264337593543950336");
}

TEST(Decimal, IntegerConversions) {
  struct ToNum {
    long v;
    int scale, mode;
    const char* want;
    int status;
  };
  const ToNum to_num[] = {
      {5, 2, HEVEN, "500", 0},
      {std::numeric_limits<long>::min(), 0, HEVEN, "-9223372036854775808", 0},
      {std::numeric_limits<long>::min(), 20, HEVEN, "NaN", 4},
      {std::numeric_limits<long>::max(), 20, HEVEN, "NaN", 3},
      {std::numeric_limits<long>::max(), 19, HEVEN, "92233720368547758070000000000000000000", 0},
      {12345, -2, HEVEN, "123", 2},
      {12350, -2, HEVEN, "124", 2},
      {-12350, -2, HDOWN, "-123", 2},
      {12300, -2, 7, "77", -3},
  };
  for (const auto& c : to_num) {
    SCOPED_TRACE(c.v);
    const NumericInfo i{c.scale, c.mode};
    Numeric out = N("77");
    EXPECT_EQ(q7num::NumericLong2Num(c.v, &i, &out), c.status);
    EXPECT_EQ(S(out), c.want);
  }
  const NumericInfo s2{2, HEVEN};
  Numeric out;
  EXPECT_EQ(q7num::NumericInt2Num(std::numeric_limits<int>::min(), &s2, &out), 0);
  EXPECT_EQ(S(out), "-214748364800");

  struct FromNum {
    const char* x;
    int scale, mode;
    long want_long;
    int long_status;
    int want_int;
    int int_status;
  };
  const FromNum from_num[] = {
      {"3000000000", 0, HEVEN, 3000000000L, 0, 0, 3},
      {"-3000000000", 0, HEVEN, -3000000000L, 0, 0, 4},
      {"25", 1, HEVEN, 2, 2, 2, 2},
      {"-25", 1, HUP, -3, 2, -3, 2},
      {"-2147483648", 0, HEVEN, -2147483648L, 0, std::numeric_limits<int>::min(), 0},
      {"2147483648", 0, HEVEN, 2147483648L, 0, 0, 3},
      {"21474836475", 1, HDOWN, 2147483647L, 2, 2147483647, 2},
      {"9223372036854775807", 0, HEVEN, std::numeric_limits<long>::max(), 0, 0, 3},
      {"9223372036854775808", 0, HEVEN, 0, 3, 0, 3},
      {"-9223372036854775808", 0, HEVEN, std::numeric_limits<long>::min(), 0, 0, 4},
      {"5", -1, HEVEN, 50, 0, 50, 0},
      {"NaN", 0, HEVEN, 0, 1, 0, 1},
      {"1", 40, UP, 1, 2, 1, 2},
  };
  for (const auto& c : from_num) {
    SCOPED_TRACE(c.x);
    const NumericInfo i{c.scale, c.mode};
    const Numeric x = N(c.x);
    long l = 99;
    int n = 99;
    EXPECT_EQ(q7num::NumericNum2Long(&x, &i, &l), c.long_status);
    EXPECT_EQ(l, c.want_long);
    EXPECT_EQ(q7num::NumericNum2Int(&x, &i, &n), c.int_status);
    EXPECT_EQ(n, c.want_int);
  }
}

TEST(Decimal, DoubleToDecimalUsesTheExactBinaryValue) {
  struct Case {
    double v;
    int scale, mode;
    const char* want;
    int status;
  };
  const Case cases[] = {
      {0.0, 5, HEVEN, "0", 0},
      {-0.0, 5, HEVEN, "0", 0},
      {-HUGE_VAL, 2, HEVEN, "NaN", 4},  // the double NULL becomes the decimal NULL
      {HUGE_VAL, 2, HEVEN, "NaN", 3},
      {std::numeric_limits<double>::quiet_NaN(), 2, HEVEN, "NaN", 3},
      {0.25, 2, HEVEN, "25", 0},
      {0.1, 1, HEVEN, "1", 2},  // 0.1 is a little above one tenth
      {0.1, 1, DOWN, "1", 2},
      {0.1, 20, HEVEN, "10000000000000000555", 2},
      {0.5, 0, HEVEN, "0", 2},
      {1.5, 0, HEVEN, "2", 2},
      {-2.5, 0, HUP, "-3", 2},
      {-2.5, 0, CEIL, "-2", 2},
      {12345.67, 2, HEVEN, "1234567", 2},
      {1e300, 0, HEVEN, "NaN", 3},
      {-1e300, 0, HEVEN, "NaN", 4},
      {1e-300, 0, UP, "1", 2},
      {1e-300, 0, HEVEN, "0", 2},
      {1e-300, 300, HEVEN, "1", 2},
      {5e-324, 330, HEVEN, "4940656", 2},
      {1.7e38, 0, HEVEN, "169999999999999998061923293023115935744", 0},
      {1.8e38, 0, HEVEN, "NaN", 3},
      {9007199254740993.0, 0, HEVEN, "9007199254740992", 0},
      {123.0, -1, HUP, "12", 2},
      {125.0, -1, HEVEN, "12", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.v << " scale " << c.scale);
    const NumericInfo i{c.scale, c.mode};
    Numeric out = N("77");
    EXPECT_EQ(q7num::NumericDbl2Num(&i, &out, c.v), c.status);
    EXPECT_EQ(S(out), c.want);
  }
  // 1e300 at scale -262 fits (about 1e38 units).
  const NumericInfo far{-262, HEVEN};
  Numeric out;
  EXPECT_EQ(q7num::NumericDbl2Num(&far, &out, 1e300), 2);
  EXPECT_EQ(S(out), "100000000000000005250476025520442024870");
}

uint64_t Bits(double d) {
  uint64_t b;
  memcpy(&b, &d, sizeof b);
  return b;
}

TEST(Decimal, DecimalToDoubleRoundsByTheMode) {
  struct Case {
    const char* x;
    int scale, mode;
    double want;
    int status;
  };
  const double two53 = 9007199254740992.0;
  const double below_tenth = std::nextafter(0.1, 0.0);
  const double min_subnormal = std::numeric_limits<double>::denorm_min();
  const Case cases[] = {
      {"0", 3, HEVEN, 0.0, 0},
      {"25", 2, HEVEN, 0.25, 0},
      {"1", 1, HEVEN, 0.1, 2},
      {"1", 1, DOWN, below_tenth, 2},
      {"1", 1, FLOOR, below_tenth, 2},
      {"1", 1, CEIL, 0.1, 2},
      {"-1", 1, CEIL, -below_tenth, 2},
      {"-1", 1, UP, -0.1, 2},
      {"1234567", 2, HUP, 12345.67, 2},
      {"9007199254740993", 0, HEVEN, two53, 2},
      {"9007199254740993", 0, HUP, two53 + 2, 2},
      {"9007199254740993", 0, HDOWN, two53, 2},
      {"9007199254740993", 0, UP, two53 + 2, 2},
      {"-9007199254740993", 0, FLOOR, -two53 - 2, 2},
      {"-9007199254740993", 0, CEIL, -two53, 2},
      {"9007199254740995", 0, HEVEN, two53 + 4, 2},
      {kMax.c_str(), 0, HEVEN, 1.7014118346046923e38, 2},
      {kMax.c_str(), 38, HEVEN, 1.7014118346046923, 2},
      {"123", -5, HEVEN, 12300000.0, 0},
      {"17976931348623157", -292, HEVEN, std::numeric_limits<double>::max(), 2},
      {"17976931348623159", -292, DOWN, std::numeric_limits<double>::max(), 2},
      {"1", -309, HEVEN, HUGE_VAL, 3},
      {"-1", -309, HEVEN, -HUGE_VAL, 4},
      {"1", 400, UP, min_subnormal, 2},
      {"1", 400, HEVEN, 0.0, 2},
      {"-1", 400, FLOOR, -min_subnormal, 2},
      {"5", 324, HEVEN, min_subnormal, 2},
      {"22250738585072014", 324, HEVEN, std::numeric_limits<double>::min(), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.x) + " scale " + std::to_string(c.scale) + " mode " + std::to_string(c.mode));
    const NumericInfo i{c.scale, c.mode};
    const Numeric x = N(c.x);
    double d = 42;
    EXPECT_EQ(q7num::NumericNum2Dbl(&x, &i, &d), c.status);
    EXPECT_EQ(Bits(d), Bits(c.want)) << d << " vs " << c.want;
  }
  const Numeric nan = N("NaN");
  const NumericInfo i{2, HEVEN};
  double d = 0;
  EXPECT_EQ(q7num::NumericNum2Dbl(&nan, &i, &d), 1);
  EXPECT_EQ(Bits(d), ~0ull);
}

TEST(Decimal, DumpPrintsFourWordsHighFirst) {
  const Numeric minus_two = N("-2"), nan = N("NaN");
  testing::internal::CaptureStdout();
  dump(&minus_two);
  dump(&nan);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "(ffffffff,ffffffff,ffffffff,fffffffe)\n(80000000,00000000,00000000,00000000)\n");
}

}  // namespace
