// Date and time text: parse and print, one value per iteration.
#include <benchmark/benchmark.h>

#include "values/DateTime.h"

namespace {

void BM_Str2DateChecked(benchmark::State& state) {
  int err = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Str2Date("2024/02/29", 1, &err));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Str2DateChecked);

void BM_Str2DateUnchecked(benchmark::State& state) {
  int err = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Str2Date("2024/02/29", 0, &err));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Str2DateUnchecked);

void BM_Str2DateTimeChecked(benchmark::State& state) {
  int err = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Str2DateTime("2024/02/29 12:34:56.789", 1, &err));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Str2DateTimeChecked);

void BM_Str2DateExTypeD1(benchmark::State& state) {
  int err = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Str2DateExType("2024/02/29", 1, 1, &err));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Str2DateExTypeD1);

void BM_Double2DateTimeStr(benchmark::State& state) {
  char out[32];
  double v = 45351.52415;
  for (auto _ : state) {
    Double2DateTimeStrInOrder(v, out, '/', 0);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Double2DateTimeStr);

}  // namespace
