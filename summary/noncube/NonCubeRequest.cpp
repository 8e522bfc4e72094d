// The checks of a non-cube summary request, and the join sides of its columns.
#include "summary/noncube/NonCubeRequest.h"

#include <cmath>
#include <string>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "summary/SummaryBits.h"

namespace {

// The bits a measure of this value-list type may ask for; none for a type no summary reads.
int AllowedBits(int type) {
  switch (type) {
    case Q7_TYPE_STRING:
      return kSumCount | kSumMax | kSumMin;
    case Q7_TYPE_INTEGER:
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DECIMAL:
      return kSumCount | kSumMax | kSumMin | kSumSum | kSumAverage;
    default:
      return 0;
  }
}

}  // namespace

void NonCubeRequest::Check(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                           const int* measures, const int* masks, const int* decimals,
                           bool decimals_required) {
  table_id_ = table_id;
  set_id_ = set_id;
  table_ = nullptr;
  set_ = nullptr;
  out_name_[0] = '\0';
  n_dims_ = 0;
  n_measures_ = 0;
  join_table_ = nullptr;
  // Counts are tested unsigned, so a negative one is refused with the count above the limit.
  if (static_cast<unsigned>(n_dims) > static_cast<unsigned>(kMaxColumns)) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
  }
  if (static_cast<unsigned>(n_measures) > static_cast<unsigned>(kMaxColumns)) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
  }
  if ((n_dims > 0 && dims == nullptr) || (n_measures > 0 && (measures == nullptr || masks == nullptr ||
                                                             (decimals_required && decimals == nullptr)))) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  table_ = db->GetTable(table_id);
  if (table_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);

  std::string seed = std::string("XTBL_") + table_->FTableName;
  if (seed.size() >= static_cast<size_t>(kNameSize)) seed.resize(kNameSize - 1);
  const int named = db->GenTableName(seed.c_str(), out_name_);
  if (named < 0) throw CQ7Exception(named);

  auto* join = table_->GetTableKind() == 2 ? static_cast<TJoinTableBase*>(table_) : nullptr;
  join_table_ = join;

  set_ = table_->GetSet(set_id);
  if (set_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);

  // A join column's unique name, read from the join's names block (the join layer's getter lies
  // above this one).
  auto join_name = [join](int id, char* out) {
    const bool named =
        join->FColumnNames != nullptr && id >= 1 && id <= join->FnMasterColumn + join->FnSlaveColumn;
    qz7_strlcpy(out, named ? join->FColumnNames + static_cast<size_t>(id - 1) * kNameSize : "", kNameSize);
  };
  for (int d = 0; d < n_dims; ++d) {
    dim_ids_[d] = dims[d];
    dim_filters_[d] = table_->GetFilter(dims[d]);
    if (dim_filters_[d] == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    if (join) join_name(dims[d], dim_names_[d]);
    n_dims_ = d + 1;
  }

  for (int m = 0; m < n_measures; ++m) {
    measure_ids_[m] = measures[m];
    TFilter* filter = table_->GetFilter(measures[m]);
    if (filter == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    if (join) join_name(measures[m], measure_names_[m]);
    measure_filters_[m] = filter;
    const int type = filter->VL->GetDataType();
    const int mask = masks[m];
    if (mask == 0 || (mask & ~AllowedBits(type)) != 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    measure_types_[m] = type;
    req_masks_[m] = mask;
    work_masks_[m] = (mask & kSumAverage) ? (mask | kSumCount | kSumSum) : mask;
    decimals_[m] = 0;
    round_factors_[m] = 0.0;
    if (type == Q7_TYPE_INTEGER || type == Q7_TYPE_DOUBLE) {
      // The engines of the other summary methods take no decimals, so a request without a list
      // runs unrounded here too.
      const int given = decimals != nullptr ? decimals[m] : -1;
      if (given > kMaxDecimals) throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
      decimals_[m] = given < 0 ? -1 : given;
      if (type == Q7_TYPE_DOUBLE && given >= 0) round_factors_[m] = std::pow(10.0, given);
    }
    n_measures_ = m + 1;
  }
}

void NonCubeRequest::FillJoin() {
  TJoinTableBase* join = join_table_;
  const int pos = join->SetID2Pos(set_id_);
  if (pos < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  const JoinSetEntry& entry = join->FEntries[pos];
  master_rows_ = entry.rows[0];
  slave_rows_ = entry.rows[1];
  outer_ = join->FOuter;
  master_key_ = join->FMasterKeyFilter;
  slave_key_ = join->FSlaveKeyFilter;
  n_master_dims_ = 0;
  n_slave_dims_ = 0;
  for (int d = 0; d < n_dims_; ++d) {
    int side = -1;
    if (join->JFilterID2Pos(dim_ids_[d], &side) < 0 || (side != 0 && side != 1)) {
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    }
    dim_side_[d] = static_cast<uint8_t>(side);
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
    measure_side_[m] = static_cast<uint8_t>(side);
  }
  master_extra_rows_ = 0;
  slave_extra_rows_ = 0;
  if (outer_) {
    master_extra_rows_ = entry.second[0] != nullptr ? entry.second[0]->FArraySize : 0;
    slave_extra_rows_ = entry.second[1] != nullptr ? entry.second[1]->FArraySize : 0;
  }
}

bool NonCubeRequest::RoundsSums() const {
  for (int m = 0; m < n_measures_; ++m) {
    if (round_factors_[m] > 0) return true;
  }
  return false;
}

const char* NonCubeRequest::join_dim_name(int d) const {
  return dim_names_[d][0] != '\0' ? dim_names_[d] : dim_filters_[d]->FFilterName;
}

const char* NonCubeRequest::join_measure_name(int m) const {
  return measure_names_[m][0] != '\0' ? measure_names_[m] : measure_filters_[m]->FFilterName;
}
