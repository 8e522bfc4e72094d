// The value-returning calls (R1) and the stubs, driven through the header alone: each failure value
// (0x80000000, minus infinity, the one empty text), the text buffer that all text results share,
// block reads at their limits, and the character-code checks reached through the R1 searches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::ReadSet;
using q7host::RingEntry;
using Rows = std::vector<int>;

constexpr int kNoTable = 99;
const double kMinusInfinity = -HUGE_VAL;

class ValueReturningApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    table_ = q7host::AddTable("values", 4);
    ASSERT_GT(table_, 0);
    int_ = q7host::AddIntColumn(table_, "n", {7, kIntNull, -3, 7});
    double_ = q7host::AddDoubleColumn(table_, "x", {1.5, -0.25, q7host::kDoubleNull, 8.0});
    text_ = q7host::AddStringColumn(table_, "s", {"alpha", "", "gamma", "delta"});
    date_ = q7host::AddDoubleColumn(table_, "d",
                                    {q7host::DateSerial(2024, 2, 29), q7host::kDoubleNull,
                                     q7host::DateSerial(1999, 12, 31), q7host::DateSerial(2000, 1, 1)},
                                    Q7_TYPE_DATE);
    time_ = q7host::AddDoubleColumn(table_, "t", {0.5, 0.75, 0.0, q7host::kDoubleNull}, Q7_TYPE_TIME);
    decimal_ = q7host::AddDecimalColumn(
        table_, "m", {q7host::Decimal(12345), q7host::Decimal(-5), q7host::kDecimalNull, q7host::Decimal(0)},
        3);
    for (int f : {int_, double_, text_, date_, time_, decimal_}) ASSERT_GT(f, 0);
    // The one empty text of the R1 functions, as a host meets it.
    empty_ = RQ7GetTableNameR1(kNoTable);
    ASSERT_NE(empty_, nullptr);
    ASSERT_STREQ(empty_, "");
    DrainRing();
  }
  void TearDown() override {
    RQ7SetDBCharCode("UTF8");
    RQ7ClearDB();
    DrainRing();
  }

  int table_ = 0;
  int int_ = 0;
  int double_ = 0;
  int text_ = 0;
  int date_ = 0;
  int time_ = 0;
  int decimal_ = 0;
  const char* empty_ = nullptr;
};

