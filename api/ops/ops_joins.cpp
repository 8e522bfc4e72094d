// Join-table operations: creating a join, describing its columns and slave side, realising it.
#include "api/ops/ops_joins.h"

#include <algorithm>
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_tables.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "join/JoinInOut.h"
#include "join/TJoinTable.h"

namespace {

// The column lists of a join hold 2 x 512 entries; the host's copies of the Info form take them whole.
constexpr int kColumnListSize = 2 * TJoinTableBase::kMaxColumns;
constexpr int kSlaveListSize = TJoinTableBase::kMaxColumns;

template <class... Outputs>
void CheckOutputs(const char* what, Outputs*... outputs) {
  (CheckHostPointer(outputs, what), ...);
}

// The table found (missing: recorded as `entry` says), then the kind: a table that is not a join is
// recorded (ring_name, record_code, kind_message with the ID) and fails with Q7_ERROR_NOT_JOIN_TABLE.
TJoinTable* FindJoin(const char* ring_name, int table_id, MissEntry entry, const char* kind_message,
                     int record_code = Q7_ERROR_NO_SUCH_TABLE) {
  TBaseTable* table = FindTable(ring_name, table_id, entry);
  if (table->GetType() != TBaseTable::kTypeJoin) {
    Refuse(ring_name, record_code, Q7_ERROR_NOT_JOIN_TABLE, kind_message, table_id);
  }
  return static_cast<TJoinTable*>(table);
}

// The operations that hand a side's rows back to its source table need an inner join: an outer
// join's rows of a side include ones without a partner, which the source table must not take as
// the join's result.
TJoinTable* FindInnerJoin(const char* ring_name, int table_id) {
  TJoinTable* join = FindJoin(ring_name, table_id, MissEntry::kPlain, "Not JoinTable: %d");
  if (join->FOuter != 0) {
    Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_INNER_JOIN_TABLE, "Not Inner-Join Table: %d",
           table_id);
  }
  return join;
}

// The partner-side rows of a set. The join records a miss of its own; looked up here first, the
// miss is recorded once: (ring_name, Q7_ERROR_NO_SUCH_TABLE, "No Such Set: %d"), Q7_ERROR_NO_SUCH_SET.
TSetArray* FindSlaveSet(const char* ring_name, TJoinTable* join, int set_id) {
  TSetArray* set = HasSet(join, set_id) ? join->GetSlaveSet(set_id) : nullptr;
  if (set == nullptr)
    Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_SET, "%s", NoSuchSetText(set_id));
  return set;
}

int SetCount(const TSetArray* set) { return set != nullptr ? static_cast<int>(set->FArraySize) : 0; }
int* SetRows(TSetArray* set) { return set != nullptr ? set->PIntAr() : nullptr; }

// min(count, capacity) entries of rows into the host's buffer.
void CopyRows(int* out, int capacity, const int* rows, int count) {
  const int copied = std::min(count, capacity);
  if (copied > 0 && out != nullptr && rows != nullptr) memcpy(out, rows, sizeof(int) * copied);
}

}  // namespace

int innerQ7AddJoinTable(const char* name, int outer, int master_table, int master_set, const int* master_keys,
                        int slave_table, int slave_set, const int* slave_keys) {
  constexpr char kRing[] = "Q7AddJoinTable";
  return RunOp(kRing, [&] {
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kJoinTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    // The key lists are only read; the collection's signature predates const.
    const int id = CheckInner(
        kRing,
        db->AddJoinTable(table_name, outer, master_table, master_set, const_cast<int*>(master_keys),
                         slave_table, slave_set, const_cast<int*>(slave_keys)),
        "");
    MarkTablesChanged();
    return id;
  });
}

int innerQ7GetJoinSrcTblIDs(int table_id, int** ids, int** tables, int** filters) {
  constexpr char kRing[] = "Q7GetJoinSrcTblIDs";
  return RunOp(kRing, [&] {
    CheckOutputs("JoinSrcTblIDs", ids, tables, filters);
    TJoinTable* join = FindJoin(kRing, table_id, MissEntry::kTrailingBlank, "Not Join Table: %d ");
    return join->GetJoinSrcInfo(ids, tables, filters);
  });
}

int innerQ7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int** ids, int** tables,
                             int** filters) {
  constexpr char kRing[] = "Q7GetJoinSrcTblInfo";
  return RunOp(kRing, [&] {
    CheckOutputs("JoinSrcTblInfo", master_table, slave_table, ids, tables, filters);
    TJoinTable* join = FindJoin(kRing, table_id, MissEntry::kTrailingBlank, "Not Join Table: %d ");
    const int n = join->GetJoinSrcInfo(ids, tables, filters);
    *master_table = join->FMasterTableID;
    *slave_table = join->FSlaveTableID;
    return n;
  });
}

