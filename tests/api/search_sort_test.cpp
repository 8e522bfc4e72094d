// The exported searches, sorts, names, memory sizes, saved flags and settings, driven as a host
// drives them: tables built from host memory, each search or sort returning the set ID the host then
// reads, and the ring entries each frame kind leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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
constexpr int kExcludeNull = 0x80;

// One search bound as the bytes the engine reads: a value of the filter's raw form, or a text.
struct Bound {
  std::vector<char> bytes;
  template <class T>
  static Bound Of(T value) {
    Bound b;
    b.bytes.resize(sizeof value);
    memcpy(b.bytes.data(), &value, sizeof value);
    return b;
  }
  static Bound Text(const std::string& text) {
    Bound b;
    b.bytes.assign(text.begin(), text.end());
    b.bytes.push_back('\0');
    return b;
  }
  char* data() { return bytes.empty() ? nullptr : bytes.data(); }
};

class SearchSortApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    table_ = q7host::AddTable("people", 6);
    ASSERT_GT(table_, 0);
    qty_ = q7host::AddIntColumn(table_, "qty", {5, kIntNull, 7, 5, 1, 9});
    price_ = q7host::AddDoubleColumn(table_, "price", {2.5, 1.0, q7host::kDoubleNull, 4.0, 2.5, 0.5});
    city_ = q7host::AddStringColumn(table_, "city", {"Oslo", "Rome", "", "Oslo", "Lima", "Roma"});
    day_ = q7host::AddDoubleColumn(
        table_, "day",
        {q7host::DateSerial(2024, 1, 31), q7host::DateSerial(2024, 2, 29), q7host::DateSerial(2023, 12, 1),
         q7host::kDoubleNull, q7host::DateSerial(2024, 3, 1), q7host::DateSerial(2024, 2, 1)},
        Q7_TYPE_DATE);
    amount_ = q7host::AddDecimalColumn(table_, "amount",
                                       {q7host::Decimal(1234), q7host::Decimal(-50), q7host::kDecimalNull,
                                        q7host::Decimal(1234), q7host::Decimal(0), q7host::Decimal(99999)},
                                       2);
    for (int f : {qty_, price_, city_, day_, amount_}) ASSERT_GT(f, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7SetDBCharCode("UTF8");
    RQ7SetTailSpaceFlag(0);
    RQ7ClearDB();
    DrainRing();
  }

  // The qty values of a set, in the set's order.
  std::vector<int> QtyOf(int set) {
    std::vector<int> values;
    for (int row : ReadSet(table_, set)) {
      int type = 0;
      int value = 0;
      EXPECT_EQ(RQ7GetData1(table_, qty_, 1, row, &type, &value), 4);
      values.push_back(value);
    }
    return values;
  }

  int table_ = 0;
  int qty_ = 0;
  int price_ = 0;
  int city_ = 0;
  int day_ = 0;
  int amount_ = 0;
};

// ---- Searches ----

