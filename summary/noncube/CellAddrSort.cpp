// Parallel sorts of packed cell addresses, each carrying a fixed-width row of ints.
#include "summary/noncube/CellAddrSort.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/KernelPool.h"
#include "kernels/RadixPlan.h"
#include "values/PoolParam.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int kOnePassMaxKeys = 65535;

// One per sort, read by every worker.
struct SortBlock {
  int K;
  int W;
  const int* keysIn;
  const int* payloadIn;
  int* keysOut;
  int* payloadOut;
  int nBuckets;   // counting buckets of the first pass
  bool wholeKey;  // the bucket is the key itself (one-pass form)
  uint32_t upperMask;
  int upperShift;
  uint32_t lowerMask;
  bool wantSizes;
  const int* bucketStart;  // nBuckets + 1 entries, for the per-bucket pass
};

// Worker parameter block of tasks 60, 61, 62, 70 and 71.
struct CellSortParam {
  MppParamHeader header;
  SortBlock* block;
  int first;  // input range of the count-up and transfer tasks
  int count;
  int* hist;  // own counters: made by the count-up task, freed by the transfer task
  int from;   // bucket range [from, to) of the per-bucket pass
  int to;
  int groups;  // per-bucket pass: distinct keys found
  int* sizes;  // per-bucket pass: their row counts, in key order
};

CellSortParam* Param(void* p) { return static_cast<CellSortParam*>(p); }

int BucketOf(const SortBlock& b, int key) {
  return b.wholeKey ? key : static_cast<int>((static_cast<uint32_t>(key) & b.upperMask) >> b.upperShift);
}

int* NewZeroed(int64_t entries) {
  const size_t bytes = sizeof(int) * static_cast<size_t>(std::max<int64_t>(entries, 1));
  int* p = static_cast<int*>(zpk_malloc(bytes));
  std::memset(p, 0, bytes);
  return p;
}

void MoveRow(const SortBlock& b, int from, int to) {
  b.keysOut[to] = b.keysIn[from];
  if (b.W > 0) {
    std::memcpy(b.payloadOut + static_cast<int64_t>(to) * b.W, b.payloadIn + static_cast<int64_t>(from) * b.W,
                sizeof(int) * static_cast<size_t>(b.W));
  }
}

int CountUp(CellSortParam* p) {
  const SortBlock& b = *p->block;
  p->hist = NewZeroed(int64_t{b.nBuckets} + 1);
  const int end = p->first + p->count;
  for (int i = p->first; i < end; ++i) {
    const int key = b.keysIn[i];
    // A key outside the cell space would index past the counters: refused before anything moves.
    if (key < 0 || key >= b.K) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    ++p->hist[BucketOf(b, key)];
  }
  return 0;
}

int Transfer(CellSortParam* p) {
  const SortBlock& b = *p->block;
  int* next = p->hist;
  const int end = p->first + p->count;
  for (int i = p->first; i < end; ++i) MoveRow(b, i, next[BucketOf(b, b.keysIn[i])]++);
  zpk_free(p->hist);
  p->hist = nullptr;
  return 0;
}

int SortBuckets(CellSortParam* p) {
  const SortBlock& b = *p->block;
  p->groups = 0;
  if (p->from >= p->to) return 0;
  const int first = b.bucketStart[p->from];
  const int elements = b.bucketStart[p->to] - first;
  if (b.wantSizes)
    p->sizes = static_cast<int*>(zpk_malloc(sizeof(int) * static_cast<size_t>(std::max(elements, 1))));
  const int64_t counters = int64_t{b.lowerMask} + 1;
  ZpkBlock<int> hist(static_cast<size_t>(counters));
  for (int bucket = p->from; bucket < p->to; ++bucket) {
    const int start = b.bucketStart[bucket];
    const int stop = b.bucketStart[bucket + 1];
    if (start == stop) continue;
    int* h = hist.get();
    std::memset(h, 0, sizeof(int) * static_cast<size_t>(counters));
    for (int i = start; i < stop; ++i) ++h[static_cast<uint32_t>(b.keysIn[i]) & b.lowerMask];
    int offset = start;
    for (int64_t v = 0; v < counters; ++v) {
      const int c = h[v];
      if (c > 0) {
        if (b.wantSizes) p->sizes[p->groups] = c;
        ++p->groups;
      }
      h[v] = offset;
      offset += c;
    }
    for (int i = start; i < stop; ++i) MoveRow(b, i, h[static_cast<uint32_t>(b.keysIn[i]) & b.lowerMask]++);
  }
  return 0;
}

