// Categories, serial road: the operator texts and predicates, the value-list searches, and
// TRealTable::AddCategory over every target type against a row-by-row reference (first matching
// definition wins, NULL the smallest value), the bounds beyond the value list, the refusals with
// their codes and ring entries, and category tables that must not be written to.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "summary/category/CategoryOperators.h"
#include "summary/category/TCatDef.h"
#include "tests/database/table_test_support.h"
#include "tests/summary/category_support.h"
#include "tests/summary/engine_tables_support.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace category_test {
namespace {

// ---- Operator texts ----

struct OpeCase {
  const char* text;
  int code;
};

const OpeCase kOpeTexts[] = {
    {"EQ", 0},
    {"EQUAL", 0},
    {"=", 0},
    {"==", 0},
    {"BTW", 1},
    {"BETWEEN", 1},
    {"<=>", 1},
    {"<==>", 1},
    {"LEQ", 2},
    {"LESSEQUAL", 2},
    {"<=", 2},
    {"GEQ", 3},
    {"GREATEREQUAL", 3},
    {">=", 3},
    {"NEQ", 4},
    {"NOTEQUAL", 4},
    {"!=", 4},
    {"<>", 4},
    {"WI", 5},
    {"WTHN", 5},
    {"WITHIN", 5},
    {"<->", 5},
    {"<-->", 5},
    {"LES", 6},
    {"LESS", 6},
    {"LESSTHAN", 6},
    {"<", 6},
    {"GT", 7},
    {"GREATER", 7},
    {"GREATERTHAN", 7},
    {">", 7},
    // Case, blanks and tabs anywhere.
    {"  between ", 1},
    {"\tBeTwEeN\t", 1},
    {"l e q", 2},
    {"less than", 6},
    {"Less\tThan", 6},
    {"greater equal", 3},
    {"< =", 2},
    {"! =", 4},
    {"< - >", 5},
    {"not equal", 4},
    // Refused: not a spelling, empty, blanks only, other characters.
    {"=<", -1},
    {"=>", -1},
    {"", -1},
    {"   ", -1},
    {" \t \t", -1},
    {"EQQ", -1},
    {"===", -1},
    {"LT", -1},
    {"GE", -1},
    {"LESS-THAN", -1},
    {"EQ\n", -1},
    {"<=>=", -1},
    {"BETWEEN1", -1},
    // Only the first 31 characters are read: 29 blanks and "EQ" fill them, so what follows is ignored.
    {"                             EQ whatever follows", 0},
    {"                             EQUAL", 0},  // reads "EQ" only
    {"                              EQ", -1},   // 30 blanks: only "E" is read
};

TEST(CategoryOperators, Str2OpeCodeReadsEverySpelling) {
  for (const OpeCase& c : kOpeTexts) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    EXPECT_EQ(Str2OpeCode(c.text), c.code);
    std::vector<char> mutable_text(c.text, c.text + std::strlen(c.text) + 1);
    EXPECT_EQ(Str2OpeCode(mutable_text.data()), c.code);
  }
  EXPECT_EQ(Str2OpeCode(nullptr), -1);
  // Exactly 31 characters are read: the letter at the 32nd is not.
  const std::string spaced = std::string("B E T W E E N") + std::string(18, ' ');
  ASSERT_EQ(spaced.size(), 31u);
  EXPECT_EQ(Str2OpeCode((spaced + "XYZ").c_str()), 1);
  EXPECT_EQ(Str2OpeCode((spaced.substr(1) + "XYZ").c_str()), -1);
}

TEST(CategoryOperators, SingleParameterMask) {
  for (int code = -1; code <= 8; ++code) {
    const bool single = code == 0 || code == 2 || code == 3 || code == 4 || code == 6 || code == 7;
    EXPECT_EQ(IsSingleParamOpe(code), single) << code;
  }
}

// ---- Predicates ----

Value Dec(double v, int scale) {
  const NumericInfo info{scale, Q7_ROUND_HALF_UP};
  Numeric n;
  if (v == kNull) {
    n = q7num::NanNumeric();
  } else {
    q7num::NumericDbl2Num(&info, &n, v);
  }
  return Value(&n, &info);
}

struct PredCase {
  int code;
  Value x;
  Value a;
  Value b;
  bool want;
};

