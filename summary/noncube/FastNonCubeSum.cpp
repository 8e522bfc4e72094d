// The fast non-cube sum over sorted cell addresses (non-cube summary methods 2 and 3).
#include "summary/noncube/FastNonCubeSum.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "summary/cube/TSummary.h"
#include "summary/noncube/CellAddrSort.h"
#include "summary/noncube/MppCubeSum.h"
#include "summary/noncube/SummaryResultWriter.h"
#include "values/Numeric.h"
#include "values/PoolParam.h"

namespace {

constexpr int kMinStart = 0x7FFFFFFF;

// What tasks 54 to 56 read; one per run, shared by the workers.
struct NonCubeRun {
  // Address pass (54).
  const int* rows = nullptr;
  int dims = 0;
  const int* dimVno[TSummary::kMaxDims] = {};
  int shifts[TSummary::kMaxDims] = {};
  const int* const* measureVnos = nullptr;  // every measure's value numbers by row
  int nMeasures = 0;
  int carry = 0;        // 1: the payload row holds every measure's value number; 0: the set row
  int* addr = nullptr;  // per position: the address, then (after renumbering) the group number
  int* payload = nullptr;
  // Measure pass (56): the current measure and its per-group slots (null: not asked).
  int measure = 0;
  const int* measureVno = nullptr;
  const void* values = nullptr;
  int type = 0;
  int* max = nullptr;
  int* min = nullptr;
  void* sums = nullptr;
};

struct NonCubeParam {
  MppParamHeader header;
  NonCubeRun* run;
  int start;  // positions [start, end)
  int end;
  int firstGroup;  // renumbering: the group number of position `start`
};

NonCubeParam* Param(void* p) { return static_cast<NonCubeParam*>(p); }

int CellAddresses(NonCubeParam* p) {
  const NonCubeRun& r = *p->run;
  for (int i = p->start; i < p->end; ++i) {
    const int row = r.rows[i];
    int a = 0;
    for (int d = 0; d < r.dims; ++d) a += r.dimVno[d][row] << r.shifts[d];
    r.addr[i] = a;
    if (r.carry) {
      int* out = r.payload + static_cast<int64_t>(i) * r.nMeasures;
      for (int m = 0; m < r.nMeasures; ++m) out[m] = r.measureVnos[m][row];
    } else {
      r.payload[i] = row;
    }
  }
  return 0;
}

int Renumber(NonCubeParam* p) {
  int* addr = p->run->addr;
  if (p->start >= p->end) return 0;
  int group = p->firstGroup;
  int previous = addr[p->start];
  for (int i = p->start; i < p->end; ++i) {
    const int a = addr[i];
    if (a != previous) {
      ++group;
      previous = a;
    }
    addr[i] = group;
  }
  return 0;
}

// V: the measure list's element type (the per-row loop then has no type switch). A worker's range
// holds whole groups, so it alone writes their slots.
template <class V>
int SumGroupsAs(NonCubeParam* p) {
  const NonCubeRun& r = *p->run;
  if (p->start >= p->end) return 0;
  const int first = r.addr[p->start];
  const int last = r.addr[p->end - 1];
  for (int g = first; g <= last; ++g) {
    if (r.max) r.max[g] = 0;
    if (r.min) r.min[g] = kMinStart;
    if constexpr (std::is_same_v<V, Numeric>) {
      if (r.sums) q7num::NumericSetZero(static_cast<Numeric*>(r.sums) + g);
    } else {
      if (r.sums) static_cast<double*>(r.sums)[g] = 0.0;
    }
  }
  for (int i = p->start; i < p->end; ++i) {
    const int v =
        r.carry ? r.payload[static_cast<int64_t>(i) * r.nMeasures + r.measure] : r.measureVno[r.payload[i]];
    AddToCubeCell<V>(r.max, r.min, r.sums, r.values, r.addr[i], v);
  }
  if (r.min) {
    for (int g = first; g <= last; ++g) {
      if (r.min[g] == kMinStart) r.min[g] = 0;  // a group of NULLs only
    }
  }
  return 0;
}

int SumGroups(NonCubeParam* p) {
  return ByMeasureType(p->run->type, [p](auto v) { return SumGroupsAs<decltype(v)>(p); });
}

// Hands the first `ranges` workers the run and consecutive position ranges of the given sizes, and
// runs `task` on them.
void RunRanges(NonCubeRun* run, int ranges, const int* counts, int task) {
  int start = 0;
  for (int t = 0; t < ranges; ++t) {
    NonCubeParam* p = PoolParam<NonCubeParam>(t);
    p->run = run;
    p->start = start;
    p->end = start + counts[t];
    start = p->end;
  }
  if (ranges > 0) RunKernelTask(ranges, task);
}

}  // namespace

int MppCellAddrReNumber(int n, int g, int workers, const int* sizes, int* addr, int* counts,
                        int* group_addr) {
  const int target = n / std::max(1, workers);
  std::vector<int> first_groups;
  int ranges = 0;
  int count = 0;
  int position = 0;
  int first = 0;
  for (int k = 0; k < g; ++k) {
    group_addr[k] = addr[position];
    position += sizes[k];
    count += sizes[k];
    if (count >= target && ranges < workers - 1) {
      counts[ranges++] = count;
      first_groups.push_back(first);
      first = k + 1;
      count = 0;
    }
  }
  if (count > 0) {
    counts[ranges++] = count;
    first_groups.push_back(first);
  }
  NonCubeRun run;
  run.addr = addr;
  for (int t = 0; t < ranges; ++t) PoolParam<NonCubeParam>(t)->firstGroup = first_groups[t];
  RunRanges(&run, ranges, counts, kMppTaskFastNonCubesumRenumber);
  return ranges;
}

