// The parallel road of the non-cube summary: the request checks of MppRun, the summary of a real
// table's set on the worker pool, and its counting-sort variant (MppNonCubeRealDimN). The join road
// is in summary/noncube/TNonCubeSum_mppjoin.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "database/MppDerive.h"
#include "database/SortForMultiItem.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/TextHelpers.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "kernels/MppCountingSort.h"
#include "summary/SummaryBits.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/TNonCubeSum.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int kMinStart = 0x7FFFFFFF;
// Prefetch distances of the accumulation, in sorted positions.
constexpr int kFarAhead = 32;
constexpr int kNearAhead = 16;

// One measure's accumulation and finish: what tasks 69 and 68 read and write. Per-group arrays are
// null when the measure does not need them.
struct MeasurePass {
  int type = 0;                 // value-list data type: 2, 3, 6 or 8
  const int* sorted = nullptr;  // record numbers in group order
  const int* counts = nullptr;  // rows per group
  const int* vno = nullptr;     // the measure's value numbers, by record
  const void* values = nullptr;
  NumericInfo info{};
  double factor = 0;  // the rounding factor as an exact power of ten (with rounded)
  int* max = nullptr;
  int* min = nullptr;
  double* sums = nullptr;
  Numeric* dsums = nullptr;
  RoundedSum* rounded = nullptr;
  double* avgs = nullptr;
  Numeric* davgs = nullptr;
};

// Worker parameter block of tasks 68 and 69: sorted positions (69) or groups (68), [from, to).
// Task 69's ranges start on a group's first position and hold whole groups.
struct MeasureParam {
  MppParamHeader header;
  const MeasurePass* pass;
  int from;
  int to;
  int first_group;  // task 69: the group at position `from`
};

MeasureParam* Param(void* p) { return static_cast<MeasureParam*>(p); }

// The output blocks of one measure's pass, as its working mask asks for them.
struct MeasureBlocks {
  ZpkBlock<int> max_vno;
  ZpkBlock<int> min_vno;
  ZpkBlock<double> sums;
  ZpkBlock<Numeric> dsums;
  ZpkBlock<RoundedSum> rounded;
  ZpkBlock<double> avgs;
  ZpkBlock<Numeric> davgs;
};

// Points pass at measure's lists and at blocks of g_size groups made for the outputs work asks.
// round_factor > 0 asks the fixed-point split of a DOUBLE sum at that factor.
void SetUpMeasurePass(int work, int type, TFilter* measure, size_t g_size, double round_factor,
                      MeasurePass* pass, MeasureBlocks* blocks) {
  pass->type = type;
  pass->vno = measure->PV->PIntAr();
  pass->values = measure->VL->FData;
  if (work & kSumMax) pass->max = (blocks->max_vno = ZpkBlock<int>(g_size)).get();
  if (work & kSumMin) pass->min = (blocks->min_vno = ZpkBlock<int>(g_size)).get();
  if ((work & kSumSum) == 0) return;
  if (type == Q7_TYPE_DECIMAL) {
    static_cast<TNumericArray*>(measure->VL)->GetDecimalInfo(&pass->info);
    pass->dsums = (blocks->dsums = ZpkBlock<Numeric>(g_size)).get();
    if (work & kSumAverage) pass->davgs = (blocks->davgs = ZpkBlock<Numeric>(g_size)).get();
    return;
  }
  pass->sums = (blocks->sums = ZpkBlock<double>(g_size)).get();
  if (work & kSumAverage) pass->avgs = (blocks->avgs = ZpkBlock<double>(g_size)).get();
  if (type == Q7_TYPE_DOUBLE && round_factor > 0) {
    // The factor as the fixed-point split takes it: an exact power of ten.
    pass->factor = static_cast<double>(static_cast<long long>(round_factor));
    pass->rounded = (blocks->rounded = ZpkBlock<RoundedSum>(g_size)).get();
  }
}

