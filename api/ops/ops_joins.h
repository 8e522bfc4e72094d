// Join-table operations of the operation layer: creating a join, describing its columns and its
// slave side, copying a slave column into the master, and the per-side sets of a join (its slave
// rows, its direction and projections, and handing a side's rows to the source table).
//
// Conventions of api/ops/OpCommon.h: own catch, ring name "Q7" + the operation's name, a missing
// table recorded (Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d", with a trailing blank where noted)
// and Q7_ERROR_NO_SUCH_TABLE returned; a table that is not a join recorded with the text noted,
// carrying Q7_ERROR_NO_SUCH_TABLE unless noted, while Q7_ERROR_NOT_JOIN_TABLE is returned; a
// negative result of the join or the collection recorded with "return of inner call" (or the
// message noted) and returned. An outer join, where an operation needs an inner one, is recorded
// ("Not Inner-Join Table: %d", carrying Q7_ERROR_NO_SUCH_TABLE) and gives
// Q7_ERROR_NOT_INNER_JOIN_TABLE.
//
// Pointers handed out (column lists, slave columns, set rows, projections) point into the join and
// stay valid until the join changes (the next description call for the column lists) or is
// deleted; the host must not free them.
//
// Saved flags: a successful AddJoinTable clears g_TFSaved; the others change none.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

// A new join of master_set of master_table and slave_set of slave_table (negative sets: the
// tables' current sets) on the key filter lists (each read up to its first ID below 1, at most
// 32), outer non-zero for an outer join; its table ID. The name as innerQ7AddRealTable's, default
// "jointbl" + local time + "_1". Refusals of the collection and the join (TTableCollection::
// AddJoinTable, join/TJoinTable.h) are recorded with an empty message or their own, and returned; a
// failure leaves no table behind. The serial build; the exported RQ7AddJoinTable builds on the
// worker pool (CDBParallelTask::AddJoinTable).
int innerQ7AddJoinTable(const char* name, int outer, int master_table, int master_set, const int* master_keys,
                        int slave_table, int slave_set, const int* slave_keys);

// The join's columns: *ids, *tables and *filters are pointed at three lists the join keeps (1024
// ints each, zero past the columns): each column's ID (1..M+S), its source table and its source
// filter, the master's columns first. Returns M + S. Not a join: "Not Join Table: %d "; no table:
// "No Such Table: %d ". Null outputs: Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetJoinSrcTblIDs(int table_id, int** ids, int** tables, int** filters);
// The same, with the master and slave table IDs.
int innerQ7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int** ids, int** tables,
                             int** filters);

// The master and slave table and set IDs, the slave column count S and *slave_filters pointed at
// the join's 512 slave filter IDs (the first S used). Returns 0. Not a join: ("Illegal table type
// ( Not JOIN )", carrying Q7_ERROR_NOT_JOIN_TABLE).
int innerQ7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table, int* slave_set,
                        int* n_slave_filters, int** slave_filters);

// Copies slave filter slave_filter_id (an ID of the slave table) into the master table as a new
// filter, each master record of the join getting its first partner's value (the others NULL);
// the new filter's ID. Not a join: ("Illegal table type ( Not JOIN )", carrying
// Q7_ERROR_NOT_JOIN_TYPE), Q7_ERROR_NOT_JOIN_TABLE. A join or master table that is shared:
// Q7_ERROR_SHARED_READ_ONLY without an entry.
int innerQ7MoveSlaveFlt2Master(int table_id, int slave_filter_id);

// ---- Join sets ----
// *rows is set to null first, then pointed at the set's partner-side rows (TJoinTable::
// GetSlaveSet: the slave rows of a master-driven set); their count. Not a join: "Not JoinTable:
// %d"; no set: "No Such Set: %d", Q7_ERROR_NO_SUCH_SET.
int innerQ7GetJoinSlaveSet(int table_id, int set_id, int** rows);
// The side a set is driven by: 0 master, 1 slave. Not a join (or no table): "No Such Table: %d ".
int innerQ7GetJoinDir(int table_id, int set_id);
// Zeroes the four outputs, then the set's own-side projection (count and rows) into the first
// pair and the partner side's into the second. Returns 0. No table: "No Such Table: %d "; not a
// join: "No Such Table: %d"; no set: the join's code (Q7_ERROR_NO_SUCH_SET), recorded with
// "No Such Table: %d " and the table ID.
int innerQ7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int** own_rows, int* other_count,
                                 int** other_rows);
