// The join's integer kernels: dropping or collecting the rows of one side without a partner.
#include "join/JoinRecordKernels.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "join/JoinKeyMerge.h"
#include "kernels/KernelPool.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int64_t kMaxJoinedRows = INT32_MAX;

[[noreturn]] void RefuseNullCutOut(const char* log_name) {
  if (log_name != nullptr)
    PutErrorLog(log_name, Q7_ERROR_INVALID_CUTOUT_SET, "Invalid Parameter : CutOutSet");
  throw CQ7Exception(Q7_ERROR_INVALID_CUTOUT_SET);
}

// The value number of a row, never read from outside the array.
inline int ValueOf(const int* vno, int vno_count, int row) {
  if (static_cast<uint32_t>(row) >= static_cast<uint32_t>(vno_count)) {
    throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  }
  return vno[row];
}

// The same, for indexing a flag table of n_values entries.
inline int FlagIndexOf(const int* vno, int vno_count, int row, int n_values) {
  const int v = ValueOf(vno, vno_count, row);
  if (static_cast<uint32_t>(v) >= static_cast<uint32_t>(n_values))
    throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  return v;
}

void CutSerial(const char* log_name, bool cut, TIntArray* partner_rows, TIntArray* partner_vnos, int nValues,
               TIntArray* rows, TIntArray* vno, TIntArray* cut_out) {
  if (cut_out == nullptr) RefuseNullCutOut(log_name);
  const int n_flags = nValues > 0 ? nValues : 0;
  ZpkBlock<unsigned char> flags(static_cast<size_t>(n_flags));
  std::memset(flags.get(), 0, static_cast<size_t>(n_flags));

  const int* partner = partner_rows->PIntAr();
  const int* partner_vno = partner_vnos->PIntAr();
  for (int i = 0; i < partner_rows->FArraySize; ++i) {
    flags[FlagIndexOf(partner_vno, partner_vnos->FArraySize, partner[i], n_flags)] = 1;
  }

  const int n = rows->FArraySize;
  cut_out->SetArraySize(n);
  int* row_data = rows->PIntAr();
  int* out = cut_out->PIntAr();
  const int* row_vno = vno->PIntAr();
  int kept = 0;
  int cut_count = 0;
  for (int i = 0; i < n; ++i) {
    const int row = row_data[i];
    if (flags[FlagIndexOf(row_vno, vno->FArraySize, row, n_flags)] != 0) {
      // Rows before the first cut stay where they are; the list may be large and mostly kept.
      if (cut && kept != i) row_data[kept] = row;
      ++kept;
    } else {
      out[cut_count++] = row;
    }
  }
  if (cut) rows->SetArraySize(kept);
  cut_out->SetArraySize(cut_count);
  cut_out->AdjustMemArea();
}

// ---- Task 32: one bitmap of the values of a chunk of partner rows ----

struct FlagSetParam {
  MppParamHeader header;
  int start;
  int end;
  const int* partnerRows;
  const int* partnerVno;
  int vnoCount;
  int nValues;
  uint32_t* bitmap;  // set by the worker; the driver frees it
};

inline size_t BitmapWords(int n_values) { return static_cast<size_t>(n_values) / 32 + 1; }

// Frees the bitmaps the workers of a task-32 run left in their blocks, however the run ended.
class WorkerBitmaps {
 public:
  explicit WorkerBitmaps(int workers) : workers_(workers) {
    for (int t = 0; t < workers_; ++t) PoolParam<FlagSetParam>(t)->bitmap = nullptr;
  }
  ~WorkerBitmaps() {
    for (int t = 0; t < workers_; ++t) {
      FlagSetParam* p = PoolParam<FlagSetParam>(t);
      zpk_free(p->bitmap);
      p->bitmap = nullptr;
    }
  }
  WorkerBitmaps(const WorkerBitmaps&) = delete;
  WorkerBitmaps& operator=(const WorkerBitmaps&) = delete;