TEST(CategoryOperators, PredicatesAtTheirBounds) {
  const PredCase cases[] = {
      {0, 5.0, 5.0, 0.0, true},
      {0, 5.0, 5.000001, 0.0, false},
      {1, 5.0, 5.0, 9.0, true},
      {1, 9.0, 5.0, 9.0, true},
      {1, 4.999, 5.0, 9.0, false},
      {1, 9.001, 5.0, 9.0, false},
      {1, 7.0, 9.0, 5.0, false},  // a > b: empty
      {2, 5.0, 5.0, 0.0, true},
      {2, 5.001, 5.0, 0.0, false},
      {3, 5.0, 5.0, 0.0, true},
      {3, 4.999, 5.0, 0.0, false},
      {4, 5.0, 5.0, 0.0, false},
      {4, 5.5, 5.0, 0.0, true},
      {5, 5.0, 5.0, 9.0, false},
      {5, 9.0, 5.0, 9.0, false},
      {5, 7.0, 5.0, 9.0, true},
      {5, 7.0, 9.0, 5.0, false},
      {6, 5.0, 5.0, 0.0, false},
      {6, 4.999, 5.0, 0.0, true},
      {7, 5.0, 5.0, 0.0, false},
      {7, 5.001, 5.0, 0.0, true},
      // The second parameter is ignored by the single-parameter codes.
      {2, 5.0, 5.0, -100.0, true},
      {7, 6.0, 5.0, -100.0, true},
      // Decimals, across scales and mixed with doubles.
      {0, Dec(1.5, 1), Dec(1.50, 2), 0.0, true},
      {1, Dec(1.25, 2), Dec(1.25, 3), Dec(2.0, 1), true},
      {5, Dec(1.25, 2), Dec(1.25, 3), Dec(2.0, 1), false},
      {6, Dec(1.24, 2), 1.25, 0.0, true},
      {3, 1.25, Dec(1.25, 2), 0.0, true},
      {7, 1.26, Dec(1.25, 2), 0.0, true},
      // NULL (minus infinity) is the smallest double.
      {6, kNull, -1e300, 0.0, true},
      {0, kNull, kNull, 0.0, true},
  };
  const CompFunc named[] = {CompEQ, CompBetween, CompLEQ, CompGEQ, CompNEQ, CompWithin, CompLES, CompGT};
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const PredCase& c = cases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(named[c.code](c.x, c.a, c.b), c.want);
    EXPECT_EQ(kCompFuncs[c.code](c.x, c.a, c.b), c.want);
  }
}

TEST(CategoryOperators, RangePredicatesWithReversedBoundsHoldForNoValue) {
  for (double x = 0; x <= 12; x += 0.5) {
    EXPECT_FALSE(CompBetween(x, 9.0, 5.0)) << x;
    EXPECT_FALSE(CompWithin(x, 9.0, 5.0)) << x;
  }
}

// ---- Searches ----

struct SearchCase {
  double key;
  int where;
  int lo;
  int hi;
};

TEST(CategorySearch, IntAndDoubleListsGiveFlagAndNeighbours) {
  const int ints[] = {kNullInt, 3, 5, 7, 9, 11};
  const double dbls[] = {kNull, 3, 5, 7, 9, 11};
  const SearchCase cases[] = {
      {-3e9, -1, -1, -1},  // below the INTEGER NULL
      {-2147483648.0, 0, 0, 0}, {2, 0, 0, 1}, {3, 0, 1, 1}, {6, 0, 2, 3}, {11, 0, 5, 5}, {11.5, 1, 6, 6},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.key);
    int lo = 99;
    int hi = 99;
    EXPECT_EQ(iBiSectionI(ints, 6, c.key, &lo, &hi), c.where);
    EXPECT_EQ(lo, c.lo);
    EXPECT_EQ(hi, c.hi);
    if (c.key < -2147483648.0 || c.key == -2147483648.0) continue;  // the double list has -inf at 0
    EXPECT_EQ(iBiSectionD(dbls, 6, c.key, &lo, &hi), c.where);
    EXPECT_EQ(lo, c.lo);
    EXPECT_EQ(hi, c.hi);
  }
  int lo = 0;
  int hi = 0;
  EXPECT_EQ(iBiSectionD(dbls, 6, kNull, &lo, &hi), 0);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
}

TEST(CategorySearch, EveryListSizeFindsTheGreatestEntryNotAboveTheKey) {
  // Sizes around powers of two, every key between and on the entries.
  for (int n = 1; n <= 70; ++n) {
    std::vector<int> list(static_cast<size_t>(n));
    list[0] = kNullInt;
    for (int i = 1; i < n; ++i) list[static_cast<size_t>(i)] = 10 * i;
    for (int key = -5; key <= 10 * n + 5; ++key) {
      int lo = 0;
      int hi = 0;
      const int where = iBiSectionI(list.data(), n, key, &lo, &hi);
      int want_lo = 0;
      for (int i = 0; i < n; ++i) {
        if (list[static_cast<size_t>(i)] <= key) want_lo = i;
      }
      if (key > list.back()) {
        ASSERT_EQ(where, 1) << n << " " << key;
        ASSERT_EQ(lo, n);
        ASSERT_EQ(hi, n);
      } else {
        ASSERT_EQ(where, 0) << n << " " << key;
        ASSERT_EQ(lo, want_lo) << n << " " << key;
        ASSERT_EQ(hi, list[static_cast<size_t>(lo)] == key ? lo : lo + 1) << n << " " << key;
      }
    }
  }
}

