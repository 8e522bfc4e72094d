// The four-operation calculator through the real table's entries: results per target type, the
// parser's refusals with their ring entries and parse-error texts, the limits, and the results
// delivered into the caller's memory.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "calc/CalcWords.h"
#include "calc/TCalculator.h"
#include "calculator_support.h"

namespace {

using calctest::DecNull;
using calctest::kIntNull;
using calctest::Units;

constexpr int kSyntax = static_cast<int>(Q7_ERROR_CALC_SYNTAX);
constexpr char kIllegalToken[] = "Compiler1|Calc Syntax Error ( Illegal TokenCode )";
constexpr char kIllegalLevel[] = "Compiler1|Calc Syntax Error ( Illegal StackLevel )";
constexpr char kScanner[] = "Scanner|Invalid Parameter";

// Four records: A integer, B double, D decimal (scale 2, ROUNDHALFUP), E decimal (scale 0), S text,
// and one empty result column per target kind.
class CalculatorTest : public calctest::CalcTableTest {
 protected:
  void SetUp() override {
    CalcTableTest::SetUp();
    NewTable(4);
    a_ = AddInt("A", {5, -5, 7, kIntNull});
    b_ = AddDouble("B", {2.5, -2.5, 0.0, 1.5});
    d_ = AddDecimal("D", {Units(125), Units(-75), Units(300), Units(250)}, 2, Q7_ROUND_HALF_UP);
    e_ = AddDecimal("E", {Units(2), Units(0), DecNull(), Units(3)}, 0, Q7_ROUND_HALF_UP);
    std::string s = "S";
    s_ = table_->AddEmptyFilter(1024, s.data(), Q7_TYPE_STRING, table_->FTableID, -1);
    targets_["int"] = AddTarget("TI", Q7_TYPE_INTEGER);
    targets_["dbl"] = AddTarget("TD", Q7_TYPE_DOUBLE);
    targets_["dec1even"] = AddTarget("TN1E", Q7_TYPE_DECIMAL, 1, Q7_ROUND_HALF_EVEN);
    targets_["dec1up"] = AddTarget("TN1U", Q7_TYPE_DECIMAL, 1, Q7_ROUND_HALF_UP);
    targets_["dec3"] = AddTarget("TN3", Q7_TYPE_DECIMAL, 3, Q7_ROUND_HALF_EVEN);
    DrainRing();
  }

  int Calc(bool parallel, int target, const std::string& formula, int set = 1, int start = 1, int count = 4) {
    char* message = nullptr;
    const int rc = parallel ? table_->MppCalculate(set, target, start, count, formula.c_str(), &message)
                            : table_->Calculate(set, target, start, count, formula.c_str(), &message);
    EXPECT_EQ(message, FPCParseError);
    return rc;
  }

