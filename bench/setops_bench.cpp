// Set operations on a table of 10 million rows: the complement of a half-full set and the three
// two-set operations on two independent half-full sets, serially and with the bitmaps built on the
// worker pool. Argument "shuffled": 0 gives the sets in ascending record order (as set operations
// and searches over set 1 produce them), 1 in random order. Each iteration frees its result.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "kernels/SetOps.h"
#include "values/TIntArray.h"

namespace {

constexpr int kRows = 10000000;

// About half of the rows 1 .. kRows, each kept with probability 1/2.
std::unique_ptr<TIntArray> HalfSet(uint32_t seed, bool shuffled) {
  std::mt19937 gen(seed);
  std::vector<int> rows;
  rows.reserve(kRows / 2 + 10000);
  for (int r = 1; r <= kRows; ++r) {
    if (gen() & 1u) rows.push_back(r);
  }
  if (shuffled) std::shuffle(rows.begin(), rows.end(), gen);
  auto set = std::make_unique<TIntArray>(static_cast<int>(rows.size()), 0);
  std::copy(rows.begin(), rows.end(), set->PIntAr());
  return set;
}

TIntArray* SetA(bool shuffled) {
  static const std::unique_ptr<TIntArray> sets[2] = {HalfSet(1, false), HalfSet(1, true)};
  return sets[shuffled ? 1 : 0].get();
}

TIntArray* SetB(bool shuffled) {
  static const std::unique_ptr<TIntArray> sets[2] = {HalfSet(2, false), HalfSet(2, true)};
  return sets[shuffled ? 1 : 0].get();
}

template <class Op>
void RunOp(benchmark::State& state, Op&& op) {
  int count = 0;
  for (auto _ : state) {
    int size = 0;
    int* out = nullptr;
    count = op(&size, &out);
    benchmark::DoNotOptimize(out);
    zpk_free(out);
  }
  state.counters["rows_out"] = count;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_SetOpeNot(benchmark::State& state) {
  TIntArray* a = SetA(state.range(0) != 0);
  RunOp(state, [&](int* size, int** out) { return SetOpeNot(kRows, a, size, out); });
}

void BM_MppSetOpeNot(benchmark::State& state) {
  TIntArray* a = SetA(state.range(0) != 0);
  RunOp(state, [&](int* size, int** out) { return MppSetOpeNot(kRows, a, size, out); });
}

void BM_SetOpeCommon(benchmark::State& state) {
  const int op = static_cast<int>(state.range(0));
  TIntArray* a = SetA(state.range(1) != 0);
  TIntArray* b = SetB(state.range(1) != 0);
  RunOp(state, [&](int* size, int** out) { return SetOpeCommon(op, kRows, a, b, size, out); });
}

void BM_MppSetOpeCommon(benchmark::State& state) {
  const int op = static_cast<int>(state.range(0));
  TIntArray* a = SetA(state.range(1) != 0);
  TIntArray* b = SetB(state.range(1) != 0);
  RunOp(state, [&](int* size, int** out) { return MppSetOpeCommon(op, kRows, a, b, size, out); });
}

}  // namespace

BENCHMARK(BM_SetOpeNot)->ArgName("shuffled")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MppSetOpeNot)->ArgName("shuffled")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetOpeCommon)
    ->ArgNames({"op", "shuffled"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MppSetOpeCommon)
    ->ArgNames({"op", "shuffled"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
