// The derived tables built on the worker pool are the serial ones, for any worker count: duplicate,
// extract, combine (plain and consuming) and condense over large tables of every value type, with
// pending values, repeated and unordered set rows, decimal scales that differ, and value lists that
// other filters and tables share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "table_test_support.h"
#include "tests/support/test_support.h"
#include "values/ArrayFunctions.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"

namespace {

using q7test::WorkerCap;
using ttest::Rows;
using ttest::TableTest;

// The pool splits the columns and rows at any size; what picks a road is the rows a set holds
// beside the values of a list (the whole list or only the values used), which these sizes keep on
// both sides as a large table would.
constexpr int kRows = 20000;
// 1, 2 and 3 workers, and every worker the machine has.
constexpr int kCaps[] = {1, 2, 3, 0};

constexpr int64_t kHugeHigh = INT64_MAX / 50;  // fits at any scale, overflows when multiplied by 100

Numeric Dec(int64_t v) { return Numeric{static_cast<uint64_t>(v), v < 0 ? -1 : 0}; }

// The parts of a source table the tests name.
struct Source {
  int id = 0;
  int i = 0, d = 0, s = 0, n = 0, sparse = 0;
};

class DeriveTest : public TableTest {
 protected:
  // A table of kRows records: "i" INTEGER (about 10000 values), "d" DATE, "s" STRING (3000 texts),
  // "n" DECIMAL at `scale` (with, when asked, one value too large to take two more digits) and
  // "sparse" INTEGER; each with NULLs, and "i" with values still pending.
  Source MakeSource(const char* name, uint32_t seed, int scale, bool huge = false) {
    Source src;
    src.id = AddTable(name, kRows);
    TRealTable* t = Real(src.id);
    std::mt19937 gen(seed);
    std::vector<int32_t> ints(kRows);
    std::vector<double> dates(kRows);
    std::vector<std::string> texts(kRows);
    std::vector<const char*> text_ptrs(kRows);
    std::vector<Numeric> decs(kRows);
    std::vector<int32_t> sparse(kRows);
    for (int r = 0; r < kRows; ++r) {
      const bool null = gen() % 20 == 0;
      ints[r] = null ? INT32_MIN : static_cast<int32_t>(gen() % 10001) - 5000;
      dates[r] = null ? -HUGE_VAL : 40000.0 + gen() % 3000;
      texts[r] = null ? "" : "k" + std::to_string(gen() % 3000);
      decs[r] = null ? Numeric{0, INT64_MIN} : Dec(static_cast<int64_t>(gen() % 200001) - 100000);
      sparse[r] = null ? INT32_MIN : static_cast<int32_t>(gen() % 7);
    }
    if (huge) decs[kRows / 2] = Numeric{0, kHugeHigh};
    for (int r = 0; r < kRows; ++r) text_ptrs[r] = texts[r].c_str();
    src.i = AddIntFilter(t, "i", ints);
    char dname[] = "d";
    src.d = t->AddFilter2(1024, dname, Q7_TYPE_DATE, kRows, 8, dates.data(), 0, -1);
    char sname[] = "s";
    src.s = t->AddFilter2(1024, sname, Q7_TYPE_STRING, kRows, 8, text_ptrs.data(), 0, -1);
    char nname[] = "n";
    src.n = t->AddFilter2(1024, nname, Q7_TYPE_DECIMAL, kRows, 16, decs.data(), 0, -1);
    src.sparse = AddIntFilter(t, "sparse", sparse);
    EXPECT_TRUE(src.d > 0 && src.s > 0 && src.n > 0 && src.sparse > 0);
    static_cast<TNumericArray*>(t->GetFilter(src.n)->VL)->SetDecimalInfo(scale, Q7_ROUND_HALF_EVEN);
    // A few small writes of new values stay pending in "i" until an operation merges them.
    int fresh[3] = {900001, 900002, 900003};
    EXPECT_EQ(t->OverWriteEx(1, src.i, 7, 3, fresh), 3);
    EXPECT_GT(t->GetFilter(src.i)->TVLCount, 0);
    return src;
  }

