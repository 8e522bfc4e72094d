// The multi-key integrated sort: rows ordered by several value-number columns at once.
#include "kernels/IntegratedSort.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "kernels/KernelPool.h"
#include "kernels/MppCountingSort.h"
#include "kernels/SortInternals.h"
#include "values/ZpkBlock.h"

namespace {

// A group's key space stays at most this, so combined keys fit a 32-bit carried number.
constexpr double kMaxGroupKeySpace = 1073741823.0;
// Key spaces up to this are sorted in one counting pass.
constexpr int64_t kOnePassKeySpace = 65536;

// One per step sort, shared by the workers.
struct IntegratedContext {
  const int* src;
  int64_t* keys;  // combined key per source position
  int64_t K;
  char* flags;         // or null
  const int* carried;  // or null
  int* keyOut;         // or null
  int* dst;
  // When set, the counting task computes the keys of its slice from these columns first.
  const _SORT_FILT_INFO* columns;
  int nColumns;
};

// An element of the radix sort's bucket array.
struct KeyEntry {
  int32_t row;
  int32_t carried;  // the carried number, or the low 32 bits of the key
  int64_t key;
};

struct IntegratedWork {
  int* bucket_start;  // maxTop + 2 entries
  KeyEntry* entries;  // n entries grouped by top digit
};

// Worker parameter block of tasks 40 to 45.
struct IntegratedTaskParam {
  MppParamHeader header;
  IntegratedContext* ctx;
  const _RADIX_INFO_* plan;
  IntegratedWork* work;
  int* counts;  // own counters: made by the counting task, freed by the placing task
  int first;
  int count;
  int bucketFrom;
  int bucketEnd;
};

// Worker parameter block of task 46.
struct RenumberParam {
  MppParamHeader header;
  int from;
  int end;
  int* keyNumbers;
  char* flags;
  int* counts;     // run lengths at counts[from + g], or null
  int* firstRows;  // or null
  int mode;
  int result;  // modes 0 and 1: runs found; mode 2: the base to add
};

IntegratedTaskParam* Param(void* p) { return static_cast<IntegratedTaskParam*>(p); }

void FillSlices(int workers, int n, IntegratedContext* ctx) {
  const int slice = n / workers;
  for (int t = 0; t < workers; ++t) {
    IntegratedTaskParam* p = PoolParam<IntegratedTaskParam>(t);
    p->ctx = ctx;
    p->plan = nullptr;
    p->work = nullptr;
    p->first = t * slice;
    p->count = (t == workers - 1) ? n - t * slice : slice;
    p->bucketFrom = p->bucketEnd = 0;
  }
}

void ComputeKeys(const IntegratedContext& ctx, int first, int end) {
  if (!ctx.columns) return;
  for (int i = first; i < end; ++i) {
    const int row = ctx.src[i];
    int64_t key = 0;
    for (int j = 0; j < ctx.nColumns; ++j) {
      const _SORT_FILT_INFO& c = ctx.columns[j];
      const int v = c.vno[row];
      key += (c.dir == 1 ? int64_t{c.VLcount} - 1 - v : int64_t{v}) * c.multiplier;
    }
    ctx.keys[i] = key;
  }
}

void RunSingleStep(int n, IntegratedContext* ctx) {
  if (n < 1) return;
  const int workers = KernelThreads(n);
  WorkerCounters<IntegratedTaskParam> counters(workers);
  FillSlices(workers, n, ctx);
  RunKernelTask(workers, kMppTaskSingleSortNFilterCountup);

  std::vector<int*> counts(static_cast<size_t>(workers));
  for (int t = 0; t < workers; ++t) counts[t] = PoolParam<IntegratedTaskParam>(t)->counts;
  int total = 0;
  const int K = static_cast<int>(ctx->K);
  for (int b = 0; b < K; ++b) {
    for (int t = 0; t < workers; ++t) {
      const int c = counts[t][b];
      counts[t][b] = total;
      total += c;
    }
    if (ctx->flags) ctx->flags[total] = 1;
  }
  RunKernelTask(workers, kMppTaskSingleSortNFilterTransfer);
}

void RunMultiStep(int n, IntegratedContext* ctx, const _RADIX_INFO_& plan, int digits) {
  if (n < 1) return;
  const int workers = KernelThreads(n);
  const int slice = n / workers;
  const int buckets = plan.maxTop + 1;
  ScratchSettleGuard settle;
  ZpkScratch<int> bucket_start(static_cast<size_t>(buckets) + 1);
  ZpkScratch<KeyEntry> entries(static_cast<size_t>(n));
  IntegratedWork work{bucket_start.get(), entries.get()};

  WorkerCounters<IntegratedTaskParam> counters(workers);
  FillSlices(workers, n, ctx);
  for (int t = 0; t < workers; ++t) {
    IntegratedTaskParam* p = PoolParam<IntegratedTaskParam>(t);
    p->plan = &plan;
    p->work = &work;
  }
  RunKernelTask(workers, kMppTaskMultiSortNFilterCountup);

  std::vector<int*> counts(static_cast<size_t>(workers));
  std::vector<int> share_from(static_cast<size_t>(workers)), share_end(static_cast<size_t>(workers));
  for (int t = 0; t < workers; ++t) counts[t] = PoolParam<IntegratedTaskParam>(t)->counts;
  PrefixAndShareBuckets(workers, buckets, counts.data(), false, slice, bucket_start.get(), share_from.data(),
                        share_end.data(), ctx->flags);
  RunKernelTask(workers, kMppTaskMultiSortNFilterTransfer);

  for (int t = 0; t < workers; ++t) {
    IntegratedTaskParam* p = PoolParam<IntegratedTaskParam>(t);
    p->bucketFrom = share_from[t];
    p->bucketEnd = share_end[t];
  }
  RunKernelTask(workers, digits == 3 ? kMppTaskSortNFilterStep3 : kMppTaskSortNFilterStep2);
}

// Orders each non-empty bucket of the worker's share by the key bits below the top digit, stably,
// writes rows and key numbers to their final positions and flags every position where those bits
// change. The bucket's entries are sorted in place (each bucket belongs to one worker).
int SortShareBelowTop(IntegratedTaskParam* p) {
  if (p->bucketFrom >= p->bucketEnd) return 0;
  const IntegratedContext& ctx = *p->ctx;
  const _RADIX_INFO_& plan = *p->plan;
  const int* starts = p->work->bucket_start;
  KeyEntry* entries = p->work->entries;
  const uint32_t mask = static_cast<uint32_t>(plan.belowTopMask);
  const int bits = mask == 0 ? 0 : ConvertFromVLtoBitsize(mask);
  auto digit = [mask](const KeyEntry& e) { return static_cast<uint32_t>(e.key) & mask; };
  int largest = 0;
  for (int b = p->bucketFrom; b < p->bucketEnd; ++b) largest = std::max(largest, starts[b + 1] - starts[b]);
  ZpkScratch<KeyEntry> scratch(static_cast<size_t>(std::max(largest, 1)));
  ZpkBlock<int> counters(static_cast<size_t>(kRadixCounters));
  for (int b = p->bucketFrom; b < p->bucketEnd; ++b) {
    const int from = starts[b];
    const int m = starts[b + 1] - from;
    if (m == 0) continue;
    const KeyEntry* sorted = StableRadixSort(entries + from, scratch.get(), m, bits, digit, counters.get());
    int* dst = ctx.dst + from;
    for (int i = 0; i < m; ++i) dst[i] = sorted[i].row;
    if (ctx.keyOut) {
      int* key_out = ctx.keyOut + from;
      for (int i = 0; i < m; ++i) key_out[i] = sorted[i].carried;
    }
    // The bucket's own start is flagged by the prefix step; only changes inside it are ours.
    if (ctx.flags) {
      char* flags = ctx.flags + from;
      for (int i = 1; i < m; ++i) {
        if (sorted[i].key != sorted[i - 1].key) flags[i] = 1;
      }
    }
  }
  return 0;
}

}  // namespace

