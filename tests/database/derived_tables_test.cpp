// Tables made from tables: duplicates, extracts, combinations of two tables and of a list of
// tables, on a private collection.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "edit_support.h"
#include "table_test_support.h"
#include "tests/support/test_support.h"
#include "values/ArrayFunctions.h"
#include "values/TNumericArray.h"
#include "values/ValueListShare.h"

namespace {

using edtest::Dec;
using edtest::DecNan;
using edtest::kDblNull;
using edtest::kIntNull;

// A Numeric of any 128-bit unscaled value.
Numeric Wide(__int128 v) { return Numeric{static_cast<uint64_t>(v), static_cast<int64_t>(v >> 64)}; }

class DerivedTest : public ttest::TableTest {
 protected:
  // A filter of `type` holding values[i] in record i + 1 (raw elements of the type's width).
  template <class T>
  int Add(TRealTable* t, std::string name, int type, std::vector<T> values) {
    const int id =
        t->AddFilter2(TRealTable::kAppendPosition, name.data(), type, static_cast<int>(values.size()),
                      edtest::RawWidth(type), values.data(), t->FTableID, -1);
    EXPECT_GT(id, 0) << name;
    return id;
  }
  int AddText(TRealTable* t, std::string name, std::vector<const char*> values) {
    return Add(t, name, Q7_TYPE_STRING, values);
  }
  // A set of the given records, registered in t; its ID.
  int AddSet(TRealTable* t, const std::vector<int>& rows) {
    const int id = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    EXPECT_GT(id, 0);
    return id;
  }

  static TFilter* At(TRealTable* t, int pos) { return t->FFilters[pos]; }
  static std::vector<std::string> Values(TFilter* f) { return edtest::Column(f, ArrayDataType(f->VL)); }
  static std::vector<std::string> Values(TRealTable* t, int pos) { return Values(At(t, pos)); }
  static std::vector<std::string> Entries(TFilter* f) {
    std::vector<std::string> out;
    for (int i = 0; i < f->VL->FArraySize; ++i)
      out.push_back(edtest::ListEntry(f->VL, ArrayDataType(f->VL), i));
    return out;
  }
  static std::vector<std::string> Names(TRealTable* t) {
    std::vector<std::string> out;
    for (int i = 0; i < t->FnFilter; ++i) out.push_back(At(t, i)->FFilterName);
    return out;
  }
  static std::vector<int> Ids(TRealTable* t) {
    std::vector<int> out;
    for (int i = 0; i < t->FnFilter; ++i) out.push_back(At(t, i)->FFilterID);
    return out;
  }
  static std::vector<std::string> Ints(std::vector<int> values) {
    std::vector<std::string> out;
    for (int v : values) out.push_back(edtest::FormatRaw(Q7_TYPE_INTEGER, &v));
    return out;
  }

  // Every column of a derived table owns its list and is its own origin.
  static void ExpectOwnColumns(TRealTable* t, TRealTable* source) {
    for (int i = 0; i < t->FnFilter; ++i) {
      TFilter* f = At(t, i);
      SCOPED_TRACE(f->FFilterName);
      EXPECT_EQ(f->FSharedVL, 0);
      EXPECT_EQ(ValueListHolders(f->VL), 1);
      EXPECT_EQ(f->FOrgFltID, f->FFilterID);
      for (int j = 0; source != nullptr && j < source->FnFilter; ++j) EXPECT_NE(f->VL, At(source, j)->VL);
    }
  }