int innerQ7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table, int* slave_set,
                        int* n_slave_filters, int** slave_filters) {
  constexpr char kRing[] = "Q7GetSlaveInfo";
  return RunOp(kRing, [&] {
    CheckOutputs("SlaveInfo", master_table, master_set, slave_table, slave_set, n_slave_filters,
                 slave_filters);
    TJoinTable* join = FindJoin(kRing, table_id, MissEntry::kPlain, "Illegal table type ( Not JOIN )",
                                Q7_ERROR_NOT_JOIN_TABLE);
    return join->GetSlaveInfo(master_table, master_set, slave_table, slave_set, n_slave_filters,
                              slave_filters);
  });
}

int innerQ7MoveSlaveFlt2Master(int table_id, int slave_filter_id) {
  constexpr char kRing[] = "Q7MoveSlaveFlt2Master";
  return ChangedOnSuccess(Changes::kTables, RunOp(kRing, [&] {
                            TJoinTable* join =
                                FindJoin(kRing, table_id, MissEntry::kPlain,
                                         "Illegal table type ( Not JOIN )", Q7_ERROR_NOT_JOIN_TYPE);
                            RefuseShared(join);
                            // The new column goes into the master table: one on a shared image must not
                            // change either.
                            if (join->FMasterTable != nullptr) RefuseShared(join->FMasterTable);
                            return CheckInner(kRing, join->MoveSlaveFlt2Master(slave_filter_id));
                          }));
}

int innerQ7GetJoinSlaveSet(int table_id, int set_id, int** rows) {
  constexpr char kRing[] = "Q7GetJoinSlaveSet";
  return RunOp(kRing, [&] {
    CheckOutputs("rows", rows);
    *rows = nullptr;
    TJoinTable* join = FindJoin(kRing, table_id, MissEntry::kPlain, "Not JoinTable: %d");
    TSetArray* set = FindSlaveSet(kRing, join, set_id);
    *rows = SetRows(set);
    return SetCount(set);
  });
}

int innerQ7GetJoinDir(int table_id, int set_id) {
  constexpr char kRing[] = "Q7GetJoinDir";
  return RunOp(kRing, [&] {
    TJoinTable* join = FindJoin(kRing, table_id, MissEntry::kTrailingBlank, "No Such Table: %d ");
    return CheckInner(kRing, join->GetJoinDir(set_id));
  });
}

namespace {

// The projection lookup of both projection forms, recorded under ring_name.
void FindProjections(const char* ring_name, int table_id, int set_id, TSetArray** own, TSetArray** other) {
  TBaseTable* table = FindTable(ring_name, table_id, MissEntry::kTrailingBlank);
  if (table->GetType() != TBaseTable::kTypeJoin) {
    Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_JOIN_TABLE, "No Such Table: %d", table_id);
  }
  const int result = static_cast<TJoinTable*>(table)->GetProjectionSets(set_id, own, other);
  if (result < 0) Refuse(ring_name, result, result, "%s", NoSuchTableText(table_id, Blank::kTrailing));
}

}  // namespace

int innerQ7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int** own_rows, int* other_count,
                                 int** other_rows) {
  constexpr char kRing[] = "Q7GetJoinProjectionSets";
  return RunOp(kRing, [&] {
    CheckOutputs("Projection", own_count, own_rows, other_count, other_rows);
    *own_count = *other_count = 0;
    *own_rows = *other_rows = nullptr;
    TSetArray* own = nullptr;
    TSetArray* other = nullptr;
    FindProjections(kRing, table_id, set_id, &own, &other);
    *own_count = SetCount(own);
    *own_rows = SetRows(own);
    *other_count = SetCount(other);
    *other_rows = SetRows(other);
    return 0;
  });
}

int innerQ7PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out) {
  constexpr char kRing[] = "Q7PutJoinSetToParent";
  return ChangedOnSuccess(Changes::kSets, RunOp(kRing, [&] {
                            CheckOutputs("ParentSet", table_out, set_out);
                            *table_out = *set_out = -1;
                            TJoinTable* join = FindInnerJoin(kRing, table_id);
                            return CheckInner(kRing,
                                              join->PutJoinSetToParent(side, non_hit, table_out, set_out));
                          }));
}

int innerQ7ReturnSet2SlaveTable(int table_id, int* slave_table) {
  constexpr char kRing[] = "Q7ReturnSet2SlaveTable";
  return ChangedOnSuccess(Changes::kSets, RunOp(kRing, [&] {
                            CheckOutputs("SlaveTable", slave_table);
                            TJoinTable* join = FindInnerJoin(kRing, table_id);
                            return CheckInner(kRing, join->ReturnSet2SlaveTable(slave_table));
                          }));
}

// ---- The forms that copy into the host's buffers ----

int innerRQ7GetJoinSrcTblIDs(int table_id, int* ids, int* tables, int* filters) {
  // The first two entries of each buffer read 0 whatever follows, so a host that reads them after
  // a failure reads no stale column.
  for (int* out : {ids, tables, filters}) {
    if (out != nullptr) out[0] = out[1] = 0;
  }
  int* engine[3] = {};
  const int n = innerQ7GetJoinSrcTblIDs(table_id, &engine[0], &engine[1], &engine[2]);
  if (n > 0) {
    int* outs[3] = {ids, tables, filters};
    for (int k = 0; k < 3; ++k) CopyRows(outs[k], kColumnListSize, engine[k], n);
  }
  return n;
}

