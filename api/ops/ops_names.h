// Names, memory sizes, shared-table queries and saved flags of the operation layer.
//
// Conventions of api/ops/OpCommon.h: own catch, ring name "Q7" + the operation's name, a missing table
// recorded (Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d") -- "No Such Table: %d " for the memory
// sizes and the set names -- and Q7_ERROR_NO_SUCH_TABLE returned. A missing filter or set and a
// table of the wrong kind are recorded with the code the operation returns (named at each
// operation), unless the operation says it records nothing. A negative result of the table or
// collection is recorded with "return of inner call" and returned.
//
// Names are at most 255 bytes; out-buffers for names must hold 256 bytes. A longer name given by
// the host is refused before it is copied anywhere: Q7_ERROR_ILLEGAL_FILTER_NAME for filter and set
// names (recorded "Invalid Parameter : FilterName(...)" / "SetName(...)"). A null name counts as
// empty. Null out-buffers: Q7_ERROR_INVALID_PARAMETER.
//
// The memory sizes are 64-bit byte counts; their failures are the codes widened to 64 bits.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include <cstdint>

#include "q7api.h"

// ---- Names and IDs ----
// The ID of the first table of that name. A miss: the collection's entry ("GetTableIDFromName",
// "No Table") and ("Q7GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "return of inner call").
int innerQ7GetTableIDFromName(const char* name);
// The ID of the table's filter of that name (the table's GetFilterIDFromName with -1, or with
// `which` for the second form).
int innerQ7GetFilterIDFromName(int table_id, const char* name);
int innerQ7GetFilterIDFromName2(int table_id, int which, const char* name);
// The RQ7 form of innerQ7GetFilterIDFromName (a join table takes innerQ7GetJoinFilterIDFromName):
// a missing table (or collection) is thrown first as
// CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d") for the exported frame to record (after
// the collection's own "GetTable" entry).
int innerRQ7GetFilterIDFromName(int table_id, const char* name);
// The ID of the join's column of that name (1-based over master then slave columns). A table that
// is not a join is recorded ("Illegal table type ( Not REAL )") and refused with
// Q7_ERROR_NOT_JOIN_TABLE; an unknown name gives Q7_ERROR_NO_SUCH_FILTER.
int innerQ7GetJoinFilterIDFromName(int table_id, const char* name);
// Renames a filter of a real table to a valid name unique in the table (TRealTable::GenFilterName:
// a name another filter carries gets "_#n"); 0. A shared table: Q7_ERROR_SHARED_READ_ONLY without
// an entry; not real: ("Not RealTable: %d ", Q7_ERROR_NOT_REAL_TABLE); no filter: ("No Such Filter:
// %d", Q7_ERROR_NO_SUCH_FILTER).
int innerQ7SetFilterName(int table_id, int filter_id, const char* name);
// Names a set; 0. No set: ("No Such Set: %d", Q7_ERROR_NO_SUCH_SET); a set on a shared-memory image
// (or of a shared table): Q7_ERROR_SHARED_READ_ONLY without an entry.
int innerQ7SetSetName(int table_id, int set_id, const char* name);
// Copies the filter's name into out (256 bytes); 0. No filter: ("No Such Filter: %d",
// Q7_ERROR_NO_SUCH_FILTER). For a join table the name of the column's source filter.
int innerQ7GetFilterName(int table_id, int filter_id, char* out);
// Copies the set's name into out (256 bytes); 0. No set: Q7_ERROR_NO_SUCH_SET without an entry.
int innerQ7GetSetName(int table_id, int set_id, char* out);

// ---- Memory sizes ----
// Bytes of the whole database.
int64_t innerQ7GetTotalMemorySize();
int64_t innerQ7GetTableMemorySize(int table_id);
// No filter: Q7_ERROR_NO_SUCH_FILTER without an entry.
int64_t innerQ7GetFilterMemorySize(int table_id, int filter_id);
// No set: ("No Such Set: %d ", Q7_ERROR_NO_SUCH_SET).
int64_t innerQ7GetSetMemorySize(int table_id, int set_id);
// The capacity in bytes of the character area of a string filter's value list; 0 when the table or
// the filter does not exist or the filter is not a string filter. Records nothing.
int64_t GetPVLBaseSize(int table_id, int filter_id);

// ---- Shared tables ----
// 1 when the table lies on a shared-memory image or is attached from the shared-table registry,
// else 0. Ring name "innerQ7SharedMemoryTable". No collection: ("No Table") and 0; no table:
// ("No Such Table: %d ", Q7_ERROR_NO_SUCH_TABLE) and Q7_ERROR_NO_SUCH_TABLE; any exception: 0.
int innerQ7SharedMemoryTable(int table_id);
// 1 when the table is attached from the shared-table registry (isQ7TShared), else 0. No
// collection: 0 without an entry; otherwise as innerQ7SharedMemoryTable.
int innerQ7TSharedMemoryTable(int table_id);

// ---- Saved flags and settings ----
// Sets all three flags to (flag != 0); returns 1.
int innerQ7SetSavedFlag(int flag);
// kind 0: 1 when all three flags are set; 1: g_TFSaved; 2: g_TFSSaved; any other kind: 0.
int innerQ7GetSavedFlag(int kind);
// Stores the trailing-blank flag that the value-list compiler reads; returns 0.
int innerQ7SetTailSpaceFlag(int flag);