  // The collection must be as before a failed call: no table and no table ID used.
  void ExpectNothingAdded(int tables, int issued) {
    EXPECT_EQ(db_->TableCount(), tables);
    EXPECT_EQ(db_->FTblIDIssued, issued);
  }
};

// ---- Duplicate ----

TEST_F(DerivedTest, DuplicateRenumbersFiltersAndKeepsOnlySetOne) {
  TRealTable* src = Real(AddTable("src", 4));
  Add(src, "i", Q7_TYPE_INTEGER, std::vector<int>{4, kIntNull, 4, -1});
  for (const char* unused : {"x2"}) Add(src, unused, Q7_TYPE_INTEGER, std::vector<int>{0, 0, 0, 0});
  Add(src, "dt", Q7_TYPE_DATE, std::vector<double>{45000, 1, kDblNull, 45000});
  for (const char* unused : {"x4", "x5", "x6"})
    Add(src, unused, Q7_TYPE_INTEGER, std::vector<int>{0, 0, 0, 0});
  Add(src, "n", Q7_TYPE_DECIMAL, std::vector<Numeric>{Dec(150), DecNan(), Dec(-7), Dec(150)});
  AddText(src, "s", {"b", "", "a", "b"});
  for (int id : {2, 4, 5, 6}) ASSERT_EQ(src->DropFilter(id), 0);
  ASSERT_EQ(src->MoveFilter(1, 0), 0);  // display order: filters 3, 1, 7, 8
  ASSERT_EQ(Ids(src), (std::vector<int>{3, 1, 7, 8}));
  static_cast<TNumericArray*>(src->GetFilter(7)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_EVEN);
  AddSet(src, {4, 2});
  AddSet(src, {1});

  const int issued = db_->FTblIDIssued;
  char name[] = "dup";
  const int id = db_->DuplicateRealTable(name, src->FTableID);
  ASSERT_EQ(id, issued + 1);
  TRealTable* dup = Real(id);
  EXPECT_STREQ(dup->FTableName, "dup");
  EXPECT_EQ(Ids(dup), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Names(dup), Names(src));
  for (int i = 0; i < src->FnFilter; ++i) {
    SCOPED_TRACE(Names(src)[static_cast<size_t>(i)]);
    EXPECT_EQ(ArrayDataTypeEx(At(dup, i)->VL), ArrayDataTypeEx(At(src, i)->VL));
    EXPECT_EQ(Values(dup, i), Values(src, i));
    EXPECT_EQ(Entries(At(dup, i)), Entries(At(src, i)));
  }
  EXPECT_EQ(static_cast<TNumericArray*>(At(dup, 2)->VL)->GetScale(), 2);
  EXPECT_EQ(static_cast<TNumericArray*>(At(dup, 2)->VL)->GetRoundingMode(), Q7_ROUND_HALF_EVEN);
  EXPECT_EQ(dup->FnSet, 1);
  EXPECT_EQ(dup->FSetIDs[0], 1);
  EXPECT_EQ(dup->GetCurrentSetID(), 1);
  EXPECT_EQ(ttest::Rows(dup->GetSet(1)), (std::vector<int>{1, 2, 3, 4}));
  ExpectOwnColumns(dup, src);
  edtest::ExpectConsistent(dup, {Q7_TYPE_DATE, Q7_TYPE_INTEGER, Q7_TYPE_DECIMAL, Q7_TYPE_STRING});
}

// Values still pending in a source's filter are part of what a derived table copies.
TEST_F(DerivedTest, DerivedTablesTakePendingValues) {
  constexpr int kRows = 200;
  TRealTable* src = Real(AddTable("src", kRows));
  const int f = Add(src, "v", Q7_TYPE_INTEGER, std::vector<int>(kRows, 5));

  const std::vector<std::function<int(char*)>> derive = {
      [&](char* name) { return db_->DuplicateRealTable(name, src->FTableID); },
      [&](char* name) {
        int ids[] = {f, 0};
        return db_->ExtractRealTable(name, src->FTableID, 1, 0, 0, ids);
      },
      [&](char* name) {
        int ids[] = {f, 0};
        return db_->CombineRealTable(name, 0, 0, src->FTableID, 1, ids, src->FTableID, 1, ids, 0);
      },
  };
  for (size_t k = 0; k < derive.size(); ++k) {
    SCOPED_TRACE(k);
    int value = 77 + static_cast<int>(k);
    ASSERT_EQ(src->OverWriteEx(1, f, 3, 1, &value), 1);
    ASSERT_LT(src->GetFilter(f)->PV->GetInt(3), 0);  // the write went to the pending list
    char name[] = "d";
    TRealTable* t = Real(derive[k](name));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Values(t, 0)[2], std::to_string(value));
    edtest::ExpectConsistent(t, {Q7_TYPE_INTEGER});
  }
}

// A derived table never shares a value list with its sources, even with a column that itself
// borrows its list from another table: it does not depend on them, and outlives them.
TEST_F(DerivedTest, DerivedColumnsNeverShareASourceList) {
  TRealTable* src = Real(AddTable("src", 3));
  const int a = Add(src, "a", Q7_TYPE_INTEGER, std::vector<int>{3, 1, 3});
  TRealTable* user = Real(AddTable("user", 3));
  TFilter* fa = src->GetFilter(a);
  char b_name[] = "b";
  const int b = user->AddFilter(TRealTable::kAppendPosition, b_name,
                                static_cast<TIntArray*>(fa->PV->CopyArray()), fa->VL, true, 0, -1);
  ASSERT_GT(b, 0);
  ASSERT_EQ(ValueListHolders(fa->VL), 2);
  const int src_id = src->FTableID;
  const int user_id = user->FTableID;

  int ids_b[] = {b, 0};
  int ids_a[] = {a, 0};
  char name[] = "d";
  const std::vector<int> derived = {
      db_->DuplicateRealTable(name, user_id),
      db_->ExtractRealTable(name, user_id, 1, 0, 0, ids_b),
      db_->CombineRealTable(name, 0, 0, user_id, 1, ids_b, src_id, 1, ids_a, 0),
  };
  EXPECT_EQ(ValueListHolders(fa->VL), 2);
  int referring[8];
  EXPECT_EQ(db_->ReferedIDList(src_id, referring), 1);  // the borrowing table only
  EXPECT_EQ(referring[0], user_id);
  for (int id : derived) ExpectOwnColumns(Real(id), user);

  ASSERT_EQ(db_->DelTable(user_id), 0);
  ASSERT_EQ(db_->DelTable(src_id), 0);
  EXPECT_EQ(Values(Real(derived[0]), 0), Ints({3, 1, 3}));
  EXPECT_EQ(Values(Real(derived[1]), 0), Ints({3, 1, 3}));
  EXPECT_EQ(Values(Real(derived[2]), 0), Ints({3, 1, 3, 3, 1, 3}));
}

