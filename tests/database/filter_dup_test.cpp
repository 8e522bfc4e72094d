// Duplicating filters (unchanged and into every other value type) and condensing value lists, also
// while another filter shares the list.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "dup_support.h"
#include "edit_support.h"
#include "foundation/CQ7Exception.h"
#include "table_test_support.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"

namespace {

using duptest::AllTypesTest;
using duptest::ExpectedConversion;
using duptest::Fmt;
using edtest::Cell;
using edtest::Column;
using edtest::Dec;
using edtest::ExpectConsistent;
using ttest::Rows;
using ttest::TableTest;

// ---- Duplicating ----

// Every source type into every target type: the duplicate stands right after its source, holds the
// conversion of each record's value, and has a sorted, distinct list with the NULL first.
TEST_F(AllTypesTest, DuplicatesIntoEveryTypeHoldTheConvertedValues) {
  for (int src = 0; src < duptest::kSourceCount; ++src) {
    for (int type = Q7_TYPE_INTEGER; type <= Q7_TYPE_DECIMAL; ++type) {
      SCOPED_TRACE(std::to_string(duptest::kSourceTypes[src]) + " -> " + std::to_string(type));
      const int id = t_->DupFilterEx(ids_[src], type, 3, Q7_ROUND_HALF_UP);
      ASSERT_GT(id, 0);
      const int pos = t_->FilterID2Pos(id);
      EXPECT_EQ(pos, t_->FilterID2Pos(ids_[src]) + 1);
      TFilter* dup = t_->FFilters[pos];
      EXPECT_EQ(std::string(dup->FFilterName), std::string(t_->GetFilter(ids_[src])->FFilterName) + "_#1");
      EXPECT_EQ(Column(dup, type), ExpectedConversion(t_->GetFilter(ids_[src]), duptest::kSourceTypes[src],
                                                      type, 3, Q7_ROUND_HALF_UP));
      std::vector<int> types = types_;
      types.insert(types.begin() + pos, type);
      ExpectConsistent(t_, types);
      if (type == Q7_TYPE_DECIMAL) {
        EXPECT_EQ(static_cast<TNumericArray*>(dup->VL)->GetScale(), 3);
      }
      if (type >= Q7_TYPE_DOUBLE && type != Q7_TYPE_STRING && type != Q7_TYPE_DECIMAL) {
        EXPECT_EQ(ArrayDataTypeEx(dup->VL), type);
      }
      ASSERT_EQ(t_->DropFilter(id), 0);
    }
  }
}

// Known results that do not go through the converters, to pin the plumbing to real values.
TEST_F(AllTypesTest, KnownConversions) {
  struct Case {
    int src;  // index into the sources
    int type;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      // Doubles that become one integer share one entry.
      {duptest::kDouble, Q7_TYPE_INTEGER, {"1", "1", "-2", "45000", "NULL", "0"}},
      {duptest::kInteger, Q7_TYPE_STRING, {"'20240115'", "'19991231'", "'-3'", "'12'", "NULL", "'12'"}},
      {duptest::kString, Q7_TYPE_INTEGER, {"12", "NULL", "20240115", "NULL", "NULL", "12"}},
      {duptest::kDecimal, Q7_TYPE_DOUBLE, {Fmt(1.5), Fmt(-0.25), "NULL", Fmt(12345.67), Fmt(1.0), Fmt(0.0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const int id = t_->DupFilterEx(ids_[c.src], c.type, 6, Q7_ROUND_HALF_UP);
    ASSERT_GT(id, 0);
    EXPECT_EQ(Column(t_->GetFilter(id), c.type), c.want);
    ASSERT_EQ(t_->DropFilter(id), 0);
  }
  const int id = t_->DupFilterEx(ids_[duptest::kDouble], Q7_TYPE_INTEGER, -1, -1);
  TFilter* dup = t_->GetFilter(id);
  EXPECT_EQ(dup->PV->GetInt(1), dup->PV->GetInt(2));
  EXPECT_EQ(dup->VL->FArraySize, 5);  // NULL, -2, 0, 1, 45000
}

TEST_F(AllTypesTest, SameTypeOrMinusOneMakesAPlainCopy) {
  for (int src = 0; src < duptest::kSourceCount; ++src) {
    const int type = duptest::kSourceTypes[src];
    SCOPED_TRACE(type);
    TFilter* source = t_->GetFilter(ids_[src]);
    NumericInfo info{-1, -1};
    if (type == Q7_TYPE_DECIMAL) static_cast<TNumericArray*>(source->VL)->GetDecimalInfo(&info);
    for (int asked : {-1, type}) {
      const int id = t_->DupFilterEx(ids_[src], asked, info.scale, info.roundingMode);
      ASSERT_GT(id, 0);
      TFilter* dup = t_->GetFilter(id);
      EXPECT_EQ(Column(dup, type), Column(source, type));
      EXPECT_EQ(dup->VL->FArraySize, source->VL->FArraySize);  // nothing merged: a copy
      EXPECT_NE(dup->VL, source->VL);
      ASSERT_EQ(t_->DropFilter(id), 0);
    }
  }
  // A decimal at another scale is converted.
  const int id = t_->DupFilterEx(ids_[duptest::kDecimal], Q7_TYPE_DECIMAL, 0, Q7_ROUND_DOWN);
  EXPECT_EQ(Column(t_->GetFilter(id), Q7_TYPE_DECIMAL),
            (std::vector<std::string>{Fmt(Dec(1)), Fmt(Dec(0)), "NULL", Fmt(Dec(12345)), Fmt(Dec(1)),
                                      Fmt(Dec(0))}));
  EXPECT_EQ(static_cast<TNumericArray*>(t_->GetFilter(id)->VL)->GetScale(), 0);
}

TEST_F(TableTest, DuplicateOfRecNoIsNamedRecnoAndOfTheLastFilterStandsLast) {
  TRealTable* t = Real(AddTable("t", 3));
  const int a = AddIntFilter(t, "a", {1, 2, 3});
  const int recno = AddIntFilter(t, "r", {4, 5, 6});
  // Filters added by name never keep "RecNo" (it becomes "RECNO"); a loaded one may.
  strcpy(t->GetFilter(recno)->FFilterName, "RecNo");
  const int dup = t->DupFilter(recno);
  ASSERT_GT(dup, 0);
  EXPECT_STREQ(t->GetFilter(dup)->FFilterName, "RECNO");
  EXPECT_EQ(t->FilterID2Pos(dup), 2);
  const int dup_a = t->DupFilterEx(a, Q7_TYPE_STRING, -1, -1);
  EXPECT_EQ(t->FilterID2Pos(dup_a), 1);
  EXPECT_STREQ(t->GetFilter(dup_a)->FFilterName, "a_#1");
  // The duplicate keeps no link: a change of the source does not reach it.
  int v = 99;
  ASSERT_EQ(t->OverWriteEx(1, a, 1, 1, &v), 1);
  EXPECT_EQ(Cell(t->GetFilter(dup_a), Q7_TYPE_STRING, 1), "'1'");
}

TEST_F(TableTest, DuplicateRefusals) {
  TRealTable* t = Real(AddTable("t", 3));
  const int a = AddIntFilter(t, "a", {1, 2, 3});
  auto code_of = [](const std::function<int()>& f) {
    try {
      return f();
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  };
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::string entry;  // the last ring entry; empty: none of the operation's own
  };
  const std::vector<Case> cases = {
      {"DupFilter missing", [&] { return t->DupFilter(77); }, Q7_ERROR_NO_SUCH_FILTER,
       "DupFilter|Failed to get FilterName ( FilterID2Name module )"},
      {"DupFilterEx missing", [&] { return t->DupFilterEx(77, 6, -1, -1); }, Q7_ERROR_NO_SUCH_FILTER,
       "DupFilterEx|Failed to get NewFilterName ( FilterID2Name module )"},
      {"DupFilterEx type", [&] { return t->DupFilterEx(a, 9, -1, -1); }, Q7_ERROR_INVALID_DATA_TYPE,
       "DupFilterEx|Illegal data type  : 9"},
      {"DupFilterEx type 1", [&] { return t->DupFilterEx(a, 1, -1, -1); }, Q7_ERROR_INVALID_DATA_TYPE,
       "DupFilterEx|Illegal data type  : 1"},
      {"MppDupFilterEx type", [&] { return t->MppDupFilterEx(a, 0); }, Q7_ERROR_INVALID_DATA_TYPE, ""},
      {"MppDupFilterEx missing", [&] { return t->MppDupFilterEx(77, 6); }, Q7_ERROR_NO_SUCH_FILTER, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DrainRing();
    EXPECT_EQ(code_of(c.call), c.code);
    const std::vector<std::string> entries = DrainRing();
    if (c.entry.empty()) {
      for (const auto& e : entries) EXPECT_EQ(e.find("DupFilter"), std::string::npos) << e;
    } else {
      ASSERT_FALSE(entries.empty());
      EXPECT_EQ(entries.back(), c.entry);
    }
    EXPECT_EQ(t->FnFilter, 1);
  }
  // The filter count is checked first by the serial form.
  for (int i = 1; i < TRealTable::kMaxFilters; ++i) ASSERT_GT(t->DupFilter(a), 0);
  DrainRing();
  EXPECT_EQ(t->DupFilterEx(a, 6, -1, -1), Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing().back(), "DupFilterEx|FilterCount overflow");
  EXPECT_EQ(t->MppDupFilterEx(a, 6), Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing().back(), "AddFilter|FilterCount overflow");
}

// ---- Condensing ----

class CondenseTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("t", 6));
    a_ = AddIntFilter(t_, "a", {5, 1, 9, 5, 3, 9});
  }
  TFilter* A() { return t_->GetFilter(a_); }
  static std::vector<int> Ints(TBaseArray* list) {
    auto* l = static_cast<TIntArray*>(list);
    return std::vector<int>(l->PIntAr(), l->PIntAr() + l->FArraySize);
  }
  TRealTable* t_ = nullptr;
  int a_ = 0;
};

TEST_F(CondenseTest, DropsValuesNoRecordUsesAndKeepsEveryValue) {
  ASSERT_EQ(t_->DelRowsEx(t_->SearchByRowNo(1, 0, 3, 0), 1, 1), 1);  // record 3: one 9
  ASSERT_EQ(t_->DelRows(5, 1), 1);                                   // the other 9
  const std::vector<std::string> before = Column(A(), Q7_TYPE_INTEGER);
  ASSERT_EQ(Ints(A()->VL), (std::vector<int>{INT32_MIN, 1, 3, 5, 9}));
  EXPECT_EQ(t_->CondenseFilter(a_), 0);
  EXPECT_EQ(Ints(A()->VL), (std::vector<int>{INT32_MIN, 1, 3, 5}));
  EXPECT_EQ(Column(A(), Q7_TYPE_INTEGER), before);
  EXPECT_EQ(A()->VL->FAllocSize, 4);
  // Everything in use (the NULL included, though no record is NULL): nothing changes.
  TBaseArray* list = A()->VL;
  EXPECT_EQ(t_->CondenseFilter(a_), 0);
  EXPECT_EQ(A()->VL, list);
  EXPECT_EQ(Ints(A()->VL), (std::vector<int>{INT32_MIN, 1, 3, 5}));
  EXPECT_EQ(t_->CondenseFilter(77), Q7_ERROR_NO_SUCH_FILTER);
}

TEST_F(CondenseTest, MergesPendingValuesFirst) {
  t_ = Real(AddTable("big", 200));
  std::vector<int> v(200);
  for (int i = 0; i < 200; ++i) v[static_cast<size_t>(i)] = i % 7;
  const int id = AddIntFilter(t_, "v", v);
  std::vector<int> fresh{100, 101, 102};
  ASSERT_EQ(t_->OverWriteEx(1, id, 1, 3, fresh.data()), 3);  // 0, 1 and 2 lose a record each
  ASSERT_EQ(t_->GetFilter(id)->TVLCount, 3);
  std::vector<int> all(200, 4);
  ASSERT_EQ(t_->FillEx(1, id, 4, 197, all.data()), 197);  // only the pending values and 4 are left
  const std::vector<std::string> before = Column(t_->GetFilter(id), Q7_TYPE_INTEGER);
  EXPECT_EQ(t_->CondenseTable(), 0);
  EXPECT_EQ(t_->GetFilter(id)->TVLCount, 0);
  EXPECT_EQ(Ints(t_->GetFilter(id)->VL), (std::vector<int>{INT32_MIN, 4, 100, 101, 102}));
  EXPECT_EQ(Column(t_->GetFilter(id), Q7_TYPE_INTEGER), before);
}

TEST_F(CondenseTest, StringListGetsAnExactArea) {
  char name[] = "s";
  std::vector<const char*> texts{"pear", "apple", "fig", "apple", "kiwi", "fig"};
  const int s = t_->AddFilter2(1024, name, Q7_TYPE_STRING, 6, 8, texts.data(), t_->FTableID, -1);
  const char* grape = "grape";
  ASSERT_EQ(t_->FillEx(1, s, 1, 1, &grape), 1);  // pear goes
  ASSERT_EQ(t_->FillEx(1, s, 5, 1, &grape), 1);  // kiwi goes
  const std::vector<std::string> before = Column(t_->GetFilter(s), Q7_TYPE_STRING);
  ASSERT_EQ(t_->CondenseFilter(s), 0);
  auto* list = static_cast<TStrArray*>(t_->GetFilter(s)->VL);
  EXPECT_EQ(Column(t_->GetFilter(s), Q7_TYPE_STRING), before);
  ASSERT_EQ(list->FArraySize, 4);  // "", apple, fig, grape
  EXPECT_EQ(list->FStrAreaSize, 1 + 6 + 4 + 6);
  EXPECT_EQ(list->FCompact, 1);
  EXPECT_STREQ(list->GetPChar(3), "grape");
}

// Two filters on one counted list: condensing one never compacts the list under the other.
TEST_F(CondenseTest, ASharedListIsNeverCompactedUnderTheOtherFilter) {
  const int b = AddIntFilter(t_, "b", {7, 1, 7, 2, 2, 1});
  TFilter* fa = A();
  TFilter* fb = t_->GetFilter(b);
  ASSERT_EQ(AccommodateColumns(fa->PV, &fa->VL, fb->PV, &fb->VL), 1);
  ASSERT_EQ(fa->VL, fb->VL);
  ASSERT_EQ(ValueListHolders(fa->VL), 2);
  TBaseArray* shared = fb->VL;
  const std::vector<int> shared_entries = Ints(shared);
  const std::vector<std::string> a_values = Column(fa, Q7_TYPE_INTEGER),
                                 b_values = Column(fb, Q7_TYPE_INTEGER);

  EXPECT_EQ(t_->CondenseFilter(a_), 0);
  EXPECT_NE(fa->VL, shared);
  EXPECT_EQ(Ints(fa->VL), (std::vector<int>{INT32_MIN, 1, 3, 5, 9}));
  EXPECT_EQ(fb->VL, shared);
  EXPECT_EQ(Ints(shared), shared_entries);
  EXPECT_EQ(ValueListHolders(shared), 1);
  EXPECT_EQ(Column(fa, Q7_TYPE_INTEGER), a_values);
  EXPECT_EQ(Column(fb, Q7_TYPE_INTEGER), b_values);
  // Now b holds the list alone and condenses it in place.
  EXPECT_EQ(t_->CondenseFilter(b), 0);
  EXPECT_EQ(fb->VL, shared);
  EXPECT_EQ(Ints(shared), (std::vector<int>{INT32_MIN, 1, 2, 7}));
  EXPECT_EQ(Column(fb, Q7_TYPE_INTEGER), b_values);
}

// A filter that borrows another's list: the lender is left alone while the borrower exists, and the
// borrower condenses into a list of its own.
TEST_F(CondenseTest, ABorrowedListIsNeverCompactedUnderTheBorrower) {
  TFilter* fa = A();
  // b holds 3 in odd records and 1 in even ones, on a's list (NULL, 1, 3, 5, 9).
  auto* numbers = new TIntArray(7, 1);
  for (int r = 1; r <= 6; ++r) numbers->PutInt(r, r % 2 == 0 ? 1 : 2);
  char name[] = "b";
  const int b = t_->AddFilter(1024, name, numbers, fa->VL, true, 0, -1);
  ASSERT_GT(b, 0);
  TFilter* fb = t_->GetFilter(b);
  ASSERT_EQ(t_->DelRows(2, 1), 1);  // a's only 1 goes; b keeps 1 in record 3 (was 4)
  TBaseArray* lent = fa->VL;
  const std::vector<std::string> a_values = Column(fa, Q7_TYPE_INTEGER),
                                 b_values = Column(fb, Q7_TYPE_INTEGER);
  ASSERT_EQ(b_values, (std::vector<std::string>{"3", "3", "1", "3", "1"}));

  EXPECT_EQ(t_->CondenseTable(), 0);
  // a comes first in display order and is skipped while b borrows its list; b takes its own copy.
  EXPECT_EQ(fa->VL, lent);
  EXPECT_EQ(Ints(lent), (std::vector<int>{INT32_MIN, 1, 3, 5, 9}));
  EXPECT_NE(fb->VL, lent);
  EXPECT_EQ(fb->FSharedVL, 0);
  EXPECT_EQ(Ints(fb->VL), (std::vector<int>{INT32_MIN, 1, 3}));
  EXPECT_EQ(Column(fa, Q7_TYPE_INTEGER), a_values);
  EXPECT_EQ(Column(fb, Q7_TYPE_INTEGER), b_values);
  // With no borrower left, a condenses in place.
  EXPECT_EQ(t_->CondenseFilter(a_), 0);
  EXPECT_EQ(fa->VL, lent);
  EXPECT_EQ(Ints(lent), (std::vector<int>{INT32_MIN, 3, 5, 9}));
  EXPECT_EQ(Column(fa, Q7_TYPE_INTEGER), a_values);
}

}  // namespace
