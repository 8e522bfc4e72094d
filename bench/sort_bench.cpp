// Sorts of 10 million rows on the worker pool, as sort by field runs them: MppCountingSort by
// 10 million distinct value numbers (radix path) and by 50 (one counting pass), and a three-key
// integrated sort (SortForMultiItem) without and with key numbers.
#include <benchmark/benchmark.h>

#include <numeric>
#include <random>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "kernels/IntegratedSort.h"
#include "kernels/MppCountingSort.h"

namespace {

constexpr int kRows = 10000000;

// The set of all rows, 1 .. kRows, in record order (what a fresh table's set 1 holds).
const std::vector<int>& AllRows() {
  static const std::vector<int> rows = [] {
    std::vector<int> r(kRows);
    std::iota(r.begin(), r.end(), 1);
    return r;
  }();
  return rows;
}

// Value numbers for records 1 .. kRows drawn uniformly from 0 .. nValues-1 (element 0 unused).
std::vector<int> Column(int nValues, uint32_t seed) {
  std::vector<int> v(static_cast<size_t>(kRows) + 1, 0);
  std::mt19937 gen(seed);
  for (int r = 1; r <= kRows; ++r) v[r] = static_cast<int>(gen() % static_cast<uint32_t>(nValues));
  return v;
}

// A column of kRows distinct value numbers: a permutation of 0 .. kRows-1.
std::vector<int> DistinctColumn() {
  std::vector<int> v(static_cast<size_t>(kRows) + 1, 0);
  std::iota(v.begin() + 1, v.end(), 0);
  std::shuffle(v.begin() + 1, v.end(), std::mt19937(3));
  return v;
}

void RunCountingSort(benchmark::State& state, const std::vector<int>& vno, int nValues) {
  std::vector<int> out(kRows);
  const int dir = static_cast<int>(state.range(0));
  for (auto _ : state) {
    MppCountingSort(dir, kRows, AllRows().data(), out.data(), vno.data(), nValues, 0);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_MppCountingSort10MDistinct(benchmark::State& state) {
  static const std::vector<int> vno = DistinctColumn();
  RunCountingSort(state, vno, kRows);
}

void BM_MppCountingSort50Distinct(benchmark::State& state) {
  static const std::vector<int> vno = Column(50, 4);
  RunCountingSort(state, vno, 50);
}

// Three keys of 1,000, 1,000 and 100 values (one group, key space 10^8: the two-digit radix
// path), or of 100,000, 100,000 and 1,000 values (two groups: 10^5, then 10^5 x 10^3), one of them
// descending.
void RunIntegrated(benchmark::State& state, const int (&counts)[3], bool with_keys) {
  static std::vector<int> cols[2][3];
  const int set = counts[0] == 1000 ? 0 : 1;
  for (int i = 0; i < 3; ++i) {
    if (cols[set][i].empty()) cols[set][i] = Column(counts[i], 10 + static_cast<uint32_t>(i) + 7 * set);
  }
  const SortKeyColumn columns[3] = {
      {cols[set][0].data(), counts[0]}, {cols[set][1].data(), counts[1]}, {cols[set][2].data(), counts[2]}};
  const int dirs[3] = {0, 1, 0};
  for (auto _ : state) {
    int* sorted = nullptr;
    int* keys = nullptr;
    const int rc = SortForMultiItem(3, kRows, AllRows().data(), columns, dirs, &sorted,
                                    with_keys ? &keys : nullptr, 0, 0);
    if (rc < 0) state.SkipWithError("sort failed");
    benchmark::DoNotOptimize(sorted);
    zpk_free(sorted);
    zpk_free(keys);
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_IntegratedSort3KeysOneGroup(benchmark::State& state) {
  static const int counts[3] = {1000, 1000, 100};
  RunIntegrated(state, counts, false);
}

void BM_IntegratedSort3KeysOneGroupWithKeys(benchmark::State& state) {
  static const int counts[3] = {1000, 1000, 100};
  RunIntegrated(state, counts, true);
}

void BM_IntegratedSort3KeysTwoGroups(benchmark::State& state) {
  static const int counts[3] = {100000, 100000, 1000};
  RunIntegrated(state, counts, false);
}

}  // namespace

BENCHMARK(BM_MppCountingSort10MDistinct)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MppCountingSort50Distinct)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IntegratedSort3KeysOneGroup)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IntegratedSort3KeysOneGroupWithKeys)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IntegratedSort3KeysTwoGroups)->Unit(benchmark::kMillisecond)->UseRealTime();
