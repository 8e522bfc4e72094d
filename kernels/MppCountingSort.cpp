// Parallel counting and radix sorts of a row list by one filter's value numbers.
#include "kernels/MppCountingSort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "kernels/KernelPool.h"
#include "kernels/SortInternals.h"
#include "values/MppCompile.h"
#include "values/ZpkBlock.h"

namespace {

// One per call, shared by the workers.
struct SortContext {
  const int* rows;
  const int* vno;
  int nValues;
  int* cache;  // value number per row index, or null
};

struct RowValue {
  int32_t row;
  int32_t value;
};

// The radix sort's shared arrays.
struct RadixWork {
  int* cache;         // n value numbers, by row index
  int* bucket_start;  // maxTop + 2 entries, by bucket position in output order
  RowValue* pairs;    // n pairs, grouped by top digit
};

// The layout of the worker parameter block for tasks 4 to 10.
struct SortTaskParam {
  MppParamHeader header;
  SortContext* ctx;
  const _RADIX_INFO_* plan;
  RadixWork* work;
  int* counts;  // the worker's own counters: made by the counting task, freed by the placing task
  int* out;
  int first;  // first row index of the worker's slice
  int count;  // rows in the slice
  int dir;
  int nValues;
  int bucketFrom;  // the worker's share of bucket positions in the second step
  int bucketEnd;
};

SortTaskParam* Param(void* p) { return static_cast<SortTaskParam*>(p); }

// Slices of consecutive row indexes: slice rows each, the last worker the rest.
void FillSlices(int workers, int n, SortContext* ctx, int* out, int dir, int nValues) {
  const int slice = n / workers;
  for (int t = 0; t < workers; ++t) {
    SortTaskParam* p = PoolParam<SortTaskParam>(t);
    p->ctx = ctx;
    p->plan = nullptr;
    p->work = nullptr;
    p->out = out;
    p->first = t * slice;
    p->count = (t == workers - 1) ? n - t * slice : slice;
    p->dir = dir;
    p->nValues = nValues;
    p->bucketFrom = p->bucketEnd = 0;
  }
}

void OnePassSort(int dir, int n, const int* rows, int* out, const int* vno, int nValues, bool use_cache,
                 int* perValueCount) {
  if (n < 1) return;
  SortContext ctx{rows, vno, nValues, nullptr};
  // The cache is optional: without memory for it the placing pass reads vno again.
  ScratchSettleGuard settle;
  struct CacheHolder {
    int* p = nullptr;
    size_t capacity = 0;
    ~CacheHolder() { zpk_scratch_give(p, capacity); }
  } cache;
  if (use_cache) {
    try {
      cache.p = static_cast<int*>(zpk_scratch_take(sizeof(int) * static_cast<size_t>(n), &cache.capacity));
    } catch (const CQ7Exception&) {
      cache.p = nullptr;
    }
  }
  ctx.cache = cache.p;

  const int workers = KernelThreads(n);
  WorkerCounters<SortTaskParam> counters(workers);
  FillSlices(workers, n, &ctx, out, dir, nValues);
  RunKernelTask(workers, kMppTaskSingleSortCountup);

  std::vector<int*> counts(static_cast<size_t>(workers));
  for (int t = 0; t < workers; ++t) counts[t] = PoolParam<SortTaskParam>(t)->counts;
  int total = 0;
  for (int i = 0; i < nValues; ++i) {
    const int v = (dir == 0) ? i : nValues - 1 - i;
    const int before = total;
    for (int t = 0; t < workers; ++t) {
      const int c = counts[t][v];
      counts[t][v] = total;
      total += c;
    }
    if (perValueCount) perValueCount[v] = total - before;
  }
  RunKernelTask(workers, kMppTaskSingleSortTransfer);
}

}  // namespace

int mpp_single_sort_countup(void* param) {
  return TaskFrame([&] {
    SortTaskParam* p = Param(param);
    const SortContext& ctx = *p->ctx;
    int* counts = NewZeroedCounters(p->nValues);
    p->counts = counts;
    const int end = p->first + p->count;
    if (ctx.cache) {
      for (int i = p->first; i < end; ++i) {
        const int v = ctx.vno[ctx.rows[i]];
        ctx.cache[i] = v;
        ++counts[v];
      }
    } else {
      for (int i = p->first; i < end; ++i) ++counts[ctx.vno[ctx.rows[i]]];
    }
    return 0;
  });
}

