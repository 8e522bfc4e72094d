// The fast cube sum over bit-packed cell addresses (non-cube summary method 1).
#include "summary/noncube/FastCubeSum.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "kernels/KernelPool.h"
#include "kernels/RadixPlan.h"
#include "summary/cube/TSummary.h"
#include "summary/noncube/MppCubeSum.h"
#include "summary/noncube/SummaryResultWriter.h"
#include "values/Numeric.h"
#include "values/PoolParam.h"
#include "values/TIntArray.h"

namespace {

// The largest packed address the per-cell arrays can be indexed by (2^30 cells).
constexpr int kMaxAddressBits = 30;

CubeSumParam* Param(void* p) { return static_cast<CubeSumParam*>(p); }

int CellAddresses(CubeSumParam* p) {
  const CubePass& c = *p->pass;
  int* addr = const_cast<int*>(c.addr);
  int* matrix = const_cast<int*>(c.matrix);
  const int w = c.nMeasures;
  for (int i = p->start; i < p->end; ++i) {
    const int row = c.rows[i];
    int a = 0;
    for (int d = 0; d < c.dims; ++d) a += c.dimVno[d][row] << c.strides[d];
    addr[i] = a;
    int* out = matrix + static_cast<int64_t>(i) * w;
    for (int m = 0; m < w; ++m) out[m] = c.measureVnos[m][row];
  }
  return 0;
}

int CountCells(CubeSumParam* p) {
  CubePass& c = *p->pass;
  c.Allocate(p->worker);
  int* count = c.counts[p->worker];
  for (int i = p->start; i < p->end; ++i) ++count[c.addr[i]];
  return 0;
}

// V: the measure list's element type (the per-row loop then has no type switch).
template <class V>
int SumMeasureAs(CubeSumParam* p) {
  CubePass& c = *p->pass;
  const int t = p->worker;
  c.Allocate(t);
  int* max = c.maxes[t];
  int* min = c.mins[t];
  void* sums = c.sums[t];
  const int w = c.nMeasures;
  const int* column = c.matrix + c.measure;
  for (int i = p->start; i < p->end; ++i) {
    AddToCubeCell<V>(max, min, sums, c.measureValues, c.addr[i], column[static_cast<int64_t>(i) * w]);
  }
  return 0;
}

int SumMeasure(CubeSumParam* p) {
  return ByMeasureType(p->pass->measureType, [p](auto v) { return SumMeasureAs<decltype(v)>(p); });
}

// ---- The half sort ----

struct HalfSort {
  const int* addrIn;
  const int* matrixIn;
  int* addrOut;
  int* matrixOut;
  int width;
  uint32_t topMask;
  int topShift;
  int buckets;
};

struct HalfSortParam {
  MppParamHeader header;
  HalfSort* job;
  int start;
  int end;
  int* hist;
};

HalfSortParam* SortParam(void* p) { return static_cast<HalfSortParam*>(p); }

int BucketOf(const HalfSort& s, int key) {
  return static_cast<int>((static_cast<uint32_t>(key) & s.topMask) >> s.topShift);
}

int HalfSortCount(HalfSortParam* p) {
  const HalfSort& s = *p->job;
  p->hist = static_cast<int*>(zpk_malloc(sizeof(int) * static_cast<size_t>(s.buckets)));
  std::memset(p->hist, 0, sizeof(int) * static_cast<size_t>(s.buckets));
  for (int i = p->start; i < p->end; ++i) ++p->hist[BucketOf(s, s.addrIn[i])];
  return 0;
}

int HalfSortTransfer(HalfSortParam* p) {
  const HalfSort& s = *p->job;
  int* next = p->hist;
  const size_t row_bytes = sizeof(int) * static_cast<size_t>(s.width);
  for (int i = p->start; i < p->end; ++i) {
    const int to = next[BucketOf(s, s.addrIn[i])]++;
    s.addrOut[to] = s.addrIn[i];
    if (s.width > 0) {
      std::memcpy(s.matrixOut + static_cast<int64_t>(to) * s.width,
                  s.matrixIn + static_cast<int64_t>(i) * s.width, row_bytes);
    }
  }
  zpk_free(p->hist);
  p->hist = nullptr;
  return 0;
}

// Frees the workers' counters whatever way a half sort ends.
class HeldCounters {
 public:
  explicit HeldCounters(int workers) : workers_(workers) {
    for (int t = 0; t < workers_; ++t) PoolParam<HalfSortParam>(t)->hist = nullptr;
  }
  ~HeldCounters() {
    for (int t = 0; t < workers_; ++t) {
      HalfSortParam* p = PoolParam<HalfSortParam>(t);
      zpk_free(p->hist);
      p->hist = nullptr;
    }
  }
  HeldCounters(const HeldCounters&) = delete;
  HeldCounters& operator=(const HeldCounters&) = delete;

