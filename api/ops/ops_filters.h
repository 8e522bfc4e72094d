// Filter operations of the operation layer: listing a table's filters, reporting a filter's type,
// width and contents, handing out the attribute blocks of filters and sets, and adding, appending
// to, duplicating, moving and deleting the filters of real tables. Also the fillers of the two
// records through which hosts copy a filter into their own buffers (_TRFilterInfo, _TRFilterBody).
//
// Every operation follows api/ops/OpCommon.h: its own catch, ring name "Q7" + its name, a missing table
// recorded with Q7_ERROR_NO_SUCH_TABLE and "No Such Table: %d" ("No Such Table: %d " for
// GetFilterIDList, GetFilterWidth and GetFilterType), a missing filter recorded with
// Q7_ERROR_NO_SUCH_TABLE and "No Such Filter: %d" while Q7_ERROR_NO_SUCH_FILTER is returned, a
// negative result of the table recorded with "return of inner call" and returned. The changing
// operations refuse a shared table first (Q7_ERROR_SHARED_READ_ONLY, no entry), then require a real
// table ("Not RealTable: %d", Q7_ERROR_NOT_REAL_TABLE).
//
// Saved flags: every successful change of a filter (adding, appending, duplicating, moving,
// deleting, its attribute block) clears g_TFSaved, a set's attribute block g_TFSSaved. Handing an
// attribute block out for writing counts as its change, as the host writes it after the call; the
// readers change no flag.
//
// Memory: the pointers handed out (value numbers, value lists, character areas, attribute blocks)
// point into the engine and stay valid until the next call that changes the same object; the host
// never frees them.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

class TFilter;
class TRealTable;

// ---- Reading ----
// Writes the filter IDs in display order into ids (room for 512) and returns their count. A null
// ids: Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetFilterIDList(int table_id, int* ids);
// The table's number of filters.
int innerQ7GetNFilter(int table_id);
// The width of the filter's values (TBaseTable::GetFilterWidth): 4, 8, 16, or the longest text.
int innerQ7GetFilterWidth(int table_id, int filter_id);
// The filter's value type code (2 to 8, dates and times refined).
int innerQ7GetFilterType(int table_id, int filter_id);
// Fills *info from the filter (pointers into the engine); returns 0. Values written but not yet
// merged into the value list are merged first, so that every value number indexes the list. A
// null info: Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetFilter(int table_id, int filter_id, _TFilterInfo* info);
// Fills *master and *slave as innerQ7GetFilter does from the join's two key columns (one key pair:
// copies of the source key filters under their names; more: the combined "#MASTER" and "#SLAVE"),
// which share one value list. Not a join: ("Not JoinTable: %d", Q7_ERROR_NO_SUCH_TABLE),
// Q7_ERROR_NOT_JOIN_TABLE. A null record: Q7_ERROR_INVALID_PARAMETER. Returns 0.
int innerQ7GetJoinKey(int table_id, _TFilterInfo* master, _TFilterInfo* slave);
// Points *block at the 64-byte attribute block of the filter's value list (of the set); returns
// 0. With for_writing, a value list (set) lying in shared memory gives Q7_ERROR_SHARED_READ_ONLY
// without an entry. No set: (Q7_ERROR_NO_SUCH_TABLE, "No Such Set: %d"), Q7_ERROR_NO_SUCH_SET.
// A null block: Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetFilterAttr(int table_id, int filter_id, void** block, bool for_writing);
int innerQ7GetSubsetAttr(int table_id, int set_id, void** block, bool for_writing);

