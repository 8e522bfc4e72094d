// The non-cube summary of a join set on the worker pool: the serial road's pipeline with the row
// copies, the dimension sorts and the key sorts of the two sides, the dimension columns and the
// measures done by workers. A side with neither dimensions nor measures needs no row order at all:
// its rows are only counted per key value. Nor does a side without dimensions whose measures sum
// exactly (INTEGER, rounded double kinds, or no sum): its rows are aggregated per key value in the
// same pass that counts them. When such a side sums plain DOUBLE values, whose sums depend on the
// order of the additions, each worker owns a range of key values and adds up, in the list's order,
// the rows of its own keys: a key's running sum in list order is its sum in the stable key sort's
// order, with no sort at all. A measure that keeps its rows' order has its runs aggregated on the
// whole pool when there are fewer measures than workers.
//
// Every parallel step leaves the arrays the serial step of the same number leaves, and the measures
// add up every run and every output row in the serial road's order (or exactly), so both roads give
// the same table, to the last bit, whatever the worker count.
#include <algorithm>
#include <climits>
#include <cstdint>
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
#include "foundation/FailureCode.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "kernels/MppCountingSort.h"
#include "summary/SummaryBits.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/NonCubeJoinParts.h"
#include "summary/noncube/TNonCubeSum.h"
#include "values/Numeric.h"
#include "values/PoolParam.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

using noncube_join::AddWeighted;
using noncube_join::AtLeastOne;
using noncube_join::DimCount;
using noncube_join::Dims;
using noncube_join::FinishSums;
using noncube_join::MeasureShape;
using noncube_join::ReturningStep;
using noncube_join::ShapeOf;
using noncube_join::SideKey;
using noncube_join::SideRows;
using noncube_join::StartSums;
using noncube_join::Work;
using noncube_join::WrapAdd;