// V: the measure list's element type; a STRING measure reads no values (it has no SUM).
template <class V>
void AccumulateAs(const MeasurePass& p, int from, int to, int g) {
  const V* values = static_cast<const V*>(p.values);
  const bool reads_values = p.sums != nullptr || p.dsums != nullptr || p.rounded != nullptr;
  for (int i = from; i < to; ++g) {
    const int end = i + p.counts[g];
    int mx = 0;
    int mn = kMinStart;
    double sum = 0;
    RoundedSum rounded;
    Numeric dsum;
    q7num::NumericSetZero(&dsum);
    for (; i < end; ++i) {
      // Sorted rows reach the value numbers, and those the values, at random: start both loads
      // well ahead so that many misses are in flight at once.
      if (i + kFarAhead < to) __builtin_prefetch(&p.vno[p.sorted[i + kFarAhead]]);
      if (reads_values && i + kNearAhead < to) __builtin_prefetch(&values[p.vno[p.sorted[i + kNearAhead]]]);
      const int v = p.vno[p.sorted[i]];
      mx = std::max(mx, v);
      // NULL (the empty text of a STRING list) is skipped, as on every other road.
      if (v != 0 && v < mn) mn = v;
      if (v <= 0) continue;
      if constexpr (std::is_same_v<V, Numeric>) {
        if (p.dsums) q7num::NumericAdd(&dsum, &values[v], &dsum);
      } else if constexpr (std::is_same_v<V, double>) {
        if (p.rounded) {
          AddRounded(values[v], p.factor, &rounded);
        } else if (p.sums) {
          sum += values[v];
        }
      } else {
        if (p.sums) sum += static_cast<double>(values[v]);
      }
    }
    if (p.max) p.max[g] = mx;
    if (p.min) p.min[g] = mn;
    if (p.sums) p.sums[g] = sum;
    if (p.dsums) p.dsums[g] = dsum;
    if (p.rounded) p.rounded[g] = rounded;
  }
}

int Accumulate(MeasureParam* p) {
  const MeasurePass& pass = *p->pass;
  if (p->from >= p->to) return 0;
  switch (pass.type) {
    case Q7_TYPE_INTEGER:
      AccumulateAs<int>(pass, p->from, p->to, p->first_group);
      break;
    case Q7_TYPE_DECIMAL:
      AccumulateAs<Numeric>(pass, p->from, p->to, p->first_group);
      break;
    default:
      AccumulateAs<double>(pass, p->from, p->to, p->first_group);
      break;
  }
  return 0;
}

int Finish(MeasureParam* p) {
  const MeasurePass& pass = *p->pass;
  for (int g = p->from; g < p->to; ++g) {
    if (pass.min && pass.min[g] == kMinStart) pass.min[g] = 0;
    if (pass.rounded) pass.sums[g] = RoundedValue(pass.rounded[g], pass.factor);
    if (pass.avgs) pass.avgs[g] = pass.sums[g] / pass.counts[g];
    if (pass.davgs) {
      pass.davgs[g] = pass.dsums[g];
      q7num::NumericDiv(&pass.davgs[g], &pass.info, pass.counts[g]);
    }
  }
  return 0;
}

// The position ranges of the accumulation: about n / W positions each, moved forward to the next
// group start, so that no group is split and the workers write disjoint groups without a lock.
struct RowRanges {
  int workers = 0;
  std::vector<int> from, to, first_group;
};

RowRanges SplitRows(int n, const int* group) {
  RowRanges r;
  if (n < 1) return r;
  const int w = std::max(1, KernelThreads(n));
  r.workers = w;
  int from = 0;
  for (int i = 0; i < w; ++i) {
    int to = n;
    if (i < w - 1) {
      to = from + (n - from) / (w - i);
      while (to > 0 && to < n && group[to - 1] == group[to]) ++to;
    }
    r.from.push_back(from);
    r.to.push_back(to);
    r.first_group.push_back(from < n ? group[from] : 0);
    from = to;
  }
  return r;
}

void RunAccumulation(const MeasurePass& pass, const RowRanges& ranges) {
  for (int t = 0; t < ranges.workers; ++t) {
    MeasureParam* p = PoolParam<MeasureParam>(t);
    p->pass = &pass;
    p->from = ranges.from[t];
    p->to = ranges.to[t];
    p->first_group = ranges.first_group[t];
  }
  RunKernelTask(ranges.workers, kMppTaskNoncubeMeasure);
}

