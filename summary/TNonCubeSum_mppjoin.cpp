// The non-cube summary of a join set on the worker pool: the serial road's pipeline with the row
// copies, the dimension sorts and the key sorts of the two sides, the dimension columns and the
// measures done by workers. A side with neither dimensions nor measures needs no row order at all:
// its rows are only counted per key value.
//
// Every parallel step leaves the arrays the serial step of the same number leaves, and the measures
// run through the same aggregation as the serial road, so both roads give the same table whatever
// the worker count.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "database/MppDerive.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "kernels/MppCountingSort.h"
#include "summary/NonCubeJoinParts.h"
#include "summary/SummaryBits.h"
#include "summary/TNonCubeSum.h"
#include "values/Numeric.h"
#include "values/PoolParam.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

using noncube_join::AtLeastOne;
using noncube_join::CodeOf;
using noncube_join::DimCount;
using noncube_join::Dims;
using noncube_join::ReturningStep;
using noncube_join::SideKey;
using noncube_join::SideRows;
using noncube_join::Work;

namespace {

// What task 59 does for one worker's share of rows.
enum JoinRowMode : int {
  kCountKept = 0,  // count the entries to keep (an outer join's 0 entries are dropped)
  kCopyKept = 1,   // copy them from `offset` on, checking each record number
  kCountKeys = 2,  // per key value, count the rows (raw entries when `raw`)
  kPlaceKeys = 3,  // put each row (and its group) at its key's next position
};

// The parameter block of tasks 57, 58 and 59.
struct JoinTaskParam {
  MppParamHeader header;
  TNonCubeSum* sum;
  int mode;
  int first;  // the worker's rows: first .. first + count - 1
  int count;
  const int* rows;
  const int* groups;  // null: no groups to carry
  int* out_rows;
  int* out_groups;
  const int* key;  // key value numbers by record number
  int key_count;
  int limit;  // record numbers must lie below it
  int raw;    // rows are a join set's list: drop an outer join's 0 entries, check each record
  int outer;
  int* counts;  // own per-key counters (kCountKeys, kPlaceKeys)
  int n_carry;  // kPlaceKeys: measures whose value numbers travel with the rows
  const int* carry_in[TNonCubeSum::kMaxColumns];
  int* carry_out[TNonCubeSum::kMaxColumns];
  int kept;    // kCountKept: entries kept
  int offset;  // kCopyKept: first output position
};

JoinTaskParam* Block(int t) { return PoolParam<JoinTaskParam>(t); }

struct WriteLock {
  WriteLock() { CSmpEngine::Instance()->mt_write_lock(); }
  ~WriteLock() { CSmpEngine::Instance()->mt_write_unlock(); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
};

// The lowest unclaimed unit from *scan on (claimed now), or -1 when none is left.
int ClaimNext(uint8_t* claimed, int n, int* scan) {
  WriteLock lock;
  for (int i = *scan; i < n; ++i) {
    if (claimed[i] == 0) {
      claimed[i] = 1;
      *scan = i + 1;
      return i;
    }
  }
  *scan = n;
  return -1;
}

// Splits n rows over `workers` blocks (n / workers each, the last taking the rest) and fills the
// fields every mode reads.
void ShareRows(int workers, int n, const JoinTaskParam& common) {
  const int per = n / workers;
  for (int t = 0; t < workers; ++t) {
    JoinTaskParam* p = Block(t);
    const MppParamHeader header = p->header;
    *p = common;
    p->header = header;
    p->first = t * per;
    p->count = t == workers - 1 ? n - t * per : per;
    p->counts = nullptr;
    p->kept = 0;
    p->offset = 0;
  }
}

// Frees the per-worker counters however the counting and placing end.
struct CounterRelease {
  int workers;
  ~CounterRelease() {
    for (int t = 0; t < workers; ++t) {
      zpk_free(Block(t)->counts);
      Block(t)->counts = nullptr;
    }
  }
};

// Workers for n rows whose per-worker counters have k_count entries: the counters of all workers
// together stay within a few times the rows.
int KeyWorkers(int n, int k_count) {
  int workers = KernelThreads(n);
  const int64_t budget = int64_t{4} * n + 65536;
  if (k_count > 0 && int64_t{workers} * k_count > budget) {
    workers = static_cast<int>(std::max<int64_t>(1, budget / k_count));
  }
  return std::max(1, std::min(workers, KernelThreads(n)));
}

// Runs kCountKeys on the given blocks and turns the counters into each worker's first position per
// key value (key-major, worker-minor, so that the order of the rows is kept within a key). Returns
// the key starts (K + 1 entries; entry K is the total).
ZpkBlock<int> CountKeys(int workers, int k_count) {
  for (int t = 0; t < workers; ++t) Block(t)->mode = kCountKeys;
  RunKernelTask(workers, kMppTaskSingleJoinkeySortTransfer);
  ZpkBlock<int> starts(static_cast<size_t>(k_count) + 1);
  std::vector<int*> counts(static_cast<size_t>(workers));
  for (int t = 0; t < workers; ++t) counts[t] = Block(t)->counts;
  int64_t total = 0;
  for (int k = 0; k < k_count; ++k) {
    starts[k] = static_cast<int>(total);
    for (int t = 0; t < workers; ++t) {
      const int c = counts[t][k];
      counts[t][k] = static_cast<int>(total);
      total += c;
    }
  }
  if (total > INT_MAX) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  starts[k_count] = static_cast<int>(total);
  return starts;
}

// MppStep1 / MppStep6.
void MppSortSide(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  TSetArray* set = SideRows(s, side);
  const int n_in = set != nullptr ? set->FArraySize : 0;
  const int* in = n_in > 0 ? set->PIntAr() : nullptr;
  TFilter* key = SideKey(s, side);

  JoinTaskParam common{};
  common.sum = &s;
  common.rows = in;
  common.key = key->PV->PIntAr();
  common.key_count = s.key_count_;
  common.limit = key->PV->FArraySize;
  common.raw = 1;
  common.outer = s.outer_;

  if (s.mpp_count_only_[side]) {
    // Only the number of rows per key value matters: no copy, no order.
    const int workers = KeyWorkers(n_in, s.key_count_);
    ShareRows(workers, n_in, common);
    CounterRelease release{workers};
    w.key_starts = CountKeys(workers, s.key_count_);
    w.row_count = w.key_starts[s.key_count_];
    return;
  }

  const int workers = KernelThreads(n_in);
  ShareRows(workers, n_in, common);
  int n = 0;
  for (int t = 0; t < workers; ++t) Block(t)->mode = kCountKept;
  RunKernelTask(workers, kMppTaskSingleJoinkeySortTransfer);
  for (int t = 0; t < workers; ++t) {
    JoinTaskParam* p = Block(t);
    p->offset = n;
    n += p->kept;
  }
  ZpkBlock<int> rows(AtLeastOne(n));
  for (int t = 0; t < workers; ++t) {
    Block(t)->mode = kCopyKept;
    Block(t)->out_rows = rows.get();
  }
  RunKernelTask(workers, kMppTaskSingleJoinkeySortTransfer);

  const int n_dims = DimCount(s, side);
  if (n_dims > 0 && n > 1) {
    const int summarised = s.set_id_ < 0 ? s.table_->GetCurrentSetID() : s.set_id_;
    ZpkBlock<int> spare(AtLeastOne(n));
    for (int i = n_dims - 1; i >= 0; --i) {
      TFilter* f = s.dim_filters_[Dims(s, side)[i]];
      const int no_cache = (i == n_dims - 1 && summarised == 1) ? 1 : 0;
      MppCountingSort(0, n, rows.get(), spare.get(), f->PV->PIntAr(), f->VL->FArraySize, no_cache);
      std::swap(rows, spare);
    }
  }
  w.rows = std::move(rows);
  w.row_count = n;
}

// MppStep3 / MppStep8: rows and groups stably by key, and the key starts.
void MppKeySortSide(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  if (s.mpp_count_only_[side]) return;
  const int n = w.row_count;
  JoinTaskParam common{};
  common.sum = &s;
  common.rows = w.rows.get();
  common.groups = w.group_of_row.get();
  common.key = SideKey(s, side)->PV->PIntAr();
  common.key_count = s.key_count_;
  common.limit = SideKey(s, side)->PV->FArraySize;
  common.raw = 0;
  common.outer = s.outer_;
  // The measures of this side read their value numbers in the new order: the transfer reads the
  // rows in their present order (for a side without dimensions, the set's), far kinder to the cache
  // than reading them by key later.
  for (int m = 0; m < s.n_measures_; ++m) {
    if (noncube_join::MeasureSide(s, m) != side) continue;
    s.mpp_measure_vno_[m] = ZpkBlock<int>(AtLeastOne(n));
    common.carry_in[common.n_carry] = s.measure_filters_[m]->PV->PIntAr();
    common.carry_out[common.n_carry] = s.mpp_measure_vno_[m].get();
    ++common.n_carry;
  }
  const int workers = KeyWorkers(n, s.key_count_);
  ShareRows(workers, n, common);
  CounterRelease release{workers};
  ZpkBlock<int> starts = CountKeys(workers, s.key_count_);
  if (starts[s.key_count_] != n) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  ZpkBlock<int> rows(AtLeastOne(n));
  ZpkBlock<int> groups;
  if (common.groups != nullptr) groups = ZpkBlock<int>(AtLeastOne(n));
  for (int t = 0; t < workers; ++t) {
    JoinTaskParam* p = Block(t);
    p->mode = kPlaceKeys;
    p->out_rows = rows.get();
    p->out_groups = groups.get();
  }
  RunKernelTask(workers, kMppTaskSingleJoinkeySortTransfer);
  w.rows = std::move(rows);
  if (common.groups != nullptr) w.group_of_row = std::move(groups);
  w.key_starts = std::move(starts);
}

// Hands a built free-standing filter's arrays to the output table as a new last column; the filter
// is deleted. Returns the column's ID; a refusal is thrown (the filter then keeps its arrays).
int AttachColumn(TRealTable* out, TFilter** slot) {
  TFilter* f = *slot;
  char name[TFilter::kNameSize];
  qz7_strlcpy(name, f->FFilterName, sizeof name);
  const int id = out->AddFilter(TRealTable::kAppendPosition, name, f->PV, f->VL, false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  // The table holds the arrays now (and the list's one hold).
  f->PV = nullptr;
  f->VL = nullptr;
  delete f;
  *slot = nullptr;
  return id;
}

const char* JoinColumnName(const char* join_name, TFilter* source) {
  return join_name[0] != '\0' ? join_name : source->FFilterName;
}

}  // namespace

// ---- Tasks ----

int TNonCubeSum::mpp_single_joinkey_sort_transfer(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinTaskParam*>(param);
    const int end = p->first + p->count;
    const int* rows = p->rows;
    switch (p->mode) {
      case kCountKept: {
        int kept = 0;
        for (int i = p->first; i < end; ++i) kept += (p->outer == 0 || rows[i] > 0) ? 1 : 0;
        p->kept = kept;
        break;
      }
      case kCopyKept: {
        int at = p->offset;
        for (int i = p->first; i < end; ++i) {
          const int r = rows[i];
          if (p->outer != 0 && r <= 0) continue;
          if (r < 0 || r >= p->limit) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
          p->out_rows[at++] = r;
        }
        break;
      }
      case kCountKeys: {
        int* counts = static_cast<int*>(zpk_malloc(AtLeastOne(p->key_count) * sizeof(int)));
        p->counts = counts;
        std::memset(counts, 0, AtLeastOne(p->key_count) * sizeof(int));
        for (int i = p->first; i < end; ++i) {
          const int r = rows[i];
          if (p->raw != 0) {
            if (p->outer != 0 && r <= 0) continue;
            if (r < 0 || r >= p->limit) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
          }
          const int v = p->key[r];
          if (v < 0 || v >= p->key_count) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
          ++counts[v];
        }
        break;
      }
      case kPlaceKeys: {
        int* next = p->counts;
        for (int i = p->first; i < end; ++i) {
          const int at = next[p->key[rows[i]]]++;
          p->out_rows[at] = rows[i];
          if (p->out_groups != nullptr) p->out_groups[at] = p->groups[i];
          for (int c = 0; c < p->n_carry; ++c) p->carry_out[c][at] = p->carry_in[c][rows[i]];
        }
        zpk_free(p->counts);
        p->counts = nullptr;
        break;
      }
      default:
        throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    }
    return 0;
  });
}

