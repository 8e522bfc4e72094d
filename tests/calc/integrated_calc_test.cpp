// The integrated calculator through the real table's entries: each function on a small table,
// NULLs and three-valued logic, conversions, texts with multibyte characters, record and row
// numbers over another set, every parser refusal with its ring entry, the slot and instruction
// limits, and results delivered into the caller's memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "calc/TCalculator.h"
#include "calc/TIntegratedCalc.h"
#include "integrated_calc_support.h"

namespace {

using icalctest::DecNull;
using icalctest::kDblNull;
using icalctest::kIntNull;
using icalctest::Units;

constexpr int kSyntax = static_cast<int>(Q7_ERROR_CALC_SYNTAX);
constexpr int kRows = 6;

// Six records:
//   A integer  1     2      0      NULL        -3       10
//   B double   0.5   NULL   2      3           -1.5     0
//   D decimal  1.25  2.50   NULL   0.00        -3.75    10.01   (scale 2, ROUNDHALFUP)
//   S text     abc   ""     Hello  日本語x     a"b      xyz
//   T text     b     x      ell    本          "        ""
// and one empty result column per type: RI integer, RD double, RN decimal (scale 3, ROUNDHALFUP),
// RS text.
class IntegratedCalcTest : public icalctest::ICalcTableTest {
 protected:
  void SetUp() override {
    ICalcTableTest::SetUp();
    NewTable(kRows);
    AddInt("A", {1, 2, 0, kIntNull, -3, 10});
    AddDouble("B", {0.5, kDblNull, 2.0, 3.0, -1.5, 0.0});
    AddDecimal("D", {Units(125), Units(250), DecNull(), Units(0), Units(-375), Units(1001)}, 2,
               Q7_ROUND_HALF_UP);
    AddString("S", {"abc", "", "Hello", "日本語x", "a\"b", "xyz"});
    AddString("T", {"b", "x", "ell", "本", "\"", ""});
    Target('I') = AddTarget("RI", Q7_TYPE_INTEGER);
    Target('D') = AddTarget("RD", Q7_TYPE_DOUBLE);
    Target('N') = AddTarget("RN", Q7_TYPE_DECIMAL, 3, Q7_ROUND_HALF_UP);
    Target('S') = AddTarget("RS", Q7_TYPE_STRING);
    DrainRing();
  }

  int Calc(bool parallel, char target, const std::string& formula, int set = 1, int start = 1,
           int count = kRows) {
    const int filter = Target(target);
    const int rc = parallel ? table_->MppIntegratedCalc(set, filter, start, count, formula.c_str())
                            : table_->IntegratedCalc(set, filter, start, count, formula.c_str());
    EXPECT_EQ(ICalc, nullptr) << "the request's calculator is gone";
    return rc;
  }
  std::vector<std::string> Result(char target) { return Column(Target(target)); }

