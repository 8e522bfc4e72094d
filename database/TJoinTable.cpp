#include "database/TJoinTable.h"

#include <cstring>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"

namespace {

// The leading entries >= 1 of a key list, at most kMaxKeys.
int CountKeys(const int* keys) {
  int n = 0;
  while (keys != nullptr && n < TJoinTable::kMaxKeys && keys[n] >= 1) ++n;
  return n;
}

}  // namespace

TJoinTable::TJoinTable(int id, char* name, int outer, int master_table, int master_set, int* master_keys,
                       int slave_table, int slave_set, int* slave_keys, TTableCollection* tables)
    : FOuter(outer != 0 ? 1 : 0),
      FnKey(0),
      FMasterKeys{},
      FSlaveKeys{},
      FMasterTable(nullptr),
      FSlaveTable(nullptr),
      FMasterTableID(master_table),
      FSlaveTableID(slave_table),
      FMasterSetID(0),
      FSlaveSetID(0),
      FnMasterColumn(0),
      FnSlaveColumn(0),
      FMasterColumns{},
      FSlaveColumns{} {
  if (tables == nullptr) tables = CSmpEngine::Instance()->Database();
  if (tables == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_MASTER_TABLE);
  char unique[kNameSize];
  if (tables->GenTableName(name, unique) < 0) throw CQ7Exception(Q7_ERROR_TABLE_NAME_GENERATION);
  const int n_master = CountKeys(master_keys);
  const int n_slave = CountKeys(slave_keys);
  if (n_master == 0 || n_master != n_slave) throw CQ7Exception(Q7_ERROR_INVALID_KEY_PARAMETER);
  FnKey = n_master;
  FTableID = id;
  memcpy(FTableName, unique, sizeof FTableName);

  FMasterSetID = master_set;
  FMasterTable = BindSide(tables, master_table, &FMasterSetID, master_keys, FMasterColumns, &FnMasterColumn,
                          Q7_ERROR_ILLEGAL_MASTER_TABLE, Q7_ERROR_NO_MASTER_KEY_FILTER, Q7_ERROR_NO_JOIN_SET);
  memcpy(FMasterKeys, master_keys, sizeof(int32_t) * FnKey);
  FSlaveSetID = slave_set;
  FSlaveTable = BindSide(tables, slave_table, &FSlaveSetID, slave_keys, FSlaveColumns, &FnSlaveColumn,
                         Q7_ERROR_ILLEGAL_SLAVE_TABLE, Q7_ERROR_NO_SLAVE_KEY_FILTER, Q7_ERROR_NO_SLAVE_SET);
  memcpy(FSlaveKeys, slave_keys, sizeof(int32_t) * FnKey);
}

TRealTable* TJoinTable::BindSide(TTableCollection* tables, int table_id, int* set_id, const int* keys,
                                 int* columns, int* n_columns, int illegal_table, int no_key, int no_set) {
  TBaseTable* found = tables->GetTable(table_id);
  if (found == nullptr || found->GetType() != kTypeReal) throw CQ7Exception(illegal_table);
  auto* table = static_cast<TRealTable*>(found);
  if (*set_id < 0) *set_id = table->GetCurrentSetID();
  if (FnKey == 1) {
    if (table->GetFilter(keys[0]) == nullptr) throw CQ7Exception(no_key);
  } else {
    for (int k = 0; k < FnKey; ++k) {
      if (table->GetFilter(keys[k]) == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_KEY_PARAMETER);
    }
  }
  *n_columns = table->GetFilterIDList(columns);
  if (table->GetSet(*set_id) == nullptr) throw CQ7Exception(no_set);
  return table;
}

TJoinTable::~TJoinTable() = default;

int TJoinTable::GetTableKind() { return kTypeJoin; }
int TJoinTable::GetType() { return kTypeJoin; }
int TJoinTable::GetNFilter() { return FnMasterColumn + FnSlaveColumn; }
int TJoinTable::TotalRecs() { return 0; }