TEST_F(ValueReturningApi, SingleValuesOfTheirOwnType) {
  EXPECT_EQ(RQ7GetDataIntR1(table_, int_, 1, 0), 7);
  EXPECT_EQ(RQ7GetData1IntR1(table_, int_, 1, 3), -3);
  EXPECT_EQ(RQ7GetData1IntR1(table_, 0, 1, 3), 3);  // filter 0 is the record number
  EXPECT_EQ(RQ7GetDataDblR1(table_, double_, 1, 1), -0.25);
  EXPECT_EQ(RQ7GetData1DblR1(table_, date_, 1, 1), q7host::DateSerial(2024, 2, 29));
  EXPECT_EQ(RQ7GetData1DblR1(table_, time_, 1, 2), 0.75);
  EXPECT_STREQ(RQ7GetDataStrR1(table_, text_, 1, 2), "gamma");
  EXPECT_STREQ(RQ7GetData1StrR1(table_, text_, 1, 4), "delta");
  // Stored NULLs come back as the type's NULL.
  EXPECT_EQ(RQ7GetData1IntR1(table_, int_, 1, 2), kIntNull);
  EXPECT_EQ(RQ7GetData1DblR1(table_, double_, 1, 3), kMinusInfinity);

  Numeric value = {};
  EXPECT_GE(RQ7GetDataNumericR1(table_, decimal_, 1, 0, &value), 0);
  EXPECT_TRUE(q7host::SameDecimal(value, q7host::Decimal(12345)));
  EXPECT_GE(RQ7GetData1NumericR1(table_, decimal_, 1, 2, &value), 0);
  EXPECT_TRUE(q7host::SameDecimal(value, q7host::Decimal(-5)));
  NumericInfo info = {};
  EXPECT_EQ(RQ7GetNumericInfoR1(table_, decimal_, &info), 0);
  EXPECT_EQ(info.scale, 3);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(ValueReturningApi, EveryFailureGivesItsTypesNull) {
  const int columns[] = {int_, double_, text_, date_};
  // The integer getters refuse every other type, and a read that fails.
  struct IntCase {
    const char* name;
    int table;
    int filter;
    int pos;
  };
  const IntCase int_cases[] = {
      {"double filter", table_, columns[1], 1},
      {"text filter", table_, columns[2], 1},
      {"date filter", table_, columns[3], 1},
      {"no table", kNoTable, columns[0], 1},
      {"no filter", table_, 77, 1},
      {"row beyond the set", table_, columns[0], 5},
  };
  for (const IntCase& c : int_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RQ7GetData1IntR1(c.table, c.filter, 1, c.pos), kIntNull);
    EXPECT_EQ(static_cast<uint32_t>(RQ7GetDataIntR1(c.table, c.filter, 1, c.pos - 1)), 0x80000000u);
  }
  struct DoubleCase {
    const char* name;
    int table;
    int filter;
    int pos;
  };
  const DoubleCase double_cases[] = {
      {"int filter", table_, columns[0], 1},   {"text filter", table_, columns[2], 1},
      {"decimal filter", table_, decimal_, 1}, {"no table", kNoTable, columns[1], 1},
      {"row 0", table_, columns[1], 0},
  };
  for (const DoubleCase& c : double_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RQ7GetData1DblR1(c.table, c.filter, 1, c.pos), kMinusInfinity);
  }
  EXPECT_EQ(RQ7GetDataDblR1(table_, int_, 1, 0), kMinusInfinity);
  // Text getters: the one empty text, never the text buffer.
  const char* buffer = RQ7GetData1StrR1(table_, text_, 1, 1);
  ASSERT_STREQ(buffer, "alpha");
  EXPECT_EQ(RQ7GetData1StrR1(table_, int_, 1, 1), empty_);
  EXPECT_EQ(RQ7GetDataStrR1(kNoTable, text_, 1, 0), empty_);
  EXPECT_EQ(RQ7GetDataStrR1(table_, text_, 1, 9), empty_);
  EXPECT_STREQ(buffer, "");  // the buffer was emptied too
  EXPECT_EQ(RQ7GetFilterNameR1(table_, 77), empty_);
  EXPECT_EQ(RQ7GetFilterNameR1(kNoTable, 1), empty_);
  EXPECT_EQ(RQ7GetSetNameR1(kNoTable, 1), empty_);
  EXPECT_EQ(RQ7GetSetNameR1(table_, 77), empty_);
  EXPECT_EQ(RQ7GenerateTableNameR1(""), empty_);
  EXPECT_EQ(RQ7Str2DateR1("no date"), kMinusInfinity);
  EXPECT_EQ(RQ7Str2DateR1(nullptr), kMinusInfinity);
  EXPECT_EQ(RQ7Str2TimeR1(""), kMinusInfinity);
  // Decimal reads: -1 for a missing table (no ring entry of the frame), the read's code otherwise.
  DrainRing();
  Numeric value = q7host::Decimal(42);
  EXPECT_EQ(RQ7GetDataNumericR1(kNoTable, decimal_, 1, 0, &value), -1);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  EXPECT_EQ(RQ7GetData1NumericR1(table_, decimal_, 1, 9, &value), Q7_ERROR_NO_SUCH_SET);
  EXPECT_TRUE(q7host::SameDecimal(value, q7host::Decimal(42)));
  EXPECT_GE(RQ7GetDataNumericR1(table_, int_, 1, 0, &value), 0);  // another type: left alone
  EXPECT_TRUE(q7host::SameDecimal(value, q7host::Decimal(42)));
  // The lock was released on every path: ordinary calls proceed.
  EXPECT_EQ(RQ7GetTotalRows(table_), 4);
}