  int& Target(char c) { return target_[static_cast<unsigned char>(c)]; }
  int target_[256] = {};
};

struct RowCase {
  const char* formula;
  char target;
  std::vector<std::string> want;
};

const RowCase kRowCases[] = {
    // arithmetic, NULL in any operand, division by zero stops the row
    {"+(@A,*(@B,2))", 'D', {"2", "NULL", "4", "NULL", "-6", "10"}},
    {"/(@A,@B)", 'D', {"2", "NULL", "0", "NULL", "2", "NULL"}},
    {"NVL(/(@A,0),-1)", 'D', {"NULL", "NULL", "NULL", "NULL", "NULL", "NULL"}},
    {"NVL(@A,-1)", 'D', {"1", "2", "0", "-1", "-3", "10"}},
    {"-(@A,1)", 'I', {"0", "1", "-1", "NULL", "-4", "9"}},
    // three-valued logic
    {"ISNULL(@B)", 'D', {"0", "1", "0", "0", "0", "0"}},
    {"AND(=(@A,2),ISNULL(@B))", 'D', {"0", "1", "0", "0", "0", "0"}},
    {"AND(@A,@B)", 'D', {"1", "NULL", "0", "NULL", "1", "0"}},
    {"OR(>(@A,1),ISNULL(@B))", 'D', {"0", "1", "0", "NULL", "0", "1"}},
    {"NOT(@A)", 'D', {"0", "0", "1", "NULL", "0", "0"}},
    {"NOT(@D)", 'N', {"0.000", "0.000", "NULL", "1.000", "0.000", "0.000"}},
    {"ISNULL(@D)", 'N', {"0.000", "0.000", "1.000", "0.000", "0.000", "0.000"}},
    // conditionals: only the branch taken runs
    {"IF(@A,1,2)", 'D', {"1", "1", "2", "2", "1", "1"}},
    {"if(>(@A,0),@A,0)", 'D', {"1", "2", "0", "0", "0", "10"}},
    {"IF(=(@B,0),-1,/(1,@B))", 'D', {"2", "NULL", "0.5", "0.3333333333", "-0.6666666667", "-1"}},
    // comparisons
    {"<>(@A,2)", 'D', {"1", "0", "1", "NULL", "1", "1"}},
    {"<=(@A,0)", 'D', {"0", "0", "1", "NULL", "1", "0"}},
    {">=(@B,2)", 'D', {"0", "NULL", "1", "1", "0", "0"}},
    {"<(@B,0)", 'D', {"0", "NULL", "0", "0", "1", "0"}},
    {"=(@D,2.5)", 'D', {"0", "1", "NULL", "0", "0", "0"}},
    // rounding of doubles and of decimals (a decimal keeps its scale)
    {"CEIL(@B)", 'D', {"1", "NULL", "2", "3", "-1", "0"}},
    {"FLOOR(@B)", 'D', {"0", "NULL", "2", "3", "-2", "0"}},
    {"ROUND(@B)", 'D', {"1", "NULL", "2", "3", "-1", "0"}},
    {"FLOOR(@D)", 'N', {"1.000", "2.000", "NULL", "0.000", "-4.000", "10.000"}},
    // conversions into the target type
    {"@D", 'I', {"1", "3", "NULL", "0", "-4", "10"}},
    {"+(@D,1)", 'N', {"2.250", "3.500", "NULL", "1.000", "-2.750", "11.010"}},
    {"*(@B,2)", 'N', {"1.000", "NULL", "4.000", "6.000", "-3.000", "0.000"}},
    {"*(@B,5)", 'I', {"3", "NULL", "10", "15", "-7", "0"}},
    // texts: bytes, multibyte characters untouched by UPPER, comparisons as strcmp
    {"LEN($@S)", 'D', {"3", "0", "5", "10", "3", "3"}},
    {"POS($@T,$@S)", 'D', {"1", "-1", "1", "3", "1", "0"}},
    {"EQ($@S,$\"abc\")", 'D', {"1", "0", "0", "0", "0", "0"}},
    {"LT($@S,$@T)", 'D', {"1", "1", "1", "1", "0", "0"}},
    {"GEQ($@S,$@T)", 'D', {"0", "0", "0", "0", "1", "1"}},
    {"NEQ($@T,$\"\")", 'D', {"1", "1", "1", "1", "1", "0"}},
    {"$&($@S,$@T)", 'S', {"abcb", "x", "Helloell", "日本語x本", "a\"b\"", "xyz"}},
    {"$UPPER($@S)", 'S', {"ABC", "", "HELLO", "日本語X", "A\"B", "XYZ"}},
    {"$EXTRACT($@S,0,3)", 'S', {"abc", "", "Hel", "日", "a\"b", "xyz"}},
    {"$EXTRACT($@S,IF(<(@A,0),9,@A),1)", 'S', {"b", "", "H", "", "", ""}},
    {"$IF(ISNULL(@A),$\"none\",$INTTOSTR(@A))", 'S', {"1", "2", "0", "none", "-3", "10"}},
    {"$FLOATTOSTR(@B)", 'S', {"0.500000", "", "2.000000", "3.000000", "-1.500000", "0.000000"}},
    {"$NUMERICTOSTR(@D)", 'S', {"1.25", "2.50", "", "0.00", "-3.75", "10.01"}},
    {"$INTTOSTR(@D)", 'S', {"1", "2", "", "0", "-3", "10"}},
    // a decimal truth value into a text takes the text target's scale 6 in both runs
    {"$NUMERICTOSTR(NOT(@D))", 'S', {"0.000000", "0.000000", "", "1.000000", "0.000000", "0.000000"}},
};

TEST_F(IntegratedCalcTest, EachFunctionPerRowSerialAndParallel) {
  for (const auto& c : kRowCases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(std::string(c.formula) + (parallel ? " parallel" : " serial"));
      ASSERT_EQ(Calc(parallel, c.target, c.formula), 0) << ::testing::PrintToString(DrainRing());
      EXPECT_EQ(Result(c.target), c.want);
    }
  }
}

