// Decimal text: printing with digits, shifts and grouping; reading plain and grouped text; round
// trips at the range ends; syntax errors, short buffers and garbage input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "q7api.h"
#include "tests/values/NumericTestSupport.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/numparse.h"

using q7num::FromInt128;
using q7num::i128;
using q7num::u128;

namespace {

using numtest::kMax;
using numtest::kMin;
using numtest::N;
using numtest::S;

constexpr int UP = Q7_ROUND_UP, FLOOR = Q7_ROUND_FLOOR, HUP = Q7_ROUND_HALF_UP, HDOWN = Q7_ROUND_HALF_DOWN,
              HEVEN = Q7_ROUND_HALF_EVEN;

std::string Print(const Numeric& x, const NumericInfo& i, int shift, int digits, bool grouped, int* status) {
  char buf[256];
  memset(buf, 'x', sizeof buf);
  *status = grouped ? q7num::NumericNum2Dgstr(&x, &i, shift, digits, buf, sizeof buf)
                    : q7num::NumericNum2Str(&x, &i, shift, digits, buf, sizeof buf);
  return buf;
}

struct PrintCase {
  const char* x;
  int scale, mode, shift, digits;
  const char* plain;
  const char* grouped;
  int status;
};

const PrintCase kPrint[] = {
    {"1234567891", 3, HUP, 0, 2, "1234567.89", "1,234,567.89", 2},
    {"5", 2, HEVEN, 0, 2, "0.05", "0.05", 0},
    {"-5", 2, HEVEN, 0, 2, "-0.05", "-0.05", 0},
    {"1234", 0, HEVEN, 3, 0, "1234000E-3", "1,234,000E-3", 0},
    {"1234", 0, HEVEN, -3, 0, "1.234E+3", "1.234E+3", 0},
    {"123", 2, HEVEN, 1, 2, "12.3E-1", "12.3E-1", 0},
    {"123", 2, HEVEN, 5, 2, "123000E-5", "123,000E-5", 0},
    {"-1", 0, HEVEN, -12, 0, "-0.000000000001E+12", "-0.000000000001E+12", 0},
    {"15", 1, HEVEN, 0, 3, "1.500", "1.500", 0},
    {"15", 1, HEVEN, 0, 0, "2", "2", 2},
    {"25", 1, HEVEN, 0, 0, "2", "2", 2},
    {"0", 2, HEVEN, 0, 2, "0.00", "0.00", 0},
    {"0", 0, HEVEN, 0, 0, "0", "0", 0},
    {"0", 0, HEVEN, 3, 0, "0E-3", "0E-3", 0},
    {"-1", 2, HEVEN, 0, 0, "0", "0", 2},  // rounds to zero: no sign
    {"-1", 2, FLOOR, 0, 0, "-1", "-1", 2},
    {"12345", 0, HEVEN, 0, -2, "12300", "12,300", 2},  // negative digits: to hundreds
    {"12350", 0, HEVEN, 0, -2, "12400", "12,400", 2},
    {"-999", 0, HUP, 0, -3, "-1000", "-1,000", 2},
    {"5", -3, HEVEN, 0, 1, "5000.0", "5,000.0", 0},  // negative scale
    {"123456", 0, HEVEN, 0, 0, "123456", "123,456", 0},
    {"1234567", 0, HEVEN, 0, 0, "1234567", "1,234,567", 0},
    {kMax.c_str(), 0, HEVEN, 0, 0, "170141183460469231731687303715884105727",
     "170,141,183,460,469,231,731,687,303,715,884,105,727", 0},
    {kMin.c_str(), 0, HEVEN, 0, 0, "-170141183460469231731687303715884105727",
     "-170,141,183,460,469,231,731,687,303,715,884,105,727", 0},
    {kMax.c_str(), 38, HEVEN, 0, 38, "1.70141183460469231731687303715884105727",
     "1.70141183460469231731687303715884105727", 0},
    {"-1", 38, HEVEN, 0, 38, "-0.00000000000000000000000000000000000001",
     "-0.00000000000000000000000000000000000001", 0},
    {kMax.c_str(), 38, UP, 0, 0, "2", "2", 2},
    {kMax.c_str(), 0, HEVEN, 0, 3, "170141183460469231731687303715884105727.000",
     "170,141,183,460,469,231,731,687,303,715,884,105,727.000", 0},
};

TEST(NumericText, PrintTable) {
  for (const auto& c : kPrint) {
    SCOPED_TRACE(std::string(c.x) + " scale " + std::to_string(c.scale) + " shift " +
                 std::to_string(c.shift) + " digits " + std::to_string(c.digits));
    const NumericInfo i{c.scale, c.mode};
    int status;
    EXPECT_EQ(Print(N(c.x), i, c.shift, c.digits, false, &status), c.plain);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(Print(N(c.x), i, c.shift, c.digits, true, &status), c.grouped);
    EXPECT_EQ(status, c.status);
  }
}

TEST(NumericText, NanAndShortBuffers) {
  const Numeric nan = N("NaN"), x = N("1234567891");
  const NumericInfo i{3, HUP};
  char buf[16];
  EXPECT_EQ(q7num::NumericNum2Str(&nan, &i, 0, 2, buf, 3), -2);
  EXPECT_EQ(q7num::NumericNum2Str(&nan, &i, 0, 2, buf, 4), 1);
  EXPECT_STREQ(buf, "NaN");
  EXPECT_EQ(q7num::NumericNum2Dgstr(&nan, &i, 0, 2, buf, 4), 1);
  EXPECT_STREQ(buf, "NaN");
  // "1234567.89" needs 11 bytes with its zero, "1,234,567.89" 13.
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, 0, 2, buf, 11), 2);
  EXPECT_STREQ(buf, "1234567.89");
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, 0, 2, buf, 10), -2);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(q7num::NumericNum2Dgstr(&x, &i, 0, 2, buf, 13), 2);
  EXPECT_STREQ(buf, "1,234,567.89");
  EXPECT_EQ(q7num::NumericNum2Dgstr(&x, &i, 0, 2, buf, 12), -2);
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, 0, 2, buf, 0), -2);
  const Numeric zero = N("0");
  EXPECT_EQ(q7num::NumericNum2Str(&zero, &i, 0, 0, buf, 1), -2);
  EXPECT_EQ(q7num::NumericNum2Str(&zero, &i, 0, 0, buf, 2), 0);
  EXPECT_STREQ(buf, "0");
  // The exponent must fit too.
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, -3, 3, buf, 12), -2);
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, -3, 3, buf, 16), 0);
  EXPECT_STREQ(buf, "1234.567891E+3");
  // Many digits never write past the buffer.
  std::vector<char> small(40);
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, 0, 1000000, small.data(), small.size()), -2);
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, 2000000000, 0, small.data(), small.size()), -2);
  EXPECT_EQ(q7num::NumericNum2Str(&x, &i, -2147483647 - 1, 0, small.data(), small.size()), -2);
}