TEST_F(ValueReturningApi, LockingKindsLeaveNoRingEntryOfTheirOwn) {
  EXPECT_EQ(RQ7GetTableNameR1(kNoTable), empty_);
  EXPECT_EQ(RQ7GetFilterNameR1(kNoTable, 1), empty_);
  EXPECT_EQ(RQ7GetSetNameR1(kNoTable, 1), empty_);
  Numeric value = {};
  EXPECT_EQ(RQ7GetDataNumericR1(kNoTable, decimal_, 1, 0, &value), -1);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  // The delegating kinds leave what the RQ7 function they call leaves.
  EXPECT_EQ(RQ7GetData1IntR1(kNoTable, int_, 1, 1), kIntNull);
  int code = 0;
  int type = 0;
  EXPECT_EQ(RQ7GetData1(kNoTable, int_, 1, 1, &type, &code), Q7_ERROR_NO_SUCH_TABLE);
  const std::vector<RingEntry> once = DrainRing();
  ASSERT_FALSE(once.empty());
  ASSERT_EQ(once.size() % 2, 0u);
  EXPECT_EQ(std::vector<RingEntry>(once.begin(), once.begin() + once.size() / 2),
            std::vector<RingEntry>(once.begin() + once.size() / 2, once.end()));
}

TEST_F(ValueReturningApi, TextResultsShareOneBuffer) {
  const char* first = RQ7Double2DateStrR1(q7host::DateSerial(2024, 2, 29));
  ASSERT_STREQ(first, "2024/02/29");
  const char* second = RQ7Double2DateStrR1(q7host::DateSerial(1999, 12, 31));
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "1999/12/31");
  // Every text result is the same buffer, whichever call filled it.
  EXPECT_EQ(RQ7GetData1StrR1(table_, text_, 1, 3), first);
  EXPECT_STREQ(first, "gamma");
  EXPECT_EQ(RQ7Double2TimeStrR1(0.5), first);
  EXPECT_STREQ(first, "12:00:00");
  EXPECT_STREQ(RQ7Double2DateTimeStrR1(q7host::DateSerial(2000, 1, 1) + 0.75), "2000/01/01 18:00:00");
  EXPECT_STREQ(RQ7Double2DateStrR1(kMinusInfinity), "");
  const Numeric x = q7host::Decimal(-123456);
  const NumericInfo info = {3, Q7_ROUND_HALF_UP};
  EXPECT_STREQ(RQ7NumericNum2StrR1(&x, &info, 0, 3), "-123.456");
  EXPECT_EQ(RQ7NumericNum2StrR1(&x, &info, 0, 3), first);
  // Names are the engine's own texts, not the buffer.
  EXPECT_NE(RQ7GetTableNameR1(table_), first);
}

TEST_F(ValueReturningApi, TextConversionsReadDatesAndTimes) {
  EXPECT_EQ(RQ7Str2DateR1("2024/02/29"), q7host::DateSerial(2024, 2, 29));
  EXPECT_EQ(RQ7Str2DateR1("2000-01-01"), q7host::DateSerial(2000, 1, 1));
  EXPECT_EQ(RQ7Str2TimeR1("18:00:00"), 0.75);
  EXPECT_EQ(RQ7Str2DateTimeR1("2000/01/01 12:00"), q7host::DateSerial(2000, 1, 1) + 0.5);
}