TEST(CategorySearch, StringAndDecimalLists) {
  TStrArray texts;
  for (const char* s : {"", "apple", "kiwi", "pear"}) texts.AppendData(s);
  int lo = 0;
  int hi = 0;
  EXPECT_EQ(iBiSectionS(texts.Offsets(), texts.FStrArea, 4, "", &lo, &hi), 0);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  EXPECT_EQ(iBiSectionS(texts.Offsets(), texts.FStrArea, 4, "banana", &lo, &hi), 0);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 2);
  EXPECT_EQ(iBiSectionS(texts.Offsets(), texts.FStrArea, 4, "kiwi", &lo, &hi), 0);
  EXPECT_EQ(lo, 2);
  EXPECT_EQ(hi, 2);
  EXPECT_EQ(iBiSectionS(texts.Offsets(), texts.FStrArea, 4, "zebra", &lo, &hi), 1);
  EXPECT_EQ(lo, 4);

  // A list at scale 2 searched with keys at scale 3: the NULL stays below every number.
  const NumericInfo list_info{2, Q7_ROUND_HALF_UP};
  const NumericInfo key_info{3, Q7_ROUND_HALF_UP};
  std::vector<Numeric> list(4);
  list[0] = q7num::NanNumeric();
  const double values[] = {-1.5, 0.25, 2.0};
  for (int i = 0; i < 3; ++i) q7num::NumericDbl2Num(&list_info, &list[static_cast<size_t>(i) + 1], values[i]);
  struct {
    double key;  // kNull: NaN
    int where, lo, hi;
  } cases[] = {{kNull, 0, 0, 0}, {-100, 0, 0, 1}, {-1.5, 0, 1, 1},
               {0.251, 0, 2, 3}, {2.0, 0, 3, 3},  {2.001, 1, 4, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    Numeric key = q7num::NanNumeric();
    if (c.key != kNull) q7num::NumericDbl2Num(&key_info, &key, c.key);
    EXPECT_EQ(iBiSectionN(list.data(), 4, &list_info, &key, &key_info, &lo, &hi), c.where);
    EXPECT_EQ(lo, c.lo);
    EXPECT_EQ(hi, c.hi);
  }
}

TEST(CategorySearch, EmptyOrNegativeSizeIsRefused) {
  const int one[] = {kNullInt};
  int lo = 0;
  int hi = 0;
  for (int n : {0, -1}) {
    try {
      iBiSectionI(one, n, 1.0, &lo, &hi);
      ADD_FAILURE() << "no exception for size " << n;
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), static_cast<int>(Q7_ERROR_INNER_ENGINE));
      EXPECT_STREQ(e.Message(), n == 0 ? "BufSize == 0" : "BufSize < 0 or too large");
    }
  }
}

TEST(CategoryKeys, ConversionTable) {
  const NumericInfo target2{2, Q7_ROUND_HALF_UP};
  const NumericInfo param3{3, Q7_ROUND_HALF_UP};
  TCatKey k{};
  k.i = 7;
  convDataType(Q7_TYPE_INTEGER, nullptr, Q7_TYPE_INTEGER, nullptr, &k);
  EXPECT_EQ(k.d, 7.0);
  // A NULL parameter is the target's NULL.
  k.i = kNullInt;
  convDataType(Q7_TYPE_DOUBLE, nullptr, Q7_TYPE_INTEGER, nullptr, &k);
  EXPECT_EQ(k.d, kNull);
  k.d = kNull;
  convDataType(Q7_TYPE_INTEGER, nullptr, Q7_TYPE_DOUBLE, nullptr, &k);
  EXPECT_EQ(k.d, -2147483648.0);
  q7num::NumericDbl2Num(&param3, &k.n, 1.125);
  convDataType(Q7_TYPE_DOUBLE, nullptr, Q7_TYPE_DECIMAL, &param3, &k);
  EXPECT_EQ(k.d, 1.125);
  k.n = q7num::NanNumeric();
  convDataType(Q7_TYPE_INTEGER, nullptr, Q7_TYPE_DECIMAL, &param3, &k);
  EXPECT_EQ(k.d, -2147483648.0);
  k.n = q7num::NanNumeric();
  convDataType(Q7_TYPE_DOUBLE, nullptr, Q7_TYPE_DECIMAL, &param3, &k);
  EXPECT_EQ(k.d, kNull);
  // Into a decimal target: at the target's scale; the NULLs become NaN.
  k.d = 1.25;
  convDataType(Q7_TYPE_DECIMAL, &target2, Q7_TYPE_DOUBLE, nullptr, &k);
  EXPECT_EQ(q7num::ToInt128(k.n), 125);
  k.d = kNull;
  convDataType(Q7_TYPE_DECIMAL, &target2, Q7_TYPE_DOUBLE, nullptr, &k);
  EXPECT_TRUE(q7num::IsNan(k.n));
  k.i = kNullInt;
  convDataType(Q7_TYPE_DECIMAL, &target2, Q7_TYPE_INTEGER, nullptr, &k);
  EXPECT_TRUE(q7num::IsNan(k.n));
  k.i = -4;
  convDataType(Q7_TYPE_DECIMAL, &target2, Q7_TYPE_INTEGER, nullptr, &k);
  EXPECT_EQ(q7num::ToInt128(k.n), -400);
  // Refused pairs and overflows.
  const int refused[][2] = {{Q7_TYPE_INTEGER, Q7_TYPE_STRING}, {Q7_TYPE_DOUBLE, Q7_TYPE_STRING},
                            {Q7_TYPE_STRING, Q7_TYPE_INTEGER}, {Q7_TYPE_STRING, Q7_TYPE_DOUBLE},
                            {Q7_TYPE_STRING, Q7_TYPE_DECIMAL}, {Q7_TYPE_DECIMAL, Q7_TYPE_STRING},
                            {Q7_TYPE_DATE, Q7_TYPE_DOUBLE}};
  for (const auto& pair : refused) {
    k.d = 1;
    try {
      convDataType(pair[0], &target2, pair[1], &param3, &k);
      ADD_FAILURE() << pair[0] << " " << pair[1];
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), static_cast<int>(Q7_ERROR_INNER_ENGINE));
    }
  }
  k.d = 1e300;
  EXPECT_THROW(convDataType(Q7_TYPE_DECIMAL, &target2, Q7_TYPE_DOUBLE, nullptr, &k), CQ7Exception);
}

