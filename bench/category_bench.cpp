// Ten interval categories over a 10-million-row DOUBLE column, as a host's price banding runs it:
// RQ7AddCategoryReal with a category table of ten BETWEEN rows ([0, 999.99], [1000, 1999.99], ...)
// over price, a DOUBLE of 1,000,000 distinct prices (0.00 to 9999.99). The exported call takes the
// serial road: one pass of range marks over the sorted value list, then every record mapped on the
// worker pool. Each repetition adds the column and drops it again outside the timing.
//
// BM_MppAddCategory runs the engine task object's parallel road on the same tables: every distinct
// price tested against the ten rows on the worker pool, then every record mapped.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "api/frame/frame.h"
#include "api/task/CDBTask.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace {

constexpr int kRows = 10000000;
constexpr int kBands = 10;

struct Fixture {
  int table = 0;
  int price = 0;
  int bands = 0;

  Fixture() {
    std::mt19937_64 gen(20261210);
    std::vector<double> price_values(kRows);
    for (double& p : price_values) p = static_cast<double>(gen() % 1000000) / 100.0;
    TTableCollection* db = CSmpEngine::Instance()->Database();
    char table_name[] = "orders";
    table = db->AddRealTable(table_name, kRows);
    if (table <= 0) return;
    auto* real = static_cast<TRealTable*>(db->GetTable(table));
    char price_name[] = "price";
    price = real->AddFilter2(TRealTable::kAppendPosition, price_name, Q7_TYPE_DOUBLE, kRows, 8,
                             price_values.data(), table, -1);
    if (price <= 0) return;

    char bands_name[] = "BANDS";
    const int c = db->AddRealTable(bands_name, kBands);
    if (c <= 0) return;
    auto* cats = static_cast<TRealTable*>(db->GetTable(c));
    std::vector<const char*> ops(kBands, "BETWEEN");
    std::vector<double> lo(kBands), hi(kBands);
    std::vector<int32_t> band(kBands);
    for (int k = 0; k < kBands; ++k) {
      lo[k] = k * 1000.0;
      hi[k] = k * 1000.0 + 999.99;
      band[k] = k + 1;
    }
    char cmd[] = "cmd", p1[] = "p1", p2[] = "p2", cat[] = "band";
    const bool columns =
        cats->AddFilter2(TRealTable::kAppendPosition, cmd, Q7_TYPE_STRING, kBands, 8, ops.data(), c, -1) >
            0 &&
        cats->AddFilter2(TRealTable::kAppendPosition, p1, Q7_TYPE_DOUBLE, kBands, 8, lo.data(), c, -1) > 0 &&
        cats->AddFilter2(TRealTable::kAppendPosition, p2, Q7_TYPE_DOUBLE, kBands, 8, hi.data(), c, -1) > 0 &&
        cats->AddFilter2(TRealTable::kAppendPosition, cat, Q7_TYPE_INTEGER, kBands, 4, band.data(), c, -1) >
            0;
    if (columns) bands = c;
  }
};

Fixture& Shared() {
  static Fixture* f = new Fixture;
  return *f;
}

template <class AddColumn>
void RunBands(benchmark::State& state, AddColumn&& add) {
  Fixture& f = Shared();
  if (f.bands <= 0) {
    state.SkipWithError("setup failed");
    return;
  }
  for (auto _ : state) {
    const int column = add(f);
    state.PauseTiming();
    if (column <= 0) {
      state.SkipWithError("adding the category column failed");
    } else {
      RQ7DeleteRealFilter(f.table, column);
    }
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AddCategoryReal(benchmark::State& state) {
  RunBands(state, [](Fixture& f) { return RQ7AddCategoryReal(f.table, f.price, f.bands); });
}
BENCHMARK(BM_AddCategoryReal)->Iterations(9)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MppAddCategory(benchmark::State& state) {
  RunBands(state, [](Fixture& f) {
    ApiLock lock;
    return DBTASK()->AddCategoryReal(f.table, f.price, f.bands);
  });
}
BENCHMARK(BM_MppAddCategory)->Iterations(9)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
