// The task object's table and join-description operations: table IDs, names and properties, the
// shared-table query, memory sizes, and what a join table says about itself and its sides. Each is
// the operation layer's, filed under the task's log name; the refusals the task leaves silent are
// judged here first.
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_joins.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"
#include "database/TBaseTable.h"
#include "database/TTableCollection.h"

int CDBTask::GetTableIDList(int* ids) {
  return UnderLogName("RQ7GetTableIDList", "Q7GetTableIDList", [&] { return innerQ7GetTableIDList(ids); });
}

int CDBTask::GetTableName(int table_id, char* name) {
  constexpr char kLog[] = "RQ7GetTableName";
  return RunOp(kLog, [&] {
    CheckHostPointer(name, "TableName");
    TBaseTable* table = FindTable(kLog, table_id, MissEntry::kNone);
    qz7_strlcpy(name, table->FTableName, TBaseTable::kNameSize);
    return 0;
  });
}

int CDBTask::GetTableProperty(int table_id, _TTableInfo* info) {
  constexpr char kLog[] = "RQ7GetTableProperty";
  const int found = RunOp(kLog, [&] {
    FindTable(kLog, table_id, MissEntry::kNone);
    return 0;
  });
  if (found < 0) return found;
  return UnderLogName(kLog, "Q7GetTableProperty", [&] { return innerQ7GetTableProperty(table_id, info); });
}

int CDBTask::SetTableName(int table_id, char* name) {
  constexpr char kLog[] = "Q7SetTableName";
  return RunOp(kLog, [&] {
    RefuseShared(FindTable(kLog, table_id));
    return RequireDatabase(kLog)->SetTableName(table_id, name != nullptr ? name : "");
  });
}

int CDBTask::GetTableIDFromName(char* name) { return innerQ7GetTableIDFromName(name); }

int CDBTask::IsSharedMemoryTable(int table_id) {
  return UnderLogName("RQ7IsSharedMemoryTable", "innerQ7SharedMemoryTable",
                      [&] { return innerQ7SharedMemoryTable(table_id); });
}

int CDBTask::SharedMemoryTable(int table_id) {
  return UnderLogName("Q7SharedMemoryTable", "innerQ7SharedMemoryTable",
                      [&] { return innerQ7SharedMemoryTable(table_id); });
}

int64_t CDBTask::GetTableMemorySize(int table_id) { return innerQ7GetTableMemorySize(table_id); }

int CDBTask::GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                         int* slave_table, int* slave_set, int* slave_key) {
  return innerQ7GetJoinInfo(table_id, name, master_table, master_set, master_key, slave_table, slave_set,
                            slave_key);
}

int CDBTask::GetJoinInfoEx(int table_id, char* name, int* kind, int* key_count, int* master_table,
                           int* master_set, int* master_keys, int* slave_table, int* slave_set,
                           int* slave_keys) {
  return innerRQ7GetJoinInfoEx(table_id, name, kind, key_count, master_table, master_set, master_keys,
                               slave_table, slave_set, slave_keys);
}

int CDBTask::GetJoinSrcTblIDs(int table_id, int* columns, int* tables, int* filters) {
  return innerRQ7GetJoinSrcTblIDs(table_id, columns, tables, filters);
}

int CDBTask::GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int* columns, int* tables,
                               int* filters) {
  return UnderLogName("Q7GetJoinSrcTblIDs", "Q7GetJoinSrcTblInfo", [&] {
    return innerRQ7GetJoinSrcTblInfo(table_id, master_table, slave_table, columns, tables, filters);
  });
}

int CDBTask::GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table, int* slave_set,
                          int* n_slave_filters, int* slave_filters) {
  return innerRQ7GetSlaveInfo(table_id, master_table, master_set, slave_table, slave_set, n_slave_filters,
                              slave_filters);
}

int CDBTask::GetJoinKey(int table_id, _TFilterInfo* master, _TFilterInfo* slave) {
  return innerQ7GetJoinKey(table_id, master, slave);
}

int CDBTask::GetJoinKeyInfo(int table_id, _TRFilterInfo* master, _TRFilterInfo* slave) {
  return innerRQ7GetJoinKeyInfo(table_id, master, slave);
}

int CDBTask::GetJoinKeyBody(int table_id, _TRFilterBody* master, _TRFilterBody* slave) {
  return innerRQ7GetJoinKeyBody(table_id, master, slave);
}

int CDBTask::GetJoinDir(int table_id, int set_id) { return innerQ7GetJoinDir(table_id, set_id); }

int CDBTask::PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out) {
  return UnderLogName("RQ7PutJoinSetToParent", "Q7PutJoinSetToParent",
                      [&] { return innerQ7PutJoinSetToParent(table_id, side, non_hit, table_out, set_out); });
}

int CDBTask::ReturnSet2SlaveTable(int table_id, int* slave_table) {
  return innerQ7ReturnSet2SlaveTable(table_id, slave_table);
}