// ---- Extract ----

TEST_F(DerivedTest, ExtractTakesTheSetInOrderWithSourceColumnsFirst) {
  TRealTable* src = Real(AddTable("src", 5));
  const int v = Add(src, "v", Q7_TYPE_INTEGER, std::vector<int>{10, 20, 30, 40, 50});
  const int s = AddText(src, "s", {"e", "d", "c", "b", "a"});
  const int set = AddSet(src, {4, 2, 5});

  int ids[] = {s, v, 0, v};  // the list ends at the 0
  char name[] = "ext";
  TRealTable* ext = Real(db_->ExtractRealTable(name, src->FTableID, set, 1, 1, ids));
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(Names(ext), (std::vector<std::string>{"#TABLE_ID", "#REC_NO", "s", "v"}));
  EXPECT_EQ(Ids(ext), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(ext->TotalRecs(), 3);
  EXPECT_EQ(ext->FnSet, 1);
  const int src_id = src->FTableID;
  EXPECT_EQ(Values(ext, 0), Ints({src_id, src_id, src_id}));
  EXPECT_EQ(Values(ext, 1), Ints({4, 2, 5}));
  EXPECT_EQ(Values(ext, 2), (std::vector<std::string>{"'b'", "'d'", "'a'"}));
  EXPECT_EQ(Values(ext, 3), Ints({40, 20, 50}));
  ExpectOwnColumns(ext, src);

  // A negative set is the current one; no list entry gives no copied column.
  int none[] = {0};
  TRealTable* current = Real(db_->ExtractRealTable(name, src->FTableID, -1, 0, 1, none));
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(Names(current), (std::vector<std::string>{"#REC_NO"}));
  EXPECT_EQ(Values(current, 0), Ints({4, 2, 5}));
}

// The value list is condensed to the used entries when the rows are fewer than 3/4 of its entries.
TEST_F(DerivedTest, ExtractCondensesOnlyForFewRows) {
  struct Case {
    std::vector<int> rows;
    std::vector<int> entries;  // the new list, NULL first
  };
  // Records hold 7, 8, 9, 7: a list of 4 entries with the NULL.
  const Case kCases[] = {
      {{1, 4}, {kIntNull, 7}},           // 2 < 3: condensed
      {{2}, {kIntNull, 8}},              // condensed
      {{1, 4, 1}, {kIntNull, 7, 8, 9}},  // 3 >= 3: copied whole, unused entries and all
      {{}, {kIntNull}},                  // empty set: the NULL alone
  };
  TRealTable* src = Real(AddTable("src", 4));
  const int v = Add(src, "v", Q7_TYPE_INTEGER, std::vector<int>{7, 8, 9, 7});
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.rows));
    int ids[] = {v, 0};
    char name[] = "ext";
    TRealTable* ext = Real(db_->ExtractRealTable(name, src->FTableID, AddSet(src, c.rows), 0, 0, ids));
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(Entries(At(ext, 0)), Ints(c.entries));
    std::vector<int> expected;
    for (int r : c.rows) expected.push_back(std::vector<int>{7, 8, 9, 7}[static_cast<size_t>(r - 1)]);
    EXPECT_EQ(Values(ext, 0), Ints(expected));
    edtest::ExpectConsistent(ext, {Q7_TYPE_INTEGER});
  }

  // A list of the NULL alone is copied even for no row.
  const int nulls = Add(src, "nulls", Q7_TYPE_INTEGER, std::vector<int>(4, kIntNull));
  int ids[] = {nulls, 0};
  char name[] = "ext";
  TRealTable* ext = Real(db_->ExtractRealTable(name, src->FTableID, AddSet(src, {}), 0, 0, ids));
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(Entries(At(ext, 0)), Ints({kIntNull}));
}

// Condensed or copied, a list keeps its type: the extend type of a date, the scale and rounding
// mode of a decimal, the texts of a string list.
TEST_F(DerivedTest, ExtractKeepsEachListsType) {
  TRealTable* src = Real(AddTable("src", 8));
  const int dt = Add(src, "dt", Q7_TYPE_DATE, std::vector<double>{1, 2, 3, 4, 5, 6, 7, kDblNull});
  const int n = Add(src, "n", Q7_TYPE_DECIMAL,
                    std::vector<Numeric>{Dec(1), Dec(2), Dec(3), Dec(4), Dec(5), Dec(6), Dec(7), DecNan()});
  const int s = AddText(src, "s", {"a", "b", "c", "d", "e", "f", "g", ""});
  static_cast<TNumericArray*>(src->GetFilter(n)->VL)->SetDecimalInfo(3, Q7_ROUND_FLOOR);
  for (const std::vector<int>& rows : {std::vector<int>{6, 2}, std::vector<int>{1, 2, 3, 4, 5, 6, 8}}) {
    SCOPED_TRACE(rows.size());
    int ids[] = {dt, n, s, 0};
    char name[] = "ext";
    TRealTable* ext = Real(db_->ExtractRealTable(name, src->FTableID, AddSet(src, rows), 0, 0, ids));
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(ArrayDataTypeEx(At(ext, 0)->VL), Q7_TYPE_DATE);
    auto* decimals = static_cast<TNumericArray*>(At(ext, 1)->VL);
    EXPECT_EQ(decimals->GetScale(), 3);
    EXPECT_EQ(decimals->GetRoundingMode(), Q7_ROUND_FLOOR);
    for (int col = 0; col < 3; ++col) {
      std::vector<std::string> expected;
      const std::vector<std::string> all = Values(src, col);
      for (int r : rows) expected.push_back(all[static_cast<size_t>(r - 1)]);
      EXPECT_EQ(Values(ext, col), expected) << col;
    }
    edtest::ExpectConsistent(ext, {Q7_TYPE_DATE, Q7_TYPE_DECIMAL, Q7_TYPE_STRING});
  }
}