// Formulas of constants: the same value in every row.
struct ConstCase {
  const char* formula;
  char target;
  const char* want;
};

const ConstCase kConstCases[] = {
    {"/(7,2)", 'D', "3.5"},
    {"2.5", 'I', "3"},
    {"-2.5", 'I', "-2"},
    {"1e10", 'I', "NULL"},
    {"ROUND(2.5)", 'D', "3"},
    {"ROUND(-2.5)", 'D', "-2"},
    {"NVL(-(1,2),0)", 'D', "-1"},
    {"STRTOINT($\"12x\")", 'D', "NULL"},
    {"STRTOINT($\"\")", 'D', "NULL"},
    {"STRTOINT($\"-42\")", 'D', "-42"},
    {"STRTOINT($\"2147483647\")", 'D', "2147483647"},
    {"STRTOINT($\"4294967297\")", 'D', "NULL"},  // not its low 32 bits (1)
    {"STRTOINT($\"-2147483648\")", 'D', "NULL"},
    {"ISNULL(STRTOINT($\"-4294967295\"))", 'D', "1"},
    {"STRTOFLOAT($\"\")", 'D', "NULL"},
    {"STRTOFLOAT($\"2.5e1\")", 'D', "25"},
    {"STRTOFLOAT($\"1.5 \")", 'D', "NULL"},
    {"STRTONUMERIC($\"12.345\")", 'D', "12.345"},
    {"STRTONUMERIC($\"12.345\")", 'N', "12.345"},
    {"STRTONUMERIC($\"1.2.3\")", 'D', "NULL"},
    {"STRTONUMERIC($\"\")", 'D', "NULL"},
    {"+(STRTONUMERIC($\"0.1\"),0.2)", 'N', "0.300"},
    {"POS($\"b\",$\"abc\")", 'D', "1"},
    {"POS($\"q\",$\"abc\")", 'D', "-1"},
    {"LEN($\"\"\"\")", 'D', "1"},
    {"$\"a\"\"b\"", 'S', "a\"b"},
    {"$EXTRACT($\"abcdef\",2,3)", 'S', "cde"},
    {"$EXTRACT($\"abcdef\",4,10)", 'S', "ef"},
    {"$EXTRACT($\"abc\",5,1)", 'S', ""},
    {"$EXTRACT($\"abc\",1,0)", 'S', ""},
    {"$EXTRACT($\"abcdef\",1.9,2.9)", 'S', "bc"},
    {"$INTTOSTR(1e12)", 'S', ""},
    {"$FLOATTOSTR(/(1,0))", 'S', ""},
    {"  +( 1 ,\t2\n)  ", 'D', "3"},
};

