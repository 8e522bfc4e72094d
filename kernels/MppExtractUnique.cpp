// Unique rows on the worker pool: the first row of each distinct key.
#include "kernels/MppExtractUnique.h"

#include <cstring>
#include <vector>

#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"

namespace {

bool SameKey(int n_filters, const int* const* vno, int row_a, int row_b) {
  for (int f = 0; f < n_filters; ++f) {
    if (vno[f][row_a] != vno[f][row_b]) return false;
  }
  return true;
}

int Pick(const ExtractUniqueParam& p) {
  const int* sorted = p.sorted;
  int* out = p.out + p.first;
  int kept = 0;
  for (int i = p.first; i < p.end; ++i) {
    // A range's first row is always written: whether it continues the run before the range is for
    // the join to decide, once the neighbour's rows are known.
    if (i == p.first || !SameKey(p.nFilters, p.vno, sorted[i], sorted[i - 1])) out[kept++] = sorted[i];
  }
  return kept;
}

int CountStarts(const ExtractUniqueParam& p) {
  int count = 0;
  for (int i = p.first; i < p.end; ++i) count += p.starts[i] != 0;
  return count;
}

int WriteStarts(const ExtractUniqueParam& p) {
  int* out = p.out + p.offset;
  int kept = 0;
  for (int i = p.first; i < p.end; ++i) {
    if (p.starts[i] != 0) out[kept++] = p.sorted[i];
  }
  return kept;
}

int Mark(const ExtractUniqueParam& p) {
  if (p.starts == nullptr) {
    for (int i = p.first; i < p.end; ++i) p.marks[p.sorted[i]] = 1;
    return p.end - p.first;
  }
  int marked = 0;
  for (int i = p.first; i < p.end; ++i) {
    if (p.starts[i] != 0) {
      p.marks[p.sorted[i]] = 1;
      ++marked;
    }
  }
  return marked;
}

int CountMarked(const ExtractUniqueParam& p) {
  int count = 0;
  for (int i = p.first; i < p.end; ++i) count += p.marks[p.sorted[i]] != 0;
  return count;
}

int WriteMarked(const ExtractUniqueParam& p) {
  int* out = p.out + p.offset;
  int kept = 0;
  for (int i = p.first; i < p.end; ++i) {
    const int row = p.sorted[i];
    if (p.marks[row] != 0) out[kept++] = row;
  }
  return kept;
}

// Splits n positions into equal ranges (the last takes the rest) over the workers n asks for.
int FillRanges(int n, const int* rows, UniqueStep step) {
  const int workers = KernelThreads(n);
  const int chunk = n / workers;
  for (int t = 0; t < workers; ++t) {
    ExtractUniqueParam* p = PoolParam<ExtractUniqueParam>(t);
    p->first = t * chunk;
    p->end = (t == workers - 1) ? n : (t + 1) * chunk;
    p->sorted = rows;
    p->step = step;
    p->kept = 0;
  }
  return workers;
}

// Runs a count step, then the matching write step with each range's output offset; returns the
// total counted.
int CountThenWrite(int workers, UniqueStep write_step, int* out) {
  int total = 0;
  for (int t = 0; t < workers; ++t) {
    ExtractUniqueParam* p = PoolParam<ExtractUniqueParam>(t);
    p->offset = total;
    p->out = out;
    p->step = write_step;
    total += p->kept;
  }
  RunKernelTask(workers, kMppTaskExtractUnique);
  return total;
}

}  // namespace

int mpp_extract_unique(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<ExtractUniqueParam*>(param);
    switch (p->step) {
      case UniqueStep::kPick:
        p->kept = Pick(*p);
        break;
      case UniqueStep::kCountStarts:
        p->kept = CountStarts(*p);
        break;
      case UniqueStep::kWriteStarts:
        p->kept = WriteStarts(*p);
        break;
      case UniqueStep::kMark:
        p->kept = Mark(*p);
        break;
      case UniqueStep::kCountMarked:
        p->kept = CountMarked(*p);
        break;
      case UniqueStep::kWriteMarked:
        p->kept = WriteMarked(*p);
        break;
    }
    return 0;
  });
}