// A filter listed again gets "_#1", "_#2" ...; the new table stops at 512 columns, the two extra
// ones included.
TEST_F(DerivedTest, ExtractNamesRepeatsAndStopsAt512Columns) {
  TRealTable* src = Real(AddTable("src", 1));
  const int a = Add(src, "A", Q7_TYPE_INTEGER, std::vector<int>{1});
  std::vector<int> ids(600, a);
  ids.push_back(0);
  for (int extras : {0, 2}) {
    SCOPED_TRACE(extras);
    char name[] = "ext";
    TRealTable* ext = Real(db_->ExtractRealTable(name, src->FTableID, 1, extras / 2, extras / 2, ids.data()));
    ASSERT_NE(ext, nullptr);
    ASSERT_EQ(ext->FnFilter, TRealTable::kMaxFilters);
    const std::vector<std::string> names = Names(ext);
    EXPECT_EQ(names[static_cast<size_t>(extras)], "A");
    EXPECT_EQ(names[static_cast<size_t>(extras) + 1], "A_#1");
    EXPECT_EQ(names.back(), "A_#" + std::to_string(TRealTable::kMaxFilters - extras - 1));
  }
}

// ---- Combine ----

TEST_F(DerivedTest, CombineStacksTheSetsAndMergesPairedLists) {
  TRealTable* a = Real(AddTable("a", 4));
  const int ax = Add(a, "x", Q7_TYPE_INTEGER, std::vector<int>{1, 3, 1, kIntNull});
  const int only_a = AddText(a, "only_a", {"p", "q", "r", "s"});
  TRealTable* b = Real(AddTable("b", 3));
  const int bx = Add(b, "bx", Q7_TYPE_INTEGER, std::vector<int>{9, 2, 3});
  const int only_b = Add(b, "only_b", Q7_TYPE_DATE, std::vector<double>{10, 20, 30});
  const int set_a = AddSet(a, {3, 2, 1});
  const int set_b = AddSet(b, {2, 3});

  int ids_a[] = {ax, only_a, 0, 0};
  int ids_b[] = {bx, 0, only_b, 0};
  char name[] = "comb";
  TRealTable* c =
      Real(db_->CombineRealTable(name, 1, 1, a->FTableID, set_a, ids_a, b->FTableID, set_b, ids_b, 0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Names(c), (std::vector<std::string>{"TableID", "RECNO", "x", "only_a", "only_b"}));
  EXPECT_EQ(Ids(c), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(c->TotalRecs(), 5);
  const int ta = a->FTableID;
  const int tb = b->FTableID;
  EXPECT_EQ(Values(c, 0), Ints({ta, ta, ta, tb, tb}));
  EXPECT_EQ(Values(c, 1), Ints({3, 2, 1, 2, 3}));
  EXPECT_EQ(Values(c, 2), Ints({1, 3, 1, 2, 3}));
  EXPECT_EQ(Entries(At(c, 2)), Ints({kIntNull, 1, 2, 3, 9}));  // {NULL, 1, 3} and {NULL, 2, 3, 9}
  EXPECT_EQ(Values(c, 3), (std::vector<std::string>{"'r'", "'q'", "'p'", "NULL", "NULL"}));
  const std::vector<std::string> dates = Values(c, 4);
  EXPECT_EQ(std::vector<std::string>(dates.begin(), dates.begin() + 3), std::vector<std::string>(3, "NULL"));
  EXPECT_EQ(ArrayDataTypeEx(At(c, 4)->VL), Q7_TYPE_DATE);
  ExpectOwnColumns(c, a);
  ExpectOwnColumns(c, b);
  edtest::ExpectConsistent(c,
                           {Q7_TYPE_INTEGER, Q7_TYPE_INTEGER, Q7_TYPE_INTEGER, Q7_TYPE_STRING, Q7_TYPE_DATE});
}

TEST_F(DerivedTest, CombiningATableWithItselfDoublesItsRows) {
  TRealTable* a = Real(AddTable("a", 3));
  Add(a, "v", Q7_TYPE_INTEGER, std::vector<int>{5, 6, 5});
  AddText(a, "s", {"x", "", "y"});
  char name[] = "self";
  TRealTable* c =
      Real(db_->CombineRealTable(name, 0, 0, a->FTableID, 1, nullptr, a->FTableID, 1, nullptr, 0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Names(c), Names(a));
  for (int i = 0; i < a->FnFilter; ++i) {
    const std::vector<std::string> once = Values(a, i);
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(Values(c, i), twice);
    EXPECT_EQ(Entries(At(c, i)), Entries(At(a, i)));
  }
}

// Every double kind pairs with every other; the column keeps the first table's kind.
TEST_F(DerivedTest, CombineMergesDoubleKinds) {
  TRealTable* a = Real(AddTable("a", 2));
  const int d = Add(a, "d", Q7_TYPE_DATE, std::vector<double>{45000, 2});
  TRealTable* b = Real(AddTable("b", 2));
  const int x = Add(b, "x", Q7_TYPE_DOUBLE, std::vector<double>{2, 0.5});
  int ids_a[] = {d, 0};
  int ids_b[] = {x, 0};
  char name[] = "c";
  TRealTable* c = Real(db_->CombineRealTable(name, 0, 0, a->FTableID, 1, ids_a, b->FTableID, 1, ids_b, 0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ArrayDataTypeEx(At(c, 0)->VL), Q7_TYPE_DATE);
  std::vector<std::string> expected = Values(a, 0);
  for (const std::string& v : Values(b, 0)) expected.push_back(v);
  EXPECT_EQ(Values(c, 0), expected);
  EXPECT_EQ(At(c, 0)->VL->FArraySize, 4);  // NULL, 0.5, 2, 45000
}

// Decimals combine at the larger scale with that side's rounding mode (the first table's on equal
// scales); a value of the smaller scale that does not fit the larger one becomes NULL.
TEST_F(DerivedTest, CombineUnifiesDecimalScales) {
  struct Case {
    int scale_a, mode_a, scale_b, mode_b;
    int scale, mode;
  };
  const Case kCases[] = {
      {2, Q7_ROUND_HALF_UP, 4, Q7_ROUND_HALF_EVEN, 4, Q7_ROUND_HALF_EVEN},
      {4, Q7_ROUND_FLOOR, 2, Q7_ROUND_CEILING, 4, Q7_ROUND_FLOOR},
      {3, Q7_ROUND_UP, 3, Q7_ROUND_DOWN, 3, Q7_ROUND_UP},
  };
  const __int128 huge = static_cast<__int128>(1) << 125;  // fits any scale of its own, not 100 times
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.scale_a) + " " + std::to_string(c.scale_b));
    TRealTable* a = Real(AddTable("a", 3));
    const int fa = Add(a, "n", Q7_TYPE_DECIMAL, std::vector<Numeric>{Dec(125), Wide(huge), DecNan()});
    static_cast<TNumericArray*>(a->GetFilter(fa)->VL)->SetDecimalInfo(c.scale_a, c.mode_a);
    TRealTable* b = Real(AddTable("b", 2));
    const int fb = Add(b, "m", Q7_TYPE_DECIMAL, std::vector<Numeric>{Dec(-3), Wide(huge)});
    static_cast<TNumericArray*>(b->GetFilter(fb)->VL)->SetDecimalInfo(c.scale_b, c.mode_b);

    int ids_a[] = {fa, 0};
    int ids_b[] = {fb, 0};
    char name[] = "c";
    TRealTable* t = Real(db_->CombineRealTable(name, 0, 0, a->FTableID, 1, ids_a, b->FTableID, 1, ids_b, 0));
    ASSERT_NE(t, nullptr);
    auto* list = static_cast<TNumericArray*>(At(t, 0)->VL);
    EXPECT_EQ(list->GetScale(), c.scale);
    EXPECT_EQ(list->GetRoundingMode(), c.mode);
    __int128 up_a = 1;
    __int128 up_b = 1;
    for (int k = c.scale_a; k < c.scale; ++k) up_a *= 10;
    for (int k = c.scale_b; k < c.scale; ++k) up_b *= 10;
    auto cell = [](Numeric v) { return edtest::FormatRaw(Q7_TYPE_DECIMAL, &v); };
    const std::vector<std::string> expected = {
        cell(Wide(125 * up_a)), up_a == 1 ? cell(Wide(huge)) : "NULL", "NULL",
        cell(Wide(-3 * up_b)),  up_b == 1 ? cell(Wide(huge)) : "NULL",
    };
    EXPECT_EQ(Values(t, 0), expected);
    edtest::ExpectConsistent(t, {Q7_TYPE_DECIMAL});
  }
}

// ---- Consuming combine ----

TEST_F(DerivedTest, ConsumingCombineUsesUpBothSources) {
  TRealTable* a = Real(AddTable("a", 2));
  Add(a, "a1", Q7_TYPE_INTEGER, std::vector<int>{1, 2});
  const int a2 = Add(a, "a2", Q7_TYPE_INTEGER, std::vector<int>{3, 4});
  Add(a, "a3", Q7_TYPE_INTEGER, std::vector<int>{5, 6});
  TRealTable* b = Real(AddTable("b", 1));
  const int b1 = Add(b, "b1", Q7_TYPE_INTEGER, std::vector<int>{7});
  const int key = Add(b, "key", Q7_TYPE_INTEGER, std::vector<int>{8});
  const int join = AddJoin(b->FTableID, key, b->FTableID, key);  // b stays while the join refers to it
  const int a_id = a->FTableID;
  const int b_id = b->FTableID;

  int ids_a[] = {a2, 0};
  int ids_b[] = {b1, 0};
  char name[] = "c";
  const int id = db_->CombineRealTable(name, 0, 1, a_id, 1, ids_a, b_id, 1, ids_b, 1);
  ASSERT_GT(id, 0);
  TRealTable* c = Real(id);
  EXPECT_EQ(Names(c), (std::vector<std::string>{"RECNO", "a2"}));
  EXPECT_EQ(Values(c, 1), Ints({3, 4, 7}));
  EXPECT_EQ(db_->ID2Loc(a_id), Q7_ERROR_NO_SUCH_TABLE);
  ASSERT_GE(db_->ID2Loc(b_id), 0);
  EXPECT_EQ(Ids(b), (std::vector<int>{key}));  // b1 went with its column; the join key cannot
  EXPECT_GE(db_->ID2Loc(join), 0);
}

TEST_F(DerivedTest, ConsumingCombineOfATableWithItselfDropsAColumnAfterItsLastPair) {
  TRealTable* a = Real(AddTable("a", 2));
  const int f1 = Add(a, "f1", Q7_TYPE_INTEGER, std::vector<int>{1, 2});
  const int f2 = Add(a, "f2", Q7_TYPE_INTEGER, std::vector<int>{3, 4});
  const int a_id = a->FTableID;
  int ids_a[] = {f1, f2, 0};
  int ids_b[] = {f2, f1, 0};
  char name[] = "c";
  TRealTable* c = Real(db_->CombineRealTable(name, 0, 0, a_id, 1, ids_a, a_id, 1, ids_b, 1));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Values(c, 0), Ints({1, 2, 3, 4}));
  EXPECT_EQ(Values(c, 1), Ints({3, 4, 1, 2}));
  EXPECT_EQ(db_->ID2Loc(a_id), Q7_ERROR_NO_SUCH_TABLE);
}