// ---- AddCategory ----

// The ring entries written since the last drain, oldest first.
struct RingEntry {
  std::string func;
  int code;
  std::string text;
};
std::vector<RingEntry> DrainRing() {
  std::vector<RingEntry> out;
  ErrorRing* ring = GetErrorRing();
  if (ring == nullptr) return out;
  char func[ErrorRing::kNameSize];
  char text[ErrorRing::kMessageSize];
  int code = 0;
  int time = 0;
  while (ring->Get(&time, func, &code, text) == 1) out.push_back({func, code, text});
  return out;
}
bool RingHas(const std::vector<RingEntry>& ring, const char* func, int code, const std::string& text) {
  for (const RingEntry& e : ring) {
    if (e.func == func && e.code == code && e.text == text) return true;
  }
  return false;
}

bool HoldsText(int code, const std::string& x, const std::string& a, const std::string& b) {
  const int xa = std::strcmp(x.c_str(), a.c_str());
  const int xb = std::strcmp(x.c_str(), b.c_str());
  switch (code) {
    case 0:
      return xa == 0;
    case 1:
      return xa >= 0 && xb <= 0;
    case 2:
      return xa <= 0;
    case 3:
      return xa >= 0;
    case 4:
      return xa != 0;
    case 5:
      return xa > 0 && xb < 0;
    case 6:
      return xa < 0;
    case 7:
      return xa > 0;
    default:
      return false;
  }
}

class CategoryTest : public CategoryTablesTest {
 protected:
  void SetUp() override {
    CategoryTablesTest::SetUp();
    DrainRing();
  }
};

// Every operator, with overlaps (a value covered by several rows takes the first), NULL parameters
// and NULL target values.
const std::vector<DefRow> kMixedDefs = {
    {"EQ", 5, 0, 100},   {"btw", 10, 20, 101},   {"<=", 2, 0, 102},
    {"GEQ", 18, 0, 103}, {" w i ", 20, 40, 104}, {"<", 8, 0, 105},
    {"gt", 6, 0, 106},   {"NEQ", 7, 0, 107},     {"EQ", kNull, 0, 108},
};
const std::vector<double> kMixedValues = {kNull, 1,  2,  3,  5,  5,  6,  7,     8, 9,
                                          10,    15, 18, 20, 25, 40, 41, kNull, 7, 0};

struct TypeCase {
  const char* name;
  int target_type;
  int param_type;
};

TEST_F(CategoryTest, EveryTargetTypeMatchesTheRowByRowReference) {
  const TypeCase cases[] = {
      {"int-int", Q7_TYPE_INTEGER, Q7_TYPE_INTEGER},
      {"int-double", Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE},
      {"int-decimal", Q7_TYPE_INTEGER, Q7_TYPE_DECIMAL},
      {"double-double", Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE},
      {"double-int", Q7_TYPE_DOUBLE, Q7_TYPE_INTEGER},
      {"date-double", Q7_TYPE_DATE, Q7_TYPE_DOUBLE},
      {"decimal-decimal", Q7_TYPE_DECIMAL, Q7_TYPE_DECIMAL},
      {"decimal-double", Q7_TYPE_DECIMAL, Q7_TYPE_DOUBLE},
      {"decimal-int", Q7_TYPE_DECIMAL, Q7_TYPE_INTEGER},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int t = NewTable("T", static_cast<int>(kMixedValues.size()));
    AddTyped(t, "before", Q7_TYPE_INTEGER, std::vector<double>(kMixedValues.size(), 1));
    const int target = AddTyped(t, "price", c.target_type, kMixedValues);
    AddTyped(t, "after", Q7_TYPE_INTEGER, std::vector<double>(kMixedValues.size(), 2));
    const int cats = Categories("CATS", kMixedDefs, c.param_type);
    const int id = Table(t)->AddCategory(target, cats);
    ASSERT_GT(id, 0);
    EXPECT_EQ(CategoryValues(t, id), Reference(c.target_type, kMixedValues, kMixedDefs));
    // Right after the target, named after the category table and the target filter.
    EXPECT_EQ(Table(t)->FilterID2Pos(id), Table(t)->FilterID2Pos(target) + 1);
    EXPECT_EQ(std::string(Table(t)->GetFilter(id)->FFilterName),
              std::string(Table(cats)->FTableName) + "(price)");
    EXPECT_EQ(Table(t)->GetNFilter(), 4);
  }
}