  int a_ = 0, b_ = 0, d_ = 0, e_ = 0, s_ = 0;
  std::map<std::string, int> targets_;
};

struct ResultCase {
  const char* formula;
  const char* target;
  std::vector<std::string> want;  // records 1 to 4
};

const ResultCase kResults[] = {
    // Integer targets round half up from doubles and are NULL beyond the int32 range.
    {"@B", "int", {"3", "-2", "0", "2"}},
    {"@A+@B*2", "int", {"10", "-10", "7", "NULL"}},
    {"@A-@B-1", "int", {"2", "-3", "6", "NULL"}},
    {"-(@A+1)", "int", {"-6", "4", "-8", "NULL"}},
    {"2*(-3)+@A", "int", {"-1", "-11", "1", "NULL"}},
    {"@A/2/2", "int", {"1", "-1", "2", "NULL"}},
    {"(@A+@B)*(@A-@B)/2", "int", {"9", "9", "25", "NULL"}},
    {"@A/@B", "int", {"2", "2", "NULL", "NULL"}},
    {"@A*429496729", "int", {"2147483645", "-2147483645", "NULL", "NULL"}},
    {"@A*1000000000", "int", {"NULL", "NULL", "NULL", "NULL"}},
    {"2147483647.4", "int", {"2147483647", "2147483647", "2147483647", "2147483647"}},
    {"2147483647.5", "int", {"NULL", "NULL", "NULL", "NULL"}},
    {"-2147483647.5", "int", {"-2147483647", "-2147483647", "-2147483647", "-2147483647"}},
    {"-2147483648", "int", {"NULL", "NULL", "NULL", "NULL"}},
    {"@D", "int", {"1", "-1", "3", "3"}},
    // Double targets.
    {"@A+@B*2", "dbl", {"10", "-10", "7", "NULL"}},
    {"@B/@B", "dbl", {"1", "1", "NULL", "1"}},
    {"1/3", "dbl", {"0.3333333333", "0.3333333333", "0.3333333333", "0.3333333333"}},
    {"@D+@B", "dbl", {"3.75", "-3.25", "3", "4"}},
    {"@D", "dbl", {"1.25", "-0.75", "3", "2.5"}},
    {"\t@A\n*\r2 ", "dbl", {"10", "-10", "14", "NULL"}},
    // Decimal targets take the target's scale and rounding mode.
    {"@D", "dec1even", {"1.2", "-0.8", "3.0", "2.5"}},
    {"@D", "dec1up", {"1.3", "-0.8", "3.0", "2.5"}},
    {"@B/4", "dec1even", {"0.6", "-0.6", "0.0", "0.4"}},
    {"@D*2", "dec1up", {"2.5", "-1.5", "6.0", "5.0"}},
    {"1.25*@D", "dec3", {"1.560", "-0.940", "3.750", "3.120"}},
    {"@D/@E", "dec3", {"0.620", "NULL", "NULL", "0.830"}},
    {"@D+0.", "dec3", {"1.250", "-0.750", "3.000", "2.500"}},
    {"@D+1.5e-3", "dec3", {"1.252", "-0.748", "3.002", "2.502"}},
};

TEST_F(CalculatorTest, ResultsPerTargetTypeSeriallyAndInParallel) {
  for (const ResultCase& c : kResults) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(std::string(c.formula) + " -> " + c.target + (parallel ? " parallel" : " serial"));
      const int target = targets_[c.target];
      ASSERT_EQ(Calc(parallel, target, c.formula), 0) << FPCParseError;
      EXPECT_EQ(Column(target), c.want);
      EXPECT_STREQ(FPCParseError, "");
    }
  }
  EXPECT_EQ(DrainRing(), std::vector<std::string>{});
}

TEST_F(CalculatorTest, OnlyTheRangeOfTheSetIsWritten) {
  const int rows[] = {4, 2, 3};
  const int set = table_->AddSetFromRows(3, rows);
  ASSERT_GT(set, 1);
  for (bool parallel : {false, true}) {
    const int target = targets_["int"];
    ASSERT_EQ(Calc(false, target, "0"), 0);
    // Positions 2 and 3 of the set: records 2 and 3.
    ASSERT_EQ(Calc(parallel, target, "@A*2", set, 2, 2), 0);
    EXPECT_EQ(Column(target), (std::vector<std::string>{"0", "-10", "14", "0"}));
  }
}

struct RefusalCase {
  const char* formula;
  std::vector<std::string> ring;
  const char* parse_error;
};

const std::string kLongName(300, 'a');
const std::string kLongDigits(300, '9');

const RefusalCase kRefusals[] = {
    // Nothing to compute is never a success.
    {"", {}, ""},
    {" \t\r\n", {}, ""},
    {"()", {}, ""},
    {"@A+()", {}, ""},
    {"@A @B", {kIllegalToken}, ""},
    {"@A)", {kIllegalLevel}, ""},
    {"(@A", {kIllegalLevel}, ""},
    {"2*-3", {kIllegalToken}, ""},
    {"@A+", {kIllegalToken}, ""},
    {"*@A", {kIllegalToken}, ""},
    {"@X+1", {kIllegalToken}, "NO SUCH FILTER: X"},
    {"@A+@S", {kIllegalToken}, ""},
    // Double constants.
    {"0.", {kIllegalToken}, "NOT A NUMBER: 0."},
    {".0", {kIllegalToken}, "NOT A NUMBER: .0"},
    {"0e3+@A", {kIllegalToken}, "NOT A NUMBER: 0e3"},
    {"0.0.0", {kIllegalToken}, "NOT A NUMBER: 0.0.0"},
    {"1e999", {kIllegalToken}, "NOT A NUMBER: 1e999"},
    {"@A*nan", {kIllegalToken}, "NOT A NUMBER: nan"},
    {"1.5.2", {kIllegalToken}, "NOT A NUMBER: 1.5.2"},
    // Decimal constants (the formula names a decimal column).
    {"@D+1e", {kScanner, kIllegalToken}, "NOT A NUMBER: 1e"},
    {"@D+1.5.2", {kScanner, kIllegalToken}, "NOT A NUMBER: 1.5.2"},
    {"@D+abc", {kScanner, kIllegalToken}, "NOT A NUMBER: abc"},
    {"@D+0x10", {kScanner, kIllegalToken}, "NOT A NUMBER: 0x10"},
    // Too large even at scale 0: refused, not NULL in every row.
    {"@D+1e50", {kScanner, kIllegalToken}, "NOT A NUMBER: 1e50"},
    {"@D*123456789012345678901234567890123456789012",
     {kScanner, kIllegalToken},
     "NOT A NUMBER: 123456789012345678901234567890123456789012"},
};