TEST(NumericText, PrintRefusesBadModeOnlyWhenRounding) {
  const Numeric x = N("125");
  const NumericInfo bad{2, 7};
  char buf[32];
  EXPECT_EQ(q7num::NumericNum2Str(&x, &bad, 0, 1, buf, sizeof buf), -3);
  EXPECT_EQ(q7num::NumericNum2Str(&x, &bad, 0, 2, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "1.25");
}

struct ReadCase {
  const char* text;
  bool grouped;
  int scale, mode;
  const char* want;
  int status;
  int end;  // offset where reading stopped
};

const std::string k45Digits = "123456789012345678901234567890123456789012345";
const std::string kStickyBeyond41 = "1" + std::string(37, '0') + "2" + "50" + "0001";  // 45 digits
const std::string kManyLeadingZeros = std::string(50, '0') + "1";
const std::string kTinyFraction = "0." + std::string(47, '0') + "1";

const ReadCase kRead[] = {
    {"-12.50", false, 1, HEVEN, "-125", 0, 6},
    {"-12.50", false, 0, HEVEN, "-12", 2, 6},
    {"-12.50", false, 0, HUP, "-13", 2, 6},
    {"1,234.5", true, 1, HEVEN, "12345", 0, 7},
    {"1,234.5", false, 1, HEVEN, "10", 0, 1},
    {"-1,234,567.25e2", true, 0, HEVEN, "-123456725", 0, 15},
    {"1234,567", true, 0, HEVEN, "1234", 0, 4},      // groups after long digits end the number
    {"12.5,123", true, 1, HEVEN, "125", 0, 4},       // ... and after a fraction
    {"1,234e1,000", true, 0, HEVEN, "12340", 0, 7},  // ... and after the exponent
    {"5.,123", true, 0, HEVEN, "5", 0, 2},
    {"1e3", false, 0, HEVEN, "1000", 0, 3},
    {"1E+3", false, 0, HEVEN, "1000", 0, 4},
    {"25E-1", false, 0, HEVEN, "2", 2, 5},
    {".5", false, 1, HEVEN, "5", 0, 2},
    {"5.", false, 0, HEVEN, "5", 0, 2},
    {"+5", false, 0, HEVEN, "5", 0, 2},
    {"-0.00", false, 2, HEVEN, "0", 0, 5},
    {"1.e2", false, 0, HEVEN, "100", 0, 4},
    {"", false, 2, HEVEN, "NaN", 0, 0},
    {"12abc", false, 0, HEVEN, "12", 0, 2},
    {"12 ", false, 0, HEVEN, "12", 0, 2},
    {"1.2.3", false, 1, HEVEN, "12", 0, 3},
    {"1e5e3", false, 0, HEVEN, "100000", 0, 3},
    {"1-2", false, 0, HEVEN, "1", 0, 1},
    {"7,", false, 0, HEVEN, "7", 0, 1},  // plain mode: a comma ends the number
    // Syntax errors: -1, NaN, reading stopped at the start.
    {" 5", false, 0, HEVEN, "NaN", -1, 0},
    {"1e", false, 0, HEVEN, "NaN", -1, 0},
    {"1e+", false, 0, HEVEN, "NaN", -1, 0},
    {"1ex", false, 0, HEVEN, "NaN", -1, 0},
    {".", false, 0, HEVEN, "NaN", -1, 0},
    {".e5", false, 0, HEVEN, "NaN", -1, 0},
    {"-", false, 0, HEVEN, "NaN", -1, 0},
    {"+-1", false, 0, HEVEN, "NaN", -1, 0},
    {"--1", false, 0, HEVEN, "NaN", -1, 0},
    {"e5", false, 0, HEVEN, "NaN", -1, 0},
    {"NaN", false, 0, HEVEN, "NaN", -1, 0},
    {",123", true, 0, HEVEN, "NaN", -1, 0},
    {"1,23", true, 0, HEVEN, "NaN", -1, 0},    // a group cut short
    {"1,", true, 0, HEVEN, "NaN", -1, 0},      // a comma without digits
    {"1,2345", true, 0, HEVEN, "NaN", -1, 0},  // four digits in a group
    {"1,234,56", true, 0, HEVEN, "NaN", -1, 0},
    {"12.5,x", true, 1, HEVEN, "NaN", -1, 0},
    {"1e2147483648", false, 0, HEVEN, "NaN", -1, 0},
    // Exponents at their limits.
    {"1e2147483647", false, 0, HEVEN, "NaN", 3, 12},
    {"-1e2147483647", false, 0, HEVEN, "NaN", 4, 13},
    {"1e-2147483648", false, 0, HEVEN, "0", 2, 13},
    {"1e-2147483648", false, 0, UP, "1", 2, 13},
    {"0e2147483647", false, 0, HEVEN, "0", 0, 12},
    // Range ends.
    {"170141183460469231731687303715884105727", false, 0, HEVEN, kMax.c_str(), 0, 39},
    {"-170141183460469231731687303715884105727", false, 0, HEVEN, kMin.c_str(), 0, 40},
    {"170141183460469231731687303715884105728", false, 0, HEVEN, "NaN", 3, 39},
    {"-170141183460469231731687303715884105728", false, 0, HEVEN, "NaN", 4, 40},
    {"170141183460469231731687303715884105727.4", false, 0, HEVEN, kMax.c_str(), 2, 41},
    {"170141183460469231731687303715884105727.5", false, 0, HEVEN, "NaN", 3, 41},
    {"1.70141183460469231731687303715884105727", false, 38, HEVEN, kMax.c_str(), 0, 40},
    {"1", false, 39, HEVEN, "NaN", 3, 1},
    {"1e38", false, 0, HEVEN, "100000000000000000000000000000000000000", 0, 4},
    // Significant digits: leading zeros do not count, 41 are kept, later ones move the point.
    {kManyLeadingZeros.c_str(), false, 0, HEVEN, "1", 0, 51},
    {kTinyFraction.c_str(), false, 48, HEVEN, "1", 0, 50},
    {k45Digits.c_str(), false, -10, HEVEN, "12345678901234567890123456789012346", 2, 45},
    {"1000000000000000000000000000000000000000000000", false, -10, HEVEN,
     "100000000000000000000000000000000000", 0, 46},
    {kStickyBeyond41.c_str(), false, -6, HEVEN, "100000000000000000000000000000000000003", 2, 45},
    {kStickyBeyond41.c_str(), false, -6, HDOWN, "100000000000000000000000000000000000003", 2, 45},
    // A rounding mode outside 0..6 matters only when digits are dropped.
    {"1.25", false, 1, 7, "NaN", -3, 4},
    {"1.25", false, 2, 7, "125", 0, 4},
};

TEST(NumericText, ReadTable) {
  for (const auto& c : kRead) {
    SCOPED_TRACE(std::string(c.grouped ? "grouped " : "plain ") + "'" + c.text + "' scale " +
                 std::to_string(c.scale));
    const NumericInfo i{c.scale, c.mode};
    Numeric out = N("77");
    const char* end = nullptr;
    const int status = c.grouped ? q7num::NumericDgstr2Num(c.text, &i, &out, &end)
                                 : q7num::NumericStr2Num(c.text, &i, &out, &end);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(S(out), c.want);
    EXPECT_EQ(end - c.text, c.end);
    // The end pointer is optional.
    Numeric again;
    EXPECT_EQ(c.grouped ? q7num::NumericDgstr2Num(c.text, &i, &again, nullptr)
                        : q7num::NumericStr2Num(c.text, &i, &again, nullptr),
              c.status);
  }
  const NumericInfo i{0, HEVEN};
  Numeric out;
  EXPECT_EQ(q7num::NumericStr2Num(nullptr, &i, &out, nullptr), -1);
}

TEST(NumericText, ParserReportsTokensAndGrammarResult) {
  NumParseState st;
  numparse_init(&st, "-1,234.5e+7x", kNumParseGrouped);
  const int want[] = {kNumSign,    kNumShortDigits, kNumGroups,      kNumPoint, kNumShortDigits,
                      kNumExpMark, kNumSign,        kNumShortDigits, kNumEnd};
  for (int token : want) EXPECT_EQ(numparse_yylex(&st), token);
  numparse_init(&st, "1234,5", kNumParsePlain);
  EXPECT_EQ(numparse_yylex(&st), kNumLongDigits);
  EXPECT_EQ(numparse_yylex(&st), kNumEnd);
  numparse_init(&st, "12.5e-3;", kNumParsePlain);
  EXPECT_EQ(numparse_yyparse(&st), 0);
  EXPECT_EQ(*st.end, ';');
  EXPECT_EQ(st.fraction_digits, 1);
  EXPECT_TRUE(st.exp_negative);
  EXPECT_EQ(st.exponent, 3);
  numparse_init(&st, "x", kNumParsePlain);
  EXPECT_EQ(numparse_yyparse(&st), 1);
}

TEST(NumericText, RoundTripsAtTheExtremes) {
  const std::string values[] = {kMax,
                                kMin,
                                "0",
                                "1",
                                "-1",
                                "999999999999999999",
                                "1000000000000000000",
                                "18446744073709551615",
                                "18446744073709551616",
                                "-9223372036854775808"};
  for (int scale : {0, 1, 2, 19, 37, 38}) {
    for (const auto& v : values) {
      SCOPED_TRACE(v + " at scale " + std::to_string(scale));
      const NumericInfo i{scale, HEVEN};
      const Numeric x = N(v);
      for (bool grouped : {false, true}) {
        int status;
        const std::string text = Print(x, i, 0, scale, grouped, &status);
        ASSERT_EQ(status, 0);
        Numeric back;
        const char* end;
        EXPECT_EQ(grouped ? q7num::NumericDgstr2Num(text.c_str(), &i, &back, &end)
                          : q7num::NumericStr2Num(text.c_str(), &i, &back, &end),
                  0);
        EXPECT_EQ(S(back), v) << text;
        EXPECT_EQ(*end, '\0');
      }
      // With a shift the exponent carries the scale back.
      int status;
      const std::string shifted = Print(x, i, -7, scale, false, &status);
      Numeric back;
      EXPECT_EQ(q7num::NumericStr2Num(shifted.c_str(), &i, &back, nullptr), 0);
      EXPECT_EQ(S(back), v) << shifted;
    }
  }
}

// A small deterministic generator, so that failures repeat.
struct Lcg {
  uint64_t state;
  uint64_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 17;
  }
};