  // ORs every worker's bitmap into worker 0's and hands that one over.
  uint32_t* Merge(size_t words) {
    FlagSetParam* first = PoolParam<FlagSetParam>(0);
    for (int t = 1; t < workers_; ++t) {
      FlagSetParam* p = PoolParam<FlagSetParam>(t);
      for (size_t w = 0; w < words; ++w) first->bitmap[w] |= p->bitmap[w];
      zpk_free(p->bitmap);
      p->bitmap = nullptr;
    }
    uint32_t* merged = first->bitmap;
    first->bitmap = nullptr;
    return merged;
  }

 private:
  int workers_;
};

// ---- Task 33: one chunk of rows split by the bitmap ----

struct JoinCutParam {
  MppParamHeader header;
  int start;
  int end;
  const uint32_t* bitmap;
  int* rows;
  int* cutOut;
  const int* vno;
  int vnoCount;
  int nValues;
  int mode;  // non-zero: kept rows are compacted in rows
  int kept;  // out
  int cut;   // out
};

// ---- Task 63: partner counts of a chunk of driving rows ----

struct JoinSetupAggrParam {
  MppParamHeader header;
  int start;
  int end;
  const int* partnerCount;
  int* out;
  const int* vno;
  int vnoCount;
  const int* rows;
  int mode;        // 0: each row's first joined row into out, counted from start on as if every
                   // row before the chunk had one partner, the chunk's partner total into sum;
                   // 1: shift added to out[start, end); 2: as 0 for the rows with partners,
                   // compacted at the chunk's start in rows and out, the others into cutOut
  int64_t sum;     // modes 0 and 2: the chunk's total
  uint32_t shift;  // mode 1, modulo 2^32: the true offset of the chunk minus start
  int nValues;     // mode 2: the length of partnerCount
  int* rowsOut;    // mode 2: the kept rows, compacted (in place where rows is rowsOut)
  int* cutOut;     // mode 2: from the chunk's start on
  int kept;        // mode 2, out
  int cut;         // mode 2, out
};

// ---- Task 64: run starts over a chunk of sorted rows ----

struct JoinUniqueParam {
  MppParamHeader header;
  int start;
  int end;
  int keyCount;
  int** keys;
  const int* sortedRows;
  int* flags;
  int runs;  // out
};

bool SameTuple(int key_count, int** keys, int row_a, int row_b) {
  return CompArea(key_count, row_a, keys, row_b, keys) == 0;
}

// Worker t's chunk of n elements over `workers`: equal chunks, the last one running to the end.
inline void ChunkOf(int t, int workers, int n, int* start, int* end) {
  const int chunk = n / workers;
  *start = t * chunk;
  *end = (t == workers - 1) ? n : (t + 1) * chunk;
}

// Only the bits of the rows' own values are ever read from the partners' bitmap. When the rows are
// few and the partners many (a dimension cut against a fact table), those few values are as a rule
// all met within the partners' first rows: the scan stops there, and the bits of every other value
// stay 0, which nothing reads. Returns false, with bitmap untouched, when the values were not all
// met within the first kEarlyRows partner rows; the whole pass then runs as before.
bool FlagFewValuesEarly(TIntArray* partner_rows, TIntArray* partner_vnos, int n_values, TIntArray* rows,
                        TIntArray* vno, ZpkBlock<uint32_t>* bitmap) {
  constexpr int kEarlyRows = 1 << 16;
  const int pn = partner_rows->FArraySize;
  const int n = rows->FArraySize;
  if (pn < 4 * kEarlyRows || n > pn / 64) return false;
  const size_t words = BitmapWords(n_values);
  ZpkBlock<uint32_t> wanted(words);
  std::memset(wanted.get(), 0, words * sizeof(uint32_t));
  const int* row_data = rows->PIntAr();
  int left = 0;
  for (int i = 0; i < n; ++i) {
    const int v = FlagIndexOf(vno->PIntAr(), vno->FArraySize, row_data[i], n_values);
    const uint32_t bit = uint32_t{1} << (v & 31);
    if ((wanted[v >> 5] & bit) == 0) {
      wanted[v >> 5] |= bit;
      ++left;
    }
  }
  ZpkBlock<uint32_t> found(words);
  std::memset(found.get(), 0, words * sizeof(uint32_t));
  const int* partner = partner_rows->PIntAr();
  const int* partner_vno = partner_vnos->PIntAr();
  const int scan = pn < kEarlyRows ? pn : kEarlyRows;
  for (int i = 0; i < scan && left > 0; ++i) {
    const int v = FlagIndexOf(partner_vno, partner_vnos->FArraySize, partner[i], n_values);
    const uint32_t bit = uint32_t{1} << (v & 31);
    if ((wanted[v >> 5] & bit) != 0 && (found[v >> 5] & bit) == 0) {
      found[v >> 5] |= bit;
      --left;
    }
  }
  if (left > 0) return false;
  *bitmap = std::move(found);
  return true;
}