void RunFinish(const MeasurePass& pass, int groups) {
  if (groups < 1) return;
  const int w = std::max(1, KernelThreads(groups));
  for (int t = 0; t < w; ++t) {
    MeasureParam* p = PoolParam<MeasureParam>(t);
    p->pass = &pass;
    p->from = t * (groups / w);
    p->to = t == w - 1 ? groups : (t + 1) * (groups / w);
    p->first_group = 0;
  }
  RunKernelTask(w, kMppTaskNoncubeMeasureFinit);
}

std::string Bracketed(const char* prefix, const char* name) { return std::string(prefix) + "<" + name + ">"; }

// A filter-name work copy of a column name (cut to 255 bytes).
std::vector<char> NameBuffer(const std::string& name) {
  std::vector<char> work(name.begin(), name.end());
  work.resize(std::max<size_t>(work.size(), 1) + 1, '\0');
  if (work.size() > static_cast<size_t>(TFilter::kNameSize)) {
    work.resize(TFilter::kNameSize);
    work.back() = '\0';
  }
  return work;
}

// A generated column of `rows` values under `name`, appended to the table; its ID.
int AppendGenerated(NonCubeOutput& out, const std::string& name, int type, int rows, int width,
                    const void* data) {
  std::vector<char> work = NameBuffer(name);
  return out.AppendOwned(TNonCubeSum::MppGenFilter2(work.data(), type, rows, width, data));
}

}  // namespace

TNonCubeSum::TNonCubeSum() { InitJoin(); }