  // Half the records, every other one, in a shuffled order and with some given twice.
  int HalfSet(int table, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<int> rows;
    for (int r = 1; r <= kRows; r += 2) rows.push_back(r);
    std::shuffle(rows.begin(), rows.end(), gen);
    for (int i = 0; i < 100; ++i) rows.push_back(rows[gen() % rows.size()]);
    return Real(table)->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
  }
  // 500 records, far fewer than the larger value lists hold.
  int SmallSet(int table) {
    std::vector<int> rows;
    for (int r = kRows; r > 0 && rows.size() < 500; r -= 37) rows.push_back(r);
    return Real(table)->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
  }

  TRealTable* Built(int id) {
    EXPECT_GT(id, 0);
    return id > 0 ? Real(id) : nullptr;
  }
};

std::vector<std::string> Texts(TBaseArray* list) {
  auto* texts = static_cast<TStrArray*>(list);
  std::vector<std::string> out;
  for (int i = 0; i < list->FArraySize; ++i) out.emplace_back(texts->GetPChar(i));
  return out;
}

// Two value lists with the same class, attribute block and entries.
void ExpectSameList(TBaseArray* got, TBaseArray* want) {
  ASSERT_EQ(got->GetDataType(), want->GetDataType());
  ASSERT_EQ(got->FArraySize, want->FArraySize);
  EXPECT_EQ(memcmp(got->FUserArea, want->FUserArea, sizeof got->FUserArea), 0);
  if (got->GetDataType() == Q7_TYPE_STRING) {
    EXPECT_EQ(Texts(got), Texts(want));
  } else {
    EXPECT_EQ(memcmp(got->FData, want->FData, static_cast<size_t>(got->FUnitSize) * got->FArraySize), 0);
  }
}

std::vector<int> Numbers(TFilter* f) {
  return std::vector<int>(f->PV->PIntAr(), f->PV->PIntAr() + f->PV->FArraySize);
}

// Everything a derived table is made of: records, sets, and per filter its ID, name, origin, value
// numbers and value list. `renamed` lists the positions whose names the two forms give differently,
// `other_values` those whose values differ (the table IDs of twin sources) but not their numbering.
void ExpectSameTable(TRealTable* got, TRealTable* want, const std::set<int>& renamed = {},
                     const std::set<int>& other_values = {}) {
  ASSERT_NE(got, nullptr);
  ASSERT_NE(want, nullptr);
  EXPECT_EQ(got->TotalRecs(), want->TotalRecs());
  ASSERT_EQ(got->FnSet, want->FnSet);
  EXPECT_EQ(got->FCurrentSetID, want->FCurrentSetID);
  EXPECT_EQ(Rows(got->FSets[0]), Rows(want->FSets[0]));
  ASSERT_EQ(got->FnFilter, want->FnFilter);
  EXPECT_EQ(got->FLastFilterID, want->FLastFilterID);
  for (int i = 0; i < got->FnFilter; ++i) {
    TFilter* g = got->FFilters[i];
    TFilter* w = want->FFilters[i];
    SCOPED_TRACE(w->FFilterName);
    EXPECT_EQ(g->FFilterID, w->FFilterID);
    if (renamed.count(i) == 0) {
      EXPECT_STREQ(g->FFilterName, w->FFilterName);
    }
    EXPECT_EQ(g->FOrgFltID, w->FOrgFltID);
    EXPECT_EQ(g->FSharedVL, w->FSharedVL);
    EXPECT_EQ(Numbers(g), Numbers(w));
    if (other_values.count(i) == 0) {
      ExpectSameList(g->VL, w->VL);
    } else {
      EXPECT_EQ(g->VL->FArraySize, w->VL->FArraySize);
    }
  }
}

TEST_F(DeriveTest, DuplicateEqualsTheSerialOneForAnyWorkerCount) {
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    const Source src = MakeSource("src", 1, 2);
    Real(src.id)->DropFilter(src.d);  // filter IDs with a gap
    HalfSet(src.id, 2);
    WorkerCap workers(cap);
    char name[] = "dup";
    TRealTable* par = Built(db_->MppDuplicateRealTable(name, src.id));
    TRealTable* ser = Built(db_->DuplicateRealTable(name, src.id));
    ExpectSameTable(par, ser);
    EXPECT_EQ(par->FnSet, 1);
    EXPECT_EQ(par->FFilters[0]->FFilterID, 1);
  }
}

