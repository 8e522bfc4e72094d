// Decimal arithmetic and text, one operation per item, on the exported functions.
//
// Operands cycle through a small table of ordinary values (a few digits after the point), so
// that neither the compiler nor the branch predictor sees one constant.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "q7api.h"

namespace {

constexpr int kValues = 256;  // a power of two

struct Operands {
  Numeric v[kValues];
  Operands() {
    uint64_t s = 88172645463325252ull;
    for (auto& n : v) {
      s ^= s << 13;
      s ^= s >> 7;
      s ^= s << 17;
      const int64_t x = static_cast<int64_t>(s % 200000000) - 100000000;  // up to +-1,000,000.00
      n = Numeric{static_cast<uint64_t>(x), x < 0 ? -1 : 0};
    }
  }
};
const Operands kOps;

void BM_NumericAdd(benchmark::State& state) {
  Numeric r;
  unsigned k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RQ7NumericAdd(&kOps.v[k % kValues], &kOps.v[(k + 1) % kValues], &r));
    benchmark::DoNotOptimize(r);
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericAdd);

void BM_NumericCmp(benchmark::State& state) {
  unsigned k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RQ7NumericCmp(&kOps.v[k % kValues], &kOps.v[(k + 7) % kValues]));
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericCmp);

void BM_NumericRescalingAddSameScale(benchmark::State& state) {
  const NumericInfo i{2, Q7_ROUND_HALF_EVEN};
  Numeric r;
  unsigned k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        RQ7NumericRescalingAdd(&i, &i, &i, &kOps.v[k % kValues], &kOps.v[(k + 1) % kValues], &r));
    benchmark::DoNotOptimize(r);
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericRescalingAddSameScale);

// 2 digits x 2 digits -> 2 digits: the product is rounded by two digits.
void BM_NumericRescalingMul(benchmark::State& state) {
  const NumericInfo i{2, Q7_ROUND_HALF_EVEN};
  Numeric r;
  unsigned k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        RQ7NumericRescalingMul(&i, &i, &i, &kOps.v[k % kValues], &kOps.v[(k + 3) % kValues], &r));
    benchmark::DoNotOptimize(r);
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericRescalingMul);

// 2 digits / 2 digits -> 4 digits: the dividend moves up by four digits.
void BM_NumericRescalingDiv(benchmark::State& state) {
  const NumericInfo i{2, Q7_ROUND_HALF_EVEN}, ir{4, Q7_ROUND_HALF_EVEN};
  Numeric r;
  unsigned k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        RQ7NumericRescalingDiv(&i, &i, &ir, &kOps.v[k % kValues], &kOps.v[(k + 3) % kValues], &r));
    benchmark::DoNotOptimize(r);
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericRescalingDiv);

void BM_NumericStr2Num(benchmark::State& state) {
  const NumericInfo i{2, Q7_ROUND_HALF_EVEN};
  Numeric r;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RQ7NumericStr2Num("12345.67", &i, &r, nullptr));
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericStr2Num);

void BM_NumericNum2Str(benchmark::State& state) {
  const NumericInfo i{2, Q7_ROUND_HALF_EVEN};
  const Numeric x{1234567, 0};  // 12345.67
  char buf[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(RQ7NumericNum2Str(&x, &i, 0, 2, buf, sizeof buf));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumericNum2Str);

}  // namespace