int MppPickUniqueSorted(int n, const int* sorted, int nFilters, const int* const* vno, int* out) {
  if (n < 1) return 0;
  const int workers = FillRanges(n, sorted, UniqueStep::kPick);
  for (int t = 0; t < workers; ++t) {
    ExtractUniqueParam* p = PoolParam<ExtractUniqueParam>(t);
    p->nFilters = nFilters;
    p->out = out;
    p->vno = vno;
  }
  RunKernelTask(workers, kMppTaskExtractUnique);

  int total = PoolParam<ExtractUniqueParam>(0)->kept;
  for (int t = 1; t < workers; ++t) {
    const ExtractUniqueParam* p = PoolParam<ExtractUniqueParam>(t);
    if (p->kept == 0) continue;
    const int* rows = out + p->first;
    int count = p->kept;
    // total >= 1 here: worker 0's range is never empty when a later one holds rows.
    if (SameKey(nFilters, vno, rows[0], out[total - 1])) {
      ++rows;
      --count;
    }
    if (count > 0 && rows != out + total) {
      std::memmove(out + total, rows, sizeof(int) * static_cast<size_t>(count));
    }
    total += count;
  }
  return total;
}

int MppPickRunStarts(int n, const int* sorted, const char* starts, int* out) {
  if (n < 1) return 0;
  const int workers = FillRanges(n, sorted, UniqueStep::kCountStarts);
  for (int t = 0; t < workers; ++t) PoolParam<ExtractUniqueParam>(t)->starts = starts;
  RunKernelTask(workers, kMppTaskExtractUnique);
  return CountThenWrite(workers, UniqueStep::kWriteStarts, out);
}

namespace {

// Marks the n rows (at flagged positions only, with starts) and returns how many it marked.
int MarkRows(int n, const int* rows, const char* starts, unsigned char* marks) {
  if (n < 1) return 0;
  const int workers = FillRanges(n, rows, UniqueStep::kMark);
  for (int t = 0; t < workers; ++t) {
    ExtractUniqueParam* p = PoolParam<ExtractUniqueParam>(t);
    p->starts = starts;
    p->marks = marks;
  }
  RunKernelTask(workers, kMppTaskExtractUnique);
  int total = 0;
  for (int t = 0; t < workers; ++t) total += PoolParam<ExtractUniqueParam>(t)->kept;
  return total;
}

// Writes the marked rows of the set into out in the set's order when there are `expected` of
// them; returns how many there are.
int CollectMarked(int n, const int* set_rows, unsigned char* marks, int expected, int* out) {
  if (n < 1) return 0;
  const int workers = FillRanges(n, set_rows, UniqueStep::kCountMarked);
  for (int t = 0; t < workers; ++t) PoolParam<ExtractUniqueParam>(t)->marks = marks;
  RunKernelTask(workers, kMppTaskExtractUnique);
  int total = 0;
  for (int t = 0; t < workers; ++t) total += PoolParam<ExtractUniqueParam>(t)->kept;
  if (total != expected) return total;
  return CountThenWrite(workers, UniqueStep::kWriteMarked, out);
}

}  // namespace

int MppKeepSetOrder(int n, const int* set_rows, int picked, const int* kept, unsigned char* marks, int* out) {
  MarkRows(picked, kept, nullptr, marks);
  return CollectMarked(n, set_rows, marks, picked, out);
}

int MppKeepSetOrderOfRunStarts(int n, const int* set_rows, const int* sorted, const char* starts,
                               unsigned char* marks, int* out, int* runs) {
  *runs = MarkRows(n, sorted, starts, marks);
  return CollectMarked(n, set_rows, marks, *runs, out);
}