namespace {

// What task 59 does for one worker's share of rows.
enum JoinRowMode : int {
  kCountKept = 0,         // count the entries to keep (an outer join's 0 entries are dropped)
  kCopyKept = 1,          // copy them from `offset` on, checking each record number
  kCountKeys = 2,         // per key value, count the rows (raw entries when `raw`)
  kPlaceKeys = 3,         // put each row (and its group) at its key's next position
  kAggregateKeys = 4,     // kCountKeys on a join set's list, and each measure's aggregate per key value
  kMergeKeys = 5,         // fold every worker's aggregates of the keys first .. first + count - 1 into
                          // worker 0's
  kPartOwnKeys = 6,       // put each row's key value, value numbers and plain DOUBLE values in the
                          // part of the worker owning its key, at the part's next position
  kAggregateOwnKeys = 7,  // each measure's aggregate per key value of key_from .. key_to - 1 from the
                          // part positions first .. first + count - 1, in their order
};

int g_batch_runs_for_test = 0;

// What task 57 does.
enum MeasureMode : int {
  kClaimMeasures = 0,  // claim measures and build their columns
  kMeasureRuns = 1,    // aggregate one measure's runs of the keys first .. first + count - 1
};

using KeyAggregate = TNonCubeSum::JoinKeyAggregate;

// One run's values before weighting, as the walk over the combinations takes them.
struct RunSlot {
  int max;
  int min;
  int64_t int_sum;
  double sum;
  RoundedSum rounded;
  Numeric dsum;
};

// What a measure adds up per key value in kAggregateKeys.
enum KeySum : int {
  kNoKeySum = 0,
  kIntegerKeySum = 1,  // INTEGER values
  kRoundedKeySum = 2,  // integer parts and scaled fractions of double-kind values
  kPlainKeySum = 3,    // DOUBLE values, in the order the rows come
};

// One measure of a side aggregated per key value.
struct KeyMeasure {
  const int* vno;  // value numbers by record number
  int n_values;
  int sum;  // KeySum
  bool min_max;
  const void* values;  // the value list's data
  double factor;       // kRoundedKeySum: the power of ten of the fraction
  KeyAggregate* out;   // the worker's own aggregates, one per key value
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
  int kept;          // kCountKept: entries kept
  int offset;        // kCopyKept: first output position
  int n_aggregated;  // kAggregateKeys, kMergeKeys: the side's measures
  KeyMeasure measures[TNonCubeSum::kMaxColumns];
  KeyAggregate* const* parts;  // kMergeKeys: worker t's aggregates of measure c at t * n_aggregated + c
  int n_parts;                 // kMergeKeys: the workers that aggregated
  int key_from;                // kAggregateOwnKeys: the worker's key values
  int key_to;
  const int* owner;                         // kPartOwnKeys: the worker owning each key value
  const int* next;                          // kPartOwnKeys: per owner, the share's first position in its part
  int n_owners;                             // kPartOwnKeys: the owners
  int* part_keys;                           // kPartOwnKeys, kAggregateOwnKeys: the parts' key values
  int* part_vno[TNonCubeSum::kMaxColumns];  // and each measure's value numbers (null: not needed)
  double* part_reals[TNonCubeSum::kMaxColumns];  // and a plain sum's values (NULL: 0)
  int measure;                                   // kMeasureRuns: the measure
  int base_key;                                  // kMeasureRuns: the first key of the batch
  const int* run_base;  // kMeasureRuns: per key of the batch, its first slot (one more entry)
  RunSlot* slots;       // kMeasureRuns: the batch's run aggregates
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
ZpkBlock<int> CountKeys(int workers, int k_count, int mode = kCountKeys) {
  for (int t = 0; t < workers; ++t) Block(t)->mode = mode;
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

// Whether measure m adds up in any order to the last bit: no sum, an INTEGER sum (64-bit, which
// cannot overflow for rows of one key) or a rounded double-kind sum (RoundedSum: exact integers;
// values of 2^63 or more in magnitude, which it adds as doubles, only up to the rounding of their
// own sum). A plain
// double sum depends on the order of its additions and a DECIMAL sum saturates, so those keep the
// rows of each key in their order.
bool SumsInAnyOrder(const TNonCubeSum& s, int m) {
  const int type = s.request().measure_type(m);
  if ((s.request().work_mask(m) & kSumSum) == 0 || type == Q7_TYPE_STRING) return true;
  if (type == Q7_TYPE_INTEGER) return true;
  return type == Q7_TYPE_DOUBLE && s.request().round_factor(m) > 0;
}

// Whether measure m is a plain DOUBLE sum: exact only when each key's rows are added in their order.
bool SumsInListOrder(const TNonCubeSum& s, int m) {
  return (s.request().work_mask(m) & kSumSum) != 0 && s.request().measure_type(m) == Q7_TYPE_DOUBLE &&
         s.request().round_factor(m) <= 0;
}

KeyMeasure KeyMeasureOf(const TNonCubeSum& s, int m) {
  TFilter* f = s.request().measure_filter(m);
  const int type = s.request().measure_type(m);
  const int work = s.request().work_mask(m);
  KeyMeasure km{};
  km.vno = f->PV->PIntAr();
  km.n_values = f->VL->FArraySize;
  km.values = f->VL->FData;
  km.min_max = (work & (kSumMax | kSumMin)) != 0;
  km.sum = kNoKeySum;
  if ((work & kSumSum) != 0 && type == Q7_TYPE_INTEGER) km.sum = kIntegerKeySum;
  if (SumsInListOrder(s, m)) {
    km.sum = kPlainKeySum;
  } else if ((work & kSumSum) != 0 && type == Q7_TYPE_DOUBLE) {
    km.sum = kRoundedKeySum;
    // The factor as the fixed-point split takes it: an exact power of ten.
    km.factor = static_cast<double>(static_cast<long long>(s.request().round_factor(m)));
  }
  return km;
}

// The rows of one chunk (records and their key value numbers) into a measure's aggregates.
template <int kSum, bool kMinMax>
void AggregateChunk(const KeyMeasure& km, const int* records, const int* keys, int n) {
  const int* ints = static_cast<const int*>(km.values);
  const double* doubles = static_cast<const double*>(km.values);
  for (int j = 0; j < n; ++j) {
    const int v = km.vno[records[j]];
    if (v < 0 || v >= km.n_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    KeyAggregate& a = km.out[keys[j]];
    if constexpr (kMinMax) {
      if (v > a.max) a.max = v;
      // NULL (the empty text of a STRING list) is skipped, as on every other road.
      if (v != 0 && v < a.min) a.min = v;
    }
    if constexpr (kSum == kIntegerKeySum) {
      if (v != 0) a.sum += ints[v];
    } else if constexpr (kSum == kRoundedKeySum) {
      if (v != 0) AddRounded(doubles[v], km.factor, &a.rounded);
    }
  }
}

void AggregateChunk(const KeyMeasure& km, const int* records, const int* keys, int n) {
  switch (km.sum * 2 + (km.min_max ? 1 : 0)) {
    case 0:
      break;
    case 1:
      AggregateChunk<kNoKeySum, true>(km, records, keys, n);
      break;
    case 2:
      AggregateChunk<kIntegerKeySum, false>(km, records, keys, n);
      break;
    case 3:
      AggregateChunk<kIntegerKeySum, true>(km, records, keys, n);
      break;
    case 4:
      AggregateChunk<kRoundedKeySum, false>(km, records, keys, n);
      break;
    case 5:
      AggregateChunk<kRoundedKeySum, true>(km, records, keys, n);
      break;
    default:
      // A plain sum keeps its rows' order: AggregateSideByOwnKeys, never a share of rows.
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
}

// Only for aggregates that sum in any order (`real` stays as it is).
void MergeAggregate(KeyAggregate* into, const KeyAggregate& from) {
  into->max = std::max(into->max, from.max);
  into->min = std::min(into->min, from.min);
  into->sum = WrapAdd(into->sum, from.sum);
  AddRoundedTimes(from.rounded, 1, &into->rounded);
}

// AggregateSideByKey for a side with a measure that sums in the list's order. The rows are counted
// per key value on the pool, and every worker is given a range of key values of about equal rows.
// A second pass over the same shares of rows puts each row's key value, value numbers and plain
// values in the part of the worker owning its key; the shares are laid out one after the other in
// each part, so a part keeps the list's order. Each worker then aggregates its own part into its own
// key values of the measures' arrays. The values, reached at random, are read once, on the pool.
void AggregateSideByOwnKeys(TNonCubeSum& s, int side, JoinTaskParam common, int n_in,
                            const std::vector<int>& measures) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int k_count = s.join_work().key_count();
  const size_t keys = AtLeastOne(k_count);
  const int sharers = KeyWorkers(n_in, k_count);
  ShareRows(sharers, n_in, common);
  // Per share, its rows of each key value.
  std::vector<int> share_counts;
  {
    CounterRelease release{sharers};
    for (int t = 0; t < sharers; ++t) Block(t)->mode = kCountKeys;
    RunKernelTask(sharers, kMppTaskSingleJoinkeySortTransfer);
    share_counts.resize(static_cast<size_t>(sharers) * keys);
    for (int t = 0; t < sharers; ++t) {
      std::memcpy(share_counts.data() + static_cast<size_t>(t) * keys, Block(t)->counts, keys * sizeof(int));
    }
  }
  ZpkBlock<int> starts(keys + 1);
  int64_t total = 0;
  for (int k = 0; k < k_count; ++k) {
    starts[k] = static_cast<int>(total);
    for (int t = 0; t < sharers; ++t) total += share_counts[static_cast<size_t>(t) * keys + k];
  }
  if (total > INT_MAX) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  starts[k_count] = static_cast<int>(total);
  w.key_starts = std::move(starts);
  w.row_count = static_cast<int>(total);

  // Contiguous key ranges of about equal rows.
  const int owners = std::max(1, std::min(KernelThreads(static_cast<long>(total)), std::max(1, k_count)));
  std::vector<int> cuts(1, 0);
  for (int k = 0; k < k_count && static_cast<int>(cuts.size()) < owners; ++k) {
    if (int64_t{w.key_starts[k + 1]} * owners >= total * static_cast<int64_t>(cuts.size()))
      cuts.push_back(k + 1);
  }
  cuts.push_back(k_count);
  const int used = static_cast<int>(cuts.size()) - 1;
  std::vector<int> owner(keys, 0);
  for (int o = 0; o < used; ++o) std::fill(owner.begin() + cuts[o], owner.begin() + cuts[o + 1], o);
  // Each share's first position in each part: the parts in key order, the shares in list order.
  std::vector<int> next(static_cast<size_t>(sharers) * used);
  int64_t at = 0;
  for (int o = 0; o < used; ++o) {
    for (int t = 0; t < sharers; ++t) {
      next[static_cast<size_t>(t) * used + o] = static_cast<int>(at);
      const int* c = share_counts.data() + static_cast<size_t>(t) * keys;
      for (int k = cuts[o]; k < cuts[o + 1]; ++k) at += c[k];
    }
  }

  const int n_aggregated = static_cast<int>(measures.size());
  const size_t rows = AtLeastOne(total);
  // The parts live for this step only: scratch blocks, which later calls take again without the
  // cost of fresh pages.
  ZpkScratch<int> part_keys(rows);
  std::vector<std::unique_ptr<ZpkScratch<int>>> part_vno(static_cast<size_t>(n_aggregated));
  std::vector<std::unique_ptr<ZpkScratch<double>>> part_reals(static_cast<size_t>(n_aggregated));
  std::vector<ZpkBlock<KeyAggregate>> out;
  KeyMeasure kms[TNonCubeSum::kMaxColumns];
  for (int c = 0; c < n_aggregated; ++c) {
    kms[c] = KeyMeasureOf(s, measures[c]);
    out.emplace_back(keys);
    kms[c].out = out[c].get();
    if (kms[c].min_max || kms[c].sum != kPlainKeySum) part_vno[c] = std::make_unique<ZpkScratch<int>>(rows);
    if (kms[c].sum == kPlainKeySum) part_reals[c] = std::make_unique<ZpkScratch<double>>(rows);
  }
  common.n_aggregated = n_aggregated;
  common.owner = owner.data();
  common.part_keys = part_keys.get();
  for (int c = 0; c < n_aggregated; ++c) {
    common.measures[c] = kms[c];
    common.part_vno[c] = part_vno[c] ? part_vno[c]->get() : nullptr;
    common.part_reals[c] = part_reals[c] ? part_reals[c]->get() : nullptr;
  }
  ShareRows(sharers, n_in, common);
  for (int t = 0; t < sharers; ++t) {
    Block(t)->mode = kPartOwnKeys;
    Block(t)->next = next.data() + static_cast<size_t>(t) * used;
    Block(t)->n_owners = used;
  }
  RunKernelTask(sharers, kMppTaskSingleJoinkeySortTransfer);
  for (int o = 0; o < used; ++o) {
    JoinTaskParam* p = Block(o);
    const MppParamHeader header = p->header;
    *p = common;
    p->header = header;
    p->mode = kAggregateOwnKeys;
    p->first = w.key_starts[cuts[o]];
    p->count = w.key_starts[cuts[o + 1]] - p->first;
    p->key_from = cuts[o];
    p->key_to = cuts[o + 1];
  }
  RunKernelTask(used, kMppTaskSingleJoinkeySortTransfer);
  for (int c = 0; c < n_aggregated; ++c) s.mpp_key_aggregates_[measures[c]] = std::move(out[c]);
}

// A side without dimensions whose measures all sum in any order (mpp_key_aggregated_): instead of
// copying and sorting its rows, one pass over the join set's list counts the rows of each key value
// and aggregates each measure per key value, every worker over its own share of rows into its own
// arrays; the arrays are then folded key by key. Every fold is exact, so the result does not depend
// on how the rows were shared.
void AggregateSideByKey(TNonCubeSum& s, int side, JoinTaskParam common, int n_in) {
  TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int k_count = s.join_work().key_count();
  const size_t keys = AtLeastOne(k_count);
  std::vector<int> measures;
  for (int m = 0; m < s.request().n_measures(); ++m) {
    if (noncube_join::MeasureSide(s, m) == side) measures.push_back(m);
  }
  const int n_aggregated = static_cast<int>(measures.size());
  bool in_order = false;
  for (const int m : measures) in_order = in_order || SumsInListOrder(s, m);
  if (in_order) {
    AggregateSideByOwnKeys(s, side, common, n_in, measures);
    return;
  }
  // The workers' own arrays together stay within a few times the side's row list.
  const int64_t per_worker = static_cast<int64_t>(keys) * (sizeof(int) + sizeof(KeyAggregate) * n_aggregated);
  const int64_t budget = int64_t{16} * n_in + (int64_t{4} << 20);
  const int most = KernelThreads(n_in);
  const int workers = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(most, budget / per_worker)));

  std::vector<ZpkBlock<KeyAggregate>> parts;
  parts.reserve(static_cast<size_t>(workers) * n_aggregated);
  for (int t = 0; t < workers; ++t) {
    for (int c = 0; c < n_aggregated; ++c) parts.emplace_back(keys);
  }
  common.n_aggregated = n_aggregated;
  ShareRows(workers, n_in, common);
  for (int t = 0; t < workers; ++t) {
    for (int c = 0; c < n_aggregated; ++c) {
      KeyMeasure km = KeyMeasureOf(s, measures[c]);
      km.out = parts[static_cast<size_t>(t) * n_aggregated + c].get();
      Block(t)->measures[c] = km;
    }
  }
  {
    CounterRelease release{workers};
    w.key_starts = CountKeys(workers, k_count, kAggregateKeys);
    w.row_count = w.key_starts[k_count];
  }
  if (workers > 1 && n_aggregated > 0) {
    std::vector<KeyAggregate*> pointers;
    for (ZpkBlock<KeyAggregate>& part : parts) pointers.push_back(part.get());
    JoinTaskParam merge{};
    merge.sum = &s;
    merge.mode = kMergeKeys;
    merge.n_aggregated = n_aggregated;
    merge.parts = pointers.data();
    merge.n_parts = workers;
    const int mergers = KernelThreads(static_cast<long>(k_count) * workers * n_aggregated);
    ShareRows(mergers, k_count, merge);
    RunKernelTask(mergers, kMppTaskSingleJoinkeySortTransfer);
  }
  for (int c = 0; c < n_aggregated; ++c) s.mpp_key_aggregates_[measures[c]] = std::move(parts[c]);
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
  common.key_count = s.join_work().key_count();
  common.limit = key->PV->FArraySize;
  common.raw = 1;
  common.outer = s.request().outer();

  if (s.mpp_key_aggregated_[side]) {
    AggregateSideByKey(s, side, common, n_in);
    return;
  }
  if (s.mpp_count_only_[side]) {
    // Only the number of rows per key value matters: no copy, no order.
    const int workers = KeyWorkers(n_in, s.join_work().key_count());
    ShareRows(workers, n_in, common);
    CounterRelease release{workers};
    w.key_starts = CountKeys(workers, s.join_work().key_count());
    w.row_count = w.key_starts[s.join_work().key_count()];
    return;
  }
  if (DimCount(s, side) == 0) {
    // Without dimensions the rows need only their key order, which the key sort makes straight
    // from the join set's list.
    w.rows.Reset();
    w.row_count = 0;
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
    const int summarised =
        s.request().set_id() < 0 ? s.request().table()->GetCurrentSetID() : s.request().set_id();
    ZpkBlock<int> spare(AtLeastOne(n));
    for (int i = n_dims - 1; i >= 0; --i) {
      TFilter* f = s.request().dim_filter(Dims(s, side)[i]);
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
  if (s.mpp_count_only_[side] || s.mpp_key_aggregated_[side]) return;
  // A side without dimensions starts from the join set's list itself (MppSortSide left no copy).
  const bool raw = DimCount(s, side) == 0;
  TSetArray* set = SideRows(s, side);
  const int n = raw ? (set != nullptr ? set->FArraySize : 0) : w.row_count;
  JoinTaskParam common{};
  common.sum = &s;
  common.rows = raw ? (n > 0 ? set->PIntAr() : nullptr) : w.rows.get();
  common.groups = w.group_of_row.get();
  common.key = SideKey(s, side)->PV->PIntAr();
  common.key_count = s.join_work().key_count();
  common.limit = SideKey(s, side)->PV->FArraySize;
  common.raw = raw ? 1 : 0;
  common.outer = s.request().outer();
  // The measures of this side read their value numbers in the new order: the transfer reads the
  // rows in their present order (for a side without dimensions, the set's), far kinder to the cache
  // than reading them by key later.
  for (int m = 0; m < s.request().n_measures(); ++m) {
    if (noncube_join::MeasureSide(s, m) != side) continue;
    s.mpp_measure_vno_[m] = ZpkBlock<int>(AtLeastOne(n));
    common.carry_in[common.n_carry] = s.request().measure_filter(m)->PV->PIntAr();
    common.carry_out[common.n_carry] = s.mpp_measure_vno_[m].get();
    ++common.n_carry;
  }
  const int workers = KeyWorkers(n, s.join_work().key_count());
  ShareRows(workers, n, common);
  CounterRelease release{workers};
  ZpkBlock<int> starts = CountKeys(workers, s.join_work().key_count());
  // The rows kept: an outer join's list holds 0 for "no record", which the count left out.
  const int kept = starts[s.join_work().key_count()];
  if (raw ? kept > n : kept != n) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  ZpkBlock<int> rows(AtLeastOne(kept));
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
  w.row_count = kept;
  if (common.groups != nullptr) w.group_of_row = std::move(groups);
  w.key_starts = std::move(starts);
}

// One run's rows in their order into a slot. Vno gives the value number at a position, Add adds
// the value of a non-NULL value number (the measure's sum); `values` is the list's data, loaded
// ahead when the value numbers are reached at random.
template <class Vno, class Add>
void PassRun(const noncube_join::Run& run, int n_values, const char* values, size_t width, Vno vno, Add add,
             RunSlot* a) {
  // The rows' value numbers, and those the values, are reached at random: start the loads well
  // ahead so that many misses are in flight at once.
  constexpr int kAhead = 16;
  const int end = run.pos + run.len;
  for (int p = run.pos; p < end; ++p) {
    if (values != nullptr && p + kAhead < end) {
      const int ahead = vno(p + kAhead);
      if (ahead > 0 && ahead < n_values) __builtin_prefetch(values + static_cast<size_t>(ahead) * width);
    }
    const int v = vno(p);
    if (v < 0 || v >= n_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    if (v > a->max) a->max = v;
    // NULL (the empty text of a STRING list) is skipped, as on every other road.
    if (v != 0 && v < a->min) a->min = v;
    if (v != 0) add(v, a);
  }
}

template <class Vno>
void PassRun(const MeasureShape& sh, const noncube_join::Run& run, TBaseArray* list, Vno vno, RunSlot* a) {
  const int n_values = list->FArraySize;
  const char* data = static_cast<const char*>(list->FData);
  if (!sh.want_sum) {
    PassRun(
        run, n_values, nullptr, 0, vno, [](int, RunSlot*) {}, a);
    return;
  }
  switch (sh.type) {
    case Q7_TYPE_INTEGER: {
      const int* ints = reinterpret_cast<const int*>(data);
      PassRun(
          run, n_values, data, sizeof(int), vno, [ints](int v, RunSlot* r) { r->int_sum += ints[v]; }, a);
      return;
    }
    case Q7_TYPE_DECIMAL: {
      const Numeric* decimals = reinterpret_cast<const Numeric*>(data);
      PassRun(
          run, n_values, data, sizeof(Numeric), vno,
          [decimals](int v, RunSlot* r) { q7num::NumericAdd(&r->dsum, &decimals[v], &r->dsum); }, a);
      return;
    }
    default: {
      const double* doubles = reinterpret_cast<const double*>(data);
      if (sh.rounding) {
        const double factor = sh.factor;
        PassRun(
            run, n_values, data, sizeof(double), vno,
            [doubles, factor](int v, RunSlot* r) { AddRounded(doubles[v], factor, &r->rounded); }, a);
      } else {
        PassRun(
            run, n_values, data, sizeof(double), vno, [doubles](int v, RunSlot* r) { r->sum += doubles[v]; },
            a);
      }
      return;
    }
  }
}

// The runs of measure m's side in the keys k_from .. k_to - 1 into their slots: each run's rows in
// their order, so that every sum is the one a single pass over the run gives.
void AggregateRuns(const TNonCubeSum& s, int m, int k_from, int k_to, int base_key, const int* run_base,
                   RunSlot* slots) {
  const MeasureShape sh = ShapeOf(s, m);
  TFilter* f = s.request().measure_filter(m);
  const int* pv = f->PV->PIntAr();
  const int* side_rows = Work(s, sh.side).rows.get();
  const int* carried = s.mpp_measure_vno_[m].get();
  std::vector<noncube_join::Run> runs;
  for (int k = k_from; k < k_to; ++k) {
    const int first = run_base[k - base_key];
    const int n_runs = run_base[k - base_key + 1] - first;
    if (n_runs == 0) continue;
    noncube_join::RunsOf(s, sh.side, k, &runs);
    if (static_cast<int>(runs.size()) != n_runs) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    for (int j = 0; j < n_runs; ++j) {
      RunSlot a{0, INT_MAX, 0, 0.0, RoundedSum{}, Numeric{}};
      q7num::NumericSetZero(&a.dsum);
      if (carried != nullptr) {
        PassRun(
            sh, runs[j], f->VL, [carried](int p) { return carried[p]; }, &a);
      } else {
        PassRun(
            sh, runs[j], f->VL, [pv, side_rows](int p) { return pv[side_rows[p]]; }, &a);
      }
      slots[first + j] = a;
    }
  }
}

// AccumulateMeasure for a measure of a key-aggregated side: the same walk over the combinations,
// with each key's aggregate in place of the rows of the side's one run of that key, weighted and
// added to the output rows as the rows' aggregate is.
void AccumulateByKey(const TNonCubeSum& s, int m, noncube_join::MeasureSums* out) {
  const MeasureShape sh = ShapeOf(s, m);
  if (sh.want_sum && sh.type != Q7_TYPE_INTEGER && sh.type != Q7_TYPE_DOUBLE)
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  const KeyAggregate* per_key = s.mpp_key_aggregates_[m].get();
  std::vector<RoundedSum> rounded;
  StartSums(s, sh, out, &rounded);
  int64_t c = 0;
  noncube_join::ForEachKey(s, [&](int k, const std::vector<noncube_join::Run>& master,
                                  const std::vector<noncube_join::Run>& slave) {
    const KeyAggregate& a = per_key[k];
    for (const noncube_join::Run& mr : master) {
      for (const noncube_join::Run& sr : slave) {
        if (c >= s.join_work().comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
        const int r = s.join_work().comb_out_row()[static_cast<size_t>(c++)];
        const noncube_join::Run& own = sh.side == 0 ? mr : sr;
        if (own.len == 0) continue;
        const int64_t weight = (sh.side == 0 ? sr : mr).Weight();
        if (sh.want_max && a.max > out->max[r]) out->max[r] = a.max;
        if (sh.want_min && a.min < out->min[r]) out->min[r] = a.min;
        if (!sh.want_sum) continue;
        if (sh.rounding) {
          AddRoundedTimes(a.rounded, weight, &rounded[r]);
        } else if (sh.type == Q7_TYPE_DOUBLE) {
          out->sum[r] += a.real * static_cast<double>(weight);
        } else {
          out->sum[r] += static_cast<double>(a.sum) * static_cast<double>(weight);
        }
      }
    }
  });
  if (c != s.join_work().comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  FinishSums(s, sh, rounded, out);
}

// AccumulateMeasure with the rows' pass on the whole pool: the keys are taken in batches of a
// bounded number of runs; the workers aggregate the runs of a batch, each over its own keys, and
// the calling thread then weights them and adds them to the output rows in the order of the walk
// over the combinations. Every run is summed in its own order and every output row in the walk's,
// so the sums are those of the single-threaded pass, to the last bit.
void AccumulateOnPool(TNonCubeSum& s, int m, noncube_join::MeasureSums* out) {
  const MeasureShape sh = ShapeOf(s, m);
  std::vector<RoundedSum> rounded;
  StartSums(s, sh, out, &rounded);
  const TNonCubeSum::JoinSideWork& own = Work(s, sh.side);
  const TNonCubeSum::JoinSideWork& partner = Work(s, 1 - sh.side);
  // A batch's slots take a few megabytes.
  const int batch_runs = g_batch_runs_for_test > 0 ? g_batch_runs_for_test : 1 << 18;
  ZpkBlock<RunSlot> slots;
  int slot_room = 0;
  std::vector<int> run_base;
  std::vector<noncube_join::Run> runs;
  std::vector<int> cuts;
  int64_t c = 0;
  for (int k0 = 0; k0 < s.join_work().key_count();) {
    // The batch: keys k0 .. k1 - 1; a key's runs count only when the walk will meet them.
    run_base.assign(1, 0);
    int64_t batch_rows = 0;
    int k1 = k0;
    for (; k1 < s.join_work().key_count(); ++k1) {
      const int rows = own.key_starts[k1 + 1] - own.key_starts[k1];
      const bool met =
          rows > 0 && (s.request().outer() != 0 || partner.key_starts[k1 + 1] > partner.key_starts[k1]);
      int n_runs = 0;
      if (met) {
        noncube_join::RunsOf(s, sh.side, k1, &runs);
        n_runs = static_cast<int>(runs.size());
      }
      if (k1 > k0 && run_base.back() + static_cast<int64_t>(n_runs) > batch_runs) break;
      run_base.push_back(run_base.back() + n_runs);
      if (met) batch_rows += rows;
    }
    const int n_runs = run_base.back();
    if (n_runs > 0) {
      if (slot_room < n_runs) {
        slots = ZpkBlock<RunSlot>(static_cast<size_t>(n_runs));
        slot_room = n_runs;
      }
      // Contiguous key ranges of about equal rows.
      const int workers = KernelThreads(static_cast<long>(batch_rows));
      cuts.assign(1, k0);
      int64_t seen = 0;
      for (int k = k0; k < k1 && static_cast<int>(cuts.size()) < workers; ++k) {
        if (run_base[k - k0 + 1] > run_base[k - k0]) seen += own.key_starts[k + 1] - own.key_starts[k];
        if (seen * workers >= batch_rows * static_cast<int64_t>(cuts.size())) cuts.push_back(k + 1);
      }
      cuts.push_back(k1);
      const int used = static_cast<int>(cuts.size()) - 1;
      for (int t = 0; t < used; ++t) {
        JoinTaskParam* p = Block(t);
        p->sum = &s;
        p->mode = kMeasureRuns;
        p->measure = m;
        p->first = cuts[t];
        p->count = cuts[t + 1] - cuts[t];
        p->base_key = k0;
        p->run_base = run_base.data();
        p->slots = slots.get();
      }
      RunKernelTask(used, kMppTaskJoinSummaryMeasure);
    }
    noncube_join::ForEachKeyIn(s, k0, k1,
                               [&](int k, const std::vector<noncube_join::Run>& master,
                                   const std::vector<noncube_join::Run>& slave) {
                                 const RunSlot* key_slots = slots.get() + run_base[k - k0];
                                 const int n_key_runs = run_base[k - k0 + 1] - run_base[k - k0];
                                 for (size_t i = 0; i < master.size(); ++i) {
                                   for (size_t j = 0; j < slave.size(); ++j) {
                                     if (c >= s.join_work().comb_count())
                                       throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
                                     const int r = s.join_work().comb_out_row()[static_cast<size_t>(c++)];
                                     const noncube_join::Run& own_run = sh.side == 0 ? master[i] : slave[j];
                                     if (own_run.len == 0) continue;
                                     const size_t at = sh.side == 0 ? i : j;
                                     if (at >= static_cast<size_t>(n_key_runs))
                                       throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
                                     const int64_t weight = (sh.side == 0 ? slave[j] : master[i]).Weight();
                                     AddWeighted(sh, key_slots[at], weight, r, out, &rounded);
                                   }
                                 }
                               });
    k0 = k1;
  }
  if (c != s.join_work().comb_count()) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  FinishSums(s, sh, rounded, out);
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
          // A join set's list was checked by the count; its 0 entries of an outer join stay out.
          if (p->raw != 0 && p->outer != 0 && rows[i] <= 0) continue;
          const int at = next[p->key[rows[i]]]++;
          p->out_rows[at] = rows[i];
          if (p->out_groups != nullptr) p->out_groups[at] = p->groups[i];
          for (int c = 0; c < p->n_carry; ++c) p->carry_out[c][at] = p->carry_in[c][rows[i]];
        }
        zpk_free(p->counts);
        p->counts = nullptr;
        break;
      }
      case kAggregateKeys: {
        const size_t keys = AtLeastOne(p->key_count);
        int* counts = static_cast<int*>(zpk_malloc(keys * sizeof(int)));
        p->counts = counts;
        std::memset(counts, 0, keys * sizeof(int));
        for (int c = 0; c < p->n_aggregated; ++c) {
          std::fill(p->measures[c].out, p->measures[c].out + keys,
                    KeyAggregate{0, INT_MAX, 0, 0.0, RoundedSum{}});
        }
        // A chunk's records and keys once, then each measure over the chunk while it is in cache.
        constexpr int kChunk = 2048;
        int records[kChunk];
        int chunk_keys[kChunk];
        for (int i = p->first; i < end;) {
          const int stop = std::min(end, i + kChunk);
          int n = 0;
          for (; i < stop; ++i) {
            const int r = rows[i];
            if (p->outer != 0 && r <= 0) continue;
            if (r < 0 || r >= p->limit) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
            const int v = p->key[r];
            if (v < 0 || v >= p->key_count) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
            ++counts[v];
            records[n] = r;
            chunk_keys[n] = v;
            ++n;
          }
          for (int c = 0; c < p->n_aggregated; ++c) AggregateChunk(p->measures[c], records, chunk_keys, n);
        }
        break;
      }
      case kPartOwnKeys: {
        // The count checked every entry of the list. The rows' keys, value numbers and values are
        // reached at random: their loads start well ahead, the values' once their numbers are in.
        constexpr int kAhead = 16;
        // The shares' positions lie side by side: each worker moves its own copy.
        std::vector<int> next(p->next, p->next + p->n_owners);
        for (int i = p->first; i < end; ++i) {
          if (i + 2 * kAhead < end) {
            const int ahead_row = rows[i + 2 * kAhead];
            if (ahead_row > 0 && ahead_row < p->limit) {
              __builtin_prefetch(p->key + ahead_row);
              for (int c = 0; c < p->n_aggregated; ++c) __builtin_prefetch(p->measures[c].vno + ahead_row);
            }
          }
          const int r = rows[i];
          if (p->outer != 0 && r <= 0) continue;
          const int k = p->key[r];
          const int at = next[static_cast<size_t>(p->owner[k])]++;
          p->part_keys[at] = k;
          for (int c = 0; c < p->n_aggregated; ++c) {
            const KeyMeasure& km = p->measures[c];
            const int v = km.vno[r];
            if (v < 0 || v >= km.n_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
            if (p->part_vno[c] != nullptr) p->part_vno[c][at] = v;
            if (p->part_reals[c] == nullptr) continue;
            const double* doubles = static_cast<const double*>(km.values);
            if (i + kAhead < end) {
              const int ahead_row = rows[i + kAhead];
              if (ahead_row > 0 && ahead_row < p->limit) {
                const int ahead = km.vno[ahead_row];
                if (ahead > 0 && ahead < km.n_values) __builtin_prefetch(doubles + ahead);
              }
            }
            // A NULL adds +0.0, which leaves a sum started at +0.0 as it is, to the bit (such a sum
            // is never -0.0).
            p->part_reals[c][at] = v != 0 ? doubles[v] : 0.0;
          }
        }
        break;
      }
      case kAggregateOwnKeys: {
        for (int c = 0; c < p->n_aggregated; ++c) {
          std::fill(p->measures[c].out + p->key_from, p->measures[c].out + p->key_to,
                    KeyAggregate{0, INT_MAX, 0, 0.0, RoundedSum{}});
        }
        for (int c = 0; c < p->n_aggregated; ++c) {
          const KeyMeasure& km = p->measures[c];
          const int* vno = p->part_vno[c];
          const double* reals = p->part_reals[c];
          const int* ints = static_cast<const int*>(km.values);
          const double* doubles = static_cast<const double*>(km.values);
          for (int j = p->first; j < end; ++j) {
            const int k = p->part_keys[j];
            if (k < p->key_from || k >= p->key_to) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
            KeyAggregate& a = km.out[k];
            if (reals != nullptr) a.real += reals[j];
            if (vno == nullptr) continue;
            const int v = vno[j];
            if (km.min_max) {
              if (v > a.max) a.max = v;
              if (v != 0 && v < a.min) a.min = v;
            }
            if (v == 0) continue;
            if (km.sum == kIntegerKeySum) {
              a.sum += ints[v];
            } else if (km.sum == kRoundedKeySum) {
              AddRounded(doubles[v], km.factor, &a.rounded);
            }
          }
        }
        break;
      }
      case kMergeKeys: {
        for (int c = 0; c < p->n_aggregated; ++c) {
          KeyAggregate* into = p->parts[c];
          for (int t = 1; t < p->n_parts; ++t) {
            const KeyAggregate* from = p->parts[static_cast<size_t>(t) * p->n_aggregated + c];
            for (int k = p->first; k < end; ++k) MergeAggregate(&into[k], from[k]);
          }
        }
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
    for (int d = ClaimNext(s->mpp_claimed_, s->request().n_dims(), &scan); d >= 0;
         d = ClaimNext(s->mpp_claimed_, s->request().n_dims(), &scan)) {
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
    if (p->mode == kMeasureRuns) {
      AggregateRuns(*s, p->measure, p->first, p->first + p->count, p->base_key, p->run_base, p->slots);
      return 0;
    }
    int scan = p->header.index;
    for (int m = ClaimNext(s->mpp_claimed_, s->request().n_measures(), &scan); m >= 0;
         m = ClaimNext(s->mpp_claimed_, s->request().n_measures(), &scan)) {
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
    qz7_strlcpy(name, request_.join_dim_name(d), sizeof name);
    auto filter = std::make_unique<TFilter>(kFreeFilterID, name);
    filter->PV = rows.release();
    filter->ReplaceValueList(list.release());
    *out = filter.release();
    return 0;
  } catch (...) {
    return CurrentNegativeFailureCode();
  }
}

int TNonCubeSum::MppJoinMeasure(int m, TFilter** out, int* count) {
  *count = 0;
  try {
    TFilter* measure = request_.measure_filter(m);
    const int type = request_.measure_type(m);
    const int asked = request_.asked_mask(m);
    const int work = request_.work_mask(m);
    const bool decimal = type == Q7_TYPE_DECIMAL;
    const int rows = join_work_.out_row_count();
    const char* base = request_.join_measure_name(m);
    auto keep = [&](TFilter* f) {
      if (f == nullptr) throw CQ7Exception(Q7_ERROR_NO_WORK_AREA);
      out[(*count)++] = f;
    };
    noncube_join::MeasureSums sums;
    if (mpp_ready_sums_ != nullptr && mpp_sums_ready_[m] != 0) {
      sums = std::move(mpp_ready_sums_[m]);
    } else if (mpp_key_aggregates_[m]) {
      AccumulateByKey(*this, m, &sums);
    } else {
      noncube_join::AccumulateMeasure(*this, m, &sums);
    }
    char name[kNameSize];

    if (asked & kSumCount) {
      noncube_join::BracketName("N", base, name);
      TFilter* f = nullptr;
      {
        // One worker builds the column; the others copy the finished one.
        WriteLock lock;
        if (mpp_shared_count_ == nullptr) {
          f = GenFilter2(kFreeFilterID, name, Q7_TYPE_INTEGER, rows, 4, join_work_.out_counts());
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
      const int rc = PutJTableMaxMinFilter(kind, request_.decimals(m), rows, picks, name, measure, &f);
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
  } catch (...) {
    return CurrentNegativeFailureCode();
  }
}

// ---- Steps ----

void TNonCubeSum::SetMeasureBatchForTest(int runs) { g_batch_runs_for_test = runs; }

void TNonCubeSum::InitJoin() {
  for (int i = 0; i < kMaxColumns; ++i) {
    mpp_claimed_[i] = 0;
    mpp_dim_columns_[i] = nullptr;
    mpp_measure_column_count_[i] = 0;
    for (int j = 0; j < kMaxMeasureColumns; ++j) mpp_measure_columns_[i][j] = nullptr;
  }
  mpp_shared_count_ = nullptr;
  mpp_count_only_[0] = mpp_count_only_[1] = false;
  mpp_key_aggregated_[0] = mpp_key_aggregated_[1] = false;
  for (ZpkBlock<int>& carried : mpp_measure_vno_) carried.Reset();
  for (ZpkBlock<JoinKeyAggregate>& aggregates : mpp_key_aggregates_) aggregates.Reset();
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
    if (!join_work_.side(1).key_starts ||
        join_work_.side(1).key_starts[join_work_.key_count()] != join_work_.side(1).row_count) {
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    }
  });
}
int TNonCubeSum::MppStep9() {
  return ReturningStep(this, [&] {
    if (!join_work_.side(0).key_starts ||
        join_work_.side(0).key_starts[join_work_.key_count()] != join_work_.side(0).row_count) {
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    }
  });
}

int TNonCubeSum::MppStep15() {
  return ReturningStep(this, [&] {
    if (request_.n_dims() == 0) return;
    const int workers = std::max(1, std::min(KernelActiveThreads(), request_.n_dims()));
    for (int d = 0; d < kMaxColumns; ++d) mpp_claimed_[d] = 0;
    for (int t = 0; t < workers; ++t) Block(t)->sum = this;
    RunKernelTask(workers, kMppTaskJoinSummaryAddDimensionFilter);
    for (int d = 0; d < request_.n_dims(); ++d) {
      if (mpp_dim_columns_[d] == nullptr) throw CQ7Exception(Q7_ERROR_NO_WORK_AREA);
      output_.AppendFree(&mpp_dim_columns_[d]);
    }
  });
}

int TNonCubeSum::MppStep18() {
  return ReturningStep(this, [&] {
    if (request_.n_measures() == 0) return;
    const int workers = std::max(1, std::min(KernelActiveThreads(), request_.n_measures()));
    for (int m = 0; m < kMaxColumns; ++m) {
      mpp_claimed_[m] = 0;
      mpp_measure_column_count_[m] = 0;
    }
    mpp_shared_count_ = nullptr;
    // With fewer measures than workers a measure's pass over its rows would keep one worker busy
    // while others wait: such passes run first, each on the whole pool. A key-aggregated measure
    // has no rows left to pass over.
    std::vector<noncube_join::MeasureSums> ready(static_cast<size_t>(request_.n_measures()));
    struct ReadyRelease {
      TNonCubeSum* s;
      ~ReadyRelease() {
        s->mpp_ready_sums_ = nullptr;
        std::memset(s->mpp_sums_ready_, 0, sizeof s->mpp_sums_ready_);
      }
    } ready_release{this};
    mpp_ready_sums_ = ready.data();
    if (request_.n_measures() < KernelActiveThreads()) {
      for (int m = 0; m < request_.n_measures(); ++m) {
        if (mpp_key_aggregates_[m]) continue;
        AccumulateOnPool(*this, m, &ready[m]);
        mpp_sums_ready_[m] = 1;
      }
    }
    for (int t = 0; t < workers; ++t) {
      Block(t)->sum = this;
      Block(t)->mode = kClaimMeasures;
    }
    try {
      RunKernelTask(workers, kMppTaskJoinSummaryMeasure);
    } catch (...) {
      mpp_shared_count_ = nullptr;
      throw;
    }
    // The shared column is one of the measure's own columns from here on.
    mpp_shared_count_ = nullptr;
    for (int m = 0; m < request_.n_measures(); ++m) {
      for (int j = 0; j < mpp_measure_column_count_[m]; ++j) output_.AppendFree(&mpp_measure_columns_[m][j]);
    }
  });
}

// ---- The pipeline ----

int TNonCubeSum::MppNonCubeJoinDimNMsrN() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // Nothing half-built is left behind.
  RoadUndo undo;
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
        s->mpp_key_aggregates_[i].Reset();
      }
      s->mpp_shared_count_ = nullptr;
    }
  } leftovers{this};
  return RunRoad(&undo, [&] {
    if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    InitJoinXSum();
    InitJoin();
    noncube_join::PrepareColumns(*this, true);
    for (int side = 0; side < 2; ++side) {
      bool measured = false;
      bool by_key = true;
      for (int m = 0; m < request_.n_measures(); ++m) {
        if (noncube_join::MeasureSide(*this, m) != side) continue;
        measured = true;
        by_key = by_key && (SumsInAnyOrder(*this, m) || SumsInListOrder(*this, m));
      }
      mpp_count_only_[side] = DimCount(*this, side) == 0 && !measured;
      // The aggregates of every key value must stay well below the row copies they replace.
      TSetArray* rows = SideRows(*this, side);
      const int64_t n_rows = rows != nullptr ? rows->FArraySize : 0;
      mpp_key_aggregated_[side] =
          DimCount(*this, side) == 0 && measured && by_key && int64_t{4} * join_work_.key_count() <= n_rows;
    }
    const int out_id = JoinOutputTable(
        &undo, {&TNonCubeSum::MppStep1, &TNonCubeSum::Step2, &TNonCubeSum::MppStep3, &TNonCubeSum::MppStep4,
                &TNonCubeSum::Step5, &TNonCubeSum::MppStep6, &TNonCubeSum::Step7, &TNonCubeSum::MppStep8,
                &TNonCubeSum::MppStep9, &TNonCubeSum::Step10, &TNonCubeSum::Step11, &TNonCubeSum::Step12,
                &TNonCubeSum::Step13, &TNonCubeSum::Step14});
    if (out_id < 0) return out_id;
    for (auto step : {&TNonCubeSum::MppStep15, &TNonCubeSum::Step17}) {
      const int rc = (this->*step)();
      if (rc < 0) return FailRoad(&undo, rc);
    }
    if (request_.n_measures() == 0) RegCount("");
    const int rc = MppStep18();
    if (rc < 0) return FailRoad(&undo, rc);
    InitJoinXSum();
    return out_id;
  });
}