// Whatever a worker still holds when a phase ends (a failure stops it between tasks). The parameter
// blocks belong to whichever pool operation runs next (the parallel copy back included), so a
// phase's blocks are released before anything else runs on the pool.
class WorkerBlocks {
 public:
  explicit WorkerBlocks(int workers) : workers_(workers) {
    for (int t = 0; t < workers_; ++t) {
      CellSortParam* p = PoolParam<CellSortParam>(t);
      p->hist = nullptr;
      p->sizes = nullptr;
    }
  }
  ~WorkerBlocks() {
    for (int t = 0; t < workers_; ++t) {
      CellSortParam* p = PoolParam<CellSortParam>(t);
      zpk_free(p->hist);
      zpk_free(p->sizes);
      p->hist = nullptr;
      p->sizes = nullptr;
    }
  }
  WorkerBlocks(const WorkerBlocks&) = delete;
  WorkerBlocks& operator=(const WorkerBlocks&) = delete;

 private:
  int workers_;
};

void CheckArguments(int K, int W, const int* keys, const int* payload) {
  if (K < 1 || W < 0 || W > INT_MAX / static_cast<int>(sizeof(int)) || !keys || (W > 0 && !payload)) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
}

int* EmptySizes() { return static_cast<int*>(zpk_malloc(0)); }

// The start of both sorts: clears *group_sizes and says whether there is nothing to sort (N <= 0;
// N == 0 hands back an empty size block); otherwise checks the arguments.
bool NothingToSort(int N, int K, int W, const int* keys, const int* payload, int** group_sizes) {
  if (group_sizes) *group_sizes = nullptr;
  if (N < 0) return true;
  if (N == 0) {
    if (group_sizes) *group_sizes = EmptySizes();
    return true;
  }
  CheckArguments(K, W, keys, payload);
  return false;
}

// The common first pass: per-worker counts by bucket, then (on this thread) the counters become
// the workers' output offsets, bucket-major and worker-minor, so equal keys keep input order.
// Also counts the non-empty buckets (recording their sizes into `sizes` when given) and shares the
// buckets out for a per-bucket pass, balanced by element count.
int CountAndPlace(int N, int workers, SortBlock* block, int* bucket_start, int* sizes) {
  const int chunk = N / workers;
  for (int t = 0; t < workers; ++t) {
    CellSortParam* p = PoolParam<CellSortParam>(t);
    p->block = block;
    p->first = t * chunk;
    p->count = (t == workers - 1) ? N - t * chunk : chunk;
    p->groups = 0;
  }
  RunKernelTask(workers,
                block->wholeKey ? kMppTaskSingleCelladdrSortCountup : kMppTaskMultiCelladdrSortCountup);

  std::vector<int*> hist(static_cast<size_t>(workers));
  for (int t = 0; t < workers; ++t) hist[t] = PoolParam<CellSortParam>(t)->hist;
  int total = 0;
  int groups = 0;
  int worker = 0;
  PoolParam<CellSortParam>(0)->from = 0;
  for (int bucket = 0; bucket < block->nBuckets; ++bucket) {
    bucket_start[bucket] = total;
    for (int t = 0; t < workers; ++t) {
      const int c = hist[t][bucket];
      hist[t][bucket] = total;
      total += c;
    }
    const int size = total - bucket_start[bucket];
    if (size > 0) {
      if (sizes) sizes[groups] = size;
      ++groups;
    }
    if (worker < workers - 1 && static_cast<int64_t>(total) > static_cast<int64_t>(worker + 1) * chunk) {
      PoolParam<CellSortParam>(worker)->to = bucket + 1;
      ++worker;
      PoolParam<CellSortParam>(worker)->from = bucket + 1;
    }
  }
  bucket_start[block->nBuckets] = total;
  PoolParam<CellSortParam>(worker)->to = block->nBuckets;
  for (int t = worker + 1; t < workers; ++t) {
    CellSortParam* p = PoolParam<CellSortParam>(t);
    p->from = p->to = block->nBuckets;
  }
  RunKernelTask(workers,
                block->wholeKey ? kMppTaskSingleCellsortSortTransfer : kMppTaskMultiCellsortSortTransfer);
  return groups;
}

// Hands the first `groups` recorded sizes to the caller in a block of exactly that many entries.
int* ShrinkSizes(ZpkBlock<int>& sizes, int groups) {
  int* shrunk =
      static_cast<int*>(zpk_realloc(sizes.get(), sizeof(int) * static_cast<size_t>(std::max(groups, 1))));
  sizes.Release();
  return shrunk;
}

void CopyBack(int N, int W, int* keys, int* payload, int* sorted_keys, int* sorted_payload) {
  MppMemCpy(keys, sorted_keys, sizeof(int), static_cast<unsigned>(N));
  if (W > 0) MppMemCpy(payload, sorted_payload, static_cast<int>(sizeof(int)) * W, static_cast<unsigned>(N));
}

}  // namespace