void CutParallel(bool cut, TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                 TIntArray* vno, TIntArray* cut_out) {
  if (cut_out == nullptr) RefuseNullCutOut(nullptr);
  const int n_values = nValues > 0 ? nValues : 0;
  const size_t words = BitmapWords(n_values);

  ZpkBlock<uint32_t> bitmap;
  if (!FlagFewValuesEarly(partner_rows, partner_vnos, n_values, rows, vno, &bitmap)) {
    const int pn = partner_rows->FArraySize;
    const int workers = KernelThreads(pn);
    WorkerBitmaps bitmaps(workers);
    for (int t = 0; t < workers; ++t) {
      FlagSetParam* p = PoolParam<FlagSetParam>(t);
      ChunkOf(t, workers, pn, &p->start, &p->end);
      p->partnerRows = partner_rows->PIntAr();
      p->partnerVno = partner_vnos->PIntAr();
      p->vnoCount = partner_vnos->FArraySize;
      p->nValues = n_values;
    }
    RunKernelTask(workers, kMppTaskFlagSet);
    bitmap.Reset(bitmaps.Merge(words));
  }

  const int n = rows->FArraySize;
  cut_out->SetArraySize(n);
  const int workers = KernelThreads(n);
  for (int t = 0; t < workers; ++t) {
    JoinCutParam* p = PoolParam<JoinCutParam>(t);
    ChunkOf(t, workers, n, &p->start, &p->end);
    p->bitmap = bitmap.get();
    p->rows = rows->PIntAr();
    p->cutOut = cut_out->PIntAr();
    p->vno = vno->PIntAr();
    p->vnoCount = vno->FArraySize;
    p->nValues = n_values;
    p->mode = cut ? 1 : 0;
    p->kept = 0;
    p->cut = 0;
  }
  RunKernelTask(workers, kMppTaskJoinCutUnuse);

  // Each worker wrote from its own chunk start; pulling the chunks together in worker order gives
  // the serial order.
  int* row_data = rows->PIntAr();
  int* out = cut_out->PIntAr();
  int kept = 0;
  int cut_count = 0;
  for (int t = 0; t < workers; ++t) {
    const JoinCutParam* p = PoolParam<JoinCutParam>(t);
    if (cut && p->kept > 0 && kept != p->start) {
      std::memmove(row_data + kept, row_data + p->start, sizeof(int) * static_cast<size_t>(p->kept));
    }
    if (p->cut > 0 && cut_count != p->start) {
      std::memmove(out + cut_count, out + p->start, sizeof(int) * static_cast<size_t>(p->cut));
    }
    kept += p->kept;
    cut_count += p->cut;
  }
  if (cut) rows->SetArraySize(kept);
  cut_out->SetArraySize(cut_count);
  cut_out->AdjustMemArea();
}

[[noreturn]] void ThrowJoinOverflow(bool parallel) {
  if (parallel) {
    std::fputs("Q7_ERROR_OVERFLOW_JOIN \n", stdout);
  } else {
    PutErrorLog("SetupMainN", Q7_ERROR_OVERFLOW_JOIN, "JoinTable size overflow");
  }
  throw CQ7Exception(Q7_ERROR_OVERFLOW_JOIN);
}