TEST(NumericText, RandomValuesRoundTrip) {
  Lcg rng{12345};
  for (int n = 0; n < 20000; ++n) {
    const u128 raw =
        (static_cast<u128>(rng.Next()) << 64) ^ (static_cast<u128>(rng.Next()) << 20) ^ rng.Next();
    const int bits = static_cast<int>(rng.Next() % 127) + 1;
    i128 v = static_cast<i128>(raw & ((static_cast<u128>(1) << bits) - 1));
    if (rng.Next() & 1) v = -v;
    const Numeric x = FromInt128(v);
    const NumericInfo i{static_cast<int>(rng.Next() % 39), HEVEN};
    const bool grouped = rng.Next() & 1;
    int status;
    const std::string text = Print(x, i, 0, i.scale, grouped, &status);
    ASSERT_EQ(status, 0);
    Numeric back;
    ASSERT_EQ(grouped ? q7num::NumericDgstr2Num(text.c_str(), &i, &back, nullptr)
                      : q7num::NumericStr2Num(text.c_str(), &i, &back, nullptr),
              0)
        << text;
    ASSERT_EQ(S(back), S(x)) << text;
  }
}

// Short plain numbers take a quicker path than the grammar; an exponent of zero forces the grammar
// without changing the value, so both readings must agree.
TEST(NumericText, ShortNumbersReadAsTheGrammarDoes) {
  static const char* const kSuffixes[] = {"", ";", " ", "-", "+", "x", ",", ",x"};
  Lcg rng{777};
  for (int n = 0; n < 20000; ++n) {
    std::string base;
    if (rng.Next() % 3 == 0) base += (rng.Next() & 1) ? '-' : '+';
    const int int_digits = static_cast<int>(rng.Next() % 12), frac_digits = static_cast<int>(rng.Next() % 12);
    if (int_digits + frac_digits == 0) continue;
    for (int k = 0; k < int_digits; ++k) base += static_cast<char>('0' + rng.Next() % 10);
    if (frac_digits > 0 || rng.Next() % 4 == 0) base += '.';
    for (int k = 0; k < frac_digits; ++k) base += static_cast<char>('0' + rng.Next() % 10);
    const std::string suffix = kSuffixes[rng.Next() % (sizeof kSuffixes / sizeof *kSuffixes)];
    const std::string quick = base + suffix, grammar = base + "e0" + suffix;
    const NumericInfo i{static_cast<int>(rng.Next() % 12) - 2, static_cast<int>(rng.Next() % 8)};
    for (bool grouped : {false, true}) {
      SCOPED_TRACE((grouped ? "grouped " : "plain ") + quick);
      Numeric a = N("77"), b = N("77");
      const char *end_a, *end_b;
      const int sa = grouped ? q7num::NumericDgstr2Num(quick.c_str(), &i, &a, &end_a)
                             : q7num::NumericStr2Num(quick.c_str(), &i, &a, &end_a);
      const int sb = grouped ? q7num::NumericDgstr2Num(grammar.c_str(), &i, &b, &end_b)
                             : q7num::NumericStr2Num(grammar.c_str(), &i, &b, &end_b);
      ASSERT_EQ(sa, sb);
      ASSERT_EQ(S(a), S(b));
      if (sa != -1) {
        ASSERT_EQ((end_b - grammar.c_str()) - (end_a - quick.c_str()), 2);
      }
    }
  }
}

