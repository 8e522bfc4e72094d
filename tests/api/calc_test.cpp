// Calculations as a host sees them: which of the two formula languages answers, what reaches the
// host's message buffer (or pointer), the refusals and their ring entries, and results delivered
// into the host's memory. The calculators' own arithmetic is pinned at the calc layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::CellText;
using q7host::DrainRing;
using q7host::kDoubleNull;
using q7host::kIntNull;
using q7host::RingEntry;

constexpr int kAllRows = q7host::kAllRowsSet;
constexpr int kRows = 5;
constexpr int kMessageSize = 512;

class CalcApi : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    table_ = q7host::AddTable("shop", kRows);
    ASSERT_GT(table_, 0);
    ASSERT_GT(q7host::AddDoubleColumn(table_, "price", {1.5, 2.0, kDoubleNull, 4.0, 10.0}), 0);
    ASSERT_GT(q7host::AddIntColumn(table_, "qty", {2, 3, 4, kIntNull, 0}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(table_, "tax", {0.5, 0.25, 1.0, 1.0, 2.0}), 0);
    ASSERT_GT(q7host::AddStringColumn(table_, "name", {"ab", "", "cd", "ef", "g"}), 0);
    DrainRing();
  }
  void TearDown() override { RQ7ClearDB(); }

  // A new filter of the type with NULL in every row; its ID.
  int Target(const char* name, int type) {
    const int filter = RQ7AddRealFilter2(table_, q7host::kAppendPosition, name, type, kRows, 0, "", "");
    EXPECT_GT(filter, 0) << name;
    return filter;
  }
  std::vector<std::string> Cells(int filter) {
    std::vector<std::string> cells;
    for (int row = 1; row <= kRows; ++row) cells.push_back(CellText(table_, filter, row));
    return cells;
  }

  int table_ = 0;
};

const std::vector<std::string> kAllNull(kRows, "NULL");

struct FillCase {
  const char* formula;
  int type;
  int from;
  int count;
  std::vector<std::string> want;
};

// The first language: NULL operands and division by zero give NULL rows; rows outside the range
// keep their values.
const FillCase kFourOperations[] = {
    {"@price*@qty+@tax", Q7_TYPE_DOUBLE, 1, 5, {"3.5", "6.25", "NULL", "NULL", "2"}},
    {"@price*@qty+@tax", Q7_TYPE_INTEGER, 1, 5, {"4", "6", "NULL", "NULL", "2"}},
    {"(@price+@tax)/@qty", Q7_TYPE_DOUBLE, 1, 5, {"1", "0.75", "NULL", "NULL", "NULL"}},
    {"@price*@qty+@tax", Q7_TYPE_DOUBLE, 2, 2, {"NULL", "6.25", "NULL", "NULL", "NULL"}},
};

TEST_F(CalcApi, FourOperationFormulaFillsTheRange) {
  int n = 0;
  for (const FillCase& c : kFourOperations) {
    SCOPED_TRACE(std::string(c.formula) + " type " + std::to_string(c.type) + " from " +
                 std::to_string(c.from));
    const int target = Target(("total" + std::to_string(n++)).c_str(), c.type);
    char message[kMessageSize];
    memset(message, 'x', sizeof message);
    EXPECT_EQ(RQ7CalcReal(table_, kAllRows, target, c.from, c.count, c.formula, message), 0);
    EXPECT_STREQ(message, "");
    EXPECT_EQ(Cells(target), c.want);
    EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  }
}

// Formulas the first language refuses go to the function-call language; its success empties the
// first language's complaint (the message) and returns 0. A STRING target is refused by the first
// language whatever the formula.
TEST_F(CalcApi, FunctionCallFormulaReturnsZeroAndAnEmptyMessage) {
  const FillCase cases[] = {
      {"+(@price,1)", Q7_TYPE_DOUBLE, 1, 2, {"2.5", "3", "NULL", "NULL", "NULL"}},
      {"IF(>(@qty,2),@qty,0)", Q7_TYPE_INTEGER, 1, 3, {"0", "3", "4", "NULL", "NULL"}},
      {"$UPPER($@name)", Q7_TYPE_STRING, 3, 2, {"", "", "CD", "EF", ""}},
  };
  int n = 0;
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.formula);
    const int target = Target(("f" + std::to_string(n++)).c_str(), c.type);
    char message[kMessageSize];
    memset(message, 'x', sizeof message);
    EXPECT_EQ(RQ7CalcReal(table_, kAllRows, target, c.from, c.count, c.formula, message), 0);
    EXPECT_STREQ(message, "");
    EXPECT_EQ(Cells(target), c.want);
    // The plain mirror hands out a pointer: null once the second language has answered.
    char* pointer = message;
    EXPECT_EQ(Q7CalcReal(table_, kAllRows, target, c.from, c.count, c.formula, &pointer), 0);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(Cells(target), c.want);
    DrainRing();
  }
}

