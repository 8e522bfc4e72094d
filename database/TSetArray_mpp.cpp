// The parallel value searches of a set: the per-value decision is ValueSelection's, as in the serial
// search; what runs on the worker pool is the per-value text test of middle and right match, the
// lookups of a list of values, and the row collection.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/ValueSelection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "kernels/FindPos.h"
#include "kernels/KernelPool.h"
#include "kernels/RowFilters.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

// A full-list selection seen as runs of value numbers: NULL (entry 0) on its own, then entries
// 1 .. n-1 kept as `outside`, except [lo, hi], kept as `inside`. The operations that become
// value-number ranges give this shape, and a row is then tested by one compare of its value
// number instead of a look-up in a map as long as the value list.
struct RunShape {
  unsigned char null_keep;
  unsigned char inside;
  unsigned char outside;
  int lo;
  int hi;
  bool Keeps(int v) const {
    const unsigned char in_run =
        static_cast<uint32_t>(v - lo) <= static_cast<uint32_t>(hi - lo) ? inside : outside;
    return (v == 0 ? null_keep : in_run) != 0;
  }
};

// Value lists from this many entries are filtered through their runs: below it the map stays in
// the cache and costs no more than the compare.
constexpr int kRunFilterMinValues = 1 << 16;

// The selection's shape, when it has one.
bool ShapeOf(const unsigned char* hit, int n, RunShape* shape) {
  shape->null_keep = hit[0];
  shape->lo = shape->hi = 1;
  const unsigned char u = n > 1 ? hit[1] : 0;
  shape->inside = shape->outside = u;
  // Entries are 0 or 1, so the first entry unlike c is the first equal to c ^ 1.
  auto first_of = [&](int from, unsigned char c) {
    if (from >= n) return n;
    const void* p = memchr(hit + from, c, static_cast<size_t>(n - from));
    return p != nullptr ? static_cast<int>(static_cast<const unsigned char*>(p) - hit) : n;
  };
  const int a = first_of(1, u ^ 1);
  if (a == n) return true;
  const int b = first_of(a, u);
  if (first_of(b, u ^ 1) != n) return false;
  shape->inside = u ^ 1;
  shape->lo = a;
  shape->hi = b - 1;
  return true;
}

// Worker block of task 26: text-test the selection's entries [first, end), or keep the rows at
// set positions [first, end) whose value number the shape keeps (written from out + first).
struct SearchHelperParam {
  MppParamHeader header;
  bool keep_rows;
  ValueSelection* selection;
  int first;
  int end;
  const int* rows;
  const int* vno;
  uint32_t vno_count;
  RunShape shape;
  int* out;
  int kept;
};

int KeepRowsInRuns(const SearchHelperParam& p) {
  // Locals, so that the stores into out (which the compiler cannot tell apart from the block)
  // do not make it read the block again for every row.
  const int* rows = p.rows;
  const int* vno = p.vno;
  const uint32_t vno_count = p.vno_count;
  const RunShape shape = p.shape;
  const int end = p.end;
  int* out = p.out + p.first;
  int kept = 0;
  for (int i = p.first; i < end; ++i) {
    const int row = rows[i];
    // Row numbers outside the value-number array are no records of the filter.
    const uint32_t r = static_cast<uint32_t>(row);
    out[kept] = row;
    kept += (r - 1u < vno_count - 1u && shape.Keeps(vno[r])) ? 1 : 0;
  }
  return kept;
}

// Worker block of task 27: values [first, first + count) of the caller's list.
struct SearchNValuesParam {
  MppParamHeader header;
  const void* values;
  TFilter* filter;
  int count;
  int first;
  unsigned char* hit;
};

// Marks the entries of the values [first, first + count) that the list holds. Two workers may
// mark one entry (a value given twice); each only ever stores 1, and the stores are atomic so that
// they never race.
template <class List, class V, class Find>
void MarkValues(TBaseArray* vl, const void* values, int first, int count, unsigned char* hit, Find find) {
  auto* list = static_cast<List*>(vl);
  const char* base = static_cast<const char*>(values);
  for (int i = first; i < first + count; ++i) {
    V v;
    memcpy(&v, base + sizeof(V) * static_cast<size_t>(i), sizeof(V));
    bool found = false;
    const int p = find(v, list, &found);
    if (found) std::atomic_ref<unsigned char>(hit[p]).store(1, std::memory_order_relaxed);
  }
}