// After a task-63 pass of mode 0 or 2: each chunk's starts were counted from the chunk's start as if
// every row before it had one partner. Sets up the mode-1 pass that shifts each chunk to its true
// offset, over the chunk's kept rows (kept: mode 2) or all its rows; a chunk whose rows before it
// did have one partner each is left alone, so a join where every row has exactly one partner needs
// no second pass. Leaves the whole total in the last worker's sum and returns whether any chunk
// must move. The counts are never negative, so a running total passes the limit only if the whole
// does: it is checked before any start is shifted.
bool ShiftChunkStarts(int workers, bool kept) {
  int64_t offset = 0;
  bool any = false;
  for (int t = 0; t < workers; ++t) {
    JoinSetupAggrParam* p = PoolParam<JoinSetupAggrParam>(t);
    const int rows = kept ? p->kept : p->end - p->start;
    p->mode = 1;
    p->shift = static_cast<uint32_t>(offset - p->start);
    p->end = p->shift != 0 ? p->start + rows : p->start;
    any = any || p->end > p->start;
    offset += p->sum;
    p->sum = offset;
    if (offset > kMaxJoinedRows) ThrowJoinOverflow(true);
  }
  return any;
}

}  // namespace

int mpp_flag_set(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<FlagSetParam*>(param);
    const size_t words = BitmapWords(p->nValues);
    auto* bitmap = static_cast<uint32_t*>(zpk_malloc(words * sizeof(uint32_t)));
    std::memset(bitmap, 0, words * sizeof(uint32_t));
    p->bitmap = bitmap;
    for (int i = p->start; i < p->end; ++i) {
      const int v = FlagIndexOf(p->partnerVno, p->vnoCount, p->partnerRows[i], p->nValues);
      bitmap[v >> 5] |= uint32_t{1} << (v & 31);
    }
    return 0;
  });
}

int mpp_join_cutunuse(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinCutParam*>(param);
    int* kept_at = p->rows + p->start;
    int* cut_at = p->cutOut + p->start;
    int kept = 0;
    int cut = 0;
    for (int i = p->start; i < p->end; ++i) {
      const int row = p->rows[i];
      const int v = FlagIndexOf(p->vno, p->vnoCount, row, p->nValues);
      if ((p->bitmap[v >> 5] >> (v & 31)) & 1u) {
        if (p->mode != 0 && p->start + kept != i) kept_at[kept] = row;
        ++kept;
      } else {
        cut_at[cut++] = row;
      }
    }
    p->kept = kept;
    p->cut = cut;
    return 0;
  });
}

int mpp_join_setup_aggr(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinSetupAggrParam*>(param);
    // The block's fields are read into locals once: the stores below could otherwise alias them
    // and have them read again for every row.
    const int start = p->start;
    const int end = p->end;
    const int* rows = p->rows;
    const int* vno = p->vno;
    const int vno_count = p->vnoCount;
    const int* partner_count = p->partnerCount;
    int* out = p->out;
    if (p->mode == 2) {
      const int n_values = p->nValues;
      const bool in_place = p->rowsOut == rows;
      int* kept_at = p->rowsOut + start;
      int* starts_at = out + start;
      int* cut_at = p->cutOut + start;
      int kept = 0;
      int cut = 0;
      // Running totals modulo 2^32: the shift added later makes each the true start, which the
      // caller has checked fits an int.
      uint32_t at = static_cast<uint32_t>(start);
      int64_t sum = 0;
      for (int i = start; i < end; ++i) {
        const int row = rows[i];
        const int c = partner_count[FlagIndexOf(vno, vno_count, row, n_values)];
        if (c > 0) {
          // In place, the rows before the first cut already stand where they are kept.
          if (!in_place || start + kept != i) kept_at[kept] = row;
          starts_at[kept++] = static_cast<int>(at);
          at += static_cast<uint32_t>(c);
          sum += c;
        } else {
          cut_at[cut++] = row;
        }
      }
      p->kept = kept;
      p->cut = cut;
      p->sum = sum;
    } else if (p->mode == 0) {
      uint32_t at = static_cast<uint32_t>(start);
      int64_t sum = 0;
      for (int i = start; i < end; ++i) {
        const int c = partner_count[ValueOf(vno, vno_count, rows[i])];
        out[i] = static_cast<int>(at);
        at += static_cast<uint32_t>(c);
        sum += c;
      }
      p->sum = sum;
    } else {
      const uint32_t shift = p->shift;
      for (int i = start; i < end; ++i) out[i] = static_cast<int>(static_cast<uint32_t>(out[i]) + shift);
    }
    return 0;
  });
}