TEST(NumericText, GarbageNeverCrashesAndEndStaysInside) {
  static const char kAlphabet[] = "0123456789+-.,eE 9x\t";
  Lcg rng{987654321};
  for (int n = 0; n < 50000; ++n) {
    const size_t len = rng.Next() % 64;
    // An exact-size heap copy lets the address sanitizer catch any read past the text.
    std::vector<char> text(len + 1, '\0');
    for (size_t k = 0; k < len; ++k) {
      text[k] = (rng.Next() % 8 == 0) ? static_cast<char>(rng.Next() % 256)
                                      : kAlphabet[rng.Next() % (sizeof kAlphabet - 1)];
      if (text[k] == '\0') text[k] = '1';
    }
    const NumericInfo i{static_cast<int>(rng.Next() % 90) - 30, static_cast<int>(rng.Next() % 9)};
    for (bool grouped : {false, true}) {
      Numeric out;
      const char* end = nullptr;
      const int status = grouped ? q7num::NumericDgstr2Num(text.data(), &i, &out, &end)
                                 : q7num::NumericStr2Num(text.data(), &i, &out, &end);
      ASSERT_TRUE(status == -3 || status == -1 || status == 0 || status == 2 || status == 3 || status == 4)
          << status;
      ASSERT_GE(end, text.data());
      ASSERT_LE(end, text.data() + len);
      if (status == -1) {
        ASSERT_EQ(end, text.data());
      }
      if (status == 3 || status == 4 || status == -1 || status == -3) {
        ASSERT_TRUE(q7num::IsNan(out));
      }
    }
  }
}

