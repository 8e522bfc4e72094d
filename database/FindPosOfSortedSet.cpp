// Searches in a sorted view: where the run of a view's records holding one value starts and ends.
#include "database/FindPosOfSortedSet.h"

#include <cstring>

#include "database/TFilter.h"
#include "database/TSortedSetArray.h"
#include "values/Numeric.h"
#include "values/TStrArray.h"

namespace {

// Comparators of a list entry (by value number) with the searched value: <0, 0, >0 as the entry
// is below, equal to or above it. Two doubles are equal when neither is below the other.
struct intcomp {
  const int* list;
  int v;
  int operator()(int vn) const { return list[vn] < v ? -1 : (list[vn] > v ? 1 : 0); }
};
struct dblcomp {
  const double* list;
  double v;
  int operator()(int vn) const { return list[vn] < v ? -1 : (v < list[vn] ? 1 : 0); }
};
struct deccomp {
  const Numeric* list;
  Numeric v;
  // Compare's sign is +1 when its first operand is the smaller.
  int operator()(int vn) const { return -q7num::Compare(list[vn], v); }
};
struct strcomp {
  TStrArray* list;
  const char* v;
  int operator()(int vn) const { return strcmp(list->GetPChar(vn), v); }
};

template <class Cmp>
int FindPosOfSortedSet(const Cmp& cmp, TSortedSetArray* view, TFilter* filter, int* end, int* first) {
  const int* rows = view->PIntAr();
  const int* vno = filter->PV->PIntAr();
  const int n = view->FArraySize;
  const int nulls = view->FNullCount;
  auto put = [&](int e, int f) {
    if (end) *end = e;
    if (first) *first = f;
  };
  auto vn_at = [&](int p) { return vno[rows[p]]; };

  if (nulls > 0 && cmp(vn_at(0)) == 0) {
    put(nulls, 0);
    return 0;
  }
  if (n <= nulls) {
    put(n, n);
    return 0;
  }
  int lo = nulls;
  int hi = n;
  int mid = -1;
  while (lo != hi) {
    const int m = lo + (hi - lo) / 2;
    const int c = cmp(vn_at(m));
    if (c == 0) {
      mid = m;
      break;
    }
    if (c > 0) {
      hi = m;
    } else {
      lo = m + 1;
    }
  }
  if (mid < 0) {
    put(hi, hi);
    return 0;
  }
  // The run of the found value number: bisect for its end in (mid, hi) and its start in [lo, mid].
  const int w = vn_at(mid);
  int lo2 = mid + 1;
  int hi2 = hi;
  while (lo2 < hi2) {
    const int m = lo2 + (hi2 - lo2) / 2;
    if (vn_at(m) == w) {
      lo2 = m + 1;
    } else {
      hi2 = m;
    }
  }
  int lo3 = lo;
  int hi3 = mid;
  while (lo3 < hi3) {
    const int m = lo3 + (hi3 - lo3) / 2;
    if (vn_at(m) == w) {
      hi3 = m;
    } else {
      lo3 = m + 1;
    }
  }
  put(lo2, lo3);
  return 0;
}

}  // namespace

int FindPosIntOfSortedSet(int value, TSortedSetArray* view, TFilter* filter, int* end, int* first) {
  return FindPosOfSortedSet(intcomp{static_cast<const int*>(filter->VL->FData), value}, view, filter, end,
                            first);
}

int FindPosDoubleOfSortedSet(double value, TSortedSetArray* view, TFilter* filter, int* end, int* first) {
  return FindPosOfSortedSet(dblcomp{static_cast<const double*>(filter->VL->FData), value}, view, filter, end,
                            first);
}

int FindPosDecimalOfSortedSet(Numeric value, TSortedSetArray* view, TFilter* filter, int* end, int* first) {
  return FindPosOfSortedSet(deccomp{static_cast<const Numeric*>(filter->VL->FData), value}, view, filter, end,
                            first);
}

int FindPosStrOfSortedSet(const char* value, TSortedSetArray* view, TFilter* filter, int* end, int* first) {
  return FindPosOfSortedSet(strcomp{static_cast<TStrArray*>(filter->VL), value}, view, filter, end, first);
}