TEST_F(SearchSortApi, SearchByFieldReturnsTheSetTheHostReads) {
  struct Case {
    const char* name;
    int filter;
    int op;
    Bound from;
    Bound to;
    Rows want;
  };
  const Case cases[] = {
      {"int equal", qty_, 0, Bound::Of(5), {}, {1, 4}},
      {"int between", qty_, 1, Bound::Of(5), Bound::Of(7), {1, 3, 4}},
      {"int less or equal skips NULL", qty_, 2, Bound::Of(5), {}, {1, 4, 5}},
      {"int greater or equal", qty_, 3, Bound::Of(7), {}, {3, 6}},
      {"int not equal skips NULL", qty_, 4, Bound::Of(5), {}, {3, 5, 6}},
      {"int is NULL", qty_, 11, {}, {}, {2}},
      {"int NULL bound excluded", qty_, 0 | kExcludeNull, Bound::Of(kIntNull), {}, {}},
      {"double less than", price_, 6, Bound::Of(2.5), {}, {2, 6}},
      {"double within", price_, 5, Bound::Of(0.5), Bound::Of(4.0), {1, 2, 5}},
      {"text equal", city_, 0, Bound::Text("Oslo"), {}, {1, 4}},
      {"text starts with", city_, 8, Bound::Text("Ro"), {}, {2, 6}},
      {"text contains", city_, 9, Bound::Text("im"), {}, {5}},
      {"text ends with", city_, 10, Bound::Text("a"), {}, {5, 6}},
      {"date between",
       day_,
       1,
       Bound::Of(q7host::DateSerial(2024, 2, 1)),
       Bound::Of(q7host::DateSerial(2024, 3, 1)),
       {2, 5, 6}},
      {"decimal equal", amount_, 0, Bound::Of(q7host::Decimal(1234)), {}, {1, 4}},
      {"decimal greater than", amount_, 7, Bound::Of(q7host::Decimal(0)), {}, {1, 4, 6}},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    const int set = RQ7SearchByField(table_, c.filter, 1, c.op, c.from.data(), c.to.data());
    ASSERT_GT(set, 1);
    EXPECT_EQ(RQ7GetCurrentSetID(table_), set);
    EXPECT_EQ(ReadSet(table_, set), c.want);
  }
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(SearchSortApi, SearchFormsAgreeOnTheSameBounds) {
  Bound from = Bound::Of(5);
  Bound to = Bound::Of(9);
  const Rows want = {1, 3, 4, 6};
  EXPECT_EQ(ReadSet(table_, RQ7SearchByField(table_, qty_, 1, 1, from.data(), to.data())), want);
  EXPECT_EQ(ReadSet(table_, Q7SearchByField(table_, qty_, 1, 1, from.data(), to.data())), want);
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldStr(table_, qty_, 1, 1, from.data(), to.data())), want);
  EXPECT_EQ(ReadSet(table_, RQ7SearchByField2(table_, qty_, 1, 1, from.data(), to.data())), want);
  EXPECT_EQ(ReadSet(table_, Q7SearchByField2(table_, qty_, 1, 1, from.data(), to.data())), want);
  // A negative source set is the current one: narrow the last result further.
  Bound seven = Bound::Of(7);
  EXPECT_EQ(ReadSet(table_, RQ7SearchByField(table_, qty_, -1, 3, seven.data(), nullptr)), (Rows{3, 6}));
}

