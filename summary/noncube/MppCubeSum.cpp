// The parallel cube sum (non-cube summary method 0): per-worker cells, then their merge.
#include "summary/noncube/MppCubeSum.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/KernelPool.h"
#include "summary/cube/TSummary.h"
#include "summary/noncube/SummaryResultWriter.h"
#include "values/Numeric.h"
#include "values/PoolParam.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"

namespace {

constexpr int kMinStart = 0x7FFFFFFF;

CubeSumParam* Param(void* p) { return static_cast<CubeSumParam*>(p); }

template <class T>
T* NewFilled(int cells, T value) {
  T* p = static_cast<T*>(zpk_malloc(sizeof(T) * static_cast<size_t>(std::max(cells, 1))));
  std::fill(p, p + cells, value);
  return p;
}

// V: the measure list's element type (the per-row loop then has no type switch).
template <class V>
int AccumulateAs(CubeSumParam* p) {
  CubePass& c = *p->pass;
  const int t = p->worker;
  c.Allocate(t);
  int* count = c.counts[t];
  int* max = c.maxes[t];
  int* min = c.mins[t];
  void* sums = c.sums[t];
  const int* measure = c.measureVno;
  for (int i = p->start; i < p->end; ++i) {
    const int row = c.rows[i];
    int cell = 0;
    for (int d = 0; d < c.dims; ++d) cell += c.maps[d][c.dimVno[d][row]] * c.strides[d];
    if (count) ++count[cell];  // NULL measure values included
    if (measure == nullptr) continue;
    AddToCubeCell<V>(max, min, sums, c.measureValues, cell, measure[row]);
  }
  return 0;
}

int Accumulate(CubeSumParam* p) {
  return ByMeasureType(p->pass->measureType, [p](auto v) { return AccumulateAs<decltype(v)>(p); });
}

int Fold(CubeSumParam* p) {
  CubePass& c = *p->pass;
  const int from = p->start;
  const int to = p->end;
  for (int t = 1; t < c.arrays; ++t) {
    if (c.counts[0] && c.counts[t]) {
      for (int k = from; k < to; ++k) c.counts[0][k] += c.counts[t][k];
    }
    if (c.maxes[0] && c.maxes[t]) {
      for (int k = from; k < to; ++k) c.maxes[0][k] = std::max(c.maxes[0][k], c.maxes[t][k]);
    }
    if (c.mins[0] && c.mins[t]) {
      for (int k = from; k < to; ++k) c.mins[0][k] = std::min(c.mins[0][k], c.mins[t][k]);
    }
    if (c.sums[0] && c.sums[t]) {
      if (c.decimalSum) {
        auto* into = static_cast<Numeric*>(c.sums[0]);
        const auto* from_t = static_cast<const Numeric*>(c.sums[t]);
        for (int k = from; k < to; ++k) q7num::NumericAdd(&into[k], &from_t[k], &into[k]);
      } else {
        auto* into = static_cast<double*>(c.sums[0]);
        const auto* from_t = static_cast<const double*>(c.sums[t]);
        for (int k = from; k < to; ++k) into[k] += from_t[k];
      }
    }
  }
  if (c.mins[0]) {
    for (int k = from; k < to; ++k) {
      if (c.mins[0][k] == kMinStart) c.mins[0][k] = 0;
    }
  }
  p->tally = 0;
  if (c.counts[0]) {
    for (int k = from; k < to; ++k) p->tally += c.counts[0][k] != 0 ? 1 : 0;
  }
  return 0;
}

TTableCollection* Collection() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

}  // namespace

// ---- CubePass ----

CubePass::CubePass(int workers)
    : counts(static_cast<size_t>(workers), nullptr),
      maxes(static_cast<size_t>(workers), nullptr),
      mins(static_cast<size_t>(workers), nullptr),
      sums(static_cast<size_t>(workers), nullptr) {}

CubePass::~CubePass() {
  for (size_t t = 0; t < counts.size(); ++t) {
    zpk_free(counts[t]);
    zpk_free(maxes[t]);
    zpk_free(mins[t]);
    zpk_free(sums[t]);
  }
}

void CubePass::Allocate(int t) {
  if (count) counts[t] = NewFilled(cells, 0);
  if (max) maxes[t] = NewFilled(cells, 0);
  if (min) mins[t] = NewFilled(cells, kMinStart);
  if (sum && decimalSum) {
    Numeric zero;
    q7num::NumericSetZero(&zero);
    sums[t] = NewFilled(cells, zero);
  } else if (sum) {
    sums[t] = NewFilled(cells, 0.0);
  }
}

