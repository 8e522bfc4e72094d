// Distinct rows of three columns over a 10-million-row table, as a host asks for them: the exported
// operation (innerQ7ExtractUniqueReal, keep order 0 and 1) and the task object's parallel unique
// extraction (MppExtractUniqueReal, per-filter counting sorts). Each call registers a new set; the
// set is deleted outside the timing.
//
// The table: k1 INTEGER with 1,000 values, k2 INTEGER with 50, s STRING with 10,000 short strings,
// uniform and independent, so nearly every one of the 10 million rows is its own group.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "api/ops/ops_unique.h"
#include "database/MppExtractUniqueReal.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace {

constexpr int kRows = 10000000;

struct FactTable {
  int id = 0;
  TRealTable* table = nullptr;
  int filters[4] = {0, 0, 0, 0};  // k1, k2, s, end of list
};

int AddColumn(TRealTable* t, int table_id, const char* name, int type, int width, void* data) {
  std::string work(name);
  const int id = t->AddFilter2(1024, work.data(), type, kRows, width, data, table_id, -1);
  if (id <= 0) std::fprintf(stderr, "AddFilter2(%s) failed: %d\n", name, id);
  return id;
}

FactTable& Fact() {
  static FactTable fact = [] {
    FactTable f;
    TTableCollection* db = CSmpEngine::Instance()->Database();
    char name[] = "fact";
    f.id = db->AddRealTable(name, kRows);
    f.table = static_cast<TRealTable*>(db->GetTable(f.id));
    std::mt19937_64 gen(42);
    std::vector<int> ints(kRows);
    for (auto& v : ints) v = 1 + static_cast<int>(gen() % 1000);
    f.filters[0] = AddColumn(f.table, f.id, "k1", Q7_TYPE_INTEGER, 4, ints.data());
    for (auto& v : ints) v = 1 + static_cast<int>(gen() % 50);
    f.filters[1] = AddColumn(f.table, f.id, "k2", Q7_TYPE_INTEGER, 4, ints.data());
    std::vector<std::string> words(10000);
    for (int i = 0; i < 10000; ++i) words[i] = "w" + std::to_string(i * 7919 % 10007);
    std::vector<const char*> texts(kRows);
    for (auto& p : texts) p = words[gen() % words.size()].c_str();
    f.filters[2] = AddColumn(f.table, f.id, "s", Q7_TYPE_STRING, 8, texts.data());
    return f;
  }();
  return fact;
}

template <class Extract>
void RunExtract(benchmark::State& state, Extract extract) {
  FactTable& f = Fact();
  int rows = 0;
  for (auto _ : state) {
    const int id = extract(f);
    if (id <= 0) {
      state.SkipWithError("extraction failed");
      break;
    }
    state.PauseTiming();
    rows = f.table->GetSetSize(id);
    f.table->DelSet(id);
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_ExtractUniqueReal(benchmark::State& state) {
  const int keep = static_cast<int>(state.range(0));
  RunExtract(state, [&](FactTable& f) { return innerQ7ExtractUniqueReal(0, f.id, 1, f.filters, keep); });
}

void BM_MppExtractUniqueReal(benchmark::State& state) {
  const int keep = static_cast<int>(state.range(0));
  RunExtract(state, [&](FactTable& f) { return MppExtractUniqueReal(f.id, 1, f.filters, keep); });
}

}  // namespace

BENCHMARK(BM_ExtractUniqueReal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MppExtractUniqueReal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