int mpp_single_sort_transfer(void* param) {
  return TaskFrame([&] {
    SortTaskParam* p = Param(param);
    const SortContext& ctx = *p->ctx;
    int* counts = p->counts;
    const int end = p->first + p->count;
    if (ctx.cache) {
      for (int i = p->first; i < end; ++i) p->out[counts[ctx.cache[i]]++] = ctx.rows[i];
    } else {
      for (int i = p->first; i < end; ++i) {
        const int row = ctx.rows[i];
        p->out[counts[ctx.vno[row]]++] = row;
      }
    }
    zpk_free(counts);
    p->counts = nullptr;
    return 0;
  });
}

int mpp_multi_sort_countup(void* param) {
  return TaskFrame([&] {
    SortTaskParam* p = Param(param);
    const SortContext& ctx = *p->ctx;
    const _RADIX_INFO_& plan = *p->plan;
    int* counts = NewZeroedCounters(plan.maxTop + 1);
    p->counts = counts;
    int* cache = p->work->cache;
    const uint32_t mask = static_cast<uint32_t>(plan.topMask);
    const int shift = plan.topShift;
    const int end = p->first + p->count;
    for (int i = p->first; i < end; ++i) {
      const int v = ctx.vno[ctx.rows[i]];
      cache[i] = v;
      ++counts[(static_cast<uint32_t>(v) & mask) >> shift];
    }
    return 0;
  });
}

int mpp_multi_sort_transfer(void* param) {
  return TaskFrame([&] {
    SortTaskParam* p = Param(param);
    const SortContext& ctx = *p->ctx;
    const _RADIX_INFO_& plan = *p->plan;
    int* counts = p->counts;
    const int* cache = p->work->cache;
    RowValue* pairs = p->work->pairs;
    const uint32_t mask = static_cast<uint32_t>(plan.topMask);
    const int shift = plan.topShift;
    const int end = p->first + p->count;
    for (int i = p->first; i < end; ++i) {
      const int v = cache[i];
      pairs[counts[(static_cast<uint32_t>(v) & mask) >> shift]++] = RowValue{ctx.rows[i], v};
    }
    zpk_free(counts);
    p->counts = nullptr;
    return 0;
  });
}

namespace {

// Orders each non-empty bucket of the worker's share by the value bits below the top digit,
// stably, in the sort's direction, and writes the rows to their final positions. The bucket's
// pairs are sorted in place (each bucket belongs to one worker).
int SortShareBelowTop(SortTaskParam* p) {
  if (p->bucketFrom >= p->bucketEnd) return 0;
  const _RADIX_INFO_& plan = *p->plan;
  const int* starts = p->work->bucket_start;
  RowValue* pairs = p->work->pairs;
  const uint32_t mask = static_cast<uint32_t>(plan.belowTopMask);
  const int bits = mask == 0 ? 0 : ConvertFromVLtoBitsize(mask);
  int largest = 0;
  for (int b = p->bucketFrom; b < p->bucketEnd; ++b) largest = std::max(largest, starts[b + 1] - starts[b]);
  ZpkScratch<RowValue> scratch(static_cast<size_t>(std::max(largest, 1)));
  ZpkBlock<int> counters(static_cast<size_t>(kRadixCounters));
  const bool descending = p->dir != 0;
  for (int b = p->bucketFrom; b < p->bucketEnd; ++b) {
    const int from = starts[b];
    const int m = starts[b + 1] - from;
    if (m == 0) continue;
    const RowValue* sorted =
        descending ? StableRadixSort(
                         pairs + from, scratch.get(), m, bits,
                         [mask](const RowValue& e) { return mask - (static_cast<uint32_t>(e.value) & mask); },
                         counters.get())
                   : StableRadixSort(
                         pairs + from, scratch.get(), m, bits,
                         [mask](const RowValue& e) { return static_cast<uint32_t>(e.value) & mask; },
                         counters.get());
    int* out = p->out + from;
    for (int i = 0; i < m; ++i) out[i] = sorted[i].row;
  }
  return 0;
}

}  // namespace

int mpp_sort_2step(void* param) {
  return TaskFrame([&] { return SortShareBelowTop(Param(param)); });
}

// Within a top bucket, ordering by the middle digit and then by the low digit is ordering by all
// the bits below the top digit, which is what the bucket sort does.
int mpp_sort_3step(void* param) {
  return TaskFrame([&] { return SortShareBelowTop(Param(param)); });
}

