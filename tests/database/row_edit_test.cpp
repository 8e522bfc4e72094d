// Row editing of a real table: deleting, inserting, overwriting and filling keep every set and
// filter consistent, refusals change nothing, and the find session goes stale on every row change.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "edit_support.h"
#include "foundation/CQ7Exception.h"
#include "table_test_support.h"
#include "values/CompileSettings.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using edtest::Cell;
using edtest::Column;
using edtest::Dec;
using edtest::EditTableTest;
using ttest::Rows;
using ttest::TableTest;

// ---- Random edits against the model ----

class RandomEditTest : public EditTableTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RandomEditTest, EveryEditKeepsSetsAndFiltersMatchingTheModel) {
  Build(150, 7);
  SetPending(GetParam());
  RandomEdits(250, false, 60);
  // Both ways of writing were taken: through the pending list (when on) and by merging lists.
  EXPECT_EQ(pending_writes_ > 0, GetParam());
  EXPECT_GT(merged_writes_, 0);
}

INSTANTIATE_TEST_SUITE_P(PendingListOnAndOff, RandomEditTest, ::testing::Bool());

// ---- The cases of the operations one by one ----

class RowEditTest : public TableTest {
 protected:
  // A table of n records with an INTEGER filter holding 10 r in record r.
  void Build(int n) {
    t_ = Real(AddTable("t", n));
    std::vector<int> v;
    for (int r = 1; r <= n; ++r) v.push_back(10 * r);
    f_ = AddIntFilter(t_, "v", v);
    ASSERT_GT(f_, 0);
  }
  int AddSet(std::vector<int> rows) { return t_->AddSetFromRows(static_cast<int>(rows.size()), rows.data()); }
  std::vector<std::string> Values() { return Column(t_->GetFilter(f_), Q7_TYPE_INTEGER); }
  TRealTable* t_ = nullptr;
  int f_ = 0;
};

TEST_F(RowEditTest, DeletingRecordsRenumbersEverySet) {
  Build(5);
  const int s = AddSet({2, 4, 5});
  EXPECT_EQ(t_->DelRows(3, 2), 2);
  EXPECT_EQ(Rows(t_->GetSet(s)), (std::vector<int>{2, 3}));
  EXPECT_EQ(Rows(t_->FSets[0]), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Values(), (std::vector<std::string>{"10", "20", "50"}));
  // A count past the end is cut at the last record.
  EXPECT_EQ(t_->DelRows(2, 10), 2);
  EXPECT_EQ(Values(), (std::vector<std::string>{"10"}));
}

TEST_F(RowEditTest, DeletingRowsOfASetDeletesTheirRecords) {
  Build(5);
  const int odd = AddSet({1, 3, 5});
  const int tail = AddSet({2, 3, 4, 5});
  EXPECT_EQ(t_->DelRowsEx(odd, 2, 2), 2);
  EXPECT_EQ(Rows(t_->GetSet(odd)), (std::vector<int>{1}));
  EXPECT_EQ(Rows(t_->GetSet(tail)), (std::vector<int>{2, 3}));
  EXPECT_EQ(Values(), (std::vector<std::string>{"10", "20", "40"}));
  EXPECT_EQ(t_->DelRowsEx(tail, 2, 50), 1);
  EXPECT_EQ(Values(), (std::vector<std::string>{"10", "20"}));
}

