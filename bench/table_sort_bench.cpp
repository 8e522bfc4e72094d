// Sorts of a 10-million-row fact table on the worker pool, as the exported sorts run them: by the
// DOUBLE column x (MppSortByField) and by (k2, s, x) (MppIntegratedSortByField, filters given least
// significant first: x, s, k2). Each sort registers a new set; the set is deleted outside the
// timing.
//
// The table: k1 INTEGER with 1,000 values, k2 INTEGER with 50, s STRING with 10,000 short strings,
// x DOUBLE uniform in [0, 1) (about 10 million distinct values).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace {

constexpr int kRows = 10000000;

struct FactTable {
  std::unique_ptr<TTableCollection> db;
  TRealTable* table = nullptr;
  int k1 = 0, k2 = 0, s = 0, x = 0;
};

int AddColumn(TRealTable* t, const char* name, int type, int width, void* data) {
  std::string work(name);
  const int id = t->AddFilter2(1024, work.data(), type, kRows, width, data, 0, -1);
  if (id <= 0) std::fprintf(stderr, "AddFilter2(%s) failed: %d\n", name, id);
  return id;
}

FactTable& Fact() {
  static FactTable fact = [] {
    FactTable f;
    f.db = std::make_unique<TTableCollection>();
    char name[] = "fact";
    f.table = static_cast<TRealTable*>(f.db->GetTable(f.db->AddRealTable(name, kRows)));
    std::mt19937_64 gen(42);
    std::vector<int> ints(kRows);
    for (auto& v : ints) v = static_cast<int>(gen() % 1000);
    f.k1 = AddColumn(f.table, "k1", Q7_TYPE_INTEGER, 4, ints.data());
    for (auto& v : ints) v = static_cast<int>(gen() % 50);
    f.k2 = AddColumn(f.table, "k2", Q7_TYPE_INTEGER, 4, ints.data());
    std::vector<std::string> words(10000);
    for (int i = 0; i < 10000; ++i) words[i] = "w" + std::to_string(i * 7919 % 10007);
    std::vector<const char*> texts(kRows);
    for (auto& p : texts) p = words[gen() % words.size()].c_str();
    f.s = AddColumn(f.table, "s", Q7_TYPE_STRING, 8, texts.data());
    std::vector<double> doubles(kRows);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (auto& v : doubles) v = uniform(gen);
    f.x = AddColumn(f.table, "x", Q7_TYPE_DOUBLE, 8, doubles.data());
    return f;
  }();
  return fact;
}

template <class Sort>
void RunSort(benchmark::State& state, Sort sort) {
  TRealTable* t = Fact().table;
  for (auto _ : state) {
    const int id = sort(t);
    if (id <= 0) {
      state.SkipWithError("sort failed");
      break;
    }
    state.PauseTiming();
    t->DelSet(id);
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_SortByX(benchmark::State& state) {
  const int dir = static_cast<int>(state.range(0));
  RunSort(state, [&](TRealTable* t) { return t->MppSortByField(Fact().x, 1, dir); });
}

void BM_SortByK2SX(benchmark::State& state) {
  RunSort(state, [&](TRealTable* t) {
    int filters[] = {Fact().x, Fact().s, Fact().k2, 0};
    int dirs[] = {0, 0, 0};
    return t->MppIntegratedSortByField(1, filters, dirs);
  });
}

}  // namespace

BENCHMARK(BM_SortByX)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SortByK2SX)->Unit(benchmark::kMillisecond)->UseRealTime();