 private:
  int workers_;
};

}  // namespace

void MppHalfSortForCellAddr(int n, int cells, int width, int** addr, int** matrix) {
  if (n <= 0) return;
  _RADIX_INFO_ plan;
  build_radix_info(cells, cells, &plan);
  const int workers = std::max(1, KernelThreads(n));
  ZpkBlock<int> addr_out(static_cast<size_t>(n) + 1);
  ZpkBlock<int> matrix_out((static_cast<size_t>(n) + 1) * static_cast<size_t>(width));
  HalfSort job{*addr,          *matrix,
               addr_out.get(), matrix_out.get(),
               width,          static_cast<uint32_t>(plan.topMask),
               plan.topShift,  plan.maxTop + 1};
  {
    HeldCounters held(workers);
    for (int t = 0; t < workers; ++t) {
      HalfSortParam* p = PoolParam<HalfSortParam>(t);
      p->job = &job;
      CubeRange(n, workers, t, &p->start, &p->end);
    }
    RunKernelTask(workers, kMppTaskMultiHalfsortCountup);
    // Bucket-major, worker-minor offsets: each bucket keeps its rows in input order.
    int total = 0;
    for (int b = 0; b < job.buckets; ++b) {
      for (int t = 0; t < workers; ++t) {
        int* h = PoolParam<HalfSortParam>(t)->hist;
        const int c = h[b];
        h[b] = total;
        total += c;
      }
    }
    RunKernelTask(workers, kMppTaskMultiHalfsortTransfer);
  }
  zpk_free(*addr);
  zpk_free(*matrix);
  *addr = addr_out.Release();
  *matrix = matrix_out.Release();
}

int mpp_cubesum_celladdr_calc(void* param) {
  return TaskFrame([&] { return CellAddresses(Param(param)); });
}

int mpp_cubesum_countarr(void* param) {
  return TaskFrame([&] { return CountCells(Param(param)); });
}

int mpp_fastcubesum_measure_step1(void* param) {
  return TaskFrame([&] { return SumMeasure(Param(param)); });
}

int mpp_multi_halfsort_countup(void* param) {
  return TaskFrame([&] { return HalfSortCount(SortParam(param)); });
}

int mpp_multi_halfsort_transfer(void* param) {
  return TaskFrame([&] { return HalfSortTransfer(SortParam(param)); });
}

// ---- TSummary: the bit-packed form ----

