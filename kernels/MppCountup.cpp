// The parallel value-number histogram for very large value lists.
#include "kernels/MppCountup.h"

#include <cstring>
#include <vector>

#include "foundation/SystemInfo.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "kernels/KernelPool.h"
#include "values/ArrayFunctions.h"
#include "values/TBaseArray.h"

namespace {

constexpr int kParallelMinValues = 1048576;

// Worker parameter block of tasks 66 and 67.
struct CountupParam {
  MppParamHeader header;
  int** table;  // counter arrays: entry 0 the caller's, 1 .. nTable-1 private
  int nTable;
  const int* rows;
  const int* vno;
  int nValues;
  int first;  // task 66: row positions; task 67: value numbers
  int end;
};

// Frees the private counter arrays on every exit.
struct CounterTable {
  std::vector<int*> arrays;
  ~CounterTable() {
    for (size_t t = 1; t < arrays.size(); ++t) zpk_free(arrays[t]);
  }
};

}  // namespace

int mpp_countup_step1(void* param) {
  return TaskFrame([&] {
    CountupParam* p = static_cast<CountupParam*>(param);
    const int t = p->header.index;
    int* counts = p->table[t];
    if (t != 0) {
      // A worker that cannot get its counters leaves its entry null and fails the step.
      counts = static_cast<int*>(zpk_malloc(sizeof(int) * static_cast<size_t>(p->nValues)));
      p->table[t] = counts;
    }
    std::memset(counts, 0, sizeof(int) * static_cast<size_t>(p->nValues));
    for (int i = p->first; i < p->end; ++i) ++counts[p->vno[p->rows[i]]];
    return 0;
  });
}

int mpp_countup_step2(void* param) {
  return TaskFrame([&] {
    CountupParam* p = static_cast<CountupParam*>(param);
    int* total = p->table[0];
    for (int t = 1; t < p->nTable; ++t) {
      const int* part = p->table[t];
      for (int v = p->first; v < p->end; ++v) total[v] += part[v];
    }
    return 0;
  });
}

void MppCountupNExistNParallel(int n, const int* rows, int nValues, const int* vno, int* counts) {
  if (nValues < 1) return;
  const int workers = KernelThreads(n);
  const int slice = n / workers;
  CounterTable table;
  table.arrays.assign(static_cast<size_t>(workers), nullptr);
  table.arrays[0] = counts;
  for (int t = 0; t < workers; ++t) {
    CountupParam* p = PoolParam<CountupParam>(t);
    p->table = table.arrays.data();
    p->nTable = workers;
    p->rows = rows;
    p->vno = vno;
    p->nValues = nValues;
    p->first = t * slice;
    p->end = (t == workers - 1) ? n : (t + 1) * slice;
  }
  RunKernelTask(workers, kMppTaskCountupStep1);
  if (workers < 2) return;

  const int merge_workers = KernelThreads(nValues);
  const int value_slice = nValues / merge_workers;
  for (int t = 0; t < merge_workers; ++t) {
    CountupParam* p = PoolParam<CountupParam>(t);
    p->table = table.arrays.data();
    p->nTable = workers;
    p->first = t * value_slice;
    p->end = (t == merge_workers - 1) ? nValues : (t + 1) * value_slice;
  }
  RunKernelTask(merge_workers, kMppTaskCountupStep2);
}

void MppCountupNExistN(int n, const int* rows, int nValues, const int* vno, int* counts) {
  unsigned long total_memory = 0, free_memory = 0;
  getSystemMemInfo(&total_memory, &free_memory);
  const int active = KernelActiveThreads();
  // The product is taken in 64 bits: a 32-bit product could wrap to a small number and let huge
  // private counter arrays through.
  const unsigned long long needed = static_cast<unsigned long long>(active) * static_cast<unsigned>(nValues);
  if (nValues >= kParallelMinValues && active >= 2 && needed <= free_memory / 2) {
    MppCountupNExistNParallel(n, rows, nValues, vno, counts);
  } else {
    CountupNExist(n, rows, nValues, vno, counts);
  }
}