TEST_F(CalculatorTest, RefusedFormulasGiveSyntaxErrorRingEntriesAndParseError) {
  const int target = targets_["int"];
  for (const RefusalCase& c : kRefusals) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(std::string("[") + c.formula + (parallel ? "] parallel" : "] serial"));
      EXPECT_EQ(Calc(parallel, target, c.formula), kSyntax);
      EXPECT_EQ(DrainRing(), c.ring);
      EXPECT_STREQ(FPCParseError, c.parse_error);
    }
  }
  // Nothing was written.
  EXPECT_EQ(Column(target), (std::vector<std::string>{"NULL", "NULL", "NULL", "NULL"}));
}

TEST_F(CalculatorTest, OverlongNamesAndConstantsAreCutAtTheScannerLimit) {
  const int target = targets_["int"];
  EXPECT_EQ(Calc(false, target, "@" + kLongName), kSyntax);
  EXPECT_EQ(std::string(FPCParseError), "NO SUCH FILTER: " + std::string(263, 'a'));
  EXPECT_EQ(Calc(false, target, "@D+" + kLongDigits), kSyntax);
  EXPECT_EQ(std::string(FPCParseError), "NOT A NUMBER: " + std::string(263, '9'));
  // As a double the cut constant reads, and what is left of it is a second constant in a row.
  EXPECT_EQ(Calc(false, target, kLongDigits), kSyntax);
  EXPECT_STREQ(FPCParseError, "");
  DrainRing();
}

TEST_F(CalculatorTest, AcceptedSpellingsOfZero) {
  const int target = targets_["dbl"];
  for (const char* f : {"0.0", "00", "0.000+@A", "0+@A"}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(Calc(false, target, f), 0);
  }
  EXPECT_EQ(Check0Format("0"), 0);
  EXPECT_EQ(Check0Format("00.00"), 0);
  for (const char* t : {"0.", ".0", "0e3", "0.0.0", "", "1", "0.01"}) EXPECT_EQ(Check0Format(t), -1) << t;
}

TEST_F(CalculatorTest, ThirtyOneBracketsNestAndTheThirtySecondIsRefused) {
  const int target = targets_["int"];
  const std::string ok = std::string(31, '(') + "@A+1" + std::string(31, ')');
  ASSERT_EQ(Calc(false, target, ok), 0);
  EXPECT_EQ(Column(target), (std::vector<std::string>{"6", "-4", "8", "NULL"}));
  const std::string over = std::string(32, '(') + "@A+1" + std::string(32, ')');
  EXPECT_EQ(Calc(false, target, over), kSyntax);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"Compiler1|Calc Syntax Error ( FStackLevel Over )"});
}

// "x+x+...+x" with n terms compiles to 2n - 2 commands.
std::string Sum(const std::string& term, int n) {
  std::string f = term;
  for (int i = 1; i < n; ++i) f += "+" + term;
  return f;
}