TEST_F(CategoryTest, RandomDefinitionListsMatchTheReference) {
  // Many short definition lists over a small value domain: the interval list is cut, split, emptied
  // and rebuilt (NEQ) in every order.
  const char* ops[] = {"EQ", "BTW", "LEQ", "GEQ", "NEQ", "WI", "LES", "GT"};
  std::mt19937 rng(20261210);
  std::uniform_int_distribution<int> value(-2, 30);
  std::uniform_int_distribution<int> op(0, 7);
  std::uniform_int_distribution<int> defs_count(1, 12);
  const int n = 40;
  const int t = NewTable("T", n);
  std::vector<double> values(n);
  for (double& v : values) {
    const int x = value(rng);
    v = x < 0 ? kNull : x;
  }
  const int target = AddTyped(t, "v", Q7_TYPE_INTEGER, values);
  for (int trial = 0; trial < 150; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<DefRow> defs;
    const int k = defs_count(rng);
    for (int d = 0; d < k; ++d) {
      const int a = value(rng);
      const int b = value(rng);
      const int code = op(rng);
      defs.push_back({ops[code], a < 0 ? kNull : a, b < 0 ? kNull : b, d + 1});
    }
    const int cats = Categories("C", defs, Q7_TYPE_INTEGER);
    const int id = Table(t)->AddCategory(target, cats);
    ASSERT_GT(id, 0);
    ASSERT_EQ(CategoryValues(t, id), Reference(Q7_TYPE_INTEGER, values, defs));
    ASSERT_EQ(Table(t)->DropFilter(id), 0);
    ASSERT_EQ(db_->DelTable(cats), 0);
    tables_.pop_back();
  }
}

TEST_F(CategoryTest, StringTargetsTakeTextParameters) {
  const std::vector<const char*> values = {"pear",  nullptr, "apple", "kiwi", "banana",
                                           "apple", "zz",    "",      "fig"};
  struct TextDef {
    const char* op;
    const char* p1;
    const char* p2;
    int category;
  };
  const std::vector<TextDef> defs = {
      {"EQ", "kiwi", "", 1}, {"BETWEEN", "b", "fig", 2}, {"LESS", "b", "", 3},
      {"EQ", "", "", 4},     {"WITHIN", "fig", "zz", 5},
  };
  const int t = NewTable("T", static_cast<int>(values.size()));
  const int target = AddStrings(t, "name", values);
  const int c = NewTable("KINDS", static_cast<int>(defs.size()));
  std::vector<const char*> ops;
  std::vector<const char*> p1;
  std::vector<const char*> p2;
  std::vector<double> cats;
  for (const TextDef& d : defs) {
    ops.push_back(d.op);
    p1.push_back(d.p1);
    p2.push_back(d.p2);
    cats.push_back(d.category);
  }
  AddStrings(c, "OP", ops);
  AddStrings(c, "P1", p1);
  AddStrings(c, "P2", p2);
  AddTyped(c, "CAT", Q7_TYPE_INTEGER, cats);
  const int id = Table(t)->AddCategory(target, c);
  ASSERT_GT(id, 0);
  std::vector<int> want;
  for (const char* v : values) {
    const std::string x = v == nullptr ? "" : v;
    int cat = kNullInt;
    for (const TextDef& d : defs) {
      if (HoldsText(Str2OpeCode(d.op), x, d.p1, d.p2)) {
        cat = d.category;
        break;
      }
    }
    want.push_back(cat);
  }
  EXPECT_EQ(CategoryValues(t, id), want);
  EXPECT_STREQ(Table(t)->GetFilter(id)->FFilterName, "KINDS(name)");
}

// Each definition on its own over the values 3, 5, 7, 9, 11 (and NULL): the categorised values.
struct SingleCase {
  const char* name;
  DefRow def;
  std::vector<double> covered;  // kNull: the NULL value
};

