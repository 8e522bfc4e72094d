// The parallel value-list compile and the parallel merge of two value lists.
#include "values/MppCompile.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/CompileSupport.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"

using namespace vlc;  // NOLINT: this folder's own helpers

namespace {

// ---- Task layouts ----

// Task 17 serves every step of the parallel compile, chosen by `mode`.
enum CompileMode : int32_t {
  kCompileSlice = 0,    // compile raw[0..n-1] into rows / count / list
  kIntRange = 1,        // summarise raw[0..n-1] into range
  kMarkSlots = 2,       // counting: mark the slot of every value
  kNumberRows = 3,      // counting: rows[i] = slots[slot of raw[i]]
  kKeySpan = 4,         // whole-number keys: summarise raw[0..n-1] into keys
  kMarkKeys = 5,        // whole-number keys: mark the slot of every value
  kNumberKeys = 6,      // whole-number keys: rows[i] = slots[slot of raw[i]]
  kSampleClassify = 7,  // whole sort: each element's bucket and the slice's bucket counts
  kSampleScatter = 8,   // whole sort: the slice's (key, element) pairs into their buckets
  kSampleSort = 9,      // whole sort: sort the worker's buckets, count their distinct keys
  kSampleNumber = 10,   // whole sort: number the worker's buckets, write their list entries
};

struct SamplePlan;

// Doubles that all hold whole numbers, or decimals that all fit 64 bits, read as 64-bit integer
// keys: the range of the non-NULL keys, the NULL count and (doubles) the first zero, whose element
// stands for both 0.0 and -0.0.
struct KeySummary {
  int32_t fits = 1;
  int32_t nulls = 0;
  int64_t min = INT64_MAX;
  int64_t max = INT64_MIN;
  int64_t first_zero = -1;  // index in the slice
};

struct CompileParam {
  MppParamHeader header;
  int32_t mode;
  int32_t n;
  int32_t type;
  int32_t width;
  const void* raw;  // this worker's first element
  int32_t* rows;    // slice outputs (null until compiled); kNumberRows: this worker's first row
  int32_t count;
  void* list;
  _RawIntArrayRangeInfo range;
  int32_t base;  // counting: value v takes slot v - base, NULL slot 0
  int32_t* slots;
  int32_t lead;            // kCompileSlice: 1 when an implicit NULL element stands before this slice
  ScratchCaps caps;        // kCompileSlice: the capacities of rows and list (0: plain blocks)
  KeySummary keys;         // kKeySpan
  uint64_t key_base;       // kMarkKeys, kNumberKeys: key k takes slot k - key_base (mod 2^64), NULL slot 0
  const SamplePlan* plan;  // kSample*: the whole sort's shared state
  int32_t first;           // kSampleClassify, kSampleScatter: the slice's first element
  int32_t bucket_from;     // kSampleSort, kSampleNumber: the worker's buckets [from, to)
  int32_t bucket_to;
};

struct MergeParam {
  MppParamHeader header;
  CMergeItem* a;
  CMergeItem* b;
  int32_t phase;  // 1: count the slice's merged entries; 2: place them
  void* dest;     // phase 2: the merged list
};

struct RenumberParam {
  MppParamHeader header;
  const int32_t* map;
  int32_t n;
  const int32_t* src;  // null: in place on dst
  int32_t* dst;
};

// ---- Entry orders by value kind (3 stands for every double kind) ----

int KindOf(int type) {
  switch (type) {
    case 2:
    case 6:
    case 8:
      return type;
    case 3:
    case 4:
    case 5:
    case 7:
      return 3;
    default:
      return 0;
  }
}

template <int K>
int CompareEntries(const CMergeItem& a, int p, const CMergeItem& b, int q) {
  if constexpr (K == 2) {
    return CompareInt(static_cast<const int32_t*>(a.data)[p], static_cast<const int32_t*>(b.data)[q]);
  } else if constexpr (K == 3) {
    return CompareDouble(static_cast<const double*>(a.data)[p], static_cast<const double*>(b.data)[q]);
  } else if constexpr (K == 6) {
    return CompareText(a.text(p), b.text(q));
  } else {
    return CompareDecimal(a.entry(p), b.entry(q));
  }
}

// First index p in [from, to) of `list` whose entry is not below other[q].
template <int K>
int LowerBound(const CMergeItem& list, int from, int to, const CMergeItem& other, int q) {
  while (from < to) {
    const int mid = from + (to - from) / 2;
    if (CompareEntries<K>(list, mid, other, q) < 0) {
      from = mid + 1;
    } else {
      to = mid;
    }
  }
  return from;
}

// First index p in [from, to) of `list` whose entry is above other[q].
template <int K>
int UpperBound(const CMergeItem& list, int from, int to, const CMergeItem& other, int q) {
  while (from < to) {
    const int mid = from + (to - from) / 2;
    if (CompareEntries<K>(list, mid, other, q) <= 0) {
      from = mid + 1;
    } else {
      to = mid;
    }
  }
  return from;
}

bool RangeEmpty(const int32_t* r) { return r[0] < 0 || r[1] < r[0]; }

// Phase 1 of slice t (1..threads): walk both ranges, count the slice's merged entries and leave in
// each map the number of the other list's unique entries before each entry.
template <int K>
void CountSlice(CMergeItem& a, CMergeItem& b, int t) {
  const int32_t* ra = a.ranges[t];
  const int32_t* rb = b.ranges[t];
  int i = RangeEmpty(ra) ? 0 : ra[0];
  const int i_end = RangeEmpty(ra) ? 0 : ra[1] + 1;
  int j = RangeEmpty(rb) ? 0 : rb[0];
  const int j_end = RangeEmpty(rb) ? 0 : rb[1] + 1;
  int32_t uniques = 0;
  while (i < i_end && j < j_end) {
    const int c = CompareEntries<K>(a, i, b, j);
    if (c == 0) {
      ++i;
      ++j;
    } else if (c < 0) {
      ++b.map[j];
      ++i;
    } else {
      ++a.map[i];
      ++j;
    }
    ++uniques;
  }
  uniques += (i_end - i) + (j_end - j);
  a.uniques[t] = uniques;
  b.uniques[t] = uniques;
  a.aggregate(t);
  b.aggregate(t);
}

// Phase 2 for the ranges of worker k: number the entries and write them into the merged list. For
// equal entries (always in one slice) the second list's element is written first, so the first
// list's element is the one kept.
void PlaceRanges(CMergeItem& a, CMergeItem& b, int k, void* dest) {
  auto place = [&](int r) {
    b.apply_unique(r);
    a.apply_unique(r);
    b.updateDest(r, dest);
    a.updateDest(r, dest);
  };
  if (k == 0) place(0);
  place(k + 1);
  if (k == a.threads - 1) place(a.threads + 1);
}

int MergeTask(MergeParam* p) {
  const int k = p->header.index;
  if (p->phase == 2) {
    PlaceRanges(*p->a, *p->b, k, p->dest);
    return 0;
  }
  switch (KindOf(p->a->type)) {
    case 2:
      CountSlice<2>(*p->a, *p->b, k + 1);
      break;
    case 3:
      CountSlice<3>(*p->a, *p->b, k + 1);
      break;
    case 6:
      CountSlice<6>(*p->a, *p->b, k + 1);
      break;
    default:
      CountSlice<8>(*p->a, *p->b, k + 1);
      break;
  }
  return 0;
}

void RunMergeTask(int threads, CMergeItem* a, CMergeItem* b, int phase, void* dest) {
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<MergeParam>(i);
    p->a = a;
    p->b = b;
    p->phase = phase;
    p->dest = dest;
  }
  CSmpEngine::Instance()->run_threads_task(threads, kMppTaskMergeList);
}

// Writes the lower list's entries, then the other's, when no entry of one lies inside the other.
void Concatenate(CMergeItem& lower, CMergeItem& upper_list, void* dest, int width) {
  for (int p = 0; p < lower.count; ++p) lower.map[p] = p;
  for (int p = 0; p < upper_list.count; ++p) upper_list.map[p] = lower.count + p;
  if (lower.area == nullptr && upper_list.area == nullptr) {
    const size_t w = static_cast<size_t>(width);
    if (lower.count > 0) memcpy(dest, lower.data, w * static_cast<size_t>(lower.count));
    if (upper_list.count > 0) {
      memcpy(static_cast<char*>(dest) + w * static_cast<size_t>(lower.count), upper_list.data,
             w * static_cast<size_t>(upper_list.count));
    }
    return;
  }
  lower.updateDest(dest);
  upper_list.updateDest(dest);
}