int SortForCellAddrSingle(int N, int K, int W, int* keys, int* payload, int** group_sizes) {
  if (NothingToSort(N, K, W, keys, payload, group_sizes)) return 0;
  const int workers = KernelThreads(N);
  ZpkBlock<int> sorted_keys(static_cast<size_t>(N));
  ZpkBlock<int> sorted_payload(static_cast<size_t>(N) * static_cast<size_t>(W));
  ZpkBlock<int> bucket_start(static_cast<size_t>(K) + 1);
  ZpkBlock<int> sizes;
  if (group_sizes) sizes = ZpkBlock<int>(static_cast<size_t>(std::min(N, K)));
  SortBlock block{K, W, keys,  payload, sorted_keys.get(), sorted_payload.get(), K, true, 0,
                  0, 0, false, nullptr};
  int groups = 0;
  {
    WorkerBlocks held(workers);
    groups = CountAndPlace(N, workers, &block, bucket_start.get(), sizes.get());
  }
  CopyBack(N, W, keys, payload, sorted_keys.get(), sorted_payload.get());
  if (group_sizes) *group_sizes = ShrinkSizes(sizes, groups);
  return groups;
}

int SortForCellAddr(int N, int K, int W, int* keys, int* payload, int** group_sizes) {
  if (K <= kOnePassMaxKeys) return SortForCellAddrSingle(N, K, W, keys, payload, group_sizes);
  if (NothingToSort(N, K, W, keys, payload, group_sizes)) return 0;
  _RADIX_INFO_ plan;
  build_radix_info(K, K, &plan);
  const int buckets = plan.maxTop + 1;
  const uint32_t lower_mask = static_cast<uint32_t>(plan.belowTopMask);
  const int workers = KernelThreads(N);

  ZpkBlock<int> scattered_keys(static_cast<size_t>(N));
  ZpkBlock<int> scattered_payload(static_cast<size_t>(N) * static_cast<size_t>(W));
  ZpkBlock<int> bucket_start(static_cast<size_t>(buckets) + 1);
  ZpkBlock<int> sizes;
  // With no lower digit the upper bucket is the whole key, so the first pass sees the groups.
  if (group_sizes && lower_mask == 0) sizes = ZpkBlock<int>(static_cast<size_t>(std::min(N, buckets)));
  SortBlock block{K,
                  W,
                  keys,
                  payload,
                  scattered_keys.get(),
                  scattered_payload.get(),
                  buckets,
                  false,
                  static_cast<uint32_t>(plan.topMask),
                  plan.topShift,
                  lower_mask,
                  group_sizes != nullptr,
                  bucket_start.get()};
  int bucket_groups = 0;
  {
    WorkerBlocks held(workers);
    bucket_groups = CountAndPlace(N, workers, &block, bucket_start.get(), sizes.get());
  }
  if (lower_mask == 0) {
    CopyBack(N, W, keys, payload, scattered_keys.get(), scattered_payload.get());
    if (group_sizes) *group_sizes = ShrinkSizes(sizes, bucket_groups);
    return bucket_groups;
  }

  block.keysIn = scattered_keys.get();
  block.payloadIn = scattered_payload.get();
  block.keysOut = keys;
  block.payloadOut = payload;
  WorkerBlocks held(workers);
  RunKernelTask(workers, kMppTaskCelladdrSortStep2);

  int groups = 0;
  for (int t = 0; t < workers; ++t) groups += PoolParam<CellSortParam>(t)->groups;
  if (group_sizes) {
    ZpkBlock<int> all(static_cast<size_t>(std::max(groups, 1)));
    int at = 0;
    for (int t = 0; t < workers; ++t) {
      const CellSortParam* p = PoolParam<CellSortParam>(t);
      if (p->groups > 0) std::memcpy(all.get() + at, p->sizes, sizeof(int) * static_cast<size_t>(p->groups));
      at += p->groups;
    }
    *group_sizes = all.Release();
  }
  return groups;
}

int mpp_single_celladdr_sort_countup(void* param) {
  return TaskFrame([&] { return CountUp(Param(param)); });
}

int mpp_single_celladdr_sort_transfer(void* param) {
  return TaskFrame([&] { return Transfer(Param(param)); });
}

int mpp_multi_celladdr_sort_countup(void* param) {
  return TaskFrame([&] { return CountUp(Param(param)); });
}

int mpp_multi_celladdr_sort_transfer(void* param) {
  return TaskFrame([&] { return Transfer(Param(param)); });
}

int mpp_celladdr_sort_2step(void* param) {
  return TaskFrame([&] { return SortBuckets(Param(param)); });
}
