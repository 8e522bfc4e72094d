// The summary handles over the engine's table collection: which value lists an open renumbers, the
// temporary copy of a small set when no task object is installed, and the engine's purge.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/cube/SummaryHandles.h"
#include "summary/cube/TSummary.h"
#include "tests/summary/summary_tables_support.h"
#include "values/TBaseArray.h"

namespace {

using SummaryHandlesTest = SummaryTablesTest;

TEST_F(SummaryHandlesTest, OpenDropsUnusedValuesOnlyOfItsOwnUnmappedColumns) {
  // Values 10, 20, 10, 30; record 2 rewritten to 10 leaves 20 unused in the list.
  struct Case {
    const char* what;
    bool shared;
    bool mapped;
    int list_size_after;
  };
  const Case cases[] = {
      {"plain table", false, false, 3},
      {"shared table: other processes read its lists", true, false, 4},
      {"host map: written against the numbers as they are", false, true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRealTable* t = AddTable("t", 4);
    const int f = AddIntFilter(t, "f", {10, 20, 10, 30});
    ASSERT_GT(f, 0);
    int ten = 10;
    ASSERT_EQ(t->OverWriteEx(1, f, 2, 1, &ten), 1);
    t->CheckMergeFilterTVL(true);
    ASSERT_EQ(t->GetFilter(f)->VL->FArraySize, 4);

    int map[] = {0, 0, 0, 0};
    char* names[] = {const_cast<char*>("all")};
    _TDimensionDef def{f, 1, c.mapped ? map : nullptr, c.mapped ? names : nullptr, nullptr};
    t->FShmImage = c.shared ? 1 : 0;
    EXPECT_EQ(innerQ7SummaryOpen(0, t->FTableID, 1, 1, &def, 0), 0);
    t->FShmImage = 0;
    EXPECT_EQ(t->GetFilter(f)->VL->FArraySize, c.list_size_after);

    int computed = 0;
    ASSERT_EQ(innerQ7SummaryExec(0, 1, &computed), 0);
    int cats[TSummary::kMaxDims] = {};
    int rt, vt, count;
    void* value;
    ASSERT_EQ(innerQ7SummaryRead(0, 1, cats, &rt, &vt, &count, &value), 0);
    EXPECT_EQ(count, c.mapped ? 4 : 0);  // mapped: one category holds every row; else the NULL cell
    EXPECT_EQ(innerQ7SummaryClose(0), 0);
  }
}

TEST_F(SummaryHandlesTest, SmallSetCopyLivesAsLongAsTheSummary) {
  // 100 distinct codes; a set of 3 rows is at most a twentieth of the list (101 / 20 = 5).
  TRealTable* t = AddTable("wide", 100);
  std::vector<int> codes;
  for (int r = 0; r < 100; ++r) codes.push_back(r * 3);
  const int code = AddIntFilter(t, "code", codes);
  const int weight = AddIntFilter(t, "weight", codes);
  auto rows = std::make_unique<TSetArray>(3, 0);
  rows->PIntAr()[0] = 7;
  rows->PIntAr()[1] = 2;
  rows->PIntAr()[2] = 50;
  const int set = t->AddSetWithoutCopy(rows.release());
  ASSERT_GT(set, 1);
  const int tables = db_->TableCount();

  for (bool purge : {false, true}) {
    SCOPED_TRACE(purge ? "purged" : "closed");
    _TDimensionDef def{};
    def.column_id = weight;
    ASSERT_EQ(innerQ7SummaryOpen(3, t->FTableID, set, 1, &def, code), 0);
    const TSummary* s = Summaries[3];
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s->TableID(), t->FTableID);
    EXPECT_EQ(s->SetID(), 1);
    EXPECT_EQ(s->Dim(0).column_id, 2);  // code (old 1) and weight (old 2) keep their order
    EXPECT_EQ(s->MeasureID(), 1);
    EXPECT_EQ(s->Dim(0).category_count, 4);
    EXPECT_EQ(db_->TableCount(), tables + 1);
    int computed = 0;
    ASSERT_EQ(innerQ7SummaryExec(3, 15, &computed), 0);
    int cats[TSummary::kMaxDims] = {2};  // weight 18 (record 7): NULL, 3, 18, 147
    int rt, vt, count;
    void* value;
    ASSERT_EQ(innerQ7SummaryRead(3, 8, cats, &rt, &vt, &count, &value), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(*static_cast<double*>(value), 18.0);
    if (purge) {
      PurgeSummaries();
    } else {
      EXPECT_EQ(innerQ7SummaryClose(3), 0);
    }
    EXPECT_EQ(Summaries[3], nullptr);
    EXPECT_EQ(db_->TableCount(), tables);
  }
}

}  // namespace