int TNonCubeSum::mpp_join_summary_add_dimension_filter(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinTaskParam*>(param);
    TNonCubeSum* s = p->sum;
    int scan = p->header.index;
    for (int d = ClaimNext(s->mpp_claimed_, s->n_dims_, &scan); d >= 0;
         d = ClaimNext(s->mpp_claimed_, s->n_dims_, &scan)) {
      const int rc = s->MppJoinAddDimFilter(d, &s->mpp_dim_columns_[d]);
      if (rc < 0) return rc;
    }
    return 0;
  });
}

int TNonCubeSum::mpp_join_summary_measure(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinTaskParam*>(param);
    TNonCubeSum* s = p->sum;
    int scan = p->header.index;
    for (int m = ClaimNext(s->mpp_claimed_, s->n_measures_, &scan); m >= 0;
         m = ClaimNext(s->mpp_claimed_, s->n_measures_, &scan)) {
      const int rc = s->MppJoinMeasure(m, s->mpp_measure_columns_[m], &s->mpp_measure_column_count_[m]);
      if (rc < 0) return rc;
    }
    return 0;
  });
}

// ---- Columns ----

int TNonCubeSum::MppJoinAddDimFilter(int d, TFilter** out) {
  *out = nullptr;
  try {
    std::unique_ptr<TIntArray> rows;
    std::unique_ptr<TBaseArray> list;
    noncube_join::BuildDimension(*this, d, &rows, &list);
    char name[kNameSize];
    qz7_strlcpy(name, JoinColumnName(dim_names_[d], dim_filters_[d]), sizeof name);
    auto filter = std::make_unique<TFilter>(kFreeFilterID, name);
    filter->PV = rows.release();
    filter->ReplaceValueList(list.release());
    *out = filter.release();
    return 0;
  } catch (const CQ7Exception& e) {
    return CodeOf(e);
  } catch (const std::bad_alloc&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

int TNonCubeSum::MppJoinMeasure(int m, TFilter** out, int* count) {
  *count = 0;
  try {
    TFilter* measure = measure_filters_[m];
    const int type = measure_types_[m];
    const int asked = req_masks_[m];
    const int work = work_masks_[m];
    const bool decimal = type == Q7_TYPE_DECIMAL;
    const int rows = out_row_count_;
    const char* base = JoinColumnName(measure_names_[m], measure);
    auto keep = [&](TFilter* f) {
      if (f == nullptr) throw CQ7Exception(Q7_ERROR_NO_WORK_AREA);
      out[(*count)++] = f;
    };
    noncube_join::MeasureSums sums;
    noncube_join::AccumulateMeasure(*this, m, &sums);
    char name[kNameSize];

    if (asked & kSumCount) {
      noncube_join::BracketName("N", base, name);
      TFilter* f = nullptr;
      {
        // One worker builds the column; the others copy the finished one.
        WriteLock lock;
        if (mpp_shared_count_ == nullptr) {
          f = GenFilter2(kFreeFilterID, name, Q7_TYPE_INTEGER, rows, 4, out_counts_.get());
          mpp_shared_count_ = f;
        } else {
          f = mpp_shared_count_->CopyFilter(kFreeFilterID, name);
        }
      }
      keep(f);
    }
    for (const int kind : {kSumMax, kSumMin}) {
      if ((asked & kind) == 0) continue;
      TFilter* f = nullptr;
      qz7_strlcpy(name, base, sizeof name);
      int* picks = kind == kSumMax ? sums.max.get() : sums.min.get();
      const int rc = PutJTableMaxMinFilter(kind, decimals_[m], rows, picks, name, measure, &f);
      if (rc < 0) throw CQ7Exception(rc);
      keep(f);
    }
    NumericInfo info{};
    if (decimal) static_cast<TNumericArray*>(measure->VL)->GetDecimalInfo(&info);
    for (int pass = 0; pass < 2; ++pass) {
      const int bit = pass == 0 ? kSumSum : kSumAverage;
      if (pass == 1 && (work & kSumAverage) != 0) noncube_join::AverageInPlace(*this, m, &sums);
      if ((asked & bit) == 0) continue;
      noncube_join::BracketName(pass == 0 ? "SUM" : "AVG", base, name);
      TFilter* f = nullptr;
      if (decimal) {
        f = GenFilter2(kFreeFilterID, name, Q7_TYPE_DECIMAL, rows, 16, sums.dsum.get());
        if (f != nullptr) static_cast<TNumericArray*>(f->VL)->SetDecimalInfo(&info);
      } else {
        f = GenFilter2(kFreeFilterID, name, Q7_TYPE_DOUBLE, rows, 8, sums.sum.get());
      }
      keep(f);
    }
    return *count;
  } catch (const CQ7Exception& e) {
    return CodeOf(e);
  } catch (const std::bad_alloc&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// ---- Steps ----

void TNonCubeSum::InitJoin() {
  for (int i = 0; i < kMaxColumns; ++i) {
    mpp_claimed_[i] = 0;
    mpp_dim_columns_[i] = nullptr;
    mpp_measure_column_count_[i] = 0;
    for (int j = 0; j < kMaxMeasureColumns; ++j) mpp_measure_columns_[i][j] = nullptr;
  }
  mpp_shared_count_ = nullptr;
  mpp_count_only_[0] = mpp_count_only_[1] = false;
  for (ZpkBlock<int>& carried : mpp_measure_vno_) carried.Reset();
}

int TNonCubeSum::MppStep1() {
  return ReturningStep(this, [&] { MppSortSide(*this, 1); });
}
int TNonCubeSum::MppStep6() {
  return ReturningStep(this, [&] { MppSortSide(*this, 0); });
}
int TNonCubeSum::MppStep3() {
  return ReturningStep(this, [&] { MppKeySortSide(*this, 1); });
}
int TNonCubeSum::MppStep8() {
  return ReturningStep(this, [&] { MppKeySortSide(*this, 0); });
}
// The key sort left the key starts; what stays is to check them against the rows.
int TNonCubeSum::MppStep4() {
  return ReturningStep(this, [&] {
    if (!slave_work_.key_starts || slave_work_.key_starts[key_count_] != slave_work_.row_count) {
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    }
  });
}
int TNonCubeSum::MppStep9() {
  return ReturningStep(this, [&] {
    if (!master_work_.key_starts || master_work_.key_starts[key_count_] != master_work_.row_count) {
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    }
  });
}

int TNonCubeSum::MppStep15() {
  return ReturningStep(this, [&] {
    if (n_dims_ == 0) return;
    const int workers = std::max(1, std::min(KernelActiveThreads(), n_dims_));
    for (int d = 0; d < kMaxColumns; ++d) mpp_claimed_[d] = 0;
    for (int t = 0; t < workers; ++t) Block(t)->sum = this;
    RunKernelTask(workers, kMppTaskJoinSummaryAddDimensionFilter);
    for (int d = 0; d < n_dims_; ++d) {
      if (mpp_dim_columns_[d] == nullptr) throw CQ7Exception(Q7_ERROR_NO_WORK_AREA);
      AttachColumn(out_table_, &mpp_dim_columns_[d]);
    }
  });
}

int TNonCubeSum::MppStep18() {
  return ReturningStep(this, [&] {
    if (n_measures_ == 0) return;
    const int workers = std::max(1, std::min(KernelActiveThreads(), n_measures_));
    for (int m = 0; m < kMaxColumns; ++m) {
      mpp_claimed_[m] = 0;
      mpp_measure_column_count_[m] = 0;
    }
    mpp_shared_count_ = nullptr;
    for (int t = 0; t < workers; ++t) Block(t)->sum = this;
    try {
      RunKernelTask(workers, kMppTaskJoinSummaryMeasure);
    } catch (...) {
      mpp_shared_count_ = nullptr;
      throw;
    }
    // The shared column is one of the measure's own columns from here on.
    mpp_shared_count_ = nullptr;
    for (int m = 0; m < n_measures_; ++m) {
      for (int j = 0; j < mpp_measure_column_count_[m]; ++j)
        AttachColumn(out_table_, &mpp_measure_columns_[m][j]);
    }
  });
}

// ---- The pipeline ----

int TNonCubeSum::MppNonCubeJoinDimNMsrN() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  int out_id = 0;
  // Built columns the table has not taken go with the call, on every path.
  struct Leftovers {
    TNonCubeSum* s;
    ~Leftovers() {
      for (int i = 0; i < kMaxColumns; ++i) {
        delete s->mpp_dim_columns_[i];
        s->mpp_dim_columns_[i] = nullptr;
        for (int j = 0; j < kMaxMeasureColumns; ++j) {
          delete s->mpp_measure_columns_[i][j];
          s->mpp_measure_columns_[i][j] = nullptr;
        }
        s->mpp_measure_column_count_[i] = 0;
        s->mpp_measure_vno_[i].Reset();
      }
      s->mpp_shared_count_ = nullptr;
    }
  } leftovers{this};
  auto fail = [&](int code) {
    InitJoinXSum();
    // Nothing half-built is left behind.
    if (out_id > 0 && db != nullptr) db->DelTable(out_id);
    out_table_ = nullptr;
    return code;
  };
  try {
    if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    InitJoinXSum();
    InitJoin();
    noncube_join::PrepareColumns(*this, true);
    for (int side = 0; side < 2; ++side) {
      bool measured = false;
      for (int m = 0; m < n_measures_; ++m)
        measured = measured || noncube_join::MeasureSide(*this, m) == side;
      mpp_count_only_[side] = DimCount(*this, side) == 0 && !measured;
    }
    int (TNonCubeSum::*const steps[])() = {
        &TNonCubeSum::MppStep1, &TNonCubeSum::Step2,    &TNonCubeSum::MppStep3, &TNonCubeSum::MppStep4,
        &TNonCubeSum::Step5,    &TNonCubeSum::MppStep6, &TNonCubeSum::Step7,    &TNonCubeSum::MppStep8,
        &TNonCubeSum::MppStep9, &TNonCubeSum::Step10,   &TNonCubeSum::Step11,   &TNonCubeSum::Step12,
        &TNonCubeSum::Step13,   &TNonCubeSum::Step14};
    for (auto step : steps) {
      const int rc = (this->*step)();
      if (rc < 0) return fail(rc);
      if (step == &TNonCubeSum::Step11 && comb_count_ > 2000000000)
        return fail(Q7_ERROR_SUMMARY_ROWS_OVERFLOW);
    }
    out_id = db->AddRealTable(out_name_, out_row_count_);
    if (out_id < 0) {
      const int code = out_id;
      out_id = 0;
      return fail(code);
    }
    out_table_ = static_cast<TRealTable*>(db->GetTable(out_id));
    if (out_table_ == nullptr) return fail(Q7_ERROR_NO_SUCH_TABLE);
    for (auto step : {&TNonCubeSum::MppStep15, &TNonCubeSum::Step17}) {
      const int rc = (this->*step)();
      if (rc < 0) return fail(rc);
    }
    if (n_measures_ == 0) RegCount("");
    const int rc = MppStep18();
    if (rc < 0) return fail(rc);
    InitJoinXSum();
    return out_id;
  } catch (const CQ7Exception& e) {
    return fail(CodeOf(e));
  } catch (const std::bad_alloc&) {
    return fail(Q7_ERROR_OUT_OF_MEMORY);
  } catch (...) {
    return fail(Q7_ERROR_UNKNOWN);
  }
}