int mpp_single_sort_n_filter_countup(void* param) {
  return TaskFrame([&] {
    IntegratedTaskParam* p = Param(param);
    const IntegratedContext& ctx = *p->ctx;
    int* counts = NewZeroedCounters(ctx.K);
    p->counts = counts;
    const int end = p->first + p->count;
    ComputeKeys(ctx, p->first, end);
    for (int i = p->first; i < end; ++i) ++counts[ctx.keys[i]];
    return 0;
  });
}

int mpp_single_sort_n_filter_transfer(void* param) {
  return TaskFrame([&] {
    IntegratedTaskParam* p = Param(param);
    const IntegratedContext& ctx = *p->ctx;
    int* counts = p->counts;
    const int end = p->first + p->count;
    for (int i = p->first; i < end; ++i) {
      const int64_t key = ctx.keys[i];
      const int pos = counts[key]++;
      ctx.dst[pos] = ctx.src[i];
      if (ctx.keyOut) ctx.keyOut[pos] = ctx.carried ? ctx.carried[i] : static_cast<int32_t>(key);
    }
    zpk_free(counts);
    p->counts = nullptr;
    return 0;
  });
}

int mpp_multi_sort_n_filter_countup(void* param) {
  return TaskFrame([&] {
    IntegratedTaskParam* p = Param(param);
    const IntegratedContext& ctx = *p->ctx;
    const _RADIX_INFO_& plan = *p->plan;
    int* counts = NewZeroedCounters(int64_t{plan.maxTop} + 1);
    p->counts = counts;
    const int end = p->first + p->count;
    ComputeKeys(ctx, p->first, end);
    const uint64_t mask = static_cast<uint32_t>(plan.topMask);
    const int shift = plan.topShift;
    for (int i = p->first; i < end; ++i) ++counts[(static_cast<uint64_t>(ctx.keys[i]) & mask) >> shift];
    return 0;
  });
}

