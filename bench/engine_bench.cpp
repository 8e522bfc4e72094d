// The worker pool's dispatch cost and the parallel fill and copy against a single-thread
// memset/memcpy. Run a release build; see bench/README.md.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "foundation/mpp_func_map.h"
#include "foundation/zpk_memory.h"

namespace {

// Row 11 never carries a task of its own; the benchmark borrows it for an empty task.
constexpr int kEmptyTaskRow = 11;
int EmptyTask(void*) { return 0; }

void BM_EmptyTaskAllWorkers(benchmark::State& state) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const MppTaskFunc saved = mpp_func_map[kEmptyTaskRow].func;
  mpp_func_map[kEmptyTaskRow].func = EmptyTask;
  const int n = eng->ActiveThreads();
  for (auto _ : state) eng->run_threads_task(n, kEmptyTaskRow);
  mpp_func_map[kEmptyTaskRow].func = saved;
  state.counters["workers"] = n;
}
BENCHMARK(BM_EmptyTaskAllWorkers)->UseRealTime();

constexpr size_t kBytes = size_t{256} << 20;

// Buffers touched once before timing, so page faults are not part of either side.
struct Buffers {
  std::vector<unsigned char> src = std::vector<unsigned char>(kBytes, 1);
  std::vector<unsigned char> dst = std::vector<unsigned char>(kBytes, 2);
};
Buffers& Bufs() {
  static Buffers b;
  return b;
}

void BM_MppMemCpy(benchmark::State& state) {
  Buffers& b = Bufs();
  for (auto _ : state) {
    MppMemCpy(b.dst.data(), b.src.data(), 1, static_cast<unsigned>(kBytes));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_MppMemCpy)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_memcpy(benchmark::State& state) {
  Buffers& b = Bufs();
  for (auto _ : state) {
    memcpy(b.dst.data(), b.src.data(), kBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_memcpy)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MppMemSet(benchmark::State& state) {
  Buffers& b = Bufs();
  int value = 0;
  for (auto _ : state) {
    MppMemSet(b.dst.data(), ++value, static_cast<long>(kBytes));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_MppMemSet)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_memset(benchmark::State& state) {
  Buffers& b = Bufs();
  int value = 0;
  for (auto _ : state) {
    memset(b.dst.data(), ++value, kBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_memset)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