TEST_F(CategoryTest, OneDefinitionCoversExactlyItsValues) {
  const std::vector<double> values = {kNull, 3, 5, 7, 9, 11};
  const double above = 1e12;
  const double below = -3e9;  // below the INTEGER NULL
  const SingleCase cases[] = {
      {"btw 5 9", {"BTW", 5, 9, 1}, {5, 7, 9}},
      {"within 5 9", {"WITHIN", 5, 9, 1}, {7}},
      {"btw 9 5", {"BTW", 9, 5, 1}, {}},
      {"within 6 8", {"WI", 6, 8, 1}, {7}},
      {"btw 4 10", {"BTW", 4, 10, 1}, {5, 7, 9}},
      {"eq absent", {"EQ", 6, 0, 1}, {}},
      {"eq present", {"EQ", 7, 0, 1}, {7}},
      {"neq absent", {"NEQ", 6, 0, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"neq present", {"NEQ", 7, 0, 1}, {kNull, 3, 5, 9, 11}},
      {"les above all", {"LES", above, 0, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"leq above all", {"LEQ", above, 0, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"leq last", {"LEQ", 11, 0, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"les last", {"LES", 11, 0, 1}, {kNull, 3, 5, 7, 9}},
      {"les 5", {"LES", 5, 0, 1}, {kNull, 3}},
      {"leq below all", {"LEQ", below, 0, 1}, {}},
      {"gt below all", {"GT", below, 0, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"geq below all", {"GEQ", below, 0, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"gt 9", {"GT", 9, 0, 1}, {11}},
      {"geq 9", {"GEQ", 9, 0, 1}, {9, 11}},
      {"gt above all", {"GT", above, 0, 1}, {}},
      {"geq last", {"GEQ", 11, 0, 1}, {11}},
      {"eq NULL", {"EQ", kNull, 0, 1}, {kNull}},
      {"neq NULL", {"NEQ", kNull, 0, 1}, {3, 5, 7, 9, 11}},
      // Bounds beyond the value list on either side of a range.
      {"btw below..inside", {"BTW", below, 7, 1}, {kNull, 3, 5, 7}},
      {"within below..inside", {"WI", below, 7, 1}, {kNull, 3, 5}},
      {"btw below..above", {"BTW", below, above, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"within below..above", {"WI", below, above, 1}, {kNull, 3, 5, 7, 9, 11}},
      {"btw below..below", {"BTW", below, below, 1}, {}},
      {"within below..below", {"WI", below, below - 1, 1}, {}},
      {"btw inside..below", {"BTW", 5, below, 1}, {}},
      {"btw inside..above", {"BTW", 8, above, 1}, {9, 11}},
      {"within inside..above", {"WI", 9, above, 1}, {11}},
      {"btw above..above", {"BTW", above, above + 1, 1}, {}},
      {"btw above..below", {"BTW", above, below, 1}, {}},
      {"btw NULL..5", {"BTW", kNull, 5, 1}, {kNull, 3, 5}},
  };
  for (const SingleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int t = NewTable("T", static_cast<int>(values.size()));
    const int target = AddTyped(t, "v", Q7_TYPE_INTEGER, values);
    const int cats = Categories("C", {c.def}, Q7_TYPE_DOUBLE);
    const int id = Table(t)->AddCategory(target, cats);
    ASSERT_GT(id, 0);
    std::vector<int> want;
    for (double v : values) {
      bool in = false;
      for (double w : c.covered) in = in || w == v;
      want.push_back(in ? 1 : kNullInt);
    }
    EXPECT_EQ(CategoryValues(t, id), want);
  }
}

TEST_F(CategoryTest, EarlierRowsWinAndLaterRowsFillTheGaps) {
  // Rows 2 and 5 both cover 7: row 2's category. Splits of one interval in several places.
  const std::vector<double> values = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, kNull};
  const std::vector<DefRow> defs = {
      {"EQ", 4, 0, 10}, {"WI", 6, 8, 20},   {"EQ", 2, 0, 30},
      {"EQ", 9, 0, 40}, {"BTW", 1, 10, 50}, {"NEQ", 1, 0, 60},
  };
  const int t = NewTable("T", static_cast<int>(values.size()));
  const int target = AddTyped(t, "v", Q7_TYPE_DOUBLE, values);
  const int cats = Categories("C", defs, Q7_TYPE_DOUBLE);
  const int id = Table(t)->AddCategory(target, cats);
  ASSERT_GT(id, 0);
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{50, 30, 50, 10, 50, 50, 20, 50, 40, 50, 60}));
}

TEST_F(CategoryTest, CategoryValuesMayBeTextAndRepeat) {
  const std::vector<double> values = {1, 5, 9, kNull};
  const int t = NewTable("T", 4);
  const int target = AddTyped(t, "v", Q7_TYPE_INTEGER, values);
  const int c = NewTable("C", 3);
  AddStrings(c, "OP", {"LEQ", "GEQ", "EQ"});
  AddTyped(c, "P1", Q7_TYPE_INTEGER, {3, 7, 5});
  AddTyped(c, "P2", Q7_TYPE_INTEGER, {0, 0, 0});
  AddStrings(c, "CAT", {"low", "high", "low"});
  const int id = Table(t)->AddCategory(target, c);
  ASSERT_GT(id, 0);
  TFilter* f = Table(t)->GetFilter(id);
  ASSERT_EQ(f->VL->GetDataType(), Q7_TYPE_STRING);
  std::vector<std::string> got;
  for (int r = 1; r <= 4; ++r) got.push_back(static_cast<char*>(f->VL->GetAddress(f->PV->PIntAr()[r])));
  // NULL is below 3: "low" too.
  EXPECT_EQ(got, (std::vector<std::string>{"low", "low", "high", "low"}));
}

TEST_F(CategoryTest, TargetInTheCategoryTableItself) {
  // The category-value filter is the target: condensing it renumbers the target first.
  const int t = NewTable("SELF", 4);
  AddStrings(t, "OP", {"LES", "GEQ", "EQ", "EQ"});
  AddTyped(t, "P1", Q7_TYPE_INTEGER, {20, 20, 0, 0});
  AddTyped(t, "P2", Q7_TYPE_INTEGER, {0, 0, 0, 0});
  const int cat = AddTyped(t, "CAT", Q7_TYPE_INTEGER, {10, 30, 20, 40});
  int fresh = 99;
  ASSERT_GE(Table(t)->OverWriteEx(1, cat, 4, 1, &fresh), 0);  // 40 stays in the list, unused
  const int id = Table(t)->AddCategory(cat, t);
  ASSERT_GT(id, 0);
  // 10 < 20 -> 10, 30 >= 20 -> 30, 20 >= 20 -> 30, 99 -> 30.
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{10, 30, 30, 30}));
  EXPECT_STREQ(Table(t)->GetFilter(id)->FFilterName, "SELF(CAT)");
}

TEST_F(CategoryTest, SharedCategoryTableIsNeverWritten) {
  const std::vector<double> values = {1, 5, 9};
  const int t = NewTable("T", 3);
  const int target = AddTyped(t, "v", Q7_TYPE_INTEGER, values);
  const int c = NewTable("C", 2);
  const int op = AddStrings(c, "OP", {"EQ", "bogus"});
  AddTyped(c, "P1", Q7_TYPE_INTEGER, {5, 5});
  AddTyped(c, "P2", Q7_TYPE_INTEGER, {0, 0});
  const int cat = AddTyped(c, "CAT", Q7_TYPE_INTEGER, {1, 77});
  // Row 2 becomes "GT 5" / 2: "bogus" and 77 stay in the value lists, used by no row.
  const char* gt = "GT";
  ASSERT_GE(Table(c)->OverWriteEx(1, op, 2, 1, &gt), 0);
  int two = 2;
  ASSERT_GE(Table(c)->OverWriteEx(1, cat, 2, 1, &two), 0);
  TFilter* op_filter = Table(c)->GetFilter(op);
  TFilter* cat_filter = Table(c)->GetFilter(cat);
  Table(c)->CheckMergeFilterTVL(false);
  const TBaseArray* op_list = op_filter->VL;
  const TIntArray* op_rows = op_filter->PV;
  const int op_entries = op_list->FArraySize;
  const int cat_entries = cat_filter->VL->FArraySize;
  std::vector<int> cat_rows(cat_filter->PV->PIntAr(), cat_filter->PV->PIntAr() + 3);

  Table(c)->FShmImage = 1;
  const int id = Table(t)->AddCategory(target, c);
  Table(c)->FShmImage = 0;
  ASSERT_GT(id, 0);
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{kNullInt, 1, 2}));
  EXPECT_EQ(op_filter->VL, op_list);
  EXPECT_EQ(op_filter->PV, op_rows);
  EXPECT_EQ(op_filter->VL->FArraySize, op_entries);
  EXPECT_EQ(cat_filter->VL->FArraySize, cat_entries);
  EXPECT_EQ(std::vector<int>(cat_filter->PV->PIntAr(), cat_filter->PV->PIntAr() + 3), cat_rows);

  // Not shared: the unused texts and categories are condensed away first.
  const int id2 = Table(t)->AddCategory(target, c);
  ASSERT_GT(id2, 0);
  EXPECT_EQ(CategoryValues(t, id2), (std::vector<int>{kNullInt, 1, 2}));
  EXPECT_LT(op_filter->VL->FArraySize, op_entries);
  EXPECT_EQ(Table(t)->GetFilter(id2)->VL->FArraySize, 3);  // NULL, 1, 2
  // The second column over the same target takes the next free name.
  EXPECT_STREQ(Table(t)->GetFilter(id)->FFilterName, "C(v)");
  EXPECT_STREQ(Table(t)->GetFilter(id2)->FFilterName, "C(v)_#1");
}

