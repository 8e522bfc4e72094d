// Pieces shared by the parallel sorts of this folder (not for other folders).
//
// Called on the thread that drives the pool, between two tasks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "foundation/zpk_memory.h"
#include "kernels/KernelPool.h"
#include "values/ZpkBlock.h"

// Compiles n integers (value or record numbers, never NULL) with `compile` (Compile or
// MppCompile) into their 0-based ranks and the ascending distinct list; returns the number of
// distinct values. Both blocks end up in the holders, on failure too.
template <class CompileFn>
int CompileInts(CompileFn compile, int n, const int* values, ZpkBlock<int>& rank, ZpkBlock<int>& list) {
  int distinct = 0;
  void* raw_list = nullptr;
  try {
    compile(n, 2, 4, values, rank.Out(), &distinct, &raw_list);
  } catch (...) {
    list.Reset(static_cast<int*>(raw_list));
    throw;
  }
  list.Reset(static_cast<int*>(raw_list));
  return distinct;
}

// Large work blocks of a sort come from the scratch pool (fresh pages cost a kernel zeroing on
// first touch); when the sort ends, however it ends, what the pool keeps beyond the sort's need
// goes back to the system. Nested sorts may each hold one.
struct ScratchSettleGuard {
  ScratchSettleGuard() = default;
  ScratchSettleGuard(const ScratchSettleGuard&) = delete;
  ScratchSettleGuard& operator=(const ScratchSettleGuard&) = delete;
  ~ScratchSettleGuard() { zpk_scratch_settle(); }
};

// A zeroed block of max(entries, 1) counters from zpk_malloc (throws Q7_ERROR_OUT_OF_MEMORY).
inline int* NewZeroedCounters(int64_t entries) {
  const size_t bytes = sizeof(int) * static_cast<size_t>(std::max<int64_t>(entries, 1));
  int* c = static_cast<int*>(zpk_malloc(bytes));
  std::memset(c, 0, bytes);
  return c;
}

// The per-worker counters of a sort's counting and placing tasks (the `counts` field of the
// parameter block layout P): cleared before the counting task, and whatever a placing task did
// not release (a failure on another worker stops the sort in between) is released at the end.
template <class P>
class WorkerCounters {
 public:
  explicit WorkerCounters(int workers) : workers_(workers) {
    for (int t = 0; t < workers_; ++t) PoolParam<P>(t)->counts = nullptr;
  }
  ~WorkerCounters() {
    for (int t = 0; t < workers_; ++t) {
      P* p = PoolParam<P>(t);
      zpk_free(p->counts);
      p->counts = nullptr;
    }
  }
  WorkerCounters(const WorkerCounters&) = delete;
  WorkerCounters& operator=(const WorkerCounters&) = delete;

 private:
  int workers_;
};

// Turns per-worker bucket counters into output positions and shares the buckets out.
//
// counts[t][d] holds worker t's count of top digit d (d in 0 .. n_buckets-1). Buckets are walked
// in output order: position p is digit p ascending, digit n_buckets-1-p descending. Each counter
// becomes the worker's first output position for that bucket (bucket-major, worker-minor, so
// equal digits of an earlier slice come first). bucket_start (n_buckets + 1 entries) receives the
// first position of each bucket position and n at the end. flags, when given, get flag[end of
// each bucket] = 1.
//
// Shares: worker k gets bucket positions [share_from[k], share_end[k]); shares are contiguous,
// hold about `slice` rows each and never split a bucket. Workers without buckets get empty shares.
void PrefixAndShareBuckets(int workers, int n_buckets, int* const* counts, bool descending, int slice,
                           int* bucket_start, int* share_from, int* share_end, char* flags);

// Sorts m elements stably by digit(e), a value in 0 .. 2^bits - 1 (bits <= 32), by least-significant-
// digit counting passes whose width suits m (one pass of 2^bits counters when that is cheapest),
// or by insertion for a handful of elements. The elements start in a; b is scratch of m elements;
// counters must hold kRadixCounters ints. Returns the buffer (a or b) that holds the result.
constexpr int kRadixMaxPassBits = 16;
constexpr int kRadixCounters = 1 << kRadixMaxPassBits;

template <class E, class DigitFn>
E* StableRadixSort(E* a, E* b, int m, int bits, DigitFn digit, int* counters) {
  if (m <= 24 || bits <= 0) {
    for (int i = 1; i < m; ++i) {
      E e = a[i];
      const uint32_t d = digit(e);
      int j = i;
      for (; j > 0 && digit(a[j - 1]) > d; --j) a[j] = a[j - 1];
      a[j] = e;
    }
    return a;
  }
  // Passes: the fewest total of element moves and counter work.
  int passes = 1;
  int64_t best = -1;
  for (int p = 1; p <= 4; ++p) {
    const int w = (bits + p - 1) / p;
    if (w > kRadixMaxPassBits) continue;
    const int64_t cost = p * (2 * static_cast<int64_t>(m) + (int64_t{1} << w) * 2);
    if (best < 0 || cost < best) {
      best = cost;
      passes = p;
    }
  }
  const int w = (bits + passes - 1) / passes;
  E* src = a;
  E* dst = b;
  for (int shift = 0; shift < bits; shift += w) {
    const int width = std::min(w, bits - shift);
    const uint32_t mask = (width >= 32) ? 0xFFFFFFFFu : ((1u << width) - 1);
    const int entries = 1 << width;
    std::fill(counters, counters + entries, 0);
    for (int i = 0; i < m; ++i) ++counters[(digit(src[i]) >> shift) & mask];
    int total = 0;
    for (int d = 0; d < entries; ++d) {
      const int c = counters[d];
      counters[d] = total;
      total += c;
    }
    for (int i = 0; i < m; ++i) dst[counters[(digit(src[i]) >> shift) & mask]++] = src[i];
    std::swap(src, dst);
  }
  return src;
}