TEST_F(IntegratedCalcTest, ConstantsAndConversions) {
  for (const auto& c : kConstCases) {
    SCOPED_TRACE(c.formula);
    ASSERT_EQ(Calc(false, c.target, c.formula), 0) << ::testing::PrintToString(DrainRing());
    EXPECT_EQ(Result(c.target), std::vector<std::string>(kRows, c.want));
  }
}

TEST_F(IntegratedCalcTest, StringSlotsAreBoundedAt4095Bytes) {
  const std::string x4000(4000, 'x');
  const std::string y4095(4095, 'y');
  struct Case {
    std::string formula;
    const char* want;
  } cases[] = {
      {"LEN($&($\"" + x4000 + "\",$\"" + x4000 + "\"))", "4095"},
      {"LEN($UPPER($&($\"" + x4000 + "\",$\"" + x4000 + "\")))", "4095"},
      {"LEN($EXTRACT($\"" + y4095 + "\",0,100000))", "4095"},
      {"LEN($\"" + y4095 + "\")", "4095"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formula.substr(0, 20));
    ASSERT_EQ(Calc(true, 'D', c.formula), 0);
    EXPECT_EQ(Result('D'), std::vector<std::string>(kRows, c.want));
  }
  // One more character than a slot holds.
  EXPECT_EQ(Calc(false, 'D', "LEN($\"" + y4095 + "y\")"), static_cast<int>(Q7_ERROR_STRING_SIZE_OVERFLOW));
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"WaitString|Calc Syntax Error ( StringSize Overflow )"});
}

TEST_F(IntegratedCalcTest, NegativeExtractPositionFailsTheRun) {
  for (const char* formula : {"$EXTRACT($\"abc\",-1,1)", "$EXTRACT($@S,0,-(@A,2))"}) {
    SCOPED_TRACE(formula);
    EXPECT_EQ(Calc(false, 'S', formula), static_cast<int>(Q7_ERROR_OUT_OF_RANGE));
    EXPECT_EQ(Calc(true, 'S', formula), static_cast<int>(Q7_ERROR_OUT_OF_RANGE));
  }
  EXPECT_EQ(Result('S'), std::vector<std::string>(kRows, "")) << "nothing was written";
}

TEST_F(IntegratedCalcTest, RecordAndRowNumbersOverAnotherSet) {
  const int rows[] = {5, 2, 6, 1};
  const int set = table_->AddSetFromRows(4, rows);
  ASSERT_GT(set, 1);
  ASSERT_EQ(Calc(false, 'I', "+(*(RECNO,100),rowno)", set, 2, 3), 0);
  // Rows 2..4 of the set are records 2, 6 and 1; the others stay NULL.
  EXPECT_EQ(Result('I'), (std::vector<std::string>{"104", "202", "NULL", "NULL", "NULL", "603"}));
  ASSERT_EQ(Calc(true, 'D', "+(*(RECNO,100),ROWNO)", set, 1, 4), 0);
  EXPECT_EQ(Result('D'), (std::vector<std::string>{"104", "202", "NULL", "NULL", "501", "603"}));
}

TEST_F(IntegratedCalcTest, SetupRefusals) {
  struct Case {
    int set, filter, start, count;
    int code;
    std::vector<std::string> ring;
  } cases[] = {
      {1, Target('D'), 0, 1, Q7_ERROR_OUT_OF_RANGE, {"Setup|Invalid Parameter : FCalStart"}},
      {1, Target('D'), 7, 1, Q7_ERROR_OUT_OF_RANGE, {"Setup|Invalid Parameter : FCalStart"}},
      {1, Target('D'), 1, 0, Q7_ERROR_OUT_OF_RANGE, {"Setup|Invalid Parameter : CalCount"}},
      {1, Target('D'), 2, 6, Q7_ERROR_OUT_OF_RANGE, {"Setup|Invalid Parameter : CalCount"}},
      {99, Target('D'), 1, 1, Q7_ERROR_NO_SUCH_SET, {"SetID2Pos|No Such Set: 99", "GetSet|No Such Set: 99 "}},
      {1, 99, 1, 1, Q7_ERROR_NO_SUCH_FILTER, {"GetFilter|No Such Filter: 99", "Setup|No Such Filter: 99"}},
  };
  for (const auto& c : cases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.set << " " << c.filter << " " << c.start << " " << c.count);
      const int rc = parallel ? table_->MppIntegratedCalc(c.set, c.filter, c.start, c.count, "1")
                              : table_->IntegratedCalc(c.set, c.filter, c.start, c.count, "1");
      EXPECT_EQ(rc, c.code);
      EXPECT_EQ(DrainRing(), c.ring);
      EXPECT_EQ(ICalc, nullptr);
    }
  }
}

