// The row edits and duplicates that run on the worker pool give the serial results. Sizes are
// moderate: this binary also runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "dup_support.h"
#include "edit_support.h"
#include "table_test_support.h"
#include "tests/support/test_support.h"
#include "values/TNumericArray.h"

namespace {

using duptest::AllTypesTest;
using edtest::Column;
using edtest::EditTableTest;

class ParallelEditTest : public EditTableTest, public ::testing::WithParamInterface<bool> {};

// The parallel writes against the same model as the serial ones, with writes large enough to be
// cut among the workers.
TEST_P(ParallelEditTest, ParallelWritesKeepSetsAndFiltersMatchingTheModel) {
  Build(600, 11);
  SetPending(GetParam());
  RandomEdits(120, true, 600);
  EXPECT_GT(GetParam() ? pending_writes_ : merged_writes_, 0);
}

INSTANTIATE_TEST_SUITE_P(PendingListOnAndOff, ParallelEditTest, ::testing::Bool());

// Two tables built alike, one written serially and one in parallel, over many scattered rows.
TEST_F(EditTableTest, LargeScatteredWritesAreTheSameSeriallyAndInParallel) {
  constexpr int kRows = 30000;
  edtest::ValueSource values(5);
  TRealTable* tables[2];
  for (TRealTable*& t : tables) {
    t = Real(AddTable("big", kRows));
    for (int f = 0; f < edtest::kTypeCount; ++f) {
      const int type = edtest::kTypes[f];
      edtest::ValueSource initial(3);
      std::vector<unsigned char> raw = initial.Values(type, kRows, false);
      std::string name = "c" + std::to_string(f);
      ASSERT_GT(
          t->AddFilter2(1024, name.data(), type, kRows, edtest::RawWidth(type), raw.data(), t->FTableID, -1),
          0);
    }
    // Every record, in a scattered order.
    std::vector<int> rows;
    for (int r = 1; r <= kRows; ++r) rows.push_back(r);
    std::shuffle(rows.begin(), rows.end(), std::mt19937(9));
    ASSERT_EQ(t->AddSetFromRows(static_cast<int>(rows.size()), rows.data()), 2);
  }
  for (int f = 0; f < edtest::kTypeCount; ++f) {
    const int type = edtest::kTypes[f];
    SCOPED_TRACE(type);
    const int id = tables[0]->FFilters[f]->FFilterID;
    // More rows than the pending list takes (so the lists are merged), and a fill.
    std::vector<unsigned char> raw = values.Values(type, 12000, true);
    ASSERT_EQ(tables[0]->OverWriteEx(2, id, 500, 12000, raw.data()), 12000);
    ASSERT_EQ(tables[1]->MppOverWriteEx(2, id, 500, 12000, raw.data()), 12000);
    std::vector<unsigned char> one = values.Values(type, 1, true);
    ASSERT_EQ(tables[0]->FillEx(2, id, 17000, 20000, one.data()), 13001);
    ASSERT_EQ(tables[1]->MppFillEx(2, id, 17000, 20000, one.data()), 13001);
    for (TRealTable* t : tables) t->GetFilter(id)->MergeTVL(false);
    EXPECT_EQ(Column(tables[1]->GetFilter(id), type), Column(tables[0]->GetFilter(id), type));
  }
  // A column added in parallel equals one added serially.
  std::vector<unsigned char> raw = values.Values(Q7_TYPE_STRING, kRows, true);
  char a[] = "added", b[] = "added";
  const int serial = tables[0]->AddFilter2(1024, a, Q7_TYPE_STRING, kRows, 8, raw.data(), 0, -1);
  const int parallel = tables[1]->MppAddFilter2(1024, b, Q7_TYPE_STRING, kRows, 8, raw.data(), 0, -1);
  ASSERT_GT(serial, 0);
  ASSERT_GT(parallel, 0);
  EXPECT_EQ(Column(tables[1]->GetFilter(parallel), Q7_TYPE_STRING),
            Column(tables[0]->GetFilter(serial), Q7_TYPE_STRING));
}

// MppDupFilterEx gives DupFilterEx's values for every pair of types, for one worker and for all.
TEST_F(AllTypesTest, ParallelDuplicatesEqualSerialOnes) {
  for (int limit : {1, 0}) {
    q7test::WorkerCap cap(limit);
    for (int src = 0; src < duptest::kSourceCount; ++src) {
      for (int type = Q7_TYPE_INTEGER; type <= Q7_TYPE_DECIMAL; ++type) {
        SCOPED_TRACE(std::to_string(duptest::kSourceTypes[src]) + " -> " + std::to_string(type));
        const int serial = t_->DupFilterEx(ids_[src], type, TNumericArray::kDefaultScale,
                                           TNumericArray::kDefaultRoundingMode);
        const int parallel = t_->MppDupFilterEx(ids_[src], type);
        ASSERT_GT(serial, 0);
        ASSERT_GT(parallel, 0);
        EXPECT_EQ(t_->FilterID2Pos(parallel), t_->FilterID2Pos(ids_[src]) + 1);
        TFilter* s = t_->GetFilter(serial);
        TFilter* p = t_->GetFilter(parallel);
        // A decimal source duplicated as DECIMAL is a plain copy in parallel (only the type is
        // compared there) but a rescaled one serially.
        if (!(duptest::kSourceTypes[src] == Q7_TYPE_DECIMAL && type == Q7_TYPE_DECIMAL)) {
          EXPECT_EQ(Column(p, type), Column(s, type));
        }
        if (type == Q7_TYPE_DECIMAL && duptest::kSourceTypes[src] != Q7_TYPE_DECIMAL) {
          EXPECT_EQ(static_cast<TNumericArray*>(p->VL)->GetScale(), TNumericArray::kDefaultScale);
        }
        ASSERT_EQ(t_->DropFilter(serial), 0);
        ASSERT_EQ(t_->DropFilter(parallel), 0);
      }
    }
  }
}

}  // namespace
