// The sorted-address non-cube sums give a group-by computed here whatever the number of workers:
// sets larger and smaller than the worker count, groups more and fewer than the workers, one-digit
// and two-digit address sorts, and two measures carried side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/noncube/FastNonCubeSum.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kNull = std::numeric_limits<int>::min();
const int kCaps[] = {1, 2, 3, 0};  // 0: every active worker

// The output rows, each as its values (NULL as kNull; SUM and AVG as doubles).
using Rows = std::vector<std::vector<double>>;

Rows ReadRows(TRealTable* t) {
  Rows out(static_cast<size_t>(t->TotalRecs()));
  for (int c = 0; c < t->FnFilter; ++c) {
    TFilter* f = t->FFilters[c];
    const bool is_int = f->VL->GetDataType() == Q7_TYPE_INTEGER;
    for (int r = 1; r <= t->TotalRecs(); ++r) {
      void* p = f->VL->GetAddress(f->PV->PIntAr()[r]);
      out[r - 1].push_back(is_int ? *static_cast<int*>(p) : *static_cast<double*>(p));
    }
  }
  return out;
}

// Group-by over the dimension columns of the listed rows: per measure COUNT, MAX, MIN, SUM and AVG
// (MAX and MIN skip NULLs; AVG divides by every row of the group).
Rows GroupBy(const std::vector<const std::vector<int>*>& dims,
             const std::vector<const std::vector<int>*>& measures, const std::vector<int>& rows) {
  struct Acc {
    int max = kNull, min = kNull;
    double sum = 0;
  };
  struct Group {
    int count = 0;
    std::vector<Acc> accs;
  };
  std::map<std::vector<int>, Group> groups;
  for (int r : rows) {
    std::vector<int> key;
    for (const auto* d : dims) key.push_back((*d)[r]);
    Group& g = groups[key];
    ++g.count;
    g.accs.resize(measures.size());
    for (size_t m = 0; m < measures.size(); ++m) {
      const int v = (*measures[m])[r];
      if (v == kNull) continue;
      Acc& a = g.accs[m];
      a.max = a.max == kNull ? v : std::max(a.max, v);
      a.min = a.min == kNull ? v : std::min(a.min, v);
      a.sum += v;
    }
  }
  Rows out;
  for (const auto& [key, g] : groups) {
    std::vector<double> row(key.begin(), key.end());
    for (const Acc& a : g.accs) {
      row.insert(row.end(), {static_cast<double>(g.count), static_cast<double>(a.max),
                             static_cast<double>(a.min), a.sum, a.sum / g.count});
    }
    out.push_back(row);
  }
  return out;
}

TEST(FastNonCubeSumThreads, EveryWorkerCountGivesTheGroupBy) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // The sort's road follows the address space the dimensions span, not the rows.
  const int n = 15000;
  // A wide dimension (2,000 values), a narrow one (9 values and NULLs), one of 50 values that takes
  // the address past 16 bits, and a measure with NULLs.
  std::vector<std::vector<int>> cols(4, std::vector<int>(n));
  for (int r = 0; r < n; ++r) {
    const unsigned h = static_cast<unsigned>(r) * 2654435761u;
    cols[0][r] = static_cast<int>((h >> 8) % 2000);
    cols[1][r] = h % 10 == 0 ? kNull : static_cast<int>((h >> 4) % 9);
    cols[2][r] = static_cast<int>((h >> 20) % 50);
    cols[3][r] = h % 13 == 0 ? kNull : static_cast<int>((h >> 12) % 1000) - 300;
  }
  char name[] = "facts";
  const int t = db->AddRealTable(name, n);
  ASSERT_GT(t, 0);
  auto* table = static_cast<TRealTable*>(db->GetTable(t));
  int ids[4];
  for (int c = 0; c < 4; ++c) {
    char col[] = "c";
    ids[c] = table->AddFilter2(1024, col, Q7_TYPE_INTEGER, n, 4, cols[c].data(), t, -1);
    ASSERT_GT(ids[c], 0);
  }
  // Sets: every row, three rows (fewer than most worker counts), and every seventh row.
  std::vector<std::vector<int>> members(3);
  for (int r = 0; r < n; ++r) members[0].push_back(r);
  members[1] = {5, 77, n - 2};
  for (int r = 0; r < n; r += 7) members[2].push_back(r);
  std::vector<int> sets = {1};
  for (int s = 1; s < 3; ++s) {
    auto* set = new TSetArray(static_cast<int>(members[s].size()), 0);
    for (size_t i = 0; i < members[s].size(); ++i) set->PIntAr()[i] = members[s][i] + 1;
    sets.push_back(table->AddSetWithoutCopy(set));
    ASSERT_GT(sets.back(), 1);
  }

  struct Shape {
    const char* what;
    std::vector<int> dims;  // indexes into cols
  };
  const Shape shapes[] = {{"two dimensions", {0, 1}},
                          {"three dimensions, two-digit sort", {2, 0, 1}},
                          {"narrow dimension", {1}},
                          {"no dimension", {}}};
  // The measure with NULLs and the narrow dimension's column: two payload columns per row.
  const std::vector<const std::vector<int>*> measures = {&cols[3], &cols[1]};
  const std::vector<int> measure_ids = {ids[3], ids[1]};
  const std::vector<int> masks = {31, 31};
  for (const Shape& shape : shapes) {
    std::vector<const std::vector<int>*> chosen;
    std::vector<int> dim_ids;
    for (int d : shape.dims) {
      chosen.push_back(&cols[d]);
      dim_ids.push_back(ids[d]);
    }
    for (size_t s = 0; s < sets.size(); ++s) {
      const Rows want = GroupBy(chosen, measures, members[s]);
      for (const int carry : {1, 0}) {
        for (const int cap : kCaps) {
          SCOPED_TRACE(std::string(shape.what) + ", carry " + std::to_string(carry) + ", set " +
                       std::to_string(sets[s]) + ", cap " + std::to_string(cap));
          q7test::WorkerCap limit(cap);
          const int out = MppFastNonCubeSum(t, sets[s], static_cast<int>(dim_ids.size()), dim_ids.data(), 2,
                                            measure_ids.data(), masks.data(), nullptr, carry);
          ASSERT_GT(out, 0);
          EXPECT_TRUE(ReadRows(static_cast<TRealTable*>(db->GetTable(out))) == want);
          EXPECT_EQ(db->DelTable(out), 0);
        }
      }
    }
  }
  EXPECT_EQ(db->DelTable(t), 0);
}

}  // namespace