// ---- Changing ----
// Drops the filter. A table other tables refer to: (Q7_ERROR_NO_SUCH_TABLE, "Not Editable: %d"),
// Q7_ERROR_NOT_EDITABLE. The drop's Q7_ERROR_NOT_EDITABLE is recorded as "Refered by Join", its
// Q7_ERROR_NO_SUCH_FILTER as "No such filter exist". Returns the drop's result (0).
int innerQ7DeleteRealFilter(int table_id, int filter_id);
// Moves the filter at display position from to position to (TRealTable::MoveFilter); its result,
// a failure without an entry of this operation's own.
int innerQ7MoveRealFilter(int table_id, int from, int to);
// A copy of the filter appended to the table; the new filter's ID.
int innerQ7DupRealFilter(int table_id, int filter_id);
// A copy converted to type (2 to 8); a decimal copy gets scale 6 and Q7_ROUND_HALF_UP.
int innerQ7DupRealFilterEx(int table_id, int filter_id, int type);
// A decimal copy of the given scale (0 to 38) and rounding mode (0 to 6); another scale or mode is
// refused with Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : scale(%d)" /
// "Invalid Parameter : rounding_mode(%d)").
int innerQ7DupRealFilterExNumeric(int table_id, int filter_id, int scale, int rounding_mode);

// Writes count values from data (the filter's raw width each) into the filter from start_row on
// (1-based; negative: after the last row), first appending as many empty rows as the write runs
// past the end. The table must be editable (as DeleteRealFilter); the filter must exist
// (Q7_ERROR_NO_SUCH_FILTER) and be of `type` (Q7_ERROR_FILTER_TYPE_MISMATCH), both without an
// entry. A null data, a count below 1 or a start row of 0 is refused with
// Q7_ERROR_INVALID_PARAMETER before any row is added. Returns the overwrite's result.
int innerQ7AppendRealFilter2(int table_id, int filter_id, int type, int start_row, int count, void* data);
// The checks of an append to `filter`, in their order, under ring_name (type, data, count, start row;
// a write whose last row would pass INT32_MAX - 1 is refused like a bad count), then adds the
// records the write needs beyond the table's end. Returns the first record to write (start_row < 0:
// the record after the last). Nothing is added when a check fails. Call inside RunOp.
int PrepareAppend(const char* ring_name, TRealTable* table, TFilter* filter, int type, int start_row,
                  int count, const void* data);

// Adds a filter at display position `position` (1024 appends): from `rows` raw values of width
// `unit` at data, or, with null data, a filter of NULLs (Q7_ERROR_INVALID_UNIT_WIDTH when the table
// has more rows than `rows`). A null or empty name gets "filter" + local time + "_0"; a name longer
// than 255 bytes leaves two entries (Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName") and is
// refused with that code. The host's name is never changed. Returns the new filter's ID.
int innerQ7AddRealFilter2(int table_id, int position, const char* name, int type, int rows, int unit,
                          const void* data);