TEST_F(RowEditTest, InsertingRecordsMovesLaterRecordsUpInEverySet) {
  Build(5);
  const int s = AddSet({1, 5, 3});
  EXPECT_EQ(t_->InsRows(0, 2), 2);
  EXPECT_EQ(Rows(t_->GetSet(s)), (std::vector<int>{3, 7, 5}));
  EXPECT_EQ(Rows(t_->FSets[0]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Values(), (std::vector<std::string>{"NULL", "NULL", "10", "20", "30", "40", "50"}));
  EXPECT_EQ(t_->InsRows(100, 1), 1);
  EXPECT_EQ(t_->TotalRecs(), 8);
  EXPECT_EQ(Values().back(), "NULL");
  EXPECT_EQ(t_->InsRows(4, 1), 1);
  EXPECT_EQ(Rows(t_->GetSet(s)), (std::vector<int>{3, 8, 6}));
}

TEST_F(RowEditTest, InsertingRecordsMovesPendingValuesAlong) {
  Build(300);
  int v = 77777;  // new to the list, small write: goes to the pending list
  EXPECT_EQ(t_->OverWriteEx(1, f_, 50, 1, &v), 1);
  TFilter* f = t_->GetFilter(f_);
  ASSERT_EQ(f->TVLCount, 1);
  EXPECT_EQ(t_->InsRows(10, 5), 5);
  EXPECT_EQ(Cell(f, Q7_TYPE_INTEGER, 55), "77777");
  EXPECT_TRUE(f->MergeTVL(false));
  EXPECT_EQ(Cell(f, Q7_TYPE_INTEGER, 55), "77777");
  EXPECT_EQ(Cell(f, Q7_TYPE_INTEGER, 50), "450");
}

TEST_F(RowEditTest, OverwriteIsCutAtTheEndOfTheSet) {
  Build(12);
  std::vector<int> v(10, 5);
  EXPECT_EQ(t_->OverWriteEx(1, f_, 8, 10, v.data()), 5);
  EXPECT_EQ(Values()[6], "70");
  for (int r = 8; r <= 12; ++r) EXPECT_EQ(Values()[static_cast<size_t>(r - 1)], "5");
}

TEST_F(RowEditTest, OverwriteWithKnownValuesLeavesTheListAsItIs) {
  Build(6);
  TFilter* f = t_->GetFilter(f_);
  const std::vector<std::string> before = Column(f, Q7_TYPE_INTEGER);
  TBaseArray* list = f->VL;
  const int count = list->FArraySize;
  std::vector<int> v{60, 10};
  EXPECT_EQ(t_->OverWriteEx(1, f_, 2, 2, v.data()), 2);
  EXPECT_EQ(f->VL->FArraySize, count);
  EXPECT_EQ(Values(), (std::vector<std::string>{"10", "60", "10", "40", "50", "60"}));
}

TEST_F(RowEditTest, FillWithANewValueInsertsItAtItsSortedPlace) {
  Build(6);
  const int s = AddSet({6, 1});
  int v = 35;
  EXPECT_EQ(t_->FillEx(s, f_, 1, 2, &v), 2);
  TFilter* f = t_->GetFilter(f_);
  EXPECT_EQ(Values(), (std::vector<std::string>{"35", "20", "30", "40", "50", "35"}));
  auto* list = static_cast<TIntArray*>(f->VL);
  ASSERT_EQ(list->FArraySize, 8);  // NULL, 10 .. 60 and 35; nothing is dropped before condensing
  EXPECT_EQ(list->GetInt(4), 35);
  EXPECT_EQ(f->PV->GetInt(4), 5);  // 40 moved up one number
}

TEST_F(RowEditTest, WritesKeepTheAttributeBlockOfTheValueList) {
  Build(4);
  std::vector<double> days{45000, 45001, 45002, 45003};
  char name[] = "d";
  const int d = t_->AddFilter2(1024, name, Q7_TYPE_DATE, 4, 8, days.data(), t_->FTableID, -1);
  auto* list = static_cast<TDoubleArray*>(t_->GetFilter(d)->VL);
  list->SetDispType(3, 9);
  list->FUserArea[20] = 0x5A;
  double fresh = 45100;
  std::vector<double> more{46000, 46001};
  ASSERT_EQ(t_->FillEx(1, d, 2, 1, &fresh), 1);
  ASSERT_EQ(t_->MppOverWriteEx(1, d, 3, 2, more.data()), 2);
  list = static_cast<TDoubleArray*>(t_->GetFilter(d)->VL);
  EXPECT_EQ(list->GetExtendType(), Q7_TYPE_DATE);
  EXPECT_EQ(list->DispFirst(), 3);
  EXPECT_EQ(list->DispSecond(), 9);
  EXPECT_EQ(list->FUserArea[20], 0x5A);
}

TEST_F(RowEditTest, ANanFillStoresTheNull) {
  Build(4);
  std::vector<double> v{1.5, 2.5, 3.5, 4.5};
  char name[] = "x";
  const int x = t_->AddFilter2(1024, name, Q7_TYPE_DOUBLE, 4, 8, v.data(), t_->FTableID, -1);
  double nan = std::nan("");
  EXPECT_EQ(t_->FillEx(1, x, 2, 2, &nan), 2);
  EXPECT_EQ(Column(t_->GetFilter(x), Q7_TYPE_DOUBLE),
            (std::vector<std::string>{Cell(t_->GetFilter(x), Q7_TYPE_DOUBLE, 1), "NULL", "NULL",
                                      Cell(t_->GetFilter(x), Q7_TYPE_DOUBLE, 4)}));
  edtest::ExpectConsistent(t_, {Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE});
}

TEST_F(RowEditTest, ParallelFillCutsTrailingBlanksOnlyWhileTrimmingIsOn) {
  Build(5);
  char name[] = "s";
  std::vector<const char*> texts{"a", "b", "c", "d", "e"};
  const int s = t_->AddFilter2(1024, name, Q7_TYPE_STRING, 5, 8, texts.data(), t_->FTableID, -1);
  char text[] = "xy  ";
  char* value = text;
  {
    const vltest::TrimSetting trim(1);
    EXPECT_EQ(t_->MppFillEx(1, s, 1, 1, &value), 1);
    EXPECT_EQ(t_->FillEx(1, s, 2, 1, &value), 1);
  }
  EXPECT_STREQ(text, "xy  ");  // the caller's text is never cut
  EXPECT_EQ(Cell(t_->GetFilter(s), Q7_TYPE_STRING, 1), "'xy'");
  EXPECT_EQ(Cell(t_->GetFilter(s), Q7_TYPE_STRING, 2), "'xy  '");
}

// A refusal is recorded under the operation's name and changes neither rows nor values.
TEST_F(RowEditTest, RefusalsAreRecordedAndChangeNothing) {
  Build(5);
  const int s = AddSet({2, 4});
  int v = 1;
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::string entry;
  };
  const std::vector<Case> cases = {
      {"DelRows start", [&] { return t_->DelRows(0, 1); }, Q7_ERROR_INVALID_ROW_POSITION,
       "DelRows|Invalid Parameter : DelStart(0)"},
      {"DelRows past", [&] { return t_->DelRows(6, 1); }, Q7_ERROR_INVALID_ROW_POSITION,
       "DelRows|Invalid Parameter : DelStart(6)"},
      {"DelRows count", [&] { return t_->DelRows(1, 0); }, Q7_ERROR_INVALID_PARAMETER,
       "DelRows|Invalid Parameter : DelCount(0)"},
      {"DelRowsEx set", [&] { return t_->DelRowsEx(99, 1, 1); }, Q7_ERROR_ILLEGAL_SET_ID,
       "DelRowsEx|No Such Set: 99"},
      {"DelRowsEx start", [&] { return t_->DelRowsEx(s, 3, 1); }, Q7_ERROR_INVALID_ROW_POSITION,
       "DelRowsEx|Invalid Parameter : DelStart"},
      {"DelRowsEx count", [&] { return t_->DelRowsEx(s, 1, -1); }, Q7_ERROR_INVALID_PARAMETER,
       "DelRowsEx|Invalid Parameter : DelCount"},
      {"InsRows position", [&] { return t_->InsRows(-1, 1); }, Q7_ERROR_INVALID_ROW_POSITION,
       "InsRows|Invalid Parameter : InsPos(-1)"},
      {"InsRows count", [&] { return t_->InsRows(1, 0); }, Q7_ERROR_INVALID_PARAMETER,
       "InsRows|Invalid Parameter : InsCount(0)"},
      {"InsRows too many", [&] { return t_->InsRows(1, INT32_MAX - 3); }, Q7_ERROR_INVALID_PARAMETER,
       "InsRows|Invalid Parameter : InsCount(2147483644)"},
      {"OverWriteEx set", [&] { return t_->OverWriteEx(99, f_, 1, 1, &v); }, Q7_ERROR_ILLEGAL_SET_ID,
       "OverWriteEx|No Such Set: 99"},
      {"OverWriteEx data", [&] { return t_->OverWriteEx(s, f_, 1, 1, nullptr); }, Q7_ERROR_INVALID_PARAMETER,
       "OverWriteEx|Invalid Parameter : PWData(0)"},
      {"OverWriteEx start", [&] { return t_->OverWriteEx(s, f_, 3, 1, &v); }, Q7_ERROR_INVALID_PARAMETER,
       "OverWriteEx|Invalid Parameter : WriteStart(2)"},
      {"OverWriteEx count", [&] { return t_->OverWriteEx(s, f_, 1, 0, &v); }, Q7_ERROR_INVALID_PARAMETER,
       "OverWriteEx|Invalid Parameter : WriteCount(0)"},
      {"OverWriteEx filter", [&] { return t_->OverWriteEx(s, 99, 1, 1, &v); }, Q7_ERROR_NO_SUCH_FILTER,
       "OverWriteEx|No Such Filter: 99"},
      {"MppOverWriteEx start", [&] { return t_->MppOverWriteEx(s, f_, 0, 1, &v); },
       Q7_ERROR_INVALID_PARAMETER, "MppOverWriteEx|Invalid Parameter : WriteStart"},
      {"MppFillEx set", [&] { return t_->MppFillEx(99, f_, 1, 1, &v); }, Q7_ERROR_ILLEGAL_SET_ID,
       "MppFillEx|No Such SetID: 99 "},
      {"MppFillEx value", [&] { return t_->MppFillEx(s, f_, 1, 1, nullptr); }, Q7_ERROR_INVALID_PARAMETER,
       "MppFillEx|Invalid Parameter : PWData(0)"},
      {"FillEx start", [&] { return t_->FillEx(s, f_, 3, 1, &v); }, Q7_ERROR_INVALID_PARAMETER, ""},
      {"OverWriteExNumeric type", [&] { return t_->OverWriteExNumeric(s, f_, 1, 1, 2, 4, &v); },
       Q7_ERROR_ILLEGAL_FILTER_TYPE, "OverWriteExNumeric|Illegal data type  : 2"},
  };
  const std::vector<std::string> values = Values();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DrainRing();
    EXPECT_EQ(c.call(), c.code);
    const std::vector<std::string> entries = DrainRing();
    if (c.entry.empty()) {
      for (const auto& e : entries) EXPECT_EQ(e.rfind("FillEx", 0), std::string::npos) << e;
    } else {
      ASSERT_FALSE(entries.empty());
      EXPECT_EQ(entries.back(), c.entry);
    }
    EXPECT_EQ(Values(), values);
    EXPECT_EQ(Rows(t_->GetSet(s)), (std::vector<int>{2, 4}));
    EXPECT_EQ(t_->TotalRecs(), 5);
  }
}