// The merged list: a plain block for the caller, or with `scratch` given a scratch block whose
// capacity lands there (an intermediate list of the parallel compile).
void* AllocateMerged(int type, int64_t total, size_t* scratch) {
  if (total < 0 || total > INT32_MAX) {
    const int shown = static_cast<int>(total);
    PutErrorLog("DoMppMerge", Q7_ERROR_ROW_SIZE_OVERFLOW, getString("Illrgal row size : nUnique(%d)", shown));
    throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  }
  if (scratch == nullptr) return zpk_malloc_t(type, static_cast<size_t>(total));
  return zpk_scratch_take(static_cast<size_t>(ValueTypeWidth(type)) * static_cast<size_t>(total), scratch);
}

template <int K>
void MergeSorted(CMergeItem& a, CMergeItem& b, int type, void** merged, int* merged_count, size_t* scratch) {
  const int width = ValueTypeWidth(type);
  // Lists that do not overlap are numbered by position, without any task.
  CMergeItem* first = nullptr;
  CMergeItem* second = nullptr;
  if (a.count == 0 || b.count == 0) {
    first = &a;
    second = &b;
  } else if (CompareEntries<K>(a, 0, b, 0) < 0) {
    a.set_lower_index(LowerBound<K>(a, 0, a.count, b, 0));
    if (a.lower == a.count) {
      first = &a;
      second = &b;
    }
  } else {
    b.set_lower_index(LowerBound<K>(b, 0, b.count, a, 0));
    if (b.lower == b.count) {
      first = &b;
      second = &a;
    }
  }
  if (first != nullptr) {
    const int64_t total = static_cast<int64_t>(a.count) + b.count;
    void* dest = AllocateMerged(type, total, scratch);
    Concatenate(*first, *second, dest, width);
    *merged = dest;
    *merged_count = static_cast<int>(total);
    return;
  }

  // The overlap at the top.
  const int c = CompareEntries<K>(b, b.count - 1, a, a.count - 1);
  if (c > 0) {
    b.set_upper_index(UpperBound<K>(b, b.lower, b.count, a, a.count - 1) - 1);
  } else if (c < 0) {
    a.set_upper_index(UpperBound<K>(a, a.lower, a.count, b, b.count - 1) - 1);
  }
  const int32_t prefix = std::abs(a.lower - b.lower);
  const int32_t suffix = std::max(a.count - a.upper, b.count - b.upper) - 1;

  int threads = std::min({a.get_merge_recs(), b.get_merge_recs(), CSmpEngine::Instance()->ActiveThreads()});
  if (threads < 1) threads = 1;
  a.set_threads_count(threads);
  b.set_threads_count(threads);
  a.uniques[0] = b.uniques[0] = prefix;
  a.uniques[threads + 1] = b.uniques[threads + 1] = suffix;
  a.set_threads_range();
  b.set_threads_range(&a);

  RunMergeTask(threads, &a, &b, 1, nullptr);
  int64_t total = 0;
  for (int r = 0; r < threads + 2; ++r) total += a.uniques[r];
  size_t capacity = 0;
  void* dest = AllocateMerged(type, total, scratch != nullptr ? &capacity : nullptr);
  try {
    RunMergeTask(threads, &a, &b, 2, dest);
  } catch (...) {
    zpk_scratch_give(dest, capacity);
    throw;
  }
  if (scratch != nullptr) *scratch = capacity;
  *merged = dest;
  *merged_count = static_cast<int>(total);
}

// Frees the compiled slices still held, whatever way the compile ends.
// Each block carries its scratch capacity (0 for a plain block, see OutBlock): only the list
// handed to the caller in the end is plain once the slices are merged.
struct SliceResults {
  struct Slice {
    int32_t* rows = nullptr;  // the slice's own value numbers
    int32_t n_rows = 0;
    void* list = nullptr;     // the list of the group this slice leads (null when it leads none)
    int32_t count = 0;        // its length
    int32_t* comp = nullptr;  // the slice's numbers -> the group's numbers (null: identity)
    int32_t own_count = 0;    // the slice's own distinct count (entries of comp)
    size_t rows_cap = 0;
    size_t list_cap = 0;
    size_t comp_cap = 0;
  };
  std::vector<Slice> slices;
  ~SliceResults() {
    for (Slice& s : slices) {
      zpk_scratch_give(s.rows, s.rows_cap);
      zpk_scratch_give(s.list, s.list_cap);
      zpk_scratch_give(s.comp, s.comp_cap);
    }
  }
};

void RunCompileTask(int threads) {
  try {
    CSmpEngine::Instance()->run_threads_task(threads, kMppTaskCompile);
  } catch (...) {
    // A failed worker freed its own outputs; the others' are freed here.
    for (int i = 0; i < threads; ++i) {
      auto* p = PoolParam<CompileParam>(i);
      if (p->mode == kCompileSlice) {
        zpk_scratch_give(p->rows, p->caps.rows);
        zpk_scratch_give(p->list, p->caps.list);
        p->rows = nullptr;
        p->list = nullptr;
      }
    }
    throw;
  }
}

// Fills every worker's block for `mode` over its slice of n elements.
void SetUpSlices(int threads, int mode, int n, int type, int width, const void* raw) {
  const int share = n / threads;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    const int from = i * share;
    p->mode = mode;
    p->n = i == threads - 1 ? n - from : share;
    p->type = type;
    p->width = width;
    p->raw = static_cast<const char*>(raw) + static_cast<size_t>(from) * static_cast<size_t>(width);
    p->rows = nullptr;
    p->count = 0;
    p->list = nullptr;
    p->lead = 0;
    p->caps = ScratchCaps{};
  }
}

// The bytes of the type's NULL as a list entry.
void PutNullEntry(int type, void* entry) {
  switch (KindOf(type)) {
    case 2: {
      const int32_t v = INT32_MIN;
      memcpy(entry, &v, sizeof v);
      break;
    }
    case 3: {
      const double v = -std::numeric_limits<double>::infinity();
      memcpy(entry, &v, sizeof v);
      break;
    }
    case 6: {
      const char* t = kEmptyText;
      memcpy(entry, &t, sizeof t);
      break;
    }
    default: {
      const int64_t halves[2] = {0, INT64_MIN};  // the decimal NaN
      memcpy(entry, halves, sizeof halves);
      break;
    }
  }
}

// Makes a compiled list that of the same column with one NULL element put in front: the NULL
// becomes entry 0, either taking the place of the NULL class already listed (the new element is
// the earliest, so its bytes represent the class) or ahead of every entry, the n row numbers then
// moving up by one. On failure the list and rows are left as they were. With `list_cap` given the
// list is a scratch block of that capacity, and so is the grown one.
void PrependNull(int type, int32_t* rows, int n, void** list, int* count, size_t* list_cap) {
  const size_t width = static_cast<size_t>(ValueTypeWidth(type));
  unsigned char null_entry[16];
  PutNullEntry(type, null_entry);
  const void* first = *list;
  bool listed = false;
  if (*count > 0) {
    switch (KindOf(type)) {
      case 2:
        listed = CompareInt(*static_cast<const int32_t*>(first), INT32_MIN) == 0;
        break;
      case 3:
        listed =
            CompareDouble(*static_cast<const double*>(first), -std::numeric_limits<double>::infinity()) == 0;
        break;
      case 6:
        listed = CompareText(*static_cast<const char* const*>(first), kEmptyText) == 0;
        break;
      default:
        listed = CompareDecimal(first, null_entry) == 0;
        break;
    }
  }
  if (listed) {
    memcpy(*list, null_entry, width);
    return;
  }
  OutBlock<unsigned char> grown(width * (static_cast<size_t>(*count) + 1), list_cap != nullptr);
  memcpy(grown.get(), null_entry, width);
  if (*count > 0) memcpy(grown.get() + width, *list, width * static_cast<size_t>(*count));
  zpk_scratch_give(*list, list_cap != nullptr ? *list_cap : 0);
  *list = grown.Release(list_cap);
  ++*count;
  for (int i = 0; i < n; ++i) ++rows[i];
}

