// Join block access through the 8 process-wide reader handles, and the three row callbacks built
// on them (readers: join/TJoinBlockAccess.h).
//
// Each operation catches its own failures and returns an int. A handle is free or open; it opens
// with innerQ7JBAOpen / innerQ7JBAOpen2 and frees with innerQ7JBAClose or PurgeJBAs. An open
// reader points into the tables it reads: the host must not change the table, the set, the join or
// its source tables while the handle is open. Every open reader is purged when the engine drops
// its database at a stop or restart.
//
// Thread safety: none; call under the API lock (the exported plain frames hold it). A row callback
// runs on the calling thread inside that lock and must not call locking exported functions.
#pragma once

#include "q7api.h"

// 8, the number of handles.
int innerQ7GetN_JBA();
// -1 for a handle outside 0..7; 0 for a free handle (*status 0); 1 for an open one, *status its
// status word (the next block's number). A null status is not written.
int innerQ7JBAStatus(int handle, int* status);
// Opens a reader on a free handle over all columns of the table (innerQ7GetFilterIDList) /
// the caller's column list (up to its first ID below 1, at most 1024). Returns 0; -11 a handle
// outside 0..7, -10 a busy handle (the open reader stays as it is), -9 a set size below 1 or no
// table (innerQ7GetSetSize, which records its own entries); a failed construction records
// ("Q7JBAOpen", code, message) and returns the code (Q7_ERROR_UNKNOWN, unrecorded, for anything
// but an engine exception), leaving the handle free.
int innerQ7JBAOpen(int handle, int table_id, int set_id);
int innerQ7JBAOpen2(int handle, int table_id, int set_id, const int* column_ids);
// TJoinBlockAccess::ReadBlock on the handle's reader. A handle outside 0..7 or free records
// ("Q7JBARead", -1, "Invalid Parameter : JBAHandle") and returns -1; a null output records
// ("Q7JBARead", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : <output>") and returns that code
// without reading; an exception of the read records ("Q7JBARead", code, message) and returns the
// code.
int innerQ7JBARead(int handle, int* block_no, int* first_row, int* last_row, int* driving_record,
                   int* partner_count, int** partner_records, int* column_count, _TColumnBuf** columns);
// Deletes the handle's reader (its column buffers with it) and frees the handle: 0, also for a
// free handle; a handle outside 0..7 records ("Q7JBAClose", -1, "Invalid Parameter : JBAHandle")
// and returns -1.
int innerQ7JBAClose(int handle);
// Clears all 8 slots (without deleting: for the library start).
void initializeJBAs();
// Deletes every open reader and clears all slots: before a database is dropped, as the readers
// point into its tables.
void PurgeJBAs();
// Deletes the open readers of one table and frees their handles: before the table is deleted. (A
// table a join reads cannot be deleted while the join exists, so a reader on a join needs only its
// own table checked.)
void PurgeJBAsOfTable(int table_id);

// The row walks open the (free) handle on column_ids, read the set block by block and close the
// handle before they return. Entry 0 of every column the callback sees points at the current
// row's value (DECIMAL: null). A null callback records (name, Q7_ERROR_INVALID_PARAMETER,
// "Invalid Parameter : CallBack") and returns that code. A failed read records (name, code,
// "Q7JBAead failed!"; the unique walk "Q7JBARead failed!") and returns its code. The handle's own
// refusals (-11, -10, the reader's codes) are returned as innerQ7JBAOpen2 gives them.
//
// Every joined row, one call each; more is 0 for the last row only. No table: ("Q7RowInfoCallBack",
// Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d ") and that code; a set size below 1:
// ("Q7RowInfoCallBack", -1, "No Such Set: %d ") and -1. A callback result of -1 stops the walk: 1.
// An engine exception records ("Q7RowInfoCallBack", code, "CallBack Function pointer Bug") and
// returns the code; another Q7_ERROR_UNKNOWN. A finished walk: 0.
int innerQ7RowInfoCallBack(int handle, int table_id, int set_id, const int* column_ids,
                           Q7RowCallBackFunc callback);
// Real tables: a callback result of 1 selects the row, -1 stops the walk (1 returned, no set
// made); after the last row the selected rows, in set order, become a new set (innerQ7AddSetReal)
// made current (innerQ7ChangeCurrentSetID); 0. A table innerQ7GetTableProperty refuses:
// ("Q7SearchCallBack", -1, "No Such Table: %d ") and -1; a join: ("Q7SearchCallBack", 0, "Join
// Table not allowed!:") and -1; a set size below 1: ("Q7SearchCallBack", 0, "GetSetSize
// failed!:") and -1. A failed set registration is recorded ("Q7AddSetReal failed!:" /
// "Q7ChangeCurrentSetID failed!:", code 0) and 0 still returned.
int innerQ7SearchCallBack(int handle, int table_id, int set_id, const int* column_ids,
                          Q7RowCallBackFunc callback);
// One call per run of rows with equal values in every listed column (column_ids up to its first
// ID below 1, at most 1024), in the order of the listed columns (the set is sorted by them, last
// column first, into temporary sets), with the run's row count; more is 0 for the last run. An
// empty column list, no table or a set size below 1: -1; a handle outside 0..7 or busy: -11 / -10
// before anything is sorted; a failed sort: Q7_ERROR_SET_COUNT_OVERFLOW. A callback result other
// than 0 and 1 stops the walk: 1. On every path the temporary sets are deleted and the table's
// current set is the one it was before. A finished walk: 0.
int innerQ7UniqueRowCallBack(int handle, int table_id, int set_id, const int* column_ids,
                             Q7UniqueRowCallBackFunc callback);
