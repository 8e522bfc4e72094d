// The row set: construction from each source, copies, and the views it keeps.
#include "database/TSetArray.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "database/TFilter.h"
#include "database/TSortedSetArray.h"
#include "database/ValueSelection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "kernels/FindPos.h"
#include "kernels/RowFilters.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

TSetArray::TSetArray() = default;

TSetArray::TSetArray(int n, int zero_fill) : TIntArray(n, zero_fill) {}

TSetArray::TSetArray(zpk_fstream& fs, char* name, int id) : TIntArray(fs, name, id) {}

TSetArray::TSetArray(CMemFile* mf, char* name, int id) : TIntArray(mf, name, id) {}

TSetArray::TSetArray(int from_mem_stream) : TIntArray(from_mem_stream) {}

TSetArray::TSetArray(void** cursor, const void* end, char* name, int id) : TIntArray(cursor, end, name, id) {}

TSetArray::~TSetArray() {
  // Each view unregisters itself from this list (and from its filter) as it goes.
  while (!views_.empty()) delete views_.back();
}

TBaseArray* TSetArray::CopyArray() {
  auto copy = std::make_unique<TSetArray>(FArraySize, 0);
  if (FArraySize > 0) memcpy(copy->FData, FData, sizeof(int) * static_cast<size_t>(FArraySize));
  memcpy(copy->FUserArea, FUserArea, kUserAreaSize);
  return copy.release();
}

TBaseArray* TSetArray::MppCopyArray() {
  auto copy = std::make_unique<TSetArray>(FArraySize, 0);
  if (FArraySize > 0) MppMemcpy(copy->FData, FData, sizeof(int), static_cast<unsigned long>(FArraySize), 0);
  memcpy(copy->FUserArea, FUserArea, kUserAreaSize);
  return copy.release();
}

int64_t TSetArray::GetMemSize() const {
  int64_t size = sizeof(TSetArray);
  if (!FNotOwned) size += static_cast<int64_t>(FUnitSize) * FAllocSize;
  for (const TSortedSetArray* view : views_) size += view->GetMemSize();
  size += static_cast<int64_t>(views_.capacity() * sizeof(TSortedSetArray*));
  return size;
}

TSetArray* TSetArray::CopyWithout0() {
  auto copy = NewSearchResult(this, FArraySize);
  int* out = copy->PIntAr();
  const int* in = PIntAr();
  int k = 0;
  for (int i = 0; i < FArraySize; ++i) {
    if (in[i] >= 1) out[k++] = in[i];
  }
  copy->SetArraySize(k);
  return copy.release();
}

TSortedSetArray* TSetArray::GetSortedSet(TFilter* filter) const {
  for (TSortedSetArray* view : views_) {
    if (view->FFilter == filter) return view;
  }
  return nullptr;
}

void TSetArray::RemoveSortedSet(TFilter* filter) { delete GetSortedSet(filter); }

void TSetArray::RegisterSortedSet(TSortedSetArray* view) { views_.push_back(view); }

void TSetArray::UnregisterSortedSet(TSortedSetArray* view) {
  const auto it = std::find(views_.begin(), views_.end(), view);
  if (it != views_.end()) views_.erase(it);
}

// ---- Value search ----

TSetArray* TSetArray::SearchByValue(TFilter* filter, int op, const char* from, const char* to, bool negate) {
  const int mapped = MapSearchCode(filter, op, &negate, "SearchByValue");
  const int code = SearchCode(mapped);
  if (code != Q7_SEARCH_CONTAINS && code != Q7_SEARCH_ENDS_WITH) {
    for (TSortedSetArray* view : views_) {
      if (view->FFilter == filter && view->HasData()) return view->SearchByValue(mapped, from, to, negate);
    }
  }
  ValueSelection sel(this, filter, mapped, from, to, negate, "_searchByValue");
  if (sel.Empty()) return NewSearchResult(this, 0).release();
  return KeepSelectedRows(this, filter, &sel, SearchOnPool(FArraySize)).release();
}

TSetArray* TSetArray::_searchByValue(TFilter* filter, int op, const char* from, const char* to, bool negate) {
  ValueSelection sel(this, filter, op, from, to, negate, "_searchByValue");
  if (sel.Empty()) return NewSearchResult(this, 0).release();
  return KeepSelectedRows(this, filter, &sel, false).release();
}

// ---- Search for a list of values ----

namespace {

template <class List, class V, class Find>
void FlagValues(TBaseArray* vl, int n, const void* values, size_t width, unsigned char* hit, Find find) {
  auto* list = static_cast<List*>(vl);
  for (int i = 0; i < n; ++i) {
    V v;
    memcpy(&v, static_cast<const char*>(values) + width * static_cast<size_t>(i), sizeof(V));
    bool found = false;
    const int p = find(v, list, &found);
    if (found) hit[p] = 1;
  }
}

}  // namespace

TSetArray* TSetArray::SearchByNValues(TFilter* filter, int n, const void* values) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  if (FArraySize == 0 || n == 0) return NewSearchResult(this, 0).release();
  TBaseArray* vl = filter->VL;
  ZpkBlock<unsigned char> hit(static_cast<size_t>(vl->FArraySize) + 1);
  memset(hit.get(), 0, static_cast<size_t>(vl->FArraySize));
  switch (ArrayDataType(vl)) {
    case Q7_TYPE_INTEGER:
      FlagValues<TIntArray, int>(vl, n, values, 4, hit.get(), FindPosInt);
      break;
    case Q7_TYPE_DOUBLE:
      FlagValues<TDoubleArray, double>(vl, n, values, 8, hit.get(), [](double v, TDoubleArray* l, bool* f) {
        return FindPosDouble(NormalizeDoubleBound(v), l, f);
      });
      break;
    case Q7_TYPE_DECIMAL:
      FlagValues<TNumericArray, Numeric>(vl, n, values, 16, hit.get(), FindPosDecimal);
      break;
    case Q7_TYPE_STRING:
      FlagValues<TStrArray, const char*>(
          vl, n, values, sizeof(char*), hit.get(),
          [](const char* v, TStrArray* l, bool* f) { return FindPosStr(v ? v : "", l, f); });
      break;
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
  auto result = NewSearchResult(this, FArraySize);
  MoveRecsForSelection(this, result.get(), filter->PV, hit.get(), vl->FArraySize, SearchOnPool(FArraySize));
  result->AdjustMemArea();
  return result.release();
}