// Counting in parallel: the slots are marked and read by all workers at once; the prefix sums
// and the list are made on the calling thread. The same numbers as the serial counting method.
// With `lead` 1 the rows start with an implicit NULL element that `values` does not hold (r counts
// it among the NULLs): its slot is marked here and its row is 0.
void ParallelCounting(int threads, int n, const int32_t* values, const _RawIntArrayRangeInfo& r, int lead,
                      int** rows_out, int* count_out, void** list_out) {
  const int32_t span = static_cast<int32_t>(static_cast<int64_t>(r.max) - r.min + 3);  // checked to fit
  const int32_t base = r.nulls > 0 ? r.min - 1 : r.min;
  ZpkBlock<int32_t> slots(static_cast<size_t>(span));
  MppMemSet(slots.get(), 0, static_cast<long>(sizeof(int32_t)) * span);
  ZpkBlock<int32_t> rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
  if (lead != 0) slots[0] = 1;

  SetUpSlices(threads, kMarkSlots, n, 2, 4, values);
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    p->base = base;
    p->slots = slots.get();
  }
  RunCompileTask(threads);

  int32_t* sl = slots.get();
  int32_t sum = 0;
  for (int32_t k = 0; k < span; ++k) {
    const int32_t mark = sl[k];
    sl[k] = sum;
    sum += mark;
  }
  const int32_t count = sl[span - 1];

  const int share = n / threads;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    p->mode = kNumberRows;
    p->rows = rows.get() + lead + static_cast<size_t>(i) * static_cast<size_t>(share);
  }
  RunCompileTask(threads);
  if (lead != 0) rows[0] = 0;  // NULL is the smallest value

  ZpkBlock<int32_t> list(static_cast<size_t>(count));
  for (int32_t k = 0; k + 1 < span; ++k) {
    if (sl[k + 1] == sl[k]) continue;
    list[static_cast<size_t>(sl[k])] = (k == 0 && r.nulls > 0) ? INT32_MIN : base + k;
  }
  *rows_out = rows.Release();
  *count_out = count;
  *list_out = list.Release();
}

int32_t SlotOf(int32_t v, int32_t base) {
  return v == INT32_MIN ? 0 : static_cast<int32_t>(static_cast<uint32_t>(v) - static_cast<uint32_t>(base));
}

// ---- Counting whole-number doubles and 64-bit decimals ----
//
// Dates, day numbers and amounts in cents often span a range no wider than the column is long;
// they are then numbered by counting as dense integers are, without any sort or merge.

constexpr double kWholeLimit = 9007199254740992.0;  // 2^53: every whole double below is exact

inline bool DoubleIsNull(double x) { return x != x || x == -std::numeric_limits<double>::infinity(); }
inline bool DecimalIsNull(uint64_t low, int64_t high) { return high == INT64_MIN && low == 0; }

void SummarizeKeys(int type, int n, const void* raw, KeySummary* s) {
  *s = KeySummary{};
  if (type == 8) {
    const auto* v = static_cast<const unsigned char*>(raw);
    for (int32_t i = 0; i < n; ++i) {
      uint64_t low;
      int64_t high;
      memcpy(&low, v + 16 * static_cast<size_t>(i), 8);
      memcpy(&high, v + 16 * static_cast<size_t>(i) + 8, 8);
      if (DecimalIsNull(low, high)) {
        ++s->nulls;
        continue;
      }
      const auto key = static_cast<int64_t>(low);
      if (high != (key < 0 ? -1 : 0)) {
        s->fits = 0;
        return;
      }
      s->min = std::min(s->min, key);
      s->max = std::max(s->max, key);
    }
    return;
  }
  const auto* v = static_cast<const double*>(raw);
  for (int32_t i = 0; i < n; ++i) {
    const double x = v[i];
    if (DoubleIsNull(x)) {
      ++s->nulls;
      continue;
    }
    if (!(x >= -kWholeLimit && x <= kWholeLimit) || static_cast<double>(static_cast<int64_t>(x)) != x) {
      s->fits = 0;
      return;
    }
    const auto key = static_cast<int64_t>(x);
    if (key == 0 && s->first_zero < 0) s->first_zero = i;
    s->min = std::min(s->min, key);
    s->max = std::max(s->max, key);
  }
}

// f(i, slot) for every element; the keys must have been summarised as fitting.
template <class F>
void ForEachKeySlot(int type, int n, const void* raw, uint64_t base, F f) {
  if (type == 8) {
    const auto* v = static_cast<const unsigned char*>(raw);
    for (int32_t i = 0; i < n; ++i) {
      uint64_t low;
      int64_t high;
      memcpy(&low, v + 16 * static_cast<size_t>(i), 8);
      memcpy(&high, v + 16 * static_cast<size_t>(i) + 8, 8);
      f(i, DecimalIsNull(low, high) ? 0 : static_cast<int32_t>(low - base));
    }
    return;
  }
  const auto* v = static_cast<const double*>(raw);
  for (int32_t i = 0; i < n; ++i) {
    const double x = v[i];
    f(i, DoubleIsNull(x) ? 0 : static_cast<int32_t>(static_cast<uint64_t>(static_cast<int64_t>(x)) - base));
  }
}

// Numbers a double (3..5, 7) or decimal (8) column by counting when its keys are whole numbers in
// a range no wider than about twice the column; false (nothing made) otherwise. The outputs equal
// the sort's: NULL (NaN read as minus infinity for doubles) is the smallest value, entries are the
// values themselves, and zero is written as its earliest element holds it.
bool KeyCounting(int threads, int n, int lead, int type, const void* raw, int** rows_out, int* count_out,
                 void** list_out) {
  KeySummary sum;
  int64_t first_zero = -1;
  if (threads == 1) {
    SummarizeKeys(type, n, raw, &sum);
    first_zero = sum.first_zero;
  } else {
    SetUpSlices(threads, kKeySpan, n, type, ValueTypeWidth(type), raw);
    RunCompileTask(threads);
    const int share = n / threads;
    for (int i = 0; i < threads; ++i) {
      const KeySummary& k = PoolParam<CompileParam>(i)->keys;
      sum.fits &= k.fits;
      sum.nulls += k.nulls;
      sum.min = std::min(sum.min, k.min);
      sum.max = std::max(sum.max, k.max);
      if (first_zero < 0 && k.first_zero >= 0) first_zero = static_cast<int64_t>(i) * share + k.first_zero;
    }
  }
  const int64_t non_null = static_cast<int64_t>(n) - sum.nulls;
  if (sum.fits == 0 || non_null <= 0) return false;
  // Slot 0 is NULL, slot k holds key base + k. The prefix sums run on one thread, so the range is
  // kept near the column's length.
  const uint64_t width_of_range = static_cast<uint64_t>(sum.max) - static_cast<uint64_t>(sum.min);
  if (width_of_range > static_cast<uint64_t>(2 * non_null + 1000) || width_of_range > INT32_MAX - 3)
    return false;
  const auto span = static_cast<int64_t>(width_of_range) + 2;
  const uint64_t base = static_cast<uint64_t>(sum.min) - 1;  // wraps for the least decimal, as slots do

  ZpkBlock<int32_t> slots(static_cast<size_t>(span) + 1);
  MppMemSet(slots.get(), 0, static_cast<long>(sizeof(int32_t) * (static_cast<size_t>(span) + 1)));
  ZpkBlock<int32_t> rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
  if (lead != 0) slots[0] = 1;

  SetUpSlices(threads, kMarkKeys, n, type, ValueTypeWidth(type), raw);
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    p->key_base = base;
    p->slots = slots.get();
  }
  RunCompileTask(threads);

  int32_t* sl = slots.get();
  int32_t total = 0;
  for (int64_t k = 0; k <= span; ++k) {
    const int32_t mark = sl[k];
    sl[k] = total;
    total += mark;
  }

  const int share = n / threads;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    p->mode = kNumberKeys;
    p->rows = rows.get() + lead + static_cast<size_t>(i) * static_cast<size_t>(share);
  }
  RunCompileTask(threads);
  if (lead != 0) rows[0] = 0;  // NULL is the smallest value

  const size_t width = static_cast<size_t>(ValueTypeWidth(type));
  ZpkBlock<unsigned char> list(static_cast<size_t>(total) * width);
  unsigned char* out = list.get();
  if (sl[1] != sl[0]) PutNullEntry(type, out);
  for (int64_t k = 1; k < span; ++k) {
    if (sl[k + 1] == sl[k]) continue;
    const auto key = static_cast<int64_t>(base + static_cast<uint64_t>(k));
    unsigned char* entry = out + width * static_cast<size_t>(sl[k]);
    if (type == 8) {
      const int64_t high = key < 0 ? -1 : 0;
      memcpy(entry, &key, 8);
      memcpy(entry + 8, &high, 8);
    } else {
      const double x = key == 0 ? static_cast<const double*>(raw)[first_zero] : static_cast<double>(key);
      memcpy(entry, &x, 8);
    }
  }
  *rows_out = rows.Release();
  *count_out = total;
  *list_out = list.Release();
  return true;
}