// Inner joins only: a copy of set 1's rows of one side (side 0 master, else slave; non_hit
// non-zero: only the rows without partner) becomes a new set, made current, of that side's table;
// *table_out and *set_out receive them (-1 both on failure). Returns 0. Not a join: "Not
// JoinTable: %d".
int innerQ7PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out);
// Inner joins only: one slave record per distinct key value of set 1, as a new set of the slave
// table; its set ID, *slave_table the slave table's ID. Not a join: "Not JoinTable: %d".
int innerQ7ReturnSet2SlaveTable(int table_id, int* slave_table);

// ---- The forms that copy into the host's buffers ----
// Each runs the operation above and, after a success only, copies what it points at into the
// host's buffers (a null buffer: not wanted).
// "RQ7GetJoinSrcTblIDs": 8 zero bytes at the start of each buffer first (with a null pointer: not
// written); then result x 4 bytes of each list.
int innerRQ7GetJoinSrcTblIDs(int table_id, int* ids, int* tables, int* filters);
// "RQ7GetJoinSrcTblInfo": each buffer receives the whole list (4096 bytes).
int innerRQ7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int* ids, int* tables,
                              int* filters);
// "RQ7GetSlaveInfo": slave_filters receives the whole list (2048 bytes).
int innerRQ7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table, int* slave_set,
                         int* n_slave_filters, int* slave_filters);
// "RQ7GetJoinSlaveSet": as innerRQ7GetSet (ops_sets.h), for the join's partner-side rows: *count 0
// first; a negative capacity ("Illegal Buffer size: %d", carrying Q7_ERROR_NO_SUCH_TABLE)
// Q7_ERROR_INVALID_PARAMETER; no table "No Such Table: %d"; not a join ("Not JoinTable: %d")
// Q7_ERROR_NOT_JOIN_TABLE; no set ("No Such Set: %d", carrying Q7_ERROR_NO_SUCH_TABLE)
// Q7_ERROR_NO_SUCH_SET. Then *count = the rows, min(rows, capacity) of them copied; returns the
// rows.
int innerRQ7GetJoinSlaveSet(int table_id, int set_id, int* count, int capacity, int* rows);
// "RQ7GetJoinProjectionSets": both counts 0 first; either capacity negative ("Illegal Buffer size:
// %d, %d ", Q7_ERROR_INVALID_PARAMETER recorded and returned); then the checks of
// innerQ7GetJoinProjectionSets under this name; each projection's count stored and min(count,
// capacity) of its entries copied. Returns 0.
int innerRQ7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int own_capacity, int* own_rows,
                                  int* other_count, int other_capacity, int* other_rows);

// ---- Semi-join of two real tables ----
// Ring name "Q7ExtractJoinInOut". A new set of table_a (made current) holding, in set_a's order,
// the rows of set_a whose INTEGER key_a value occurs (mode != 0) or does not occur (mode 0) among
// the key_b values of set_b's rows (negative sets: the current ones); the serial form of
// join/JoinInOut.h. Checks, each recorded with the code it returns, for table A, then for table B:
// no table ("No Such Table: %d ") Q7_ERROR_NO_SUCH_TABLE; not real ("Illegal table type ( Not REAL
// )") Q7_ERROR_NOT_REAL_TABLE; no set ("No Such Set: %d") Q7_ERROR_NO_SUCH_SET; no filter ("No Such
// Filter: %d") Q7_ERROR_NO_SUCH_FILTER; a key that is not INTEGER ("Illegal data type ( Not INTEGER
// )") Q7_ERROR_INVALID_DATA_TYPE. A refusal registers nothing; a failure after the new set was
// registered (recorded with its own code and message) leaves it registered. Returns the new set's ID.
int innerQ7ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b, int mode);

// ---- A join set as a new real table ----
// Ring name "Q7ConvertJoinToReal". A new real table of the joined rows of set_id of join_table (a
// negative set: its current set), through TTableCollection::AddRealized: "MRecNo" when
// master_rec_no is non-zero, "SRecNo" when slave_rec_no is, then the listed join columns
// (filter_ids, read up to its first ID below 1; null: none), each sharing its source's value list
// when share_value_lists is non-zero. The name as innerQ7AddRealTable's, default "createtbl" + local
// time + "_1". A negative result of the collection is recorded as "Failed to realize jointable (
// AddRealized module )" and returned; a thrown failure with its own code and message. A failure
// adds no table. Success clears g_TFSaved. Returns the new table's ID.
int innerQ7ConvertJoinToReal(const char* name, int join_table, int set_id, int master_rec_no,
                             int slave_rec_no, const int* filter_ids, int share_value_lists);