void TSummary::Init(int table_id, int set_id, int dim_count, _TDimensionDef* dims, int measure_count,
                    const int* measure_ids) {
  OpenMeasureList(table_id, set_id, dim_count, measure_ids, measure_count);
  if (dim_count > 0 && dims == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  for (int d = 0; d < dim_count; ++d) {
    if (table_->GetFilter(dims[d].column_id) == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  // Pending values carry negative numbers in the rows: fold them in before any row is read.
  static_cast<TRealTable*>(table_)->CheckMergeFilterTVL(true);
  packed_ = true;
  int shift = 0;
  for (int d = dim_count - 1; d >= 0; --d) {
    Dimension& dim = dims_[d];
    dim.def = dims[d];
    dim.filter = table_->GetFilter(dims[d].column_id);
    if (dim.filter == nullptr || dim.filter->VL == nullptr || dim.filter->PV == nullptr) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    }
    const int values = dim.filter->VL->FArraySize;
    const int width = ConvertFromVLtoBitsize(static_cast<unsigned>(values));
    dim.def.category_count = values;
    dim_shift_[d] = shift;
    dim_mask_[d] = static_cast<int>((uint32_t{1} << width) - 1);
    // A wider address would not index the per-cell arrays.
    if (shift + width > kMaxAddressBits) throw CQ7Exception(Q7_ERROR_SUMMARY_CELLS_OVERFLOW);
    dim.stride = 1 << shift;
    shift += width;
  }
  cell_count_ = 1 << shift;
}

void TSummary::MppMsrCubeSum(int n, int measure, int workers, int max, int min, int sum, int average) {
  SetCurrentMeasure(measure);
  CubePass pass(workers);
  pass.cells = cell_count_;
  pass.max = max;
  pass.min = min;
  pass.sum = sum || average ? 1 : 0;
  pass.decimalSum = measure_type_ == Q7_TYPE_DECIMAL ? 1 : 0;
  pass.measureValues = measure_filter_->VL->FData;
  pass.measureType = measure_type_;
  pass.addr = addr_.get();
  pass.matrix = matrix_.get();
  pass.nMeasures = static_cast<int>(measures_.size());
  pass.measure = measure;
  RunCubeWorkers(&pass, n, workers, kMppTaskFastCubesumMeasureStep1);
  pass.arrays = workers;
  FoldCubeArrays(&pass, workers);
  KeepPassResults(&pass);
}

int TSummary::MppExecCubeSum(const int* masks) {
  // The work arrays go whatever way the sums end.
  struct FreeWork {
    ZpkBlock<int>& addr;
    ZpkBlock<int>& matrix;
    ~FreeWork() {
      addr.Reset();
      matrix.Reset();
    }
  } free_work{addr_, matrix_};
  return SettledOutput([&] {
    const int n = set_->FArraySize;
    const int workers = std::max(1, KernelThreads(n));
    const int n_measures = static_cast<int>(measures_.size());
    addr_ = ZpkBlock<int>(static_cast<size_t>(n) + 1);
    matrix_ = ZpkBlock<int>((static_cast<size_t>(n) + 1) * static_cast<size_t>(n_measures));
    std::vector<const int*> measure_vnos;
    for (TFilter* f : measures_) measure_vnos.push_back(f->PV->PIntAr());
    {
      CubePass pass(workers);
      pass.cells = cell_count_;
      pass.rows = set_->PIntAr();
      pass.dims = dim_count_;
      for (int d = 0; d < dim_count_; ++d) {
        pass.dimVno[d] = dims_[d].filter->PV->PIntAr();
        pass.strides[d] = dim_shift_[d];
      }
      pass.addr = addr_.get();
      pass.matrix = matrix_.get();
      pass.measureVnos = measure_vnos.data();
      pass.nMeasures = n_measures;
      RunCubeWorkers(&pass, n, workers, kMppTaskCubesumCelladdrCalc);
    }
    int* addr = addr_.get();
    int* matrix = matrix_.get();
    MppHalfSortForCellAddr(n, cell_count_, n_measures, &addr, &matrix);
    addr_.Release();
    matrix_.Release();
    addr_.Reset(addr);
    matrix_.Reset(matrix);
    {
      CubePass pass(workers);
      pass.cells = cell_count_;
      pass.count = 1;
      pass.addr = addr_.get();
      RunCubeWorkers(&pass, n, workers, kMppTaskCubesumCountarr);
      pass.arrays = workers;
      occurring_ = FoldCubeArrays(&pass, workers);
      KeepPassResults(&pass);
    }
    const int id = Sum2Table(occurring_);
    if (id < 0) throw CQ7Exception(id);
    if (n_measures == 0) {
      measure_filter_ = nullptr;
      const int code = AddMsrFlt(0, 0, 0, 0, 1);
      if (code < 0) throw CQ7Exception(code);
    }
    for (int i = 0; i < n_measures; ++i) {
      SetCurrentMeasure(i);
      const CubeMeasureFlags f = SplitCubeMask(masks[i], measure_type_);
      MppMsrCubeSum(n, i, workers, f.max, f.min, f.sum, f.average);
      const int code = AddMsrFlt(f.max, f.min, f.sum, f.average, f.count);
      if (code < 0) throw CQ7Exception(code);
      DropMeasureResults();
    }
    addr_.Reset();
    matrix_.Reset();
    return id;
  });
}

int MppFastCubeSum(int table_id, int set_id, int n_dims, const int* dim_ids, int n_measures,
                   const int* measure_ids, const int* masks, const int* /*unused*/) {
  return CubeSumEntry(n_dims, dim_ids, n_measures, measure_ids, masks, [&](_TDimensionDef* defs) {
    auto summary = std::make_unique<TSummary>();
    summary->Init(table_id, set_id, n_dims, defs, n_measures, measure_ids);
    return summary->MppExecCubeSum(masks);
  });
}