int mpp_fastnoncubesum_celladdr_calc(void* param) {
  return TaskFrame([&] { return CellAddresses(Param(param)); });
}

int mpp_fastnoncubesum_renumber(void* param) {
  return TaskFrame([&] { return Renumber(Param(param)); });
}

int mpp_fastnoncubesum_measure(void* param) {
  return TaskFrame([&] { return SumGroups(Param(param)); });
}

// ---- TSummary: the sorted form ----

void TSummary::SetupForNonCubeSum(int table_id, int set_id, int dim_count, int carry_measures,
                                  _TDimensionDef* dims, int measure_count, const int* measure_ids) {
  Init(table_id, set_id, dim_count, dims, measure_count, measure_ids);
  carry_measures_ = carry_measures != 0 ? 1 : 0;
}

int TSummary::Sum2Table(int groups, const int* addresses) {
  group_addr_ = addresses;
  cell_count_ = groups;
  occurring_ = groups;
  return MakeOutputTable(groups);
}

int TSummary::MppExecNonCubeSum(const int* masks) {
  ZpkBlock<int> addr;
  ZpkBlock<int> payload;
  ZpkBlock<int> group_addr;
  // The group addresses are local to the run: the summary must not keep pointing at them.
  struct ForgetGroups {
    const int*& addresses;
    ~ForgetGroups() { addresses = nullptr; }
  } forget{group_addr_};
  return SettledOutput([&] {
    const int n = set_->FArraySize;
    const int workers = std::max(1, KernelThreads(n));
    const int n_measures = static_cast<int>(measures_.size());
    const int width = carry_measures_ ? n_measures : 1;
    addr = ZpkBlock<int>(static_cast<size_t>(n) + 1);
    payload = ZpkBlock<int>((static_cast<size_t>(n) + 1) * static_cast<size_t>(std::max(width, 1)));
    std::vector<const int*> measure_vnos;
    for (TFilter* f : measures_) measure_vnos.push_back(f->PV->PIntAr());

    NonCubeRun run;
    run.rows = set_->PIntAr();
    run.dims = dim_count_;
    for (int d = 0; d < dim_count_; ++d) {
      run.dimVno[d] = dims_[d].filter->PV->PIntAr();
      run.shifts[d] = dim_shift_[d];
    }
    run.measureVnos = measure_vnos.data();
    run.nMeasures = n_measures;
    run.carry = carry_measures_;
    run.addr = addr.get();
    run.payload = payload.get();
    {
      std::vector<int> counts(static_cast<size_t>(workers));
      for (int t = 0; t < workers; ++t) {
        int start = 0;
        int end = 0;
        CubeRange(n, workers, t, &start, &end);
        counts[static_cast<size_t>(t)] = end - start;
      }
      RunRanges(&run, n > 0 ? workers : 0, counts.data(), kMppTaskFastNonCubesumCelladdrCalc);
    }

    int* sizes = nullptr;
    const int groups = SortForCellAddr(n, cell_count_, width, addr.get(), payload.get(), &sizes);
    count_.Reset(sizes);
    group_addr = ZpkBlock<int>(static_cast<size_t>(std::max(groups, 1)));
    std::vector<int> counts(static_cast<size_t>(workers));
    const int ranges =
        MppCellAddrReNumber(n, groups, workers, count_.get(), addr.get(), counts.data(), group_addr.get());

    const int id = Sum2Table(groups, group_addr.get());
    if (id < 0) throw CQ7Exception(id);
    if (n_measures == 0) {
      measure_filter_ = nullptr;
      const int code = AddMsrFlt(0, 0, 0, 0, 1);
      if (code < 0) throw CQ7Exception(code);
    }
    const size_t slots = static_cast<size_t>(std::max(groups, 1));
    for (int i = 0; i < n_measures; ++i) {
      SetCurrentMeasure(i);
      const CubeMeasureFlags f = SplitCubeMask(masks[i], measure_type_);
      if (f.max || f.min || f.NeedsSum()) {
        if (f.max) max_ = ZpkBlock<int>(slots);
        if (f.min) min_ = ZpkBlock<int>(slots);
        if (f.NeedsSum() && measure_type_ == Q7_TYPE_DECIMAL) dsum_ = ZpkBlock<Numeric>(slots);
        if (f.NeedsSum() && measure_type_ != Q7_TYPE_DECIMAL) sum_ = ZpkBlock<double>(slots);
        run.measure = i;
        run.measureVno = measure_vnos[static_cast<size_t>(i)];
        run.values = measure_filter_->VL->FData;
        run.type = measure_type_;
        run.max = max_.get();
        run.min = min_.get();
        run.sums = measure_type_ == Q7_TYPE_DECIMAL ? static_cast<void*>(dsum_.get()) : sum_.get();
        RunRanges(&run, ranges, counts.data(), kMppTaskFastNonCubesumMeasure);
      }
      const int code = AddMsrFlt(f.max, f.min, f.sum, f.average, f.count);
      if (code < 0) throw CQ7Exception(code);
      DropMeasureResults();
    }
    return id;
  });
}

int MppFastNonCubeSum(int table_id, int set_id, int n_dims, const int* dim_ids, int n_measures,
                      const int* measure_ids, const int* masks, const int* /*unused*/, int carry_measures) {
  return CubeSumEntry(n_dims, dim_ids, n_measures, measure_ids, masks, [&](_TDimensionDef* defs) {
    auto summary = std::make_unique<TSummary>();
    summary->SetupForNonCubeSum(table_id, set_id, n_dims, carry_measures, defs, n_measures, measure_ids);
    return summary->MppExecNonCubeSum(masks);
  });
}
