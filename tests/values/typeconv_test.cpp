// Every pair of value types on a table of edge values, in the whole-list and the range forms.
#include "values/TypeConv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListArrays.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"

using namespace vltest;

namespace {

// ---- Sources, one list per value type ----

const std::vector<int32_t> kIntSource = {kIntNull, -2147483647, -1,       0,         19000101,
                                         20240131, 20991231,    21000101, 2147483647};
const std::vector<double> kDoubleSource = {kDblNull, -2147483648.0, -1.7,         -0.25,       0.0,
                                           1.5,      45322.5,       2147483647.9, 2147483648.0};
const std::vector<double> kDateSource = {kDblNull, 1, 2, 61, 45322, 73050, 73051};
const std::vector<double> kTimeSource = {kDblNull, -0.25, 0, 0.5, 0.75};
const std::vector<double> kDatetimeSource = {kDblNull, -3.5, 2.25, 45322.5, 73050.75};
const std::vector<std::string> kStringSource = {
    "",        "123",     "12a", "9:5:7", "2024/1/31", "2024/01/31 12:00",
    "1,234.5", " ,1,000", "-7",  "abc",   "20240229",  "2147483648"};
// DECIMAL at scale 2: -1.50, 0.00, 123.45, 45322.50.
const std::vector<Numeric> kDecimalSource = {DecNan(), Dec(-150), Dec(0), Dec(12345), Dec(4532250)};

std::unique_ptr<TBaseArray> Source(int type) {
  switch (type) {
    case 2:
      return Ints(kIntSource);
    case 3:
      return Doubles(kDoubleSource, 3);
    case 4:
      return Doubles(kDateSource, 4);
    case 5:
      return Doubles(kTimeSource, 5);
    case 7:
      return Doubles(kDatetimeSource, 7);
    case 6:
      return Texts(kStringSource);
    default:
      return Decimals(kDecimalSource, 2, 4);
  }
}

// ---- Destinations and how their entries read ----

struct Dest {
  int type = 0;
  int n = 0;
  std::vector<int32_t> ints;
  std::vector<double> doubles;
  std::vector<char*> texts;
  std::vector<char> area_block;
  std::unique_ptr<TNumericArray> decimal_array;
  void* buffer = nullptr;
  char* area = nullptr;
  TNumericArray* decimals = nullptr;

  Dest(int dst_type, int count, int text_width, NumericInfo info) : type(dst_type), n(count) {
    ints.assign(static_cast<size_t>(n), 12345);
    doubles.assign(static_cast<size_t>(n), 12345.0);
    texts.assign(static_cast<size_t>(n), nullptr);
    area_block.assign(static_cast<size_t>(n) * static_cast<size_t>(text_width), 'x');
    decimal_array = std::make_unique<TNumericArray>(n, 1);
    decimal_array->SetDecimalInfo(&info);
    buffer = type == 2   ? static_cast<void*>(ints.data())
             : type == 6 ? static_cast<void*>(texts.data())
                         : static_cast<void*>(doubles.data());
    area = area_block.data();
    decimals = decimal_array.get();
  }