void TNonCubeSum::ExtractOutputTable(TTableCollection* db, RoadUndo* undo) {
  int ids[kMaxColumns + 1] = {};
  for (int d = 0; d < request_.n_dims(); ++d) ids[d] = request_.dim_id(d);
  char name[kNameSize];
  qz7_strlcpy(name, request_.out_name(), sizeof name);
  const int out_id = db->MppExtractRealTable(name, request_.table_id(), undo->temp_set, 0, 0, ids);
  if (out_id < 0) throw CQ7Exception(out_id);
  undo->out_id = out_id;
  result_ = out_id;
  undo->DropTempSet();
  output_.SetTable(static_cast<TRealTable*>(db->GetTable(out_id)));
  if (output_.table() == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
}

void TNonCubeSum::MppRun(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                         const int* measures, const int* masks, const int* decimals) {
  try {
    MppCheckRequest(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
    InitJoinXSum();
    InitJoin();
    if (request_.is_join()) request_.FillJoin();
    result_ = request_.is_join() ? MppNonCubeJoinDimNMsrN() : MppFastSumNonCubeRealDimN();
  } catch (const CQ7Exception& e) {
    result_ = e.ErrorCode();
    throw;
  }
}

void TNonCubeSum::MppCheckRequest(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                                  const int* measures, const int* masks, const int* decimals) {
  try {
    result_ = -1;
    output_.Reset();
    request_.Check(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals, false);
  } catch (const CQ7Exception& e) {
    result_ = e.ErrorCode();
    throw;
  }
}

bool TNonCubeSum::RoundsSums() const { return request_.RoundsSums(); }

int TNonCubeSum::MppFastSumNonCubeRealDimN() {
  auto* source = static_cast<TRealTable*>(request_.table());
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // The temporary set of representative rows goes on every path, and the set that was current
  // before the call is current again.
  RoadUndo undo;
  undo.source = source;
  return RunRoad(&undo, [&] {
    result_ = 0;
    if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    undo.restore_set = source->GetCurrentSetID();
    // Pending values carry negative value numbers; the sort and the measures need them merged.
    source->CheckMergeFilterTVL(true);
    const int n = request_.set()->FArraySize;
    const int* set_rows = request_.set()->PIntAr();

    ZpkBlock<int> sorted;
    ZpkBlock<int> group;
    ZpkBlock<int> counts(static_cast<size_t>(std::max(n, 1)));
    ZpkBlock<int> first_rows(static_cast<size_t>(std::max(n, 1)));
    int groups = 0;
    if (n > 0 && request_.n_dims() == 0) {
      // One group of every row, in set order.
      sorted = ZpkBlock<int>(static_cast<size_t>(n));
      group = ZpkBlock<int>(static_cast<size_t>(n));
      std::memcpy(sorted.get(), set_rows, sizeof(int) * static_cast<size_t>(n));
      std::fill(group.get(), group.get() + n, 0);
      counts[0] = n;
      first_rows[0] = set_rows[0];
      groups = 1;
    } else if (n > 0) {
      // The sort takes its least significant key first: the last dimension leads the list.
      TFilter* keys[kMaxColumns];
      int dirs[kMaxColumns] = {};
      for (int d = 0; d < request_.n_dims(); ++d) keys[d] = request_.dim_filter(request_.n_dims() - 1 - d);
      groups = SortForMultiItemEx(request_.n_dims(), n, set_rows, keys, dirs, sorted.Out(), group.Out(),
                                  counts.get(), first_rows.get(), 1, 1);
      if (groups < 0) throw CQ7Exception(groups);
    }

    auto reps = std::make_unique<TSetArray>(groups, 0);
    if (groups > 0) std::memcpy(reps->PIntAr(), first_rows.get(), sizeof(int) * static_cast<size_t>(groups));
    first_rows.Reset();
    const int added = source->AddSetWithoutCopy(reps.get());
    if (added < 0) throw CQ7Exception(added);
    reps.release();
    undo.temp_set = added;

    ExtractOutputTable(db, &undo);

    if (request_.n_measures() == 0) {
      AppendGenerated(output_, "N", Q7_TYPE_INTEGER, groups, 4, counts.get());
      return result_;
    }

    const RowRanges ranges = SplitRows(n, group.get());
    const size_t g_size = static_cast<size_t>(groups) + 1;
    TFilter* first_count = nullptr;
    for (int m = 0; m < request_.n_measures(); ++m) {
      TFilter* measure = request_.measure_filter(m);
      const int type = request_.measure_type(m);
      const int asked = request_.asked_mask(m);
      const int work = request_.work_mask(m);
      const char* measure_name = measure->FFilterName;

      if (asked & kSumCount) {
        const std::string column = Bracketed("N", measure_name);
        if (first_count == nullptr) {
          const int id = AppendGenerated(output_, column, Q7_TYPE_INTEGER, groups, 4, counts.get());
          first_count = output_.table()->GetFilter(id);
        } else {
          std::vector<char> work_name = NameBuffer(column);
          output_.AppendOwned(first_count->CopyFilter(kFreeFilterID, work_name.data()));
        }
      }
      if ((work & (kSumMax | kSumMin | kSumSum | kSumAverage)) == 0) continue;

      MeasurePass pass;
      pass.sorted = sorted.get();
      pass.counts = counts.get();
      MeasureBlocks blocks;
      SetUpMeasurePass(work, type, measure, g_size, request_.round_factor(m), &pass, &blocks);
      if (n > 0) {
        RunAccumulation(pass, ranges);
        RunFinish(pass, groups);
      }

      TFilter* built = nullptr;
      for (const int bit : {kSumMax, kSumMin}) {
        if ((work & bit) == 0) continue;
        const int code = PutMaxMinFilter(bit, request_.decimals(m), groups,
                                         bit == kSumMax ? pass.max : pass.min, measure, &built);
        if (code < 0) throw CQ7Exception(code);
        output_.AppendOwned(built);
      }
      for (const int bit : {kSumSum, kSumAverage}) {
        // SUM is written when asked for; AVERAGE also brought SUM into the working mask.
        if (((bit == kSumSum ? asked : work) & bit) == 0) continue;
        const std::string column = Bracketed(bit == kSumSum ? "SUM" : "AVG", measure_name);
        if (type == Q7_TYPE_DECIMAL) {
          const int id = AppendGenerated(output_, column, Q7_TYPE_DECIMAL, groups, 16,
                                         bit == kSumSum ? pass.dsums : pass.davgs);
          static_cast<TNumericArray*>(output_.table()->GetFilter(id)->VL)->SetDecimalInfo(&pass.info);
        } else {
          AppendGenerated(output_, column, Q7_TYPE_DOUBLE, groups, 8, bit == kSumSum ? pass.sums : pass.avgs);
        }
      }
    }
    return result_;
  });
}

TFilter* TNonCubeSum::MppGenFilter2(char* name, int type, int count, int width, const void* values) {
  if (name == nullptr || !ToFileName(name)) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
  if (type < Q7_TYPE_INTEGER || type > Q7_TYPE_DECIMAL) throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  const int basic =
      type == Q7_TYPE_DATE || type == Q7_TYPE_TIME || type == Q7_TYPE_DATETIME ? Q7_TYPE_DOUBLE : type;
  if (width != ValueTypeWidth(basic) || count < 0 || count == INT32_MAX) {
    throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
  }
  ZpkBlock<int> rows;
  int n_values = 0;
  void* list = nullptr;
  MppCompileWithNull(count, basic, width, values, rows.Out(), &n_values, &list);
  std::unique_ptr<TBaseArray> value_list(AdoptCompiledList(type, n_values, list));
  auto numbers = std::make_unique<TIntArray>(count + 1, rows.get());
  rows.Release();
  auto filter = std::make_unique<TFilter>(kFreeFilterID, name);
  filter->PV = numbers.release();
  filter->VL = value_list.release();
  return filter.release();
}

int TNonCubeSum::mpp_noncube_measure(void* param) {
  return TaskFrame([&] { return Accumulate(Param(param)); });
}

int TNonCubeSum::mpp_noncube_measure_finit(void* param) {
  return TaskFrame([&] { return Finish(Param(param)); });
}

// ---- The counting-sort variant ----

namespace {

// Worker parameter block of tasks 29 and 28.
struct CountingParam {
  MppParamHeader header;
  TNonCubeSum* sum;
  const int* sorted;  // record numbers, ordered by the dimensions
  // Task 29: the range [from, to) of sorted positions; the groups that start in it go to
  // first_rows and counts from index `from` on, and `lead` receives the rows before the first of
  // them (they close the previous range's last group).
  int from;
  int to;
  int* first_rows;
  int* counts;
  int groups;
  int lead;
  // Task 28: the groups and their row counts, and whether any measure rounds its sums.
  int n_groups;
  const int* group_counts;
  int rounding;
};

CountingParam* CountingBlock(int t) { return PoolParam<CountingParam>(t); }

// Whether sorted position i (i > 0) holds other dimension values than position i - 1.
bool OpensGroup(const TNonCubeSum& s, const int* sorted, int i) {
  for (int d = 0; d < s.request().n_dims(); ++d) {
    const int* vno = s.request().dim_filter(d)->PV->PIntAr();
    if (vno[sorted[i]] != vno[sorted[i - 1]]) return true;
  }
  return false;
}

int GroupRange(CountingParam* p) {
  const TNonCubeSum& s = *p->sum;
  int groups = 0;
  int lead = 0;
  for (int i = p->from; i < p->to; ++i) {
    if (i == 0 || OpensGroup(s, p->sorted, i)) {
      p->first_rows[p->from + groups] = p->sorted[i];
      p->counts[p->from + groups] = 0;
      ++groups;
    }
    if (groups == 0) {
      ++lead;
    } else {
      ++p->counts[p->from + groups - 1];
    }
  }
  p->groups = groups;
  p->lead = lead;
  return groups;
}

// The lowest unclaimed measure (claimed now), or -1 when none is left.
int ClaimMeasure(TNonCubeSum* s) {
  CSmpEngine* eng = CSmpEngine::Instance();
  eng->mt_write_lock();
  int m = -1;
  for (int i = 0; i < s->request().n_measures() && m < 0; ++i) {
    if (s->mpp_claimed_[i] == 0) {
      s->mpp_claimed_[i] = 1;
      m = i;
    }
  }
  eng->mt_write_unlock();
  return m;
}

// Measure m's columns over the groups, as free-standing filters in its slots (COUNT, MAX, MIN, SUM,
// AVG as asked). Runs on a worker: the sums are accumulated here, not on the pool.
void BuildMeasure(TNonCubeSum* s, int m, const CountingParam& p) {
  TFilter* measure = s->request().measure_filter(m);
  const int type = s->request().measure_type(m);
  const int asked = s->request().asked_mask(m);
  const int work = s->request().work_mask(m);
  const int groups = p.n_groups;
  const char* measure_name = measure->FFilterName;
  TFilter** slots = s->mpp_measure_columns_[m];
  int& built = s->mpp_measure_column_count_[m];
  auto keep = [&](TFilter* f) { slots[built++] = f; };

  if (asked & kSumCount) {
    std::vector<char> name = NameBuffer(Bracketed("N", measure_name));
    // One worker builds the count column; the others copy the finished one.
    CSmpEngine* eng = CSmpEngine::Instance();
    eng->mt_write_lock();
    try {
      if (s->mpp_shared_count_ == nullptr) {
        keep(GenFilter2(TNonCubeSum::kFreeFilterID, name.data(), Q7_TYPE_INTEGER, groups, 4, p.group_counts));
        s->mpp_shared_count_ = slots[built - 1];
      } else {
        keep(s->mpp_shared_count_->CopyFilter(TNonCubeSum::kFreeFilterID, name.data()));
      }
    } catch (...) {
      eng->mt_write_unlock();
      throw;
    }
    eng->mt_write_unlock();
  }
  if ((work & (kSumMax | kSumMin | kSumSum | kSumAverage)) == 0) return;

  const size_t g_size = static_cast<size_t>(groups) + 1;
  MeasurePass pass;
  pass.sorted = p.sorted;
  pass.counts = p.group_counts;
  MeasureBlocks blocks;
  SetUpMeasurePass(work, type, measure, g_size, p.rounding != 0 ? s->request().round_factor(m) : 0, &pass,
                   &blocks);
  int rows = 0;
  for (int g = 0; g < groups; ++g) rows += p.group_counts[g];
  MeasureParam range{};
  range.pass = &pass;
  range.from = 0;
  range.to = rows;
  range.first_group = 0;
  Accumulate(&range);
  range.from = 0;
  range.to = groups;
  Finish(&range);

  for (const int bit : {kSumMax, kSumMin}) {
    if ((asked & bit) == 0) continue;
    TFilter* column = nullptr;
    const int code = TNonCubeSum::PutMaxMinFilter(bit, s->request().decimals(m), groups,
                                                  bit == kSumMax ? pass.max : pass.min, measure, &column);
    if (code < 0) throw CQ7Exception(code);
    keep(column);
  }
  for (const int bit : {kSumSum, kSumAverage}) {
    if ((asked & bit) == 0) continue;
    std::vector<char> name = NameBuffer(Bracketed(bit == kSumSum ? "SUM" : "AVG", measure_name));
    if (type == Q7_TYPE_DECIMAL) {
      TFilter* column = GenFilter2(TNonCubeSum::kFreeFilterID, name.data(), Q7_TYPE_DECIMAL, groups, 16,
                                   bit == kSumSum ? pass.dsums : pass.davgs);
      keep(column);
      static_cast<TNumericArray*>(column->VL)->SetDecimalInfo(&pass.info);
    } else {
      keep(GenFilter2(TNonCubeSum::kFreeFilterID, name.data(), Q7_TYPE_DOUBLE, groups, 8,
                      bit == kSumSum ? pass.sums : pass.avgs));
    }
  }
}

}  // namespace

int TNonCubeSum::mpp_summary_unique(void* param) {
  return TaskFrame([&] { return GroupRange(static_cast<CountingParam*>(param)); });
}

int TNonCubeSum::mpp_summary_measure(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<CountingParam*>(param);
    TNonCubeSum* s = p->sum;
    // Worker i starts with measure i, which the driver claimed for it.
    for (int m = p->header.index; m >= 0; m = ClaimMeasure(s)) BuildMeasure(s, m, *p);
    return 0;
  });
}

