// Exported table calls: creating, naming, describing, condensing and deleting tables, the description
// of join tables and the tables that depend on a table.
#include "api/frame/frame.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7AddRealTable(const char* name, int rows) {
  return FullFrame("RQ7AddRealTable", [&] { return innerQ7AddRealTable(name, rows); });
}
Q7_EXPORT int Q7AddRealTable(const char* name, int rows) {
  return PlainFrame([&] { return innerQ7AddRealTable(name, rows); });
}

Q7_EXPORT int RQ7SetMaxJoinChain(int length) {
  return FullFrame("RQ7SetMaxJoinChain", [&] { return innerQ7SetMaxJoinChain(length); });
}
Q7_EXPORT int Q7SetMaxJoinChain(int length) {
  return PlainFrame([&] { return innerQ7SetMaxJoinChain(length); });
}

Q7_EXPORT int RQ7DeleteTable(int table_id) {
  return FullFrame("RQ7DeleteTable", [&] { return innerQ7DeleteTable(table_id); });
}
Q7_EXPORT int Q7DeleteTable(int table_id) {
  return PlainFrame([&] { return innerQ7DeleteTable(table_id); });
}

Q7_EXPORT int RQ7GetTableIDList(int* ids) {
  return FullFrame("RQ7GetTableIDList", [&] { return innerQ7GetTableIDList(ids); });
}
Q7_EXPORT int Q7GetTableIDList(int* ids) {
  return PlainFrame([&] { return innerQ7GetTableIDList(ids); });
}

Q7_EXPORT int RQ7GetTableName(int table_id, char* name) {
  return FullFrame("RQ7GetTableName", [&] { return innerQ7GetTableName(table_id, name); });
}
Q7_EXPORT int Q7GetTableName(int table_id, char* name) {
  return PlainFrame([&] { return innerQ7GetTableName(table_id, name); });
}

Q7_EXPORT int RQ7SetTableName(int table_id, const char* name) {
  return FullFrame("RQ7SetTableName", [&] { return innerQ7SetTableName(table_id, name); });
}
Q7_EXPORT int Q7SetTableName(int table_id, const char* name) {
  return PlainFrame([&] { return innerQ7SetTableName(table_id, name); });
}

Q7_EXPORT int RQ7GetTableProperty(int table_id, _TTableInfo* info) {
  return FullFrame("RQ7GetTableProperty", [&] { return innerQ7GetTableProperty(table_id, info); });
}
Q7_EXPORT int Q7GetTableProperty(int table_id, _TTableInfo* info) {
  return PlainFrame([&] { return innerQ7GetTableProperty(table_id, info); });
}

Q7_EXPORT int RQ7GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                             int* slave_table, int* slave_set, int* slave_key) {
  return LightFrame([&] {
    return innerQ7GetJoinInfo(table_id, name, master_table, master_set, master_key, slave_table, slave_set,
                              slave_key);
  });
}
Q7_EXPORT int Q7GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                            int* slave_table, int* slave_set, int* slave_key) {
  return PlainFrame([&] {
    return innerQ7GetJoinInfo(table_id, name, master_table, master_set, master_key, slave_table, slave_set,
                              slave_key);
  });
}

Q7_EXPORT int RQ7GetJoinInfoEx(int table_id, char* name, int* outer, int* key_count, int* master_table,
                               int* master_set, int* master_keys, int* slave_table, int* slave_set,
                               int* slave_keys) {
  return CheckedFrame("RQ7GetJoinInfoEx", [&] {
    return innerRQ7GetJoinInfoEx(table_id, name, outer, key_count, master_table, master_set, master_keys,
                                 slave_table, slave_set, slave_keys);
  });
}
Q7_EXPORT int Q7GetJoinInfoEx(int table_id, char** name, int* outer, int* key_count, int* master_table,
                              int* master_set, int* master_keys, int* slave_table, int* slave_set,
                              int* slave_keys) {
  return PlainFrame([&] {
    return innerQ7GetJoinInfoEx(table_id, name, outer, key_count, master_table, master_set, master_keys,
                                slave_table, slave_set, slave_keys);
  });
}

Q7_EXPORT int RQ7CondenseRealTable(int table_id) {
  return FullFrame("RQ7CondenseRealTable", [&] { return DBTASK()->CondenseRealTable(table_id); });
}
Q7_EXPORT int Q7CondenseRealTable(int table_id) {
  return PlainFrame([&] { return innerQ7CondenseRealTable(table_id); });
}

Q7_EXPORT int RQ7GenTableName(const char* seed, char* name) {
  return LightFrame([&] { return innerRQ7GenTableName(seed, name); });
}
Q7_EXPORT int Q7GenTableName(const char* seed, char** name) {
  return PlainFrame([&] { return innerQ7GenTableNameForHost(seed, name); });
}

Q7_EXPORT int RQ7TableCanEdit(int table_id, int* referring_ids) {
  return FullFrame("RQ7TableCanEdit", [&] { return innerRQ7TableCanEdit(table_id, referring_ids); });
}
Q7_EXPORT int Q7TableCanEdit(int table_id, int** referring_ids) {
  return PlainFrame([&] { return innerQ7TableCanEditForHost(table_id, referring_ids); });
}