// A set large enough that the engine spreads the search over its workers keeps exactly the rows a
// compare of each row's value keeps (NULL rows only for IS NULL), with and without bit 0x80, and
// the searches by record number exactly the rows a compare of the record number keeps.
TEST_F(SearchSortApi, LargeSetsKeepTheRowsOfARowByRowCompare) {
  constexpr int kRows = 300000;
  const int big = q7host::AddTable("big", kRows);
  ASSERT_GT(big, 0);
  std::vector<int32_t> ints(kRows);
  std::vector<double> doubles(kRows);
  for (int i = 0; i < kRows; ++i) {
    ints[i] = i % 13 == 0 ? kIntNull : static_cast<int32_t>((i * 7919LL) % 1000);
    doubles[i] = i % 17 == 0 ? q7host::kDoubleNull : ((i * 104729LL) % kRows) / 1024.0;
  }
  const int k = q7host::AddIntColumn(big, "k", ints);
  const int x = q7host::AddDoubleColumn(big, "x", doubles);
  ASSERT_GT(k, 0);
  ASSERT_GT(x, 0);
  // op: 0 equal, 1 between, 2 <=, 3 >=, 4 not equal, 5 within, 6 <, 7 >, 11 IS NULL.
  auto keeps = [](int op, double v, bool null, double from, double to) {
    if (op == 11) return null;
    if (null) return false;
    switch (op) {
      case 0:
        return v == from;
      case 1:
        return from <= v && v <= to;
      case 2:
        return v <= from;
      case 3:
        return v >= from;
      case 4:
        return v != from;
      case 5:
        return from < v && v < to;
      case 6:
        return v < from;
      default:
        return v > from;
    }
  };
  for (int op : {0, 1, 2, 3, 4, 5, 6, 7, 11}) {
    for (int flag : {0, kExcludeNull}) {
      SCOPED_TRACE(op | flag);
      Rows want_k, want_x;
      for (int i = 0; i < kRows; ++i) {
        if (keeps(op, ints[i], ints[i] == kIntNull, 500, 700)) want_k.push_back(i + 1);
        if (keeps(op, doubles[i], doubles[i] == q7host::kDoubleNull, 70.5, 200.25)) want_x.push_back(i + 1);
      }
      Bound k_from = Bound::Of(500), k_to = Bound::Of(700);
      Bound x_from = Bound::Of(70.5), x_to = Bound::Of(200.25);
      EXPECT_EQ(ReadSet(big, RQ7SearchByField(big, k, 1, op | flag, k_from.data(), k_to.data())), want_k);
      EXPECT_EQ(ReadSet(big, RQ7SearchByField(big, x, 1, op | flag, x_from.data(), x_to.data())), want_x);
    }
  }
  for (int op = 0; op <= 7; ++op) {
    SCOPED_TRACE(op);
    Rows want;
    for (int r = 1; r <= kRows; ++r) {
      if (keeps(op, r, false, 1000, 250000) && !(op == 0 && !want.empty())) want.push_back(r);
    }
    EXPECT_EQ(ReadSet(big, RQ7SearchByRowNo(big, 0, 1, op, 1000, 250000)), want);
  }
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(SearchSortApi, SearchByField2ComparesTextsFromTheirSecondByte) {
  Bound from = Bound::Text("ome");
  EXPECT_EQ(ReadSet(table_, RQ7SearchByField2(table_, city_, 1, 0, from.data(), nullptr)), (Rows{2}));
}

// A null bound of the second string form is no text: equal to it would keep every row.
TEST_F(SearchSortApi, SearchByField2RefusesANullBoundOnAStringFilter) {
  Bound ome = Bound::Text("ome");
  struct Case {
    const char* name;
    int op;
    char* from;
    char* to;
    const char* message;
  };
  const Case cases[] = {
      {"equal", 0, nullptr, nullptr, "Invalid Parameter : From"},
      {"contains", 9, nullptr, ome.data(), "Invalid Parameter : From"},
      {"between", 1, ome.data(), nullptr, "Invalid Parameter : To"},
  };
  const int current = RQ7GetCurrentSetID(table_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RQ7SearchByField2(table_, city_, 1, c.op, c.from, c.to), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DrainRing(),
              (std::vector<RingEntry>{{"Q7SearchByField2", Q7_ERROR_INVALID_PARAMETER, c.message}}));
    EXPECT_EQ(Q7SearchByField2(table_, city_, 1, c.op, c.from, c.to), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DrainRing().size(), 1u);
    EXPECT_EQ(RQ7GetCurrentSetID(table_), current);
  }
}

TEST_F(SearchSortApi, PatternValueListAndFlagSearches) {
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldWildCard(table_, city_, 1, "R*")), (Rows{2, 6}));
  EXPECT_EQ(ReadSet(table_, Q7SearchByFieldWildCard(table_, city_, 1, "?ima")), (Rows{5}));

  int wanted_qty[] = {1, 9};
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldNValues(table_, qty_, 1, 2, wanted_qty)), (Rows{5, 6}));
  const char* wanted_city[] = {"Lima", "Oslo"};
  EXPECT_EQ(ReadSet(table_, RQ7SearchByFieldNValues(table_, city_, 1, 2, wanted_city)), (Rows{1, 4, 5}));

  // One count per value-list entry, entry 0 being the NULL; flagging every entry but the NULL keeps
  // every row that has a value.
  std::vector<int> counts(16, -1);
  const int entries = Q7GetValCount(table_, qty_, 1, counts.data());
  ASSERT_EQ(entries, 5);  // NULL, 1, 5, 7, 9
  EXPECT_EQ((std::vector<int>(counts.begin(), counts.begin() + entries)), (std::vector<int>{1, 1, 2, 1, 1}));
  std::vector<unsigned char> flags(static_cast<size_t>(entries), 1);
  flags[0] = 0;
  EXPECT_EQ(ReadSet(table_, Q7Search(table_, qty_, 1, flags.data())), (Rows{1, 3, 4, 5, 6}));
}