int TNonCubeSum::MppNonCubeRealDimN() {
  auto* source = static_cast<TRealTable*>(request_.table());
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // The temporary set of representative rows goes on every path, and the set that was current
  // before the call is current again.
  RoadUndo undo;
  undo.source = source;
  // Built columns the table has not taken go with the call, on every path.
  struct Leftovers {
    TNonCubeSum* s;
    ~Leftovers() {
      for (int m = 0; m < kMaxColumns; ++m) {
        for (int j = 0; j < kMaxMeasureColumns; ++j) {
          delete s->mpp_measure_columns_[m][j];
          s->mpp_measure_columns_[m][j] = nullptr;
        }
        s->mpp_measure_column_count_[m] = 0;
      }
      s->mpp_shared_count_ = nullptr;
    }
  } leftovers{this};
  return RunRoad(&undo, [&] {
    result_ = 0;
    if (db == nullptr || request_.is_join() || source == nullptr || request_.set() == nullptr) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    }
    InitJoin();
    undo.restore_set = source->GetCurrentSetID();
    // Pending values carry negative value numbers; the sort and the measures need them merged.
    source->CheckMergeFilterTVL(true);
    const int n = request_.set()->FArraySize;

    // One stable counting sort per dimension, the last first, so that the first dimension decides
    // first; two buffers take turns.
    ZpkBlock<int> sorted(static_cast<size_t>(std::max(n, 1)));
    if (n > 0) std::memcpy(sorted.get(), request_.set()->PIntAr(), sizeof(int) * static_cast<size_t>(n));
    if (n > 0 && request_.n_dims() > 0) {
      ZpkBlock<int> spare(static_cast<size_t>(n));
      for (int d = request_.n_dims() - 1; d >= 0; --d) {
        TFilter* dim = request_.dim_filter(d);
        MppCountingSort(0, n, sorted.get(), spare.get(), dim->PV->PIntAr(), dim->VL->FArraySize, 0);
        std::swap(sorted, spare);
      }
    }

    // The groups, found range by range on the pool, then moved together in range order; the rows
    // a range holds before its first group start close the group before it.
    ZpkBlock<int> first_rows(static_cast<size_t>(std::max(n, 1)));
    ZpkBlock<int> counts(static_cast<size_t>(std::max(n, 1)));
    int groups = 0;
    if (n > 0) {
      const int w = std::max(1, KernelThreads(n));
      for (int t = 0; t < w; ++t) {
        CountingParam* p = CountingBlock(t);
        p->sum = this;
        p->sorted = sorted.get();
        p->from = static_cast<int>(static_cast<int64_t>(n) * t / w);
        p->to = static_cast<int>(static_cast<int64_t>(n) * (t + 1) / w);
        p->first_rows = first_rows.get();
        p->counts = counts.get();
        p->groups = 0;
        p->lead = 0;
      }
      RunKernelTask(w, kMppTaskSummaryUnique);
      for (int t = 0; t < w; ++t) {
        const CountingParam* p = CountingBlock(t);
        if (p->lead > 0) {
          if (groups == 0) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
          counts[groups - 1] += p->lead;
        }
        for (int g = 0; g < p->groups; ++g) {
          first_rows[groups + g] = first_rows[p->from + g];
          counts[groups + g] = counts[p->from + g];
        }
        groups += p->groups;
      }
    }

    // The output table: one representative row per group, with the dimension columns.
    {
      TSetArray reps(groups, 0);
      if (groups > 0) std::memcpy(reps.PIntAr(), first_rows.get(), sizeof(int) * static_cast<size_t>(groups));
      const int added = source->AddSet(&reps);
      if (added < 0) throw CQ7Exception(added);
      undo.temp_set = added;
    }
    first_rows.Reset();
    ExtractOutputTable(db, &undo);

    if (request_.n_measures() == 0) {
      output_.AppendValues("N", Q7_TYPE_INTEGER, groups, 4, counts.get());
      return result_;
    }

    // Measures 0 .. W - 1 start the workers; each worker then claims the next free one.
    bool rounding = false;
    for (int m = 0; m < request_.n_measures(); ++m) rounding = rounding || request_.round_factor(m) != 0.0;
    const int workers = std::max(1, std::min(KernelActiveThreads(), request_.n_measures()));
    for (int m = 0; m < kMaxColumns; ++m) mpp_claimed_[m] = m < workers ? 1 : 0;
    for (int t = 0; t < workers; ++t) {
      CountingParam* p = CountingBlock(t);
      p->sum = this;
      p->sorted = sorted.get();
      p->n_groups = groups;
      p->group_counts = counts.get();
      p->rounding = rounding ? 1 : 0;
    }
    RunKernelTask(workers, kMppTaskSummaryMeasure);
    mpp_shared_count_ = nullptr;
    // Request order, whichever worker built a measure: the table must not depend on the workers.
    for (int m = 0; m < request_.n_measures(); ++m) {
      for (int j = 0; j < mpp_measure_column_count_[m]; ++j) {
        output_.AppendFree(&mpp_measure_columns_[m][j]);
      }
    }
    return result_;
  });
}
