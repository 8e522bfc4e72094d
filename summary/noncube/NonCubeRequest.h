// A checked non-cube summary request: the table and set, up to 32 dimension columns, up to 32
// measure columns with what each asks for, the output table's name, and for a join table which
// side of the join each column lies on. TNonCubeSum reads it; only Check and FillJoin write it.
//
// Side numbers in the interface are 0 master, 1 slave.
//
// Ownership: none. The tables, sets and filters it points at belong to the collection, which must
// not change them while the request is in use. Thread safety: Check and FillJoin on the calling
// thread; once they are done the getters may be called from worker tasks.
#pragma once

#include <cstdint>

class TBaseTable;
class TFilter;
class TJoinTableBase;
class TSetArray;

class NonCubeRequest {
 public:
  // The limit of both the dimension list and the measure list.
  static constexpr int kMaxColumns = 32;
  // Decimals given for a measure run from 0 to kMaxDecimals; a negative value means none.
  static constexpr int kMaxDecimals = 10;
  static constexpr int kNameSize = 256;

  // Records the request, forgetting any earlier one, or throws the first refusal (CQ7Exception),
  // in this order: a dimension count below 0 or above 32, a measure count below 0 or above 32
  // (Q7_ERROR_OUT_OF_RANGE); null lists with a positive count (Q7_ERROR_INVALID_PARAMETER; a null
  // decimals list only when decimals_required, else it reads as none); no table
  // (Q7_ERROR_NO_SUCH_TABLE); a name "XTBL_<table>" that cannot be made unique (its code); no set
  // (Q7_ERROR_NO_SUCH_SET); a missing dimension or measure (Q7_ERROR_NO_SUCH_FILTER); a mask that
  // is empty or has a bit the measure's type does not allow (Q7_ERROR_INVALID_PARAMETER); decimals
  // of 11 or more on an INTEGER or double-kind measure (Q7_ERROR_OUT_OF_RANGE). What was recorded
  // before a refusal stays.
  void Check(int table_id, int set_id, int n_dims, const int* dims, int n_measures, const int* measures,
             const int* masks, const int* decimals, bool decimals_required);
  // A join table's part of the request: the set's row lists, the key columns and the side of every
  // dimension and measure, and for an outer join the sizes of the set's two extra row lists. Throws
  // Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER (a column on neither side).
  void FillJoin();

  int table_id() const { return table_id_; }
  TBaseTable* table() const { return table_; }
  int set_id() const { return set_id_; }
  TSetArray* set() const { return set_; }
  // The output table's name, unique in the collection when the request was checked.
  const char* out_name() const { return out_name_; }

  int n_dims() const { return n_dims_; }
  const int* dim_ids() const { return dim_ids_; }
  int dim_id(int d) const { return dim_ids_[d]; }
  TFilter* dim_filter(int d) const { return dim_filters_[d]; }

  int n_measures() const { return n_measures_; }
  int measure_id(int m) const { return measure_ids_[m]; }
  TFilter* measure_filter(int m) const { return measure_filters_[m]; }
  int measure_type(int m) const { return measure_types_[m]; }     // value-list data type: 2, 3, 6 or 8
  int work_mask(int m) const { return work_masks_[m]; }           // what is computed: AVERAGE adds COUNT, SUM
  int asked_mask(int m) const { return req_masks_[m]; }           // what is written
  int decimals(int m) const { return decimals_[m]; }              // 0..10, or -1 for none
  double round_factor(int m) const { return round_factors_[m]; }  // 10^decimals for a rounded DOUBLE sum
  // Whether a DOUBLE measure's sums are rounded (decimals given for it).
  bool RoundsSums() const;

  bool is_join() const { return join_table_ != nullptr; }
  TJoinTableBase* join_table() const { return join_table_; }
  int outer() const { return outer_; }
  TSetArray* side_rows(int side) const { return side == 0 ? master_rows_ : slave_rows_; }
  TFilter* side_key(int side) const { return side == 0 ? master_key_ : slave_key_; }
  int side_dim_count(int side) const { return side == 0 ? n_master_dims_ : n_slave_dims_; }
  // Positions in the request of the side's dimensions, in request order.
  const int* side_dims(int side) const { return side == 0 ? master_dims_ : slave_dims_; }
  int dim_side(int d) const { return dim_side_[d]; }
  int measure_side(int m) const { return measure_side_[m]; }
  // The join's unique name of a dimension or measure column, or the column's own name where the
  // join has none.
  const char* join_dim_name(int d) const;
  const char* join_measure_name(int m) const;

 private:
  int table_id_ = 0;
  TBaseTable* table_ = nullptr;
  int set_id_ = 0;
  TSetArray* set_ = nullptr;
  char out_name_[kNameSize] = {};

  int n_dims_ = 0;
  int dim_ids_[kMaxColumns] = {};
  TFilter* dim_filters_[kMaxColumns] = {};

  int n_measures_ = 0;
  int measure_ids_[kMaxColumns] = {};
  int work_masks_[kMaxColumns] = {};
  int req_masks_[kMaxColumns] = {};
  int decimals_[kMaxColumns] = {};
  double round_factors_[kMaxColumns] = {};
  TFilter* measure_filters_[kMaxColumns] = {};
  int measure_types_[kMaxColumns] = {};

  TJoinTableBase* join_table_ = nullptr;
  int outer_ = 0;
  uint8_t dim_side_[kMaxColumns] = {};
  uint8_t measure_side_[kMaxColumns] = {};
  int n_master_dims_ = 0;
  int master_dims_[kMaxColumns] = {};
  TSetArray* master_rows_ = nullptr;
  TFilter* master_key_ = nullptr;
  int n_slave_dims_ = 0;
  int slave_dims_[kMaxColumns] = {};
  TSetArray* slave_rows_ = nullptr;
  TFilter* slave_key_ = nullptr;
  char dim_names_[kMaxColumns][kNameSize] = {};
  char measure_names_[kMaxColumns][kNameSize] = {};
  int master_extra_rows_ = 0;
  int slave_extra_rows_ = 0;
};
