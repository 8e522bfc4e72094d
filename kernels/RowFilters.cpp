#include "kernels/RowFilters.h"

#include <cstdint>
#include <cstring>

#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "values/TIntArray.h"

namespace {

// What one filter pass reads: the value numbers by record (vno, vno_count), or with by_position
// set the selection positions by place in src (index).
struct FilterSource {
  const int* rows;
  const int* vno;
  uint32_t vno_count;
  const int* index;
  const unsigned char* select;
  bool by_position;
};

// Filters src positions [first, end) into out[0 ..) and returns how many rows it kept. out may be
// rows + first: each row is written at or before the place it was read from.
int FilterRange(const FilterSource& s, int first, int end, int* out) {
  int kept = 0;
  if (s.by_position) {
    for (int i = first; i < end; ++i) {
      const int row = s.rows[i];
      out[kept] = row;
      kept += s.select[s.index[i]] != 0 ? 1 : 0;
    }
  } else {
    for (int i = first; i < end; ++i) {
      const int row = s.rows[i];
      // One unsigned compare keeps the read inside vno: row 0, negative and too large numbers
      // are not records of the filter.
      const uint32_t r = static_cast<uint32_t>(row);
      if (r - 1u < s.vno_count - 1u && s.select[s.vno[r]] != 0) out[kept++] = row;
    }
  }
  return kept;
}

// Sizes dst and returns the source of the pass; src's data is read after dst has been sized, as
// the two may be the same array.
FilterSource Prepare(bool by_position, TIntArray* src, TIntArray* dst, TIntArray* vno, const int* index,
                     const unsigned char* select, int* n) {
  *n = (src != nullptr && src->FData != nullptr && src->FArraySize > 0) ? src->FArraySize : 0;
  dst->SetArraySize(*n);
  FilterSource s{};
  s.rows = *n > 0 ? static_cast<const int*>(src->FData) : nullptr;
  s.index = index;
  s.select = select;
  s.by_position = by_position;
  if (!by_position) {
    const bool usable = vno != nullptr && vno->FData != nullptr && vno->FArraySize > 0;
    s.vno = usable ? static_cast<const int*>(vno->FData) : nullptr;
    // Without value numbers no row is a record of the filter: a count of 1 drops every row.
    s.vno_count = usable ? static_cast<uint32_t>(vno->FArraySize) : 1u;
  }
  return s;
}

void SerialFilter(bool by_position, TIntArray* src, TIntArray* dst, TIntArray* vno, const int* index,
                  const unsigned char* select) {
  int n = 0;
  const FilterSource s = Prepare(by_position, src, dst, vno, index, select, &n);
  dst->FArraySize = n > 0 ? FilterRange(s, 0, n, dst->PIntAr()) : 0;
}

// Worker parameter block of task 23.
struct MoveRecParam {
  MppParamHeader header;
  FilterSource source;
  int* out;  // dst's data: the worker writes from out + first on
  int first;
  int end;
  int kept;  // set by the worker
};

void ParallelFilter(bool by_position, TIntArray* src, TIntArray* dst, TIntArray* vno, const int* index,
                    const unsigned char* select) {
  int n = 0;
  const FilterSource s = Prepare(by_position, src, dst, vno, index, select, &n);
  if (n == 0) {
    dst->FArraySize = 0;
    return;
  }
  int* out = dst->PIntAr();
  const int workers = KernelThreads(n);
  const int slice = n / workers;
  for (int t = 0; t < workers; ++t) {
    MoveRecParam* p = PoolParam<MoveRecParam>(t);
    p->source = s;
    p->out = out;
    p->first = t * slice;
    p->end = (t == workers - 1) ? n : (t + 1) * slice;
    p->kept = 0;
  }
  RunKernelTask(workers, kMppTaskMoveRec);
  int total = PoolParam<MoveRecParam>(0)->kept;
  for (int t = 1; t < workers; ++t) {
    const MoveRecParam* p = PoolParam<MoveRecParam>(t);
    if (p->kept > 0 && total != p->first) {
      std::memmove(out + total, out + p->first, sizeof(int) * static_cast<size_t>(p->kept));
    }
    total += p->kept;
  }
  dst->FArraySize = total;
}

}  // namespace

int mpp_move_rec(void* param) {
  return TaskFrame([&] {
    MoveRecParam* p = static_cast<MoveRecParam*>(param);
    p->kept = FilterRange(p->source, p->first, p->end, p->out + p->first);
    return 0;
  });
}

void MoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select) {
  SerialFilter(false, src, dst, vno, nullptr, select);
}

void MoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select) {
  SerialFilter(true, src, dst, nullptr, index, select);
}

void MppMoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select) {
  ParallelFilter(false, src, dst, vno, nullptr, select);
}

void MppMoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select) {
  ParallelFilter(true, src, dst, nullptr, index, select);
}