// ---- Sorting a column of many distinct doubles as a whole ----
//
// Slices compiled apart and merged pairwise carry nearly every value through log2(workers)
// merges, on fresh lists each time. A column with about as many values as rows is sorted once
// instead: the splitters of a sample cut the key range into buckets of some thousands of rows,
// each row's (key, element) pair moves to its bucket in one stable pass, and every bucket is then
// sorted and numbered on its own, in cache. Stability keeps the earliest element first in each
// run of equal keys, as the slice sort does.

constexpr int kSampleSize = 1 << 14;
constexpr int kBucketRows = 1 << 13;
constexpr int kMaxBuckets = 1 << 12;        // bucket numbers are kept in 16 bits
constexpr int kWholeSortMinRows = 1 << 18;  // below this the slices' lists are small

using KeyItem = Item<uint64_t>;

struct SamplePlan {
  const double* raw;
  int32_t lead;
  int32_t buckets;            // a power of 2
  const uint64_t* splitters;  // buckets - 1, ascending: bucket b holds the keys with b splitters <= key
  // The sample's key range cut into range_slots slots of 2^range_shift keys: a key of slot e lies in
  // a bucket from slot_low[e] to slot_high[e] (keys below the range in slot 0, above it in the last).
  uint64_t range_low;
  int32_t range_shift;
  int32_t range_slots;
  const uint16_t* slot_low;
  const uint16_t* slot_high;
  uint16_t* bucket_of;  // per element
  uint32_t* counts;     // worker t's row t * buckets + b: its count in bucket b, then its first place
  int32_t threads;
  const uint32_t* bucket_start;  // buckets + 1
  KeyItem* items;
  int32_t* first_number;  // per bucket: its distinct keys, then the value number of its first one
  int32_t* rows;          // the outputs
  double* list;
};

// The key's place in the sample's range finds the one or few buckets it can fall in at once; a
// search over all splitters would cost ten dependent loads a row. Where a slot of the range spans
// several buckets (keys far apart in the sample, as across the sign), the splitters between
// them are searched without branches, since which way each step goes is as good as random.
inline int BucketOf(const SamplePlan& plan, uint64_t key) {
  const uint64_t offset = key - plan.range_low;
  const size_t e =
      key < plan.range_low ? 0 : std::min<uint64_t>(offset >> plan.range_shift, plan.range_slots - 1);
  int b = plan.slot_low[e];
  int span = plan.slot_high[e] - b;  // the answer lies in [b, b + span]
  const uint64_t* s = plan.splitters;
  while (span > 0) {
    const int half = (span + 1) / 2;
    const bool above = s[b + half - 1] <= key;
    b += above ? half : 0;
    span = above ? span - half : half - 1;
  }
  return b;
}

void ClassifySlice(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  const int t = p.header.index;
  uint32_t* counts = plan.counts + static_cast<size_t>(t) * static_cast<size_t>(plan.buckets);
  for (int b = 0; b < plan.buckets; ++b) counts[b] = 0;
  for (int32_t i = p.first; i < p.first + p.n; ++i) {
    const int b = BucketOf(plan, DoubleKeyBits(plan.raw[i]));
    plan.bucket_of[i] = static_cast<uint16_t>(b);
    ++counts[b];
  }
}

void ScatterSlice(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  const int t = p.header.index;
  uint32_t* place = plan.counts + static_cast<size_t>(t) * static_cast<size_t>(plan.buckets);
  for (int32_t i = p.first; i < p.first + p.n; ++i) {
    plan.items[place[plan.bucket_of[i]]++] = KeyItem{DoubleKeyBits(plan.raw[i]), i};
  }
}

void SortBuckets(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  uint32_t largest = 0;
  for (int b = p.bucket_from; b < p.bucket_to; ++b)
    largest = std::max(largest, plan.bucket_start[b + 1] - plan.bucket_start[b]);
  ZpkScratch<KeyItem> spare(std::max<size_t>(largest, 1));
  ZpkBlock<uint32_t> counts(static_cast<size_t>(6) * kRadix);
  for (int b = p.bucket_from; b < p.bucket_to; ++b) {
    const int m = static_cast<int>(plan.bucket_start[b + 1] - plan.bucket_start[b]);
    KeyItem* a = plan.items + plan.bucket_start[b];
    if (m == 0) {
      plan.first_number[b] = 0;
      continue;
    }
    uint64_t varying = 0;
    for (int i = 1; i < m; ++i) varying |= a[i].key ^ a[0].key;
    const int low = varying == 0 ? 0 : LowBit(varying);
    const int digits = varying == 0 ? 0 : (HighBit(varying) - low + kDigitBits - 1) / kDigitBits;
    if (digits > 0) {
      uint32_t* c = counts.get();
      memset(c, 0, sizeof(uint32_t) * kRadix * static_cast<size_t>(digits));
      for (int i = 0; i < m; ++i) {
        uint64_t rest = a[i].key >> low;
        for (int d = 0; d < digits; ++d) {
          ++c[static_cast<size_t>(d) * kRadix + (static_cast<unsigned>(rest) & (kRadix - 1))];
          rest >>= kDigitBits;
        }
      }
      const KeyItem* sorted = RadixSort(a, spare.get(), m, low, digits, c);
      if (sorted != a) memcpy(a, sorted, sizeof(KeyItem) * static_cast<size_t>(m));
    }
    int32_t distinct = 1;
    for (int i = 1; i < m; ++i) distinct += a[i].key != a[i - 1].key ? 1 : 0;
    plan.first_number[b] = distinct;
  }
}

void NumberBuckets(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  int32_t* rows = plan.rows + plan.lead;
  for (int b = p.bucket_from; b < p.bucket_to; ++b) {
    const KeyItem* a = plan.items + plan.bucket_start[b];
    const int m = static_cast<int>(plan.bucket_start[b + 1] - plan.bucket_start[b]);
    int32_t number = plan.first_number[b] - 1;
    for (int i = 0; i < m; ++i) {
      if (i == 0 || a[i].key != a[i - 1].key) {
        ++number;
        // As the slice sort decodes: NaN has the key of minus infinity, and a zero is written as
        // its earliest element holds it.
        const uint64_t key = a[i].key;
        const uint64_t bits = (key & 0x8000000000000000ull) ? (key ^ 0x8000000000000000ull) : ~key;
        double x;
        memcpy(&x, &bits, 8);
        plan.list[number] = x == 0.0 ? plan.raw[a[i].index] : x;
      }
      rows[a[i].index] = number;
    }
  }
}

// Runs one step of the whole sort over the workers' buckets, cut where the rows before them reach
// each worker's share.
void RunBucketStep(int threads, int mode, const SamplePlan& plan, int n) {
  int b = 0;
  for (int t = 0; t < threads; ++t) {
    auto* p = PoolParam<CompileParam>(t);
    p->mode = mode;
    p->plan = &plan;
    p->bucket_from = b;
    const uint32_t up_to = static_cast<uint32_t>(static_cast<int64_t>(n) * (t + 1) / threads);
    if (t == threads - 1) {
      b = plan.buckets;
    } else {
      while (b < plan.buckets && plan.bucket_start[b + 1] <= up_to) ++b;
    }
    p->bucket_to = b;
  }
  RunCompileTask(threads);
}