TEST_F(IntegratedCalcTest, TableReferredByAJoinIsNotEdited) {
  const int other = AddTable("other", 2);
  AddJoin(table_->FTableID, table_->FilterName2ID("A"), other, AddIntFilter(Real(other), "K", {1, 2}));
  DrainRing();
  EXPECT_EQ(Calc(false, 'D', "1"), static_cast<int>(Q7_ERROR_NOT_EDITABLE));
  EXPECT_EQ(DrainRing(), std::vector<std::string>{});
  EXPECT_EQ(Calc(true, 'D', "1"), static_cast<int>(Q7_ERROR_NOT_EDITABLE));
  EXPECT_EQ(DrainRing(),
            std::vector<std::string>{"MppIntegratedCalc|Failed to refere table ( result TableCanEdit )"});
  EXPECT_EQ(Result('D'), std::vector<std::string>(kRows, "NULL"));
}

struct ErrorCase {
  const char* formula;
  char target;
  int code;
  std::vector<std::string> ring;
};

const char kIncomplete[] = "Calc Syntax Error ( Illegal String: Is imcomplete )";

const ErrorCase kErrorCases[] = {
    // a formula that computes nothing is refused, never reported as success
    {"", 'D', kSyntax, {"Parse1|Calc Syntax Error"}},
    {" \t\r\n ", 'D', kSyntax, {"Parse1|Calc Syntax Error"}},
    {"", 'S', kSyntax, {"Parse1|Calc Syntax Error"}},
    {"+(1,", 'D', kSyntax, {"Parse1|Calc Syntax Error"}},
    {"-(1,2,3)",
     'D',
     kSyntax,
     {"WaitCloseBlacket|Calc Syntax Error ( Illegal String: No CloseBlacket code )"}},
    {"+(1,2", 'D', kSyntax, {std::string("WaitCloseBlacket|") + kIncomplete}},
    {"+(1 2)", 'D', kSyntax, {"WaitComma|Calc Syntax Error ( Illegal String: No Comma code )"}},
    {"+(1", 'D', kSyntax, {std::string("WaitComma|") + kIncomplete}},
    {"+ (1,2)", 'D', kSyntax, {"WaitNumber|Calc Syntax Error"}},
    {"1.2.3", 'D', kSyntax, {"WaitNumber|Calc Syntax Error"}},
    {"1e999", 'D', kSyntax, {"WaitNumber|Calc Syntax Error"}},
    {"+(,1)", 'D', kSyntax, {std::string("WaitNumber|") + kIncomplete}},
    {"FOO(1)", 'D', kSyntax, {"WaitNumber|Calc Syntax Error ( Illegal String: No FuncName )"}},
    {"+(1,2) 3", 'D', kSyntax, {"Parser|Calc Syntax Error"}},
    {"LEN(abc)", 'D', kSyntax, {std::string("WaitString|") + kIncomplete}},
    {"LEN($", 'D', kSyntax, {"WaitString|Calc Syntax Error ( Illegal String: No $ code )"}},
    {"LEN($\"abc)", 'D', kSyntax, {std::string("WaitString|") + kIncomplete}},
    {"LEN($\"a\nb\")", 'D', kSyntax, {std::string("WaitString|") + kIncomplete}},
    {"LEN($UPPER )", 'D', kSyntax, {std::string("WaitString|") + kIncomplete}},
    {"LEN($FOO($\"a\"))", 'D', kSyntax, {"WaitString|Calc Syntax Error ( Illegal String: No FuncName )"}},
    {"@A", 'S', kSyntax, {std::string("WaitString|") + kIncomplete}},
    {"@NOPE", 'D', Q7_ERROR_NO_SUCH_FILTER, {}},
    {"LEN($@NOPE)", 'D', Q7_ERROR_NO_SUCH_FILTER, {}},
    {"+(@S,1)", 'D', Q7_ERROR_ILLEGAL_FILTER_TYPE, {"WaitNumber|Calc Syntax Error ( Illegal DataType )"}},
    {"LEN($@A)", 'D', Q7_ERROR_ILLEGAL_FILTER_TYPE, {}},
};

