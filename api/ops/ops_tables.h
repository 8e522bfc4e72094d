// Table operations of the operation layer: creating, loading, saving, deleting and renaming tables,
// their description, whether they may be edited, and the description of join tables.
//
// Conventions of api/ops/OpCommon.h: own catch, ring name "Q7" + the operation's name, a missing table
// recorded (Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d") -- "No Such Table: %d " where noted -- and
// Q7_ERROR_NO_SUCH_TABLE returned, kind refusals recorded with Q7_ERROR_NO_SUCH_TABLE while the
// specific code is returned, a negative result of the collection recorded with the message given
// below and returned. Without a collection the operations fail with Q7_ERROR_NO_SUCH_TABLE ("No
// Table").
//
// Names: a table name is at most 255 bytes (longer: Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal
// tablename"); a null or empty name makes a generated one ("realtbl" + local time + "_1"). The
// host's text is never changed (the collection cleans a copy). Directories and file names are
// copied into 512-byte buffers; 512 bytes or more: Q7_ERROR_ILLEGAL_FILE_NAME.
//
// Saved flags: a successful AddRealTable, DeleteTable and CondenseRealTable clear g_TFSaved; the
// others change none.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

// The name a creating operation passes to the collection, in the caller's buffer of
// kGeneratedNameSize bytes: the host's name, or for a null or empty one a generated name with the
// prefix. The collection cleans the buffer in place, never the host's text. A name above 255
// bytes fails as CheckTableNameLength says (call inside RunOp).
char* TableNameArgument(const char* name, const char* prefix, char* buffer);

// A new real table of `rows` empty records (set 1 holds them all); its ID. Negative results:
// "Failed to add realtable ( AddRealTable module )".
int innerQ7AddRealTable(const char* name, int rows);

// Reads directory/file_name(.Q7T) as a new table (name made unique); its ID. Negative results:
// "Failed to load realtable ( LoadRealTable module )".
int innerQ7LoadRealTable(const char* directory, const char* file_name);
// innerQ7LoadRealTable's work recorded under ring, a refusal with failure_text.
int LoadRealTableAs(const char* ring, const char* directory, const char* file_name, const char* failure_text);

// Write a real table as directory/<table name>.Q7T, or directory/file_name.Q7T, with the current
// header and versions (the stored-header flag is cleared first). Negative results: "Failed to save
// realtable ( SaveRealTable module )" / "( SaveRealTableAs module )". Returns 0.
int innerQ7SaveRealTable(const char* directory, int table_id);
int innerQ7SaveRealTableAs(const char* directory, const char* file_name, int table_id);
// Their body, shared with the old-version saves (api/ops/ops_scale.h): records under ring, a negative
// result with message; file_name null saves under the table's own name; writes with
// UseFileVersion(version) (api/ops/OpCommon.h).
int SaveRealTableFile(const char* ring, const char* message, const char* directory, const char* file_name,
                      int table_id, int version);

// Deletes a table nothing depends on; 0. Refusals: (Q7_ERROR_NO_SUCH_TABLE, "table not exist"),
// (Q7_ERROR_NOT_EDITABLE, "may be reffered by other table!"); another negative result of the
// collection is recorded with an empty message.
int innerQ7DeleteTable(int table_id);

// Copies the table's name into out (256 bytes); 0. "No Such Table: %d ". Null out:
// Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetTableName(int table_id, char* out);

// Renames a table: the collection's result, passed on without an entry of this layer (the
// collection records its own refusals; a name another table carries gets "_#n"). A shared table:
// (Q7_ERROR_SHARED_READ_ONLY, "Invalid Shared memory read Oparation"), Q7_ERROR_SHARED_READ_ONLY.
// A null name counts as empty (refused by the collection).
int innerQ7SetTableName(int table_id, const char* name);

// Fills *info; 0. "No Such Table: %d ". Null info: Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetTableProperty(int table_id, _TTableInfo* info);

// *ids is pointed at the process-wide referring-table list (10000 IDs) first. Returns the number of
// tables that depend on the table (0: it may be edited), their IDs in the list. A shared table:
// Q7_ERROR_SHARED_READ_ONLY without an entry. Not real: (Q7_ERROR_NO_SUCH_TABLE, "Illegal table type
// ( Not REAL )"), Q7_ERROR_NOT_REAL_TABLE.
int innerQ7TableCanEdit(int table_id, int** ids);

// Folds pending values into every filter's value list, then condenses the table
// (TRealTable::CondenseTable); its result. No collection: ("No Table"); "No Such Table: %d ";
// innerQ7TableCanEdit's refusals are passed on (recorded again with an empty message); referring
// tables give ("Not Editable: %d", carrying Q7_ERROR_NO_SUCH_TABLE) and Q7_ERROR_NOT_EDITABLE; a
// negative result is recorded with an empty message. Success clears g_TFSaved.
int innerQ7CondenseRealTable(int table_id);

// A join table's name (256 bytes) and description (TJoinTable::GetJoinInfo: master table, master
// set, first master key, slave table, slave set, first slave key). Not a join (or no table):
// "No Such Table: %d ", Q7_ERROR_NOT_JOIN_TABLE (Q7_ERROR_NO_SUCH_TABLE for no table). Null
// outputs: Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                       int* slave_table, int* slave_set, int* slave_key);
// As innerQ7GetJoinInfo with the name in the process-wide 256-byte join name buffer (*name points
// at it), the outer flag, the key pair count k, and the k master and k slave key filter IDs
// (master_keys and slave_keys must hold k ints; 32 always suffice).
int innerQ7GetJoinInfoEx(int table_id, char** name, int* outer, int* key_count, int* master_table,
                         int* master_set, int* master_keys, int* slave_table, int* slave_set,
                         int* slave_keys);

// ---- The forms that copy into the host's buffers ----
// A name or list the operations above point at is copied into the host's buffer only after a
// success (a name cut to 255 bytes and the zero). A null output that would leave the host with
// nothing is recorded ("Invalid Parameter : TableName" / "... : IDList", Q7_ERROR_INVALID_PARAMETER)
// under the exported function's name and returned before anything runs.

// "RQ7GenTableName" / "Q7GenTableName": innerQ7GenTableName into the host's 256-byte buffer, or
// with *out pointed at the engine's buffer; a null out is refused.
int innerRQ7GenTableName(const char* seed, char* out);
int innerQ7GenTableNameForHost(const char* seed, char** out);
// innerQ7GetJoinInfoEx with the join's name copied into name (256 bytes; null: not wanted).
int innerRQ7GetJoinInfoEx(int table_id, char* name, int* outer, int* key_count, int* master_table,
                          int* master_set, int* master_keys, int* slave_table, int* slave_set,
                          int* slave_keys);
// innerQ7TableCanEdit with the referring IDs the result counts copied into ids (null: not wanted).
int innerRQ7TableCanEdit(int table_id, int* ids);
// "Q7TableCanEdit": innerQ7TableCanEdit; a null ids is refused.
int innerQ7TableCanEditForHost(int table_id, int** ids);