// Numbers a double column (3..5, 7) of many distinct values by the whole sort; false (nothing
// made) for a column that the sample shows to hold few values, which the slices do better.
bool WholeSortCompile(int threads, int n, int lead, int type, const void* raw, int** rows_out, int* count_out,
                      void** list_out) {
  if (KindOf(type) != 3 || threads < 2 || n < kWholeSortMinRows) return false;
  const auto* v = static_cast<const double*>(raw);
  std::vector<uint64_t> sample(kSampleSize);
  for (int j = 0; j < kSampleSize; ++j)
    sample[static_cast<size_t>(j)] = DoubleKeyBits(v[static_cast<int64_t>(j) * n / kSampleSize]);
  std::sort(sample.begin(), sample.end());
  const int64_t sample_distinct = std::unique(sample.begin(), sample.end()) - sample.begin();
  if (sample_distinct < kSampleSize / 2) return false;
  // The unique pass moved the distinct keys to the front, still ascending.
  int buckets = 2;
  while (buckets * 2 <= std::min(n / kBucketRows, kMaxBuckets)) buckets *= 2;
  std::vector<uint64_t> splitters(static_cast<size_t>(buckets - 1));
  for (int b = 0; b + 1 < buckets; ++b)
    splitters[static_cast<size_t>(b)] = sample[static_cast<size_t>((b + 1) * sample_distinct / buckets)];

  SamplePlan plan{};
  plan.raw = v;
  plan.lead = lead;
  plan.buckets = buckets;
  plan.splitters = splitters.data();
  const uint64_t range_low = sample[0];
  const uint64_t range = sample[static_cast<size_t>(sample_distinct - 1)] - range_low;
  const int slot_bits = std::max(0, HighBit(range) - 16);
  const int slots = static_cast<int>((range >> slot_bits) + 1);
  std::vector<uint16_t> slot_low(static_cast<size_t>(slots));
  std::vector<uint16_t> slot_high(static_cast<size_t>(slots));
  plan.range_low = range_low;
  plan.range_shift = slot_bits;
  plan.range_slots = slots;
  int below = 0;  // splitters <= the slot's first key
  for (int e = 0; e < slots; ++e) {
    const uint64_t first = range_low + (static_cast<uint64_t>(e) << slot_bits);
    const uint64_t last = e == slots - 1 ? UINT64_MAX : first + ((uint64_t{1} << slot_bits) - 1);
    while (below < buckets - 1 && splitters[static_cast<size_t>(below)] <= first) ++below;
    int upto = below;
    while (upto < buckets - 1 && splitters[static_cast<size_t>(upto)] <= last) ++upto;
    slot_low[static_cast<size_t>(e)] = static_cast<uint16_t>(below);
    slot_high[static_cast<size_t>(e)] = static_cast<uint16_t>(upto);
  }
  plan.slot_low = slot_low.data();
  plan.slot_high = slot_high.data();
  plan.threads = threads;
  ZpkScratch<uint16_t> bucket_of(static_cast<size_t>(n));
  plan.bucket_of = bucket_of.get();
  std::vector<uint32_t> counts(static_cast<size_t>(buckets) * static_cast<size_t>(threads));
  plan.counts = counts.data();
  std::vector<uint32_t> bucket_start(static_cast<size_t>(buckets) + 1);
  plan.bucket_start = bucket_start.data();
  std::vector<int32_t> first_number(static_cast<size_t>(buckets));
  plan.first_number = first_number.data();

  SetUpSlices(threads, kSampleClassify, n, type, 8, raw);
  const int share = n / threads;
  for (int t = 0; t < threads; ++t) {
    auto* p = PoolParam<CompileParam>(t);
    p->plan = &plan;
    p->first = t * share;
  }
  RunCompileTask(threads);
  uint32_t place = 0;
  for (size_t b = 0; b < static_cast<size_t>(buckets); ++b) {
    bucket_start[b] = place;
    for (size_t t = 0; t < static_cast<size_t>(threads); ++t) {
      uint32_t& c = counts[t * static_cast<size_t>(buckets) + b];
      const uint32_t here = c;
      c = place;
      place += here;
    }
  }
  bucket_start[static_cast<size_t>(buckets)] = place;

  ZpkScratch<KeyItem> items(static_cast<size_t>(n));
  plan.items = items.get();
  for (int t = 0; t < threads; ++t) PoolParam<CompileParam>(t)->mode = kSampleScatter;
  RunCompileTask(threads);
  RunBucketStep(threads, kSampleSort, plan, n);

  // NULL is the smallest key; the implied NULL element adds an entry unless the column has one.
  const uint64_t null_key = DoubleKeyBits(-std::numeric_limits<double>::infinity());
  const int32_t shift = lead != 0 && items[0].key != null_key ? 1 : 0;
  int64_t total = shift;
  for (int b = 0; b < buckets; ++b) {
    const int32_t distinct = first_number[static_cast<size_t>(b)];
    first_number[static_cast<size_t>(b)] = static_cast<int32_t>(total);
    total += distinct;
  }
  ZpkBlock<int32_t> rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
  ZpkBlock<double> list(static_cast<size_t>(total));
  plan.rows = rows.get();
  plan.list = list.get();
  // The value numbers land at random places: their pages are faulted in on the workers first,
  // where a fault at each first write would make every worker wait on the others' faults.
  MppMemSet(plan.rows, 0,
            static_cast<long>(sizeof(int32_t) * (static_cast<size_t>(n) + static_cast<size_t>(lead))));
  MppMemSet(plan.list, 0, static_cast<long>(sizeof(double) * static_cast<size_t>(total)));
  if (lead != 0) rows[0] = 0;
  if (shift != 0) list[0] = -std::numeric_limits<double>::infinity();
  RunBucketStep(threads, kSampleNumber, plan, n);
  *rows_out = rows.Release();
  *count_out = static_cast<int>(total);
  *list_out = list.Release();
  return true;
}

// The parallel merge itself: a new list (null for identical lists) and the two maps. Changes
// neither list nor any row array.
std::unique_ptr<TBaseArray> MppMergeLists(TBaseArray* list1, TBaseArray* list2, ZpkBlock<int32_t>& map1,
                                          ZpkBlock<int32_t>& map2) {
  const int type = list1->GetDataType();
  if (type != list2->GetDataType() || KindOf(type) != type) throw CQ7Exception(Q7_ERROR_DATA_TYPE_MISMATCH);
  if (CheckSame(list1, list2)) return nullptr;

  const int32_t n1 = list1->FArraySize;
  const int32_t n2 = list2->FArraySize;
  map1.Reset(static_cast<int32_t*>(zpk_malloc(sizeof(int32_t) * static_cast<size_t>(n1))));
  map2.Reset(static_cast<int32_t*>(zpk_malloc(sizeof(int32_t) * static_cast<size_t>(n2))));
  char* area1 = type == 6 ? static_cast<TStrArray*>(list1)->FStrArea : nullptr;
  char* area2 = type == 6 ? static_cast<TStrArray*>(list2)->FStrArea : nullptr;
  void* block = nullptr;
  int count = 0;
  DoMppMerge(list1->FData, list2->FData, n1, n2, type, map1.get(), map2.get(), &block, &count, area1, area2);
  return std::unique_ptr<TBaseArray>(AdoptCompiledList(type, count, block));
}

}  // namespace

// ---- Utilities ----

void* zpk_malloc_t(int type, size_t n) {
  const int width = ValueTypeWidth(type);
  if (width == 0) return nullptr;
  return zpk_malloc(static_cast<size_t>(width) * n);
}

int zpk_strcmp(const char* a, const char* b) {
  if (a == nullptr) return b == nullptr ? 0 : -1;
  if (b == nullptr) return 1;
  return strcmp(a, b);
}

// ---- CMergeItem ----

CMergeItem::CMergeItem() = default;

CMergeItem::CMergeItem(void* data_in, int* map_in, int count_in, int type_in, char* area_in)
    : upper(count_in - 1),
      lower(0),
      count(count_in),
      type(type_in),
      threads(1),
      map(map_in),
      data(data_in),
      area(area_in) {}