  std::vector<std::string> Read() const {
    std::vector<std::string> out;
    for (int k = 0; k < n; ++k) {
      const size_t i = static_cast<size_t>(k);
      switch (type) {
        case 2:
          out.push_back(ints[i] == kIntNull ? "N" : std::to_string(ints[i]));
          break;
        case 6:
          out.push_back(texts[i]);
          break;
        case 8: {
          const Numeric& x = static_cast<const Numeric*>(decimals->FData)[i];
          if (q7num::NumericIsNan(&x)) {
            out.push_back("NaN");
          } else {
            out.push_back(std::to_string(static_cast<int64_t>(x.low)) +
                          (x.high == (static_cast<int64_t>(x.low) < 0 ? -1 : 0) ? "" : "!"));
          }
          break;
        }
        default:
          out.push_back(D(doubles[i]));
          break;
      }
    }
    return out;
  }
  static std::string D(double x) {
    if (x == kDblNull) return "N";
    char buf[64];
    snprintf(buf, sizeof(buf), "%.17g", x);
    return buf;
  }
};

struct WholeForm {
  int src;
  int dst;
  void (*fn)(TBaseArray* src, Dest& d);
};
const WholeForm kWholeForms[] = {
    {3, 2,
     [](TBaseArray* src, Dest& d) {
       dblVL2intVL(static_cast<TDoubleArray*>(src), static_cast<int*>(d.buffer));
     }},
    {4, 2,
     [](TBaseArray* src, Dest& d) {
       dateVL2intVL(static_cast<TDoubleArray*>(src), static_cast<int*>(d.buffer));
     }},
    {5, 2,
     [](TBaseArray* src, Dest& d) {
       timeVL2intVL(static_cast<TDoubleArray*>(src), static_cast<int*>(d.buffer));
     }},
    {7, 2,
     [](TBaseArray* src, Dest& d) {
       datetimeVL2intVL(static_cast<TDoubleArray*>(src), static_cast<int*>(d.buffer));
     }},
    {6, 2,
     [](TBaseArray* src, Dest& d) {
       strVL2intVL(static_cast<TStrArray*>(src), static_cast<int*>(d.buffer));
     }},
    {8, 2,
     [](TBaseArray* src, Dest& d) {
       decVL2intVL(static_cast<TNumericArray*>(src), static_cast<int*>(d.buffer));
     }},
    {2, 3,
     [](TBaseArray* src, Dest& d) {
       intVL2dblVL(static_cast<TIntArray*>(src), static_cast<double*>(d.buffer));
     }},
    {4, 3,
     [](TBaseArray* src, Dest& d) {
       dateVL2dblVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {5, 3,
     [](TBaseArray* src, Dest& d) {
       timeVL2dblVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {7, 3,
     [](TBaseArray* src, Dest& d) {
       datetimeVL2dblVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {6, 3,
     [](TBaseArray* src, Dest& d) {
       strVL2dblVL(static_cast<TStrArray*>(src), static_cast<double*>(d.buffer));
     }},
    {8, 3,
     [](TBaseArray* src, Dest& d) {
       decVL2dblVL(static_cast<TNumericArray*>(src), static_cast<double*>(d.buffer));
     }},
    {2, 4,
     [](TBaseArray* src, Dest& d) {
       intVL2dateVL(static_cast<TIntArray*>(src), static_cast<double*>(d.buffer));
     }},
    {3, 4,
     [](TBaseArray* src, Dest& d) {
       doubleVL2dateVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {5, 4,
     [](TBaseArray* src, Dest& d) {
       timeVL2dateVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {7, 4,
     [](TBaseArray* src, Dest& d) {
       datetimeVL2dateVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {6, 4,
     [](TBaseArray* src, Dest& d) {
       strVL2dateVL(static_cast<TStrArray*>(src), static_cast<double*>(d.buffer));
     }},
    {8, 4,
     [](TBaseArray* src, Dest& d) {
       decVL2dateVL(static_cast<TNumericArray*>(src), static_cast<double*>(d.buffer));
     }},
    {2, 5,
     [](TBaseArray* src, Dest& d) {
       intVL2timeVL(static_cast<TIntArray*>(src), static_cast<double*>(d.buffer));
     }},
    {3, 5,
     [](TBaseArray* src, Dest& d) {
       doubleVL2timeVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {4, 5,
     [](TBaseArray* src, Dest& d) {
       dateVL2timeVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {7, 5,
     [](TBaseArray* src, Dest& d) {
       datetimeVL2timeVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {6, 5,
     [](TBaseArray* src, Dest& d) {
       strVL2timeVL(static_cast<TStrArray*>(src), static_cast<double*>(d.buffer));
     }},
    {8, 5,
     [](TBaseArray* src, Dest& d) {
       decVL2timeVL(static_cast<TNumericArray*>(src), static_cast<double*>(d.buffer));
     }},
    {2, 7,
     [](TBaseArray* src, Dest& d) {
       intVL2datetimeVL(static_cast<TIntArray*>(src), static_cast<double*>(d.buffer));
     }},
    {3, 7,
     [](TBaseArray* src, Dest& d) {
       doubleVL2datetimeVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {4, 7,
     [](TBaseArray* src, Dest& d) {
       dateVL2datetimeVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {5, 7,
     [](TBaseArray* src, Dest& d) {
       timeVL2datetimeVL(static_cast<TDoubleArray*>(src), static_cast<double*>(d.buffer));
     }},
    {6, 7,
     [](TBaseArray* src, Dest& d) {
       strVL2datetimeVL(static_cast<TStrArray*>(src), static_cast<double*>(d.buffer));
     }},
    {8, 7,
     [](TBaseArray* src, Dest& d) {
       decVL2datetimeVL(static_cast<TNumericArray*>(src), static_cast<double*>(d.buffer));
     }},
    {2, 6,
     [](TBaseArray* src, Dest& d) {
       intVL2strVL(static_cast<TIntArray*>(src), static_cast<char**>(d.buffer), d.area);
     }},
    {3, 6,
     [](TBaseArray* src, Dest& d) {
       doubleVL2strVL(static_cast<TDoubleArray*>(src), static_cast<char**>(d.buffer), d.area);
     }},
    {4, 6,
     [](TBaseArray* src, Dest& d) {
       dateVL2strVL(static_cast<TDoubleArray*>(src), static_cast<char**>(d.buffer), d.area);
     }},
    {5, 6,
     [](TBaseArray* src, Dest& d) {
       timeVL2strVL(static_cast<TDoubleArray*>(src), static_cast<char**>(d.buffer), d.area);
     }},
    {7, 6,
     [](TBaseArray* src, Dest& d) {
       datetimeVL2strVL(static_cast<TDoubleArray*>(src), static_cast<char**>(d.buffer), d.area);
     }},
    {8, 6,
     [](TBaseArray* src, Dest& d) {
       decVL2strVL(static_cast<TNumericArray*>(src), static_cast<char**>(d.buffer), d.area);
     }},
    {2, 8, [](TBaseArray* src, Dest& d) { intVL2decVL(static_cast<TIntArray*>(src), d.decimals); }},
    {3, 8, [](TBaseArray* src, Dest& d) { dblVL2decVL(static_cast<TDoubleArray*>(src), d.decimals); }},
    {4, 8, [](TBaseArray* src, Dest& d) { dateVL2decVL(static_cast<TDoubleArray*>(src), d.decimals); }},
    {5, 8, [](TBaseArray* src, Dest& d) { timeVL2decVL(static_cast<TDoubleArray*>(src), d.decimals); }},
    {7, 8, [](TBaseArray* src, Dest& d) { datetimeVL2decVL(static_cast<TDoubleArray*>(src), d.decimals); }},
    {6, 8, [](TBaseArray* src, Dest& d) { strVL2decVL(static_cast<TStrArray*>(src), d.decimals); }},
    {8, 8, [](TBaseArray* src, Dest& d) { decVL2decVL(static_cast<TNumericArray*>(src), d.decimals); }},
};

using S = std::vector<std::string>;
std::string D(double x) { return Dest::D(x); }
const std::string N = "N";
const std::string kNaN = "NaN";

const double kMidnight = 0.01 / 86400;
const double kNine057 = (9 * 3600 + 5 * 60 + 7 + 0.01) / 86400;
const double kNoon = (12 * 3600 + 0.01) / 86400;

// Expected entries of every pair, DECIMAL targets at scale 2 and mode 4 (ROUNDHALFUP).
const std::map<std::pair<int, int>, S> kExpected = {
    // to INTEGER
    {{3, 2}, {N, N, "-1", "0", "0", "1", "45322", "2147483647", N}},
    {{4, 2}, {N, N, "19000101", "19000301", "20240131", "20991231", N}},
    {{5, 2}, {N, "0", "0", "0", "0"}},
    {{7, 2}, {N, N, "19000101", "20240131", "20991231"}},
    {{6, 2}, {N, "123", N, "0", "20240131", "20240131", N, N, "-7", N, "20240229", N}},
    {{8, 2}, {N, "-1", "0", "123", "45322"}},
    // to DOUBLE
    {{2, 3}, {N, "-2147483647", "-1", "0", "19000101", "20240131", "20991231", "21000101", "2147483647"}},
    {{4, 3}, {N, "1", "2", "61", "45322", "73050", "73051"}},
    {{5, 3}, {N, N, "0", "0.5", "0.75"}},
    {{7, 3}, {N, "-3.5", "2.25", "45322.5", "73050.75"}},
    {{6, 3},
     {N, "123", N, D(kNine057), D(45322 + kMidnight), D(45322 + kNoon), N, N, "-7", N, "20240229",
      "2147483648"}},
    {{8, 3}, {N, "-1.5", "0", D(123.45), "45322.5"}},
    // to DATE
    {{2, 4}, {N, N, N, N, "2", "45322", "73050", N, N}},
    {{3, 4}, {N, "-2147483648", "-2", "-1", "0", "1", "45322", "2147483647", "2147483648"}},
    {{5, 4}, {N, N, N, N, N}},
    {{7, 4}, {N, "-4", "2", "45322", "73050"}},
    {{6, 4}, {N, N, N, N, "45322", "45322", N, N, N, N, "45351", N}},
    {{8, 4}, {N, "-2", "0", "123", "45322"}},
    // to TIME
    {{2, 5}, {N, "0", "0", "0", "0", "0", "0", "0", "0"}},
    {{3, 5},
     {N, "0", D(-1.7 - std::floor(-1.7)), "0.75", "0", "0.5", "0.5", D(2147483647.9 - 2147483647.0), "0"}},
    {{4, 5}, {N, "0", "0", "0", "0", "0", "0"}},
    {{7, 5}, {N, "0.5", "0.25", "0.5", "0.75"}},
    {{6, 5}, {N, N, N, D(kNine057), N, N, N, N, N, N, N, N}},
    {{8, 5}, {N, "0.5", "0", D(123.45 - 123), "0.5"}},
    // to DATETIME
    {{2, 7}, {N, N, N, N, "2", "45322", "73050", N, N}},
    {{3, 7}, {N, "-2147483648", "-1.7", "-0.25", "0", "1.5", "45322.5", D(2147483647.9), "2147483648"}},
    {{4, 7}, {N, "1", "2", "61", "45322", "73050", "73051"}},
    {{5, 7}, {N, N, N, N, N}},
    {{6, 7}, {N, N, N, N, D(45322 + kMidnight), D(45322 + kNoon), N, N, N, N, "45351", N}},
    {{8, 7}, {N, "-1.5", "0", D(123.45), "45322.5"}},
    // to STRING
    {{2, 6}, {"", "-2147483647", "-1", "0", "19000101", "20240131", "20991231", "21000101", "2147483647"}},
    {{3, 6},
     {"", "-2147483648.000000", " -1.700000", " -0.250000", "  0.000000", "  1.500000", "45322.500000",
      "2147483647.900000", "2147483648.000000"}},
    {{4, 6}, {"", "", "1900/01/01", "1900/03/01", "2024/01/31", "2099/12/31", ""}},
    {{5, 6}, {"", "18:00:00", "00:00:00", "12:00:00", "18:00:00"}},
    {{7, 6}, {"", "", "1900/01/01 06:00:00", "2024/01/31 12:00:00", "2099/12/31 18:00:00"}},
    {{8, 6}, {"", "-1.50", "0.00", "123.45", "45322.50"}},
    // to DECIMAL (scale 2, ROUNDHALFUP)
    {{2, 8},
     {kNaN, "-214748364700", "-100", "0", "1900010100", "2024013100", "2099123100", "2100010100",
      "214748364700"}},
    {{3, 8}, {kNaN, "-214748364800", "-170", "-25", "0", "150", "4532250", "214748364790", "214748364800"}},
    {{4, 8}, {kNaN, "100", "200", "6100", "4532200", "7305000", "7305100"}},
    {{5, 8}, {kNaN, "-25", "0", "50", "75"}},
    {{7, 8}, {kNaN, "-350", "225", "4532250", "7305075"}},
    {{6, 8},
     {kNaN, "12300", "1200", "900", "202400", "202400", "123450", "100000", "-700", kNaN, "2024022900",
      "214748364800"}},
    {{8, 8}, {kNaN, "-150", "0", "12345", "4532250"}},
};

class TypeConvTest : public ::testing::Test {};

TEST_F(TypeConvTest, EveryPairOnTheEdgeValues) {
  const NumericInfo target{2, 4};
  ASSERT_EQ(std::size(kWholeForms), kExpected.size());
  for (const WholeForm& form : kWholeForms) {
    SCOPED_TRACE(std::to_string(form.src) + " -> " + std::to_string(form.dst));
    const auto want = kExpected.find({form.src, form.dst});
    ASSERT_NE(want, kExpected.end());
    std::unique_ptr<TBaseArray> src = Source(form.src);
    const int n = src->FArraySize;
    const int width = std::max(TypeConvTextWidth(form.src), 1);

    Dest whole(form.dst, n, width, target);
    form.fn(src.get(), whole);
    EXPECT_EQ(whole.Read(), want->second);

    // The range form, split over one to three workers.
    for (int limit : {1, 2, 3}) {
      q7test::WorkerCap cap(limit);
      Dest ranged(form.dst, n, width, target);
      DoTypeConv(n, form.src, form.dst, src.get(), ranged.buffer, ranged.area, ranged.decimals);
      EXPECT_EQ(ranged.Read(), want->second) << limit;
      if (form.dst == 6) {
        for (int k = 0; k < n; ++k) EXPECT_EQ(ranged.texts[static_cast<size_t>(k)], ranged.area + k * width);
      }
    }
  }
}

TEST_F(TypeConvTest, WholeListTextsArePackedExceptDecimals) {
  auto src = Ints({kIntNull, 7, -12});
  Dest d(6, 3, 20, NumericInfo{6, 4});
  intVL2strVL(src.get(), d.texts.data(), d.area);
  EXPECT_EQ(d.texts[0], d.area);
  EXPECT_EQ(d.texts[1], d.area + 1);
  EXPECT_EQ(d.texts[2], d.area + 3);

  auto dec = Decimals({DecNan(), Dec(5), Dec(-5)}, 1, 4);
  Dest e(6, 3, 50, NumericInfo{6, 4});
  decVL2strVL(dec.get(), e.texts.data(), e.area);
  EXPECT_EQ(e.texts[2], e.area + 100);
  EXPECT_EQ(e.Read(), (S{"", "0.5", "-0.5"}));
}

TEST_F(TypeConvTest, DecimalToDecimalFollowsTheTargetsScaleAndMode) {
  struct Case {
    NumericInfo to;
    S want;
  } const cases[] = {
      {{2, 4}, {kNaN, "-150", "0", "12345", "4532250"}},  // same: copied bit for bit
      {{1, 6}, {kNaN, "-15", "0", "1234", "453225"}},     // half-even keeps the even 4
      {{1, 4}, {kNaN, "-15", "0", "1235", "453225"}},
      {{3, 4}, {kNaN, "-1500", "0", "123450", "45322500"}},
  };
  auto src = Decimals(kDecimalSource, 2, 4);
  for (const Case& c : cases) {
    Dest d(8, 5, 1, c.to);
    decVL2decVL(static_cast<TNumericArray*>(src.get()), d.decimals);
    EXPECT_EQ(d.Read(), c.want) << c.to.scale << "/" << c.to.roundingMode;
  }
}

TEST_F(TypeConvTest, StringToDecimalLeavesTheSourceTexts) {
  auto src = Texts(kStringSource);
  Dest d(8, static_cast<int>(kStringSource.size()), 1, NumericInfo{2, 4});
  strVL2decVL(static_cast<TStrArray*>(src.get()), d.decimals);
  EXPECT_EQ(TextsOf(src.get()), kStringSource);
}

TEST_F(TypeConvTest, RangesAndDestinationsAreChecked) {
  auto src = Doubles(kDoubleSource);
  std::vector<int> out(9);
  EXPECT_THROW(dblVL2intVLConv(static_cast<TDoubleArray*>(src.get()), out.data(), 0, 10), CQ7Exception);
  EXPECT_THROW(dblVL2intVLConv(static_cast<TDoubleArray*>(src.get()), out.data(), -1, 3), CQ7Exception);
  EXPECT_THROW(dblVL2intVLConv(static_cast<TDoubleArray*>(src.get()), out.data(), 5, 3), CQ7Exception);
  auto small = std::make_unique<TNumericArray>(3, 1);
  EXPECT_THROW(dblVL2decVL(static_cast<TDoubleArray*>(src.get()), small.get()), CQ7Exception);

  // A range that does not start at 0 leaves entry 0 alone.
  out.assign(9, 77);
  dblVL2intVLConv(static_cast<TDoubleArray*>(src.get()), out.data(), 2, 4);
  EXPECT_EQ(out, (std::vector<int>{77, 77, -1, 0, 77, 77, 77, 77, 77}));

  // The parallel form refuses what no worker could convert safely, and skips pairs outside the table.
  auto texts = Texts({"", "1"});
  EXPECT_THROW(DoTypeConv(9, 3, 2, texts.get(), out.data(), nullptr, nullptr), CQ7Exception);  // wrong class
  EXPECT_THROW(DoTypeConv(10, 3, 2, src.get(), out.data(), nullptr, nullptr), CQ7Exception);   // n too large
  EXPECT_THROW(DoTypeConv(9, 3, 6, src.get(), out.data(), nullptr, nullptr), CQ7Exception);    // no area
  EXPECT_THROW(DoTypeConv(9, 3, 8, src.get(), nullptr, nullptr, nullptr), CQ7Exception);       // no decimals
  out.assign(9, 77);
  DoTypeConv(9, 3, 3, src.get(), out.data(), nullptr, nullptr);  // same type: nothing
  DoTypeConv(9, 3, 9, src.get(), out.data(), nullptr, nullptr);  // no such type: nothing
  EXPECT_EQ(out, std::vector<int>(9, 77));
  EXPECT_EQ(TypeConvTextWidth(1), 0);
}

}  // namespace
