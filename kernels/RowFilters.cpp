// The searches' row filters: the rows of a set whose value is selected in a byte table.
#include "kernels/RowFilters.h"

#include <cstdint>
#include <cstring>

#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "values/TIntArray.h"

namespace {

enum class Key { kValueMap, kPositionMap, kValueRun, kRowRun };

// What one filter pass reads: the rows, and by `key` the value numbers by record (vno, vno_count)
// looked up in select or compared against run, the selection positions by place in src (index)
// looked up in select, or the record numbers themselves compared against run.
struct FilterSource {
  const int* rows;
  const int* vno;
  uint32_t vno_count;
  const int* index;
  const unsigned char* select;
  ValueRun run;
  Key key;
};

// Filters src positions [first, end) into out[0 ..) and returns how many rows it kept. out may be
// rows + first: each row is written at or before the place it was read from. Every loop reads
// only locals, so that the stores into out (which may alias anything) force no reloads.
int FilterRange(const FilterSource& s, int first, int end, int* out) {
  const int* rows = s.rows;
  const int* vno = s.vno;
  // One unsigned compare keeps the read inside vno: row 0, negative and too large numbers are
  // not records of the filter.
  const uint32_t last_rec = s.vno_count - 1u;
  const int* index = s.index;
  const unsigned char* select = s.select;
  const ValueRun run = s.run;
  int kept = 0;
  switch (s.key) {
    case Key::kPositionMap:
      for (int i = first; i < end; ++i) {
        const int row = rows[i];
        out[kept] = row;
        kept += select[index[i]] != 0 ? 1 : 0;
      }
      break;
    case Key::kValueMap:
      for (int i = first; i < end; ++i) {
        const int row = rows[i];
        const uint32_t r = static_cast<uint32_t>(row);
        if (r - 1u < last_rec && select[vno[r]] != 0) out[kept++] = row;
      }
      break;
    case Key::kValueRun:
      for (int i = first; i < end; ++i) {
        const int row = rows[i];
        const uint32_t r = static_cast<uint32_t>(row);
        out[kept] = row;
        kept += (r - 1u < last_rec && run.Keeps(vno[r])) ? 1 : 0;
      }
      break;
    case Key::kRowRun:
      for (int i = first; i < end; ++i) {
        const int row = rows[i];
        out[kept] = row;
        kept += run.Keeps(row) ? 1 : 0;
      }
      break;
  }
  return kept;
}

// Sizes dst and returns the source of the pass; src's data is read after dst has been sized, as
// the two may be the same array.
FilterSource Prepare(Key key, TIntArray* src, TIntArray* dst, TIntArray* vno, const int* index,
                     const unsigned char* select, const ValueRun& run, int* n) {
  *n = (src != nullptr && src->FData != nullptr && src->FArraySize > 0) ? src->FArraySize : 0;
  dst->SetArraySize(*n);
  FilterSource s{};
  s.rows = *n > 0 ? static_cast<const int*>(src->FData) : nullptr;
  s.index = index;
  s.select = select;
  s.run = run;
  s.key = key;
  if (key == Key::kValueMap || key == Key::kValueRun) {
    const bool usable = vno != nullptr && vno->FData != nullptr && vno->FArraySize > 0;
    s.vno = usable ? static_cast<const int*>(vno->FData) : nullptr;
    // Without value numbers no row is a record of the filter: a count of 1 drops every row.
    s.vno_count = usable ? static_cast<uint32_t>(vno->FArraySize) : 1u;
  }
  return s;
}

void SerialFilter(Key key, TIntArray* src, TIntArray* dst, TIntArray* vno, const int* index,
                  const unsigned char* select, const ValueRun& run = {}) {
  int n = 0;
  const FilterSource s = Prepare(key, src, dst, vno, index, select, run, &n);
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

void ParallelFilter(Key key, TIntArray* src, TIntArray* dst, TIntArray* vno, const int* index,
                    const unsigned char* select, const ValueRun& run = {}) {
  int n = 0;
  const FilterSource s = Prepare(key, src, dst, vno, index, select, run, &n);
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

ValueRun ValueRun::Range(int64_t lo, int64_t hi, bool keep) {
  ValueRun run;
  if (lo < INT32_MIN) lo = INT32_MIN;
  if (hi > INT32_MAX) hi = INT32_MAX;
  run.inside = keep;
  run.outside = !keep;
  if (lo > hi) {
    run.inside = !keep;
    run.lo = 1;
    run.hi = 0;
  } else {
    run.lo = static_cast<int>(lo);
    run.hi = static_cast<int>(hi);
  }
  run.null_keep = (run.lo <= 0 && 0 <= run.hi) ? run.inside : run.outside;
  return run;
}

bool SelectionRun(const unsigned char* select, int n, ValueRun* run) {
  if (select == nullptr || n < 1) return false;
  run->null_keep = select[0] != 0;
  run->lo = 1;
  run->hi = 0;
  const unsigned char u = n > 1 ? select[1] : 0;
  run->inside = run->outside = u != 0;
  // Entries are 0 or 1, so the first entry unlike c is the first equal to c ^ 1.
  auto first_of = [&](int from, unsigned char c) {
    if (from >= n) return n;
    const void* p = memchr(select + from, c, static_cast<size_t>(n - from));
    return p != nullptr ? static_cast<int>(static_cast<const unsigned char*>(p) - select) : n;
  };
  const int a = first_of(1, u ^ 1);
  if (a == n) return true;
  const int b = first_of(a, u);
  if (first_of(b, u ^ 1) != n) return false;
  run->inside = u == 0;
  run->lo = a;
  run->hi = b - 1;
  return true;
}

int mpp_move_rec(void* param) {
  return TaskFrame([&] {
    MoveRecParam* p = static_cast<MoveRecParam*>(param);
    p->kept = FilterRange(p->source, p->first, p->end, p->out + p->first);
    return 0;
  });
}

void MoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select) {
  SerialFilter(Key::kValueMap, src, dst, vno, nullptr, select);
}

void MoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select) {
  SerialFilter(Key::kPositionMap, src, dst, nullptr, index, select);
}

void MppMoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select) {
  ParallelFilter(Key::kValueMap, src, dst, vno, nullptr, select);
}

void MppMoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select) {
  ParallelFilter(Key::kPositionMap, src, dst, nullptr, index, select);
}

void MoveRecsInRun(TIntArray* src, TIntArray* dst, TIntArray* vno, const ValueRun& run) {
  SerialFilter(Key::kValueRun, src, dst, vno, nullptr, nullptr, run);
}

void MppMoveRecsInRun(TIntArray* src, TIntArray* dst, TIntArray* vno, const ValueRun& run) {
  ParallelFilter(Key::kValueRun, src, dst, vno, nullptr, nullptr, run);
}

void MoveRecsByRecNoInRun(TIntArray* src, TIntArray* dst, const ValueRun& run) {
  SerialFilter(Key::kRowRun, src, dst, nullptr, nullptr, nullptr, run);
}

void MppMoveRecsByRecNoInRun(TIntArray* src, TIntArray* dst, const ValueRun& run) {
  ParallelFilter(Key::kRowRun, src, dst, nullptr, nullptr, nullptr, run);
}

void MoveRecsForSelection(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select,
                          int n_select, bool pool) {
  ValueRun run;
  if (SelectionRun(select, n_select, &run)) {
    (pool ? MppMoveRecsInRun : MoveRecsInRun)(src, dst, vno, run);
  } else {
    (pool ? MppMoveRecsForScan : MoveRecsForScan)(src, dst, vno, select);
  }
}