// ---- Refusals ----

struct RefusalCase {
  const char* name;
  std::function<int(CategoryTest*, int* target)> build;  // makes the tables; returns the category table ID
  int code;
  const char* func;
  std::string text;
};

TEST_F(CategoryTest, RefusalsGiveTheirCodeAndRingEntryAndLeaveTheTarget) {
  auto four = [](CategoryTest* f, const std::vector<const char*>& ops, int p1_type, int p2_type) {
    const int c = f->NewTable("C", static_cast<int>(ops.size()));
    f->AddStrings(c, "OP", ops);
    f->AddTyped(c, "P1", p1_type, std::vector<double>(ops.size(), 1));
    f->AddTyped(c, "P2", p2_type, std::vector<double>(ops.size(), 2));
    f->AddTyped(c, "CAT", Q7_TYPE_INTEGER, std::vector<double>(ops.size(), 3));
    return c;
  };
  const std::vector<RefusalCase> cases = {
      {"no such table", [](CategoryTest*, int*) { return 987654; }, Q7_ERROR_NO_SUCH_TABLE, "AddCategory",
       "No Such Table: 987654 "},
      {"not a real table",
       [](CategoryTest* f, int*) {
         auto* join = new ttest::JoinStandIn(f->db_->IssueTableID(), f->db_, 0, 0, 0, 0);
         f->db_->AppendTable(join);
         f->tables_.push_back(join->FTableID);
         return join->FTableID;
       },
       Q7_ERROR_NOT_REAL_TYPE, "AddCategory", "Illegal table type ( Not REAL )"},
      {"no rows", [&](CategoryTest* f, int*) { return four(f, {}, Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE); },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "no definition in category table"},
      {"three filters",
       [](CategoryTest* f, int*) {
         const int c = f->NewTable("C", 1);
         f->AddStrings(c, "OP", {"EQ"});
         f->AddTyped(c, "P1", Q7_TYPE_DOUBLE, {1});
         f->AddTyped(c, "P2", Q7_TYPE_DOUBLE, {1});
         return c;
       },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "Illegal data table"},
      {"command not text",
       [](CategoryTest* f, int*) {
         const int c = f->NewTable("C", 1);
         f->AddTyped(c, "OP", Q7_TYPE_INTEGER, {0});
         f->AddTyped(c, "P1", Q7_TYPE_DOUBLE, {1});
         f->AddTyped(c, "P2", Q7_TYPE_DOUBLE, {1});
         f->AddTyped(c, "CAT", Q7_TYPE_DOUBLE, {1});
         return c;
       },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "Illegal data type ( command is Not STRING )"},
      {"param types differ",
       [&](CategoryTest* f, int*) { return four(f, {"EQ"}, Q7_TYPE_DOUBLE, Q7_TYPE_INTEGER); },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "data type differs between param1 and param2"},
      {"blank command",
       [&](CategoryTest* f, int*) {
         return four(f, {"EQ", nullptr}, Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE);
       },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "blank command/operator not allowed"},
      {"not an operator",
       [&](CategoryTest* f, int*) {
         return four(f, {"EQ", "=<"}, Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE);
       },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "Illegal data"},
      {"blanks only",
       [&](CategoryTest* f, int*) { return four(f, {"  \t"}, Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE); },
       Q7_ERROR_CATEGORY_DEFINITION, "Constructor of TCatDef", "Illegal data"},
      {"no such target filter",
       [&](CategoryTest* f, int* target) {
         *target = 4321;
         return four(f, {"EQ"}, Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE);
       },
       Q7_ERROR_NO_SUCH_FILTER, "Constructor of TCatTarget", "No Such Filter: 4321"},
      {"text target, number parameters",
       [&](CategoryTest* f, int* target) {
         *target = f->AddStrings(f->tables_.front(), "name", {"a", "b", "c"});
         return four(f, {"EQ"}, Q7_TYPE_DOUBLE, Q7_TYPE_DOUBLE);
       },
       Q7_ERROR_INNER_ENGINE, nullptr, ""},
      {"number target, text parameters",
       [&](CategoryTest* f, int*) {
         const int c = f->NewTable("C", 1);
         f->AddStrings(c, "OP", {"EQ"});
         f->AddStrings(c, "P1", {"x"});
         f->AddStrings(c, "P2", {"y"});
         f->AddTyped(c, "CAT", Q7_TYPE_INTEGER, {1});
         return c;
       },
       Q7_ERROR_INNER_ENGINE, nullptr, ""},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int t = NewTable("T", 3);
    int target = AddTyped(t, "v", Q7_TYPE_INTEGER, {1, 2, 3});
    const int cats = c.build(this, &target);
    const int filters = Table(t)->GetNFilter();
    DrainRing();
    EXPECT_EQ(Table(t)->AddCategory(target, cats), c.code);
    EXPECT_EQ(Table(t)->GetNFilter(), filters);
    if (c.func != nullptr) {
      const auto ring = DrainRing();
      EXPECT_TRUE(RingHas(ring, c.func, c.code, c.text)) << "ring entries: " << ring.size();
    }
    for (int id : tables_) db_->DelTable(id);
    tables_.clear();
  }
}

