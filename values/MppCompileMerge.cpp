// The parallel merge of two sorted value lists (CMergeItem, MergeSorted) and the renumbering after it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/CompileSupport.h"
#include "values/MppCompile.h"
#include "values/MppCompileParts.h"
#include "values/TIntArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"

using namespace vlc;                // NOLINT: this folder's own helpers
using namespace mpp_compile_parts;  // NOLINT: the parts of the parallel compile

namespace {

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

}  // namespace

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

namespace mpp_compile_parts {

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

}  // namespace mpp_compile_parts

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

namespace {

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