// ---- The RQ7 forms ----
// Each is named by the exported function it serves and records under that name.
//
// "RQ7GetFilterInfo" / "RQ7GetFilterBody": the filter's summary record / its value numbers, values
// and character area copied into the host's buffers (FillFilterSummary, CopyFilterBody), after the
// pending values of a real table are merged. No table: "No Such Table: %d"; no filter: ("No Such
// Filter: %d", Q7_ERROR_NO_SUCH_TABLE), Q7_ERROR_NO_SUCH_FILTER (so is a join column whose source
// filter has vanished). A null info: Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter :
// FilterInfo"); a body as CheckFilterBody. Returns 0.
int innerRQ7GetFilterInfo(int table_id, int filter_id, _TRFilterInfo* info);
int innerRQ7GetFilterBody(int table_id, int filter_id, _TRFilterBody* body);
// "RQ7GetJoinKeyInfo" / "RQ7GetJoinKeyBody": the same for the join's two key columns (as
// innerQ7GetJoinKey), master side first. No table: "No Such Table: %d"; not a join: ("Not
// JoinTable: %d", Q7_ERROR_NO_SUCH_TABLE), Q7_ERROR_NOT_JOIN_TABLE. The body form judges all six
// capacities before the table: a negative one is recorded ("Illegal Buffer size: %d, %d, %d,%d,
// %d, %d ", Q7_ERROR_NO_SUCH_TABLE) and Q7_ERROR_INVALID_PARAMETER returned; then each body as
// CheckFilterBody. Nothing is written to either side unless both succeed. Returns 0.
int innerRQ7GetJoinKeyInfo(int table_id, _TRFilterInfo* master, _TRFilterInfo* slave);
int innerRQ7GetJoinKeyBody(int table_id, _TRFilterBody* master, _TRFilterBody* slave);
// The 64-byte attribute block of a filter's value list / of a set copied out of the engine into
// block, or from block into the engine (innerQ7GetFilterAttr / innerQ7GetSubsetAttr, whose refusals
// are returned as they are). A null block is thrown as CQ7Exception(Q7_ERROR_INVALID_PARAMETER,
// "Invalid Parameter : Attribute") for the exported frame to record.
int innerRQ7GetFilterAttr(int table_id, int filter_id, void* block);
int innerRQ7SetFilterAttr(int table_id, int filter_id, const void* block);
int innerRQ7GetSubsetAttr(int table_id, int set_id, void* block);
int innerRQ7SetSubsetAttr(int table_id, int set_id, const void* block);
// innerQ7DupRealFilterExNumeric after the scale (0 to 38) and rounding mode (0 to 6) are checked:
// another one is thrown as CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter :
// scale(%d)" / "... : rounding_mode(%d)") for the exported frame to record.
int innerRQ7DupRealFilterExNumeric(int table_id, int filter_id, int scale, int rounding_mode);
// "RQ7AddRealFilter2": a filter of NULLs of `type` (innerQ7AddRealFilter2 with no values), when
// the file name is null or empty or names an empty file. DECIMAL is refused first
// (Q7_ERROR_INVALID_DATA_TYPE, "Invalid Parameter : DataType(%d)"), then a missing or shared table;
// dir + "/" + file of 512 bytes or more gives Q7_ERROR_ILLEGAL_FILE_NAME ("Invalid Parameter :
// FileName(...)"). A file source is read into the new filter, one value per line
// (addFilterFromFile), after a name above 255 bytes is refused (Q7_ERROR_ILLEGAL_FILTER_NAME, no
// entry); a failed read whose line cannot reach the catalog message log is recorded and fails with
// the log's code (ReadColumnFile, api/ops/ops_import.h). Returns the new filter's ID.
int innerRQ7AddRealFilter2(int table_id, int position, const char* name, int type, int rows, int unit,
                           const char* dir, const char* file);
// "RQ7AddRealFilter2Numeric": the same for a DECIMAL filter of the given scale and rounding mode
// (checked first, as innerRQ7DupRealFilterExNumeric does, but recorded under this name). The host
// gets a complete decimal filter or none: a failure after the filter was added deletes it again.
// The file is read as for innerRQ7AddRealFilter2 (ReadColumnFile).
int innerRQ7AddRealFilter2Numeric(int table_id, int position, const char* name, int rows, int scale,
                                  int rounding_mode, const char* dir, const char* file);

// ---- Record fillers (for the task object's filter readers) ----
// Fill the records from a filter whose pending values have been merged; name is the name to
// report. CopyFilterBody copies min(count, capacity) value numbers, value-list elements and (for
// strings) bytes of the character area into the host's buffers; a decimal list writes its
// NumericInfo (8 bytes) at the start of the value buffer, the values after it. A negative capacity
// is refused before anything is copied: (ring_name, Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size:
// %d, %d, %d "), Q7_ERROR_INVALID_PARAMETER. Call inside RunOp (api/ops/OpCommon.h).
void FillFilterSummary(TFilter* filter, const char* name, _TRFilterInfo* info);
void CheckFilterBody(const char* ring_name, const _TRFilterBody* body);
void CopyFilterBody(TFilter* filter, const _TRFilterBody* body);