TEST_F(SearchSortApi, SearchesByRecordNumberAndByPosition) {
  // By record number, from set 1: records 2 .. 4; the second argument is not read.
  EXPECT_EQ(ReadSet(table_, RQ7SearchByRowNo(table_, 12345, 1, 1, 2, 4)), (Rows{2, 3, 4}));
  EXPECT_EQ(ReadSet(table_, Q7SearchByRowNo(table_, 0, 1, 7, 4, 0)), (Rows{5, 6}));
  // By position in a set that is not ascending: positions 1 and 2 of the descending set.
  const int descending = RQ7SortByRowNo(table_, 0, 1, 1);
  ASSERT_GT(descending, 0);
  EXPECT_EQ(ReadSet(table_, RQ7SearchByDispRowNoReal(table_, descending, 2, 2, 0)), (Rows{6, 5}));
  EXPECT_EQ(ReadSet(table_, Q7SearchByDispRowNoReal(table_, descending, 0, 6, 0)), (Rows{1}));
}

TEST_F(SearchSortApi, ServiceSortByNOrdersCountsLargestFirst) {
  int values[] = {3, 0, 5, 3};
  int order[4] = {};
  int non_zero[4] = {};
  int non_zero_count = -1;
  EXPECT_EQ(Q7ServiceSortByN(4, values, &non_zero_count, non_zero, order), 0);
  EXPECT_EQ((std::vector<int>(order, order + 4)), (std::vector<int>{2, 0, 3, 1}));
  EXPECT_EQ(non_zero_count, 3);
  EXPECT_EQ((std::vector<int>(non_zero, non_zero + 3)), (std::vector<int>{0, 2, 3}));
}

// ---- Sorts ----

