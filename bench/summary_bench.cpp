// Cube summaries into a new table: a 10-million-row table summed over two dimensions (1,000 and 50
// values, so 1,001 x 51 categories with the NULL entries) with SUM and AVERAGE of a DOUBLE column
// (prices 0.00 to 999.99: 100,000 distinct values),
// once per engine: dense per-worker cubes (MppCubeSum) and bit-packed cell addresses
// (MppFastCubeSum). The output table is deleted outside the timing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/MppCubeSum.h"

namespace {

constexpr int kRows = 10000000;

TTableCollection* Db() { return CSmpEngine::Instance()->Database(); }

struct Cube {
  int table = 0;
  int dims[2] = {};
  int measure = 0;
};

const Cube& Source() {
  static const Cube cube = [] {
    Cube c;
    std::mt19937_64 gen(7);
    std::vector<int> a(kRows), b(kRows);
    std::vector<double> x(kRows);
    for (int r = 0; r < kRows; ++r) {
      a[r] = static_cast<int>(gen() % 1000);
      b[r] = static_cast<int>(gen() % 50);
      x[r] = static_cast<double>(gen() % 100000) / 100.0;
    }
    char name[] = "cube";
    c.table = Db()->AddRealTable(name, kRows);
    auto* t = static_cast<TRealTable*>(Db()->GetTable(c.table));
    std::string na = "a", nb = "b", nx = "x";
    c.dims[0] = t->AddFilter2(1024, na.data(), Q7_TYPE_INTEGER, kRows, 4, a.data(), c.table, -1);
    c.dims[1] = t->AddFilter2(1024, nb.data(), Q7_TYPE_INTEGER, kRows, 4, b.data(), c.table, -1);
    c.measure = t->AddFilter2(1024, nx.data(), Q7_TYPE_DOUBLE, kRows, 8, x.data(), c.table, -1);
    if (c.dims[0] <= 0 || c.dims[1] <= 0 || c.measure <= 0) std::fprintf(stderr, "column set-up failed\n");
    return c;
  }();
  return cube;
}

// state.range(0): 0 dense per-worker cubes, 1 bit-packed addresses.
void BM_CubeSumSumAverage(benchmark::State& state) {
  const Cube& c = Source();
  const int mask = 8 | 16;
  for (auto _ : state) {
    const int out = state.range(0) == 0
                        ? MppCubeSum(c.table, 1, 2, c.dims, 1, &c.measure, &mask, nullptr)
                        : MppFastCubeSum(c.table, 1, 2, c.dims, 1, &c.measure, &mask, nullptr);
    state.PauseTiming();
    if (out <= 0) {
      state.SkipWithError("cube sum failed");
    } else {
      Db()->DelTable(out);
    }
    state.ResumeTiming();
  }
}

}  // namespace

BENCHMARK(BM_CubeSumSumAverage)
    ->ArgName("method")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