TEST_F(DeriveTest, ExtractEqualsTheSerialOneForAnyWorkerCount) {
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    const Source src = MakeSource("src", 3, 2);
    const int half = HalfSet(src.id, 4);
    const int small = SmallSet(src.id);
    // "i" twice: the second column is "i_#1" in both forms.
    int list[] = {src.n, src.i, src.s, src.i, src.d, src.sparse, 0};
    WorkerCap workers(cap);
    for (int set : {half, small}) {
      for (int flags : {0, 3}) {
        SCOPED_TRACE(set * 10 + flags);
        char name[] = "ext";
        TRealTable* par = Built(db_->MppExtractRealTable(name, src.id, set, flags & 1, flags & 2, list));
        TRealTable* ser = Built(db_->ExtractRealTable(name, src.id, set, flags & 1, flags & 2, list));
        ExpectSameTable(par, ser);
        EXPECT_EQ(Rows(par->FSets[0]).size(), Rows(Real(src.id)->GetSet(set)).size());
        const int first = flags == 3 ? 2 : 0;
        EXPECT_STREQ(par->FFilters[first + 1]->FFilterName, "i");
        EXPECT_STREQ(par->FFilters[first + 3]->FFilterName, "i_#1");
        if (flags == 3) {
          EXPECT_STREQ(par->FFilters[0]->FFilterName, "#TABLE_ID");
          EXPECT_STREQ(par->FFilters[1]->FFilterName, "#REC_NO");
        }
      }
    }
    // The small set keeps only the values its rows hold: "i" has about 10000, the set 500 rows.
    char name[] = "ext";
    TRealTable* small_ext = Built(db_->MppExtractRealTable(name, src.id, small, 0, 0, list));
    EXPECT_LE(small_ext->FFilters[1]->VL->FArraySize, 501);
  }
}