TEST_F(SearchSortApi, SortsByOneFilterInBothDirections) {
  const int ascending = RQ7SortByField(table_, qty_, 1, 0);
  ASSERT_GT(ascending, 1);
  EXPECT_EQ(RQ7GetCurrentSetID(table_), ascending);
  EXPECT_EQ(QtyOf(ascending), (std::vector<int>{kIntNull, 1, 5, 5, 7, 9}));
  const int descending = RQ7SortByField(table_, qty_, 1, 1);
  EXPECT_EQ(QtyOf(descending), (std::vector<int>{9, 7, 5, 5, 1, kIntNull}));
  // The serial mirror sorts alike.
  EXPECT_EQ(ReadSet(table_, Q7SortByField(table_, qty_, 1, 0)), ReadSet(table_, ascending));
  EXPECT_EQ(ReadSet(table_, RQ7SortByRowNo(table_, 0, 1, 1)), (Rows{6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(ReadSet(table_, Q7SortByRowNo(table_, 0, -1, 0)), (Rows{1, 2, 3, 4, 5, 6}));
}

TEST_F(SearchSortApi, SortsBySeveralFiltersTheLastListedFirst) {
  // qty ascending, ties (rows 1 and 4, both 5) by price descending: 4.0 before 2.5.
  int filters[] = {price_, qty_, 0};
  int dirs[] = {1, 0};
  const int set = RQ7IntegratedSortByField(table_, 1, filters, dirs);
  ASSERT_GT(set, 1);
  EXPECT_EQ(ReadSet(table_, set), (Rows{2, 5, 4, 1, 3, 6}));
  dirs[0] = 0;
  EXPECT_EQ(ReadSet(table_, RQ7IntegratedSortByField(table_, 1, filters, dirs)), (Rows{2, 5, 1, 4, 3, 6}));
}

// ---- Frames: the ring entries each kind leaves ----

TEST_F(SearchSortApi, EachFrameKindLeavesItsRingEntries) {
  Bound five = Bound::Of(5);
  const RingEntry lookup{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"};
  const RingEntry serial{"Q7SearchByField", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"};
  struct Case {
    const char* name;
    int (*call)(char* bound);
    int want;
    std::vector<RingEntry> ring;
  };
  const Case cases[] = {
      // Full frame: the operation records and returns; the frame adds nothing.
      {"full",
       [](char* b) { return RQ7SearchByField(kNoTable, 1, 1, 0, b, nullptr); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup, serial}},
      {"light",
       [](char* b) { return RQ7SearchByFieldStr(kNoTable, 1, 1, 0, b, nullptr); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup, serial}},
      {"plain",
       [](char* b) { return Q7SearchByField(kNoTable, 1, 1, 0, b, nullptr); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup, serial}},
      // Full frame with result check: one entry more, with an empty message.
      {"checked",
       [](char* b) { return RQ7SearchByFieldLocale(kNoTable, 1, 1, 0, b, nullptr, 99); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup, serial, {"RQ7SearchByFieldLocale", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"checked sort",
       [](char*) { return RQ7SortByRowNo(kNoTable, 0, 1, 0); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup,
        {"Q7SortByRowNo", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        {"RQ7SortByRowNo", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      // The task object records under the exported name.
      {"task",
       [](char*) { return RQ7SortByField(kNoTable, 1, 1, 0); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup, {"RQ7SortByField", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}},
      // The frame's own table check.
      {"own check",
       [](char*) { return RQ7GetFilterIDFromName(kNoTable, "qty"); },
       Q7_ERROR_NO_SUCH_TABLE,
       {lookup, {"RQ7GetFilterIDFromName", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DrainRing();
    EXPECT_EQ(c.call(five.data()), c.want);
    EXPECT_EQ(DrainRing(), c.ring);
  }
}

TEST_F(SearchSortApi, BadSortDirectionsAreRefusedBeforeSorting) {
  const int sets_before = RQ7GetNSet(table_);
  EXPECT_EQ(RQ7SortByField(table_, qty_, 1, 2), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7SortByField", Q7_ERROR_INVALID_PARAMETER,
                                                  "Invalid Parameter : SortDir(2)"}}));
  EXPECT_EQ(Q7SortByField(table_, qty_, 1, -1), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  EXPECT_EQ(RQ7SortByRowNo(table_, 0, 1, 3), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"Q7SortByRowNo", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SortDir"},
                             {"RQ7SortByRowNo", Q7_ERROR_INVALID_PARAMETER, ""}}));
  EXPECT_EQ(RQ7GetNSet(table_), sets_before);
}

// ---- Character-code checks ----

TEST_F(SearchSortApi, CharacterCodeChecksRefuseWithOneEntryAndNoSearch) {
  Bound oslo = Bound::Text("Oslo");
  const Rows want = {1, 4};
  struct Case {
    const char* db_code;
    int locale;
    bool sjis_runs;
    bool locale_runs;
  };
  const Case cases[] = {
      {"UTF8", 3, false, true},      {"UTF8", 0, false, false},    {"UTF8", 99, false, true},
      {"UTF8", 42, false, false},    {"Shift_JIS", 0, true, true}, {"Shift_JIS", 3, true, false},
      {"Shift_JIS", 99, true, true}, {"Cp1252", 5, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.db_code) + " locale " + std::to_string(c.locale));
    ASSERT_EQ(RQ7SetDBCharCode(c.db_code), 0);
    const int sets_before = RQ7GetNSet(table_);

    const int sjis = RQ7SearchByFieldSJIS(table_, city_, 1, 0, oslo.data(), nullptr);
    if (c.sjis_runs) {
      EXPECT_EQ(ReadSet(table_, sjis), want);
      EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
    } else {
      EXPECT_EQ(sjis, Q7_ERROR_CHAR_CODE_MISMATCH);
      EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7SearchByFieldSJIS", Q7_ERROR_CHAR_CODE_MISMATCH,
                                                      "Not equal to WS DBCharCode"}}));
    }
    const int by_locale = RQ7SearchByFieldLocale(table_, city_, 1, 0, oslo.data(), nullptr, c.locale);
    if (c.locale_runs) {
      EXPECT_EQ(ReadSet(table_, by_locale), want);
      EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
    } else {
      EXPECT_EQ(by_locale, Q7_ERROR_CHAR_CODE_MISMATCH);
      EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7SearchByFieldLocale", Q7_ERROR_CHAR_CODE_MISMATCH,
                                                      "Invalid Parameter : LocaleID"}}));
    }
    // A refused search made no set, and the lock is free again.
    EXPECT_EQ(RQ7GetNSet(table_), sets_before + (c.sjis_runs ? 1 : 0) + (c.locale_runs ? 1 : 0));
  }
}

// ---- Names ----

TEST_F(SearchSortApi, NamesMapToIdsAndBack) {
  EXPECT_EQ(RQ7GetTableIDFromName("people"), table_);
  EXPECT_EQ(Q7GetTableIDFromName("people"), table_);
  EXPECT_EQ(RQ7GetFilterIDFromName(table_, "city"), city_);
  EXPECT_EQ(Q7GetFilterIDFromName(table_, "city"), city_);
  EXPECT_EQ(RQ7GetFilterIDFromName2(table_, 0, "amount"), amount_);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  EXPECT_EQ(RQ7GetTableIDFromName("nobody"), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "No Table"},
                             {"Q7GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "return of inner call"}}));
  EXPECT_LT(RQ7GetFilterIDFromName(table_, "nothing"), 0);

  char name[256] = {};
  EXPECT_EQ(RQ7SetFilterName(table_, qty_, "quantity"), 0);
  EXPECT_EQ(RQ7GetFilterName(table_, qty_, name), 0);
  EXPECT_STREQ(name, "quantity");
  EXPECT_EQ(RQ7GetFilterIDFromName(table_, "quantity"), qty_);
  EXPECT_EQ(Q7SetFilterName(table_, qty_, "city"), 0);  // taken: made unique
  EXPECT_EQ(Q7GetFilterName(table_, qty_, name), 0);
  EXPECT_STRNE(name, "city");
  EXPECT_EQ(std::string(name).rfind("city", 0), 0u) << name;
  EXPECT_EQ(RQ7GetFilterIDFromName(table_, "city"), city_);

  EXPECT_EQ(RQ7SetSetName(table_, 1, "every row"), 0);
  EXPECT_EQ(RQ7GetSetName(table_, 1, name), 0);
  EXPECT_STREQ(name, "every row");
  EXPECT_EQ(Q7SetSetName(table_, 1, "all"), 0);
  EXPECT_EQ(Q7GetSetName(table_, 1, name), 0);
  EXPECT_STREQ(name, "all");

  // A name that does not fit the 256-byte buffers is refused before it is copied.
  const std::string too_long(256, 'n');
  EXPECT_EQ(RQ7SetFilterName(table_, qty_, too_long.c_str()), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(RQ7SetSetName(table_, 1, too_long.c_str()), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(RQ7GetSetName(table_, 1, name), 0);
  EXPECT_STREQ(name, "all");
}

// ---- Memory sizes, saved flags, settings ----

TEST_F(SearchSortApi, MemorySizesAreSixtyFourBitAndNested) {
  const int64_t total = RQ7GetTotalMemorySize();
  const int64_t table = RQ7GetTableMemorySize(table_);
  const int64_t filter = RQ7GetFilterMemorySize(table_, city_);
  const int64_t set = RQ7GetSetMemorySize(table_, 1);
  EXPECT_GT(filter, 0);
  EXPECT_GT(set, 0);
  EXPECT_GT(table, filter);
  EXPECT_GE(total, table);
  EXPECT_EQ(Q7GetTotalMemorySize(), total);
  EXPECT_EQ(Q7GetTableMemorySize(table_), table);
  EXPECT_EQ(Q7GetFilterMemorySize(table_, city_), filter);
  EXPECT_EQ(Q7GetSetMemorySize(table_, 1), set);
  DrainRing();
  // Failures are the codes widened to 64 bits; a missing filter is not recorded.
  EXPECT_EQ(RQ7GetFilterMemorySize(table_, 77), int64_t{Q7_ERROR_NO_SUCH_FILTER});
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  EXPECT_EQ(RQ7GetSetMemorySize(table_, 77), int64_t{Q7_ERROR_NO_SUCH_SET});
  EXPECT_EQ(RQ7GetTableMemorySize(kNoTable), int64_t{Q7_ERROR_NO_SUCH_TABLE});
}

TEST_F(SearchSortApi, SearchesAndSortsClearTheSetsSavedFlag) {
  EXPECT_EQ(RQ7SetSavedFlag(1), 1);
  EXPECT_EQ(RQ7GetSavedFlag(0), 1);
  Bound five = Bound::Of(5);
  ASSERT_GT(RQ7SearchByField(table_, qty_, 1, 0, five.data(), nullptr), 0);
  EXPECT_EQ(RQ7GetSavedFlag(2), 0);
  EXPECT_EQ(RQ7GetSavedFlag(1), 1);
  EXPECT_EQ(Q7GetSavedFlag(0), 0);
  EXPECT_EQ(Q7SetSavedFlag(1), 1);
  // The task object's sort and the serial one alike.
  ASSERT_GT(RQ7SortByField(table_, qty_, 1, 0), 0);
  EXPECT_EQ(RQ7GetSavedFlag(2), 0);
  EXPECT_EQ(Q7SetSavedFlag(1), 1);
  ASSERT_GT(Q7SortByField(table_, qty_, 1, 0), 0);
  EXPECT_EQ(RQ7GetSavedFlag(2), 0);
  EXPECT_EQ(RQ7SetSavedFlag(0), 1);
  EXPECT_EQ(RQ7GetSavedFlag(1), 0);
  EXPECT_EQ(RQ7GetSavedFlag(7), 0);
}

TEST_F(SearchSortApi, TailSpaceFlagCutsTrailingBlanksOfNewValues) {
  ASSERT_EQ(RQ7SetTailSpaceFlag(1), 0);
  const int cut = q7host::AddStringColumn(table_, "cut", {"ab  ", "c", " d ", "", "e", "f  "});
  ASSERT_EQ(Q7SetTailSpaceFlag(0), 0);
  const int kept = q7host::AddStringColumn(table_, "kept", {"ab  ", "c", " d ", "", "e", "f  "});
  ASSERT_GT(cut, 0);
  ASSERT_GT(kept, 0);
  char text[4096];
  int type = 0;
  ASSERT_GE(RQ7GetData1(table_, cut, 1, 1, &type, text), 0);
  EXPECT_STREQ(text, "ab");
  ASSERT_GE(RQ7GetData1(table_, cut, 1, 3, &type, text), 0);
  EXPECT_STREQ(text, " d");
  ASSERT_GE(RQ7GetData1(table_, kept, 1, 1, &type, text), 0);
  EXPECT_STREQ(text, "ab  ");
}

TEST_F(SearchSortApi, HighSpeedSearchMarksAndSwitches) {
  EXPECT_EQ(RQ7HighSpeedSearchIsEnabled(table_, qty_), 0);
  EXPECT_EQ(RQ7HighSpeedSearchEnable(table_, qty_, true), 0);
  EXPECT_EQ(RQ7HighSpeedSearchIsEnabled(table_, qty_), 1);
  EXPECT_EQ(RQ7HighSpeedSearchIsEnabled(table_, -1), 1);
  EXPECT_EQ(RQ7HighSpeedSearchHasMark(table_, 1, qty_), 0);
  EXPECT_EQ(RQ7HighSpeedSearchSetMark(table_, 1, qty_, true), 0);
  EXPECT_EQ(RQ7HighSpeedSearchHasMark(table_, 1, qty_), 1);
  // A search answered by the view gives the same rows.
  Bound from = Bound::Of(5);
  Bound to = Bound::Of(7);
  Rows rows = ReadSet(table_, RQ7SearchByField(table_, qty_, 1, 1, from.data(), to.data()));
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (Rows{1, 3, 4}));
  // While enabled, the column refuses changes.
  EXPECT_LT(RQ7FillRealEx(table_, 1, qty_, 1, 1, &from.bytes[0]), 0);
  EXPECT_EQ(RQ7HighSpeedSearchSetMark(table_, 1, qty_, false), 0);
  EXPECT_EQ(RQ7HighSpeedSearchHasMark(table_, 1, qty_), 0);
  EXPECT_EQ(RQ7HighSpeedSearchEnable(table_, -1, false), 0);
  EXPECT_EQ(RQ7HighSpeedSearchIsEnabled(table_, -1), 0);
  EXPECT_EQ(RQ7HighSpeedSearchEnable(table_, 0, true), Q7_ERROR_ILLEGAL_FILTER);
}

}  // namespace
