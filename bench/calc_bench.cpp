// A calculated column over a 10-million-row table, as a host's order-total update runs it:
// RQ7CalcReal("@price*@qty+@tax") on every row of set 1 into a DOUBLE column, through the exported
// call (the merge check, the four-operation calculator on the worker pool, the write-back through the
// task object's overwrite, which compiles the results into the column's value list). price is a
// DOUBLE of 10,000 distinct prices (0.01 to 100.00), qty an INTEGER of 1 to 100, tax a DOUBLE of
// 1,000 distinct amounts (0.00 to 9.99). The results take about 1.9 million distinct values.
//
// BM_CalcPtrAllRows runs the same formula into host memory (RQ7CalcPtr): the evaluation alone.
// BM_OverwriteAllRows writes the same results over the column: the write-back alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace {

constexpr int kRows = 10000000;
constexpr char kFormula[] = "@price*@qty+@tax";

struct Fixture {
  int table = 0;
  int target = 0;

  Fixture() {
    std::mt19937_64 gen(20261210);
    std::vector<double> price(kRows), tax(kRows);
    std::vector<int32_t> qty(kRows);
    for (int i = 0; i < kRows; ++i) {
      price[i] = static_cast<double>(1 + gen() % 10000) / 100.0;
      qty[i] = static_cast<int32_t>(1 + gen() % 100);
      tax[i] = static_cast<double>(gen() % 1000) / 100.0;
    }
    TTableCollection* db = CSmpEngine::Instance()->Database();
    char table_name[] = "orders";
    table = db->AddRealTable(table_name, kRows);
    if (table <= 0) return;
    auto* real = static_cast<TRealTable*>(db->GetTable(table));
    char price_name[] = "price", qty_name[] = "qty", tax_name[] = "tax", target_name[] = "amount";
    const bool columns = real->AddFilter2(TRealTable::kAppendPosition, price_name, Q7_TYPE_DOUBLE, kRows, 8,
                                          price.data(), table, -1) > 0 &&
                         real->AddFilter2(TRealTable::kAppendPosition, qty_name, Q7_TYPE_INTEGER, kRows, 4,
                                          qty.data(), table, -1) > 0 &&
                         real->AddFilter2(TRealTable::kAppendPosition, tax_name, Q7_TYPE_DOUBLE, kRows, 8,
                                          tax.data(), table, -1) > 0;
    if (!columns) return;
    target = real->AddEmptyFilter(TRealTable::kAppendPosition, target_name, Q7_TYPE_DOUBLE, table, -1);
  }
};

Fixture& Shared() {
  static Fixture* f = new Fixture;
  return *f;
}

// Every repetition recomputes the whole column (the first one fills an empty column; the figures
// are medians, so they show the recomputation).
void BM_CalcRealAllRows(benchmark::State& state) {
  Fixture& f = Shared();
  if (f.target <= 0) {
    state.SkipWithError("setup failed");
    return;
  }
  char message[512];
  for (auto _ : state) {
    const int rc = RQ7CalcReal(f.table, 1, f.target, 1, kRows, kFormula, message);
    if (rc != 0) state.SkipWithError("RQ7CalcReal failed");
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CalcRealAllRows)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CalcPtrAllRows(benchmark::State& state) {
  Fixture& f = Shared();
  if (f.target <= 0) {
    state.SkipWithError("setup failed");
    return;
  }
  std::vector<double> out(kRows);
  char message[512];
  for (auto _ : state) {
    const int rc =
        RQ7CalcPtr(f.table, 1, 1, kRows, kFormula, Q7_TYPE_DOUBLE, out.data(), 0, nullptr, message);
    if (rc != 0) state.SkipWithError("RQ7CalcPtr failed");
  }
  benchmark::DoNotOptimize(out.data());
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_CalcPtrAllRows)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The write-back alone: the same results, computed once, written over the column with
// RQ7OverwriteRealEx as the calculation does.
void BM_OverwriteAllRows(benchmark::State& state) {
  Fixture& f = Shared();
  if (f.target <= 0) {
    state.SkipWithError("setup failed");
    return;
  }
  std::vector<double> results(kRows);
  char message[512];
  if (RQ7CalcPtr(f.table, 1, 1, kRows, kFormula, Q7_TYPE_DOUBLE, results.data(), 0, nullptr, message) != 0) {
    state.SkipWithError("RQ7CalcPtr failed");
    return;
  }
  for (auto _ : state) {
    if (RQ7OverwriteRealEx(f.table, 1, f.target, 1, kRows, results.data()) != kRows) {
      state.SkipWithError("RQ7OverwriteRealEx failed");
    }
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_OverwriteAllRows)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
