// Set operations of the operation layer: counting and listing a table's sets, handing a set's rows
// to the host, making sets from host row lists, by negation or by a set operation of two sets,
// deleting sets and changing the current set.
//
// Every operation follows api/ops/OpCommon.h: its own catch, ring name "Q7" + its name (the rows below
// name the exceptions), a missing table recorded with Q7_ERROR_NO_SUCH_TABLE and "No Such Table: %d"
// ("No Such Table: %d " where noted) while Q7_ERROR_NO_SUCH_TABLE is returned, a negative result of
// the table recorded with "return of inner call" and returned. A negative set ID means the table's
// current set.
//
// Host row lists are checked before any set kernel sees them: every row must lie in 1 .. the
// table's row count (else Q7_ERROR_INVALID_ROW_POSITION, "Invalid Parameter : PSetArray"), a
// negative count or a null list with a positive count is refused the same way, and a row given
// more than once counts once.
//
// Saved flags: g_TFSSaved is cleared by a successful PurgeSubsets, AddSetReal, DeleteSet, SetNotReal
// and SetOpeReal; g_SETTINGSaved by a successful ChangeCurrentSetID. The others change no flag.
//
// Memory: rows handed out by innerQ7GetSet point into the engine's set and stay valid until that
// set changes or is deleted (the host must not free them). The rows of an innerQ7SetOpe2 result
// belong to the host, which releases them with innerQ7FreeMem.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

// The table's number of sets. "No Such Table: %d ".
int innerQ7GetNSet(int table_id);
// The table's row count (TotalRecs). "No Such Table: %d ".
int innerQ7GetTotalRows(int table_id);
// Destroys every set but set 1, which becomes current; returns 0. A shared table:
// Q7_ERROR_SHARED_READ_ONLY without an entry.
int innerQ7PurgeSubsets(int table_id);
// Rows in the set. "No Such Table: %d ".
int innerQ7GetSetSize(int table_id, int set_id);

// result = op (0 AND, 1 OR, 2 a AND NOT b) of two host row lists of a table of n_rows rows: a new
// ascending row block (the host's, freed with innerQ7FreeMem) and its count, which is also
// returned. result is first set to count -1 and null rows, and stays so on every failure: a null
// result pointer or a negative n_rows (Q7_ERROR_INVALID_PARAMETER), a bad row list (above), another
// op (Q7_ERROR_INVALID_OPERATION, after the kernel's own entry under "SetOpeCommon").
int innerQ7SetOpe2(int op, int n_rows, _TSetDescript a, _TSetDescript b, _TSetDescript* result);

// Points *rows at the set's record numbers (engine memory) and returns their count. *rows is set to
// null first. No set: (Q7_ERROR_NO_SUCH_TABLE, "No Such Set: %d "), Q7_ERROR_NO_SUCH_SET. A null
// rows pointer: Q7_ERROR_INVALID_PARAMETER. "No Such Table: %d ".
int innerQ7GetSet(int table_id, int set_id, int** rows);
// "RQ7GetSet": copies min(size, capacity) of the set's record numbers into rows and returns the
// set's size, also into *count (when not null; 0 on a refusal). Refusals, each recorded with the
// code named first while the second is returned: a negative capacity (Q7_ERROR_NO_SUCH_TABLE,
// "Illegal Buffer size: %d"; Q7_ERROR_INVALID_PARAMETER), null rows with capacity > 0
// (Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Buffer"), "No Such Table: %d ", no set
// (Q7_ERROR_NO_SUCH_TABLE, "No Such Set: %d "; Q7_ERROR_NO_SUCH_SET).
int innerRQ7GetSet(int table_id, int set_id, int* count, int capacity, int* rows);

// Copies at most n set IDs, ascending, into ids (nothing when n < 1) and returns the table's number
// of sets, which may exceed n. A null ids with n > 0: Q7_ERROR_INVALID_PARAMETER. Ring name
// "Q7GetSetList"; "No Such Table: %d ".
int innerQ7GetSetIDList(int table_id, int n, int* ids);

// Registers the host's rows as a new set of a real table, in the host's order (a repeated row is
// kept at its first place only), makes it current and returns its ID. count 0 makes an empty set.
// Not real: ("Not RealTable: %d"), Q7_ERROR_NOT_REAL_TABLE. Bad rows: see above; no set is added.
int innerQ7AddSetReal(int table_id, int count, const int* rows);

// Deletes a set. Unknown set: (that code, "No such set") with Q7_ERROR_NO_SUCH_SET or
// Q7_ERROR_ILLEGAL_SET_ID; set 1: (Q7_ERROR_SET_NOT_DELETABLE, "Root set cannot be deleted");
// a join refers to it: (Q7_ERROR_NOT_EDITABLE, "Referred by Join"). Returns 0.
int innerQ7DeleteSet(int table_id, int set_id);

// The table's current set ID.
int innerQ7GetCurrentSetID(int table_id);
// Makes the set current and returns 0. No such set: two entries, (Q7_ERROR_ILLEGAL_SET_ID, "No Such
// Set: %d ") and (Q7_ERROR_ILLEGAL_SET_ID, "return of inner call"), and Q7_ERROR_ILLEGAL_SET_ID.
int innerQ7ChangeCurrentSetID(int table_id, int set_id);

// A new current set holding the rows of a real table that are not in the set; its ID. Ring name
// "Q7SetNot".
int innerQ7SetNotReal(int table_id, int set_id);
// A new current set, op (0 AND, 1 OR, 2 a AND NOT b) of two sets of the table (any kind); its ID.
// Ring name "Q7SetOpe".
int innerQ7SetOpeReal(int table_id, int op, int set_a, int set_b);