TEST_F(RowEditTest, DeletingRowsThatNameARecordTwiceChangesNoFilter) {
  Build(5);
  char name[] = "w";
  std::vector<int> w{1, 2, 3, 4, 5};
  ASSERT_GT(t_->AddFilter2(1024, name, Q7_TYPE_INTEGER, 5, 4, w.data(), t_->FTableID, -1), 0);
  const int twice = AddSet({2, 2, 4});
  const std::vector<std::string> values = Values();
  DrainRing();
  EXPECT_THROW(
      {
        try {
          t_->DelRowsEx(twice, 1, 3);
        } catch (const CQ7Exception& e) {
          EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_UNIT_WIDTH);
          throw;
        }
      },
      CQ7Exception);
  EXPECT_EQ(DrainRing().back(), "DelRowsEx|Illegal Data Size");
  EXPECT_EQ(Values(), values);
  for (int f = 0; f < t_->FnFilter; ++f) EXPECT_EQ(t_->FFilters[f]->PV->FArraySize, 6);
  EXPECT_EQ(Rows(t_->GetSet(twice)), (std::vector<int>{2, 2, 4}));
  EXPECT_EQ(t_->TotalRecs(), 5);
}

TEST_F(RowEditTest, HighSpeedFilterRefusesRowChangesBeforeAnyChange) {
  Build(5);
  t_->GetFilter(f_)->HighSpeedSearchEnable(true);
  int v = 1;
  for (auto call : std::vector<std::function<int()>>{
           [&] { return t_->DelRows(1, 1); }, [&] { return t_->InsRows(1, 1); },
           [&] { return t_->DelRowsEx(1, 1, 1); }, [&] { return t_->OverWriteEx(1, f_, 1, 1, &v); }}) {
    try {
      call();
      ADD_FAILURE() << "not refused";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_HIGH_SPEED_FILTER);
    }
    EXPECT_EQ(t_->TotalRecs(), 5);
    EXPECT_EQ(Values(), (std::vector<std::string>{"10", "20", "30", "40", "50"}));
  }
}

