// Overwriting 1,000 scattered rows of a 10-million-row INTEGER filter (1,000 distinct values), as a
// host's row update runs it: the rows are a set of 1,000 random records, the values either already
// in the filter's value list or new ones spread over its whole range. New values go to the filter's pending
// list, which is merged into the value list (one renumbering of all 10 million records) whenever it runs
// full, so the new-value figures include that merge spread over the writes. The last case turns the pending
// list off: every write then merges its values into the list at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"

namespace {

constexpr int kRows = 10000000;
constexpr int kWrite = 1000;

struct Fixture {
  TTableCollection db;
  TRealTable* table = nullptr;
  int filter = 0;
  int set = 0;
  // The next new value's index: new values never repeat across cases and repetitions.
  int32_t next_new = 0;

  Fixture() {
    std::mt19937 gen(1);
    std::vector<int32_t> col(kRows);
    for (auto& x : col) x = static_cast<int32_t>(gen() % 1000) * 10000;
    char table_name[] = "bench";
    table = static_cast<TRealTable*>(db.GetTable(db.AddRealTable(table_name, kRows)));
    char name[] = "v";
    filter = table->AddFilter2(TRealTable::kAppendPosition, name, Q7_TYPE_INTEGER, kRows, 4, col.data(),
                               table->FTableID, -1);
    std::vector<int> rows(kWrite);
    for (auto& r : rows) r = 1 + static_cast<int>(gen() % kRows);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    while (static_cast<int>(rows.size()) < kWrite) rows.push_back(1 + static_cast<int>(gen() % kRows));
    std::shuffle(rows.begin(), rows.end(), gen);
    set = table->AddSetFromRows(kWrite, rows.data());
  }
};

Fixture& Shared() {
  static Fixture* f = new Fixture;
  return *f;
}

// mode 0: values in the list; 1: new values; 2: new values with the pending list off.
template <bool kParallel>
void BM_OverWrite1000Scattered(benchmark::State& state) {
  Fixture& f = Shared();
  if (f.filter <= 0 || f.set <= 0) {
    state.SkipWithError("setup failed");
    return;
  }
  const int mode = static_cast<int>(state.range(0));
  TFilter* filter = f.table->GetFilter(f.filter);
  filter->TVLMinRecs = mode == 2 ? INT_MAX : TFilter::kTVLMinRecs;
  std::mt19937 gen(2);
  std::vector<int32_t> values(kWrite);
  int merges = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // A new value falls into a gap between the filter's values, so that merging it renumbers the
    // records above it.
    for (auto& v : values) {
      v = mode == 0 ? static_cast<int32_t>(gen() % 1000) * 10000
                    : (f.next_new % 999) * 10000 + 1 + f.next_new / 999;
      ++f.next_new;
    }
    state.ResumeTiming();
    const TBaseArray* list = filter->VL;
    const int rc = kParallel ? f.table->MppOverWriteEx(f.set, f.filter, 1, kWrite, values.data())
                             : f.table->OverWriteEx(f.set, f.filter, 1, kWrite, values.data());
    if (rc != kWrite) state.SkipWithError("write failed");
    if (filter->VL != list) ++merges;
  }
  // Leave the filter as the next case expects it: no pending values, the pending list on.
  filter->MergeTVL(true);
  filter->TVLMinRecs = TFilter::kTVLMinRecs;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
  state.counters["list_merges"] = merges;
}
// A fixed 100 writes per case, so that the new-value means hold the ten merges the pending list
// needs on the way.
BENCHMARK_TEMPLATE(BM_OverWrite1000Scattered, false)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_OverWrite1000Scattered, true)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