TEST_F(ValueReturningApi, AnyValueAsText) {
  struct Case {
    int filter;
    int row;
    const char* want;
  };
  const Case cases[] = {
      {int_, 1, "7"},           {int_, 3, "-3"}, {double_, 1, "1.500000"}, {text_, 4, "delta"},
      {date_, 1, "2024/02/29"}, {date_, 2, ""},  {time_, 2, "18:00:00"},   {decimal_, 1, "12.345"},
      {decimal_, 2, "-0.005"},  {0, 4, "4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.filter) + "/" + std::to_string(c.row));
    EXPECT_STREQ(RQ7GetData1Cnv2StrR1(table_, c.filter, 1, c.row), c.want);
  }
  // A failed read gives the emptied buffer itself.
  const char* buffer = RQ7GetData1Cnv2StrR1(table_, int_, 1, 1);
  EXPECT_EQ(RQ7GetData1Cnv2StrR1(table_, int_, 1, 99), buffer);
  EXPECT_STREQ(buffer, "");
}

TEST_F(ValueReturningApi, NamesPointIntoTheEngine) {
  EXPECT_STREQ(RQ7GetTableNameR1(table_), "values");
  EXPECT_STREQ(RQ7GetFilterNameR1(table_, text_), "s");
  EXPECT_STREQ(RQ7GetFilterNameR1(table_, 0), "");
  ASSERT_EQ(RQ7SetSetName(table_, 1, "everything"), 0);
  const char* set_name = RQ7GetSetNameR1(table_, 1);
  EXPECT_STREQ(set_name, "everything");
  // The pointer follows the object: renaming shows through it.
  ASSERT_EQ(RQ7SetSetName(table_, 1, "all"), 0);
  EXPECT_STREQ(set_name, "all");
  EXPECT_STREQ(RQ7GenerateTableNameR1("fresh"), "fresh");
  const std::string taken = RQ7GenTableNameR1("values");
  EXPECT_NE(taken, "values");
  EXPECT_EQ(taken.rfind("values", 0), 0u) << taken;

  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(RQ7SaveDBAs(dir.path().c_str(), "r1db"), 0);
  const char* path = RQ7GetDBPathR1();
  const char* name = RQ7GetDBNameR1();
  char want_path[512] = {};
  char want_name[512] = {};
  ASSERT_EQ(RQ7GetPathName(want_path, want_name), 0);
  EXPECT_STREQ(path, want_path);
  EXPECT_STREQ(name, want_name);
  EXPECT_NE(std::string(name).find("r1db"), std::string::npos);
}

TEST_F(ValueReturningApi, VersionAndCopyright) {
  int versions[4] = {};
  EXPECT_EQ(RQ7GetVersionR1(versions), 0);
  int want[4] = {};
  char copyright[512] = {};
  ASSERT_EQ(RQ7GetVersion(want, copyright), 0);
  EXPECT_EQ(std::vector<int>(versions, versions + 4), std::vector<int>(want, want + 4));
  EXPECT_STREQ(RQ7GetCopyRightR1(), copyright);
  EXPECT_GT(strlen(copyright), 0u);
}

TEST_F(ValueReturningApi, SearchesWithValuesPassedByValue) {
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldIntR1(table_, int_, 1, 0, 7, 0)), (Rows{1, 4}));
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldDblR1(table_, double_, 1, 1, -1.0, 2.0)), (Rows{1, 2}));
  char from[] = "delta";
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldStrR1(table_, text_, 1, 3, from, nullptr)), (Rows{3, 4}));
  Numeric low = q7host::Decimal(-5);
  Numeric high = q7host::Decimal(0);
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldNumericR1(table_, decimal_, 1, 1, &low, &high)), (Rows{2, 4}));
  // A failure is the code of the search, with its ring entries.
  EXPECT_EQ(RQ7SearchByFieldIntR1(kNoTable, int_, 1, 0, 7, 0), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_FALSE(DrainRing().empty());
}

