// The non-cube summary of a join set, serial road. The joined rows are never formed: each side's
// rows are grouped by that side's dimensions, then laid out by join key, so that within a key value
// every group is one run. Every master run of a key meets every slave run of the same key (a
// combination), and equal (master group, slave group) pairs make one output row. Counts and sums
// are weighted by the partner run's length, so the work grows with the rows of the two sides and
// the combinations, not with the joined rows.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "kernels/CountingSort.h"
#include "summary/SummaryBits.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/NonCubeJoinParts.h"
#include "summary/noncube/TNonCubeSum.h"
#include "summary/noncube/UsedValues.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

using noncube_join::AtLeastOne;
using noncube_join::DimCount;
using noncube_join::Dims;
using noncube_join::ForEachKey;
using noncube_join::ReturningStep;
using noncube_join::Run;
using noncube_join::SideKey;
using noncube_join::SideRows;
using noncube_join::Work;

namespace {

constexpr int kNoMin = INT_MAX;
constexpr int kMaxOutputRows = 1000000000;

// A step that passes its failure on, the work arrays freed.
template <class Body>
int ThrowingStep(TNonCubeSum* s, Body&& body) {
  try {
    body();
    return 0;
  } catch (const std::bad_alloc&) {
    s->InitJoinXSum();
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  } catch (...) {
    s->InitJoinXSum();
    throw;
  }
}

// Step1 / Step6: the side's rows (an outer join's lists hold 0 for "no record"; those are left
// out), stably sorted by the side's dimensions, first dimension most significant.
void SortSide(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  TSetArray* set = SideRows(s, side);
  const int n_in = set != nullptr ? set->FArraySize : 0;
  const int* in = n_in > 0 ? set->PIntAr() : nullptr;
  const int limit = SideKey(s, side)->PV->FArraySize;
  ZpkBlock<int> rows(AtLeastOne(n_in));
  int n = 0;
  for (int i = 0; i < n_in; ++i) {
    const int r = in[i];
    if (s.request().outer() != 0 && r <= 0) continue;
    if (r < 0 || r >= limit) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    rows[n++] = r;
  }
  const int n_dims = DimCount(s, side);
  if (n_dims > 0 && n > 1) {
    ZpkBlock<int> spare(AtLeastOne(n));
    for (int i = n_dims - 1; i >= 0; --i) {
      TFilter* f = s.request().dim_filter(Dims(s, side)[i]);
      CountingSort(0, n, rows.get(), spare.get(), f->PV->PIntAr(), f->VL->FArraySize);
      std::swap(rows, spare);
    }
  }
  w.rows = std::move(rows);
  w.row_count = n;
}

// Step2 / Step7: group numbers over the sorted rows, the representatives, and the group that shows
// NULL in every dimension.
void GroupSide(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int n_dims = DimCount(s, side);
  s.join_work().SetNullGroup(side, 0);
  if (n_dims == 0) {
    // Every row is in group 0; the groups need no array.
    w.group_count = 1;
    w.reps = ZpkBlock<int>(1);
    w.reps[0] = 0;
    return;
  }
  std::vector<const int*> vno(static_cast<size_t>(n_dims));
  std::vector<int> n_values(static_cast<size_t>(n_dims));
  for (int i = 0; i < n_dims; ++i) {
    TFilter* f = s.request().dim_filter(Dims(s, side)[i]);
    vno[i] = f->PV->PIntAr();
    n_values[i] = f->VL->FArraySize;
  }
  const int n = w.row_count;
  ZpkBlock<int> group(AtLeastOne(n));
  std::vector<int> reps{0};
  const int* rows = w.rows.get();
  int g = 0;
  for (int i = 0; i < n; ++i) {
    bool opens = i == 0;
    for (int d = 0; d < n_dims && !opens; ++d) opens = vno[d][rows[i]] != vno[d][rows[i - 1]];
    if (opens) {
      reps.push_back(rows[i]);
      ++g;
    }
    group[i] = g;
  }
  const int group_count = g + 1;
  if (static_cast<int>(reps.size()) != group_count) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  ZpkBlock<int> rep_block(AtLeastOne(group_count));
  std::memcpy(rep_block.get(), reps.data(), sizeof(int) * reps.size());
  // A side without a record reads NULL in every column, as the join's own reads do.
  for (int candidate = 1; candidate < group_count && s.join_work().null_group(side) == 0; ++candidate) {
    bool same = true;
    for (int d = 0; d < n_dims && same; ++d) same = vno[d][reps[candidate]] == 0;
    if (same) s.join_work().SetNullGroup(side, candidate);
  }
  w.group_of_row = std::move(group);
  w.group_count = group_count;
  w.reps = std::move(rep_block);
}

// Step3 / Step8: rows (and groups) stably by key value number.
void ScatterSideByKey(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int n = w.row_count;
  const int k_count = s.join_work().key_count();
  const int* key = SideKey(s, side)->PV->PIntAr();
  std::vector<int> pos(AtLeastOne(k_count), 0);
  for (int i = 0; i < n; ++i) {
    const int v = key[w.rows[i]];
    if (v < 0 || v >= k_count) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    ++pos[v];
  }
  if (k_count > 0) Aggregate(0, k_count, pos.data(), pos.data());
  ZpkBlock<int> rows(AtLeastOne(n));
  const bool grouped = static_cast<bool>(w.group_of_row);
  ZpkBlock<int> groups;
  if (grouped) groups = ZpkBlock<int>(AtLeastOne(n));
  for (int i = 0; i < n; ++i) {
    const int at = pos[key[w.rows[i]]]++;
    rows[at] = w.rows[i];
    if (grouped) groups[at] = w.group_of_row[i];
  }
  w.rows = std::move(rows);
  if (grouped) w.group_of_row = std::move(groups);
}

// Step4 / Step9: the first position of each key value; entry K is the row count.
void KeyStartsOfSide(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int k_count = s.join_work().key_count();
  const int* key = SideKey(s, side)->PV->PIntAr();
  ZpkBlock<int> starts(static_cast<size_t>(k_count) + 1);
  std::memset(starts.get(), 0, sizeof(int) * (static_cast<size_t>(k_count) + 1));
  for (int i = 0; i < w.row_count; ++i) ++starts[key[w.rows[i]]];
  Aggregate(0, k_count + 1, starts.get(), starts.get());
  if (starts[k_count] != w.row_count) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  w.key_starts = std::move(starts);
}

// Step5 / Step10: the length of each run of one group within one key, at the run's first position.
void RunLengthsOfSide(TNonCubeSum& s, int side) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  // Without dimensions a key's whole bucket is one run, which the walk reads from the key starts.
  if (DimCount(s, side) == 0) return;
  ZpkBlock<int> lengths(AtLeastOne(w.row_count));
  for (int k = 0; k < s.join_work().key_count(); ++k) {
    const int end = w.key_starts[k + 1];
    int first = w.key_starts[k];
    for (int p = first; p < end; ++p) {
      if (p + 1 == end || w.group_of_row[p + 1] != w.group_of_row[first]) {
        lengths[first] = p + 1 - first;
        for (int q = first + 1; q <= p; ++q) lengths[q] = -1;
        first = p + 1;
      }
    }
  }
  w.run_lengths = std::move(lengths);
}

