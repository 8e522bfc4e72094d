// What the serial and the parallel join roads of the non-cube summary share
// (summary/noncube/TNonCubeSum_join.cpp, summary/noncube/TNonCubeSum_mppjoin.cpp): the walk over the
// combinations of a key's master runs and slave runs, the weighted aggregation of one measure and the arrays
// of one dimension column. Not for other files.
//
// Side numbers here are 0 master, 1 slave. A side without dimensions has one run per key value (its
// whole bucket, group 0) and may keep neither group numbers nor run lengths.
//
// Thread safety: the functions read the object and write only their outputs, so the parallel road
// runs them on several workers at once for different measures or dimensions, once the serial steps
// up to Step14 (and Step17 for the measures) are done.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/FailureCode.h"
#include "q7api.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/TNonCubeSum.h"
#include "values/Numeric.h"
#include "values/ZpkBlock.h"

class TBaseArray;
class TFilter;
class TIntArray;
class TSetArray;

namespace noncube_join {

// A step that returns its failure as a code, the work arrays freed.
template <class Body>
int ReturningStep(TNonCubeSum* s, Body&& body) {
  try {
    body();
    return 0;
  } catch (...) {
    s->InitJoinXSum();
    return CurrentNegativeFailureCode();
  }
}

inline size_t AtLeastOne(int64_t n) { return static_cast<size_t>(n > 0 ? n : 1); }

inline TSetArray* SideRows(const TNonCubeSum& s, int side) { return s.request().side_rows(side); }
inline TFilter* SideKey(const TNonCubeSum& s, int side) { return s.request().side_key(side); }

inline TNonCubeSum::JoinSideWork& Work(TNonCubeSum& s, int side) { return s.join_work().side(side); }
inline const TNonCubeSum::JoinSideWork& Work(const TNonCubeSum& s, int side) {
  return s.join_work().side(side);
}
inline int DimCount(const TNonCubeSum& s, int side) { return s.request().side_dim_count(side); }
inline const int* Dims(const TNonCubeSum& s, int side) { return s.request().side_dims(side); }
inline int DimSide(const TNonCubeSum& s, int d) { return s.request().dim_side(d); }
inline int MeasureSide(const TNonCubeSum& s, int m) { return s.request().measure_side(m); }

// One run of a side within one key value: the rows pos .. pos + len - 1 of the side's rows, all of
// group `group`. len 0 stands for a side without rows for the key (group 0, weight 1, no rows).
struct Run {
  int pos;
  int len;
  int group;
  int64_t Weight() const { return len > 0 ? len : 1; }
};

// The runs of `side` in key value k, in bucket order. A run length below 1 or past the bucket
// throws Q7_ERROR_INNER_ENGINE.
inline void RunsOf(const TNonCubeSum& s, int side, int k, std::vector<Run>* out) {
  out->clear();
  const TNonCubeSum::JoinSideWork& w = Work(s, side);
  const int start = w.key_starts[k];
  const int end = w.key_starts[k + 1];
  if (start >= end) return;
  if (DimCount(s, side) == 0) {
    out->push_back(Run{start, end - start, 0});
    return;
  }
  for (int p = start; p < end;) {
    const int len = w.run_lengths[p];
    if (len < 1 || len > end - p) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    out->push_back(Run{p, len, w.group_of_row[p]});
    p += len;
  }
}

// Calls fn(k, master_runs, slave_runs) for every key value from k_from to k_to - 1 that has joined
// rows, keys ascending. For an outer join a side without rows for the key gets one empty run; an
// inner join skips such keys. The combinations of the key are every master run with every slave
// run, master-major.
template <class Fn>
void ForEachKeyIn(const TNonCubeSum& s, int k_from, int k_to, Fn&& fn) {
  std::vector<Run> master;
  std::vector<Run> slave;
  for (int k = k_from; k < k_to; ++k) {
    RunsOf(s, 0, k, &master);
    RunsOf(s, 1, k, &slave);
    if (master.empty() && slave.empty()) continue;
    if (master.empty() || slave.empty()) {
      if (s.request().outer() == 0) continue;
      if (master.empty()) master.push_back(Run{0, 0, 0});
      if (slave.empty()) slave.push_back(Run{0, 0, 0});
    }
    fn(k, master, slave);
  }
}

// ForEachKeyIn over every key value.
template <class Fn>
void ForEachKey(const TNonCubeSum& s, Fn&& fn) {
  ForEachKeyIn(s, 0, s.join_work().key_count(), std::forward<Fn>(fn));
}

// One measure's results per output row: value numbers of MAX and MIN (MIN 0 where nothing was
// seen), SUM as doubles or (DECIMAL) 16-byte decimals. Only what the working mask asks for is made.
struct MeasureSums {
  ZpkBlock<int> max;
  ZpkBlock<int> min;
  ZpkBlock<double> sum;
  ZpkBlock<Numeric> dsum;
};

// Sums that may wrap: the exact sum modulo 2^64, whatever the order of the additions.
inline int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

// What measure m's working mask asks of its sums, and on which side the measure lies.
struct MeasureShape {
  int side;
  int type;
  bool want_max;
  bool want_min;
  bool want_sum;
  bool rounding;
  double factor;  // the factor as the fixed-point split takes it: an exact power of ten
};
MeasureShape ShapeOf(const TNonCubeSum& s, int m);

// The output arrays of a measure's sums as its shape asks for them, at their start values (MIN at
// INT_MAX until something is seen), and a rounded sum's parts at 0.
void StartSums(const TNonCubeSum& s, const MeasureShape& sh, MeasureSums* out,
               std::vector<RoundedSum>* rounded);
// The last touches of a measure's sums: rounded sums rebuilt from their parts, MIN of nothing made
// NULL.
void FinishSums(const TNonCubeSum& s, const MeasureShape& sh, const std::vector<RoundedSum>& rounded,
                MeasureSums* out);

// Adds one run's aggregate a (max, min, int_sum, sum, rounded, dsum), counted weight times, to
// output row r. The rounded parts come out the same in any order (RoundedSum).
template <class Aggregate>
void AddWeighted(const MeasureShape& sh, const Aggregate& a, int64_t weight, int r, MeasureSums* out,
                 std::vector<RoundedSum>* rounded) {
  if (sh.want_max && a.max > out->max[r]) out->max[r] = a.max;
  if (sh.want_min && a.min < out->min[r]) out->min[r] = a.min;
  if (!sh.want_sum) return;
  switch (sh.type) {
    case Q7_TYPE_INTEGER:
      out->sum[r] += static_cast<double>(a.int_sum) * static_cast<double>(weight);
      break;
    case Q7_TYPE_DECIMAL: {
      Numeric part = a.dsum;
      if (weight != 1) q7num::NumericMul(&part, static_cast<int>(weight));
      q7num::NumericAdd(&out->dsum[r], &part, &out->dsum[r]);
      break;
    }
    default:
      if (sh.rounding) {
        AddRoundedTimes(a.rounded, weight, &(*rounded)[r]);
      } else {
        out->sum[r] += a.sum * static_cast<double>(weight);
      }
      break;
  }
}

// Aggregates measure m over every joined row behind each output row: each row of a run of the
// measure's side counts as many times as the partner run is long (once against a side without rows
// for the key). MAX and MIN skip NULL (a STRING list's NULL is its empty text). A combination
// count that disagrees with the walk throws Q7_ERROR_INNER_ENGINE; Q7_ERROR_OUT_OF_MEMORY.
void AccumulateMeasure(const TNonCubeSum& s, int m, MeasureSums* out);
// Divides each SUM in place by its output row's count (rows with a count of 0 stay as they are).
void AverageInPlace(const TNonCubeSum& s, int m, MeasureSums* sums);

// The row array (output rows + 1 entries, element 0 is 0) and the value list of dimension d's
// column: only the values the output rows use, NULL first, in value order, of the dimension's type
// (a double kind keeps its kind, a DECIMAL its scale and rounding mode). Throws
// Q7_ERROR_INDEX_OUT_OF_RANGE for a value number outside the list, Q7_ERROR_OUT_OF_MEMORY.
void BuildDimension(const TNonCubeSum& s, int d, std::unique_ptr<TIntArray>* rows,
                    std::unique_ptr<TBaseArray>* list);

// "<prefix><name cut to 248 bytes>>" ("N" alone for an empty COUNT name) into a name buffer.
void BracketName(const char* prefix, const char* name, char* out);

// Folds the pending values of every dimension and measure column into their lists (value numbers
// of pending values are negative), and checks that the columns and key columns of each side cover
// the side's records. Throws Q7_ERROR_INDEX_OUT_OF_RANGE for a column shorter than its side's key
// column, Q7_ERROR_INNER_ENGINE for key columns on different value lists.
void PrepareColumns(TNonCubeSum& s, bool parallel);

}  // namespace noncube_join