TEST(NumericText, PrinterStaysInsideAnyBuffer) {
  Lcg rng{4242};
  for (int n = 0; n < 20000; ++n) {
    const i128 v =
        static_cast<i128>((static_cast<u128>(rng.Next()) << 64) ^ rng.Next()) >> (rng.Next() % 127);
    const Numeric x = FromInt128(v);
    const NumericInfo i{static_cast<int>(rng.Next() % 100) - 30, static_cast<int>(rng.Next() % 8)};
    const int shift = static_cast<int>(rng.Next() % 41) - 20;
    const int digits = static_cast<int>(rng.Next() % 80) - 20;
    const size_t size = rng.Next() % 90;
    std::vector<char> buf(size);
    const int status = (rng.Next() & 1) ? q7num::NumericNum2Dgstr(&x, &i, shift, digits, buf.data(), size)
                                        : q7num::NumericNum2Str(&x, &i, shift, digits, buf.data(), size);
    ASSERT_TRUE(status >= -3 && status <= 2) << status;
    if (status >= 0) {
      ASSERT_LT(strlen(buf.data()), size);
    }
  }
}

TEST(NumericText, DigitTableHoldsFourDigitsPerValue) {
  const char(*table)[4] = NumericDigitTable();
  EXPECT_EQ(std::string(table[0], 4), "0000");
  EXPECT_EQ(std::string(table[42], 4), "0042");
  EXPECT_EQ(std::string(table[9999], 4), "9999");
  EXPECT_EQ(NumericDigitTable(), table);  // built once
}

}  // namespace