TEST_F(DeriveTest, CombineEqualsTheSerialOneForAnyWorkerCount) {
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    const Source a = MakeSource("a", 5, 2, true);
    const Source b = MakeSource("b", 6, 4);
    const int set_a = HalfSet(a.id, 7);
    const int set_b = SmallSet(b.id);
    // Pairs of every type, and a column from each side alone.
    int ids_a[] = {a.i, a.d, a.s, a.n, a.sparse, 0, 0};
    int ids_b[] = {b.i, b.d, b.s, b.n, 0, b.sparse, 0};
    WorkerCap workers(cap);
    for (int flags : {0, 3}) {
      SCOPED_TRACE(flags);
      char name[] = "comb";
      TRealTable* par = Built(
          db_->MppCombineRealTable(name, flags & 1, flags & 2, a.id, set_a, ids_a, b.id, set_b, ids_b, 0));
      TRealTable* ser =
          Built(db_->CombineRealTable(name, flags & 1, flags & 2, a.id, set_a, ids_a, b.id, set_b, ids_b, 0));
      // The parallel form keeps "RecNo" as requested; the serial one names it "RECNO".
      ExpectSameTable(par, ser, flags == 3 ? std::set<int>{1} : std::set<int>{});
      if (flags != 3) continue;
      EXPECT_STREQ(par->FFilters[1]->FFilterName, "RecNo");
      EXPECT_STREQ(ser->FFilters[1]->FFilterName, "RECNO");
      const int n_a = Real(a.id)->GetSetSize(set_a);
      // Decimals unified at the larger scale, B's rounding mode; the value that cannot take two
      // more digits is NULL in its rows, and every other A value is 100 times its unscaled self.
      TFilter* dec = par->FFilters[2 + 3];
      NumericInfo info;
      static_cast<TNumericArray*>(dec->VL)->GetDecimalInfo(&info);
      EXPECT_EQ(info.scale, 4);
      TFilter* src_dec = Real(a.id)->GetFilter(a.n);
      const int* rows_a = Real(a.id)->GetSet(set_a)->PIntAr();
      int huge_rows = 0;
      for (int r = 0; r < n_a; ++r) {
        Numeric src_value;
        static_cast<TNumericArray*>(src_dec->VL)->GetDecimal(src_dec->PV->GetInt(rows_a[r]), &src_value);
        Numeric got;
        static_cast<TNumericArray*>(dec->VL)->GetDecimal(dec->PV->GetInt(r + 1), &got);
        if (src_value.high == kHugeHigh) {
          ++huge_rows;
          EXPECT_EQ(dec->PV->GetInt(r + 1), 0);
        } else if (src_value.high != INT64_MIN) {
          EXPECT_EQ(static_cast<int64_t>(got.low), static_cast<int64_t>(src_value.low) * 100) << r;
        }
      }
      EXPECT_GT(huge_rows, 0);
      // A's one-sided column is NULL in B's rows, B's in A's.
      TFilter* only_a = par->FFilters[2 + 4];
      TFilter* only_b = par->FFilters[2 + 5];
      for (int r = 1; r <= par->TotalRecs(); ++r) {
        ASSERT_EQ((r > n_a ? only_a : only_b)->PV->GetInt(r), 0) << r;
      }
    }
    // B first (its ID the larger), with its rows or with none.
    const int empty_b = Real(b.id)->AddSetFromRows(0, nullptr);
    for (int first_set : {set_b, empty_b}) {
      SCOPED_TRACE(first_set);
      char name[] = "swapped";
      TRealTable* par =
          Built(db_->MppCombineRealTable(name, 1, 1, b.id, first_set, ids_b, a.id, set_a, ids_a, 0));
      TRealTable* ser =
          Built(db_->CombineRealTable(name, 1, 1, b.id, first_set, ids_b, a.id, set_a, ids_a, 0));
      ExpectSameTable(par, ser, {1});
    }
    // A table with itself: every row of the set twice.
    char name[] = "self";
    TRealTable* par =
        Built(db_->MppCombineRealTable(name, 1, 1, a.id, set_a, nullptr, a.id, set_a, nullptr, 0));
    TRealTable* ser = Built(db_->CombineRealTable(name, 1, 1, a.id, set_a, nullptr, a.id, set_a, nullptr, 0));
    ExpectSameTable(par, ser, {1});
    EXPECT_EQ(par->TotalRecs(), 2 * Real(a.id)->GetSetSize(set_a));
  }
}