// Every change of the records discards the find; a write discards it only on the find's filter.
TEST_F(RowEditTest, RowChangesMakeAnOpenFindStale) {
  Build(5);
  std::vector<int> w{1, 2, 3, 4, 5};
  char name[] = "w";
  const int other = t_->AddFilter2(1024, name, Q7_TYPE_INTEGER, 5, 4, w.data(), t_->FTableID, -1);
  int v = 7;
  struct Case {
    const char* what;
    std::function<int()> change;
    bool stale;
  };
  const std::vector<Case> cases = {
      {"InsRows", [&] { return t_->InsRows(1, 1); }, true},
      {"DelRows", [&] { return t_->DelRows(1, 1); }, true},
      {"DelRowsEx", [&] { return t_->DelRowsEx(1, 1, 1); }, true},
      {"write elsewhere", [&] { return t_->OverWriteEx(1, other, 1, 1, &v); }, false},
      {"OverWriteEx", [&] { return t_->OverWriteEx(1, f_, 1, 1, &v); }, true},
      {"FillEx", [&] { return t_->FillEx(1, f_, 1, 1, &v); }, true},
      {"MppOverWriteEx", [&] { return t_->MppOverWriteEx(1, f_, 1, 1, &v); }, true},
      {"MppFillEx", [&] { return t_->MppFillEx(1, f_, 1, 1, &v); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int id = t_->OpenIntFind(f_, 3, 0, 0);
    ASSERT_GT(id, 0);
    ASSERT_GT(c.change(), 0);
    int filter = 0, row = 0;
    const int rc = t_->GetNextHit(id, 1, 0, 0, &filter, &row);
    if (c.stale) {
      EXPECT_EQ(rc, Q7_ERROR_FIND_NOT_OPEN);
    } else {
      EXPECT_EQ(rc, 1);
    }
  }
}

// ---- Decimal overwrites ----

class NumericWriteTest : public TableTest {
 protected:
  // A DECIMAL filter of scale 2 holding 1.00, 2.50, 3.00, 4.25 over 4 records (or more, NULL).
  void Build(int n) {
    t_ = Real(AddTable("n", n));
    std::vector<Numeric> v(static_cast<size_t>(n), edtest::DecNan());
    v[0] = Dec(100);
    v[1] = Dec(250);
    v[2] = Dec(300);
    v[3] = Dec(425);
    char name[] = "d";
    f_ = t_->AddFilter2(1024, name, Q7_TYPE_DECIMAL, n, 16, v.data(), t_->FTableID, -1);
    ASSERT_GT(f_, 0);
    static_cast<TNumericArray*>(t_->GetFilter(f_)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_EVEN);
  }
  // Record r's value as "unscaled@scale".
  std::string Value(int r) {
    TFilter* f = t_->GetFilter(f_);
    auto* list = static_cast<TNumericArray*>(f->VL);
    return Cell(f, Q7_TYPE_DECIMAL, r) + "@" + std::to_string(list->GetScale());
  }
  TRealTable* t_ = nullptr;
  int f_ = 0;
};

TEST_F(NumericWriteTest, ALargerScaleRescalesTheFilter) {
  Build(4);
  Numeric v = Dec(12345);  // 1.2345
  EXPECT_EQ(t_->OverWriteExNumeric(1, f_, 2, 1, 4, Q7_ROUND_DOWN, &v), 1);
  EXPECT_EQ(Value(1), "0:10000@4");
  EXPECT_EQ(Value(2), "0:12345@4");
  EXPECT_EQ(Value(4), "0:42500@4");
  EXPECT_EQ(static_cast<TNumericArray*>(t_->GetFilter(f_)->VL)->GetRoundingMode(), Q7_ROUND_DOWN);
}

TEST_F(NumericWriteTest, ASmallerScaleRescalesTheNewValues) {
  Build(4);
  std::vector<Numeric> v{Dec(7), Dec(30)};  // 0.7 and 3.0 at scale 1
  EXPECT_EQ(t_->OverWriteExNumeric(1, f_, 1, 2, 1, Q7_ROUND_UP, v.data()), 2);
  EXPECT_EQ(Value(1), "0:70@2");
  EXPECT_EQ(Value(2), "0:300@2");
  EXPECT_EQ(Value(3), "0:300@2");
  EXPECT_EQ(static_cast<TNumericArray*>(t_->GetFilter(f_)->VL)->GetRoundingMode(), Q7_ROUND_HALF_EVEN);
}

TEST_F(NumericWriteTest, AValueThatDoesNotFitTheLargerScaleBecomesNull) {
  Build(4);
  Numeric huge{0, INT64_MAX / 2};  // fits at scale 2, not at scale 30
  ASSERT_EQ(t_->OverWriteExNumeric(1, f_, 4, 1, 2, Q7_ROUND_DOWN, &huge), 1);
  Numeric v = Dec(5);
  EXPECT_EQ(t_->OverWriteExNumeric(1, f_, 1, 1, 30, Q7_ROUND_DOWN, &v), 1);
  EXPECT_EQ(Cell(t_->GetFilter(f_), Q7_TYPE_DECIMAL, 4), "NULL");
  EXPECT_EQ(Cell(t_->GetFilter(f_), Q7_TYPE_DECIMAL, 1), "0:5");
  edtest::ExpectConsistent(t_, {Q7_TYPE_DECIMAL});
}

// Values waiting in the pending list are merged before the decimal overwrite renumbers the list.
TEST_F(NumericWriteTest, PendingValuesSurviveADecimalOverwrite) {
  Build(300);
  std::vector<Numeric> fresh{Dec(999), Dec(888)};
  ASSERT_EQ(t_->OverWriteEx(1, f_, 10, 2, fresh.data()), 2);
  ASSERT_EQ(t_->GetFilter(f_)->TVLCount, 2);
  std::vector<Numeric> v{Dec(7), Dec(30)};
  ASSERT_EQ(t_->OverWriteExNumeric(1, f_, 1, 2, 2, Q7_ROUND_DOWN, v.data()), 2);
  EXPECT_EQ(Value(10), "0:999@2");
  EXPECT_EQ(Value(11), "0:888@2");
  EXPECT_EQ(Value(1), "0:7@2");
  edtest::ExpectConsistent(t_, {Q7_TYPE_DECIMAL});
}

// ---- Adding a filter from raw values in parallel ----

TEST_F(RowEditTest, ParallelAddFilterFillsTheGivenRowsOnly) {
  Build(5);
  std::vector<int> few{7, 8}, many{1, 2, 3, 4, 5, 6, 7};
  char a[] = "few";
  char b[] = "many";
  const int id_a = t_->MppAddFilter2(1024, a, Q7_TYPE_INTEGER, 2, 4, few.data(), 0, -1);
  const int id_b = t_->MppAddFilter2(1024, b, Q7_TYPE_INTEGER, 7, 4, many.data(), 0, -1);
  ASSERT_GT(id_a, 0);
  ASSERT_GT(id_b, 0);
  EXPECT_EQ(Column(t_->GetFilter(id_a), Q7_TYPE_INTEGER),
            (std::vector<std::string>{"7", "8", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(Column(t_->GetFilter(id_b), Q7_TYPE_INTEGER),
            (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  // A refused write leaves the new filter in place, NULL in every row.
  char c[] = "none";
  EXPECT_EQ(t_->MppAddFilter2(1024, c, Q7_TYPE_INTEGER, 3, 4, nullptr, 0, -1), Q7_ERROR_INVALID_PARAMETER);
  const int id_c = t_->FilterName2ID("none");
  ASSERT_GT(id_c, 0);
  EXPECT_EQ(Column(t_->GetFilter(id_c), Q7_TYPE_INTEGER), std::vector<std::string>(5, "NULL"));
}

}  // namespace