TEST_F(CalculatorTest, ConstantColumnAndCommandLimits) {
  const int target = targets_["int"];
  ASSERT_EQ(Calc(false, target, Sum("1", 64)), 0);
  EXPECT_EQ(Cell(target, 1), "64");
  EXPECT_EQ(Calc(false, target, Sum("1", 65)), kSyntax);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{kIllegalToken});

  // One column named many times is one column entry: only the command list fills up.
  ASSERT_EQ(Calc(false, target, Sum("@A", 129)), 0);
  EXPECT_EQ(Cell(target, 1), "645");
  EXPECT_EQ(Calc(false, target, Sum("@A", 130)), static_cast<int>(Q7_ERROR_CALC_STACK));
  EXPECT_EQ(DrainRing(), std::vector<std::string>{});

  std::string sum64, sum65;
  for (int i = 0; i < 65; ++i) {
    const std::string name = "C" + std::to_string(i);
    ASSERT_GT(AddInt(name, {i, i, i, i}), 0);
    (i < 64 ? sum64 : sum65) += (i == 0 ? "@" : "+@") + name;
  }
  sum65 = sum64 + sum65;
  ASSERT_EQ(Calc(false, target, sum64), 0);
  EXPECT_EQ(Cell(target, 1), std::to_string(63 * 64 / 2));
  EXPECT_EQ(Calc(false, target, sum65), kSyntax);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{kIllegalToken});
}

struct SetupCase {
  const char* what;
  int set, filter, start, count;  // filter 0: the integer target
  int code;
  std::vector<std::string> ring;
};

TEST_F(CalculatorTest, SetupRefusalsAreRecordedUnderSetup) {
  const SetupCase cases[] = {
      {"no filter",
       1,
       999,
       1,
       4,
       Q7_ERROR_NO_SUCH_FILTER,
       {"GetFilter|No Such Filter: 999", "Setup|No Such Filter: 999"}},
      {"text target",
       1,
       s_,
       1,
       4,
       Q7_ERROR_CALC_TYPE,
       {"Setup|Illegal data type ( Not INTEGER and Not DOUBLE )"}},
      {"no set",
       77,
       0,
       1,
       4,
       Q7_ERROR_NO_SUCH_SET,
       {"SetID2Pos|No Such Set: 77", "GetSet|No Such Set: 77 ", "Setup|No Such Set: 77"}},
      {"start 0", 1, 0, 0, 4, kSyntax, {"Setup|Invalid Parameter : CalStart"}},
      {"count 0", 1, 0, 1, 0, kSyntax, {"Setup|Invalid Parameter : CalCount"}},
      {"beyond the set", 1, 0, 3, 3, kSyntax, {"Setup|Invalid Parameter : CalCount"}},
  };
  for (const SetupCase& c : cases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (parallel ? " parallel" : " serial"));
      const int filter = c.filter == 0 ? targets_["int"] : c.filter;
      EXPECT_EQ(Calc(parallel, filter, "@A", c.set, c.start, c.count), c.code);
      EXPECT_EQ(DrainRing(), c.ring);
    }
  }
}

TEST_F(CalculatorTest, PendingValuesOfASourceColumnAreRead) {
  NewTable(200);
  const int a = AddInt("A", std::vector<int32_t>(200, 1));
  const int t = AddTarget("T", Q7_TYPE_INTEGER);
  int32_t v = 42;
  ASSERT_GE(table_->OverWriteEx(1, a, 5, 1, &v), 0);
  ASSERT_LT(table_->GetFilter(a)->PV->PIntAr()[5], 0) << "the write was meant to stay pending";
  for (bool parallel : {false, true}) {
    ASSERT_EQ(Calc(parallel, t, "@A+1", 1, 1, 200), 0);
    EXPECT_EQ(Cell(t, 5), "43");
    EXPECT_EQ(Cell(t, 6), "2");
  }
}

TEST_F(CalculatorTest, ATableAJoinReadsIsNotWrittenButCanStillBeComputedIntoMemory) {
  const int other = AddTable("other", 2);
  std::string k = "K";
  ASSERT_GT(Real(other)->AddFilter2(1024, k.data(), Q7_TYPE_INTEGER, 2, 4, std::vector<int32_t>{5, 7}.data(),
                                    other, -1),
            0);
  AddJoin(table_->FTableID, a_, other, Real(other)->GetFilterIDFromName(k.data(), -1));
  DrainRing();
  EXPECT_EQ(Calc(false, targets_["int"], "@A"), static_cast<int>(Q7_ERROR_NOT_EDITABLE));
  EXPECT_EQ(Calc(true, targets_["int"], "@A"), static_cast<int>(Q7_ERROR_NOT_EDITABLE));
  EXPECT_EQ(DrainRing(), std::vector<std::string>{});
  int32_t out[4];
  EXPECT_EQ(table_->MppCalcPtr(1, 1, 4, "@A", Q7_TYPE_INTEGER, out, sizeof out, nullptr, nullptr), 0);
  EXPECT_EQ(out[2], 7);
}

