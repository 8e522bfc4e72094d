// The non-cube summary: a set of a real or join table aggregated over its dimensions.
#include "summary/TNonCubeSum.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTable.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "summary/SummaryBits.h"
#include "summary/SummaryOutput.h"
#include "summary/UsedValues.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

TTableCollection* Collection() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

// The bits a measure of this value-list type may ask for.
int AllowedBits(int type) {
  return type == Q7_TYPE_STRING ? (kSumCount | kSumMax | kSumMin)
                                : (kSumCount | kSumMax | kSumMin | kSumSum | kSumAverage);
}

// The free-standing MAX/MIN column of the three builders: a name, a row array and a value list of
// only the values used. Throws; nothing survives a failure.
void BuildMaxMinColumn(int kind, int n_rows, const int* value_numbers, const char* base_name,
                       TFilter* measure, std::unique_ptr<TIntArray>* rows_out,
                       std::unique_ptr<TBaseArray>* list_out, std::string* name_out) {
  TBaseArray* vl = measure->VL;
  const int n_values = vl->FArraySize;
  for (int r = 0; r < n_rows; ++r) {
    const int v = value_numbers[r];
    if (v < 0 || v >= n_values) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
  const UsedValues used = CollectUsedValues(n_values, n_rows, value_numbers);
  std::unique_ptr<TBaseArray> list = ListOfValues(vl, used.kept);
  if (list->GetDataType() == Q7_TYPE_DOUBLE) {
    // A date, time or datetime measure keeps its kind.
    list->FUserArea[0] = vl->FUserArea[0];
  } else if (list->GetDataType() == Q7_TYPE_DECIMAL) {
    NumericInfo info{};
    static_cast<TNumericArray*>(vl)->GetDecimalInfo(&info);
    static_cast<TNumericArray*>(list.get())->SetDecimalInfo(&info);
  }

  auto rows = std::make_unique<TIntArray>(n_rows + 1, 1);
  int* pv = rows->PIntAr();
  pv[0] = 0;
  for (int r = 0; r < n_rows; ++r) pv[r + 1] = used.NewNumber(value_numbers[r]);

  *name_out = std::string(kind == kSumMax ? "MAX<" : "MIN<") + base_name + ">";
  if (name_out->size() >= TFilter::kNameSize) name_out->resize(TFilter::kNameSize - 1);
  *rows_out = std::move(rows);
  *list_out = std::move(list);
}

// The free-standing forms: a filter with ID kFreeFilterID over the built arrays.
int FreeMaxMinFilter(int kind, int n_rows, int* value_numbers, const char* base_name, TFilter* measure,
                     TFilter** out) {
  if (kind != kSumMax && kind != kSumMin) return Q7_ERROR_INNER_ENGINE;
  try {
    if (measure == nullptr || measure->VL == nullptr || out == nullptr || n_rows < 0) {
      return Q7_ERROR_INVALID_PARAMETER;
    }
    std::unique_ptr<TIntArray> rows;
    std::unique_ptr<TBaseArray> list;
    std::string name;
    BuildMaxMinColumn(kind, n_rows, value_numbers, base_name, measure, &rows, &list, &name);
    std::vector<char> work(name.begin(), name.end());
    work.push_back('\0');
    auto filter = std::make_unique<TFilter>(TNonCubeSum::kFreeFilterID, work.data());
    filter->PV = rows.release();
    filter->ReplaceValueList(list.release());
    *out = filter.release();
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (const std::bad_alloc&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

}  // namespace

TNonCubeSum::TNonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                         const int* measures, const int* masks, const int* decimals) {
  try {
    result_ = -1;
    // A negative count would size the summary's copies; it is refused like a measure count.
    if (n_dims < 0 || n_dims > kMaxColumns) throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
    if (n_measures < 0 || n_measures > kMaxColumns) throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
    if ((n_dims > 0 && dims == nullptr) ||
        (n_measures > 0 && (measures == nullptr || masks == nullptr || decimals == nullptr))) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    }
    TTableCollection* db = Collection();
    table_id_ = table_id;
    table_ = db->GetTable(table_id);
    if (table_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);

    std::string seed = std::string("XTBL_") + table_->FTableName;
    if (seed.size() >= static_cast<size_t>(kNameSize)) seed.resize(kNameSize - 1);
    const int named = db->GenTableName(seed.c_str(), out_name_);
    if (named < 0) throw CQ7Exception(named);

    join_ = table_->GetTableKind() == 2 ? 1 : 0;
    if (join_) join_table_ = static_cast<TJoinTableBase*>(table_);

    set_id_ = set_id;
    set_ = table_->GetSet(set_id);
    if (set_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);

    n_dims_ = n_dims;
    for (int d = 0; d < n_dims; ++d) {
      dim_ids_[d] = dims[d];
      dim_filters_[d] = table_->GetFilter(dims[d]);
      if (dim_filters_[d] == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }

    n_measures_ = n_measures;
    for (int m = 0; m < n_measures; ++m) {
      measure_ids_[m] = measures[m];
      TFilter* filter = table_->GetFilter(measures[m]);
      if (filter == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
      measure_filters_[m] = filter;
      const int type = filter->VL->GetDataType();
      if (type != Q7_TYPE_INTEGER && type != Q7_TYPE_DOUBLE && type != Q7_TYPE_STRING &&
          type != Q7_TYPE_DECIMAL) {
        throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
      }
      measure_types_[m] = type;
      const int mask = masks[m];
      if (mask == 0 || (mask & ~AllowedBits(type)) != 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
      req_masks_[m] = mask;
      work_masks_[m] = (mask & kSumAverage) ? (mask | kSumCount | kSumSum) : mask;
      if (type == Q7_TYPE_INTEGER || type == Q7_TYPE_DOUBLE) {
        const int given = decimals[m];
        if (given > kMaxDecimals) throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
        decimals_[m] = given < 0 ? -1 : given;
        round_factors_[m] = (type == Q7_TYPE_DOUBLE && given >= 0) ? std::pow(10.0, given) : 0.0;
      } else {
        decimals_[m] = 0;
        round_factors_[m] = 0.0;
      }
    }

    if (join_) FillJoinRequest();
    result_ = join_ ? NonCubeJoinDimNMsrN() : NonCubeRealDimN();
  } catch (const CQ7Exception& e) {
    result_ = e.ErrorCode();
    throw;
  }
}

TNonCubeSum::~TNonCubeSum() { InitJoinXSum(); }

void TNonCubeSum::InitJoinXSum() {
  for (JoinSideWork* side : {&slave_work_, &master_work_}) {
    side->row_count = 0;
    side->rows.Reset();
    side->group_of_row.Reset();
    side->group_count = 0;
    side->reps.Reset();
    side->key_starts.Reset();
    side->run_lengths.Reset();
  }
  key_count_ = 0;
  key_count1_ = 0;
  comb_count_ = 0;
  comb_master_group_.Reset();
  comb_slave_group_.Reset();
  comb_order_.Reset();
  out_row_count_ = 0;
  out_master_group_.Reset();
  out_slave_group_.Reset();
  comb_out_row_.Reset();
  out_counts_.Reset();
}

void TNonCubeSum::FillJoinRequest() {
  TJoinTableBase* join = join_table_;
  const int pos = join->SetID2Pos(set_id_);
  if (pos < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  const JoinSetEntry& entry = join->FEntries[pos];
  master_rows_ = entry.rows[0];
  slave_rows_ = entry.rows[1];
  outer_ = join->FOuter;
  master_key_ = join->FMasterKeyFilter;
  slave_key_ = join->FSlaveKeyFilter;
  master_table_ = join->FMasterTable;
  slave_table_ = join->FSlaveTable;
  n_master_dims_ = 0;
  n_slave_dims_ = 0;
  for (int d = 0; d < n_dims_; ++d) {
    int side = -1;
    if (join->JFilterID2Pos(dim_ids_[d], &side) < 0 || (side != 0 && side != 1)) {
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }
    dim_side_[d] = side == 0 ? 1 : 0;
    if (side == 0) {
      master_dims_[n_master_dims_++] = d;
    } else {
      slave_dims_[n_slave_dims_++] = d;
    }
  }
  for (int m = 0; m < n_measures_; ++m) {
    int side = -1;
    if (join->JFilterID2Pos(measure_ids_[m], &side) < 0 || (side != 0 && side != 1)) {
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }
    measure_side_[m] = side == 0 ? 1 : 0;
  }
}

void TNonCubeSum::SetupSummaryInfo(int out_column_id, int source_column_id, int kind, int bit) {
  if (out_table_ == nullptr || out_table_->FilterID2Pos(out_column_id) < 0) {
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  SummaryInfoCounters counters{dims_written_, measures_written_};
  WriteSummaryColumnInfo(out_table_, out_column_id, sum_attr::kNonCubeSummary, join_ != 0, n_dims_, table_id_,
                         set_id_, source_column_id, kind, bit, &counters);
  dims_written_ = counters.dims;
  measures_written_ = counters.measures;
}

void TNonCubeSum::SetDisplayDigits(int id, int decimals) {
  TFilter* filter = out_table_->GetFilter(id);
  if (filter == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  filter->VL->FUserArea[5] = static_cast<uint8_t>(static_cast<int8_t>(decimals - 3));
}

int TNonCubeSum::RepeatFirstCount(const std::string& column) {
  const int id = out_table_->DupFilter(first_count_id_);
  if (id < 0) throw CQ7Exception(id);
  const int pos = out_table_->FilterID2Pos(id);
  if (pos < 0) throw CQ7Exception(pos);
  const int moved = out_table_->MoveFilter(pos, out_table_->GetNFilter());
  if (moved < 0) throw CQ7Exception(moved);
  // GenFilterName rewrites its seed in place and reads at most a name's bytes.
  std::vector<char> seed(column.begin(), column.end());
  seed.resize(TFilter::kNameSize, '\0');
  seed[TFilter::kNameSize - 1] = '\0';
  char unique[TFilter::kNameSize];
  const int named = out_table_->GenFilterName(seed.data(), unique);
  if (named < 0) throw CQ7Exception(named);
  qz7_strlcpy(out_table_->GetFilter(id)->FFilterName, unique, TFilter::kNameSize);
  return id;
}

int TNonCubeSum::PutMaxMinFilter(int kind, int decimals, int n_rows, int* value_numbers, TFilter* measure) {
  if (kind != kSumMax && kind != kSumMin) return Q7_ERROR_INNER_ENGINE;
  if (out_table_ == nullptr || measure == nullptr || measure->VL == nullptr)
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  std::unique_ptr<TIntArray> rows;
  std::unique_ptr<TBaseArray> list;
  std::string name;
  BuildMaxMinColumn(kind, n_rows, value_numbers, measure->FFilterName, measure, &rows, &list, &name);
  std::vector<char> work(name.begin(), name.end());
  work.push_back('\0');
  const int id =
      out_table_->AddFilter(TRealTable::kAppendPosition, work.data(), rows.get(), list.get(), false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  rows.release();
  list.release();
  if (measure->VL->GetDataType() == Q7_TYPE_DOUBLE && decimals >= 0) SetDisplayDigits(id, decimals);
  int source = 0;
  for (int m = 0; m < n_measures_; ++m) {
    if (measure_filters_[m] == measure) {
      source = measure_ids_[m];
      break;
    }
  }
  SetupSummaryInfo(id, source, 2, kind);
  return id;
}

int TNonCubeSum::PutMaxMinFilter(int kind, int /*decimals*/, int n_rows, int* value_numbers, TFilter* measure,
                                 TFilter** out) {
  const char* name = measure != nullptr ? measure->FFilterName : "";
  return FreeMaxMinFilter(kind, n_rows, value_numbers, name, measure, out);
}

int TNonCubeSum::PutJTableMaxMinFilter(int kind, int /*decimals*/, int n_rows, int* value_numbers, char* name,
                                       TFilter* measure, TFilter** out) {
  return FreeMaxMinFilter(kind, n_rows, value_numbers, name != nullptr ? name : "", measure, out);
}

int TNonCubeSum::RegCount(const char* name) {
  if (out_table_ == nullptr) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  std::string column = "N";
  if (name != nullptr && name[0] != '\0') column += "<" + std::string(name).substr(0, 248) + ">";
  std::vector<char> work(column.begin(), column.end());
  work.push_back('\0');
  // A table of no rows still takes a block to read from.
  int none = 0;
  const int* counts = out_counts_ ? out_counts_.get() : &none;
  const int id = out_table_->AddFilter2(TRealTable::kAppendPosition, work.data(), Q7_TYPE_INTEGER,
                                        out_row_count_, 4, counts, -1, -1);
  if (id < 0) throw CQ7Exception(id);
  return id;
}