CMergeItem::~CMergeItem() {
  zpk_free(ranges);
  zpk_free(uniques);
}

void CMergeItem::set_threads_count(int t) {
  zpk_free(ranges);
  ranges = nullptr;
  zpk_free(uniques);
  uniques = nullptr;
  threads = t;
  ranges = static_cast<int32_t(*)[2]>(zpk_malloc(sizeof(int32_t[2]) * static_cast<size_t>(t + 2)));
  uniques = static_cast<int32_t*>(zpk_malloc(sizeof(int32_t) * static_cast<size_t>(t + 2)));
  for (int r = 0; r < t + 2; ++r) {
    ranges[r][0] = ranges[r][1] = -1;
    uniques[r] = 0;
  }
}

void CMergeItem::set_threads_range() {
  if (lower > 0) {
    ranges[0][0] = 0;
    ranges[0][1] = lower - 1;
  }
  const int len = std::max(0, get_merge_recs()) / threads;
  for (int t = 1; t <= threads; ++t) {
    const int from = lower + (t - 1) * len;
    const int to = t == threads ? upper : from + len - 1;
    if (from <= to) {
      ranges[t][0] = from;
      ranges[t][1] = to;
    }
  }
  if (upper < count - 1) {
    ranges[threads + 1][0] = upper + 1;
    ranges[threads + 1][1] = count - 1;
  }
}

namespace {

template <int K>
int ThreadRangeEnd(const CMergeItem& self, const CMergeItem& other, int bound, int start) {
  return LowerBound<K>(self, start, self.upper + 1, other, bound);
}

}  // namespace

int CMergeItem::set_thread_range(const CMergeItem* other, int bound, int start, int t) {
  int end = upper + 1;
  if (other != nullptr && bound >= 0) {
    switch (KindOf(type)) {
      case 2:
        end = ThreadRangeEnd<2>(*this, *other, bound, start);
        break;
      case 3:
        end = ThreadRangeEnd<3>(*this, *other, bound, start);
        break;
      case 6:
        end = ThreadRangeEnd<6>(*this, *other, bound, start);
        break;
      default:
        end = ThreadRangeEnd<8>(*this, *other, bound, start);
        break;
    }
  }
  if (end > start) {
    ranges[t][0] = start;
    ranges[t][1] = end - 1;
    return end;
  }
  return start;
}

void CMergeItem::set_threads_range(CMergeItem* other) {
  if (lower > 0) {
    ranges[0][0] = 0;
    ranges[0][1] = lower - 1;
  }
  int start = lower;
  for (int t = 1; t <= threads; ++t) {
    // This list's entries below the first entry of the other list's next range belong to slice t;
    // with no next range, all the rest of the overlap does.
    const int32_t* next = other->ranges[t + 1];
    start = set_thread_range(other, RangeEmpty(next) ? -1 : next[0], start, t);
  }
  if (upper < count - 1) {
    ranges[threads + 1][0] = upper + 1;
    ranges[threads + 1][1] = count - 1;
  }
}

void CMergeItem::aggregate(int t) {
  if (RangeEmpty(ranges[t])) return;
  int32_t sum = 0;
  for (int p = ranges[t][0]; p <= ranges[t][1]; ++p) {
    sum += map[p];
    map[p] = sum;
  }
}

void CMergeItem::apply_unique(int r) {
  if (RangeEmpty(ranges[r])) return;
  int32_t offset = 0;
  for (int q = 0; q < r; ++q) offset += uniques[q];
  const int from = ranges[r][0];
  for (int p = from; p <= ranges[r][1]; ++p) map[p] += offset + (p - from);
}

void CMergeItem::apply_unique() {
  for (int r = 0; r < threads + 2; ++r) apply_unique(r);
}

const void* CMergeItem::entry(int p) const {
  if (KindOf(type) == 6) return text(p);
  return static_cast<const char*>(data) + static_cast<size_t>(ValueTypeWidth(type)) * static_cast<size_t>(p);
}

const char* CMergeItem::text(int p) const {
  if (area != nullptr) return area + static_cast<const uint64_t*>(data)[p];
  return static_cast<const char* const*>(data)[p];
}

void CMergeItem::write_entries(int from, int to, void* dest) const {
  switch (KindOf(type)) {
    case 2: {
      const auto* src = static_cast<const int32_t*>(data);
      auto* d = static_cast<int32_t*>(dest);
      for (int p = from; p <= to; ++p) d[map[p]] = src[p];
      break;
    }
    case 3: {
      const auto* src = static_cast<const double*>(data);
      auto* d = static_cast<double*>(dest);
      for (int p = from; p <= to; ++p) d[map[p]] = src[p];
      break;
    }
    case 6: {
      auto* d = static_cast<const char**>(dest);
      for (int p = from; p <= to; ++p) d[map[p]] = text(p);
      break;
    }
    default: {
      const auto* src = static_cast<const unsigned char*>(data);
      auto* d = static_cast<unsigned char*>(dest);
      for (int p = from; p <= to; ++p) {
        memcpy(d + 16 * static_cast<size_t>(map[p]), src + 16 * static_cast<size_t>(p), 16);
      }
      break;
    }
  }
}

void CMergeItem::updateDest(int r, void* dest) {
  if (!RangeEmpty(ranges[r])) write_entries(ranges[r][0], ranges[r][1], dest);
}

void CMergeItem::updateDest(void* dest) {
  if (ranges == nullptr) {
    write_entries(0, count - 1, dest);  // not cut into ranges: the lists did not overlap
    return;
  }
  for (int r = 0; r < threads + 2; ++r) updateDest(r, dest);
}

// ---- Merge and renumber ----

namespace {

// DoMppMerge; with `scratch` given the merged list is a scratch block whose capacity lands there.
void MergeLists(void* list1, void* list2, int count1, int count2, int type, int* map1, int* map2,
                void** merged, int* mergedCount, char* area1, char* area2, size_t* scratch) {
  *merged = nullptr;
  *mergedCount = 0;
  const int kind = KindOf(type);
  if (kind == 0) throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  CMergeItem a(list1, map1, count1, type, kind == 6 ? area1 : nullptr);
  CMergeItem b(list2, map2, count2, type, kind == 6 ? area2 : nullptr);
  if (count1 > 0) memset(map1, 0, sizeof(int32_t) * static_cast<size_t>(count1));
  if (count2 > 0) memset(map2, 0, sizeof(int32_t) * static_cast<size_t>(count2));
  switch (kind) {
    case 2:
      MergeSorted<2>(a, b, type, merged, mergedCount, scratch);
      break;
    case 3:
      MergeSorted<3>(a, b, type, merged, mergedCount, scratch);
      break;
    case 6:
      MergeSorted<6>(a, b, type, merged, mergedCount, scratch);
      break;
    default:
      MergeSorted<8>(a, b, type, merged, mergedCount, scratch);
      break;
  }
}

}  // namespace

void DoMppMerge(void* list1, void* list2, int count1, int count2, int type, int* map1, int* map2,
                void** merged, int* mergedCount, char* area1, char* area2) {
  MergeLists(list1, list2, count1, count2, type, map1, map2, merged, mergedCount, area1, area2, nullptr);
}

namespace {

void RunRenumber(const int32_t* src, int32_t* dst, int n, const int32_t* map) {
  const int threads = CSmpEngine::Instance()->n_threads_for_elements(n);
  if (threads == 1) {
    for (int i = 0; i < n; ++i) dst[i] = map[src[i]];
    return;
  }
  const int share = n / threads;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<RenumberParam>(i);
    const int from = i * share;
    p->map = map;
    p->n = i == threads - 1 ? n - from : share;
    p->src = src + from;
    p->dst = dst + from;
  }
  CSmpEngine::Instance()->run_threads_task(threads, kMppTaskRenumber);
}