// Each R1 search reads its bounds as the one kind of value it takes: on a filter that stores
// another kind the bound would be read past its end or as a different value, so it is refused.
TEST_F(ValueReturningApi, R1SearchBoundsMustFitTheFilter) {
  char two[] = "2";
  Numeric zero = q7host::Decimal(0);
  struct Case {
    const char* name;
    std::function<int()> search;
    const char* message;
  };
  const char* kType = "Illegal data type";
  const char* kNotString = "Illegal data type ( Not STRING )";
  const Case cases[] = {
      {"int on double", [&] { return RQ7SearchByFieldIntR1(table_, double_, 1, 1, 0, 9); }, kType},
      {"int on decimal", [&] { return RQ7SearchByFieldIntR1(table_, decimal_, 1, 0, 7, 0); }, kType},
      {"int on text", [&] { return RQ7SearchByFieldIntR1(table_, text_, 1, 0, 7, 0); }, kType},
      {"int on date", [&] { return RQ7SearchByFieldIntR1(table_, date_, 1, 3, 7, 0); }, kType},
      {"double on int", [&] { return RQ7SearchByFieldDblR1(table_, int_, 1, 0, 7.0, 0); }, kType},
      {"double on decimal", [&] { return RQ7SearchByFieldDblR1(table_, decimal_, 1, 3, 0, 0); }, kType},
      {"double on text", [&] { return RQ7SearchByFieldDblR1(table_, text_, 1, 0, 1.5, 0); }, kType},
      {"text on int", [&] { return RQ7SearchByFieldStrR1(table_, int_, 1, 3, two, nullptr); }, kNotString},
      {"text on time", [&] { return RQ7SearchByFieldStrR1(table_, time_, 1, 3, two, nullptr); }, kNotString},
      {"decimal on int", [&] { return RQ7SearchByFieldNumericR1(table_, int_, 1, 1, &zero, &zero); }, kType},
      {"decimal on text", [&] { return RQ7SearchByFieldNumericR1(table_, text_, 1, 0, &zero, nullptr); },
       kType},
  };
  const int current = RQ7GetCurrentSetID(table_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.search(), Q7_ERROR_INVALID_DATA_TYPE);
    EXPECT_EQ(DrainRing(),
              (std::vector<RingEntry>{{"Q7SearchByField", Q7_ERROR_INVALID_DATA_TYPE, c.message}}));
    EXPECT_EQ(RQ7GetCurrentSetID(table_), current);  // no set was made
  }
  // Dates and times are doubles: the double form searches them.
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldDblR1(table_, date_, 1, 7, q7host::DateSerial(2000, 1, 1), 0)),
            (Rows{1}));
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldDblR1(table_, time_, 1, 0, 0.75, 0)), (Rows{2}));
  // A missing filter is still the search's own refusal.
  EXPECT_EQ(RQ7SearchByFieldIntR1(table_, 77, 1, 0, 7, 0), Q7_ERROR_NO_SUCH_FILTER);
  const std::vector<RingEntry> ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"Q7SearchByField", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 77"}));
}

TEST_F(ValueReturningApi, DecimalReadOfTheSmallestRowIsNoRow) {
  Numeric value = q7host::Decimal(99);
  for (int row : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(RQ7GetData1NumericR1(table_, decimal_, 1, row, &value), Q7_ERROR_NO_SUCH_SET);
    EXPECT_TRUE(q7host::SameDecimal(value, q7host::Decimal(99)));
  }
  DrainRing();
}

TEST_F(ValueReturningApi, CharacterCodeChecksOfTheR1Searches) {
  char alpha[] = "alpha";
  EXPECT_EQ(RQ7SearchByFieldSJISR1(table_, text_, 1, 0, alpha, nullptr), Q7_ERROR_CHAR_CODE_MISMATCH);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7SearchByFieldSJIS", Q7_ERROR_CHAR_CODE_MISMATCH,
                                                  "Not equal to WS DBCharCode"}}));
  EXPECT_EQ(RQ7SearchByFieldLocaleR1(table_, text_, 1, 0, alpha, nullptr, 0), Q7_ERROR_CHAR_CODE_MISMATCH);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7SearchByFieldLocale", Q7_ERROR_CHAR_CODE_MISMATCH,
                                                  "Invalid Parameter : LocaleID"}}));
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldLocaleR1(table_, text_, 1, 0, alpha, nullptr, 99)), (Rows{1}));
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldLocaleR1(table_, text_, 1, 0, alpha, nullptr, 3)), (Rows{1}));
  ASSERT_EQ(RQ7SetDBCharCode("Shift_JIS"), 0);
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldSJISR1(table_, text_, 1, 0, alpha, nullptr)), (Rows{1}));
  EXPECT_EQ(RQ7SearchByFieldLocaleR1(table_, text_, 1, 0, alpha, nullptr, 3), Q7_ERROR_CHAR_CODE_MISMATCH);
  EXPECT_EQ(DrainRing().size(), 1u);
}