TEST_F(CalculatorTest, ResultsIntoCallerMemoryForEachType) {
  char* message = nullptr;
  int32_t ints[3];
  ASSERT_EQ(table_->MppCalcPtr(1, 2, 3, "@A+@B*2", Q7_TYPE_INTEGER, ints, sizeof ints, nullptr, &message), 0);
  EXPECT_EQ(message, FPCParseError);
  EXPECT_EQ((std::vector<int32_t>(ints, ints + 3)), (std::vector<int32_t>{-10, 7, kIntNull}));

  double dbls[4];
  ASSERT_EQ(table_->MppCalcPtr(1, 1, 4, "@A/@B", Q7_TYPE_DOUBLE, dbls, sizeof dbls, nullptr, nullptr), 0);
  EXPECT_EQ(dbls[0], 2.0);
  EXPECT_EQ(dbls[1], 2.0);
  EXPECT_EQ(dbls[2], calctest::kDblNull);
  EXPECT_EQ(dbls[3], calctest::kDblNull);

  // Decimal results are at scale 6, ROUNDHALFUP.
  const NumericInfo six{6, Q7_ROUND_HALF_UP};
  Numeric nums[4];
  ASSERT_EQ(table_->MppCalcPtr(1, 1, 4, "@B/8", Q7_TYPE_DECIMAL, nums, sizeof nums, nullptr, nullptr), 0);
  std::vector<std::string> got;
  for (const Numeric& n : nums) got.push_back(calctest::DecText(n, six));
  EXPECT_EQ(got, (std::vector<std::string>{"0.312500", "-0.312500", "0.000000", "0.187500"}));
  ASSERT_EQ(table_->MppCalcPtr(1, 1, 4, "@D/@E", Q7_TYPE_DECIMAL, nums, sizeof nums, nullptr, nullptr), 0);
  got.clear();
  for (const Numeric& n : nums) got.push_back(calctest::DecText(n, six));
  EXPECT_EQ(got, (std::vector<std::string>{"0.620000", "NULL", "NULL", "0.830000"}));

  EXPECT_EQ(table_->MppCalcPtr(1, 1, 4, "@Q", Q7_TYPE_DOUBLE, dbls, sizeof dbls, nullptr, &message), kSyntax);
  EXPECT_STREQ(message, "NO SUCH FILTER: Q");
  EXPECT_EQ(table_->MppCalcPtr(1, 1, 4, "@A", Q7_TYPE_STRING, dbls, sizeof dbls, nullptr, nullptr),
            static_cast<int>(Q7_ERROR_CALC_TYPE));
  EXPECT_EQ(table_->MppCalcPtr(1, 1, 4, "@A", Q7_TYPE_DOUBLE, nullptr, 0, nullptr, nullptr),
            static_cast<int>(Q7_ERROR_INVALID_PARAMETER));
  EXPECT_EQ(table_->MppCalcPtr(1, 1, 5, "@A", Q7_TYPE_DOUBLE, dbls, sizeof dbls, nullptr, nullptr), kSyntax);
  EXPECT_EQ(DrainRing(), (std::vector<std::string>{
                             kIllegalToken, "SetupForPtr|Illegal data type ( Not INTEGER and Not DOUBLE )",
                             "SetupForPtr|Invalid Parameter : CalCount"}));
}