// The two consuming forms over twin sources: the same table, and the same sources left behind.
TEST_F(DeriveTest, ConsumingCombineEqualsTheSerialOneAndGivesUpColumnsOnlyOnceRead) {
  for (int cap : kCaps) {
    for (bool joined : {false, true}) {
      SCOPED_TRACE(cap * 10 + joined);
      Source a[2], b[2];
      int join[2] = {0, 0};
      for (int k = 0; k < 2; ++k) {
        a[k] = MakeSource(k == 0 ? "a_par" : "a_ser", 8, 2, true);
        b[k] = MakeSource(k == 0 ? "b_par" : "b_ser", 9, 4);
        // A join over A keeps A (and its key filter "sparse") in the database.
        if (joined) join[k] = AddJoin(a[k].id, a[k].sparse, a[k].id, a[k].sparse);
      }
      // "s" of A is read by two pairs and goes only after both; "sparse" of B by none.
      int ids_a[] = {a[0].i, a[0].s, a[0].s, a[0].n, 0, 0};
      int ids_b[] = {b[0].i, 0, b[0].s, b[0].n, b[0].d, 0};
      WorkerCap workers(cap);
      char name[] = "consumed";
      TRealTable* par = Built(db_->MppCombineRealTable(name, 1, 1, a[0].id, 1, ids_a, b[0].id, 1, ids_b, 1));
      TRealTable* ser = Built(db_->CombineRealTable(name, 1, 1, a[1].id, 1, ids_a, b[1].id, 1, ids_b, 1));
      ExpectSameTable(par, ser, {1}, {0});
      EXPECT_EQ(db_->ID2Loc(b[0].id), Q7_ERROR_NO_SUCH_TABLE);
      EXPECT_EQ(db_->ID2Loc(b[1].id), Q7_ERROR_NO_SUCH_TABLE);
      for (int k = 0; k < 2; ++k) {
        if (!joined) {
          EXPECT_EQ(db_->ID2Loc(a[k].id), Q7_ERROR_NO_SUCH_TABLE);
          continue;
        }
        // Every column went but the join's key.
        TRealTable* left = Real(a[k].id);
        ASSERT_NE(left, nullptr);
        ASSERT_EQ(left->FnFilter, 1);
        EXPECT_EQ(left->FFilters[0]->FFilterID, a[k].sparse);
      }
      for (int k = 0; joined && k < 2; ++k) EXPECT_EQ(db_->DelTable(join[k]), 0);
      for (int k = 0; joined && k < 2; ++k) EXPECT_EQ(db_->DelTable(a[k].id), 0);
    }
  }
}

// A column that cannot be built: no table and no table ID are left, and a consuming combine that
// already gave columns up takes its sources with it, as the serial one does.
TEST_F(DeriveTest, FailedCombineLeavesNoTableAndConsumedSourcesGo) {
  for (int cap : kCaps) {
    for (int consume : {0, 1}) {
      SCOPED_TRACE(cap * 10 + consume);
      const Source a = MakeSource("a", 10, 2);
      const Source b = MakeSource("b", 11, 2);
      // A damaged value number in a one-sided column of B.
      Real(b.id)->GetFilter(b.s)->PV->PIntAr()[kRows / 3] = 1 << 30;
      int ids_a[] = {a.i, a.d, 0, 0};
      int ids_b[] = {b.i, b.d, b.s, 0};
      const int issued = db_->FTblIDIssued;
      const int tables = db_->TableCount();
      WorkerCap workers(cap);
      char name[] = "broken";
      EXPECT_THROW(db_->MppCombineRealTable(name, 1, 1, a.id, 1, ids_a, b.id, 1, ids_b, consume),
                   CQ7Exception);
      EXPECT_EQ(db_->FTblIDIssued, issued);
      if (consume == 0) {
        EXPECT_EQ(db_->TableCount(), tables);
        EXPECT_EQ(Real(a.id)->FnFilter, 5);
        EXPECT_EQ(Real(b.id)->FnFilter, 5);
        continue;
      }
      EXPECT_EQ(db_->TableCount(), tables - 2);
      EXPECT_EQ(db_->ID2Loc(a.id), Q7_ERROR_NO_SUCH_TABLE);
      EXPECT_EQ(db_->ID2Loc(b.id), Q7_ERROR_NO_SUCH_TABLE);
    }
  }
}

