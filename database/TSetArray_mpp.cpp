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

// Worker block of task 26: text-test the selection's entries [first, end).
struct SearchHelperParam {
  MppParamHeader header;
  ValueSelection* selection;
  int first;
  int end;
};

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

}  // namespace

int mpp_search_helper(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<SearchHelperParam*>(param);
    p->selection->MarkTextMatches(p->first, p->end);
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
  const int code = SearchCode(mapped);
  if (code != Q7_SEARCH_CONTAINS && code != Q7_SEARCH_ENDS_WITH) {
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
  return KeepSelectedRows(this, filter, &sel, true).release();
}

std::unique_ptr<TSetArray> KeepSelectedRows(TSetArray* set, TFilter* filter, ValueSelection* sel, bool pool) {
  if (sel->NeedsTextTest()) {
    const int n = sel->HitCount();
    if (pool) {
      const int workers = KernelThreads(n);
      const int chunk = n / workers;
      for (int t = 0; t < workers; ++t) {
        auto* p = PoolParam<SearchHelperParam>(t);
        p->selection = sel;
        p->first = t * chunk;
        p->end = t == workers - 1 ? n : (t + 1) * chunk;
      }
      RunKernelTask(workers, kMppTaskSearchHelper);
    } else {
      sel->MarkTextMatches(0, n);
    }
  }
  auto result = NewSearchResult(set, set->FArraySize);
  if (sel->RunForm()) {
    (pool ? MppMoveRecsInRun : MoveRecsInRun)(set, result.get(), filter->PV, sel->Run());
  } else if (sel->ScopeForm()) {
    (pool ? MppMoveRecsForScanScope : MoveRecsForScanScope)(set, result.get(), sel->Position(), sel->Hit());
  } else {
    MoveRecsForSelection(set, result.get(), filter->PV, sel->Hit(), sel->HitCount(), pool);
  }
  result->AdjustMemArea();
  return result;
}

TSetArray* TSetArray::MppSearchByNValues(TFilter* filter, int n, const void* values) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  return _MppsearchByNValues(filter, n, values);
}

TSetArray* TSetArray::_MppsearchByNValues(TFilter* filter, int n, const void* values) {
  if (n <= 0 || FArraySize == 0) return NewSearchResult(this, 0).release();
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
  MoveRecsForSelection(this, result.get(), filter->PV, hit.get(), n_values, true);
  result->AdjustMemArea();
  return result.release();
}