// No join set exists before the join layer registers one, so every set lookup ends in
// SetID2Pos's refusal.
int TJoinTable::NoJoinSet(int set_id) {
  const int pos = SetID2Pos(set_id);
  return pos < 0 ? pos : Q7_ERROR_NO_SUCH_SET;
}

int TJoinTable::GetSetSize(int set_id) { return NoJoinSet(set_id); }

TSetArray* TJoinTable::GetSet(int set_id) {
  NoJoinSet(set_id);
  return nullptr;
}

int TJoinTable::PurgeSubSets() { return FCurrentSetID; }
int TJoinTable::SetNot(int set_id) { return NoJoinSet(set_id); }
int TJoinTable::MppSetNot(int set_id) { return NoJoinSet(set_id); }
int TJoinTable::SetOpe(int, int set_id1, int) { return NoJoinSet(set_id1); }
int TJoinTable::MppSetOpe(int, int set_id1, int) { return NoJoinSet(set_id1); }

TRealTable* TJoinTable::Source(int filter_id, int* source_filter_id, const char* log_name) {
  if (filter_id < 1 || filter_id > FnMasterColumn + FnSlaveColumn) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  if (filter_id <= FnMasterColumn) {
    *source_filter_id = FMasterColumns[filter_id - 1];
    return FMasterTable;
  }
  *source_filter_id = FSlaveColumns[filter_id - 1 - FnMasterColumn];
  return FSlaveTable;
}

TFilter* TJoinTable::GetFilter(int filter_id) {
  int source_id = 0;
  TRealTable* table = Source(filter_id, &source_id, "GetFilter");
  return table != nullptr ? table->GetFilter(source_id) : nullptr;
}

int TJoinTable::GetFilterIDList(int* out) {
  const int n = FnMasterColumn + FnSlaveColumn;
  for (int i = 0; i < n; ++i) out[i] = i + 1;
  return n;
}

char* TJoinTable::FilterID2Name(int filter_id, char* table_name, char* filter_name) {
  int source_id = 0;
  TRealTable* table = Source(filter_id, &source_id, "FilterID2Name");
  TFilter* filter = table != nullptr ? table->GetFilter(source_id) : nullptr;
  if (filter == nullptr) {
    PutErrorLog("FilterID2Name", Q7_ERROR_NO_SUCH_FILTER, "No Filter");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  qz7_strlcpy(table_name, table->FTableName, kNameSize);
  qz7_strlcpy(filter_name, filter->FFilterName, TFilter::kNameSize);
  return filter_name;
}

int TJoinTable::GetFilterIDFromName(char* name, int side) {
  TRealTable* table = side == 0 ? FMasterTable : FSlaveTable;
  if (table == nullptr) {
    PutErrorLog("GetFilterIDFromName", Q7_ERROR_NO_SUCH_TABLE,
                side == 0 ? "No Real Table (master)" : "No Real Table (slave)");
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  return table->GetFilterIDFromName(name, 0);
}

int64_t TJoinTable::GetMemSize() { return sizeof(TJoinTable) + int64_t{4} * FSetCapacity; }

int TJoinTable::GetJoinInfo(char* name, int* master_table, int* master_set, int* master_key, int* slave_table,
                            int* slave_set, int* slave_key) {
  qz7_strlcpy(name, FTableName, kNameSize);
  *master_table = FMasterTableID;
  *master_set = FMasterSetID;
  *master_key = FMasterKeys[0];
  *slave_table = FSlaveTableID;
  *slave_set = FSlaveSetID;
  *slave_key = FSlaveKeys[0];
  return 0;
}

void TJoinTable::LoadComplete(TTableCollection* tables) {
  auto resolve = [tables](int id) -> TRealTable* {
    TBaseTable* t = tables->GetTable(id);
    return t != nullptr && t->GetType() == kTypeReal ? static_cast<TRealTable*>(t) : nullptr;
  };
  FMasterTable = resolve(FMasterTableID);
  FSlaveTable = resolve(FSlaveTableID);
}