// Condensing leaves every record's value as it was and gives the serial lists, for any worker count,
// also where lists are shared within the table and with another table.
TEST_F(DeriveTest, CondenseEqualsTheSerialOneAndNeverCompactsASharedList) {
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    Source src[2];
    int other[2];
    for (int k = 0; k < 2; ++k) {
      src[k] = MakeSource(k == 0 ? "par" : "ser", 12, 2);
      TRealTable* t = Real(src[k].id);
      t->CheckMergeFilterTVL(false);
      // Filter "borrow" borrows the list of "i"; filter "held" holds the list of "s" as its own.
      TFilter* i = t->GetFilter(src[k].i);
      char borrow[] = "borrow";
      t->AddFilter(1024, borrow, static_cast<TIntArray*>(i->PV->CopyArray()), i->VL, true, 0, -1);
      TFilter* s = t->GetFilter(src[k].s);
      RetainValueList(s->VL);
      char held[] = "held";
      t->AddFilter(1024, held, static_cast<TIntArray*>(s->PV->CopyArray()), s->VL, false, 0, -1);
      // Its area is not compact, as after texts were replaced in it: both holders copy it.
      static_cast<TStrArray*>(s->VL)->SetDirty();
      // Another table borrows the list of "n".
      other[k] = AddTable(k == 0 ? "other_par" : "other_ser", 2);
      TFilter* n = t->GetFilter(src[k].n);
      auto* pv = new TIntArray(3, 0);
      pv->PIntAr()[1] = n->VL->FArraySize - 1;
      pv->PIntAr()[2] = 1;
      char lent[] = "lent";
      Real(other[k])->AddFilter(1024, lent, pv, n->VL, true, 0, -1);
      // Values that no record holds any more: all but 99 records go.
      ASSERT_EQ(t->DelRows(100, kRows), kRows - 99);
    }
    TRealTable* t = Real(src[0].id);
    char value[4096];
    auto values = [&](TRealTable* table) {
      std::vector<std::string> all;
      for (int f = 0; f < table->FnFilter; ++f) {
        for (int r = 0; r < table->TotalRecs(); ++r) {
          int type = 0;
          const int size = table->ReadData(1, table->FFilters[f]->FFilterID, r, &type, value);
          all.emplace_back(value, static_cast<size_t>(std::max(size, 0)));
        }
      }
      return all;
    };
    const auto table_values = values(t);
    const auto other_values = values(Real(other[0]));
    const int i_list_size = t->GetFilter(src[0].i)->VL->FArraySize;
    {
      WorkerCap workers(cap);
      ASSERT_EQ(t->MppCondenseTable(), 0);
    }
    ASSERT_EQ(Real(src[1].id)->CondenseTable(), 0);
    ExpectSameTable(t, Real(src[1].id));
    EXPECT_EQ(values(t), table_values);
    EXPECT_EQ(values(Real(other[0])), other_values);
    // The list that "borrow" borrows keeps its numbering; the other table's list is untouched.
    EXPECT_EQ(t->GetFilter(src[0].i)->VL->FArraySize, i_list_size);
    EXPECT_LE(t->GetFilter(src[0].s)->VL->FArraySize, 100);
    EXPECT_LE(t->FFilters[t->FilterName2Pos("held")]->VL->FArraySize, 100);
    EXPECT_LE(t->GetFilter(src[0].n)->VL->FArraySize, 100);
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(db_->DelTable(other[k]), 0);
      EXPECT_EQ(db_->DelTable(src[k].id), 0);
    }
  }
}

TEST_F(DeriveTest, CondenseLeavesASharedImageTableAsItIs) {
  const Source src = MakeSource("src", 13, 2);
  TRealTable* t = Real(src.id);
  ASSERT_EQ(t->DelRows(2, kRows - 1), kRows - 1);
  t->FShmImage = 1;
  const int size = t->GetFilter(src.s)->VL->FArraySize;
  EXPECT_EQ(t->MppCondenseTable(), 0);
  EXPECT_EQ(t->GetFilter(src.s)->VL->FArraySize, size);
  t->FShmImage = 0;
  EXPECT_EQ(t->MppCondenseTable(), 0);
  EXPECT_LE(t->GetFilter(src.s)->VL->FArraySize, 2);
}

}  // namespace