TEST_F(ValueReturningApi, OverwriteAndFillByValue) {
  EXPECT_EQ(RQ7OverwriteRealExIntR1(table_, 1, int_, 2, 11), 1);
  EXPECT_EQ(RQ7GetData1IntR1(table_, int_, 1, 2), 11);
  EXPECT_EQ(RQ7GetData1IntR1(table_, int_, 1, 3), -3);  // only the one row
  EXPECT_EQ(RQ7OverwriteRealExDblR1(table_, 1, double_, 3, 2.75), 1);
  EXPECT_EQ(RQ7GetData1DblR1(table_, double_, 1, 3), 2.75);
  EXPECT_EQ(RQ7OverwriteRealExStrR1(table_, 1, text_, 2, "beta"), 1);
  EXPECT_STREQ(RQ7GetData1StrR1(table_, text_, 1, 2), "beta");
  Numeric m = q7host::Decimal(777);
  EXPECT_EQ(RQ7OverwriteRealExNumericR1(table_, 1, decimal_, 3, &m), 1);
  Numeric back = {};
  ASSERT_GE(RQ7GetData1NumericR1(table_, decimal_, 1, 3, &back), 0);
  EXPECT_TRUE(q7host::SameDecimal(back, m));

  EXPECT_GE(RQ7FillRealExIntR1(table_, 1, int_, 2, 2, 5), 0);
  EXPECT_EQ((std::vector<int>{RQ7GetData1IntR1(table_, int_, 1, 1), RQ7GetData1IntR1(table_, int_, 1, 2),
                              RQ7GetData1IntR1(table_, int_, 1, 3), RQ7GetData1IntR1(table_, int_, 1, 4)}),
            (std::vector<int>{7, 5, 5, 7}));
  EXPECT_GE(RQ7FillRealExDblR1(table_, 1, double_, 1, 4, 0.125), 0);
  EXPECT_EQ(RQ7GetData1DblR1(table_, double_, 1, 4), 0.125);
  EXPECT_GE(RQ7FillRealExStrR1(table_, 1, text_, 3, 2, "zz"), 0);
  EXPECT_STREQ(RQ7GetData1StrR1(table_, text_, 1, 4), "zz");
  EXPECT_STREQ(RQ7GetData1StrR1(table_, text_, 1, 1), "alpha");
  EXPECT_GE(RQ7FillRealExNumericR1(table_, 1, decimal_, 1, 1, &m), 0);
  ASSERT_GE(RQ7GetData1NumericR1(table_, decimal_, 1, 1, &back), 0);
  EXPECT_TRUE(q7host::SameDecimal(back, m));
  // Refusals pass the RQ7 function's code through.
  EXPECT_EQ(RQ7OverwriteRealExIntR1(kNoTable, 1, int_, 1, 1), Q7_ERROR_NO_SUCH_TABLE);
}