TEST(CalcWords, ReadersStopAtTheirDelimitersAndNeverOverrunTheOutput) {
  char out[8];
  EXPECT_EQ(GetWord(out, sizeof out, "abc+d"), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(GetWord(out, sizeof out, "abcdefghijk"), 7);
  EXPECT_STREQ(out, "abcdefg");
  EXPECT_EQ(GetWord(out, 1, "abc"), 0);
  EXPECT_EQ(GetWord2(out, sizeof out, "ab,c", true), 2);
  EXPECT_EQ(GetWord2(out, sizeof out, "ab,c", false), 4);
  EXPECT_EQ(GetWordNumeric(out, sizeof out, "1.5e-3+2"), 6);
  EXPECT_STREQ(out, "1.5e-3");
  EXPECT_EQ(GetWordNumeric(out, sizeof out, "1e"), 2);
  EXPECT_EQ(GetWordNumeric(out, sizeof out, "2*3"), 1);
  EXPECT_EQ(GetWordNumeric(out, sizeof out, "-3"), 0);
}

TEST(CalcWords, ScaleOfADecimalConstant) {
  const std::pair<const char*, int> cases[] = {
      {"1.25", 2}, {"12", 0},     {"1.5e-3", 4}, {"1.5E2", 0},  {"1.2345e2", 2}, {"0.", 0},
      {"", -1},    {"1.2.3", -1}, {"1e2e3", -1}, {"1e2.5", -1}, {"1d-2", 2},
  };
  for (const auto& [text, scale] : cases) EXPECT_EQ(CheckNumericFormat(text), scale) << text;
}

TEST_F(CalculatorTest, DecimalModeFollowsTheColumnsNamed) {
  EXPECT_EQ(CheckNumericFormula(table_, "@A+@B", false), 0);
  EXPECT_EQ(CheckNumericFormula(table_, "@A+@D", false), 1);
  EXPECT_EQ(CheckNumericFormula(table_, "@D", false), 1);
  EXPECT_EQ(CheckNumericFormula(table_, "strToNumeric($x)", false), 1);
  EXPECT_EQ(CheckNumericFormula(table_, "$@D,@A", false), 0);
  EXPECT_EQ(CheckNumericFormula(table_, "", false), 0);
}

// The double path against the general path on the same compiled program: random columns with
// NULLs, zeros, values whose products leave the double range (plus infinity stays a value, minus
// infinity is NULL, their sum NaN) and integers beyond the int32 result range, under random
// formulas of every operator, brackets and signs, into each result type.
class DoublePathTest : public calctest::CalcTableTest {
 protected:
  // Several blocks and a partial one; the range starts and ends off the block boundaries.
  static constexpr int kRows = 1237;
  static constexpr int kStart = 2;
  static constexpr int kCount = kRows - 3;

  void SetUp() override {
    CalcTableTest::SetUp();
    NewTable(kRows);
    std::mt19937 gen(20261210);
    auto pick = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    const int32_t ints[] = {0, 1, -1, 2, 7, -13, 46341, -46341, 2000000000, -2000000000};
    const double dbls[] = {0.0, -0.0, 0.5, -2.5, 3.0, 1e-300, -1e-300, 1e300, -1e300, 0.1, 2147483647.5};
    std::vector<int32_t> i(kRows), j(kRows);
    std::vector<double> x(kRows), y(kRows);
    for (int r = 0; r < kRows; ++r) {
      i[r] = pick(10) == 0 ? kIntNull : ints[pick(10)];
      j[r] = pick(10) == 0 ? kIntNull : pick(7) - 3;
      x[r] = pick(10) == 0 ? calctest::kDblNull : dbls[pick(11)];
      y[r] = pick(10) == 0 ? calctest::kDblNull : (pick(2001) - 1000) / 8.0;
    }
    ASSERT_GT(AddInt("I", i), 0);
    ASSERT_GT(AddInt("J", j), 0);
    ASSERT_GT(AddDouble("X", x), 0);
    ASSERT_GT(AddDouble("Y", y), 0);
    ASSERT_GT(AddDecimal("D", std::vector<Numeric>(kRows, calctest::Units(125)), 2, Q7_ROUND_HALF_UP), 0);
    // A column never written: nothing but its list's NULL.
    ASSERT_GT(AddTarget("N", Q7_TYPE_DOUBLE), 0);
    targets_ = {AddTarget("TI", Q7_TYPE_INTEGER), AddTarget("TD", Q7_TYPE_DOUBLE),
                AddTarget("TN", Q7_TYPE_DECIMAL, 3, Q7_ROUND_HALF_EVEN)};
  }

  // The result bytes of one evaluation; path -1 keeps the path the compiler chose.
  std::string Evaluate(const std::string& formula, int target, int path, bool parallel) {
    std::string text = formula;
    TCalculator calc;
    calc.FTable = table_;
    if (calc.Setup(1, target, kStart, kCount, text.data()) != 0 || calc.Compiler(table_) != 0) {
      ADD_FAILURE() << "not compiled: " << formula;
      return {};
    }
    if (path >= 0) calc.FDoublePath = path;
    EXPECT_EQ(parallel ? calc.MppRun() : calc.Run(), 0);
    const void* data = calc.FResultType == Q7_TYPE_INTEGER  ? static_cast<const void*>(calc.FIntResults)
                       : calc.FResultType == Q7_TYPE_DOUBLE ? static_cast<const void*>(calc.FDblResults)
                                                            : static_cast<const void*>(calc.FNumResults);
    const size_t width = calc.FResultType == Q7_TYPE_INTEGER  ? 4
                         : calc.FResultType == Q7_TYPE_DOUBLE ? 8
                                                              : sizeof(Numeric);
    return std::string(static_cast<const char*>(data), width * kCount);
  }

  int Path(const std::string& formula) {
    std::string text = formula;
    TCalculator calc;
    calc.FTable = table_;
    if (calc.Setup(1, targets_[1], kStart, kCount, text.data()) != 0 || calc.Compiler(table_) != 0) return -1;
    return calc.FDoublePath;
  }

  std::vector<int> targets_;
};

// A random formula of at most about `budget` operands: a sign only before the first factor of an
// expression or bracket, as the grammar allows.
std::string RandomFormula(std::mt19937& gen, int depth, int* budget) {
  static const char* const kOperands[] = {"@I", "@J", "@X", "@Y", "0", "2", "0.5", "3", "1e300", "0.001"};
  auto pick = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
  std::string f;
  if (pick(3) == 0) f += pick(2) == 0 ? "-" : "+";
  const int factors = 1 + pick(5);
  for (int k = 0; k<factors&& * budget> 0; ++k) {
    if (k > 0) f += "+-*/"[pick(4)];
    if (depth < 4 && pick(4) == 0) {
      f += "(" + RandomFormula(gen, depth + 1, budget) + ")";
    } else {
      f += kOperands[pick(10)];
      --*budget;
    }
  }
  return f;
}

TEST_F(DoublePathTest, ChosenOnlyWithoutDecimals) {
  EXPECT_EQ(Path("@I*@X+(@J-2)/@Y"), 1);
  EXPECT_EQ(Path("-1.5"), 1);
  EXPECT_EQ(Path("@I+@D"), 0);
  EXPECT_EQ(Path("@D"), 0);
  // Constants are decimals as soon as a decimal column is named.
  EXPECT_EQ(Path("(@D-@D)+@I*2"), 0);
}

TEST_F(DoublePathTest, ResultsAreTheGeneralPathsBitForBit) {
  std::vector<std::string> formulas = {"@I",
                                       "-@X",
                                       "@I*@I",
                                       "@X*@X",
                                       "-@X*@X",
                                       "@X*@X-@X*@X",
                                       "@I/@J",
                                       "@Y/@X",
                                       "-(@X*@X)",
                                       "-(@I+@J)*(@Y-@X)/(@J)",
                                       "@X*1e300",
                                       "0/@J",
                                       "@J/0",
                                       "1e300*1e300-1e300*1e300",
                                       "2147483647.5+@J",
                                       "((@I))",
                                       "-(-(@X)/(-@Y))",
                                       "@I*@J-@Y/@J+@X*3",
                                       "-@I-@J-@X-@Y",
                                       "@N",
                                       "-@N*@I",
                                       "@X/(-@N)"};
  std::mt19937 gen(7);
  for (int i = 0; i < 200; ++i) {
    int budget = 24;
    formulas.push_back(RandomFormula(gen, 0, &budget));
  }
  long nulls = 0, values = 0;
  for (const std::string& f : formulas) {
    ASSERT_EQ(Path(f), 1) << f;
    for (const int target : targets_) {
      SCOPED_TRACE(f + " -> " + std::to_string(target));
      const std::string want = Evaluate(f, target, 0, false);
      ASSERT_EQ(want.size() % kCount, 0u);
      EXPECT_TRUE(Evaluate(f, target, -1, false) == want);
      EXPECT_TRUE(Evaluate(f, target, -1, true) == want);
      if (target == targets_[1]) {
        for (int r = 0; r < kCount; ++r) {
          double v;
          memcpy(&v, want.data() + 8 * r, 8);
          (v == calctest::kDblNull ? nulls : values) += 1;
        }
      }
    }
  }
  // Neither outcome is left unexercised.
  EXPECT_GT(nulls, 10 * kCount);
  EXPECT_GT(values, 10 * kCount);
}

}  // namespace