struct SyntaxCase {
  const char* formula;
  int code;
  const char* message;
};

// Both languages refuse: the second's code, the first's reason.
const SyntaxCase kSyntax[] = {
    {"@pirce*2", Q7_ERROR_NO_SUCH_FILTER, "NO SUCH FILTER: pirce"},
    {"@price*1x", Q7_ERROR_NO_SUCH_FILTER, "NOT A NUMBER: 1x"},
    {"(@price", Q7_ERROR_CALC_SYNTAX, ""},
};

TEST_F(CalcApi, RefusedFormulaGivesTheCodeAndTheReason) {
  const int target = Target("total", Q7_TYPE_DOUBLE);
  for (const SyntaxCase& c : kSyntax) {
    SCOPED_TRACE(c.formula);
    char message[kMessageSize];
    memset(message, 'x', sizeof message);
    EXPECT_EQ(RQ7CalcReal(table_, kAllRows, target, 1, kRows, c.formula, message), c.code);
    EXPECT_STREQ(message, c.message);
    std::vector<RingEntry> ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back(), (RingEntry{"RQ7CalcReal", c.code, ""}));

    // No place for the message: the same code.
    EXPECT_EQ(RQ7CalcReal(table_, kAllRows, target, 1, kRows, c.formula, nullptr), c.code);

    // The mirror points at the engine's text and records the failure as its own.
    char* pointer = nullptr;
    EXPECT_EQ(Q7CalcReal(table_, kAllRows, target, 1, kRows, c.formula, &pointer), c.code);
    ASSERT_NE(pointer, nullptr);
    EXPECT_STREQ(pointer, c.message);
    ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back(), (RingEntry{"Q7CalcReal", c.code, "return of inner call"}));
    EXPECT_EQ(Cells(target), kAllNull);
  }
}