void CheckMapCount(int map_count) {
  if (map_count < 1) {
    PutErrorLog("DoMppRenumber", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : pAggrSize");
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
}

}  // namespace

void DoMppRenumber(int* rows, int n, int* map, int mapCount) {
  CheckMapCount(mapCount);
  if (n <= 0 || map[mapCount - 1] == mapCount - 1) return;  // identity: merged maps only grow
  RunRenumber(rows, rows, n, map);
}

void DoMppRenumber(int* src, int* dst, int n, int* map, int mapCount) {
  CheckMapCount(mapCount);
  if (n <= 0) return;
  if (src == nullptr || src == dst) {
    DoMppRenumber(dst, n, map, mapCount);
    return;
  }
  if (map[mapCount - 1] == mapCount - 1) {
    MppMemcpy(dst, src, sizeof(int32_t), static_cast<unsigned long>(n), 0);
    return;
  }
  RunRenumber(src, dst, n, map);
}

int MppAccomodationMain2(int type, int* rows1, void* list1, int nRows1, int count1, int* rows2, void* list2,
                         int nRows2, int count2, int** rows, void** list, int* nRows, int* count) {
  ZpkBlock<int32_t> map1(static_cast<size_t>(std::max(count1, 0)));
  ZpkBlock<int32_t> map2(static_cast<size_t>(std::max(count2, 0)));
  void* merged = nullptr;
  int merged_count = 0;
  DoMppMerge(list1, list2, count1, count2, type, map1.get(), map2.get(), &merged, &merged_count, nullptr,
             nullptr);
  ZpkBlock<unsigned char> merged_hold(static_cast<unsigned char*>(merged));
  const int64_t total_rows = static_cast<int64_t>(nRows1) + nRows2;
  if (total_rows > INT32_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  ZpkBlock<int32_t> new_rows(static_cast<size_t>(total_rows));
  if (nRows1 > 0) DoMppRenumber(rows1, new_rows.get(), nRows1, map1.get(), count1);
  if (nRows2 > 0) DoMppRenumber(rows2, new_rows.get() + nRows1, nRows2, map2.get(), count2);
  *rows = new_rows.Release();
  *nRows = static_cast<int>(total_rows);
  *list = merged_hold.Release();
  *count = merged_count;
  return 0;
}

// ---- Compile ----

namespace {

// MppCompile of `lead` (0 or 1) implicit NULL elements followed by the n elements of raw: the
// outputs cover lead + n elements, and raw is read where it lies.
void CompileColumn(int n, int lead, int type, int width, const void* raw, int** rows, int* count,
                   void** list) {
  // Scratch kept beyond what this compile needed at once goes back to the system, however it ends.
  struct Settle {
    ~Settle() { zpk_scratch_settle(); }
  } settle;
  // Checked here, on the calling thread, so that the workers never meet a bad argument (and never
  // write the error ring). A total past the int range fails the check as the negative count it wraps to.
  const int total = static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(n) + lead));
  CheckCompileArguments(total, type, width);
  if (n == 0) {
    ZpkBlock<int32_t> only(1);
    only[0] = 0;
    ZpkBlock<unsigned char> entry(static_cast<size_t>(width));
    PutNullEntry(type, entry.get());
    *rows = only.Release();
    *count = 1;
    *list = entry.Release();
    return;
  }
  const int threads = CSmpEngine::Instance()->n_threads_for_elements(n);

  if (type == 2) {
    // A dense integer column is numbered by counting, which beats splitting into slices; its
    // passes over the rows still run on all workers.
    _RawIntArrayRangeInfo range;
    if (threads == 1) {
      GetIntRange(n, static_cast<const int*>(raw), &range);
      range.nulls += lead;
      if (CountingPays(total, range)) {
        if (lead == 0) {
          Compile(n, type, width, raw, rows, count, list, &range);
        } else {
          ParallelCounting(1, n, static_cast<const int32_t*>(raw), range, lead, rows, count, list);
        }
        return;
      }
    } else {
      SetUpSlices(threads, kIntRange, n, type, width, raw);
      RunCompileTask(threads);
      range = PoolParam<CompileParam>(0)->range;
      for (int i = 1; i < threads; ++i) {
        const _RawIntArrayRangeInfo& r = PoolParam<CompileParam>(i)->range;
        range.nulls += r.nulls;
        range.min = std::min(range.min, r.min);
        range.max = std::max(range.max, r.max);
      }
      range.nulls += lead;
      if (CountingPays(total, range)) {
        ParallelCounting(threads, n, static_cast<const int32_t*>(raw), range, lead, rows, count, list);
        return;
      }
    }
  }

  if ((KindOf(type) == 3 || type == 8) && KeyCounting(threads, n, lead, type, raw, rows, count, list)) return;
  if (WholeSortCompile(threads, n, lead, type, raw, rows, count, list)) return;

  // Trim once for all slices; the slices then compile the trimmed view as it stands.
  TrimmedTexts trimmed;
  const void* view = raw;
  if (type == 6 && g_cut_last_space != 0) view = trimmed.Prepare(n, static_cast<const char* const*>(raw));

  SliceResults results;
  results.slices.resize(static_cast<size_t>(threads));
  int32_t* out_rows = nullptr;
  if (threads == 1) {
    CCompiler compiler(CCompiler::Trim::kNever);
    SliceResults::Slice& s = results.slices[0];
    compiler.Compile(n, type, width, view, &s.rows, &s.count, &s.list, nullptr);
    if (lead == 0) {
      out_rows = s.rows;
      s.rows = nullptr;
    } else {
      PrependNull(type, s.rows, n, &s.list, &s.count, nullptr);
      ZpkBlock<int32_t> all_rows(static_cast<size_t>(n) + 1);
      all_rows[0] = 0;
      memcpy(all_rows.get() + 1, s.rows, sizeof(int32_t) * static_cast<size_t>(n));
      out_rows = all_rows.Release();
    }
  } else {
    SetUpSlices(threads, kCompileSlice, n, type, width, view);
    PoolParam<CompileParam>(0)->lead = lead;
    RunCompileTask(threads);
    for (int i = 0; i < threads; ++i) {
      auto* p = PoolParam<CompileParam>(i);
      SliceResults::Slice& s = results.slices[static_cast<size_t>(i)];
      s.rows = p->rows;
      s.list = p->list;
      s.rows_cap = p->caps.rows;
      s.list_cap = p->caps.list;
      s.count = s.own_count = p->count;
      s.n_rows = p->n;
      p->rows = nullptr;
      p->list = nullptr;
    }

    // Merge tree in element order: group i takes in group i + step. Merge maps only grow, so a
    // slice's numbers are carried to the group's by composing the maps (sequential reads), and
    // every row is renumbered once at the end.
    for (int step = 1; step < threads; step *= 2) {
      for (int i = 0; i + step < threads; i += 2 * step) {
        SliceResults::Slice& a = results.slices[static_cast<size_t>(i)];
        SliceResults::Slice& b = results.slices[static_cast<size_t>(i + step)];
        OutBlock<int32_t> map1(static_cast<size_t>(a.count), true);
        OutBlock<int32_t> map2(static_cast<size_t>(b.count), true);
        void* merged = nullptr;
        int merged_count = 0;
        // Only the last merge makes the list that the caller keeps; the lists before it are scratch.
        const bool last = 2 * step >= threads;
        size_t merged_cap = 0;
        MergeLists(a.list, b.list, a.count, b.count, type, map1.get(), map2.get(), &merged, &merged_count,
                   nullptr, nullptr, last ? nullptr : &merged_cap);
        zpk_scratch_give(a.list, a.list_cap);
        zpk_scratch_give(b.list, b.list_cap);
        a.list = merged;
        a.list_cap = merged_cap;
        a.count = merged_count;
        b.list = nullptr;
        b.list_cap = 0;
        b.count = 0;
        // Compose. A slice not merged before is a group of its own: it takes the map itself.
        int job = 0;
        const int end = std::min(i + 2 * step, threads);
        for (int q = i; q < end; ++q) {
          SliceResults::Slice& sq = results.slices[static_cast<size_t>(q)];
          OutBlock<int32_t>& side = q < i + step ? map1 : map2;
          if (sq.comp == nullptr) {
            sq.comp = side.Release(&sq.comp_cap);
            continue;
          }
          int32_t* m = side.get();
          auto* p = PoolParam<RenumberParam>(job++);
          p->map = m;
          p->n = sq.own_count;
          p->src = nullptr;
          p->dst = sq.comp;
        }
        if (job > 0) CSmpEngine::Instance()->run_threads_task(job, kMppTaskRenumber);
      }
    }

    ZpkBlock<int32_t> all_rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
    if (lead != 0) all_rows[0] = 0;  // NULL is the smallest value
    int64_t offset = lead;
    for (int q = 0; q < threads; ++q) {
      SliceResults::Slice& sq = results.slices[static_cast<size_t>(q)];
      auto* p = PoolParam<RenumberParam>(q);
      p->map = sq.comp;
      p->n = sq.n_rows;
      p->src = sq.rows;
      p->dst = all_rows.get() + offset;
      offset += sq.n_rows;
    }
    CSmpEngine::Instance()->run_threads_task(threads, kMppTaskRenumber);
    out_rows = all_rows.Release();
  }

  SliceResults::Slice& whole = results.slices[0];
  try {
    if (trimmed.active()) {
      whole.list = trimmed.Relocate(static_cast<const char**>(whole.list), whole.count);
    } else if (type == 6) {
      // Entries are the caller's own text pointers; a null text reads as the empty text.
      auto** texts = static_cast<const char**>(whole.list);
      for (int k = 0; k < whole.count; ++k) {
        if (texts[k] == nullptr) texts[k] = kEmptyText;
      }
    }
  } catch (...) {
    zpk_free(out_rows);
    throw;
  }
  *rows = out_rows;
  *count = whole.count;
  *list = whole.list;
  whole.list = nullptr;
}

}  // namespace