void SingleStep_Sort(int dir, int n, const int* rows, int* out, const int* vno, int nValues, int noCache) {
  OnePassSort(dir, n, rows, out, vno, nValues, noCache == 0, nullptr);
}

void SingleStep_SortEx(int dir, int n, const int* rows, int* out, const int* vno, int nValues,
                       int* perValueCount) {
  if (n < 1) {
    // No rows: every value occurs zero times.
    if (perValueCount && nValues > 0)
      std::memset(perValueCount, 0, sizeof(int) * static_cast<size_t>(nValues));
    return;
  }
  OnePassSort(dir, n, rows, out, vno, nValues, false, perValueCount);
}

void MultiStep_SortWithPlan(int dir, int n, const int* rows, int* out, const int* vno,
                            const _RADIX_INFO_& plan, int digits) {
  if (n < 1) return;
  const int workers = KernelThreads(n);
  const int slice = n / workers;
  ScratchSettleGuard settle;
  ZpkScratch<int> cache(static_cast<size_t>(n));
  ZpkScratch<RowValue> pairs(static_cast<size_t>(n));
  const int buckets = plan.maxTop + 1;
  ZpkScratch<int> bucket_start(static_cast<size_t>(buckets) + 1);
  RadixWork work{cache.get(), bucket_start.get(), pairs.get()};
  SortContext ctx{rows, vno, 0, nullptr};

  WorkerCounters<SortTaskParam> counters(workers);
  FillSlices(workers, n, &ctx, out, dir, 0);
  for (int t = 0; t < workers; ++t) {
    SortTaskParam* p = PoolParam<SortTaskParam>(t);
    p->plan = &plan;
    p->work = &work;
  }
  RunKernelTask(workers, kMppTaskMultiSortCountup);

  std::vector<int*> counts(static_cast<size_t>(workers));
  std::vector<int> share_from(static_cast<size_t>(workers)), share_end(static_cast<size_t>(workers));
  for (int t = 0; t < workers; ++t) counts[t] = PoolParam<SortTaskParam>(t)->counts;
  PrefixAndShareBuckets(workers, buckets, counts.data(), dir != 0, slice, bucket_start.get(),
                        share_from.data(), share_end.data(), nullptr);
  RunKernelTask(workers, kMppTaskMultiSortTransfer);

  for (int t = 0; t < workers; ++t) {
    SortTaskParam* p = PoolParam<SortTaskParam>(t);
    p->bucketFrom = share_from[t];
    p->bucketEnd = share_end[t];
  }
  RunKernelTask(workers, digits == 3 ? kMppTaskSortStep3 : kMppTaskSortStep2);
}

void MultiStep_Sort(int dir, int n, const int* rows, int* out, const int* vno, int nValues) {
  if (n < 1) return;
  _RADIX_INFO_ plan;
  build_radix_info(nValues, n, &plan);
  MultiStep_SortWithPlan(dir, n, rows, out, vno, plan, 2);
}

void MppScopeCSort(int dir, int n, const int* rows, int* out, const int* vno) {
  if (n < 1) return;
  ScratchSettleGuard settle;
  ZpkBlock<int> rank, list;
  int distinct = 0;
  {
    ZpkScratch<int> gathered(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) gathered[i] = vno[rows[i]];
    distinct = CompileInts(MppCompile, n, gathered.get(), rank, list);
  }
  list.Reset();

  ZpkScratch<int> counts(static_cast<size_t>(distinct));
  MppMemSet(counts.get(), 0, static_cast<long>(sizeof(int)) * distinct);
  for (int i = 0; i < n; ++i) ++counts[rank[i]];
  Aggregate(dir, distinct, counts.get(), counts.get());
  for (int i = 0; i < n; ++i) out[counts[rank[i]]++] = rows[i];
}

void MppCountingSort(int dir, int n, const int* rows, int* out, const int* vno, int nValues, int noCache) {
  if (n == 0) return;
  if ((nValues >> 10) >= n) {
    MppScopeCSort(dir, n, rows, out, vno);
  } else if (nValues <= 65536) {
    SingleStep_Sort(dir, n, rows, out, vno, nValues, noCache);
  } else {
    MultiStep_Sort(dir, n, rows, out, vno, nValues);
  }
}