int mpp_multi_sort_n_filter_transfer(void* param) {
  return TaskFrame([&] {
    IntegratedTaskParam* p = Param(param);
    const IntegratedContext& ctx = *p->ctx;
    const _RADIX_INFO_& plan = *p->plan;
    int* counts = p->counts;
    KeyEntry* entries = p->work->entries;
    const uint64_t mask = static_cast<uint32_t>(plan.topMask);
    const int shift = plan.topShift;
    const int end = p->first + p->count;
    for (int i = p->first; i < end; ++i) {
      const int64_t key = ctx.keys[i];
      const int32_t carried = ctx.carried ? ctx.carried[i] : static_cast<int32_t>(key);
      entries[counts[(static_cast<uint64_t>(key) & mask) >> shift]++] = KeyEntry{ctx.src[i], carried, key};
    }
    zpk_free(counts);
    p->counts = nullptr;
    return 0;
  });
}

int mpp_sort_n_filter_2step(void* param) {
  return TaskFrame([&] { return SortShareBelowTop(Param(param)); });
}

// Within a top bucket, ordering by the middle digit and then by the low digit is ordering by all
// the key bits below the top digit, which is what the bucket sort does.
int mpp_sort_n_filter_3step(void* param) {
  return TaskFrame([&] { return SortShareBelowTop(Param(param)); });
}

int mpp_renumber_vlord(void* param) {
  return TaskFrame([&] {
    RenumberParam* p = static_cast<RenumberParam*>(param);
    int* keys = p->keyNumbers;
    if (p->mode == 2) {
      const int base = p->result;
      if (base != 0) {
        for (int i = p->from; i < p->end; ++i) keys[i] += base;
      }
      return 0;
    }
    const int first_number = p->mode == 0 ? 1 : 0;
    int runs = 0;
    int run_key = 0;
    int run_start = p->from;
    for (int i = p->from; i < p->end; ++i) {
      const int key = keys[i];
      const bool flagged = p->flags && p->flags[i];
      if (i == p->from || key != run_key || flagged) {
        if (flagged) p->flags[i] = 0;
        if (i != p->from && p->counts) p->counts[p->from + runs - 1] = i - run_start;
        if (p->firstRows) p->firstRows[p->from + runs] = p->firstRows[i];
        run_key = key;
        run_start = i;
        ++runs;
      }
      keys[i] = runs - 1 + first_number;
    }
    if (runs > 0 && p->counts) p->counts[p->from + runs - 1] = p->end - run_start;
    p->result = runs;
    return 0;
  });
}

void SingleStepIntegratedSort(int n, const int* src, int64_t K, const int64_t* keys, int* dst,
                              const int* carried, int* keyOut, char* flags) {
  if (n < 1) return;
  IntegratedContext ctx{src, const_cast<int64_t*>(keys), K, flags, carried, keyOut, dst, nullptr, 0};
  RunSingleStep(n, &ctx);
}

void MultiStepIntegratedSortWithPlan(int n, const int* src, const int64_t* keys, int* dst, const int* carried,
                                     int* keyOut, char* flags, const _RADIX_INFO_& plan, int digits) {
  if (n < 1) return;
  IntegratedContext ctx{src, const_cast<int64_t*>(keys), 0, flags, carried, keyOut, dst, nullptr, 0};
  RunMultiStep(n, &ctx, plan, digits);
}