int innerRQ7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int* ids, int* tables,
                              int* filters) {
  int* engine[3] = {};
  const int n =
      innerQ7GetJoinSrcTblInfo(table_id, master_table, slave_table, &engine[0], &engine[1], &engine[2]);
  if (n >= 0) {
    int* outs[3] = {ids, tables, filters};
    for (int k = 0; k < 3; ++k) CopyRows(outs[k], kColumnListSize, engine[k], kColumnListSize);
  }
  return n;
}

int innerRQ7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table, int* slave_set,
                         int* n_slave_filters, int* slave_filters) {
  int* engine = nullptr;
  const int result = innerQ7GetSlaveInfo(table_id, master_table, master_set, slave_table, slave_set,
                                         n_slave_filters, &engine);
  if (result >= 0) CopyRows(slave_filters, kSlaveListSize, engine, kSlaveListSize);
  return result;
}

int innerRQ7GetJoinSlaveSet(int table_id, int set_id, int* count, int capacity, int* rows) {
  constexpr char kRing[] = "RQ7GetJoinSlaveSet";
  return RunOp(kRing, [&] {
    if (count != nullptr) *count = 0;
    if (capacity < 0) {
      Refuse(kRing, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: %d", capacity);
    }
    if (capacity > 0 && rows == nullptr) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Buffer");
    }
    TJoinTable* join = FindJoin(kRing, table_id, MissEntry::kPlain, "Not JoinTable: %d");
    TSetArray* set = FindSlaveSet(kRing, join, set_id);
    const int size = SetCount(set);
    if (count != nullptr) *count = size;
    CopyRows(rows, capacity, SetRows(set), size);
    return size;
  });
}

int innerRQ7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int own_capacity, int* own_rows,
                                  int* other_count, int other_capacity, int* other_rows) {
  constexpr char kRing[] = "RQ7GetJoinProjectionSets";
  return RunOp(kRing, [&] {
    if (own_count != nullptr) *own_count = 0;
    if (other_count != nullptr) *other_count = 0;
    if (own_capacity < 0 || other_capacity < 0) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: %d, %d ",
             own_capacity, other_capacity);
    }
    if ((own_capacity > 0 && own_rows == nullptr) || (other_capacity > 0 && other_rows == nullptr)) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Buffer");
    }
    TSetArray* own = nullptr;
    TSetArray* other = nullptr;
    FindProjections(kRing, table_id, set_id, &own, &other);
    if (own_count != nullptr) *own_count = SetCount(own);
    if (other_count != nullptr) *other_count = SetCount(other);
    CopyRows(own_rows, own_capacity, SetRows(own), SetCount(own));
    CopyRows(other_rows, other_capacity, SetRows(other), SetCount(other));
    return 0;
  });
}

namespace {

// One side of the semi-join, checked in the order the refusals are reported; each refusal is
// recorded with the code it returns.
InOutSide CheckInOutSide(const char* ring_name, int table_id, int set_id, int key_id) {
  TBaseTable* table = FindTable(ring_name, table_id, MissEntry::kTrailingBlank);
  TRealTable* real =
      RequireReal(ring_name, table, "Illegal table type ( Not REAL )", Q7_ERROR_NOT_REAL_TABLE);
  TSetArray* set = FindSet(ring_name, real, set_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_SET);
  TFilter* key = FindFilter(ring_name, real, key_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
  if (!IsIntegerKey(key)) {
    Refuse(ring_name, Q7_ERROR_INVALID_DATA_TYPE, Q7_ERROR_INVALID_DATA_TYPE, "%s",
           "Illegal data type ( Not INTEGER )");
  }
  return InOutSide{real, set, key};
}

}  // namespace

int innerQ7ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b, int mode) {
  constexpr char kRing[] = "Q7ExtractJoinInOut";
  return ChangedOnSuccess(Changes::kSets, RunOp(kRing, [&] {
                            const InOutSide a = CheckInOutSide(kRing, table_a, set_a, key_a);
                            const InOutSide b = CheckInOutSide(kRing, table_b, set_b, key_b);
                            return ExtractInOutSet(a, b, mode, false);
                          }));
}

int innerQ7ConvertJoinToReal(const char* name, int join_table, int set_id, int master_rec_no,
                             int slave_rec_no, const int* filter_ids, int share_value_lists) {
  constexpr char kRing[] = "Q7ConvertJoinToReal";
  return RunOp(kRing, [&] {
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kCreatedTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    // The list is only read; the collection's signature predates const.
    const int id =
        CheckInner(kRing,
                   db->AddRealized(table_name, join_table, set_id, master_rec_no != 0, slave_rec_no != 0,
                                   const_cast<int*>(filter_ids), share_value_lists != 0),
                   "Failed to realize jointable ( AddRealized module )");
    MarkTablesChanged();
    return id;
  });
}