int MppCompile(int n, int type, int width, const void* raw, int** rows, int* count, void** list) {
  CompileColumn(n, 0, type, width, raw, rows, count, list);
  return 0;
}

int MppCompileWithNull(int n, int type, int width, const void* raw, int** rows, int* count, void** list) {
  CompileColumn(n, 1, type, width, raw, rows, count, list);
  return 0;
}

int mpp_compile(void* param) {
  auto* p = static_cast<CompileParam*>(param);
  switch (p->mode) {
    case kIntRange:
      GetIntRange(p->n, static_cast<const int*>(p->raw), &p->range);
      return 0;
    case kMarkSlots: {
      const auto* v = static_cast<const int32_t*>(p->raw);
      // Several workers may mark one slot; they all store the same 1. A slot already marked is
      // only read: storing again would pull its cache line away from every other worker at each
      // element, which on a column of few values costs more than all the rest of the compile.
      for (int32_t i = 0; i < p->n; ++i) {
        std::atomic_ref<int32_t> slot(p->slots[SlotOf(v[i], p->base)]);
        if (slot.load(std::memory_order_relaxed) == 0) slot.store(1, std::memory_order_relaxed);
      }
      return 0;
    }
    case kNumberRows: {
      const auto* v = static_cast<const int32_t*>(p->raw);
      for (int32_t i = 0; i < p->n; ++i) p->rows[i] = p->slots[SlotOf(v[i], p->base)];
      return 0;
    }
    case kKeySpan:
      SummarizeKeys(p->type, p->n, p->raw, &p->keys);
      return 0;
    case kSampleClassify:
      ClassifySlice(*p);
      return 0;
    case kSampleScatter:
      ScatterSlice(*p);
      return 0;
    case kSampleSort:
      try {
        SortBuckets(*p);
      } catch (const CQ7Exception& e) {
        return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
      }
      return 0;
    case kSampleNumber:
      NumberBuckets(*p);
      return 0;
    case kMarkKeys: {
      int32_t* slots = p->slots;
      // As kMarkSlots: read before writing, so that a marked slot's line stays shared.
      ForEachKeySlot(p->type, p->n, p->raw, p->key_base, [slots](int32_t, int32_t slot) {
        std::atomic_ref<int32_t> mark(slots[slot]);
        if (mark.load(std::memory_order_relaxed) == 0) mark.store(1, std::memory_order_relaxed);
      });
      return 0;
    }
    case kNumberKeys: {
      const int32_t* slots = p->slots;
      int32_t* rows = p->rows;
      ForEachKeySlot(p->type, p->n, p->raw, p->key_base,
                     [slots, rows](int32_t i, int32_t slot) { rows[i] = slots[slot]; });
      return 0;
    }
    default:
      break;
  }
  p->rows = nullptr;
  p->list = nullptr;
  p->count = 0;
  p->caps = ScratchCaps{};
  try {
    // The compile's own choice of method (the arguments were checked by the caller, and the texts
    // are trimmed already), but a slice's rows and list die inside the compile, so the numbering
    // paths put them on the scratch pool. A dense integer slice is counted into plain blocks.
    int* rows = nullptr;
    int count = 0;
    void* list = nullptr;
    ScratchCaps caps;
    bool counted = false;
    if (p->type == 2) {
      _RawIntArrayRangeInfo range;
      GetIntRange(p->n, static_cast<const int*>(p->raw), &range);
      if (CountingPays(p->n, range)) {
        CCompiler compiler(CCompiler::Trim::kNever);
        compiler.Compile(p->n, p->type, p->width, p->raw, &rows, &count, &list, &range);
        counted = true;
      }
    }
    if (!counted && p->type == 6) {
      HashCompile(p->n, static_cast<const char* const*>(p->raw), &rows, &count, &list, &caps);
    } else if (!counted) {
      RadixCompile(p->n, p->type, p->raw, &rows, &count, &list, &caps);
    }
    if (p->lead != 0) {
      try {
        PrependNull(p->type, rows, p->n, &list, &count, &caps.list);
      } catch (...) {
        zpk_scratch_give(rows, caps.rows);
        zpk_scratch_give(list, caps.list);
        throw;
      }
    }
    p->rows = rows;
    p->count = count;
    p->list = list;
    p->caps = caps;
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    return static_cast<int>(Q7_ERROR_UNKNOWN);
  }
}

int mpp_merge_list(void* param) {
  try {
    return MergeTask(static_cast<MergeParam*>(param));
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    return static_cast<int>(Q7_ERROR_UNKNOWN);
  }
}

int mpp_renumber(void* param) {
  const auto* p = static_cast<const RenumberParam*>(param);
  const int32_t* src = p->src != nullptr ? p->src : p->dst;
  for (int32_t i = 0; i < p->n; ++i) p->dst[i] = p->map[src[i]];
  return 0;
}

// ---- Two-list merge ----

int MppAccommodationMain(TIntArray* rows1, TBaseArray* list1, TIntArray* rows2, TBaseArray* list2,
                         TBaseArray** merged) {
  *merged = nullptr;
  ZpkBlock<int32_t> map1;
  ZpkBlock<int32_t> map2;
  std::unique_ptr<TBaseArray> list = MppMergeLists(list1, list2, map1, map2);
  if (!list) return 0;
  DoMppRenumber(rows1->PIntAr(), rows1->FArraySize, map1.get(), list1->FArraySize);
  DoMppRenumber(rows2->PIntAr(), rows2->FArraySize, map2.get(), list2->FArraySize);
  *merged = list.release();
  return 1;
}

int MppAccommodateColumns(TIntArray* rows1, TBaseArray** list1, TIntArray* rows2, TBaseArray** list2,
                          int share) {
  ZpkBlock<int32_t> map1;
  ZpkBlock<int32_t> map2;
  std::unique_ptr<TBaseArray> merged = MppMergeLists(*list1, *list2, map1, map2);
  if (!merged) return 0;
  CopyListAttributes(*list1, merged.get());
  std::unique_ptr<TBaseArray> second;
  if (share == 0) {
    second.reset(merged->CopyArray());
    CopyListAttributes(*list1, second.get());
  } else {
    RetainValueList(merged.get());  // two holders: both columns
  }
  // Nothing below can fail but the pool; renumbering allocates nothing.
  DoMppRenumber(rows1->PIntAr(), rows1->FArraySize, map1.get(), (*list1)->FArraySize);
  DoMppRenumber(rows2->PIntAr(), rows2->FArraySize, map2.get(), (*list2)->FArraySize);
  TBaseArray* old1 = *list1;
  TBaseArray* old2 = *list2;
  *list1 = merged.release();
  *list2 = share == 0 ? second.release() : *list1;
  ReleaseValueList(old1);
  ReleaseValueList(old2);
  return 1;
}
