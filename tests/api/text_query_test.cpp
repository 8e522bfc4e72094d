// The exported searches by a condition written as text, driven as a host drives them: each condition
// must select exactly the rows that the same comparisons, run one by one through RQ7SearchByField and
// combined with RQ7SetOpeReal, select; and the refusals leave their codes and ring entries. The
// language itself (grammar, literals, messages) is pinned by the calc tests.
#include <gtest/gtest.h>

#include <algorithm>
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
using Ring = std::vector<RingEntry>;

constexpr int kNoTable = 99;
constexpr int kNoSet = 77;
constexpr int kCurrentSet = -1;
constexpr int kNoNull = Q7_SEARCH_NULL_BOUND_EMPTY;
constexpr int kAnd = 0;
constexpr int kOr = 1;
constexpr int kAndNot = 2;
constexpr int kAnyLocale = 99;
constexpr int kShiftJisLocale = 0;
constexpr int kUtf8Locale = 3;
constexpr char kSerialRing[] = "innerQ7SearchByText";

// A search bound as the bytes the engine reads.
template <class T>
std::vector<char> Raw(T value) {
  std::vector<char> bytes(sizeof value);
  memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}
std::vector<char> Text(const std::string& text) {
  return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

class TextQueryApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    ASSERT_EQ(RQ7SetDBCharCode("UTF8"), 0);
    table_ = q7host::AddTable("goods", 8);
    ASSERT_GT(table_, 0);
    qty_ = q7host::AddIntColumn(table_, "qty", {5, kIntNull, 7, 5, 1, 9, -3, 7});
    price_ =
        q7host::AddDoubleColumn(table_, "price", {2.5, 1.0, q7host::kDoubleNull, 4.0, 2.5, 0.5, 8.25, 3.0});
    city_ =
        q7host::AddStringColumn(table_, "city", {"Oslo", "Rome", "", "Oslo", "Lima", "Roma", "Bern", "it's"});
    day_ = q7host::AddDoubleColumn(
        table_, "day",
        {q7host::DateSerial(2024, 1, 31), q7host::DateSerial(2024, 2, 29), q7host::DateSerial(2023, 12, 1),
         q7host::kDoubleNull, q7host::DateSerial(2024, 3, 1), q7host::DateSerial(2024, 2, 1),
         q7host::DateSerial(2024, 2, 2), q7host::DateSerial(2025, 1, 1)},
        Q7_TYPE_DATE);
    amount_ = q7host::AddDecimalColumn(
        table_, "amount",
        {q7host::Decimal(1234), q7host::Decimal(-50), q7host::kDecimalNull, q7host::Decimal(1234),
         q7host::Decimal(0), q7host::Decimal(99999), q7host::Decimal(1), q7host::kDecimalNull},
        2);
    for (int f : {qty_, price_, city_, day_, amount_}) ASSERT_GT(f, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7SetDBCharCode("UTF8");
    RQ7ClearDB();
    DrainRing();
  }

  // One comparison through the value search, in `source`.
  int Field(int filter, int op, std::vector<char> from, std::vector<char> to = {}, int source = 1) {
    return RQ7SearchByField(table_, filter, source, op, from.empty() ? nullptr : from.data(),
                            to.empty() ? nullptr : to.data());
  }
  int Ope(int op, int a, int b) { return RQ7SetOpeReal(table_, op, a, b); }

  int SetCount() {
    int unused = 0;
    return RQ7GetSetIDList(table_, 0, &unused);
  }

  int table_ = 0;
  int qty_ = 0;
  int price_ = 0;
  int city_ = 0;
  int day_ = 0;
  int amount_ = 0;
};

