// The cube sums over a join set. The joined rows are never formed: each side's rows are grouped by
// key and, within a key, by the categories of the dimensions on that side (a run); every run of one
// side meets every run of the other side with the same key, each row of one counting as many times
// as the other run is long. Rows of an outer join whose key has no partner meet the other side's
// NULL row once. The work grows with the rows of the two sides and their runs, not with the joined
// rows.
#include <algorithm>
#include <vector>

#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "summary/cube/TSummary.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"

namespace {

constexpr int kNoMin = 0x7FFFFFFF;

// Rows of one side with the same key and the same categories on that side, and what their
// measure values (when the measure lies on this side) add up to.
struct Run {
  int key = 0;
  int sub_cell = 0;
  int64_t rows = 0;
  int64_t counted = 0;  // rows whose measure counts (all rows for a text measure or no measure)
  int max = 0;
  int min = kNoMin;
  double sum = 0;
  Numeric decimal_sum{};
};

}  // namespace

struct TSummary::JoinSide {
  std::vector<Run> runs;  // ordered by key, then sub-cell
  int null_cell = 0;      // the cell part of this side's dimensions for a missing row
};

void TSummary::BuildJoinSide(int side, JoinSide* out) const {
  const JoinSetEntry& e = join_->FEntries[set_pos_];
  TSetArray* rows = e.rows[side];
  TIntArray* key_pv = side == 0 ? join_->FMasterKeyFilter->PV : join_->FSlaveKeyFilter->PV;
  const int n_keys = join_->FMasterKeyFilter->VL->FArraySize;
  const std::vector<int>& dims = side_dims_[side];
  const bool has_measure = measure_filter_ != nullptr && measure_side_ == side;
  const bool text_measure = has_measure && measure_type_ != Q7_TYPE_INTEGER &&
                            measure_type_ != Q7_TYPE_DOUBLE && measure_type_ != Q7_TYPE_DECIMAL;
  const int measure_values = has_measure ? measure_filter_->VL->FArraySize : 0;

  struct Item {
    int key;
    int sub_cell;
    int v;
  };
  std::vector<Item> items;
  items.reserve(static_cast<size_t>(rows->FArraySize));
  const int* row_data = rows->PIntAr();
  for (int i = 0; i < rows->FArraySize; ++i) {
    const int row = row_data[i];
    // Record 0 stands for "no row on this side" in the pairing's lists, never for a row of the set.
    if (row == 0) continue;
    if (row < 0 || row >= key_pv->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int key = key_pv->PIntAr()[row];
    if (key < 0 || key >= n_keys) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    // An outer join leaves the rows with a NULL key out on both sides.
    if (join_->FOuter != 0 && key == 0) continue;
    int v = 0;
    if (has_measure) {
      TIntArray* pv = measure_filter_->PV;
      if (row >= pv->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
      v = pv->PIntAr()[row];
      if (v < 0 || v >= measure_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    }
    items.push_back(Item{key, CellOf(row, dims), v});
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return a.key != b.key ? a.key < b.key : a.sub_cell < b.sub_cell;
  });

  out->null_cell = NullCellOf(dims);
  out->runs.clear();
  for (const Item& item : items) {
    if (out->runs.empty() || out->runs.back().key != item.key || out->runs.back().sub_cell != item.sub_cell) {
      Run run;
      run.key = item.key;
      run.sub_cell = item.sub_cell;
      q7num::NumericSetZero(&run.decimal_sum);
      out->runs.push_back(run);
    }
    Run& run = out->runs.back();
    ++run.rows;
    if (!has_measure) {
      ++run.counted;
      continue;
    }
    if (item.v == 0 && !text_measure) continue;
    ++run.counted;
    run.max = std::max(run.max, item.v);
    if (item.v != 0) run.min = std::min(run.min, item.v);
    if (text_measure) continue;
    switch (measure_type_) {
      case Q7_TYPE_INTEGER:
        run.sum += static_cast<double>(static_cast<TIntArray*>(measure_filter_->VL)->PIntAr()[item.v]);
        break;
      case Q7_TYPE_DOUBLE:
        run.sum += static_cast<TDoubleArray*>(measure_filter_->VL)->GetDouble(item.v);
        break;
      default:
        q7num::NumericAdd(&run.decimal_sum, static_cast<Numeric*>(measure_filter_->VL->GetAddress(item.v)),
                          &run.decimal_sum);
        break;
    }
  }
}

void TSummary::SumJoin(int count, int max, int min, int sum) {
  if (!count) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  JoinSide sides[2];
  BuildJoinSide(0, &sides[0]);
  BuildJoinSide(1, &sides[1]);
  const bool has_measure = measure_filter_ != nullptr;
  const bool text_measure = has_measure && measure_type_ != Q7_TYPE_INTEGER &&
                            measure_type_ != Q7_TYPE_DOUBLE && measure_type_ != Q7_TYPE_DECIMAL;

  // Adds `run` (of the measure's side, or of either side without a measure) to `cell`, each of its
  // rows meeting `times` rows of the other side.
  auto add_run = [&](int cell, const Run& run, int64_t times) {
    if (run.counted == 0) return;
    count_[cell] += static_cast<int>(run.counted * times);
    if (!has_measure) return;
    if (max && run.max > max_[cell]) max_[cell] = run.max;
    if (min && run.min < min_[cell]) min_[cell] = run.min;
    if (!sum || text_measure) return;
    if (measure_type_ == Q7_TYPE_DECIMAL) {
      Numeric part = run.decimal_sum;
      if (times != 1) q7num::NumericMul(&part, static_cast<int>(times));
      q7num::NumericAdd(&dsum_[cell], &part, &dsum_[cell]);
    } else {
      sum_[cell] += run.sum * static_cast<double>(times);
    }
  };
  // The joined rows of a run whose other side is the NULL row: without a measure, or with the
  // measure on the run's side, they count as they are; a measure on the missing side is NULL, which
  // only a text measure counts.
  auto add_unpartnered = [&](int side, const Run& run) {
    const int cell = run.sub_cell + sides[1 - side].null_cell;
    if (!has_measure || measure_side_ == side) {
      add_run(cell, run, 1);
    } else if (text_measure) {
      count_[cell] += static_cast<int>(run.rows);
    }
  };

  const std::vector<Run>& a = sides[0].runs;
  const std::vector<Run>& b = sides[1].runs;
  const bool outer = join_->FOuter != 0;
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() || j < b.size()) {
    const int key_a = i < a.size() ? a[i].key : INT32_MAX;
    const int key_b = j < b.size() ? b[j].key : INT32_MAX;
    const int key = std::min(key_a, key_b);
    size_t i_end = i;
    while (i_end < a.size() && a[i_end].key == key) ++i_end;
    size_t j_end = j;
    while (j_end < b.size() && b[j_end].key == key) ++j_end;
    if (i_end > i && j_end > j) {
      for (size_t x = i; x < i_end; ++x) {
        for (size_t y = j; y < j_end; ++y) {
          const int cell = a[x].sub_cell + b[y].sub_cell;
          if (!has_measure || measure_side_ == 0) {
            add_run(cell, a[x], b[y].rows);
          } else {
            add_run(cell, b[y], a[x].rows);
          }
        }
      }
    } else if (outer) {
      for (size_t x = i; x < i_end; ++x) add_unpartnered(0, a[x]);
      for (size_t y = j; y < j_end; ++y) add_unpartnered(1, b[y]);
    }
    i = i_end;
    j = j_end;
  }
}