// The frame with the result check adds an entry with an empty message to the operation's own;
// the plain mirror adds none. The lookup's own "GetTable" entry comes first.
TEST_F(CalcApi, RefusedCallsLeaveTheirEntries) {
  const int target = Target("total", Q7_TYPE_DOUBLE);
  char message[kMessageSize] = "";
  double out[kRows];
  char* pointer = nullptr;
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::vector<RingEntry> tail;  // the last entries of the ring
  };
  const RingEntry no_table{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"};
  const Case cases[] = {
      {"RQ7CalcReal, no table",
       [&] { return RQ7CalcReal(99, kAllRows, target, 1, kRows, "@price", message); },
       Q7_ERROR_NO_SUCH_TABLE,
       {no_table,
        {"RQ7CalcReal", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {"RQ7CalcReal", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"RQ7CalcPtr, no table",
       [&] { return RQ7CalcPtr(99, kAllRows, 1, kRows, "@price", Q7_TYPE_DOUBLE, out, 0, nullptr, message); },
       Q7_ERROR_NO_SUCH_TABLE,
       {no_table,
        {"RQ7CalcPtr", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {"RQ7CalcPtr", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"Q7CalcReal, no table",
       [&] { return Q7CalcReal(99, kAllRows, target, 1, kRows, "@price", &pointer); },
       Q7_ERROR_NO_SUCH_TABLE,
       {no_table, {"Q7CalcReal", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}},
      {"RQ7CalcReal, no formula",
       [&] { return RQ7CalcReal(table_, kAllRows, target, 1, kRows, nullptr, message); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7CalcReal", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Formula"},
        {"RQ7CalcReal", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"Q7CalcReal, no formula",
       [&] { return Q7CalcReal(table_, kAllRows, target, 1, kRows, nullptr, &pointer); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7CalcReal", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Formula"}}},
      {"RQ7CalcPtr, no result area",
       [&] {
         return RQ7CalcPtr(table_, kAllRows, 1, kRows, "@price", Q7_TYPE_DOUBLE, nullptr, 0, nullptr,
                           message);
       },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7CalcPtr", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Data"},
        {"RQ7CalcPtr", Q7_ERROR_INVALID_PARAMETER, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    const std::vector<RingEntry> ring = DrainRing();
    ASSERT_GE(ring.size(), c.tail.size());
    EXPECT_EQ(std::vector<RingEntry>(ring.end() - static_cast<long>(c.tail.size()), ring.end()), c.tail);
  }
  EXPECT_EQ(Cells(target), kAllNull);
}

// The results go to the host's memory in the type it asks for; the table keeps no trace.
TEST_F(CalcApi, PointerFormDeliversEachType) {
  const char* formula = "@price*@qty+@tax";
  char message[kMessageSize];
  const int filters = RQ7GetNFilter(table_);

  int32_t ints[2] = {0, 0};
  EXPECT_EQ(RQ7CalcPtr(table_, kAllRows, 1, 2, formula, Q7_TYPE_INTEGER, ints, 0, nullptr, message), 0);
  EXPECT_EQ(std::vector<int32_t>(ints, ints + 2), (std::vector<int32_t>{4, 6}));

  double doubles[3] = {0, 0, 0};
  EXPECT_EQ(RQ7CalcPtr(table_, kAllRows, 1, 3, formula, Q7_TYPE_DOUBLE, doubles, 0, nullptr, message), 0);
  EXPECT_EQ(std::vector<double>(doubles, doubles + 3), (std::vector<double>{3.5, 6.25, kDoubleNull}));

  // Decimals at scale 6.
  Numeric decimals[2] = {};
  EXPECT_EQ(RQ7CalcPtr(table_, kAllRows, 1, 2, formula, Q7_TYPE_DECIMAL, decimals, 0, nullptr, message), 0);
  EXPECT_TRUE(q7host::SameDecimal(decimals[0], q7host::Decimal(3500000)));
  EXPECT_TRUE(q7host::SameDecimal(decimals[1], q7host::Decimal(6250000)));

  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  // Texts are packed into the area, each row's address pointing into it. (The first language
  // refuses the type, with its own entry.)
  char area[64];
  memset(area, 'x', sizeof area);
  char* texts[2] = {nullptr, nullptr};
  memset(message, 'x', sizeof message);
  EXPECT_EQ(
      RQ7CalcPtr(table_, kAllRows, 3, 2, "$UPPER($@name)", Q7_TYPE_STRING, texts, sizeof area, area, message),
      0);
  EXPECT_STREQ(message, "");
  for (char* text : texts) {
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text >= area && text < area + sizeof area);
  }
  EXPECT_STREQ(texts[0], "CD");
  EXPECT_STREQ(texts[1], "EF");

  EXPECT_EQ(RQ7GetNFilter(table_), filters);
  DrainRing();
}

// A small write into a larger table leaves its new values pending beside the value list; every
// road reads them as written.
TEST_F(CalcApi, ValuesWrittenJustBeforeAreRead) {
  constexpr int kBig = 300;
  const int big = q7host::AddTable("big", kBig);
  std::vector<int32_t> values(kBig);
  for (int i = 0; i < kBig; ++i) values[static_cast<size_t>(i)] = i + 1;
  const int a = q7host::AddIntColumn(big, "a", values);
  ASSERT_GT(a, 0);
  const int target = RQ7AddRealFilter2(big, q7host::kAppendPosition, "r", Q7_TYPE_INTEGER, kBig, 0, "", "");
  ASSERT_GT(target, 0);
  char message[kMessageSize];
  char* pointer = nullptr;
  int32_t out[kBig];
  const std::function<int()> roads[] = {
      [&] { return Q7CalcReal(big, kAllRows, target, 1, kBig, "@a*2", &pointer); },
      [&] { return RQ7CalcReal(big, kAllRows, target, 1, kBig, "@a*2", message); },
      [&] {
        const int rc = RQ7CalcPtr(big, kAllRows, 1, kBig, "@a*2", Q7_TYPE_INTEGER, out, 0, nullptr, message);
        return rc != 0 ? rc : RQ7OverwriteRealEx(big, kAllRows, target, 1, kBig, out) - kBig;
      },
  };
  int32_t next = 5000;
  for (size_t road = 0; road < std::size(roads); ++road) {
    SCOPED_TRACE(road);
    const int32_t fresh[] = {next, next + 1};
    ASSERT_EQ(RQ7OverwriteRealEx(big, kAllRows, a, 7, 2, const_cast<int32_t*>(fresh)), 2);
    EXPECT_EQ(roads[road](), 0);
    EXPECT_EQ(CellText(big, target, 7), std::to_string(2 * next));
    EXPECT_EQ(CellText(big, target, 8), std::to_string(2 * next + 2));
    EXPECT_EQ(CellText(big, target, 9), "18");
    next += 10;
  }
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

// "CD" and "EF" need six bytes with their terminating zeros: a smaller area is refused, and nothing
// is written past it.
TEST_F(CalcApi, PointerFormRefusesAStringAreaTooSmall) {
  char message[kMessageSize];
  for (unsigned long size : {0ul, 3ul, 5ul}) {
    SCOPED_TRACE(size);
    char area[16];
    memset(area, 'x', sizeof area);
    char* texts[2] = {nullptr, nullptr};
    EXPECT_EQ(
        RQ7CalcPtr(table_, kAllRows, 3, 2, "$UPPER($@name)", Q7_TYPE_STRING, texts, size, area, message),
        Q7_ERROR_CALC_OUTPUT_OVERFLOW);
    for (size_t i = size; i < sizeof area; ++i) EXPECT_EQ(area[i], 'x') << i;
    std::vector<RingEntry> ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back(), (RingEntry{"RQ7CalcPtr", Q7_ERROR_CALC_OUTPUT_OVERFLOW, ""}));
  }
  // Without an area nothing fits.
  char* texts[2] = {nullptr, nullptr};
  EXPECT_EQ(RQ7CalcPtr(table_, kAllRows, 3, 2, "$UPPER($@name)", Q7_TYPE_STRING, texts, 64, nullptr, message),
            Q7_ERROR_CALC_OUTPUT_OVERFLOW);
  DrainRing();
}

// A decimal result beyond the INTEGER range is NULL in both languages, never a wrapped or zero
// number; in range it is rounded by the decimal's own mode.
TEST_F(CalcApi, DecimalBeyondTheIntegerRangeStoresNull) {
  // 100.01, 1.5 and -21474836.47 at scale 2.
  ASSERT_GT(q7host::AddDecimalColumn(table_, "n",
                                     {q7host::Decimal(10001), q7host::Decimal(150),
                                      q7host::Decimal(-2147483647), q7host::kDecimalNull, q7host::Decimal(0)},
                                     2),
            0);
  DrainRing();
  const FillCase cases[] = {
      {"@n*100000000", Q7_TYPE_INTEGER, 1, 5, {"NULL", "150000000", "NULL", "NULL", "0"}},
      {"*(@n,100000000)", Q7_TYPE_INTEGER, 1, 5, {"NULL", "150000000", "NULL", "NULL", "0"}},
      {"@n*100", Q7_TYPE_INTEGER, 1, 5, {"10001", "150", "-2147483647", "NULL", "0"}},
      {"@n+0", Q7_TYPE_INTEGER, 1, 5, {"100", "2", "-21474836", "NULL", "0"}},
  };
  int n = 0;
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.formula);
    const int target = Target(("i" + std::to_string(n++)).c_str(), c.type);
    char message[kMessageSize];
    EXPECT_EQ(RQ7CalcReal(table_, kAllRows, target, c.from, c.count, c.formula, message), 0);
    EXPECT_EQ(Cells(target), c.want);
  }
  DrainRing();
}

// Decimal-mode constants the decimal reader cannot hold, or reads only in part, are refused by
// both languages with the reason; the target stays untouched.
TEST_F(CalcApi, DecimalConstantsThatDoNotFitAreRefusedByBothLanguages) {
  ASSERT_GT(q7host::AddDecimalColumn(table_, "n", std::vector<Numeric>(kRows, q7host::Decimal(1)), 2), 0);
  const int target = Target("total", Q7_TYPE_DOUBLE);
  const int integer = Target("whole", Q7_TYPE_INTEGER);
  DrainRing();
  const std::string huge(42, '9');
  const std::string constants[] = {"1e50", huge, "0x10"};
  for (const std::string& k : constants) {
    for (int filter : {target, integer}) {
      // The message is the first language's reason: for the function-call form, its complaint
      // about the unfamiliar syntax.
      const struct {
        std::string formula;
        int code;
        std::string message;
      } forms[] = {{"@n+" + k, Q7_ERROR_NO_SUCH_FILTER, "NOT A NUMBER: " + k},
                   {"+(@n," + k + ")", Q7_ERROR_CALC_SYNTAX, "NO SUCH FILTER: n," + k}};
      for (const auto& f : forms) {
        SCOPED_TRACE(f.formula + " into filter " + std::to_string(filter));
        char message[kMessageSize];
        memset(message, 'x', sizeof message);
        EXPECT_EQ(RQ7CalcReal(table_, kAllRows, filter, 1, kRows, f.formula.c_str(), message), f.code);
        EXPECT_EQ(message, f.message);
        EXPECT_EQ(Cells(filter), kAllNull);
        DrainRing();
      }
    }
  }
}

}  // namespace