// Each condition against the chain of exported searches and set operations that spells it out. The
// rows are compared as sets: a combination comes back ascending, a single search in its own order.
TEST_F(TextQueryApi, ConditionSelectsWhatTheSameSearchesAndSetOperationsSelect) {
  const double feb1 = q7host::DateSerial(2024, 2, 1);
  const double mar1 = q7host::DateSerial(2024, 3, 1);
  struct Case {
    const char* text;
    std::function<int()> chain;
  };
  const Case cases[] = {
      {"qty = 5", [&] { return Field(qty_, 0 | kNoNull, Raw(5)); }},
      {"qty <> 5", [&] { return Field(qty_, 4 | kNoNull, Raw(5)); }},
      {"qty != 5", [&] { return Field(qty_, 4 | kNoNull, Raw(5)); }},
      {"qty < 5", [&] { return Field(qty_, 6 | kNoNull, Raw(5)); }},
      {"qty <= 5", [&] { return Field(qty_, 2 | kNoNull, Raw(5)); }},
      {"qty > 5", [&] { return Field(qty_, 7 | kNoNull, Raw(5)); }},
      {"qty >= -3", [&] { return Field(qty_, 3 | kNoNull, Raw(-3)); }},
      {"qty IS NULL", [&] { return Field(qty_, 11, {}); }},
      {"qty IS NOT NULL", [&] { return Ope(kAndNot, 1, Field(qty_, 11, {})); }},
      {"qty BETWEEN 1 AND 7", [&] { return Field(qty_, 1 | kNoNull, Raw(1), Raw(7)); }},
      {"qty WITHIN 1 AND 7", [&] { return Field(qty_, 5 | kNoNull, Raw(1), Raw(7)); }},
      {"price >= 2.5 AND price < 4",
       [&] { return Ope(kAnd, Field(price_, 3 | kNoNull, Raw(2.5)), Field(price_, 6 | kNoNull, Raw(4.0))); }},
      {"price = 2.5e0 OR price = .5",
       [&] { return Ope(kOr, Field(price_, 0 | kNoNull, Raw(2.5)), Field(price_, 0 | kNoNull, Raw(0.5))); }},
      {"city = 'Oslo'", [&] { return Field(city_, 0 | kNoNull, Text("Oslo")); }},
      {"city = 'it''s'", [&] { return Field(city_, 0 | kNoNull, Text("it's")); }},
      {"city LEFT MATCH 'Ro'", [&] { return Field(city_, 8 | kNoNull, Text("Ro")); }},
      {"city MIDDLE MATCH 'im'", [&] { return Field(city_, 9 | kNoNull, Text("im")); }},
      {"city RIGHT MATCH 'a'", [&] { return Field(city_, 10 | kNoNull, Text("a")); }},
      {"city NOT LEFT MATCH 'Ro'", [&] { return Ope(kAndNot, 1, Field(city_, 8 | kNoNull, Text("Ro"))); }},
      {"day BETWEEN '2024/2/1' AND '2024/3/1'",
       [&] { return Field(day_, 1 | kNoNull, Raw(feb1), Raw(mar1)); }},
      {"amount > 0", [&] { return Field(amount_, 7 | kNoNull, Raw(q7host::Decimal(0))); }},
      {"amount = 12.34", [&] { return Field(amount_, 0 | kNoNull, Raw(q7host::Decimal(1234))); }},
      // Three conditions: OR binds tighter than AND.
      {"qty >= 5 AND price < 3 OR city = 'Bern'",
       [&] {
         const int a = Field(qty_, 3 | kNoNull, Raw(5));
         const int bc =
             Ope(kOr, Field(price_, 6 | kNoNull, Raw(3.0)), Field(city_, 0 | kNoNull, Text("Bern")));
         return Ope(kAnd, a, bc);
       }},
      {"(qty >= 5 AND price < 3) OR city = 'Bern'",
       [&] {
         const int ab = Ope(kAnd, Field(qty_, 3 | kNoNull, Raw(5)), Field(price_, 6 | kNoNull, Raw(3.0)));
         return Ope(kOr, ab, Field(city_, 0 | kNoNull, Text("Bern")));
       }},
      // NOT reaches the comparisons: NOT (a AND b) is a' OR b'.
      {"NOT (qty = 5 AND city = 'Oslo')",
       [&] { return Ope(kOr, Field(qty_, 4 | kNoNull, Raw(5)), Field(city_, 4 | kNoNull, Text("Oslo"))); }},
      {"NOT NOT qty = 7", [&] { return Field(qty_, 0 | kNoNull, Raw(7)); }},
      {"goods.qty = 7 and \"city\" = 'it''s'",
       [&] { return Ope(kAnd, Field(qty_, 0 | kNoNull, Raw(7)), Field(city_, 0 | kNoNull, Text("it's"))); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const int got = RQ7SearchByText(table_, 1, c.text);
    ASSERT_GT(got, 1);
    EXPECT_EQ(RQ7GetCurrentSetID(table_), got);
    const int want = c.chain();
    ASSERT_GT(want, 1);
    Rows got_rows = ReadSet(table_, got);
    Rows want_rows = ReadSet(table_, want);
    std::sort(got_rows.begin(), got_rows.end());
    std::sort(want_rows.begin(), want_rows.end());
    EXPECT_EQ(got_rows, want_rows);
  }
  EXPECT_EQ(DrainRing(), Ring{});
}

// The condition searches the given set only; a negative ID names the current set.
TEST_F(TextQueryApi, SearchesWithinTheSourceSet) {
  const int source = Field(qty_, 3 | kNoNull, Raw(5));  // rows 1 3 4 6 8, now current
  ASSERT_GT(source, 1);
  const Rows want = {3, 4, 8};
  for (int set : {source, kCurrentSet}) {
    SCOPED_TRACE(set);
    ASSERT_EQ(RQ7ChangeCurrentSetID(table_, source), 0);
    const int got = RQ7SearchByText(table_, set, "price > 2.5 OR price IS NULL");
    ASSERT_GT(got, source);
    Rows rows = ReadSet(table_, got);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, want);
  }
}

TEST_F(TextQueryApi, TextMustEndWithin4096Bytes) {
  const std::string head = "qty = 7";
  std::string longest = head + std::string(4095 - head.size(), ' ');
  ASSERT_EQ(longest.size(), 4095u);
  const int set = RQ7SearchByText(table_, 1, longest.c_str());
  ASSERT_GT(set, 1);
  EXPECT_EQ(ReadSet(table_, set), (Rows{3, 8}));

  const int sets = SetCount();
  const std::string too_long = longest + " ";
  EXPECT_EQ(RQ7SearchByText(table_, 1, too_long.c_str()), Q7_ERROR_TEXT_SIZE_OVERFLOW);
  // Exactly 4096 bytes and no zero among them: the check reads no further (the sanitizer watches).
  std::vector<char> unended(4096, 'q');
  EXPECT_EQ(RQ7SearchByText(table_, 1, unended.data()), Q7_ERROR_TEXT_SIZE_OVERFLOW);
  const RingEntry overflow{kSerialRing, Q7_ERROR_TEXT_SIZE_OVERFLOW, "TextSize overflow"};
  EXPECT_EQ(DrainRing(), (Ring{overflow, overflow, overflow, overflow}));
  EXPECT_EQ(SetCount(), sets);
}

TEST_F(TextQueryApi, MissingTableSetOrTextLeavesItsEntries) {
  struct Case {
    const char* name;
    int table;
    int set;
    const char* text;
    int code;
    Ring ring;
  };
  const Case cases[] = {
      {"no table",
       kNoTable,
       1,
       "qty = 1",
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {kSerialRing, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "},
        {kSerialRing, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "}}},
      {"no set",
       table_,
       kNoSet,
       "qty = 1",
       Q7_ERROR_NO_SUCH_SET,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 77"},
        {kSerialRing, Q7_ERROR_NO_SUCH_SET, "No Such Set: 77 "},
        {kSerialRing, Q7_ERROR_NO_SUCH_SET, "No Such Set: 77"}}},
      {"null text",
       table_,
       1,
       nullptr,
       Q7_ERROR_INVALID_PARAMETER,
       {{kSerialRing, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Text"}}},
  };
  const int sets = SetCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RQ7SearchByText(c.table, c.set, c.text), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  EXPECT_EQ(SetCount(), sets);
}

// A text outside the language: the request's entry, then the parser's messages under the same name;
// no set is left behind and the next query parses afresh.
TEST_F(TextQueryApi, SyntaxErrorLeavesTwoEntriesAndNoParserState) {
  const RingEntry request{kSerialRing, Q7_ERROR_QUERY_SYNTAX, "Query Syntax Error"};
  const RingEntry parser{kSerialRing, Q7_ERROR_QUERY_SYNTAX, "syntax error\nSYNTAX ERROR"};
  const int sets = SetCount();
  for (const char* text : {"qty =", "= 1", "qty == 1", "qty = 1 AND (price < 3", "", "qty = 'open"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(RQ7SearchByText(table_, 1, text), Q7_ERROR_QUERY_SYNTAX);
    EXPECT_EQ(DrainRing(), (Ring{request, parser}));
    EXPECT_EQ(SetCount(), sets);
    const int set = RQ7SearchByText(table_, 1, "qty = 9");
    ASSERT_GT(set, 1);
    EXPECT_EQ(ReadSet(table_, set), Rows{6});
    ASSERT_EQ(RQ7DeleteSet(table_, set), 0);
  }
}

// Conditions that parse but do not fit the table fail with the checker's code, one entry, no set.
TEST_F(TextQueryApi, ConditionThatDoesNotFitTheTableRegistersNoSet) {
  struct Case {
    const char* text;
    int code;
  };
  const Case cases[] = {
      {"nosuch = 1", Q7_ERROR_NO_SUCH_FILTER},
      {"other.qty = 1", Q7_ERROR_NO_SUCH_TABLE},
      {"qty = 1.5", Q7_ERROR_QUERY_VALUE_TYPE},
      {"qty = 5 AND price LEFT MATCH 'x'", Q7_ERROR_QUERY_OPERAND},
      {"qty = 5 AND day = 'not a date'", Q7_ERROR_QUERY_VALUE_TYPE},
  };
  const int sets = SetCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RQ7SearchByText(table_, 1, c.text), c.code);
    const Ring ring = DrainRing();
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0].api, kSerialRing);
    EXPECT_EQ(ring[0].code, c.code);
    EXPECT_EQ(SetCount(), sets);
  }
}

// The coded forms check the database character code first: a refusal leaves exactly one entry under
// the exported name, runs no search and frees the lock for the next call.
TEST_F(TextQueryApi, CodedFormsCheckTheDatabaseCharacterCode) {
  struct Case {
    const char* db_code;
    int locale;  // -1: the SJIS form
    bool runs;
    RingEntry refusal;
  };
  const RingEntry sjis_refusal{"RQ7SearchByTextSJIS", Q7_ERROR_CHAR_CODE_MISMATCH,
                               "Not equal to WS DBCharCode"};
  const RingEntry locale_refusal{"RQ7SearchByTextLocale", Q7_ERROR_CHAR_CODE_MISMATCH,
                                 "Invalid Parameter : LocaleID"};
  const Case cases[] = {
      {"UTF8", -1, false, sjis_refusal},        {"Shift_JIS", -1, true, {}},
      {"UTF8", kUtf8Locale, true, {}},          {"UTF8", kShiftJisLocale, false, locale_refusal},
      {"Shift_JIS", kShiftJisLocale, true, {}}, {"Shift_JIS", kUtf8Locale, false, locale_refusal},
      {"UTF8", kAnyLocale, true, {}},           {"MS932", kAnyLocale, true, {}},
      {"UTF8", 42, false, locale_refusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.db_code) + " locale " + std::to_string(c.locale));
    ASSERT_EQ(RQ7SetDBCharCode(c.db_code), 0);
    const int sets = SetCount();
    const int result = c.locale < 0 ? RQ7SearchByTextSJIS(table_, 1, "city = 'Oslo'")
                                    : RQ7SearchByTextLocale(table_, 1, "city = 'Oslo'", c.locale);
    if (c.runs) {
      ASSERT_GT(result, 1);
      EXPECT_EQ(ReadSet(table_, result), (Rows{1, 4}));
      EXPECT_EQ(DrainRing(), Ring{});
    } else {
      EXPECT_EQ(result, Q7_ERROR_CHAR_CODE_MISMATCH);
      EXPECT_EQ(DrainRing(), Ring{c.refusal});
      EXPECT_EQ(SetCount(), sets);
    }
    // The lock is free: the next exported call runs.
    EXPECT_EQ(RQ7GetSetSize(table_, 1), 8);
  }
  // Once the check passes, the coded forms fail as the plain one does.
  ASSERT_EQ(RQ7SetDBCharCode("Shift_JIS"), 0);
  EXPECT_EQ(RQ7SearchByTextSJIS(table_, kNoSet, "qty = 1"), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing().size(), 3u);
  EXPECT_EQ(RQ7SearchByTextLocale(table_, 1, "qty =", kAnyLocale), Q7_ERROR_QUERY_SYNTAX);
  EXPECT_EQ(DrainRing().size(), 2u);
}

}  // namespace