// A consuming combine that fails leaves its sources whole while they have given up nothing, and
// deletes both once one of them has.
TEST_F(DerivedTest, FailedConsumingCombineLeavesSourcesWholeOrDeletesThem) {
  const std::string long_name(255, 'L');
  struct Case {
    const char* what;
    bool a_has_unused;              // a holds a filter no pair names, given up before the first column
    std::vector<int> ids_a, ids_b;  // 1: a's long-named filter, 2: a's other; b's filter is 1
    int code;
    bool sources_deleted;
  };
  const Case kCases[] = {
      {"one-sided filter missing", true, {1, 9, 0}, {1, 0, 0}, Q7_ERROR_NO_SUCH_FILTER, false},
      {"types differ", true, {2, 0}, {1, 0}, Q7_ERROR_FILTER_TYPE_MISMATCH, false},
      {"column refused, nothing given up",
       false,
       {1, 1, 0, 0},
       {0, 0, 1, 0},
       Q7_ERROR_ILLEGAL_FILTER_NAME,
       false},
      {"column refused after a filter was given up",
       true,
       {1, 1, 0, 0},
       {0, 0, 1, 0},
       Q7_ERROR_ILLEGAL_FILTER_NAME,
       true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    TRealTable* a = Real(AddTable("a", 1));
    ASSERT_EQ(Add(a, long_name, Q7_TYPE_INTEGER, std::vector<int>{1}), 1);
    if (c.a_has_unused) {
      ASSERT_EQ(AddText(a, "text", {"t"}), 2);
    }
    TRealTable* b = Real(AddTable("b", 1));
    ASSERT_EQ(Add(b, "b", Q7_TYPE_INTEGER, std::vector<int>{2}), 1);
    const int a_id = a->FTableID;
    const int b_id = b->FTableID;
    const int a_filters = a->FnFilter;
    const int tables = db_->TableCount();
    const int issued = db_->FTblIDIssued;

    std::vector<int> ids_a = c.ids_a;
    std::vector<int> ids_b = c.ids_b;
    char name[] = "c";
    EXPECT_EQ(q7test::CodeOf([&] {
                db_->CombineRealTable(name, 0, 0, a_id, 1, ids_a.data(), b_id, 1, ids_b.data(), 1);
              }),
              c.code);
    EXPECT_EQ(db_->FTblIDIssued, issued);
    if (c.sources_deleted) {
      EXPECT_EQ(db_->TableCount(), tables - 2);
      EXPECT_LT(db_->ID2Loc(a_id), 0);
      EXPECT_LT(db_->ID2Loc(b_id), 0);
    } else {
      EXPECT_EQ(db_->TableCount(), tables);
      EXPECT_EQ(a->FnFilter, a_filters);
      EXPECT_EQ(b->FnFilter, 1);
      ASSERT_EQ(db_->DelTable(a_id), 0);
      ASSERT_EQ(db_->DelTable(b_id), 0);
    }
  }
}

// ---- Refusals ----

TEST_F(DerivedTest, RefusalsAddNoTableAndUseNoTableID) {
  TRealTable* a = Real(AddTable("a", 2));
  const int ai = Add(a, "i", Q7_TYPE_INTEGER, std::vector<int>{1, 2});
  const int as = AddText(a, "s", {"x", "y"});
  Add(a, "third", Q7_TYPE_INTEGER, std::vector<int>{1, 2});
  TRealTable* b = Real(AddTable("b", 1));
  const int bi = Add(b, "i", Q7_TYPE_INTEGER, std::vector<int>{1});
  AddText(b, "s", {"z"});
  Add(b, "third", Q7_TYPE_INTEGER, std::vector<int>{1});
  Add(b, "fourth", Q7_TYPE_INTEGER, std::vector<int>{1});
  const int join = AddJoin(a->FTableID, ai, b->FTableID, bi);
  const int ta = a->FTableID;
  const int tb = b->FTableID;

  struct Case {
    const char* what;
    std::function<int(char*)> call;
    int code;
  };
  const std::vector<Case> cases = {
      {"duplicate of a join", [&](char* n) { return db_->DuplicateRealTable(n, join); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"duplicate of no table", [&](char* n) { return db_->DuplicateRealTable(n, 999); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"extract of a join", [&](char* n) { return db_->ExtractRealTable(n, join, 1, 0, 0, nullptr); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"extract of no set", [&](char* n) { return db_->ExtractRealTable(n, ta, 42, 0, 0, nullptr); },
       Q7_ERROR_NO_SUCH_SET},
      {"extract of no filter",
       [&](char* n) {
         int ids[] = {ai, 99, 0};
         return db_->ExtractRealTable(n, ta, 1, 1, 1, ids);
       },
       Q7_ERROR_NO_SUCH_FILTER},
      {"combine with a join",
       [&](char* n) { return db_->CombineRealTable(n, 0, 0, ta, 1, nullptr, join, 1, nullptr, 0); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"combine of no set",
       [&](char* n) { return db_->CombineRealTable(n, 0, 0, ta, 1, nullptr, tb, 7, nullptr, 0); },
       Q7_ERROR_NO_SUCH_SET},
      {"combine of 3 and 4 filters by position (-1 against the fourth)",
       [&](char* n) { return db_->CombineRealTable(n, 0, 0, ta, 1, nullptr, tb, 1, nullptr, 0); },
       Q7_ERROR_FILTER_TYPE_MISMATCH},
      {"combine of a string with an integer",
       [&](char* n) {
         int ids_a[] = {as, 0};
         int ids_b[] = {bi, 0};
         return db_->CombineRealTable(n, 0, 0, ta, 1, ids_a, tb, 1, ids_b, 0);
       },
       Q7_ERROR_FILTER_TYPE_MISMATCH},
      {"combine of a negative ID against a filter",
       [&](char* n) {
         int ids_a[] = {-1, 0};
         int ids_b[] = {bi, 0};
         return db_->CombineRealTable(n, 0, 0, ta, 1, ids_a, tb, 1, ids_b, 0);
       },
       Q7_ERROR_FILTER_TYPE_MISMATCH},
      {"combine of a missing paired filter",
       [&](char* n) {
         int ids_a[] = {ai, 0};
         int ids_b[] = {77, 0};
         return db_->CombineRealTable(n, 0, 0, ta, 1, ids_a, tb, 1, ids_b, 0);
       },
       Q7_ERROR_NO_SUCH_FILTER},
      {"combine of a missing one-sided filter",
       [&](char* n) {
         int ids_a[] = {ai, 77, 0};
         int ids_b[] = {bi, 0, 0};
         return db_->CombineRealTable(n, 0, 0, ta, 1, ids_a, tb, 1, ids_b, 0);
       },
       Q7_ERROR_NO_SUCH_FILTER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int tables = db_->TableCount();
    const int issued = db_->FTblIDIssued;
    char name[] = "derived";
    int result = 0;
    const int thrown = q7test::CodeOf([&] { result = c.call(name); });
    EXPECT_EQ(thrown != 0 ? thrown : result, c.code);
    ExpectNothingAdded(tables, issued);
  }
  // The table level names the pair whose filter is missing.
  DrainRing();
  int ids_a[] = {ai, 77, 0};
  int ids_b[] = {bi, 0, 0};
  char name[] = "derived";
  q7test::CodeOf([&] { db_->CombineRealTable(name, 0, 0, ta, 1, ids_a, tb, 1, ids_b, 0); });
  const std::vector<std::string> ring = DrainRing();
  EXPECT_NE(std::find(ring.begin(), ring.end(), "CombineRealTable|No Such Filter: FltIDList1[1](77)"),
            ring.end())
      << ::testing::PrintToString(ring);
}

TEST_F(DerivedTest, FullCollectionRefusesEveryForm) {
  TRealTable* a = Real(AddTable("a", 1));
  Add(a, "i", Q7_TYPE_INTEGER, std::vector<int>{1});
  const int ta = a->FTableID;
  db_->FTblIDIssued = INT32_MAX;  // no table ID left: Full()
  char name[] = "d";
  EXPECT_EQ(db_->DuplicateRealTable(name, ta), Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(q7test::CodeOf([&] { db_->ExtractRealTable(name, ta, 1, 0, 0, nullptr); }),
            Q7_ERROR_TABLE_COUNT_OVERFLOW);
  DrainRing();
  EXPECT_EQ(db_->CombineRealTable(name, 0, 0, ta, 1, nullptr, ta, 1, nullptr, 0),
            Q7_ERROR_TABLE_COUNT_OVERFLOW);
  int tables[] = {ta, 0};
  int sets[] = {1};
  EXPECT_EQ(db_->CombineTableList(name, tables, sets, nullptr), Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing(), (std::vector<std::string>{"CombineRealTable|TableCount overflow",
                                                   "CombineTableList|TableCount overflow"}));
  EXPECT_EQ(db_->TableCount(), 1);
}

// ---- Combined table list ----

TEST_F(DerivedTest, CombineTableListListsTheRowsOfEveryTable) {
  TRealTable* t1 = Real(AddTable("t1", 3));
  const int a = Add(t1, "a", Q7_TYPE_INTEGER, std::vector<int>{5, 6, 7});
  const int b = Add(t1, "b", Q7_TYPE_INTEGER, std::vector<int>{1, kIntNull, 3});
  TRealTable* t2 = Real(AddTable("t2", 2));
  AddText(t2, "text", {"u", "v"});
  const int c = Add(t2, "c", Q7_TYPE_INTEGER, std::vector<int>{8, 9});
  const int d = Add(t2, "d", Q7_TYPE_INTEGER, std::vector<int>{4, 4});

  int tables[] = {t1->FTableID, t2->FTableID, 0};
  int sets[] = {AddSet(t1, {3, 1}), 1};
  int data1[] = {a, c};
  int data3[] = {b, d};
  int* data[] = {data1, nullptr, data3, nullptr};
  char name[] = "list";
  TRealTable* list = Real(db_->CombineTableList(name, tables, sets, data));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"TableID", "RECNO", "DATA", "DATA_#1"}));
  const int id1 = t1->FTableID;
  const int id2 = t2->FTableID;
  EXPECT_EQ(Values(list, 0), Ints({id1, id1, id2, id2}));
  EXPECT_EQ(Values(list, 1), Ints({3, 1, 1, 2}));
  EXPECT_EQ(Values(list, 2), Ints({7, 5, 8, 9}));
  EXPECT_EQ(Values(list, 3), Ints({3, 1, 4, 4}));

  // At most 64 tables are read: the 65th entry, which names no table, is never looked at.
  std::vector<int> many(64, t2->FTableID);
  many.push_back(999);
  std::vector<int> many_sets(65, 1);
  TRealTable* big = Real(db_->CombineTableList(name, many.data(), many_sets.data(), nullptr));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->TotalRecs(), 128);
}

TEST_F(DerivedTest, CombineTableListRefusalsAreRecordedAndReturned) {
  TRealTable* t = Real(AddTable("t", 2));
  const int i = Add(t, "i", Q7_TYPE_INTEGER, std::vector<int>{1, 2});
  const int s = AddText(t, "s", {"x", "y"});
  const int join = AddJoin(t->FTableID, i, t->FTableID, i);
  const int id = t->FTableID;
  struct Case {
    std::vector<int> tables;
    std::vector<int> sets;
    int data_filter;  // the filter of the first data list; 0: none
    int code;
    std::string entry;  // the last ring entry
  };
  const Case kCases[] = {
      {{id, 999, 0}, {1, 1}, 0, Q7_ERROR_NO_SUCH_TABLE, "CombineTableList|No Such Table: 999 "},
      {{id, join, 0}, {1, 1}, 0, Q7_ERROR_NO_SUCH_TABLE, "CombineTableList|Illegal table type ( Not REAL )"},
      {{id, id, 0}, {1, 5}, 0, Q7_ERROR_NO_SUCH_SET, "CombineTableList|No Such Set: SetIDList[1] 5]"},
      {{id, 0}, {1}, 42, Q7_ERROR_NO_SUCH_FILTER, "CombineTableList|No Such Filter: 42"},
      {{id, 0}, {1}, s, Q7_ERROR_ILLEGAL_FILTER_TYPE, "CombineTableList|Illegal data type ( Not INTEGER )"},
      {{0}, {1}, 0, Q7_ERROR_NO_SUCH_TABLE, "CombineTableList|Not Real Table"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.entry);
    const int tables = db_->TableCount();
    const int issued = db_->FTblIDIssued;
    std::vector<int> ids = c.tables;
    std::vector<int> sets = c.sets;
    std::vector<int> data_ids(ids.size(), c.data_filter);
    int* data[] = {c.data_filter != 0 ? data_ids.data() : nullptr, nullptr, nullptr, nullptr};
    DrainRing();
    char name[] = "list";
    EXPECT_EQ(db_->CombineTableList(name, ids.data(), sets.data(), data), c.code);
    const std::vector<std::string> ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back(), c.entry);
    ExpectNothingAdded(tables, issued);
  }
}

}  // namespace