int mpp_join_unique(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinUniqueParam*>(param);
    if (p->start >= p->end) {
      p->runs = 0;
      return 0;
    }
    p->flags[p->start] = 1;
    int runs = 1;
    for (int i = p->start + 1; i < p->end; ++i) {
      const bool starts_run = !SameTuple(p->keyCount, p->keys, p->sortedRows[i], p->sortedRows[i - 1]);
      p->flags[i] = starts_run ? 1 : 0;
      runs += starts_run ? 1 : 0;
    }
    p->runs = runs;
    return 0;
  });
}

void CutUnUsedJoinRec(TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                      TIntArray* vno, TIntArray* cut_out) {
  CutSerial("CutUnUsedJoinRec", true, partner_rows, partner_vnos, nValues, rows, vno, cut_out);
}

void ExtractUnUsedJoinRec(TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                          TIntArray* vno, TIntArray* cut_out) {
  CutSerial("ExtractUnUsedJoinRec", false, partner_rows, partner_vnos, nValues, rows, vno, cut_out);
}

void MppCutUnUsedJoinRec(TIntArray* partner_rows, TIntArray* partner_vnos, int nValues, TIntArray* rows,
                         TIntArray* vno, TIntArray* cut_out) {
  CutParallel(true, partner_rows, partner_vnos, nValues, rows, vno, cut_out);
}

void MppExtractJoinHitAndNonHitRecs(int mode, TIntArray* partner_rows, TIntArray* partner_vnos, int nValues,
                                    TIntArray* rows, TIntArray* vno, TIntArray* cut_out) {
  CutParallel(mode != 0, partner_rows, partner_vnos, nValues, rows, vno, cut_out);
}

void SetupMainN(TIntArray* rows, TIntArray* vno, const int* partner_count, int* starts, int* total) {
  const int n = rows->FArraySize;
  const int* row_data = rows->PIntAr();
  const int* row_vno = vno->PIntAr();
  // 64 bits, so that a total past the int range is seen rather than wrapped.
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) {
    const int c = partner_count[ValueOf(row_vno, vno->FArraySize, row_data[i])];
    starts[i] = static_cast<int>(sum);
    sum += c;
    if (sum > kMaxJoinedRows) ThrowJoinOverflow(false);
  }
  *total = static_cast<int>(sum);
}

void MppSetupMainN(TIntArray* rows, TIntArray* vno, const int* partner_count, int* starts, int* total) {
  const int n = rows->FArraySize;
  const int workers = KernelThreads(n);
  for (int t = 0; t < workers; ++t) {
    JoinSetupAggrParam* p = PoolParam<JoinSetupAggrParam>(t);
    ChunkOf(t, workers, n, &p->start, &p->end);
    p->partnerCount = partner_count;
    p->out = starts;
    p->vno = vno->PIntAr();
    p->vnoCount = vno->FArraySize;
    p->rows = rows->PIntAr();
    p->mode = 0;
    p->sum = 0;
  }
  RunKernelTask(workers, kMppTaskJoinSetupAggr);

  if (ShiftChunkStarts(workers, false)) RunKernelTask(workers, kMppTaskJoinSetupAggr);
  *total = static_cast<int>(PoolParam<JoinSetupAggrParam>(workers - 1)->sum);
}

