// What the operation layer adds to a call: a search of a 1,000-row table through
// innerQ7SearchByField (bound check, table lookup in the engine's database, own catch, result
// check, saved flag) against the table's own SearchByField on the same table. Both loops delete the
// new set again inside the timing, so the difference of the two is the layer's cost.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "api/ops/ops_search.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"

namespace {

constexpr int kRows = 1000;

struct SmallTable {
  TRealTable* table = nullptr;
  int id = 0;
  int filter = 0;

  SmallTable() {
    TTableCollection* db = CSmpEngine::Instance()->Database();
    char name[] = "overhead";
    id = db->AddRealTable(name, kRows);
    table = static_cast<TRealTable*>(db->GetTable(id));
    std::vector<int32_t> values(kRows);
    for (int i = 0; i < kRows; ++i) values[i] = (i * 7919) % 100;
    char column[] = "k";
    filter = table->AddFilter2(TRealTable::kAppendPosition, column, Q7_TYPE_INTEGER, kRows, 4, values.data(),
                               id, -1);
  }
};

SmallTable& Small() {
  static SmallTable small;
  return small;
}

// EQ on a value held by 10 rows of set 1.
int32_t g_key = 42;

void BM_SearchDirect(benchmark::State& state) {
  SmallTable& s = Small();
  for (auto _ : state) {
    const int set = s.table->SearchByField(s.filter, 1, 0, reinterpret_cast<char*>(&g_key), nullptr);
    benchmark::DoNotOptimize(set);
    s.table->DelSet(set);
  }
}
BENCHMARK(BM_SearchDirect);

void BM_SearchThroughLayer(benchmark::State& state) {
  SmallTable& s = Small();
  for (auto _ : state) {
    const int set = innerQ7SearchByField(s.id, s.filter, 1, 0, reinterpret_cast<char*>(&g_key), nullptr);
    benchmark::DoNotOptimize(set);
    s.table->DelSet(set);
  }
}
BENCHMARK(BM_SearchThroughLayer);

}  // namespace