TEST_F(CategoryTest, RefusedConstructionFreesWhatItTook) {
  // A TCatDef built directly: the refusal is a CQ7Exception with the code (nothing leaks under ASan).
  const int t = NewTable("T", 2);
  const int target = AddTyped(t, "v", Q7_TYPE_INTEGER, {1, 2});
  const int c = NewTable("C", 1);
  AddStrings(c, "OP", {"foo"});
  AddTyped(c, "P1", Q7_TYPE_DOUBLE, {1});
  AddTyped(c, "P2", Q7_TYPE_DOUBLE, {1});
  AddTyped(c, "CAT", Q7_TYPE_INTEGER, {1});
  try {
    TCatDef def(c, Table(t)->GetFilter(target), db_);
    ADD_FAILURE() << "built";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<int>(Q7_ERROR_CATEGORY_DEFINITION));
  }
}

TEST_F(CategoryTest, AllValuesAssignedStopsBeforeTheLaterRows) {
  // Row 1 covers everything; row 2 would be refused by its parameter conversion if it were read.
  const int t = NewTable("T", 3);
  const int target = AddTyped(t, "v", Q7_TYPE_DECIMAL, {1, kNull, 3});
  const int cats = Categories("C", {{"NEQ", 1e6, 0, 1}, {"EQ", 1e300, 0, 2}}, Q7_TYPE_DOUBLE);
  const int id = Table(t)->AddCategory(target, cats);
  ASSERT_GT(id, 0);
  EXPECT_EQ(CategoryValues(t, id), (std::vector<int>{1, 1, 1}));
}

}  // namespace
}  // namespace category_test
