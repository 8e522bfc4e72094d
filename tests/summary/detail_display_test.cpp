// The detail display over the engine's collection, without the task object: every order of both
// forms against a group-by of the set's rows, and the purge of the summaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/DetailDisplay.h"
#include "summary/cube/SummaryHandles.h"
#include "tests/summary/summary_tables_support.h"
#include "values/TIntArray.h"

namespace {

using Entry = std::pair<int, int>;  // value number, count

class DetailDisplayTest : public SummaryTablesTest {
 protected:
  static int AddSet(TRealTable* t, const std::vector<int>& rows) {
    auto set = std::make_unique<TSetArray>(static_cast<int>(rows.size()), 0);
    std::copy(rows.begin(), rows.end(), set->PIntAr());
    return t->AddSetWithoutCopy(set.release());
  }
};

// The list the display must give, from the rows' value numbers: every value number, or (compact)
// the ones that occur, in value order or by count (largest first, ties in value order), optionally
// only the occurring ones, optionally reversed.
std::vector<Entry> Reference(const std::vector<int>& row_vnos, int list_size, bool compact, int order,
                             bool reverse, bool occurring_only) {
  std::vector<int> counts(static_cast<size_t>(list_size), 0);
  for (int v : row_vnos) ++counts[static_cast<size_t>(v)];
  std::vector<Entry> entries;
  for (int v = 0; v < list_size; ++v) {
    if ((!compact && !occurring_only) || counts[static_cast<size_t>(v)] > 0) {
      entries.emplace_back(v, counts[static_cast<size_t>(v)]);
    }
  }
  if (order != 0) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.second > b.second; });
  }
  if (reverse) std::reverse(entries.begin(), entries.end());
  return entries;
}

TEST_F(DetailDisplayTest, EveryOrderOfBothFormsMatchesAGroupBy) {
  // 3,000 rows over about 600 values with skewed, often equal counts and some NULLs.
  constexpr int kRows = 3000;
  TRealTable* t = AddTable("detail", kRows);
  std::vector<int> values;
  for (int r = 0; r < kRows; ++r) {
    const int k = (r * 7919) % 1201;
    values.push_back(k % 97 == 0 ? INT32_MIN : k / 2 - 300);
  }
  const int f = AddIntFilter(t, "v", values);
  ASSERT_GT(f, 0);
  std::vector<int> sparse, reversed, tiny;
  for (int r = kRows; r >= 1; r -= 3) reversed.push_back(r);
  for (int r = 5; r <= kRows; r += 211) tiny.push_back(r);  // 15 rows: under an eighth of the list
  tiny.push_back(6);
  struct SetCase {
    const char* what;
    int set;
    bool compact;
  };
  const SetCase sets[] = {
      {"all rows", 1, false},
      {"every third row, descending", AddSet(t, reversed), false},
      {"a few rows", AddSet(t, tiny), true},
  };

  TFilter* filter = t->GetFilter(f);
  for (const SetCase& sc : sets) {
    SCOPED_TRACE(sc.what);
    int type = 0, n = 0, m = 0;
    const int handle = innerRQ7OpenDetailInfo(t->FTableID, sc.set, f, &type, &n, &m);
    ASSERT_GT(handle, 0);
    ASSERT_NE(DetailDisp, nullptr);
    EXPECT_EQ(DetailDisp->Compact(), sc.compact);
    std::vector<int> row_vnos;
    TSetArray* set = t->GetSet(sc.set);
    for (int i = 0; i < set->FArraySize; ++i) row_vnos.push_back(filter->PV->PIntAr()[set->PIntAr()[i]]);

    for (int order : {0, 1}) {
      for (bool reverse : {false, true}) {
        for (bool occurring : {false, true}) {
          SCOPED_TRACE(testing::Message()
                       << "order " << order << " reverse " << reverse << " occurring " << occurring);
          const std::vector<Entry> want =
              Reference(row_vnos, filter->VL->FArraySize, sc.compact, order, reverse, occurring);
          EXPECT_EQ(static_cast<size_t>(occurring ? m : n), want.size());
          std::vector<Entry> got;
          for (int row = 1; row <= static_cast<int>(want.size()); ++row) {
            int count = -1, vtype = 0, value = 0;
            ASSERT_EQ(innerRQ7GetDetailCount(handle, order, reverse, occurring, row, &count), 0);
            ASSERT_EQ(innerRQ7GetDetailValueStr(handle, order, reverse, occurring, row, &vtype, &value), 0);
            const int pos = DetailDisp->CalcPos(order, reverse, occurring, row);
            ASSERT_GE(pos, 0);
            const int vno = DetailDisp->ValueNumber(pos);
            EXPECT_EQ(value, static_cast<TIntArray*>(filter->VL)->PIntAr()[vno]);
            got.emplace_back(vno, count);
          }
          EXPECT_EQ(got, want);
        }
      }
    }
  }
}

TEST_F(DetailDisplayTest, PurgeDeletesTheDisplayAndKeepsTheCounter) {
  TRealTable* t = AddTable("purged", 3);
  const int f = AddIntFilter(t, "v", {4, 4, 9});
  int type = 0, n = 0, m = 0, count = 0;
  const int handle = innerRQ7OpenDetailInfo(t->FTableID, -1, f, &type, &n, &m);
  ASSERT_GT(handle, 0);
  PurgeSummaries();
  EXPECT_EQ(DetailDisp, nullptr);
  EXPECT_EQ(innerRQ7GetDetailCount(handle, 0, 0, 0, 1, &count), Q7_ERROR_DETAIL_FAILED);
  EXPECT_EQ(innerRQ7OpenDetailInfo(t->FTableID, -1, f, &type, &n, &m), handle + 1);
  // Re-initialisation forgets without deleting (a purge has run before it).
  TDetailDisp* open = DetailDisp;
  initializeSummaries();
  EXPECT_EQ(DetailDisp, nullptr);
  delete open;
}

}  // namespace