void MppCutAndSetupMainN(TIntArray* source, TIntArray* rows, TIntArray* vno, int nValues,
                         const int* partner_count, TIntArray* cut_out, TIntArray* starts, int* total) {
  if (cut_out == nullptr) RefuseNullCutOut(nullptr);
  if (source->FArraySize != rows->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  const int n = rows->FArraySize;
  cut_out->SetArraySize(n);
  starts->SetArraySize(n);
  const int workers = KernelThreads(n);
  for (int t = 0; t < workers; ++t) {
    JoinSetupAggrParam* p = PoolParam<JoinSetupAggrParam>(t);
    ChunkOf(t, workers, n, &p->start, &p->end);
    p->partnerCount = partner_count;
    p->out = starts->PIntAr();
    p->vno = vno->PIntAr();
    p->vnoCount = vno->FArraySize;
    p->rows = source->PIntAr();
    p->mode = 2;
    p->sum = 0;
    p->nValues = nValues > 0 ? nValues : 0;
    p->rowsOut = rows->PIntAr();
    p->cutOut = cut_out->PIntAr();
    p->kept = 0;
    p->cut = 0;
  }
  if (n > 0) RunKernelTask(workers, kMppTaskJoinSetupAggr);

  // The chunks' starts are shifted where they lie, then the chunks are pulled together in worker
  // order, which gives the serial order.
  const bool shift = n > 0 && ShiftChunkStarts(workers, true);
  const int64_t sum = PoolParam<JoinSetupAggrParam>(workers - 1)->sum;
  if (shift) RunKernelTask(workers, kMppTaskJoinSetupAggr);
  int* row_data = rows->PIntAr();
  int* start_data = starts->PIntAr();
  int* out = cut_out->PIntAr();
  int kept = 0;
  int cut_count = 0;
  for (int t = 0; t < workers; ++t) {
    const JoinSetupAggrParam* p = PoolParam<JoinSetupAggrParam>(t);
    if (p->kept > 0 && kept != p->start) {
      std::memmove(row_data + kept, row_data + p->start, sizeof(int) * static_cast<size_t>(p->kept));
      std::memmove(start_data + kept, start_data + p->start, sizeof(int) * static_cast<size_t>(p->kept));
    }
    if (p->cut > 0 && cut_count != p->start) {
      std::memmove(out + cut_count, out + p->start, sizeof(int) * static_cast<size_t>(p->cut));
    }
    kept += p->kept;
    cut_count += p->cut;
  }
  rows->SetArraySize(kept);
  starts->SetArraySize(kept);
  cut_out->SetArraySize(cut_count);
  cut_out->AdjustMemArea();
  *total = static_cast<int>(sum);
}

int FindLoc(int target, int n, const int* starts) {
  if (n < 1) return 0;
  // 64 bits: for n above 2^30 the first step, 2^31, does not fit an int.
  int64_t step = 1;
  while (step < n) step <<= 1;
  int64_t pos = 0;
  for (; step > 0; step >>= 1) {
    if (pos + step < n && starts[pos + step] <= target) pos += step;
  }
  return static_cast<int>(pos);
}

int DesolveJoinRecNo(int j, TIntArray* rows, const int* starts, TIntArray* vno, TIntArray* partner_rows,
                     const int* group_start, int* driving_rec, int* partner_rec) {
  const int i = FindLoc(j, rows->FArraySize, starts);
  const int driving = rows->GetInt(i);
  const int v = vno->GetInt(driving);
  const int64_t at = int64_t{j} - starts[i] + group_start[v];
  // A j past the total could reach beyond the int range; such a position is outside partner_rows.
  const int partner = partner_rows->GetInt(at >= INT32_MIN && at <= INT32_MAX ? static_cast<int>(at) : -1);
  if (driving_rec != nullptr) *driving_rec = driving;
  if (partner_rec != nullptr) *partner_rec = partner;
  return partner;
}

void MppExtractJoinUnique(int n, int keyCount, const int* sortedRows, int** keys, int* flags,
                          int* run_count) {
  if (n < 1) {
    *run_count = 0;
    return;
  }
  const int workers = KernelThreads(n);
  for (int t = 0; t < workers; ++t) {
    JoinUniqueParam* p = PoolParam<JoinUniqueParam>(t);
    ChunkOf(t, workers, n, &p->start, &p->end);
    p->keyCount = keyCount;
    p->keys = keys;
    p->sortedRows = sortedRows;
    p->flags = flags;
    p->runs = 0;
  }
  RunKernelTask(workers, kMppTaskJoinUnique);

  // A run that crosses a chunk border was started twice: once in each chunk.
  int runs = PoolParam<JoinUniqueParam>(0)->runs;
  for (int t = 1; t < workers; ++t) {
    const JoinUniqueParam* p = PoolParam<JoinUniqueParam>(t);
    int chunk_runs = p->runs;
    if (p->start < p->end && SameTuple(keyCount, keys, sortedRows[p->start - 1], sortedRows[p->start])) {
      flags[p->start] = 0;
      --chunk_runs;
    }
    runs += chunk_runs;
  }
  *run_count = runs;
}