void CubePass::TakeResults(int** count_out, int** max_out, int** min_out, void** sum_out) {
  *count_out = std::exchange(counts[0], nullptr);
  *max_out = std::exchange(maxes[0], nullptr);
  *min_out = std::exchange(mins[0], nullptr);
  *sum_out = std::exchange(sums[0], nullptr);
}

void CubeRange(int n, int workers, int t, int* start, int* end) {
  const int chunk = n / workers;
  *start = t * chunk;
  *end = t == workers - 1 ? n : (t + 1) * chunk;
}

void RunCubeWorkers(CubePass* pass, int n, int workers, int task) {
  for (int t = 0; t < workers; ++t) {
    CubeSumParam* p = PoolParam<CubeSumParam>(t);
    p->pass = pass;
    p->worker = t;
    CubeRange(n, workers, t, &p->start, &p->end);
  }
  RunKernelTask(workers, task);
}

int CubeSumEntry(int n_dims, const int* dim_ids, int n_measures, const int* measure_ids, const int* masks,
                 const std::function<int(_TDimensionDef* dims)>& sum) {
  try {
    if (static_cast<unsigned>(n_dims) > static_cast<unsigned>(TSummary::kMaxDims))
      return Q7_ERROR_OUT_OF_RANGE;
    if ((n_dims > 0 && dim_ids == nullptr) || n_measures < 0 ||
        (n_measures > 0 && (measure_ids == nullptr || masks == nullptr))) {
      return Q7_ERROR_INVALID_PARAMETER;
    }
    _TDimensionDef defs[TSummary::kMaxDims] = {};
    for (int d = 0; d < n_dims; ++d) defs[d].column_id = dim_ids[d];
    return sum(defs);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

int FoldCubeArrays(CubePass* pass, int workers) {
  const int fold = std::max(1, std::min(workers, KernelThreads(pass->cells)));
  for (int t = 0; t < fold; ++t) {
    CubeSumParam* p = PoolParam<CubeSumParam>(t);
    p->pass = pass;
    p->worker = t;
    p->tally = 0;
    CubeRange(pass->cells, fold, t, &p->start, &p->end);
  }
  RunKernelTask(fold, kMppTaskCubesumMeasureStep2);
  int occurring = 0;
  for (int t = 0; t < fold; ++t) occurring += PoolParam<CubeSumParam>(t)->tally;
  return occurring;
}

int mpp_cubesum_measure_step1(void* param) {
  return TaskFrame([&] { return Accumulate(Param(param)); });
}

int mpp_cubesum_measure_step2(void* param) {
  return TaskFrame([&] { return Fold(Param(param)); });
}

// ---- TSummary: the measure-list form ----

TSummary::TSummary() = default;

void TSummary::OpenMeasureList(int table_id, int set_id, int dim_count, const int* measure_ids,
                               int measure_count) {
  TBaseTable* table = Collection()->GetTable(table_id);
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  if (set_id < 0) set_id = table->GetCurrentSetID();
  TSetArray* set = table->GetSet(set_id);
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  if (measure_count < 0 || (measure_count > 0 && measure_ids == nullptr)) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  for (int i = 0; i < measure_count; ++i) {
    TFilter* f = table->GetFilter(measure_ids[i]);
    if (f == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    if (f->VL == nullptr || f->PV == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    measures_.push_back(f);
  }
  if (static_cast<unsigned>(dim_count) > static_cast<unsigned>(kMaxDims)) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  // The sums index the cube by value numbers read straight from the columns.
  if (table->GetTableKind() != 0) throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
  table_ = table;
  table_id_ = table_id;
  set_id_ = set_id;
  set_ = set;
  dim_count_ = dim_count;
}

TSummary::TSummary(int table_id, int set_id, int dim_count, _TDimensionDef* dims, const int* measure_ids,
                   int measure_count) {
  OpenMeasureList(table_id, set_id, dim_count, measure_ids, measure_count);
  if (dim_count > 0 && dims == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  for (int d = 0; d < dim_count; ++d) {
    if (table_->GetFilter(dims[d].column_id) == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    if (dims[d].category_map != nullptr) break;
  }
  // Pending values carry negative numbers in the rows: fold them in before any row is read.
  static_cast<TRealTable*>(table_)->CheckMergeFilterTVL(true);
  int running = 1;
  for (int d = dim_count - 1; d >= 0; --d) SetUpDimension(d, dims[d], &running);
  cell_count_ = running;
}

void TSummary::SetCurrentMeasure(int i) {
  measure_filter_ = measures_[static_cast<size_t>(i)];
  measure_id_ = measure_filter_->FFilterID;
  measure_type_ = measure_filter_->VL->GetDataType();
  measure_ext_type_ = measure_type_;
  if (measure_type_ == Q7_TYPE_DOUBLE) {
    measure_ext_type_ = static_cast<TDoubleArray*>(measure_filter_->VL)->GetExtendType();
  }
}

void TSummary::MppSumMeasureReal(int count, int max, int min, int sum) {
  const int n = set_->FArraySize;
  const int workers = std::max(1, KernelThreads(n));
  CubePass pass(workers);
  pass.cells = cell_count_;
  pass.count = count;
  pass.max = measure_filter_ != nullptr ? max : 0;
  pass.min = measure_filter_ != nullptr ? min : 0;
  pass.sum = measure_filter_ != nullptr ? sum : 0;
  pass.decimalSum = measure_type_ == Q7_TYPE_DECIMAL ? 1 : 0;
  pass.rows = set_->PIntAr();
  pass.dims = dim_count_;
  for (int d = 0; d < dim_count_; ++d) {
    pass.maps[d] = dims_[d].map.data();
    pass.dimVno[d] = dims_[d].filter->PV->PIntAr();
    pass.strides[d] = dims_[d].stride;
  }
  if (measure_filter_ != nullptr) {
    pass.measureVno = measure_filter_->PV->PIntAr();
    pass.measureValues = measure_filter_->VL->FData;
    pass.measureType = measure_type_;
  }
  RunCubeWorkers(&pass, n, workers, kMppTaskCubesumMeasureStep1);
  pass.arrays = workers;
  FoldCubeArrays(&pass, workers);
  KeepPassResults(&pass);
}

void TSummary::KeepPassResults(CubePass* pass) {
  int* c = nullptr;
  int* mx = nullptr;
  int* mn = nullptr;
  void* s = nullptr;
  pass->TakeResults(&c, &mx, &mn, &s);
  if (c != nullptr) count_.Reset(c);
  max_.Reset(mx);
  min_.Reset(mn);
  if (pass->decimalSum) {
    dsum_.Reset(static_cast<Numeric*>(s));
  } else {
    sum_.Reset(static_cast<double*>(s));
  }
}

void TSummary::DropMeasureResults() {
  max_.Reset();
  min_.Reset();
  sum_.Reset();
  dsum_.Reset();
}

int TSummary::MppSummaryExec(const int* masks) {
  return SettledOutput([&] {
    if (measures_.empty()) {
      measure_filter_ = nullptr;
      MppSumMeasureReal(1, 0, 0, 0);
      int rows = 0;
      const int id = Sum2Table(&rows);
      if (id < 0) throw CQ7Exception(id);
      const int code = AppendSum2Table(id, rows, 1, 0, 0, 0, 0);
      if (code < 0) throw CQ7Exception(code);
      return id;
    }
    int rows = 0;
    int id = 0;
    for (size_t i = 0; i < measures_.size(); ++i) {
      SetCurrentMeasure(static_cast<int>(i));
      const CubeMeasureFlags f = SplitCubeMask(masks[i], measure_type_);
      // COUNT is taken once, with the first measure, and serves every measure.
      MppSumMeasureReal(i == 0 ? 1 : 0, f.max, f.min, f.NeedsSum());
      if (i == 0) {
        id = Sum2Table(&rows);
        if (id < 0) throw CQ7Exception(id);
      }
      const int code = AppendSum2Table(id, rows, f.count, f.max, f.min, f.sum, f.average);
      if (code < 0) throw CQ7Exception(code);
      DropMeasureResults();
    }
    return id;
  });
}

int MppCubeSum(int table_id, int set_id, int n_dims, const int* dim_ids, int n_measures,
               const int* measure_ids, const int* masks, const int* /*unused*/) {
  return CubeSumEntry(n_dims, dim_ids, n_measures, measure_ids, masks, [&](_TDimensionDef* defs) {
    auto summary = std::make_unique<TSummary>(table_id, set_id, n_dims, defs, measure_ids, n_measures);
    return summary->MppSummaryExec(masks);
  });
}