void MarkValueRange(const SearchNValuesParam& p) {
  TBaseArray* vl = p.filter->VL;
  switch (ArrayDataType(vl)) {
    case Q7_TYPE_INTEGER:
      MarkValues<TIntArray, int>(vl, p.values, p.first, p.count, p.hit, FindPosInt);
      break;
    case Q7_TYPE_DOUBLE:
      MarkValues<TDoubleArray, double>(
          vl, p.values, p.first, p.count, p.hit,
          [](double v, TDoubleArray* l, bool* f) { return FindPosDouble(NormalizeDoubleBound(v), l, f); });
      break;
    case Q7_TYPE_DECIMAL:
      MarkValues<TNumericArray, Numeric>(vl, p.values, p.first, p.count, p.hit, FindPosDecimal);
      break;
    case Q7_TYPE_STRING:
      MarkValues<TStrArray, const char*>(
          vl, p.values, p.first, p.count, p.hit,
          [](const char* v, TStrArray* l, bool* f) { return FindPosStr(v ? v : "", l, f); });
      break;
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

// The rows of source whose value number the shape keeps, in source order, into dst (which has
// room for all of them): each worker filters one slice at its own place, then the gaps close.
void KeepRowsInRunsOnPool(TSetArray* source, TSetArray* dst, TFilter* filter, const RunShape& shape) {
  const int n = source->FArraySize;
  int* out = dst->PIntAr();
  const int workers = KernelThreads(n);
  const int slice = n / workers;
  for (int t = 0; t < workers; ++t) {
    auto* p = PoolParam<SearchHelperParam>(t);
    p->keep_rows = true;
    p->rows = source->PIntAr();
    p->vno = filter->PV->PIntAr();
    p->vno_count = static_cast<uint32_t>(filter->PV->FArraySize);
    p->shape = shape;
    p->out = out;
    p->first = t * slice;
    p->end = t == workers - 1 ? n : (t + 1) * slice;
    p->kept = 0;
  }
  RunKernelTask(workers, kMppTaskSearchHelper);
  int total = 0;
  for (int t = 0; t < workers; ++t) {
    const auto* p = PoolParam<SearchHelperParam>(t);
    if (p->kept > 0 && total != p->first) {
      memmove(out + total, out + p->first, sizeof(int) * static_cast<size_t>(p->kept));
    }
    total += p->kept;
  }
  dst->FArraySize = total;
}

}  // namespace

int mpp_search_helper(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<SearchHelperParam*>(param);
    if (p->keep_rows) {
      p->kept = KeepRowsInRuns(*p);
    } else {
      p->selection->MarkTextMatches(p->first, p->end);
    }
    return 0;
  });
}

int mpp_search_nvalues(void* param) {
  return TaskFrame([&] {
    MarkValueRange(*static_cast<SearchNValuesParam*>(param));
    return 0;
  });
}

TSetArray* TSetArray::MppSearchByValue(TFilter* filter, int op, const char* from, const char* to,
                                       bool negate) {
  const int mapped = MapSearchCode(filter, op, &negate, "MppSearchByValue");
  const int code = mapped & 0x7F;
  // Value numbers must be final before they index anything.
  filter->MergeTVL(true);
  if (code != kOpMiddleMatch && code != kOpRightMatch) {
    for (TSortedSetArray* view : SortedSets()) {
      if (view->FFilter == filter && view->HasData()) return view->SearchByValue(mapped, from, to, negate);
    }
  }
  return _MppsearchByValue(filter, mapped, from, to, negate);
}

TSetArray* TSetArray::_MppsearchByValue(TFilter* filter, int op, const char* from, const char* to,
                                        bool negate) {
  ValueSelection sel(this, filter, op, from, to, negate, "_MppsearchByValue");
  if (sel.Empty()) return NewSearchResult(this, 0).release();
  if (sel.NeedsTextTest()) {
    const int n = sel.HitCount();
    const int workers = KernelThreads(n);
    const int chunk = n / workers;
    for (int t = 0; t < workers; ++t) {
      auto* p = PoolParam<SearchHelperParam>(t);
      p->keep_rows = false;
      p->selection = &sel;
      p->first = t * chunk;
      p->end = t == workers - 1 ? n : (t + 1) * chunk;
    }
    RunKernelTask(workers, kMppTaskSearchHelper);
  }
  auto result = NewSearchResult(this, FArraySize);
  RunShape shape{};
  if (!sel.ScopeForm() && !sel.NeedsTextTest() && sel.HitCount() >= kRunFilterMinValues &&
      ShapeOf(sel.Hit(), sel.HitCount(), &shape)) {
    KeepRowsInRunsOnPool(this, result.get(), filter, shape);
  } else if (sel.ScopeForm()) {
    MppMoveRecsForScanScope(this, result.get(), sel.Position(), sel.Hit());
  } else {
    MppMoveRecsForScan(this, result.get(), filter->PV, sel.Hit());
  }
  result->AdjustMemArea();
  return result.release();
}

TSetArray* TSetArray::MppSearchByNValues(TFilter* filter, int n, const void* values) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  return _MppsearchByNValues(filter, n, values);
}

TSetArray* TSetArray::_MppsearchByNValues(TFilter* filter, int n, const void* values) {
  if (n <= 0 || FArraySize == 0) return NewSearchResult(this, 0).release();
  filter->MergeTVL(true);
  const int n_values = filter->VL->FArraySize;
  ZpkBlock<unsigned char> hit(static_cast<size_t>(n_values) + 1);
  memset(hit.get(), 0, static_cast<size_t>(n_values));
  const int workers = n < KernelActiveThreads() ? n : KernelActiveThreads();
  const int chunk = n / workers;
  for (int t = 0; t < workers; ++t) {
    auto* p = PoolParam<SearchNValuesParam>(t);
    p->values = values;
    p->filter = filter;
    p->first = t * chunk;
    p->count = t == workers - 1 ? n - p->first : chunk;
    p->hit = hit.get();
  }
  RunKernelTask(workers, kMppTaskSearchNValues);
  auto result = NewSearchResult(this, FArraySize);
  MppMoveRecsForScan(this, result.get(), filter->PV, hit.get());
  result->AdjustMemArea();
  return result.release();
}
