// Exported join calls: creating a join, describing its columns and slave side, copying a slave
// column into the master, and the per-side sets of a join.
#include "api/frame/frame.h"
#include "api/ops/ops_joins.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7AddJoinTable(const char* name, int outer, int master_table, int master_set,
                              const int* master_keys, int slave_table, int slave_set, const int* slave_keys) {
  return FullFrame("RQ7AddJoinTable", [&] {
    return DBTASK()->AddJoinTable(HostReadOnly(name), outer, master_table, master_set,
                                  HostReadOnly(master_keys), slave_table, slave_set,
                                  HostReadOnly(slave_keys));
  });
}
Q7_EXPORT int Q7AddJoinTable(const char* name, int outer, int master_table, int master_set,
                             const int* master_keys, int slave_table, int slave_set, const int* slave_keys) {
  return PlainFrame([&] {
    return innerQ7AddJoinTable(name, outer, master_table, master_set, master_keys, slave_table, slave_set,
                               slave_keys);
  });
}

Q7_EXPORT int RQ7GetJoinSrcTblIDs(int table_id, int* ids, int* tables, int* filters) {
  return FullFrame("RQ7GetJoinSrcTblIDs",
                   [&] { return innerRQ7GetJoinSrcTblIDs(table_id, ids, tables, filters); });
}
Q7_EXPORT int Q7GetJoinSrcTblIDs(int table_id, int** ids, int** tables, int** filters) {
  return PlainFrame([&] { return innerQ7GetJoinSrcTblIDs(table_id, ids, tables, filters); });
}

Q7_EXPORT int RQ7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int* ids, int* tables,
                                   int* filters) {
  return FullFrame("RQ7GetJoinSrcTblInfo", [&] {
    return innerRQ7GetJoinSrcTblInfo(table_id, master_table, slave_table, ids, tables, filters);
  });
}
Q7_EXPORT int Q7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int** ids, int** tables,
                                  int** filters) {
  return PlainFrame(
      [&] { return innerQ7GetJoinSrcTblInfo(table_id, master_table, slave_table, ids, tables, filters); });
}

Q7_EXPORT int RQ7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table,
                              int* slave_set, int* n_slave_filters, int* slave_filters) {
  return FullFrame("RQ7GetSlaveInfo", [&] {
    return innerRQ7GetSlaveInfo(table_id, master_table, master_set, slave_table, slave_set, n_slave_filters,
                                slave_filters);
  });
}
Q7_EXPORT int Q7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table,
                             int* slave_set, int* n_slave_filters, int** slave_filters) {
  return PlainFrame([&] {
    return innerQ7GetSlaveInfo(table_id, master_table, master_set, slave_table, slave_set, n_slave_filters,
                               slave_filters);
  });
}

Q7_EXPORT int RQ7MoveSlaveFlt2Master(int table_id, int slave_filter_id) {
  return FullFrame("RQ7MoveSlaveFlt2Master",
                   [&] { return innerQ7MoveSlaveFlt2Master(table_id, slave_filter_id); });
}
Q7_EXPORT int Q7MoveSlaveFlt2Master(int table_id, int slave_filter_id) {
  return PlainFrame([&] { return innerQ7MoveSlaveFlt2Master(table_id, slave_filter_id); });
}

Q7_EXPORT int RQ7GetJoinSlaveSet(int table_id, int set_id, int* count, int capacity, int* rows) {
  return FullFrame("RQ7GetJoinSlaveSet",
                   [&] { return innerRQ7GetJoinSlaveSet(table_id, set_id, count, capacity, rows); });
}
Q7_EXPORT int Q7GetJoinSlaveSet(int table_id, int set_id, int** rows) {
  return PlainFrame([&] { return innerQ7GetJoinSlaveSet(table_id, set_id, rows); });
}

Q7_EXPORT int RQ7GetJoinDir(int table_id, int set_id) {
  return FullFrame("RQ7GetJoinDir", [&] { return innerQ7GetJoinDir(table_id, set_id); });
}
Q7_EXPORT int Q7GetJoinDir(int table_id, int set_id) {
  return PlainFrame([&] { return innerQ7GetJoinDir(table_id, set_id); });
}

Q7_EXPORT int RQ7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int own_capacity,
                                       int* own_rows, int* other_count, int other_capacity, int* other_rows) {
  return FullFrame("RQ7GetJoinProjectionSets", [&] {
    return innerRQ7GetJoinProjectionSets(table_id, set_id, own_count, own_capacity, own_rows, other_count,
                                         other_capacity, other_rows);
  });
}
Q7_EXPORT int Q7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int** own_rows,
                                      int* other_count, int** other_rows) {
  return PlainFrame([&] {
    return innerQ7GetJoinProjectionSets(table_id, set_id, own_count, own_rows, other_count, other_rows);
  });
}

Q7_EXPORT int RQ7PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out) {
  return FullFrame("RQ7PutJoinSetToParent",
                   [&] { return innerQ7PutJoinSetToParent(table_id, side, non_hit, table_out, set_out); });
}
Q7_EXPORT int Q7PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out) {
  return PlainFrame([&] { return innerQ7PutJoinSetToParent(table_id, side, non_hit, table_out, set_out); });
}

Q7_EXPORT int RQ7ReturnSet2SlaveTable(int table_id, int* slave_table) {
  return FullFrame("RQ7ReturnSet2SlaveTable",
                   [&] { return innerQ7ReturnSet2SlaveTable(table_id, slave_table); });
}
Q7_EXPORT int Q7ReturnSet2SlaveTable(int table_id, int* slave_table) {
  return PlainFrame([&] { return innerQ7ReturnSet2SlaveTable(table_id, slave_table); });
}

Q7_EXPORT int RQ7ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                                  int mode) {
  return FullFrame("RQ7ExtractJoinInOut", [&] {
    return innerQ7ExtractJoinInOut(table_a, set_a, key_a, table_b, set_b, key_b, mode);
  });
}
Q7_EXPORT int Q7ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                                 int mode) {
  return PlainFrame(
      [&] { return innerQ7ExtractJoinInOut(table_a, set_a, key_a, table_b, set_b, key_b, mode); });
}

Q7_EXPORT int RQ7ConvertJoinToReal(const char* name, int join_table, int set_id, int master_rec_no,
                                   int slave_rec_no, const int* filter_ids, int share_value_lists) {
  return FullFrame("RQ7ConvertJoinToReal", [&] {
    return innerQ7ConvertJoinToReal(name, join_table, set_id, master_rec_no, slave_rec_no, filter_ids,
                                    share_value_lists);
  });
}
Q7_EXPORT int Q7ConvertJoinToReal(const char* name, int join_table, int set_id, int master_rec_no,
                                  int slave_rec_no, const int* filter_ids, int share_value_lists) {
  return PlainFrame([&] {
    return innerQ7ConvertJoinToReal(name, join_table, set_id, master_rec_no, slave_rec_no, filter_ids,
                                    share_value_lists);
  });
}