void MultiStepIntegratedSort(int n, const int* src, int64_t K, const int64_t* keys, int* dst,
                             const int* carried, int* keyOut, char* flags) {
  if (n < 1) return;
  _RADIX_INFO_ plan;
  build_radix_info(static_cast<int>(K), static_cast<int>(K), &plan);
  MultiStepIntegratedSortWithPlan(n, src, keys, dst, carried, keyOut, flags, plan, 2);
}

void MppIntegratedCountingSort(int k, int n, const int* src, int* dst, _SORT_FILT_INFO* entries,
                               const int* carried, int* keyOut, char* flags) {
  if (n < 1) {
    if (flags && n == 0) flags[0] = 1;
    return;
  }
  // A group of one column with nothing to carry or number: its key is the value number itself (or
  // its mirror), so the parallel counting sort gives the same stable order without building the
  // 64-bit keys and the 16-byte radix entries.
  if (k == 1 && !carried && !keyOut && !flags) {
    entries[0].multiplier = 1;
    MppCountingSort(entries[0].dir == 1 ? 1 : 0, n, src, dst, entries[0].vno, entries[0].VLcount, 0);
    return;
  }
  if (flags) MppMemSet(flags, 0, n);
  ScratchSettleGuard settle;
  int64_t K = 1;
  for (int j = 0; j < k; ++j) {
    entries[j].multiplier = K;
    K *= entries[j].VLcount;
  }
  ZpkScratch<int64_t> keys(static_cast<size_t>(n));
  // The counting task of the step sort computes the keys of its own slice.
  IntegratedContext ctx{src, keys.get(), K, flags, carried, keyOut, dst, entries, k};
  if (K >= 1 && K <= kOnePassKeySpace) {
    RunSingleStep(n, &ctx);
  } else {
    _RADIX_INFO_ plan;
    build_radix_info(static_cast<int>(K), static_cast<int>(K), &plan);
    RunMultiStep(n, &ctx, plan, 2);
  }
}

int MppRenumberVLOrd(int n, int* keyNumbers, char* flags, int* counts, int* firstRows, int mode) {
  if (n < 1) return 0;
  const int workers = KernelThreads(n);
  const int slice = n / workers;
  // Ranges never cut a run: each one ends where a run starts (a flagged position or a change of
  // key number), so no run of equal keys crosses two workers.
  std::vector<int> from, end;
  int start = 0;
  for (int t = 0; t < workers && start < n; ++t) {
    int stop = (t == workers - 1) ? n : std::min(n, start + std::max(slice, 1));
    while (stop < n && !((flags && flags[stop]) || keyNumbers[stop] != keyNumbers[stop - 1])) ++stop;
    from.push_back(start);
    end.push_back(stop);
    start = stop;
  }
  end.back() = n;
  const int ranges = static_cast<int>(from.size());

  // With several ranges, run lengths land at counts[range start + g] before they are packed: a
  // private block of n entries keeps those writes inside memory of ours, so the caller's array
  // needs only one entry per run.
  ScratchSettleGuard settle;
  std::optional<ZpkScratch<int>> count_scratch;
  int* range_counts = counts;
  if (counts && ranges > 1) {
    count_scratch.emplace(static_cast<size_t>(n));
    range_counts = count_scratch->get();
  }
  for (int t = 0; t < ranges; ++t) {
    RenumberParam* p = PoolParam<RenumberParam>(t);
    p->from = from[t];
    p->end = end[t];
    p->keyNumbers = keyNumbers;
    p->flags = flags;
    p->counts = range_counts;
    p->firstRows = firstRows;
    p->mode = mode == 1 ? 1 : 0;
    p->result = 0;
  }
  RunKernelTask(ranges, kMppTaskRenumberVlord);

  std::vector<int> runs(static_cast<size_t>(ranges));
  for (int t = 0; t < ranges; ++t) runs[t] = PoolParam<RenumberParam>(t)->result;
  int total = 0;
  for (int t = 0; t < ranges; ++t) {
    if (range_counts != counts) std::memcpy(counts + total, range_counts + from[t], sizeof(int) * runs[t]);
    if (firstRows && t > 0) std::memmove(firstRows + total, firstRows + from[t], sizeof(int) * runs[t]);
    RenumberParam* p = PoolParam<RenumberParam>(t);
    p->mode = 2;
    p->result = total;
    total += runs[t];
  }
  if (ranges > 1) RunKernelTask(ranges, kMppTaskRenumberVlord);
  return total;
}

