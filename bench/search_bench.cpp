// Parallel searches on a 10-million-row fact table: k1 INTEGER (1,000 values), k2 INTEGER (50
// values), s STRING (10,000 short texts), x DOUBLE (uniform in [0, 1)). Each search runs as a host's
// MppSearchByField runs it on set 1 (the merge check, the set search on the pool, registering the
// result); the result set is deleted again outside the timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"

namespace {

constexpr int kRows = 10000000;

struct FactTable {
  TTableCollection db;
  TRealTable* table = nullptr;
  int k1 = 0, k2 = 0, s = 0, x = 0;

  FactTable() {
    std::mt19937_64 gen(42);
    char table_name[] = "fact";
    table = static_cast<TRealTable*>(db.GetTable(db.AddRealTable(table_name, kRows)));
    std::vector<int32_t> ints(kRows);
    for (auto& v : ints) v = static_cast<int32_t>(gen() % 1000);
    char n1[] = "k1";
    k1 = table->AddFilter2(TRealTable::kAppendPosition, n1, 2, kRows, 4, ints.data(), table->FTableID, -1);
    for (auto& v : ints) v = static_cast<int32_t>(gen() % 50);
    char n2[] = "k2";
    k2 = table->AddFilter2(TRealTable::kAppendPosition, n2, 2, kRows, 4, ints.data(), table->FTableID, -1);
    std::vector<std::string> texts;
    for (int i = 0; i < 10000; ++i) texts.push_back(std::string("s").append(std::to_string(i)));
    std::vector<const char*> pointers(kRows);
    for (auto& p : pointers) p = texts[gen() % texts.size()].c_str();
    char n3[] = "s";
    s = table->AddFilter2(TRealTable::kAppendPosition, n3, 6, kRows, 8, pointers.data(), table->FTableID, -1);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> doubles(kRows);
    for (auto& v : doubles) v = uniform(gen);
    char n4[] = "x";
    x = table->AddFilter2(TRealTable::kAppendPosition, n4, 3, kRows, 8, doubles.data(), table->FTableID, -1);
  }
};

FactTable& Fact() {
  static FactTable fact;
  return fact;
}

template <class Search>
void RunSearch(benchmark::State& state, Search search) {
  TRealTable* t = Fact().table;
  int64_t rows = 0;
  for (auto _ : state) {
    const int id = search(t);
    state.PauseTiming();
    if (id < 0) state.SkipWithError("search failed");
    rows = t->GetSetSize(id);
    t->DelSet(id);
    state.ResumeTiming();
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_EqualK2(benchmark::State& state) {
  RunSearch(state, [](TRealTable* t) {
    int32_t seven = 7;
    return t->MppSearchByField(Fact().k2, 1, 0, reinterpret_cast<char*>(&seven), nullptr);
  });
}

void BM_RangeX(benchmark::State& state) {
  RunSearch(state, [](TRealTable* t) {
    double lo = 0.25, hi = 0.35;
    return t->MppSearchByField(Fact().x, 1, 1, reinterpret_cast<char*>(&lo), reinterpret_cast<char*>(&hi));
  });
}

void BM_PrefixS(benchmark::State& state) {
  RunSearch(state, [](TRealTable* t) {
    char prefix[] = "s12";
    return t->MppSearchByField(Fact().s, 1, 8, prefix, nullptr);
  });
}

void BM_MiddleS(benchmark::State& state) {
  RunSearch(state, [](TRealTable* t) {
    char middle[] = "42";
    return t->MppSearchByField(Fact().s, 1, 9, middle, nullptr);
  });
}

// With repetitions, the fastest one too: on a shared machine it is the figure least disturbed.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_EqualK2)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Fastest);
BENCHMARK(BM_RangeX)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Fastest);
BENCHMARK(BM_PrefixS)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Fastest);
BENCHMARK(BM_MiddleS)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Fastest);

}  // namespace
