// The parallel cube sums give a group-by computed here, whatever the number of workers: sets
// larger and smaller than the worker count, cubes larger and smaller than it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/MppCubeSum.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kNull = std::numeric_limits<int>::min();

using Method = int (*)(int, int, int, const int*, int, const int*, const int*, const int*);
struct NamedMethod {
  const char* name;
  Method run;
};
const NamedMethod kMethods[] = {{"dense cubes", MppCubeSum}, {"packed addresses", MppFastCubeSum}};
const int kCaps[] = {1, 2, 3, 0};  // 0: every active worker

// The output rows, each as its integer values (NULL as kNull; SUM as an exact integer-valued double).
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

// Group-by over the dimension columns of the listed rows: COUNT, MAX, MIN and SUM of the measure.
Rows GroupBy(const std::vector<std::vector<int>>& dims, const std::vector<int>& measure,
             const std::vector<int>& rows) {
  struct Acc {
    int count = 0, max = kNull, min = kNull;
    double sum = 0;
  };
  std::map<std::vector<int>, Acc> groups;
  for (int r : rows) {
    std::vector<int> key;
    for (const auto& d : dims) key.push_back(d[r]);
    Acc& a = groups[key];
    ++a.count;
    const int v = measure[r];
    if (v == kNull) continue;
    a.max = a.max == kNull ? v : std::max(a.max, v);
    a.min = a.min == kNull ? v : std::min(a.min, v);
    a.sum += v;
  }
  Rows out;
  for (const auto& [key, a] : groups) {
    std::vector<double> row(key.begin(), key.end());
    row.insert(row.end(),
               {static_cast<double>(a.count), static_cast<double>(a.max), static_cast<double>(a.min), a.sum});
    out.push_back(row);
  }
  return out;
}

TEST(CubeMethodsThreads, EveryWorkerCountGivesTheGroupBy) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  const int n = 60000;
  // A wide dimension (2,000 values), a narrow one (9 values with NULLs), a measure with NULLs.
  std::vector<std::vector<int>> dims(2, std::vector<int>(n));
  std::vector<int> measure(n);
  for (int r = 0; r < n; ++r) {
    const unsigned h = static_cast<unsigned>(r) * 2654435761u;
    dims[0][r] = static_cast<int>((h >> 8) % 2000);
    dims[1][r] = h % 10 == 0 ? kNull : static_cast<int>((h >> 4) % 9);
    measure[r] = h % 13 == 0 ? kNull : static_cast<int>((h >> 12) % 1000) - 300;
  }
  char name[] = "facts";
  const int t = db->AddRealTable(name, n);
  ASSERT_GT(t, 0);
  auto* table = static_cast<TRealTable*>(db->GetTable(t));
  int ids[3];
  const std::vector<int>* columns[3] = {&dims[0], &dims[1], &measure};
  for (int c = 0; c < 3; ++c) {
    char col[] = "c";
    ids[c] = table->AddFilter2(1024, col, Q7_TYPE_INTEGER, n, 4, columns[c]->data(), t, -1);
    ASSERT_GT(ids[c], 0);
  }
  // Sets: every row, three rows (fewer than most worker counts), and every seventh row.
  std::vector<std::vector<int>> members(3);
  for (int r = 0; r < n; ++r) members[0].push_back(r);
  members[1] = {5, 77, 59998};
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
    std::vector<int> dims;  // indexes into dims
  };
  const Shape shapes[] = {{"two dimensions", {0, 1}}, {"narrow dimension", {1}}, {"no dimension", {}}};
  for (const Shape& shape : shapes) {
    std::vector<std::vector<int>> chosen;
    std::vector<int> dim_ids;
    for (int d : shape.dims) {
      chosen.push_back(dims[d]);
      dim_ids.push_back(ids[d]);
    }
    for (size_t s = 0; s < sets.size(); ++s) {
      const Rows want = GroupBy(chosen, measure, members[s]);
      for (const NamedMethod& m : kMethods) {
        for (const int cap : kCaps) {
          SCOPED_TRACE(std::string(shape.what) + ", " + m.name + ", set " + std::to_string(sets[s]) +
                       ", cap " + std::to_string(cap));
          q7test::WorkerCap limit(cap);
          const int mask = 15;
          const int out =
              m.run(t, sets[s], static_cast<int>(dim_ids.size()), dim_ids.data(), 1, &ids[2], &mask, nullptr);
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