// The same rule for the values the R1 writes take: a value of another kind would be read past its
// end (an int into a double filter) or as an address (a double into a string filter).
TEST_F(ValueReturningApi, R1WritesRefuseAValueOfAnotherKind) {
  Numeric m = q7host::Decimal(1);
  struct Case {
    const char* name;
    int filter;
    std::function<int()> write;
    RingEntry entry;
  };
  const RingEntry kOverwrite{"RQ7OverwriteRealEx", Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type"};
  const RingEntry kFill{"RQ7FillRealEx", Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type"};
  const RingEntry kFillText{"RQ7FillRealEx", Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type ( Not STRING )"};
  const Case cases[] = {
      {"int over double", double_, [&] { return RQ7OverwriteRealExIntR1(table_, 1, double_, 1, 7); },
       kOverwrite},
      {"double over text", text_, [&] { return RQ7OverwriteRealExDblR1(table_, 1, text_, 1, 2.5); },
       kOverwrite},
      {"decimal over text", text_, [&] { return RQ7OverwriteRealExNumericR1(table_, 1, text_, 1, &m); },
       kOverwrite},
      {"text over int",
       int_,
       [&] { return RQ7OverwriteRealExStrR1(table_, 1, int_, 1, "9"); },
       {"RQ7OverwriteRealEx", Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type ( Not STRING )"}},
      {"int fill of decimal", decimal_, [&] { return RQ7FillRealExIntR1(table_, 1, decimal_, 1, 4, 7); },
       kFill},
      {"double fill of int", int_, [&] { return RQ7FillRealExDblR1(table_, 1, int_, 1, 4, 2.5); }, kFill},
      {"text fill of date", date_, [&] { return RQ7FillRealExStrR1(table_, 1, date_, 1, 4, "x"); },
       kFillText},
      {"decimal fill of time", time_, [&] { return RQ7FillRealExNumericR1(table_, 1, time_, 1, 4, &m); },
       kFill},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> before;
    for (int row = 1; row <= 4; ++row) before.push_back(RQ7GetData1Cnv2StrR1(table_, c.filter, 1, row));
    EXPECT_EQ(c.write(), Q7_ERROR_INVALID_DATA_TYPE);
    EXPECT_EQ(DrainRing(), std::vector<RingEntry>{c.entry});
    for (int row = 1; row <= 4; ++row) {
      EXPECT_EQ(RQ7GetData1Cnv2StrR1(table_, c.filter, 1, row), before[static_cast<size_t>(row - 1)]);
    }
  }
  // Dates are doubles: the double forms write them.
  EXPECT_EQ(RQ7OverwriteRealExDblR1(table_, 1, date_, 2, q7host::DateSerial(2001, 2, 3)), 1);
  EXPECT_EQ(RQ7GetData1DblR1(table_, date_, 1, 2), q7host::DateSerial(2001, 2, 3));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(ValueReturningApi, StubsDoNothing) {
  EXPECT_EQ(RQ7Connect2ZPKServer("localhost", 1), 0);
  EXPECT_EQ(RQ7DisconnectFromZPKServer(), 0);
  EXPECT_EQ(RQ7GetNamingServiceIdentity(), 0);
  EXPECT_EQ(RQ7SetJoinCheckFlag(1), 0);
  char address[8] = "x.y.z";
  EXPECT_EQ(RQ7GetServerIPAddress(address), 0);
  EXPECT_EQ(address[0], '\0');
  EXPECT_EQ(address[1], '.');
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

// ---- Block reads ----

class ValueBlocksApi : public ::testing::Test {
 protected:
  static constexpr int kRows = 200;
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    table_ = q7host::AddTable("blocks", kRows);
    std::vector<int32_t> ints;
    std::vector<double> doubles;
    std::vector<std::string> texts;
    std::vector<Numeric> decimals;
    for (int i = 1; i <= kRows; ++i) {
      ints.push_back(i * 10);
      doubles.push_back(i + 0.5);
      texts.push_back(std::string(static_cast<size_t>(i), static_cast<char>('a' + i % 26)));
      decimals.push_back(q7host::Decimal(-i));
    }
    int_ = q7host::AddIntColumn(table_, "i", ints);
    double_ = q7host::AddDoubleColumn(table_, "d", doubles);
    text_ = q7host::AddStringColumn(table_, "s", texts);
    decimal_ = q7host::AddDecimalColumn(table_, "m", decimals, 4);
    for (int f : {int_, double_, text_, decimal_}) ASSERT_GT(f, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }
  int table_ = 0;
  int int_ = 0;
  int double_ = 0;
  int text_ = 0;
  int decimal_ = 0;
};

TEST_F(ValueBlocksApi, NumbersStopAtOneHundredTwentyEightRows) {
  std::vector<int> ints(256, -1);
  int count = -1;
  EXPECT_EQ(RQ7GetData1MIntR1(table_, int_, 1, 1, &count, ints.data()), 4);
  EXPECT_EQ(count, 128);
  EXPECT_EQ(ints[0], 10);
  EXPECT_EQ(ints[127], 1280);
  EXPECT_EQ(ints[128], -1);  // only the rows read are written, not the rest of 1024 bytes

  std::vector<double> doubles(128, -1.0);
  EXPECT_EQ(RQ7GetData1MDblR1(table_, double_, 1, 150, &count, doubles.data()), 8);
  EXPECT_EQ(count, kRows - 150 + 1);  // the set ends first
  EXPECT_EQ(doubles[0], 150.5);
  EXPECT_EQ(doubles[50], 200.5);

  // Decimals: the value alone in every element, 128 rows in 2048 bytes.
  std::vector<Numeric> decimals(129, q7host::Decimal(99));
  EXPECT_GE(RQ7GetData1MNumericR1(table_, decimal_, 1, 1, &count, decimals.data()), 0);
  EXPECT_EQ(count, 128);
  EXPECT_TRUE(q7host::SameDecimal(decimals[0], q7host::Decimal(-1)));
  EXPECT_TRUE(q7host::SameDecimal(decimals[127], q7host::Decimal(-128)));
  EXPECT_TRUE(q7host::SameDecimal(decimals[128], q7host::Decimal(99)));
}

// The integer block holds at most 128 ints: a host array of exactly that size is never written
// past, and only the rows read are written.
TEST_F(ValueBlocksApi, IntBlockWritesOnlyTheIntsRead) {
  struct Case {
    int first_row;
    int result;
    int count;
  };
  const Case cases[] = {{1, 4, 128}, {150, 4, kRows - 150 + 1}, {kRows + 1, Q7_ERROR_NO_SUCH_SET, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_row);
    std::vector<int> ints(128, -1);
    int count = -1;
    EXPECT_EQ(RQ7GetData1MIntR1(table_, int_, 1, c.first_row, &count, ints.data()), c.result);
    EXPECT_EQ(count, c.count);
    for (int i = 0; i < 128; ++i) {
      EXPECT_EQ(ints[static_cast<size_t>(i)], i < c.count ? (c.first_row + i) * 10 : -1) << i;
    }
  }
  DrainRing();
}

TEST_F(ValueBlocksApi, TextsStopAtTheLastOneThatFits) {
  std::vector<int> offsets(128, -1);
  std::vector<char> area(4096 + 16, '#');
  int count = -1;
  ASSERT_EQ(RQ7GetData1MStrR1(table_, text_, 1, 1, &count, offsets.data(), area.data()), 1);
  // Texts of 1, 2, ... n bytes and their zeros take n (n + 3) / 2 bytes: 89 rows fit (4094
  // bytes), 90 do not.
  EXPECT_EQ(count, 89);
  for (int i = 0; i < count; ++i) {
    const std::string text(area.data() + offsets[static_cast<size_t>(i)]);
    EXPECT_EQ(text, std::string(static_cast<size_t>(i + 1), static_cast<char>('a' + (i + 1) % 26)));
  }
  EXPECT_EQ(area[4096], '#');  // nothing past the 4096 bytes
}

TEST_F(ValueBlocksApi, BlockReadsRefuseOtherTypesAndPassFirstRowFailures) {
  int count = -1;
  std::vector<int> values(256, -1);  // 1024 bytes, the block buffer's size
  std::vector<char> area(4096, '#');
  EXPECT_EQ(RQ7GetData1MStrR1(table_, int_, 1, 1, &count, values.data(), area.data()),
            Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(area[0], '#');  // nothing read, nothing cleared
  EXPECT_EQ(RQ7GetData1MIntR1(table_, double_, 1, 1, &count, values.data()), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(RQ7GetData1MDblR1(table_, text_, 1, 1, &count, reinterpret_cast<double*>(values.data())),
            Q7_ERROR_INVALID_DATA_TYPE);
  std::vector<Numeric> decimals(128);
  EXPECT_EQ(RQ7GetData1MNumericR1(table_, int_, 1, 1, &count, decimals.data()), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(count, -1);
  // A first row beyond the set gives the read's code and no rows.
  EXPECT_EQ(RQ7GetData1MNumericR1(table_, decimal_, 1, kRows + 1, &count, decimals.data()),
            Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(RQ7GetData1MStrR1(table_, text_, 1, kRows + 1, &count, values.data(), area.data()),
            Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(RQ7GetData1MIntR1(table_, int_, 1, 0, &count, values.data()), Q7_ERROR_NO_SUCH_SET);
  // Null outputs are refused.
  EXPECT_EQ(RQ7GetData1MStrR1(table_, text_, 1, 1, nullptr, values.data(), area.data()),
            Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7GetData1MNumericR1(table_, decimal_, 1, 1, &count, nullptr), Q7_ERROR_INVALID_PARAMETER);
}

}  // namespace
