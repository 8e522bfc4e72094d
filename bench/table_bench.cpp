// Adding a filter to a 10-million-row real table from a raw INTEGER column of 1,000 distinct values
// (AddFilter2: the NULL element, the copy of the column, the parallel compile and the filter's
// arrays), as a host's column upload runs it. The filter is dropped again outside the timing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"

namespace {

constexpr int kRows = 10000000;

void BM_AddFilter2Integer1000Distinct(benchmark::State& state) {
  static const std::vector<int32_t> col = [] {
    std::mt19937 gen(1);
    std::vector<int32_t> v(kRows);
    for (auto& x : v) x = static_cast<int32_t>(gen() % 1000) * 37 - 5000;
    v[7] = std::numeric_limits<int32_t>::min();
    return v;
  }();
  TTableCollection db;
  char table_name[] = "bench";
  auto* table = static_cast<TRealTable*>(db.GetTable(db.AddRealTable(table_name, kRows)));
  for (auto _ : state) {
    char name[] = "v";
    const int id = table->AddFilter2(TRealTable::kAppendPosition, name, 2, kRows, 4,
                                     const_cast<int32_t*>(col.data()), table->FTableID, -1);
    state.PauseTiming();
    if (id < 0) state.SkipWithError("AddFilter2 failed");
    table->DropFilter(id);
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_AddFilter2Integer1000Distinct)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