TEST_F(IntegratedCalcTest, ParserRefusalsWithTheirRingEntries) {
  for (const auto& c : kErrorCases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(std::string("[") + c.formula + (parallel ? "] parallel" : "] serial"));
      EXPECT_EQ(Calc(parallel, c.target, c.formula), c.code);
      EXPECT_EQ(DrainRing(), c.ring);
    }
  }
  EXPECT_EQ(Result('D'), std::vector<std::string>(kRows, "NULL")) << "no refused formula wrote anything";
  FPCParseError[0] = '\0';
  Calc(false, 'D', "+(1,2x)");
  EXPECT_STREQ(FPCParseError, "NOT A NUMBER: 2x");
}

// `depth` nested calls of `call` around `leaf`, e.g. NOT(NOT(1)).
std::string Nest(const std::string& open, const std::string& leaf, const std::string& close, int depth) {
  std::string f;
  for (int i = 0; i < depth; ++i) f += open;
  f += leaf;
  for (int i = 0; i < depth; ++i) f += close;
  return f;
}

TEST_F(IntegratedCalcTest, SlotAndInstructionLimits) {
  struct Case {
    std::string formula;
    char target;
    int code;
    std::vector<std::string> ring;
  } cases[] = {
      // 63 calls of one argument: 64 numeric slots and 63 instructions, the most there is room for
      {Nest("NOT(", "1", ")", 63), 'D', 0, {}},
      {Nest("NOT(", "1", ")", 64), 'D', Q7_ERROR_CALC_AREA2_OVERFLOW, {}},
      // each & takes two string slots: 31 of them fit beside the result slot, 32 do not
      {Nest("$&($\"a\",", "$\"b\"", ")", 31), 'S', 0, {}},
      {Nest("$&($\"a\",", "$\"b\"", ")", 32), 'S', Q7_ERROR_CALC_AREA1_OVERFLOW, {}},
      // each IF takes three slots and four instructions: the 16th needs a 64th instruction
      {Nest("IF(1,", "2", ",3)", 15), 'D', 0, {}},
      {Nest("IF(1,", "2", ",3)", 16), 'D', Q7_ERROR_CALC_STACK_OVERFLOW, {"Parse1|Calc Stack Overflow"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formula.substr(0, 40));
    EXPECT_EQ(Calc(false, c.target, c.formula), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  EXPECT_EQ(Result('D'), std::vector<std::string>(kRows, "2"));
  EXPECT_EQ(Result('S'), std::vector<std::string>(kRows, std::string(31, 'a') + "b"));
}

TEST_F(IntegratedCalcTest, PendingWritesAreReadAsValues) {
  // A small write into a large enough table goes to the filter's pending list first.
  NewTable(200);
  std::vector<int32_t> values(200);
  for (int i = 0; i < 200; ++i) values[static_cast<size_t>(i)] = i;
  const int a = AddInt("A", values);
  const int r = AddTarget("R", Q7_TYPE_INTEGER);
  int32_t fresh = 5000;
  ASSERT_GE(table_->OverWriteEx(1, a, 7, 1, &fresh), 0);
  ASSERT_NE(table_->GetFilter(a)->TVL, nullptr);
  ASSERT_EQ(table_->IntegratedCalc(1, r, 1, 200, "+(@A,1)"), 0);
  EXPECT_EQ(Cell(r, 7), "5001");
  EXPECT_EQ(Cell(r, 8), "8");
}

// Results into caller memory: each type, and texts that need more room than the caller gave.
TEST_F(IntegratedCalcTest, ResultsIntoCallerMemory) {
  int32_t ints[kRows];
  ASSERT_EQ(table_->MppIntegratedCalcPtr(1, 1, kRows, "*(@A,2)", Q7_TYPE_INTEGER, ints, sizeof ints, nullptr),
            0);
  EXPECT_EQ(std::vector<int32_t>(ints, ints + kRows), (std::vector<int32_t>{2, 4, 0, kIntNull, -6, 20}));

  double dbls[kRows];
  ASSERT_EQ(table_->MppIntegratedCalcPtr(1, 2, 3, "NVL(@B,-1)", Q7_TYPE_DOUBLE, dbls, sizeof dbls, nullptr),
            0);
  EXPECT_EQ(std::vector<double>(dbls, dbls + 3), (std::vector<double>{-1, 2, 3}));

  // decimals at scale 6, ROUNDHALFUP
  Numeric decs[kRows];
  ASSERT_EQ(table_->MppIntegratedCalcPtr(1, 1, kRows, "/(@B,3)", Q7_TYPE_DECIMAL, decs, sizeof decs, nullptr),
            0);
  std::vector<std::string> texts;
  for (const Numeric& d : decs) texts.push_back(icalctest::DecText(d, NumericInfo{6, Q7_ROUND_HALF_UP}));
  EXPECT_EQ(texts,
            (std::vector<std::string>{"0.166667", "NULL", "0.666667", "1.000000", "-0.500000", "0.000000"}));

  const char* formula = "$&($@S,$\"!\")";
  const std::vector<std::string> want = {"abc!", "!", "Hello!", "日本語x!", "a\"b!", "xyz!"};
  size_t need = 0;
  for (const auto& w : want) need += w.size() + 1;
  std::vector<char> area(need + 16, '#');
  char* addrs[kRows] = {};
  ASSERT_EQ(table_->MppIntegratedCalcPtr(1, 1, kRows, formula, Q7_TYPE_STRING, addrs, need, area.data()), 0);
  for (int i = 0; i < kRows; ++i) {
    EXPECT_GE(addrs[i], area.data());
    EXPECT_LT(addrs[i], area.data() + need);
    EXPECT_EQ(std::string(addrs[i]), want[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(std::string(area.data() + need, 16), std::string(16, '#'));

  std::vector<char> small(need + 16, '#');
  EXPECT_EQ(table_->MppIntegratedCalcPtr(1, 1, kRows, formula, Q7_TYPE_STRING, addrs, need - 1, small.data()),
            static_cast<int>(Q7_ERROR_CALC_OUTPUT_OVERFLOW));
  EXPECT_EQ(std::string(small.data(), small.size()), std::string(small.size(), '#')) << "nothing written";
  EXPECT_EQ(ICalc, nullptr);

  // A type the calculator does not produce, and a refused formula.
  EXPECT_EQ(table_->MppIntegratedCalcPtr(1, 1, kRows, "1", Q7_TYPE_DATE, dbls, sizeof dbls, nullptr),
            static_cast<int>(Q7_ERROR_INNER_ENGINE));
  EXPECT_EQ(table_->MppIntegratedCalcPtr(1, 1, kRows, "", Q7_TYPE_DOUBLE, dbls, sizeof dbls, nullptr),
            kSyntax);
}

}  // namespace