std::vector<_FILT_GRP_> SortColumnGroups(int n_columns, const SortKeyColumn* columns) {
  std::vector<_FILT_GRP_> groups;
  double product = 1.0;
  for (int i = 0; i < n_columns; ++i) {
    product *= columns[i].nValues;
    if (groups.empty() || product > kMaxGroupKeySpace) {
      if (!groups.empty()) product = columns[i].nValues;
      groups.push_back(_FILT_GRP_{i, 0});
    }
    ++groups.back().count;
  }
  return groups;
}

namespace {

// One rows and one keys block become the results; the flags die with the sort.
struct SortBuffers {
  ZpkBlock<int> rows[2];
  ZpkBlock<int> keys[2];
  std::optional<ZpkScratch<char>> flags;
  char* flag_block() const { return flags ? flags->get() : nullptr; }
};

int SortForMultiItemCore(int nFilters, int n, const int* rows, const SortKeyColumn* columns, const int* dirs,
                         int** outRows, int** outKeys, int* counts, int* firstRows, int mode, int unique,
                         bool ex) {
  if (outRows) *outRows = nullptr;
  if (outKeys) *outKeys = nullptr;
  if (nFilters < 1 || n < 0 || !outRows || !columns || !dirs || (n > 0 && !rows) ||
      (ex && outKeys && unique && n > 0 && !firstRows)) {
    return Q7_ERROR_INVALID_PARAMETER;
  }
  try {
    std::vector<_SORT_FILT_INFO> entries(static_cast<size_t>(nFilters));
    for (int i = 0; i < nFilters; ++i)
      entries[i] = _SORT_FILT_INFO{columns[i].vno, columns[i].nValues, 0, dirs[i]};

    const std::vector<_FILT_GRP_> groups = SortColumnGroups(nFilters, columns);

    ScratchSettleGuard settle;  // after the buffers are gone
    SortBuffers b;
    const size_t rows_size = static_cast<size_t>(n);
    if (outKeys) {
      b.keys[0] = ZpkBlock<int>(rows_size);
      b.keys[1] = ZpkBlock<int>(rows_size);
      b.flags.emplace(rows_size + 2);
    }
    const int* src = rows;
    int written = -1;  // the rows buffer written last
    int key_cur = 0;   // the key-number buffer the next sort writes
    int distinct = 0;
    const int last_group = static_cast<int>(groups.size()) - 1;
    for (int g = 0; g <= last_group; ++g) {
      const int target = written == 0 ? 1 : 0;
      if (!b.rows[target]) b.rows[target] = ZpkBlock<int>(rows_size);
      const int* carried = (outKeys && g > 0) ? b.keys[1 - key_cur].get() : nullptr;
      int* key_out = outKeys ? b.keys[key_cur].get() : nullptr;
      MppIntegratedCountingSort(groups[g].count, n, src, b.rows[target].get(),
                                entries.data() + groups[g].first, carried, key_out, b.flag_block());
      written = target;
      src = b.rows[target].get();
      if (outKeys) {
        int* first_rows = nullptr;
        if (g == last_group && unique) {
          if (ex) {
            if (n > 0) std::memcpy(firstRows, src, sizeof(int) * rows_size);
            first_rows = firstRows;
          } else {
            first_rows = b.rows[target].get();
          }
        }
        distinct = MppRenumberVLOrd(n, key_out, b.flag_block(), ex ? counts : nullptr, first_rows, mode);
        key_cur = 1 - key_cur;
      }
    }

    if (outKeys && unique && !ex) {
      int* shrunk =
          static_cast<int*>(zpk_realloc(b.rows[written].get(), sizeof(int) * std::max<size_t>(distinct, 1)));
      b.rows[written].Release();
      b.rows[written].Reset(shrunk);
    }
    *outRows = b.rows[written].Release();
    if (outKeys) {
      *outKeys = b.keys[1 - key_cur].Release();
      return distinct;
    }
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

}  // namespace

int SortForMultiItem(int nFilters, int n, const int* rows, const SortKeyColumn* columns, const int* dirs,
                     int** outRows, int** outKeys, int mode, int unique) {
  return SortForMultiItemCore(nFilters, n, rows, columns, dirs, outRows, outKeys, nullptr, nullptr, mode,
                              unique, false);
}

int SortForMultiItemEx(int nFilters, int n, const int* rows, const SortKeyColumn* columns, const int* dirs,
                       int** outRows, int** outKeys, int* counts, int* firstRows, int mode, int unique) {
  return SortForMultiItemCore(nFilters, n, rows, columns, dirs, outRows, outKeys, counts, firstRows, mode,
                              unique, true);
}