std::string Bracketed(const char* prefix, const char* name) {
  char out[TFilter::kNameSize];
  noncube_join::BracketName(prefix, name, out);
  return out;
}

}  // namespace

// ---- Shared with the parallel road ----

namespace noncube_join {

void BracketName(const char* prefix, const char* name, char* out) {
  if (name == nullptr || name[0] == '\0') {
    if (std::strcmp(prefix, "N") == 0) {
      std::snprintf(out, TFilter::kNameSize, "N");
      return;
    }
    name = "";
  }
  std::snprintf(out, TFilter::kNameSize, "%s<%.248s>", prefix, name);
}

void PrepareColumns(TNonCubeSum& s, bool parallel) {
  auto merge = [parallel](TFilter* f) {
    if (f->TVL != nullptr && f->TVLCount > 0) f->MergeTVL(parallel);
  };
  for (int d = 0; d < s.request().n_dims(); ++d) merge(s.request().dim_filter(d));
  for (int m = 0; m < s.request().n_measures(); ++m) merge(s.request().measure_filter(m));
  TFilter* master_key = s.request().side_key(0);
  TFilter* slave_key = s.request().side_key(1);
  if (master_key == nullptr || slave_key == nullptr || master_key->VL == nullptr ||
      slave_key->VL == nullptr) {
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
  const int k_count = master_key->VL->FArraySize;
  // Both key columns number into one value list, so equal numbers are partners.
  if (slave_key->VL->FArraySize != k_count) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  s.join_work().SetKeyCount(k_count);
  const int limits[2] = {master_key->PV->FArraySize, slave_key->PV->FArraySize};
  for (int d = 0; d < s.request().n_dims(); ++d) {
    if (s.request().dim_filter(d)->PV->FArraySize < limits[DimSide(s, d)])
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  }
  for (int m = 0; m < s.request().n_measures(); ++m) {
    if (s.request().measure_filter(m)->PV->FArraySize < limits[MeasureSide(s, m)]) {
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    }
  }
}

namespace {

// A run's values before weighting.
struct RunAggregate {
  int max = 0;
  int min = kNoMin;
  int64_t int_sum = 0;
  double sum = 0;
  RoundedSum rounded;
  Numeric dsum{};
};

}  // namespace

MeasureShape ShapeOf(const TNonCubeSum& s, int m) {
  MeasureShape sh{};
  sh.side = MeasureSide(s, m);
  sh.type = s.request().measure_type(m);
  const int work = s.request().work_mask(m);
  sh.want_max = (work & kSumMax) != 0;
  sh.want_min = (work & kSumMin) != 0;
  sh.want_sum = (work & kSumSum) != 0 && sh.type != Q7_TYPE_STRING;
  sh.rounding = sh.want_sum && sh.type == Q7_TYPE_DOUBLE && s.request().round_factor(m) > 0;
  sh.factor = static_cast<double>(static_cast<long long>(s.request().round_factor(m)));
  return sh;
}

void StartSums(const TNonCubeSum& s, const MeasureShape& sh, MeasureSums* out,
               std::vector<RoundedSum>* rounded) {
  const size_t size = AtLeastOne(s.join_work().out_row_count());
  if (sh.rounding) rounded->assign(size, RoundedSum{});
  if (sh.want_max) {
    out->max = ZpkBlock<int>(size);
    std::memset(out->max.get(), 0, sizeof(int) * size);
  }
  if (sh.want_min) {
    out->min = ZpkBlock<int>(size);
    std::fill(out->min.get(), out->min.get() + size, kNoMin);
  }
  if (sh.want_sum && sh.type == Q7_TYPE_DECIMAL) {
    out->dsum = ZpkBlock<Numeric>(size);
    for (size_t r = 0; r < size; ++r) q7num::NumericSetZero(&out->dsum[r]);
  } else if (sh.want_sum) {
    out->sum = ZpkBlock<double>(size);
    std::fill(out->sum.get(), out->sum.get() + size, 0.0);
  }
}

void FinishSums(const TNonCubeSum& s, const MeasureShape& sh, const std::vector<RoundedSum>& rounded,
                MeasureSums* out) {
  if (sh.rounding) {
    for (int r = 0; r < s.join_work().out_row_count(); ++r) out->sum[r] = RoundedValue(rounded[r], sh.factor);
  }
  if (sh.want_min) {
    for (int r = 0; r < s.join_work().out_row_count(); ++r) {
      if (out->min[r] == kNoMin) out->min[r] = 0;
    }
  }
}

void AccumulateMeasure(const TNonCubeSum& s, int m, MeasureSums* out) {
  const MeasureShape sh = ShapeOf(s, m);
  TFilter* f = s.request().measure_filter(m);
  const int* pv = f->PV->PIntAr();
  const int n_values = f->VL->FArraySize;
  std::vector<RoundedSum> rounded;
  StartSums(s, sh, out, &rounded);

  const int* ints = static_cast<const int*>(f->VL->FData);
  const double* doubles = static_cast<const double*>(f->VL->FData);
  const Numeric* decimals = static_cast<const Numeric*>(f->VL->FData);
  const int* side_rows = Work(s, sh.side).rows.get();
  const int* carried = s.mpp_measure_vno_[m].get();

  auto aggregate = [&](const Run& run, RunAggregate* a) {
    *a = RunAggregate{};
    q7num::NumericSetZero(&a->dsum);
    for (int p = run.pos; p < run.pos + run.len; ++p) {
      const int v = carried != nullptr ? carried[p] : pv[side_rows[p]];
      if (v < 0 || v >= n_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
      if (v > a->max) a->max = v;
      // NULL (the empty text of a STRING list) is skipped, as on every other road.
      if (v != 0 && v < a->min) a->min = v;
      if (v == 0 || !sh.want_sum) continue;
      switch (sh.type) {
        case Q7_TYPE_INTEGER:
          a->int_sum += ints[v];
          break;
        case Q7_TYPE_DECIMAL:
          q7num::NumericAdd(&a->dsum, &decimals[v], &a->dsum);
          break;
        default:
          if (sh.rounding) {
            AddRounded(doubles[v], sh.factor, &a->rounded);
          } else {
            a->sum += doubles[v];
          }
          break;
      }
    }
  };

  int64_t c = 0;
  std::vector<RunAggregate> slave_aggregates;
  RunAggregate master_aggregate;
  ForEachKey(s, [&](int, const std::vector<Run>& master, const std::vector<Run>& slave) {
    if (sh.side == 1) {
      slave_aggregates.resize(slave.size());
      for (size_t j = 0; j < slave.size(); ++j) {
        if (slave[j].len > 0) aggregate(slave[j], &slave_aggregates[j]);
      }
    }
    for (const Run& mr : master) {
      if (sh.side == 0 && mr.len > 0) aggregate(mr, &master_aggregate);
      for (size_t j = 0; j < slave.size(); ++j) {
        if (c >= s.join_work().comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
        const int r = s.join_work().comb_out_row()[static_cast<size_t>(c++)];
        const Run& own = sh.side == 0 ? mr : slave[j];
        if (own.len == 0) continue;
        const Run& partner = sh.side == 0 ? slave[j] : mr;
        AddWeighted(sh, sh.side == 0 ? master_aggregate : slave_aggregates[j], partner.Weight(), r, out,
                    &rounded);
      }
    }
  });
  if (c != s.join_work().comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  FinishSums(s, sh, rounded, out);
}

void AverageInPlace(const TNonCubeSum& s, int m, MeasureSums* sums) {
  const bool decimal = s.request().measure_type(m) == Q7_TYPE_DECIMAL;
  NumericInfo info{};
  if (decimal) static_cast<TNumericArray*>(s.request().measure_filter(m)->VL)->GetDecimalInfo(&info);
  for (int r = 0; r < s.join_work().out_row_count(); ++r) {
    const int count = s.join_work().out_counts()[r];
    if (count <= 0) continue;
    if (decimal) {
      q7num::NumericDiv(&sums->dsum[r], &info, count);
    } else {
      sums->sum[r] /= count;
    }
  }
}

void BuildDimension(const TNonCubeSum& s, int d, std::unique_ptr<TIntArray>* rows_out,
                    std::unique_ptr<TBaseArray>* list_out) {
  const int side = DimSide(s, d);
  const TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int* out_group = s.join_work().out_group(side);
  TFilter* f = s.request().dim_filter(d);
  TBaseArray* vl = f->VL;
  const int* pv = f->PV->PIntAr();
  const int n_values = vl->FArraySize;
  const int n_rows = s.join_work().out_row_count();

  auto rows = std::make_unique<TIntArray>(n_rows + 1, 1);
  int* numbers = rows->PIntAr();
  numbers[0] = 0;
  for (int r = 0; r < n_rows; ++r) {
    const int g = out_group[r];
    if (g < 0 || g >= w.group_count) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    // Group 0 stands for no record: NULL.
    const int record = w.reps[g];
    const int v = record == 0 ? 0 : pv[record];
    if (v < 0 || v >= n_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    numbers[r + 1] = v;
  }
  const UsedValues used = CollectUsedValues(n_values, n_rows, numbers + 1);
  std::unique_ptr<TBaseArray> list = ListOfValues(vl, used.kept);
  const int type = list->GetDataType();
  // The kind (date, time, datetime), the display settings and a decimal's scale travel with the
  // list; a text list has none.
  if (type != Q7_TYPE_STRING) std::memcpy(list->FUserArea, vl->FUserArea, sizeof list->FUserArea);
  if (type == Q7_TYPE_DOUBLE) {
    static_cast<TDoubleArray*>(list.get())
        ->SetDispType(static_cast<int8_t>(vl->FUserArea[6]), static_cast<int8_t>(vl->FUserArea[7]));
  } else if (type == Q7_TYPE_DECIMAL) {
    NumericInfo info{};
    static_cast<TNumericArray*>(vl)->GetDecimalInfo(&info);
    static_cast<TNumericArray*>(list.get())->SetDecimalInfo(&info);
  }
  for (int r = 1; r <= n_rows; ++r) numbers[r] = used.NewNumber(numbers[r]);
  *rows_out = std::move(rows);
  *list_out = std::move(list);
}

}  // namespace noncube_join

// ---- The steps ----

int TNonCubeSum::Step1() {
  return ThrowingStep(this, [&] { SortSide(*this, 1); });
}
int TNonCubeSum::Step2() {
  return ReturningStep(this, [&] { GroupSide(*this, 1); });
}
int TNonCubeSum::Step3() {
  return ReturningStep(this, [&] { ScatterSideByKey(*this, 1); });
}
int TNonCubeSum::Step4() {
  return ReturningStep(this, [&] { KeyStartsOfSide(*this, 1); });
}
int TNonCubeSum::Step5() {
  return ReturningStep(this, [&] { RunLengthsOfSide(*this, 1); });
}
int TNonCubeSum::Step6() {
  return ThrowingStep(this, [&] { SortSide(*this, 0); });
}
int TNonCubeSum::Step7() {
  return ThrowingStep(this, [&] { GroupSide(*this, 0); });
}
int TNonCubeSum::Step8() {
  return ReturningStep(this, [&] { ScatterSideByKey(*this, 0); });
}
int TNonCubeSum::Step9() {
  return ReturningStep(this, [&] { KeyStartsOfSide(*this, 0); });
}
int TNonCubeSum::Step10() {
  return ReturningStep(this, [&] { RunLengthsOfSide(*this, 0); });
}

int TNonCubeSum::Step11() {
  return ReturningStep(this, [&] {
    int64_t count = 0;
    ForEachKey(*this, [&](int, const std::vector<Run>& master, const std::vector<Run>& slave) {
      count += static_cast<int64_t>(master.size()) * static_cast<int64_t>(slave.size());
    });
    join_work_.SetCombCount(count);
  });
}

int TNonCubeSum::Step12() {
  return ReturningStep(this, [&] {
    const size_t size = AtLeastOne(join_work_.comb_count());
    ZpkBlock<int> master_group(size);
    ZpkBlock<int> slave_group(size);
    int64_t c = 0;
    ForEachKey(*this, [&](int, const std::vector<Run>& master, const std::vector<Run>& slave) {
      for (const Run& mr : master) {
        for (const Run& sr : slave) {
          if (c >= join_work_.comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
          // A side without rows shows NULLs: the group that has them, if any.
          master_group[static_cast<size_t>(c)] = mr.len > 0 ? mr.group : join_work_.null_group(0);
          slave_group[static_cast<size_t>(c)] = sr.len > 0 ? sr.group : join_work_.null_group(1);
          ++c;
        }
      }
    });
    if (c != join_work_.comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    join_work_.SetCombGroups(std::move(master_group), std::move(slave_group));
  });
}

int TNonCubeSum::Step13() {
  return ReturningStep(this, [&] {
    const int n = static_cast<int>(join_work_.comb_count());
    ZpkBlock<int> order(AtLeastOne(n));
    for (int i = 0; i < n; ++i) order[i] = i;
    ZpkBlock<int> spare(AtLeastOne(n));
    // Least significant first: the counting sorts are stable.
    if (request_.side_dim_count(1) > 0 && n > 1) {
      CountingSort(0, n, order.get(), spare.get(), join_work_.comb_slave_group(),
                   join_work_.side(1).group_count);
      std::swap(order, spare);
    }
    if (request_.side_dim_count(0) > 0 && n > 1) {
      CountingSort(0, n, order.get(), spare.get(), join_work_.comb_master_group(),
                   join_work_.side(0).group_count);
      std::swap(order, spare);
    }
    join_work_.SetCombOrder(std::move(order));
  });
}

int TNonCubeSum::Step14() {
  int64_t rows = 0;
  const int code = ReturningStep(this, [&] {
    const int n = static_cast<int>(join_work_.comb_count());
    ZpkBlock<int> master_group(AtLeastOne(n));
    ZpkBlock<int> slave_group(AtLeastOne(n));
    ZpkBlock<int> out_row(AtLeastOne(n));
    int prev_master = -1;
    int prev_slave = -1;
    for (int i = 0; i < n; ++i) {
      const int c = join_work_.comb_order()[i];
      const int mg = join_work_.comb_master_group()[c];
      const int sg = join_work_.comb_slave_group()[c];
      if (mg != prev_master || sg != prev_slave) {
        master_group[static_cast<size_t>(rows)] = mg;
        slave_group[static_cast<size_t>(rows)] = sg;
        ++rows;
        prev_master = mg;
        prev_slave = sg;
      }
      out_row[c] = static_cast<int>(rows - 1);
    }
    if (rows <= kMaxOutputRows) {
      join_work_.SetOutputRows(static_cast<int>(rows), std::move(master_group), std::move(slave_group),
                               std::move(out_row));
    }
  });
  if (code < 0) return code;
  if (rows > kMaxOutputRows) {
    InitJoinXSum();
    throw CQ7Exception(Q7_ERROR_SUMMARY_CELLS_LIMIT);
  }
  return 0;
}

int TNonCubeSum::Step15() {
  return ReturningStep(this, [&] {
    for (int d = 0; d < request_.n_dims(); ++d) {
      std::unique_ptr<TIntArray> rows;
      std::unique_ptr<TBaseArray> list;
      noncube_join::BuildDimension(*this, d, &rows, &list);
      char name[TFilter::kNameSize];
      qz7_strlcpy(name, request_.dim_filter(d)->FFilterName, sizeof name);
      const int id =
          output_.table()->AddFilter(TRealTable::kAppendPosition, name, rows.get(), list.get(), false, 0, -1);
      if (id < 0) throw CQ7Exception(id);
      rows.release();
      list.release();
      SetupSummaryInfo(id, request_.dim_filter(d)->FFilterID, 1, 0);
    }
  });
}

int TNonCubeSum::Step17() {
  return ReturningStep(this, [&] {
    std::vector<int64_t> counts(AtLeastOne(join_work_.out_row_count()), 0);
    int64_t c = 0;
    ForEachKey(*this, [&](int, const std::vector<Run>& master, const std::vector<Run>& slave) {
      for (const Run& mr : master) {
        for (const Run& sr : slave) {
          if (c >= join_work_.comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
          counts[static_cast<size_t>(join_work_.comb_out_row()[static_cast<size_t>(c++)])] +=
              mr.Weight() * sr.Weight();
        }
      }
    });
    if (c != join_work_.comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    ZpkBlock<int> out(AtLeastOne(join_work_.out_row_count()));
    out[0] = 0;
    for (int r = 0; r < join_work_.out_row_count(); ++r) {
      if (counts[r] > INT_MAX) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
      out[r] = static_cast<int>(counts[r]);
    }
    join_work_.SetOutCounts(std::move(out));
  });
}

int TNonCubeSum::Step18() {
  return ReturningStep(this, [&] {
    const int rows = join_work_.out_row_count();
    for (int m = 0; m < request_.n_measures(); ++m) {
      TFilter* measure = request_.measure_filter(m);
      const int asked = request_.asked_mask(m);
      const bool decimal = request_.measure_type(m) == Q7_TYPE_DECIMAL;
      const char* name = measure->FFilterName;
      noncube_join::MeasureSums sums;
      noncube_join::AccumulateMeasure(*this, m, &sums);

      if (asked & kSumCount) {
        const std::string column = Bracketed("N", name);
        int id = 0;
        if (output_.first_count_id() == 0) {
          id = output_.AppendValues(column, Q7_TYPE_INTEGER, rows, 4, join_work_.out_counts());
          output_.SetFirstCountID(id);
        } else {
          // Later COUNT columns repeat the first one under their own name, at the end.
          id = RepeatFirstCount(column);
        }
        SetupSummaryInfo(id, request_.measure_id(m), 2, kSumCount);
      }
      if (asked & kSumMax) {
        const int id = PutMaxMinFilter(kSumMax, request_.decimals(m), rows, sums.max.get(), measure);
        if (id < 0) throw CQ7Exception(id);
      }
      if (asked & kSumMin) {
        const int id = PutMaxMinFilter(kSumMin, request_.decimals(m), rows, sums.min.get(), measure);
        if (id < 0) throw CQ7Exception(id);
      }
      NumericInfo info{};
      if (decimal) static_cast<TNumericArray*>(measure->VL)->GetDecimalInfo(&info);
      for (int pass = 0; pass < 2; ++pass) {
        const int bit = pass == 0 ? kSumSum : kSumAverage;
        if (pass == 1 && (request_.work_mask(m) & kSumAverage) != 0)
          noncube_join::AverageInPlace(*this, m, &sums);
        if ((asked & bit) == 0) continue;
        const std::string column = Bracketed(pass == 0 ? "SUM" : "AVG", name);
        int id = 0;
        if (decimal) {
          id = output_.AppendValues(column, Q7_TYPE_DECIMAL, rows, 16, sums.dsum.get());
          static_cast<TNumericArray*>(output_.table()->GetFilter(id)->VL)->SetDecimalInfo(&info);
        } else {
          id = output_.AppendValues(column, Q7_TYPE_DOUBLE, rows, 8, sums.sum.get());
        }
        if (request_.decimals(m) >= 0) output_.SetDisplayDigits(id, request_.decimals(m));
        SetupSummaryInfo(id, request_.measure_id(m), 2, bit);
      }
    }
  });
}

// ---- The pipeline ----

int TNonCubeSum::JoinOutputTable(RoadUndo* undo, std::initializer_list<Step> steps) {
  for (const Step step : steps) {
    const int rc = (this->*step)();
    if (rc < 0) return FailRoad(undo, rc);
    if (step == &TNonCubeSum::Step11 && join_work_.comb_count() > NonCubeJoinWork::kMaxCombinations) {
      return FailRoad(undo, Q7_ERROR_SUMMARY_ROWS_OVERFLOW);
    }
  }
  TTableCollection* db = CSmpEngine::Instance()->Database();
  char name[kNameSize];
  qz7_strlcpy(name, request_.out_name(), sizeof name);
  const int out_id = db->AddRealTable(name, join_work_.out_row_count());
  if (out_id < 0) return FailRoad(undo, out_id);
  undo->out_id = out_id;
  result_ = out_id;
  output_.SetTable(static_cast<TRealTable*>(db->GetTable(out_id)));
  if (output_.table() == nullptr) return FailRoad(undo, Q7_ERROR_NO_SUCH_TABLE);
  return out_id;
}

int TNonCubeSum::NonCubeJoinDimNMsrN() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // Nothing half-built is left behind.
  RoadUndo undo;
  return RunRoad(&undo, [&] {
    if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    InitJoinXSum();
    noncube_join::PrepareColumns(*this, false);
    const int out_id = JoinOutputTable(
        &undo, {&TNonCubeSum::Step1, &TNonCubeSum::Step2, &TNonCubeSum::Step3, &TNonCubeSum::Step4,
                &TNonCubeSum::Step5, &TNonCubeSum::Step6, &TNonCubeSum::Step7, &TNonCubeSum::Step8,
                &TNonCubeSum::Step9, &TNonCubeSum::Step10, &TNonCubeSum::Step11, &TNonCubeSum::Step12,
                &TNonCubeSum::Step13, &TNonCubeSum::Step14});
    if (out_id < 0) return out_id;
    for (auto step : {&TNonCubeSum::Step15, &TNonCubeSum::Step17}) {
      const int rc = (this->*step)();
      if (rc < 0) return FailRoad(&undo, rc);
    }
    if (request_.n_measures() == 0) SetupSummaryInfo(RegCount(""), 0, 2, kSumCount);
    const int rc = Step18();
    if (rc < 0) return FailRoad(&undo, rc);
    InitJoinXSum();
    return out_id;
  });
}
