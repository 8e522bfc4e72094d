// Value-list compiles of 10 million rows on the worker pool (MppCompile), as filter creation runs
// them: an INTEGER column of 1,000 distinct values, a DOUBLE column of 10 million distinct values
// and a STRING column of 10,000 distinct short texts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "values/MppCompile.h"

namespace {

constexpr int kRows = 10000000;

void Run(benchmark::State& state, int type, int width, const void* raw) {
  for (auto _ : state) {
    int* rows = nullptr;
    int count = 0;
    void* list = nullptr;
    MppCompile(kRows, type, width, raw, &rows, &count, &list);
    benchmark::DoNotOptimize(rows);
    state.counters["distinct"] = count;
    zpk_free(rows);
    zpk_free(list);
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_CompileInteger1000Distinct(benchmark::State& state) {
  static const std::vector<int32_t> col = [] {
    std::mt19937 gen(1);
    std::vector<int32_t> v(kRows);
    for (auto& x : v) x = static_cast<int32_t>(gen() % 1000) * 37 - 5000;
    v[0] = std::numeric_limits<int32_t>::min();
    return v;
  }();
  Run(state, 2, 4, col.data());
}

void BM_CompileDouble10MDistinct(benchmark::State& state) {
  static const std::vector<double> col = [] {
    std::vector<double> v(kRows);
    for (int i = 0; i < kRows; ++i) v[i] = i * 0.5 - 1e6;
    std::shuffle(v.begin() + 1, v.end(), std::mt19937_64(2));
    v[0] = -std::numeric_limits<double>::infinity();
    return v;
  }();
  Run(state, 3, 8, col.data());
}

void BM_CompileString10000Distinct(benchmark::State& state) {
  static const std::vector<std::string> pool = [] {
    std::vector<std::string> p;
    char buf[32];
    for (int i = 0; i < 10000; ++i) {
      snprintf(buf, sizeof(buf), "item-%05d", (i * 7919) % 10000);
      p.emplace_back(buf);
    }
    return p;
  }();
  static const std::vector<const char*> col = [] {
    std::mt19937 gen(3);
    std::vector<const char*> v(kRows);
    for (auto& t : v) t = pool[gen() % pool.size()].c_str();
    v[0] = "";
    return v;
  }();
  Run(state, 6, 8, col.data());
}

BENCHMARK(BM_CompileInteger1000Distinct)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompileDouble10MDistinct)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompileString10000Distinct)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
