// The cube summary behind a summary handle: its cells, their sums and reads.
#include "summary/cube/TSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "summary/cube/SummaryHandles.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int kMinStart = 0x7FFFFFFF;

TTableCollection* Collection() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

TBaseTable* RequireTable(int table_id) {
  TBaseTable* table = Collection()->GetTable(table_id);
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return table;
}

// The measure bits a measure of this basic type can give.
int AllowedBits(int measure_type) {
  switch (measure_type) {
    case Q7_TYPE_INTEGER:
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DECIMAL:
      return kSumCount | kSumMax | kSumMin | kSumSum;
    default:
      return kSumCount | kSumMax | kSumMin;
  }
}

}  // namespace

TSummary::TSummary(int handle, int table_id, int set_id, int dim_count, _TDimensionDef* dims, int measure_id)
    : handle_(handle) {
  TBaseTable* table = RequireTable(table_id);
  if (table->GetSet(set_id) == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  if (measure_id > 0 && table->GetFilter(measure_id) == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  if (dim_count < 0 || dim_count > kMaxDims) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  if (dim_count > 0 && dims == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);

  const bool real = table->GetTableKind() == 0;
  if (real) {
    auto* real_table = static_cast<TRealTable*>(table);
    // Dropping unused values renumbers the column: never on a table other processes read, and never
    // under a host map, which was written against the value numbers as they are.
    const bool shared = real_table->FShmImage != 0 || real_table->isQ7TShared();
    for (int d = 0; d < dim_count; ++d) {
      if (real_table->GetFilter(dims[d].column_id) == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
      if (dims[d].category_map != nullptr) break;
      if (!shared) {
        const int code = real_table->CondenseFilter(dims[d].column_id);
        if (code < 0) throw CQ7Exception(code);
      }
    }
    real_table->CheckMergeFilterTVL(true);
  }

  if (real && dim_count > 0 && std::none_of(dims, dims + dim_count, [](const _TDimensionDef& d) {
        return d.category_map != nullptr;
      })) {
    const int rows = table->GetSetSize(set_id);
    for (int d = 0; d < dim_count; ++d) {
      if (rows <= table->GetFilter(dims[d].column_id)->VL->FArraySize / kExtractRatio) {
        source_table_id_ = table_id;
        source_table_ = table;
        table_id_ = table_id;
        set_id_ = set_id;
        table_ = table;
        ExtractRows(&measure_id, dim_count, dims);
        table_id = table_id_;
        set_id = set_id_;
        break;
      }
    }
  }

  try {
    table_ = RequireTable(table_id);
    if (set_id < 0) set_id = table_->GetCurrentSetID();
    set_ = table_->GetSet(set_id);
    if (set_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
    table_id_ = table_id;
    set_id_ = set_id;
    dim_count_ = dim_count;

    if (measure_id > 0) {
      measure_filter_ = table_->GetFilter(measure_id);
      if (measure_filter_ == nullptr || measure_filter_->VL == nullptr || measure_filter_->PV == nullptr) {
        throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
      }
      measure_id_ = measure_id;
      measure_type_ = measure_filter_->VL->GetDataType();
      measure_ext_type_ = measure_type_;
      if (measure_type_ == Q7_TYPE_DOUBLE) {
        measure_ext_type_ = static_cast<TDoubleArray*>(measure_filter_->VL)->GetExtendType();
      }
    }

    const int kind = table_->GetTableKind();
    if (kind == 2) {
      join_ = static_cast<TJoinTableBase*>(table_);
      SetUpJoin(dim_count, dims);
    } else if (kind == 0) {
      for (int d = 0; d < dim_count; ++d) side_dims_[0].push_back(d);
    } else {
      throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
    }

    int running = 1;
    for (int d = dim_count - 1; d >= 0; --d) SetUpDimension(d, dims[d], &running);
    cell_count_ = running;
    for (int d = 0; d < dim_count; ++d) held_dims_[d].Hold(dims_[d].filter->VL);
    if (measure_filter_ != nullptr) held_measure_.Hold(measure_filter_->VL);
  } catch (...) {
    try {
      DeleteTempTable();
    } catch (...) {
      // The construction's own failure is the one the caller gets.
    }
    throw;
  }
}

TSummary::~TSummary() {
  try {
    DropTempTable();
  } catch (...) {
    // Destroyed without Close (engine stop): a table that cannot be deleted goes with its collection.
  }
}

void TSummary::DropTempTable() {
  if (temp_table_id_ > 0 && !TempTableStands()) temp_table_id_ = 0;
  DeleteTempTable();
}

void TSummary::DeleteTempTable() {
  const int id = temp_table_id_;
  if (id <= 0) return;
  temp_table_id_ = 0;
  const int code = RunSummaryDrop(id);
  if (code < 0) throw CQ7Exception(code);
}

bool TSummary::TempTableStands() const {
  // Within one database an ID names one table for good, but a clear or a load issues it again, maybe
  // to a table built where the copy was: the copy is the table that still lists a held value list.
  TBaseTable* temp = FindTableQuietly(temp_table_id_);
  if (temp == nullptr || temp != table_) return false;
  for (int d = 0; d < dim_count_; ++d) {
    const TFilter* filter = FindFilterQuietly(temp, dims_[d].def.column_id);
    if (filter != nullptr && filter->VL == held_dims_[d].get()) return true;
  }
  return false;
}

bool TSummary::Current() {
  // Each pointer is compared with what the database hands out before anything is read through it.
  if (source_table_ != nullptr && FindTableQuietly(source_table_id_) != source_table_) return false;
  if (table_ == nullptr || FindTableQuietly(table_id_) != table_ || !HasSet(table_, set_id_) ||
      table_->GetSet(set_id_) != set_) {
    return false;
  }
  for (int d = 0; d < dim_count_; ++d) {
    const TFilter* filter = FindFilterQuietly(table_, dims_[d].def.column_id);
    if (filter == nullptr || filter != dims_[d].filter || !held_dims_[d].ListedBy(filter)) return false;
  }
  if (measure_filter_ != nullptr) {
    const TFilter* filter = FindFilterQuietly(table_, measure_id_);
    if (filter == nullptr || filter != measure_filter_ || !held_measure_.ListedBy(filter)) return false;
  }
  // Deleting an earlier set moves the join set's entry.
  if (join_ != nullptr) set_pos_ = join_->SetID2Pos(set_id_);
  return true;
}

void TSummary::ExtractRows(int* measure_id, int dim_count, _TDimensionDef* dims) {
  std::vector<int> wanted;
  for (int d = 0; d < dim_count; ++d) wanted.push_back(dims[d].column_id);
  if (*measure_id > 0) wanted.push_back(*measure_id);
  std::vector<int> distinct = wanted;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  auto new_id = [&distinct](int old_id) {
    return static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), old_id) - distinct.begin()) +
           1;
  };
  std::vector<int> list = distinct;
  list.push_back(0);
  char name[TBaseTable::kNameSize];
  std::snprintf(name, sizeof name, "%s", table_->FTableName);
  const int id = RunSummaryExtract(name, table_id_, set_id_, list.data());
  temp_table_id_ = id;
  // The new table holds the listed columns in ascending order of their old IDs, numbered from 1.
  for (int d = 0; d < dim_count; ++d) dims[d].column_id = new_id(dims[d].column_id);
  if (*measure_id > 0) *measure_id = new_id(*measure_id);
  table_id_ = id;
  set_id_ = 1;
}

void TSummary::SetUpJoin(int dim_count, const _TDimensionDef* dims) {
  set_pos_ = join_->SetID2Pos(set_id_);
  if (set_pos_ < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  const JoinSetEntry& e = join_->FEntries[set_pos_];
  if (e.rows[0] == nullptr || e.rows[1] == nullptr || join_->FMasterKeyFilter == nullptr ||
      join_->FSlaveKeyFilter == nullptr || join_->FMasterKeyFilter->PV == nullptr ||
      join_->FSlaveKeyFilter->PV == nullptr || join_->FMasterKeyFilter->VL == nullptr) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  measure_side_ = measure_id_ > join_->FnMasterColumn ? 1 : 0;
  for (int d = 0; d < dim_count; ++d) {
    int side = -1;
    const int code = join_->JFilterID2Pos(dims[d].column_id, &side);
    if (code < 0) throw CQ7Exception(code);
    side_dims_[side == 0 ? 0 : 1].push_back(d);
  }
}

void TSummary::SetUpDimension(int d, const _TDimensionDef& host, int* running_product) {
  Dimension& dim = dims_[d];
  dim.def = host;
  dim.filter = table_->GetFilter(host.column_id);
  if (dim.filter == nullptr || dim.filter->VL == nullptr || dim.filter->PV == nullptr) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  const int values = dim.filter->VL->FArraySize;
  if (host.category_map == nullptr) {
    if (values < 1) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    dim.identity = true;
    dim.def.category_count = values;
    dim.map.resize(static_cast<size_t>(values));
    for (int k = 0; k < values; ++k) dim.map[static_cast<size_t>(k)] = k;
  } else if (host.category_count < 1) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  const int categories = dim.def.category_count;
  dim.stride = *running_product;
  const int64_t product = static_cast<int64_t>(*running_product) * categories;
  if (product > kMaxCells) throw CQ7Exception(Q7_ERROR_SUMMARY_CELLS_OVERFLOW);
  *running_product = static_cast<int>(product);

  if (host.category_names != nullptr && host.name_callback != nullptr) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  if (host.category_names == nullptr && host.name_callback == nullptr) {
    if (!dim.identity) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    dim.def.name_callback = DefaultDimName;
  }
  if (!dim.identity) {
    dim.map.assign(host.category_map, host.category_map + values);
    for (int c : dim.map) {
      if (c < 0 || c >= categories) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    }
  }
  dim.def.category_map = dim.map.data();
  if (host.category_names != nullptr) {
    std::vector<size_t> offsets;
    for (int c = 0; c < categories; ++c) {
      const char* text = host.category_names[c] != nullptr ? host.category_names[c] : "";
      offsets.push_back(dim.name_texts.size());
      dim.name_texts.insert(dim.name_texts.end(), text, text + std::strlen(text) + 1);
    }
    for (size_t offset : offsets) dim.names.push_back(dim.name_texts.data() + offset);
    dim.def.category_names = dim.names.data();
  }
}

int TSummary::SummaryExec(int bits, int* computed) {
  if (join_ == nullptr) static_cast<TRealTable*>(table_)->CheckMergeFilterTVL(true);
  // Merged pending values give a column a new list, which the maps were not made for.
  if (!Current()) throw CQ7Exception(Q7_ERROR_INVALID_SUM_HANDLE);
  const int allowed = measure_filter_ == nullptr ? kSumCount : bits & AllowedBits(measure_type_);
  int new_bits = allowed & ~computed_;
  if (new_bits == 0) {
    if (computed != nullptr) *computed = computed_;
    return 0;
  }
  if ((computed_ & kSumCount) == 0) new_bits |= kSumCount;
  AllocateArrays(new_bits);
  computed_ |= new_bits;
  if (computed != nullptr) *computed = computed_;

  const int count = new_bits & kSumCount ? 1 : 0;
  const int max = new_bits & kSumMax ? 1 : 0;
  const int min = new_bits & kSumMin ? 1 : 0;
  const int sum = new_bits & kSumSum ? 1 : 0;
  if (measure_filter_ == nullptr) {
    if (join_ == nullptr) {
      SumNoMeasureReal(count);
    } else if (dim_count_ == 0) {
      count_[0] = join_->GetSetSize(set_id_);
    } else {
      SumJoin(count, 0, 0, 0);
    }
    return 0;
  }
  if (join_ == nullptr) {
    SumMeasureReal(count, max, min, sum);
  } else {
    SumJoin(count, max, min, sum);
  }
  if (computed_ & kSumSum) {
    for (int c = 0; c < cell_count_; ++c) {
      if (count_[c] != 0) continue;
      if (measure_type_ == Q7_TYPE_DECIMAL) {
        q7num::NumericSetNan(&dsum_[c]);
      } else {
        sum_[c] = -std::numeric_limits<double>::infinity();
      }
    }
  }
  if (min) {
    for (int c = 0; c < cell_count_; ++c) {
      if (min_[c] == kMinStart) min_[c] = 0;
    }
  }
  return 0;
}

void TSummary::AllocateArrays(int new_bits) {
  const size_t n = static_cast<size_t>(cell_count_);
  if ((new_bits & kSumCount) && !count_) {
    count_ = ZpkBlock<int>(n);
    std::fill(count_.get(), count_.get() + n, 0);
  }
  if ((new_bits & kSumMax) && !max_) {
    max_ = ZpkBlock<int>(n);
    std::fill(max_.get(), max_.get() + n, 0);
  }
  if ((new_bits & kSumMin) && !min_) {
    min_ = ZpkBlock<int>(n);
    std::fill(min_.get(), min_.get() + n, kMinStart);
  }
  if ((new_bits & kSumSum) && measure_type_ == Q7_TYPE_DECIMAL && !dsum_) {
    dsum_ = ZpkBlock<Numeric>(n);
    for (size_t c = 0; c < n; ++c) q7num::NumericSetZero(&dsum_[c]);
  } else if ((new_bits & kSumSum) && measure_type_ != Q7_TYPE_DECIMAL && !sum_) {
    sum_ = ZpkBlock<double>(n);
    std::fill(sum_.get(), sum_.get() + n, 0.0);
  }
}

int TSummary::CellOf(int row, const std::vector<int>& dims) const {
  int cell = 0;
  for (int d : dims) {
    const Dimension& dim = dims_[d];
    const TIntArray* pv = dim.filter->PV;
    if (row < 0 || row >= pv->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int v = const_cast<TIntArray*>(pv)->PIntAr()[row];
    if (v < 0 || v >= static_cast<int>(dim.map.size())) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    cell += dim.stride * dim.map[static_cast<size_t>(v)];
  }
  return cell;
}

int TSummary::CellOfRow(int row) const { return CellOf(row, side_dims_[0]); }

int TSummary::NullCellOf(const std::vector<int>& dims) const {
  int cell = 0;
  for (int d : dims) cell += dims_[d].stride * dims_[d].map[0];
  return cell;
}

void TSummary::AddMeasure(int cell, int v, int64_t times, int count, int max, int min, int sum) {
  const bool string_like =
      measure_type_ != Q7_TYPE_INTEGER && measure_type_ != Q7_TYPE_DOUBLE && measure_type_ != Q7_TYPE_DECIMAL;
  if (v == 0 && !string_like) return;
  if (count) count_[cell] += static_cast<int>(times);
  if (max && v > max_[cell]) max_[cell] = v;
  // A NULL text never stands as the least value of a cell that holds a text.
  if (min && v != 0 && v < min_[cell]) min_[cell] = v;
  if (!sum || string_like) return;
  switch (measure_type_) {
    case Q7_TYPE_INTEGER:
      sum_[cell] += static_cast<double>(static_cast<TIntArray*>(measure_filter_->VL)->PIntAr()[v]) *
                    static_cast<double>(times);
      break;
    case Q7_TYPE_DOUBLE:
      sum_[cell] +=
          static_cast<TDoubleArray*>(measure_filter_->VL)->GetDouble(v) * static_cast<double>(times);
      break;
    default: {
      Numeric value = *static_cast<Numeric*>(measure_filter_->VL->GetAddress(v));
      if (times != 1) q7num::NumericMul(&value, static_cast<int>(times));
      q7num::NumericAdd(&dsum_[cell], &value, &dsum_[cell]);
      break;
    }
  }
}

void TSummary::SumNoMeasureReal(int count) {
  if (!count) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  const int n = set_->FArraySize;
  if (dim_count_ == 0) {
    count_[0] = n;
    return;
  }
  const int* rows = set_->PIntAr();
  for (int i = 0; i < n; ++i) ++count_[CellOfRow(rows[i])];
}

void TSummary::SumMeasureReal(int count, int max, int min, int sum) {
  if (!count) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  const int n = set_->FArraySize;
  const int* rows = set_->PIntAr();
  TIntArray* measure_pv = measure_filter_->PV;
  const int values = measure_filter_->VL->FArraySize;
  for (int i = 0; i < n; ++i) {
    const int row = rows[i];
    if (row < 0 || row >= measure_pv->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int v = measure_pv->PIntAr()[row];
    if (v < 0 || v >= values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    AddMeasure(CellOfRow(row), v, 1, count, max, min, sum);
  }
}

namespace {

void LogRead(int code, const char* what, int number) {
  char text[64];
  std::snprintf(text, sizeof text, "Invalid Parameter : %s(%d)", what, number);
  PutErrorLog("SummaryRead", code, text);
}

}  // namespace

int TSummary::SummaryRead(int bit, const int* categories, int* result_type, int* value_type, int* count,
                          void** value) {
  return SummaryRead2(bit, categories, result_type, value_type, count, value, nullptr);
}

int TSummary::SummaryRead2(int bit, const int* categories, int* result_type, int* value_type, int* count,
                           void** value, NumericInfo** info) {
  if (bit != kSumCount && bit != kSumMax && bit != kSumMin && bit != kSumSum) {
    LogRead(Q7_ERROR_INVALID_PARAMETER, "SumType", bit);
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  if ((computed_ & bit) == 0) {
    LogRead(Q7_ERROR_INVALID_OUTPUT_PARAMETER, "SumType", bit);
    throw CQ7Exception(Q7_ERROR_INVALID_OUTPUT_PARAMETER);
  }
  int cell = 0;
  for (int d = 0; d < dim_count_; ++d) {
    const int c = categories[d];
    if (c < 0 || c >= dims_[d].def.category_count) {
      LogRead(Q7_ERROR_OUT_OF_RANGE, "Dims", d);
      return Q7_ERROR_OUT_OF_RANGE;
    }
    cell += c * dims_[d].stride;
  }
  const int n = count_[cell];
  if (measure_filter_ == nullptr) {
    if (bit != kSumCount) {
      LogRead(Q7_ERROR_INVALID_PARAMETER, "SumType", bit);
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    }
    *result_type = Q7_TYPE_INTEGER;
    *value_type = Q7_TYPE_INTEGER;
    *count = n;
    *value = &count_[cell];
    return 0;
  }
  *result_type = measure_type_;
  *count = n;
  switch (bit) {
    case kSumCount:
      *value_type = Q7_TYPE_INTEGER;
      *value = n == 0 ? nullptr : &count_[cell];
      break;
    case kSumMax:
    case kSumMin: {
      // A date, time or datetime keeps its kind: the value is the same 8 bytes either way.
      *value_type = measure_ext_type_;
      const int v = bit == kSumMax ? max_[cell] : min_[cell];
      *value = n == 0 ? nullptr : measure_filter_->VL->GetAddress(v);
      if (measure_type_ == Q7_TYPE_DECIMAL && info != nullptr) {
        *info = static_cast<TNumericArray*>(measure_filter_->VL)->GetDecimalInfo();
      }
      break;
    }
    default:
      if (measure_type_ == Q7_TYPE_DECIMAL) {
        *value_type = info != nullptr ? Q7_TYPE_DECIMAL : Q7_TYPE_DOUBLE;
        *value = n == 0 ? nullptr : static_cast<void*>(&dsum_[cell]);
        if (info != nullptr) *info = static_cast<TNumericArray*>(measure_filter_->VL)->GetDecimalInfo();
      } else {
        *value_type = Q7_TYPE_DOUBLE;
        *value = n == 0 ? nullptr : static_cast<void*>(&sum_[cell]);
      }
      break;
  }
  return 0;
}
